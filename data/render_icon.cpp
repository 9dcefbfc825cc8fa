// Writes the program's picture as a PNG of the given size, so the icon theme
// gets the very picture the windows and the tray show.
#include "window/ProgramIcon.h"

#include <QGuiApplication>
#include <QPixmap>
#include <cstdio>

int main(int argc, char **argv)
{
    // No display is needed to paint into an image.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    bool ok = false;
    const int size = argc == 3 ? QByteArray(argv[1]).toInt(&ok) : 0;
    if (!ok || size < 1) {
        std::fprintf(stderr, "usage: %s SIZE FILE.png\n", argv[0]);
        return 2;
    }
    if (!ProgramPixmap(size).save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
