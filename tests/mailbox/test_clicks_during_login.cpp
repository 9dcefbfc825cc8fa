// "Show" and "Delete" clicked as soon as the mail count appears, while the
// login still waits for the ids or the size list (a slow server, a large
// mailbox): the click is taken and its action starts once the size list is
// complete, never ending in an error. The scripted server holds the rest of
// the awaited reply back until after the click.

#include "frmMainTestAccess.h"
#include "MessageBoxRecorder.h"
#include "WindowTestKit.h"

#include <QDir>
#include <QLabel>
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
};

QTEST_MAIN(TestClicksDuringLogin)
#include "test_clicks_during_login.moc"
