#pragma once
// The status light: a small round lamp in one colour.

#include <QColor>
#include <QWidget>

class StatusLamp : public QWidget
{
    Q_OBJECT
public:
    explicit StatusLamp(QWidget *parent = nullptr);

    QColor FillColor() const { return m_color; }
    void SetFillColor(const QColor &color);

    QSize sizeHint() const override { return QSize(16, 16); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_color;
};
