// Pipelined commands through the real window: a header sweep and a range
// deletion against a scripted server that lists PIPELINING and one that does
// not, ending the same way whichever reply ends them (Stop, a lowered range
// end, a refused TOP or DELE, a hang-up, the time-out, a mail the size list
// lacks); against a server that does not list it no command goes out before
// the previous reply. Then real Dovecot, which lists it: a sweep and a
// deletion end as they do one command at a time.

#include "frmMainTestAccess.h"
#include "RawPop3.h"
#include "RealPop3Server.h"
#include "WindowTestKit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QSettings>

using kit::TestMail;

namespace {

QByteArray topReply(const TestMail &mail)
{
    return kit::multiLine(kit::mailText(mail));
}

QByteArray topLine(int n)
{
    return "TOP " + QByteArray::number(n) + " 10\r\n";
}

QByteArray deleLine(int n)
{
    return "DELE " + QByteArray::number(n) + "\r\n";
}

QStringList numbers(int from, int till)
{
    QStringList out;
    for (int n = from; n <= till; ++n)
        out << QString::number(n);
    return out;
}

// The login of this mailbox; the size list leaves out mail `unlisted`.
void scriptLogin(ScriptedPop3Server &server, const QList<TestMail> &mails, bool pipelining, int unlisted = 0)
{
    QStringList ids;
    QByteArray list = "+OK\r\n";
    qint64 total = 0;
    for (int n = 1; n <= mails.size(); ++n) {
        const qint64 size = kit::mailText(mails[n - 1]).size();
        ids << QString::fromLatin1(mails[n - 1].uid);
        total += size;
        if (n != unlisted)
            list += QByteArray::number(n) + ' ' + QByteArray::number(size) + "\r\n";
    }
    if (pipelining)
        Pop3Scripts::greetingWithCapa(server, {"TOP", "UIDL", "USER", "PIPELINING"});
    else
        Pop3Scripts::greetingWithCapa(server, {"TOP", "UIDL", "USER"});
    server.reply("USER bob\r\n", "+OK\r\n").reply("PASS secret\r\n", "+OK Logged in.\r\n");
    Pop3Scripts::stat(server, int(mails.size()), total);
    Pop3Scripts::uidl(server, ids);
    server.reply("LIST \r\n", list + ".\r\n");
}

// Commands and their replies as each kind of server takes them: one at a
// time, each reply after its command; or pipelined, the commands `lines`
// read first (they come in one write), then their replies in one stream.
void scriptExchange(ScriptedPop3Server &server, bool pipelining, const QList<QByteArray> &lines,
                    const QList<QByteArray> &replies, Pop3Scripts::Cut how = Pop3Scripts::Cut::Whole)
{
    if (!pipelining) {
        for (int i = 0; i < lines.size(); ++i) {
            server.expect(lines[i]);
            if (i < replies.size())
                server.send(Pop3Scripts::cut(replies[i], how));
        }
        return;
    }
    for (const QByteArray &line : lines)
        server.expect(line);
    if (!replies.isEmpty())
        server.send(Pop3Scripts::cut(replies.join(), how));
}

QList<QByteArray> topLines(int from, int till)
{
    QList<QByteArray> lines;
    for (int n = from; n <= till; ++n)
        lines << topLine(n);
    return lines;
}

QList<QByteArray> topReplies(const QList<TestMail> &mails, int from, int till)
{
    QList<QByteArray> replies;
    for (int n = from; n <= till; ++n)
        replies << topReply(mails[n - 1]);
    return replies;
}

constexpr int DovecotMails = 60;

// Mails of varied sizes, some with encoded words and dot-stuffed lines.
QByteArray dovecotMail(int n)
{
    QByteArray text = "Date: Thu, 5 Aug 2004 1" + QByteArray::number(n % 10) + ":00:00 +0200\r\n"
                      "From: =?UTF-8?Q?J=C3=B6rg_" + QByteArray::number(n) + "?= <j@example.de>\r\n"
                      "Subject: Mail " + QByteArray::number(n) + "\r\n\r\n";
    for (int i = 0; i < (n % 7) * 40; ++i)
        text += i % 3 ? "Line " + QByteArray::number(i) + "\r\n" : QByteArray(".dotted\r\n");
    return text;
}

void addServerKinds()
{
    QTest::addColumn<bool>("pipelining");
}

// A row for each kind of server.
void addServerKindRows()
{
    addServerKinds();
    QTest::newRow("pipelined") << true;
    QTest::newRow("one at a time") << false;
}

// The server lists PIPELINING: commands were read ahead of replies. It does
// not: none was.
bool wireAsOffered(const ScriptedPop3Server &server, bool pipelining)
{
    const QStringList ahead = server.linesAheadOfReplies();
    if (pipelining == !ahead.isEmpty())
        return true;
    qWarning() << "commands ahead of replies:" << ahead;
    return false;
}

} // namespace

class TestPipelining : public QObject
{
    Q_OBJECT
private slots:
    void init() { kit::clearSavedState(); }

    // The same grid from both kinds of server, whichever way the replies are
    // cut, and lock-step to the one that does not list PIPELINING.
    void sweepAtEveryCut_data()
    {
        QTest::addColumn<bool>("pipelining");
        QTest::addColumn<Pop3Scripts::Cut>("how");
        const std::pair<const char *, Pop3Scripts::Cut> cuts[] = {
            {"whole", Pop3Scripts::Cut::Whole},
            {"byte by byte", Pop3Scripts::Cut::Bytes},
            {"between CR and LF", Pop3Scripts::Cut::SplitCrLf},
            {"around terminating lines", Pop3Scripts::Cut::Terminators},
        };
        for (const auto &[name, how] : cuts) {
            QTest::addRow("pipelined, %s", name) << true << how;
            QTest::addRow("one at a time, %s", name) << false << how;
        }
    }
    void sweepAtEveryCut()
    {
        QFETCH(bool, pipelining);
        QFETCH(Pop3Scripts::Cut, how);
        WindowFixture f;
        const QList<TestMail> mails = kit::numberedMails(6);
        scriptLogin(f.server, mails, pipelining);
        scriptExchange(f.server, pipelining, topLines(2, 6), topReplies(mails, 2, 6), how);
        Pop3Scripts::logout(f.server);

        QVERIFY(f.login());
        QVERIFY(kit::showMails(f.w, 2, 6, 60000)); // a timer tick per byte
        QCOMPARE(kit::column(f.w.grdMails, 3), numbers(2, 6));
        QCOMPARE(kit::column(f.w.grdMails, 2),
                 (QStringList{" Subject 2", " Subject 3", " Subject 4", " Subject 5", " Subject 6"}));
        QCOMPARE(kit::session(f.w).iCurMail(), 6);
        QVERIFY(f.boxes.boxes.isEmpty());
        QVERIFY(kit::logout(f.w, f.boxes));
        QTRY_VERIFY(f.server.isFinished());
        QCOMPARE(f.server.mismatches(), QStringList());
        QVERIFY(wireAsOffered(f.server, pipelining));
    }

    // A window never holds more than the range: the end read at the start.
    void windowKeepsToTheRange()
    {
        WindowFixture f;
        f.w.setPipelineWindow(32);
        const QList<TestMail> mails = kit::numberedMails(40);
        scriptLogin(f.server, mails, true);
        // Thirty-two out at once; once half are answered the window is filled
        // again in one write, up to the range's end.
        scriptExchange(f.server, true, topLines(1, 32), topReplies(mails, 1, 16));
        scriptExchange(f.server, true, topLines(33, 39), topReplies(mails, 17, 39));
        Pop3Scripts::logout(f.server);

        QVERIFY(f.login());
        QVERIFY(kit::showMails(f.w, 1, 39));
        QCOMPARE(kit::column(f.w.grdMails, 3), numbers(1, 39));
        QVERIFY(kit::logout(f.w, f.boxes));
        QTRY_VERIFY(f.server.isFinished());
        QCOMPARE(f.server.mismatches(), QStringList());
    }

    // Stop takes effect at the next reply, which is shown; the replies to
    // the rest of the window are read and dropped, also after the next Show
    // has sent its commands.
    void stopMidWindow()
    {
        WindowFixture f;
        const QList<TestMail> mails = kit::numberedMails(8);
        scriptLogin(f.server, mails, true);
        for (const QByteArray &line : topLines(1, 8))
            f.server.expect(line);
        QList<TestMail> again = mails;
        again[0].subject = "Asked again 1";
        again[1].subject = "Asked again 2";
        f.server.sendManually({topReplies(mails, 1, 2).join(), topReply(mails[2]), topReplies(mails, 4, 8).join()});
        scriptExchange(f.server, true, topLines(1, 2), topReplies(again, 1, 2));
        Pop3Scripts::logout(f.server);

        QVERIFY(f.login());
        kit::setRange(f.w.cboFrom, f.w.cboTill, QStringLiteral("1"), QStringLiteral("8"));
        f.w.cmdShow->click();
        QTRY_COMPARE(kit::column(f.w.grdMails, 3), numbers(1, 2));
        QCOMPARE(f.w.cmdShow->text(), QStringLiteral("Stop"));
        f.w.cmdShow->click(); // Stop
        QCOMPARE(f.w.cmdShow->text(), QStringLiteral("Stop")); // until the next reply is in
        f.server.sendNext();
        QTRY_COMPARE(f.w.cmdShow->text(), QStringLiteral("Show"));
        QCOMPARE(kit::column(f.w.grdMails, 3), numbers(1, 3));
        QCOMPARE(f.w.lblProgress->text(), QStringLiteral("Interrupted by user!"));
        QVERIFY(f.w.prgProgress->isHidden());
        QCOMPARE(kit::enabledControls(f.w), kit::AllEnabled);

        // Show again while the window's replies are still to come.
        kit::setRange(f.w.cboFrom, f.w.cboTill, QStringLiteral("1"), QStringLiteral("2"));
        f.w.cmdShow->click();
        // Its commands are on the wire when the click returns.
        QVERIFY(f.server.isWaitingForSendNext());
        f.server.sendNext();
        QTRY_COMPARE(f.w.cmdShow->text(), QStringLiteral("Show"));
        QCOMPARE(kit::column(f.w.grdMails, 3), numbers(1, 2));
        QCOMPARE(kit::column(f.w.grdMails, 2), (QStringList{" Asked again 1", " Asked again 2"}));
        QVERIFY(f.boxes.boxes.isEmpty());
        QVERIFY(kit::logout(f.w, f.boxes));
        QTRY_VERIFY(f.server.isFinished());
        QCOMPARE(f.server.mismatches(), QStringList());
    }

    // The end of the range is read after every reply: lowered below mails
    // already asked for, those are never shown.
    void loweredRangeEnd()
    {
        WindowFixture f;
        const QList<TestMail> mails = kit::numberedMails(8);
        scriptLogin(f.server, mails, true);
        for (const QByteArray &line : topLines(1, 8))
            f.server.expect(line);
        f.server.sendManually({topReply(mails[0]), topReplies(mails, 2, 8).join()});
        Pop3Scripts::logout(f.server);

        QVERIFY(f.login());
        kit::setRange(f.w.cboFrom, f.w.cboTill, QStringLiteral("1"), QStringLiteral("8"));
        f.w.cmdShow->click();
        QTRY_COMPARE(kit::column(f.w.grdMails, 3), numbers(1, 1));
        f.w.cboTill->setEditText(QStringLiteral("3"));
        f.server.sendNext();
        QTRY_COMPARE(f.w.cmdShow->text(), QStringLiteral("Show"));
        QCOMPARE(kit::column(f.w.grdMails, 3), numbers(1, 3));
        QCOMPARE(kit::session(f.w).iCurMail(), 3);
        QVERIFY(f.w.prgProgress->isHidden());
        QVERIFY(f.boxes.boxes.isEmpty());
        QVERIFY(kit::logout(f.w, f.boxes));
        QTRY_VERIFY(f.server.isFinished());
        QCOMPARE(f.server.mismatches(), QStringList());
    }

    // Whatever ends a sweep at mail 3 ends it there from both kinds of
    // server: the same rows, the same box, the same state after it, and no
    // command after that reply.
    void sweepEndsAtAReply_data()
    {
        QTest::addColumn<bool>("pipelining");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QString>("box");
        QTest::addColumn<bool>("loggedIn");
        const char *const ends[][3] = {
            {"refused TOP", "Server error\r\n-ERR No such message\r\n", "in"},
            {"hang-up", "", "out"},
            {"time-out", "The mail server did not answer for 0 seconds.\r\nThe connection has been closed.", "out"},
            {"not in the size list",
             "There was an error getting mail config info from the server\r\nPlease login again", "in"},
        };
        for (const auto &end : ends) {
            for (const bool pipelining : {true, false})
                QTest::addRow("%s, %s", end[0], pipelining ? "pipelined" : "one at a time")
                    << pipelining << QString::fromLatin1(end[0]) << QString::fromLatin1(end[1])
                    << (QByteArray(end[2]) == "in");
        }
    }
    void sweepEndsAtAReply()
    {
        QFETCH(bool, pipelining);
        QFETCH(QString, end);
        QFETCH(QString, box);
        QFETCH(bool, loggedIn);
        WindowFixture f;
        const QList<TestMail> mails = kit::numberedMails(6);
        const bool unlisted = end == QLatin1String("not in the size list");
        scriptLogin(f.server, mails, pipelining, unlisted ? 3 : 0);
        QList<QByteArray> replies = topReplies(mails, 1, 6);
        // A mail the size list lacks is asked for alone: its reply may be big.
        const int sentAtOnce = unlisted ? 2 : 6;
        if (end == QLatin1String("refused TOP")) {
            replies[2] = "-ERR No such message\r\n";
        } else if (end != QLatin1String("not in the size list")) {
            replies = replies.mid(0, 2);
        }
        if (!pipelining) {
            scriptExchange(f.server, false, topLines(1, 3), replies.mid(0, 3));
        } else if (unlisted) {
            scriptExchange(f.server, true, topLines(1, 2), replies.mid(0, 2));
            scriptExchange(f.server, true, topLines(3, 3), replies.mid(2, 1));
        } else {
            scriptExchange(f.server, true, topLines(1, sentAtOnce), replies);
        }
        if (end == QLatin1String("hang-up"))
            f.server.closeConnection();
        if (loggedIn)
            Pop3Scripts::logout(f.server);

        QVERIFY(f.login());
        if (end == QLatin1String("time-out"))
            f.w.setReplyTimeout(300);
        kit::setRange(f.w.cboFrom, f.w.cboTill, QStringLiteral("1"), QStringLiteral("6"));
        f.w.cmdShow->click();
        QTRY_COMPARE(f.w.cmdShow->text(), QStringLiteral("Show"));
        QTRY_VERIFY(loggedIn ? kit::loggedInAndIdle(f.w) : kit::loggedOutAndIdle(f.w));
        QCOMPARE(f.boxes.texts(), box.isEmpty() ? QStringList() : QStringList{box});
        if (loggedIn) {
            QCOMPARE(kit::column(f.w.grdMails, 3), numbers(1, 2));
            QVERIFY(kit::logout(f.w, f.boxes));
        }
        QTRY_VERIFY(f.server.isFinished());
        QCOMPARE(f.server.mismatches(), QStringList());
        QVERIFY(wireAsOffered(f.server, pipelining));
    }

    // A range deletion: every DELE on the wire at once where the server
    // takes that, each reply moving the progress on, then the log-off and
    // the fresh login, as one at a time.
    void rangeDeletion_data()
    {
        addServerKindRows();
    }
    void rangeDeletion()
    {
        QFETCH(bool, pipelining);
        WindowFixture f;
        const QList<TestMail> mails = kit::numberedMails(6);
        scriptLogin(f.server, mails, pipelining);
        QList<QByteArray> lines;
        for (int n = 5; n >= 2; --n)
            lines << deleLine(n);
        scriptExchange(f.server, pipelining, lines, QList<QByteArray>(4, "+OK Deleted.\r\n"));
        Pop3Scripts::quit(f.server);
        f.server.acceptConnection();
        QList<TestMail> left{mails[0], mails[5]};
        scriptLogin(f.server, left, pipelining);
        Pop3Scripts::logout(f.server, true); // "Update Changes" stays checked

        QVERIFY(f.login());
        kit::setRange(f.w.cboDelFrom, f.w.cboDelTill, QStringLiteral("2"), QStringLiteral("5"));
        f.w.cmdDelete->click();
        QTRY_COMPARE(f.server.connectionCount(), 2);
        QTRY_VERIFY(kit::loggedInAndIdle(f.w));
        QTRY_COMPARE(f.w.lblMails->text(), QStringLiteral("2"));
        QVERIFY(f.boxes.boxes.isEmpty());
        QVERIFY(kit::logout(f.w, f.boxes));
        QTRY_VERIFY(f.server.isFinished());
        QCOMPARE(f.server.mismatches(), QStringList());
        QVERIFY(wireAsOffered(f.server, pipelining));
    }

    // A refusal ends the run: one box, no log-off, no DELE after it. The
    // DELEs already on the wire are answered: a mail the server deleted
    // after all is marked for the next logout with "Update Changes", one it
    // kept is not.
    void refusedDele_data()
    {
        QTest::addColumn<QList<QByteArray>>("replies");
        QTest::addColumn<bool>("changesMarked");
        const QByteArray ok = "+OK Deleted.\r\n";
        const QByteArray refused = "-ERR Message is locked.\r\n";
        QTest::newRow("refused first, the rest deleted") << QList<QByteArray>{refused, ok, ok, ok} << true;
        QTest::newRow("refused first, the rest kept") << QList<QByteArray>{refused, refused, refused, refused}
                                                      << false;
        QTest::newRow("deleted, refused, deleted, kept") << QList<QByteArray>{ok, refused, ok, refused} << true;
    }
    void refusedDele()
    {
        QFETCH(QList<QByteArray>, replies);
        QFETCH(bool, changesMarked);
        WindowFixture f;
        const QList<TestMail> mails = kit::numberedMails(6);
        scriptLogin(f.server, mails, true);
        QList<QByteArray> lines;
        for (int n = 5; n >= 2; --n)
            lines << deleLine(n);
        scriptExchange(f.server, true, lines, replies);
        Pop3Scripts::logout(f.server, changesMarked);

        QVERIFY(f.login());
        kit::setRange(f.w.cboDelFrom, f.w.cboDelTill, QStringLiteral("2"), QStringLiteral("5"));
        f.w.cmdDelete->click();
        QTRY_COMPARE(f.w.cmdDelete->text(), QStringLiteral("Delete"));
        QTRY_VERIFY(kit::loggedInAndIdle(f.w));
        QTRY_COMPARE(f.w.ckUpdtChanges->isChecked(), changesMarked);
        QCOMPARE(f.boxes.texts(), QStringList{"Server error\r\n-ERR Message is locked.\r\n"});
        QVERIFY(kit::logout(f.w, f.boxes));
        QTRY_VERIFY(f.server.isFinished());
        QCOMPARE(f.server.mismatches(), QStringList());
    }

    // Stopped in the middle: the replies on the wire are read, the session
    // stays open, nothing is logged off.
    void stoppedDeletion()
    {
        WindowFixture f;
        const QList<TestMail> mails = kit::numberedMails(6);
        scriptLogin(f.server, mails, true);
        for (int n = 6; n >= 1; --n)
            f.server.expect(deleLine(n));
        f.server.sendManually({"+OK Deleted.\r\n", QByteArray("+OK Deleted.\r\n").repeated(5)});
        Pop3Scripts::logout(f.server, true);

        QVERIFY(f.login());
        kit::setRange(f.w.cboDelFrom, f.w.cboDelTill, QStringLiteral("1"), QStringLiteral("6"));
        f.w.cmdDelete->click();
        QTRY_VERIFY(f.server.isWaitingForSendNext());
        QTRY_VERIFY(f.w.ckUpdtChanges->isChecked());
        f.w.cmdDelete->click(); // Stop
        f.server.sendNext();
        QTRY_COMPARE(f.w.cmdDelete->text(), QStringLiteral("Delete"));
        QTRY_VERIFY(kit::loggedInAndIdle(f.w));
        QCOMPARE(kit::enabledControls(f.w), kit::AllEnabled);
        QVERIFY(f.boxes.boxes.isEmpty());
        QCOMPARE(f.server.connectionCount(), 1);
        QVERIFY(kit::logout(f.w, f.boxes));
        QTRY_VERIFY(f.server.isFinished());
        QCOMPARE(f.server.mismatches(), QStringList());
    }

    // The login sends LIST with UIDL; a click on "More >>" while the ids
    // are still coming leaves the size list to the login, as it does one
    // command at a time.
    void moreWhileTheIdsCome()
    {
        WindowFixture f;
        const QList<TestMail> mails = kit::numberedMails(3);
        Pop3Scripts::greetingWithCapa(f.server, {"USER", "PIPELINING"});
        f.server.reply("USER bob\r\n", "+OK\r\n").reply("PASS secret\r\n", "+OK Logged in.\r\n");
        Pop3Scripts::stat(f.server, 3, 300);
        // Both before any reply: the ids come only once LIST is in.
        f.server.expect("UIDL \r\n").expect("LIST \r\n");
        const QByteArray ids = Pop3Scripts::uidlReply({"uid-1", "uid-2", "uid-3"});
        f.server.sendManually({ids.left(12), ids.mid(12)});
        f.server.send(Pop3Scripts::listReply({100, 100, 100}));
        Pop3Scripts::logout(f.server);

        kit::fillLogin(f.w, f.server.port());
        f.w.cmdLogin->click();
        QTRY_VERIFY(f.server.isWaitingForSendNext());
        QTRY_VERIFY(f.w.cmdStats->isEnabled());
        f.w.cmdStats->click();
        f.server.sendNext();
        QTRY_VERIFY(kit::loggedInAndIdle(f.w));
        QCOMPARE(f.w.grdStats->Rows(), 4);
        QCOMPARE(f.w.grdStats->TextMatrix(3, 1), QStringLiteral("100"));
        QCOMPARE(f.w.lblNewMails->text(), QStringLiteral("3 new mail(s)"));
        QCOMPARE(f.w.cmdStats->text(), QStringLiteral("<< Hide"));
        QVERIFY(f.boxes.boxes.isEmpty());
        QVERIFY(kit::logout(f.w, f.boxes));
        QTRY_VERIFY(f.server.isFinished());
        QCOMPARE(f.server.mismatches(), QStringList());
    }

    // A server that lists PIPELINING gets UIDL with STAT. When it refuses
    // STAT the login ends as it does one command at a time; the ids it
    // lists all the same are read and dropped, not taken for the mailbox.
    // The next login in the same window counts the mails and their ids
    // afresh (the size list waits for a click after a refusal).
    void refusedStat_data()
    {
        addServerKindRows();
    }
    void refusedStat()
    {
        QFETCH(bool, pipelining);
        WindowFixture f;
        const QList<QByteArray> capabilities = pipelining ? QList<QByteArray>{"USER", "PIPELINING"}
                                                          : QList<QByteArray>{"USER"};
        Pop3Scripts::greetingWithCapa(f.server, capabilities);
        f.server.reply("USER bob\r\n", "+OK\r\n").reply("PASS secret\r\n", "+OK Logged in.\r\n");
        const QByteArray refused = "-ERR [IN-USE] Mailbox is locked.\r\n";
        if (pipelining) // STAT's reply is held back until UIDL is in
            scriptExchange(f.server, true, {"STAT \r\n", "UIDL \r\n"},
                           {refused, Pop3Scripts::uidlReply({"uid-1", "uid-2"})});
        else
            f.server.reply("STAT \r\n", refused);
        f.server.expectClientClose().acceptConnection();
        Pop3Scripts::greetingWithCapa(f.server, capabilities);
        f.server.reply("USER bob\r\n", "+OK\r\n").reply("PASS secret\r\n", "+OK Logged in.\r\n");
        Pop3Scripts::stat(f.server, 3, 300);
        Pop3Scripts::uidl(f.server, {"uid-1", "uid-2", "uid-3"});
        Pop3Scripts::logout(f.server);

        kit::fillLogin(f.w, f.server.port());
        f.w.cmdLogin->click();
        QTRY_COMPARE(f.boxes.texts(), QStringList{"Server error\r\n" + QString::fromLatin1(refused)});
        QTRY_VERIFY(kit::loggedOutAndIdle(f.w));
        QTRY_COMPARE(kit::session(f.w).outstandingReplies(), 0);
        QVERIFY(f.w.lblMails->text().isEmpty());
        QVERIFY(f.w.grdStats->isHidden());
        QVERIFY(!f.w.cmdShow->isVisible());

        f.w.cmdLogin->click();
        QTRY_COMPARE(f.w.lblNewMails->text(), QStringLiteral("3 new mail(s)"));
        QTRY_VERIFY(f.w.prgProgress->isHidden());
        QCOMPARE(f.w.lblMails->text(), QStringLiteral("3"));
        QCOMPARE(f.w.cmdLogin->text(), QStringLiteral("Logout"));
        QVERIFY(f.w.cmdLogin->isEnabled());
        QCOMPARE(f.w.cboTill->count(), 3);
        QCOMPARE(f.w.cboTill->currentText(), QStringLiteral("3"));
        QVERIFY(f.w.grdStats->isHidden());
        QCOMPARE(f.w.cmdStats->text(), QStringLiteral("More >>"));
        QCOMPARE(f.boxes.texts().size(), 1);
        QVERIFY(kit::logout(f.w, f.boxes));
        QTRY_VERIFY(f.server.isFinished());
        QCOMPARE(f.server.mismatches(), QStringList());
        QCOMPARE(f.server.connectionCount(), 2);
        QVERIFY(wireAsOffered(f.server, pipelining));
    }

    // Real Dovecot lists PIPELINING: a sweep in windows of several sizes
    // lists what one TOP at a time lists, and a range deletion leaves the
    // server holding exactly the mails outside the range.
    void dovecotSweepAndDeletion()
    {
        std::unique_ptr<RealPop3Server> dovecot = RealPop3Server::makeForTest(QStringLiteral("dovecot"));
        if (!dovecot)
            return;
        const QString user = dovecot->loginName(QStringLiteral("alice"));
        QFile::remove(user + QStringLiteral("_127.0.0.1.uidl"));
        bool filled = dovecot->addUser(user, QStringLiteral("secret"));
        for (int n = 1; n <= DovecotMails && filled; ++n)
            filled = dovecot->deliver(user, dovecotMail(n));
        QVERIFY2(filled && dovecot->start(), qPrintable(dovecot->errorString() + dovecot->log()));
        QVERIFY(RawPop3Lines(dovecot->port(), user.toLatin1(), "secret", "CAPA").contains("PIPELINING"));

        RecordedWindow f;
        QVERIFY(kit::login(f.w, dovecot->port(), 10000, user));
        QList<QStringList> grids;
        for (const int window : {1, 4, 32}) {
            f.w.setPipelineWindow(window);
            QVERIFY(kit::showMails(f.w, 1, DovecotMails));
            QStringList grid;
            for (int c = 0; c <= 4; ++c)
                grid << kit::column(f.w.grdMails, c).join(u'|');
            grids << grid;
        }
        QCOMPARE(kit::column(f.w.grdMails, 3), numbers(1, DovecotMails));
        QCOMPARE(grids[1], grids[0]);
        QCOMPARE(grids[2], grids[0]);
        QVERIFY(f.w.grdMails->TextMatrix(2 + 6, 2).contains(QStringLiteral("Mail 7")));

        f.w.setPipelineWindow(8);
        kit::setRange(f.w.cboDelFrom, f.w.cboDelTill, QStringLiteral("11"), QStringLiteral("40"));
        f.w.cmdDelete->click();
        QTRY_COMPARE_WITH_TIMEOUT(f.w.lblMails->text(), QString::number(DovecotMails - 30), 10000);
        QTRY_VERIFY(kit::loggedInAndIdle(f.w));
        QCOMPARE(dovecot->storedMails(user).size(), DovecotMails - 30);
        QVERIFY(kit::showMails(f.w, 1, DovecotMails - 30));
        QCOMPARE(kit::column(f.w.grdMails, 2).value(10), QStringLiteral(" Mail 41"));
        QVERIFY2(f.boxes.boxes.isEmpty(), qPrintable(f.boxes.texts().join(u'|')));
        QVERIFY(kit::logout(f.w, f.boxes));
    }
};

QTEST_MAIN(TestPipelining)
#include "test_pipelining.moc"
