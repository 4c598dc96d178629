#include "tests/scan/fakes/scan_fixture.h"

#include "scan/scan_thread.h"

#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// A gate the worker waits at inside a view call, until the test opens it.
class Gate
{
public:
    void waitOpen()
    {
        std::unique_lock lock(m_mutex);
        m_waiting = true;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return m_open; });
    }
    void waitUntilReached()
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_waiting; });
    }
    void open()
    {
        std::lock_guard lock(m_mutex);
        m_open = true;
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_waiting = false;
    bool m_open = false;
};

using ScannerThreads = ScanFixture;

int scansStarted(const RecordingScanView& view)
{
    const auto events = view.events();
    return static_cast<int>(std::count(events.begin(), events.end(), std::string("status Scanning...")));
}

TEST_F(ScannerThreads, TicksDuringAScanAreDroppedNotQueued)
{
    std::vector<TcpRow> tcp(201, TcpRow { 5, ipv4(10, 0, 0, 1), 1000, ipv4(10, 0, 0, 2), 80 });
    startWith(tcp, {});
    Gate gate;
    view.onCapacityMessage([&gate] { gate.waitOpen(); }); // the user has not closed the box yet

    ASSERT_EQ(scanner->startScan(), 0);
    gate.waitUntilReached();
    EXPECT_TRUE(scanner->scanBusy());
    for (int tick = 0; tick < 5; ++tick)
        EXPECT_EQ(scanner->startScan(), 1);
    EXPECT_FALSE(scanner->waitForIdle(20));

    gate.open();
    ASSERT_TRUE(scanner->waitForIdle(30000));
    EXPECT_EQ(scansStarted(view), 1);
    EXPECT_EQ(view.gridRows().size(), 200u);
    scanOnce();
    EXPECT_EQ(scansStarted(view), 2);
}

TEST_F(ScannerThreads, AThrowingStepStillClearsTheBusyFlag)
{
    startWith({ { 5, ipv4(10, 0, 0, 1), 1000, ipv4(10, 0, 0, 2), 80 } }, {});
    view.onGridRows([] { throw std::runtime_error("grid gone"); });
    scanOnce();
    EXPECT_FALSE(scanner->scanBusy());
    const auto events = view.events();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back(), "status "); // the status bar does not keep claiming a scan

    view.onGridRows(nullptr);
    view.clear();
    scanOnce();
    EXPECT_EQ(view.gridRows().size(), 1u);
}

TEST_F(ScannerThreads, ManyScansInARowEachRunOnce)
{
    startWith({ { 5, ipv4(10, 0, 0, 1), 1000, ipv4(10, 0, 0, 2), 80 } }, { { 0, 53 } });
    options.logEnabled = true;
    for (int i = 0; i < 30; ++i)
        scanOnce();
    EXPECT_EQ(scansStarted(view), 30);
}

TEST_F(ScannerThreads, AScanStartedAsSoonAsTheFlagClearsIsNeitherLostNorRunTwice)
{
    // The timer can tick between the worker's last step and its return to waiting.
    startWith({ { 5, ipv4(10, 0, 0, 1), 1000, ipv4(10, 0, 0, 2), 80 } }, { { 0, 53 } });
    int started = 0;
    while (started < 40) {
        if (scanner->startScan() == 0)
            ++started;
    }
    ASSERT_TRUE(scanner->waitForIdle(30000));
    EXPECT_EQ(scansStarted(view), 40);
    scanner.reset();
}

// Another computer's rows, as its agent would give them.
class OtherComputer final : public MibAgent
{
public:
    std::vector<MibEndpoint> walkTcpTable() override { return { { 2, 0, 22, 0, 0 } }; }
    std::vector<MibEndpoint> walkUdpTable() override { return {}; }
};

TEST_F(ScannerThreads, ASourceReplacedDuringAScanServesThatScanToItsEndAndNoLaterOne)
{
    services.setLocalName("here");
    startWith({ { 2, 0, 80, 0, 0 } }, {});
    Gate gate;
    view.onGridRows([&gate] { gate.waitOpen(); });
    ASSERT_EQ(scanner->startScan(), 0);
    gate.waitUntilReached();

    auto other = std::make_shared<OtherComputer>();
    const std::weak_ptr<MibAgent> otherAgent = other;
    auto otherNames = std::make_shared<ScriptedNameServices>();
    otherNames->setLocalName("there");
    auto otherView = std::make_shared<RecordingScanView>();
    scanner->setSource({ std::move(other), otherNames, otherView });
    EXPECT_EQ(scanner->startScan(), 1) << "one scan at a time, whatever its source";
    gate.open();
    ASSERT_TRUE(scanner->waitForIdle(30000));
    ASSERT_EQ(view.gridRows().size(), 1u);
    EXPECT_EQ(view.gridRows()[0][1], "here");
    EXPECT_TRUE(otherView->events().empty());

    ASSERT_EQ(scanner->startScan(), 0);
    ASSERT_TRUE(scanner->waitForIdle(30000));
    ASSERT_EQ(otherView->gridRows().size(), 1u);
    EXPECT_EQ(otherView->gridRows()[0][1], "there"); // a fresh cache: 0.0.0.0 is not "here" any more
    EXPECT_EQ(otherView->gridRows()[0][2], "22");
    EXPECT_EQ(scansStarted(view), 1);

    // The scanner lets go of a replaced source; its last scan ends holding only its view.
    scanner->setSource({ std::shared_ptr<MibAgent>(std::shared_ptr<MibAgent>(), &agent),
        std::shared_ptr<NameServices>(std::shared_ptr<NameServices>(), &services),
        std::shared_ptr<ScanView>(std::shared_ptr<ScanView>(), &view) });
    EXPECT_TRUE(otherAgent.expired());
}

TEST_F(ScannerThreads, DestroyingTheScannerJoinsARunningScan)
{
    std::vector<TcpRow> tcp(20, TcpRow { 5, ipv4(10, 0, 0, 1), 1000, ipv4(10, 0, 0, 2), 80 });
    services.setLookupDelay(std::chrono::milliseconds(2));
    options.cacheDns = false;
    startWith(tcp, {});
    ASSERT_EQ(scanner->startScan(), 0);
    scanner.reset(); // must wait for the worker, not leave it running on freed state
    EXPECT_EQ(view.gridRows().size(), 20u);
}

} // namespace

TEST(ScanThreadPriority, TheWorkerRunsOneNiceStepAboveTheThreadThatStartedIt)
{
    errno = 0;
    const int starter = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
    ASSERT_EQ(errno, 0);
    std::atomic<int> busy { 1 };
    std::atomic<int> measured { -100 };
    std::atomic<pid_t> worker { 0 };
    ScanThread thread(busy);
    thread.startScan([&] {
        measured = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
        worker = gettid();
    });
    ASSERT_TRUE(thread.waitIdle(10000));
    EXPECT_EQ(measured.load(), std::min(starter + 1, 19));
    EXPECT_EQ(busy.load(), 0);

    // The next scan runs on the same thread: no thread is made per scan.
    const pid_t first = worker.load();
    busy = 1;
    thread.startScan([&] { worker = gettid(); });
    ASSERT_TRUE(thread.waitIdle(10000));
    EXPECT_EQ(worker.load(), first);
}
