#pragma once
// Draws the grid's cells as the style's item delegate does (background,
// selection, focus frame, one line of text elided at the right, the cell's
// own text colour), with the text's layout kept from one frame to the next.
// A grid that grows while it is watched paints every cell in sight at each
// frame, and laying the text out again made up most of that paint.

#include <QHash>
#include <QStaticText>
#include <QStyledItemDelegate>

class GridCellDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit GridCellDelegate(QObject *parent = nullptr);

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    // The text as it fits `width` pixels in `metrics`: whole, or cut with
    // an ellipsis at the right.
    static QString fitted(const QString &text, const QFontMetrics &metrics, int width);

private:
    // One line of left-to-right text: no line breaks nor other controls, no
    // right-to-left script nor direction marks, which the style lays out.
    static bool isPlainLine(const QString &text);
    const QStaticText &laidOut(const QString &text, const QFontMetrics &metrics, int width) const;

    // By width, then text; emptied once it holds more than a screenful of
    // grids would show, and when the font changes.
    mutable QHash<int, QHash<QString, QStaticText>> m_texts;
    mutable QFont m_font;
    mutable int m_cached = 0;
};
