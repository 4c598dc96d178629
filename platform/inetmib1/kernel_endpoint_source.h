#pragma once
// The live tables of the calling process's network namespace.

#include "platform/inetmib1/endpoint_source.h"
#include "platform/inetmib1/sock_diag_reader.h"
#include "platform/inetmib1/socket_owners.h"

#include <chrono>

class KernelEndpointSource final : public EndpointSource
{
public:
    // False when the kernel's socket tables cannot be read at all.
    bool open() { return m_reader.open(); }

    bool readTcp(std::vector<TcpConnRow>& rows) override;
    bool readUdp(std::vector<UdpRow>& rows) override;
    std::optional<std::uint32_t> tcpInErrors() override;

    bool readTcpConnections(std::vector<TcpConnectionRow>& rows) override;
    bool readConnectIds(std::vector<TcpConnectionRow>& rows) override;
    bool readTcpStats(std::vector<TcpStatsRow>& rows) override;
    bool readTcpListeners(std::vector<TcpListenerRow>& rows) override;
    bool readUdpEndpoints(std::vector<UdpEndpointRow>& rows) override;
    bool readIpv6TcpConnections(std::vector<Ipv6TcpConnRow>& rows) override;
    bool readIpv6Udp(std::vector<Ipv6UdpRow>& rows) override;
    std::optional<TcpSegments> tcpSegments() override;
    void findOwners(std::span<const SocketRef> sockets, std::span<std::uint32_t> owners) override;
    std::optional<UdpDatagrams> udpDatagrams() override;
    bool readSwRun(std::span<const std::uint32_t> pids, std::vector<SwRunRow>& rows) override;
    void endScan() override;
    int closeTcp(const InetEndpoint& local, const InetEndpoint& remote) override;
    int stopProcess(std::uint32_t pid, std::uint64_t startTime) override;

    // Reads every socket of both protocols now, as the next walks of every table will take
    // that read while it is fresh, and finds their owners, which are kept for those walks.
    void prefetch();

private:
    // The tables of a protocol that one kernel read may serve, as bits.
    enum Table : unsigned
    {
        Ipv4Table = 1, // tcpConnTable, udpTable
        EndpointTable = 2, // tcpConnectionTable, udpEndpointTable
        ListenerTable = 4,
        Ipv6Table = 8, // ipv6TcpConnTable, ipv6UdpTable
        ConnectIdTable = 16, // tcpEStatsConnectIdTable
        StatsTable = 32, // tcpEStatsPerfTable (tcpEStatsAppTable takes its rows)
    };
    // A read of every socket of a protocol, shared by the tables refreshed within a moment
    // of it (one scan walks them one after another): each table takes a read once, and
    // one older than a moment is not taken, so every walk still sees the kernel afresh.
    // It is the largest thing the module holds: it goes as soon as it has served a scan.
    struct SharedRead
    {
        std::vector<KernelSocket> sockets;
        std::vector<TcpCounters> counters; // sockets[i]'s, when read with them
        bool withInfo = false;
        std::chrono::steady_clock::time_point at {};
        unsigned takenBy = 0;
        bool valid = false;
    };
    // The shared read of protocol, when it may still serve table (taken for it then); else null.
    const std::vector<KernelSocket>* sharedRead(int protocol, Table table);
    // Reads every socket of protocol afresh as its shared read, already taken by the tables
    // in takenBy, with each TCP socket's counters when withInfo; null when the kernel cannot
    // be read.
    const std::vector<KernelSocket>* newSharedRead(int protocol, unsigned takenBy, bool withInfo = false);
    // The sockets of protocol for table: the shared read when it may serve it, else a new one.
    const std::vector<KernelSocket>* sockets(int protocol, Table table);
    // Refills rows from the sockets of protocol for table, add(socket) giving a socket's row
    // if it has one; false when the kernel cannot be read.
    template <typename Row, typename Add>
    bool fill(int protocol, Table table, std::vector<Row>& rows, Add add);
    // Frees the shared read of protocol once it has served the tables one scan reads it
    // for: tcpConnTable (udpTable) with the IPv6 table, or with the later tables that name
    // processes. A table that asks after that reads the kernel again.
    void releaseIfServed(int protocol);

    SockDiagReader m_reader;
    SocketOwners m_owners;
    SharedRead m_tcp;
    SharedRead m_udp;
    bool m_ownersFound = false; // the owners of the shared reads' sockets are known
};
