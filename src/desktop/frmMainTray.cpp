// Minimising to the tray, restoring, and the autologin timer.

#include "app/frmMain.h"

#include "desktop/Platform.h"

#include <QCheckBox>
#include <QProgressBar>
#include <QSystemTrayIcon>
#include <QTimer>

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
        if (m_trayIcon)
            m_trayIcon->show();
        // Hide once the minimise has been processed by the window system.
        QTimer::singleShot(0, this, [this] {
            if (bMinimized)
                hide();
        });
    }
}

void frmMain::TrayIcon_Activated(int reason)
{
    if (reason != QSystemTrayIcon::DoubleClick)
        return;
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
