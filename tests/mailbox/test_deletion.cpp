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
        WindowFixture f;
        const QList<TestMail> mails = kit::numberedMails(count);
        kit::scriptLogin(f.server, mails);
        kit::scriptTops(f.server, mails, 1, count);
        for (int n = till.toInt(); n >= from.toInt(); --n) // highest first, one at a time
            f.server.reply(dele(n), "+OK Marked to be deleted.\r\n");
        f.server.expect("QUIT \r\n").sendManually({"+OK Logging", " out.\r\n"}).closeConnection();
        f.server.acceptConnection();
        QList<TestMail> left = mails;
        left.remove(from.toInt() - 1, till.toInt() - from.toInt() + 1);
        kit::scriptLogin(f.server, left);

        QVERIFY(f.login());
        QVERIFY(kit::showMails(f.w, 1, count));
        kit::setRange(f.w.cboDelFrom, f.w.cboDelTill, from, till);
        f.w.cmdDelete->click();
        QCOMPARE(f.w.cmdDelete->text(), QStringLiteral("Stop"));
        QCOMPARE(f.w.cmdDelete->palette().color(QPalette::Button), Red);
        QVERIFY(f.w.cmdDelete->isEnabled());
        QVERIFY(!f.w.cmdShow->isEnabled());
        QVERIFY(!f.w.cmdLogin->isEnabled());
        QVERIFY(!f.w.prgProgress->isHidden());
        QCOMPARE(f.w.lblProgress->text(), QStringLiteral("Deleting message ") + till);
        QCOMPARE(f.w.grdMails->Rows(), 2); // cleared, headings too
        QCOMPARE(f.w.grdMails->TextMatrix(0, 0), QString());

        QTRY_VERIFY(f.server.isWaitingForSendNext()); // QUIT is out
        QCOMPARE(f.w.lblProgress->text(), QStringLiteral("Preparing to log off..."));
        QVERIFY(!f.w.cmdDelete->isEnabled());
        QVERIFY(!f.w.cmdShow->isEnabled());
        QVERIFY(!f.w.ckUpdtChanges->isHidden());
        QVERIFY(f.w.ckUpdtChanges->isChecked());
        f.server.sendNext();

        QTRY_COMPARE(f.server.connectionCount(), 2);
        QTRY_VERIFY(f.server.isFinished());
        QTRY_VERIFY(!f.w.grdStats->isHidden() && f.w.cmdShow->isEnabled());
        QCOMPARE(f.server.mismatches(), QStringList());
        QCOMPARE(f.w.lblMails->text(), QString::number(left.size()));
        QCOMPARE(f.w.cmdLogin->text(), QStringLiteral("Logout"));
        expectIdle(f.w);
        QVERIFY(f.boxes.boxes.isEmpty()); // no message announces the end
    }

    void stopRangeDeletion()
    {
        WindowFixture f;
        kit::scriptLogin(f.server, kit::numberedMails(5));
        f.server.expect(dele(5)).sendManually({"+OK Mar", "ked.\r\n"});
        Pop3Scripts::logout(f.server, true); // no further DELE, no log-off of its own

        QVERIFY(f.login());
        f.w.cmdDelete->click();
        QTRY_VERIFY(f.server.isWaitingForSendNext());
        f.w.cmdDelete->click(); // Stop
        QVERIFY(kit::session(f.w).bStopRequested());
        QVERIFY(!kit::session(f.w).bRelogin());
        f.server.sendNext(); // the outstanding DELE completes
        QTRY_COMPARE(f.w.cmdDelete->text(), QStringLiteral("Delete"));
        expectIdle(f.w);
        QVERIFY(!kit::session(f.w).bStopRequested());
        QCOMPARE(f.w.cmdLogin->text(), QStringLiteral("Logout")); // the session stays open

        f.w.cmdLogin_Click();
        QTRY_VERIFY(f.server.isFinished());
        QCOMPARE(f.server.mismatches(), QStringList());
        QCOMPARE(f.server.connectionCount(), 1);
        QCOMPARE(f.boxes.texts(), QStringList{QStringLiteral("Confirm Logout?")});
    }

    void refusedDeleStopsRangeDeletion()
    {
        WindowFixture f;
        kit::scriptLogin(f.server, kit::numberedMails(3));
        f.server.reply(dele(3), "-ERR No such message\r\n");
        Pop3Scripts::logout(f.server); // RSET: nothing was marked

        QVERIFY(f.login());
        f.w.cmdDelete->click();
        QTRY_COMPARE(f.boxes.boxes.size(), 1);
        QCOMPARE(f.boxes.boxes[0].text, QStringLiteral("Server error\r\n-ERR No such message\r\n"));
        expectIdle(f.w);
        QVERIFY(!kit::session(f.w).bRelogin());
        QCOMPARE(f.w.cmdLogin->text(), QStringLiteral("Logout"));

        f.boxes.clear();
        f.w.cmdLogin_Click();
        QTRY_VERIFY(f.server.isFinished());
        QCOMPARE(f.server.mismatches(), QStringList());
        QCOMPARE(f.server.connectionCount(), 1);
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
        WindowFixture f;
        const QList<TestMail> mails = kit::numberedMails(3);
        kit::scriptLogin(f.server, mails);
        kit::scriptTops(f.server, mails, 1, 3);
        Pop3Scripts::logout(f.server);
        QVERIFY(f.login());
        QVERIFY(kit::showMails(f.w, 1, 3));
        kit::setRange(f.w.cboDelFrom, f.w.cboDelTill, from, till);
        f.w.cmdDelete->click();
        QCOMPARE(f.boxes.texts(), QStringList{QStringLiteral("Mail range selected is not valid")});
        QCOMPARE(f.boxes.boxes[0].icon, MsgIcon::Exclamation);
        QCOMPARE(f.boxes.boxes[0].title, QStringLiteral("Mailvane"));
        expectIdle(f.w);
        QCOMPARE(kit::column(f.w.grdMails, 3), (QStringList{"1", "2", "3"})); // nothing changes
        QVERIFY(!kit::session(f.w).bRelogin());

        f.boxes.clear();
        f.w.cmdLogin_Click();
        QTRY_VERIFY(f.server.isFinished());
        QCOMPARE(f.server.mismatches(), QStringList()); // no DELE went out
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
        WindowFixture f;
        const QList<TestMail> mails = kit::numberedMails(3);
        kit::scriptLogin(f.server, mails);
        kit::scriptTops(f.server, mails, 1, 3);
        if (confirm)
            f.server.expect(dele(2)).sendManually({"+OK", " Marked.\r\n"});
        Pop3Scripts::logout(f.server, confirm); // a DELE reply checks "Update Changes"

        QVERIFY(f.login());
        QVERIFY(kit::showMails(f.w, 1, 3));
        kit::selectRows(f.w.grdMails, 3, 3);
        f.boxes.answers.enqueue(confirm ? MsgAnswer::Yes : MsgAnswer::No);
        f.w.mnuDeleteMail->trigger();
        QCOMPARE(f.boxes.boxes.size(), 1);
        QCOMPARE(f.boxes.boxes[0].text,
                   QStringLiteral("From: Sender 2 <s2@example.com>\r\nSubject: Subject 2\r\nWant to delete?"));
        QCOMPARE(f.boxes.boxes[0].buttons, MsgButtons::YesNo);
        QCOMPARE(f.boxes.boxes[0].icon, MsgIcon::Question);
        QCOMPARE(f.boxes.boxes[0].title, QStringLiteral("Mailvane"));
        if (confirm) {
            QCOMPARE(kit::column(f.w.grdMails, 3), (QStringList{"1", "3"})); // removed before the reply
            QTRY_VERIFY(f.server.isWaitingForSendNext());
            QCOMPARE(f.w.lblProgress->text(), QStringLiteral("Deleting mail 2"));
            QVERIFY(!f.w.prgProgress->isHidden());
            QVERIFY(!f.w.cmdLogin->isEnabled());
            QCOMPARE(f.w.cmdDelete->text(), QStringLiteral("Delete")); // no stop button for one row
            f.server.sendNext();
            QTRY_VERIFY(f.w.cmdLogin->isEnabled());
            QVERIFY(f.w.ckUpdtChanges->isChecked());
        } else {
            QCOMPARE(kit::column(f.w.grdMails, 3), (QStringList{"1", "2", "3"}));
        }
        expectIdle(f.w);
        QCOMPARE(f.w.grdMails->TextMatrix(0, 0), QStringLiteral("Date"));
        QCOMPARE(f.w.lblMails->text(), QStringLiteral("3")); // statistics are not updated

        f.boxes.clear();
        f.w.cmdLogin_Click();
        QTRY_VERIFY(f.server.isFinished());
        QCOMPARE(f.server.mismatches(), QStringList());
    }

    void deleteTheOnlyMailRow()
    {
        WindowFixture f;
        const QList<TestMail> mails = kit::numberedMails(1);
        kit::scriptLogin(f.server, mails);
        kit::scriptTops(f.server, mails, 1, 1);
        f.server.reply(dele(1), "+OK\r\n");
        QVERIFY(f.login());
        QVERIFY(kit::showMails(f.w, 1, 1));
        QCOMPARE(f.w.grdMails->Row(), 2); // the last row added is current
        f.w.mnuDeleteMail_Click();
        QTRY_VERIFY(f.server.isFinished());
        QTRY_VERIFY(f.w.cmdLogin->isEnabled());
        QCOMPARE(f.server.mismatches(), QStringList());
        QCOMPARE(f.w.grdMails->Rows(), 2);
        QCOMPARE(f.w.grdMails->TextMatrix(0, 2), QStringLiteral("Subject")); // headings remain
        QCOMPARE(f.w.grdMails->TextMatrix(1, 0), QString());
        expectIdle(f.w);
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
        WindowFixture f;
        kit::scriptLogin(f.server, kit::numberedMails(1));
        kit::scriptTop(f.server, 1, topReply);
        Pop3Scripts::logout(f.server);
        QVERIFY(f.login());
        f.w.txtFrom->setText(filter);
        QVERIFY(kit::showMails(f.w, 1, 1));
        if (row >= 0) {
            f.w.grdMails->SetCol(col);
            f.w.grdMails->SetRow(row);
        }
        f.w.mnuDeleteMail_Click();
        QCOMPARE(f.boxes.texts(), QStringList{QStringLiteral("No mail selected for deletion")});
        QCOMPARE(f.boxes.boxes[0].icon, MsgIcon::Exclamation);
        expectIdle(f.w);

        f.boxes.clear();
        f.w.cmdLogin_Click();
        QTRY_VERIFY(f.server.isFinished());
        QCOMPARE(f.server.mismatches(), QStringList()); // no DELE went out
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
        WindowFixture f;
        const QList<TestMail> mails = kit::numberedMails(count);
        kit::scriptLogin(f.server, mails);
        kit::scriptTops(f.server, mails, 1, count);
        for (int n : deleted)
            f.server.reply(dele(n), "+OK\r\n");
        Pop3Scripts::logout(f.server, true);

        QVERIFY(f.login());
        QVERIFY(kit::showMails(f.w, 1, count));
        kit::selectRows(f.w.grdMails, anchor, current);
        f.w.mnuDeleteMail_Click();
        QTRY_COMPARE(f.boxes.boxes.size(), 2);
        const int first = qMin(anchor, current);
        const int last = qMax(anchor, current);
        QCOMPARE(f.boxes.boxes[0].text, QStringLiteral("You have selected multiple mails to delete.\r\n From ")
                                          + QString::number(first) + " to " + QString::number(last)
                                          + "\r\nConfirm?");
        QCOMPARE(f.boxes.boxes[0].buttons, MsgButtons::YesNo);
        QCOMPARE(f.boxes.boxes[0].icon, MsgIcon::Question);
        QCOMPARE(f.boxes.boxes[1].text, ClosingText);
        QCOMPARE(f.boxes.boxes[1].title, QStringLiteral("Mailvane ")); // the application title
        QCOMPARE(f.boxes.boxes[1].icon, MsgIcon::Exclamation);
        expectIdle(f.w);
        QCOMPARE(kit::column(f.w.grdMails, 3), left);
        QCOMPARE(f.w.grdMails->TextMatrix(0, 0), headingsKept ? QStringLiteral("Date") : QString());

        f.w.cmdLogin_Click();
        QTRY_VERIFY(f.server.isFinished());
        QCOMPARE(f.server.mismatches(), QStringList());
    }

    void declineSeveralRows()
    {
        WindowFixture f;
        const QList<TestMail> mails = kit::numberedMails(3);
        kit::scriptLogin(f.server, mails);
        kit::scriptTops(f.server, mails, 1, 3);
        Pop3Scripts::logout(f.server);
        QVERIFY(f.login());
        QVERIFY(kit::showMails(f.w, 1, 3));
        kit::selectRows(f.w.grdMails, 2, 4);
        f.boxes.answers.enqueue(MsgAnswer::No);
        f.w.mnuDeleteMail_Click();
        QCOMPARE(f.boxes.boxes.size(), 1); // no closing message
        QCOMPARE(kit::column(f.w.grdMails, 3), (QStringList{"1", "2", "3"}));
        expectIdle(f.w);
        f.w.cmdLogin_Click();
        QTRY_VERIFY(f.server.isFinished());
        QCOMPARE(f.server.mismatches(), QStringList());
    }

    void stopSeveralRows()
    {
        WindowFixture f;
        const QList<TestMail> mails = kit::numberedMails(4);
        kit::scriptLogin(f.server, mails);
        kit::scriptTops(f.server, mails, 1, 4);
        f.server.expect(dele(4)).sendManually({"+OK", "\r\n"});
        Pop3Scripts::logout(f.server, true);

        QVERIFY(f.login());
        QVERIFY(kit::showMails(f.w, 1, 4));
        kit::selectRows(f.w.grdMails, 2, 5);
        f.w.mnuDeleteMail_Click();
        QCOMPARE(f.w.cmdDelete->text(), QStringLiteral("Stop"));
        QCOMPARE(f.w.cmdDelete->palette().color(QPalette::Button), Red);
        QVERIFY(f.w.cmdDelete->isEnabled());
        QVERIFY(!f.w.cmdLogin->isEnabled());
        QTRY_VERIFY(f.server.isWaitingForSendNext());
        QCOMPARE(f.w.lblProgress->text(), QStringLiteral("Deleting mail 4"));
        f.w.cmdDelete->click();
        f.server.sendNext();
        QTRY_COMPARE(f.boxes.boxes.size(), 2);
        QCOMPARE(f.boxes.boxes[1].text, ClosingText); // shown after a stop too
        expectIdle(f.w);
        QCOMPARE(kit::column(f.w.grdMails, 3), (QStringList{"1", "2", "3"}));

        f.boxes.clear();
        f.w.cmdLogin_Click();
        QTRY_VERIFY(f.server.isFinished());
        QCOMPARE(f.server.mismatches(), QStringList()); // no DELE 3
    }

    void refusedDeleStopsSelectionDeletion()
    {
        WindowFixture f;
        const QList<TestMail> mails = kit::numberedMails(3);
        kit::scriptLogin(f.server, mails);
        kit::scriptTops(f.server, mails, 1, 3);
        f.server.reply(dele(3), "-ERR Nope\r\n");
        Pop3Scripts::logout(f.server);

        QVERIFY(f.login());
        QVERIFY(kit::showMails(f.w, 1, 3));
        kit::selectRows(f.w.grdMails, 2, 4);
        f.w.mnuDeleteMail_Click();
        QTRY_COMPARE(f.boxes.boxes.size(), 3);
        QCOMPARE(f.boxes.boxes[1].text, QStringLiteral("Server error\r\n-ERR Nope\r\n"));
        QCOMPARE(f.boxes.boxes[2].text, ClosingText);
        expectIdle(f.w);
        QCOMPARE(kit::column(f.w.grdMails, 3), (QStringList{"1", "2"})); // the row is not put back

        f.boxes.clear();
        f.w.cmdLogin_Click();
        QTRY_VERIFY(f.server.isFinished());
        QCOMPARE(f.server.mismatches(), QStringList()); // no DELE 2 or 1
    }

    void popupMenuRules()
    {
        WindowFixture f;
        const QList<TestMail> mails = kit::numberedMails(3);
        kit::scriptLogin(f.server, mails);
        kit::scriptTops(f.server, mails, 1, 1);
        const QByteArray second = kit::multiLine(kit::mailText(mails[1]));
        f.server.expect("TOP 2 10\r\n").sendManually({second.left(8), second.mid(8)});
        kit::scriptTops(f.server, mails, 3, 3);
        f.server.expect(dele(3)).sendManually({"+OK", "\r\n"});           // one row
        f.server.expect(dele(2)).sendManually({"+OK", "\r\n"});           // a range, stopped
        Pop3Scripts::logout(f.server, true);

        f.w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.w));
        QMenu *menu = f.w.mnuMailOpts;
        auto menuOpensOnRightButton = [&] {
            f.w.grdMails_MouseDown(2, f.w.mapToGlobal(QPoint(10, 10)));
            const bool opened = menu->isVisible();
            menu->hide();
            return opened;
        };
        QVERIFY(!menuOpensOnRightButton()); // logged out
        QVERIFY(f.login());

        f.w.cmdShow->click();
        QTRY_VERIFY(f.server.isWaitingForSendNext());
        QVERIFY(!menuOpensOnRightButton()); // retrieval running
        f.server.sendNext();
        QTRY_COMPARE(f.w.cmdShow->text(), QStringLiteral("Show"));

        // A real right click on a mail row: the menu opens and the block
        // selected before stays as it was.
        kit::selectRows(f.w.grdMails, 2, 3);
        const QRect cell = f.w.grdMails->visualRect(f.w.grdMails->model()->index(2, 1));
        QTest::mousePress(f.w.grdMails->viewport(), Qt::RightButton, {}, cell.center());
        QVERIFY(menu->isVisible());
        QVERIFY(f.w.mnuDeleteMail->isEnabled());
        QVERIFY(f.w.mnuCompleteMail->isEnabled());
        menu->hide();
        QCOMPARE(f.w.grdMails->Row(), 3);
        QCOMPARE(f.w.grdMails->RowSel(), 2);
        f.w.grdMails_MouseDown(1, f.w.mapToGlobal(QPoint(10, 10)));
        QVERIFY(!menu->isVisible()); // left button

        kit::selectRows(f.w.grdMails, 4, 4);
        f.w.mnuDeleteMail_Click();
        QTRY_VERIFY(f.server.isWaitingForSendNext());
        QVERIFY(!menuOpensOnRightButton()); // a deletion waits: the progress bar shows
        f.server.sendNext();
        QTRY_VERIFY(f.w.prgProgress->isHidden());
        QVERIFY(menuOpensOnRightButton());

        kit::setRange(f.w.cboDelFrom, f.w.cboDelTill, QStringLiteral("1"), QStringLiteral("2"));
        f.w.cmdDelete->click();
        QTRY_VERIFY(f.server.isWaitingForSendNext());
        QVERIFY(!menuOpensOnRightButton()); // range deletion running
        f.w.cmdDelete->click();
        f.server.sendNext();
        QTRY_COMPARE(f.w.cmdDelete->text(), QStringLiteral("Delete"));
        QVERIFY(menuOpensOnRightButton());

        f.w.cmdLogin_Click();
        QTRY_COMPARE(f.w.cmdLogin->text(), QStringLiteral("Login"));
        QVERIFY(!menuOpensOnRightButton());
        QTRY_VERIFY(f.server.isFinished());
        QCOMPARE(f.server.mismatches(), QStringList());
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
        WindowFixture f;
        kit::scriptLogin(f.server, kit::numberedMails(3));
        f.server.expect(dele(3));
        if (how == "logout")
            f.server.expect("RSET \r\n").expect("QUIT \r\n").send("+OK\r\n+OK\r\n+OK Bye.\r\n").closeConnection();
        else if (how == "lost")
            f.server.closeConnection();
        else
            f.server.expectClientClose();

        QVERIFY(f.login());
        f.w.setReplyTimeout(200);
        f.w.cmdDelete->click();
        if (how == "logout") {
            QTRY_VERIFY(f.server.receivedLines().contains(dele(3)));
            f.w.timLogin_Timer();
        }
        QTRY_COMPARE(f.w.cmdLogin->text(), QStringLiteral("Login"));
        QTRY_VERIFY(f.server.isFinished());
        QCOMPARE(f.server.mismatches(), QStringList());
        QVERIFY(timersDue(100));
        // Logged out and usable: no re-login, nothing left running.
        QCOMPARE(f.w.cmdLogin->text(), QStringLiteral("Login"));
        QVERIFY(f.w.cmdLogin->isEnabled());
        QCOMPARE(f.w.sockPOP3->State(), int(TcpClientSocket::sckClosed));
        QCOMPARE(f.server.connectionCount(), 1);
        QVERIFY(f.w.prgProgress->isHidden());
        QCOMPARE(f.w.cmdDelete->text(), QStringLiteral("Delete"));
        QVERIFY(f.w.cmdDelete->isEnabled());
        QVERIFY(f.w.fraDeletion->isHidden());
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
        HotmailWindowFixture f;
        QVERIFY(f.started);
        f.server.setMails({HttpMailServer::makeMail("m1", "Bob", "One", "2004-08-03T10:11:12Z", "one", false)});
        QVERIFY(f.login());
        f.server.clearRequests();
        f.w.cmdDelete->click();
        QCOMPARE(f.boxes.texts(), QStringList{QStringLiteral("Please use grid selection for deleting hotmail mails")});
        QCOMPARE(f.boxes.boxes[0].icon, MsgIcon::Information);
        QVERIFY(f.server.requests().isEmpty());
        QCOMPARE(f.w.cmdDelete->text(), QStringLiteral("Delete"));
        QCOMPARE(f.server.inbox().size(), 1);
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
        HotmailWindowFixture f;
        QVERIFY(f.started);
        QList<HttpMailServer::Mail> inbox;
        for (int n = 1; n <= 4; ++n)
            inbox << HttpMailServer::makeMail("m" + QString::number(n), "Sender " + QString::number(n),
                                              "Subject " + QString::number(n), "2004-08-0" + QString::number(n) + "T10:00:00Z",
                                              "text " + QByteArray::number(n), n % 2 == 0);
        f.server.setMails(inbox);
        QVERIFY(f.login());
        QVERIFY(kit::showMails(f.w, 1, 4));
        kit::selectRows(f.w.grdMails, anchor, current);
        f.w.mnuDeleteMail_Click(); // runs to its end inside the click
        QCOMPARE(f.server.problems(), QStringList());

        QStringList deletedNames, inboxNames;
        for (const HttpMailServer::Mail &mail : f.server.deletedItems())
            deletedNames << mail.name;
        for (const HttpMailServer::Mail &mail : f.server.inbox())
            inboxNames << mail.name;
        QCOMPARE(deletedNames, moved);
        QCOMPARE(inboxNames.size(), 4 - moved.size());
        for (const QString &name : moved)
            QVERIFY(!inboxNames.contains(name));
        QCOMPARE(kit::column(f.w.grdMails, 3), left);
        expectIdle(f.w);
        QCOMPARE(f.boxes.boxes.size(), moved.size() > 1 ? 2 : 1); // the question, then the closing message
        if (moved.size() > 1)
            QCOMPARE(f.boxes.texts().last(), ClosingText);
    }

    void hotmailDeletionFailureIsReported()
    {
        HotmailWindowFixture f;
        QVERIFY(f.started);
        f.server.setMails({HttpMailServer::makeMail("m1", "Bob", "One", "2004-08-03T10:11:12Z", "one", false),
                           HttpMailServer::makeMail("m2", "Carol", "Two", "2004-08-04T10:11:12Z", "two", false),
                           HttpMailServer::makeMail("m3", "Dave", "Three", "2004-08-05T10:11:12Z", "three", false)});
        QVERIFY(f.login());
        QVERIFY(kit::showMails(f.w, 1, 3));
        f.server.addCannedReply(HttpMailServer::CannedReply::reply("BMOVE", QString(), 500, "failed"));
        kit::selectRows(f.w.grdMails, 2, 4);
        f.w.mnuDeleteMail_Click();
        QCOMPARE(f.boxes.boxes.size(), 3); // question, failure, closing message
        QVERIFY2(f.boxes.boxes[1].text.startsWith(QStringLiteral("Mail 3 could not be deleted.\r\n")),
                   qPrintable(f.boxes.boxes[1].text));
        QCOMPARE(f.boxes.boxes[1].icon, MsgIcon::Exclamation);
        QCOMPARE(f.boxes.boxes[2].text, ClosingText);
        QCOMPARE(f.server.inbox().size(), 3);
        QCOMPARE(kit::column(f.w.grdMails, 3), (QStringList{"1", "2"})); // stopped at the failure
        expectIdle(f.w);
    }
};

QTEST_MAIN(TestDeletion)
#include "test_deletion.moc"
