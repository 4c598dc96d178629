// The window at a large table: the real program's parts on Xvfb, watching this computer at a
// 1-second refresh with every endpoint kept, at about 300 and about 20,000 endpoints (a
// machine's mix held by other processes, in a private network namespace), in the map view
// and in the text view. For each turn:
//   - the GUI thread's busy share (its own CPU clock) and the whole process's;
//   - wake-ups per second: the process's voluntary context switches, every thread counted,
//     ended ones too, with the window idle on screen;
//   - key latency: a key press posted to the shown view at odd moments, from its arrival in
//     the queue to its handling (measured in a turn of its own, so its poster's wake-ups are
//     not counted above).
// The sizes and views take turns round by round; medians with their spread are reported.
//
//   window_bench [rounds, default 5] [seconds per turn, default 10] [pairs..., default 140 10000]
//
// And the window watching a fleet: this computer and 50 snmpd agents in the same namespace,
// each with some 220 endpoints, at a 2-second refresh, against this computer alone; the
// text view (every computer's rows in the grid), the map view, and the fleet map open.
//   window_bench fleet [rounds, default 5] [seconds per turn, default 10]

#include "app/fleet_map_window.h"
#include "app/program.h"
#include "app/tform1.h"
#include "bench/median.h"
#include "scan/options.h"
#include "settings/options_store.h"
#include "tests/common/connection_holders.h"
#include "tests/common/netns.h"
#include "tests/common/process.h"
#include "tests/common/scripted_name_services.h"
#include "tests/common/snmpd.h"
#include "views/grid_model.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QMenu>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace {

double threadCpuSeconds()
{
    timespec t {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

struct ProcessUsage
{
    double cpuSeconds = 0;
    long voluntarySwitches = 0;
};

ProcessUsage processUsage()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return { seconds(usage.ru_utime) + seconds(usage.ru_stime), usage.ru_nvcsw };
}

void runEventLoop(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

struct IdleTurn
{
    double guiPercent = 0;
    double processPercent = 0;
    double wakeUpsPerSecond = 0;
};

// The event loop alone, for the given time: no probe of ours runs.
IdleTurn measureIdle(int seconds)
{
    const double guiBefore = threadCpuSeconds();
    const ProcessUsage before = processUsage();
    QElapsedTimer wall;
    wall.start();
    runEventLoop(seconds * 1000);
    const double elapsed = double(wall.nsecsElapsed()) / 1e9;
    const ProcessUsage after = processUsage();
    // The turn's own end (its single-shot timer) is one wake-up; it is not the window's.
    return { 100.0 * (threadCpuSeconds() - guiBefore) / elapsed,
        100.0 * (after.cpuSeconds - before.cpuSeconds) / elapsed,
        double(after.voluntarySwitches - before.voluntarySwitches - 1) / elapsed };
}

// Times each key event from its posting to its arrival at the watched widget.
class KeyLatency final : public QObject
{
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Shift) {
            const auto now = std::chrono::steady_clock::now();
            const std::lock_guard lock(m_mutex);
            if (m_posted != std::chrono::steady_clock::time_point {})
                m_latencies.push_back(std::chrono::duration<double, std::milli>(now - m_posted).count());
            m_posted = {};
        }
        return QObject::eventFilter(watched, event);
    }
    void posted()
    {
        const std::lock_guard lock(m_mutex);
        m_posted = std::chrono::steady_clock::now();
    }
    std::vector<double> take()
    {
        const std::lock_guard lock(m_mutex);
        return std::exchange(m_latencies, {});
    }

private:
    std::mutex m_mutex;
    std::chrono::steady_clock::time_point m_posted;
    std::vector<double> m_latencies;
};

// The worst key latency of a turn: a Shift press (which changes nothing shown) posted to the
// widget every 50 to 150 ms from another thread.
double measureKeys(QWidget* target, int seconds)
{
    KeyLatency latency;
    target->installEventFilter(&latency);
    std::atomic<bool> running { true };
    std::thread poster([&] {
        std::mt19937 random(12345);
        std::uniform_int_distribution<int> pause(50, 150);
        while (running.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(pause(random)));
            latency.posted();
            QCoreApplication::postEvent(
                target, new QKeyEvent(QEvent::KeyPress, Qt::Key_Shift, Qt::NoModifier));
        }
    });
    runEventLoop(seconds * 1000);
    running.store(false);
    poster.join();
    runEventLoop(200); // the last press arrives
    target->removeEventFilter(&latency);
    const std::vector<double> all = latency.take();
    return all.empty() ? -1 : *std::max_element(all.begin(), all.end());
}

struct Contender
{
    std::size_t pairs;
    bool graphic;
    std::vector<double> gui, process, wakeUps, worstKey;
    int rows = 0;
};

constexpr int kFleetAgents = 50;

// The program as the benchmarks run it: names off (nothing is looked up), its options in a
// folder of its own, changed by change before it shows.
struct BenchProgram
{
    QTemporaryDir folder;
    ScriptedNameServices names;
    std::unique_ptr<Program> program;

    // False, told on standard error, when it cannot start.
    bool start(const std::function<void(Options&)>& change)
    {
        names.setLocalName("benchbox");
        program = std::make_unique<Program>(names, kAgentModuleName, folder.path());
        if (!program->startupError().isEmpty()) {
            std::fprintf(stderr, "%s\n", qPrintable(program->startupError()));
            return false;
        }
        program->store().change(change);
        return true;
    }
};

// The fleet's turns; the agents and the machine's mix are started here.
int fleetTurns(int rounds, int seconds)
{
    loopback::ConnectionHolders holders(loopback::ConnectionHolders::Mix::Machine);
    if (!holders.connectUpTo(100)) {
        std::fprintf(stderr, "could not open the connections\n");
        return 1;
    }
    std::vector<std::unique_ptr<testsnmp::SnmpdProcess>> agents;
    std::vector<WatchedAgent> watched;
    for (int i = 0; i < kFleetAgents; ++i) {
        auto agent = std::make_unique<testsnmp::SnmpdProcess>();
        testsnmp::SnmpdConfig config;
        config.ownProcessesOnly = true; // no scan of every process's descriptors at each table load
        if (const std::string error = agent->start(config); !error.empty()) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
        watched.push_back({ agent->peer(), agent->v2cOptions(), true });
        agents.push_back(std::move(agent));
    }
    BenchProgram started;
    if (!started.start([](Options& options) {
            options.refreshText = "2";
            options.lookupHostNames = false;
        }))
        return 1;
    Program& program = *started.program;
    TForm1& form = program.form1();
    form.setRefreshInterval(2000);
    program.show();
    QAction* fleetMap = form.View1->findChild<QAction*>(QStringLiteral("FleetMap1"));

    struct Turn
    {
        const char* name;
        bool fleet;
        bool graphic;
        bool fleetMapOpen;
        std::vector<double> gui, process;
        int rows = 0;
    };
    std::vector<Turn> turns { { "this computer alone, text view", false, false, false, {}, {} },
        { "51 computers, text view", true, false, false, {}, {} },
        { "this computer alone, map view", false, true, false, {}, {} },
        { "51 computers, map view", true, true, false, {}, {} },
        { "51 computers, map view and the fleet map", true, true, true, {}, {} } };
    for (int round = 0; round < rounds; ++round) {
        for (Turn& turn : turns) {
            program.store().change([&](Options& options) {
                options.graphicView = turn.graphic;
                options.moreAgents = turn.fleet ? watched : std::vector<WatchedAgent> {};
            });
            if (turn.fleetMapOpen && fleetMap)
                fleetMap->trigger();
            runEventLoop(6000); // every agent polled, the grid filled, the map drawn
            const IdleTurn idle = measureIdle(seconds);
            turn.gui.push_back(idle.guiPercent);
            turn.process.push_back(idle.processPercent);
            turn.rows = form.gridModel()->rowCount();
            if (program.fleetMap())
                program.fleetMap()->close();
        }
    }
    program.shutdown();
    std::printf("veltran window on Xvfb watching %d snmpd agents (%zu pairs held), names off, refresh 2 s, "
                "%d rounds of %d s, turns interleaved:\n",
        kFleetAgents, std::size_t(100), rounds, seconds);
    bool met = true;
    for (const Turn& turn : turns) {
        const Spread gui = spread(turn.gui);
        std::printf("  %-42s (%5d grid rows): GUI thread %.1f %% [%.1f-%.1f] of a core (process %.1f %%)\n",
            turn.name, turn.rows, gui.median, gui.lower, gui.upper, median(turn.process));
        met = met && gui.median <= 10.0;
    }
    printRatio("GUI thread, 51 computers / this computer alone, text view", "%", turns[1].gui, turns[0].gui);
    std::printf("  goal (GUI thread <= 10 %% of a core): %s\n", met ? "met" : "NOT met");
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const bool fleet = argc > 1 && std::string(argv[1]) == "fleet";
    if (fleet) {
        --argc;
        ++argv;
    }
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const int seconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10;
    std::vector<std::size_t> sizes;
    for (int i = 3; i < argc; ++i)
        sizes.push_back(std::size_t(std::atol(argv[i])));
    if (sizes.empty())
        sizes = { 140, 10000 };
    const std::string error = testns::enterPrivateNetworkNamespace();
    if (!error.empty()) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    const testproc::XServer xvfb = testproc::startXvfb();
    if (xvfb.pid <= 0) {
        std::fprintf(stderr, "Xvfb did not start\n");
        return 1;
    }
    testproc::ProcessGuard xvfbGuard(xvfb.pid);
    qputenv("DISPLAY", QByteArray::fromStdString(xvfb.display));
    qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("xcb"));
    // As the program does; WINDOW_BENCH_SHM=1 keeps Qt's shared-memory repaints, to compare.
    if (qgetenv("WINDOW_BENCH_SHM") != "1")
        prepareDisplayConnection();
    QApplication application(argc, argv);
    if (fleet)
        return fleetTurns(rounds, seconds);

    // The holders only grow (closing 10,000 pairs leaves them in TIME_WAIT), so each size is a
    // block of rounds, smallest first, and the two views take turns within it.
    std::vector<Contender> contenders;
    loopback::ConnectionHolders holders(loopback::ConnectionHolders::Mix::Machine);
    BenchProgram started;
    if (!started.start([](Options& options) {
            options.tableSize = ConnectionTable::kUnbounded;
            options.lookupHostNames = false;
        }))
        return 1;
    Program& program = *started.program;
    program.show();
    TForm1& form = program.form1();

    std::sort(sizes.begin(), sizes.end());
    for (const std::size_t pairs : sizes) {
        if (!holders.connectUpTo(pairs)) {
            std::fprintf(stderr, "could not open %zu connections\n", pairs);
            return 1;
        }
        Contender map { pairs, true, {}, {}, {}, {}, 0 };
        Contender text { pairs, false, {}, {}, {}, {}, 0 };
        for (int round = 0; round < rounds; ++round) {
            for (Contender* contender : { &map, &text }) {
                program.store().change([&](Options& options) { options.graphicView = contender->graphic; });
                runEventLoop(3000); // the switch and its first scans settle
                const IdleTurn idle = measureIdle(seconds);
                contender->gui.push_back(idle.guiPercent);
                contender->process.push_back(idle.processPercent);
                contender->wakeUps.push_back(idle.wakeUpsPerSecond);
                QWidget* shown = QApplication::focusWidget() ? QApplication::focusWidget() : &form;
                contender->worstKey.push_back(measureKeys(shown, std::max(2, seconds / 2)));
                contender->rows = form.gridModel()->rowCount() - 1;
            }
        }
        contenders.push_back(std::move(map));
        contenders.push_back(std::move(text));
    }
    program.shutdown();

    std::printf("veltran window on Xvfb, names off, every endpoint kept, refresh 1 s, %d rounds of %d s\n",
        rounds, seconds);
    bool met = true;
    for (const Contender& contender : contenders) {
        const Spread gui = spread(contender.gui);
        const Spread wake = spread(contender.wakeUps);
        const Spread key = spread(contender.worstKey);
        std::printf(
            "  %5zu pairs (%d rows), %s view: GUI thread %.1f %% [%.1f-%.1f] of a core (process %.1f %%), "
            "%.1f wake-ups/s [%.1f-%.1f], worst key %.1f ms [%.1f-%.1f]\n",
            contender.pairs, contender.rows, contender.graphic ? "map " : "text", gui.median, gui.lower,
            gui.upper, median(contender.process), wake.median, wake.lower, wake.upper, key.median, key.lower,
            key.upper);
        met = met && gui.median <= 10.0 && key.median <= 50.0 && wake.median <= 8.0;
    }
    std::printf(
        "  goal (GUI thread <= 10 %%, worst key <= 50 ms, <= 8 wake-ups/s): %s\n", met ? "met" : "NOT met");
    return 0;
}
