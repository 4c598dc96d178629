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

    // Nothing matches: the grid keeps its one empty row, and the status bar tells why.
    options.filterText = "no such text";
    view.clear();
    runOnce();
    ASSERT_EQ(view.gridRows().size(), 1u);
    EXPECT_EQ(view.gridRows()[0][0], "");
    EXPECT_EQ(view.events().back(), "status Filter: 300 endpoints hidden");

    // Without a filter the scan is as it always was: the cut at 200, one message, the count.
    options.filterText = "";
    view.clear();
    runOnce();
    EXPECT_EQ(view.capacityMessages(), 1);
    EXPECT_EQ(view.gridRows().size(), 200u);
    EXPECT_EQ(view.events().back(), "status 100 endpoints were not shown.");
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
