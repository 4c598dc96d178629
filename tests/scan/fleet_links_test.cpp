// Matching the rows of several computers' agents into the connections between them.

#include "scan/fleet_links.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

namespace {

HostAddress address(const char* text)
{
    HostAddress result;
    result.type = std::string(text).find(':') == std::string::npos ? 1 : 2;
    EXPECT_EQ(inet_pton(result.type == 1 ? AF_INET : AF_INET6, text, result.address.data()), 1) << text;
    return result;
}

FleetEndpoint connection(const char* local, std::uint16_t localPort, const char* remote,
    std::uint16_t remotePort, FleetProtocol protocol = FleetProtocol::Tcp)
{
    FleetEndpoint row;
    row.protocol = protocol;
    row.local = address(local);
    row.localPort = localPort;
    row.remote = address(remote);
    row.remotePort = remotePort;
    row.connected = true;
    row.stateValue = 5;
    return row;
}

FleetEndpoint listener(const char* local, std::uint16_t port)
{
    FleetEndpoint row;
    row.local = address(local);
    row.localPort = port;
    row.stateValue = 2;
    return row;
}

TEST(FleetLinks, EachConnectionBetweenWatchedEndsIsLinkedOnceAndTheRestToldApart)
{
    std::vector<FleetComputer> fleet(3);
    fleet[0] = { "a", { address("10.0.0.1"), address("127.0.0.1") }, {} };
    fleet[1] = { "b", { address("10.0.0.2"), address("2001:db8::2") }, {} };
    fleet[2] = { "c", { address("10.0.0.3"), address("127.0.0.1") }, {} };
    auto& a = fleet[0].endpoints;
    auto& b = fleet[1].endpoints;
    auto& c = fleet[2].endpoints;
    a = {
        connection("10.0.0.1", 41000, "10.0.0.2", 80), // 0: to b's row b[0]
        connection("127.0.0.1", 5000, "127.0.0.1", 6000), // 1: loopback, to a[2]
        connection("127.0.0.1", 6000, "127.0.0.1", 5000), // 2
        connection("10.0.0.1", 41001, "10.0.0.3", 443), // 3: c has only the wildcard listener
        connection("10.0.0.1", 41002, "10.0.0.3", 8080), // 4: c's dual-stack listener
        connection("10.0.0.1", 41003, "10.0.0.3", 9999), // 5: nothing at c: unmatched
    };
    b = {
        connection("10.0.0.2", 80, "10.0.0.1", 41000), // 0
        connection("10.0.0.2", 51000, "8.8.8.8", 53, FleetProtocol::Udp), // 1: unwatched
        connection("10.0.0.2", 51001, "8.8.8.8", 443), // 2: unwatched, same host
        connection("10.0.0.2", 22, "192.168.1.1", 50000), // 3: c behind NAT, as b sees it
        connection("2001:db8::2", 22, "2001:db8::9", 50001), // 4: unwatched
    };
    c = {
        listener("0.0.0.0", 443), // 0
        listener("::", 8080), // 1
        connection("10.0.0.3", 50000, "10.0.0.2", 22), // 2: NAT: b has no such row, nor a listener
        connection("127.0.0.1", 6000, "127.0.0.1", 5000), // 3: c's own loopback, never a's
    };

    const FleetLinks result = linkFleet(fleet);
    const auto linkText = [](const FleetLink& link) {
        return std::to_string(link.from.computer) + "." + std::to_string(link.from.endpoint) + "-"
            + std::to_string(link.to.computer) + "." + std::to_string(link.to.endpoint)
            + (link.toListener ? " listener" : "");
    };
    std::vector<std::string> links;
    for (const FleetLink& link : result.links)
        links.push_back(linkText(link));
    std::sort(links.begin(), links.end());
    EXPECT_EQ(
        links, (std::vector<std::string> { "0.0-1.0", "0.1-0.2", "0.3-2.0 listener", "0.4-2.1 listener" }));

    std::vector<FleetEnd> unmatched = result.unmatched;
    std::sort(unmatched.begin(), unmatched.end());
    EXPECT_EQ(unmatched, (std::vector<FleetEnd> { { 0, 5 }, { 2, 2 }, { 2, 3 } }));

    ASSERT_EQ(result.unwatched.size(), 3u);
    EXPECT_EQ(result.unwatched[0].computer, 1u);
    EXPECT_EQ(result.unwatched[0].address, address("8.8.8.8"));
    EXPECT_EQ(result.unwatched[0].endpoints, (std::vector<std::size_t> { 1, 2 }));
    EXPECT_EQ(result.unwatched[1].address, address("192.168.1.1"));
    EXPECT_EQ(result.unwatched[2].address, address("2001:db8::9"));
}

TEST(FleetLinks, AnAgentsRowsBecomeEndpointsWithTheirOwnersAndPlainIpv4)
{
    AgentPollResult poll;
    poll.peer = "udp:10.0.0.1:161";
    HostAddress mapped = address("::ffff:10.0.0.1");
    poll.addresses = { mapped };
    InetEndpointRecord record;
    record.localType = record.remoteType = 2;
    record.localAddress = mapped.address;
    record.localPort = 80;
    record.remoteAddress = address("::ffff:10.0.0.2").address;
    record.remotePort = 41000;
    record.stateValue = 5;
    record.pid = 42;
    poll.connections = { record };
    record.remotePort = 0;
    record.remoteAddress = {};
    record.stateValue = 2;
    record.pid = 7; // no such process in hrSWRunTable
    poll.listeners = { record };
    poll.processes = { ProcessRecord { 42, "nginx", "/usr/sbin/nginx", "" } };

    const FleetComputer computer = fleetComputer(poll);
    EXPECT_EQ(computer.name, "udp:10.0.0.1:161"); // no sysName
    EXPECT_EQ(computer.addresses, std::vector<HostAddress> { address("10.0.0.1") });
    ASSERT_EQ(computer.endpoints.size(), 2u);
    EXPECT_FALSE(computer.endpoints[0].connected);
    EXPECT_EQ(computer.endpoints[0].process, "");
    const FleetEndpoint& row = computer.endpoints[1];
    EXPECT_TRUE(row.connected);
    EXPECT_EQ(row.process, "nginx");
    EXPECT_EQ(endpointText(row.local, row.localPort), "10.0.0.1:80");
    EXPECT_EQ(endpointText(row.remote, row.remotePort), "10.0.0.2:41000");
    EXPECT_EQ(endpointText(address("fe80::1"), 22), "[fe80::1]:22");
}

TEST(FleetLinks, ThisComputersScannedTableLinksWithAnAgentsRows)
{
    ConnectionTable table;
    const auto add = [&table](const char* protocol, const char* local, int localPort, const char* remote,
                         int remotePort, const char* state, std::uint32_t pid, const char* process) {
        ConnectionRow& row = *table.append();
        row = ConnectionRow {};
        setField(row.protocol, protocol);
        setField(row.localAddress, local);
        row.localPortNumber = localPort;
        setField(row.remoteAddress, remote);
        row.remotePortNumber = remotePort;
        setField(row.state, state);
        row.pid = pid;
        setField(row.processName, process);
    };
    add("TCP", "10.0.0.1", 40000, "10.0.0.2", 80, "Established", 5, "curl");
    add("TCP", "::", 22, "", 0, "Listening", 9, "sshd");
    add("UDP", "0.0.0.0", 53, "", 0, "none", 0, "");
    const FleetComputer own = fleetComputer(table, "here", { address("10.0.0.1") });
    ASSERT_EQ(own.endpoints.size(), 3u);
    EXPECT_TRUE(own.endpoints[0].connected);
    EXPECT_EQ(own.endpoints[0].stateValue, 5);
    EXPECT_FALSE(own.endpoints[1].connected);
    EXPECT_EQ(own.endpoints[1].stateValue, 2);
    EXPECT_EQ(endpointText(own.endpoints[1].local, own.endpoints[1].localPort), "[::]:22");
    EXPECT_EQ(own.endpoints[2].protocol, FleetProtocol::Udp);
    EXPECT_FALSE(own.endpoints[2].connected);

    FleetComputer server { "server", { address("10.0.0.2") },
        { connection("10.0.0.2", 80, "10.0.0.1", 40000) } };
    server.endpoints[0].process = "nginx";
    const FleetLinks links = linkFleet({ own, server });
    ASSERT_EQ(links.links.size(), 1u);
    EXPECT_EQ(links.links[0].from, (FleetEnd { 0, 0 }));
    EXPECT_EQ(links.links[0].to, (FleetEnd { 1, 0 }));
    EXPECT_FALSE(links.links[0].toListener);
    EXPECT_FALSE(localHostAddresses().empty()) << "loopback at least";
}

} // namespace
