#include "scan/fleet_links.h"

#include "scan/tcp_states.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstring>
#include <ifaddrs.h>
#include <map>
#include <netinet/in.h>
#include <optional>
#include <set>
#include <tuple>

namespace {

constexpr std::int32_t kListen = 2;

// IPv4-mapped IPv6 addresses (dual-stack sockets) are the IPv4 address they carry.
HostAddress normalised(int type, const Ipv6Address& raw)
{
    HostAddress address;
    address.type = type == 2 ? 2 : 1;
    address.address = raw;
    static constexpr std::uint8_t kMapped[12] = { 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff };
    if (address.type == 2 && std::equal(kMapped, kMapped + 12, raw.begin())) {
        address.type = 1;
        address.address = {};
        std::copy(raw.begin() + 12, raw.end(), address.address.begin());
    }
    if (address.type == 1)
        std::fill(address.address.begin() + 4, address.address.end(), 0);
    return address;
}

bool isWildcard(const HostAddress& address)
{
    return std::all_of(address.address.begin(), address.address.end(), [](std::uint8_t b) { return b == 0; });
}

bool isLoopback(const HostAddress& address)
{
    if (address.type == 1)
        return address.address[0] == 127;
    static constexpr Ipv6Address kLoopback { 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1 };
    return address.address == kLoopback;
}

// A row's numeric address text as an address; the wildcard of its family when empty.
HostAddress addressOf(const char* text, bool ipv6)
{
    Ipv6Address raw {};
    const bool v6 = std::strchr(text, ':') != nullptr || (text[0] == '\0' && ipv6);
    if (text[0] != '\0')
        inet_pton(v6 ? AF_INET6 : AF_INET, text, raw.data());
    return normalised(v6 ? 2 : 1, raw);
}

using RowKey = std::tuple<std::size_t, FleetProtocol, HostAddress, std::uint16_t, HostAddress, std::uint16_t>;

} // namespace

FleetComputer fleetComputer(const AgentPollResult& result)
{
    FleetComputer computer;
    computer.name = result.sysName.empty() ? result.peer : result.sysName;
    for (const HostAddress& address : result.addresses)
        computer.addresses.push_back(normalised(address.type, address.address));
    std::map<std::uint32_t, std::string> names;
    for (const ProcessRecord& process : result.processes)
        names[process.pid] = process.name;
    const auto add = [&](const InetEndpointRecord& record, FleetProtocol protocol) {
        FleetEndpoint endpoint;
        endpoint.protocol = protocol;
        endpoint.local = normalised(record.localType, record.localAddress);
        endpoint.localPort = record.localPort;
        endpoint.remote = normalised(record.remoteType, record.remoteAddress);
        endpoint.remotePort = record.remotePort;
        endpoint.connected
            = record.stateValue != kListen && record.remotePort != 0 && !isWildcard(endpoint.remote);
        endpoint.stateValue = record.stateValue;
        endpoint.pid = record.pid;
        if (const auto found = names.find(record.pid); record.pid != 0 && found != names.end())
            endpoint.process = found->second;
        computer.endpoints.push_back(std::move(endpoint));
    };
    for (const InetEndpointRecord& record : result.listeners)
        add(record, FleetProtocol::Tcp);
    for (const InetEndpointRecord& record : result.connections)
        add(record, FleetProtocol::Tcp);
    for (const InetEndpointRecord& record : result.udpEndpoints)
        add(record, FleetProtocol::Udp);
    return computer;
}

FleetComputer fleetComputer(
    const ConnectionTable& table, std::string name, std::vector<HostAddress> addresses)
{
    FleetComputer computer;
    computer.name = std::move(name);
    for (const HostAddress& address : addresses)
        computer.addresses.push_back(normalised(address.type, address.address));
    for (int r = 1; r <= table.count(); ++r) {
        const ConnectionRow& row = table.row(r);
        FleetEndpoint endpoint;
        endpoint.protocol = std::strcmp(row.protocol, "UDP") == 0 ? FleetProtocol::Udp : FleetProtocol::Tcp;
        const bool ipv6 = std::strchr(row.localAddress, ':') != nullptr;
        endpoint.local = addressOf(row.localAddress, ipv6);
        endpoint.localPort = static_cast<std::uint16_t>(row.localPortNumber);
        endpoint.remote = addressOf(row.remoteAddress, ipv6);
        endpoint.remotePort = static_cast<std::uint16_t>(row.remotePortNumber);
        const auto state = std::ranges::find_if(
            TcpStateNames, [&row](const char* text) { return std::strcmp(text, row.state) == 0; });
        endpoint.stateValue
            = state == TcpStateNames.end() ? 0 : static_cast<std::int32_t>(state - TcpStateNames.begin());
        endpoint.connected
            = endpoint.stateValue != kListen && endpoint.remotePort != 0 && !isWildcard(endpoint.remote);
        endpoint.pid = row.pid;
        endpoint.process = row.processName;
        computer.endpoints.push_back(std::move(endpoint));
    }
    return computer;
}

std::vector<HostAddress> localHostAddresses()
{
    std::vector<HostAddress> addresses;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return addresses;
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr)
            continue;
        HostAddress address;
        if (entry->ifa_addr->sa_family == AF_INET) {
            const auto* in = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
            std::memcpy(address.address.data(), &in->sin_addr, 4);
        } else if (entry->ifa_addr->sa_family == AF_INET6) {
            const auto* in6 = reinterpret_cast<const sockaddr_in6*>(entry->ifa_addr);
            address.type = 2;
            std::memcpy(address.address.data(), &in6->sin6_addr, 16);
        } else {
            continue;
        }
        addresses.push_back(address);
    }
    freeifaddrs(list);
    return addresses;
}

std::vector<HostAddress> endpointAddresses(const FleetComputer& computer)
{
    std::vector<HostAddress> addresses;
    for (const FleetEndpoint& endpoint : computer.endpoints) {
        if (!isWildcard(endpoint.local) && std::ranges::find(addresses, endpoint.local) == addresses.end())
            addresses.push_back(endpoint.local);
    }
    return addresses;
}

FleetLinks linkFleet(const std::vector<FleetComputer>& computers)
{
    std::map<HostAddress, std::set<std::size_t>> owners;
    for (std::size_t c = 0; c < computers.size(); ++c) {
        for (const HostAddress& address : computers[c].addresses) {
            if (!isLoopback(address))
                owners[address].insert(c);
        }
    }
    std::map<RowKey, std::size_t> connections;
    for (std::size_t c = 0; c < computers.size(); ++c) {
        const auto& endpoints = computers[c].endpoints;
        for (std::size_t e = 0; e < endpoints.size(); ++e) {
            const FleetEndpoint& row = endpoints[e];
            if (row.connected)
                connections.emplace(
                    RowKey { c, row.protocol, row.local, row.localPort, row.remote, row.remotePort }, e);
        }
    }
    // A listener at the address or a wildcard of its family (an IPv6 wildcard takes IPv4
    // too, as a dual-stack socket does).
    const auto listenerFor = [&](std::size_t c, FleetProtocol protocol, const HostAddress& address,
                                 std::uint16_t port) -> std::optional<std::size_t> {
        const auto& endpoints = computers[c].endpoints;
        for (std::size_t e = 0; e < endpoints.size(); ++e) {
            const FleetEndpoint& row = endpoints[e];
            if (row.connected || row.protocol != protocol || row.localPort != port)
                continue;
            if (row.local == address
                || (isWildcard(row.local) && (row.local.type == address.type || row.local.type == 2)))
                return e;
        }
        return std::nullopt;
    };

    // Candidates for the other end of a row: the computers that have its remote address.
    const auto candidatesFor = [&](std::size_t c, const FleetEndpoint& row) {
        if (isLoopback(row.remote))
            return std::set<std::size_t> { c };
        const auto found = owners.find(row.remote);
        return found != owners.end() ? found->second : std::set<std::size_t> {};
    };

    // Both rows of a connection first, whichever of them finds the other, so that a pair is
    // one link even where only one end's address is known.
    std::set<std::pair<FleetEnd, FleetEnd>> pairs;
    std::set<FleetEnd> linked;
    for (const auto& [key, e] : connections) {
        const auto& [c, protocol, local, localPort, remote, remotePort] = key;
        const FleetEnd self { c, e };
        for (const std::size_t k : candidatesFor(c, computers[c].endpoints[e])) {
            const auto other = connections.find(RowKey { k, protocol, remote, remotePort, local, localPort });
            if (other != connections.end() && !(other->first == key)) {
                const FleetEnd peer { k, other->second };
                pairs.emplace(std::min(self, peer), std::max(self, peer));
                linked.insert(self);
                linked.insert(peer);
                break;
            }
        }
    }
    FleetLinks result;
    for (const auto& [from, to] : pairs)
        result.links.push_back(FleetLink { from, to, false });

    std::map<std::pair<std::size_t, HostAddress>, std::vector<std::size_t>> unwatched;
    for (std::size_t c = 0; c < computers.size(); ++c) {
        const auto& endpoints = computers[c].endpoints;
        for (std::size_t e = 0; e < endpoints.size(); ++e) {
            const FleetEndpoint& row = endpoints[e];
            const FleetEnd self { c, e };
            if (!row.connected || linked.contains(self))
                continue;
            const std::set<std::size_t> candidates = candidatesFor(c, row);
            if (candidates.empty()) {
                unwatched[{ c, row.remote }].push_back(e);
                continue;
            }
            bool found = false;
            for (const std::size_t k : candidates) {
                if (const auto listener = listenerFor(k, row.protocol, row.remote, row.remotePort)) {
                    result.links.push_back(FleetLink { self, FleetEnd { k, *listener }, true });
                    found = true;
                    break;
                }
            }
            if (!found)
                result.unmatched.push_back(self);
        }
    }
    for (auto& [key, rows] : unwatched)
        result.unwatched.push_back(UnwatchedHost { key.first, key.second, std::move(rows) });
    return result;
}

std::string endpointText(const HostAddress& address, std::uint16_t port)
{
    char text[INET6_ADDRSTRLEN] = {};
    inet_ntop(address.type == 2 ? AF_INET6 : AF_INET, address.address.data(), text, sizeof text);
    const std::string host = text;
    return (address.type == 2 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}
