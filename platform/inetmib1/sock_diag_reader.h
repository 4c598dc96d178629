#pragma once
// Reads the kernel's TCP and UDP socket tables over netlink sock_diag, the fastest
// source Linux offers: as IPv4 MIB rows, or every socket of both families.

#include "platform/inetmib1/mib_rows.h"
#include "platform/inetmib1/tcp_stats_rows.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

// One socket as the kernel reports it, either family.
struct KernelSocket
{
    std::uint8_t family; // AF_INET or AF_INET6
    std::uint8_t state; // the kernel's TCP state number (UDP: 1 connected, 7 not)
    bool v6Only; // IPv6 sockets only: refuses IPv4 traffic
    std::uint16_t localPort; // host byte order
    std::uint16_t remotePort;
    std::array<std::uint8_t, 16> localAddress {}; // network byte order, 4 or 16 octets used
    std::array<std::uint8_t, 16> remoteAddress {};
    std::uint32_t inode; // 0 when no process holds it (TIME_WAIT, not yet accepted)
    std::uint32_t uid;
    std::uint64_t cookie; // the kernel's name for the socket, unique since boot
};

class SockDiagReader
{
public:
    // singlePassTcp: read TCP of both families in one pass where the kernel offers it.
    explicit SockDiagReader(bool singlePassTcp = true)
        : m_bothFamiliesAtOnce(singlePassTcp)
    {
    }
    ~SockDiagReader();
    SockDiagReader(const SockDiagReader&) = delete;
    SockDiagReader& operator=(const SockDiagReader&) = delete;

    // Opens the netlink socket, again only when the calling thread moved to another network
    // namespace. False when sock_diag is unavailable.
    bool open();

    struct NamespaceId
    {
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        bool operator==(const NamespaceId&) const = default;
    };

    // IPv4 sockets and the IPv4 traffic of dual-stack IPv6 sockets, unsorted. False on failure.
    bool readTcp(std::vector<TcpConnRow>& rows);
    bool readUdp(std::vector<UdpRow>& rows);
    // Every TCP (IPPROTO_TCP) or UDP socket of both families in one of the states (a mask
    // of 1 << the kernel's state number), unsorted. False on failure. With counters, also
    // each socket's tcp_info, counters[i] for sockets[i] (zero where the kernel gives none).
    bool readSockets(int protocol, std::vector<KernelSocket>& sockets, std::uint32_t states = ~0u,
        std::vector<TcpCounters>* counters = nullptr);

    // Closes the TCP connection of family between the two ends (network-order octets, 4 or
    // 16 used, ports in host order) with SOCK_DESTROY: its owner sees it aborted, the peer a
    // reset. 0 on success, else the kernel's errno: EPERM without CAP_NET_ADMIN, EOPNOTSUPP
    // without the kernel's support, ENOENT when there is no such connection.
    int destroyTcp(int family, const std::array<std::uint8_t, 16>& local, std::uint16_t localPort,
        const std::array<std::uint8_t, 16>& remote, std::uint16_t remotePort);

private:
    struct Request
    {
        int family;
        int protocol;
        bool bothFamilies = false; // TCP of both families in one pass
        std::uint32_t states = ~(1u << 13); // all but merely bound TCP sockets
        bool withInfo = false; // INET_DIAG_INFO: tcp_info for each socket
    };
    template <typename OnSocket> bool dump(const Request& what, OnSocket&& onSocket);
    // 0 when the dump completed, else an errno value.
    template <typename OnSocket> int dumpOnce(const Request& what, OnSocket& onSocket, bool& interrupted);

    int m_fd = -1;
    int m_lastError = 0;
    bool m_bothFamiliesAtOnce;
    NamespaceId m_namespace;
    std::uint32_t m_sequence = 0;
    std::vector<std::byte> m_buffer;
};
