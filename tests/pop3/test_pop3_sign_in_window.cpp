// The window's sign-in against the scripted server, for what a real server
// does not show: a mechanism offered but refused as unsupported (the next
// method follows), an exchange broken by a "+" with garbage (cancelled with
// "*", then the next method), a hang-up in the middle, a PLAIN response
// over 255 octets sent after the "+" instead of on the AUTH line, refusals
// that end the login with no second attempt, and the question about an
// unencrypted password asked only for a method that sends it readable.

#include "frmMainTestAccess.h"
#include "WindowTestKit.h"
#include "window/modProgress.h"

#include <QLabel>
#include <QLineEdit>
#include <QMessageAuthenticationCode>
#include <QNetworkInterface>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QtTest>

namespace {

const QByteArray Challenge = "<1896.697170952@postoffice.example.net>";

QByteArray cramMd5Line(const QByteArray &user, const QByteArray &password)
{
    const QByteArray digest = QMessageAuthenticationCode::hash(Challenge, password, QCryptographicHash::Md5).toHex();
    return (user + ' ' + digest).toBase64() + "\r\n";
}

// STAT to LIST of a one-mail mailbox, after the sign-in.
void afterSignIn(ScriptedPop3Server &server)
{
    Pop3Scripts::stat(server, 1, 100);
    Pop3Scripts::uidl(server, {"a1"});
    Pop3Scripts::list(server, {100});
}

void userAndPass(ScriptedPop3Server &server)
{
    server.reply("USER bob\r\n", "+OK\r\n").reply("PASS secret\r\n", "+OK\r\n");
}

} // namespace

class TestPop3SignInWindow : public QObject
{
    Q_OBJECT
private slots:
    void init() { QSettings(QStringLiteral("Mailvane"), QStringLiteral("Mailvane")).clear(); }

    void nextMethodWhereTheServerDoesNotTakeOne_data()
    {
        QTest::addColumn<QList<QByteArray>>("exchange"); // client line, server reply, ...
        QTest::newRow("CRAM-MD5 offered but unsupported")
            << QList<QByteArray>{"AUTH CRAM-MD5\r\n", "-ERR Unsupported authentication mechanism.\r\n"};
        QTest::newRow("a + with garbage, cancelled")
            << QList<QByteArray>{"AUTH CRAM-MD5\r\n", "+ ***not base64***\r\n", "*\r\n", "-ERR Cancelled.\r\n"};
        QTest::newRow("a line that is no reply, cancelled")
            << QList<QByteArray>{"AUTH CRAM-MD5\r\n", "Hello?\r\n", "*\r\n", "-ERR Cancelled.\r\n"};
    }
    void nextMethodWhereTheServerDoesNotTakeOne()
    {
        QFETCH(QList<QByteArray>, exchange);
        WindowFixture f;
        Pop3Scripts::greetingWithCapa(f.server, {"USER", "SASL CRAM-MD5"});
        for (int i = 0; i + 1 < exchange.size(); i += 2)
            f.server.reply(exchange.at(i), exchange.at(i + 1));
        userAndPass(f.server);
        afterSignIn(f.server);
        QVERIFY(f.login());
        QCOMPARE(f.boxes.texts(), QStringList());
        QCOMPARE(f.w.lblMails->text(), QStringLiteral("1"));
        QCOMPARE(f.server.mismatches(), QStringList());
    }

    void cramMd5SignsInWithTheSameProgress()
    {
        WindowFixture f;
        Pop3Scripts::greetingWithCapa(f.server, {"USER", "SASL CRAM-MD5"});
        f.server.reply("AUTH CRAM-MD5\r\n", "+ " + Challenge.toBase64() + "\r\n");
        f.server.expect(cramMd5Line("bob", "secret"));
        // Held until the test has looked at the bar after the challenge.
        f.server.sendManually({"+OK Logged", " in.\r\n"});
        afterSignIn(f.server);
        kit::fillLogin(f.w, f.server.port());
        f.w.cmdLogin_Click();
        QTRY_VERIFY(f.server.isWaitingForSendNext());
        // One step of three, as after the reply to USER.
        QTRY_COMPARE(modProgress::GetProgressValue(), qint64(1));
        QCOMPARE(modProgress::GetProgressMax(), qint64(3));
        QVERIFY(!f.w.prgProgress->isHidden());
        f.server.sendNext();
        QTRY_VERIFY(kit::loggedInAndIdle(f.w));
        QCOMPARE(f.boxes.texts(), QStringList());
        QCOMPARE(f.server.mismatches(), QStringList());
    }

    void hangUpInTheMiddleEndsTheLogin()
    {
        WindowFixture f;
        Pop3Scripts::greetingWithCapa(f.server, {"USER", "SASL CRAM-MD5"});
        f.server.reply("AUTH CRAM-MD5\r\n", "+ " + Challenge.toBase64() + "\r\n");
        f.server.expect(cramMd5Line("bob", "secret")).closeConnection();
        kit::fillLogin(f.w, f.server.port());
        f.w.cmdLogin_Click();
        QTRY_VERIFY(f.server.isFinished());
        QTRY_VERIFY(kit::loggedOutAndIdle(f.w));
        QCOMPARE(f.server.mismatches(), QStringList());
        // Nothing after the hang-up: no USER on a new connection either.
        QCOMPARE(f.server.connectionCount(), 1);
    }

    void responseOver255OctetsFollowsThePlus()
    {
        WindowFixture f;
        // The boxes take 50 characters each; in UTF-8 these are 150 octets.
        const QString user(50, QChar(0x20AC));
        const QString password(50, QChar(0x00E9));
        const QByteArray response = QByteArray("\0", 1) + user.toUtf8() + QByteArray("\0", 1) + password.toUtf8();
        // No USER offered: PLAIN carries the password (over loopback, unasked).
        Pop3Scripts::greetingWithCapa(f.server, {"SASL PLAIN"});
        f.server.reply("AUTH PLAIN\r\n", "+ \r\n");
        f.server.reply(response.toBase64() + "\r\n", "+OK\r\n");
        afterSignIn(f.server);
        const bool loggedIn = kit::login(f.w, f.server.port(), 10000, user, password);
        QVERIFY2(f.server.mismatches().isEmpty(), qPrintable(f.server.mismatches().join(u'|')));
        QVERIFY(loggedIn);
        QVERIFY(response.toBase64().size() > 255);
    }

    void refusalEndsTheLoginWithoutASecondAttempt_data()
    {
        QTest::addColumn<QByteArray>("greeting");
        QTest::addColumn<QList<QByteArray>>("capabilities");
        QTest::addColumn<QList<QByteArray>>("exchange");
        const QByteArray stamp = "<4711.1@mail.example.org>";
        const QByteArray digest =
            QCryptographicHash::hash(stamp + "secret", QCryptographicHash::Md5).toHex();
        QTest::newRow("CRAM-MD5 refused")
            << QByteArray("+OK ready\r\n") << QList<QByteArray>{"USER", "SASL CRAM-MD5"}
            << QList<QByteArray>{"AUTH CRAM-MD5\r\n", "+ " + Challenge.toBase64() + "\r\n", cramMd5Line("bob", "secret"),
                                 "-ERR [AUTH] Authentication failed.\r\n"};
        QTest::newRow("CRAM-MD5 refused in plain words")
            << QByteArray("+OK ready\r\n") << QList<QByteArray>{"USER", "SASL CRAM-MD5"}
            << QList<QByteArray>{"AUTH CRAM-MD5\r\n", "+ " + Challenge.toBase64() + "\r\n", cramMd5Line("bob", "secret"),
                                 "-ERR Authentication failed.\r\n"};
        QTest::newRow("APOP forced and refused") << "+OK ready " + stamp + "\r\n" << QList<QByteArray>{"USER"}
                                                 << QList<QByteArray>{"APOP bob " + digest + "\r\n",
                                                                      "-ERR Authentication failed.\r\n"};
    }
    void refusalEndsTheLoginWithoutASecondAttempt()
    {
        QFETCH(QByteArray, greeting);
        QFETCH(QList<QByteArray>, capabilities);
        QFETCH(QList<QByteArray>, exchange);
        WindowFixture f;
        // APOP alone: its refusal is final only where nothing follows it.
        if (greeting.contains('<'))
            QSettings(QStringLiteral("Mailvane"), QStringLiteral("Mailvane"))
                .setValue(QStringLiteral("SignInMethods/127.0.0.1:") + QString::number(f.server.port()),
                          QStringLiteral("APOP"));
        f.server.send(greeting);
        QByteArray capa = "+OK\r\n";
        for (const QByteArray &line : capabilities)
            capa += line + "\r\n";
        f.server.reply("CAPA\r\n", capa + ".\r\n");
        for (int i = 0; i + 1 < exchange.size(); i += 2)
            f.server.reply(exchange.at(i), exchange.at(i + 1));
        // The logout after a refusal: QUIT alone, as after a refused PASS.
        Pop3Scripts::quit(f.server);
        kit::fillLogin(f.w, f.server.port());
        f.w.cmdLogin_Click();
        QTRY_COMPARE(f.boxes.boxes.size(), 1);
        QCOMPARE(f.boxes.texts(), QStringList{QStringLiteral("Server error\r\n") + QString::fromLatin1(exchange.last())});
        QTRY_COMPARE(f.w.cmdLogin->text(), QStringLiteral("Logout"));
        QVERIFY(f.w.cmdLogin->isEnabled());
        QVERIFY(f.w.prgProgress->isHidden());
        QVERIFY(kit::logout(f.w, f.boxes));
        QTRY_VERIFY(f.server.isFinished());
        QCOMPARE(f.server.mismatches(), QStringList());
    }

    void apopRefusedLetsUserAndPassFollow()
    {
        // A stamp in every greeting, and no APOP secret for the user (GNU
        // mailutils): the refusal is the server's lack of APOP.
        WindowFixture f;
        const QByteArray stamp = "<4711.1@mail.example.org>";
        f.server.send("+OK POP3 Ready " + stamp + "\r\n");
        f.server.reply("CAPA\r\n", "+OK\r\nUSER\r\n.\r\n");
        f.server.reply("APOP bob " + QCryptographicHash::hash(stamp + "secret", QCryptographicHash::Md5).toHex() + "\r\n",
                       "-ERR [AUTH] Bad login\r\n");
        userAndPass(f.server);
        afterSignIn(f.server);
        QVERIFY(f.login());
        QCOMPARE(f.boxes.texts(), QStringList());
        QCOMPARE(f.server.mismatches(), QStringList());
    }

    void onlyAReadablePasswordIsAskedAbout()
    {
        QHostAddress address;
        for (const QHostAddress &candidate : QNetworkInterface::allAddresses()) {
            if (!candidate.isLoopback() && candidate.protocol() == QAbstractSocket::IPv4Protocol
                && !candidate.isLinkLocal()) {
                address = candidate;
                break;
            }
        }
        if (address.isNull())
            QSKIP("This machine has no address but loopback to be reached on.");
        WindowFixture f;
        QVERIFY(f.server.listenOn(address));
        Pop3Scripts::greetingWithCapa(f.server, {"USER", "SASL CRAM-MD5"});
        f.server.reply("AUTH CRAM-MD5\r\n", "+ " + Challenge.toBase64() + "\r\n");
        f.server.reply(cramMd5Line("bob", "secret"), "+OK\r\n");
        afterSignIn(f.server);
        kit::fillLogin(f.w, f.server.port());
        f.w.txtMailServer->setText(address.toString());
        f.w.cmdLogin_Click();
        QTRY_VERIFY(kit::loggedInAndIdle(f.w));
        QCOMPARE(f.boxes.texts(), QStringList()); // CRAM-MD5 never shows the password
        QCOMPARE(f.server.mismatches(), QStringList());
    }
};

QTEST_MAIN(TestPop3SignInWindow)
#include "test_pop3_sign_in_window.moc"
