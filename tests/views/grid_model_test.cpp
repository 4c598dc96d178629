#include "views/grid_model.h"
#include "views/grid_sort.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <QAbstractItemModelTester>
#include <QSignalSpy>

namespace {

std::vector<GridRow> makeRows(int count, const std::string& tag)
{
    std::vector<GridRow> rows;
    for (int r = 1; r <= count; ++r)
        rows.push_back({ std::to_string(r), tag + "ip" + std::to_string(r), "80", "443", "remote", "TCP",
            "Established" });
    return rows;
}

} // namespace

TEST(GridModel, StartsWithOneEmptyDataRowAndTheHeaderAsRowZero)
{
    GridModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    EXPECT_EQ(model.rowCount(), 1);
    EXPECT_EQ(model.gridRowCount(), 2);
    EXPECT_EQ(model.columnCount(), 7);

    model.setHeaderRow({ "No", "Local IP", "Local Port", "Remote Port", "Remote IP", "Protocol", "State" });
    EXPECT_EQ(model.headerData(4, Qt::Horizontal).toString(), QStringLiteral("Remote IP"));
    EXPECT_EQ(model.cellText(6, 0), "State");
    EXPECT_EQ(model.cellText(6, 1), "");
    EXPECT_FALSE(model.flags(model.index(0, 0)).testFlag(Qt::ItemIsEditable));
}

TEST(GridModel, RefillsAnnounceTheChangedRowsAsOneBlockAndKeepGridNumbering)
{
    GridModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

    struct Step
    {
        int count;
        std::string tag;
        bool again; // the last refill's rows again
    };
    // Grow, keep the count, shrink, refill the same, grow again.
    int before = 1; // the blank row of a grid with no scan yet
    for (const Step& step : { Step { 5, "a", false }, Step { 5, "b", false }, Step { 2, "c", false },
             Step { 2, "c", true }, Step { 4, "e", false } }) {
        changed.clear();
        model.setGridContent(makeRows(step.count, step.tag));
        ASSERT_EQ(model.rowCount(), step.count);
        if (step.again) {
            EXPECT_EQ(changed.size(), 0) << "the same rows again repaint nothing";
        } else {
            ASSERT_EQ(changed.size(), 1) << step.tag;
            EXPECT_EQ(changed[0][0].toModelIndex(), model.index(0, 0));
            EXPECT_EQ(changed[0][1].toModelIndex(), model.index(std::min(before, step.count) - 1, 6));
        }
        for (int r = 1; r <= step.count; ++r) {
            EXPECT_EQ(model.cellText(1, r), step.tag + "ip" + std::to_string(r));
            EXPECT_EQ(model.data(model.index(r - 1, 1)).toString().toStdString(),
                step.tag + "ip" + std::to_string(r));
        }
        before = step.count;
    }
    // Outside the grid there is no text, and no out-of-range read.
    EXPECT_EQ(model.cellText(7, 1), "");
    EXPECT_EQ(model.cellText(0, 5), "");
    EXPECT_EQ(model.cellText(-1, -1), "");
}

TEST(GridModel, AnEmptyScansBlankRowStaysAndAFilterThatMatchesNothingLeavesNone)
{
    GridModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.setGridContent(makeRows(3, "x"));
    model.setGridContent({ GridRow {} }); // what a scan of an empty machine passes
    ASSERT_EQ(model.rowCount(), 1);
    for (int c = 0; c < 7; ++c)
        EXPECT_EQ(model.cellText(c, 1), "");
    model.setGridContent({});
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.gridRowCount(), 1); // the header alone
}

TEST(GridModel, TheComputerColumnComesLastWithEachRowsComputerAndStaleness)
{
    GridModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.setHeaderRow(gridHeaderRow());
    GridRowDetails web {};
    web.computer = "web";
    web.localAddress = "10.0.0.1";
    GridRowDetails db = web;
    db.computer = "db";
    db.stale = true;
    model.setGridContent({ { "1", "a", "80", "none", "none", "TCP", "Listening" },
                             { "2", "a", "80", "none", "none", "TCP", "Listening" } },
        { web, db });
    EXPECT_EQ(model.columnCount(), 7);
    EXPECT_EQ(model.computerColumn(), -1);
    EXPECT_NE(model.endpointKeyOf(0), model.endpointKeyOf(1)) << "the same ends on two computers";
    model.setComputerColumn(true);
    model.setProcessColumn(true);
    ASSERT_EQ(model.columnCount(), 9);
    EXPECT_EQ(model.computerColumn(), 8);
    EXPECT_EQ(model.cellText(8, 0), "Computer");
    EXPECT_EQ(model.cellText(8, 2), "db");
    EXPECT_EQ(model.headerData(8, Qt::Horizontal).toString(), QStringLiteral("Computer"));
    for (int column = 0; column < model.columnCount(); ++column) {
        EXPECT_FALSE(model.data(model.index(0, column), GridModel::kStaleRole).toBool()) << column;
        EXPECT_TRUE(model.data(model.index(1, column), GridModel::kStaleRole).toBool()) << column;
    }
    model.setSortable(true);
    model.setSort(8, Qt::AscendingOrder);
    EXPECT_EQ(model.cellText(8, 1), "db");
    model.setProcessColumn(false);
    EXPECT_EQ(model.computerColumn(), 7);
    EXPECT_EQ(model.data(model.index(0, 7)).toString(), QStringLiteral("db"));

    // With the traffic columns too: they stand before it, whichever comes first.
    model.setSort(kScanOrder, Qt::AscendingOrder);
    model.setComputerColumn(false);
    model.setTrafficColumns(true);
    QSignalSpy inserted(&model, &QAbstractItemModel::columnsInserted);
    model.setComputerColumn(true);
    ASSERT_EQ(inserted.size(), 1);
    EXPECT_EQ(inserted[0][1].toInt(), model.computerColumn()) << "announced where it stands";
    model.setProcessColumn(true);
    ASSERT_EQ(model.columnCount(), 12);
    EXPECT_EQ(model.computerColumn(), 11);
    EXPECT_EQ(model.headerData(8, Qt::Horizontal).toString(), QStringLiteral("Sent"));
    EXPECT_EQ(model.headerData(11, Qt::Horizontal).toString(), QStringLiteral("Computer"));
    EXPECT_EQ(model.cellText(11, 2), "db");
}
