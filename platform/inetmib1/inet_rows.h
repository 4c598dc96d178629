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

struct TcpConnectionRow
{
    InetEndpoint local;
    InetEndpoint remote;
    std::int32_t state; // tcpConnState numbers
    std::uint32_t process; // 0 when unknown
};

struct TcpListenerRow
{
    InetEndpoint local;
    std::uint32_t process;
};

struct UdpEndpointRow
{
    InetEndpoint local;
    InetEndpoint remote;
    std::uint32_t instance; // the socket's inode, as net-snmp's agent numbers them
    std::uint32_t process;
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
};

// Index lengths at most: type, length, 16 octets and port per endpoint; instance; pid.
inline constexpr std::size_t inetEndpointIndexLength = 19;
inline constexpr std::size_t tcpConnectionIndexLength = 2 * inetEndpointIndexLength;
inline constexpr std::size_t tcpListenerIndexLength = inetEndpointIndexLength;
inline constexpr std::size_t udpEndpointIndexLength = 2 * inetEndpointIndexLength + 1;
inline constexpr std::size_t swRunIndexLength = 1;

// Write the index and return its length.
std::size_t encodeIndex(const TcpConnectionRow& row, UINT* out);
std::size_t encodeIndex(const TcpListenerRow& row, UINT* out);
std::size_t encodeIndex(const UdpEndpointRow& row, UINT* out);
std::size_t encodeIndex(const SwRunRow& row, UINT* out);

// Puts the rows in index order and keeps one row per index.
void sortByIndex(std::vector<TcpConnectionRow>& rows);
void sortByIndex(std::vector<TcpListenerRow>& rows);
void sortByIndex(std::vector<UdpEndpointRow>& rows);
void sortByIndex(std::vector<SwRunRow>& rows);
