// Deletion through the real window: by range with the fresh login, stopped
// and refused; by grid selection of one and several rows; the pop-up menu's
// rules; a session that ends while a DELE is outstanding. POP3 against a
// scripted server, HTTPMail against the in-process server.

#include "frmMainTestAccess.h"
#include "HttpMailServer.h"
#include "MessageBoxRecorder.h"
#include "net/TcpClientSocket.h"
#include "window/VbColor.h"
#include "WindowTestKit.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QSettings>
#include <QTimer>

using kit::TestMail;

namespace {

const QColor Red = vb::ColorFromLiteral(QStringLiteral("&H0000FF"));
const QString ClosingText = QStringLiteral("Deleted messages are not retrievable again till you log in again\r\n"
                                           "Speed deletion is for doing multiple deletions at once without having to logout");

QByteArray dele(int n) { return "DELE " + QByteArray::number(n) + "\r\n"; }

// Lists mails 1 to `count` into the grid (the server must have their TOPs).
bool listAll(frmMain &w, int count)
{
    kit::setRange(w.cboFrom, w.cboTill, QStringLiteral("1"), QString::number(count));
    w.cmdShow->click();
    return QTest::qWaitFor([&] { return w.cmdShow->text() == QLatin1String("Show"); }, 10000);
}

// Events that were due before now + ms have been handled once this returns,
// the 20 ms re-login of a session reset among them.
bool timersDue(int ms)
{
    QObject context;
    bool fired = false;
    QTimer::singleShot(ms, &context, [&] { fired = true; });
    return QTest::qWaitFor([&] { return fired; }, 10000);
}

void expectIdle(frmMain &w)
{
    QVERIFY(w.prgProgress->isHidden());
    QCOMPARE(w.cmdDelete->text(), QStringLiteral("Delete"));
    QVERIFY(w.cmdDelete->isEnabled());
    QVERIFY(w.cmdShow->isEnabled());
    QVERIFY(w.cmdLogin->isEnabled());
    QVERIFY(w.cmdDelete->palette().color(QPalette::Button) != Red);
}

} // namespace

class TestDeletion : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        kit::clearSavedState();
    }

    void rangeDeletionLogsInAgain_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("till");
        QTest::newRow("2 to 4 of 5") << 5 << "2" << "4";
        QTest::newRow("9 to 10, compared as numbers") << 10 << "9" << "10";
        QTest::newRow("one mail") << 3 << "3" << "3";
    }
    void rangeDeletionLogsInAgain()
    {
        QFETCH(int, count);
        QFETCH(QString, from);
        QFETCH(QString, till);
        MessageBoxRecorder boxes;
        ScriptedPop3Server server;
        const QList<TestMail> mails = kit::numberedMails(count);
        kit::scriptLogin(server, mails);
        kit::scriptTops(server, mails, 1, count);
        for (int n = till.toInt(); n >= from.toInt(); --n) // highest first, one at a time
            server.reply(dele(n), "+OK Marked to be deleted.\r\n");
        server.expect("QUIT \r\n").sendManually({"+OK Logging", " out.\r\n"}).closeConnection();
        server.acceptConnection();
        QList<TestMail> left = mails;
        left.remove(from.toInt() - 1, till.toInt() - from.toInt() + 1);
        kit::scriptLogin(server, left);

        frmMain w;
        QVERIFY(kit::login(w, server.port()));
        QVERIFY(listAll(w, count));
        kit::setRange(w.cboDelFrom, w.cboDelTill, from, till);
        w.cmdDelete->click();
        QCOMPARE(w.cmdDelete->text(), QStringLiteral("Stop"));
        QCOMPARE(w.cmdDelete->palette().color(QPalette::Button), Red);
        QVERIFY(w.cmdDelete->isEnabled());
        QVERIFY(!w.cmdShow->isEnabled());
        QVERIFY(!w.cmdLogin->isEnabled());
        QVERIFY(!w.prgProgress->isHidden());
        QCOMPARE(w.lblProgress->text(), QStringLiteral("Deleting message ") + till);
        QCOMPARE(w.grdMails->Rows(), 2); // cleared, headings too
        QCOMPARE(w.grdMails->TextMatrix(0, 0), QString());

        QTRY_VERIFY(server.isWaitingForSendNext()); // QUIT is out
        QCOMPARE(w.lblProgress->text(), QStringLiteral("Preparing to log off..."));
        QVERIFY(!w.cmdDelete->isEnabled());
        QVERIFY(!w.cmdShow->isEnabled());
        QVERIFY(!w.ckUpdtChanges->isHidden());
        QVERIFY(w.ckUpdtChanges->isChecked());
        server.sendNext();

        QTRY_COMPARE(server.connectionCount(), 2);
        QTRY_VERIFY(server.isFinished());
        QTRY_VERIFY(!w.grdStats->isHidden() && w.cmdShow->isEnabled());
        QCOMPARE(server.mismatches(), QStringList());
        QCOMPARE(w.lblMails->text(), QString::number(left.size()));
        QCOMPARE(w.cmdLogin->text(), QStringLiteral("Logout"));
        expectIdle(w);
        QVERIFY(boxes.boxes.isEmpty()); // no message announces the end
    }

    void stopRangeDeletion()
    {
        MessageBoxRecorder boxes;
        ScriptedPop3Server server;
        kit::scriptLogin(server, kit::numberedMails(5));
        server.expect(dele(5)).sendManually({"+OK Mar", "ked.\r\n"});
        Pop3Scripts::logout(server, true); // no further DELE, no log-off of its own

        frmMain w;
        QVERIFY(kit::login(w, server.port()));
        w.cmdDelete->click();
        QTRY_VERIFY(server.isWaitingForSendNext());
        w.cmdDelete->click(); // Stop
        QVERIFY(kit::session(w).bStopRequested());
        QVERIFY(!kit::session(w).bRelogin());
        server.sendNext(); // the outstanding DELE completes
        QTRY_COMPARE(w.cmdDelete->text(), QStringLiteral("Delete"));
        expectIdle(w);
        QVERIFY(!kit::session(w).bStopRequested());
        QCOMPARE(w.cmdLogin->text(), QStringLiteral("Logout")); // the session stays open

        w.cmdLogin_Click();
        QTRY_VERIFY(server.isFinished());
        QCOMPARE(server.mismatches(), QStringList());
        QCOMPARE(server.connectionCount(), 1);
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("Confirm Logout?")});
    }

    void refusedDeleStopsRangeDeletion()
    {
        MessageBoxRecorder boxes;
        ScriptedPop3Server server;
        kit::scriptLogin(server, kit::numberedMails(3));
        server.reply(dele(3), "-ERR No such message\r\n");
        Pop3Scripts::logout(server); // RSET: nothing was marked

        frmMain w;
        QVERIFY(kit::login(w, server.port()));
        w.cmdDelete->click();
        QTRY_COMPARE(boxes.boxes.size(), 1);
        QCOMPARE(boxes.boxes[0].text, QStringLiteral("Server error\r\n-ERR No such message\r\n"));
        expectIdle(w);
        QVERIFY(!kit::session(w).bRelogin());
        QCOMPARE(w.cmdLogin->text(), QStringLiteral("Logout"));

        boxes.clear();
        w.cmdLogin_Click();
        QTRY_VERIFY(server.isFinished());
        QCOMPARE(server.mismatches(), QStringList());
        QCOMPARE(server.connectionCount(), 1);
    }

    void invalidRange_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("till");
        QTest::newRow("10 to 9") << "10" << "9";
        QTest::newRow("empty from") << "" << "3";
        QTest::newRow("empty till") << "1" << "";
        QTest::newRow("not a number") << "one" << "3";
        QTest::newRow("not whole") << "1" << "2.5";
    }
    void invalidRange()
    {
        QFETCH(QString, from);
        QFETCH(QString, till);
        MessageBoxRecorder boxes;
        ScriptedPop3Server server;
        const QList<TestMail> mails = kit::numberedMails(3);
        kit::scriptLogin(server, mails);
        kit::scriptTops(server, mails, 1, 3);
        Pop3Scripts::logout(server);
        frmMain w;
        QVERIFY(kit::login(w, server.port()));
        QVERIFY(listAll(w, 3));
        kit::setRange(w.cboDelFrom, w.cboDelTill, from, till);
        w.cmdDelete->click();
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("Mail range selected is not valid")});
        QCOMPARE(boxes.boxes[0].icon, MsgIcon::Exclamation);
        QCOMPARE(boxes.boxes[0].title, QStringLiteral("Mailvane"));
        expectIdle(w);
        QCOMPARE(kit::column(w.grdMails, 3), (QStringList{"1", "2", "3"})); // nothing changes
        QVERIFY(!kit::session(w).bRelogin());

        boxes.clear();
        w.cmdLogin_Click();
        QTRY_VERIFY(server.isFinished());
        QCOMPARE(server.mismatches(), QStringList()); // no DELE went out
    }

    void deleteOneSelectedRow_data()
    {
        QTest::addColumn<bool>("confirm");
        QTest::newRow("confirmed") << true;
        QTest::newRow("declined") << false;
    }
    void deleteOneSelectedRow()
    {
        QFETCH(bool, confirm);
        MessageBoxRecorder boxes;
        ScriptedPop3Server server;
        const QList<TestMail> mails = kit::numberedMails(3);
        kit::scriptLogin(server, mails);
        kit::scriptTops(server, mails, 1, 3);
        if (confirm)
            server.expect(dele(2)).sendManually({"+OK", " Marked.\r\n"});
        Pop3Scripts::logout(server, confirm); // a DELE reply checks "Update Changes"

        frmMain w;
        QVERIFY(kit::login(w, server.port()));
        QVERIFY(listAll(w, 3));
        kit::selectRows(w.grdMails, 3, 3);
        boxes.answers.enqueue(confirm ? MsgAnswer::Yes : MsgAnswer::No);
        w.mnuDeleteMail->trigger();
        QCOMPARE(boxes.boxes.size(), 1);
        QCOMPARE(boxes.boxes[0].text,
                 QStringLiteral("From: Sender 2 <s2@example.com>\r\nSubject: Subject 2\r\nWant to delete?"));
        QCOMPARE(boxes.boxes[0].buttons, MsgButtons::YesNo);
        QCOMPARE(boxes.boxes[0].icon, MsgIcon::Question);
        QCOMPARE(boxes.boxes[0].title, QStringLiteral("Mailvane"));
        if (confirm) {
            QCOMPARE(kit::column(w.grdMails, 3), (QStringList{"1", "3"})); // removed before the reply
            QTRY_VERIFY(server.isWaitingForSendNext());
            QCOMPARE(w.lblProgress->text(), QStringLiteral("Deleting mail 2"));
            QVERIFY(!w.prgProgress->isHidden());
            QVERIFY(!w.cmdLogin->isEnabled());
            QCOMPARE(w.cmdDelete->text(), QStringLiteral("Delete")); // no stop button for one row
            server.sendNext();
            QTRY_VERIFY(w.cmdLogin->isEnabled());
            QVERIFY(w.ckUpdtChanges->isChecked());
        } else {
            QCOMPARE(kit::column(w.grdMails, 3), (QStringList{"1", "2", "3"}));
        }
        expectIdle(w);
        QCOMPARE(w.grdMails->TextMatrix(0, 0), QStringLiteral("Date"));
        QCOMPARE(w.lblMails->text(), QStringLiteral("3")); // statistics are not updated

        boxes.clear();
        w.cmdLogin_Click();
        QTRY_VERIFY(server.isFinished());
        QCOMPARE(server.mismatches(), QStringList());
    }

    void deleteTheOnlyMailRow()
    {
        MessageBoxRecorder boxes;
        ScriptedPop3Server server;
        const QList<TestMail> mails = kit::numberedMails(1);
        kit::scriptLogin(server, mails);
        kit::scriptTops(server, mails, 1, 1);
        server.reply(dele(1), "+OK\r\n");
        frmMain w;
        QVERIFY(kit::login(w, server.port()));
        QVERIFY(listAll(w, 1));
        QCOMPARE(w.grdMails->Row(), 2); // the last row added is current
        w.mnuDeleteMail_Click();
        QTRY_VERIFY(server.isFinished());
        QTRY_VERIFY(w.cmdLogin->isEnabled());
        QCOMPARE(server.mismatches(), QStringList());
        QCOMPARE(w.grdMails->Rows(), 2);
        QCOMPARE(w.grdMails->TextMatrix(0, 2), QStringLiteral("Subject")); // headings remain
        QCOMPARE(w.grdMails->TextMatrix(1, 0), QString());
        expectIdle(w);
    }

    void noMailSelected_data()
    {
        QTest::addColumn<QByteArray>("topReply");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("col");
        const QByteArray plain = kit::multiLine(kit::mailText(kit::numberedMails(1)[0]));
        QTest::newRow("the empty row 1") << plain << "" << 1 << 0;
        QTest::newRow("heading row after an empty listing") << plain << "nobody" << -1 << 0;
        QTest::newRow("an empty cell of a mail row") << QByteArray("+OK\r\nFrom: f\r\n\r\n.\r\n") << "" << 2 << 2;
    }
    void noMailSelected()
    {
        QFETCH(QByteArray, topReply);
        QFETCH(QString, filter);
        QFETCH(int, row);
        QFETCH(int, col);
        MessageBoxRecorder boxes;
        ScriptedPop3Server server;
        kit::scriptLogin(server, kit::numberedMails(1));
        kit::scriptTop(server, 1, topReply);
        Pop3Scripts::logout(server);
        frmMain w;
        QVERIFY(kit::login(w, server.port()));
        w.txtFrom->setText(filter);
        QVERIFY(listAll(w, 1));
        if (row >= 0) {
            w.grdMails->SetCol(col);
            w.grdMails->SetRow(row);
        }
        w.mnuDeleteMail_Click();
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("No mail selected for deletion")});
        QCOMPARE(boxes.boxes[0].icon, MsgIcon::Exclamation);
        expectIdle(w);

        boxes.clear();
        w.cmdLogin_Click();
        QTRY_VERIFY(server.isFinished());
        QCOMPARE(server.mismatches(), QStringList()); // no DELE went out
    }

    void deleteSeveralSelectedRows_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("anchor");
        QTest::addColumn<int>("current");
        QTest::addColumn<QList<int>>("deleted");
        QTest::addColumn<QStringList>("left");
        QTest::addColumn<bool>("headingsKept");
        QTest::newRow("empty row and both mails") << 2 << 1 << 3 << QList<int>{2, 1} << QStringList{} << false;
        QTest::newRow("two of three, dragged upwards") << 3 << 3 << 2 << QList<int>{2, 1} << QStringList{"3"} << true;
        QTest::newRow("last two of four") << 4 << 4 << 5 << QList<int>{4, 3} << QStringList{"1", "2"} << true;
    }
    void deleteSeveralSelectedRows()
    {
        QFETCH(int, count);
        QFETCH(int, anchor);
        QFETCH(int, current);
        QFETCH(QList<int>, deleted);
        QFETCH(QStringList, left);
        QFETCH(bool, headingsKept);
        MessageBoxRecorder boxes;
        ScriptedPop3Server server;
        const QList<TestMail> mails = kit::numberedMails(count);
        kit::scriptLogin(server, mails);
        kit::scriptTops(server, mails, 1, count);
        for (int n : deleted)
            server.reply(dele(n), "+OK\r\n");
        Pop3Scripts::logout(server, true);

        frmMain w;
        QVERIFY(kit::login(w, server.port()));
        QVERIFY(listAll(w, count));
        kit::selectRows(w.grdMails, anchor, current);
        w.mnuDeleteMail_Click();
        QTRY_COMPARE(boxes.boxes.size(), 2);
        const int first = qMin(anchor, current);
        const int last = qMax(anchor, current);
        QCOMPARE(boxes.boxes[0].text, QStringLiteral("You have selected multiple mails to delete.\r\n From ")
                                          + QString::number(first) + " to " + QString::number(last)
                                          + "\r\nConfirm?");
        QCOMPARE(boxes.boxes[0].buttons, MsgButtons::YesNo);
        QCOMPARE(boxes.boxes[0].icon, MsgIcon::Question);
        QCOMPARE(boxes.boxes[1].text, ClosingText);
        QCOMPARE(boxes.boxes[1].title, QStringLiteral("Mailvane ")); // the application title
        QCOMPARE(boxes.boxes[1].icon, MsgIcon::Exclamation);
        expectIdle(w);
        QCOMPARE(kit::column(w.grdMails, 3), left);
        QCOMPARE(w.grdMails->TextMatrix(0, 0), headingsKept ? QStringLiteral("Date") : QString());

        w.cmdLogin_Click();
        QTRY_VERIFY(server.isFinished());
        QCOMPARE(server.mismatches(), QStringList());
    }

    void declineSeveralRows()
    {
        MessageBoxRecorder boxes;
        ScriptedPop3Server server;
        const QList<TestMail> mails = kit::numberedMails(3);
        kit::scriptLogin(server, mails);
        kit::scriptTops(server, mails, 1, 3);
        Pop3Scripts::logout(server);
        frmMain w;
        QVERIFY(kit::login(w, server.port()));
        QVERIFY(listAll(w, 3));
        kit::selectRows(w.grdMails, 2, 4);
        boxes.answers.enqueue(MsgAnswer::No);
        w.mnuDeleteMail_Click();
        QCOMPARE(boxes.boxes.size(), 1); // no closing message
        QCOMPARE(kit::column(w.grdMails, 3), (QStringList{"1", "2", "3"}));
        expectIdle(w);
        w.cmdLogin_Click();
        QTRY_VERIFY(server.isFinished());
        QCOMPARE(server.mismatches(), QStringList());
    }

    void stopSeveralRows()
    {
        MessageBoxRecorder boxes;
        ScriptedPop3Server server;
        const QList<TestMail> mails = kit::numberedMails(4);
        kit::scriptLogin(server, mails);
        kit::scriptTops(server, mails, 1, 4);
        server.expect(dele(4)).sendManually({"+OK", "\r\n"});
        Pop3Scripts::logout(server, true);

        frmMain w;
        QVERIFY(kit::login(w, server.port()));
        QVERIFY(listAll(w, 4));
        kit::selectRows(w.grdMails, 2, 5);
        w.mnuDeleteMail_Click();
        QCOMPARE(w.cmdDelete->text(), QStringLiteral("Stop"));
        QCOMPARE(w.cmdDelete->palette().color(QPalette::Button), Red);
        QVERIFY(w.cmdDelete->isEnabled());
        QVERIFY(!w.cmdLogin->isEnabled());
        QTRY_VERIFY(server.isWaitingForSendNext());
        QCOMPARE(w.lblProgress->text(), QStringLiteral("Deleting mail 4"));
        w.cmdDelete->click();
        server.sendNext();
        QTRY_COMPARE(boxes.boxes.size(), 2);
        QCOMPARE(boxes.boxes[1].text, ClosingText); // shown after a stop too
        expectIdle(w);
        QCOMPARE(kit::column(w.grdMails, 3), (QStringList{"1", "2", "3"}));

        boxes.clear();
        w.cmdLogin_Click();
        QTRY_VERIFY(server.isFinished());
        QCOMPARE(server.mismatches(), QStringList()); // no DELE 3
    }

    void refusedDeleStopsSelectionDeletion()
    {
        MessageBoxRecorder boxes;
        ScriptedPop3Server server;
        const QList<TestMail> mails = kit::numberedMails(3);
        kit::scriptLogin(server, mails);
        kit::scriptTops(server, mails, 1, 3);
        server.reply(dele(3), "-ERR Nope\r\n");
        Pop3Scripts::logout(server);

        frmMain w;
        QVERIFY(kit::login(w, server.port()));
        QVERIFY(listAll(w, 3));
        kit::selectRows(w.grdMails, 2, 4);
        w.mnuDeleteMail_Click();
        QTRY_COMPARE(boxes.boxes.size(), 3);
        QCOMPARE(boxes.boxes[1].text, QStringLiteral("Server error\r\n-ERR Nope\r\n"));
        QCOMPARE(boxes.boxes[2].text, ClosingText);
        expectIdle(w);
        QCOMPARE(kit::column(w.grdMails, 3), (QStringList{"1", "2"})); // the row is not put back

        boxes.clear();
        w.cmdLogin_Click();
        QTRY_VERIFY(server.isFinished());
        QCOMPARE(server.mismatches(), QStringList()); // no DELE 2 or 1
    }

    void popupMenuRules()
    {
        MessageBoxRecorder boxes;
        ScriptedPop3Server server;
        const QList<TestMail> mails = kit::numberedMails(3);
        kit::scriptLogin(server, mails);
        kit::scriptTops(server, mails, 1, 1);
        const QByteArray second = kit::multiLine(kit::mailText(mails[1]));
        server.expect("TOP 2 10\r\n").sendManually({second.left(8), second.mid(8)});
        kit::scriptTops(server, mails, 3, 3);
        server.expect(dele(3)).sendManually({"+OK", "\r\n"});           // one row
        server.expect(dele(2)).sendManually({"+OK", "\r\n"});           // a range, stopped
        Pop3Scripts::logout(server, true);

        frmMain w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QMenu *menu = w.mnuMailOpts;
        auto menuOpensOnRightButton = [&] {
            w.grdMails_MouseDown(2, w.mapToGlobal(QPoint(10, 10)));
            const bool opened = menu->isVisible();
            menu->hide();
            return opened;
        };
        QVERIFY(!menuOpensOnRightButton()); // logged out
        QVERIFY(kit::login(w, server.port()));

        w.cmdShow->click();
        QTRY_VERIFY(server.isWaitingForSendNext());
        QVERIFY(!menuOpensOnRightButton()); // retrieval running
        server.sendNext();
        QTRY_COMPARE(w.cmdShow->text(), QStringLiteral("Show"));

        // A real right click on a mail row: the menu opens and the block
        // selected before stays as it was.
        kit::selectRows(w.grdMails, 2, 3);
        const QRect cell = w.grdMails->visualRect(w.grdMails->model()->index(2, 1));
        QTest::mousePress(w.grdMails->viewport(), Qt::RightButton, {}, cell.center());
        QVERIFY(menu->isVisible());
        QVERIFY(w.mnuDeleteMail->isEnabled());
        QVERIFY(w.mnuCompleteMail->isEnabled());
        menu->hide();
        QCOMPARE(w.grdMails->Row(), 3);
        QCOMPARE(w.grdMails->RowSel(), 2);
        w.grdMails_MouseDown(1, w.mapToGlobal(QPoint(10, 10)));
        QVERIFY(!menu->isVisible()); // left button

        kit::selectRows(w.grdMails, 4, 4);
        w.mnuDeleteMail_Click();
        QTRY_VERIFY(server.isWaitingForSendNext());
        QVERIFY(!menuOpensOnRightButton()); // a deletion waits: the progress bar shows
        server.sendNext();
        QTRY_VERIFY(w.prgProgress->isHidden());
        QVERIFY(menuOpensOnRightButton());

        kit::setRange(w.cboDelFrom, w.cboDelTill, QStringLiteral("1"), QStringLiteral("2"));
        w.cmdDelete->click();
        QTRY_VERIFY(server.isWaitingForSendNext());
        QVERIFY(!menuOpensOnRightButton()); // range deletion running
        w.cmdDelete->click();
        server.sendNext();
        QTRY_COMPARE(w.cmdDelete->text(), QStringLiteral("Delete"));
        QVERIFY(menuOpensOnRightButton());

        w.cmdLogin_Click();
        QTRY_COMPARE(w.cmdLogin->text(), QStringLiteral("Login"));
        QVERIFY(!menuOpensOnRightButton());
        QTRY_VERIFY(server.isFinished());
        QCOMPARE(server.mismatches(), QStringList());
    }

    void sessionEndsWhileDeleWaits_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("logout by the autologin timer") << "logout";
        QTest::newRow("server closes the connection") << "lost";
        QTest::newRow("silent server") << "timeout";
    }
    void sessionEndsWhileDeleWaits()
    {
        QFETCH(QString, how);
        MessageBoxRecorder boxes;
        ScriptedPop3Server server;
        kit::scriptLogin(server, kit::numberedMails(3));
        server.expect(dele(3));
        if (how == "logout")
            server.expect("RSET \r\n").expect("QUIT \r\n").send("+OK\r\n+OK\r\n+OK Bye.\r\n").closeConnection();
        else if (how == "lost")
            server.closeConnection();
        else
            server.expectClientClose();

        frmMain w;
        QVERIFY(kit::login(w, server.port()));
        w.setReplyTimeout(200);
        w.cmdDelete->click();
        if (how == "logout") {
            QTRY_VERIFY(server.receivedLines().contains(dele(3)));
            w.timLogin_Timer();
        }
        QTRY_COMPARE(w.cmdLogin->text(), QStringLiteral("Login"));
        QTRY_VERIFY(server.isFinished());
        QCOMPARE(server.mismatches(), QStringList());
        QVERIFY(timersDue(100));
        // Logged out and usable: no re-login, nothing left running.
        QCOMPARE(w.cmdLogin->text(), QStringLiteral("Login"));
        QVERIFY(w.cmdLogin->isEnabled());
        QCOMPARE(w.sockPOP3->State(), int(TcpClientSocket::sckClosed));
        QCOMPARE(server.connectionCount(), 1);
        QVERIFY(w.prgProgress->isHidden());
        QCOMPARE(w.cmdDelete->text(), QStringLiteral("Delete"));
        QVERIFY(w.cmdDelete->isEnabled());
        QVERIFY(w.fraDeletion->isHidden());
    }

    void closeWindowWhileDeleWaits_data()
    {
        QTest::addColumn<bool>("quit");
        QTest::newRow("quit") << true;
        QTest::newRow("stay") << false;
    }
    void closeWindowWhileDeleWaits()
    {
        QFETCH(bool, quit);
        MessageBoxRecorder boxes;
        ScriptedPop3Server server;
        const QList<TestMail> mails = kit::numberedMails(3);
        kit::scriptLogin(server, mails);
        if (quit) {
            server.expect(dele(3)).expectClientClose();
        } else {
            server.expect(dele(3)).sendManually({"+OK", "\r\n"});
            kit::scriptLogin(server.expect("QUIT \r\n").send("+OK\r\n").closeConnection().acceptConnection(),
                             mails.mid(0, 2));
        }

        auto w = std::make_unique<frmMain>();
        w->show();
        QVERIFY(kit::login(*w, server.port()));
        kit::setRange(w->cboDelFrom, w->cboDelTill, QStringLiteral("3"), QStringLiteral("3"));
        w->cmdDelete->click();
        QTRY_VERIFY(server.receivedLines().contains(dele(3)));
        boxes.answers.enqueue(quit ? MsgAnswer::Yes : MsgAnswer::No);
        QCOMPARE(w->close(), quit);
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("You have not logged out yet, Do you still want to quit?")});
        if (quit) {
            QTRY_VERIFY(server.isFinished()); // the connection is closed
            w.reset();                        // nothing still refers to the window
            QVERIFY(timersDue(100));
        } else {
            server.sendNext();
            QTRY_VERIFY(server.isFinished());
            QTRY_VERIFY(!w->grdStats->isHidden() && w->cmdShow->isEnabled());
            QCOMPARE(w->lblMails->text(), QStringLiteral("2"));
        }
        QCOMPARE(server.mismatches(), QStringList());
    }

    void hotmailDeleteButtonOnlyInforms()
    {
        MessageBoxRecorder boxes;
        HttpMailServer server;
        QVERIFY(server.start());
        server.setCredentials(QStringLiteral("alice@hotmail.com"), QStringLiteral("secret"));
        server.setMails({HttpMailServer::makeMail("m1", "Bob", "One", "2004-08-03T10:11:12Z", "one", false)});
        frmMain w(server.endpointUrl().toString());
        kit::loginHotmail(w, QStringLiteral("alice@hotmail.com"), QStringLiteral("secret"));
        server.clearRequests();
        w.cmdDelete->click();
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("Please use grid selection for deleting hotmail mails")});
        QCOMPARE(boxes.boxes[0].icon, MsgIcon::Information);
        QVERIFY(server.requests().isEmpty());
        QCOMPARE(w.cmdDelete->text(), QStringLiteral("Delete"));
        QCOMPARE(server.inbox().size(), 1);
    }

    void hotmailDeleteSelectedRows_data()
    {
        QTest::addColumn<int>("anchor");
        QTest::addColumn<int>("current");
        QTest::addColumn<QStringList>("moved");
        QTest::addColumn<QStringList>("left");
        QTest::newRow("one row") << 3 << 3 << QStringList{"m2"} << QStringList{"1", "3", "4"};
        QTest::newRow("two rows") << 3 << 4 << QStringList{"m3", "m2"} << QStringList{"1", "4"};
    }
    void hotmailDeleteSelectedRows()
    {
        QFETCH(int, anchor);
        QFETCH(int, current);
        QFETCH(QStringList, moved);
        QFETCH(QStringList, left);
        MessageBoxRecorder boxes;
        HttpMailServer server;
        QVERIFY(server.start());
        server.setCredentials(QStringLiteral("alice@hotmail.com"), QStringLiteral("secret"));
        QList<HttpMailServer::Mail> inbox;
        for (int n = 1; n <= 4; ++n)
            inbox << HttpMailServer::makeMail("m" + QString::number(n), "Sender " + QString::number(n),
                                              "Subject " + QString::number(n), "2004-08-0" + QString::number(n) + "T10:00:00Z",
                                              "text " + QByteArray::number(n), n % 2 == 0);
        server.setMails(inbox);
        frmMain w(server.endpointUrl().toString());
        kit::loginHotmail(w, QStringLiteral("alice@hotmail.com"), QStringLiteral("secret"));
        QVERIFY(listAll(w, 4));
        kit::selectRows(w.grdMails, anchor, current);
        w.mnuDeleteMail_Click(); // runs to its end inside the click
        QCOMPARE(server.problems(), QStringList());

        QStringList deletedNames, inboxNames;
        for (const HttpMailServer::Mail &mail : server.deletedItems())
            deletedNames << mail.name;
        for (const HttpMailServer::Mail &mail : server.inbox())
            inboxNames << mail.name;
        QCOMPARE(deletedNames, moved);
        QCOMPARE(inboxNames.size(), 4 - moved.size());
        for (const QString &name : moved)
            QVERIFY(!inboxNames.contains(name));
        QCOMPARE(kit::column(w.grdMails, 3), left);
        expectIdle(w);
        QCOMPARE(boxes.boxes.size(), moved.size() > 1 ? 2 : 1); // the question, then the closing message
        if (moved.size() > 1)
            QCOMPARE(boxes.texts().last(), ClosingText);
    }

    void hotmailDeletionFailureIsReported()
    {
        MessageBoxRecorder boxes;
        HttpMailServer server;
        QVERIFY(server.start());
        server.setCredentials(QStringLiteral("alice@hotmail.com"), QStringLiteral("secret"));
        server.setMails({HttpMailServer::makeMail("m1", "Bob", "One", "2004-08-03T10:11:12Z", "one", false),
                         HttpMailServer::makeMail("m2", "Carol", "Two", "2004-08-04T10:11:12Z", "two", false),
                         HttpMailServer::makeMail("m3", "Dave", "Three", "2004-08-05T10:11:12Z", "three", false)});
        frmMain w(server.endpointUrl().toString());
        kit::loginHotmail(w, QStringLiteral("alice@hotmail.com"), QStringLiteral("secret"));
        QVERIFY(listAll(w, 3));
        server.addCannedReply(HttpMailServer::CannedReply::reply("BMOVE", QString(), 500, "failed"));
        kit::selectRows(w.grdMails, 2, 4);
        w.mnuDeleteMail_Click();
        QCOMPARE(boxes.boxes.size(), 3); // question, failure, closing message
        QVERIFY2(boxes.boxes[1].text.startsWith(QStringLiteral("Mail 3 could not be deleted.\r\n")),
                 qPrintable(boxes.boxes[1].text));
        QCOMPARE(boxes.boxes[1].icon, MsgIcon::Exclamation);
        QCOMPARE(boxes.boxes[2].text, ClosingText);
        QCOMPARE(server.inbox().size(), 3);
        QCOMPARE(kit::column(w.grdMails, 3), (QStringList{"1", "2"})); // stopped at the failure
        expectIdle(w);
    }
};

QTEST_MAIN(TestDeletion)
#include "test_deletion.moc"
