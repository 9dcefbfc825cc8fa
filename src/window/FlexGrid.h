#pragma once
// A text grid addressed the way the window's procedures count: row 0 is the
// heading row (when there is a fixed row), body rows follow from row 1. The
// heading row is the table's header, so it stays in view while scrolling.
//
// A long run adds a row and moves the current row at every step. The grid's
// own answers (Rows, Row, TextMatrix) change at once; the view hears of the
// rows added, their current row and the scrolling once per frame, all at
// once (a row followed by FollowRow a few times a second), or at once when
// anything else is asked of it.

#include "window/GridModel.h"

#include <QColor>
#include <QTableView>

class QTimer;

class FlexGrid : public QTableView
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
    // cell gets there within 40 ms (Row() names it at once).
    void FollowRow(int row);
    // A body row added under the others with these texts, made the current
    // row; the view shows it with the next frame.
    void AddRow(const QStringList &cells);
    // Hands the view at once what is still on its way to it.
    void Settle();
    // A frame is about to be painted: the rows added, their current row and
    // the scrolling reach the view now.
    void FrameDue();
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
    int rowCount() const { return m_model->rowCount(); }
    int columnCount() const { return m_model->columnCount(); }
    int currentRow() const { return currentIndex().row(); }
    void setCurrentCell(int row, int col);
    bool isHeading(int row) const { return m_fixedRows == 1 && row == 0; }
    // A row added but not yet in the view; null for any other row.
    GridModel::Row *pendingRow(int row);
    const GridModel::Row *pendingRow(int row) const;

    void applyWithNextFrame();
    void applyPending(bool quietRowToo);
    void applyPendingRows();
    bool isPendingRow(int row) const { return row >= rowCount() + m_fixedRows && row < Rows(); }

    GridModel *m_model = nullptr;
    int m_fixedRows = 1;
    // Rows added, scrolling and the current row wait for the next frame.
    QList<GridModel::Row> m_pendingRows;
    int m_pendingTopRow = -1;
    int m_pendingRow = -1;
    bool m_rowFollowsQuietly = false;
    QTimer *m_frameTimer = nullptr;
    QTimer *m_quietTimer = nullptr;
    int m_currentCol = 0;
    bool m_filling = false;
    bool m_settling = false;
};
