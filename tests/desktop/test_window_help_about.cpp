// The main window's help buttons and help window, its About button, and the
// program's start: the about box first, the main window when it closes.

#include "MessageBoxRecorder.h"
#include "PlatformRecorder.h"
#include "Pop3Scripts.h"
#include "ScriptedPop3Server.h"
#include "window/frmAbout.h"
#include "window/frmHelp.h"
#include "window/frmMain.h"
#include "window/ProgramIcon.h"
#include "window/ProgramStart.h"
#include "WindowTestKit.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QtTest>

namespace {

// Counts the paint events a widget receives.
struct PaintCounter : QObject
{
    explicit PaintCounter(QWidget *widget) { widget->installEventFilter(this); }
    bool eventFilter(QObject *, QEvent *event) override
    {
        count += event->type() == QEvent::Paint;
        return false;
    }
    int count = 0;
};

QString helpTitle(frmHelp *help)
{
    return kit::child<QLabel>(help, QStringLiteral("lblTitle"))->text();
}

// The window with every area showing, as after a login and a deletion.
void showAllAreas(frmMain &w)
{
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    for (QWidget *area : {static_cast<QWidget *>(w.fraStats), static_cast<QWidget *>(w.fraBrowse),
                          static_cast<QWidget *>(w.fraRetrieval), static_cast<QWidget *>(w.fraDeletion),
                          static_cast<QWidget *>(w.ckUpdtChanges), static_cast<QWidget *>(w.ckAutoLogin)})
        area->show();
    w.HelpStatus(true);
}

// The colour most of the button's face shows in the window as drawn, the
// frame and the "?" left out.
QColor faceColour(QWidget *window, QWidget *button)
{
    const QImage shot = window->grab().toImage();
    const QRect face = QRect(button->mapTo(window, QPoint(0, 0)), button->size()).adjusted(3, 3, -3, -3);
    QHash<QRgb, int> counts;
    for (int y = face.top(); y <= face.bottom(); ++y)
        for (int x = face.left(); x <= face.right(); ++x)
            ++counts[shot.pixel(x, y)];
    QRgb most = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.value() > counts.value(most))
            most = it.key();
    return QColor(most);
}

QImage iconImage(const QIcon &icon)
{
    return icon.pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
}

} // namespace

class TestWindowHelpAbout : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void helpButtonOpensItsTopic_data();
    void helpButtonOpensItsTopic();
    void helpButtonsArePaleYellow_data() { helpButtonOpensItsTopic_data(); }
    void helpButtonsArePaleYellow();
    void statisticsHelpClosesWhenMainWindowIsActivated();
    void helpWindowGoesWithMainWindow();
    void autologinHelpAppearsWithLoginInHelpMode_data();
    void autologinHelpAppearsWithLoginInHelpMode();

    void aboutButtonOpensModalAboutBox();
    void programStartsWithAboutBoxAndIcon_data();
    void programStartsWithAboutBoxAndIcon();
};

void TestWindowHelpAbout::init()
{
    QSettings(QStringLiteral("Mailvane"), QStringLiteral("Mailvane")).clear();
}

void TestWindowHelpAbout::helpButtonOpensItsTopic_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("title");
    QTest::newRow("login") << QStringLiteral("cmdHlpLogin") << QStringLiteral("Login");
    QTest::newRow("update changes") << QStringLiteral("cmdHlpUpdtChanges") << QStringLiteral("Update Changes");
    QTest::newRow("save login") << QStringLiteral("cmdHlpSaveLogin") << QStringLiteral("Save Login");
    QTest::newRow("load login") << QStringLiteral("cmdHlpLoadLogin") << QStringLiteral("Load Login");
    QTest::newRow("statistics") << QStringLiteral("cmdHlpStats") << QStringLiteral("Mailbox Statistics");
    QTest::newRow("retrieval") << QStringLiteral("cmdHlpRetrieval") << QStringLiteral("Retrieval");
    QTest::newRow("deletion") << QStringLiteral("cmdHlpDeletion") << QStringLiteral("Deletion");
    QTest::newRow("mails") << QStringLiteral("cmdHlpMails") << QStringLiteral("Mails");
    QTest::newRow("autologin") << QStringLiteral("cmdHlpAutoLogin") << QStringLiteral("AutoLogin");
}

void TestWindowHelpAbout::helpButtonOpensItsTopic()
{
    QFETCH(QString, button);
    QFETCH(QString, title);
    frmMain w;
    showAllAreas(w);
    QPushButton *help = kit::child<QPushButton>(&w, button);
    QVERIFY(help);
    QVERIFY(help->isVisible());
    QCOMPARE(help->text(), QStringLiteral("?"));
    QVERIFY(!w.findChild<frmHelp *>());

    QTest::mouseClick(help, Qt::LeftButton);
    QList<frmHelp *> windows = w.findChildren<frmHelp *>();
    QCOMPARE(windows.size(), 1);
    QVERIFY(windows.first()->isVisible());
    QCOMPARE(helpTitle(windows.first()), title);
}

void TestWindowHelpAbout::helpButtonsArePaleYellow()
{
    QFETCH(QString, button);
    frmMain w;
    showAllAreas(w);
    QPushButton *help = kit::child<QPushButton>(&w, button);
    QVERIFY(help && help->isVisible());

    // &HC0FFFF is blue C0, green FF, red FF.
    QCOMPARE(faceColour(&w, help).name(), QStringLiteral("#ffffc0"));
}

void TestWindowHelpAbout::statisticsHelpClosesWhenMainWindowIsActivated()
{
    frmMain w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.fraStats->show();
    QTest::mouseClick(w.cmdHlpStats, Qt::LeftButton);

    QPointer<frmHelp> help = w.findChild<frmHelp *>();
    QVERIFY(help);
    QVERIFY(help->isVisible());
    QCOMPARE(help->windowTitle(), QStringLiteral("Mailvane Help"));
    QCOMPARE(helpTitle(help), QStringLiteral("Mailbox Statistics"));
    QCOMPARE(kit::child<QPlainTextEdit>(help, QStringLiteral("txtHelp"))->toPlainText().split(QLatin1Char('\n')),
             (QStringList{"After logging in, this shows the number of mails in your mailbox and their total size "
                          "in bytes.",
                          "Clicking on the More button will give you the size of each mail in bytes"}));
    // Modeless: the main window goes on taking input.
    QVERIFY(!help->isModal());
    QVERIFY(!QApplication::activeModalWidget());

    help->activateWindow();
    QTRY_VERIFY(help->isActiveWindow());
    w.activateWindow();
    QTRY_VERIFY(help.isNull());

    // The next request loads it anew.
    QTest::mouseClick(w.cmdHlpStats, Qt::LeftButton);
    help = w.findChild<frmHelp *>();
    QVERIFY(help);
    QVERIFY(help->isVisible());
    QCOMPARE(helpTitle(help), QStringLiteral("Mailbox Statistics"));
}

void TestWindowHelpAbout::helpWindowGoesWithMainWindow()
{
    RecordedWindow f;
    f.w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.w));
    QTest::mouseClick(f.w.cmdHlpLogin, Qt::LeftButton);
    QPointer<frmHelp> help = f.w.findChild<frmHelp *>();
    QVERIFY(help && help->isVisible());
    QVERIFY(f.w.close());
    QTRY_VERIFY(help.isNull());
    QCOMPARE(f.boxes.texts(), QStringList());
}

void TestWindowHelpAbout::autologinHelpAppearsWithLoginInHelpMode_data()
{
    QTest::addColumn<bool>("helpOn");
    QTest::newRow("help on") << true;
    QTest::newRow("help off") << false;
}

void TestWindowHelpAbout::autologinHelpAppearsWithLoginInHelpMode()
{
    QFETCH(bool, helpOn);
    QSettings(QStringLiteral("Mailvane"), QStringLiteral("Mailvane"))
        .setValue(QStringLiteral("Settings/Help"), helpOn ? QStringLiteral("1") : QStringLiteral("0"));
    WindowFixture f;
    Pop3Scripts::session(f.server, "bob", "secret", {"a1"}, {100});

    QCOMPARE(f.w.ckHelpFlag->isChecked(), helpOn);
    QCOMPARE(!f.w.cmdHlpLogin->isHidden(), helpOn);
    QVERIFY(f.w.ckAutoLogin->isHidden());
    QVERIFY(f.w.cmdHlpAutoLogin->isHidden());

    f.w.txtUser->setText(QStringLiteral("bob"));
    f.w.txtPwd->setText(QStringLiteral("secret"));
    f.w.txtMailServer->setText(QStringLiteral("127.0.0.1"));
    f.w.cboPort->setEditText(QString::number(f.server.port()));
    f.w.cmdLogin_Click();
    QTRY_VERIFY(f.server.isFinished());
    QTRY_VERIFY(f.w.prgProgress->isHidden());
    QCOMPARE(f.server.mismatches(), QStringList());
    QVERIFY(!f.w.ckAutoLogin->isHidden());
    QCOMPARE(!f.w.cmdHlpAutoLogin->isHidden(), helpOn);
    QCOMPARE(!f.w.cmdHlpStats->isHidden(), helpOn);
}

void TestWindowHelpAbout::aboutButtonOpensModalAboutBox()
{
    RecordedWindow f;
    f.w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.w));
    const QRect before = f.w.geometry();

    bool seen = false;
    bool modal = false;
    QString title;
    QWidget *parent = nullptr;
    QTimer::singleShot(0, &f.w, [&] {
        auto *about = qobject_cast<frmAbout *>(QApplication::activeModalWidget());
        if (about) {
            seen = true;
            modal = about->isModal();
            title = about->windowTitle();
            parent = about->parentWidget();
            QTest::mouseClick(kit::child<QPushButton>(about, QStringLiteral("cmdOK")), Qt::LeftButton);
        }
        // Whatever happened, nothing may stay open and block the test.
        for (QWidget *widget : QApplication::topLevelWidgets())
            if (auto *box = qobject_cast<frmAbout *>(widget))
                box->reject();
    });
    QTest::mouseClick(f.w.cmdAbout, Qt::LeftButton);

    QVERIFY(seen);
    QVERIFY(modal);
    QCOMPARE(title, QStringLiteral("About Mailvane "));
    QCOMPARE(parent, &f.w);
    QVERIFY(f.w.isVisible());
    QCOMPARE(f.w.geometry(), before);
    for (QWidget *widget : QApplication::topLevelWidgets())
        QVERIFY(!qobject_cast<frmAbout *>(widget) || widget->isHidden());
}

void TestWindowHelpAbout::programStartsWithAboutBoxAndIcon_data()
{
    QTest::addColumn<bool>("closedAtOnce");
    QTest::newRow("closed after the main window loaded") << false;
    QTest::newRow("closed before the main window loaded") << true;
}

void TestWindowHelpAbout::programStartsWithAboutBoxAndIcon()
{
    QFETCH(bool, closedAtOnce);
    WindowRecorders recorders;
    ProgramStart start([&] {
        auto window = std::make_unique<frmMain>();
        recorders.useFolders(*window);
        return window;
    });
    QPointer<frmAbout> about = start.start();
    QVERIFY(about);
    QVERIFY(!about->isModal());
    // The main window is loaded only after the box's first frame.
    PaintCounter aboutPaints(about);
    bool paintedBeforeLoad = false;
    connect(&start, &ProgramStart::mainWindowLoaded, this, [&] { paintedBeforeLoad = aboutPaints.count > 0; });

    if (closedAtOnce) {
        QVERIFY(!start.isMainWindowLoaded());
    } else {
        QVERIFY(QTest::qWaitForWindowExposed(about));
        QTRY_VERIFY(start.isMainWindowLoaded());
        QVERIFY(paintedBeforeLoad);
        QVERIFY(start.mainWindow().isHidden());
    }
    QTest::mouseClick(kit::child<QPushButton>(about, QStringLiteral("cmdOK")), Qt::LeftButton);
    QVERIFY(start.isMainWindowLoaded());
    frmMain &w = start.mainWindow();
    QVERIFY(!w.isHidden());
    QTRY_VERIFY(about.isNull());
    QVERIFY(QTest::qWaitForWindowExposed(&w));

    // The program's picture on the window, its hidden image and the tray icon.
    const QImage picture = iconImage(ProgramIcon());
    QVERIFY(!picture.isNull());
    QCOMPARE(iconImage(w.windowIcon()), picture);
    QCOMPARE(iconImage(w.trayIcon()->icon()), picture);
    QVERIFY(!w.imgIcon->pixmap().isNull());
}

QTEST_MAIN(TestWindowHelpAbout)
#include "test_window_help_about.moc"
