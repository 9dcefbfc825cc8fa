// The real POP3 servers the integration tests run against, Dovecot and GNU
// mailutils pop3d, through their one interface: each starts and serves the
// mails delivered to it in the form the window tests rely on, a table with
// a row per server saying where they differ. What only one of them does has
// a test of its own: Dovecot's quick refusals and its POP3S listener,
// mailutils's lock of a mailbox per session and its virtual domains.

#include "DovecotServer.h"
#include "MailutilsServer.h"
#include "RawPop3.h"
#include "RealPop3Server.h"

#include <QProcess>
#include <QRegularExpression>
#include <QSslSocket>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString Alice = QStringLiteral("alice");
const QString Secret = QStringLiteral("secret");

// One blocking POP3 conversation, plain or over TLS from the first byte.
class Session
{
public:
    explicit Session(quint16 port, bool tls = false)
    {
        if (tls) {
            m_socket.setPeerVerifyMode(QSslSocket::VerifyNone);
            m_socket.connectToHostEncrypted(QStringLiteral("127.0.0.1"), port);
        } else {
            m_socket.connectToHost(QHostAddress::LocalHost, port);
        }
        const bool up = tls ? m_socket.waitForEncrypted(5000) : m_socket.waitForConnected(5000);
        m_greeting = up ? read(false) : QByteArray("<no connection>");
    }
    QByteArray greeting() const { return m_greeting; }
    bool isEncrypted() const { return m_socket.isEncrypted(); }
    QByteArray command(const QByteArray &line, bool multiLine = false)
    {
        m_socket.write(line + "\r\n");
        return read(multiLine);
    }
    bool login(const QString &user, const QString &password)
    {
        return command("USER " + user.toLatin1()).startsWith("+OK")
               && command("PASS " + password.toLatin1()).startsWith("+OK");
    }
    // The server has hung up (waits a while for it).
    bool closedByServer()
    {
        return m_socket.state() == QAbstractSocket::UnconnectedState || m_socket.waitForDisconnected(5000);
    }

private:
    QByteArray read(bool multiLine)
    {
        QByteArray all;
        auto complete = [&] {
            if (!all.endsWith("\r\n"))
                return false;
            return !multiLine || all.startsWith("-ERR") || all.endsWith("\r\n.\r\n");
        };
        while (!complete() && m_socket.waitForReadyRead(5000))
            all += m_socket.readAll();
        return all;
    }

    QSslSocket m_socket;
    QByteArray m_greeting;
};

QByteArray withCrLf(QByteArray text)
{
    return text.replace("\r\n", "\n").replace("\n", "\r\n");
}

// LF line ends, a line beginning with a dot; no id of its own.
const QByteArray kFirst = "Subject: one\nFrom: a@example.org\n\nhello\n.starts with a dot\n";
// CR LF line ends, dot lines, an 8-bit octet and an id in an X-UIDL header.
const QByteArray kSecond = "Subject: two\r\nX-UIDL: id-two\r\n\r\n.hidden line\r\n..\r\nend \xe9\r\n";

} // namespace

class TestRealPop3Servers : public QObject
{
    Q_OBJECT
private slots:
    void servesDeliveredMails_data()
    {
        QTest::addColumn<QString>("server");
        // It takes a mail's X-UIDL header for its id, and writes one with
        // the id it makes after the last header line of a mail without.
        QTest::addColumn<bool>("xUidl");
        QTest::addColumn<QString>("madeId");
        // TOP sends one empty line more after the header.
        QTest::addColumn<bool>("topEmptyLine");
        QTest::newRow("dovecot") << "dovecot" << false << "[0-9a-f]{16}" << false;
        QTest::newRow("mailutils") << "mailutils" << true << "\\S+" << true;
    }
    void servesDeliveredMails()
    {
        QFETCH(QString, server);
        QFETCH(bool, xUidl);
        QFETCH(QString, madeId);
        QFETCH(bool, topEmptyLine);
        std::unique_ptr<RealPop3Server> pop3 = RealPop3Server::makeForTest(server);
        if (!pop3)
            return;
        const QString alice = pop3->loginName(Alice);
        QVERIFY2(pop3->addUser(alice, Secret), qPrintable(pop3->errorString()));
        QVERIFY(pop3->deliver(alice, kFirst));
        QVERIFY(pop3->deliver(alice, kSecond));
        QCOMPARE(pop3->storedMails(alice), (QList<QByteArray>{pop3->storedForm(kFirst), pop3->storedForm(kSecond)}));
        QVERIFY2(pop3->start(), qPrintable(pop3->errorString()));
        QVERIFY(pop3->port() != 0);
        const auto ask = [&](const QByteArray &command) {
            return RawPop3MultiLine(pop3->port(), alice.toLatin1(), Secret.toLatin1(), command);
        };

        // Ids in delivery order, distinct.
        const QByteArray ids = ask("UIDL");
        const QRegularExpressionMatch id =
            QRegularExpression(QStringLiteral("^1 (\\S+)\r\n2 (\\S+)\r\n$")).match(QString::fromLatin1(ids));
        QVERIFY2(id.hasMatch(), ids.constData());
        const QRegularExpression made(QStringLiteral("^%1$").arg(madeId));
        QVERIFY2(made.match(id.captured(1)).hasMatch(), qPrintable(id.captured(1)));
        if (xUidl)
            QCOMPARE(id.captured(2), QStringLiteral("id-two"));
        else
            QVERIFY2(made.match(id.captured(2)).hasMatch(), qPrintable(id.captured(2)));
        QVERIFY(id.captured(1) != id.captured(2));

        // Served with CR LF line ends, dots unstuffed; a server that writes
        // ids adds its own to a mail without one, after the header.
        const QByteArray firstId = id.captured(1).toLatin1();
        QByteArray first = withCrLf(kFirst);
        if (xUidl)
            first.replace("\r\n\r\n", "\r\nX-UIDL: " + firstId + "\r\n\r\n");
        QCOMPARE(ask("RETR 2"), kSecond);
        QCOMPARE(ask("RETR 1"), first);
        // Sizes are those of what RETR sends.
        QCOMPARE(ask("LIST"), "1 " + QByteArray::number(first.size()) + "\r\n2 "
                                  + QByteArray::number(kSecond.size()) + "\r\n");
        if (xUidl) // and into the stored file
            QTRY_COMPARE(pop3->storedMails(alice).value(0), pop3->storedForm(first));

        Session session(pop3->port());
        QVERIFY2(session.greeting().startsWith("+OK"), session.greeting().constData());
        QVERIFY(session.login(alice, Secret));
        QCOMPARE(session.command("STAT"), "+OK 2 " + QByteArray::number(first.size() + kSecond.size()) + "\r\n");
        // Dot-stuffed on the wire.
        QVERIFY(session.command("RETR 2", true).contains("\r\n..hidden line\r\n"));
        QCOMPARE(session.command("TOP 2 1", true),
                 "+OK\r\nSubject: two\r\nX-UIDL: id-two\r\n\r\n" + QByteArray(topEmptyLine ? "\r\n" : "")
                     + "..hidden line\r\n.\r\n");
        QVERIFY(session.command("QUIT").startsWith("+OK"));
        QVERIFY(session.closedByServer());

        // A mail delivered while it runs is served at the next login.
        QVERIFY(pop3->deliver(alice, "Subject: three\r\n\r\nx\r\n"));
        Session again(pop3->port());
        QVERIFY(again.login(alice, Secret));
        const QByteArray stat = again.command("STAT");
        QVERIFY2(stat.startsWith("+OK 3 "), stat.constData());
    }

    void failedLoginIsNotSlowedDownOnDovecot()
    {
        std::unique_ptr<RealPop3Server> dovecot = RealPop3Server::makeForTest(QStringLiteral("dovecot"));
        if (!dovecot)
            return;
        QVERIFY(dovecot->addUser(QStringLiteral("bob"), QStringLiteral("right")));
        QVERIFY2(dovecot->start(), qPrintable(dovecot->errorString()));

        // Refused twice, then accepted, each well within a reply's wait.
        for (const char *password : {"wrong", "wrong", "right"}) {
            Session session(dovecot->port());
            QVERIFY(session.command("USER bob").startsWith("+OK"));
            const QByteArray reply = session.command("PASS " + QByteArray(password));
            const bool right = qstrcmp(password, "right") == 0;
            QVERIFY2(reply.startsWith(right ? "+OK" : "-ERR"), reply.constData());
        }

        // A user added while it runs can log in.
        QVERIFY(dovecot->addUser(QStringLiteral("dave"), QStringLiteral("pw2")));
        QVERIFY2(Session(dovecot->port()).login(QStringLiteral("dave"), QStringLiteral("pw2")),
                 qPrintable(dovecot->log()));
    }

    void tlsListenerOnDovecot()
    {
        if (!QSslSocket::supportsSsl())
            QSKIP("Qt has no TLS backend here");
        const QString openssl = QStandardPaths::findExecutable(QStringLiteral("openssl"));
        if (openssl.isEmpty())
            QSKIP("openssl is not installed to make a certificate");
        DovecotServer dovecot;
        if (!dovecot.cannotRunReason().isEmpty())
            QSKIP(qPrintable(dovecot.cannotRunReason()));
        QTemporaryDir keys;
        QProcess req;
        req.start(openssl, {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=localhost", "-days", "2",
                            "-keyout", keys.filePath("key.pem"), "-out", keys.filePath("cert.pem")});
        QVERIFY(req.waitForFinished(60000));
        QCOMPARE(req.exitCode(), 0);

        QVERIFY(dovecot.addUser(QStringLiteral("carol"), QStringLiteral("pw")));
        QVERIFY(dovecot.enableTls(keys.filePath("cert.pem"), keys.filePath("key.pem")));
        QVERIFY2(dovecot.start(), qPrintable(dovecot.errorString()));
        QVERIFY(dovecot.tlsPort() != 0 && dovecot.tlsPort() != dovecot.port());

        Session session(dovecot.tlsPort(), true);
        QVERIFY2(session.greeting().startsWith("+OK"), session.greeting().constData());
        QVERIFY(session.isEncrypted());
        QVERIFY2(session.login(QStringLiteral("carol"), QStringLiteral("pw")), qPrintable(dovecot.log()));
    }

    void secondSessionWaitsForTheFirstToQuitOnMailutils()
    {
        std::unique_ptr<RealPop3Server> pop3d = RealPop3Server::makeForTest(QStringLiteral("mailutils"));
        if (!pop3d)
            return;
        const QString alice = pop3d->loginName(Alice);
        QVERIFY(pop3d->addUser(alice, Secret));
        QVERIFY(pop3d->deliver(alice, kSecond));
        QVERIFY2(pop3d->start(), qPrintable(pop3d->errorString()));

        Session first(pop3d->port());
        QVERIFY(first.login(alice, Secret));
        Session second(pop3d->port());
        QVERIFY(second.command("USER " + alice.toLatin1()).startsWith("+OK"));
        QCOMPARE(second.command("PASS secret"), QByteArray("-ERR [IN-USE] Mailbox in use\r\n"));
        QVERIFY(first.command("QUIT").startsWith("+OK"));
        // The lock is gone by the time QUIT is answered.
        Session third(pop3d->port());
        QVERIFY(third.login(alice, Secret));
        QVERIFY(third.command("QUIT").startsWith("+OK"));
    }

    void refusesWrongPasswordsAndUnknownUsersOnMailutils()
    {
        std::unique_ptr<RealPop3Server> pop3d = RealPop3Server::makeForTest(QStringLiteral("mailutils"));
        if (!pop3d)
            return;
        const QString alice = pop3d->loginName(Alice);
        QCOMPARE(alice, QStringLiteral("alice@example.org"));
        QVERIFY(pop3d->addUser(alice, Secret));
        QVERIFY(pop3d->addUser(QStringLiteral("bob@example.net"), QStringLiteral("other")));
        QVERIFY(!pop3d->addUser(QStringLiteral("carl"), QStringLiteral("x"))); // no domain
        QVERIFY2(pop3d->start(), qPrintable(pop3d->errorString()));
        QVERIFY(!Session(pop3d->port()).login(alice, QStringLiteral("wrong")));
        QVERIFY(!Session(pop3d->port()).login(Alice, Secret));
        QVERIFY(!Session(pop3d->port()).login(QStringLiteral("alice@example.net"), Secret));
        QVERIFY(Session(pop3d->port()).login(QStringLiteral("bob@example.net"), QStringLiteral("other")));
    }
};

QTEST_GUILESS_MAIN(TestRealPop3Servers)
#include "test_real_pop3_servers.moc"
