// The grid operations over a table view of its own cells, in the window's
// row numbering.

#include "window/FlexGrid.h"

#include "base/VbHelpers.h"
#include "window/FramePacer.h"
#include "window/GridCellDelegate.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QTimer>

#include <utility>

FlexGrid::FlexGrid(QWidget *parent)
    : QTableView(parent)
    , m_model(new GridModel(this))
{
    setModel(m_model);
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
    m_model->setColumnCount(2);
    m_model->setRowCount(1);
}

int FlexGrid::Rows() const { return rowCount() + m_fixedRows + int(m_pendingRows.size()); }

void FlexGrid::SetRows(int rows)
{
    Settle();
    m_model->setRowCount(rows - m_fixedRows);
}

int FlexGrid::Cols() const { return columnCount(); }

void FlexGrid::SetCols(int cols)
{
    Settle();
    m_model->setColumnCount(cols);
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
    const int c = currentIndex().column();
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

void FlexGrid::setCurrentCell(int row, int col)
{
    setCurrentIndex(m_model->index(row, col));
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
    const QItemSelection ranges = selectionModel()->selection();
    for (const QItemSelectionRange &range : ranges) {
        if (current >= range.top() && current <= range.bottom()) {
            const int other = current == range.top() ? range.bottom() : range.top();
            return other + m_fixedRows;
        }
    }
    return current + m_fixedRows;
}

GridModel::Row *FlexGrid::pendingRow(int row)
{
    return isPendingRow(row) ? &m_pendingRows[toTable(row) - rowCount()] : nullptr;
}

const GridModel::Row *FlexGrid::pendingRow(int row) const
{
    return isPendingRow(row) ? &m_pendingRows.at(toTable(row) - rowCount()) : nullptr;
}

QString FlexGrid::TextMatrix(int row, int col) const
{
    if (const GridModel::Row *pending = pendingRow(row))
        return pending->cells.value(col);
    if (isHeading(row))
        return m_model->heading(col);
    return m_model->text(toTable(row), col);
}

void FlexGrid::SetTextMatrix(int row, int col, const QString &text)
{
    if (col < 0 || col >= columnCount())
        return;
    if (GridModel::Row *pending = pendingRow(row)) {
        if (pending->cells.size() <= col)
            pending->cells.resize(col + 1);
        pending->cells[col] = text;
    } else if (isHeading(row)) {
        m_model->setHeading(col, text);
    } else {
        m_model->setText(toTable(row), col, text, m_filling);
    }
}

void FlexGrid::BeginFill()
{
    if (m_filling)
        return;
    Settle();
    // Each cell would otherwise tell the view of itself, which costs more
    // than the cell.
    m_filling = true;
}

void FlexGrid::EndFill()
{
    if (!m_filling)
        return;
    m_filling = false;
    m_model->changed(0, rowCount() - 1);
}

void FlexGrid::Clear()
{
    Settle();
    m_model->clearCells();
}

void FlexGrid::RemoveItem(int row)
{
    Settle();
    const int r = toTable(row);
    m_model->removeRow(r);
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
    // The rows reach the view as one change.
    m_model->appendRows(std::exchange(m_pendingRows, {}));
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
    if (!isColumnHidden(0))
        scrollTo(m_model->index(r, 0), QAbstractItemView::PositionAtTop);
    else
        verticalScrollBar()->setValue(r);
}

void FlexGrid::SetCellForeColor(int row, int col, const QColor &color)
{
    if (col < 0 || col >= columnCount())
        return;
    if (GridModel::Row *pending = pendingRow(row)) {
        if (pending->colors.size() <= col)
            pending->colors.resize(col + 1);
        pending->colors[col] = color;
    } else if (!isHeading(row)) {
        m_model->setColor(toTable(row), col, color);
    }
}

QColor FlexGrid::CellForeColor(int row, int col) const
{
    QColor color;
    if (const GridModel::Row *pending = pendingRow(row))
        color = pending->colors.value(col);
    else if (!isHeading(row))
        color = m_model->color(toTable(row), col);
    return color.isValid() ? color : palette().color(QPalette::Text);
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
    QTableView::mousePressEvent(event);
}
