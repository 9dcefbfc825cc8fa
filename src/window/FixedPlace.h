#pragma once
// A place in a layout for one widget whose size hint changes often (the
// progress label, whose text changes at every step of a long run). The
// widget is held at exactly the place's size, so its changes never ask the
// window for a new layout; the place itself is laid out like any widget.

#include <QWidget>

class FixedPlace : public QWidget
{
    Q_OBJECT
public:
    // Takes `child` in. The place asks for one line of text.
    explicit FixedPlace(QWidget *child, QWidget *parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    QWidget *m_child;
};
