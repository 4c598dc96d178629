// Benchmarks of the scanning core: the host-name cache against a slow resolver, names
// looked up many at a time, and veltran-scan as a whole process against netstat and ss.

#include "bench/median.h"
#include "log/connection_log.h"
#include "scan/mib_agent.h"
#include "scan/name_resolver.h"
#include "scan/options.h"
#include "scan/run_scan.h"
#include "scan/scanner.h"
#include "tests/common/connection_holders.h"
#include "tests/common/measured_run.h"
#include "tests/common/netns.h"
#include "tests/common/process.h"
#include "tests/common/scripted_name_services.h"
#include "tests/scan/fakes/fake_agent_tables.h"
#include "tests/scan/fakes/recording_scan_view.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <netinet/in.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// --- The host-name cache against a slow resolver --------------------------------------------

struct ScanCost
{
    double ms;
    int lookups;
};

ScanCost timedScan(Scanner& scanner, ScriptedNameServices& services)
{
    const int before = services.hostLookups();
    const auto start = Clock::now();
    scanner.startScan();
    scanner.waitForIdle(-1);
    return { millisecondsSince(start), services.hostLookups() - before };
}

// Established connections from this computer's LAN address to distinct remote addresses.
std::vector<TcpRow> distinctRemotes(int remotes)
{
    std::vector<TcpRow> rows;
    for (int i = 0; i < remotes; ++i)
        rows.push_back({ 5, ipv4(192, 168, 1, 20), 40000 + i,
            ipv4(10, 20, static_cast<std::uint8_t>(i / 250), static_cast<std::uint8_t>(1 + i % 250)), 443 });
    return rows;
}

// TCP only, ports as numbers, names from a scripted resolver taking delayMs per look-up.
struct NamesOnly
{
    explicit NamesOnly(int delayMs)
    {
        options.value.showUdp = false;
        options.value.lookupPortNames = false;
        services.setLookupDelay(std::chrono::milliseconds(delayMs));
    }
    FixedOptions options;
    ScriptedNameServices services;
    ConnectionLog log;
    RecordingScanView view;
};

void resolverCase(int remotes, int delayMs)
{
    const std::vector<TcpRow> rows = distinctRemotes(remotes);
    FakeAgentScript script;
    script.objects = mibObjects(rows, {});
    MibAgent agent;
    if (!loadScriptedAgent(agent, script)) {
        std::fprintf(stderr, "cannot load the fake agent module\n");
        std::exit(1);
    }
    NamesOnly scan(delayMs);
    Scanner scanner(agent, scan.options, scan.services, scan.log, scan.view);

    const ScanCost first = timedScan(scanner, scan.services);
    const ScanCost second = timedScan(scanner, scan.services);
    std::printf("  %3d remote addresses + 1 local (%3d host texts): first scan %8.1f ms, %3d look-ups;"
                " second scan %8.1f ms, %3d look-ups\n",
        remotes, remotes + 1, first.ms, first.lookups, second.ms, second.lookups);
}

void resolverBench(int delayMs)
{
    std::printf("Host-name cache, fake resolver at %d ms per look-up:\n", delayMs);
    resolverCase(199, delayMs);
    resolverCase(200, delayMs);
}

// --- Names looked up many at a time -----------------------------------------------------------

// The first scan of a fresh resolver, until the map's table is published.
double firstScan(MibAgent& agent, int delayMs)
{
    NamesOnly scan(delayMs);
    NameResolver resolver(scan.services);
    auto table = std::make_unique<ConnectionTable>();
    const auto start = Clock::now();
    runScan(agent, scan.options.value, resolver, scan.log, scan.view, *table);
    return millisecondsSince(start);
}

// The floor: the same look-ups made inFlight at a time, nothing else.
double concurrentLookUps(const std::vector<TcpRow>& rows, int delayMs, int inFlight)
{
    ScriptedNameServices services;
    services.setLookupDelay(std::chrono::milliseconds(delayMs));
    std::atomic<std::size_t> next { 0 };
    const auto start = Clock::now();
    std::vector<std::thread> threads;
    for (int t = 0; t < inFlight; ++t)
        threads.emplace_back([&] {
            for (std::size_t i; (i = next++) < rows.size();)
                services.hostByAddress(rows[i].remoteAddress);
        });
    for (std::thread& thread : threads)
        thread.join();
    return millisecondsSince(start);
}

void namesBench(int rounds)
{
    constexpr int kRemotes = 140;
    constexpr int kDelayMs = 50;
    const std::vector<TcpRow> rows = distinctRemotes(kRemotes);
    FakeAgentScript script;
    script.objects = mibObjects(rows, {});
    MibAgent agent;
    if (!loadScriptedAgent(agent, script)) {
        std::fprintf(stderr, "cannot load the fake agent module\n");
        std::exit(1);
    }
    std::vector<double> scans;
    std::vector<double> floors;
    for (int round = 0; round < rounds; ++round) {
        scans.push_back(firstScan(agent, kDelayMs));
        floors.push_back(concurrentLookUps(rows, kDelayMs, NamePrefetch::kMaxInFlight));
    }
    const double scan = median(scans);
    const double floor = median(floors);
    std::printf("First scan with %d new addresses at %d ms per look-up (median of %d interleaved rounds):\n"
                "  scan to the map's table %8.1f ms\n  the look-ups alone, %d at a time %8.1f ms\n"
                "  ratio %.2f (one by one they would take %d ms)\n",
        kRemotes + 1, kDelayMs, rounds, scan, NamePrefetch::kMaxInFlight, floor, scan / floor,
        (kRemotes + 1) * kDelayMs);
}

// --- veltran-scan against netstat on a large table -------------------------------------------

int countLines(const std::string& command)
{
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return -1;
    int lines = 0;
    for (int c; (c = std::fgetc(pipe)) != EOF;)
        lines += c == '\n';
    pclose(pipe);
    return lines;
}

int processBench(int runs)
{
    constexpr int kConnections = 1000; // 2,000 established rows and one listener
    loopback::ConnectionHolders holders;
    if (!holders.connectUpTo(kConnections)) {
        std::fprintf(stderr, "cannot open %d loopback connections\n", kConnections);
        return 1;
    }
    MibAgent agent;
    if (!startNetworking(agent).empty()) {
        std::fprintf(stderr, "cannot start the agent module\n");
        return 1;
    }
    std::vector<double> walks;
    std::size_t records = 0;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        records = agent.walkTcpTable().size();
        walks.push_back(millisecondsSince(start));
    }
    std::sort(walks.begin(), walks.end());
    std::printf("In process: walkTcpTable of %zu records through the agent module: %.2f ms (median)\n",
        records, walks[walks.size() / 2]);

    const std::string scan = VELTRAN_SCAN_PATH;
    std::printf("Whole process on a table of %d TCP rows (median of %d runs):\n", 2 * kConnections + 1, runs);
    std::printf("  (veltran-scan prints %d lines: the header and the 200 rows the table holds)\n",
        countLines(scan + " --no-host-names --no-port-names 2>/dev/null"));
    struct Command
    {
        const char* label;
        std::vector<std::string> argv;
    };
    const Command commands[] {
        { "veltran-scan --no-host-names --no-port-names", { scan, "--no-host-names", "--no-port-names" } },
        { "netstat -tan", { "netstat", "-tan" } },
        { "ss -tan", { "ss", "-tan" } },
    };
    // Rounds take the commands in turn, so a change in the machine's load hits all of them alike.
    std::vector<std::vector<double>> times(std::size(commands));
    for (int round = -1; round < runs; ++round) {
        for (std::size_t c = 0; c < std::size(commands); ++c) {
            const double ms = testproc::measuredRun(commands[c].argv).wallMs;
            if (round >= 0) // the first round only warms the page cache
                times[c].push_back(ms);
        }
    }
    for (std::size_t c = 0; c < std::size(commands); ++c) {
        std::sort(times[c].begin(), times[c].end());
        if (times[c].front() < 0)
            std::printf("  %-46s  failed\n", commands[c].label);
        else
            std::printf("  %-46s %7.2f ms\n", commands[c].label, times[c][times[c].size() / 2]);
    }
    return 0;
}

// --- veltran-scan against ss and the floors: CPU time and peak memory -------------------------

int cpuBench(int rounds, std::vector<std::size_t> sizes, const std::string& scan)
{
    const std::string floor = testproc::executableFolder() + "/sock_diag_floor";
    std::vector<testproc::Contender> contenders {
        { "scan", { scan, "--no-host-names", "--no-port-names" }, true },
        { "ss", { "ss", "-tuan" }, true },
        { "floor", { floor } },
        { "scan --no-udp", { scan, "--no-host-names", "--no-port-names", "--no-udp" } },
        { "scan --processes", { scan, "--no-host-names", "--no-port-names", "--processes" } },
        { "ss -p", { "ss", "-tuanp" } },
        { "owner floor", { floor, "--owners" } },
        { "scan --traffic", { scan, "--no-host-names", "--no-port-names", "--traffic" } },
        { "ss -i", { "ss", "-tuani" } },
        // The table's classic size: it leaves endpoints out, and says so by its exit status.
        { "scan --limit 200", { scan, "--no-host-names", "--no-port-names", "--limit", "200" }, true, 1 },
    };
    std::printf("veltran-scan --no-host-names --no-port-names (scan) against ss and the floors, whole\n"
                "processes, on TCP connections of both families, listeners and UDP endpoints held by\n"
                "other processes; CPU = user + system from wait4; median of %d rounds taking the\n"
                "commands in turn, [interquartile range] of the per-round ratios:\n",
        rounds);
    loopback::ConnectionHolders holders(loopback::ConnectionHolders::Mix::Machine);
    for (const std::size_t pairs : sizes) {
        if (!testproc::measureWithPairs(holders, pairs, contenders, rounds))
            return 1;
        const auto cpu = [&contenders](std::size_t c) { return contenders[c].cpuMs; };
        const std::size_t sockets = static_cast<std::size_t>(countLines("ss -tuanH"));
        std::printf("%zu pairs, %zu sockets:\n", pairs, sockets);
        printRatio("scan CPU / ss -tuan", "ms", cpu(0), cpu(1));
        printRatio("scan CPU / sock_diag floor", "ms", cpu(0), cpu(2));
        printRatio("scan --no-udp CPU / ss -tuan", "ms", cpu(3), cpu(1));
        printRatio("scan --processes CPU / ss -tuanp", "ms", cpu(4), cpu(5));
        printRatio("scan --processes CPU / owner floor (sock_diag + /proc/*/fd)", "ms", cpu(4), cpu(6));
        printRatio("scan peak RSS / ss -tuan", "KiB", contenders[0].peakKb, contenders[1].peakKb);
        printRatio("scan --limit 200 CPU / ss -tuan", "ms", cpu(9), cpu(1));
        printRatio("scan --limit 200 peak RSS / ss -tuan", "KiB", contenders[9].peakKb, contenders[1].peakKb);
        printRatio("scan --traffic CPU / ss -tuani", "ms", cpu(7), cpu(8));
        printRatio("scan --traffic CPU / scan", "ms", cpu(7), cpu(0));
        std::printf("  %-62s %5.2f us (floor %.2f us)\n", "scan CPU per socket",
            1e3 * median(cpu(0)) / sockets, 1e3 * median(cpu(2)) / sockets);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "all";
    const int value = argc > 2 ? std::atoi(argv[2]) : 0;
    if (mode == "names") {
        namesBench(value > 0 ? value : 9);
        return 0;
    }
    if (mode != "all" && mode != "resolver" && mode != "process" && mode != "cpu" && mode != "hold") {
        std::fprintf(stderr,
            "usage: %s [resolver [ms] | names [rounds] | process [runs] | cpu [rounds [pairs]] | hold pairs "
            "command]\n",
            argv[0]);
        return 2;
    }
    if (mode != "resolver") {
        // Before any thread starts: the whole process moves.
        const std::string error = testns::enterPrivateNetworkNamespace();
        if (!error.empty()) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
    }
    if (mode == "hold") { // the mix, for a profiler: scan_bench hold PAIRS 'COMMAND'
        loopback::ConnectionHolders holders(loopback::ConnectionHolders::Mix::Machine);
        if (argc < 4 || !holders.connectUpTo(static_cast<std::size_t>(value)))
            return 2;
        return std::system(argv[3]) == 0 ? 0 : 1;
    }
    if (mode == "cpu") {
        std::vector<std::size_t> sizes { 100, 2000, 20000, 50000 };
        if (argc > 3 && std::atol(argv[3]) > 0)
            sizes = { static_cast<std::size_t>(std::atol(argv[3])) };
        // Another build's veltran-scan may stand in, for a before and after.
        return cpuBench(value > 0 ? value : 21, sizes, argc > 4 ? argv[4] : VELTRAN_SCAN_PATH);
    }
    int status = 0;
    if (mode != "process")
        resolverBench(mode == "resolver" && value > 0 ? value : 50);
    if (mode != "resolver")
        status = processBench(mode == "process" && value > 0 ? value : 21);
    return status;
}
