// Cost of one connection map run with a full table of 200 rows (or the rows given), on the
// main window's initial surface (603 x 409), unscrolled and scrolled half way.
//
//   map_bench [--rows N] [--runs N]
#include "views/connection_map.h"
#include "views/map_surface.h"

#include <QApplication>
#include <QScrollBar>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Four interfaces; a third of the rows established, with long remote names.
std::shared_ptr<MapTable> fullTable(int rows)
{
    auto mapTable = std::make_shared<MapTable>();
    mapTable->table.setCapacity(ConnectionTable::kUnbounded);
    char text[64];
    for (int i = 0; i < rows; ++i) {
        ConnectionRow* row = mapTable->table.append();
        std::snprintf(text, sizeof text, "192.168.%d.%d", i % 4, 10 + i % 4);
        setField(row->localHost, text);
        std::snprintf(text, sizeof text, "%d", 40000 + i);
        setField(row->localPort, text);
        const bool established = i % 3 == 0;
        std::snprintf(text, sizeof text, "host-%d.cluster.example.org", i);
        setField(row->remoteHost, established ? text : "none");
        setField(row->remotePort, established ? "https" : "none");
        setField(row->protocol, i % 5 == 4 ? "UDP" : "TCP");
        setField(row->state, established ? "Established" : (i % 5 == 4 ? "none" : "Listening"));
    }
    mapTable->localComputerName = "workstation.example.org";
    return mapTable;
}

double medianMicroseconds(std::vector<double>& samples)
{
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

template <typename Run> void report(const char* name, int runs, Run run)
{
    std::vector<double> samples;
    samples.reserve(std::size_t(runs));
    for (int i = 0; i < 20; ++i)
        run();
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        run();
        const auto end = std::chrono::steady_clock::now();
        samples.push_back(std::chrono::duration<double, std::micro>(end - start).count());
    }
    const double median = medianMicroseconds(samples);
    std::printf("%-34s median %8.1f us   p90 %8.1f us   (%d runs)\n", name, median,
        samples[samples.size() * 9 / 10], runs);
}

} // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);

    int fixedRuns = 0;
    int rows = ConnectionTable::kCapacity;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0)
            fixedRuns = std::atoi(argv[i + 1]);
        if (std::strcmp(argv[i], "--rows") == 0)
            rows = std::max(1, std::atoi(argv[i + 1]));
    }

    const MapPictures pictures = MapPictures::load();
    MapSurface listView1;
    listView1.resize(603, 409);
    QScrollBar scrollBar1(Qt::Vertical);
    ConnectionMap map(&listView1, &scrollBar1, &pictures, [] { return 603; });
    map.setTable(fullTable(rows));
    map.DrawConnectionMap();

    if (fixedRuns > 0) {
        for (int i = 0; i < fixedRuns; ++i)
            map.DrawConnectionMap();
        std::printf("%d runs done\n", fixedRuns);
        return 0;
    }

    const int runs = std::max(20, 200000 / rows);
    std::printf("%d rows\n", rows);
    scrollBar1.setValue(0);
    report("full run, top", runs, [&map] { map.DrawConnectionMap(); });
    scrollBar1.setValue(scrollBar1.maximum() / 2);
    report("full run, scrolled", runs, [&map] { map.DrawConnectionMap(); });
    scrollBar1.setValue(scrollBar1.maximum());
    report("full run, at the end", runs, [&map] { map.DrawConnectionMap(); });

    MapTable table = *fullTable(rows);
    report("ordering alone", runs, [&table] { orderMapRows(table.table); });
    report("drawing alone, top", runs, [&table, &pictures] {
        composeConnectionMap(QSize(603, 409), 603, 30, pictures, table.table, table.localComputerName);
    });
    return 0;
}
