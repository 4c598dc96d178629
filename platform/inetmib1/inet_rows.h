#pragma once
// The rows of the tables that cover both address families and name the owning process
// (tcpConnectionTable, tcpListenerTable, udpEndpointTable, hrSWRunTable), and their index.

#include "platform/snmp.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// InetAddressType values.
enum class InetAddressType : std::uint8_t
{
    Unknown = 0,
    Ipv4 = 1,
    Ipv6 = 2,
};

// An address and port as the tables index them: the type, then the address as its length
// and octets, then the port. Octets beyond the length are zero.
struct InetEndpoint
{
    InetAddressType type = InetAddressType::Unknown;
    std::uint16_t port = 0; // host byte order
    std::array<std::uint8_t, 16> address {}; // network byte order

    std::size_t addressLength() const
    {
        return type == InetAddressType::Ipv4 ? 4 : type == InetAddressType::Ipv6 ? 16 : 0;
    }
};

// The kernel's socket behind a row, so its owner can be looked for when it is asked:
// inode 0 when the socket has no file (TIME_WAIT, not yet accepted).
struct SocketRef
{
    std::uint32_t inode = 0;
    std::uint32_t uid = 0;
};

struct TcpConnectionRow
{
    InetEndpoint local;
    InetEndpoint remote;
    std::int32_t state; // tcpConnState numbers
    std::uint32_t process; // 0 when unknown
    SocketRef socket {};
    // The kernel's cookie for the socket; 0 where it keeps no statistics (TIME_WAIT, a request).
    std::uint64_t cookie = 0;
};

struct TcpListenerRow
{
    InetEndpoint local;
    std::uint32_t process;
    SocketRef socket {};
};

struct UdpEndpointRow
{
    InetEndpoint local;
    InetEndpoint remote;
    std::uint32_t instance; // the socket's inode, as net-snmp's agent numbers them
    std::uint32_t process;
    SocketRef socket {};
};

// ipv6TcpConnTable (RFC 2452): the TCP sockets of the IPv6 family, listeners and IPv4-mapped
// ones included but not the wildcard sockets that also take IPv4, indexed by fixed 16-octet
// addresses, ports and the interface of a link-local address (0 for any other). It names
// no process.
struct Ipv6TcpConnRow
{
    std::array<std::uint8_t, 16> localAddress {};
    std::uint16_t localPort = 0;
    std::array<std::uint8_t, 16> remoteAddress {};
    std::uint16_t remotePort = 0;
    std::uint32_t ifIndex = 0;
    std::int32_t state = 0; // tcpConnState numbers
};

// ipv6UdpTable (RFC 2454): the UDP sockets of the IPv6 family as ipv6TcpConnTable takes them,
// indexed by the local address, port and interface: sockets that share all three are one row.
struct Ipv6UdpRow
{
    std::array<std::uint8_t, 16> localAddress {};
    std::uint16_t localPort = 0;
    std::uint32_t ifIndex = 0;
};

// hrSWRunStatus values.
enum class SwRunStatus : std::int32_t
{
    Running = 1,
    Runnable = 2,
    NotRunnable = 3,
    Invalid = 4,
};

struct SwRunRow
{
    std::uint32_t pid; // hrSWRunIndex
    std::string name; // at most 64 octets
    std::string path; // at most 128
    std::string parameters; // at most 128
    SwRunStatus status;
    // When the process started, in clock ticks since boot: with the pid, it names one process.
    std::uint64_t startTime = 0;
};

// Index lengths at most: type, length, 16 octets and port per endpoint; instance; pid.
inline constexpr std::size_t inetEndpointIndexLength = 19;
inline constexpr std::size_t tcpConnectionIndexLength = 2 * inetEndpointIndexLength;
inline constexpr std::size_t tcpListenerIndexLength = inetEndpointIndexLength;
inline constexpr std::size_t udpEndpointIndexLength = 2 * inetEndpointIndexLength + 1;
inline constexpr std::size_t swRunIndexLength = 1;
inline constexpr std::size_t ipv6TcpConnIndexLength = 16 + 1 + 16 + 1 + 1;
inline constexpr std::size_t ipv6UdpIndexLength = 16 + 1 + 1;

// Write the index and return its length.
std::size_t encodeIndex(const TcpConnectionRow& row, UINT* out);
std::size_t encodeIndex(const TcpListenerRow& row, UINT* out);
std::size_t encodeIndex(const UdpEndpointRow& row, UINT* out);
std::size_t encodeIndex(const SwRunRow& row, UINT* out);
std::size_t encodeIndex(const Ipv6TcpConnRow& row, UINT* out);
std::size_t encodeIndex(const Ipv6UdpRow& row, UINT* out);

// Puts the rows in index order and keeps one row per index.
void sortByIndex(std::vector<TcpConnectionRow>& rows);
void sortByIndex(std::vector<TcpListenerRow>& rows);
void sortByIndex(std::vector<UdpEndpointRow>& rows);
void sortByIndex(std::vector<SwRunRow>& rows);
void sortByIndex(std::vector<Ipv6TcpConnRow>& rows);
void sortByIndex(std::vector<Ipv6UdpRow>& rows);
