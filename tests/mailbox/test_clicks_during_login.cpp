// "Show" and "Delete" clicked as soon as the mail count appears, while the
// login still waits for the ids or the size list (a slow server, a large
// mailbox): the click is taken and its action starts once the size list is
// complete, never ending in an error. The scripted server holds the rest of
// the awaited reply back until after the click.
//
// The login asks for the ids and the sizes early, so that the server answers
// while the window works; what the window shows during those waits stays as
// it always was: the size list's progress while it comes, an empty
// mailbox's message once the ids are handled, a Stop button that can be
// pressed, and no progress left on a window logged out meanwhile.

#include "frmMainTestAccess.h"
#include "MessageBoxRecorder.h"
#include "WindowTestKit.h"

#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QSettings>

using kit::TestMail;

namespace {

QByteArray sizeList(const QList<TestMail> &mails)
{
    QByteArray lines;
    for (int n = 1; n <= mails.size(); ++n)
        lines += QByteArray::number(n) + ' ' + QByteArray::number(kit::mailText(mails[n - 1]).size()) + "\r\n";
    return lines;
}

qint64 totalSize(const QList<TestMail> &mails)
{
    qint64 total = 0;
    for (const TestMail &mail : mails)
        total += kit::mailText(mail).size();
    return total;
}

// Greeting to LIST, with the ids (or, when the server knows no UIDL, the
// sizes) sent in two parts: the second one only on sendNext().
void scriptSlowLogin(ScriptedPop3Server &server, const QList<TestMail> &mails, bool uidlRefused)
{
    Pop3Scripts::login(server, "bob", "secret");
    Pop3Scripts::stat(server, int(mails.size()), totalSize(mails));
    const QByteArray sizes = sizeList(mails);
    if (uidlRefused) {
        server.reply("UIDL \r\n", "-ERR Command not supported.\r\n");
        server.expect("LIST \r\n").sendManually({"+OK\r\n" + sizes.left(6), sizes.mid(6) + ".\r\n"});
        return;
    }
    QByteArray ids;
    for (int n = 1; n <= mails.size(); ++n)
        ids += QByteArray::number(n) + ' ' + mails[n - 1].uid + "\r\n";
    server.expect("UIDL \r\n").sendManually({"+OK\r\n" + ids.left(6), ids.mid(6) + ".\r\n"});
    server.reply("LIST \r\n", "+OK\r\n" + sizes + ".\r\n");
}

QByteArray idList(const QList<TestMail> &mails)
{
    QByteArray ids = "+OK\r\n";
    for (int n = 1; n <= mails.size(); ++n)
        ids += QByteArray::number(n) + ' ' + mails[n - 1].uid + "\r\n";
    return ids + ".\r\n";
}

// The controls Stop leaves enabled: itself (cmdShow) and nothing else.
const QList<bool> OnlyShowEnabled{false, false, false, false, false, true, false};

} // namespace

class TestClicksDuringLogin : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        QSettings(QStringLiteral("Mailvane"), QStringLiteral("Mailvane")).clear();
        QDir().remove(QStringLiteral("bob_127.0.0.1.uidl"));
    }

    void actionWaitsForSizeList_data()
    {
        QTest::addColumn<bool>("deletion");
        QTest::addColumn<bool>("uidlRefused");
        QTest::addColumn<bool>("stop");
        QTest::newRow("Show while the ids come") << false << false << false;
        QTest::newRow("Show while the sizes come, no UIDL") << false << true << false;
        QTest::newRow("Show, then Stop, while the ids come") << false << false << true;
        QTest::newRow("Delete while the ids come") << true << false << false;
        QTest::newRow("Delete, then Stop, while the ids come") << true << false << true;
    }
    void actionWaitsForSizeList()
    {
        QFETCH(bool, deletion);
        QFETCH(bool, uidlRefused);
        QFETCH(bool, stop);
        WindowFixture f;
        const QList<TestMail> mails = kit::numberedMails(3);
        scriptSlowLogin(f.server, mails, uidlRefused);
        if (!stop && !deletion)
            kit::scriptTops(f.server, mails, 1, 3);
        if (!stop && deletion) {
            f.server.reply("DELE 3\r\n", "+OK\r\n");
            f.server.reply("DELE 2\r\n", "+OK\r\n");
            Pop3Scripts::quit(f.server);
            f.server.acceptConnection();
            kit::scriptLogin(f.server, mails.mid(0, 1));
        }

        kit::fillLogin(f.w, f.server.port());
        f.w.cmdLogin->click();
        // The count is shown and the buttons are there; the rest of the
        // login's replies has not come yet.
        QTRY_VERIFY(f.server.isWaitingForSendNext());
        QTRY_COMPARE(f.w.lblMails->text(), QStringLiteral("3"));
        QPushButton *button = deletion ? f.w.cmdDelete : f.w.cmdShow;
        QVERIFY(button->isEnabled() && !button->isHidden());
        kit::setRange(f.w.cboDelFrom, f.w.cboDelTill, QStringLiteral("2"), QStringLiteral("3"));
        button->click();
        QCOMPARE(button->text(), QStringLiteral("Stop")); // the click is taken
        if (stop)
            button->click();
        f.server.sendNext();

        if (deletion && !stop) {
            // Deleted, logged off, and logged in again with the mail left.
            QTRY_VERIFY(f.server.isFinished());
            QTRY_VERIFY(!f.w.grdStats->isHidden() && f.w.cmdShow->isEnabled());
            QCOMPARE(f.w.lblMails->text(), QStringLiteral("1"));
        } else {
            QTRY_VERIFY(f.server.isFinished());
            QTRY_COMPARE(button->text(), deletion ? QStringLiteral("Delete") : QStringLiteral("Show"));
            QVERIFY(f.w.prgProgress->isHidden());
        }
        QCOMPARE(f.server.mismatches(), QStringList());
        QCOMPARE(f.boxes.texts(), QStringList());
        QVERIFY(f.w.cmdLogin->isEnabled());
        QCOMPARE(f.w.cmdLogin->text(), QStringLiteral("Logout"));
        QVERIFY(!f.w.grdStats->isHidden());
        if (stop) {
            QCOMPARE(f.w.lblProgress->text(), QStringLiteral("Interrupted by user!"));
            QCOMPARE(f.w.grdStats->Rows(), 4); // the size list is in all the same
        }
        if (!deletion)
            QCOMPARE(kit::column(f.w.grdMails, 3), stop ? QStringList() : QStringList({"1", "2", "3"}));
        if (!uidlRefused && !deletion)
            QCOMPARE(*kit::session(f.w).colNewMails(), (QStringList{"1", "2", "3"}));
    }

    void sizeListWaitShowsItsProgress()
    {
        WindowFixture f;
        const QList<TestMail> mails = kit::numberedMails(3);
        Pop3Scripts::login(f.server, "bob", "secret");
        Pop3Scripts::stat(f.server, 3, totalSize(mails));
        f.server.reply("UIDL \r\n", idList(mails));
        f.server.expect("LIST \r\n"); // the sizes held back

        f.w.show();
        kit::fillLogin(f.w, f.server.port());
        f.w.cmdLogin->click();
        QTRY_VERIFY(f.server.isFinished());
        QTRY_COMPARE(f.w.lblNewMails->text(), QStringLiteral("3 new mail(s)"));
        // The ids are handled; the sizes are being fetched, as the user sees.
        QVERIFY(!f.w.prgProgress->isHidden());
        QCOMPARE(f.w.lblProgress->text(), QStringLiteral("Getting message statistics.."));
        QCOMPARE(f.w.prgProgress->value(), 1);
        QCOMPARE(f.w.cmdStats->text(), QStringLiteral("<< Hide"));
        QCOMPARE(kit::enabledControls(f.w), QList<bool>(7, false));
        // The grid's menu does not open, and minimising now is no idle
        // window's: autologin stays off.
        f.w.grdMails_MouseDown(2, f.w.grdMails->mapToGlobal(QPoint(5, 5)));
        QVERIFY(!f.w.mnuMailOpts->isVisible());
        f.w.showMinimized();
        QVERIFY(kit::session(f.w).bMinimized());
        QVERIFY(!f.w.ckAutoLogin->isChecked());

        f.server.send(Pop3Scripts::listReply({100, 200, 300}));
        QTRY_VERIFY(kit::loggedInAndIdle(f.w));
        QVERIFY(!f.w.ckAutoLogin->isChecked());
        QVERIFY(!f.w.timLogin->isActive());
        QCOMPARE(f.w.grdStats->Rows(), 4);
        QCOMPARE(f.boxes.texts(), QStringList());
        QCOMPARE(f.server.mismatches(), QStringList());
    }

    void stopWhileTheSizesComeWhetherOrNotUidlIsRefused_data()
    {
        QTest::addColumn<bool>("uidlRefused");
        QTest::newRow("ids listed") << false;
        QTest::newRow("UIDL refused") << true;
    }
    void stopWhileTheSizesComeWhetherOrNotUidlIsRefused()
    {
        // Show clicked while the ids come is a Stop button from then on, one
        // the user can press until the sizes are in, whatever the ids'
        // answer was.
        QFETCH(bool, uidlRefused);
        WindowFixture f;
        const QList<TestMail> mails = kit::numberedMails(3);
        Pop3Scripts::login(f.server, "bob", "secret");
        Pop3Scripts::stat(f.server, 3, totalSize(mails));
        f.server.expect("UIDL \r\n");

        kit::fillLogin(f.w, f.server.port());
        f.w.cmdLogin->click();
        QTRY_VERIFY(f.server.isFinished());
        QTRY_VERIFY(f.w.cmdShow->isEnabled());
        f.w.cmdShow->click();
        QCOMPARE(f.w.cmdShow->text(), QStringLiteral("Stop"));
        QCOMPARE(kit::enabledControls(f.w), OnlyShowEnabled);

        f.server.send(uidlRefused ? QByteArray("-ERR Command not supported.\r\n") : idList(mails));
        f.server.expect("LIST \r\n");
        QTRY_VERIFY(f.server.isFinished()); // and so the ids' answer handled
        QCOMPARE(f.w.cmdShow->text(), QStringLiteral("Stop"));
        QCOMPARE(kit::enabledControls(f.w), OnlyShowEnabled);

        f.w.cmdShow->click();
        f.server.send(Pop3Scripts::listReply({100, 200, 300}));
        QTRY_COMPARE(f.w.lblProgress->text(), QStringLiteral("Interrupted by user!"));
        QCOMPARE(f.w.cmdShow->text(), QStringLiteral("Show"));
        QCOMPARE(kit::enabledControls(f.w), kit::AllEnabled);
        QCOMPARE(f.w.grdStats->Rows(), 4);
        QCOMPARE(kit::column(f.w.grdMails, 3), QStringList());
        QCOMPARE(f.boxes.texts(), QStringList());
        QCOMPARE(f.server.mismatches(), QStringList());
    }

    void emptyMailboxSaysSoOnceTheIdsAreHandled()
    {
        WindowFixture f;
        Pop3Scripts::login(f.server, "bob", "secret");
        Pop3Scripts::stat(f.server, 0, 0);
        Pop3Scripts::uidl(f.server, {});
        struct Seen
        {
            QString newMails, progress;
            bool barShown = true;
        } seen;
        f.boxes.holdOpen(QStringLiteral("No mails in mailbox"), [&] {
            seen = {f.w.lblNewMails->text(), f.w.lblProgress->text(), !f.w.prgProgress->isHidden()};
            return true;
        });

        kit::fillLogin(f.w, f.server.port());
        f.w.cmdLogin->click();
        QTRY_COMPARE(f.boxes.texts(), QStringList{"No mails in mailbox"});
        QCOMPARE(seen.newMails, QStringLiteral("0 new mail(s)"));
        QCOMPARE(seen.progress, QString());
        QVERIFY(!seen.barShown);
        QTRY_VERIFY(f.server.isFinished());
        QTRY_VERIFY(f.w.cmdLogin->isEnabled());
        QCOMPARE(f.w.cmdLogin->text(), QStringLiteral("Logout"));
        QVERIFY(f.w.prgProgress->isHidden());
        QCOMPARE(f.w.lblTotalMails->text(), QStringLiteral("Total  mails"));
        QCOMPARE(f.server.mismatches(), QStringList());
    }

    void logoutWhileTheLoginWaitsEndsItsProgress_data()
    {
        QTest::addColumn<bool>("idsIn");
        QTest::newRow("Logout clicked while the ids come") << false;
        // Logout is disabled then; the autologin's minute may end all the same.
        QTest::newRow("the autologin's tick while the sizes come") << true;
    }
    void logoutWhileTheLoginWaitsEndsItsProgress()
    {
        // The first reply after QUIT went out resets the window: the reply
        // still awaited is dropped, and so is its progress.
        QFETCH(bool, idsIn);
        WindowFixture f;
        f.w.ckAutoLogin->setChecked(idsIn);
        const QList<TestMail> mails = kit::numberedMails(2);
        Pop3Scripts::login(f.server, "bob", "secret");
        Pop3Scripts::stat(f.server, 2, totalSize(mails));
        if (idsIn)
            f.server.reply("UIDL \r\n", idList(mails)).expect("LIST \r\n");
        else
            f.server.expect("UIDL \r\n");

        kit::fillLogin(f.w, f.server.port());
        f.w.cmdLogin->click();
        QTRY_VERIFY(f.server.isFinished());
        QTRY_COMPARE(f.w.lblProgress->text(),
                     idsIn ? QStringLiteral("Getting message statistics..") : QStringLiteral("Getting message ids.."));
        QCOMPARE(f.w.cmdLogin->isEnabled(), !idsIn);
        f.server.expect("RSET \r\n").expect("QUIT \r\n");
        f.server.send((idsIn ? Pop3Scripts::listReply({100, 200}) : idList(mails)) + "+OK\r\n+OK Logging out.\r\n");
        if (idsIn)
            f.w.timLogin_Timer();
        else
            f.w.cmdLogin->click(); // "Confirm Logout?" answered Yes
        QTRY_VERIFY(f.server.isFinished());
        QTRY_VERIFY(kit::loggedOutAndIdle(f.w));
        QVERIFY(f.w.lblProgress->isHidden());
        QCOMPARE(f.w.lblProgress->text(), QString());
        QVERIFY(f.w.fraStats->isHidden());
        QCOMPARE(f.w.timLogin->isActive(), idsIn); // the next minute's login
        QCOMPARE(f.boxes.texts(), idsIn ? QStringList() : QStringList{"Confirm Logout?"});
        QCOMPARE(f.server.mismatches(), QStringList());
    }
};

QTEST_MAIN(TestClicksDuringLogin)
#include "test_clicks_during_login.moc"
