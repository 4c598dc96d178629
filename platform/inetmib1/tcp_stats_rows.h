#pragma once
// The rows of the TCP extended statistics tables: tcpEStatsConnectIdTable, which shares
// tcpConnectionTable's index, and the tables indexed by tcpEStatsConnectIndex.

#include "platform/inetmib1/inet_rows.h"

#include <algorithm>
#include <cstdint>
#include <vector>

// What the kernel counts for one connection (its tcp_info), as the tables need it.
struct TcpCounters
{
    std::uint32_t segsOut = 0;
    std::uint32_t segsIn = 0;
    std::uint32_t segsRetrans = 0; // tcpi_total_retrans
    std::uint32_t rttMicros = 0; // smoothed
    std::uint32_t rtoMicros = 0;
    std::uint32_t cwndSegments = 0;
    std::uint32_t mss = 0;
    std::uint64_t bytesSent = 0; // retransmissions included
    std::uint64_t bytesRetrans = 0;
    std::uint64_t bytesAcked = 0;
    std::uint64_t bytesReceived = 0;
};

// A connection of tcpConnectionTable that the kernel keeps statistics for, with its index
// in the tables that follow.
struct ConnectIdRow
{
    TcpConnectionRow connection;
    std::uint32_t connectIndex = 0;
};

// One connection's statistics, indexed by its connectIndex; the cookie names it to the kernel.
struct TcpStatsRow
{
    std::uint32_t connectIndex = 0;
    std::uint64_t cookie = 0;
    std::uint32_t elapsedSeconds = 0; // since the agent first saw the connection
    TcpCounters counters;
};

// tcpEStatsPerfTable and tcpEStatsAppTable hold the same rows; the tag keeps their
// snapshots apart, so each is read, walked and freed as a table of its own.
template <int Table> struct TcpStatsRowOf : TcpStatsRow
{
};
using TcpPerfRow = TcpStatsRowOf<3>;
using TcpAppRow = TcpStatsRowOf<6>;

inline constexpr std::size_t connectIdIndexLength = tcpConnectionIndexLength;
inline constexpr std::size_t tcpStatsIndexLength = 1;

std::size_t encodeIndex(const ConnectIdRow& row, UINT* out);
template <int Table> std::size_t encodeIndex(const TcpStatsRowOf<Table>& row, UINT* out)
{
    out[0] = row.connectIndex;
    return 1;
}

void sortByIndex(std::vector<ConnectIdRow>& rows);
template <int Table> void sortByIndex(std::vector<TcpStatsRowOf<Table>>& rows)
{
    std::sort(rows.begin(), rows.end(),
        [](const auto& a, const auto& b) { return a.connectIndex < b.connectIndex; });
}
