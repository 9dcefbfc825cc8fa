// The tray icon on a StatusNotifier desktop (KDE Plasma, GNOME with the
// AppIndicator extension, Wayland sessions), end to end. The test runs in a
// desktop session of its own (an X server and a private session bus);
// mailvane_tray_host is the desktop's tray watcher and host; Qt's own D-Bus
// tray backend registers the real icon with it; the test then clicks the
// icon and its menu over the bus as the desktop's panel does.

#include "MessageBoxRecorder.h"
#include "Pop3Scripts.h"
#include "ScriptedPop3Server.h"
#include "window/frmMain.h"
#include "window/ProgramIcon.h"
#include "WindowTestKit.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QStyleHints>
#include <QTimer>
#include <QtTest>

namespace {

const QString WatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString WatcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString ItemInterface = QStringLiteral("org.kde.StatusNotifierItem");
const QString MenuInterface = QStringLiteral("com.canonical.dbusmenu");
const QString PropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString QuitQuestion = QStringLiteral("You have not logged out yet, Do you still want to quit?");

// What exec() returns when the program did not quit.
constexpr int CallEnded = 42;
constexpr int TimedOut = 43;

struct MenuEntry
{
    int id = 0;
    QString label;
    bool enabled = true;
    bool visible = true;
};

// The desktop's panel, as far as a tray icon can tell: it reads the watcher's
// list and calls the items and their menus. Calls to an item are
// asynchronous, for the icon lives in this process and answers only while
// its event loop runs.
class Panel
{
public:
    QStringList items() const
    {
        QDBusMessage get = QDBusMessage::createMethodCall(WatcherService, WatcherPath, PropertiesInterface,
                                                          QStringLiteral("Get"));
        get << WatcherService << QStringLiteral("RegisteredStatusNotifierItems");
        const QDBusMessage reply = QDBusConnection::sessionBus().call(get);
        return reply.arguments().value(0).value<QDBusVariant>().variant().toStringList();
    }

    // Sends a call to an item ("bus name/object path") and leaves its reply
    // to come.
    QDBusPendingCall send(const QString &item, const QString &path, const QString &interface,
                          const QString &method, const QVariantList &args = {}) const
    {
        const QString service = item.section(QLatin1Char('/'), 0, 0);
        QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
        message.setArguments(args);
        return QDBusConnection::sessionBus().asyncCall(message);
    }

    // The same, waiting for the reply.
    QDBusMessage call(const QString &item, const QString &path, const QString &interface, const QString &method,
                      const QVariantList &args = {}) const
    {
        QDBusPendingCall pending = send(item, path, interface, method, args);
        if (!QTest::qWaitFor([&] { return pending.isFinished(); }, 20000))
            return QDBusMessage::createError(QStringLiteral("test.Timeout"), method + QStringLiteral(" unanswered"));
        return pending.reply();
    }

    static QString itemPath(const QString &item)
    {
        return QLatin1Char('/') + item.section(QLatin1Char('/'), 1);
    }

    // A click (Activate) or a middle click (SecondaryActivate) on the icon.
    QDBusMessage click(const QString &item, const QString &method) const
    {
        return call(item, itemPath(item), ItemInterface, method, {QVariant(10), QVariant(10)});
    }

    QString menuPath(const QString &item) const
    {
        const QDBusMessage reply = call(item, itemPath(item), PropertiesInterface, QStringLiteral("Get"),
                                        {ItemInterface, QStringLiteral("Menu")});
        return reply.arguments().value(0).value<QDBusVariant>().variant().value<QDBusObjectPath>().path();
    }

    // The entries of the menu's top level, as the panel would draw them.
    QList<MenuEntry> menu(const QString &item) const
    {
        const QString path = menuPath(item);
        call(item, path, MenuInterface, QStringLiteral("AboutToShow"), {QVariant(0)});
        const QDBusMessage reply = call(item, path, MenuInterface, QStringLiteral("GetLayout"),
                                        {QVariant(0), QVariant(-1), QVariant(QStringList())});
        if (reply.type() != QDBusMessage::ReplyMessage)
            return {};
        return entriesOf(reply.arguments().value(1).value<QDBusArgument>());
    }

    // The user picks an entry of the menu.
    QDBusPendingCall choose(const QString &item, const QString &label) const
    {
        int id = -1;
        for (const MenuEntry &entry : menu(item))
            if (entry.label == label)
                id = entry.id;
        return send(item, menuPath(item), MenuInterface, QStringLiteral("Event"),
                    {QVariant(id), QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(QVariant(0))),
                     QVariant(0u)});
    }

private:
    // A layout node is (id, properties, children), each child a variant
    // holding a node.
    static QList<MenuEntry> entriesOf(const QDBusArgument &node)
    {
        QList<MenuEntry> entries;
        int id = 0;
        QVariantMap properties;
        node.beginStructure();
        node >> id >> properties;
        node.beginArray();
        while (!node.atEnd()) {
            QDBusVariant child;
            node >> child;
            const QDBusArgument childNode = child.variant().value<QDBusArgument>();
            MenuEntry entry;
            QVariantMap childProperties;
            childNode.beginStructure();
            childNode >> entry.id >> childProperties;
            entry.label = childProperties.value(QStringLiteral("label")).toString();
            entry.enabled = childProperties.value(QStringLiteral("enabled"), true).toBool();
            entry.visible = childProperties.value(QStringLiteral("visible"), true).toBool();
            entries << entry;
        }
        node.endArray();
        node.endStructure();
        return entries;
    }
};

QStringList labelsOf(const QList<MenuEntry> &entries)
{
    QStringList labels;
    for (const MenuEntry &entry : entries)
        if (entry.visible && entry.enabled)
            labels << entry.label;
    return labels;
}

// Runs the program's main loop as main() does until the program quits (0)
// or the pending call has been answered and everything it set going has run
// (CallEnded).
int runMainLoopUntilAnswered(QDBusPendingCall pending)
{
    bool quitting = false;
    QObject quitSpy;
    struct QuitFilter : QObject
    {
        bool *seen;
        explicit QuitFilter(bool *s) : seen(s) {}
        bool eventFilter(QObject *, QEvent *event) override
        {
            if (event->type() == QEvent::Quit)
                *seen = true;
            return false;
        }
    } filter(&quitting);
    qApp->installEventFilter(&filter);
    QDBusPendingCallWatcher watcher(pending);
    QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, &quitSpy, [&quitting, &quitSpy] {
        QTimer::singleShot(0, &quitSpy, [&quitting] {
            if (!quitting)
                QCoreApplication::exit(CallEnded);
        });
    });
    QTimer::singleShot(30000, &quitSpy, [] { QCoreApplication::exit(TimedOut); });
    const int result = QApplication::exec();
    qApp->removeEventFilter(&filter);
    return result;
}

} // namespace

class TestTrayDesktop : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void clicksOnTheIcon_data();
    void clicksOnTheIcon();
    void menuRestores();
    void menuQuits_data();
    void menuQuits();

private:
    // A logged-in window minimised to the tray; returns its icon's item.
    QString loggedInInTray(frmMain &w, ScriptedPop3Server &server);
    void verifyRestored(frmMain &w);
    void verifyStillInTray(frmMain &w, const QString &item);

    QProcess m_host;
    Panel m_panel;
    int m_desktopInterval = 0;
};

void TestTrayDesktop::initTestCase()
{
    QVERIFY2(QDBusConnection::sessionBus().isConnected(),
             "no session bus: run it through ctest (tests/support/desktop-session)");
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    // The desktop's tray comes first: Qt looks for it once, at the first icon.
    m_host.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_host.start(QStringLiteral(MAILVANE_TRAY_HOST), {});
    QVERIFY2(m_host.waitForStarted(), qPrintable(m_host.errorString()));
    QTRY_VERIFY_WITH_TIMEOUT(m_host.canReadLine(), 20000);
    QCOMPARE(m_host.readLine(), QByteArray("ready\n"));

    QApplication::setWindowIcon(ProgramIcon());
    m_desktopInterval = QGuiApplication::styleHints()->mouseDoubleClickInterval();
}

void TestTrayDesktop::init()
{
    QSettings(QStringLiteral("Mailvane"), QStringLiteral("Mailvane")).clear();
    QTRY_COMPARE(m_panel.items(), QStringList());
}

void TestTrayDesktop::cleanup()
{
    QGuiApplication::styleHints()->setMouseDoubleClickInterval(m_desktopInterval);
}

void TestTrayDesktop::cleanupTestCase()
{
    m_host.terminate();
    QVERIFY(m_host.waitForFinished());
}

QString TestTrayDesktop::loggedInInTray(frmMain &w, ScriptedPop3Server &server)
{
    kit::fillLogin(w, server.port());
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
        return QString();
    QTest::mouseClick(w.cmdLogin, Qt::LeftButton);
    const bool loggedIn = QTest::qWaitFor([&] {
        return w.cmdLogin->text() == QLatin1String("Logout") && w.cmdLogin->isEnabled() && w.prgProgress->isHidden();
    });
    if (!loggedIn)
        return QString();
    w.showMinimized();
    if (!QTest::qWaitFor([&] { return w.isHidden() && m_panel.items().size() == 1; }))
        return QString();
    return m_panel.items().first();
}

void TestTrayDesktop::verifyRestored(frmMain &w)
{
    QTRY_VERIFY(!w.isHidden());
    QVERIFY(!w.isMinimized());
    QVERIFY(!w.ckAutoLogin->isChecked());
    QVERIFY(!w.timLogin->isActive());
    QCOMPARE(w.cmdLogin->text(), QStringLiteral("Logout")); // the session goes on
    // The window is active again, and the icon leaves the tray.
    QTRY_COMPARE(m_panel.items(), QStringList());
}

void TestTrayDesktop::verifyStillInTray(frmMain &w, const QString &item)
{
    QVERIFY(w.isHidden());
    QVERIFY(w.ckAutoLogin->isChecked());
    QVERIFY(w.timLogin->isActive());
    QCOMPARE(m_panel.items(), QStringList{item});
}

void TestTrayDesktop::clicksOnTheIcon_data()
{
    QTest::addColumn<int>("interval");
    // "Activate" is a click, "SecondaryActivate" a middle click, "pause" waits
    // past the double-click interval.
    QTest::addColumn<QStringList>("clicks");
    QTest::addColumn<bool>("restored");

    const QString click = QStringLiteral("Activate");
    const QString middle = QStringLiteral("SecondaryActivate");
    const QString pause = QStringLiteral("pause");
    QTest::newRow("one click") << 5000 << QStringList{click} << false;
    QTest::newRow("two clicks: a double click") << 5000 << QStringList{click, click} << true;
    QTest::newRow("two clicks further apart than the interval") << 50 << QStringList{click, pause, click} << false;
    QTest::newRow("a late click begins a double click") << 50 << QStringList{click, pause, click, click} << true;
    QTest::newRow("middle click, then a click") << 5000 << QStringList{middle, click} << false;
    QTest::newRow("click, middle click, click") << 5000 << QStringList{click, middle, click} << false;
}

void TestTrayDesktop::clicksOnTheIcon()
{
    QFETCH(int, interval);
    QFETCH(QStringList, clicks);
    QFETCH(bool, restored);
    WindowFixture f;
    f.useRealPlatform(); // the desktop's own tray
    Pop3Scripts::session(f.server, "bob", "secret", {"a1"}, {100});
    const QString item = loggedInInTray(f.w, f.server);
    QVERIFY(!item.isEmpty());
    QVERIFY(f.w.ckAutoLogin->isChecked()); // minimising switched autologin on

    QGuiApplication::styleHints()->setMouseDoubleClickInterval(interval);
    QElapsedTimer sinceClick;
    for (const QString &step : clicks) {
        if (step == QLatin1String("pause")) {
            QTRY_VERIFY(sinceClick.elapsed() > interval);
            continue;
        }
        const QDBusMessage reply = m_panel.click(item, step);
        QVERIFY2(reply.type() == QDBusMessage::ReplyMessage, qPrintable(reply.errorMessage()));
        sinceClick.start();
    }

    if (restored)
        verifyRestored(f.w);
    else
        verifyStillInTray(f.w, item);
    QCOMPARE(f.boxes.texts(), QStringList());
    QCOMPARE(f.server.mismatches(), QStringList());
}

void TestTrayDesktop::menuRestores()
{
    WindowFixture f;
    f.useRealPlatform(); // the desktop's own tray
    Pop3Scripts::session(f.server, "bob", "secret", {"a1"}, {100});
    const QString item = loggedInInTray(f.w, f.server);
    QVERIFY(!item.isEmpty());

    QCOMPARE(labelsOf(m_panel.menu(item)), (QStringList{QStringLiteral("Restore"), QStringLiteral("Quit")}));
    QDBusPendingCall chosen = m_panel.choose(item, QStringLiteral("Restore"));
    QTRY_VERIFY(chosen.isFinished());
    QVERIFY2(!chosen.isError(), qPrintable(chosen.error().message()));
    verifyRestored(f.w);
    QCOMPARE(f.boxes.texts(), QStringList());
}

void TestTrayDesktop::menuQuits_data()
{
    QTest::addColumn<bool>("loggedIn");
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("mainLoop");

    QTest::newRow("logged out") << false << int(MsgAnswer::Yes) << 0;
    QTest::newRow("logged in, quit question answered Yes") << true << int(MsgAnswer::Yes) << 0;
    QTest::newRow("logged in, quit question answered No") << true << int(MsgAnswer::No) << CallEnded;
}

void TestTrayDesktop::menuQuits()
{
    QFETCH(bool, loggedIn);
    QFETCH(int, answer);
    QFETCH(int, mainLoop);
    WindowFixture f;
    f.useRealPlatform(); // the desktop's own tray
    f.boxes.answers.enqueue(MsgAnswer(answer));
    Pop3Scripts::session(f.server, "bob", "secret", {"a1"}, {100});
    Pop3Scripts::logout(f.server);
    const QString item = loggedInInTray(f.w, f.server);
    QVERIFY(!item.isEmpty());
    if (!loggedIn) {
        f.w.timLogin_Timer(); // the autologin's next step logs out in the tray
        QTRY_COMPARE(f.w.cmdLogin->text(), QStringLiteral("Login"));
        QTRY_VERIFY(f.server.isFinished());
    }
    QVERIFY(f.w.isHidden());

    QCOMPARE(runMainLoopUntilAnswered(m_panel.choose(item, QStringLiteral("Quit"))), mainLoop);

    QCOMPARE(f.boxes.texts(), loggedIn ? QStringList{QuitQuestion} : QStringList());
    if (loggedIn) {
        QCOMPARE(f.boxes.boxes.first().title, QStringLiteral("Mailvane "));
        QCOMPARE(f.boxes.boxes.first().buttons, MsgButtons::YesNo);
    }
    if (mainLoop == 0) {
        // Gone for good: no icon is left on the desktop, no timer runs.
        QTRY_COMPARE(m_panel.items(), QStringList());
        QVERIFY(f.w.isHidden());
        QVERIFY(!f.w.timLogin->isActive());
    } else {
        verifyStillInTray(f.w, item);
    }
    QCOMPARE(f.server.mismatches(), QStringList());
}

QTEST_MAIN(TestTrayDesktop)
#include "test_tray_desktop.moc"
