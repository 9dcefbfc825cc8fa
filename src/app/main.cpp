#include "app/frmMain.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Mailvane"));
    QApplication::setApplicationName(QStringLiteral("Mailvane"));
    QApplication::setApplicationVersion(QStringLiteral(MAILVANE_VERSION));

    frmMain window;
    window.show();
    return app.exec();
}
