// The alert window's places and motion, tick by tick, against a recording
// surface in place of the window.

#include "desktop/AlertMotion.h"
#include "desktop/AlertSlots.h"
#include "desktop/AlertSurface.h"

#include <QtTest>

namespace {

// Records what the motion asks of the window. The label is 13 px per line.
struct RecordingSurface : AlertSurface
{
    struct Event
    {
        enum Kind { Move, TopMost, Opacity, Unload } kind;
        int value;
    };

    QList<Event> events;
    QRect window;
    QRect labelBox;
    QString labelText;
    bool topMost = false;
    int opacity = -1;
    int unloads = 0;

    void moveWindow(int left, int top, int width, int height) override
    {
        window = QRect(left, top, width, height);
        events.append({Event::Move, top});
    }
    int placeLabel(const QRect &box, const QString &text) override
    {
        labelBox = box;
        labelText = text;
        return 13 * int(text.count(QStringLiteral("\r\n")) + 1);
    }
    void setTopMost(bool on) override
    {
        topMost = on;
        events.append({Event::TopMost, on});
    }
    void setOpacity(int alpha) override
    {
        opacity = alpha;
        events.append({Event::Opacity, alpha});
    }
    void unload() override
    {
        ++unloads;
        events.append({Event::Unload, 0});
    }
};

const QRect kWorkArea(0, 0, 1024, 738); // twips: right 15360, bottom 11070
const QRect kScreen(0, 0, 1024, 768);   // bottom 11520
const QString kThreeLines = QStringLiteral("Mailvane\r\nMailbox of joe\r\n2 new mail(s)");

// Ticks until the window unloads; a safety bound turns a hang into a failure.
int ticksUntilUnload(AlertMotion &motion, RecordingSurface &surface, int bound = 100000)
{
    int ticks = 0;
    while (surface.unloads == 0 && ticks < bound) {
        motion.Tick();
        ++ticks;
    }
    return ticks;
}

} // namespace

class TestAlertMotion : public QObject
{
    Q_OBJECT

private slots:
    void slotsTakeLowestFree();
    void lastSlotIsShared();
    void windowsTakeAndFreeSlots();

    void loadPlacesBelowWorkArea_data();
    void loadPlacesBelowWorkArea();
    void displayTimeAndLabel_data();
    void displayTimeAndLabel();
    void autoFitOnlyInFirstSlot();

    void slideLifecycle_data();
    void slideLifecycle();
    void slideClampsAtScreenTop();
    void fadeLifecycle_data();
    void fadeLifecycle();

    void clickDuringArrivalLeavesFromThere();
    void untilClickedNeverLeavesByItself();
    void noClickCloseLeavesOnlyByCloseActivate();
    void hugeDisplayTimeCounts();

    void transparencyLevels_data();
    void transparencyLevels();
    void capabilityLevels_data();
    void capabilityLevels();
};

void TestAlertMotion::slotsTakeLowestFree()
{
    AlertSlots places;
    QCOMPARE(places.take(), 1);
    QCOMPARE(places.take(), 2);
    QCOMPARE(places.take(), 3);
    QCOMPARE(places.mask(), 0b111);
    places.release(2);
    QCOMPARE(places.mask(), 0b101);
    QCOMPARE(places.take(), 2);
    places.release(1);
    places.release(2);
    places.release(3);
    QCOMPARE(places.mask(), 0);
    QCOMPARE(places.take(), 1);
}

void TestAlertMotion::lastSlotIsShared()
{
    AlertSlots places;
    for (int k = 1; k <= 8; ++k)
        QCOMPARE(places.take(), k);
    QCOMPARE(places.mask(), 0xFF);
    QCOMPARE(places.take(), 8); // the ninth overlaps the eighth
    QCOMPARE(places.take(), 8);
    QCOMPARE(places.mask(), 0xFF);

    // A freed lower slot is taken before the shared one.
    places.release(4);
    QCOMPARE(places.take(), 4);

    // Slot 8 stays taken until its last sharer has gone.
    places.release(8);
    places.release(8);
    QCOMPARE(places.mask(), 0xFF);
    places.release(8);
    QCOMPARE(places.mask(), 0x7F);
    for (int k = 1; k <= 7; ++k)
        places.release(k);
    QCOMPARE(places.mask(), 0);
    QCOMPARE(places.sharersOfLastSlot(), 0);

    // Nonsense places change nothing.
    places.release(0);
    places.release(9);
    QCOMPARE(places.mask(), 0);
}

void TestAlertMotion::windowsTakeAndFreeSlots()
{
    AlertSlots places;
    std::vector<std::unique_ptr<RecordingSurface>> surfaces;
    std::vector<std::unique_ptr<AlertMotion>> windows;
    for (int n = 1; n <= 9; ++n) {
        surfaces.push_back(std::make_unique<RecordingSurface>());
        windows.push_back(std::make_unique<AlertMotion>(*surfaces.back(), places));
        windows.back()->Load(AlertMotion::GradientFillAndOpacity, kWorkArea, kScreen);
    }
    QCOMPARE(windows[1]->slot(), 2);
    QCOMPARE(windows[7]->slot(), 8);
    QCOMPARE(windows[8]->slot(), 8);

    // The second alert stands twice its own height above the work area's
    // bottom and travels 100 twips a tick.
    windows[1]->DisplayMessage(kThreeLines, 10, false, true);
    QCOMPARE(windows[1]->height(), 2000);
    QCOMPARE(windows[1]->targetTop(), 11070 - 2 * 2000);
    QCOMPARE(windows[1]->step(), 100);

    // Slots are freed at unload, once, and a window destroyed without
    // leaving frees its slot too.
    windows[1]->Unload();
    windows[1]->Unload();
    QCOMPARE(places.mask(), 0xFD);
    windows.clear();
    QCOMPARE(places.mask(), 0);

    RecordingSurface surface;
    AlertMotion next(surface, places);
    next.Load(AlertMotion::GradientFillAndOpacity, kWorkArea, kScreen);
    QCOMPARE(next.slot(), 1);
}

void TestAlertMotion::loadPlacesBelowWorkArea_data()
{
    QTest::addColumn<QRect>("workArea");
    QTest::addColumn<QRect>("screen");
    QTest::addColumn<QRect>("window");
    QTest::addColumn<int>("workBottom");
    QTest::addColumn<int>("screenBottom");

    QTest::newRow("task bar at the bottom")
        << kWorkArea << kScreen << QRect(15360 - 2400, 11070, 2400, 2000) << 11070 << 11520;
    QTest::newRow("work area away from the origin")
        << QRect(100, 50, 800, 500) << QRect(0, 0, 1000, 600)
        << QRect(13500 - 2400, 8250, 2400, 2000) << 8250 << 9000;
    QTest::newRow("second screen below the first")
        << QRect(0, 600, 640, 460) << QRect(0, 600, 640, 480)
        << QRect(9600 - 2400, 15900, 2400, 2000) << 15900 << 16200;
}

void TestAlertMotion::loadPlacesBelowWorkArea()
{
    QFETCH(QRect, workArea);
    QFETCH(QRect, screen);
    QFETCH(QRect, window);
    QFETCH(int, workBottom);
    QFETCH(int, screenBottom);

    AlertSlots places;
    RecordingSurface surface;
    AlertMotion motion(surface, places);
    motion.Load(AlertMotion::GradientFillAndOpacity, workArea, screen);
    QCOMPARE(surface.window, window);
    QCOMPARE(motion.workBottom(), workBottom);
    QCOMPARE(motion.screenBottom(), screenBottom);
    QCOMPARE(motion.slot(), 1);
    QCOMPARE(places.mask(), 1);
}

void TestAlertMotion::displayTimeAndLabel_data()
{
    QTest::addColumn<int>("seconds");
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("ticksLeft");
    QTest::addColumn<bool>("untilClosed");
    QTest::addColumn<bool>("noClickClose");
    QTest::addColumn<int>("labelTop");

    QTest::newRow("10 s") << 10 << kThreeLines << qint64(1000) << false << false << 10;
    QTest::newRow("1 s") << 1 << kThreeLines << qint64(100) << false << false << 10;
    QTest::newRow("until clicked")
        << 0 << kThreeLines + QStringLiteral("\r\n(click here to close)") << qint64(1) << true
        << false << 15;
    QTest::newRow("until closed by the program")
        << -1 << kThreeLines << qint64(1) << true << true << 15;
    QTest::newRow("very negative") << -500 << kThreeLines << qint64(1) << true << true << 15;
}

void TestAlertMotion::displayTimeAndLabel()
{
    QFETCH(int, seconds);
    QFETCH(QString, text);
    QFETCH(qint64, ticksLeft);
    QFETCH(bool, untilClosed);
    QFETCH(bool, noClickClose);
    QFETCH(int, labelTop);

    AlertSlots places;
    RecordingSurface surface;
    AlertMotion motion(surface, places);
    motion.Load(AlertMotion::GradientFillAndOpacity, kWorkArea, kScreen);
    motion.DisplayMessage(kThreeLines, seconds, false, false);
    QCOMPARE(motion.ticksLeft(), ticksLeft);
    QCOMPARE(motion.untilClosed(), untilClosed);
    QCOMPARE(motion.noClickClose(), noClickClose);
    QCOMPARE(surface.labelText, text);
    QCOMPARE(surface.labelBox, QRect(5, labelTop, 150, 0));
    QCOMPARE(motion.labelBox().top(), labelTop);
}

void TestAlertMotion::autoFitOnlyInFirstSlot()
{
    AlertSlots places;
    RecordingSurface first, second;
    AlertMotion lower(first, places), upper(second, places);
    lower.Load(AlertMotion::GradientFillAndOpacity, kWorkArea, kScreen);
    upper.Load(AlertMotion::GradientFillAndOpacity, kWorkArea, kScreen);

    lower.DisplayMessage(kThreeLines, 10, false, true);
    QCOMPARE(lower.height(), (10 + 39 + 15) * 15);
    QCOMPARE(first.window.height(), 960);
    upper.DisplayMessage(kThreeLines, 10, false, true);
    QCOMPARE(upper.height(), 2000);

    // Waiting for a click: the label starts 15 px down and has a fourth line.
    AlertSlots fresh;
    RecordingSurface third;
    AlertMotion clicked(third, fresh);
    clicked.Load(AlertMotion::GradientFillAndOpacity, kWorkArea, kScreen);
    clicked.DisplayMessage(kThreeLines, 0, false, true);
    QCOMPARE(clicked.height(), (15 + 52 + 15) * 15);
}

void TestAlertMotion::slideLifecycle_data()
{
    QTest::addColumn<int>("otherWindows"); // taken before this one
    QTest::addColumn<bool>("autoFit");
    QTest::addColumn<int>("seconds");
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("arrivalMoves");
    QTest::addColumn<int>("arrivedTop");
    QTest::addColumn<int>("leavingMoves");

    // Slot 1, 960 twips high: target 10110; 20 moves of 50 overshoot to
    // 10070, the arrival tick puts it on 10110. Leaving moves until the top
    // passes 11520: 29 moves to 11560.
    QTest::newRow("the tray alert") << 0 << true << 10 << 50 << 20 << 10110 << 29;
    // Slot 2, 2000 twips: target 7070, 40 moves of 100 land on it exactly;
    // leaving from 7070 takes 45 moves to 11570.
    QTest::newRow("second slot") << 1 << true << 10 << 100 << 40 << 7070 << 45;
    QTest::newRow("one second, no fit") << 0 << false << 1 << 50 << 40 << 9070 << 50;
}

void TestAlertMotion::slideLifecycle()
{
    QFETCH(int, otherWindows);
    QFETCH(bool, autoFit);
    QFETCH(int, seconds);
    QFETCH(int, step);
    QFETCH(int, arrivalMoves);
    QFETCH(int, arrivedTop);
    QFETCH(int, leavingMoves);

    AlertSlots places;
    for (int n = 0; n < otherWindows; ++n)
        places.take();
    RecordingSurface surface;
    AlertMotion motion(surface, places);
    motion.Load(AlertMotion::GradientFillAndOpacity, kWorkArea, kScreen);
    motion.DisplayMessage(kThreeLines, seconds, false, autoFit);
    QCOMPARE(motion.step(), qint64(step));
    QCOMPARE(surface.topMost, false);
    QCOMPARE(surface.window.top(), 11070);
    surface.events.clear();

    // Arriving: one move per tick, upwards by the step, not yet topmost.
    int top = 11070;
    for (int tick = 1; tick <= arrivalMoves; ++tick) {
        motion.Tick();
        top -= step;
        QCOMPARE(surface.window.top(), top);
        QVERIFY(!surface.topMost);
    }
    QCOMPARE(surface.events.size(), arrivalMoves);

    // Arrived: put on the target exactly and made topmost, once; this tick
    // already counts.
    motion.Tick();
    QCOMPARE(surface.window.top(), arrivedTop);
    QVERIFY(surface.topMost);
    QVERIFY(motion.onTop());
    const qint64 shown = qint64(seconds) * 100;
    QCOMPARE(motion.ticksLeft(), shown - 1);

    // Showing: the rest of the count, nothing moves.
    surface.events.clear();
    for (qint64 tick = 1; tick < shown; ++tick)
        motion.Tick();
    QVERIFY(surface.events.isEmpty());
    QCOMPARE(motion.ticksLeft(), qint64(0));
    QCOMPARE(places.mask() & (1 << (motion.slot() - 1)), 1 << (motion.slot() - 1));

    // Leaving: back among normal windows on the first tick, then down by the
    // step until the top has passed the screen's bottom.
    motion.Tick();
    QCOMPARE(surface.events.size(), 2);
    QCOMPARE(surface.events[0].kind, RecordingSurface::Event::TopMost);
    QCOMPARE(surface.events[0].value, 0);
    QCOMPARE(surface.window.top(), arrivedTop + step);
    for (int tick = 2; tick <= leavingMoves; ++tick) {
        motion.Tick();
        QCOMPARE(surface.window.top(), arrivedTop + tick * step);
    }
    QCOMPARE(surface.unloads, 0);
    QVERIFY(surface.window.top() > 11520);

    // Gone on the next tick, slot freed; later ticks do nothing.
    motion.Tick();
    QCOMPARE(surface.unloads, 1);
    QVERIFY(motion.unloaded());
    QCOMPARE(places.mask() & (1 << (motion.slot() - 1)), 0);
    motion.Tick();
    QCOMPARE(surface.unloads, 1);
    QCOMPARE(surface.events.last().kind, RecordingSurface::Event::Unload);
}

void TestAlertMotion::slideClampsAtScreenTop()
{
    // A work area lower than the window: it climbs to the top and no further.
    AlertSlots places;
    RecordingSurface surface;
    AlertMotion motion(surface, places);
    motion.Load(AlertMotion::GradientFillAndOpacity, QRect(0, 0, 800, 100), QRect(0, 0, 800, 130));
    motion.DisplayMessage(kThreeLines, 1, false, false);
    for (int tick = 1; tick <= 30; ++tick)
        motion.Tick();
    QCOMPARE(surface.window.top(), 0);
    QVERIFY(!surface.topMost);
    motion.Tick();
    QCOMPARE(surface.window.top(), 0);
    QVERIFY(surface.topMost);
    QCOMPARE(motion.targetTop(), 0);
}

void TestAlertMotion::fadeLifecycle_data()
{
    QTest::addColumn<int>("caps");
    QTest::addColumn<QRect>("workArea");
    QTest::addColumn<int>("top");

    QTest::newRow("with opacity") << int(AlertMotion::GradientFillAndOpacity) << kWorkArea
                                  << 11070 - 960;
    QTest::newRow("without opacity") << int(AlertMotion::GradientFill) << kWorkArea << 11070 - 960;
    QTest::newRow("work area lower than the window")
        << int(AlertMotion::GradientFillAndOpacity) << QRect(0, 0, 800, 50) << 0;
}

void TestAlertMotion::fadeLifecycle()
{
    QFETCH(int, caps);
    QFETCH(QRect, workArea);
    QFETCH(int, top);
    const bool opacity = caps == AlertMotion::GradientFillAndOpacity;

    AlertSlots places;
    RecordingSurface surface;
    AlertMotion motion(surface, places);
    motion.Load(caps, workArea, kScreen);
    surface.events.clear();
    motion.DisplayMessage(kThreeLines, 10, true, true);

    // In place at once, invisible, topmost.
    QCOMPARE(surface.window.top(), top);
    QVERIFY(surface.topMost);
    QCOMPARE(surface.opacity, opacity ? 0 : -1);
    QCOMPARE(motion.step(), qint64(100));
    const int topAtDisplay = surface.window.top();

    // Fading in: 2 levels a tick, 50 ticks, no moves.
    surface.events.clear();
    for (int tick = 1; tick <= 50; ++tick) {
        motion.Tick();
        QCOMPARE(motion.step(), qint64(100 - 2 * tick));
        if (opacity)
            QCOMPARE(surface.opacity, AlertMotion::OpacityForLevel(100 - 2 * tick));
    }
    QCOMPARE(surface.events.size(), opacity ? 50 : 0);
    QCOMPARE(surface.opacity, opacity ? 255 : -1);
    QCOMPARE(motion.ticksLeft(), qint64(1000));

    // Showing: 1000 ticks.
    surface.events.clear();
    for (int tick = 1; tick <= 1000; ++tick)
        motion.Tick();
    QVERIFY(surface.events.isEmpty());
    QCOMPARE(motion.ticksLeft(), qint64(0));

    // Fading out: levels 2..102 in 51 ticks (102 sets nothing), gone on the
    // tick after.
    for (int tick = 1; tick <= 51; ++tick)
        motion.Tick();
    QCOMPARE(motion.step(), qint64(102));
    QCOMPARE(surface.events.size(), opacity ? 50 : 0);
    QCOMPARE(surface.opacity, opacity ? 0 : -1);
    QCOMPARE(surface.unloads, 0);
    QCOMPARE(places.mask(), 1);
    motion.Tick();
    QCOMPARE(surface.unloads, 1);
    QCOMPARE(places.mask(), 0);
    QCOMPARE(surface.window.top(), topAtDisplay);
    // Never taken off the top in fade mode.
    QVERIFY(surface.topMost);
}

void TestAlertMotion::clickDuringArrivalLeavesFromThere()
{
    AlertSlots places;
    RecordingSurface surface;
    AlertMotion motion(surface, places);
    motion.Load(AlertMotion::GradientFillAndOpacity, kWorkArea, kScreen);
    motion.DisplayMessage(kThreeLines, 10, false, true);
    for (int tick = 0; tick < 5; ++tick)
        motion.Tick();
    QCOMPARE(surface.window.top(), 11070 - 250);
    surface.events.clear();
    motion.Click();
    motion.Tick();
    QCOMPARE(surface.window.top(), 11070 - 200);
    // It never was topmost, so nothing is taken off the top.
    QCOMPARE(surface.events.size(), 1);
    QCOMPARE(surface.events[0].kind, RecordingSurface::Event::Move);
    // 14 more moves from 10870 to 11570, past 11520, then gone.
    QCOMPARE(ticksUntilUnload(motion, surface), 15);
    QCOMPARE(places.mask(), 0);

    // Fade: a click in the middle of fading in fades out from that level.
    AlertSlots fadePlaces;
    RecordingSurface fading;
    AlertMotion fader(fading, fadePlaces);
    fader.Load(AlertMotion::GradientFillAndOpacity, kWorkArea, kScreen);
    fader.DisplayMessage(kThreeLines, 10, true, true);
    for (int tick = 0; tick < 10; ++tick)
        fader.Tick();
    QCOMPARE(fader.step(), qint64(80));
    fader.Click();
    fader.Tick();
    QCOMPARE(fader.step(), qint64(82));
    QCOMPARE(fading.opacity, AlertMotion::OpacityForLevel(82));
    // 82 -> 102 in 10 ticks, gone on the 11th.
    QCOMPARE(ticksUntilUnload(fader, fading), 11);
}

void TestAlertMotion::untilClickedNeverLeavesByItself()
{
    AlertSlots places;
    RecordingSurface surface;
    AlertMotion motion(surface, places);
    motion.Load(AlertMotion::GradientFillAndOpacity, kWorkArea, kScreen);
    motion.DisplayMessage(kThreeLines, 0, false, true);
    for (int tick = 0; tick < 5000; ++tick)
        motion.Tick();
    QCOMPARE(surface.unloads, 0);
    QCOMPARE(motion.ticksLeft(), qint64(1));
    QVERIFY(surface.topMost);

    motion.Click();
    QCOMPARE(motion.ticksLeft(), qint64(0));
    QVERIFY(ticksUntilUnload(motion, surface) < 100);
    QVERIFY(!surface.topMost);
    QCOMPARE(places.mask(), 0);
}

void TestAlertMotion::noClickCloseLeavesOnlyByCloseActivate()
{
    AlertSlots places;
    RecordingSurface surface;
    AlertMotion motion(surface, places);
    motion.Load(AlertMotion::GradientFillAndOpacity, kWorkArea, kScreen);
    motion.DisplayMessage(kThreeLines, -1, true, true);
    for (int tick = 0; tick < 3000; ++tick) {
        motion.Tick();
        if (tick % 500 == 0)
            motion.Click();
    }
    QCOMPARE(surface.unloads, 0);
    QCOMPARE(motion.ticksLeft(), qint64(1));

    QCOMPARE(motion.CloseActivate(), false);
    motion.setCloseActivate(false);
    motion.Tick();
    QCOMPARE(surface.unloads, 0);
    motion.setCloseActivate(true);
    QCOMPARE(motion.CloseActivate(), false);
    QCOMPARE(ticksUntilUnload(motion, surface), 52);
    QCOMPARE(places.mask(), 0);
}

void TestAlertMotion::hugeDisplayTimeCounts()
{
    AlertSlots places;
    RecordingSurface surface;
    AlertMotion motion(surface, places);
    motion.Load(AlertMotion::GradientFillAndOpacity, kWorkArea, kScreen);
    motion.DisplayMessage(kThreeLines, std::numeric_limits<int>::max(), false, true);
    QCOMPARE(motion.ticksLeft(), qint64(std::numeric_limits<int>::max()) * 100);
    QVERIFY(!motion.untilClosed());
}

void TestAlertMotion::transparencyLevels_data()
{
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("opacity");

    QTest::newRow("100 invisible") << 100 << 0;
    QTest::newRow("50 half, rounded to even") << 50 << 128;
    QTest::newRow("0 opaque") << 0 << 255;
    QTest::newRow("30 rounds down to even") << 30 << 178;
    QTest::newRow("10 rounds up to even") << 10 << 230;
    QTest::newRow("98 first fade step") << 98 << 5;
    QTest::newRow("99") << 99 << 3;
    QTest::newRow("2") << 2 << 250;
    QTest::newRow("102 past invisible") << 102 << -1;
    QTest::newRow("-2 past opaque") << -2 << -1;
}

void TestAlertMotion::transparencyLevels()
{
    QFETCH(int, level);
    QFETCH(int, opacity);
    QCOMPARE(AlertMotion::OpacityForLevel(level), opacity);
}

void TestAlertMotion::capabilityLevels_data()
{
    QTest::addColumn<int>("family");
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<bool>("gradients");
    QTest::addColumn<bool>("opacity");
    QTest::addColumn<int>("caps");

    QTest::newRow("Windows 95") << int(OsVersionInfo::Win9x) << 4 << 0 << true << true << 0;
    QTest::newRow("Windows 98") << int(OsVersionInfo::Win9x) << 4 << 10 << true << true << 1;
    QTest::newRow("Windows NT 4") << int(OsVersionInfo::WinNT) << 4 << 0 << true << true << 0;
    QTest::newRow("Windows 2000") << int(OsVersionInfo::WinNT) << 5 << 0 << false << false << 2;
    QTest::newRow("Windows 10") << int(OsVersionInfo::WinNT) << 10 << 0 << true << true << 2;
    QTest::newRow("other, both") << int(OsVersionInfo::Other) << 6 << 1 << true << true << 2;
    QTest::newRow("other, no opacity") << int(OsVersionInfo::Other) << 6 << 1 << true << false << 1;
    QTest::newRow("other, nothing") << int(OsVersionInfo::Other) << 6 << 1 << false << false << 0;
}

void TestAlertMotion::capabilityLevels()
{
    QFETCH(int, family);
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(bool, gradients);
    QFETCH(bool, opacity);
    QFETCH(int, caps);

    OsVersionInfo os;
    os.ok = true;
    os.platformId = family;
    os.major = quint32(major);
    os.minor = quint32(minor);
    QCOMPARE(AlertMotion::CapabilityLevel(os, gradients, opacity), caps);
}

QTEST_GUILESS_MAIN(TestAlertMotion)
#include "test_alert_motion.moc"
