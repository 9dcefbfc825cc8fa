#pragma once
// The program's picture: an envelope under a weather vane. The about box, the
// window and the tray icon all show it.

#include <QIcon>
#include <QPixmap>

QIcon ProgramIcon();
// The picture at one size (square, in device-independent pixels).
QPixmap ProgramPixmap(int size);
