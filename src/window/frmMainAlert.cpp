// Announcing the result of an automatic login in an alert window.

#include "window/frmMain.h"

#include "window/frmAlertWindow.h"

#include <QLineEdit>

void frmMain::ShowAlert(const QString &sMsg)
{
    const QString text = QStringLiteral("Mailvane\r\nMailbox of ") + txtUser->text() + QStringLiteral("\r\n") + sMsg;
    // Each alert is a window of its own; it deletes itself once it has left.
    auto *alert = new frmAlertWindow;
    connect(alert, &frmAlertWindow::showMainWindowRequested, this, &frmMain::ShowMainWindow);
    alert->DisplayMessage(text, 10, false, true, true, 0xC0FFFF, false);
}
