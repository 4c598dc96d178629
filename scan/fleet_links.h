#pragma once
// The connections between watched computers: a connection from A to B is in both agents'
// tables with its ends swapped, so the two rows name the processes on both ends. Matching
// goes by the addresses each agent gives for its own computer; an end behind NAT (its
// address as the other computer sees it is not the one its own computer has) is not linked.

#include "scan/agent_poller.h"
#include "scan/connection_table.h"
#include "scan/inet_endpoints.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class FleetProtocol
{
    Tcp,
    Udp
};

// One endpoint of a watched computer. A listener (or an unconnected UDP endpoint) has no remote end.
struct FleetEndpoint
{
    FleetProtocol protocol = FleetProtocol::Tcp;
    HostAddress local;
    std::uint16_t localPort = 0;
    bool connected = false;
    HostAddress remote;
    std::uint16_t remotePort = 0;
    std::int32_t stateValue = 0; // tcpConnState's numbers
    std::uint32_t pid = 0; // 0: the agent does not say
    std::string process; // "" when not known
};

struct FleetComputer
{
    std::string name;
    std::vector<HostAddress> addresses;
    std::vector<FleetEndpoint> endpoints;
};

struct FleetEnd
{
    std::size_t computer = 0;
    std::size_t endpoint = 0;
    friend auto operator<=>(const FleetEnd&, const FleetEnd&) = default;
};

struct FleetLink
{
    FleetEnd from; // the earlier of the two rows, in the computers' and rows' order
    FleetEnd to;
    // The other computer had no row of this connection (closed or not yet accepted between
    // the two reads), but a listener on its port at that address or a wildcard one.
    bool toListener = false;
};

// Connections to one host that no watched computer has among its addresses.
struct UnwatchedHost
{
    std::size_t computer = 0;
    HostAddress address;
    std::vector<std::size_t> endpoints;
};

struct FleetLinks
{
    std::vector<FleetLink> links;
    // Connections to a watched address with no row or listener there to answer them: NAT
    // on the way, or a connection that opened or closed between the two reads.
    std::vector<FleetEnd> unmatched;
    std::vector<UnwatchedHost> unwatched; // by computer, then address
};

// A computer as its agent's poll gave it: the later tables' endpoints with their owners.
FleetComputer fleetComputer(const AgentPollResult& result);
// This computer as a finished scan's table gave it, with its addresses.
FleetComputer fleetComputer(
    const ConnectionTable& table, std::string name, std::vector<HostAddress> addresses);
// The addresses of this computer's interfaces; none when they cannot be read.
std::vector<HostAddress> localHostAddresses();
// The addresses a computer's own endpoints stand at, each once: all that is known of a
// computer whose address table was not read.
std::vector<HostAddress> endpointAddresses(const FleetComputer& computer);

// Links each connection whose two ends are both watched, once; a remote end on loopback is
// the same computer. Wildcard listeners answer at every address of their computer.
FleetLinks linkFleet(const std::vector<FleetComputer>& computers);

// "10.0.0.1:80", "[fe80::1]:22".
std::string endpointText(const HostAddress& address, std::uint16_t port);
