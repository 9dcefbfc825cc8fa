#pragma once
// What the alert motion asks of the window it drives. Positions and sizes of
// the window are in twips, the label box in pixels.

#include <QRect>
#include <QString>

class AlertSurface
{
public:
    virtual ~AlertSurface() = default;

    virtual void moveWindow(int left, int top, int width, int height) = 0;
    // Places the word-wrapped label at box's left, top and width; returns the
    // height in pixels its text needs.
    virtual int placeLabel(const QRect &box, const QString &text) = 0;
    // Above or back among the normal windows, without activating; shows it.
    virtual void setTopMost(bool topMost) = 0;
    // 0 invisible .. 255 opaque.
    virtual void setOpacity(int alpha) = 0;
    // The window has left; the slot is already free.
    virtual void unload() = 0;
};
