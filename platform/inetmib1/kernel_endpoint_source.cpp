#include "platform/inetmib1/kernel_endpoint_source.h"

#include "platform/inetmib1/kernel_counters.h"
#include "platform/inetmib1/sw_run_reader.h"

#include <algorithm>
#include <csignal>
#include <cstring>
#include <netinet/in.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr std::uint8_t tcpListen = 10; // the kernel's TCP_LISTEN
constexpr std::uint8_t tcpTimeWait = 6;
constexpr std::uint8_t tcpNewSynReceived = 12; // a request, not yet a socket of its own
// How long a kernel read may serve the other tables: one scan's walks follow each other
// within it (those of 100,000 sockets and their owners take about a second), and the
// next scan comes later or says it begins (endScan).
constexpr auto sharedReadLifetime = std::chrono::seconds(2);

bool isAny(const std::array<std::uint8_t, 16>& address)
{
    for (const std::uint8_t octet : address) {
        if (octet != 0)
            return false;
    }
    return true;
}

// A wildcard IPv6 socket that also takes IPv4: RFC 4022 and RFC 4113 give it the unknown
// type and the zero-length address. net-snmp's agent shows it as "::" like an IPv6-only
// one; we keep them apart, as the scan must show the one as 0.0.0.0 and the other as ::.
bool isDualStackWildcard(const KernelSocket& socket)
{
    return socket.family == AF_INET6 && !socket.v6Only && isAny(socket.localAddress)
        && isAny(socket.remoteAddress);
}

// IPv4-mapped addresses (::ffff:a.b.c.d) stay IPv6 addresses of 16 octets, as net-snmp's
// agent reports them: the table tells what the kernel holds, the scan folds them into IPv4.
InetEndpoint endpoint(
    const KernelSocket& socket, const std::array<std::uint8_t, 16>& address, std::uint16_t port)
{
    InetEndpoint result;
    result.port = port;
    if (isDualStackWildcard(socket))
        return result; // unknown, zero-length
    result.type = socket.family == AF_INET ? InetAddressType::Ipv4 : InetAddressType::Ipv6;
    std::copy_n(address.begin(), result.addressLength(), result.address.begin());
    return result;
}

bool isMapped(const std::array<std::uint8_t, 16>& address)
{
    static constexpr std::uint8_t prefix[12] { 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff };
    return std::equal(std::begin(prefix), std::end(prefix), address.begin());
}

std::uint32_t ipv4At(const std::array<std::uint8_t, 16>& address, std::size_t offset)
{
    std::uint32_t networkOrder;
    std::memcpy(&networkOrder, address.data() + offset, 4);
    return networkOrder;
}

// The IPv4 view of a socket: IPv4 sockets as they are; of IPv6 sockets only the ones that
// carry IPv4 (mapped addresses, or the dual-stack wildcard). False for pure IPv6.
bool ipv4View(const KernelSocket& socket, std::uint32_t& local, std::uint32_t& remote)
{
    if (socket.family == AF_INET) {
        local = ipv4At(socket.localAddress, 0);
        remote = ipv4At(socket.remoteAddress, 0);
        return true;
    }
    if (isMapped(socket.localAddress)) {
        local = ipv4At(socket.localAddress, 12);
        remote = isMapped(socket.remoteAddress) ? ipv4At(socket.remoteAddress, 12) : 0;
        return true;
    }
    if (isDualStackWildcard(socket)) {
        local = remote = 0;
        return true;
    }
    return false;
}

// The kernel keeps statistics only for full sockets: not for the small ones that stand
// for TIME_WAIT and for requests.
std::uint64_t statisticsCookie(const KernelSocket& socket)
{
    return socket.state == tcpTimeWait || socket.state == tcpNewSynReceived ? 0 : socket.cookie;
}

std::optional<TcpConnectionRow> connectionRow(const KernelSocket& socket)
{
    if (socket.state == tcpListen)
        return std::nullopt;
    return TcpConnectionRow { endpoint(socket, socket.localAddress, socket.localPort),
        endpoint(socket, socket.remoteAddress, socket.remotePort),
        static_cast<std::int32_t>(mibTcpState(socket.state)), 0, { socket.inode, socket.uid },
        statisticsCookie(socket) };
}

// Refills rows from a kernel read, add(socket) giving the socket's row if it has one;
// false when there is no read.
template <typename Row, typename Add>
bool fillRows(const std::vector<KernelSocket>* read, std::vector<Row>& rows, Add add)
{
    rows.clear();
    if (!read)
        return false;
    rows.reserve(read->size());
    for (const KernelSocket& socket : *read) {
        if (const std::optional<Row> row = add(socket))
            rows.push_back(*row);
    }
    return true;
}

} // namespace

const std::vector<KernelSocket>* KernelEndpointSource::sharedRead(int protocol, Table table)
{
    SharedRead& shared = protocol == IPPROTO_TCP ? m_tcp : m_udp;
    if (!shared.valid || (shared.takenBy & table)
        || std::chrono::steady_clock::now() - shared.at > sharedReadLifetime)
        return nullptr;
    shared.takenBy |= table;
    return &shared.sockets;
}

const std::vector<KernelSocket>* KernelEndpointSource::newSharedRead(
    int protocol, unsigned takenBy, bool withInfo)
{
    SharedRead& shared = protocol == IPPROTO_TCP ? m_tcp : m_udp;
    shared.valid = false;
    m_ownersFound = false;
    shared.withInfo = protocol == IPPROTO_TCP && withInfo;
    if (!shared.withInfo)
        std::vector<TcpCounters>().swap(shared.counters);
    if (!m_reader.readSockets(protocol, shared.sockets, ~0u, shared.withInfo ? &shared.counters : nullptr))
        return nullptr;
    shared.at = std::chrono::steady_clock::now();
    shared.takenBy = takenBy;
    shared.valid = true;
    return &shared.sockets;
}

void KernelEndpointSource::releaseIfServed(int protocol)
{
    SharedRead& shared = protocol == IPPROTO_TCP ? m_tcp : m_udp;
    const unsigned taken = shared.takenBy;
    const bool served = protocol == IPPROTO_TCP
        ? (taken & Ipv4Table)
            && ((taken & Ipv6Table)
                || (taken & (EndpointTable | ListenerTable)) == (EndpointTable | ListenerTable))
        : (taken & (Ipv4Table | EndpointTable)) == (Ipv4Table | EndpointTable);
    // A read with counters, made for the statistics tables, serves them and the others: a
    // scan that reads traffic walks the statistics first, so one read serves every table.
    const bool statsServed
        = !shared.withInfo || (taken & (ConnectIdTable | StatsTable)) == (ConnectIdTable | StatsTable);
    if (!shared.valid || !served || !statsServed)
        return;
    std::vector<KernelSocket>().swap(shared.sockets);
    std::vector<TcpCounters>().swap(shared.counters);
    shared.valid = false;
}

template <typename Row, typename Add>
bool KernelEndpointSource::fill(int protocol, Table table, std::vector<Row>& rows, Add add)
{
    const bool filled = fillRows(sockets(protocol, table), rows, add);
    releaseIfServed(protocol);
    return filled;
}

const std::vector<KernelSocket>* KernelEndpointSource::sockets(int protocol, Table table)
{
    if (const std::vector<KernelSocket>* read = sharedRead(protocol, table))
        return read;
    return newSharedRead(protocol, table);
}

int KernelEndpointSource::closeTcp(const InetEndpoint& local, const InetEndpoint& remote)
{
    if (local.type != remote.type || local.type == InetAddressType::Unknown)
        return ENOENT;
    if (local.type == InetAddressType::Ipv6)
        return m_reader.destroyTcp(AF_INET6, local.address, local.port, remote.address, remote.port);
    const int error = m_reader.destroyTcp(AF_INET, local.address, local.port, remote.address, remote.port);
    if (error != ENOENT)
        return error;
    // Not an IPv4 socket: perhaps an IPv6 one that carries IPv4.
    std::array<std::uint8_t, 16> mappedLocal {}, mappedRemote {};
    mappedLocal[10] = mappedLocal[11] = mappedRemote[10] = mappedRemote[11] = 0xff;
    std::copy_n(local.address.begin(), 4, mappedLocal.begin() + 12);
    std::copy_n(remote.address.begin(), 4, mappedRemote.begin() + 12);
    return m_reader.destroyTcp(AF_INET6, mappedLocal, local.port, mappedRemote, remote.port);
}

int KernelEndpointSource::stopProcess(std::uint32_t pid, std::uint64_t startTime)
{
    // The pidfd holds the process it was opened for: a start time read after it is that
    // process's, or another's when the pid was reused before it was opened.
    const int fd = static_cast<int>(syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0));
    if (fd < 0)
        return errno;
    SwRunRow now;
    int error = 0;
    if (!::readSwRun("/proc", pid, now))
        error = ESRCH;
    else if (now.startTime != startTime)
        error = ESTALE;
    else if (syscall(SYS_pidfd_send_signal, fd, SIGTERM, nullptr, 0) != 0)
        error = errno;
    close(fd);
    return error;
}

void KernelEndpointSource::endScan()
{
    for (SharedRead* shared : { &m_tcp, &m_udp }) {
        std::vector<KernelSocket>().swap(shared->sockets);
        std::vector<TcpCounters>().swap(shared->counters);
        shared->valid = false;
    }
    m_ownersFound = false;
}

void KernelEndpointSource::prefetch()
{
    std::vector<SocketRef> sockets;
    for (const int protocol : { IPPROTO_TCP, IPPROTO_UDP }) {
        // Taken by no table yet: each takes it once.
        if (const std::vector<KernelSocket>* read = newSharedRead(protocol, 0)) {
            for (const KernelSocket& socket : *read)
                sockets.push_back({ socket.inode, socket.uid });
        }
    }
    m_owners.refresh(sockets);
    m_ownersFound = true;
}

bool KernelEndpointSource::readTcp(std::vector<TcpConnRow>& rows)
{
    return fill(IPPROTO_TCP, Ipv4Table, rows, [](const KernelSocket& socket) {
        std::uint32_t local, remote;
        return ipv4View(socket, local, remote) ? std::optional<TcpConnRow>({ local, remote, socket.localPort,
                   socket.remotePort, static_cast<std::int32_t>(mibTcpState(socket.state)) })
                                               : std::nullopt;
    });
}

bool KernelEndpointSource::readUdp(std::vector<UdpRow>& rows)
{
    return fill(IPPROTO_UDP, Ipv4Table, rows, [](const KernelSocket& socket) {
        std::uint32_t local, remote;
        return ipv4View(socket, local, remote) ? std::optional<UdpRow>({ local, socket.localPort })
                                               : std::nullopt;
    });
}

std::optional<std::uint32_t> KernelEndpointSource::tcpInErrors()
{
    return readTcpInErrors();
}

std::optional<TcpSegments> KernelEndpointSource::tcpSegments()
{
    return readTcpSegments();
}

std::optional<UdpDatagrams> KernelEndpointSource::udpDatagrams()
{
    return readUdpDatagrams();
}

void KernelEndpointSource::findOwners(std::span<const SocketRef> sockets, std::span<std::uint32_t> owners)
{
    // The first table that asks has the owners of every socket of both protocols found in
    // one pass over the processes: the other tables' sockets would send later searches
    // through the same processes again. A protocol without a fresh read is read for that
    // alone; its tables read it again, so each still sees the kernel as it is then.
    if (!m_ownersFound) {
        std::vector<SocketRef> all(sockets.begin(), sockets.end());
        for (const int protocol : { IPPROTO_TCP, IPPROTO_UDP }) {
            const SharedRead& shared = protocol == IPPROTO_TCP ? m_tcp : m_udp;
            const bool fresh
                = shared.valid && std::chrono::steady_clock::now() - shared.at <= sharedReadLifetime;
            if (fresh || newSharedRead(protocol, Ipv4Table | EndpointTable | ListenerTable | Ipv6Table)) {
                for (const KernelSocket& socket : shared.sockets)
                    all.push_back({ socket.inode, socket.uid });
            }
        }
        m_owners.refresh(all);
        m_ownersFound = true;
        for (const int protocol : { IPPROTO_TCP, IPPROTO_UDP })
            releaseIfServed(protocol); // a read made for the owners alone
    } else {
        m_owners.refresh(sockets); // only a socket read on its own since is sought
    }
    for (std::size_t i = 0; i < sockets.size() && i < owners.size(); ++i)
        owners[i] = m_owners.owner(sockets[i].inode);
}

bool KernelEndpointSource::readTcpConnections(std::vector<TcpConnectionRow>& rows)
{
    return fill(
        IPPROTO_TCP, EndpointTable, rows, [](const KernelSocket& socket) { return connectionRow(socket); });
}

bool KernelEndpointSource::readConnectIds(std::vector<TcpConnectionRow>& rows)
{
    return fill(IPPROTO_TCP, ConnectIdTable, rows, [](const KernelSocket& socket) {
        std::optional<TcpConnectionRow> row = connectionRow(socket);
        return row && row->cookie != 0 ? row : std::nullopt;
    });
}

bool KernelEndpointSource::readTcpStats(std::vector<TcpStatsRow>& rows)
{
    rows.clear();
    const std::vector<KernelSocket>* read = m_tcp.withInfo ? sharedRead(IPPROTO_TCP, StatsTable) : nullptr;
    if (!read)
        read = newSharedRead(IPPROTO_TCP, StatsTable, true);
    if (!read)
        return false;
    for (std::size_t i = 0; i < read->size(); ++i) {
        const KernelSocket& socket = (*read)[i];
        if (socket.state != tcpListen && statisticsCookie(socket) != 0)
            rows.push_back({ 0, socket.cookie, 0, m_tcp.counters[i] });
    }
    releaseIfServed(IPPROTO_TCP);
    return true;
}

bool KernelEndpointSource::readIpv6TcpConnections(std::vector<Ipv6TcpConnRow>& rows)
{
    return fill(IPPROTO_TCP, Ipv6Table, rows, [](const KernelSocket& socket) {
        // A wildcard socket that also takes IPv4 has no IPv6 address of its own to be
        // indexed by: tcpConnTable lists it as 0.0.0.0, as tcpConnectionTable gives it the
        // unknown type. The kernel's sockets carry no interface here: ifIndex is 0.
        if (socket.family != AF_INET6 || isDualStackWildcard(socket))
            return std::optional<Ipv6TcpConnRow>();
        return std::optional<Ipv6TcpConnRow>({ socket.localAddress, socket.localPort, socket.remoteAddress,
            socket.remotePort, 0, static_cast<std::int32_t>(mibTcpState(socket.state)) });
    });
}

bool KernelEndpointSource::readIpv6Udp(std::vector<Ipv6UdpRow>& rows)
{
    return fill(IPPROTO_UDP, Ipv6Table, rows, [](const KernelSocket& socket) {
        // As in ipv6TcpConnTable: a wildcard socket that also takes IPv4 is udpTable's 0.0.0.0.
        if (socket.family != AF_INET6 || isDualStackWildcard(socket))
            return std::optional<Ipv6UdpRow>();
        return std::optional<Ipv6UdpRow>({ socket.localAddress, socket.localPort, 0 });
    });
}

bool KernelEndpointSource::readTcpListeners(std::vector<TcpListenerRow>& rows)
{
    // A shared read when there is one; else only the listening sockets, so the kernel
    // passes over the connections entirely.
    const std::vector<KernelSocket>* read = sharedRead(IPPROTO_TCP, ListenerTable);
    std::vector<KernelSocket> listeners;
    if (!read && m_reader.readSockets(IPPROTO_TCP, listeners, 1u << tcpListen))
        read = &listeners;
    const bool filled = fillRows(read, rows, [](const KernelSocket& socket) {
        if (socket.state != tcpListen)
            return std::optional<TcpListenerRow>();
        return std::optional<TcpListenerRow>(
            { endpoint(socket, socket.localAddress, socket.localPort), 0, { socket.inode, socket.uid } });
    });
    releaseIfServed(IPPROTO_TCP);
    return filled;
}

bool KernelEndpointSource::readUdpEndpoints(std::vector<UdpEndpointRow>& rows)
{
    return fill(IPPROTO_UDP, EndpointTable, rows, [](const KernelSocket& socket) {
        // Not connected: the remote end is the zero address of the local family, port 0,
        // as net-snmp's agent shows it (of the unknown family for a dual-stack wildcard).
        return std::optional<UdpEndpointRow>({ endpoint(socket, socket.localAddress, socket.localPort),
            endpoint(socket, socket.remoteAddress, socket.remotePort), socket.inode, 0,
            { socket.inode, socket.uid } });
    });
}

bool KernelEndpointSource::readSwRun(std::span<const std::uint32_t> pids, std::vector<SwRunRow>& rows)
{
    rows.clear();
    SwRunRow row;
    for (const std::uint32_t pid : pids) {
        if (::readSwRun("/proc", pid, row))
            rows.push_back(row);
    }
    return true;
}
