// Frame pacing: a window's paint requests are let through at most once per
// frame; the ones in between are held, and the dirty parts they stand for
// are painted together when the frame comes.

#include "window/FramePacer.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <utility>

FramePacer::FramePacer(QWidget *window)
    : QObject(window)
    , m_window(window)
    , m_heldFrame(new QTimer(this))
{
    m_heldFrame->setSingleShot(true);
    m_heldFrame->setTimerType(Qt::PreciseTimer);
    connect(m_heldFrame, &QTimer::timeout, this, &FramePacer::paintHeldFrame);
    window->installEventFilter(this);
    // A box opened by a handler runs the event loop: the window paints again.
    if (QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance(thread()))
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &FramePacer::letThrough);
}

void FramePacer::holdUntilSent()
{
    m_holding = true;
}

void FramePacer::letThrough()
{
    if (!std::exchange(m_holding, false) || !std::exchange(m_heldWhileHolding, false))
        return;
    paintWhenDue();
}

bool FramePacer::eventFilter(QObject *watched, QEvent *event)
{
    // Both update() and repaint() come here as an update request, posted or
    // sent; painting the window is all the request does.
    if (watched != m_window || event->type() != QEvent::UpdateRequest || m_painting)
        return false;
    if (m_holding) {
        m_heldWhileHolding = true;
        return true;
    }
    const qint64 since = m_sinceFrame.isValid() ? m_sinceFrame.elapsed() : qint64(FrameMs);
    if (since >= FrameMs) {
        m_heldFrame->stop();
        m_sinceFrame.start();
        emit frameDue();
        return false;
    }
    if (!m_heldFrame->isActive())
        m_heldFrame->start(int(FrameMs - since));
    return true;
}

// A request held back: painted now if a frame is due, else with the next.
void FramePacer::paintWhenDue()
{
    const qint64 since = m_sinceFrame.isValid() ? m_sinceFrame.elapsed() : qint64(FrameMs);
    if (since >= FrameMs) {
        m_heldFrame->stop();
        paintHeldFrame();
    } else if (!m_heldFrame->isActive()) {
        m_heldFrame->start(int(FrameMs - since));
    }
}

void FramePacer::paintHeldFrame()
{
    m_sinceFrame.start();
    emit frameDue();
    m_painting = true;
    QEvent request(QEvent::UpdateRequest);
    QCoreApplication::sendEvent(m_window, &request);
    m_painting = false;
}
