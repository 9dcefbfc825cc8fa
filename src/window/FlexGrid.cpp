// The grid operations over QTableWidget, in the window's row numbering.

#include "window/FlexGrid.h"

#include "base/VbHelpers.h"
#include "window/FramePacer.h"
#include "window/GridCellDelegate.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTimer>

#include <utility>

FlexGrid::FlexGrid(QWidget *parent)
    : QTableWidget(parent)
{
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setStretchLastSection(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    setSortingEnabled(false);
    setWordWrap(false);
    setItemDelegate(new GridCellDelegate(this));
    setColumnCount(2);
    setRowCount(1);
}

int FlexGrid::Rows() const { return rowCount() + m_fixedRows + int(m_pendingRows.size()); }

void FlexGrid::SetRows(int rows)
{
    Settle();
    setRowCount(qMax(0, rows - m_fixedRows));
}

int FlexGrid::Cols() const { return columnCount(); }

void FlexGrid::SetCols(int cols)
{
    Settle();
    const int old = columnCount();
    setColumnCount(cols);
    for (int c = old; c < cols; ++c)
        setHorizontalHeaderItem(c, new QTableWidgetItem(QString()));
}

void FlexGrid::SetFixedRows(int fixedRows)
{
    Settle();
    const int rows = Rows();
    m_fixedRows = qBound(0, fixedRows, 1);
    horizontalHeader()->setVisible(m_fixedRows == 1);
    SetRows(rows);
}

int FlexGrid::Row() const
{
    if (m_pendingRow >= 0)
        return m_pendingRow;
    const int r = currentRow();
    return r < 0 ? 0 : r + m_fixedRows;
}

int FlexGrid::Col() const
{
    const int c = currentColumn();
    return c < 0 ? m_currentCol : c;
}

void FlexGrid::SetRow(int row)
{
    applyPendingRows();
    m_pendingRow = -1;
    const int r = toTable(row);
    if (r < 0 || r >= rowCount()) {
        setCurrentCell(-1, -1);
        return;
    }
    setCurrentCell(r, qBound(0, m_currentCol, qMax(0, columnCount() - 1)));
}

void FlexGrid::SetCol(int col)
{
    Settle();
    m_currentCol = col;
    if (currentRow() >= 0 && col >= 0 && col < columnCount())
        setCurrentCell(currentRow(), col);
}

int FlexGrid::RowSel() const
{
    // A current row on its way selects itself alone.
    if (m_pendingRow >= 0)
        return m_pendingRow;
    const int current = currentRow();
    if (current < 0)
        return 0;
    const QList<QTableWidgetSelectionRange> ranges = selectedRanges();
    for (const QTableWidgetSelectionRange &range : ranges) {
        if (current >= range.topRow() && current <= range.bottomRow()) {
            const int other = current == range.topRow() ? range.bottomRow() : range.topRow();
            return other + m_fixedRows;
        }
    }
    return current + m_fixedRows;
}

QTableWidgetItem *FlexGrid::itemAt(int row, int col, bool create)
{
    if (col < 0 || col >= columnCount())
        return nullptr;
    if (m_fixedRows == 1 && row == 0) {
        QTableWidgetItem *header = horizontalHeaderItem(col);
        if (!header && create) {
            header = new QTableWidgetItem(QString());
            setHorizontalHeaderItem(col, header);
        }
        return header;
    }
    const int r = toTable(row);
    if (r < 0 || r >= rowCount())
        return nullptr;
    QTableWidgetItem *cell = item(r, col);
    if (!cell && create) {
        cell = new QTableWidgetItem(QString());
        setItem(r, col, cell);
    }
    return cell;
}

QString FlexGrid::TextMatrix(int row, int col) const
{
    if (isPendingRow(row))
        return col >= 0 && col < columnCount() ? m_pendingRows[toTable(row) - rowCount()].cells.value(col) : QString();
    const QTableWidgetItem *cell = const_cast<FlexGrid *>(this)->itemAt(row, col, false);
    return cell ? cell->text() : QString();
}

void FlexGrid::SetTextMatrix(int row, int col, const QString &text)
{
    if (isPendingRow(row)) {
        QStringList &cells = m_pendingRows[toTable(row) - rowCount()].cells;
        if (col >= 0 && col < columnCount()) {
            while (cells.size() <= col)
                cells.append(QString());
            cells[col] = text;
        }
        return;
    }
    if (QTableWidgetItem *cell = itemAt(row, col, false)) {
        cell->setText(text);
        return;
    }
    // A new cell gets its text at birth: one change for the view, not two.
    if (col < 0 || col >= columnCount())
        return;
    if (m_fixedRows == 1 && row == 0)
        setHorizontalHeaderItem(col, new QTableWidgetItem(text));
    else if (toTable(row) >= 0 && toTable(row) < rowCount())
        setItem(toTable(row), col, new QTableWidgetItem(text));
}

void FlexGrid::BeginFill()
{
    if (m_filling)
        return;
    Settle();
    m_filling = true;
    // Each cell would otherwise tell the view of itself, which costs more
    // than the cell.
    model()->blockSignals(true);
}

void FlexGrid::EndFill()
{
    if (!m_filling)
        return;
    m_filling = false;
    model()->blockSignals(false);
    if (rowCount() > 0 && columnCount() > 0)
        emit model()->dataChanged(model()->index(0, 0), model()->index(rowCount() - 1, columnCount() - 1));
}

void FlexGrid::Clear()
{
    Settle();
    const int rows = rowCount();
    const int cols = columnCount();
    clearContents();
    for (int c = 0; c < cols; ++c)
        setHorizontalHeaderItem(c, new QTableWidgetItem(QString()));
    setRowCount(rows);
}

void FlexGrid::RemoveItem(int row)
{
    Settle();
    const int r = toTable(row);
    if (r >= 0 && r < rowCount())
        removeRow(r);
}

int FlexGrid::TopRow() const
{
    if (m_pendingTopRow >= 0)
        return m_pendingTopRow;
    const int r = rowAt(0);
    return (r < 0 ? 0 : r) + m_fixedRows;
}

void FlexGrid::SetTopRow(int row)
{
    if (toTable(row) < 0 || row >= Rows())
        return;
    // Scrolling lays the whole view out again; a list growing row by row
    // scrolls once per frame instead of once per row.
    m_pendingTopRow = row;
    applyWithNextFrame();
}

void FlexGrid::FollowRow(int row)
{
    // Moving the current cell costs the view a walk over its rows, scrolls it
    // and paints it again: a list beside the sweep follows it a few times a
    // second.
    m_pendingRow = row;
    m_rowFollowsQuietly = true;
    if (!m_quietTimer) {
        m_quietTimer = new QTimer(this);
        m_quietTimer->setSingleShot(true);
        m_quietTimer->setInterval(40);
        connect(m_quietTimer, &QTimer::timeout, this, &FlexGrid::Settle);
    }
    if (!m_quietTimer->isActive())
        m_quietTimer->start();
}

void FlexGrid::AddRow(const QStringList &cells)
{
    // Each row inserted alone would lay the view out and paint it again.
    m_pendingRows.append({cells.mid(0, columnCount()), {}});
    m_pendingRow = Rows() - 1;
    m_rowFollowsQuietly = false;
    applyWithNextFrame();
}

void FlexGrid::applyWithNextFrame()
{
    if (!m_frameTimer) {
        m_frameTimer = new QTimer(this);
        m_frameTimer->setSingleShot(true);
        m_frameTimer->setInterval(FramePacer::FrameMs);
        connect(m_frameTimer, &QTimer::timeout, this, &FlexGrid::FrameDue);
    }
    if (!m_frameTimer->isActive())
        m_frameTimer->start();
}

void FlexGrid::applyPendingRows()
{
    if (m_pendingRows.isEmpty())
        return;
    const QList<PendingRow> rows = std::exchange(m_pendingRows, {});
    const int first = rowCount();
    setRowCount(first + int(rows.size()));
    {
        // The cells reach the view as one change.
        const QSignalBlocker quiet(model());
        for (int i = 0; i < rows.size(); ++i) {
            const PendingRow &row = rows[i];
            for (int c = 0; c < qMax(row.cells.size(), row.colors.size()); ++c) {
                const QColor color = row.colors.value(c);
                if (c >= row.cells.size() && !color.isValid())
                    continue;
                auto *cell = new QTableWidgetItem(row.cells.value(c));
                if (color.isValid())
                    cell->setForeground(color);
                setItem(first + i, c, cell);
            }
        }
    }
    if (columnCount() > 0)
        emit model()->dataChanged(model()->index(first, 0), model()->index(rowCount() - 1, columnCount() - 1));
    // Laid out now, not at the next turn of the event loop: the frame about
    // to be painted shows the rows.
    doItemsLayout();
}

void FlexGrid::Settle()
{
    applyPending(true);
}

void FlexGrid::FrameDue()
{
    applyPending(false);
}

void FlexGrid::applyPending(bool quietRowToo)
{
    // A frame painted from inside this grid's own work, or while its cells
    // are being filled, leaves the grid to the next one.
    if (m_settling || m_filling)
        return;
    const QScopedValueRollback settling(m_settling, true);
    if (m_frameTimer)
        m_frameTimer->stop();
    const bool rowToo = quietRowToo || !m_rowFollowsQuietly;
    if (rowToo && m_quietTimer)
        m_quietTimer->stop();
    applyPendingRows();
    if (rowToo) {
        const int row = std::exchange(m_pendingRow, -1);
        if (row >= 0 && toTable(row) < rowCount())
            SetRow(row);
    }
    const int r = toTable(std::exchange(m_pendingTopRow, -1));
    if (r < 0 || r >= rowCount())
        return;
    if (QTableWidgetItem *cell = item(r, 0))
        scrollToItem(cell, QAbstractItemView::PositionAtTop);
    else
        verticalScrollBar()->setValue(r);
}

void FlexGrid::SetCellForeColor(int row, int col, const QColor &color)
{
    if (isPendingRow(row)) {
        QList<QColor> &colors = m_pendingRows[toTable(row) - rowCount()].colors;
        if (col >= 0 && col < columnCount()) {
            while (colors.size() <= col)
                colors.append(QColor());
            colors[col] = color;
        }
        return;
    }
    if (QTableWidgetItem *cell = itemAt(row, col, true))
        cell->setForeground(color);
}

QColor FlexGrid::CellForeColor(int row, int col) const
{
    if (isPendingRow(row)) {
        const QColor color = col >= 0 && col < columnCount() ? m_pendingRows[toTable(row) - rowCount()].colors.value(col)
                                                             : QColor();
        return color.isValid() ? color : palette().color(QPalette::Text);
    }
    const QTableWidgetItem *cell = const_cast<FlexGrid *>(this)->itemAt(row, col, false);
    if (!cell || cell->foreground().style() == Qt::NoBrush)
        return palette().color(QPalette::Text);
    return cell->foreground().color();
}

void FlexGrid::SetColWidthTwips(int col, int twips)
{
    if (col < 0 || col >= columnCount())
        return;
    const int pixels = vb::TwipsToPixels(twips);
    setColumnHidden(col, pixels <= 0);
    if (pixels > 0)
        setColumnWidth(col, pixels);
}

void FlexGrid::mousePressEvent(QMouseEvent *event)
{
    Settle(); // what is on its way comes first: the click has the last word
    if (event->button() == Qt::RightButton) {
        // A right click keeps the block the user dragged; it only opens the menu.
        emit rightButtonPressed(event->globalPosition().toPoint());
        event->accept();
        return;
    }
    QTableWidget::mousePressEvent(event);
}
