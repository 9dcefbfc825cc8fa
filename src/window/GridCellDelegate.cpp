// The grid's cell painter.

#include "window/GridCellDelegate.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QPainter>

namespace {

// Enough for every cell of a few tall grids at a couple of column widths.
constexpr int MostCachedTexts = 8192;

QPalette::ColorGroup colorGroup(const QStyleOption &option)
{
    if (!(option.state & QStyle::State_Enabled))
        return QPalette::Disabled;
    return option.state & QStyle::State_Active ? QPalette::Normal : QPalette::Inactive;
}

} // namespace

GridCellDelegate::GridCellDelegate(QObject *parent)
    : QStyledItemDelegate(parent)
{
}

QString GridCellDelegate::fitted(const QString &text, const QFontMetrics &metrics, int width)
{
    if (metrics.horizontalAdvance(text) <= width)
        return text;
    return metrics.elidedText(text, Qt::ElideRight, width);
}

const QStaticText &GridCellDelegate::laidOut(const QString &text, const QFontMetrics &metrics, int width) const
{
    QHash<QString, QStaticText> &texts = m_texts[width];
    auto found = texts.constFind(text);
    if (found != texts.constEnd())
        return *found;
    if (++m_cached > MostCachedTexts) {
        m_texts.clear();
        m_cached = 1;
        return laidOut(text, metrics, width);
    }
    QStaticText laid(fitted(text, metrics, width));
    laid.setTextFormat(Qt::PlainText);
    return *texts.insert(text, laid);
}

bool GridCellDelegate::isPlainLine(const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text.at(i).unicode();
        if (c < 0x20 || c == 0x7f || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            return false;
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text.at(i), text.at(i + 1));
            ++i;
        }
        switch (QChar::direction(c)) {
        case QChar::DirL:
        case QChar::DirEN:
        case QChar::DirES:
        case QChar::DirET:
        case QChar::DirCS:
        case QChar::DirNSM:
        case QChar::DirBN:
        case QChar::DirWS:
        case QChar::DirON:
            break;
        default: // right to left, or an embedding, override or isolate
            return false;
        }
    }
    return true;
}

void GridCellDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const QString text = index.data(Qt::DisplayRole).toString();
    // A mail may put line breaks and other controls into a header, or
    // right-to-left script: the style lays such a text out itself.
    if (!isPlainLine(text)) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    const QWidget *widget = option.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();
    const QPalette::ColorGroup group = colorGroup(option);
    QStyleOptionViewItem opt = option;
    opt.index = index;
    opt.text = text;
    if (!text.isEmpty())
        opt.features |= QStyleOptionViewItem::HasDisplay;
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, painter, widget);

    if (!text.isEmpty()) {
        if (opt.font != m_font) {
            m_texts.clear();
            m_cached = 0;
            m_font = opt.font;
        }
        const QFontMetrics metrics(opt.font);
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
        const QRect area = opt.rect.adjusted(margin, 0, -margin, 0);
        QColor color = opt.palette.color(group, QPalette::Text);
        if (opt.state & QStyle::State_Selected) {
            color = opt.palette.color(group, QPalette::HighlightedText);
        } else if (const QVariant own = index.data(Qt::ForegroundRole); own.isValid()) {
            color = own.value<QBrush>().color();
        }
        painter->save();
        painter->setFont(opt.font);
        painter->setPen(color);
        painter->setClipRect(opt.rect, Qt::IntersectClip);
        const int top = area.top() + (area.height() - metrics.height()) / 2;
        painter->drawStaticText(QPoint(area.left(), top), laidOut(text, metrics, area.width()));
        painter->restore();
    }

    if (opt.state & QStyle::State_HasFocus) {
        QStyleOptionFocusRect focus;
        focus.QStyleOption::operator=(opt);
        focus.rect = style->subElementRect(QStyle::SE_ItemViewItemFocusRect, &opt, widget);
        focus.state |= QStyle::State_KeyboardFocusChange | QStyle::State_Item;
        focus.backgroundColor =
            opt.palette.color(group, opt.state & QStyle::State_Selected ? QPalette::Highlight : QPalette::Window);
        style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, widget);
    }
}
