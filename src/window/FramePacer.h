#pragma once
// Paints a window at most once per frame. A long run of replies changes the
// progress text, the bar and the grid at every reply; each change would
// otherwise paint and flush the window to the screen on its own, many times
// per frame, at a cost far above the reply's. The widgets' own state (texts,
// values, rows) changes at once; only the painting of what changed waits for
// the next frame, which comes within a frame's time.

#include <QElapsedTimer>
#include <QObject>

class QTimer;
class QWidget;

class FramePacer : public QObject
{
    Q_OBJECT
public:
    // Paces the top-level `window` for as long as both exist.
    explicit FramePacer(QWidget *window);

    // A 60 Hz screen's frame.
    static constexpr int FrameMs = 16;

    // While a reply is handled, the frame it asks for waits until the next
    // command is out (or the handler is done, or waits for the user): the
    // server works on the command while the frame is painted, instead of
    // waiting for the paint.
    void holdUntilSent();
    void letThrough();

signals:
    // A frame is about to be painted: what waits for it is due now.
    void frameDue();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void paintHeldFrame();
    void paintWhenDue();

    QWidget *m_window;
    QTimer *m_heldFrame;
    QElapsedTimer m_sinceFrame;
    bool m_painting = false;
    bool m_holding = false;
    bool m_heldWhileHolding = false;
};
