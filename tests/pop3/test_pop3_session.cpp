// A POP3 session through the real window against a scripted server: login,
// statistics, new-mail detection, logout, and the failures on the way.

#include "frmMainTestAccess.h"
#include "mailbox/clsUIDL.h"
#include "MessageBoxRecorder.h"
#include "net/TcpClientSocket.h"
#include "PlatformRecorder.h"
#include "Pop3Scripts.h"
#include "ScriptedPop3Server.h"
#include "window/FlexGrid.h"
#include "window/frmMain.h"
#include "window/StatusLamp.h"
#include "WindowTestKit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QtTest>

using Pop3Scripts::Cut;

namespace {

const QColor Green(0, 255, 0);
const QColor Red(255, 0, 0);

} // namespace

Q_DECLARE_METATYPE(Pop3Scripts::Cut)

class TestPop3Session : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        kit::clearSavedState();
    }

    void loginShowsStatisticsAndLogoutWritesStore_data()
    {
        QTest::addColumn<Cut>("cut");
        QTest::newRow("whole replies") << Cut::Whole;
        QTest::newRow("one byte at a time") << Cut::Bytes;
        QTest::newRow("split between CR and LF") << Cut::SplitCrLf;
    }
    void loginShowsStatisticsAndLogoutWritesStore()
    {
        QFETCH(Cut, cut);
        MessageBoxRecorder boxes;
        ScriptedPop3Server server;
        Pop3Scripts::session(server, "bob", "secret", {"a1", "b2", "c3"}, {1000, 1200, 2000}, cut);
        Pop3Scripts::logout(server);

        frmMain w;
        kit::fillLogin(w, server.port());
        w.cmdLogin_Click();
        QVERIFY(!w.cmdLogin->isEnabled());
        QCOMPARE(w.lblProgress->text(), QStringLiteral("Logging in to mailbox.."));
        QTRY_VERIFY(!w.grdStats->isHidden());

        QCOMPARE(w.shpStatus->FillColor(), Green);
        QCOMPARE(w.lblMails->text(), QStringLiteral("3"));
        QCOMPARE(w.lblMailSize->text(), QStringLiteral("4200"));
        QCOMPARE(w.lblTotalMails->text(), QStringLiteral("Total 3 mails"));
        QCOMPARE(w.lblNewMails->text(), QStringLiteral("3 new mail(s)"));
        QCOMPARE(*kit::session(w).colNewMails(), (QStringList{"1", "2", "3"}));
        QCOMPARE(w.cboFrom->count(), 3);
        QCOMPARE(w.cboFrom->currentText(), QStringLiteral("1"));
        QCOMPARE(w.cboTill->currentText(), QStringLiteral("3"));
        QCOMPARE(w.cboDelFrom->currentText(), QStringLiteral("1"));
        QCOMPARE(w.cboDelTill->currentText(), QStringLiteral("3"));
        QCOMPARE(w.cmdLogin->text(), QStringLiteral("Logout"));
        QVERIFY(w.cmdLogin->isEnabled());
        QVERIFY(!w.fraRetrieval->isHidden());
        QVERIFY(!w.fraDeletion->isHidden());
        QVERIFY(!w.fraBrowse->isHidden());
        QVERIFY(!w.ckAutoLogin->isHidden());
        QVERIFY(!w.cmdHlpAutoLogin->isHidden()); // help mode is on by default
        QCOMPARE(w.cmdStats->text(), QStringLiteral("<< Hide"));
        QCOMPARE(w.grdStats->Rows(), 4);
        QCOMPARE(w.grdStats->TextMatrix(0, 0), QStringLiteral("Mail no."));
        QCOMPARE(w.grdStats->TextMatrix(0, 1), QStringLiteral("Bytes"));
        QCOMPARE(w.grdStats->TextMatrix(3, 0), QStringLiteral("3"));
        QCOMPARE(w.grdStats->TextMatrix(3, 1), QStringLiteral("2000"));
        QVERIFY(w.prgProgress->isHidden());
        QVERIFY(w.cmdShow->isEnabled());

        boxes.answers.enqueue(MsgAnswer::Yes);
        w.cmdLogin_Click();
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("Confirm Logout?")});
        QTRY_COMPARE(w.cmdLogin->text(), QStringLiteral("Login"));
        QTRY_VERIFY(server.isFinished());
        QCOMPARE(server.mismatches(), QStringList());
        QCOMPARE(w.shpStatus->FillColor(), Red);
        QVERIFY(w.fraStats->isHidden());
        QVERIFY(!kit::session(w).objUIDL());
        QVERIFY(!kit::session(w).colNewMails());
        QCOMPARE(kit::readFile(QStringLiteral("bob_127.0.0.1.uidl")), QByteArray("a1\r\nb2\r\nc3\r\n"));
        QCOMPARE(boxes.boxes.size(), 1);
    }

    void secondLoginFindsOnlyTheNewMail()
    {
        MessageBoxRecorder boxes;
        {
            QFile store(QStringLiteral("bob_127.0.0.1.uidl"));
            QVERIFY(store.open(QIODevice::WriteOnly));
            store.write("a1\r\nB2\r\n");
        }
        ScriptedPop3Server server;
        Pop3Scripts::session(server, "bob", "secret", {"a1", "b2", "c3"}, {10, 20, 30});
        Pop3Scripts::logout(server, true);
        frmMain w;
        kit::fillLogin(w, server.port());
        w.ckUpdtChanges->setChecked(true); // committing logout: QUIT only
        w.cmdLogin_Click();
        QTRY_VERIFY(!w.grdStats->isHidden());
        QCOMPARE(w.lblNewMails->text(), QStringLiteral("1 new mail(s)"));
        QCOMPARE(*kit::session(w).colNewMails(), QStringList{QStringLiteral("3")});
        w.ckAutoLogin->setChecked(true); // no question with autologin on
        w.cmdLogin_Click();
        QTRY_COMPARE(w.cmdLogin->text(), QStringLiteral("Login"));
        QTRY_VERIFY(server.isFinished());
        QCOMPARE(server.mismatches(), QStringList());
        QVERIFY(boxes.boxes.isEmpty());
        QVERIFY(w.timLogin->isActive()); // a logout restarts the autologin timer
        QCOMPARE(kit::readFile(QStringLiteral("bob_127.0.0.1.uidl")), QByteArray("a1\r\nB2\r\nc3\r\n"));
    }

    void repliesPackedIntoOneChunk()
    {
        // A UIDL id ending in "." and terminators cut anywhere, the last one
        // between CR and LF.
        MessageBoxRecorder boxes;
        ScriptedPop3Server server;
        server.send("+OK ready\r\n");
        server.reply("CAPA\r\n", "-ERR unknown\r\n");
        server.reply("USER bob\r\n", "+OK\r\n");
        server.reply("PASS secret\r\n", "+OK Logged in.\r\n");
        server.reply("STAT \r\n", "+OK 2 30\r\n");
        server.reply("UIDL \r\n", QList<QByteArray>{"+OK\r\n1 x.\r\n2 y", "\r\n.", "\r\n"});
        server.reply("LIST \r\n", QList<QByteArray>{"+OK\r\n1 10\r\n2 20\r\n.\r"});
        server.send("\n");
        frmMain w;
        kit::fillLogin(w, server.port());
        w.cmdLogin_Click();
        QTRY_VERIFY(!w.grdStats->isHidden());
        QTRY_VERIFY(server.isFinished());
        QCOMPARE(server.mismatches(), QStringList());
        QCOMPARE(kit::session(w).objUIDL()->ids(), (QStringList{"x.", "y"}));
        QCOMPARE(w.grdStats->TextMatrix(2, 1), QStringLiteral("20"));
        QVERIFY(boxes.boxes.isEmpty());
    }

    void refusedPasswordLeavesLogoutButton()
    {
        MessageBoxRecorder boxes;
        ScriptedPop3Server server;
        Pop3Scripts::greetingWithoutCapa(server);
        server.reply("USER bob\r\n", "+OK\r\n");
        server.reply("PASS wrong\r\n", "-ERR [AUTH] Authentication failed.\r\n");
        Pop3Scripts::logout(server, true); // QUIT only: no mailbox to reset
        frmMain w;
        kit::fillLogin(w, server.port(), QStringLiteral("bob"), QStringLiteral("wrong"));
        w.cmdLogin_Click();
        QTRY_COMPARE(boxes.boxes.size(), 1);
        QCOMPARE(boxes.boxes[0].title, QStringLiteral("Mailvane"));
        QCOMPARE(boxes.boxes[0].text, QStringLiteral("Server error\r\n-ERR [AUTH] Authentication failed.\r\n"));
        QCOMPARE(boxes.boxes[0].icon, MsgIcon::Exclamation);
        QCOMPARE(w.cmdLogin->text(), QStringLiteral("Logout"));
        QVERIFY(w.cmdLogin->isEnabled());
        QCOMPARE(w.shpStatus->FillColor(), Red);
        QVERIFY(w.prgProgress->isHidden());

        w.cmdLogin_Click(); // closes the still open connection
        QTRY_COMPARE(w.cmdLogin->text(), QStringLiteral("Login"));
        QTRY_VERIFY(server.isFinished());
        QCOMPARE(server.mismatches(), QStringList());
    }

    void errorReplyCaseIgnoredAndUidlRefusalSilent()
    {
        MessageBoxRecorder boxes;
        ScriptedPop3Server server;
        Pop3Scripts::login(server, "bob", "secret");
        Pop3Scripts::stat(server, 2, 300);
        server.reply("UIDL \r\n", "-err not supported\r\n");
        Pop3Scripts::list(server, {100, 200});
        frmMain w;
        kit::fillLogin(w, server.port());
        w.cmdLogin_Click();
        QTRY_VERIFY(!w.grdStats->isHidden());
        QTRY_VERIFY(server.isFinished());
        QCOMPARE(server.mismatches(), QStringList());
        QVERIFY(boxes.boxes.isEmpty());
        QVERIFY(kit::session(w).bUIDLFailed()); // announced only in tray mode
        QCOMPARE(w.lblNewMails->text(), QStringLiteral("2 new mail(s)"));
        QVERIFY(kit::session(w).colNewMails()->isEmpty());
    }

    void emptyMailbox()
    {
        MessageBoxRecorder boxes;
        ScriptedPop3Server server;
        Pop3Scripts::session(server, "bob", "secret", {}, {});
        frmMain w;
        kit::fillLogin(w, server.port());
        w.cmdLogin_Click();
        QTRY_COMPARE(boxes.texts(), QStringList{QStringLiteral("No mails in mailbox")});
        QCOMPARE(boxes.boxes[0].icon, MsgIcon::Information);
        QVERIFY(!w.fraStats->isHidden());
        QVERIFY(w.fraRetrieval->isHidden());
        QVERIFY(w.fraBrowse->isHidden());
        QCOMPARE(w.lblTotalMails->text(), QStringLiteral("Total  mails"));
        QCOMPARE(w.lblNewMails->text(), QStringLiteral("0 new mail(s)"));
        QCOMPARE(w.cboTill->currentText(), QString());
        QCOMPARE(server.mismatches(), QStringList());
    }

    void invalidPortIsRefusedBeforeConnecting_data()
    {
        QTest::addColumn<QString>("port");
        QTest::newRow("letters") << "pop";
        QTest::newRow("zero") << "0";
        QTest::newRow("too large") << "70000";
        QTest::newRow("empty") << "";
    }
    void invalidPortIsRefusedBeforeConnecting()
    {
        QFETCH(QString, port);
        MessageBoxRecorder boxes;
        frmMain w;
        kit::fillLogin(w, 110);
        w.cboPort->setEditText(port);
        w.cmdLogin_Click();
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("The port must be a whole number from 1 to 65535.")});
        QCOMPARE(w.sockPOP3->State(), 0);
        QVERIFY(w.cmdLogin->isEnabled());
        QCOMPARE(w.cmdLogin->text(), QStringLiteral("Login"));
        QVERIFY(!kit::session(w).objUIDL());
    }

    void refusedConnectionIsReportedAndLoginComesBack()
    {
        MessageBoxRecorder boxes;
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const quint16 port = probe.serverPort();
        probe.close();
        frmMain w;
        kit::fillLogin(w, port);
        w.cmdLogin_Click();
        QTRY_COMPARE(boxes.boxes.size(), 1);
        QCOMPARE(boxes.boxes[0].title, QStringLiteral("Mailvane "));
        QVERIFY(boxes.boxes[0].text.startsWith(QStringLiteral("Error\r\n10061 ")));
        QCOMPARE(boxes.boxes[0].icon, MsgIcon::None);
        QVERIFY(w.cmdLogin->isEnabled());
        QCOMPARE(w.cmdStats->text(), QStringLiteral("More>>"));
    }

    void serverClosingResetsTheWindow()
    {
        MessageBoxRecorder boxes;
        ScriptedPop3Server server;
        Pop3Scripts::session(server, "bob", "secret", {"a"}, {10});
        server.send("-ERR Disconnected for inactivity.\r\n").closeConnection();
        frmMain w;
        kit::fillLogin(w, server.port());
        w.cmdLogin_Click();
        QTRY_VERIFY(server.isFinished());
        QTRY_COMPARE(w.cmdLogin->text(), QStringLiteral("Login"));
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("Server error\r\n-ERR Disconnected for inactivity.\r\n")});
        QVERIFY(w.fraStats->isHidden());
        QVERIFY(!kit::session(w).objUIDL());
        QCOMPARE(w.sockPOP3->State(), 0);
        QCOMPARE(server.mismatches(), QStringList());
    }

    void sendingOnALostConnectionIsReportedOnce()
    {
        MessageBoxRecorder boxes;
        ScriptedPop3Server server;
        Pop3Scripts::session(server, "bob", "secret", {"a"}, {10});
        frmMain w;
        kit::fillLogin(w, server.port());
        w.cmdLogin_Click();
        QTRY_VERIFY(!w.grdStats->isHidden());
        // The connection is gone without the window having heard of it.
        w.sockPOP3->Close();
        w.cmdLogin_Click(); // Logout: RSET cannot go out; QUIT is not tried
        QCOMPARE(boxes.boxes.size(), 2); // the question, then the one report
        QCOMPARE(boxes.boxes[1].text,
                 QStringLiteral("The connection to the mail server has been lost.\r\nPlease login again."));
        QCOMPARE(w.cmdLogin->text(), QStringLiteral("Login"));
        QVERIFY(w.fraStats->isHidden());
    }

    void silentServerDoesNotFreezeTheWindow()
    {
        MessageBoxRecorder boxes;
        ScriptedPop3Server server;
        Pop3Scripts::session(server, "bob", "secret", {"a"}, {10});
        server.expect("TOP 1 10\r\n"); // and then nothing
        frmMain w;
        w.setReplyTimeout(300);
        kit::fillLogin(w, server.port());
        w.cmdLogin_Click();
        QTRY_VERIFY(!w.grdStats->isHidden());
        w.cmdShow_Click(); // sends TOP 1 10
        QTRY_COMPARE(boxes.boxes.size(), 1);
        QCOMPARE(boxes.boxes[0].text, QStringLiteral("The mail server did not answer for 0 seconds.\r\n"
                                                     "The connection has been closed."));
        QCOMPARE(w.cmdLogin->text(), QStringLiteral("Login"));
        QVERIFY(w.cmdLogin->isEnabled());
        QCOMPARE(w.sockPOP3->State(), 0);
        QCOMPARE(server.mismatches(), QStringList());
    }

    void serverClosingInTheMiddleOfAReply()
    {
        MessageBoxRecorder boxes;
        ScriptedPop3Server server;
        Pop3Scripts::login(server, "bob", "secret");
        Pop3Scripts::stat(server, 3, 300);
        server.expect("UIDL \r\n").send("+OK\r\n1 a\r\n2 b").closeConnection();
        frmMain w;
        kit::fillLogin(w, server.port());
        w.cmdLogin_Click();
        QTRY_VERIFY(server.isFinished());
        QTRY_COMPARE(w.cmdLogin->text(), QStringLiteral("Login"));
        QVERIFY(w.cmdLogin->isEnabled());
        QVERIFY(w.fraStats->isHidden());
        QVERIFY(boxes.boxes.isEmpty());
        // Nothing half-read reached the store.
        QFile store(QStringLiteral("bob_127.0.0.1.uidl"));
        QVERIFY(store.open(QIODevice::ReadOnly));
        QCOMPARE(store.readAll(), QByteArray());
    }

    void repliesWithMissingPieces()
    {
        MessageBoxRecorder boxes;
        ScriptedPop3Server server;
        Pop3Scripts::login(server, "bob", "secret");
        server.reply("STAT \r\n", "+OK\r\n"); // no count, no size
        server.reply("UIDL \r\n", "+OK\r\n.\r\n");
        frmMain w;
        kit::fillLogin(w, server.port());
        w.cmdLogin_Click();
        QTRY_COMPARE(boxes.texts(), QStringList{QStringLiteral("No mails in mailbox")});
        QCOMPARE(w.lblMails->text(), QString());
        QCOMPARE(w.cmdLogin->text(), QStringLiteral("Logout"));
        QCOMPARE(server.mismatches(), QStringList());

        // A size list whose lines lack sizes, and binary bytes in ids.
        ScriptedPop3Server second;
        Pop3Scripts::login(second, "bob", "secret");
        Pop3Scripts::stat(second, 3, 300);
        QByteArray hugeId(1 << 20, 'x');
        second.reply("UIDL \r\n", QByteArray("+OK\r\n1 good1\r\n2 bad\x01\xff\r\n3 ") + hugeId + "\r\n.\r\n");
        second.reply("LIST \r\n", QByteArray("+OK\r\n1\r\n2 \x80") + '\0' + "z\r\n3 30\r\n.\r\n");
        Pop3Scripts::logout(second, true);
        frmMain w2;
        kit::fillLogin(w2, second.port());
        w2.ckUpdtChanges->setChecked(true);
        w2.cmdLogin_Click();
        QTRY_VERIFY(!w2.grdStats->isHidden());
        QCOMPARE(w2.grdStats->Rows(), 4);
        QCOMPARE(w2.grdStats->TextMatrix(1, 1), QString());
        QCOMPARE(w2.grdStats->TextMatrix(3, 1), QStringLiteral("30"));
        QCOMPARE(*kit::session(w2).colNewMails(), QStringList{QStringLiteral("1")});
        boxes.answers.enqueue(MsgAnswer::Yes);
        w2.cmdLogin_Click();
        QTRY_COMPARE(w2.cmdLogin->text(), QStringLiteral("Login"));
        QFile store(QStringLiteral("bob_127.0.0.1.uidl"));
        QVERIFY(store.open(QIODevice::ReadOnly));
        QCOMPARE(store.readAll(), QByteArray("good1\r\n"));
        QCOMPARE(second.mismatches(), QStringList());
    }

    void garbageAndAMegabyteLine()
    {
        MessageBoxRecorder boxes;
        ScriptedPop3Server server;
        server.send(QByteArray(1 << 20, 'g') + "\r\n"); // a greeting of a megabyte
        server.reply("CAPA\r\n", "-ERR\r\n");
        server.expect("USER bob\r\n");
        server.send(QByteArray("\x00\x01garbage\r\n", 11)); // taken as the reply to USER
        server.reply("PASS secret\r\n", "-ERR \xff\xfe\r\n");
        frmMain w;
        kit::fillLogin(w, server.port());
        w.cmdLogin_Click();
        QTRY_COMPARE(boxes.boxes.size(), 1);
        QCOMPARE(boxes.boxes[0].text.toLatin1(), QByteArray("Server error\r\n-ERR \xff\xfe\r\n"));
        QCOMPARE(w.cmdLogin->text(), QStringLiteral("Logout"));
        QCOMPARE(server.mismatches(), QStringList());
    }
};

QTEST_MAIN(TestPop3Session)
#include "test_pop3_session.moc"
