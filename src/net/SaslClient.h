#pragma once
// One SASL exchange on the client's side (SCRAM-SHA-256, SCRAM-SHA-1,
// CRAM-MD5, PLAIN) through GNU SASL. Messages are the raw octets of the
// exchange; how a protocol carries them (base64 lines for POP3) is its own
// business. For SCRAM the server's final signature is verified: a server
// that cannot prove it knows the password ends the exchange as Failed.

#include <QByteArray>
#include <QString>

struct Gsasl;
struct Gsasl_session;

class SaslClient
{
public:
    enum class Step {
        Continue, // send the response and wait for the next challenge
        Done,     // the client has said all it has to say
        Failed,   // the exchange cannot go on (errorString() tells why)
    };

    SaslClient(const QByteArray &mechanism, const QString &user, const QString &password);
    ~SaslClient();
    SaslClient(const SaslClient &) = delete;
    SaslClient &operator=(const SaslClient &) = delete;

    // The library could start the mechanism.
    bool isValid() const { return m_session != nullptr; }
    QByteArray mechanism() const { return m_mechanism; }

    // The client's message for the server's challenge; the first call takes
    // an empty challenge and gives the initial response, if the mechanism
    // has one (empty for CRAM-MD5, which waits for the server).
    Step step(const QByteArray &challenge, QByteArray *response);
    QString errorString() const { return m_error; }
    // The exchange failed because the server's proof of the password (the
    // SCRAM server signature) did not verify, not on protocol grounds.
    bool serverNotProven() const { return m_serverNotProven; }

    static bool supports(const QByteArray &mechanism);

private:
    QByteArray m_mechanism;
    Gsasl *m_context = nullptr;
    Gsasl_session *m_session = nullptr;
    QString m_error;
    bool m_serverNotProven = false;
    int m_responses = 0; // messages given while the exchange went on
};
