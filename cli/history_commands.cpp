#include "cli/history_commands.h"

#include "cli/printing_scan_view.h"
#include "cli/scan_arguments.h"
#include "history/history_database.h"
#include "history/history_report.h"
#include "log/connection_log.h"
#include "platform/name_services.h"
#include "scan/mib_agent.h"
#include "scan/name_resolver.h"
#include "scan/run_scan.h"
#include "scan/scan_view.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <thread>

namespace {

std::atomic<bool> g_stop { false };

extern "C" void stopRecording(int)
{
    g_stop = true;
}

// Takes each scan's endpoints and nothing else: the recorder shows no rows.
class HistoryScanView final : public ScanView
{
public:
    void showView(bool) override { }
    void setStatusText(const std::string&) override { }
    void setGridContent(std::vector<GridRow>, std::vector<GridRowDetails>) override { }
    void publishMapTable(std::shared_ptr<MapTable>, bool) override { }
    bool showsMap() const override { return false; }
    void showCapacityMessage(int) override { }
    void setReadFailure(const std::string& failure) override { readFailure = failure; }
    bool recordsHistory() const override { return true; }
    void recordScan(std::shared_ptr<const SeenScan> scan) override { seen = std::move(scan); }

    std::shared_ptr<const SeenScan> seen;
    std::string readFailure;
};

// A fault is said when it begins and when it ends, not at every scan while it lasts.
class FaultReport
{
public:
    void say(const std::string& fault)
    {
        if (fault != m_current && !fault.empty())
            std::cerr << fault << std::endl;
        else if (fault.empty() && !m_current.empty())
            std::cerr << "History: recording again" << std::endl;
        m_current = fault;
    }

private:
    std::string m_current;
};

} // namespace

int recordHistory(const ScanArguments& arguments)
{
    if (!arguments.hosts.empty()) {
        std::cerr << "--record records this computer only" << std::endl;
        return 2;
    }
    HistoryDatabase database;
    if (!database.open(HistoryDatabase::defaultPath())) {
        std::cerr << database.error() << std::endl;
        return 1;
    }
    for (const std::string& notice : database.takeNotices())
        std::cerr << notice << std::endl;
    MibAgent agent;
    if (const std::string failure = startNetworking(agent); !failure.empty()) {
        std::cerr << failure << std::endl;
        return 1;
    }
    // Every endpoint with its owner, numbers only: names are not recorded, so none is asked.
    Options options = arguments.options;
    options.attributeProcesses = true;
    options.lookupHostNames = false;
    options.lookupPortNames = false;
    options.filterText.clear();
    options.tableSize = 1;
    NameResolver resolver(systemNameServices());
    ConnectionLog log; // no name is ever set, so nothing is written
    ConnectionTable table;
    HistoryScanView view;

    struct sigaction action
    {
    };
    action.sa_handler = stopRecording;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    FaultReport faults;
    const auto interval = std::chrono::seconds(arguments.recordInterval);
    while (!g_stop) {
        const auto started = std::chrono::steady_clock::now();
        view.seen.reset();
        runScan(agent, options, resolver, log, view, table);
        if (!view.readFailure.empty() || !view.seen) {
            // Nothing is closed on a scan that read nothing: the rows stay as they were.
            faults.say(
                view.readFailure.empty() ? std::string("the tables could not be read") : view.readFailure);
        } else {
            faults.say(database.record(*view.seen) ? std::string() : database.error());
            for (const std::string& notice : database.takeNotices())
                std::cerr << notice << std::endl;
            // One small step of retention per scan, so a long purge never delays one.
            database.purgeStep(std::time(nullptr) - std::int64_t(arguments.keepDays) * 86400,
                std::int64_t(arguments.maxMegabytes) * 1024 * 1024);
        }
        while (!g_stop && std::chrono::steady_clock::now() - started < interval)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return 0;
}

int printHistory(const ScanArguments& arguments)
{
    const std::string path = HistoryDatabase::defaultPath();
    if (!std::filesystem::exists(path)) {
        std::cerr << "History: nothing has been recorded: there is no " << path << std::endl;
        return 1;
    }
    const std::int64_t now = std::time(nullptr);
    const auto since = parseHistoryTime(arguments.historySince, now);
    const auto until = arguments.historyUntil.empty() ? std::optional<std::int64_t>(now)
                                                      : parseHistoryTime(arguments.historyUntil, now);
    const auto grouping = arguments.historyGroup.empty() ? std::optional(HistoryGrouping::None)
                                                         : groupingNamed(arguments.historyGroup);
    if (!since || !until || !grouping) {
        std::cerr << (!grouping ? "--group takes process, host, rport or lport"
                                : "--since and --until take 7d, 3h, 15m, 30s, a date or @SECONDS")
                  << std::endl;
        return 2;
    }
    HistoryDatabase database;
    if (!database.open(path)) {
        std::cerr << database.error() << std::endl;
        return 1;
    }
    HistoryReport report(arguments.options.filterText, *grouping);
    std::string error;
    if (!report.read(database, *since, *until, error)) {
        std::cerr << error << std::endl;
        return 1;
    }
    printTable(std::cout, arguments.format, report.header(), report.cells());
    std::cout.flush();
    return std::cout.good() ? 0 : 1;
}
