#include "platform/inetmib1/kernel_endpoint_source.h"

#include "platform/inetmib1/sw_run_reader.h"
#include "platform/inetmib1/kernel_counters.h"

#include <algorithm>
#include <netinet/in.h>

namespace {

constexpr std::uint8_t tcpListen = 10; // the kernel's TCP_LISTEN

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

} // namespace

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

bool KernelEndpointSource::readSockets(int protocol, std::uint32_t states)
{
    return m_reader.readSockets(protocol, m_sockets, states);
}

void KernelEndpointSource::findOwners(std::span<const SocketRef> sockets, std::span<std::uint32_t> owners)
{
    m_owners.refresh(sockets);
    for (std::size_t i = 0; i < sockets.size() && i < owners.size(); ++i)
        owners[i] = m_owners.owner(sockets[i].inode);
}

bool KernelEndpointSource::readTcpConnections(std::vector<TcpConnectionRow>& rows)
{
    rows.clear();
    if (!readSockets(IPPROTO_TCP, ~(1u << tcpListen)))
        return false;
    for (const KernelSocket& socket : m_sockets) {
        if (socket.state == tcpListen)
            continue;
        rows.push_back({ endpoint(socket, socket.localAddress, socket.localPort),
            endpoint(socket, socket.remoteAddress, socket.remotePort),
            static_cast<std::int32_t>(mibTcpState(socket.state)), 0, { socket.inode, socket.uid } });
    }
    return true;
}

bool KernelEndpointSource::readIpv6TcpConnections(std::vector<Ipv6TcpConnRow>& rows)
{
    rows.clear();
    if (!readSockets(IPPROTO_TCP))
        return false;
    for (const KernelSocket& socket : m_sockets) {
        if (socket.family != AF_INET6)
            continue;
        // The kernel's sockets carry no interface here: every row has ifIndex 0.
        rows.push_back({ socket.localAddress, socket.localPort, socket.remoteAddress, socket.remotePort, 0,
            static_cast<std::int32_t>(mibTcpState(socket.state)) });
    }
    return true;
}

bool KernelEndpointSource::readTcpListeners(std::vector<TcpListenerRow>& rows)
{
    rows.clear();
    // Only the listening sockets: the kernel then passes over the connections entirely.
    if (!readSockets(IPPROTO_TCP, 1u << tcpListen))
        return false;
    for (const KernelSocket& socket : m_sockets) {
        if (socket.state == tcpListen)
            rows.push_back(
                { endpoint(socket, socket.localAddress, socket.localPort), 0, { socket.inode, socket.uid } });
    }
    return true;
}

bool KernelEndpointSource::readUdpEndpoints(std::vector<UdpEndpointRow>& rows)
{
    rows.clear();
    if (!readSockets(IPPROTO_UDP))
        return false;
    for (const KernelSocket& socket : m_sockets) {
        // Not connected: the remote end is the zero address of the local family, port 0,
        // as net-snmp's agent shows it (of the unknown family for a dual-stack wildcard).
        rows.push_back({ endpoint(socket, socket.localAddress, socket.localPort),
            endpoint(socket, socket.remoteAddress, socket.remotePort), socket.inode, 0,
            { socket.inode, socket.uid } });
    }
    return true;
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
