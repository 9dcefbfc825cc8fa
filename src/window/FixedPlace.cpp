// The fixed place: the child follows the place's size, never the other way.

#include "window/FixedPlace.h"

#include <QResizeEvent>

FixedPlace::FixedPlace(QWidget *child, QWidget *parent)
    : QWidget(parent)
    , m_child(child)
{
    child->setParent(this);
    child->move(0, 0);
    child->setFixedSize(0, 0);
}

QSize FixedPlace::sizeHint() const
{
    return QSize(0, fontMetrics().height());
}

QSize FixedPlace::minimumSizeHint() const
{
    return sizeHint();
}

void FixedPlace::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_child->setFixedSize(event->size());
}
