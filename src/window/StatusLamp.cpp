// Painting the status light.

#include "window/StatusLamp.h"

#include <QPainter>
#include <QRadialGradient>

StatusLamp::StatusLamp(QWidget *parent)
    : QWidget(parent)
    , m_color(Qt::red)
{
    setFixedSize(sizeHint());
}

void StatusLamp::SetFillColor(const QColor &color)
{
    if (color == m_color)
        return;
    m_color = color;
    update();
}

void StatusLamp::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF lamp = QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5);
    QRadialGradient glow(lamp.center() - QPointF(lamp.width() / 5, lamp.height() / 5), lamp.width() / 1.4);
    glow.setColorAt(0, m_color.lighter(170));
    glow.setColorAt(1, m_color.darker(115));
    painter.setBrush(glow);
    painter.setPen(QPen(m_color.darker(170), 1));
    painter.drawEllipse(lamp);
}
