// A real alert window offscreen: where it stands, what it shows, how a click
// and the program close it, and its background and frame.

#include "desktop/AlertSlots.h"
#include "window/frmAlertWindow.h"
#include "window/Platform.h"
#include "WindowTestKit.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QSignalSpy>
#include <QtTest>

namespace {

// Only the system version matters to the window; it decides the effects.
class VersionPlatform : public Platform
{
public:
    OsVersionInfo os;

    QString getOpenFileName(QWidget *, const QString &, const QString &, const QString &) override
    {
        return {};
    }
    QString getSaveFileName(QWidget *, const QString &, const QString &, const QString &) override
    {
        return {};
    }
    bool openDocument(const QString &) override { return false; }
    bool openUrl(const QUrl &) override { return false; }
    bool startTextViewer(const QString &) override { return false; }
    bool hasMailViewer() override { return false; }
    OsVersionInfo osVersion() override { return os; }
    MemoryStatus memoryStatus() override { return {}; }
    bool systemTrayAvailable() override { return false; }
};

const QRect kWorkArea(0, 0, 1024, 738);
const QRect kScreen(0, 0, 1024, 768);
const QString kText = QStringLiteral("Mailvane\r\nMailbox of joe\r\n2 new mail(s)");
const int kBackColor = 0x804020; // red 0x20, green 0x40, blue 0x80
const int kTrayColor = 0xC0FFFF;

// Ticks the window by hand until it has left; -1 if it never does.
int ticksUntilGone(frmAlertWindow *window, int bound = 100000)
{
    for (int ticks = 1; ticks <= bound; ++ticks) {
        window->Timer1_Timer();
        if (window->motion().unloaded())
            return ticks;
    }
    return -1;
}

bool topMost(const QWidget *window)
{
    return window->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
}

} // namespace

class TestAlertWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void trayAlertSlidesUpAndAway();
    void fadeStandsInPlace();
    void secondAlertStacksAbove();
    void placesOnPrimaryScreen();
    void clickShowsMainWindow_data();
    void clickShowsMainWindow();
    void untilClickedSaysSo();
    void negativeTimeClosesOnlyByCloseActivate();
    void realTimerEndsAlert();
    void background_data();
    void background();
    void roundedShape();

private:
    VersionPlatform m_platform;
};

void TestAlertWindow::init()
{
    m_platform.os = OsVersionInfo();
    m_platform.os.ok = true;
    Platform::install(&m_platform);
    QCOMPARE(AlertSlots::shared().mask(), 0);
}

void TestAlertWindow::cleanup()
{
    // Windows a test left open free their slots when destroyed.
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *widget : windows) {
        if (qobject_cast<frmAlertWindow *>(widget))
            delete widget;
    }
    QCOMPARE(AlertSlots::shared().mask(), 0);
    Platform::install(nullptr);
}

void TestAlertWindow::trayAlertSlidesUpAndAway()
{
    QPointer<frmAlertWindow> alert = new frmAlertWindow(kWorkArea, kScreen);
    alert->DisplayMessage(kText, 10, false, true, true, kTrayColor, false);
    alert->Timer1()->stop();
    QVERIFY(alert->isVisible());
    QVERIFY(alert->windowFlags().testFlag(Qt::FramelessWindowHint));
    QCOMPARE(alert->motion().slot(), 1);

    // Three lines fitted: label 10 px down, window 15 px below its end.
    QLabel *label = alert->lblMessage();
    QCOMPARE(label->text(), QStringLiteral("Mailvane\nMailbox of joe\n2 new mail(s)"));
    QCOMPARE(label->geometry().topLeft(), QPoint(5, 10));
    QCOMPARE(label->width(), 150);
    QVERIFY(label->height() >= 3 * label->fontMetrics().lineSpacing() - 3);
    const int height = 10 + label->height() + 15;
    QCOMPARE(alert->geometry(), QRect(1024 - 160, 738, 160, height));
    QVERIFY(!topMost(alert));

    // Up from behind the task bar until it stands on the work area's bottom.
    int ticks = 0;
    while (!alert->motion().onTop() && ticks < 1000) {
        alert->Timer1_Timer();
        ++ticks;
        QVERIFY(alert->y() < 738);
    }
    QCOMPARE(alert->geometry(), QRect(864, 738 - height, 160, height));
    QVERIFY(topMost(alert));
    QVERIFY(alert->isVisible());

    // 999 more ticks showing, then down and away.
    for (int tick = 1; tick < 1000; ++tick)
        alert->Timer1_Timer();
    QCOMPARE(alert->y(), 738 - height);
    alert->Timer1_Timer();
    QVERIFY(!topMost(alert));
    QVERIFY(alert->isVisible());
    QVERIFY(alert->y() > 738 - height);
    QVERIFY(ticksUntilGone(alert) > 0);
    QVERIFY(alert->y() >= 768);
    QCOMPARE(AlertSlots::shared().mask(), 0);
    QTRY_VERIFY(alert.isNull());
}

void TestAlertWindow::fadeStandsInPlace()
{
    QPointer<frmAlertWindow> alert = new frmAlertWindow(QRect(100, 50, 800, 500), kScreen);
    alert->DisplayMessage(kText, 10, true, false, true, kBackColor, true);
    alert->Timer1()->stop();
    QCOMPARE(alert->motion().caps(), 2);

    // In place at once, 133 px high (no fit), topmost and invisible.
    QCOMPARE(alert->geometry(), QRect(900 - 160, 550 - 133, 160, 133));
    QVERIFY(alert->isVisible());
    QVERIFY(topMost(alert));
    QCOMPARE(alert->windowOpacity(), 0.0);

    for (int tick = 0; tick < 25; ++tick)
        alert->Timer1_Timer();
    QCOMPARE(alert->windowOpacity(), 128 / 255.0);
    for (int tick = 0; tick < 25; ++tick)
        alert->Timer1_Timer();
    QCOMPARE(alert->windowOpacity(), 1.0);

    alert->setCloseActivate(true);
    QCOMPARE(ticksUntilGone(alert), 52);
    QCOMPARE(alert->windowOpacity(), 0.0);
    QCOMPARE(alert->geometry().topLeft(), QPoint(740, 417));
    QTRY_VERIFY(alert.isNull());
}

void TestAlertWindow::secondAlertStacksAbove()
{
    auto *first = new frmAlertWindow(kWorkArea, kScreen);
    first->DisplayMessage(kText, 10, false, true, true, kTrayColor, false);
    auto *second = new frmAlertWindow(kWorkArea, kScreen);
    second->DisplayMessage(kText, 10, false, true, true, kTrayColor, false);
    first->Timer1()->stop();
    second->Timer1()->stop();
    QCOMPARE(second->motion().slot(), 2);
    QCOMPARE(AlertSlots::shared().mask(), 0b11);

    // Twice its own unfitted height above the bottom: 11070 - 4000 twips.
    QCOMPARE(second->height(), 133);
    for (int tick = 0; tick < 41; ++tick)
        second->Timer1_Timer();
    QVERIFY(second->motion().onTop());
    QCOMPARE(second->y(), 7070 / 15);
    QVERIFY(second->y() + second->height() <= first->motion().targetTop() / 15);

    // Both gone: the next alert is the lowest again.
    delete first;
    second->setCloseActivate(true);
    QVERIFY(ticksUntilGone(second) > 0);
    QCOMPARE(AlertSlots::shared().mask(), 0);
    auto *next = new frmAlertWindow(kWorkArea, kScreen);
    QCOMPARE(next->motion().slot(), 1);
}

void TestAlertWindow::placesOnPrimaryScreen()
{
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    auto *alert = new frmAlertWindow;
    alert->DisplayMessage(kText, 10, false, false, true, kTrayColor, false);
    alert->Timer1()->stop();
    QCOMPARE(alert->geometry(),
             QRect(available.x() + available.width() - 160, available.y() + available.height(),
                   160, 133));
}

void TestAlertWindow::clickShowsMainWindow_data()
{
    QTest::addColumn<int>("seconds");
    QTest::addColumn<bool>("onLabel");
    QTest::addColumn<bool>("closes");

    QTest::newRow("timed, on the window") << 10 << false << true;
    QTest::newRow("timed, on the text") << 10 << true << true;
    QTest::newRow("until clicked") << 0 << true << true;
    QTest::newRow("until closed by the program") << -1 << false << false;
}

void TestAlertWindow::clickShowsMainWindow()
{
    QFETCH(int, seconds);
    QFETCH(bool, onLabel);
    QFETCH(bool, closes);

    QPointer<frmAlertWindow> alert = new frmAlertWindow(kWorkArea, kScreen);
    int shown = 0;
    connect(alert, &frmAlertWindow::showMainWindowRequested, this, [&shown] { ++shown; });
    alert->DisplayMessage(kText, seconds, false, true, true, kTrayColor, false);
    alert->Timer1()->stop();
    for (int tick = 0; tick < 100; ++tick)
        alert->Timer1_Timer();
    QVERIFY(alert->motion().onTop());

    if (onLabel)
        QTest::mouseClick(alert->lblMessage(), Qt::LeftButton, {}, QPoint(10, 5));
    else
        QTest::mouseClick(alert, Qt::LeftButton, {}, QPoint(150, alert->height() - 5));
    QCOMPARE(shown, 1);
    QVERIFY(alert->isVisible());

    if (closes) {
        QVERIFY(ticksUntilGone(alert) > 0);
        QTRY_VERIFY(alert.isNull());
    } else {
        QCOMPARE(ticksUntilGone(alert, 5000), -1);
        QVERIFY(alert->isVisible());
    }
    QCOMPARE(shown, 1);
}

void TestAlertWindow::untilClickedSaysSo()
{
    QPointer<frmAlertWindow> alert = new frmAlertWindow(kWorkArea, kScreen);
    alert->DisplayMessage(kText, 0, false, true, true, kTrayColor, false);
    alert->Timer1()->stop();
    QLabel *label = alert->lblMessage();
    QVERIFY(label->text().endsWith(QStringLiteral("2 new mail(s)\n(click here to close)")));
    QCOMPARE(label->y(), 15);
    QCOMPARE(alert->height(), 15 + label->height() + 15);

    // Stays for good until clicked.
    QCOMPARE(ticksUntilGone(alert, 5000), -1);
    QVERIFY(alert->isVisible());
    QTest::mouseClick(alert, Qt::LeftButton, {}, QPoint(20, 20));
    QVERIFY(ticksUntilGone(alert) > 0);
    QTRY_VERIFY(alert.isNull());
}

void TestAlertWindow::negativeTimeClosesOnlyByCloseActivate()
{
    QPointer<frmAlertWindow> alert = new frmAlertWindow(kWorkArea, kScreen);
    QSignalSpy requests(alert.data(), &frmAlertWindow::showMainWindowRequested);
    alert->DisplayMessage(kText, -1, true, true, false, kBackColor, false);
    alert->Timer1()->stop();
    QVERIFY(!alert->lblMessage()->text().contains(QStringLiteral("click here")));
    QCOMPARE(alert->lblMessage()->y(), 15);

    QTest::mouseClick(alert, Qt::LeftButton, {}, QPoint(20, 20));
    QTest::mouseClick(alert->lblMessage(), Qt::LeftButton);
    QCOMPARE(requests.count(), 2);
    QCOMPARE(ticksUntilGone(alert, 3000), -1);

    QCOMPARE(alert->property("CloseActivate").toBool(), false);
    alert->setCloseActivate(false);
    QCOMPARE(ticksUntilGone(alert, 100), -1);
    QVERIFY(alert->setProperty("CloseActivate", true));
    QCOMPARE(alert->CloseActivate(), false);
    QCOMPARE(ticksUntilGone(alert), 52);
    QTRY_VERIFY(alert.isNull());
    QCOMPARE(AlertSlots::shared().mask(), 0);
}

void TestAlertWindow::realTimerEndsAlert()
{
    // One second of display on the window's own timer: arrives, shows, leaves.
    QPointer<frmAlertWindow> alert = new frmAlertWindow(kWorkArea, kScreen);
    QVERIFY(alert->Timer1()->interval() == frmAlertWindow::TickInterval);
    alert->DisplayMessage(kText, 1, false, true, true, kTrayColor, false);
    QVERIFY(alert->Timer1()->isActive());
    QTRY_VERIFY_WITH_TIMEOUT(alert.isNull() || alert->motion().onTop(), 30000);
    QTRY_VERIFY_WITH_TIMEOUT(alert.isNull(), 30000);
    QCOMPARE(AlertSlots::shared().mask(), 0);
}

void TestAlertWindow::background_data()
{
    QTest::addColumn<int>("family");
    QTest::addColumn<int>("minor");
    QTest::addColumn<bool>("tube");
    QTest::addColumn<int>("caps");

    QTest::newRow("corner gradient") << int(OsVersionInfo::Other) << 0 << false << 2;
    QTest::newRow("tube gradient") << int(OsVersionInfo::Other) << 0 << true << 2;
    QTest::newRow("gradients only") << int(OsVersionInfo::Win9x) << 10 << false << 1;
    QTest::newRow("no gradients, corner") << int(OsVersionInfo::Win9x) << 0 << false << 0;
    QTest::newRow("no gradients, tube") << int(OsVersionInfo::Win9x) << 0 << true << 0;
}

void TestAlertWindow::background()
{
    QFETCH(int, family);
    QFETCH(int, minor);
    QFETCH(bool, tube);
    QFETCH(int, caps);

    m_platform.os.platformId = family;
    m_platform.os.major = 4;
    m_platform.os.minor = quint32(minor);
    auto *alert = new frmAlertWindow(kWorkArea, kScreen);
    alert->DisplayMessage(kText, 10, true, true, true, kBackColor, tube);
    alert->Timer1()->stop();
    QCOMPARE(alert->motion().caps(), caps);
    // Without opacity a fade shows the window at once.
    QCOMPARE(alert->windowOpacity(), caps == 2 ? 0.0 : 1.0);

    const QImage image = alert->grab().toImage();
    const int w = alert->width();
    const int h = alert->height();
    QCOMPARE(image.size(), QSize(160, h));
    const QColor back(0x20, 0x40, 0x80);
    const QColor white(Qt::white);
    auto at = [&image](int x, int y) { return image.pixelColor(x, y); };

    if (caps == 0) {
        QCOMPARE(at(2, 2), back);
        QCOMPARE(at(2, h / 2), back);
        QCOMPARE(at(w - 3, h - 3), back);
    } else if (tube) {
        QVERIFY2(kit::nearColour(at(2, 2), back, 16), qPrintable(at(2, 2).name()));
        QVERIFY2(kit::nearColour(at(2, h / 2), white, 1), qPrintable(at(2, h / 2).name()));
        QVERIFY2(kit::nearColour(at(w / 2, h - 3), back, 16), qPrintable(at(w / 2, h - 3).name()));
    } else {
        QVERIFY2(kit::nearColour(at(2, 2), white, 4), qPrintable(at(2, 2).name()));
        QVERIFY2(kit::nearColour(at(w - 3, 2), white, 12), qPrintable(at(w - 3, 2).name()));
        QVERIFY2(kit::nearColour(at(2, h - 3), white, 12), qPrintable(at(2, h - 3).name()));
        QVERIFY2(kit::nearColour(at(w - 3, h - 3), back, 16), qPrintable(at(w - 3, h - 3).name()));
    }

    // Square frame: button face outside, the back colour inside it.
    const QColor face = alert->palette().color(QPalette::Button);
    QCOMPARE(at(0, h / 2), face);
    QCOMPARE(at(w - 1, h / 2), face);
    QCOMPARE(at(w / 2, 0), face);
    QCOMPARE(at(w / 2, h - 1), face);
    QCOMPARE(at(1, h / 2), back);
    QCOMPARE(at(w - 2, h / 2), back);
    QCOMPARE(at(w / 2, 1), back);
    QCOMPARE(at(w / 2, h - 2), back);
    QVERIFY(alert->mask().isEmpty());
}

void TestAlertWindow::roundedShape()
{
    auto *alert = new frmAlertWindow(kWorkArea, kScreen);
    alert->DisplayMessage(kText, 10, false, false, false, kBackColor, false);
    alert->Timer1()->stop();
    const int w = alert->width();
    const int h = alert->height();
    const QRegion shape = alert->mask();
    QVERIFY(!shape.contains(QPoint(0, 0)));
    QVERIFY(!shape.contains(QPoint(w - 1, 0)));
    QVERIFY(!shape.contains(QPoint(0, h - 1)));
    QVERIFY(!shape.contains(QPoint(w - 1, h - 1)));
    QVERIFY(shape.contains(QPoint(w / 2, 0)));
    QVERIFY(shape.contains(QPoint(0, h / 2)));
    QVERIFY(shape.contains(QPoint(w / 2, h / 2)));

    const QImage image = alert->grab().toImage();
    QCOMPARE(image.pixelColor(w / 2, 0), alert->palette().color(QPalette::Button));
    QCOMPARE(image.pixelColor(w / 2, 1), QColor(0x20, 0x40, 0x80));
    QCOMPARE(image.pixelColor(0, h / 2), alert->palette().color(QPalette::Button));
}

QTEST_MAIN(TestAlertWindow)
#include "test_alert_window.moc"
