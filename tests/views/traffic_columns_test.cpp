// Each connection's traffic in the grid, on request: the Sent, Received and Rate columns
// after the others (the last stretched), their sort, and the tooltips.
#include "views/connection_map.h"
#include "views/grid_model.h"
#include "views/grid_sort.h"
#include "views/string_grid.h"
#include "views/traffic_group_model.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTest>

namespace {

ConnectionRow tcpRow(int port, std::uint64_t sent, std::uint64_t received, double sendRate)
{
    ConnectionRow row {};
    setField(row.localAddress, "127.0.0.1");
    setField(row.remoteAddress, "127.0.0.1");
    row.localPortNumber = port;
    row.remotePortNumber = 80;
    row.trafficKnown = true;
    row.bytesSent = sent;
    row.bytesReceived = received;
    row.sendRate = sendRate;
    row.receiveRate = sendRate < 0 ? -1 : 200;
    row.rttMs = 3;
    row.retransmits = 1;
    return row;
}

TEST(TrafficColumns, CellsSortAndTooltipsAndOffLeavesTheGridAsItWas)
{
    StringGrid grid;
    grid.setHeaderRow(gridHeaderRow());
    grid.resize(1100, 300);
    grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
    GridModel* model = grid.gridModel();
    QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    ConnectionRow udp {};
    setField(udp.localAddress, "0.0.0.0");
    udp.localPortNumber = 53;
    model->setGridContent({ { "1", "h", "5001", "80", "h", "TCP", "Established" },
                              { "2", "h", "5002", "80", "h", "TCP", "Established" },
                              { "3", "h", "53", "none", "none", "UDP", "none" } },
        { gridRowDetailsOf(tcpRow(5001, 1'500, 20, 1'000)), gridRowDetailsOf(tcpRow(5002, 9'000'000, 0, -1)),
            gridRowDetailsOf(udp) });
    EXPECT_EQ(model->columnCount(), 7);

    model->setTrafficColumns(true);
    ASSERT_EQ(model->columnCount(), 10);
    const QString dash = QStringLiteral("\u2013");
    const std::vector<std::vector<QString>> cells = {
        { QStringLiteral("Sent"), QStringLiteral("Received"), QStringLiteral("Rate") },
        { QStringLiteral("1.5 KB"), QStringLiteral("20 B"), QStringLiteral("\u21911.0 KB/s \u2193200 B/s") },
        { QStringLiteral("9.0 MB"), QStringLiteral("0 B"), dash }, // seen once: bytes, no rate
        { dash, dash, dash }, // UDP: the kernel counts nothing
    };
    for (int row = 0; row < 4; ++row) {
        for (int which = 0; which < 3; ++which)
            EXPECT_EQ(grid.cellText(7 + which, row), cells[std::size_t(row)][std::size_t(which)]) << row;
    }
    EXPECT_EQ(model->data(model->index(0, 8), Qt::ToolTipRole).toString().toStdString(),
        "TCP  Established\nLocal: 127.0.0.1:5001\nRemote: 127.0.0.1:80\nProcess: unknown"
            + std::string("\nSent: 1.5 KB (1500 bytes acknowledged)\nReceived: 20 B (20 bytes)\nRate: "
                          "\u21911.0 KB/s \u2193200 B/s\nRound trip: 3 ms, 1 segments retransmitted"));
    EXPECT_EQ(model->data(model->index(2, 6), Qt::ToolTipRole).toString().toStdString(),
        "UDP\nLocal: 0.0.0.0:53: open on all IPv4 interfaces\nProcess: unknown");
    // The last column stretches to the edge; "State" takes its own width again.
    EXPECT_EQ(grid.gridColumnWidth(6), StringGrid::kInitialColumnWidths[6]);
    EXPECT_GT(grid.gridColumnWidth(9), StringGrid::kAddedColumnWidth);

    // By Sent, largest first; by Rate, unknown last either way.
    model->setSort(7, Qt::DescendingOrder);
    EXPECT_EQ(grid.cellText(2, 1), QStringLiteral("5002"));
    EXPECT_EQ(grid.cellText(2, 3), QStringLiteral("53"));
    model->setSort(9, Qt::AscendingOrder);
    EXPECT_EQ(grid.cellText(2, 1), QStringLiteral("5001"));
    // With the process column the traffic columns move after it.
    model->setProcessColumn(true);
    EXPECT_EQ(model->sortColumn(), kScanOrder);
    EXPECT_EQ(grid.cellText(8, 0), QStringLiteral("Sent"));

    model->setTrafficColumns(false);
    model->setProcessColumn(false);
    EXPECT_EQ(model->columnCount(), 7);
    EXPECT_EQ(grid.cellText(6, 0), QStringLiteral("State"));
}

TEST(TrafficColumns, CloseConnectionIsOfferedOnRequestForTcpConnectionsOnly)
{
    StringGrid grid;
    grid.setHeaderRow(gridHeaderRow());
    grid.resize(900, 300);
    grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
    ConnectionRow udp {};
    setField(udp.localAddress, "0.0.0.0");
    // Another computer's connection, its process known: neither action reaches it.
    GridRowDetails other = gridRowDetailsOf(tcpRow(5002, 1, 1, 1));
    other.pid = 7;
    other.otherComputer = true;
    grid.gridModel()->setGridContent({ { "1", "h", "5001", "80", "h", "TCP", "Established" },
                                         { "2", "h", "53", "none", "none", "UDP", "none" },
                                         { "3", "h", "5002", "80", "h", "TCP", "Established" } },
        { gridRowDetailsOf(tcpRow(5001, 1, 1, 1)), gridRowDetailsOf(udp), other });
    std::vector<int> asked;
    QObject::connect(&grid, &StringGrid::closeConnectionRequested,
        [&](const GridRowDetails& details) { asked.push_back(details.localPort); });
    QMenu* menu = grid.contextMenu();
    QAction* close = menu->findChild<QAction*>(QStringLiteral("CloseConnection"));
    ASSERT_NE(close, nullptr);
    const auto openOn = [&](int row) {
        const QPoint at(60, row * (StringGrid::kRowHeight + 1) + 5);
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, grid.viewport()->mapToGlobal(at));
        QApplication::sendEvent(grid.viewport(), &event);
    };
    openOn(0);
    EXPECT_FALSE(close->isVisible()); // off: the menu as it always was
    menu->close();
    grid.setCloseOffered(true);
    openOn(0);
    EXPECT_TRUE(close->isVisible());
    EXPECT_TRUE(close->isEnabled());
    close->trigger();
    menu->close();
    openOn(1);
    EXPECT_FALSE(close->isEnabled());
    menu->close();
    EXPECT_EQ(asked, std::vector<int> { 5001 });
    // "Stop process…" beside it, for a row whose process is known.
    QAction* stop = menu->findChild<QAction*>(QStringLiteral("StopProcess"));
    ASSERT_NE(stop, nullptr);
    openOn(2);
    EXPECT_FALSE(close->isEnabled());
    EXPECT_FALSE(stop->isEnabled());
    menu->close();
    openOn(0);
    EXPECT_TRUE(stop->isVisible());
    EXPECT_FALSE(stop->isEnabled()); // pid 0: not known
    menu->close();
    grid.setCloseOffered(false);
    openOn(0);
    EXPECT_FALSE(stop->isVisible());
    menu->close();
}

TEST(TrafficColumns, TheMapShowsARateBesideThePortOnRequest)
{
    ConnectionRow row = tcpRow(5001, 1, 1, 1'500);
    setField(row.localPort, "5001");
    const MapLabels traffic { false, false, true };
    EXPECT_EQ(mapPortText(row, MapLabels()), "5001");
    EXPECT_EQ(mapPortText(row, traffic), "5001  \u21911.5 KB/s \u2193200 B/s");
    row.sendRate = row.receiveRate = -1; // seen once: no rate yet
    EXPECT_EQ(mapPortText(row, traffic), "5001");
}

TEST(TrafficColumns, TheGroupsSortByValueWithUnknownRatesLast)
{
    TrafficGroupModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    std::vector<GridRowDetails> rows;
    for (const auto& [pid, sent, rate] :
        { std::tuple { 1u, 900ull, -1.0 }, std::tuple { 2u, 20ull, 5e3 }, std::tuple { 3u, 300ull, 50.0 } }) {
        GridRowDetails row { "10.0.0.1", "10.0.0.2", 1, 2, pid, "p" };
        row.trafficKnown = true;
        row.bytesSent = sent;
        row.sendRate = row.receiveRate = rate;
        rows.push_back(row);
    }
    model.setRows(rows);
    const auto names = [&model] {
        QStringList shown;
        for (int row = 0; row < model.rowCount(); ++row)
            shown << model.index(row, 0).data().toString();
        return shown.join(u' ');
    };
    model.sort(TrafficGroupModel::RateColumn, Qt::DescendingOrder);
    EXPECT_EQ(names(), u"p[2] p[3] p[1]"_qs);
    model.sort(TrafficGroupModel::RateColumn, Qt::AscendingOrder);
    EXPECT_EQ(names(), u"p[3] p[2] p[1]"_qs);
    model.sort(TrafficGroupModel::SentColumn, Qt::AscendingOrder);
    EXPECT_EQ(names(), u"p[2] p[3] p[1]"_qs);
    model.setRows(rows); // a later scan keeps the sort
    EXPECT_EQ(names(), u"p[2] p[3] p[1]"_qs);
    EXPECT_EQ(model.index(0, TrafficGroupModel::RateColumn).data().toString().toStdString(),
        rateCellText(5e3, 5e3));
}

} // namespace
