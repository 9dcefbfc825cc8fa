// The GNU mailutils pop3d the integration tests run against: it starts,
// serves the mails delivered to it in the form the window tests rely on,
// and locks a mailbox per session.

#include "MailutilsServer.h"
#include "RawPop3.h"

#include <QRegularExpression>
#include <QTcpSocket>
#include <QtTest>

namespace {

const QString Alice = QStringLiteral("alice@example.org");

// One blocking POP3 conversation.
class Session
{
public:
    explicit Session(quint16 port)
    {
        m_socket.connectToHost(QHostAddress::LocalHost, port);
        m_greeting = m_socket.waitForConnected(5000) ? read(false) : QByteArray("<no connection>");
    }
    QByteArray greeting() const { return m_greeting; }
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

    QTcpSocket m_socket;
    QByteArray m_greeting;
};

QByteArray withCrLf(QByteArray text)
{
    return text.replace("\r\n", "\n").replace("\n", "\r\n");
}

const QByteArray kFirst = "Subject: one\nFrom: a@example.org\n\nhello\n.starts with a dot\n";
const QByteArray kSecond = "Subject: two\r\nX-UIDL: id-two\r\n\r\n.hidden line\r\n..\r\nend \xe9\r\n";

} // namespace

class TestMailutilsServer : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        if (!MailutilsServer::isAvailable())
            QSKIP(qPrintable(MailutilsServer::unavailableReason()));
    }

    void servesDeliveredMails()
    {
        MailutilsServer pop3d;
        QVERIFY2(pop3d.addUser(Alice, QStringLiteral("secret")), qPrintable(pop3d.errorString()));
        QVERIFY(pop3d.deliver(Alice, kFirst));
        QVERIFY(pop3d.deliver(Alice, kSecond));
        // Maildir files hold LF line ends.
        QCOMPARE(pop3d.storedMails(Alice), (QList<QByteArray>{kFirst, QByteArray(kSecond).replace("\r\n", "\n")}));
        QVERIFY2(pop3d.start(), qPrintable(pop3d.errorString()));
        QVERIFY(pop3d.port() != 0);

        // A mail with its own X-UIDL header is served as it is, CR LF line
        // ends and dots unstuffed; one without gets its id added after the
        // header.
        const QByteArray ids = RawPop3MultiLine(pop3d.port(), Alice.toLatin1(), "secret", "UIDL");
        const QRegularExpressionMatch id = QRegularExpression(QStringLiteral("^1 (\\S+)\r\n2 id-two\r\n$"))
                                               .match(QString::fromLatin1(ids));
        QVERIFY2(id.hasMatch(), ids.constData());
        const QByteArray firstId = id.captured(1).toLatin1();
        QCOMPARE(RawPop3MultiLine(pop3d.port(), Alice.toLatin1(), "secret", "RETR 2"), kSecond);
        QCOMPARE(RawPop3MultiLine(pop3d.port(), Alice.toLatin1(), "secret", "RETR 1"),
                 withCrLf(kFirst).replace("\r\n\r\n", "\r\nX-UIDL: " + firstId + "\r\n\r\n"));
        // Sizes are those of what RETR sends.
        QCOMPARE(RawPop3MultiLine(pop3d.port(), Alice.toLatin1(), "secret", "LIST"),
                 "1 " + QByteArray::number(withCrLf(kFirst).size() + 10 + firstId.size()) + "\r\n2 "
                     + QByteArray::number(kSecond.size()) + "\r\n");
        // The server has written the id into the stored file.
        QTRY_COMPARE(pop3d.storedMails(Alice).value(0),
                     QByteArray(kFirst).replace("\n\n", "\nX-UIDL: " + firstId + "\n\n"));

        Session session(pop3d.port());
        QVERIFY2(session.greeting().startsWith("+OK"), session.greeting().constData());
        QVERIFY(session.login(Alice, QStringLiteral("secret")));
        QCOMPARE(session.command("STAT"),
                 "+OK 2 " + QByteArray::number(withCrLf(kFirst).size() + 10 + firstId.size() + kSecond.size())
                     + "\r\n");
        // TOP sends one empty line more after the header.
        QCOMPARE(session.command("TOP 2 1", true), "+OK\r\nSubject: two\r\nX-UIDL: id-two\r\n\r\n\r\n..hidden line\r\n.\r\n");
        QVERIFY(session.command("QUIT").startsWith("+OK"));
    }

    void secondSessionWaitsForTheFirstToQuit()
    {
        MailutilsServer pop3d;
        QVERIFY(pop3d.addUser(Alice, QStringLiteral("secret")));
        QVERIFY(pop3d.deliver(Alice, kSecond));
        QVERIFY2(pop3d.start(), qPrintable(pop3d.errorString()));

        Session first(pop3d.port());
        QVERIFY(first.login(Alice, QStringLiteral("secret")));
        Session second(pop3d.port());
        QVERIFY(second.command("USER " + Alice.toLatin1()).startsWith("+OK"));
        QCOMPARE(second.command("PASS secret"), QByteArray("-ERR [IN-USE] Mailbox in use\r\n"));
        QVERIFY(first.command("QUIT").startsWith("+OK"));
        // The lock is gone by the time QUIT is answered.
        Session third(pop3d.port());
        QVERIFY(third.login(Alice, QStringLiteral("secret")));
        QVERIFY(third.command("QUIT").startsWith("+OK"));
    }

    void refusesWrongPasswordsAndUnknownUsers()
    {
        MailutilsServer pop3d;
        QVERIFY(pop3d.addUser(Alice, QStringLiteral("secret")));
        QVERIFY(pop3d.addUser(QStringLiteral("bob@example.net"), QStringLiteral("other")));
        QVERIFY(!pop3d.addUser(QStringLiteral("carl"), QStringLiteral("x"))); // no domain
        QVERIFY2(pop3d.start(), qPrintable(pop3d.errorString()));
        QVERIFY(!Session(pop3d.port()).login(Alice, QStringLiteral("wrong")));
        QVERIFY(!Session(pop3d.port()).login(QStringLiteral("alice"), QStringLiteral("secret")));
        QVERIFY(!Session(pop3d.port()).login(QStringLiteral("alice@example.net"), QStringLiteral("secret")));
        QVERIFY(Session(pop3d.port()).login(QStringLiteral("bob@example.net"), QStringLiteral("other")));
    }
};

QTEST_MAIN(TestMailutilsServer)
#include "test_mailutils_server.moc"
