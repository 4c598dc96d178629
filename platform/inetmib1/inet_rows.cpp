#include "platform/inetmib1/inet_rows.h"

#include "platform/inetmib1/mib_rows.h"
#include "platform/inetmib1/tcp_stats_rows.h"

#include <algorithm>
#include <cstring>
#include <tuple>

namespace {

std::size_t encodeEndpoint(const InetEndpoint& endpoint, UINT* out)
{
    const std::size_t length = endpoint.addressLength();
    out[0] = static_cast<UINT>(endpoint.type);
    out[1] = static_cast<UINT>(length);
    for (std::size_t i = 0; i < length; ++i)
        out[2 + i] = endpoint.address[i];
    out[2 + length] = endpoint.port;
    return 3 + length;
}

// Same order as the encoded index: the type decides the length, and the octets past the
// length are zero on both sides.
int compareEndpoints(const InetEndpoint& a, const InetEndpoint& b)
{
    if (a.type != b.type)
        return a.type < b.type ? -1 : 1;
    if (const int octets = std::memcmp(a.address.data(), b.address.data(), a.address.size()))
        return octets;
    if (a.port != b.port)
        return a.port < b.port ? -1 : 1;
    return 0;
}

int compareIndexes(const TcpConnectionRow& a, const TcpConnectionRow& b)
{
    if (const int local = compareEndpoints(a.local, b.local))
        return local;
    return compareEndpoints(a.remote, b.remote);
}

int compareIndexes(const TcpListenerRow& a, const TcpListenerRow& b)
{
    return compareEndpoints(a.local, b.local);
}

int compareIndexes(const UdpEndpointRow& a, const UdpEndpointRow& b)
{
    if (const int local = compareEndpoints(a.local, b.local))
        return local;
    if (const int remote = compareEndpoints(a.remote, b.remote))
        return remote;
    return a.instance == b.instance ? 0 : a.instance < b.instance ? -1 : 1;
}

int compareIndexes(const ConnectIdRow& a, const ConnectIdRow& b)
{
    return compareIndexes(a.connection, b.connection);
}

int compareIndexes(const SwRunRow& a, const SwRunRow& b)
{
    return a.pid == b.pid ? 0 : a.pid < b.pid ? -1 : 1;
}

int compareIndexes(const Ipv6TcpConnRow& a, const Ipv6TcpConnRow& b)
{
    // Fixed-length octets, so the bytes in memory order as the encoded index does.
    const auto key = [](const Ipv6TcpConnRow& row) {
        return std::tie(row.localAddress, row.localPort, row.remoteAddress, row.remotePort, row.ifIndex);
    };
    return key(a) < key(b) ? -1 : key(b) < key(a) ? 1 : 0;
}

int compareIndexes(const Ipv6UdpRow& a, const Ipv6UdpRow& b)
{
    const auto key
        = [](const Ipv6UdpRow& row) { return std::tie(row.localAddress, row.localPort, row.ifIndex); };
    return key(a) < key(b) ? -1 : key(b) < key(a) ? 1 : 0;
}

// Among rows sharing an index (SO_REUSEPORT twins, a TIME_WAIT beside its successor) the
// preferred one comes first; preference breaks ties so the choice does not depend on the
// kernel's order.
template <typename Row, typename Prefer> void sortAndKeepFirst(std::vector<Row>& rows, Prefer prefer)
{
    std::sort(rows.begin(), rows.end(), [&prefer](const Row& a, const Row& b) {
        const int order = compareIndexes(a, b);
        return order != 0 ? order < 0 : prefer(a, b);
    });
    const auto last = std::unique(
        rows.begin(), rows.end(), [](const Row& a, const Row& b) { return compareIndexes(a, b) == 0; });
    rows.erase(last, rows.end());
}

// A known process before an unknown one, then the lower process id.
bool preferProcess(std::uint32_t a, std::uint32_t b)
{
    return (a - 1) < (b - 1); // 0 wraps to the largest value
}

} // namespace

std::size_t encodeIndex(const TcpConnectionRow& row, UINT* out)
{
    const std::size_t local = encodeEndpoint(row.local, out);
    return local + encodeEndpoint(row.remote, out + local);
}

std::size_t encodeIndex(const TcpListenerRow& row, UINT* out)
{
    return encodeEndpoint(row.local, out);
}

std::size_t encodeIndex(const UdpEndpointRow& row, UINT* out)
{
    std::size_t length = encodeEndpoint(row.local, out);
    length += encodeEndpoint(row.remote, out + length);
    out[length] = row.instance;
    return length + 1;
}

std::size_t encodeIndex(const SwRunRow& row, UINT* out)
{
    out[0] = row.pid;
    return 1;
}

std::size_t encodeIndex(const Ipv6TcpConnRow& row, UINT* out)
{
    std::size_t length = 0;
    const auto address = [&](const std::array<std::uint8_t, 16>& octets) {
        for (const std::uint8_t octet : octets)
            out[length++] = octet;
    };
    address(row.localAddress);
    out[length++] = row.localPort;
    address(row.remoteAddress);
    out[length++] = row.remotePort;
    out[length++] = row.ifIndex;
    return length;
}

std::size_t encodeIndex(const Ipv6UdpRow& row, UINT* out)
{
    std::size_t length = 0;
    for (const std::uint8_t octet : row.localAddress)
        out[length++] = octet;
    out[length++] = row.localPort;
    out[length++] = row.ifIndex;
    return length;
}

void sortByIndex(std::vector<Ipv6UdpRow>& rows)
{
    sortAndKeepFirst(rows, [](const Ipv6UdpRow&, const Ipv6UdpRow&) { return false; });
}

void sortByIndex(std::vector<Ipv6TcpConnRow>& rows)
{
    sortAndKeepFirst(rows, [](const Ipv6TcpConnRow& a, const Ipv6TcpConnRow& b) {
        return tcpStateRank(a.state) < tcpStateRank(b.state);
    });
}

void sortByIndex(std::vector<TcpConnectionRow>& rows)
{
    sortAndKeepFirst(rows, [](const TcpConnectionRow& a, const TcpConnectionRow& b) {
        const int rankA = tcpStateRank(a.state);
        const int rankB = tcpStateRank(b.state);
        return rankA != rankB ? rankA < rankB : preferProcess(a.process, b.process);
    });
}

void sortByIndex(std::vector<TcpListenerRow>& rows)
{
    sortAndKeepFirst(rows,
        [](const TcpListenerRow& a, const TcpListenerRow& b) { return preferProcess(a.process, b.process); });
}

void sortByIndex(std::vector<UdpEndpointRow>& rows)
{
    sortAndKeepFirst(rows,
        [](const UdpEndpointRow& a, const UdpEndpointRow& b) { return preferProcess(a.process, b.process); });
}

void sortByIndex(std::vector<SwRunRow>& rows)
{
    sortAndKeepFirst(rows, [](const SwRunRow&, const SwRunRow&) { return false; });
}

std::size_t encodeIndex(const ConnectIdRow& row, UINT* out)
{
    return encodeIndex(row.connection, out);
}

void sortByIndex(std::vector<ConnectIdRow>& rows)
{
    sortAndKeepFirst(rows, [](const ConnectIdRow& a, const ConnectIdRow& b) {
        return a.connectIndex < b.connectIndex; // twins: the older connection
    });
}
