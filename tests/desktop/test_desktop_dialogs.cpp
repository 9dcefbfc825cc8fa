// The about box, the system-information dialog and the help window, offscreen.

#include "desktop/SystemInfoText.h"
#include "PlatformRecorder.h"
#include "window/dlgSysinfo.h"
#include "window/frmAbout.h"
#include "window/frmHelp.h"
#include "window/HelpMode.h"
#include "window/ProgramIcon.h"
#include "WindowTestKit.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>
#include <QtTest>

#include <memory>

namespace {

// A stand-in for the main window's part that help mode works on.
struct HelpPanel
{
    QWidget window;
    QList<QPushButton *> buttons; // topic order 1..9
    QCheckBox *ckUpdtChanges = nullptr;
    QCheckBox *ckAutoLogin = nullptr;
    HelpButtons refs;

    HelpPanel()
    {
        auto *layout = new QVBoxLayout(&window);
        const char *names[] = {"cmdHlpLogin", "cmdHlpUpdtChanges", "cmdHlpSaveLogin",
                               "cmdHlpLoadLogin", "cmdHlpStats", "cmdHlpRetrieval",
                               "cmdHlpDeletion", "cmdHlpMails", "cmdHlpAutoLogin"};
        for (const char *name : names) {
            auto *button = new QPushButton(QStringLiteral("?"), &window);
            button->setObjectName(QLatin1String(name));
            layout->addWidget(button);
            buttons << button;
        }
        ckUpdtChanges = new QCheckBox(QStringLiteral("Update Changes"), &window);
        ckAutoLogin = new QCheckBox(QStringLiteral("Do AutoLogin "), &window);
        layout->addWidget(ckUpdtChanges);
        layout->addWidget(ckAutoLogin);
        refs = HelpButtons{buttons[0], buttons[1], buttons[2], buttons[3], buttons[4],
                           buttons[5], buttons[6], buttons[7], buttons[8], ckUpdtChanges, ckAutoLogin};
    }

    // Which buttons carry their own "shown" flag, in topic order.
    QList<bool> shown() const
    {
        QList<bool> result;
        for (QPushButton *button : buttons)
            result << button->isVisibleTo(&const_cast<QWidget &>(window));
        return result;
    }
};

QString storedHelp()
{
    return QSettings(QStringLiteral("Mailvane"), QStringLiteral("Mailvane"))
        .value(QStringLiteral("Settings/Help"))
        .toString();
}

OsVersionInfo xpSp1()
{
    OsVersionInfo info;
    info.ok = true;
    info.platformId = OsVersionInfo::WinNT;
    info.major = 5;
    info.minor = 1;
    info.build = 2600;
    info.servicePack = QStringLiteral("Service Pack 1");
    return info;
}

} // namespace

class TestDesktopDialogs : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void aboutCaptions();
    void aboutVisitWebsite();
    void aboutClosedAtStartShowsMainWindow_data();
    void aboutClosedAtStartShowsMainWindow();
    void aboutClosedFromMainWindowLeavesIt();
    void aboutOpensSysinfo();

    void sysinfoOnThisSystem();

    void helpTopics_data();
    void helpTopics();
    void helpOtherTopicKeepsContent();
    void helpCloseOnlyHides();

    void helpStatusShowsAndStores();
    void helpStatusBeforeWindowShown();
    void helpButtonsInvokeTopicsAndUnload();
};

void TestDesktopDialogs::init()
{
    QSettings(QStringLiteral("Mailvane"), QStringLiteral("Mailvane")).remove(QStringLiteral("Settings"));
}

void TestDesktopDialogs::aboutCaptions()
{
    PlatformRecorder platform;
    frmAbout about;
    QCOMPARE(about.windowTitle(), QStringLiteral("About Mailvane "));
    QCOMPARE(kit::child<QLabel>(&about, "lblTitle")->text(), QStringLiteral("Mailvane Ver. 2.6.2"));
    QCOMPARE(kit::child<QPushButton>(&about, "cmdOK")->text(), QStringLiteral("OK"));
    QCOMPARE(kit::child<QPushButton>(&about, "cmdSysInfo")->text(), QStringLiteral("&System Info..."));
    QCOMPARE(kit::child<QPushButton>(&about, "cmdWebsite")->text(), QStringLiteral("Visit Website"));
    QLabel *picIcon = kit::child<QLabel>(&about, "picIcon");
    QVERIFY(picIcon);
    QVERIFY(!picIcon->pixmap().isNull());
    QVERIFY(!ProgramIcon().isNull());
    // Loading the box asks the system for nothing.
    QVERIFY(platform.calls.isEmpty());
}

void TestDesktopDialogs::aboutVisitWebsite()
{
    PlatformRecorder platform;
    platform.openUrlResult = false; // not checked: no message, the box stays
    frmAbout about;
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));

    QTest::mouseClick(kit::child<QPushButton>(&about, "cmdWebsite"), Qt::LeftButton);
    QCOMPARE(platform.functionsCalled(), QStringList{"openUrl"});
    QCOMPARE(platform.calls[0].args, QStringList{"https://www.mailvane.org/"});
    QVERIFY(about.isVisible());
}

void TestDesktopDialogs::aboutClosedAtStartShowsMainWindow_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("OK") << QStringLiteral("ok");
    QTest::newRow("window closed") << QStringLiteral("close");
    QTest::newRow("Escape") << QStringLiteral("escape");
}

void TestDesktopDialogs::aboutClosedAtStartShowsMainWindow()
{
    QFETCH(QString, how);
    PlatformRecorder platform;
    QWidget mainWindow;
    auto *about = new frmAbout;
    about->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<frmAbout> guard(about);
    about->setMainWindow(&mainWindow);
    QSignalSpy unloaded(about, &frmAbout::unloaded);
    about->show();
    QVERIFY(QTest::qWaitForWindowExposed(about));
    QVERIFY(!mainWindow.isVisible());

    if (how == QLatin1String("ok"))
        QTest::mouseClick(kit::child<QPushButton>(about, "cmdOK"), Qt::LeftButton);
    else if (how == QLatin1String("close"))
        about->close();
    else
        QTest::keyClick(about, Qt::Key_Escape);

    QCOMPARE(unloaded.count(), 1);
    QVERIFY(mainWindow.isVisible());
    QTRY_VERIFY(guard.isNull());
}

void TestDesktopDialogs::aboutClosedFromMainWindowLeavesIt()
{
    PlatformRecorder platform;
    QWidget mainWindow;
    mainWindow.resize(300, 200);
    mainWindow.show();
    QVERIFY(QTest::qWaitForWindowExposed(&mainWindow));
    const QRect before = mainWindow.geometry();

    frmAbout about(&mainWindow);
    about.setMainWindow(&mainWindow);
    QSignalSpy unloaded(&about, &frmAbout::unloaded);
    QTimer::singleShot(0, &about, [&about] {
        QTest::mouseClick(kit::child<QPushButton>(&about, "cmdOK"), Qt::LeftButton);
    });
    about.exec();

    QCOMPARE(unloaded.count(), 1);
    QVERIFY(!about.isVisible());
    QVERIFY(mainWindow.isVisible());
    QCOMPARE(mainWindow.geometry(), before);
}

void TestDesktopDialogs::aboutOpensSysinfo()
{
    PlatformRecorder platform;
    platform.osVersionAnswer = xpSp1();
    platform.memoryStatusAnswer.ok = true;
    platform.memoryStatusAnswer.memoryLoad = 37;
    platform.memoryStatusAnswer.totalPhys = Q_UINT64_C(8589934592);
    platform.memoryStatusAnswer.availPhys = Q_UINT64_C(3221225472);

    frmAbout about;
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    QTest::mouseClick(kit::child<QPushButton>(&about, "cmdSysInfo"), Qt::LeftButton);

    QPointer<dlgSysinfo> dialog = about.findChild<dlgSysinfo *>();
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    QVERIFY(dialog->isModal());
    QCOMPARE(dialog->windowTitle(), QStringLiteral("System Info"));
    QVERIFY(kit::child<QGroupBox>(dialog, "Frame1"));
    QCOMPARE(kit::child<QLabel>(dialog, "lblWindowsVersion")->text(),
             QStringLiteral("Windows XP (Version 5.1) Build 2600 (Service Pack 1)"));
    QCOMPARE(kit::child<QLabel>(dialog, "lblMemoryUsed")->text(), QStringLiteral("Percentage of RAM in use:37%"));
    QCOMPARE(kit::child<QLabel>(dialog, "lblTotalMem")->text(), QStringLiteral("Total RAM:8589934592 bytes"));
    QCOMPARE(kit::child<QLabel>(dialog, "lblAvailMem")->text(), QStringLiteral("Available RAM:3221225472 bytes"));
    // Each figure comes from a single query.
    QCOMPARE(platform.count(QStringLiteral("osVersion")), 1);
    QCOMPARE(platform.count(QStringLiteral("memoryStatus")), 1);
    QCOMPARE(dialog->fOSName(), QStringLiteral("Windows XP (Version 5.1) Build 2600 (Service Pack 1)"));

    QPushButton *cmdClose = kit::child<QPushButton>(dialog, "cmdClose");
    QCOMPARE(cmdClose->text(), QStringLiteral("Close"));
    QTest::mouseClick(cmdClose, Qt::LeftButton);
    QTRY_VERIFY(dialog.isNull());
    QVERIFY(about.isVisible());
}

void TestDesktopDialogs::sysinfoOnThisSystem()
{
    // The real platform: some name, and the figures of /proc/meminfo.
    dlgSysinfo dialog;
    const QString name = kit::child<QLabel>(&dialog, "lblWindowsVersion")->text();
    QVERIFY(!name.isEmpty());
    QCOMPARE(name, dialog.fOSName());

    const QRegularExpression total(QStringLiteral("^Total RAM:([0-9]+) bytes$"));
    const QRegularExpressionMatch match = total.match(kit::child<QLabel>(&dialog, "lblTotalMem")->text());
    QVERIFY2(match.hasMatch(), qPrintable(kit::child<QLabel>(&dialog, "lblTotalMem")->text()));
    QVERIFY(match.captured(1).toULongLong() > 0);
    QVERIFY(QRegularExpression(QStringLiteral("^Percentage of RAM in use:[0-9]{1,3}%$"))
                .match(kit::child<QLabel>(&dialog, "lblMemoryUsed")->text())
                .hasMatch());
    QVERIFY(QRegularExpression(QStringLiteral("^Available RAM:[0-9]+ bytes$"))
                .match(kit::child<QLabel>(&dialog, "lblAvailMem")->text())
                .hasMatch());
}

void TestDesktopDialogs::helpTopics_data()
{
    QTest::addColumn<int>("topic");
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("lines");
    QTest::addColumn<QString>("firstLine");

    QTest::newRow("1") << 1 << QStringLiteral("Login") << 6
                       << QStringLiteral("This enables you to login to your POP3 mail account. You can either "
                                         "type in your username, password and mail server or use the Load "
                                         "Login option to get it from a saved file.");
    QTest::newRow("2") << 2 << QStringLiteral("Update Changes") << 2
                       << QStringLiteral("This checkbox becomes visible whenever you delete any mail from your "
                                         "mailbox. By default, this option is enabled so that when you "
                                         "logout, the deleted mails are cleared from your mail server.");
    QTest::newRow("3") << 3 << QStringLiteral("Save Login") << 2
                       << QStringLiteral("This allows you to save username, password and mailserver into a "
                                         "file of your choice. The file will have the extension of .mvl and "
                                         "can be retrieved by using the Load Login feature.");
    QTest::newRow("4") << 4 << QStringLiteral("Load Login") << 1
                       << QStringLiteral("Login details saved by the Save Login option can be retrieved using "
                                         "this feature. Once you select the file, it will fill in the "
                                         "username, password and mail server fields automatically.");
    QTest::newRow("5") << 5 << QStringLiteral("Mailbox Statistics") << 2
                       << QStringLiteral("After logging in, this shows the number of mails in your mailbox "
                                         "and their total size in bytes.");
    QTest::newRow("6") << 6 << QStringLiteral("Retrieval") << 5
                       << QStringLiteral("This fetches the mail headers from your mailbox. You can choose "
                                         "which mails to fetch from the From and Till combo boxes. ");
    QTest::newRow("7") << 7 << QStringLiteral("Deletion") << 4
                       << QStringLiteral("You can delete mails between the From and Till selection.");
    QTest::newRow("8") << 8 << QStringLiteral("Mails") << 3
                       << QStringLiteral("This shows the retrieved mail headers. It shows the Date, From email "
                                         "id and Subject of each mail retrieved.");
    QTest::newRow("9") << 9 << QStringLiteral("AutoLogin") << 2
                       << QStringLiteral("AutoLogin is mostly of use when Mailvane is minimized to the system "
                                         "tray.");
}

void TestDesktopDialogs::helpTopics()
{
    QFETCH(int, topic);
    QFETCH(QString, title);
    QFETCH(int, lines);
    QFETCH(QString, firstLine);

    frmHelp help;
    QCOMPARE(help.windowTitle(), QStringLiteral("Mailvane Help"));
    QVERIFY(!help.isModal());
    help.ShowHelp(topic);
    QVERIFY(help.isVisible());

    QCOMPARE(kit::child<QLabel>(&help, "lblTitle")->text(), title);
    const QString shown = kit::child<QPlainTextEdit>(&help, "txtHelp")->toPlainText();
    QCOMPARE(shown, frmHelp::TopicText(topic).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    QVERIFY(!frmHelp::TopicText(topic).contains(QRegularExpression(QStringLiteral("\r(?!\n)|(?<!\r)\n"))));
    const QStringList shownLines = shown.split(QLatin1Char('\n'));
    QCOMPARE(shownLines.size(), lines);
    QCOMPARE(shownLines.first(), firstLine);
    if (topic == 1) {
        // The example line, then one empty line before the Hotmail paragraphs.
        QVERIFY(shownLines[1].startsWith(QLatin1String("Eg.")));
        QVERIFY(shownLines[1].endsWith(
            QLatin1String("In case you do not know your mail server, you can ask your Sys admin.")));
        QCOMPARE(shownLines[2], QString());
        QCOMPARE(shownLines[5], QStringLiteral("The red light signifies the current state of the mail account. "
                                               "If it is red then you have not logged into your mail account "
                                               "yet. Once you login successfully, it turns green."));
    }
}

void TestDesktopDialogs::helpOtherTopicKeepsContent()
{
    frmHelp help;
    help.ShowHelp(5);
    help.hide();
    help.ShowHelp(0);
    QVERIFY(help.isVisible());
    QCOMPARE(kit::child<QLabel>(&help, "lblTitle")->text(), QStringLiteral("Mailbox Statistics"));
    help.hide();
    help.ShowHelp(10);
    QVERIFY(help.isVisible());
    QCOMPARE(kit::child<QLabel>(&help, "lblTitle")->text(), QStringLiteral("Mailbox Statistics"));
    QVERIFY(kit::child<QPlainTextEdit>(&help, "txtHelp")->toPlainText().startsWith(
        QLatin1String("After logging in")));
}

void TestDesktopDialogs::helpCloseOnlyHides()
{
    auto help = std::make_unique<frmHelp>();
    QPointer<frmHelp> guard(help.get());
    help->ShowHelp(2);
    QVERIFY(QTest::qWaitForWindowExposed(help.get()));
    QPushButton *cmdClose = kit::child<QPushButton>(help.get(), "cmdClose");
    QCOMPARE(cmdClose->text(), QStringLiteral("Close"));
    QTest::mouseClick(cmdClose, Qt::LeftButton);
    QVERIFY(!help->isVisible());
    QCoreApplication::processEvents();
    QVERIFY(!guard.isNull());
}

void TestDesktopDialogs::helpStatusShowsAndStores()
{
    QVERIFY(HelpMode::StoredHelpFlag()); // nothing stored counts as on

    HelpPanel panel;
    panel.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel.window));
    panel.ckUpdtChanges->hide();
    panel.ckAutoLogin->hide();
    HelpMode help(&panel.window);
    help.setButtons(panel.refs);

    help.HelpStatus(true);
    QCOMPARE(panel.shown(), (QList<bool>{true, false, true, true, true, true, true, true, false}));
    QCOMPARE(storedHelp(), QStringLiteral("1"));

    // The two conditional areas appear later; their "?" follow when asked to.
    panel.ckAutoLogin->show();
    panel.ckUpdtChanges->show();
    help.SyncConditionalButtons(true);
    QCOMPARE(panel.shown(), QList<bool>(9, true));

    help.HelpStatus(false);
    QCOMPARE(panel.shown(), QList<bool>(9, false));
    QCOMPARE(storedHelp(), QStringLiteral("0"));
    QVERIFY(!HelpMode::StoredHelpFlag());

    // Help mode off: a box that appears brings no "?".
    help.SyncConditionalButtons(false);
    QCOMPARE(panel.shown(), QList<bool>(9, false));

    help.HelpStatus(true);
    QCOMPARE(panel.shown(), QList<bool>(9, true));
    QVERIFY(HelpMode::StoredHelpFlag());

    panel.ckUpdtChanges->hide();
    help.SyncConditionalButtons(true);
    QCOMPARE(panel.shown(), (QList<bool>{true, false, true, true, true, true, true, true, true}));
}

void TestDesktopDialogs::helpStatusBeforeWindowShown()
{
    // At start-up the window is not shown yet: a box nobody hid still counts
    // as visible, a hidden one does not.
    HelpPanel panel;
    panel.ckAutoLogin->hide();
    HelpMode help(&panel.window);
    help.setButtons(panel.refs);
    help.HelpStatus(true);
    QCOMPARE(panel.shown(), (QList<bool>{true, true, true, true, true, true, true, true, false}));
}

void TestDesktopDialogs::helpButtonsInvokeTopicsAndUnload()
{
    HelpPanel panel;
    panel.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel.window));
    HelpMode help(&panel.window);
    help.setButtons(panel.refs);
    help.connectButtons();
    help.HelpStatus(true);
    QVERIFY(!help.isHelpLoaded());

    QTest::mouseClick(panel.buttons[4], Qt::LeftButton); // statistics
    QVERIFY(help.isHelpLoaded());
    QPointer<frmHelp> first = help.helpWindow();
    QVERIFY(first->isVisible());
    QCOMPARE(first->parentWidget(), &panel.window);
    QCOMPARE(kit::child<QLabel>(first, "lblTitle")->text(), QStringLiteral("Mailbox Statistics"));
    QCOMPARE(kit::child<QPlainTextEdit>(first, "txtHelp")->toPlainText().split(QLatin1Char('\n')).size(), 2);

    // A second request reuses the loaded window.
    QTest::mouseClick(panel.buttons[5], Qt::LeftButton);
    QCOMPARE(help.helpWindow(), first.data());
    QCOMPARE(kit::child<QLabel>(first, "lblTitle")->text(), QStringLiteral("Retrieval"));

    // Each button opens its own topic.
    for (int topic = 1; topic <= frmHelp::TopicCount; ++topic) {
        panel.buttons[topic - 1]->click();
        QCOMPARE(kit::child<QLabel>(help.helpWindow(), "lblTitle")->text(), frmHelp::TopicTitle(topic));
    }

    // What the main window does when it becomes active again.
    help.UnloadHelp();
    QVERIFY(!help.isHelpLoaded());
    QTRY_VERIFY(first.isNull());
    help.UnloadHelp(); // nothing loaded: nothing to do

    // The next request loads it anew.
    help.InvokeHelp(HelpTopicAutoLogin);
    QVERIFY(help.isHelpLoaded());
    QCOMPARE(kit::child<QLabel>(help.helpWindow(), "lblTitle")->text(), QStringLiteral("AutoLogin"));
}

QTEST_MAIN(TestDesktopDialogs)
#include "test_desktop_dialogs.moc"
