// Painting the program's picture at any size.

#include "window/ProgramIcon.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <map>

namespace {

QImage renderIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);

    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    const qreal line = qMax<qreal>(1.0, s / 24.0);
    const QColor ink(0x1f, 0x3b, 0x73);
    const QColor brass(0xc8, 0x8a, 0x1e);

    // The vane: a pole standing on the envelope, an arrow turned by the wind.
    p.setPen(QPen(ink, line, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(QPointF(0.5 * s, 0.06 * s), QPointF(0.5 * s, 0.44 * s));
    p.setPen(QPen(brass.darker(130), line, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(QPointF(0.16 * s, 0.2 * s), QPointF(0.76 * s, 0.2 * s));
    p.setBrush(brass);
    p.drawPolygon(QPolygonF({QPointF(0.92 * s, 0.2 * s), QPointF(0.74 * s, 0.1 * s),
                             QPointF(0.74 * s, 0.3 * s)}));
    p.drawPolygon(QPolygonF({QPointF(0.1 * s, 0.1 * s), QPointF(0.26 * s, 0.2 * s),
                             QPointF(0.1 * s, 0.3 * s), QPointF(0.18 * s, 0.2 * s)}));
    p.setBrush(ink);
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(0.5 * s, 0.2 * s), 1.2 * line, 1.2 * line);

    // The envelope.
    const QRectF body(0.08 * s, 0.44 * s, 0.84 * s, 0.5 * s);
    p.setPen(QPen(ink, line, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(QColor(0xfd, 0xf6, 0xd8));
    p.drawRoundedRect(body, 0.04 * s, 0.04 * s);
    QPainterPath flap;
    flap.moveTo(body.topLeft());
    flap.lineTo(body.center().x(), body.top() + 0.6 * body.height());
    flap.lineTo(body.topRight());
    p.setBrush(Qt::NoBrush);
    p.drawPath(flap);
    p.end();
    return image;
}

// The about box, the window and the tray ask for the same sizes at start;
// each is drawn once.
const QImage &renderedIcon(int size)
{
    static std::map<int, QImage> rendered;
    auto it = rendered.find(size);
    if (it == rendered.end())
        it = rendered.emplace(size, renderIcon(size)).first;
    return it->second;
}

} // namespace

QPixmap ProgramPixmap(int size)
{
    return QPixmap::fromImage(renderedIcon(qMax(1, size)));
}

// The sizes title bars, task bars and trays draw. Larger ones come from the
// installed theme icon: drawing them and handing them to the X server with
// every window cost the start several milliseconds.
QIcon ProgramIcon()
{
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64})
        icon.addPixmap(ProgramPixmap(size));
    return icon;
}
