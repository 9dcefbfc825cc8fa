// Which events of the tray icon make a double click: a host's own double
// click, or two single clicks within the double-click interval.

#include "desktop/TrayClicks.h"

#include <QtTest>

using Click = TrayClicks::Click;

namespace {

// One event: what it is, milliseconds after the one before, and whether it
// completes a double click.
struct Event
{
    Click click;
    int after;
    bool doubleClick;
};

} // namespace

Q_DECLARE_METATYPE(QList<Event>)

class TestTrayClicks : public QObject
{
    Q_OBJECT

private slots:
    void events_data();
    void events();
};

void TestTrayClicks::events_data()
{
    QTest::addColumn<QList<Event>>("events");
    const Click S = Click::Single, D = Click::Double, O = Click::Other;

    QTest::newRow("one click") << QList<Event>{{S, 0, false}};
    QTest::newRow("two clicks within the interval") << QList<Event>{{S, 0, false}, {S, 399, true}};
    QTest::newRow("two clicks at the interval") << QList<Event>{{S, 0, false}, {S, 400, true}};
    QTest::newRow("two clicks past the interval") << QList<Event>{{S, 0, false}, {S, 401, false}};
    QTest::newRow("a late click begins a new pair")
        << QList<Event>{{S, 0, false}, {S, 500, false}, {S, 100, true}};
    QTest::newRow("a third click begins a new pair")
        << QList<Event>{{S, 0, false}, {S, 100, true}, {S, 100, false}, {S, 100, true}};
    QTest::newRow("the host's double click") << QList<Event>{{D, 0, true}};
    // X11 trays send a single click for each press and the double click.
    QTest::newRow("the host's clicks around its double click")
        << QList<Event>{{S, 0, false}, {S, 100, true}, {D, 0, true}, {S, 100, false}};
    QTest::newRow("a right or middle click between") << QList<Event>{{S, 0, false}, {O, 50, false}, {S, 50, false}};
    QTest::newRow("a right or middle click before") << QList<Event>{{O, 0, false}, {S, 50, false}};
    QTest::newRow("right or middle clicks alone") << QList<Event>{{O, 0, false}, {O, 50, false}};
}

void TestTrayClicks::events()
{
    QFETCH(QList<Event>, events);
    TrayClicks clicks;
    qint64 now = 1000000;
    for (int i = 0; i < events.size(); ++i) {
        now += events[i].after;
        QVERIFY2(clicks.isDoubleClick(events[i].click, now, 400) == events[i].doubleClick,
                 qPrintable(QStringLiteral("event %1").arg(i)));
    }
}

QTEST_GUILESS_MAIN(TestTrayClicks)
#include "test_tray_clicks.moc"
