#include "tests/scan/fakes/scan_fixture.h"

#include <algorithm>

namespace {

const std::uint32_t kHost = ipv4(192, 168, 1, 20);
const std::uint32_t kBeta = ipv4(10, 0, 0, 2);
const std::uint32_t kGamma = ipv4(10, 0, 0, 3);
const std::uint32_t kLoopback = ipv4(127, 0, 0, 1);

class RowFilterTest : public ScanFixture
{
protected:
    void SetUp() override
    {
        ScanFixture::SetUp();
        services.setLocalName("alpha");
        services.addHost(kBeta, "beta.example");
        services.addHost(kGamma, "gamma.example");
    }

    std::vector<std::string> column(int c) const
    {
        std::vector<std::string> out;
        for (const GridRow& row : view.gridRows())
            out.push_back(row[std::size_t(c)]);
        return out;
    }
};

TEST_F(RowFilterTest, TheTableHoldsTheMatchingRowsOfABusyMachine)
{
    // 300 endpoints; the 100 wanted ones come last, where the 200-row table would have
    // cut them off.
    std::vector<TcpRow> tcp;
    for (int i = 0; i < 200; ++i)
        tcp.push_back({ 5, kHost, 10000 + i, kBeta, 80 });
    for (int i = 0; i < 100; ++i)
        tcp.push_back({ 11, kHost, 20000 + i, kGamma, 443 });
    startWith(tcp, {});

    for (const std::string filter : { "GAMMA", "10.0.0.3", "time_" }) {
        options.filterText = filter; // a name in another case, the address behind it, a state
        view.clear();
        runOnce();
        EXPECT_EQ(view.capacityMessages(), 0) << filter;
        const auto hosts = column(4);
        ASSERT_EQ(hosts.size(), 100u) << filter;
        EXPECT_TRUE(std::all_of(hosts.begin(), hosts.end(), [](auto& h) { return h == "gamma.example"; }));
        EXPECT_EQ(column(0).back(), "100");
        EXPECT_EQ(view.events().back(), "status Filter: 200 endpoints hidden") << filter;
        EXPECT_EQ(view.mapTable()->table.count(), 100);
        EXPECT_STREQ(view.mapTable()->table.row(1).remoteAddress, "10.0.0.3");
    }

    // Nothing matches: no row at all, and the status bar says so.
    options.filterText = "no such text";
    view.clear();
    runOnce();
    EXPECT_TRUE(view.gridRows().empty());
    EXPECT_EQ(view.events().back(), "status No endpoint matches");

    // Without a filter the scan is as it always was: the cut at 200, one message, the count.
    options.filterText = "";
    view.clear();
    runOnce();
    EXPECT_EQ(view.capacityMessages(), 1);
    EXPECT_EQ(view.gridRows().size(), 200u);
    EXPECT_EQ(view.events().back(), "status 100 endpoints were not shown.");

    // A table for every endpoint: all 300, no message, and the map counts them.
    options.tableSize = ConnectionTable::kUnbounded;
    view.clear();
    runOnce();
    EXPECT_EQ(view.capacityMessages(), 0);
    EXPECT_EQ(view.gridRows().size(), 300u);
    EXPECT_EQ(view.mapTable()->table.count(), 300);
    EXPECT_EQ(view.events().back(), "status ");
}

TEST_F(RowFilterTest, TermsFindPortsProcessesStatesAndFamiliesBehindTheirNames)
{
    services.addService(5432, "tcp", "postgresql");
    services.addService(53, "udp", "domain");
    options.lookupHostNames = false;
    startWith({ { 2, 0, 5432, 0, 0 }, { 5, kHost, 55432, kBeta, 443 }, { 5, kHost, 40000, kBeta, 5432 },
                  { 11, kHost, 40001, kGamma, 80 } },
        { { 0, 53 } });
    // The rows as "local port/remote port state" in scan order, for each filter.
    const struct
    {
        const char* filter;
        std::vector<std::string> rows;
    } cases[] = {
        { "5432", { "postgresql/none Listening", "40000/postgresql Established" } }, // not 55432
        { "port:5432", { "postgresql/none Listening", "40000/postgresql Established" } },
        { "port:postgresql", { "postgresql/none Listening", "40000/postgresql Established" } },
        { "!state:established", { "postgresql/none Listening", "40001/http Time_wait", "domain/none none" } },
        { "state:listen", { "postgresql/none Listening" } }, { "proto:udp", { "domain/none none" } },
        { "PROTO:UDP !port:53", {} }, { "host:10.0.0.3", { "40001/http Time_wait" } }, { "family:6", {} },
        { "family:4 port:443", { "55432/https Established" } },
        { "fe80::1", {} }, // an address with colons is a word, not a field
    };
    services.addService(443, "tcp", "https");
    services.addService(80, "tcp", "http");
    for (const auto& c : cases) {
        options.filterText = c.filter;
        runOnce();
        std::vector<std::string> rows;
        for (const GridRow& row : view.gridRows())
            rows.push_back(row[2] + "/" + row[3] + " " + row[6]);
        std::sort(rows.begin(), rows.end());
        std::vector<std::string> expected = c.rows;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(rows, expected) << c.filter;
    }
}

TEST_F(RowFilterTest, TheFilterNarrowsTheViewNeverTheLog)
{
    options.logEnabled = true;
    options.filterText = "gamma";
    startWith({ { 5, kHost, 40000, kBeta, 80 }, { 5, kHost, 40001, kGamma, 443 } }, {});
    runOnce();
    EXPECT_EQ(view.gridRows().size(), 1u);
    const std::string logged = logText();
    EXPECT_NE(logged.find("beta.example"), std::string::npos) << logged;
    EXPECT_NE(logged.find("gamma.example"), std::string::npos) << logged;
}

TEST_F(RowFilterTest, HideLoopbackLeavesOutTheMachineTalkingToItself)
{
    std::vector<TcpRow> tcp;
    for (int i = 0; i < 250; ++i)
        tcp.push_back({ 5, kLoopback, 30000 + i, kLoopback, 5432 });
    tcp.push_back({ 2, 0, 22, 0, 0 }); // a wildcard listener is not loopback
    tcp.push_back({ 5, kHost, 40000, kBeta, 80 });
    options.hideLoopback = true;
    startWith(tcp, { { kLoopback, 323 }, { 0, 53 } });
    runOnce();

    EXPECT_EQ(view.capacityMessages(), 0);
    EXPECT_EQ(column(4), (std::vector<std::string> { "beta.example", "none", "none" }));
    EXPECT_EQ(column(6), (std::vector<std::string> { "Established", "Listening", "none" }));
    EXPECT_EQ(view.events().back(), "status Filter: 251 endpoints hidden");
}

} // namespace
