#include "platform/inetmib1/mib_rows.h"

#include <algorithm>
#include <arpa/inet.h>
#include <array>

MibTcpState mibTcpState(int linuxState)
{
    // Indexed by the kernel's numbering (include/net/tcp_states.h).
    static constexpr std::array<MibTcpState, 14> map = {
        MibTcpState::Closed, // 0: unused
        MibTcpState::Established, // 1 ESTABLISHED
        MibTcpState::SynSent, // 2 SYN_SENT
        MibTcpState::SynReceived, // 3 SYN_RECV
        MibTcpState::FinWait1, // 4 FIN_WAIT1
        MibTcpState::FinWait2, // 5 FIN_WAIT2
        MibTcpState::TimeWait, // 6 TIME_WAIT
        MibTcpState::Closed, // 7 CLOSE
        MibTcpState::CloseWait, // 8 CLOSE_WAIT
        MibTcpState::LastAck, // 9 LAST_ACK
        MibTcpState::Listen, // 10 LISTEN
        MibTcpState::Closing, // 11 CLOSING
        MibTcpState::SynReceived, // 12 NEW_SYN_RECV: a connection request not yet accepted
        MibTcpState::Closed, // 13 BOUND_INACTIVE
    };
    if (linuxState < 0 || static_cast<std::size_t>(linuxState) >= map.size())
        return MibTcpState::Closed;
    return map[static_cast<std::size_t>(linuxState)];
}

namespace {

void encodeAddress(std::uint32_t networkOrder, UINT* out)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(&networkOrder);
    for (int i = 0; i < 4; ++i)
        out[i] = bytes[i];
}

// The index as two integers that order exactly as the encoded identifiers do.
struct TcpKey
{
    std::uint64_t high;
    std::uint64_t low;
    auto operator<=>(const TcpKey&) const = default;
};

TcpKey tcpKey(const TcpConnRow& row)
{
    const std::uint64_t local = ntohl(row.localAddress);
    const std::uint64_t remote = ntohl(row.remoteAddress);
    return { (local << 32) | (std::uint64_t { row.localPort } << 16) | (remote >> 16),
        ((remote & 0xFFFF) << 16) | row.remotePort };
}

std::uint64_t udpKey(const UdpRow& row)
{
    return (std::uint64_t { ntohl(row.localAddress) } << 16) | row.localPort;
}

} // namespace

int tcpStateRank(std::int32_t state)
{
    switch (static_cast<MibTcpState>(state)) {
    case MibTcpState::Established:
        return 0;
    case MibTcpState::Listen:
        return 1;
    case MibTcpState::TimeWait:
        return 3;
    case MibTcpState::Closed:
        return 4;
    default:
        return 2;
    }
}

namespace {

void sortLargeTable(std::vector<TcpConnRow>& rows)
{
    std::sort(rows.begin(), rows.end(), [](const TcpConnRow& a, const TcpConnRow& b) {
        const TcpKey ka = tcpKey(a);
        const TcpKey kb = tcpKey(b);
        return ka != kb ? ka < kb : tcpStateRank(a.state) < tcpStateRank(b.state);
    });
    const auto last = std::unique(rows.begin(), rows.end(),
        [](const TcpConnRow& a, const TcpConnRow& b) { return tcpKey(a) == tcpKey(b); });
    rows.erase(last, rows.end());
}

} // namespace

std::size_t encodeIndex(const TcpConnRow& row, UINT* out)
{
    encodeAddress(row.localAddress, out);
    out[4] = row.localPort;
    encodeAddress(row.remoteAddress, out + 5);
    out[9] = row.remotePort;
    return tcpIndexLength;
}

std::size_t encodeIndex(const UdpRow& row, UINT* out)
{
    encodeAddress(row.localAddress, out);
    out[4] = row.localPort;
    return udpIndexLength;
}

void sortByIndex(std::vector<TcpConnRow>& rows)
{
    // Sorting compact keys and gathering the rows once is several times faster than sorting
    // the rows themselves with a comparator that derives the keys.
    struct SortItem
    {
        std::uint64_t high;
        std::uint64_t low; // index low part, then the state rank, then the row's position
    };
    static_assert(sizeof(SortItem) == 16);
    constexpr std::uint64_t positionBits = 28;
    if (rows.size() >= (std::size_t { 1 } << positionBits)) {
        sortLargeTable(rows); // beyond any real socket table; kept correct all the same
        return;
    }
    // Both buffers go when the rows are sorted: kept, they would double the table's memory
    // through every walk for a few page faults saved.
    std::vector<SortItem> items;
    items.reserve(rows.size());
    std::vector<TcpConnRow> sorted;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const TcpKey key = tcpKey(rows[i]);
        items.push_back(
            { key.high, (key.low << 32) | (std::uint64_t(tcpStateRank(rows[i].state)) << positionBits) | i });
    }
    std::sort(items.begin(), items.end(), [](const SortItem& a, const SortItem& b) {
        return a.high != b.high ? a.high < b.high : a.low < b.low;
    });
    sorted.reserve(rows.size());
    const SortItem* previous = nullptr;
    for (const SortItem& item : items) {
        // Equal indexes sort together, the preferred state first: keep that one.
        if (previous && previous->high == item.high && (previous->low >> 32) == (item.low >> 32))
            continue;
        previous = &item;
        sorted.push_back(rows[item.low & ((std::uint64_t { 1 } << positionBits) - 1)]);
    }
    rows.swap(sorted);
}

void sortByIndex(std::vector<UdpRow>& rows)
{
    std::sort(
        rows.begin(), rows.end(), [](const UdpRow& a, const UdpRow& b) { return udpKey(a) < udpKey(b); });
    const auto last = std::unique(
        rows.begin(), rows.end(), [](const UdpRow& a, const UdpRow& b) { return udpKey(a) == udpKey(b); });
    rows.erase(last, rows.end());
}
