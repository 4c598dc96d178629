// The connection history's costs (run as root; no traffic beyond loopback):
//   history_bench cpu [rounds [scans]]   a private network namespace with 1,000 connection pairs
//                                        of a machine's mix (about 2,000 endpoints): whole-process CPU
//                                        of scans (window options, names off) recorded into the
//                                        history against the same scans unrecorded, interleaved
//   history_bench growth [hours]         a simulated 1 s refresh of 300 endpoints of which 10 open and
//                                        10 close every second: the database's growth, per day
//   history_bench query [rounds [rows]]  veltran-scan --history --since 7d --group process (and with a
//                                        filter) on a database of 1,000,000 connections over 7 days
//   history_bench window [rounds [rows]] the History window's first paint after its read on that
//                                        database (offscreen): as it opens (the last hour) and the
//                                        last 7 days by process, against the smallest Qt window's
//   history_bench scans N record|plain   one contender of cpu (used by it)

#include "history/history_database.h"
#include "log/connection_log.h"
#include "platform/name_services.h"
#include "scan/mib_agent.h"
#include "scan/name_resolver.h"
#include "scan/options.h"
#include "scan/run_scan.h"
#include "scan/scan_view.h"
#include "tests/common/connection_holders.h"
#include "tests/common/measured_run.h"
#include "tests/common/netns.h"
#include "tests/common/process.h"

#include "bench/median.h"

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>

namespace {

namespace fs = std::filesystem;

// A scratch state folder, removed at the end.
struct ScratchFolder
{
    ScratchFolder()
    {
        char name[] = "/tmp/history-bench-XXXXXX";
        path = mkdtemp(name) ? name : "";
    }
    ~ScratchFolder()
    {
        if (!std::getenv("HISTORY_BENCH_KEEP"))
            fs::remove_all(path);
    }
    std::string database() const { return path + "/veltran/history.sqlite"; }
    std::string path;
};

class SeenOnly final : public ScanView
{
public:
    explicit SeenOnly(bool record)
        : m_record(record)
    {
    }
    void showView(bool) override { }
    void setStatusText(const std::string&) override { }
    void setGridContent(std::vector<GridRow>, std::vector<GridRowDetails>) override { }
    void publishMapTable(std::shared_ptr<MapTable>, bool) override { }
    void showCapacityMessage(int) override { }
    bool recordsHistory() const override { return m_record; }
    void recordScan(std::shared_ptr<const SeenScan> scan) override { seen = std::move(scan); }

    std::shared_ptr<const SeenScan> seen;

private:
    bool m_record;
};

// N scans as the window makes them, recorded into $XDG_STATE_HOME's history or not.
int runScans(int scans, bool record)
{
    MibAgent agent;
    if (!startNetworking(agent).empty())
        return 1;
    Options options;
    options.lookupHostNames = false;
    options.graphicView = false;
    NameResolver resolver(systemNameServices());
    ConnectionLog log;
    ConnectionTable table;
    SeenOnly view(record);
    HistoryDatabase database;
    if (record && !database.open(HistoryDatabase::defaultPath())) {
        std::fprintf(stderr, "%s\n", database.error().c_str());
        return 1;
    }
    for (int n = 0; n < scans; ++n) {
        runScan(agent, options, resolver, log, view, table);
        if (record && (!view.seen || !database.record(*view.seen)))
            return 1;
    }
    return 0;
}

int cpuBench(int rounds, int scans)
{
    if (const std::string error = testns::enterPrivateNetworkNamespace(); !error.empty()) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    ScratchFolder state;
    const std::string self = testproc::executableFolder() + "/history_bench";
    const std::string count = std::to_string(scans);
    std::vector<testproc::Contender> contenders {
        { "recorded", { "env", "XDG_STATE_HOME=" + state.path, self, "scans", count, "record" } },
        { "plain", { self, "scans", count, "plain" } },
    };
    loopback::ConnectionHolders holders(loopback::ConnectionHolders::Mix::Machine);
    if (!testproc::measureWithPairs(holders, 1000, contenders, rounds))
        return 1;
    std::printf("%d scans (window options, names off) of 1,000 pairs of a machine's mix, whole-process CPU\n"
                "from wait4, median of %d rounds taking both in turn [interquartile range]:\n",
        scans, rounds);
    printRatio("recorded / plain", "ms", contenders[0].cpuMs, contenders[1].cpuMs);
    return 0;
}

int growthBench(int hours)
{
    ScratchFolder state;
    HistoryDatabase database;
    if (!database.open(state.database())) {
        std::fprintf(stderr, "%s\n", database.error().c_str());
        return 1;
    }
    const char* programs[] = { "firefox", "thunderbird", "sshd", "systemd-resolved", "curl", "chrome",
        "slack", "code", "dockerd", "NetworkManager" };
    SeenScan scan { "box", 1'700'000'000, true, true, true, {} };
    const auto endpoint = [&](int port, int remote, int program) {
        SeenEndpoint seen;
        seen.localAddress = "192.168.1.20";
        seen.localPort = port;
        seen.remoteAddress
            = "203.0." + std::to_string(113 + remote / 250) + "." + std::to_string(remote % 250);
        seen.remotePort = 443;
        seen.state = 5;
        seen.pid = 1000 + std::uint32_t(program);
        seen.process = programs[program];
        seen.user = "alice";
        return seen;
    };
    std::vector<SeenEndpoint> stable;
    for (int i = 0; i < 270; ++i)
        stable.push_back(endpoint(40000 + i, i, i % 10));
    int nextPort = 0;
    std::vector<SeenEndpoint> churning; // each lives 3 s: 10 open and 10 close every second
    const auto step = [&] {
        for (int i = 0; i < 10; ++i) {
            ++nextPort;
            churning.push_back(endpoint(32768 + nextPort % 7000, nextPort % 997, nextPort % 10));
        }
        if (churning.size() > 30)
            churning.erase(churning.begin(), churning.begin() + 10);
        scan.endpoints = stable;
        scan.endpoints.insert(scan.endpoints.end(), churning.begin(), churning.end());
        ++scan.time;
        return database.record(scan);
    };
    for (int s = 0; s < 1200; ++s) // past the first rows' pages, and every program and host seen once
        step();
    sqlite3_exec(database.handle(), "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr);
    const std::int64_t before = database.usedBytes();
    const std::clock_t cpu = std::clock();
    const int seconds = hours * 3600;
    for (int s = 0; s < seconds; ++s) {
        if (!step()) {
            std::fprintf(stderr, "%s\n", database.error().c_str());
            return 1;
        }
    }
    const double cpuMs = 1e3 * double(std::clock() - cpu) / CLOCKS_PER_SEC;
    sqlite3_exec(database.handle(), "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr);
    const std::int64_t after = database.usedBytes();
    const double perDay = double(after - before) * 86400.0 / seconds;
    std::printf("300 endpoints, 10 opened and 10 closed per 1 s scan, %d simulated hours: %.1f MB per day "
                "(%.0f bytes per connection), %.3f ms CPU per recorded scan\n",
        hours, perDay / 1e6, double(after - before) / (10.0 * seconds), cpuMs / seconds);
    return 0;
}

// 1,000,000 closed connections over the last 7 days: 40 programs, 5,000 remote hosts, bytes known.
bool fillDatabase(const std::string& path, int rows)
{
    HistoryDatabase database;
    if (!database.open(path))
        return false;
    sqlite3* db = database.handle();
    sqlite3_exec(db, "BEGIN; INSERT INTO names (name) VALUES ('box'); INSERT INTO computers VALUES (1, 0)",
        nullptr, nullptr, nullptr);
    for (int p = 0; p < 40; ++p)
        sqlite3_exec(db, ("INSERT INTO names (name) VALUES ('program" + std::to_string(p) + "')").c_str(),
            nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db,
        "INSERT INTO connections (computer, udp, local_addr, local_port, remote_addr, remote_port, "
        "first_seen,"
        " last_seen, closed, states, pid, process, bytes_sent, bytes_received)"
        " VALUES (1, 0, '192.168.1.20', ?1, ?2, 443, ?3, ?3 + 4, ?3 + 5, 32, ?4, ?5, ?6, ?7)",
        -1, &insert, nullptr);
    const std::int64_t start = std::time(nullptr) - 7 * 86400 + 60;
    for (int i = 0; i < rows; ++i) {
        const std::string remote
            = "203.0." + std::to_string(113 + i % 5000 / 250) + "." + std::to_string(i % 250);
        sqlite3_bind_int(insert, 1, 32768 + i % 28000);
        sqlite3_bind_text(insert, 2, remote.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int64(insert, 3, start + std::int64_t(i) * (7 * 86400 - 120) / rows);
        sqlite3_bind_int(insert, 4, 1000 + i % 40);
        sqlite3_bind_int(insert, 5, 2 + i % 40);
        sqlite3_bind_int(insert, 6, 600 + i % 7000);
        sqlite3_bind_int(insert, 7, 2000 + i % 90000);
        if (sqlite3_step(insert) != SQLITE_DONE)
            return false;
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(db,
        ("UPDATE computers SET last_scan = " + std::to_string(std::time(nullptr)) + "; COMMIT").c_str(),
        nullptr, nullptr, nullptr);
    return true;
}

using Commands = std::vector<std::pair<const char*, std::vector<std::string>>>;

// Runs the commands in turn, rounds times after one round that warms the caches, and prints
// each one's median wall and CPU time with their interquartile ranges; false when one failed.
bool timeCommands(const Commands& commands, int rounds)
{
    std::vector<std::vector<double>> wall(commands.size()), cpu(commands.size());
    for (int round = -1; round < rounds; ++round) {
        for (std::size_t c = 0; c < commands.size(); ++c) {
            const testproc::RunCost cost = testproc::measuredRun(commands[c].second);
            if (!cost.ok()) {
                std::fprintf(stderr, "%s failed\n", commands[c].first);
                return false;
            }
            if (round >= 0) {
                wall[c].push_back(cost.wallMs);
                cpu[c].push_back(cost.cpuMs);
            }
        }
    }
    for (std::size_t c = 0; c < commands.size(); ++c) {
        const Spread w = spread(wall[c]);
        const Spread u = spread(cpu[c]);
        std::printf("  %-52s wall %6.1f ms [%.1f-%.1f], CPU %6.1f ms [%.1f-%.1f]\n", commands[c].first,
            w.median, w.lower, w.upper, u.median, u.lower, u.upper);
    }
    return true;
}

int queryBench(int rounds, int rows)
{
    ScratchFolder state;
    if (!fillDatabase(state.database(), rows)) {
        std::fprintf(stderr, "cannot fill %s\n", state.database().c_str());
        return 1;
    }
    const std::string scan = testproc::executableFolder() + "/veltran-scan";
    const std::string env = "XDG_STATE_HOME=" + state.path;
    const Commands commands {
        { "--since 7d --group process",
            { "env", env, scan, "--history", "--since", "7d", "--group", "process" } },
        { "--since 7d --group process --filter proc:program7",
            { "env", env, scan, "--history", "--since", "7d", "--group", "process", "--filter",
                "proc:program7" } },
    };
    std::printf("veltran-scan --history on %d connections over 7 days (%.0f MB), median of %d rounds "
                "[interquartile range]:\n",
        rows, double(fs::file_size(state.database())) / 1e6, rounds);
    return timeCommands(commands, rounds) ? 0 : 1;
}

int windowBench(int rounds, int rows)
{
    ScratchFolder state;
    if (!fillDatabase(state.database(), rows)) {
        std::fprintf(stderr, "cannot fill %s\n", state.database().c_str());
        return 1;
    }
    const std::string folder = testproc::executableFolder();
    const std::string env = "XDG_STATE_HOME=" + state.path;
    const Commands commands {
        { "History as it opens (the last hour)",
            { "env", env, "QT_QPA_PLATFORM=offscreen", folder + "/history_window_paint", "hour" } },
        { "History, the last 7 days by process",
            { "env", env, "QT_QPA_PLATFORM=offscreen", folder + "/history_window_paint", "week" } },
        { "the smallest Qt window", { "env", "QT_QPA_PLATFORM=offscreen", folder + "/first_paint_window" } },
    };
    std::printf("launch to the first paint after the read, %d connections over 7 days, offscreen, whole\n"
                "processes from wait4, median of %d rounds [interquartile range]:\n",
        rows, rounds);
    return timeCommands(commands, rounds) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    const int first = argc > 2 ? std::atoi(argv[2]) : 0;
    const int second = argc > 3 ? std::atoi(argv[3]) : 0;
    if (mode == "scans" && argc > 3)
        return runScans(first, std::string(argv[3]) == "record");
    if (mode == "cpu")
        return cpuBench(first > 0 ? first : 11, second > 0 ? second : 10);
    if (mode == "growth")
        return growthBench(first > 0 ? first : 2);
    if (mode == "query")
        return queryBench(first > 0 ? first : 11, second > 0 ? second : 1'000'000);
    if (mode == "window")
        return windowBench(first > 0 ? first : 11, second > 0 ? second : 1'000'000);
    std::fprintf(stderr,
        "usage: %s cpu [rounds [scans]] | growth [hours] | query [rounds [rows]] | window [rounds [rows]]\n",
        argv[0]);
    return 2;
}
