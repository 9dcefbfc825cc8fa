// The grid's cells.

#include "window/GridModel.h"

#include <QBrush>

GridModel::GridModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

int GridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int GridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_cols;
}

bool GridModel::holds(int row, int col) const
{
    return row >= 0 && row < m_rows.size() && col >= 0 && col < m_cols;
}

QVariant GridModel::data(const QModelIndex &index, int role) const
{
    if (!holds(index.row(), index.column()))
        return {};
    const Row &row = m_rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return row.cells.value(index.column());
    case Qt::ForegroundRole:
        if (const QColor color = row.colors.value(index.column()); color.isValid())
            return QBrush(color);
        return {};
    default:
        return {};
    }
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    // An empty heading stays empty: the view would otherwise number it.
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= m_cols)
        return {};
    return m_headings.value(section);
}

Qt::ItemFlags GridModel::flags(const QModelIndex &index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

void GridModel::setRowCount(int rows)
{
    rows = qMax(0, rows);
    const int old = int(m_rows.size());
    if (rows > old) {
        beginInsertRows({}, old, rows - 1);
        m_rows.resize(rows);
        endInsertRows();
    } else if (rows < old) {
        beginRemoveRows({}, rows, old - 1);
        m_rows.resize(rows);
        endRemoveRows();
    }
}

void GridModel::setColumnCount(int cols)
{
    cols = qMax(0, cols);
    if (cols > m_cols) {
        beginInsertColumns({}, m_cols, cols - 1);
        m_cols = cols;
        endInsertColumns();
    } else if (cols < m_cols) {
        beginRemoveColumns({}, cols, m_cols - 1);
        m_cols = cols;
        for (Row &row : m_rows) {
            if (row.cells.size() > cols)
                row.cells.resize(cols);
            if (row.colors.size() > cols)
                row.colors.resize(cols);
        }
        if (m_headings.size() > cols)
            m_headings.resize(cols);
        endRemoveColumns();
    }
}

void GridModel::appendRows(const QList<Row> &rows)
{
    if (rows.isEmpty())
        return;
    const int first = int(m_rows.size());
    beginInsertRows({}, first, first + int(rows.size()) - 1);
    m_rows.append(rows);
    endInsertRows();
}

void GridModel::removeRow(int row)
{
    if (row < 0 || row >= m_rows.size())
        return;
    beginRemoveRows({}, row, row);
    m_rows.removeAt(row);
    endRemoveRows();
}

void GridModel::clearCells()
{
    for (Row &row : m_rows)
        row = Row();
    m_headings.clear();
    if (m_cols > 0) {
        emit headerDataChanged(Qt::Horizontal, 0, m_cols - 1);
        if (!m_rows.isEmpty())
            changed(0, int(m_rows.size()) - 1);
    }
}

QString GridModel::text(int row, int col) const
{
    return holds(row, col) ? m_rows.at(row).cells.value(col) : QString();
}

void GridModel::setText(int row, int col, const QString &text, bool quietly)
{
    if (!holds(row, col))
        return;
    QStringList &cells = m_rows[row].cells;
    if (cells.size() <= col)
        cells.resize(col + 1);
    cells[col] = text;
    if (!quietly)
        emit dataChanged(index(row, col), index(row, col), {Qt::DisplayRole});
}

QColor GridModel::color(int row, int col) const
{
    return holds(row, col) ? m_rows.at(row).colors.value(col) : QColor();
}

void GridModel::setColor(int row, int col, const QColor &color)
{
    if (!holds(row, col))
        return;
    QList<QColor> &colors = m_rows[row].colors;
    if (colors.size() <= col)
        colors.resize(col + 1);
    colors[col] = color;
    emit dataChanged(index(row, col), index(row, col), {Qt::ForegroundRole});
}

void GridModel::setHeading(int col, const QString &text)
{
    if (col < 0 || col >= m_cols)
        return;
    if (m_headings.size() <= col)
        m_headings.resize(col + 1);
    m_headings[col] = text;
    emit headerDataChanged(Qt::Horizontal, col, col);
}

void GridModel::changed(int firstRow, int lastRow)
{
    if (m_cols > 0 && firstRow <= lastRow)
        emit dataChanged(index(firstRow, 0), index(lastRow, m_cols - 1));
}
