// Watching a fleet of SNMP agents (net-snmp's snmpd, started here in a private network
// namespace beside a machine's mix of sockets held by other processes; run as root).
//   fleet_bench cost [rounds]   one poll of every agent's fleet tables by veltran-scan --links,
//                               CPU per agent and per row, against snmpbulkwalk of the same tables
//                               of one agent (whole processes, CPU from wait4, interleaved rounds)
//   fleet_bench dead [rounds]   the fleet poller at a 2 s refresh for 10 s in a process of its own:
//                               the live agents' poll time and the poller's CPU with and without
//                               5 dead agents among them, interleaved rounds
//   fleet_bench                 both, with 50 agents (45 live ones for dead)

#include "bench/median.h"
#include "scan/fleet_poller.h"
#include "tests/common/connection_holders.h"
#include "tests/common/measured_run.h"
#include "tests/common/netns.h"
#include "tests/common/process.h"
#include "tests/common/snmpd.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kAgents = 50;
constexpr int kDead = 5;
constexpr std::size_t kPairs = 100; // with the machine's listeners and UDP endpoints: some 220 rows

std::vector<std::unique_ptr<testsnmp::SnmpdProcess>> startAgents(int count)
{
    std::vector<std::unique_ptr<testsnmp::SnmpdProcess>> agents;
    for (int i = 0; i < count; ++i) {
        auto agent = std::make_unique<testsnmp::SnmpdProcess>();
        testsnmp::SnmpdConfig config;
        config.ownProcessesOnly = true; // no scan of every process's descriptors at each table load
        const std::string error = agent->start(config);
        if (!error.empty()) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return {};
        }
        agents.push_back(std::move(agent));
    }
    return agents;
}

// The tables a fleet poll reads, as snmpbulkwalk (and snmpget) reads them: one process each.
std::string bulkwalkScript(const std::string& peer)
{
    const std::string walk = "snmpbulkwalk -v2c -c public -Cr50 " + peer + " ";
    return "snmpget -v2c -c public " + peer + " 1.3.6.1.2.1.1.5.0 && " + walk + "1.3.6.1.2.1.6.19.1.7 && "
        + walk + "1.3.6.1.2.1.6.19.1.8 && " + walk + "1.3.6.1.2.1.6.20.1.4 && " + walk
        + "1.3.6.1.2.1.7.7.1.8 && " + walk + "1.3.6.1.2.1.4.34.1.3 >/dev/null";
}

int costBench(int rounds)
{
    auto agents = startAgents(kAgents);
    if (agents.empty())
        return 1;
    std::vector<std::string> links { VELTRAN_SCAN_PATH, "--links", "-v2c", "-c", "public" };
    for (const auto& agent : agents)
        links.push_back(agent->peer());
    std::vector<testproc::Contender> contenders {
        { "veltran-scan --links of 50 agents", links },
        { "snmpget + 5 snmpbulkwalk of the same tables of one agent",
            { "sh", "-c", bulkwalkScript(agents.front()->peer()) } },
    };
    if (!testproc::measureRounds(contenders, rounds))
        return 1;
    // The rows of one agent's poll: every table's rows, counted once by a walk of the same.
    const testproc::CommandRun count = testproc::runCommand("snmpbulkwalk -v2c -c public "
        + agents.front()->peer() + " 1.3.6.1.2.1.6.19.1.7 | wc -l; " + "snmpbulkwalk -v2c -c public "
        + agents.front()->peer() + " 1.3.6.1.2.1.6.20.1.4 | wc -l; " + "snmpbulkwalk -v2c -c public "
        + agents.front()->peer() + " 1.3.6.1.2.1.7.7.1.8 | wc -l; " + "snmpbulkwalk -v2c -c public "
        + agents.front()->peer() + " 1.3.6.1.2.1.4.34.1.3 | wc -l");
    double rows = 0;
    for (const std::string& line : count.out)
        rows += std::atof(line.c_str());
    std::vector<double> perAgent;
    for (const double cpu : contenders[0].cpuMs)
        perAgent.push_back(cpu / kAgents);
    std::printf("%d agents, %.0f rows each (medians of %d interleaved rounds, CPU from wait4):\n", kAgents,
        rows, rounds);
    std::printf("  veltran-scan --links, all agents: %.1f ms CPU; per agent %.2f ms, per row %.2f us\n",
        median(contenders[0].cpuMs), median(perAgent), 1000 * median(perAgent) / rows);
    std::printf("  snmpget + snmpbulkwalk, one agent: %.1f ms CPU; per row %.2f us\n",
        median(contenders[1].cpuMs), 1000 * median(contenders[1].cpuMs) / rows);
    printRatio("CPU per agent: veltran-scan --links / snmpbulkwalk", "ms", perAgent, contenders[1].cpuMs);
    return 0;
}

// One run of the poller in a child: the median poll time of the live agents (ms) comes back
// through the pipe, the child's CPU from wait4.
struct PollerRun
{
    double livePollMs = -1;
    double cpuMs = -1;
    int polls = 0;
};

PollerRun runPoller(const std::vector<std::string>& peers, std::size_t live)
{
    int channel[2];
    if (pipe(channel) != 0)
        return {};
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        std::vector<FleetPoller::Agent> agents;
        for (const std::string& peer : peers)
            agents.push_back({ peer, { "-v2c", "-c", "public" }, {} });
        AgentPollRequest request;
        request.tcp = request.udp = false;
        request.endpoints = request.addresses = true;
        FleetPoller poller(std::move(agents), request, std::chrono::seconds(2));
        std::vector<double> times;
        poller.run(FleetPoller::Clock::now() + std::chrono::seconds(10),
            [&](std::size_t agent, const AgentPollResult& result) {
                if (agent < live && result.ok)
                    times.push_back(std::chrono::duration<double, std::milli>(
                        poller.status(agent, FleetPoller::Clock::now()).lastPoll)
                                        .count());
            });
        const double figures[2] { median(times), static_cast<double>(times.size()) };
        _exit(write(channel[1], figures, sizeof figures) == sizeof figures ? 0 : 1);
    }
    close(channel[1]);
    double figures[2] { -1, 0 };
    const bool read = ::read(channel[0], figures, sizeof figures) == sizeof figures;
    close(channel[0]);
    int status = 0;
    rusage usage {};
    if (wait4(child, &status, 0, &usage) != child || !read || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return {};
    const auto ms = [](const timeval& time) { return time.tv_sec * 1000.0 + time.tv_usec / 1000.0; };
    return { figures[0], ms(usage.ru_utime) + ms(usage.ru_stime), static_cast<int>(figures[1]) };
}

int deadBench(int rounds)
{
    auto agents = startAgents(kAgents);
    if (agents.empty())
        return 1;
    std::vector<std::string> live;
    for (int i = 0; i < kAgents - kDead; ++i)
        live.push_back(agents[static_cast<std::size_t>(i)]->peer());
    std::vector<std::string> withDead = live;
    for (int i = kAgents - kDead; i < kAgents; ++i) {
        withDead.push_back(agents[static_cast<std::size_t>(i)]->peer());
        agents[static_cast<std::size_t>(i)]->kill(); // its port closed: a timeout at every poll
    }
    std::vector<double> plainPoll, deadPoll, plainCpu, deadCpu;
    int polls = 0;
    for (int round = -1; round < rounds; ++round) {
        // The order turns every round, so a change in the machine's load hits both alike.
        for (int turn = 0; turn < 2; ++turn) {
            const bool dead = (turn + round) % 2 != 0;
            const PollerRun run = runPoller(dead ? withDead : live, live.size());
            if (run.cpuMs < 0) {
                std::fprintf(stderr, "a poller run failed\n");
                return 1;
            }
            if (round < 0)
                continue; // the first round warms the agents
            (dead ? deadPoll : plainPoll).push_back(run.livePollMs);
            (dead ? deadCpu : plainCpu).push_back(run.cpuMs);
            polls += run.polls;
        }
    }
    std::printf("The fleet poller, %zu live agents at a 2 s refresh for 10 s, with and without %d dead ones "
                "(%d interleaved rounds, %d live polls):\n",
        live.size(), kDead, rounds, polls);
    printRatio("live agents' poll time: with dead / without (goal < 1.10x)", "ms", deadPoll, plainPoll);
    printRatio("poller CPU: with dead / without", "ms", deadCpu, plainCpu);
    std::printf("  poller CPU per 2 s refresh: %.1f%% of one core without dead agents\n",
        100 * median(plainCpu) / 10000.0);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "all";
    const int value = argc > 2 ? std::atoi(argv[2]) : 0;
    if (mode != "all" && mode != "cost" && mode != "dead") {
        std::fprintf(stderr, "usage: %s [cost [rounds] | dead [rounds]]\n", argv[0]);
        return 2;
    }
    const std::string error = testns::enterPrivateNetworkNamespace();
    if (!error.empty()) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    // Agents, and the machine's mix of sockets held by other processes that they all see.
    loopback::ConnectionHolders holders(loopback::ConnectionHolders::Mix::Machine);
    if (!holders.connectUpTo(kPairs)) {
        std::fprintf(stderr, "cannot open %zu connections\n", kPairs);
        return 1;
    }
    int status = 0;
    if (mode != "dead")
        status |= costBench(value > 0 ? value : 7);
    if (mode != "cost")
        status |= deadBench(value > 0 ? value : 5);
    return status;
}
