// A POP3 deletion run without a window: each start, each reply to a DELE
// (accepted, refused, with a stop asked) and the end of the session, from
// each state, and where the run goes on after each of them.
//
// A row's steps are what the window does, in order:
//   "range F T"     a range from mail F to mail T is started, one DELE out
//   "range F T W"   ... with up to W DELEs out at once (a pipelining server)
//   "one M"         one row, mail M, is started
//   "selection R"   a selection whose first row is R is started
//   "row R"         the DELE of the selection's row R goes out
//   "ok", "refused" the reply to the outstanding DELE comes
//   "ok stop", "refused stop"   ... while the user has asked to stop
//   "abandon"       the session ends
// Each reply and each "abandon" writes what the run answered; a range that
// goes on names the DELEs the window sends then ("wait" when it has no room),
// a range that ends early the mails whose DELEs are still on the wire, a row
// that ends and a selection that goes on their number.

#include "mailbox/DeletionRun.h"

#include <QtTest>

namespace {

// What the window sends: once half the window is answered, while the range
// has room.
QString sendDeles(DeletionRun &run)
{
    QStringList mails;
    const bool refill = run.refillDue();
    while (refill && run.hasRoomForDele())
        mails << QString::number(run.takeNextMail());
    return mails.isEmpty() ? QStringLiteral("wait") : QStringLiteral("DELE ") + mails.join(QStringLiteral(", "));
}

QString onTheWire(DeletionRun &run)
{
    QStringList mails;
    for (int mail : run.takeUnanswered())
        mails << QString::number(mail);
    return mails.isEmpty() ? QString() : QStringLiteral("; on the wire ") + mails.join(QStringLiteral(", "));
}

QString answer(DeletionRun::Next next, DeletionRun &run)
{
    using Next = DeletionRun::Next;
    switch (next) {
    case Next::Nothing:
        return QStringLiteral("nothing");
    case Next::DeleNextMail:
        return sendDeles(run);
    case Next::LogOff:
        return QStringLiteral("log off");
    case Next::RangeStopped:
        return QStringLiteral("range stopped") + onTheWire(run);
    case Next::RangeRefused:
        return QStringLiteral("range refused") + onTheWire(run);
    case Next::OneRowDone:
        return QStringLiteral("row of mail %1 done").arg(run.mail());
    case Next::NextRow:
        return QStringLiteral("on from row %1").arg(run.nextRow());
    case Next::RowsDone:
        return QStringLiteral("rows done");
    case Next::RowsRefused:
        return QStringLiteral("rows refused");
    }
    return QStringLiteral("?");
}

// Runs the steps; returns the answers of the replies and of "abandon".
QStringList play(DeletionRun &run, const QStringList &steps)
{
    QStringList answers;
    for (const QString &step : steps) {
        const QStringList word = step.split(u' ');
        if (word[0] == QLatin1String("range")) {
            run.startRange(word[1].toInt(), word[2].toInt(), word.value(3, QStringLiteral("1")).toInt());
            sendDeles(run);
        } else if (word[0] == QLatin1String("one")) {
            run.startOneRow(word[1].toInt());
        } else if (word[0] == QLatin1String("selection")) {
            run.startSelection(word[1].toInt());
        } else if (word[0] == QLatin1String("row")) {
            run.deleForRow(word[1].toInt());
        } else if (word[0] == QLatin1String("ok") || word[0] == QLatin1String("refused")) {
            const bool stop = word.size() > 1 && word[1] == QLatin1String("stop");
            answers << answer(run.replyArrived(word[0] == QLatin1String("ok"), stop), run);
        } else if (word[0] == QLatin1String("abandon")) {
            answers << (run.abandon() ? QStringLiteral("abandoned") : QStringLiteral("idle"));
        } else {
            qFatal("unknown step %s", qPrintable(step));
        }
    }
    return answers;
}

} // namespace

class TestDeletionRun : public QObject
{
    Q_OBJECT
private slots:
    void transitions_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<bool>("running");

        // Nothing outstanding.
        QTest::newRow("a reply with no run") << QStringList{"ok"} << QStringList{"nothing"} << false;
        QTest::newRow("a refusal with no run") << QStringList{"refused"} << QStringList{"nothing"} << false;
        QTest::newRow("the session ends with no run") << QStringList{"abandon"} << QStringList{"idle"} << false;

        // A range, from its highest mail down, then the log-off.
        QTest::newRow("range: each mail, then log off")
            << QStringList{"range 3 5", "ok", "ok", "ok"} << QStringList{"DELE 4", "DELE 3", "log off"} << false;
        QTest::newRow("range of one mail") << QStringList{"range 4 4", "ok"} << QStringList{"log off"} << false;
        QTest::newRow("range: refused in the middle")
            << QStringList{"range 3 5", "ok", "refused"} << QStringList{"DELE 4", "range refused"} << false;
        QTest::newRow("range: refused at its first mail")
            << QStringList{"range 3 5", "refused"} << QStringList{"range refused"} << false;
        QTest::newRow("range: a reply after the refusal is no one's")
            << QStringList{"range 3 5", "refused", "ok"} << QStringList{"range refused", "nothing"} << false;
        QTest::newRow("range: stopped between two mails")
            << QStringList{"range 3 5", "ok", "ok stop"} << QStringList{"DELE 4", "range stopped"} << false;
        QTest::newRow("range: a stop at the last mail skips the log-off")
            << QStringList{"range 4 4", "ok stop"} << QStringList{"range stopped"} << false;
        QTest::newRow("range: a refusal outranks a stop")
            << QStringList{"range 3 5", "refused stop"} << QStringList{"range refused"} << false;
        QTest::newRow("range: still running while a DELE is out")
            << QStringList{"range 3 5", "ok"} << QStringList{"DELE 4"} << true;
        QTest::newRow("range: the session ends in the middle")
            << QStringList{"range 3 5", "ok", "abandon", "ok"} << QStringList{"DELE 4", "abandoned", "nothing"}
            << false;
        QTest::newRow("range: the session ends after the log-off was asked")
            << QStringList{"range 4 4", "ok", "abandon"} << QStringList{"log off", "idle"} << false;
        QTest::newRow("range: a new range after a refused one")
            << QStringList{"range 3 5", "refused", "range 1 2", "ok", "ok"}
            << QStringList{"range refused", "DELE 1", "log off"} << false;

        // A range with a window of DELEs out: once half of it is answered it
        // is filled again in one go; the log-off waits for the last reply.
        QTest::newRow("window: filled again once half is answered, then log off")
            << QStringList{"range 1 5 3", "ok", "ok", "ok", "ok", "ok"}
            << QStringList{"wait", "DELE 2, 1", "wait", "wait", "log off"} << false;
        QTest::newRow("window: one at a time goes on at every reply")
            << QStringList{"range 1 3", "ok", "ok", "ok"} << QStringList{"DELE 2", "DELE 1", "log off"} << false;
        QTest::newRow("window: wider than the range")
            << QStringList{"range 2 3 8", "ok", "ok"} << QStringList{"wait", "log off"} << false;
        QTest::newRow("window: running while replies are out")
            << QStringList{"range 1 5 3", "ok", "ok", "ok"} << QStringList{"wait", "DELE 2, 1", "wait"} << true;
        QTest::newRow("window: refused first, the rest of the window still on the wire")
            << QStringList{"range 1 5 3", "refused"} << QStringList{"range refused; on the wire 4, 3"} << false;
        QTest::newRow("window: refused in the middle, no DELE after it")
            << QStringList{"range 1 5 3", "ok", "refused", "ok", "ok"}
            << QStringList{"wait", "range refused; on the wire 3", "nothing", "nothing"} << false;
        QTest::newRow("window: stopped, the rest still on the wire")
            << QStringList{"range 1 5 3", "ok stop"} << QStringList{"range stopped; on the wire 4, 3"} << false;
        QTest::newRow("window: stopped at the last reply, nothing on the wire")
            << QStringList{"range 4 5 3", "ok", "ok stop"} << QStringList{"wait", "range stopped"} << false;
        QTest::newRow("window: the session ends with DELEs out")
            << QStringList{"range 1 5 3", "abandon", "ok"} << QStringList{"abandoned", "nothing"} << false;
        QTest::newRow("window: a new range after a refused one")
            << QStringList{"range 1 5 2", "refused", "range 1 2 2", "ok", "ok"}
            << QStringList{"range refused; on the wire 4", "wait", "log off"} << false;

        // One row: its reply ends it, whatever it says.
        QTest::newRow("one row accepted") << QStringList{"one 7", "ok"} << QStringList{"row of mail 7 done"} << false;
        QTest::newRow("one row refused") << QStringList{"one 7", "refused"} << QStringList{"row of mail 7 done"}
                                         << false;
        QTest::newRow("one row with a stop asked")
            << QStringList{"one 7", "ok stop"} << QStringList{"row of mail 7 done"} << false;
        QTest::newRow("one row: running while its DELE is out") << QStringList{"one 7"} << QStringList{} << true;
        QTest::newRow("one row: the session ends")
            << QStringList{"one 7", "abandon", "ok"} << QStringList{"abandoned", "nothing"} << false;

        // A selection: from its last row up to its first.
        QTest::newRow("selection: row by row up to the first")
            << QStringList{"selection 2", "row 4", "ok", "row 3", "ok", "row 2", "ok"}
            << QStringList{"on from row 3", "on from row 2", "rows done"} << false;
        QTest::newRow("selection: the last row left is its first")
            << QStringList{"selection 2", "row 2", "ok"} << QStringList{"rows done"} << false;
        QTest::newRow("selection: a row that is no mail is skipped")
            << QStringList{"selection 1", "row 3", "ok", "row 1", "ok"}
            << QStringList{"on from row 2", "rows done"} << false;
        QTest::newRow("selection: refused in the middle")
            << QStringList{"selection 1", "row 3", "ok", "row 2", "refused", "ok"}
            << QStringList{"on from row 2", "rows refused", "nothing"} << false;
        QTest::newRow("selection: refused at its first row")
            << QStringList{"selection 2", "row 2", "refused"} << QStringList{"rows refused"} << false;
        QTest::newRow("selection: a stop is the rows' to check")
            << QStringList{"selection 1", "row 3", "ok stop"} << QStringList{"on from row 2"} << false;
        QTest::newRow("selection: no DELE out before its first row")
            << QStringList{"selection 2", "ok"} << QStringList{"nothing"} << false;
        QTest::newRow("selection: running while a row's DELE is out")
            << QStringList{"selection 2", "row 3"} << QStringList{} << true;
        QTest::newRow("selection: the session ends")
            << QStringList{"selection 1", "row 3", "abandon", "ok"} << QStringList{"abandoned", "nothing"} << false;
    }
    void transitions()
    {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, answers);
        QFETCH(bool, running);
        DeletionRun run;
        QCOMPARE(play(run, steps), answers);
        QCOMPARE(run.isRunning(), running);
    }

    void kindOfTheOutstandingDele_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<DeletionRun::Kind>("kind");
        QTest::newRow("none at first") << QStringList{} << DeletionRun::Kind::None;
        QTest::newRow("range") << QStringList{"range 1 3"} << DeletionRun::Kind::Range;
        QTest::newRow("range going on") << QStringList{"range 1 3", "ok"} << DeletionRun::Kind::Range;
        QTest::newRow("one row") << QStringList{"one 2"} << DeletionRun::Kind::OneRow;
        QTest::newRow("selection before its rows") << QStringList{"selection 1"} << DeletionRun::Kind::None;
        QTest::newRow("selection's row") << QStringList{"selection 1", "row 2"} << DeletionRun::Kind::Rows;
        QTest::newRow("selection between rows") << QStringList{"selection 1", "row 2", "ok"}
                                                << DeletionRun::Kind::None;
    }
    void kindOfTheOutstandingDele()
    {
        QFETCH(QStringList, steps);
        QFETCH(DeletionRun::Kind, kind);
        DeletionRun run;
        play(run, steps);
        QCOMPARE(run.kind(), kind);
    }
};

QTEST_GUILESS_MAIN(TestDeletionRun)
#include "test_deletion_run.moc"
