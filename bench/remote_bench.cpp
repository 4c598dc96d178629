// Reading SNMP agents: veltran-scan against net-snmp's own snmpbulkwalk on one large
// table, and twenty agents read at once against the slowest one alone. Everything runs
// in a private network namespace with snmpd agents started here (run as root).

#include "bench/median.h"
#include "scan/remote_mib_agent.h"
#include "tests/common/connection_holders.h"
#include "tests/common/fake_snmp_agent.h"
#include "tests/common/measured_run.h"
#include "tests/common/netns.h"
#include "tests/common/snmpd.h"

#include <algorithm>
#include <arpa/inet.h>
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
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// CPU time (user and system) a process has used so far, in ms.
double cpuMilliseconds(pid_t pid)
{
    FILE* file = std::fopen(("/proc/" + std::to_string(pid) + "/stat").c_str(), "r");
    if (!file)
        return 0;
    char text[1024] = {};
    const std::size_t n = std::fread(text, 1, sizeof text - 1, file);
    std::fclose(file);
    text[n] = '\0';
    // Fields after the command name, which is in parentheses and may hold blanks.
    const char* rest = std::strrchr(text, ')');
    unsigned long user = 0;
    unsigned long system = 0;
    if (!rest
        || std::sscanf(rest + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &user, &system) != 2)
        return 0;
    return 1000.0 * static_cast<double>(user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

struct Contender
{
    std::string label;
    std::vector<std::string> argv;
    std::vector<double> times;
    std::vector<double> agentCpu; // the agents' CPU time during each run
};

// Rounds take the contenders in turn, so a change in the machine's load hits all of them
// alike; the first round only warms caches (the agents' included).
bool interleave(std::vector<Contender>& contenders, int rounds, const std::vector<pid_t>& agents = {})
{
    const auto agentsCpu = [&agents] {
        double sum = 0;
        for (pid_t pid : agents)
            sum += cpuMilliseconds(pid);
        return sum;
    };
    for (int round = -1; round < rounds; ++round) {
        for (Contender& contender : contenders) {
            const double cpuBefore = agentsCpu();
            const double ms = testproc::measuredRun(contender.argv).wallMs;
            contender.agentCpu.push_back(agentsCpu() - cpuBefore);
            if (ms < 0) {
                std::fprintf(stderr, "%s failed\n", contender.label.c_str());
                return false;
            }
            if (round >= 0)
                contender.times.push_back(ms);
        }
    }
    return true;
}

std::unique_ptr<testsnmp::SnmpdProcess> startAgent()
{
    auto agent = std::make_unique<testsnmp::SnmpdProcess>();
    testsnmp::SnmpdConfig config;
    config.ownProcessesOnly = true; // no scan of every process's descriptors at each table load
    const std::string error = agent->start(config);
    if (!error.empty()) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return nullptr;
    }
    return agent;
}

std::vector<std::string> scanCommand(const std::vector<std::string>& peers)
{
    std::vector<std::string> argv { VELTRAN_SCAN_PATH, "--no-udp", "--no-host-names", "--no-port-names",
        "-v2c", "-c", "public" };
    argv.insert(argv.end(), peers.begin(), peers.end());
    return argv;
}

int walkBench(int rounds)
{
    constexpr int kConnections = 1000; // 2,000 established rows and one listener
    loopback::ConnectionHolders holders;
    if (!holders.connectUpTo(kConnections)) {
        std::fprintf(stderr, "cannot open %d loopback connections\n", kConnections);
        return 1;
    }
    const auto agent = startAgent();
    if (!agent)
        return 1;

    RemoteMibAgent remote(agent->peer(), "-v2c -c public");
    std::vector<double> walks;
    std::size_t records = 0;
    for (int i = 0; i < 5; ++i) {
        const auto start = Clock::now();
        records = remote.walkTcpTable().size();
        walks.push_back(millisecondsSince(start));
    }
    std::printf(
        "In process: RemoteMibAgent::walkTcpTable of %zu records (GetBulk of 50): %.1f ms (median of 5)%s\n",
        records, median(walks), remote.lastWalkOk() ? "" : " FAILED");

    std::vector<Contender> contenders {
        { "veltran-scan --no-udp ... -v2c -c public HOST", scanCommand({ agent->peer() }), {}, {} },
        { "snmpbulkwalk -v2c -c public HOST tcpConnTable",
            { "snmpbulkwalk", "-v2c", "-c", "public", agent->peer(), "1.3.6.1.2.1.6.13.1" }, {}, {} },
    };
    if (!interleave(contenders, rounds))
        return 1;
    std::printf("Whole process, one agent holding %d TCP rows (medians of %d interleaved rounds):\n",
        2 * kConnections + 1, rounds);
    for (const Contender& contender : contenders)
        std::printf("  %-50s %9.1f ms\n", contender.label.c_str(), median(contender.times));
    std::printf("  ratio veltran-scan / snmpbulkwalk: %.2fx (goal <= 1.0x)\n",
        median(contenders[0].times) / median(contenders[1].times));
    return 0;
}

int manyBench(int rounds)
{
    constexpr int kAgents = 20;
    constexpr int kConnections = 100; // 200 established rows and one listener, seen by every agent
    loopback::ConnectionHolders holders;
    if (!holders.connectUpTo(kConnections)) {
        std::fprintf(stderr, "cannot open %d loopback connections\n", kConnections);
        return 1;
    }
    std::vector<std::unique_ptr<testsnmp::SnmpdProcess>> agents;
    std::vector<std::string> peers;
    for (int i = 0; i < kAgents; ++i) {
        agents.push_back(startAgent());
        if (!agents.back())
            return 1;
        peers.push_back(agents.back()->peer());
    }
    // The slowest agent alone, each measured in turn after one warming pass.
    std::size_t slowest = 0;
    std::vector<double> alone(peers.size());
    for (int pass = 0; pass < 2; ++pass) {
        for (std::size_t i = 0; i < peers.size(); ++i)
            alone[i] = testproc::measuredRun(scanCommand({ peers[i] })).wallMs;
    }
    for (std::size_t i = 0; i < peers.size(); ++i) {
        if (alone[i] < 0) {
            std::fprintf(stderr, "agent %s failed\n", peers[i].c_str());
            return 1;
        }
        if (alone[i] > alone[slowest])
            slowest = i;
    }
    // For scale: the same 20 agents read one after another, one process each.
    std::string oneByOne;
    for (const std::string& peer : peers) {
        std::string command;
        for (const std::string& word : scanCommand({ peer }))
            command += word + " ";
        oneByOne += command + ">/dev/null && ";
    }
    oneByOne += "true";
    std::vector<Contender> contenders {
        { "veltran-scan of all 20 agents", scanCommand(peers), {}, {} },
        { "veltran-scan of the slowest agent alone", scanCommand({ peers[slowest] }), {}, {} },
        { "veltran-scan of each agent in turn (20 processes)", { "sh", "-c", oneByOne }, {}, {} },
    };
    std::vector<pid_t> pids;
    for (const auto& agent : agents)
        pids.push_back(agent->pid());
    if (!interleave(contenders, rounds, pids))
        return 1;
    std::printf("Whole process, %d agents holding %d TCP rows each (medians of %d interleaved rounds):\n",
        kAgents, 2 * kConnections + 1, rounds);
    for (const Contender& contender : contenders)
        std::printf("  %-50s %9.1f ms\n", contender.label.c_str(), median(contender.times));
    std::printf("  ratio all / slowest alone: %.2fx (goal <= 1.5x); all / in turn: %.2fx\n",
        median(contenders[0].times) / median(contenders[1].times),
        median(contenders[0].times) / median(contenders[2].times));
    const long cores = sysconf(_SC_NPROCESSORS_ONLN);
    const double agentCpu = median(contenders[0].agentCpu);
    std::printf(
        "  every agent runs on this machine: the 20 agents used %.0f ms of CPU per poll of all (median),\n"
        "  so %ld cores need at least %.0f ms for it, %.1fx the slowest agent alone\n",
        agentCpu, cores, agentCpu / static_cast<double>(cores),
        agentCpu / static_cast<double>(cores) / median(contenders[1].times));
    return 0;
}

// The resident memory of this process, in MB.
double residentMb()
{
    long pages = 0;
    long resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// A watched agent whose tcpConnTable never ends, scanned as the window scans it: every scan
// must end at a cap and the memory stay flat from one scan to the next.
int endlessBench(int scans)
{
    fakesnmp::Agent agent(fakesnmp::endlessTcpTable);
    RemoteMibAgent remote(agent.peer(), "-v2c -c public");
    std::vector<double> after;
    std::printf("endless table, %d scans as the window makes them\n", scans);
    for (int scan = 1; scan <= scans; ++scan) {
        const auto start = std::chrono::steady_clock::now();
        remote.beginScan();
        const std::size_t rows = remote.walkTcpTable().size();
        const double seconds
            = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        after.push_back(residentMb());
        std::printf("  scan %2d: %.2f s, %zu rows, resident %.0f MB: %s\n", scan, seconds, rows, after.back(),
            remote.lastError().c_str());
    }
    // The first scan sets the level (the allocator keeps what it was given); the later ones stay at it.
    const double growth = after.back() - after[std::min<std::size_t>(1, after.size() - 1)];
    std::printf("growth from scan 2 to scan %d: %.0f MB\n", scans, growth);
    return growth < 32 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "all";
    const int value = argc > 2 ? std::atoi(argv[2]) : 0;
    if (mode != "all" && mode != "walk" && mode != "many" && mode != "endless") {
        std::fprintf(stderr, "usage: %s [walk [rounds] | many [rounds] | endless [scans]]\n", argv[0]);
        return 2;
    }
    const std::string error = testns::enterPrivateNetworkNamespace();
    if (!error.empty()) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    if (mode == "endless")
        return endlessBench(value > 0 ? value : 10);
    int status = 0;
    if (mode != "many")
        status |= walkBench(value > 0 ? value : 5);
    if (mode != "walk")
        status |= manyBench(value > 0 ? value : 9);
    return status;
}
