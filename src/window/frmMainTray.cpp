// Minimising to the tray, restoring, and the autologin timer.

#include "window/frmMain.h"

#include "window/Platform.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QMenu>
#include <QProgressBar>
#include <QScopedValueRollback>
#include <QStyleHints>
#include <QSystemTrayIcon>
#include <QTimer>

namespace {

TrayClicks::Click ClickOf(int reason)
{
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        return TrayClicks::Click::Single;
    case QSystemTrayIcon::DoubleClick:
        return TrayClicks::Click::Double;
    default:
        return TrayClicks::Click::Other;
    }
}

} // namespace

void frmMain::Form_Resize()
{
    if (!(windowState() & Qt::WindowMinimized)) {
        // Without a tray the window was only minimised; coming back from the
        // task bar is the same as a double-click on the tray icon.
        if (bMinimized && !m_hiddenInTray) {
            bMinimized = false;
            if (ckAutoLogin->isChecked())
                ckAutoLogin->setChecked(false);
        }
        return;
    }
    if (bMinimized)
        return;
    if (prgProgress->isHidden() && !ckAutoLogin->isHidden() && !ckAutoLogin->isChecked())
        ckAutoLogin->setChecked(true);
    bMinimized = true;
    if (Platform::current().systemTrayAvailable()) {
        m_hiddenInTray = true;
        trayIcon()->show();
        // Hide once the minimise has been processed by the window system.
        QTimer::singleShot(0, this, [this] {
            if (bMinimized)
                hide();
        });
    }
}

void frmMain::TrayIcon_Activated(int reason)
{
    const int interval = QGuiApplication::styleHints()->mouseDoubleClickInterval();
    if (m_trayClicks.isDoubleClick(ClickOf(reason), QDeadlineTimer::current().deadline(), interval))
        restoreFromTray();
}

void frmMain::buildTrayMenu()
{
    mnuTray = new QMenu(this);
    mnuTrayRestore = mnuTray->addAction(QStringLiteral("Restore"));
    mnuTrayQuit = mnuTray->addAction(QStringLiteral("Quit"));
    connect(mnuTrayRestore, &QAction::triggered, this, [this] { mnuTrayRestore_Click(); });
    connect(mnuTrayQuit, &QAction::triggered, this, [this] { mnuTrayQuit_Click(); });
    m_trayIcon->setContextMenu(mnuTray);
}

void frmMain::mnuTrayRestore_Click()
{
    restoreFromTray();
}

// Closing a hidden window does not end the program by itself: once the
// window has agreed to close (the quit question answered Yes), quit. The
// tray's menu stays usable while the question is open; choosing Quit again
// then is the same request, already asked.
void frmMain::mnuTrayQuit_Click()
{
    if (m_quitQuestionOpen)
        return;
    const QScopedValueRollback asking(m_quitQuestionOpen, true);
    if (close())
        QCoreApplication::quit();
}

// Restoring from the tray ends autologin; the alert's ShowMainWindow keeps it.
void frmMain::restoreFromTray()
{
    ShowMainWindow();
    if (ckAutoLogin->isChecked())
        ckAutoLogin->setChecked(false);
}

void frmMain::ShowMainWindow()
{
    m_hiddenInTray = false;
    bMinimized = false;
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void frmMain::ckAutoLogin_Click()
{
    if (ckAutoLogin->isChecked()) {
        timLogin->setInterval(m_autoLoginIntervalMs);
        timLogin->start();
    } else {
        timLogin->stop();
    }
}

void frmMain::timLogin_Timer()
{
    timLogin->stop();
    cmdLogin_Click();
}
