#pragma once
// A text grid addressed the way the window's procedures count: row 0 is the
// heading row (when there is a fixed row), body rows follow from row 1. The
// heading row is the table's header, so it stays in view while scrolling.

#include <QColor>
#include <QTableWidget>

class QTimer;

class FlexGrid : public QTableWidget
{
    Q_OBJECT
public:
    explicit FlexGrid(QWidget *parent = nullptr);

    int Rows() const;
    void SetRows(int rows);
    int Cols() const;
    void SetCols(int cols);
    int FixedRows() const { return m_fixedRows; }
    void SetFixedRows(int fixedRows);

    // Current cell. With no current body cell the current row is the heading
    // row (0), which callers take for "nothing selected".
    int Row() const;
    int Col() const;
    void SetRow(int row);
    void SetCol(int col);
    // SetRow for a row that moves at every step of a long run: the current
    // cell gets there at the next pause (Row() names it at once).
    void FollowRow(int row);
    // The other end of the selected block from the current row.
    int RowSel() const;

    QString TextMatrix(int row, int col) const;
    void SetTextMatrix(int row, int col, const QString &text);

    // Between these only cell texts may be set (rows and columns stay): the
    // view hears of them all at the end, at once.
    void BeginFill();
    void EndFill();

    // Empties every cell, headings included; the row and column counts stay.
    void Clear();
    // Removes one body row.
    void RemoveItem(int row);

    int TopRow() const;
    void SetTopRow(int row);

    void SetCellForeColor(int row, int col, const QColor &color);
    QColor CellForeColor(int row, int col) const;

    void SetColWidthTwips(int col, int twips);

signals:
    // Right button pressed over the grid, after the current cell moved there.
    void rightButtonPressed(const QPoint &globalPos);

protected:
    void mousePressEvent(QMouseEvent *event) override;

private:
    int toTable(int row) const { return row - m_fixedRows; }
    QTableWidgetItem *itemAt(int row, int col, bool create);

    void applyWhenQuiet();
    void applyPending();

    int m_fixedRows = 1;
    // Scrolling and the current row wait for a quiet moment.
    int m_pendingTopRow = -1;
    int m_pendingRow = -1;
    QTimer *m_quietTimer = nullptr;
    int m_currentCol = 0;
    bool m_filling = false;
};
