// The grid's cells drawn from kept text layouts look as the style's own item
// delegate draws them: texts, their colours (a new mail's blue, a selected
// row's highlighted text), the selection, the ellipsis of a text too long
// for its column, and what a mail may put in a header: line breaks and
// other controls, right-to-left script, direction overrides, emoji.

#include "window/FlexGrid.h"
#include "window/GridCellDelegate.h"

#include <QApplication>
#include <QFontMetrics>
#include <QStyledItemDelegate>
#include <QTest>

namespace {

// The grid of the mail list as a sweep leaves it.
void fill(FlexGrid &grid)
{
    grid.resize(420, 200);
    grid.SetCols(3);
    grid.SetColWidthTwips(0, 900);
    grid.SetColWidthTwips(1, 2400);
    grid.SetColWidthTwips(2, 1500);
    grid.SetTextMatrix(0, 0, QStringLiteral("No."));
    grid.SetTextMatrix(0, 1, QStringLiteral("From"));
    grid.SetTextMatrix(0, 2, QStringLiteral("Subject"));
    grid.AddRow({QStringLiteral("1"), QStringLiteral(" Jörg <j@example.de>"), QStringLiteral(" Short")});
    grid.AddRow({QStringLiteral("2"), QStringLiteral(" Someone with a very long name indeed <someone@example.com>"),
                 QStringLiteral(" A subject far too long for its column")});
    grid.AddRow({QStringLiteral("3"), QString(), QStringLiteral(" 件名")});
    grid.AddRow({QStringLiteral("4"), QStringLiteral("Two\nlines"), QStringLiteral("Tab\tand\rreturn")});
    grid.AddRow({QStringLiteral("5"), QStringLiteral(" שלום עולם, a Hebrew sender with a long name"),
                 QStringLiteral(" e\u0301t\u00e9 \U0001F600 \u202Eevil\u202C")});
    grid.AddRow({QStringLiteral("6"), QStringLiteral(" \U0001E900\U0001E901 Adlam, written right to left, long")});
    grid.Settle();
    grid.SetCellForeColor(2, 1, Qt::blue);
    grid.SetCellForeColor(2, 2, Qt::blue);
    grid.SetRow(3);
}

QImage drawn(QAbstractItemDelegate *delegate)
{
    FlexGrid grid;
    if (delegate)
        grid.setItemDelegate(delegate);
    fill(grid);
    grid.show();
    if (!QTest::qWaitForWindowExposed(&grid))
        return {};
    return grid.viewport()->grab().toImage();
}

int differingPixels(const QImage &a, const QImage &b)
{
    if (a.size() != b.size())
        return -1;
    int count = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            count += a.pixel(x, y) != b.pixel(x, y);
    return count;
}

} // namespace

class TestGridCells : public QObject
{
    Q_OBJECT
private slots:
    void fitted_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("width"); // in average characters
        QTest::addColumn<bool>("whole");
        QTest::newRow("fits") << QStringLiteral("Short") << 20 << true;
        QTest::newRow("empty") << QString() << 5 << true;
        QTest::newRow("too long") << QStringLiteral("A subject far too long for its column") << 10 << false;
        QTest::newRow("no room at all") << QStringLiteral("Anything") << 0 << false;
    }
    void fitted()
    {
        QFETCH(QString, text);
        QFETCH(int, width);
        QFETCH(bool, whole);
        const QFontMetrics metrics(QApplication::font());
        const int pixels = width * metrics.averageCharWidth();
        const QString shown = GridCellDelegate::fitted(text, metrics, pixels);
        QVERIFY(metrics.horizontalAdvance(shown) <= pixels);
        if (whole)
            QCOMPARE(shown, text);
        else
            QVERIFY(shown.isEmpty() || shown.endsWith(QChar(0x2026)));
    }

    // The grid paints with its own delegate; the style's delegate paints the
    // same pixels.
    void drawsAsTheStyleDoes()
    {
        const QImage own = drawn(nullptr);
        const QImage style = drawn(new QStyledItemDelegate);
        QVERIFY(!own.isNull());
        QCOMPARE(differingPixels(own, style), 0);
    }
};

QTEST_MAIN(TestGridCells)
#include "test_grid_cells.moc"
