// The window watching another computer through its SNMP agent, at a 1-second refresh, against
// the window watching this computer: CPU time of the whole process and the event loop's
// longest stall, while the agent answers and while it is stopped and every query times out.
// The real program's parts (offscreen), a real snmpd, 180 endpoints, in a private namespace;
// the contenders take turns round by round and the medians are reported.
//
//   watch_bench [rounds, default 5] [seconds per turn, default 10]

#include "app/program.h"
#include "app/tform1.h"
#include "bench/median.h"
#include "platform/name_services.h"
#include "scan/scanner.h"
#include "settings/options_store.h"
#include "tests/common/netns.h"
#include "tests/common/scripted_name_services.h"
#include "tests/common/snmpd.h"
#include "tests/common/test_sockets.h"
#include "views/grid_model.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

// Addresses here are all loopback or unspecified: no look-up leaves the machine.

double cpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Turn
{
    double cpuPercent = 0;
    double longestStallMs = 0; // the probe's longest lateness
    int stallsOver50Ms = 0;
};

constexpr int kProbeMs = 20;

// Runs the event loop for the given time with a probe ticking every kProbeMs.
Turn measure(int seconds)
{
    QEventLoop loop;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    QElapsedTimer sinceTick;
    double longest = 0;
    int over50 = 0;
    QObject::connect(&probe, &QTimer::timeout, &loop, [&] {
        const double late = double(sinceTick.nsecsElapsed()) / 1e6 - kProbeMs;
        longest = std::max(longest, late);
        over50 += late > 50 ? 1 : 0;
        sinceTick.start();
    });
    const double cpuBefore = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    sinceTick.start();
    probe.start(kProbeMs);
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    Turn turn;
    turn.cpuPercent = 100.0 * (cpuSeconds() - cpuBefore) / (double(wall.nsecsElapsed()) / 1e9);
    turn.longestStallMs = longest;
    turn.stallsOver50Ms = over50;
    return turn;
}

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const int seconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10;
    const std::string error = testns::enterPrivateNetworkNamespace();
    if (!error.empty()) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    QApplication application(argc, argv);

    // 180 endpoints: 35 listeners, 35 connections (70 established rows), 75 UDP sockets; with
    // the agent's and the sessions' own, under the 200 rows that would raise the capacity message.
    TestSockets sockets;
    for (int i = 0; i < 35; ++i)
        sockets.connectTo(sockets.listen());
    sockets.udp(75);
    testsnmp::SnmpdProcess snmpd;
    testsnmp::SnmpdConfig config;
    config.ownProcessesOnly = true;
    const std::string started = snmpd.start(config);
    if (!started.empty()) {
        std::fprintf(stderr, "%s\n", started.c_str());
        return 1;
    }

    QTemporaryDir folder;
    ScriptedNameServices names; // no resolver is ever asked
    names.setLocalName("benchbox");
    // options.dat and veltran.ini of the defaults, in a folder of its own: 1-second refresh
    Program program(names, kAgentModuleName, folder.path());
    if (!program.startupError().isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(program.startupError()));
        return 1;
    }
    program.show();

    const Options thisComputer;
    Options agent;
    agent.watchAgent = true;
    agent.watchHost = snmpd.peer();
    agent.watchSnmpOptions = snmpd.v2cOptions();
    struct Contender
    {
        const char* name;
        const Options* target;
        bool agentStopped;
        std::vector<double> cpu;
        std::vector<double> stall;
        int stallsOver50Ms = 0;
        QString seen; // what the window showed at the end of the last turn, to tell the turns apart
    };
    std::vector<Contender> contenders { { "this computer", &thisComputer, false, {}, {}, 0, {} },
        { "SNMP agent", &agent, false, {}, {}, 0, {} },
        { "SNMP agent, stopped", &agent, true, {}, {}, 0, {} } };

    for (int round = 0; round < rounds; ++round) {
        for (Contender& contender : contenders) {
            program.store().change([&](Options& options) {
                options.watchAgent = contender.target->watchAgent;
                options.watchHost = contender.target->watchHost;
                options.watchSnmpOptions = contender.target->watchSnmpOptions;
            });
            if (contender.agentStopped)
                snmpd.pause();
            measure(2); // the switch and its first scan settle
            const Turn turn = measure(seconds);
            if (contender.agentStopped)
                snmpd.resume();
            contender.cpu.push_back(turn.cpuPercent);
            contender.stall.push_back(turn.longestStallMs);
            contender.stallsOver50Ms += turn.stallsOver50Ms;
            contender.seen = QStringLiteral("%1 rows; \"%2\"; status \"%3\"")
                                 .arg(program.form1().gridModel()->rowCount())
                                 .arg(program.form1().windowTitle(), program.form1().statusText());
        }
    }
    program.shutdown();

    std::printf(
        "veltran window (offscreen), 180 endpoints, refresh 1 s, %d rounds of %d s, probe every %d ms\n",
        rounds, seconds, kProbeMs);
    const double base = median(contenders[0].cpu);
    bool met = true;
    for (const Contender& contender : contenders) {
        const double cpu = median(contender.cpu);
        const double worstStall = *std::max_element(contender.stall.begin(), contender.stall.end());
        std::printf(
            "  %-20s CPU median %.2f %% of one core (%.2fx this computer), longest stall median %.1f ms, "
            "worst %.1f ms, %d over 50 ms\n",
            contender.name, cpu, base > 0 ? cpu / base : 0.0, median(contender.stall), worstStall,
            contender.stallsOver50Ms);
        std::printf("      %s\n", qPrintable(contender.seen));
        if (contender.target == &agent)
            met = met && cpu < 1.0 && worstStall < 50.0;
    }
    std::printf("  goal (agent: under 1 %% of one core, no stall over 50 ms): %s\n", met ? "met" : "NOT met");
    // The machine's own load delays the event loop too: a stall that this computer's turns share is not the
    // agent's.
    double load[1] {};
    if (getloadavg(load, 1) == 1)
        std::printf("  load average during the run: %.1f\n", load[0]);
    return 0;
}
