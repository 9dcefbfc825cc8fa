#pragma once
// How to sign in to a POP3 server: what its CAPA reply and greeting offer,
// which method to use (the strongest offered, SCRAM first; the password
// itself only where the connection is encrypted, unless nothing else is
// offered), and the lines of the AUTH and APOP exchanges.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace Pop3SignIn {

// What a CAPA reply announced. `known` is false when there was no positive
// reply: then nothing is known to be offered, USER included.
struct Capabilities
{
    bool known = false;
    bool stls = false;
    bool user = false;
    bool pipelining = false;
    QStringList sasl; // mechanism names, upper case, in the server's order
};

Capabilities parseCapa(const QString &capaReply);

// The APOP time stamp of a greeting ("<1896.697170952@dbc.mtview.ca.us>"),
// angle brackets included; empty when the greeting carries none.
QString apopStamp(const QString &greeting);

enum class Method { ScramSha256, ScramSha1, CramMd5, Apop, UserPass, Plain, XOAuth2, OAuthBearer };

// "SCRAM-SHA-256", "APOP", "USER", ...: the SASL name, or the command.
QString methodName(Method method);
// The method a settings entry names (any letter case); false for none.
bool methodFromName(const QString &name, Method *method);
bool isSasl(Method method);
// The password goes out readable unless the connection is encrypted.
bool sendsPasswordReadable(Method method);

// The methods to try, best first. A later one is tried only when the
// server said that an earlier one is not supported, never after it
// refused the credentials. `forced` (a settings entry) replaces the choice.
QList<Method> methodsToTry(const Capabilities &capabilities, const QString &apopStamp, bool encrypted,
                           const QList<Method> &forced = {});

// "APOP name digest\r\n", the digest the MD5 of stamp and password in hex.
QString apopLine(const QString &user, const QString &stamp, const QString &password);

// The AUTH command. The initial response rides on the AUTH line only
// while the line stays within 255 octets; otherwise the line names the
// mechanism alone and the response follows the server's "+".
QString authLine(Method method, const QByteArray &initialResponse, bool *responseOnLine);
// A response to a "+" challenge: base64 and CR LF (an empty response is
// an empty line).
QString responseLine(const QByteArray &response);
// Abandons an exchange.
QString cancelLine();

// A "+" continuation line: true, and its decoded challenge, when the reply
// is one; false for "+OK", "-ERR" and anything else. *valid tells whether
// the challenge was proper base64.
bool isContinuation(const QString &reply);
QByteArray challengeOf(const QString &reply, bool *valid);

// An "-ERR" to the AUTH line, before any challenge, that says the server
// does not support the mechanism, so that the next one may be tried. A
// refusal with the [AUTH] code is about the credentials. Where the AUTH line
// carried proof of the password (`proofSent`, PLAIN), only a reply that
// says so in words counts: a plain "-ERR" may be the password's refusal.
bool refusesMechanism(const QString &reply, bool proofSent);

// The client messages of the two token mechanisms.
QByteArray xoauth2Message(const QString &user, const QString &accessToken);
QByteArray oauthBearerMessage(const QString &user, const QString &host, int port, const QString &accessToken);

} // namespace Pop3SignIn
