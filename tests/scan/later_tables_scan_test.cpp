// A scan with the later tables: IPv6 rows after the IPv4 ones of each protocol, mapped
// and dual-stack sockets only once, every row's owner, and a failed walk never shown.

#include "log/connection_log.h"
#include "scan/connection_table.h"
#include "scan/mib_agent.h"
#include "scan/name_resolver.h"
#include "scan/options.h"
#include "scan/run_scan.h"
#include "tests/common/scripted_name_services.h"
#include "tests/scan/fakes/recording_scan_view.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>

namespace {

Ipv6Address v6(std::initializer_list<std::uint8_t> tail)
{
    Ipv6Address address {};
    std::copy(tail.begin(), tail.end(), address.end() - static_cast<std::ptrdiff_t>(tail.size()));
    return address;
}

InetEndpointRecord record(int type, Ipv6Address local, std::uint16_t localPort, Ipv6Address remote,
    std::uint16_t remotePort, std::int32_t state, std::uint32_t pid)
{
    InetEndpointRecord r;
    r.localType = type;
    r.localAddress = local;
    r.localPort = localPort;
    r.remoteType = type;
    r.remoteAddress = remote;
    r.remotePort = remotePort;
    r.stateValue = state;
    r.pid = pid;
    return r;
}

// The tables of one machine: a dual-stack listener on 9091 with one IPv4 client, an
// IPv6-only listener on 9090 with a [::1] connection, UDP on :: and 0.0.0.0.
class TwoFamilyAgent final : public MibAgent
{
public:
    std::vector<MibEndpoint> walkTcpTable() override
    {
        failed = false;
        return { { 5, ipv4(127, 0, 0, 1), 9091, ipv4(127, 0, 0, 1), 40000 },
            { 5, ipv4(127, 0, 0, 1), 40000, ipv4(127, 0, 0, 1), 9091 }, { 2, 0, 9091, 0, 0 } };
    }
    std::vector<MibEndpoint> walkUdpTable() override
    {
        std::vector<MibEndpoint> udp { { 0, 0, 68, 0, 0 } };
        if (connectedUdp)
            udp.push_back({ 0, ipv4(127, 0, 0, 1), 5001, 0, 0 });
        return udp;
    }
    bool servesEndpointTables() const override { return true; }
    std::vector<InetEndpointRecord> walkTcpConnections() override
    {
        const Ipv6Address mapped = v6({ 0xff, 0xff, 127, 0, 0, 1 });
        InetEndpointRecord client = record(1, {}, 40000, {}, 9091, 5, 7);
        client.localAddress = client.remoteAddress = v6({});
        std::copy_n(mapped.begin() + 12, 4, client.localAddress.begin());
        std::copy_n(mapped.begin() + 12, 4, client.remoteAddress.begin());
        return { record(2, mapped, 9091, mapped, 40000, 5, 8), client,
            record(2, v6({ 1 }), 9090, v6({ 1 }), 50000, 5, 8),
            record(2, v6({ 1 }), 50000, v6({ 1 }), 9090, 5, 7) };
    }
    std::vector<InetEndpointRecord> walkTcpListeners() override
    {
        InetEndpointRecord dual = record(0, {}, 9091, {}, 0, 2, 8);
        return { dual, record(2, v6({}), 9090, {}, 0, 2, 8) };
    }
    std::vector<InetEndpointRecord> walkUdpEndpoints() override
    {
        std::vector<InetEndpointRecord> udp { record(0, {}, 68, {}, 0, 0, 9),
            record(2, v6({}), 5353, v6({}), 0, 0, 0) };
        if (connectedUdp) {
            const Ipv6Address loopback { 127, 0, 0, 1 }; // an IPv4 address: its first 4 octets
            udp.push_back(record(1, loopback, 5001, loopback, 6001, 0, 7));
            udp.push_back(record(2, v6({ 1 }), 5002, v6({ 1 }), 6002, 0, 7));
        }
        return udp;
    }
    std::vector<ProcessRecord> walkProcesses() override
    {
        failed = failProcesses;
        if (failed)
            return {};
        return { { 7, "client", "/bin/client", "-v" }, { 8, "server", "/bin/server", "" },
            { 9, "dhcp", "", "" } };
    }
    bool servesTrafficTables() const override { return true; }
    std::vector<TrafficRecord> walkTraffic() override
    {
        ++trafficWalks;
        failed = false;
        return traffic;
    }
    bool lastWalkFailed() const override { return failed; }
    std::string lastWalkError() const override { return failed ? "the agent module's query failed" : ""; }
    bool failProcesses = false;
    bool connectedUdp = false;
    std::vector<TrafficRecord> traffic;
    int trafficWalks = 0;
    bool failed = false; // the last walk: only the process table's can fail
};

class LaterTablesScan : public ::testing::Test
{
protected:
    std::vector<std::string> rowsWithOwners()
    {
        std::vector<std::string> rows;
        const ConnectionTable& shown = view.mapTable()->table;
        for (int r = 1; r <= shown.count(); ++r) {
            const ConnectionRow& row = shown.row(r);
            rows.push_back(std::string(row.localAddress) + ' ' + row.localPort + ' ' + row.remoteAddress + ' '
                + row.remotePort + ' ' + row.protocol + ' ' + row.state + ' ' + row.processName + '['
                + std::to_string(row.pid) + "] " + row.commandLine);
        }
        return rows;
    }

    Options options;
    ScriptedNameServices services;
    NameResolver resolver { services };
    ConnectionLog log;
    RecordingScanView view;
    std::unique_ptr<ConnectionTable> table = std::make_unique<ConnectionTable>();
    TwoFamilyAgent agent;
};

TEST_F(LaterTablesScan, Ipv6RowsFollowEachProtocolsIpv4RowsAndEveryRowHasItsOwner)
{
    options.lookupHostNames = false;
    options.lookupPortNames = false;
    runScan(agent, options, resolver, log, view, *table);
    // The rows as the grid orders them; which is which is what counts here.
    std::vector<std::string> rows = rowsWithOwners();
    std::sort(rows.begin(), rows.end());
    std::vector<std::string> expected {
        "127.0.0.1 9091 127.0.0.1 40000 TCP Established server[8] /bin/server",
        "127.0.0.1 40000 127.0.0.1 9091 TCP Established client[7] /bin/client -v",
        "::1 9090 ::1 50000 TCP Established server[8] /bin/server",
        "::1 50000 ::1 9090 TCP Established client[7] /bin/client -v",
        "0.0.0.0 9091  none TCP Listening server[8] /bin/server",
        ":: 9090  none TCP Listening server[8] /bin/server",
        "0.0.0.0 68  none UDP none dhcp[9] ",
        ":: 5353  none UDP none [0] ",
    };
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(rows, expected);
    // The server's four rows hold its command line once, in the scan's table and in the
    // map's copy of it alike.
    std::set<const char*> serverLines;
    for (const ConnectionTable* shown : { table.get(), &view.mapTable()->table }) {
        for (int r = 1; r <= shown->count(); ++r) {
            if (shown->row(r).pid == 8)
                serverLines.insert(shown->row(r).commandLine.c_str());
        }
    }
    EXPECT_EQ(serverLines.size(), 1u);

    options.showIpv6Endpoints = false;
    runScan(agent, options, resolver, log, view, *table);
    EXPECT_EQ(table->count(), 4);
}

TEST_F(LaterTablesScan, Ipv6NamesComeFromTheResolverAndItsCache)
{
    options.lookupPortNames = false;
    services.setLocalName("alpha");
    runScan(agent, options, resolver, log, view, *table);
    const std::vector<GridRow> rows = view.gridRows();
    ASSERT_EQ(rows.size(), 8u);
    const auto toPort
        = std::find_if(rows.begin(), rows.end(), [](const GridRow& row) { return row[3] == "50000"; });
    ASSERT_NE(toPort, rows.end()); // [::1]:9090 -> [::1]:50000
    EXPECT_EQ((*toPort)[1], "alpha"); // ::1 as local: the computer
    EXPECT_EQ((*toPort)[4], "alpha"); // ::1 as remote: the cache's answer, as for 127.0.0.1
    EXPECT_EQ(services.host6Lookups(), 0);
}

TEST_F(LaterTablesScan, DualStackSocketsPeersAndIpv6NamesAreToldApartWhenAsked)
{
    agent.connectedUdp = true;
    options.lookupPortNames = false;
    services.setLocalName("alpha");
    const auto row = [this](const char* localPort) -> const ConnectionRow& {
        const ConnectionTable& shown = view.mapTable()->table;
        for (int r = 1; r <= shown.count(); ++r) {
            // The listener, not the connection accepted on the same port.
            if (std::string(shown.row(r).localPort) == localPort
                && std::string(shown.row(r).state) != "Established")
                return shown.row(r);
        }
        ADD_FAILURE() << "no row on port " << localPort;
        return shown.row(1);
    };
    runScan(agent, options, resolver, log, view, *table);
    EXPECT_TRUE(row("9091").dualStack) << "the IPv4 tables' 0.0.0.0 takes IPv6 too";
    EXPECT_FALSE(row("9090").dualStack);
    EXPECT_STREQ(row("5001").remoteHost, "none") << "the peer only when asked";
    EXPECT_STREQ(row("9090").localHost, "alpha");

    options.showUdpPeers = true;
    options.markIpv6Names = true;
    runScan(agent, options, resolver, log, view, *table);
    EXPECT_STREQ(row("5001").remotePort, "6001");
    EXPECT_STREQ(row("5001").remoteAddress, "127.0.0.1");
    EXPECT_STREQ(row("5002").remotePort, "6002");
    EXPECT_STREQ(row("5002").remoteAddress, "::1");
    EXPECT_STREQ(row("9090").localHost, "alpha (v6)");
    EXPECT_STREQ(row("9091").localHost, "alpha") << "an IPv4 row keeps its name";
    EXPECT_STREQ(row("5353").localHost, "alpha (v6)");
}

TEST_F(LaterTablesScan, AFailedWalkOfTheLaterTablesKeepsTheLastRows)
{
    runScan(agent, options, resolver, log, view, *table);
    ASSERT_EQ(table->count(), 8);
    view.clear();
    agent.failProcesses = true;
    runScan(agent, options, resolver, log, view, *table);
    EXPECT_EQ(view.events(),
        (std::vector<std::string> { "showView map", "status Scanning...",
            "failed the agent module's query failed",
            "status the agent module's query failed: the rows shown are stale, from the last scan that read "
            "the tables" }));
    EXPECT_EQ(table->count(), 8);
}

} // namespace

namespace {

TEST_F(LaterTablesScan, TrafficJoinsTheRowsOfBothFamiliesWithRatesFromTheScanBefore)
{
    options.lookupHostNames = false;
    options.lookupPortNames = false;
    runScan(agent, options, resolver, log, view, *table);
    EXPECT_EQ(agent.trafficWalks, 0); // off: never asked

    // Statistics for no connection while some are established: an agent without the tables.
    options.showTraffic = true;
    runScan(agent, options, resolver, log, view, *table);
    EXPECT_EQ(view.events().back(), "status The agent serves no TCP statistics: traffic is not known");
    EXPECT_EQ(agent.trafficWalks, 1);

    // The IPv4 client (indexed as an IPv4-mapped end) and the IPv6 client, at two scans.
    TrafficRecord v4Client;
    v4Client.ends
        = record(2, v6({ 0xff, 0xff, 127, 0, 0, 1 }), 40000, v6({ 0xff, 0xff, 127, 0, 0, 1 }), 9091, 5, 0);
    v4Client.connectIndex = 1;
    TrafficRecord v6Client;
    v6Client.ends = record(2, v6({ 1 }), 50000, v6({ 1 }), 9090, 5, 0);
    v6Client.connectIndex = 2;
    agent.traffic = { v4Client, v6Client };
    runScan(agent, options, resolver, log, view, *table);
    agent.traffic[0].bytesSent = 1'000'000;
    agent.traffic[1].bytesReceived = 5;
    view.setRecordsHistory(true);
    runScan(agent, options, resolver, log, view, *table);
    // The history keeps the same counts: the known connections' bytes, the others' unknown.
    ASSERT_TRUE(view.seenScan());
    int withBytes = 0;
    for (const SeenEndpoint& seen : view.seenScan()->endpoints) {
        if (seen.bytesSent < 0)
            continue;
        ++withBytes;
        EXPECT_EQ(seen.bytesSent, seen.localPort == 40000 ? 1'000'000 : 0);
        EXPECT_EQ(seen.bytesReceived, seen.localPort == 50000 ? 5 : 0);
    }
    EXPECT_EQ(withBytes, 2);
    const ConnectionTable& shown = view.mapTable()->table;
    int known = 0;
    for (int r = 1; r <= shown.count(); ++r) {
        const ConnectionRow& row = shown.row(r);
        if (!row.trafficKnown)
            continue;
        ++known;
        EXPECT_EQ(row.bytesSent, row.localPortNumber == 40000 ? 1'000'000u : 0u);
        EXPECT_EQ(row.bytesReceived, row.localPortNumber == 50000 ? 5u : 0u);
        EXPECT_GT(row.localPortNumber == 40000 ? row.sendRate : row.receiveRate, 0);
    }
    EXPECT_EQ(known, 2);
    EXPECT_TRUE(view.events().back().starts_with("status Traffic \u2191")) << view.events().back();
}

} // namespace
