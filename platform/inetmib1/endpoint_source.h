#pragma once
// Where the agent takes its tables from: the kernel in the module, fixed rows in tests.

#include "platform/inetmib1/inet_rows.h"
#include "platform/inetmib1/kernel_counters.h"
#include "platform/inetmib1/mib_rows.h"
#include "platform/inetmib1/tcp_stats_rows.h"

#include <cerrno>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

class EndpointSource
{
public:
    virtual ~EndpointSource() = default;
    // Replaces rows with the current TCP connections and listeners, in any order; false on failure.
    virtual bool readTcp(std::vector<TcpConnRow>& rows) = 0;
    // Replaces rows with the current UDP endpoints, in any order; false on failure.
    virtual bool readUdp(std::vector<UdpRow>& rows) = 0;
    // tcpInErrs: segments received in error since boot, if readable.
    virtual std::optional<std::uint32_t> tcpInErrors() = 0;

    // The same for the tables of both families that name the owning process. The rows may
    // come without their process, to be found by findOwners when it is asked for.
    virtual bool readTcpConnections(std::vector<TcpConnectionRow>& rows) = 0;
    virtual bool readTcpListeners(std::vector<TcpListenerRow>& rows) = 0;
    virtual bool readUdpEndpoints(std::vector<UdpEndpointRow>& rows) = 0;
    // ipv6TcpConnTable's rows; a source without them has none.
    virtual bool readIpv6TcpConnections(std::vector<Ipv6TcpConnRow>& rows)
    {
        rows.clear();
        return true;
    }
    // ipv6UdpTable's rows; a source without them has none.
    virtual bool readIpv6Udp(std::vector<Ipv6UdpRow>& rows)
    {
        rows.clear();
        return true;
    }
    // tcpEStatsConnectIdTable's connections: those of tcpConnectionTable with a cookie.
    virtual bool readConnectIds(std::vector<TcpConnectionRow>& rows) { return readTcpConnections(rows); }
    // Every connection's statistics by cookie (connectIndex left 0); a source without them has none.
    virtual bool readTcpStats(std::vector<TcpStatsRow>& rows)
    {
        rows.clear();
        return true;
    }
    // tcpHCInSegs and tcpHCOutSegs: segments received and sent, both families.
    virtual std::optional<TcpSegments> tcpSegments() { return TcpSegments {}; }
    // Sets owners[i] to the process holding sockets[i], 0 when none is found (never an
    // error). A source whose rows come with their process leaves owners as they are.
    virtual void findOwners(std::span<const SocketRef> /*sockets*/, std::span<std::uint32_t> /*owners*/) { }
    // udpHCInDatagrams and udpHCOutDatagrams: datagrams delivered and sent, both families.
    virtual std::optional<UdpDatagrams> udpDatagrams() { return UdpDatagrams {}; }
    // Closes the TCP connection between the two ends (either family; an IPv4 one may be held
    // by an IPv6 socket as mapped addresses): 0 when closed, else an errno value, as
    // SockDiagReader::destroyTcp. A source that cannot close connections says EOPNOTSUPP.
    virtual int closeTcp(const InetEndpoint& /*local*/, const InetEndpoint& /*remote*/) { return EOPNOTSUPP; }
    // Sends SIGTERM to the process pid if it is still the one that started at startTime (a
    // reused pid is refused): 0 when sent, else an errno value: ESTALE for another process
    // under the pid, ESRCH when none runs, EPERM without the right. Default: EOPNOTSUPP.
    virtual int stopProcess(std::uint32_t /*pid*/, std::uint64_t /*startTime*/) { return EOPNOTSUPP; }
    // A scan is done: reads kept for the tables that follow go, and the next tables read afresh.
    virtual void endScan() { }
    // The processes among pids that still run; false only when none could be looked at.
    virtual bool readSwRun(std::span<const std::uint32_t> pids, std::vector<SwRunRow>& rows) = 0;
};
