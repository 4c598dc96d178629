#pragma once
// The rows of tcpConnTable and udpTable as the agent serves them, and their MIB index.

#include "platform/snmp.h"

#include <cstddef>
#include <cstdint>
#include <vector>

struct TcpConnRow
{
    std::uint32_t localAddress; // network byte order, as the IpAddress value carries it
    std::uint32_t remoteAddress; // network byte order
    std::uint16_t localPort; // host byte order
    std::uint16_t remotePort; // host byte order
    std::int32_t state; // tcpConnState
};

struct UdpRow
{
    std::uint32_t localAddress; // network byte order
    std::uint16_t localPort; // host byte order
};

// tcpConnState values.
enum class MibTcpState : std::int32_t
{
    Closed = 1,
    Listen = 2,
    SynSent = 3,
    SynReceived = 4,
    Established = 5,
    FinWait1 = 6,
    FinWait2 = 7,
    CloseWait = 8,
    LastAck = 9,
    Closing = 10,
    TimeWait = 11,
};

// Among TCP rows sharing an index, the lower rank is the one most worth showing.
int tcpStateRank(std::int32_t state);

// The tcpConnState for a Linux TCP state number. Internal states map to their nearest
// RFC 1213 state; nothing unknown ever reads as listen.
MibTcpState mibTcpState(int linuxState);

// Index lengths: local address, local port, remote address, remote port / local address, local port.
inline constexpr std::size_t tcpIndexLength = 10;
inline constexpr std::size_t udpIndexLength = 5;

// Write the index and return its length.
std::size_t encodeIndex(const TcpConnRow& row, UINT* out);
std::size_t encodeIndex(const UdpRow& row, UINT* out);

// Puts the rows in index order and keeps one row per index.
void sortByIndex(std::vector<TcpConnRow>& rows);
void sortByIndex(std::vector<UdpRow>& rows);
