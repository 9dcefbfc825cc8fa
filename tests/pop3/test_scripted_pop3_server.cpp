// The scripted server other tests build on: it must follow its script,
// keep chunk boundaries when asked, and record what differs.

#include "ScriptedPop3Server.h"

#include <QtTest>
#include <QTcpSocket>

namespace {
// A client that keeps every read separately.
struct Client
{
    QTcpSocket socket;
    QList<QByteArray> reads;
    QByteArray all() const { return reads.isEmpty() ? QByteArray() : QByteArray(reads.join()); }

    explicit Client(quint16 port)
    {
        QObject::connect(&socket, &QIODevice::readyRead, &socket, [this] { reads.append(socket.readAll()); });
        socket.connectToHost(QHostAddress::LocalHost, port);
    }
};
} // namespace

class TestScriptedPop3Server : public QObject
{
    Q_OBJECT
private slots:
    void followsScript();
    void recordsMismatches();
    void manualChunksArriveSeparately();
    void commandsBackToBack();
    void linesAheadOfReplies_data();
    void linesAheadOfReplies();
    void scriptGoesOnOverConnections();
    void clientClosingEarlyIsRecorded();
};

void TestScriptedPop3Server::followsScript()
{
    ScriptedPop3Server server;
    QVERIFY(server.isListening());
    server.send("+OK ready\r\n").reply("USER bob\r\n", {"+O", "K\r", "\n"}).reply("QUIT \r\n", "+OK bye\r\n")
        .closeConnection();

    Client client(server.port());
    QTRY_COMPARE(client.all(), QByteArray("+OK ready\r\n"));
    client.socket.write("USER bob\r\n");
    QTRY_COMPARE(client.all(), QByteArray("+OK ready\r\n+OK\r\n"));
    client.socket.write("QUIT \r\n");
    QTRY_COMPARE(client.socket.state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(client.all(), QByteArray("+OK ready\r\n+OK\r\n+OK bye\r\n"));
    QVERIFY(server.isFinished());
    QCOMPARE(server.mismatches(), QStringList());
    QCOMPARE(server.receivedLines(), (QList<QByteArray>{"USER bob\r\n", "QUIT \r\n"}));
    QCOMPARE(server.connectionCount(), 1);
    QCOMPARE(server.linesAheadOfReplies(), QStringList()); // it waited for every reply
}

void TestScriptedPop3Server::recordsMismatches()
{
    ScriptedPop3Server server;
    server.reply("STAT \r\n", "+OK 0 0\r\n");
    Client client(server.port());
    client.socket.write("STAT\r\nNOOP \r\n");
    QTRY_COMPARE(server.mismatches().size(), 2);
    QVERIFY2(server.mismatches().at(0).contains(QLatin1String("expected \"STAT \\r\\n\", received \"STAT\\r\\n\"")),
             qPrintable(server.mismatches().at(0)));
    QVERIFY2(server.mismatches().at(1).contains(QLatin1String("unexpected line \"NOOP \\r\\n\"")),
             qPrintable(server.mismatches().at(1)));
    // The script still went on.
    QTRY_COMPARE(client.all(), QByteArray("+OK 0 0\r\n"));
}

void TestScriptedPop3Server::manualChunksArriveSeparately()
{
    ScriptedPop3Server server;
    server.sendManually({"+OK\r\n1 a\r\n.", "\r", "\n"});
    Client client(server.port());
    QTRY_COMPARE(client.reads.size(), 1);
    QVERIFY(server.isWaitingForSendNext());
    QVERIFY(!server.isFinished());
    server.sendNext();
    QTRY_COMPARE(client.reads.size(), 2);
    server.sendNext();
    QTRY_COMPARE(client.reads.size(), 3);
    QCOMPARE(client.reads, (QList<QByteArray>{"+OK\r\n1 a\r\n.", "\r", "\n"}));
    QVERIFY(!server.isWaitingForSendNext());
    QVERIFY(server.isFinished());

    // Driven by the client's reads, every chunk is a read of its own.
    ScriptedPop3Server paced;
    const QList<QByteArray> chunks = ScriptedPop3Server::chunksOf("+OK 12 octets\r\n0123456789\r\n.\r\n", 4);
    paced.sendManually(chunks);
    Client reader(paced.port());
    connect(&reader.socket, &QIODevice::readyRead, &paced, &ScriptedPop3Server::sendNext);
    QTRY_VERIFY(paced.isFinished());
    QTRY_COMPARE(reader.reads, chunks);
}

void TestScriptedPop3Server::commandsBackToBack()
{
    ScriptedPop3Server server;
    server.reply("RSET \r\n", "+OK\r\n").reply("QUIT \r\n", "+OK Logging out.\r\n").closeConnection();
    Client client(server.port());
    QTRY_COMPARE(client.socket.state(), QAbstractSocket::ConnectedState);
    client.socket.write("RSET \r\nQUIT \r\n");
    QTRY_COMPARE(client.socket.state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(client.all(), QByteArray("+OK\r\n+OK Logging out.\r\n"));
    QCOMPARE(server.mismatches(), QStringList());
}

// A client that sends before the previous reply is written is pipelining,
// unless the script itself expects the two commands back to back.
void TestScriptedPop3Server::linesAheadOfReplies_data()
{
    QTest::addColumn<bool>("backToBackInScript");
    QTest::addColumn<QStringList>("ahead");
    QTest::newRow("reply, then the next command") << false << QStringList{"\"QUIT \\r\\n\" before the reply to \"RSET \\r\\n\""};
    QTest::newRow("the script expects both first") << true << QStringList();
}

void TestScriptedPop3Server::linesAheadOfReplies()
{
    QFETCH(bool, backToBackInScript);
    QFETCH(QStringList, ahead);
    ScriptedPop3Server server;
    if (backToBackInScript)
        server.expect("RSET \r\n").expect("QUIT \r\n").send("+OK\r\n").send("+OK Logging out.\r\n");
    else
        server.reply("RSET \r\n", "+OK\r\n").reply("QUIT \r\n", "+OK Logging out.\r\n");
    server.closeConnection();
    Client client(server.port());
    QTRY_COMPARE(client.socket.state(), QAbstractSocket::ConnectedState);
    client.socket.write("RSET \r\nQUIT \r\n");
    QTRY_COMPARE(client.socket.state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(server.mismatches(), QStringList());
    QCOMPARE(server.linesAheadOfReplies(), ahead);
}

void TestScriptedPop3Server::scriptGoesOnOverConnections()
{
    ScriptedPop3Server server;
    server.send("+OK one\r\n").reply("QUIT \r\n", "+OK\r\n").closeConnection();
    server.acceptConnection().send("+OK two\r\n").reply("USER b\r\n", "+OK\r\n");

    Client first(server.port());
    QTRY_COMPARE(first.all(), QByteArray("+OK one\r\n"));
    first.socket.write("QUIT \r\n");
    QTRY_COMPARE(first.socket.state(), QAbstractSocket::UnconnectedState);

    Client second(server.port());
    QTRY_COMPARE(second.all(), QByteArray("+OK two\r\n"));
    second.socket.write("USER b\r\n");
    QTRY_VERIFY(server.isFinished());
    QTRY_COMPARE(second.all(), QByteArray("+OK two\r\n+OK\r\n"));
    QCOMPARE(server.connectionCount(), 2);
    QCOMPARE(server.receivedLines(), (QList<QByteArray>{"QUIT \r\n", "USER b\r\n"}));
    QCOMPARE(server.mismatches(), QStringList());
}

void TestScriptedPop3Server::clientClosingEarlyIsRecorded()
{
    ScriptedPop3Server server;
    server.send("+OK\r\n").reply("USER a\r\n", "+OK\r\n").reply("PASS b\r\n", "+OK\r\n");
    server.acceptConnection().send("+OK again\r\n");
    {
        Client client(server.port());
        QTRY_COMPARE(client.all(), QByteArray("+OK\r\n"));
        client.socket.write("USER a\r\n");
        QTRY_COMPARE(client.all(), QByteArray("+OK\r\n+OK\r\n"));
        client.socket.disconnectFromHost();
    }
    QTRY_COMPARE(server.mismatches().size(), 1);
    QVERIFY2(server.mismatches().at(0).contains(QLatin1String("closed while expecting \"PASS b\\r\\n\"")),
             qPrintable(server.mismatches().at(0)));
    // The rest of that connection's script is dropped; the next one runs.
    Client next(server.port());
    QTRY_COMPARE(next.all(), QByteArray("+OK again\r\n"));
    QVERIFY(server.isFinished());
    QCOMPARE(server.mismatches().size(), 1);
}

QTEST_GUILESS_MAIN(TestScriptedPop3Server)
#include "test_scripted_pop3_server.moc"
