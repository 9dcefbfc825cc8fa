// The TOP commands of a header sweep on the wire, without a window: how many
// go out for a window and the mails' sizes, how replies make room, and what
// is still to come when the sweep ends.
//
// A row's steps:
//   "start M W"   the sweep starts at mail M with a window of W commands
//   "fill S..."   the window sends while there is room, the mails' sizes
//                 taken in turn from S... (-1: not in the size list); writes
//                 the mails it asked for ("none" when it had no room)
//   "refill S..." as "fill", only when a refill is due (as the window sends)
//   "reply"       the oldest command's reply comes
//   "end"         the sweep ends; writes how many replies are still to come

#include "mailbox/HeaderSweep.h"

#include <QtTest>

namespace {

QStringList play(HeaderSweep &sweep, const QStringList &steps)
{
    QStringList out;
    for (const QString &step : steps) {
        const QStringList word = step.split(u' ');
        if (word[0] == QLatin1String("start")) {
            sweep.start(word[1].toLongLong(), word[2].toInt());
        } else if (word[0] == QLatin1String("fill") || word[0] == QLatin1String("refill")) {
            QStringList asked;
            // "refill" asks as the window does: only once a refill is due.
            const bool due = word[0] == QLatin1String("fill") || sweep.refillDue();
            for (int i = 1; due && i < word.size(); ++i) {
                const qint64 bytes = HeaderSweep::expectedReplyBytes(word[i].toLongLong());
                if (!sweep.hasRoomFor(bytes))
                    break;
                asked << QString::number(sweep.nextMail());
                sweep.asked(bytes);
            }
            out << (asked.isEmpty() ? QStringLiteral("none") : asked.join(u' '));
        } else if (word[0] == QLatin1String("reply")) {
            sweep.replyArrived();
        } else if (word[0] == QLatin1String("end")) {
            out << QStringLiteral("%1 to come").arg(sweep.end());
        } else {
            qFatal("unknown step %s", qPrintable(step));
        }
    }
    return out;
}

} // namespace

class TestHeaderSweep : public QObject
{
    Q_OBJECT
private slots:
    void window_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("out");
        QTest::addColumn<int>("inFlight");

        QTest::newRow("one at a time") << QStringList{"start 3 1", "fill 100 100", "reply", "fill 100"}
                                       << QStringList{"3", "4"} << 1;
        QTest::newRow("a window of four") << QStringList{"start 1 4", "fill 100 100 100 100 100 100"}
                                          << QStringList{"1 2 3 4"} << 4;
        QTest::newRow("each reply makes room for one")
            << QStringList{"start 1 4", "fill 1 1 1 1", "reply", "fill 1 1", "reply", "reply", "fill 1 1 1"}
            << QStringList{"1 2 3 4", "5", "6 7"} << 4;
        QTest::newRow("refilled once half the window is answered")
            << QStringList{"start 1 4", "refill 1 1 1 1", "reply", "refill 1 1", "reply", "refill 1 1 1"}
            << QStringList{"1 2 3 4", "none", "5 6"} << 4;
        QTest::newRow("one at a time is refilled at every reply")
            << QStringList{"start 1 1", "refill 1 1", "reply", "refill 1 1"} << QStringList{"1", "2"} << 1;
        QTest::newRow("held back by the cap, refilled at every reply")
            << QStringList{"start 1 32", "refill 50000 50000 50000", "reply", "refill 50000 50000"}
            << QStringList{"1 2", "3"} << 2;
        QTest::newRow("no refill once ended") << QStringList{"start 1 4", "refill 1", "end", "refill 1"}
                                              << QStringList{"1", "1 to come", "none"} << 0;
        QTest::newRow("big mails: the octets expected stay under the cap")
            << QStringList{"start 1 32", "fill 50000 50000 50000 50000"} << QStringList{"1 2"} << 2;
        QTest::newRow("a mail bigger than the cap goes alone")
            << QStringList{"start 1 32", "fill 1000000 10", "reply", "fill 10"} << QStringList{"1", "2"} << 1;
        QTest::newRow("a mail the size list lacks goes alone")
            << QStringList{"start 1 32", "fill 10 -1", "reply", "fill -1 10"} << QStringList{"1", "2"} << 1;
        QTest::newRow("nothing goes out once ended")
            << QStringList{"start 1 8", "fill 1 1 1", "end", "fill 1"} << QStringList{"1 2 3", "3 to come", "none"}
            << 0;
        QTest::newRow("ended after some replies")
            << QStringList{"start 5 8", "fill 1 1 1 1", "reply", "end"} << QStringList{"5 6 7 8", "3 to come"} << 0;
        QTest::newRow("a new sweep starts empty")
            << QStringList{"start 1 8", "fill 1 1", "end", "start 9 2", "fill 1 1 1"}
            << QStringList{"1 2", "2 to come", "9 10"} << 2;
    }
    void window()
    {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, out);
        QFETCH(int, inFlight);
        HeaderSweep sweep;
        QCOMPARE(play(sweep, steps), out);
        QCOMPARE(sweep.inFlight(), inFlight);
    }

    void expectedBytes_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<qint64>("bytes");
        QTest::newRow("a small mail, dot-stuffed at worst, with its status")
            << qint64(1000) << qint64(2 * 1000 + 512);
        QTest::newRow("an empty mail") << qint64(0) << qint64(512);
        QTest::newRow("not in the size list") << qint64(-1) << HeaderSweep::ByteCap;
        QTest::newRow("bigger than the cap") << qint64(10'000'000) << HeaderSweep::ByteCap;
    }
    void expectedBytes()
    {
        QFETCH(qint64, size);
        QFETCH(qint64, bytes);
        QCOMPARE(HeaderSweep::expectedReplyBytes(size), bytes);
    }
};

QTEST_GUILESS_MAIN(TestHeaderSweep)
#include "test_header_sweep.moc"
