#include "desktop/ProgramStart.h"

#include "app/frmMain.h"
#include "desktop/ProgramIcon.h"
#include "desktop/frmAbout.h"

#include <QApplication>
#include <QLabel>

frmAbout *StartProgram(frmMain &window)
{
    const QIcon icon = ProgramIcon();
    QApplication::setWindowIcon(icon);
    window.setWindowIcon(icon);
    window.imgIcon->setPixmap(ProgramPixmap(32));
    // The tray icon was prepared at load, before the window had its picture.
    window.InitTrayIcon();

    auto *about = new frmAbout;
    about->setAttribute(Qt::WA_DeleteOnClose);
    about->setMainWindow(&window);
    about->show();
    return about;
}
