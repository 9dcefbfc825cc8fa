// An HTTPMail session through the real window against the in-process
// HTTPMail server: account detection, the five login attempts, statistics,
// the size list and logout.

#include "frmMainTestAccess.h"
#include "httpmail/clsHotmail.h"
#include "HttpMailServer.h"
#include "MessageBoxRecorder.h"
#include "net/TcpClientSocket.h"
#include "window/FlexGrid.h"
#include "window/frmMain.h"
#include "WindowTestKit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QtTest>

namespace {
const QString User = QStringLiteral("alice@hotmail.com");
const QString Password = QStringLiteral("secret");

// Bob's mail read, Carol's and Dave's of 1500 and 2500 octets new.
QList<HttpMailServer::Mail> threeMails()
{
    return kit::threeHotmailMails("Subject: Hello\r\n\r\nHi\r\n", QByteArray(1500, 'x'), QByteArray(2500, 'y'));
}
} // namespace

class TestHotmailSession : public QObject
{
    Q_OBJECT
private slots:
    void init() { QSettings(QStringLiteral("Mailvane"), QStringLiteral("Mailvane")).clear(); }

    void accountKindFromUserName_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<bool>("hotmail");
        QTest::newRow("hotmail.com") << "alice@hotmail.com" << true;
        QTest::newRow("msn.com") << "bob@msn.com" << true;
        QTest::newRow("capital letters") << "alice@HOTMAIL.com" << false;
        QTest::newRow("at position 1") << "@hotmail.com" << false;
        QTest::newRow("one character before") << "a@hotmail.com" << true;
        QTest::newRow("domain inside a longer one") << "a@msn.com.example.org" << true;
        QTest::newRow("other domain") << "alice@example.com" << false;
        QTest::newRow("no at") << "hotmail.com" << false;
    }
    void accountKindFromUserName()
    {
        QFETCH(QString, user);
        QFETCH(bool, hotmail);
        HotmailWindowFixture f;
        QVERIFY(f.started);
        f.server.setCredentials(user, Password);
        f.w.txtUser->setText(user);
        f.w.txtPwd->setText(Password);
        f.w.txtMailServer->setText(QStringLiteral("127.0.0.1"));
        f.w.cboPort->setEditText(QStringLiteral("1")); // nothing listens there
        f.w.cmdLogin_Click();
        QCOMPARE(kit::session(f.w).bHotmailMode(), hotmail);
        QCOMPARE(kit::session(f.w).bPOP3Mode(), !hotmail);
        if (hotmail) {
            int logins = 0;
            for (const HttpMailServer::Request &request : f.server.requests("PROPFIND"))
                logins += request.authorized && request.path == HttpMailServer::endpointPath();
            QCOMPARE(logins, 5); // the inbox is empty: five attempts
        } else {
            QVERIFY(f.server.requests().isEmpty());
            QTRY_COMPARE(f.boxes.boxes.size(), 1); // the refused connection
        }
        f.w.sockPOP3->Close();
    }

    void loginShowsTheInbox()
    {
        HotmailWindowFixture f;
        QVERIFY(f.started);
        f.server.setMails(threeMails());
        QVERIFY(f.login()); // runs to its end inside the click
        QCOMPARE(f.server.problems(), QStringList());
        QCOMPARE(f.w.cmdLogin->text(), QStringLiteral("Logout"));
        QVERIFY(f.w.cmdLogin->isEnabled());
        QCOMPARE(f.w.lblMails->text(), QStringLiteral("3"));
        QCOMPARE(f.w.lblMailSize->text(), QString::number(QByteArray("Subject: Hello\r\n\r\nHi\r\n").size() + 4000));
        QCOMPARE(f.w.lblTotalMails->text(), QStringLiteral("Total 3 mails"));
        QCOMPARE(f.w.lblNewMails->text(), QStringLiteral("2 new mail(s)"));
        QCOMPARE(f.w.cboTill->currentText(), QStringLiteral("3"));
        QCOMPARE(f.w.cboDelFrom->count(), 3);
        QVERIFY(!f.w.fraRetrieval->isHidden());
        QVERIFY(!f.w.fraBrowse->isHidden());
        QVERIFY(!f.w.cmdStats->isHidden());
        QVERIFY(!f.w.ckAutoLogin->isHidden());
        QVERIFY(f.w.prgProgress->isHidden());
        QVERIFY(!f.w.timLogin->isActive()); // autologin unchecked: the timer is left alone
        QCOMPARE(kit::session(f.w).colHotmailIds().size(), 3);
        QVERIFY(f.boxes.boxes.isEmpty());
        int unauthorized = 0;
        for (const HttpMailServer::Request &request : f.server.requests())
            unauthorized += !request.authorized;
        QCOMPARE(unauthorized, 1); // only the first request is challenged

        f.w.cmdStats_Click();
        QCOMPARE(f.w.cmdStats->text(), QStringLiteral("<< Hide"));
        QCOMPARE(f.w.grdStats->Rows(), 4);
        QCOMPARE(f.w.grdStats->TextMatrix(0, 0), QStringLiteral("Mail no."));
        QCOMPARE(f.w.grdStats->TextMatrix(2, 0), QStringLiteral("2"));
        QCOMPARE(f.w.grdStats->TextMatrix(3, 1), QStringLiteral("2500"));
        QVERIFY(f.w.cmdShow->isEnabled());

        const int before = int(f.server.requests().size());
        f.boxes.answers.enqueue(MsgAnswer::Yes);
        f.w.cmdLogin_Click();
        QCOMPARE(f.boxes.texts(), QStringList{QStringLiteral("Confirm Logout?")});
        QCOMPARE(f.w.cmdLogin->text(), QStringLiteral("Login")); // at once, no network
        QCOMPARE(int(f.server.requests().size()), before);
        QVERIFY(!kit::session(f.w).objHotmail());
        QVERIFY(f.w.fraStats->isHidden());
    }

    void loginAttempts_data()
    {
        QTest::addColumn<int>("failingAttempts");
        QTest::newRow("first attempt") << 0;
        QTest::newRow("third attempt") << 2;
        QTest::newRow("never") << 5;
    }
    void loginAttempts()
    {
        QFETCH(int, failingAttempts);
        HotmailWindowFixture f;
        QVERIFY(f.started);
        f.server.setMails(threeMails());
        if (failingAttempts > 0)
            f.server.addCannedReply(HttpMailServer::CannedReply::reply(
                "PROPFIND", HttpMailServer::endpointPath(), 503, "<html>Busy</html>", "text/html"));
        if (failingAttempts > 0 && failingAttempts < 5) {
            f.server.clearCannedReplies();
            HttpMailServer::CannedReply busy = HttpMailServer::CannedReply::reply(
                "PROPFIND", HttpMailServer::endpointPath(), 503, "<html>Busy</html>", "text/html");
            busy.times = failingAttempts;
            f.server.addCannedReply(busy);
        }
        f.login(); // fails when every attempt does
        int logins = 0;
        for (const HttpMailServer::Request &request : f.server.requests("PROPFIND"))
            logins += request.authorized && request.path == HttpMailServer::endpointPath();
        QCOMPARE(logins, qMin(failingAttempts + 1, 5));
        if (failingAttempts < 5) {
            QCOMPARE(f.w.cmdLogin->text(), QStringLiteral("Logout"));
            QVERIFY(f.boxes.boxes.isEmpty());
        } else {
            QCOMPARE(f.w.cmdLogin->text(), QStringLiteral("Login"));
            QCOMPARE(f.boxes.boxes.size(), 1);
            QCOMPARE(f.boxes.boxes[0].text,
                     QStringLiteral("Could not connect to Hotmail! \r\nEither your userid/pwd is not correct or "
                                    "Hotmail servers are busy.\r\n Please try again. "));
            QCOMPARE(f.boxes.boxes[0].icon, MsgIcon::Exclamation);
            QCOMPARE(f.boxes.boxes[0].title, QStringLiteral("Mailvane"));
            QVERIFY(f.w.prgProgress->isHidden());
        }
    }

    void failuresThatCountAsFailedAttempts_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("wrong password") << "password";
        QTest::newRow("HTML error page") << "html";
        QTest::newRow("empty inbox") << "empty";
        QTest::newRow("other prefix for httpmail") << "prefix";
    }
    void failuresThatCountAsFailedAttempts()
    {
        QFETCH(QString, kind);
        HotmailWindowFixture f;
        QVERIFY(f.started);
        f.server.setMails(threeMails());
        QString password = Password;
        if (kind == QLatin1String("password"))
            password = QStringLiteral("wrong");
        else if (kind == QLatin1String("html"))
            f.server.addCannedReply(HttpMailServer::CannedReply::reply(
                "PROPFIND", HttpMailServer::endpointPath(), 500, "<html><body>Busy<br></body></html>", "text/html"));
        else if (kind == QLatin1String("empty"))
            f.server.setMails({});
        else
            f.server.addCannedReply(HttpMailServer::CannedReply::reply(
                "PROPFIND", HttpMailServer::endpointPath(), 207,
                QByteArray(f.server.loginReplyXml()).replace("hm:", "x:").replace("xmlns:hm", "xmlns:x")));
        kit::loginHotmail(f.w, User, password);
        QCOMPARE(f.w.cmdLogin->text(), QStringLiteral("Login"));
        QCOMPARE(f.boxes.boxes.size(), 1);
        QVERIFY(f.boxes.boxes[0].text.startsWith(QStringLiteral("Could not connect to Hotmail! ")));
    }

    void noMessageInTrayMode()
    {
        HotmailWindowFixture f;
        QVERIFY(f.started);
        f.server.setMails({});
        f.w.txtUser->setText(User);
        f.w.txtPwd->setText(Password);
        kit::session(f.w).bMinimized() = true;
        f.w.cmdLogin_Click();
        QVERIFY(f.boxes.boxes.isEmpty());
        QCOMPARE(f.w.cmdLogin->text(), QStringLiteral("Login"));
    }
};

QTEST_MAIN(TestHotmailSession)
#include "test_hotmail_session.moc"
