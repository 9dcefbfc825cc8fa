#pragma once
// The cells of a FlexGrid: texts and their own colours, row by row, and the
// headings. Rows are plain lists, not an item object per cell: a grid fills
// thousands of cells in one reply, and the view only ever asks for the few
// in sight.

#include <QAbstractTableModel>
#include <QColor>
#include <QStringList>

class GridModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    struct Row
    {
        QStringList cells;
        QList<QColor> colors; // by column; invalid: the grid's own
    };

    explicit GridModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    void setRowCount(int rows);
    void setColumnCount(int cols);
    void appendRows(const QList<Row> &rows);
    void removeRow(int row);
    // Every text and colour emptied, headings included; the counts stay.
    void clearCells();

    QString text(int row, int col) const;
    // `quietly`: the view is told later, by changed().
    void setText(int row, int col, const QString &text, bool quietly = false);
    QColor color(int row, int col) const;
    void setColor(int row, int col, const QColor &color);
    QString heading(int col) const { return m_headings.value(col); }
    void setHeading(int col, const QString &text);
    // The view hears of a block of cells set quietly.
    void changed(int firstRow, int lastRow);

private:
    bool holds(int row, int col) const;

    QList<Row> m_rows;
    QStringList m_headings;
    int m_cols = 0;
};
