#pragma once
// One AUTH exchange of a POP3 sign-in (RFC 5034), whatever the mechanism:
// the AUTH line (the initial response on it only within 255 octets, else
// after the server's first "+"), every "+" challenge answered through the
// mechanism's one function, and how the exchange ended. The caller sends
// the lines and hands back the server's replies, one single-line reply for
// each line sent.
//
// How another mechanism plugs in: give a Mechanism, a function from the
// server's challenge (empty on the first call) to the client's next message.
// saslMechanism() wraps a SaslClient (SCRAM, CRAM-MD5, PLAIN). A token
// mechanism (XOAUTH2, OAUTHBEARER) answers the first call with its message
// (Pop3SignIn::xoauth2Message, Done), and a later challenge, which is the
// server's report of a refused token, with an empty message (XOAUTH2) or
// "\x01" (OAUTHBEARER), Respond: the server's "-ERR" then ends the exchange
// as Refused instead of the client waiting for it.

#include "pop3/Pop3SignIn.h"

#include <QByteArray>
#include <QString>

#include <functional>

class SaslClient;

class Pop3AuthExchange
{
public:
    enum class Answer {
        Respond,  // send the message, more may follow
        Done,     // send the message; the client has nothing more to say
        Garbled,  // the challenge makes no sense: the exchange is cancelled
        Unproven, // the server failed to prove it knows the password
    };
    using Mechanism = std::function<Answer(const QByteArray &challenge, QByteArray *message)>;

    enum class Outcome {
        Going,       // waiting for the server's next reply
        SignedIn,    // "+OK" after the client said all it had to say
        Refused,     // the server refused the credentials: no other method
        Unsupported, // the server does not take this mechanism: try the next
        Broken,      // the exchange broke on protocol grounds: try the next
        Unproven,    // the server could not prove itself: stop, tell the user
    };

    Pop3AuthExchange(Pop3SignIn::Method method, Mechanism mechanism);

    // The AUTH line; the exchange is Broken at once (empty line) when the
    // mechanism has nothing to start with.
    QString start();
    // The line to send for this reply; empty when nothing is to be sent.
    QString handleReply(const QString &reply);

    Outcome outcome() const { return m_outcome; }
    // Why the exchange ended Unproven or Broken, for the user.
    QString errorString() const { return m_error; }
    // A "+" has come: the server is in the exchange.
    bool challenged() const { return m_challenged; }

    // The exchange of a GNU SASL client session (kept alive by the caller).
    static Mechanism saslMechanism(SaslClient *client);

private:
    QString cancel(Outcome outcome, const QString &error);
    QString answerChallenge(const QString &reply);
    void acceptance();
    void endWithError(const QString &reply);

    Pop3SignIn::Method m_method;
    Mechanism m_mechanism;
    Outcome m_outcome = Outcome::Going;
    QByteArray m_pendingInitial; // too long for the AUTH line
    bool m_initialPending = false;
    bool m_proofOnAuthLine = false;
    bool m_challenged = false;
    bool m_done = false;
    bool m_cancelled = false;
    Outcome m_afterCancel = Outcome::Broken;
    QString m_error;
};
