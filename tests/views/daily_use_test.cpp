// The grid's and the map's aids for daily use: sorting, the tab-separated copy, the
// wildcard mark with the addresses behind names, the map's state texts.
#include "tests/views/map_test_support.h"
#include "views/connection_map.h"
#include "views/grid_model.h"
#include "views/grid_sort.h"
#include "views/string_grid.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMenu>
#include <QTest>

namespace {

struct Endpoint
{
    const char* localHost;
    const char* localAddress;
    const char* localPort;
    const char* remoteHost;
    const char* remoteAddress;
    const char* remotePort;
    const char* state;
};

// Rows in scan order, numbered from 1, with their details.
void showScan(StringGrid& grid, const std::vector<Endpoint>& endpoints)
{
    std::vector<GridRow> rows;
    std::vector<GridRowDetails> details;
    for (const Endpoint& e : endpoints) {
        rows.push_back({ std::to_string(rows.size() + 1), e.localHost, e.localPort, e.remotePort,
            e.remoteHost, "TCP", e.state });
        details.push_back({ e.localAddress, e.remoteAddress });
    }
    grid.gridModel()->setGridContent(std::move(rows), std::move(details));
}

class DailyGridTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        grid.setHeaderRow(gridHeaderRow());
        grid.resize(603, 300);
        grid.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
    }

    std::vector<std::string> column(int c) const
    {
        std::vector<std::string> out;
        for (int row = 1; row < grid.rowCount(); ++row)
            out.push_back(grid.cellText(c, row).toStdString());
        return out;
    }

    void clickHeader(int section)
    {
        QHeaderView* header = grid.horizontalHeader();
        const QPoint centre(header->sectionViewportPosition(section) + header->sectionSize(section) / 2, 8);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, centre);
    }

    StringGrid grid;
};

const std::vector<Endpoint> kFirstScan {
    { "10.0.0.10", "10.0.0.10", "443", "b.example", "10.1.0.2", "51000", "Established" },
    { "10.0.0.9", "10.0.0.9", "22", "none", "", "none", "Listening" },
    { "fe80::2", "fe80::2", "ssh", "none", "", "none", "Listening" },
    { "10.0.0.9", "10.0.0.9", "8080", "A.example", "10.1.0.1", "50999", "Time_wait" },
};

TEST_F(DailyGridTest, HeaderClicksSortAcrossRefreshesAndReturnToTheScansOrder)
{
    showScan(grid, kFirstScan);
    clickHeader(1); // until sorting is chosen, a click on a title sorts nothing
    EXPECT_EQ(column(0), (std::vector<std::string> { "1", "2", "3", "4" }));
    EXPECT_FALSE(grid.horizontalHeader()->isSortIndicatorShown());

    GridModel* model = grid.gridModel();
    model->setSortable(true);
    clickHeader(1); // addresses by value: 10.0.0.9 before 10.0.0.10, IPv6 after IPv4
    EXPECT_EQ(column(1), (std::vector<std::string> { "10.0.0.9", "10.0.0.9", "10.0.0.10", "fe80::2" }));
    EXPECT_EQ(column(0), (std::vector<std::string> { "2", "4", "1", "3" })); // ties keep the scan's order
    EXPECT_TRUE(grid.horizontalHeader()->isSortIndicatorShown());

    clickHeader(2); // ports as numbers, names after them
    EXPECT_EQ(column(2), (std::vector<std::string> { "22", "443", "8080", "ssh" }));
    clickHeader(2);
    EXPECT_EQ(column(2), (std::vector<std::string> { "ssh", "8080", "443", "22" }));

    // The next scan's rows come sorted the same way; its numbers are its own.
    showScan(
        grid, { kFirstScan[3], kFirstScan[0], { "h", "10.0.0.1", "25", "none", "", "none", "Listening" } });
    EXPECT_EQ(column(2), (std::vector<std::string> { "8080", "443", "25" }));
    EXPECT_EQ(column(0), (std::vector<std::string> { "1", "2", "3" }));
    EXPECT_EQ(model->sortColumn(), 2);
    EXPECT_EQ(model->sortOrder(), Qt::DescendingOrder);

    clickHeader(4); // host names as text, in any case
    EXPECT_EQ(column(4), (std::vector<std::string> { "A.example", "b.example", "none" }));

    // Third click on one column: the scan's order, and the header as it always looked.
    clickHeader(4);
    clickHeader(4);
    EXPECT_EQ(model->sortColumn(), kScanOrder);
    EXPECT_EQ(column(0), (std::vector<std::string> { "1", "2", "3" }));
    EXPECT_FALSE(grid.horizontalHeader()->isSortIndicatorShown());

    // Sorting given up: the scan's order at once.
    clickHeader(2);
    model->setSortable(false);
    EXPECT_EQ(column(0), (std::vector<std::string> { "1", "2", "3" }));
    EXPECT_FALSE(grid.horizontalHeader()->isSortIndicatorShown());
}

TEST_F(DailyGridTest, CtrlShiftCCopiesWholeRowsAsTabSeparatedTextWithAHeader)
{
    showScan(grid, kFirstScan);
    grid.gridModel()->setSort(1, Qt::DescendingOrder); // rows go out as shown
    QTest::mousePress(
        grid.viewport(), Qt::LeftButton, {}, grid.visualRect(grid.model()->index(0, 3)).center());
    QTest::mouseMove(grid.viewport(), grid.visualRect(grid.model()->index(1, 4)).center());
    QTest::mouseRelease(
        grid.viewport(), Qt::LeftButton, {}, grid.visualRect(grid.model()->index(1, 4)).center());
    // The block copy on release is as it always was.
    EXPECT_EQ(
        QGuiApplication::clipboard()->text(), QStringLiteral("none   |   none\r\n51000   |   b.example\r\n"));

    QTest::keyClick(&grid, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    const QByteArray expected = "No\tLocal IP\tLocal Port\tRemote Port\tRemote IP\tProtocol\tState\n"
                                "3\tfe80::2\tssh\tnone\tnone\tTCP\tListening\n"
                                "1\t10.0.0.10\t443\t51000\tb.example\tTCP\tEstablished\n";
    EXPECT_EQ(QGuiApplication::clipboard()->text().toUtf8(), expected);
    if (QGuiApplication::clipboard()->supportsSelection()) {
        EXPECT_EQ(QGuiApplication::clipboard()->text(QClipboard::Selection).toUtf8(), expected);
    }

    grid.copyRemoteAddress(); // the first selected row has no remote side: nothing changes
    EXPECT_EQ(QGuiApplication::clipboard()->text().toUtf8(), expected);
    grid.selectionModel()->clear();
    grid.setCurrentIndex(grid.model()->index(1, 0));
    grid.copyRemoteAddress();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("10.1.0.2"));
}

TEST_F(DailyGridTest, TheContextMenuCopiesTheRowsSelectedBeforeTheRightClickClearedThem)
{
    showScan(grid, kFirstScan);
    grid.selectionModel()->select(QItemSelection(grid.model()->index(2, 1), grid.model()->index(3, 2)),
        QItemSelectionModel::ClearAndSelect);
    const QPoint onRow4 = grid.visualRect(grid.model()->index(3, 1)).center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, onRow4, grid.viewport()->mapToGlobal(onRow4));
    QApplication::sendEvent(grid.viewport(), &event);
    EXPECT_TRUE(grid.gridSelection().isEmpty()) << "the right click clears, as it always did";
    QMenu* menu = grid.contextMenu();
    ASSERT_TRUE(menu->isVisible());
    const QList<QAction*> actions = menu->actions();
    EXPECT_FALSE(actions[3]->isEnabled()) << "no owner known for the row";
    EXPECT_FALSE(actions[2]->isEnabled()); // row 3 listens: no remote side

    actions[0]->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text().toUtf8(),
        QByteArray("No\tLocal IP\tLocal Port\tRemote Port\tRemote IP\tProtocol\tState\n"
                   "3\tfe80::2\tssh\tnone\tnone\tTCP\tListening\n"
                   "4\t10.0.0.9\t8080\t50999\tA.example\tTCP\tTime_wait\n"));
    actions[1]->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("fe80::2"));
    menu->close();
}

TEST_F(DailyGridTest, NamesShowTheAddressBehindThemAndWildcardsAreMarked)
{
    showScan(grid,
        { { "vm", "0.0.0.0", "ssh", "none", "", "none", "Listening" },
            { "vm", "192.168.1.20", "51000", "far.example", "10.1.0.2", "https", "Established" },
            { "0.0.0.0", "0.0.0.0", "22", "none", "", "none", "Listening" } });
    GridModel* model = grid.gridModel();
    const auto shown = [&](int row, int column, int role) {
        return model->data(model->index(row, column), role).toString();
    };
    EXPECT_EQ(shown(0, 1, Qt::DisplayRole), QStringLiteral("vm")) << "marked only when asked";
    model->setMarkWildcards(true);
    EXPECT_EQ(shown(0, 1, Qt::DisplayRole), QStringLiteral("vm (all)"));
    EXPECT_EQ(shown(0, 1, Qt::ToolTipRole), QStringLiteral("0.0.0.0:0: open on all IPv4 interfaces"));
    EXPECT_EQ(grid.cellText(1, 1), QStringLiteral("vm")); // copies and the log keep the scan's text
    EXPECT_EQ(shown(1, 1, Qt::DisplayRole), QStringLiteral("vm"));
    EXPECT_EQ(shown(1, 1, Qt::ToolTipRole), QStringLiteral("192.168.1.20:0"));
    EXPECT_EQ(shown(1, 4, Qt::ToolTipRole), QStringLiteral("10.1.0.2:0"));
    // Names off: the address itself, nothing added.
    EXPECT_EQ(shown(2, 1, Qt::DisplayRole), QStringLiteral("0.0.0.0"));
    EXPECT_EQ(shown(2, 1, Qt::ToolTipRole), QString());

    // The map marks the wildcard's row beside its port, so that the wildcard and the
    // loopback address, both "vm", stay one interface.
    ConnectionTable table;
    fillTable(table, { { "vm", "ssh", "Listening" }, { "vm", "http", "Listening" } });
    setField(table.row(1).localAddress, "0.0.0.0");
    setField(table.row(2).localAddress, "127.0.0.1");
    const MapLabels marked { false, true };
    EXPECT_EQ(mapPortText(table.row(1), marked), "ssh (all)");
    EXPECT_EQ(mapPortText(table.row(2), marked), "http");
    EXPECT_EQ(mapPortText(table.row(1), MapLabels()), "ssh");
    EXPECT_EQ(countMapRows(table).interfaceCount, 1);
    EXPECT_TRUE(
        mapRowToolTip(table.row(1)).contains(QStringLiteral("vm = 0.0.0.0:0 (ssh), all IPv4 interfaces")));

    // Each end in [address]:port form, and a socket that takes both families says so.
    const struct
    {
        const char* address;
        bool dualStack;
        const char* text;
    } ends[] = {
        { "::", false, "[::]:22: open on all IPv6 interfaces" },
        { "0.0.0.0", true, "0.0.0.0:22: open on all IPv4 and IPv6 interfaces" },
        { "::1", false, "[::1]:22" },
    };
    for (const auto& end : ends)
        EXPECT_EQ(localEndText(end.address, 22, end.dualStack), end.text);
}

TEST_F(DailyGridTest, NewRowsAreMarkedForOneRefreshAndClosedOnesCounted)
{
    GridModel* model = grid.gridModel();
    model->setMarkNewRows(true);
    showScan(grid, { kFirstScan[0], kFirstScan[1] });
    EXPECT_EQ(model->newRowCount(), 0); // the first refresh has nothing to compare with
    showScan(grid, { kFirstScan[1], kFirstScan[2], kFirstScan[3] });
    EXPECT_EQ(model->newRowCount(), 2);
    EXPECT_EQ(model->closedRowCount(), 1);
    EXPECT_FALSE(model->data(model->index(0, 0), GridModel::kNewRowRole).toBool());
    EXPECT_TRUE(model->data(model->index(1, 0), GridModel::kNewRowRole).toBool());
    EXPECT_FALSE(model->data(model->index(1, 1), GridModel::kNewRowRole).toBool()); // the "No" cell only
    const QImage image = grid.grab().toImage();
    const QRect cell = grid.visualRect(model->index(1, 0));
    EXPECT_EQ(
        image.pixelColor(grid.viewport()->mapTo(&grid, cell.topLeft() + QPoint(1, 1))), QColor(0, 128, 0));
    showScan(grid, { kFirstScan[1], kFirstScan[2], kFirstScan[3] });
    EXPECT_EQ(model->newRowCount(), 0);
    EXPECT_FALSE(model->data(model->index(1, 0), GridModel::kNewRowRole).toBool());

    // Turned off and on again, the rows shown when it comes back are what it compares with.
    model->setMarkNewRows(false);
    showScan(grid, { kFirstScan[0], kFirstScan[1] });
    model->setMarkNewRows(true);
    EXPECT_EQ(model->newRowCount(), 0);
    showScan(grid, { kFirstScan[0], kFirstScan[1], kFirstScan[2] });
    EXPECT_EQ(model->newRowCount(), 1);
    EXPECT_EQ(model->closedRowCount(), 0);
}

TEST(MapStateTexts, NonEstablishedTcpRowsShowTheirStateAndTooltipsFindTheirRows)
{
    ConnectionTable table;
    fillTable(table,
        { { "h", "1", "Established", "TCP", "far", "80" }, { "h", "2", "Time_wait" },
            { "h", "3", "Listening" }, { "h", "4", "none", "UDP" } });
    const MapLabels states { true, false };
    for (int row = 1; row <= 3; ++row)
        EXPECT_EQ(mapProtocolText(table.row(row), MapLabels()), "TCP") << "the protocol alone, unless asked";
    EXPECT_EQ(mapProtocolText(table.row(1), states), "TCP");
    EXPECT_EQ(mapProtocolText(table.row(2), states), "TCP Time_wait");
    EXPECT_EQ(mapProtocolText(table.row(3), states), "TCP Listening");
    EXPECT_EQ(mapProtocolText(table.row(4), states), "UDP");

    // Drawn at the protocol's place, in yellow.
    const MapPictures pictures = MapPictures::load();
    const int rowStep = pictures.Image_Hub_Lst.height();
    const int secondRowTop
        = 30 + pictures.Image_Main.height() + 10 + 25 + 15 + pictures.Image_Hub_Top.height() + rowStep;
    const int textX = 50 + pictures.Image_Hub_Est.width() + 5;
    const QImage plain = composeConnectionMap(QSize(603, 409), 603, 30, pictures, table, "me");
    EXPECT_FALSE(
        containsAt(plain, textCell(QStringLiteral("TCP Time_wait"), kYellow), textX, secondRowTop + 5));
    const QImage image = composeConnectionMap(QSize(603, 409), 603, 30, pictures, table, "me", 1, states);
    EXPECT_TRUE(
        containsAt(image, textCell(QStringLiteral("TCP Time_wait"), kYellow), textX, secondRowTop + 5));

    EXPECT_EQ(mapRowAt(pictures, table, 30, QPoint(60, secondRowTop + 1)), 2);
    EXPECT_EQ(mapRowAt(pictures, table, 30, QPoint(60, secondRowTop - 1)), 1);
    EXPECT_EQ(mapRowAt(pictures, table, 30, QPoint(60, 40)), 0);
    EXPECT_EQ(mapRowAt(pictures, table, 30, QPoint(60, secondRowTop + 3 * rowStep)), 0);
    EXPECT_TRUE(mapRowToolTip(table.row(2)).startsWith(QStringLiteral("TCP Time_wait\nLocal: h, port 2")));
}

} // namespace

TEST(ProcessSort, ByNameThenPidWithUnknownOwnersLastEitherWay)
{
    GridModel model;
    model.setProcessColumn(true);
    model.setSortable(true);
    std::vector<GridRow> rows;
    std::vector<GridRowDetails> details;
    for (const char* cell : { "-", "sshd[900]", "Firefox[20848]", "sshd[80]", "-", "a[b][7]" }) {
        rows.push_back({ std::to_string(rows.size() + 1), "h", "1", "2", "r", "TCP", "Listening" });
        GridRowDetails d;
        d.processCell = cell;
        details.push_back(d);
    }
    model.setGridContent(rows, details);
    const auto processes = [&model] {
        std::vector<std::string> out;
        for (int row = 1; row < model.gridRowCount(); ++row)
            out.emplace_back(model.cellText(GridModel::kProcessColumn, row));
        return out;
    };
    model.setSort(GridModel::kProcessColumn, Qt::AscendingOrder);
    EXPECT_EQ(processes(),
        (std::vector<std::string> { "a[b][7]", "Firefox[20848]", "sshd[80]", "sshd[900]", "-", "-" }));
    model.setSort(GridModel::kProcessColumn, Qt::DescendingOrder);
    EXPECT_EQ(processes(),
        (std::vector<std::string> { "sshd[900]", "sshd[80]", "Firefox[20848]", "a[b][7]", "-", "-" }));
    EXPECT_EQ(model.cellText(0, 5), "1"); // the unknown keep the scan's order
}
