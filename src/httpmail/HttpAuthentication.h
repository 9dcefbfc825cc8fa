#pragma once
// Answering an HTTP authentication challenge without handing the password
// to whoever asks: the challenges of a 401 reply read from its
// WWW-Authenticate header, the hosts the credentials may go to (the
// service's own, or one of its domain), and the Digest answer (RFC 7616),
// which proves the password without sending it. Basic sends the password
// readable and is answered only over HTTPS.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

class QUrl;

namespace HttpAuthentication {

struct Challenge
{
    QByteArray scheme;                    // lower case: "digest", "basic", ...
    QHash<QByteArray, QByteArray> params; // names lower case, values unquoted
};

// Every challenge of a WWW-Authenticate value (several may be joined by
// commas or line ends); an unreadable rest is dropped.
QList<Challenge> parseChallenges(const QByteArray &header);

// The credentials of `service` may answer a challenge from this host.
bool isServiceHost(const QUrl &url, const QUrl &service);

// What a Digest answer needs to go on answering later requests of the same
// host without a new challenge (the nonce is counted up).
struct DigestState
{
    QByteArray realm;
    QByteArray nonce;
    QByteArray opaque;
    QByteArray algorithm; // as the server named it; empty means MD5
    bool qopAuth = false;
    int nonceCount = 0;
};

// True when the challenge is a Digest one this client can answer (MD5 or
// SHA-256, plain or -sess, qop "auth" or none).
bool readDigest(const Challenge &challenge, DigestState *state);
// The Authorization value for one request; counts the nonce up.
QByteArray digestAuthorization(DigestState &state, const QString &user, const QString &password,
                               const QByteArray &method, const QByteArray &uri, const QByteArray &cnonce);
QByteArray basicAuthorization(const QString &user, const QString &password);

// The request target as the client puts it on the request line (path and
// query), which Digest's "uri" repeats.
QByteArray requestTarget(const QUrl &url);

} // namespace HttpAuthentication
