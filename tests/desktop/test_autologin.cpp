// Minimising to the tray and the autologin cycle through the real window
// against a scripted POP3 server: the timer's ticks are called by hand, the
// alerts are real windows, the tray icon's events come through its handler.

#include "desktop/AlertSlots.h"
#include "frmMainTestAccess.h"
#include "MessageBoxRecorder.h"
#include "PlatformRecorder.h"
#include "Pop3Scripts.h"
#include "ScriptedPop3Server.h"
#include "window/FlexGrid.h"
#include "window/frmAlertWindow.h"
#include "window/frmMain.h"
#include "window/ProgramIcon.h"
#include "WindowTestKit.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSystemTrayIcon>
#include <QTcpServer>
#include <QTimer>
#include <QtTest>

namespace {

const QString StoreName = QStringLiteral("bob_127.0.0.1.uidl");

QList<qint64> sizesFor(const QStringList &ids)
{
    return QList<qint64>(ids.size(), 100);
}

// The mailbox of these ids twice, each session ending in a logout: the
// login by hand and the autologin's.
void scriptTwoSessions(ScriptedPop3Server &server, const QStringList &ids)
{
    for (int session = 0; session < 2; ++session) {
        if (session > 0)
            server.acceptConnection();
        Pop3Scripts::session(server, "bob", "secret", ids, sizesFor(ids));
        Pop3Scripts::logout(server);
    }
}

QList<frmAlertWindow *> openAlerts()
{
    QList<frmAlertWindow *> alerts;
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (auto *alert = qobject_cast<frmAlertWindow *>(widget))
            alerts << alert;
    return alerts;
}

// A port nobody listens on.
quint16 deadPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

// A login has run to its end: logged in, no reply awaited any more (an
// empty mailbox shows no statistics).
bool loginEnded(const frmMain &w)
{
    return w.cmdLogin->text() == QLatin1String("Logout") && w.cmdLogin->isEnabled() && w.prgProgress->isHidden();
}

// Lets the events queued so far run: a zero timer posted now fires after
// every zero timer posted before it.
void settle()
{
    bool done = false;
    QTimer::singleShot(0, [&done] { done = true; });
    QTRY_VERIFY(done);
}

// What each alert was asked to show, taken the moment it first appears (its
// own timer moves it on from there).
class AlertWatcher : public QObject
{
public:
    struct Shown
    {
        QString text;
        qint64 ticksLeft = 0;
        qint64 step = 0;
        bool fade = true;
        bool untilClosed = true;
        bool noClickClose = true;
        int slot = 0;
    };
    QList<Shown> shown;

    AlertWatcher() { qApp->installEventFilter(this); }
    ~AlertWatcher() override { qApp->removeEventFilter(this); }

    bool eventFilter(QObject *object, QEvent *event) override
    {
        auto *alert = qobject_cast<frmAlertWindow *>(object);
        if (alert && event->type() == QEvent::Show && !alert->property("mvWatched").toBool()) {
            alert->setProperty("mvWatched", true);
            const AlertMotion &m = alert->motion();
            shown << Shown{m.labelText(), m.ticksLeft(), m.step(), m.fade(), m.untilClosed(), m.noClickClose(),
                           m.slot()};
        }
        return false;
    }
};

// Counts the application's quit requests (QCoreApplication::quit() while
// its loop runs).
struct QuitRequests : QObject
{
    QuitRequests() { QCoreApplication::instance()->installEventFilter(this); }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == QCoreApplication::instance() && event->type() == QEvent::Quit)
            ++count;
        return QObject::eventFilter(watched, event);
    }
    int count = 0;
};

} // namespace

class TestAutologin : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void cycleAnnouncesNewMailAndKeepsStore_data();
    void cycleAnnouncesNewMailAndKeepsStore();
    void alertClickBringsWindowBackAndAutologinGoesOn();
    void cycleWithChangedMailboxMarksOnlyItsOwnNewMail();
    void trayIconOnlyDoubleClickRestores_data();
    void trayIconOnlyDoubleClickRestores();
    void failedLoginWhileMinimisedStopsCycle_data();
    void failedLoginWhileMinimisedStopsCycle();
    void minimiseWhileOperationRunsLeavesAutologinOff();
    void minimiseBeforeFirstLoginOnlyHides();
    void withoutTrayWindowStaysMinimised();
    void trayQuitAgainWhileTheQuestionIsOpen();

private:
    // Logs the shown window in and waits until the login has fully ended.
    void loginVisible(frmMain &w, ScriptedPop3Server &server);
    void minimiseToTray(frmMain &w);
};

void TestAutologin::initTestCase()
{
    // As the program sets it at start; the tray icon shows the window's icon.
    QApplication::setWindowIcon(ProgramIcon());
}

void TestAutologin::init()
{
    QSettings(QStringLiteral("Mailvane"), QStringLiteral("Mailvane")).clear();
    QDir().remove(StoreName);
    QCOMPARE(AlertSlots::shared().mask(), 0);
}

void TestAutologin::cleanup()
{
    for (frmAlertWindow *alert : openAlerts())
        delete alert;
    QCOMPARE(AlertSlots::shared().mask(), 0);
}

void TestAutologin::loginVisible(frmMain &w, ScriptedPop3Server &server)
{
    kit::fillLogin(w, server.port());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.cmdLogin_Click();
    QTRY_VERIFY(loginEnded(w));
    QVERIFY(!w.ckAutoLogin->isHidden());
    QVERIFY(!w.ckAutoLogin->isChecked());
    QVERIFY(!w.timLogin->isActive());
}

void TestAutologin::minimiseToTray(frmMain &w)
{
    w.showMinimized();
    QVERIFY(kit::session(w).bMinimized());
    QTRY_VERIFY(w.isHidden());
}

void TestAutologin::cycleAnnouncesNewMailAndKeepsStore_data()
{
    QTest::addColumn<QByteArray>("store");
    QTest::addColumn<QStringList>("ids");
    QTest::addColumn<QString>("announced");

    const QStringList three{"a1", "b2", "c3"};
    QTest::newRow("all new") << QByteArray() << three << QStringLiteral("3 new mail(s)");
    QTest::newRow("one new") << QByteArray("a1\r\nb2\r\n") << three << QStringLiteral("1 new mail(s)");
    QTest::newRow("none new") << QByteArray("a1\r\nb2\r\nc3\r\n") << three << QStringLiteral("0 new mail(s)");
    QTest::newRow("empty mailbox") << QByteArray() << QStringList() << QStringLiteral("0 new mails");
}

void TestAutologin::cycleAnnouncesNewMailAndKeepsStore()
{
    QFETCH(QByteArray, store);
    QFETCH(QStringList, ids);
    QFETCH(QString, announced);
    if (!store.isEmpty())
        QVERIFY(kit::writeFile(StoreName, store));

    WindowFixture f;
    f.platform.systemTrayAvailableResult = true;
    AlertWatcher watcher;
    scriptTwoSessions(f.server, ids);

    loginVisible(f.w, f.server);
    f.boxes.clear(); // an empty mailbox says so while the window is shown

    // Minimising a logged-in, idle window switches autologin on.
    minimiseToTray(f.w);
    QVERIFY(f.w.ckAutoLogin->isChecked());
    QVERIFY(f.w.timLogin->isActive());
    QCOMPARE(f.w.timLogin->interval(), 60000);
    QVERIFY(f.w.trayIcon()->isVisible());
    QCOMPARE(f.w.trayIcon()->toolTip(), QStringLiteral("Mailvane "));

    // First tick: logout without the question; the store is left alone.
    f.w.timLogin_Timer();
    QTRY_COMPARE(f.w.cmdLogin->text(), QStringLiteral("Login"));
    QVERIFY(f.w.timLogin->isActive());
    QCOMPARE(kit::readFile(StoreName), store.isEmpty() ? QByteArray("<missing>") : store);

    // Second tick: login and an alert with the new-mail count.
    f.w.timLogin_Timer();
    QVERIFY(!f.w.timLogin->isActive()); // no tick while the login runs
    QTRY_COMPARE(watcher.shown.size(), 1);
    const AlertWatcher::Shown alert = watcher.shown.first();
    QCOMPARE(alert.text, QStringLiteral("Mailvane\r\nMailbox of bob\r\n") + announced);
    QCOMPARE(alert.ticksLeft, 1000); // 10 seconds
    QVERIFY(!alert.fade);
    QCOMPARE(alert.step, 50); // sliding, slot 1
    QCOMPARE(alert.slot, 1);
    QVERIFY(!alert.untilClosed);
    QVERIFY(!alert.noClickClose);
    QTRY_VERIFY(loginEnded(f.w));
    QVERIFY(f.w.timLogin->isActive()); // started again at the end of the login

    // Square, fitted to its text, pale yellow in the bottom-right corner only.
    const QList<frmAlertWindow *> alerts = openAlerts();
    QCOMPARE(alerts.size(), 1);
    frmAlertWindow *window = alerts.first();
    QVERIFY(window->mask().isEmpty());
    QCOMPARE(window->width(), 160);
    QVERIFY(window->height() < 2000 / 15);
    const QImage picture = window->grab().toImage();
    QVERIFY(kit::nearColour(picture.pixelColor(3, 3), Qt::white));
    QVERIFY(kit::nearColour(picture.pixelColor(picture.width() - 3, picture.height() - 3), QColor(255, 255, 192)));

    QVERIFY(f.w.isHidden());
    QVERIFY(kit::session(f.w).bMinimized());
    QCOMPARE(f.boxes.texts(), QStringList());
    QCOMPARE(kit::readFile(StoreName), store.isEmpty() ? QByteArray("<missing>") : store);

    // A double-click on the tray icon brings the window back and ends autologin.
    f.w.TrayIcon_Activated(QSystemTrayIcon::DoubleClick);
    QVERIFY(!f.w.isHidden());
    QVERIFY(!f.w.isMinimized());
    QVERIFY(!kit::session(f.w).bMinimized());
    QVERIFY(!f.w.ckAutoLogin->isChecked());
    QVERIFY(!f.w.timLogin->isActive());
    QTRY_VERIFY(!f.w.trayIcon()->isVisible()); // gone once the window is active again

    // Logging out by hand now writes what has been seen.
    f.boxes.answers.enqueue(MsgAnswer::Yes);
    f.w.cmdLogin_Click();
    QCOMPARE(f.boxes.texts(), QStringList{QStringLiteral("Confirm Logout?")});
    QTRY_COMPARE(f.w.cmdLogin->text(), QStringLiteral("Login"));
    QTRY_VERIFY(f.server.isFinished());
    QCOMPARE(f.server.mismatches(), QStringList());
    QVERIFY(!f.w.timLogin->isActive());
    if (!ids.isEmpty())
        QCOMPARE(kit::readFile(StoreName), ids.join(QStringLiteral("\r\n")).toLatin1() + "\r\n");
}

void TestAutologin::alertClickBringsWindowBackAndAutologinGoesOn()
{
    WindowFixture f;
    f.platform.systemTrayAvailableResult = true;
    const QStringList ids{"a1", "b2"};
    scriptTwoSessions(f.server, ids);

    loginVisible(f.w, f.server);
    minimiseToTray(f.w);
    f.w.timLogin_Timer();
    QTRY_COMPARE(f.w.cmdLogin->text(), QStringLiteral("Login"));
    f.w.timLogin_Timer();
    QTRY_COMPARE(openAlerts().size(), 1);
    QTRY_VERIFY(loginEnded(f.w));

    QTest::mouseClick(openAlerts().first(), Qt::LeftButton);
    QVERIFY(!f.w.isHidden());
    QVERIFY(!f.w.isMinimized());
    QVERIFY(!kit::session(f.w).bMinimized());
    QVERIFY(f.w.ckAutoLogin->isChecked());
    QVERIFY(f.w.timLogin->isActive());

    // A minute later the visible window logs out by itself, without asking.
    f.w.timLogin_Timer();
    QTRY_COMPARE(f.w.cmdLogin->text(), QStringLiteral("Login"));
    QVERIFY(f.w.timLogin->isActive());
    QTRY_VERIFY(f.server.isFinished());
    QCOMPARE(f.server.mismatches(), QStringList());
    QCOMPARE(f.boxes.texts(), QStringList());
    // Shown again, the window writes the store at logout.
    QCOMPARE(kit::readFile(StoreName), QByteArray("a1\r\nb2\r\n"));
}

void TestAutologin::cycleWithChangedMailboxMarksOnlyItsOwnNewMail()
{
    QVERIFY(kit::writeFile(StoreName, "a1\r\nb2\r\nc3\r\n"));
    WindowFixture f;
    f.platform.systemTrayAvailableResult = true;
    AlertWatcher watcher;
    // Mail 3 is new in the first session; between the cycles it goes and
    // another arrives, so that mail 4 is the one new mail of the second.
    const QStringList first{"a1", "b2", "n1", "c3"};
    const QStringList second{"a1", "b2", "c3", "n2"};
    Pop3Scripts::session(f.server, "bob", "secret", first, sizesFor(first));
    kit::scriptTops(f.server, kit::numberedMails(4), 1, 4);
    Pop3Scripts::logout(f.server);
    f.server.acceptConnection();
    Pop3Scripts::session(f.server, "bob", "secret", second, sizesFor(second));
    kit::scriptTops(f.server, kit::numberedMails(4), 1, 4);
    kit::scriptTops(f.server, kit::numberedMails(4), 1, 4);
    Pop3Scripts::logout(f.server);

    loginVisible(f.w, f.server);
    QVERIFY(kit::showMails(f.w, 1, 4));
    QCOMPARE(kit::column(f.w.grdMails, 3), QStringList({"1", "2", "3", "4"}));
    QCOMPARE(kit::blueMails(f.w.grdMails), QStringList{"3"});

    minimiseToTray(f.w);
    f.w.timLogin_Timer();
    QTRY_COMPARE(f.w.cmdLogin->text(), QStringLiteral("Login"));
    f.w.timLogin_Timer();
    QTRY_COMPARE(watcher.shown.size(), 1);
    QCOMPARE(watcher.shown.first().text, QStringLiteral("Mailvane\r\nMailbox of bob\r\n1 new mail(s)"));
    QTRY_VERIFY(loginEnded(f.w));

    f.w.TrayIcon_Activated(QSystemTrayIcon::DoubleClick);
    QVERIFY(!kit::session(f.w).bMinimized());
    QVERIFY(kit::showMails(f.w, 1, 4));
    QCOMPARE(kit::column(f.w.grdMails, 3), QStringList({"1", "2", "3", "4"}));
    QCOMPARE(kit::blueMails(f.w.grdMails), QStringList{"4"});
    f.w.ckShowOnlyNew->setChecked(true);
    QVERIFY(kit::showMails(f.w, 1, 4));
    QCOMPARE(kit::column(f.w.grdMails, 3), QStringList{"4"});
    QCOMPARE(kit::blueMails(f.w.grdMails), QStringList{"4"});

    f.boxes.answers.enqueue(MsgAnswer::Yes);
    f.w.cmdLogin_Click();
    QTRY_COMPARE(f.w.cmdLogin->text(), QStringLiteral("Login"));
    QTRY_VERIFY(f.server.isFinished());
    QCOMPARE(f.server.mismatches(), QStringList());
    QCOMPARE(f.boxes.texts(), QStringList{QStringLiteral("Confirm Logout?")});
}

void TestAutologin::trayIconOnlyDoubleClickRestores_data()
{
    QTest::addColumn<int>("reason");
    QTest::newRow("single click") << int(QSystemTrayIcon::Trigger);
    QTest::newRow("right click") << int(QSystemTrayIcon::Context);
    QTest::newRow("middle click") << int(QSystemTrayIcon::MiddleClick);
}

void TestAutologin::trayIconOnlyDoubleClickRestores()
{
    QFETCH(int, reason);
    WindowFixture f;
    f.platform.systemTrayAvailableResult = true;
    Pop3Scripts::session(f.server, "bob", "secret", {"a1"}, {100});

    loginVisible(f.w, f.server);
    minimiseToTray(f.w);
    QVERIFY(f.w.ckAutoLogin->isChecked());

    f.w.TrayIcon_Activated(reason);
    settle();
    QVERIFY(f.w.isHidden());
    QVERIFY(kit::session(f.w).bMinimized());
    QVERIFY(f.w.ckAutoLogin->isChecked());
    QVERIFY(f.w.timLogin->isActive());
    QVERIFY(f.w.trayIcon()->isVisible());

    f.w.TrayIcon_Activated(QSystemTrayIcon::DoubleClick);
    QVERIFY(!f.w.isHidden());
    QVERIFY(!kit::session(f.w).bMinimized());
    QVERIFY(!f.w.ckAutoLogin->isChecked());
    QVERIFY(!f.w.timLogin->isActive());
    QCOMPARE(f.boxes.texts(), QStringList());
}

void TestAutologin::failedLoginWhileMinimisedStopsCycle_data()
{
    QTest::addColumn<bool>("serverDown");
    QTest::newRow("password refused") << false;
    QTest::newRow("server down") << true;
}

void TestAutologin::failedLoginWhileMinimisedStopsCycle()
{
    QFETCH(bool, serverDown);
    WindowFixture f;
    f.platform.systemTrayAvailableResult = true;
    AlertWatcher watcher;
    Pop3Scripts::session(f.server, "bob", "secret", {"a1"}, {100});
    Pop3Scripts::logout(f.server);
    if (!serverDown) {
        f.server.acceptConnection();
        Pop3Scripts::greetingWithoutCapa(f.server);
        f.server.reply("USER bob\r\n", "+OK\r\n");
        f.server.reply("PASS secret\r\n", "-ERR [AUTH] Authentication failed.\r\n");
    }

    loginVisible(f.w, f.server);
    minimiseToTray(f.w);
    f.w.timLogin_Timer();
    QTRY_COMPARE(f.w.cmdLogin->text(), QStringLiteral("Login"));
    QVERIFY(f.w.timLogin->isActive());
    if (serverDown)
        f.w.cboPort->setEditText(QString::number(deadPort()));

    f.w.timLogin_Timer();
    QVERIFY(!f.w.prgProgress->isHidden());
    // The failure has been dealt with once the progress display is gone.
    QTRY_VERIFY(f.w.prgProgress->isHidden());
    QTRY_VERIFY(f.server.isFinished());
    QCOMPARE(f.server.mismatches(), QStringList());

    QVERIFY(!f.w.timLogin->isActive());
    QCOMPARE(f.boxes.texts(), QStringList());
    QVERIFY(watcher.shown.isEmpty());
    QVERIFY(openAlerts().isEmpty());
    QVERIFY(f.w.isHidden());
    QVERIFY(kit::session(f.w).bMinimized());
}

void TestAutologin::minimiseWhileOperationRunsLeavesAutologinOff()
{
    WindowFixture f;
    f.platform.systemTrayAvailableResult = true;
    Pop3Scripts::session(f.server, "bob", "secret", {"a1"}, {100});
    Pop3Scripts::logout(f.server);
    f.server.acceptConnection(); // and no greeting: the login goes on and on

    loginVisible(f.w, f.server);
    f.w.cmdLogin_Click(); // "Confirm Logout?" answered Yes
    QTRY_COMPARE(f.w.cmdLogin->text(), QStringLiteral("Login"));
    f.w.cmdLogin_Click();
    QVERIFY(!f.w.prgProgress->isHidden());
    QTRY_COMPARE(f.server.connectionCount(), 2);

    minimiseToTray(f.w);
    QVERIFY(!f.w.ckAutoLogin->isHidden());
    QVERIFY(!f.w.ckAutoLogin->isChecked());
    QVERIFY(!f.w.timLogin->isActive());
    QVERIFY(f.w.trayIcon()->isVisible());
}

void TestAutologin::minimiseBeforeFirstLoginOnlyHides()
{
    RecordedWindow f;
    f.platform.systemTrayAvailableResult = true;
    f.w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.w));
    minimiseToTray(f.w);
    QVERIFY(f.w.ckAutoLogin->isHidden());
    QVERIFY(!f.w.ckAutoLogin->isChecked());
    QVERIFY(!f.w.timLogin->isActive());
    QVERIFY(f.w.trayIcon()->isVisible());

    f.w.TrayIcon_Activated(QSystemTrayIcon::DoubleClick);
    QVERIFY(!f.w.isHidden());
    QVERIFY(!kit::session(f.w).bMinimized());
    QVERIFY(!f.w.timLogin->isActive());
}

void TestAutologin::withoutTrayWindowStaysMinimised()
{
    WindowFixture f;
    f.platform.systemTrayAvailableResult = false;
    Pop3Scripts::session(f.server, "bob", "secret", {"a1"}, {100});
    Pop3Scripts::logout(f.server);

    loginVisible(f.w, f.server);
    f.w.showMinimized();
    settle();
    QVERIFY(kit::session(f.w).bMinimized());
    QVERIFY(!f.w.isHidden()); // still reachable from the task bar
    QVERIFY(f.w.isMinimized());
    QVERIFY(!f.w.trayIcon()->isVisible());
    QVERIFY(f.w.ckAutoLogin->isChecked());
    QVERIFY(f.w.timLogin->isActive());

    // Autologin runs as in the tray.
    f.w.timLogin_Timer();
    QTRY_COMPARE(f.w.cmdLogin->text(), QStringLiteral("Login"));
    QTRY_VERIFY(f.server.isFinished());
    QCOMPARE(f.server.mismatches(), QStringList());
    QCOMPARE(f.boxes.texts(), QStringList());
    QCOMPARE(kit::readFile(StoreName), QByteArray("<missing>"));

    // Restoring it from the task bar is what the tray's double-click is.
    f.w.setWindowState(Qt::WindowNoState);
    QVERIFY(!kit::session(f.w).bMinimized());
    QVERIFY(!f.w.ckAutoLogin->isChecked());
    QVERIFY(!f.w.timLogin->isActive());
}

void TestAutologin::trayQuitAgainWhileTheQuestionIsOpen()
{
    // The tray's menu stays usable while the quit question is open; Quit
    // chosen there again is the same request, which the one question
    // answers: no second question, and no quitting behind the first one's
    // back. It runs in the application's own loop, where quitting is real.
    WindowFixture f;
    f.platform.systemTrayAvailableResult = true;
    Pop3Scripts::session(f.server, "bob", "secret", {"a1"}, {100});
    loginVisible(f.w, f.server);
    minimiseToTray(f.w);
    const QString question = QStringLiteral("You have not logged out yet, Do you still want to quit?");
    for (int i = 0; i < 3; ++i)
        f.boxes.answers.enqueue(MsgAnswer::No);
    bool choseAgain = false;
    f.boxes.holdOpen(question, [&] { return choseAgain; });
    QuitRequests quitRequests;
    QTimer::singleShot(0, &f.w, [&] {
        QTimer::singleShot(0, &f.w, [&] {
            f.w.mnuTrayQuit->trigger();
            choseAgain = true;
        });
        f.w.mnuTrayQuit->trigger();
        QCoreApplication::exit(0);
    });
    QCoreApplication::exec();
    QVERIFY(choseAgain);
    QVERIFY(f.boxes.heldTooLong.isEmpty());
    QCOMPARE(f.boxes.texts(), QStringList{question});
    QCOMPARE(quitRequests.count, 0);
    QCOMPARE(f.w.cmdLogin->text(), QStringLiteral("Logout"));
    QVERIFY(kit::session(f.w).bMinimized());

    // Answered No, the question is asked anew the next time.
    f.w.mnuTrayQuit->trigger();
    QCOMPARE(f.boxes.texts(), (QStringList{question, question}));
    QCOMPARE(f.w.cmdLogin->text(), QStringLiteral("Logout"));
}

QTEST_MAIN(TestAutologin)
#include "test_autologin.moc"
