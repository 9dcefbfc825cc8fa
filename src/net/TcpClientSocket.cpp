// The socket's operations and events over QSslSocket, TLS and pins included.

#include "net/TcpClientSocket.h"

#include "net/CertificateTrust.h"

#include <QHostAddress>
#include <QSslConfiguration>
#include <QSslSocket>

#include <utility>

#ifdef Q_OS_LINUX
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cerrno>
#endif

namespace {

// Servers that write a reply in pieces with Nagle's algorithm on hold the
// rest back until the first piece is acknowledged; a delayed acknowledgement
// would cost about 40 ms per reply. Linux forgets the request whenever we
// send, so it is renewed after every read and write. Elsewhere the platform
// decides.
void acknowledgeAtOnce(const QSslSocket *socket)
{
#ifdef Q_OS_LINUX
    const qintptr descriptor = socket->socketDescriptor();
    if (descriptor < 0)
        return;
    const int on = 1;
    ::setsockopt(int(descriptor), IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
#else
    Q_UNUSED(socket);
#endif
}

// Writes what the kernel takes at once of a line on a plain connection;
// the number of bytes it took (0 when it took none, or failed: Qt's own
// write then meets the failure and reports it).
qint64 sendAtOnce(const QSslSocket *socket, const QByteArray &bytes)
{
#ifdef Q_OS_LINUX
    const qintptr descriptor = socket->socketDescriptor();
    if (descriptor < 0)
        return 0;
    ssize_t sent = -1;
    do {
        sent = ::send(int(descriptor), bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
    } while (sent < 0 && errno == EINTR);
    return sent < 0 ? 0 : qint64(sent);
#else
    Q_UNUSED(socket);
    Q_UNUSED(bytes);
    return 0;
#endif
}

// Bytes held here before the window reads them.
constexpr qint64 ReadBufferBytes = 1024 * 1024;

} // namespace

TcpClientSocket::TcpClientSocket(QObject *parent)
    : QObject(parent)
{
}

TcpClientSocket::~TcpClientSocket()
{
    dropSocket();
}

int TcpClientSocket::State() const
{
    if (m_failed)
        return sckError;
    if (m_peerClosed)
        return sckClosing;
    if (!m_socket)
        return sckClosed;
    switch (m_socket->state()) {
    case QAbstractSocket::UnconnectedState: return sckClosed;
    case QAbstractSocket::HostLookupState: return sckResolvingHost;
    case QAbstractSocket::ConnectingState: return sckConnecting;
    case QAbstractSocket::ConnectedState:
        // Over POP3S the connection is usable only once it is encrypted.
        return m_handshaking && m_implicitTls ? sckConnecting : sckConnected;
    case QAbstractSocket::ClosingState: return sckClosing;
    default: return sckConnecting;
    }
}

void TcpClientSocket::addCaCertificates(const QList<QSslCertificate> &certificates)
{
    m_extraCaCertificates += certificates;
}

void TcpClientSocket::dropSocket()
{
    if (!m_socket)
        return;
    // A closed connection must not deliver any more events to the window.
    m_socket->disconnect(this);
    m_socket->abort();
    m_socket->deleteLater();
    m_socket = nullptr;
}

void TcpClientSocket::Close()
{
    dropSocket();
    m_queued.clear();
    m_failed = false;
    m_peerClosed = false;
    m_handshaking = false;
    m_sslErrors.clear();
    m_refusedCertificate.reset();
}

// What the socket reports while data is being sent waits for the event
// loop, so that no caller of SendData is re-entered.
template <typename Step> void TcpClientSocket::report(Step step)
{
    if (m_sending)
        QMetaObject::invokeMethod(this, std::move(step), Qt::QueuedConnection);
    else
        step();
}

void TcpClientSocket::Connect()
{
    Close();
    m_socket = new QSslSocket(this);
    QSslSocket *socket = m_socket;
    // A big reply waits in the kernel rather than piling up here: it is read
    // and handed on a piece at a time.
    socket->setReadBufferSize(ReadBufferBytes);

    QSslConfiguration tls = socket->sslConfiguration();
    if (!m_extraCaCertificates.isEmpty())
        tls.setCaCertificates(QSslConfiguration::systemCaCertificates() + m_extraCaCertificates);
    tls.setPeerVerifyMode(QSslSocket::VerifyPeer);
    socket->setSslConfiguration(tls);
    // The certificate must name the server as the user typed it.
    socket->setPeerVerifyName(m_remoteHost);

    connect(socket, &QSslSocket::connected, this, [this, socket] {
        // Each command goes out when it is sent: with commands pipelined,
        // Nagle's algorithm would hold one back until the server has
        // acknowledged the one before.
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        acknowledgeAtOnce(socket);
        if (socket == m_socket && !m_implicitTls)
            emit connected();
    });
    connect(socket, &QSslSocket::encrypted, this, [this, socket] {
        if (socket == m_socket)
            onEncrypted();
    });
    connect(socket, &QSslSocket::sslErrors, this, [this, socket](const QList<QSslError> &errors) {
        if (socket == m_socket)
            checkCertificate(socket, errors);
    });
    connect(socket, &QSslSocket::bytesWritten, socket, [socket] { acknowledgeAtOnce(socket); });
    connect(socket, &QSslSocket::encryptedBytesWritten, socket, [socket] { acknowledgeAtOnce(socket); });
    connect(socket, &QSslSocket::readyRead, this, [this, socket] {
        acknowledgeAtOnce(socket);
        report([this, socket] {
            if (socket == m_socket && !m_handshaking && socket->bytesAvailable() > 0)
                emit dataArrival(socket->bytesAvailable());
        });
    });
    connect(socket, &QSslSocket::disconnected, this, [this, socket] {
        report([this, socket] {
            if (socket != m_socket || m_failed)
                return;
            if (m_handshaking) {
                failHandshake(sckClosedDuringHandshake,
                              QStringLiteral("The mail server closed the connection during the TLS handshake."));
                return;
            }
            m_peerClosed = true;
            emit closed();
        });
    });
    connect(socket, &QSslSocket::errorOccurred, this, [this, socket] {
        report([this, socket] {
            if (socket == m_socket && !m_failed)
                onError();
        });
    });
    if (m_implicitTls) {
        m_handshaking = true;
        socket->connectToHostEncrypted(m_remoteHost, quint16(m_remotePort));
    } else {
        socket->connectToHost(m_remoteHost, quint16(m_remotePort));
    }
}

bool TcpClientSocket::startClientEncryption()
{
    if (!m_socket || m_failed || m_handshaking || m_socket->isEncrypted()
        || m_socket->state() != QAbstractSocket::ConnectedState)
        return false;
    // Whatever the server sent before the upgrade could have been injected
    // by anyone on the way; none of it may count as part of the dialogue.
    m_socket->readAll();
    m_sslErrors.clear();
    m_refusedCertificate.reset();
    m_handshaking = true;
    m_socket->startClientEncryption();
    return true;
}

bool TcpClientSocket::isEncrypted() const
{
    return m_socket && m_socket->isEncrypted();
}

bool TcpClientSocket::isPeerLoopback() const
{
    return m_socket && m_socket->peerAddress().isLoopback();
}

void TcpClientSocket::onEncrypted()
{
    m_handshaking = false;
    QPointer<QSslSocket> socket = m_socket;
    if (m_implicitTls)
        emit connected();
    else
        emit encrypted();
    // Data that came with the end of the handshake has had no event yet.
    if (socket && socket == m_socket && !m_failed && socket->bytesAvailable() > 0)
        emit dataArrival(socket->bytesAvailable());
}

void TcpClientSocket::checkCertificate(QSslSocket *socket, const QList<QSslError> &errors)
{
    QSslCertificate certificate = socket->peerCertificate();
    for (const QSslError &error : errors) {
        if (certificate.isNull())
            certificate = error.certificate();
    }
    // Only the exact certificate the user trusted for this server gets past
    // its errors; any other makes the handshake fail, and the error event
    // reports them.
    if (!m_trustedFingerprint.isEmpty() && CertificateTrust::fingerprint(certificate) == m_trustedFingerprint) {
        socket->ignoreSslErrors();
        return;
    }
    m_sslErrors += errors;
    m_refusedCertificate = certificate;
}

void TcpClientSocket::failHandshake(int number, const QString &description)
{
    m_failed = true;
    m_handshaking = false;
    emit errorOccurred(number, description);
}

QString TcpClientSocket::certificateProblem() const
{
    QStringList reasons;
    for (const QSslError &error : m_sslErrors) {
        QString reason;
        switch (error.error()) {
        case QSslError::CertificateExpired:
            reason = QStringLiteral("the certificate has expired");
            break;
        case QSslError::CertificateNotYetValid:
            reason = QStringLiteral("the certificate is not valid yet");
            break;
        case QSslError::SelfSignedCertificate:
            reason = QStringLiteral("the certificate is self-signed and not trusted");
            break;
        case QSslError::SelfSignedCertificateInChain:
            reason = QStringLiteral("the certificate was issued by a self-signed authority that is not trusted");
            break;
        case QSslError::HostNameMismatch:
            reason = QStringLiteral("the certificate was issued for another host, not \"%1\"").arg(m_remoteHost);
            break;
        case QSslError::UnableToGetIssuerCertificate:
        case QSslError::UnableToGetLocalIssuerCertificate:
        case QSslError::UnableToVerifyFirstCertificate:
        case QSslError::CertificateUntrusted:
        case QSslError::InvalidCaCertificate:
            reason = QStringLiteral("the certificate was not issued by a trusted authority");
            break;
        case QSslError::CertificateRevoked:
            reason = QStringLiteral("the certificate has been revoked");
            break;
        case QSslError::NoError:
            break;
        default:
            reason = error.errorString();
            break;
        }
        if (!reason.isEmpty() && !reasons.contains(reason))
            reasons << reason;
    }
    return reasons.join(QStringLiteral("; "));
}

void TcpClientSocket::onError()
{
    const QAbstractSocket::SocketError error = m_socket->error();
    if (m_handshaking) {
        // Nothing has been sent yet and nothing will be: the connection is
        // given up, and the reason is what the user needs to know. (The
        // handler of the event may close and drop the socket.)
        const QString problem = certificateProblem();
        if (!problem.isEmpty()) {
            failHandshake(sckCertificateRefused, QStringLiteral("The mail server's certificate was refused: ") + problem + u'.');
            return;
        }
        if (error == QAbstractSocket::RemoteHostClosedError) {
            failHandshake(sckClosedDuringHandshake,
                          QStringLiteral("The mail server closed the connection during the TLS handshake."));
            return;
        }
        if (m_socket->state() == QAbstractSocket::ConnectedState || error == QAbstractSocket::SslHandshakeFailedError
            || error == QAbstractSocket::SslInternalError || error == QAbstractSocket::SslInvalidUserDataError) {
            failHandshake(sckTlsHandshakeFailed,
                          QStringLiteral("The TLS handshake failed: ") + m_socket->errorString());
            return;
        }
        // Otherwise the connection itself failed (refused, unknown host).
    }
    // The peer closing is the Close event, not an error.
    if (error == QAbstractSocket::RemoteHostClosedError)
        return;
    int number = 10000 + int(error);
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError: number = 10061; break;
    case QAbstractSocket::HostNotFoundError: number = 11001; break;
    case QAbstractSocket::SocketTimeoutError: number = 10060; break;
    case QAbstractSocket::NetworkError: number = 10065; break;
    default: break;
    }
    const QString description = m_socket->errorString();
    m_handshaking = false;
    m_failed = true;
    emit errorOccurred(number, description);
}

bool TcpClientSocket::SendData(const QString &data)
{
    // Out now, not when the event loop next runs: the server answers while
    // the caller goes on with its own work.
    return QueueData(data) && Flush();
}

bool TcpClientSocket::QueueData(const QString &data)
{
    if (!m_socket || m_socket->state() != QAbstractSocket::ConnectedState || m_failed || m_handshaking)
        return false;
    m_queued += data.toLatin1();
    return true;
}

bool TcpClientSocket::Flush()
{
    if (!m_socket || m_socket->state() != QAbstractSocket::ConnectedState || m_failed)
        return false;
    const QByteArray bytes = std::exchange(m_queued, QByteArray());
    if (bytes.isEmpty())
        return true;
    // A plain connection with nothing waiting in Qt hands the lines to the
    // kernel itself: Qt's write arms a write notifier and disarms it again,
    // which wakes the event loop twice for every write.
    qint64 sent = 0;
    if (m_socket->mode() == QSslSocket::UnencryptedMode && m_socket->bytesToWrite() == 0) {
        sent = sendAtOnce(m_socket, bytes);
        if (sent > 0)
            acknowledgeAtOnce(m_socket);
        if (sent == bytes.size())
            return true;
    }
    const QByteArray rest = bytes.mid(sent);
    m_sending = true;
    const bool written = m_socket->write(rest) == rest.size();
    if (written)
        m_socket->flush();
    m_sending = false;
    return written;
}

void TcpClientSocket::GetData(QString &data)
{
    data = m_socket && !m_handshaking ? QString::fromLatin1(m_socket->readAll()) : QString();
}

void TcpClientSocket::GetData(QByteArray &data)
{
    data = m_socket && !m_handshaking ? m_socket->readAll() : QByteArray();
}

qint64 TcpClientSocket::BytesReceived() const
{
    return m_socket && !m_handshaking ? m_socket->bytesAvailable() : 0;
}
