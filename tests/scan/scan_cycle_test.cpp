#include "tests/scan/fakes/scan_fixture.h"

#include "scan/run_scan.h"

#include <algorithm>
#include <atomic>
#include <thread>

namespace {

const std::uint32_t kHost = ipv4(192, 168, 1, 20);
const std::uint32_t kBeta = ipv4(10, 0, 0, 2);
const std::uint32_t kGamma = ipv4(10, 0, 0, 3);

class ScanCycleTest : public ScanFixture
{
protected:
    void SetUp() override
    {
        ScanFixture::SetUp();
        services.setLocalName("alpha");
        services.addHost(kHost, "alpha.lan");
        services.addHost(kBeta, "beta.example");
        services.addService(80, "tcp", "http");
        services.addService(22, "tcp", "ssh");
        services.addService(53, "udp", "domain");
    }

    // A listening port, two established connections, one in another state, one UDP endpoint.
    void startWithMixedTable()
    {
        startWith(
            {
                { 2, 0, 22, ipv4(10, 9, 9, 9), 4444 },
                { 5, kHost, 51000, kBeta, 80 },
                { 11, kHost, 51001, kGamma, 80 },
                { 5, kHost, 22, kGamma, 40000 },
            },
            { { 0, 53 } });
    }

    std::vector<std::string> states() const
    {
        std::vector<std::string> out;
        for (const GridRow& row : view.gridRows())
            out.push_back(row[5] + " " + row[6]);
        return out;
    }
};

TEST_F(ScanCycleTest, OneScanReachesTheViewInStepOrder)
{
    startWithMixedTable();
    runOnce();
    EXPECT_EQ(view.events(),
        (std::vector<std::string> {
            "showView grid", "status Scanning...", "grid 5", "map keep", "status " }));

    const std::vector<GridRow> expected {
        { "1", "alpha.lan", "51000", "http", "beta.example", "TCP", "Established" },
        { "2", "alpha.lan", "ssh", "40000", "10.0.0.3", "TCP", "Established" },
        { "3", "alpha", "ssh", "none", "none", "TCP", "Listening" },
        { "4", "alpha.lan", "51001", "http", "10.0.0.3", "TCP", "Time_wait" },
        { "5", "alpha", "domain", "none", "none", "UDP", "none" },
    };
    EXPECT_EQ(view.gridRows(), expected);
    EXPECT_EQ(table.count(), 5);

    auto map = view.mapTable();
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(map->table.count(), 5);
    EXPECT_STREQ(map->table.row(3).state, "Listening");
    EXPECT_EQ(map->localComputerName, "alpha");

    // The listening row's remote side was resolved all the same, so it entered the cache.
    const auto asked = services.askedAddresses();
    EXPECT_NE(std::find(asked.begin(), asked.end(), ipv4(10, 9, 9, 9)), asked.end());
}

TEST_F(ScanCycleTest, GraphicModeShowsAndDrawsTheMap)
{
    startWithMixedTable();
    options.graphicView = true;
    runOnce();
    EXPECT_EQ(view.events(),
        (std::vector<std::string> { "showView map", "status Scanning...", "grid 5", "map draw", "status " }));
}

TEST_F(ScanCycleTest, FiltersChooseTheKindsOfEndpoint)
{
    struct Case
    {
        bool tcp, listening, udp;
        std::vector<std::string> rows;
    };
    const Case cases[] {
        { true, true, true,
            { "TCP Established", "TCP Established", "TCP Listening", "TCP Time_wait", "UDP none" } },
        { true, false, true, { "TCP Established", "TCP Established", "TCP Time_wait", "UDP none" } },
        { false, true, true, { "UDP none" } }, // listening ports come from the TCP table only
        { true, true, false, { "TCP Established", "TCP Established", "TCP Listening", "TCP Time_wait" } },
        { false, false, false, { " " } }, // one blank row
    };
    startWithMixedTable();
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.tcp << c.listening << c.udp);
        options.showTcp = c.tcp;
        options.showListening = c.listening;
        options.showUdp = c.udp;
        runOnce();
        EXPECT_EQ(states(), c.rows);
    }
}

TEST_F(ScanCycleTest, NoRowsGiveOneBlankRowAndLeaveTheLogAlone)
{
    options.logEnabled = true;
    startWith({}, {});
    runOnce();
    EXPECT_EQ(view.gridRows(), std::vector<GridRow>(1));
    EXPECT_EQ(table.count(), 0);
    EXPECT_FALSE(std::filesystem::exists(logPath()));
}

TEST_F(ScanCycleTest, EstablishedRowsAreLoggedAtEveryScan)
{
    startWithMixedTable();
    options.logEnabled = true;
    for (int i = 0; i < 3; ++i)
        runOnce();
    const std::string pair = "[ 9:05:07]  alpha.lan  (51000) (http)  beta.example\r\n"
                             "[ 9:05:07]  alpha.lan  (ssh) (40000)  10.0.0.3\r\n";
    EXPECT_EQ(logText(), pair + pair + pair);
}

TEST_F(ScanCycleTest, LoggingOffStillCreatesTheFileEmpty)
{
    startWithMixedTable();
    runOnce();
    EXPECT_TRUE(std::filesystem::exists(logPath()));
    EXPECT_EQ(logText(), "");
}

TEST_F(ScanCycleTest, EndpointsBeyondTheCapacityShowTheMessageAndAreNotStored)
{
    std::vector<TcpRow> tcp;
    for (int i = 0; i < 199; ++i)
        tcp.push_back({ 5, kHost, 10000 + i, kBeta, 80 });
    tcp.push_back({ 11, kHost, 20000, kBeta, 80 }); // the 200th
    tcp.push_back({ 2, 0, 21, 0, 0 }); // a hidden listening port, still checked
    tcp.push_back({ 5, kHost, 30000, kBeta, 80 });
    options.showListening = false;
    startWith(tcp, { { 0, 53 } });
    runOnce();

    EXPECT_EQ(view.capacityMessages(), 1); // one message for the scan, however many found no room
    EXPECT_EQ(view.lastNotShown(), 3);
    const auto rows = view.gridRows();
    ASSERT_EQ(rows.size(), 200u);
    EXPECT_EQ(rows.back()[0], "200");
    EXPECT_EQ(rows.back()[6], "Time_wait"); // the 200th row was not dropped in place of the hidden one
    EXPECT_EQ(view.events().back(), "status 3 endpoints were not shown.");

    // While the overflow lasts no message comes back; after a scan that fits, the next one does.
    runOnce();
    EXPECT_EQ(view.capacityMessages(), 1);
    EXPECT_EQ(view.events().back(), "status 3 endpoints were not shown.");
    options.showTcp = false;
    runOnce();
    EXPECT_EQ(view.events().back(), "status ");
    options.showTcp = true;
    runOnce();
    EXPECT_EQ(view.capacityMessages(), 2);
}

TEST_F(ScanCycleTest, TheHistoryGetsEveryEndpointWhateverTheCapacityAndFilter)
{
    std::vector<TcpRow> tcp;
    for (int i = 0; i < 250; ++i)
        tcp.push_back({ 5, kHost, 10000 + i, kBeta, 80 });
    tcp.push_back({ 2, 0, 21, 0, 0 }); // a listener, hidden from the view
    options.showListening = false;
    options.filterText = "port:10001";
    view.setRecordsHistory(true);
    startWith(tcp, { { 0, 53 } });
    runOnce();

    ASSERT_EQ(view.gridRows().size(), 1u);
    const auto seen = view.seenScan();
    ASSERT_TRUE(seen);
    ASSERT_EQ(seen->endpoints.size(), 252u);
    EXPECT_EQ(seen->endpoints[249].localPort, 10249);
    EXPECT_EQ(seen->endpoints[249].remoteAddress, "10.0.0.2");
    EXPECT_EQ(seen->endpoints[250].remoteAddress, ""); // a listener has no remote end
    EXPECT_EQ(seen->endpoints[250].state, kTcpListenState);
    EXPECT_TRUE(seen->endpoints[251].udp);
    EXPECT_EQ(seen->endpoints[251].localPort, 53);
}

TEST_F(ScanCycleTest, TheCacheSavesLookUpsOnTheNextScan)
{
    startWithMixedTable();
    runOnce();
    const int first = services.hostLookups();
    EXPECT_GT(first, 0);
    runOnce();
    EXPECT_EQ(services.hostLookups(), first);
    EXPECT_EQ(first, 4); // 10.9.9.9, 192.168.1.20, 10.0.0.2, 10.0.0.3; never 0.0.0.0
    options.cacheDns = false;
    runOnce();
    EXPECT_EQ(services.hostLookups(), first + 7); // every address of the four TCP rows but 0.0.0.0
}

} // namespace

namespace {

TEST_F(ScanFixture, NamesLookedUpTogetherEnterTheCacheAsOneByOne)
{
    std::vector<TcpRow> tcp;
    for (int i = 0; i < 120; ++i) {
        const std::uint32_t remote = ipv4(10, 1, std::uint8_t(i / 100), std::uint8_t(i % 100 + 1));
        if (i % 3 == 0)
            services.addHost(remote, "host" + std::to_string(i));
        tcp.push_back({ 5, ipv4(192, 168, 0, 1), 40000 + i, remote, 443 });
        if (i % 10 == 0)
            tcp.push_back({ 5, ipv4(192, 168, 0, 1), 50000 + i, remote, 80 }); // asked again: a cache hit
    }
    services.setLookupDelay(std::chrono::milliseconds(5));
    startWith(tcp, {});
    runOnce();
    EXPECT_GT(services.mostInFlight(), 1);

    // The same queries resolved one by one, with no look-up ahead, fill a cache of their own.
    NameResolver serial(services);
    for (const MibEndpoint& record : agent.walkTcpTable()) {
        serial.resolveHostName(true, record.localAddress);
        serial.resolveHostName(false, record.remoteAddress);
    }
    ASSERT_EQ(resolver.cache().position(), serial.cache().position());
    for (int slot = 1; slot <= serial.cache().position(); ++slot) {
        EXPECT_EQ(resolver.cache().address(slot), serial.cache().address(slot)) << slot;
        EXPECT_STREQ(resolver.cache().name(slot), serial.cache().name(slot)) << slot;
    }
}

TEST(NamePrefetch, RowsComeInTimeWithNumbersAndTheNameInTheScanAfterItCame)
{
    const std::uint32_t slow = ipv4(10, 0, 0, 2);
    ScriptedNameServices services;
    services.addHost(slow, "slow.example");
    services.holdAddress(slow); // a resolver that does not answer, for now
    std::atomic<int> told { 0 };
    {
        NameResolver resolver(services, std::chrono::milliseconds(200));
        resolver.setOnLateNames([&told] { ++told; });
        const auto start = std::chrono::steady_clock::now();
        resolver.prefetchHostNames({ { false, slow } });
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        EXPECT_EQ(resolver.resolveHostName(false, slow), "10.0.0.2");
        EXPECT_EQ(resolver.cache().position(), 0) << "a pending name is not cached as the numbers";

        services.releaseHeld();
        for (int i = 0; i < 500 && told.load() == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_EQ(told.load(), 1);
        resolver.prefetchHostNames({ { false, slow } }); // the next scan: the answer is there
        EXPECT_EQ(resolver.resolveHostName(false, slow), "slow.example");
        EXPECT_EQ(resolver.cache().position(), 1);
        EXPECT_EQ(services.hostLookups(), 1);
    }
}

TEST(NamePrefetch, ALookUpThatNeverReturnsIsGivenUpAtTheLimit)
{
    ScriptedNameServices services;
    services.addHost(ipv4(10, 0, 0, 1), "answers");
    services.addHost(ipv4(10, 0, 0, 2), "hangs");
    services.holdAddress(ipv4(10, 0, 0, 2));
    {
        NamePrefetch prefetch(services, std::chrono::milliseconds(100));
        prefetch.prefetch({ ipv4(10, 0, 0, 1), ipv4(10, 0, 0, 2) });
        EXPECT_EQ(prefetch.hostByAddress(ipv4(10, 0, 0, 1)), "answers");
        EXPECT_EQ(prefetch.hostByAddress(ipv4(10, 0, 0, 2)), std::nullopt); // not asked again
        EXPECT_EQ(services.hostLookups(), 2);
        services.releaseHeld(); // the worker still waits in the system's call
    }
}

} // namespace

namespace {

// An agent whose every walk fails, as a remote one that stopped answering.
class SilentAgent final : public MibAgent
{
public:
    std::vector<MibEndpoint> walkTcpTable() override { return {}; }
    std::vector<MibEndpoint> walkUdpTable() override { return {}; }
    bool lastWalkFailed() const override { return true; }
    std::string lastWalkError() const override { return "SNMP agent udp:10.0.0.9:161: Timeout"; }
};

TEST_F(ScanFixture, AFailedWalkKeepsTheLastRowsAndSaysTheyAreStale)
{
    options.logEnabled = true;
    startWith({ { 5, ipv4(10, 0, 0, 1), 1000, ipv4(10, 0, 0, 2), 80 } }, {});
    runOnce();
    const std::string logged = logText();
    ASSERT_FALSE(logged.empty());
    view.clear();

    SilentAgent silent;
    runScan(silent, options, resolver, log, view, table);
    EXPECT_EQ(view.events(),
        (std::vector<std::string> { "showView grid", "status Scanning...",
            "failed SNMP agent udp:10.0.0.9:161: Timeout",
            "status SNMP agent udp:10.0.0.9:161: Timeout: the rows shown are stale, from the last scan that "
            "read the tables" }));
    EXPECT_EQ(logText(), logged); // no entries from a failed walk

    // With no rows yet, as for an agent just chosen, the failure alone.
    const auto empty = std::make_unique<ConnectionTable>();
    view.clear();
    runScan(silent, options, resolver, log, view, *empty);
    EXPECT_EQ(view.events().back(), "status SNMP agent udp:10.0.0.9:161: Timeout");
}

} // namespace

namespace {

// An agent that refused rows while the scan read it: the scan says so, once, each time.
class RefusingAgent final : public MibAgent
{
public:
    void beginScan() override { ++scans; }
    std::vector<MibEndpoint> walkTcpTable() override { return { { 5, 0x0100000a, 1000, 0x0200000a, 80 } }; }
    std::vector<MibEndpoint> walkUdpTable() override { return {}; }
    bool lastWalkFailed() const override { return false; }
    std::string scanNotice() const override
    {
        return "udp:10.0.0.9:161: 3 rows refused: port 70000 out of range";
    }
    int scans = 0;
};

TEST_F(ScanFixture, RowsAnAgentRefusedAreToldInTheStatusBarAtEveryScan)
{
    RefusingAgent agent;
    for (int scan = 1; scan <= 2; ++scan) {
        view.clear();
        runScan(agent, options, resolver, log, view, table);
        EXPECT_EQ(agent.scans, scan);
        EXPECT_EQ(view.events().back(), "status udp:10.0.0.9:161: 3 rows refused: port 70000 out of range");
        EXPECT_EQ(table.count(), 1);
    }
}

} // namespace
