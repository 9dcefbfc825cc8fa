#pragma once
// The loopback end of an OAuth 2.0 sign-in in the browser (RFC 8252): a
// listener on 127.0.0.1, on a port the system picks, that waits for the one
// request the browser is redirected to (http://127.0.0.1:<port>/?code=...
// &state=...), answers the tab with a short page that says how the sign-in
// went, and then stops listening.
//
// Anyone on this computer can connect, so each connection is bounded: a
// request head of at most MaxRequestSize octets, ten seconds to send it and
// read the answer, at most MaxConnections at once. Requests for other paths
// (the tab's icon) get "404" and the listener keeps waiting.

#include "net/FormUrlEncoding.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>

class QTcpServer;
class QTcpSocket;

class LoopbackRedirectListener : public QObject
{
    Q_OBJECT
public:
    static constexpr int MaxRequestSize = 8 * 1024;
    static constexpr int MaxConnections = 8;
    static constexpr int DefaultConnectionTimeoutMs = 10000;

    // What one request to the listener means.
    struct Redirect
    {
        enum class Kind {
            NotRedirect,    // another path, or "/" without code, error or state
            Code,           // the authorization code, state checked
            ConsentRefused, // error=access_denied
            StateMismatch,  // another request's answer, or none
            Error,          // another error, no code, a field twice
        };
        Kind kind = Kind::NotRedirect;
        QString code;
        // For Error: what the service said, fit to be shown.
        QString detail;
    };

    explicit LoopbackRedirectListener(QObject *parent = nullptr);
    ~LoopbackRedirectListener() override;

    // Starts listening for the redirect that carries this state. False when
    // no port could be had (errorString()).
    bool listen(const QByteArray &expectedState);
    // How long one connection may take (tests shorten it).
    void setConnectionTimeout(int milliseconds) { m_connectionTimeoutMs = milliseconds; }
    void close();
    bool isListening() const;
    QString errorString() const { return m_error; }
    // "http://127.0.0.1:<port>/", also after the redirect came.
    QString redirectUri() const;

    // The meaning of a request target ("/?code=...&state=..."): the query
    // is form-decoded, so a code's "%2F" arrives as "/".
    static Redirect read(const QByteArray &target, const QByteArray &expectedState);

signals:
    // Once, after the tab was answered; the listener no longer listens.
    void redirected(const LoopbackRedirectListener::Redirect &redirect);

private:
    void onNewConnection();
    void onReadyRead(QTcpSocket *socket);
    void answer(QTcpSocket *socket, const QByteArray &status, const QByteArray &page);
    void drop(QTcpSocket *socket);
    void dropIfStill(QTcpSocket *socket, quint64 serial);

    QTcpServer *m_server;
    QByteArray m_state;
    struct Pending
    {
        QByteArray head; // read so far
        quint64 serial;  // tells a connection from a later one at the same address
    };
    QHash<QTcpSocket *, Pending> m_requests;
    quint64 m_serial = 0;
    QString m_error;
    quint16 m_port = 0;
    int m_connectionTimeoutMs = DefaultConnectionTimeoutMs;
};

Q_DECLARE_METATYPE(LoopbackRedirectListener::Redirect)
