#include "scan/traffic.h"
#include "scan/traffic_groups.h"

#include <gtest/gtest.h>

namespace {

MibValue v(std::uint8_t type, std::int64_t number)
{
    MibValue value;
    value.type = type;
    value.number = number;
    return value;
}

MibRow row(std::vector<std::uint32_t> index, std::vector<MibValue> values)
{
    return { std::move(index), std::move(values) };
}

// tcpConnectionTable's index of 127.0.0.1:port to 127.0.0.1:80.
std::vector<std::uint32_t> loopbackIndex(std::uint32_t port)
{
    return { 1, 4, 127, 0, 0, 1, port, 1, 4, 127, 0, 0, 1, 80 };
}

TEST(Traffic, TheTablesJoinByConnectIndexAndValuesOfTheWrongTypeFailTheWhole)
{
    const std::vector<MibRow> ids
        = { row(loopbackIndex(5000), { v(0x42, 7) }), row(loopbackIndex(5001), { v(0x47, 3) }) };
    const std::vector<MibRow> perf
        = { row({ 7 }, { v(0x42, 2), v(0x42, 15) }), row({ 9 }, { v(0x42, 1), v(0x42, 1) }) };
    const std::vector<MibRow> app
        = { row({ 3 }, { v(0x46, 10), v(0x46, 20) }), row({ 7 }, { v(0x46, 5'000'000'000), v(0, 0) }) };
    std::string problem;
    const std::vector<TrafficRecord> records = joinTraffic(ids, perf, app, problem);
    EXPECT_EQ(problem, "");
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].connectIndex, 3u);
    EXPECT_EQ(records[0].ends.localPort, 5001);
    EXPECT_EQ(records[0].bytesSent, 10u);
    EXPECT_EQ(records[0].rttMs, 0u); // no Perf row: gone between the walks
    EXPECT_EQ(records[1].bytesSent, 5'000'000'000u);
    EXPECT_EQ(records[1].bytesReceived, 0u);
    EXPECT_EQ(records[1].retransmits, 2u);
    EXPECT_EQ(records[1].rttMs, 15u);

    // A Counter32 where Counter64 belongs, a Counter64 RTT, an index that is no connection.
    const struct
    {
        std::vector<MibRow> ids, perf, app;
    } broken[] = {
        { ids, perf, { row({ 3 }, { v(0x41, 10), v(0x46, 20) }) } },
        { ids, { row({ 7 }, { v(0x42, 2), v(0x46, 15) }) }, app },
        { { row({ 1, 4, 127 }, { v(0x42, 7) }) }, perf, app },
        { { row(loopbackIndex(1), { v(0x42, 0) }) }, perf, app }, // an index is at least 1
    };
    for (const auto& tables : broken) {
        problem.clear();
        EXPECT_TRUE(joinTraffic(tables.ids, tables.perf, tables.app, problem).empty());
        EXPECT_FALSE(problem.empty());
    }
}

TEST(Traffic, ARateNeedsTheConnectionSeenAtTheScanBefore)
{
    using namespace std::chrono_literals;
    TrafficHistory history;
    const auto start = TrafficHistory::Clock::time_point {} + 1h;
    std::vector<TrafficRecord> first(1);
    first[0].connectIndex = 4;
    first[0].bytesSent = 1'000;
    first[0].bytesReceived = 500;
    history.apply(first, start);
    EXPECT_LT(first[0].sendRate, 0);

    std::vector<TrafficRecord> second(2);
    second[0] = first[0];
    second[0].bytesSent = 3'000;
    second[0].bytesReceived = 500;
    second[1].connectIndex = 5; // new: bytes, no rate
    second[1].bytesSent = 9'000;
    history.apply(second, start + 2s);
    EXPECT_DOUBLE_EQ(second[0].sendRate, 1'000);
    EXPECT_DOUBLE_EQ(second[0].receiveRate, 0);
    EXPECT_LT(second[1].sendRate, 0);

    // A counter that went back is another connection under the same index.
    second[0].bytesSent = 10;
    history.apply(second, start + 3s);
    EXPECT_LT(second[0].sendRate, 0);
    EXPECT_DOUBLE_EQ(second[1].sendRate, 0);
}

TEST(Traffic, CellTexts)
{
    EXPECT_EQ(bytesText(0), "0 B");
    EXPECT_EQ(bytesText(999), "999 B");
    EXPECT_EQ(bytesText(1'500), "1.5 KB");
    EXPECT_EQ(bytesText(999'960), "1.0 MB");
    EXPECT_EQ(bytesText(12'345'678'901), "12.3 GB");
    EXPECT_EQ(rateCellText(1'500, 200), "\u21911.5 KB/s \u2193200 B/s");
    EXPECT_EQ(rateCellText(-1, -1), "\u2013");
}

} // namespace

TEST(TrafficGroups, SumTheKnownConnectionsByProcessOrRemoteHostMostBytesFirst)
{
    const auto row
        = [](std::uint32_t pid, const char* name, const char* remote, std::uint64_t sent, double rate) {
              GridRowDetails details { "10.0.0.1", remote, 5000, 443, pid, name };
              details.trafficKnown = true;
              details.bytesSent = sent;
              details.bytesReceived = 1;
              details.sendRate = rate;
              details.receiveRate = rate < 0 ? -1 : 1;
              return details;
          };
    GridRowDetails udp { "10.0.0.1", "10.0.0.9", 53, 53, 7, "dns" }; // no counters: left out
    const std::vector<GridRowDetails> rows { row(7, "curl", "10.0.0.2", 100, 10),
        row(7, "curl", "10.0.0.3", 50, -1), row(9, "curl", "10.0.0.2", 900, -1), row(0, "", "10.0.0.3", 5, 2),
        udp };

    const auto byProcess = groupTraffic(rows, TrafficGrouping::Process);
    ASSERT_EQ(byProcess.size(), 3u);
    EXPECT_EQ(byProcess[0].name, "curl[9]"); // most bytes first
    EXPECT_LT(byProcess[0].sendRate, 0) << "none of its connections has a rate yet";
    EXPECT_EQ(byProcess[1].name, "curl[7]");
    EXPECT_EQ(byProcess[1].connections, 2);
    EXPECT_EQ(byProcess[1].bytesSent, 150u);
    EXPECT_EQ(byProcess[1].bytesReceived, 2u);
    EXPECT_EQ(byProcess[1].sendRate, 10); // the one with a rate
    EXPECT_EQ(byProcess[2].name, "-");

    const auto byHost = groupTraffic(rows, TrafficGrouping::RemoteHost);
    ASSERT_EQ(byHost.size(), 2u);
    EXPECT_EQ(byHost[0].name, "10.0.0.2");
    EXPECT_EQ(byHost[0].bytesSent, 1000u);
    EXPECT_EQ(byHost[1].connections, 2);
    EXPECT_EQ(byHost[1].sendRate, 2);
}
