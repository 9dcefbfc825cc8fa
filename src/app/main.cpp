// The program: the application's names, then the start of ProgramStart.

#include "window/ProgramStart.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Mailvane"));
    QApplication::setApplicationName(QStringLiteral("Mailvane"));
    QApplication::setApplicationVersion(QStringLiteral(MAILVANE_VERSION));
    // Wayland matches windows to the installed desktop entry by this name (X11 by
    // the window class, "Mailvane" from the application name).
    QApplication::setDesktopFileName(QStringLiteral("org.mailvane.Mailvane"));

    ProgramStart start;
    start.start();
    return app.exec();
}
