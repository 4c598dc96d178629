#pragma once
// How much each TCP connection moves, from the agent's TCP statistics tables (RFC 4898):
// the records a scan reads, the rates between two scans, and the text a cell shows.

#include "scan/inet_endpoints.h"
#include "scan/snmp_session.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

// One connection's counters as the agent gives them.
struct TrafficRecord
{
    InetEndpointRecord ends; // the tcpConnectionTable index: types, addresses, ports
    std::uint32_t connectIndex = 0;
    std::uint64_t bytesSent = 0; // acknowledged by the peer
    std::uint64_t bytesReceived = 0;
    std::uint32_t rttMs = 0;
    std::uint32_t retransmits = 0; // segments
    // Octets per second since the scan before; negative while the connection was seen once.
    double sendRate = -1;
    double receiveRate = -1;
};

// The statistics tables' entries and the columns read.
namespace trafficmib {
inline const std::vector<std::uint32_t> kConnectIdEntry { 1, 3, 6, 1, 2, 1, 156, 1, 1, 2, 1 };
inline const std::vector<std::uint32_t> kConnectIdColumns { 1 };
inline const std::vector<std::uint32_t> kPerfEntry { 1, 3, 6, 1, 2, 1, 156, 1, 1, 3, 1 };
inline const std::vector<std::uint32_t> kPerfColumns { 5, 17 }; // SegsRetrans, SmoothedRTT
inline const std::vector<std::uint32_t> kAppEntry { 1, 3, 6, 1, 2, 1, 156, 1, 1, 6, 1 };
inline const std::vector<std::uint32_t> kAppColumns { 5, 8 }; // HCThruOctetsAcked, HCThruOctetsReceived
} // namespace trafficmib

// Joins the three tables' rows (values in the columns' order above) into records. A row
// whose index or value types do not fit fails the whole: problem says which.
std::vector<TrafficRecord> joinTraffic(const std::vector<MibRow>& connectIds, const std::vector<MibRow>& perf,
    const std::vector<MibRow>& app, std::string& problem);

// The counters of the scan before, by connect index, for the rates.
class TrafficHistory
{
public:
    using Clock = std::chrono::steady_clock;
    // Sets each record's rates from its counters at the scan before, and keeps these.
    void apply(std::vector<TrafficRecord>& records, Clock::time_point now = Clock::now());

private:
    struct Seen
    {
        std::uint64_t sent;
        std::uint64_t received;
    };
    std::map<std::uint32_t, Seen> m_seen;
    Clock::time_point m_at {};
};

// The records by their ends, for the rows of both families: IPv4 and IPv4-mapped ends
// are one key.
class TrafficIndex
{
public:
    void set(std::vector<TrafficRecord> records);
    const TrafficRecord* find(const InetEndpointRecord& ends) const;
    // An IPv4 row of tcpConnTable, addresses in network order.
    const TrafficRecord* find(std::uint32_t local, int localPort, std::uint32_t remote, int remotePort) const;
    bool empty() const { return m_records.empty(); }
    // The machine's total rate, every connection with a rate summed: "Traffic ↑1.5 KB/s ↓200 B/s";
    // "Traffic –" before any has a rate.
    std::string totalText() const;

private:
    // Hashed, not ordered: comparing 36-byte keys down a tree at every row was a tenth of a
    // traffic scan at 20,000 pairs.
    struct Key
    {
        Ipv6Address local;
        std::uint16_t localPort;
        Ipv6Address remote;
        std::uint16_t remotePort;
        bool operator==(const Key&) const = default;
    };
    struct KeyHash
    {
        std::size_t operator()(const Key& key) const;
    };
    static Key keyOf(const InetEndpointRecord& ends);
    std::vector<TrafficRecord> m_records;
    std::unordered_map<Key, std::size_t, KeyHash> m_byEnds;
};

// The unit an amount of bytes is told in, by 1000s as network rates are told: the largest
// in which it reads below 1000 once rounded to a tenth ("B", "KB", ... "TB"), and its size.
struct ByteUnit
{
    const char* name;
    double size;
};
ByteUnit byteUnitOf(double bytes);
// Human units: "950 B", "1.5 KB", "12.3 MB".
std::string bytesText(double bytes);
// A rate: "1.5 KB/s".
std::string rateText(double bytesPerSecond);
// The Rate cell: "↑1.5 KB/s ↓200 B/s"; "–" without a rate.
std::string rateCellText(double sendRate, double receiveRate);
