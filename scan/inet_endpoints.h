#pragma once
// The endpoints of both families and their owning processes, as the later MIB tables
// (tcpConnectionTable, tcpListenerTable, udpEndpointTable, hrSWRunTable) give them.

#include "scan/short_text.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

using Ipv6Address = std::array<std::uint8_t, 16>;

// One row of tcpConnectionTable, tcpListenerTable or udpEndpointTable.
struct InetEndpointRecord
{
    // InetAddressType of the local end: 1 IPv4, 2 IPv6, 0 a dual-stack wildcard socket.
    int localType = 0;
    Ipv6Address localAddress {}; // the first 4 octets for IPv4
    std::uint16_t localPort = 0;
    int remoteType = 0;
    Ipv6Address remoteAddress {};
    std::uint16_t remotePort = 0;
    std::int32_t stateValue = 0; // tcpConnState's numbers; a listener is 2 (listen)
    std::uint32_t pid = 0; // 0: not known
};

// One address of a computer, as ipAddressTable (or ipAddrTable) gives it.
struct HostAddress
{
    int type = 1; // InetAddressType: 1 IPv4, 2 IPv6
    Ipv6Address address {}; // the first 4 octets for IPv4
    friend bool operator==(const HostAddress&, const HostAddress&) = default;
    friend auto operator<=>(const HostAddress&, const HostAddress&) = default;
};

// One row of hrSWRunTable: the index is the process id.
struct ProcessRecord
{
    std::uint32_t pid = 0;
    std::string name;
    std::string path;
    std::string parameters;
};

// The index sub-identifiers of a row, read into record; false when they do not form one.
bool decodeTcpConnectionIndex(std::span<const std::uint32_t> index, InetEndpointRecord& record);
bool decodeTcpListenerIndex(std::span<const std::uint32_t> index, InetEndpointRecord& record);
bool decodeUdpEndpointIndex(std::span<const std::uint32_t> index, InetEndpointRecord& record);
// ipv6TcpConnTable's index: fixed 16-octet addresses, ports and the interface (ignored).
bool decodeIpv6TcpConnIndex(std::span<const std::uint32_t> index, InetEndpointRecord& record);
// ipv6UdpTable's index: the local address of 16 octets, the port and the interface (ignored).
bool decodeIpv6UdpIndex(std::span<const std::uint32_t> index, InetEndpointRecord& record);

bool isIpv4Mapped(const Ipv6Address& address);
// True for an IPv6 end the IPv4 tables do not show: type 2 and not ::ffff:a.b.c.d.
bool isPureIpv6(const InetEndpointRecord& record);
// The address of an IPv4 or IPv4-mapped end in network order, as the IPv4 walks give it.
std::uint32_t ipv4Of(int type, const Ipv6Address& address);

// The compressed text form of an IPv6 address ("::1", "fe80::1").
std::string ipv6Text(const Ipv6Address& address);

// Who owns the IPv4 walks' endpoints and the IPv6 ones, from the later tables.
class ProcessIndex
{
public:
    void setProcesses(std::vector<ProcessRecord> processes);
    void addTcp(const std::vector<InetEndpointRecord>& records);
    void addUdp(const std::vector<InetEndpointRecord>& records);

    // The owner of an IPv4 TCP endpoint (addresses in network order), 0 when none is known.
    std::uint32_t tcpOwner(std::uint32_t local, int localPort, std::uint32_t remote, int remotePort) const;
    std::uint32_t udpOwner(std::uint32_t local, int localPort) const;
    // The process record of pid, or nullptr.
    const ProcessRecord* process(std::uint32_t pid) const;
    // A record's command line, path and parameters, made once for all its rows; empty for
    // nullptr.
    const SharedText<512>& commandLine(const ProcessRecord* process) const;

private:
    struct Key
    {
        std::uint32_t local;
        int localPort;
        std::uint32_t remote;
        int remotePort;
        bool operator<(const Key& other) const;
    };
    void add(
        std::vector<std::pair<Key, std::uint32_t>>& into, const std::vector<InetEndpointRecord>& records);
    static std::uint32_t find(const std::vector<std::pair<Key, std::uint32_t>>& in, const Key& key);

    std::vector<std::pair<Key, std::uint32_t>> m_tcp; // sorted by key
    std::vector<std::pair<Key, std::uint32_t>> m_udp;
    std::vector<ProcessRecord> m_processes; // sorted by pid
    std::vector<SharedText<512>> m_commandLines; // m_processes[i]'s
};
