#include "scan/traffic.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

constexpr std::uint8_t kGauge32 = 0x42; // also Unsigned32 on the wire
constexpr std::uint8_t kCounter64 = 0x46;
constexpr std::uint8_t kUnsigned32 = 0x47; // the module's own tag for Unsigned32

// The connect index of a row of the tables indexed by it; 0 when the index is not one.
std::uint32_t connectIndexOf(const MibRow& row)
{
    return row.index.size() == 1 ? row.index[0] : 0;
}

TrafficRecord* recordOf(std::vector<TrafficRecord>& records, std::uint32_t index)
{
    const auto found = std::lower_bound(records.begin(), records.end(), index,
        [](const TrafficRecord& record, std::uint32_t key) { return record.connectIndex < key; });
    return found != records.end() && found->connectIndex == index ? &*found : nullptr;
}

} // namespace

std::vector<TrafficRecord> joinTraffic(const std::vector<MibRow>& connectIds, const std::vector<MibRow>& perf,
    const std::vector<MibRow>& app, std::string& problem)
{
    std::vector<TrafficRecord> records;
    records.reserve(connectIds.size());
    for (const MibRow& row : connectIds) {
        TrafficRecord record;
        const MibValue* value = row.values.empty() ? nullptr : &row.values[0];
        if (!value || (value->type != kGauge32 && value->type != kUnsigned32) || value->number < 1
            || !decodeTcpConnectionIndex(row.index, record.ends)) {
            problem = "a tcpEStatsConnectIndex that is not one";
            return {};
        }
        record.connectIndex = static_cast<std::uint32_t>(value->number);
        records.push_back(record);
    }
    std::sort(records.begin(), records.end(),
        [](const TrafficRecord& a, const TrafficRecord& b) { return a.connectIndex < b.connectIndex; });
    // A value missing from a row (type 0) is a connection gone between two columns: it stays 0.
    const auto fits = [](const MibRow& row, std::uint8_t type) {
        return row.values.size() == 2
            && std::all_of(row.values.begin(), row.values.end(),
                [type](const MibValue& value) { return value.type == 0 || value.type == type; });
    };
    for (const MibRow& row : perf) {
        if (!fits(row, kGauge32) || connectIndexOf(row) == 0) {
            problem = "a tcpEStatsPerfTable row that is not one";
            return {};
        }
        if (TrafficRecord* record = recordOf(records, connectIndexOf(row))) {
            record->retransmits = static_cast<std::uint32_t>(row.values[0].number);
            record->rttMs = static_cast<std::uint32_t>(row.values[1].number);
        }
    }
    for (const MibRow& row : app) {
        if (!fits(row, kCounter64) || connectIndexOf(row) == 0) {
            problem = "a tcpEStatsAppTable row that is not one";
            return {};
        }
        if (TrafficRecord* record = recordOf(records, connectIndexOf(row))) {
            record->bytesSent = static_cast<std::uint64_t>(row.values[0].number);
            record->bytesReceived = static_cast<std::uint64_t>(row.values[1].number);
        }
    }
    return records;
}

void TrafficHistory::apply(std::vector<TrafficRecord>& records, Clock::time_point now)
{
    const double seconds = std::chrono::duration<double>(now - m_at).count();
    std::map<std::uint32_t, Seen> seen;
    for (TrafficRecord& record : records) {
        record.sendRate = record.receiveRate = -1;
        const auto before = m_seen.find(record.connectIndex);
        // A counter that went back belongs to another connection of the same index (an
        // agent restarted): no rate until the next scan.
        if (before != m_seen.end() && seconds > 0 && record.bytesSent >= before->second.sent
            && record.bytesReceived >= before->second.received) {
            record.sendRate = static_cast<double>(record.bytesSent - before->second.sent) / seconds;
            record.receiveRate
                = static_cast<double>(record.bytesReceived - before->second.received) / seconds;
        }
        seen[record.connectIndex] = { record.bytesSent, record.bytesReceived };
    }
    m_seen = std::move(seen);
    m_at = now;
}

TrafficIndex::Key TrafficIndex::keyOf(const InetEndpointRecord& ends)
{
    const auto address = [](int type, const Ipv6Address& octets) {
        if (type == 2)
            return octets; // IPv6, IPv4-mapped ones included
        Ipv6Address mapped {};
        mapped[10] = mapped[11] = 0xff;
        std::copy_n(octets.begin(), 4, mapped.begin() + 12);
        return mapped;
    };
    return { address(ends.localType, ends.localAddress), ends.localPort,
        address(ends.remoteType, ends.remoteAddress), ends.remotePort };
}

std::size_t TrafficIndex::KeyHash::operator()(const Key& key) const
{
    static_assert(sizeof(Key) == 36, "a key's bytes are its fields, without padding");
    return std::hash<std::string_view> {}(std::string_view(reinterpret_cast<const char*>(&key), sizeof key));
}

void TrafficIndex::set(std::vector<TrafficRecord> records)
{
    m_records = std::move(records);
    m_byEnds.clear();
    m_byEnds.reserve(m_records.size());
    for (std::size_t i = 0; i < m_records.size(); ++i)
        m_byEnds[keyOf(m_records[i].ends)] = i;
}

const TrafficRecord* TrafficIndex::find(const InetEndpointRecord& ends) const
{
    if (m_byEnds.empty())
        return nullptr;
    const auto found = m_byEnds.find(keyOf(ends));
    return found == m_byEnds.end() ? nullptr : &m_records[found->second];
}

const TrafficRecord* TrafficIndex::find(
    std::uint32_t local, int localPort, std::uint32_t remote, int remotePort) const
{
    if (m_byEnds.empty())
        return nullptr; // every row of a scan without traffic asks
    InetEndpointRecord ends;
    ends.localType = ends.remoteType = 1;
    std::memcpy(ends.localAddress.data(), &local, 4);
    std::memcpy(ends.remoteAddress.data(), &remote, 4);
    ends.localPort = static_cast<std::uint16_t>(localPort);
    ends.remotePort = static_cast<std::uint16_t>(remotePort);
    return find(ends);
}

std::string TrafficIndex::totalText() const
{
    double sent = 0;
    double received = 0;
    bool rated = false;
    for (const TrafficRecord& record : m_records) {
        if (record.sendRate < 0 || record.receiveRate < 0)
            continue;
        rated = true;
        sent += record.sendRate;
        received += record.receiveRate;
    }
    return "Traffic " + (rated ? rateCellText(sent, received) : std::string("\u2013"));
}

ByteUnit byteUnitOf(double bytes)
{
    static const char* const units[] = { "B", "KB", "MB", "GB", "TB" };
    std::size_t unit = 0;
    double size = 1;
    while (bytes / size >= 999.95 && unit + 1 < std::size(units)) {
        size *= 1000;
        ++unit;
    }
    return { units[unit], size };
}

std::string bytesText(double bytes)
{
    const ByteUnit unit = byteUnitOf(bytes);
    char text[32];
    if (unit.size == 1)
        std::snprintf(text, sizeof text, "%.0f B", bytes);
    else
        std::snprintf(text, sizeof text, "%.1f %s", bytes / unit.size, unit.name);
    return text;
}

std::string rateText(double bytesPerSecond)
{
    return bytesText(bytesPerSecond) + "/s";
}

std::string rateCellText(double sendRate, double receiveRate)
{
    if (sendRate < 0 || receiveRate < 0)
        return "\u2013";
    return "\u2191" + rateText(sendRate) + " \u2193" + rateText(receiveRate);
}
