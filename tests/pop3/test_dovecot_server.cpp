// The Dovecot the integration tests run against: it starts, serves the
// mails delivered to it, and answers in the form the window relies on.

#include "DovecotServer.h"
#include "pop3/Pop3Command.h"
#include "pop3/Pop3ReplyReader.h"

#include <QtTest>
#include <QSslSocket>
#include <QTcpSocket>

namespace {

// One POP3 conversation over a real socket, framed by the reply reader.
class Pop3Client
{
public:
    explicit Pop3Client(QTcpSocket *socket)
        : m_socket(socket)
    {
        m_reader.expectGreeting();
        QObject::connect(socket, &QIODevice::readyRead, socket,
                         [this] { m_reader.feed(m_socket->readAll()); });
    }
    QTcpSocket *socket() const { return m_socket; }
    bool hasReply() const { return m_reader.hasReply(); }
    QString take() { return m_reader.takeReply(); }
    void send(const QString &line)
    {
        // This client looks at the wire, so RETR's reply comes whole here
        // rather than streamed as the window takes it.
        if (line.startsWith(QLatin1String("RETR")))
            m_reader.expect(Pop3ReplyReader::Kind::MultiLine);
        else
            m_reader.commandSent(line);
        m_socket->write(line.toLatin1());
    }

private:
    QTcpSocket *m_socket;
    Pop3ReplyReader m_reader;
};

#define REPLY(client, result)                                                                      \
    QTRY_VERIFY((client).hasReply());                                                              \
    result = (client).take()

const QByteArray kFirst = "Subject: one\nFrom: a@example.org\n\nhello\n";
const QByteArray kSecond = "Subject: two\r\n\r\n.hidden line\r\n..\r\nend\r\n";

} // namespace

class TestDovecotServer : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void servesDeliveredMails();
    void failedLoginIsNotSlowedDown();
    void tlsListener();
};

void TestDovecotServer::init()
{
    if (!DovecotServer::isAvailable())
        QSKIP(qPrintable(DovecotServer::unavailableReason()));
}

void TestDovecotServer::servesDeliveredMails()
{
    DovecotServer dovecot;
    QVERIFY(dovecot.addUser(QStringLiteral("alice"), QStringLiteral("secret")));
    QVERIFY(dovecot.deliver(QStringLiteral("alice"), kFirst));
    QVERIFY(dovecot.deliver(QStringLiteral("alice"), kSecond));
    QVERIFY2(dovecot.start(), qPrintable(dovecot.errorString()));
    QVERIFY(dovecot.port() != 0);

    QTcpSocket socket;
    Pop3Client client(&socket);
    socket.connectToHost(QHostAddress::LocalHost, dovecot.port());
    QString reply;
    REPLY(client, reply);
    QVERIFY2(reply.startsWith(QLatin1String("+OK")), qPrintable(reply));

    client.send(Pop3Command::line("USER", "alice"));
    REPLY(client, reply);
    QVERIFY2(reply.startsWith(QLatin1String("+OK")), qPrintable(reply));
    client.send(Pop3Command::line("PASS", "secret"));
    REPLY(client, reply);
    QVERIFY2(reply.startsWith(QLatin1String("+OK")), qPrintable(reply + dovecot.log()));

    // Sizes count CR LF line ends, whatever the stored files hold.
    const int size = kFirst.size() + kFirst.count('\n') + kSecond.size();
    client.send(Pop3Command::line("STAT"));
    REPLY(client, reply);
    QCOMPARE(reply, QStringLiteral("+OK 2 %1\r\n").arg(size));

    client.send(Pop3Command::line("UIDL"));
    REPLY(client, reply);
    const QStringList lines = Pop3ReplyReader::content(reply).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    const QRegularExpression uidl(QStringLiteral("^(\\d+) ([0-9a-f]{16})$"));
    QVERIFY2(uidl.match(lines.at(0)).hasMatch(), qPrintable(lines.at(0)));
    QVERIFY2(uidl.match(lines.at(1)).hasMatch(), qPrintable(lines.at(1)));
    QCOMPARE(uidl.match(lines.at(0)).captured(1), QStringLiteral("1"));
    QCOMPARE(uidl.match(lines.at(1)).captured(1), QStringLiteral("2"));
    QVERIFY(uidl.match(lines.at(0)).captured(2) != uidl.match(lines.at(1)).captured(2));

    // Mails come back in delivery order, dot-stuffed on the wire.
    client.send(Pop3Command::line("RETR", 2));
    REPLY(client, reply);
    QVERIFY(reply.contains(QLatin1String("\r\n..hidden line\r\n")));
    QCOMPARE(Pop3ReplyReader::content(reply).toLatin1(), kSecond);

    client.send(Pop3Command::line("QUIT"));
    REPLY(client, reply);
    QVERIFY2(reply.startsWith(QLatin1String("+OK")), qPrintable(reply));
    QTRY_COMPARE(socket.state(), QAbstractSocket::UnconnectedState);

    // A mail delivered while it runs is served at the next login.
    QVERIFY(dovecot.deliver(QStringLiteral("alice"), "Subject: three\r\n\r\nx\r\n"));
    QTcpSocket again;
    Pop3Client second(&again);
    again.connectToHost(QHostAddress::LocalHost, dovecot.port());
    second.send(Pop3Command::line("USER", "alice"));
    second.send(Pop3Command::line("PASS", "secret"));
    second.send(Pop3Command::line("STAT"));
    for (int i = 0; i < 3; ++i) { // greeting, USER, PASS
        REPLY(second, reply);
        QVERIFY2(reply.startsWith(QLatin1String("+OK")), qPrintable(reply));
    }
    REPLY(second, reply);
    QVERIFY2(reply.startsWith(QLatin1String("+OK 3 ")), qPrintable(reply));
}

void TestDovecotServer::failedLoginIsNotSlowedDown()
{
    DovecotServer dovecot;
    QVERIFY(dovecot.addUser(QStringLiteral("bob"), QStringLiteral("right")));
    QVERIFY2(dovecot.start(), qPrintable(dovecot.errorString()));

    // Refused twice, then accepted, each well within the default wait.
    for (const char *password : {"wrong", "wrong", "right"}) {
        QTcpSocket socket;
        Pop3Client client(&socket);
        socket.connectToHost(QHostAddress::LocalHost, dovecot.port());
        client.send(Pop3Command::line("USER", "bob"));
        client.send(Pop3Command::line("PASS", QString::fromLatin1(password)));
        QString reply;
        REPLY(client, reply); // greeting
        REPLY(client, reply); // USER
        REPLY(client, reply); // PASS
        const bool right = qstrcmp(password, "right") == 0;
        QVERIFY2(Pop3ReplyReader::isError(reply) != right, qPrintable(reply));
    }

    // A user added while it runs can log in.
    QVERIFY(dovecot.addUser(QStringLiteral("dave"), QStringLiteral("pw2")));
    QTcpSocket socket;
    Pop3Client client(&socket);
    socket.connectToHost(QHostAddress::LocalHost, dovecot.port());
    client.send(Pop3Command::line("USER", "dave"));
    client.send(Pop3Command::line("PASS", "pw2"));
    QString reply;
    REPLY(client, reply);
    REPLY(client, reply);
    REPLY(client, reply);
    QVERIFY2(reply.startsWith(QLatin1String("+OK")), qPrintable(reply + dovecot.log()));
}

void TestDovecotServer::tlsListener()
{
    if (!QSslSocket::supportsSsl())
        QSKIP("Qt has no TLS backend here");
    const QString openssl = QStandardPaths::findExecutable(QStringLiteral("openssl"));
    if (openssl.isEmpty())
        QSKIP("openssl is not installed to make a certificate");
    QTemporaryDir keys;
    QProcess req;
    req.start(openssl, {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=localhost", "-days", "2",
                        "-keyout", keys.filePath("key.pem"), "-out", keys.filePath("cert.pem")});
    QVERIFY(req.waitForFinished(60000));
    QCOMPARE(req.exitCode(), 0);

    DovecotServer dovecot;
    QVERIFY(dovecot.addUser(QStringLiteral("carol"), QStringLiteral("pw")));
    QVERIFY(dovecot.enableTls(keys.filePath("cert.pem"), keys.filePath("key.pem")));
    QVERIFY2(dovecot.start(), qPrintable(dovecot.errorString()));
    QVERIFY(dovecot.tlsPort() != 0 && dovecot.tlsPort() != dovecot.port());

    QSslSocket socket;
    socket.setPeerVerifyMode(QSslSocket::VerifyNone);
    Pop3Client client(&socket);
    socket.connectToHostEncrypted(QStringLiteral("127.0.0.1"), dovecot.tlsPort());
    QString reply;
    REPLY(client, reply);
    QVERIFY2(reply.startsWith(QLatin1String("+OK")), qPrintable(reply));
    QVERIFY(socket.isEncrypted());
    client.send(Pop3Command::line("USER", "carol"));
    client.send(Pop3Command::line("PASS", "pw"));
    REPLY(client, reply);
    REPLY(client, reply);
    QVERIFY2(reply.startsWith(QLatin1String("+OK")), qPrintable(reply + dovecot.log()));
}

QTEST_GUILESS_MAIN(TestDovecotServer)
#include "test_dovecot_server.moc"
