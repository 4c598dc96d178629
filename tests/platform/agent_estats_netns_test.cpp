// The agent's TCP statistics tables against real loopback connections in a fresh namespace:
// the byte counts the kernel keeps, as ss shows them, and each connection's index.

#include "tests/common/loopback_sockets.h"
#include "tests/common/netns.h"
#include "tests/common/ss_traffic.h"
#include "tests/platform/agent_client.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <set>
#include <thread>

namespace agenttest {
namespace {

    using namespace loopback;
    using namespace sstraffic;

    const Oid estats = { 1, 3, 6, 1, 2, 1, 156 };
    const Oid connectIdEntry = { 1, 3, 6, 1, 2, 1, 156, 1, 1, 2, 1 };
    const Oid perfEntry = { 1, 3, 6, 1, 2, 1, 156, 1, 1, 3, 1 };
    const Oid appEntry = { 1, 3, 6, 1, 2, 1, 156, 1, 1, 6, 1 };

    bool startsWith(const Oid& name, const Oid& prefix)
    {
        return name.size() > prefix.size() && std::equal(prefix.begin(), prefix.end(), name.begin());
    }

    // One walk of the statistics: each connection's index by "local > remote", and every
    // value of the two tables by (entry's last arc, column, index).
    struct Statistics
    {
        std::map<std::string, UINT> indexOf;
        std::map<std::tuple<UINT, UINT, UINT>, Value> values;
        std::vector<std::string> problems;

        std::string text(UINT table, UINT column, UINT index) const
        {
            const auto found = values.find({ table, column, index });
            return found == values.end() ? "none" : found->second.text;
        }
    };

    Statistics readStatistics()
    {
        Statistics read;
        const Walk<Value> walk = agent().walkSubtree(estats);
        read.problems = walk.problems;
        for (const Value& value : walk.rows) {
            if (startsWith(value.name, connectIdEntry)) {
                std::size_t at = connectIdEntry.size() + 1;
                std::string key = endpointText(value.name, at);
                key += " > " + endpointText(value.name, at);
                EXPECT_EQ(value.type, ASN_UNSIGNED32);
                read.indexOf[key] = static_cast<UINT>(std::stoul(value.text));
            } else if (startsWith(value.name, perfEntry) || startsWith(value.name, appEntry)) {
                EXPECT_EQ(value.name.size(), perfEntry.size() + 2);
                read.values[{ value.name[9], value.name[11], value.name[12] }] = value;
            } else {
                read.problems.push_back("outside the tables");
            }
        }
        agent().endScan();
        return read;
    }

    std::string key(int localPort, int remotePort)
    {
        return "ipv4 127.0.0.1:" + std::to_string(localPort)
            + " > ipv4 127.0.0.1:" + std::to_string(remotePort);
    }

    using AgentEStatsTest = AgentInNamespaceTest;

    TEST_F(AgentEStatsTest, ByteCountsAreTheKernelsAsSsShowsThemWithTheirTypes)
    {
        Socket listener = tcpListener("127.0.0.1", 9100);
        Socket client = tcpClient("127.0.0.1", 9100);
        Socket server = acceptOne(listener);
        const int port = client.localPort();
        // A known transfer each way, both read to the end, on a connection that then idles.
        std::thread toServer([&] { EXPECT_TRUE(sendAll(client, 300'000)); });
        ASSERT_TRUE(receiveAll(server, 300'000));
        toServer.join();
        ASSERT_TRUE(sendAll(server, 70'000));
        ASSERT_TRUE(receiveAll(client, 70'000));

        // The last acknowledgements may still be on their way: compare once ss reads the same
        // before and after the walk.
        Statistics read;
        std::pair<std::string, std::string> before, after;
        for (int attempt = 0; attempt < 50; ++attempt) {
            before = ssBytes(port, 9100);
            read = readStatistics();
            after = ssBytes(port, 9100);
            if (before == after)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        EXPECT_EQ(read.problems, std::vector<std::string>());
        ASSERT_EQ(before, after);
        ASSERT_TRUE(read.indexOf.contains(key(port, 9100)));
        const UINT index = read.indexOf[key(port, 9100)];
        EXPECT_EQ(read.text(6, 5, index), before.first);
        EXPECT_EQ(read.text(6, 8, index), before.second);
        EXPECT_GE(std::stoull(before.first), 300'000u);
        EXPECT_EQ(std::stoull(before.second), 70'000u);

        // Every served column of this connection, with the type its syntax has on the wire.
        const std::map<UINT, BYTE> perfTypes = { { 1, ASN_GAUGE32 }, { 4, ASN_COUNTER64 }, { 5, ASN_GAUGE32 },
            { 6, ASN_GAUGE32 }, { 7, ASN_GAUGE32 }, { 10, ASN_COUNTER64 }, { 11, ASN_GAUGE32 },
            { 17, ASN_GAUGE32 }, { 18, ASN_GAUGE32 }, { 20, ASN_GAUGE32 } };
        std::map<UINT, BYTE> served;
        for (const auto& [where, value] : read.values) {
            if (std::get<0>(where) == 3 && std::get<2>(where) == index)
                served[std::get<1>(where)] = value.type;
            if (std::get<0>(where) == 6) {
                EXPECT_EQ(value.type, ASN_COUNTER64);
            }
        }
        EXPECT_EQ(served, perfTypes);
        EXPECT_GE(std::stoull(read.text(3, 4, index)), 300'000u); // HCDataOctetsOut
        EXPECT_EQ(read.text(3, 10, index), before.second); // HCDataOctetsIn
        EXPECT_GT(std::stoul(read.text(3, 1, index)), 0u); // SegsOut
        EXPECT_GE(std::stoul(read.text(3, 18, index)), 200u); // CurRTO: the kernel's floor, in ms
    }

    TEST_F(AgentEStatsTest, AConnectionKeepsItsIndexAndANewOneGetsAnIndexNeverGiven)
    {
        Socket listener = tcpListener("127.0.0.1", 9200);
        Socket first = tcpClient("127.0.0.1", 9200);
        Socket firstServer = acceptOne(listener);
        const int firstPort = first.localPort();
        const Statistics one = readStatistics();
        const Statistics two = readStatistics();
        ASSERT_EQ(one.indexOf.size(), 2u);
        EXPECT_EQ(two.indexOf, one.indexOf);
        // Every connection has its own index, and a row in the other tables by it.
        std::set<UINT> given;
        for (const auto& [endpoints, index] : one.indexOf) {
            EXPECT_TRUE(given.insert(index).second);
            EXPECT_TRUE(one.values.contains({ 6, 5, index })) << endpoints;
        }

        abortClose(first);
        abortClose(firstServer);
        Socket second = tcpClient("127.0.0.1", 9200);
        Socket secondServer = acceptOne(listener);
        const Statistics three = readStatistics();
        ASSERT_EQ(three.indexOf.size(), 2u);
        EXPECT_FALSE(three.indexOf.contains(key(firstPort, 9200)));
        for (const auto& [endpoints, index] : three.indexOf)
            EXPECT_GT(index, *given.rbegin()) << endpoints;
    }

} // namespace
} // namespace agenttest
