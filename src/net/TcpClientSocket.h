#pragma once
// The window's TCP connection, with the operations and events its POP3 code
// was written against: a numeric state, connect/close, text in and out as
// Latin-1 (one byte per character both ways), and four events.
//
// The connection can be TLS from the first byte (POP3S), or be upgraded
// once the server has agreed to it (STLS). Certificates are checked against
// the system's authorities (plus any added here) and the host name as given;
// a certificate that does not verify ends the connection before anything is
// sent, and the Error event names the reason, unless it is the one
// certificate the user chose to trust for this server.

#include <QList>
#include <QObject>
#include <QPointer>
#include <QSslCertificate>
#include <QSslError>
#include <QString>

#include <optional>

class QSslSocket;

class TcpClientSocket : public QObject
{
    Q_OBJECT
public:
    enum StateValue {
        sckClosed = 0,
        sckResolvingHost = 4,
        sckConnecting = 6,
        sckConnected = 7,
        sckClosing = 8, // the peer closed; we have not yet
        sckError = 9,
    };

    // Error numbers of the TLS failures.
    enum TlsErrorNumber {
        sckCertificateRefused = 10101,
        sckTlsHandshakeFailed = 10102,
        sckClosedDuringHandshake = 10103,
    };

    explicit TcpClientSocket(QObject *parent = nullptr);
    ~TcpClientSocket() override;

    int State() const;
    void Close();

    QString RemoteHost() const { return m_remoteHost; }
    void SetRemoteHost(const QString &host) { m_remoteHost = host; }
    int RemotePort() const { return m_remotePort; }
    void SetRemotePort(int port) { m_remotePort = port; }

    // TLS from the start for the next Connect(); the Connect event then
    // comes once the connection is encrypted.
    void setImplicitTls(bool on) { m_implicitTls = on; }
    bool implicitTls() const { return m_implicitTls; }
    // Authorities trusted besides the system's, from the next Connect() on.
    void addCaCertificates(const QList<QSslCertificate> &certificates);
    // A certificate that does not verify is still accepted, from the next
    // Connect() on, when its SHA-256 fingerprint is this one (as
    // CertificateTrust writes it); empty accepts none.
    void setTrustedFingerprint(const QString &fingerprint) { m_trustedFingerprint = fingerprint; }
    // The server's certificate that the last handshake refused; null when
    // none was refused since Connect().
    QSslCertificate refusedCertificate() const { return m_refusedCertificate.value_or(QSslCertificate()); }

    // Returns at once; the outcome is the Connect or the Error event.
    void Connect();
    // Upgrades the open plain connection to TLS; the Encrypted or the Error
    // event follows. Data already received and not yet read is dropped: it
    // came before the upgrade and cannot be trusted. False when there is no
    // open plain connection.
    bool startClientEncryption();
    bool isEncrypted() const;
    // The open connection goes to this machine's loopback address: what is
    // sent on it never leaves the machine.
    bool isPeerLoopback() const;
    // False when there is no open connection to send on (also while the
    // TLS handshake is running). The data goes out at once; what the socket
    // reports meanwhile (data, close, error) comes as events afterwards,
    // never from inside this call.
    bool SendData(const QString &data);
    // Like SendData, but the data waits for Flush(), so that several
    // commands leave in one write.
    bool QueueData(const QString &data);
    // Sends what QueueData left waiting; false when the connection is gone.
    bool Flush();
    // Everything received and not yet read.
    void GetData(QString &data);
    void GetData(QByteArray &data);
    qint64 BytesReceived() const;

signals:
    void connected();
    void dataArrival(qint64 bytesTotal);
    void closed();
    void errorOccurred(int number, const QString &description);
    // The upgrade asked for by startClientEncryption() is done.
    void encrypted();

private:
    void dropSocket();
    template <typename Step> void report(Step step);
    void onError();
    void onEncrypted();
    void failHandshake(int number, const QString &description);
    QString certificateProblem() const;
    void checkCertificate(QSslSocket *socket, const QList<QSslError> &errors);

    QPointer<QSslSocket> m_socket;
    QString m_remoteHost;
    int m_remotePort = 0;
    bool m_implicitTls = false;
    QList<QSslCertificate> m_extraCaCertificates;
    bool m_failed = false;
    bool m_peerClosed = false;
    bool m_handshaking = false;
    bool m_sending = false;
    QByteArray m_queued; // what QueueData keeps for Flush
    QList<QSslError> m_sslErrors;
    QString m_trustedFingerprint;
    // Made only when a handshake refuses one: the first certificate object
    // loads and starts the TLS library, a tenth of a second at start-up.
    std::optional<QSslCertificate> m_refusedCertificate;
};
