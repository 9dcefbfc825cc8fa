// The start of the program: icon, about box, then the main window.

#include "window/ProgramStart.h"

#include "window/frmAbout.h"
#include "window/frmMain.h"
#include "window/ProgramIcon.h"

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
