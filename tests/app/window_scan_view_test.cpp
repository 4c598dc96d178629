// The bridge from the scan worker to the window: every step arrives on the GUI thread in the
// order made, and the steps before a status text wait for it, so a scan wakes the GUI twice.
#include "app/window_scan_view.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

TEST(WindowScanView, StepsArriveInOrderTogetherWithTheStatusTextThatEndsTheirBurst)
{
    WindowScanView view(nullptr);
    std::vector<std::string> seen;
    QObject::connect(
        &view, &WindowScanView::viewShown, [&](bool graphic) { seen.push_back(graphic ? "map" : "grid"); });
    QObject::connect(&view, &WindowScanView::statusTextChanged,
        [&](const QString& text) { seen.push_back("status " + text.toStdString()); });
    QObject::connect(&view, &WindowScanView::gridContentChanged, [&](const std::shared_ptr<GridContent>& content) {
        seen.push_back("rows " + std::to_string(content->rows.size()));
    });
    QObject::connect(&view, &WindowScanView::mapTablePublished,
        [&](const std::shared_ptr<MapTable>&, bool) { seen.push_back("map table"); });
    QObject::connect(&view, &WindowScanView::readFailureChanged,
        [&](const QString& failure) { seen.push_back("failure " + failure.toStdString()); });
    const auto onWorker = [](auto&& steps) { std::thread(steps).join(); };

    onWorker([&] { view.showView(true); });
    QCoreApplication::processEvents();
    EXPECT_TRUE(seen.empty()) << "the view waits for the status text that follows it";
    onWorker([&] { view.setStatusText("Scanning..."); });
    QCoreApplication::processEvents();
    EXPECT_EQ(seen, (std::vector<std::string> { "map", "status Scanning..." }));

    seen.clear();
    onWorker([&] {
        view.setGridContent(std::vector<GridRow>(3), std::vector<GridRowDetails>(3));
        view.publishMapTable(std::make_shared<MapTable>(), true);
        view.setReadFailure("");
    });
    QCoreApplication::processEvents();
    EXPECT_TRUE(seen.empty());
    onWorker([&] { view.setStatusText("3 endpoints"); });
    QCoreApplication::processEvents();
    EXPECT_EQ(seen, (std::vector<std::string> { "rows 3", "map table", "failure ", "status 3 endpoints" }));

    // Once the window has closed, nothing more arrives, held steps included.
    seen.clear();
    onWorker([&] { view.setGridContent({}, {}); });
    view.shutdown();
    onWorker([&] { view.setStatusText("late"); });
    QCoreApplication::processEvents();
    EXPECT_TRUE(seen.empty());
}

} // namespace
