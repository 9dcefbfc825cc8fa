#include "app/TcpClientSocket.h"

#include <QTcpSocket>

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
    case QAbstractSocket::ConnectedState: return sckConnected;
    case QAbstractSocket::ClosingState: return sckClosing;
    default: return sckConnecting;
    }
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
    m_failed = false;
    m_peerClosed = false;
}

void TcpClientSocket::Connect()
{
    Close();
    m_socket = new QTcpSocket(this);
    QTcpSocket *socket = m_socket;
    connect(socket, &QTcpSocket::connected, this, [this] { emit connected(); });
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
        if (socket == m_socket && socket->bytesAvailable() > 0)
            emit dataArrival(socket->bytesAvailable());
    });
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
        if (socket != m_socket || m_failed)
            return;
        m_peerClosed = true;
        emit closed();
    });
    connect(socket, &QTcpSocket::errorOccurred, this, [this, socket] {
        if (socket == m_socket)
            onError();
    });
    socket->connectToHost(m_remoteHost, quint16(m_remotePort));
}

void TcpClientSocket::onError()
{
    const QAbstractSocket::SocketError error = m_socket->error();
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
    m_failed = true;
    emit errorOccurred(number, description);
}

bool TcpClientSocket::SendData(const QString &data)
{
    if (!m_socket || m_socket->state() != QAbstractSocket::ConnectedState || m_failed)
        return false;
    const QByteArray bytes = data.toLatin1();
    return m_socket->write(bytes) == bytes.size();
}

void TcpClientSocket::GetData(QString &data)
{
    data = m_socket ? QString::fromLatin1(m_socket->readAll()) : QString();
}

qint64 TcpClientSocket::BytesReceived() const
{
    return m_socket ? m_socket->bytesAvailable() : 0;
}
