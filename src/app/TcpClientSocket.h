#pragma once
// The window's TCP connection, with the operations and events its POP3 code
// was written against: a numeric state, connect/close, text in and out as
// Latin-1 (one byte per character both ways), and four events.

#include <QObject>
#include <QPointer>
#include <QString>

class QTcpSocket;

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

    explicit TcpClientSocket(QObject *parent = nullptr);
    ~TcpClientSocket() override;

    int State() const;
    void Close();

    QString RemoteHost() const { return m_remoteHost; }
    void SetRemoteHost(const QString &host) { m_remoteHost = host; }
    int RemotePort() const { return m_remotePort; }
    void SetRemotePort(int port) { m_remotePort = port; }

    // Returns at once; the outcome is the Connect or the Error event.
    void Connect();
    // False when there is no open connection to send on.
    bool SendData(const QString &data);
    // Everything received and not yet read.
    void GetData(QString &data);
    qint64 BytesReceived() const;

signals:
    void connected();
    void dataArrival(qint64 bytesTotal);
    void closed();
    void errorOccurred(int number, const QString &description);

private:
    void dropSocket();
    void onError();

    QPointer<QTcpSocket> m_socket;
    QString m_remoteHost;
    int m_remotePort = 0;
    bool m_failed = false;
    bool m_peerClosed = false;
};
