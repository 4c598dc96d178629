#include "views/grid_delegate.h"
#include "views/grid_model.h"
#include "views/string_grid.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QImage>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <functional>

namespace {

const QString kCopied = QStringLiteral("Selected block was copied into Clipboard");
const QString kSentinel = QStringLiteral("clipboard before");

std::vector<GridRow> sampleRows(int count)
{
    std::vector<GridRow> rows;
    for (int r = 1; r <= count; ++r) {
        const std::string n = std::to_string(r);
        rows.push_back({ n, "10.0.0." + n, "lp" + n, "rp" + n, "host" + n, "TCP", "Listening" });
    }
    return rows;
}

class StringGridTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        grid.setHeaderRow(
            { "No", "Local IP", "Local Port", "Remote Port", "Remote IP", "Protocol", "State" });
        grid.gridModel()->setGridContent(sampleRows(6));
        grid.resize(603, 300);
        grid.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
        QGuiApplication::clipboard()->setText(kSentinel);
    }

    // Centre of a cell in grid numbering, in the viewport's coordinates.
    QPoint cellCentre(int column, int row) const
    {
        return grid.visualRect(grid.model()->index(row - 1, column)).center();
    }

    void click(Qt::MouseButton button, int column, int row)
    {
        QTest::mouseClick(grid.viewport(), button, {}, cellCentre(column, row));
    }

    void dragSelect(int fromColumn, int fromRow, int toColumn, int toRow)
    {
        QTest::mousePress(grid.viewport(), Qt::LeftButton, {}, cellCentre(fromColumn, fromRow));
        QTest::mouseMove(grid.viewport(), cellCentre(toColumn, toRow));
        QTest::mouseRelease(grid.viewport(), Qt::LeftButton, {}, cellCentre(toColumn, toRow));
    }

    // A move without buttons, as the pointer passing over the grid.
    void hover(QWidget* target, QPoint pos)
    {
        QMouseEvent move(
            QEvent::MouseMove, pos, target->mapToGlobal(pos), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(target, &move);
    }

    QColor cellPixel(const QImage& image, int column, int row) const
    {
        const QRect cell = grid.visualRect(grid.model()->index(row - 1, column));
        // Inside the text offset, so always the cell's background.
        return image.pixelColor(grid.viewport()->mapTo(&grid, cell.topLeft() + QPoint(1, 1)));
    }

    static QString clipboardText() { return QGuiApplication::clipboard()->text(); }

    StringGrid grid;
    QSignalSpy status { &grid, &StringGrid::statusTextRequested };
};

} // namespace

TEST_F(StringGridTest, ModelPassesTheItemModelTesterThroughRefills)
{
    QAbstractItemModelTester tester(grid.model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    for (int count : { 9, 9, 1, 4, 0 })
        grid.gridModel()->setGridContent(sampleRows(count));
    EXPECT_EQ(grid.rowCount(), 1);
    EXPECT_EQ(grid.cellText(4, 0), QStringLiteral("Remote IP"));
}

TEST_F(StringGridTest, ClickOnACellCopiesThatCell)
{
    click(Qt::LeftButton, 4, 3);
    EXPECT_EQ(clipboardText(), QStringLiteral("host3\r\n"));
    ASSERT_EQ(status.size(), 1);
    EXPECT_EQ(status[0][0].toString(), kCopied);
    EXPECT_EQ(grid.gridSelection(), (GridSelection { 4, 3, 4, 3 }));
}

TEST_F(StringGridTest, DraggedBlockIsCopiedRowByRow)
{
    dragSelect(1, 2, 3, 3);
    EXPECT_EQ(grid.gridSelection(), (GridSelection { 1, 2, 3, 3 }));
    EXPECT_EQ(
        clipboardText(), QStringLiteral("10.0.0.2   |   lp2   |   rp2\r\n10.0.0.3   |   lp3   |   rp3\r\n"));
    EXPECT_EQ(status.size(), 1);
}

TEST_F(StringGridTest, ReleasesAwayFromDataCellsClearTheSelectionAndCopyNothing)
{
    QHeaderView* header = grid.horizontalHeader();
    const QPoint belowLastRow = cellCentre(2, 6) + QPoint(0, 3 * (StringGrid::kRowHeight + 1));
    ASSERT_FALSE(grid.indexAt(belowLastRow).isValid());

    struct Case
    {
        const char* name;
        std::function<void()> release;
    };
    const Case cases[] = {
        { "over the header",
            [&] {
                const QPoint onHeader(header->sectionViewportPosition(2) + 20, 8);
                QTest::mousePress(header->viewport(), Qt::LeftButton, {}, onHeader);
                QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, onHeader);
            } },
        { "right click on a data cell", [&] { click(Qt::RightButton, 2, 2); } },
        { "right click on another cell", [&] { click(Qt::RightButton, 5, 5); } },
        { "below the last row",
            [&] {
                QTest::mousePress(grid.viewport(), Qt::LeftButton, {}, cellCentre(2, 6));
                QTest::mouseRelease(grid.viewport(), Qt::LeftButton, {}, belowLastRow);
            } },
    };
    for (const Case& c : cases) {
        dragSelect(1, 2, 2, 4);
        ASSERT_FALSE(grid.gridSelection().isEmpty()) << c.name;
        QGuiApplication::clipboard()->setText(kSentinel);
        status.clear();

        c.release();
        EXPECT_TRUE(grid.gridSelection().isEmpty()) << c.name;
        EXPECT_EQ(grid.gridSelection(), GridSelection {}) << c.name;
        EXPECT_EQ(clipboardText(), kSentinel) << c.name;
        EXPECT_TRUE(status.isEmpty()) << c.name;
    }

    // With nothing selected, the middle button (which never selects) copies nothing either.
    click(Qt::MiddleButton, 3, 3);
    EXPECT_TRUE(grid.gridSelection().isEmpty());
    EXPECT_EQ(clipboardText(), kSentinel);
    EXPECT_TRUE(status.isEmpty());
}

TEST_F(StringGridTest, MiddleButtonCopiesTheSelectionNotTheCellUnderThePointer)
{
    dragSelect(0, 1, 1, 1);
    status.clear();
    click(Qt::MiddleButton, 5, 4);
    EXPECT_EQ(grid.gridSelection(), (GridSelection { 0, 1, 1, 1 }));
    EXPECT_EQ(clipboardText(), QStringLiteral("1   |   10.0.0.1\r\n"));
    EXPECT_EQ(status.size(), 1);
}

TEST_F(StringGridTest, CopyKeyCopiesTheWholeBlock)
{
    dragSelect(3, 4, 4, 5);
    QGuiApplication::clipboard()->setText(kSentinel);
    status.clear();
    grid.setFocus();
    QTest::keySequence(&grid, QKeySequence::Copy);
    EXPECT_EQ(clipboardText(), QStringLiteral("rp4   |   host4\r\nrp5   |   host5\r\n"));
    EXPECT_EQ(status.size(), 1);
}

TEST_F(StringGridTest, BlankRowOfAnEmptyScanCopiesAnEmptyLine)
{
    grid.gridModel()->setGridContent({ GridRow {} });
    ASSERT_EQ(grid.rowCount(), 2);
    click(Qt::LeftButton, 2, 1);
    EXPECT_EQ(clipboardText(), QStringLiteral("\r\n"));
    EXPECT_EQ(status.size(), 1);
}

TEST_F(StringGridTest, ASelectionFollowsItsEndpointsAndClosedOnesLeaveIt)
{
    dragSelect(1, 2, 2, 5); // endpoints 2 to 5
    ASSERT_EQ(grid.gridSelection(), (GridSelection { 1, 2, 2, 5 }));

    // Two new endpoints come first: the block moves down with its rows, refresh after refresh.
    std::vector<GridRow> rows = sampleRows(8);
    std::rotate(rows.begin(), rows.begin() + 6, rows.end()); // 7, 8, 1, ..., 6
    for (int refresh = 0; refresh < 5; ++refresh)
        grid.gridModel()->setGridContent(rows);
    EXPECT_EQ(grid.gridSelection(), (GridSelection { 1, 4, 2, 7 }));
    click(Qt::MiddleButton, 0, 1);
    EXPECT_EQ(clipboardText(),
        QStringLiteral(
            "10.0.0.2   |   lp2\r\n10.0.0.3   |   lp3\r\n10.0.0.4   |   lp4\r\n10.0.0.5   |   lp5\r\n"));

    // Endpoint 3 closes: it leaves the block, and endpoint 6, moving up into the block's
    // last row, is not taken in.
    rows.erase(rows.begin() + 4);
    grid.gridModel()->setGridContent(rows);
    EXPECT_EQ(grid.gridSelection(), (GridSelection { 1, 4, 2, 6 }));
    EXPECT_FALSE(grid.selectionModel()->isSelected(grid.model()->index(6, 1)));
    // A row between the selected ones is not taken in at the next refresh either.
    std::swap(rows[4], rows[5]); // 7, 8, 1, 2, 5, 4, 6
    rows.insert(rows.begin() + 4, sampleRows(9).back());
    grid.gridModel()->setGridContent(rows);
    grid.gridModel()->setGridContent(rows);
    EXPECT_FALSE(grid.selectionModel()->isSelected(grid.model()->index(4, 1)));
    EXPECT_TRUE(grid.selectionModel()->isSelected(grid.model()->index(5, 1)));

    // Every selected endpoint closes: nothing stays selected, and the view keeps its place.
    grid.gridModel()->setGridContent(sampleRows(100));
    grid.setCurrentIndex(grid.model()->index(99, 2));
    ASSERT_TRUE(QTest::qWaitFor([this] { return grid.verticalScrollBar()->value() > 50; }));
    grid.verticalScrollBar()->setValue(10);
    grid.gridModel()->setGridContent(sampleRows(90));
    EXPECT_TRUE(grid.gridSelection().isEmpty());
    QTest::qWait(10); // a deferred layout must not scroll either
    EXPECT_EQ(grid.verticalScrollBar()->value(), 10);

    // The blank row of an empty scan has no endpoint: it collapses as always.
    grid.gridModel()->setGridContent({ GridRow {} });
    click(Qt::LeftButton, 2, 1);
    grid.gridModel()->setGridContent(sampleRows(3));
    EXPECT_EQ(grid.gridSelection(), (GridSelection { 2, 1, 2, 1 }));
}

TEST_F(StringGridTest, TheCopyNeverExceedsTheBlockBuffer)
{
    const GridRow wide { std::string(254, 'h'), std::string(254, 'l'), "1", "2", std::string(254, 'r'), "TCP",
        "Established" };
    const std::vector<GridRow> rows(200, wide);
    grid.gridModel()->setGridContent(rows);
    grid.selectAll();
    click(Qt::MiddleButton, 1, 1);
    const QString copied = clipboardText();
    EXPECT_EQ(copied.size(), 4999);
    EXPECT_TRUE(copied.startsWith(QString(254, QLatin1Char('h')) + QStringLiteral("   |   ")));
}

TEST_F(StringGridTest, CellColoursFollowSelectionAndTheExactStateText)
{
    std::vector<GridRow> rows = sampleRows(5);
    rows[0][6] = "Established";
    rows[1][6] = "established";
    rows[2][6] = " Established";
    rows[3][6] = "Established ";
    rows[4][6] = "Established";
    grid.gridModel()->setGridContent(rows);
    click(Qt::LeftButton, 6, 5);

    const QColor blue = QColor::fromRgb(GridDelegate::kSelectedColor);
    const QColor red = QColor::fromRgb(GridDelegate::kEstablishedColor);
    QImage image = grid.grab().toImage();
    EXPECT_EQ(cellPixel(image, 6, 1), red);
    EXPECT_EQ(cellPixel(image, 6, 2), QColor(Qt::white));
    EXPECT_EQ(cellPixel(image, 6, 3), QColor(Qt::white));
    EXPECT_EQ(cellPixel(image, 6, 4), QColor(Qt::white));
    EXPECT_EQ(cellPixel(image, 6, 5), blue); // selected wins over red
    EXPECT_EQ(cellPixel(image, 5, 5), QColor(Qt::white));
    // White text is drawn over the red and the blue (antialiased, so nearly white).
    const auto hasLightText = [&](int column, int row) {
        const QRect cell = grid.visualRect(grid.model()->index(row - 1, column));
        for (int x = cell.left() + 2; x < cell.right(); ++x)
            for (int y = cell.top() + 2; y < cell.bottom(); ++y)
                if (image.pixelColor(grid.viewport()->mapTo(&grid, QPoint(x, y))).lightness() > 220)
                    return true;
        return false;
    };
    EXPECT_TRUE(hasLightText(6, 1));
    EXPECT_TRUE(hasLightText(6, 5));
    // The header row is silver.
    EXPECT_EQ(
        image.pixelColor(grid.horizontalHeader()->sectionViewportPosition(3) + 1, 1), QColor(192, 192, 192));

    // A block over several cells is blue everywhere; after a right click nothing is.
    dragSelect(1, 1, 6, 2);
    image = grid.grab().toImage();
    for (int column = 1; column <= 6; ++column) {
        EXPECT_EQ(cellPixel(image, column, 1), blue) << column;
        EXPECT_EQ(cellPixel(image, column, 2), blue) << column;
    }
    click(Qt::RightButton, 3, 3);
    image = grid.grab().toImage();
    EXPECT_EQ(cellPixel(image, 6, 1), red);
    for (int column = 0; column <= 5; ++column)
        for (int row = 1; row <= 5; ++row)
            EXPECT_EQ(cellPixel(image, column, row), QColor(Qt::white)) << column << "," << row;
}

TEST_F(StringGridTest, StaleRowsAreGreyAndAWideStateColumnIsRedOnlyUnderItsText)
{
    std::vector<GridRow> rows = sampleRows(2);
    rows[0][6] = "Established";
    grid.gridModel()->setGridContent(rows);
    const QColor red = QColor::fromRgb(GridDelegate::kEstablishedColor);
    const auto pixelInCell = [this](const QImage& image, int column, int row, int x, int y = 1) {
        const QRect cell = grid.visualRect(grid.model()->index(row - 1, column));
        return image.pixelColor(grid.viewport()->mapTo(&grid, QPoint(cell.left() + x, cell.top() + y)));
    };
    // At the window's first width the whole 54-pixel cell is red, as always.
    QImage image = grid.grab().toImage();
    EXPECT_EQ(pixelInCell(image, 6, 1, 53), red);

    grid.resize(1200, 300);
    ASSERT_GT(grid.gridColumnWidth(6), 400);
    image = grid.grab().toImage();
    EXPECT_EQ(pixelInCell(image, 6, 1, 114), red);
    EXPECT_EQ(pixelInCell(image, 6, 1, 115), QColor(Qt::white));

    // Stale: no black text and no bright red anywhere in the rows.
    grid.gridModel()->setStale(true);
    image = grid.grab().toImage();
    EXPECT_EQ(pixelInCell(image, 6, 1, 1), QColor::fromRgb(GridDelegate::kStaleEstablishedColor));
    for (int column = 0; column <= 5; ++column)
        for (int row = 1; row <= 2; ++row)
            for (int x = 0; x < grid.gridColumnWidth(column) - 1; ++x)
                for (int y = 2; y < 14; ++y)
                    ASSERT_GE(pixelInCell(image, column, row, x, y).lightness(), 100) << column << "," << row;
    grid.gridModel()->setStale(false);
    image = grid.grab().toImage();
    EXPECT_EQ(pixelInCell(image, 6, 1, 1), red);
}

TEST_F(StringGridTest, StateColumnFillsTheRestOfTheWidth)
{
    // Six widths (543) plus six grid lines put "State" at 549 in a 603-pixel grid.
    EXPECT_EQ(grid.horizontalHeader()->sectionViewportPosition(6), 549);
    EXPECT_EQ(grid.gridColumnWidth(6), 54);
    for (int column = 0; column < 6; ++column)
        EXPECT_EQ(
            grid.gridColumnWidth(column), StringGrid::kInitialColumnWidths[static_cast<std::size_t>(column)]);

    // The outer width counts, so a vertical scroll bar does not change it.
    grid.gridModel()->setGridContent(sampleRows(100));
    ASSERT_TRUE(QTest::qWaitFor([this] { return grid.verticalScrollBar()->isVisible(); }));
    grid.stretchLastColumn();
    EXPECT_EQ(grid.gridColumnWidth(6), 54);

    // Dragging the border of "Local IP" 20 pixels right narrows "State" by 20 at the next move.
    QHeaderView* header = grid.horizontalHeader();
    const QPoint border(header->sectionViewportPosition(1) + header->sectionSize(1) - 1, 8);
    QTest::mousePress(header->viewport(), Qt::LeftButton, {}, border);
    QTest::mouseMove(header->viewport(), border + QPoint(10, 0));
    QTest::mouseMove(header->viewport(), border + QPoint(20, 0));
    QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, border + QPoint(20, 0));
    EXPECT_EQ(grid.gridColumnWidth(1), 150);
    hover(grid.viewport(), cellCentre(2, 2));
    EXPECT_EQ(header->sectionViewportPosition(6), 569);
    EXPECT_EQ(grid.gridColumnWidth(6), 34);

    // A width given to "State" itself is replaced at the next move, also over the header.
    grid.setGridColumnWidth(6, 300);
    hover(header->viewport(), QPoint(100, 5));
    EXPECT_EQ(grid.gridColumnWidth(6), 34);

    // Widening the grid changes only "State"; moving into it (partly under the scroll
    // bar) does not scroll the grid sideways.
    grid.resize(703, 300);
    EXPECT_EQ(grid.gridColumnWidth(6), 134);
    EXPECT_EQ(grid.gridColumnWidth(1), 150);
    QTest::qWait(10); // let the view lay out its new size
    click(Qt::LeftButton, 5, 2);
    grid.setFocus();
    QTest::keyClick(&grid, Qt::Key_Tab);
    ASSERT_EQ(grid.currentIndex().column(), 6);
    EXPECT_EQ(grid.horizontalScrollBar()->value(), 0);
    EXPECT_EQ(header->sectionViewportPosition(0), 0);
}

TEST_F(StringGridTest, RowsAndHeaderShareOnePitchAndTabWalksTheCells)
{
    // 15 pixels of cell plus the grid line, for the header row and the data rows alike.
    EXPECT_EQ(
        grid.visualRect(grid.model()->index(1, 0)).top() - grid.visualRect(grid.model()->index(0, 0)).top(),
        16);
    EXPECT_EQ(grid.viewport()->y(), 16);

    // Tab moves to the next cell, and on from the last column to the next row.
    click(Qt::LeftButton, 5, 2);
    grid.setFocus();
    QTest::keyClick(&grid, Qt::Key_Tab);
    EXPECT_EQ(grid.gridSelection(), (GridSelection { 6, 2, 6, 2 }));
    QTest::keyClick(&grid, Qt::Key_Tab);
    EXPECT_EQ(grid.gridSelection(), (GridSelection { 0, 3, 0, 3 }));
}

TEST(StringGridLook, ParentBackgroundDoesNotReachTheGrid)
{
    QWidget window;
    QPalette black = window.palette();
    black.setColor(QPalette::Window, Qt::black);
    black.setColor(QPalette::Base, Qt::black);
    window.setPalette(black);
    StringGrid grid(&window);
    grid.resize(603, 100);
    window.resize(603, 100);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    const QImage image = grid.grab().toImage();
    const QRect cell = grid.visualRect(grid.model()->index(0, 1));
    const QPoint inGrid = grid.viewport()->mapTo(&grid, cell.topLeft());
    EXPECT_EQ(image.pixelColor(inGrid + QPoint(1, 1)), QColor(Qt::white));
    // The grid line right of the cell and below it stays a light line.
    EXPECT_GT(image.pixelColor(inGrid + QPoint(cell.width(), 1)).lightness(), 128);
    EXPECT_GT(image.pixelColor(inGrid + QPoint(1, cell.height())).lightness(), 128);
}
