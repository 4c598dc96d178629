// The owner of every row in the grid: its tooltip, the "Process" column on request
// (the last one then, stretched) and "Copy process".
#include "views/grid_model.h"
#include "views/string_grid.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTest>

namespace {

void showTwoRows(StringGrid& grid)
{
    ConnectionRow owned {};
    setField(owned.localAddress, "::1");
    owned.localPortNumber = 9090;
    owned.pid = 4242;
    setField(owned.processName, "srv");
    setField(owned.commandLine, "/usr/bin/srv -p 9090");
    ConnectionRow unknown {};
    setField(unknown.localAddress, "10.0.0.1");
    setField(unknown.remoteAddress, "10.0.0.2");
    unknown.localPortNumber = 40000;
    unknown.remotePortNumber = 443;
    grid.gridModel()->setGridContent({ { "1", "vm", "websm", "none", "none", "TCP", "Listening" },
                            { "2", "vm", "40000", "https", "far", "TCP", "Established" } },
        { gridRowDetailsOf(owned), gridRowDetailsOf(unknown) });
}

TEST(ProcessColumn, TooltipsColumnAndCopy)
{
    StringGrid grid;
    grid.setHeaderRow(gridHeaderRow());
    grid.resize(603, 300);
    grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
    showTwoRows(grid);
    const GridModel* model = grid.gridModel();
    const auto tip = [&](int row, int column) {
        return model->data(model->index(row, column), Qt::ToolTipRole).toString();
    };
    EXPECT_EQ(tip(0, 2),
        QStringLiteral("TCP  Listening\nLocal: [::1]:9090\nProcess: srv (pid 4242)\nCommand line: "
                       "/usr/bin/srv -p 9090"));
    EXPECT_EQ(tip(1, 6),
        QStringLiteral("TCP  Established\nLocal: 10.0.0.1:40000\nRemote: 10.0.0.2:443\nProcess: unknown"));
    EXPECT_EQ(tip(1, 4), QStringLiteral("10.0.0.2")); // host cells keep their address

    // Off: seven columns, "State" stretched to the edge.
    EXPECT_EQ(model->columnCount(), 7);
    const int stateWidth = grid.gridColumnWidth(6);
    grid.gridModel()->setProcessColumn(true);
    EXPECT_EQ(model->columnCount(), 8);
    EXPECT_EQ(grid.cellText(7, 0), QStringLiteral("Process"));
    EXPECT_EQ(grid.cellText(7, 1), QStringLiteral("srv[4242]"));
    EXPECT_EQ(grid.cellText(7, 2), QStringLiteral("-"));
    EXPECT_EQ(grid.gridColumnWidth(6), StringGrid::kInitialColumnWidths[6]);
    EXPECT_EQ(grid.lastColumn(), 7);
    EXPECT_GT(grid.gridColumnWidth(7), 1);
    grid.setCurrentIndex(grid.gridModel()->index(0, 0));
    grid.copyRowsAsTsv();
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
        QStringLiteral("No\tLocal IP\tLocal Port\tRemote Port\tRemote IP\tProtocol\tState\tProcess\n"
                       "1\tvm\twebsm\tnone\tnone\tTCP\tListening\tsrv[4242]\n"));
    grid.gridModel()->setProcessColumn(false);
    EXPECT_EQ(model->columnCount(), 7);
    EXPECT_EQ(grid.gridColumnWidth(6), stateWidth);

    QMenu* menu = grid.contextMenu();
    QAction* copy = menu->findChild<QAction*>(QStringLiteral("CopyProcess"));
    ASSERT_NE(copy, nullptr);
    const auto openOn = [&](int row) {
        const QPoint at(60, row * (StringGrid::kRowHeight + 1) + 5);
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, grid.viewport()->mapToGlobal(at));
        QApplication::sendEvent(grid.viewport(), &event);
    };
    openOn(0);
    EXPECT_TRUE(copy->isVisible());
    EXPECT_TRUE(copy->isEnabled());
    copy->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("srv[4242] /usr/bin/srv -p 9090"));
    menu->close();
    openOn(1);
    EXPECT_FALSE(copy->isEnabled());
    menu->close();
}

} // namespace
