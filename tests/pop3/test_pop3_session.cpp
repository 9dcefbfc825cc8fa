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
        WindowFixture f;
        Pop3Scripts::session(f.server, "bob", "secret", {"a1", "b2", "c3"}, {1000, 1200, 2000}, cut);
        Pop3Scripts::logout(f.server);

        kit::fillLogin(f.w, f.server.port());
        f.w.cmdLogin_Click();
        QVERIFY(!f.w.cmdLogin->isEnabled());
        QCOMPARE(f.w.lblProgress->text(), QStringLiteral("Logging in to mailbox.."));
        QTRY_VERIFY(!f.w.grdStats->isHidden());

        QCOMPARE(f.w.shpStatus->FillColor(), Green);
        QCOMPARE(f.w.lblMails->text(), QStringLiteral("3"));
        QCOMPARE(f.w.lblMailSize->text(), QStringLiteral("4200"));
        QCOMPARE(f.w.lblTotalMails->text(), QStringLiteral("Total 3 mails"));
        QCOMPARE(f.w.lblNewMails->text(), QStringLiteral("3 new mail(s)"));
        QCOMPARE(*kit::session(f.w).colNewMails(), (QStringList{"1", "2", "3"}));
        QCOMPARE(f.w.cboFrom->count(), 3);
        QCOMPARE(f.w.cboFrom->currentText(), QStringLiteral("1"));
        QCOMPARE(f.w.cboTill->currentText(), QStringLiteral("3"));
        QCOMPARE(f.w.cboDelFrom->currentText(), QStringLiteral("1"));
        QCOMPARE(f.w.cboDelTill->currentText(), QStringLiteral("3"));
        QCOMPARE(f.w.cmdLogin->text(), QStringLiteral("Logout"));
        QVERIFY(f.w.cmdLogin->isEnabled());
        QVERIFY(!f.w.fraRetrieval->isHidden());
        QVERIFY(!f.w.fraDeletion->isHidden());
        QVERIFY(!f.w.fraBrowse->isHidden());
        QVERIFY(!f.w.ckAutoLogin->isHidden());
        QVERIFY(!f.w.cmdHlpAutoLogin->isHidden()); // help mode is on by default
        QCOMPARE(f.w.cmdStats->text(), QStringLiteral("<< Hide"));
        QCOMPARE(f.w.grdStats->Rows(), 4);
        QCOMPARE(f.w.grdStats->TextMatrix(0, 0), QStringLiteral("Mail no."));
        QCOMPARE(f.w.grdStats->TextMatrix(0, 1), QStringLiteral("Bytes"));
        QCOMPARE(f.w.grdStats->TextMatrix(3, 0), QStringLiteral("3"));
        QCOMPARE(f.w.grdStats->TextMatrix(3, 1), QStringLiteral("2000"));
        QVERIFY(f.w.prgProgress->isHidden());
        QVERIFY(f.w.cmdShow->isEnabled());

        f.boxes.answers.enqueue(MsgAnswer::Yes);
        f.w.cmdLogin_Click();
        QCOMPARE(f.boxes.texts(), QStringList{QStringLiteral("Confirm Logout?")});
        QTRY_COMPARE(f.w.cmdLogin->text(), QStringLiteral("Login"));
        QTRY_VERIFY(f.server.isFinished());
        QCOMPARE(f.server.mismatches(), QStringList());
        QCOMPARE(f.w.shpStatus->FillColor(), Red);
        QVERIFY(f.w.fraStats->isHidden());
        QVERIFY(!kit::session(f.w).objUIDL());
        QVERIFY(!kit::session(f.w).colNewMails());
        QCOMPARE(kit::readFile(QStringLiteral("bob_127.0.0.1.uidl")), QByteArray("a1\r\nb2\r\nc3\r\n"));
        QCOMPARE(f.boxes.boxes.size(), 1);
    }

    void secondLoginFindsOnlyTheNewMail()
    {
        WindowFixture f;
        QVERIFY(kit::writeFile(QStringLiteral("bob_127.0.0.1.uidl"), "a1\r\nB2\r\n"));
        Pop3Scripts::session(f.server, "bob", "secret", {"a1", "b2", "c3"}, {10, 20, 30});
        Pop3Scripts::logout(f.server, true);
        kit::fillLogin(f.w, f.server.port());
        f.w.ckUpdtChanges->setChecked(true); // committing logout: QUIT only
        f.w.cmdLogin_Click();
        QTRY_VERIFY(!f.w.grdStats->isHidden());
        QCOMPARE(f.w.lblNewMails->text(), QStringLiteral("1 new mail(s)"));
        QCOMPARE(*kit::session(f.w).colNewMails(), QStringList{QStringLiteral("3")});
        f.w.ckAutoLogin->setChecked(true); // no question with autologin on
        f.w.cmdLogin_Click();
        QTRY_COMPARE(f.w.cmdLogin->text(), QStringLiteral("Login"));
        QTRY_VERIFY(f.server.isFinished());
        QCOMPARE(f.server.mismatches(), QStringList());
        QVERIFY(f.boxes.boxes.isEmpty());
        QVERIFY(f.w.timLogin->isActive()); // a logout restarts the autologin timer
        QCOMPARE(kit::readFile(QStringLiteral("bob_127.0.0.1.uidl")), QByteArray("a1\r\nB2\r\nc3\r\n"));
    }

    void repliesPackedIntoOneChunk()
    {
        // A UIDL id ending in "." and terminators cut anywhere, the last one
        // between CR and LF.
        WindowFixture f;
        f.server.send("+OK ready\r\n");
        f.server.reply("CAPA\r\n", "-ERR unknown\r\n");
        f.server.reply("USER bob\r\n", "+OK\r\n");
        f.server.reply("PASS secret\r\n", "+OK Logged in.\r\n");
        f.server.reply("STAT \r\n", "+OK 2 30\r\n");
        f.server.reply("UIDL \r\n", QList<QByteArray>{"+OK\r\n1 x.\r\n2 y", "\r\n.", "\r\n"});
        f.server.reply("LIST \r\n", QList<QByteArray>{"+OK\r\n1 10\r\n2 20\r\n.\r"});
        f.server.send("\n");
        kit::fillLogin(f.w, f.server.port());
        f.w.cmdLogin_Click();
        QTRY_VERIFY(!f.w.grdStats->isHidden());
        QTRY_VERIFY(f.server.isFinished());
        QCOMPARE(f.server.mismatches(), QStringList());
        QCOMPARE(kit::session(f.w).objUIDL()->ids(), (QStringList{"x.", "y"}));
        QCOMPARE(f.w.grdStats->TextMatrix(2, 1), QStringLiteral("20"));
        QVERIFY(f.boxes.boxes.isEmpty());
    }

    void refusedPasswordLeavesLogoutButton()
    {
        WindowFixture f;
        Pop3Scripts::greetingWithoutCapa(f.server);
        f.server.reply("USER bob\r\n", "+OK\r\n");
        f.server.reply("PASS wrong\r\n", "-ERR [AUTH] Authentication failed.\r\n");
        Pop3Scripts::logout(f.server, true); // QUIT only: no mailbox to reset
        kit::fillLogin(f.w, f.server.port(), QStringLiteral("bob"), QStringLiteral("wrong"));
        f.w.cmdLogin_Click();
        QTRY_COMPARE(f.boxes.boxes.size(), 1);
        QCOMPARE(f.boxes.boxes[0].title, QStringLiteral("Mailvane"));
        QCOMPARE(f.boxes.boxes[0].text, QStringLiteral("Server error\r\n-ERR [AUTH] Authentication failed.\r\n"));
        QCOMPARE(f.boxes.boxes[0].icon, MsgIcon::Exclamation);
        QCOMPARE(f.w.cmdLogin->text(), QStringLiteral("Logout"));
        QVERIFY(f.w.cmdLogin->isEnabled());
        QCOMPARE(f.w.shpStatus->FillColor(), Red);
        QVERIFY(f.w.prgProgress->isHidden());

        f.w.cmdLogin_Click(); // closes the still open connection
        QTRY_COMPARE(f.w.cmdLogin->text(), QStringLiteral("Login"));
        QTRY_VERIFY(f.server.isFinished());
        QCOMPARE(f.server.mismatches(), QStringList());
    }

    void errorReplyCaseIgnoredAndUidlRefusalSilent()
    {
        WindowFixture f;
        Pop3Scripts::login(f.server, "bob", "secret");
        Pop3Scripts::stat(f.server, 2, 300);
        f.server.reply("UIDL \r\n", "-err not supported\r\n");
        Pop3Scripts::list(f.server, {100, 200});
        kit::fillLogin(f.w, f.server.port());
        f.w.cmdLogin_Click();
        QTRY_VERIFY(!f.w.grdStats->isHidden());
        QTRY_VERIFY(f.server.isFinished());
        QCOMPARE(f.server.mismatches(), QStringList());
        QVERIFY(f.boxes.boxes.isEmpty());
        QVERIFY(kit::session(f.w).bUIDLFailed()); // announced only in tray mode
        QCOMPARE(f.w.lblNewMails->text(), QStringLiteral("2 new mail(s)"));
        QVERIFY(kit::session(f.w).colNewMails()->isEmpty());
    }

    void emptyMailbox()
    {
        WindowFixture f;
        Pop3Scripts::session(f.server, "bob", "secret", {}, {});
        kit::fillLogin(f.w, f.server.port());
        f.w.cmdLogin_Click();
        QTRY_COMPARE(f.boxes.texts(), QStringList{QStringLiteral("No mails in mailbox")});
        QCOMPARE(f.boxes.boxes[0].icon, MsgIcon::Information);
        QVERIFY(!f.w.fraStats->isHidden());
        QVERIFY(f.w.fraRetrieval->isHidden());
        QVERIFY(f.w.fraBrowse->isHidden());
        QCOMPARE(f.w.lblTotalMails->text(), QStringLiteral("Total  mails"));
        QCOMPARE(f.w.lblNewMails->text(), QStringLiteral("0 new mail(s)"));
        QCOMPARE(f.w.cboTill->currentText(), QString());
        QCOMPARE(f.server.mismatches(), QStringList());
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
        RecordedWindow f;
        kit::fillLogin(f.w, 110);
        f.w.cboPort->setEditText(port);
        f.w.cmdLogin_Click();
        QCOMPARE(f.boxes.texts(), QStringList{QStringLiteral("The port must be a whole number from 1 to 65535.")});
        QCOMPARE(f.w.sockPOP3->State(), 0);
        QVERIFY(f.w.cmdLogin->isEnabled());
        QCOMPARE(f.w.cmdLogin->text(), QStringLiteral("Login"));
        QVERIFY(!kit::session(f.w).objUIDL());
    }

    void refusedConnectionIsReportedAndLoginComesBack()
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const quint16 port = probe.serverPort();
        probe.close();
        RecordedWindow f;
        kit::fillLogin(f.w, port);
        f.w.cmdLogin_Click();
        QTRY_COMPARE(f.boxes.boxes.size(), 1);
        QCOMPARE(f.boxes.boxes[0].title, QStringLiteral("Mailvane "));
        QVERIFY(f.boxes.boxes[0].text.startsWith(QStringLiteral("Error\r\n10061 ")));
        QCOMPARE(f.boxes.boxes[0].icon, MsgIcon::None);
        QVERIFY(f.w.cmdLogin->isEnabled());
        QCOMPARE(f.w.cmdStats->text(), QStringLiteral("More>>"));
    }

    void serverClosingResetsTheWindow()
    {
        WindowFixture f;
        Pop3Scripts::session(f.server, "bob", "secret", {"a"}, {10});
        f.server.send("-ERR Disconnected for inactivity.\r\n").closeConnection();
        kit::fillLogin(f.w, f.server.port());
        f.w.cmdLogin_Click();
        QTRY_VERIFY(f.server.isFinished());
        QTRY_COMPARE(f.w.cmdLogin->text(), QStringLiteral("Login"));
        QCOMPARE(f.boxes.texts(), QStringList{QStringLiteral("Server error\r\n-ERR Disconnected for inactivity.\r\n")});
        QVERIFY(f.w.fraStats->isHidden());
        QVERIFY(!kit::session(f.w).objUIDL());
        QCOMPARE(f.w.sockPOP3->State(), 0);
        QCOMPARE(f.server.mismatches(), QStringList());
    }

    void sendingOnALostConnectionIsReportedOnce()
    {
        WindowFixture f;
        Pop3Scripts::session(f.server, "bob", "secret", {"a"}, {10});
        kit::fillLogin(f.w, f.server.port());
        f.w.cmdLogin_Click();
        QTRY_VERIFY(!f.w.grdStats->isHidden());
        // The connection is gone without the window having heard of it.
        f.w.sockPOP3->Close();
        f.w.cmdLogin_Click(); // Logout: RSET cannot go out; QUIT is not tried
        QCOMPARE(f.boxes.boxes.size(), 2); // the question, then the one report
        QCOMPARE(f.boxes.boxes[1].text,
                 QStringLiteral("The connection to the mail server has been lost.\r\nPlease login again."));
        QCOMPARE(f.w.cmdLogin->text(), QStringLiteral("Login"));
        QVERIFY(f.w.fraStats->isHidden());
    }

    void silentServerDoesNotFreezeTheWindow()
    {
        WindowFixture f;
        Pop3Scripts::session(f.server, "bob", "secret", {"a"}, {10});
        f.server.expect("TOP 1 10\r\n"); // and then nothing
        f.w.setReplyTimeout(300);
        kit::fillLogin(f.w, f.server.port());
        f.w.cmdLogin_Click();
        QTRY_VERIFY(!f.w.grdStats->isHidden());
        f.w.cmdShow_Click(); // sends TOP 1 10
        QTRY_COMPARE(f.boxes.boxes.size(), 1);
        QCOMPARE(f.boxes.boxes[0].text, QStringLiteral("The mail server did not answer for 0 seconds.\r\n"
                                                       "The connection has been closed."));
        QCOMPARE(f.w.cmdLogin->text(), QStringLiteral("Login"));
        QVERIFY(f.w.cmdLogin->isEnabled());
        QCOMPARE(f.w.sockPOP3->State(), 0);
        QCOMPARE(f.server.mismatches(), QStringList());
    }

    void serverClosingInTheMiddleOfAReply()
    {
        WindowFixture f;
        Pop3Scripts::login(f.server, "bob", "secret");
        Pop3Scripts::stat(f.server, 3, 300);
        f.server.expect("UIDL \r\n").send("+OK\r\n1 a\r\n2 b").closeConnection();
        kit::fillLogin(f.w, f.server.port());
        f.w.cmdLogin_Click();
        QTRY_VERIFY(f.server.isFinished());
        QTRY_COMPARE(f.w.cmdLogin->text(), QStringLiteral("Login"));
        QVERIFY(f.w.cmdLogin->isEnabled());
        QVERIFY(f.w.fraStats->isHidden());
        QVERIFY(f.boxes.boxes.isEmpty());
        // Nothing half-read reached the store.
        QFile store(QStringLiteral("bob_127.0.0.1.uidl"));
        QVERIFY(store.open(QIODevice::ReadOnly));
        QCOMPARE(store.readAll(), QByteArray());
    }

    void repliesWithMissingPieces()
    {
        WindowFixture f;
        Pop3Scripts::login(f.server, "bob", "secret");
        f.server.reply("STAT \r\n", "+OK\r\n"); // no count, no size
        f.server.reply("UIDL \r\n", "+OK\r\n.\r\n");
        kit::fillLogin(f.w, f.server.port());
        f.w.cmdLogin_Click();
        QTRY_COMPARE(f.boxes.texts(), QStringList{QStringLiteral("No mails in mailbox")});
        QCOMPARE(f.w.lblMails->text(), QString());
        QCOMPARE(f.w.cmdLogin->text(), QStringLiteral("Logout"));
        QCOMPARE(f.server.mismatches(), QStringList());

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
        f.boxes.answers.enqueue(MsgAnswer::Yes);
        w2.cmdLogin_Click();
        QTRY_COMPARE(w2.cmdLogin->text(), QStringLiteral("Login"));
        QFile store(QStringLiteral("bob_127.0.0.1.uidl"));
        QVERIFY(store.open(QIODevice::ReadOnly));
        QCOMPARE(store.readAll(), QByteArray("good1\r\n"));
        QCOMPARE(second.mismatches(), QStringList());
    }

    void garbageAndAMegabyteLine()
    {
        WindowFixture f;
        f.server.send(QByteArray(1 << 20, 'g') + "\r\n"); // a greeting of a megabyte
        f.server.reply("CAPA\r\n", "-ERR\r\n");
        f.server.expect("USER bob\r\n");
        f.server.send(QByteArray("\x00\x01garbage\r\n", 11)); // taken as the reply to USER
        f.server.reply("PASS secret\r\n", "-ERR \xff\xfe\r\n");
        kit::fillLogin(f.w, f.server.port());
        f.w.cmdLogin_Click();
        QTRY_COMPARE(f.boxes.boxes.size(), 1);
        QCOMPARE(f.boxes.boxes[0].text.toLatin1(), QByteArray("Server error\r\n-ERR \xff\xfe\r\n"));
        QCOMPARE(f.w.cmdLogin->text(), QStringLiteral("Logout"));
        QCOMPARE(f.server.mismatches(), QStringList());
    }
};

QTEST_MAIN(TestPop3Session)
#include "test_pop3_session.moc"
