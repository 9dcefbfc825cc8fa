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

void fillMailbox(HttpMailServer &server)
{
    server.setCredentials(User, Password);
    server.setMails({
        HttpMailServer::makeMail("m1", "Bob <bob@example.com>", "Hello", "2004-08-03T10:11:12Z", "Subject: Hello\r\n\r\nHi\r\n", true),
        HttpMailServer::makeMail("m2", "Carol <carol@example.com>", "Figures", "2004-08-04T09:00:00Z", QByteArray(1500, 'x'), false),
        HttpMailServer::makeMail("m3", "Dave <dave@example.com>", "Photos", "2004-08-05T08:30:00Z", QByteArray(2500, 'y'), false),
    });
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
        MessageBoxRecorder boxes;
        HttpMailServer server;
        QVERIFY(server.start());
        server.setCredentials(user, Password);
        frmMain w(server.endpointUrl().toString());
        w.txtUser->setText(user);
        w.txtPwd->setText(Password);
        w.txtMailServer->setText(QStringLiteral("127.0.0.1"));
        w.cboPort->setEditText(QStringLiteral("1")); // nothing listens there
        w.cmdLogin_Click();
        QCOMPARE(kit::session(w).bHotmailMode(), hotmail);
        QCOMPARE(kit::session(w).bPOP3Mode(), !hotmail);
        if (hotmail) {
            int logins = 0;
            for (const HttpMailServer::Request &request : server.requests("PROPFIND"))
                logins += request.authorized && request.path == HttpMailServer::endpointPath();
            QCOMPARE(logins, 5); // the inbox is empty: five attempts
        } else {
            QVERIFY(server.requests().isEmpty());
            QTRY_COMPARE(boxes.boxes.size(), 1); // the refused connection
        }
        w.sockPOP3->Close();
    }

    void loginShowsTheInbox()
    {
        MessageBoxRecorder boxes;
        HttpMailServer server;
        QVERIFY(server.start());
        fillMailbox(server);
        frmMain w(server.endpointUrl().toString());
        kit::loginHotmail(w, User, Password); // runs to its end inside the click
        QCOMPARE(server.problems(), QStringList());
        QCOMPARE(w.cmdLogin->text(), QStringLiteral("Logout"));
        QVERIFY(w.cmdLogin->isEnabled());
        QCOMPARE(w.lblMails->text(), QStringLiteral("3"));
        QCOMPARE(w.lblMailSize->text(), QString::number(QByteArray("Subject: Hello\r\n\r\nHi\r\n").size() + 4000));
        QCOMPARE(w.lblTotalMails->text(), QStringLiteral("Total 3 mails"));
        QCOMPARE(w.lblNewMails->text(), QStringLiteral("2 new mail(s)"));
        QCOMPARE(w.cboTill->currentText(), QStringLiteral("3"));
        QCOMPARE(w.cboDelFrom->count(), 3);
        QVERIFY(!w.fraRetrieval->isHidden());
        QVERIFY(!w.fraBrowse->isHidden());
        QVERIFY(!w.cmdStats->isHidden());
        QVERIFY(!w.ckAutoLogin->isHidden());
        QVERIFY(w.prgProgress->isHidden());
        QVERIFY(!w.timLogin->isActive()); // autologin unchecked: the timer is left alone
        QCOMPARE(kit::session(w).colHotmailIds().size(), 3);
        QVERIFY(boxes.boxes.isEmpty());
        int unauthorized = 0;
        for (const HttpMailServer::Request &request : server.requests())
            unauthorized += !request.authorized;
        QCOMPARE(unauthorized, 1); // only the first request is challenged

        w.cmdStats_Click();
        QCOMPARE(w.cmdStats->text(), QStringLiteral("<< Hide"));
        QCOMPARE(w.grdStats->Rows(), 4);
        QCOMPARE(w.grdStats->TextMatrix(0, 0), QStringLiteral("Mail no."));
        QCOMPARE(w.grdStats->TextMatrix(2, 0), QStringLiteral("2"));
        QCOMPARE(w.grdStats->TextMatrix(3, 1), QStringLiteral("2500"));
        QVERIFY(w.cmdShow->isEnabled());

        const int before = int(server.requests().size());
        boxes.answers.enqueue(MsgAnswer::Yes);
        w.cmdLogin_Click();
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("Confirm Logout?")});
        QCOMPARE(w.cmdLogin->text(), QStringLiteral("Login")); // at once, no network
        QCOMPARE(int(server.requests().size()), before);
        QVERIFY(!kit::session(w).objHotmail());
        QVERIFY(w.fraStats->isHidden());
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
        MessageBoxRecorder boxes;
        HttpMailServer server;
        QVERIFY(server.start());
        fillMailbox(server);
        if (failingAttempts > 0)
            server.addCannedReply(HttpMailServer::CannedReply::reply(
                "PROPFIND", HttpMailServer::endpointPath(), 503, "<html>Busy</html>", "text/html"));
        if (failingAttempts > 0 && failingAttempts < 5) {
            server.clearCannedReplies();
            HttpMailServer::CannedReply busy = HttpMailServer::CannedReply::reply(
                "PROPFIND", HttpMailServer::endpointPath(), 503, "<html>Busy</html>", "text/html");
            busy.times = failingAttempts;
            server.addCannedReply(busy);
        }
        frmMain w(server.endpointUrl().toString());
        kit::loginHotmail(w, User, Password);
        int logins = 0;
        for (const HttpMailServer::Request &request : server.requests("PROPFIND"))
            logins += request.authorized && request.path == HttpMailServer::endpointPath();
        QCOMPARE(logins, qMin(failingAttempts + 1, 5));
        if (failingAttempts < 5) {
            QCOMPARE(w.cmdLogin->text(), QStringLiteral("Logout"));
            QVERIFY(boxes.boxes.isEmpty());
        } else {
            QCOMPARE(w.cmdLogin->text(), QStringLiteral("Login"));
            QCOMPARE(boxes.boxes.size(), 1);
            QCOMPARE(boxes.boxes[0].text,
                     QStringLiteral("Could not connect to Hotmail! \r\nEither your userid/pwd is not correct or "
                                    "Hotmail servers are busy.\r\n Please try again. "));
            QCOMPARE(boxes.boxes[0].icon, MsgIcon::Exclamation);
            QCOMPARE(boxes.boxes[0].title, QStringLiteral("Mailvane"));
            QVERIFY(w.prgProgress->isHidden());
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
        MessageBoxRecorder boxes;
        HttpMailServer server;
        QVERIFY(server.start());
        fillMailbox(server);
        QString password = Password;
        if (kind == QLatin1String("password"))
            password = QStringLiteral("wrong");
        else if (kind == QLatin1String("html"))
            server.addCannedReply(HttpMailServer::CannedReply::reply(
                "PROPFIND", HttpMailServer::endpointPath(), 500, "<html><body>Busy<br></body></html>", "text/html"));
        else if (kind == QLatin1String("empty"))
            server.setMails({});
        else
            server.addCannedReply(HttpMailServer::CannedReply::reply(
                "PROPFIND", HttpMailServer::endpointPath(), 207,
                QByteArray(server.loginReplyXml()).replace("hm:", "x:").replace("xmlns:hm", "xmlns:x")));
        frmMain w(server.endpointUrl().toString());
        kit::loginHotmail(w, User, password);
        QCOMPARE(w.cmdLogin->text(), QStringLiteral("Login"));
        QCOMPARE(boxes.boxes.size(), 1);
        QVERIFY(boxes.boxes[0].text.startsWith(QStringLiteral("Could not connect to Hotmail! ")));
    }

    void noMessageInTrayMode()
    {
        MessageBoxRecorder boxes;
        HttpMailServer server;
        QVERIFY(server.start());
        fillMailbox(server);
        server.setMails({});
        frmMain w(server.endpointUrl().toString());
        w.txtUser->setText(User);
        w.txtPwd->setText(Password);
        kit::session(w).bMinimized() = true;
        w.cmdLogin_Click();
        QVERIFY(boxes.boxes.isEmpty());
        QCOMPARE(w.cmdLogin->text(), QStringLiteral("Login"));
    }
};

QTEST_MAIN(TestHotmailSession)
#include "test_hotmail_session.moc"
