// The window's TCP component against a real Dovecot, a closed port and a
// plain listening socket: its events, byte counts and states, and when
// sent data leaves.

#include "DovecotServer.h"
#include "net/TcpClientSocket.h"

#include <QSignalSpy>
#include <QSslSocket>
#include <QTcpServer>
#include <QtTest>

#include <poll.h>
#include <sys/socket.h>

class TestTcpSocket : public QObject
{
    Q_OBJECT
private slots:
    void greetingThroughDovecot()
    {
        if (!DovecotServer::isAvailable())
            QSKIP(qPrintable(DovecotServer::unavailableReason()));
        DovecotServer dovecot;
        QVERIFY2(dovecot.start(), qPrintable(dovecot.errorString() + dovecot.log()));

        TcpClientSocket socket;
        QSignalSpy connected(&socket, &TcpClientSocket::connected);
        QSignalSpy arrived(&socket, &TcpClientSocket::dataArrival);
        QSignalSpy closed(&socket, &TcpClientSocket::closed);
        QCOMPARE(socket.State(), int(TcpClientSocket::sckClosed));
        socket.SetRemoteHost(QStringLiteral("127.0.0.1"));
        socket.SetRemotePort(dovecot.port());
        socket.Connect();
        QVERIFY(socket.State() != TcpClientSocket::sckClosed);
        QTRY_COMPARE(connected.count(), 1);
        QCOMPARE(socket.State(), int(TcpClientSocket::sckConnected));

        QTRY_VERIFY(arrived.count() >= 1);
        const qint64 announced = arrived.first().at(0).toLongLong();
        QString greeting;
        socket.GetData(greeting);
        QVERIFY(greeting.startsWith(QStringLiteral("+OK")));
        QVERIFY(greeting.endsWith(QStringLiteral("\r\n")));
        QCOMPARE(announced, qint64(greeting.size()));

        QVERIFY(socket.SendData(QStringLiteral("QUIT \r\n")));
        QTRY_COMPARE(closed.count(), 1); // the server closes after QUIT
        QCOMPARE(socket.State(), int(TcpClientSocket::sckClosing));
        socket.Close();
        QCOMPARE(socket.State(), int(TcpClientSocket::sckClosed));
        QVERIFY(!socket.SendData(QStringLiteral("STAT \r\n")));
    }

    void refusedPortRaisesTheErrorEvent()
    {
        // A port that was just free: nobody listens there.
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const quint16 port = probe.serverPort();
        probe.close();

        TcpClientSocket socket;
        QSignalSpy errors(&socket, &TcpClientSocket::errorOccurred);
        QSignalSpy connected(&socket, &TcpClientSocket::connected);
        socket.SetRemoteHost(QStringLiteral("127.0.0.1"));
        socket.SetRemotePort(port);
        socket.Connect();
        QTRY_COMPARE(errors.count(), 1);
        QCOMPARE(errors.first().at(0).toInt(), 10061);
        QVERIFY(!errors.first().at(1).toString().isEmpty());
        QCOMPARE(connected.count(), 0);
        QCOMPARE(socket.State(), int(TcpClientSocket::sckError)); // not closed until closed
        socket.Close();
        QCOMPARE(socket.State(), int(TcpClientSocket::sckClosed));
    }

    void bytesSurviveBothWays()
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        TcpClientSocket socket;
        QSignalSpy arrived(&socket, &TcpClientSocket::dataArrival);
        QSignalSpy connected(&socket, &TcpClientSocket::connected);
        socket.SetRemoteHost(QStringLiteral("127.0.0.1"));
        socket.SetRemotePort(server.serverPort());
        socket.Connect();
        QTRY_VERIFY(server.hasPendingConnections());
        QTcpSocket *peer = server.nextPendingConnection();
        QTRY_COMPARE(connected.count(), 1);

        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all.append(char(b));
        peer->write(all);
        QString received;
        QTRY_VERIFY_WITH_TIMEOUT(([&] {
                                     QString more;
                                     socket.GetData(more);
                                     received += more;
                                     return received.size() == 256;
                                 }()),
                                 5000);
        QCOMPARE(received.toLatin1(), all);

        QVERIFY(socket.SendData(received));
        QByteArray echoed;
        QTRY_VERIFY(((echoed += peer->readAll()).size() == 256));
        QCOMPARE(echoed, all);
    }

    // A command is on the wire when SendData returns: the window works on
    // the last reply while the server already answers the next command.
    void sentDataLeavesBeforeTheEventLoopRuns()
    {
        QTcpServer server;
        QTcpSocket *peer = nullptr;
        TcpClientSocket socket;
        connectTo(server, socket, &peer);

        QVERIFY(socket.SendData(QStringLiteral("LIST \r\n")));
        // Only the peer waits here; the client's event loop does not run.
        QVERIFY(peer->waitForReadyRead(5000));
        QCOMPARE(peer->readAll(), QByteArray("LIST \r\n"));
    }

    // Sending on a connection the server has reset fails inside the send;
    // the window hears of it afterwards, never from within SendData.
    void failureWhileSendingIsReportedAfterwards()
    {
        QTcpServer server;
        QTcpSocket *peer = nullptr;
        TcpClientSocket socket;
        connectTo(server, socket, &peer);
        QSignalSpy errors(&socket, &TcpClientSocket::errorOccurred);
        QSignalSpy closed(&socket, &TcpClientSocket::closed);

        const linger reset{1, 0};
        QCOMPARE(::setsockopt(int(peer->socketDescriptor()), SOL_SOCKET, SO_LINGER, &reset, sizeof reset), 0);
        peer->abort();
        // Until the reset has reached the client's side; still no event loop.
        const QSslSocket *inner = socket.findChild<QSslSocket *>();
        QVERIFY(inner);
        pollfd reached{int(inner->socketDescriptor()), POLLIN, 0};
        QCOMPARE(::poll(&reached, 1, 5000), 1);

        QVERIFY(socket.SendData(QStringLiteral("STAT \r\n")));
        QCOMPARE(errors.count() + closed.count(), 0);
        QTRY_VERIFY(errors.count() + closed.count() > 0);
    }

private:
    static void connectTo(QTcpServer &server, TcpClientSocket &socket, QTcpSocket **peer)
    {
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        QSignalSpy connected(&socket, &TcpClientSocket::connected);
        socket.SetRemoteHost(QStringLiteral("127.0.0.1"));
        socket.SetRemotePort(server.serverPort());
        socket.Connect();
        QTRY_VERIFY(server.hasPendingConnections());
        *peer = server.nextPendingConnection();
        QTRY_COMPARE(connected.count(), 1);
    }
};

QTEST_GUILESS_MAIN(TestTcpSocket)
#include "test_tcp_socket.moc"
