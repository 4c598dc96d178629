#include "scan/remote_row_decoder.h"

#include <cstring>
#include <optional>

namespace {

// Type tags as they come over the wire.
constexpr std::uint8_t kInteger = 0x02;
constexpr std::uint8_t kOctetString = 0x04;
constexpr std::uint8_t kIpAddress = 0x40;
constexpr std::uint8_t kGauge32 = 0x42; // also Unsigned32
constexpr std::uint8_t kUnsigned32 = 0x47; // net-snmp's own tag for it

std::string typeName(std::uint8_t type)
{
    switch (type) {
    case 0x02:
        return "an INTEGER";
    case 0x04:
        return "an OCTET STRING";
    case 0x05:
        return "a NULL";
    case 0x06:
        return "an OBJECT IDENTIFIER";
    case 0x40:
        return "an IpAddress";
    case 0x41:
        return "a Counter32";
    case 0x42:
        return "a Gauge32";
    case 0x43:
        return "a TimeTicks";
    case 0x44:
        return "an Opaque";
    case 0x46:
        return "a Counter64";
    default:
        return "of type " + std::to_string(type);
    }
}

// A column's value read as what the MIB says it is, or the reason it is not one.
class ValueCheck
{
public:
    // A present value is required unless optional; a missing one is a row that went away
    // between two column passes, dropped without blame.
    std::optional<std::int32_t> integer(
        const MibValue& value, const char* what, std::int64_t low, std::int64_t high)
    {
        if (!present(value) || !typed(value, kInteger, what))
            return std::nullopt;
        if (value.number < low || value.number > high) {
            reason = std::string(what) + ' ' + std::to_string(value.number) + " out of range";
            return std::nullopt;
        }
        return static_cast<std::int32_t>(value.number);
    }

    std::optional<std::uint32_t> address(const MibValue& value, const char* what)
    {
        if (!present(value))
            return std::nullopt;
        if (value.type != kIpAddress && value.type != kOctetString) {
            reason = std::string(what) + " is " + typeName(value.type) + ", not an IpAddress";
            return std::nullopt;
        }
        if (value.octets.size() != 4) {
            reason = std::string(what) + " of " + std::to_string(value.octets.size()) + " bytes, not 4";
            return std::nullopt;
        }
        std::uint32_t address = 0;
        std::memcpy(&address, value.octets.data(), 4);
        return address;
    }

    // A process column: Unsigned32; missing means no process is known (0).
    std::optional<std::uint32_t> process(const MibValue& value)
    {
        if (value.type == 0)
            return 0u;
        if (value.type != kGauge32 && value.type != kUnsigned32) {
            reason = "process is " + typeName(value.type) + ", not an Unsigned32";
            return std::nullopt;
        }
        return static_cast<std::uint32_t>(value.number);
    }

    // A text column of at most limit octets; missing means not known.
    std::optional<std::string> text(const MibValue& value, const char* what, std::size_t limit)
    {
        if (value.type == 0)
            return std::string();
        if (value.type != kOctetString) {
            reason = std::string(what) + " is " + typeName(value.type) + ", not an OCTET STRING";
            return std::nullopt;
        }
        if (value.octets.size() > limit) {
            reason = std::string(what) + " of " + std::to_string(value.octets.size()) + " bytes, over "
                + std::to_string(limit);
            return std::nullopt;
        }
        return value.octets;
    }

    std::string reason; // empty: the row went away rather than was wrong

private:
    static bool present(const MibValue& value) { return value.type != 0; }
    bool typed(const MibValue& value, std::uint8_t type, const char* what)
    {
        if (value.type == type)
            return true;
        reason = std::string(what) + " is " + typeName(value.type) + ", not " + typeName(type);
        return false;
    }
};

// tcpConnState: closed(1) .. deleteTCB(12).
constexpr std::int64_t kLowestState = 1;
constexpr std::int64_t kHighestState = 12;

// The IPv4 tables' index: the address's four octets, then the port.
bool indexHolds(std::span<const std::uint32_t> index, std::uint32_t address, std::int32_t port)
{
    if (index.size() < 5)
        return false;
    std::uint8_t octets[4];
    std::memcpy(octets, &address, 4);
    for (int i = 0; i < 4; ++i) {
        if (index[std::size_t(i)] != octets[i])
            return false;
    }
    return index[4] == static_cast<std::uint32_t>(port);
}

} // namespace

void RemoteRowDecoder::refuse(std::string reason)
{
    if (reason.empty())
        return; // went away, not wrong
    if (m_refused++ == 0)
        m_firstReason = std::move(reason);
}

void RemoteRowDecoder::clear()
{
    m_refused = 0;
    m_firstReason.clear();
}

std::string RemoteRowDecoder::refusalText(const std::string& peer) const
{
    if (m_refused == 0)
        return {};
    return peer + ": " + std::to_string(m_refused) + (m_refused == 1 ? " row" : " rows")
        + " refused: " + m_firstReason;
}

std::vector<MibEndpoint> RemoteRowDecoder::tcpRecords(const std::vector<MibRow>& rows)
{
    std::vector<MibEndpoint> records;
    records.reserve(rows.size());
    for (const MibRow& row : rows) {
        ValueCheck check;
        const auto state = check.integer(row.values[0], "state", kLowestState, kHighestState);
        const auto local = state ? check.address(row.values[1], "local address") : std::nullopt;
        const auto localPort = local ? check.integer(row.values[2], "port", 0, 65535) : std::nullopt;
        const auto remote = localPort ? check.address(row.values[3], "remote address") : std::nullopt;
        const auto remotePort = remote ? check.integer(row.values[4], "port", 0, 65535) : std::nullopt;
        if (!remotePort) {
            refuse(std::move(check.reason));
            continue;
        }
        const std::span<const std::uint32_t> index(row.index);
        if (index.size() != 10 || !indexHolds(index, *local, *localPort)
            || !indexHolds(index.subspan(5), *remote, *remotePort)) {
            refuse("index does not match its columns");
            continue;
        }
        records.push_back({ *state, *local, *localPort, *remote, *remotePort });
    }
    return records;
}

std::vector<MibEndpoint> RemoteRowDecoder::udpRecords(const std::vector<MibRow>& rows)
{
    std::vector<MibEndpoint> records;
    records.reserve(rows.size());
    for (const MibRow& row : rows) {
        ValueCheck check;
        const auto local = check.address(row.values[0], "local address");
        const auto port = local ? check.integer(row.values[1], "port", 0, 65535) : std::nullopt;
        if (!port) {
            refuse(std::move(check.reason));
            continue;
        }
        if (row.index.size() != 5 || !indexHolds(row.index, *local, *port)) {
            refuse("index does not match its columns");
            continue;
        }
        MibEndpoint record;
        record.localAddress = *local;
        record.localPortNumber = *port;
        records.push_back(record);
    }
    return records;
}

namespace {

using IndexDecoder = bool (*)(std::span<const std::uint32_t>, InetEndpointRecord&);

} // namespace

std::vector<InetEndpointRecord> RemoteRowDecoder::tcpConnections(const std::vector<MibRow>& rows)
{
    std::vector<InetEndpointRecord> records;
    records.reserve(rows.size());
    for (const MibRow& row : rows) {
        InetEndpointRecord record;
        if (!decodeTcpConnectionIndex(row.index, record)) {
            refuse("index is not a connection's");
            continue;
        }
        ValueCheck check;
        const auto state = check.integer(row.values[0], "state", kLowestState, kHighestState);
        const auto pid = state ? check.process(row.values[1]) : std::nullopt;
        if (!pid) {
            refuse(std::move(check.reason));
            continue;
        }
        record.stateValue = *state;
        record.pid = *pid;
        records.push_back(record);
    }
    return records;
}

namespace {

template <typename Refuse>
std::vector<InetEndpointRecord> processRows(
    const std::vector<MibRow>& rows, IndexDecoder decode, const char* kind, Refuse&& refuse)
{
    std::vector<InetEndpointRecord> records;
    records.reserve(rows.size());
    for (const MibRow& row : rows) {
        InetEndpointRecord record;
        if (!decode(row.index, record)) {
            refuse(std::string("index is not ") + kind);
            continue;
        }
        ValueCheck check;
        const auto pid = check.process(row.values[0]);
        if (!pid) {
            refuse(std::move(check.reason));
            continue;
        }
        record.pid = *pid;
        records.push_back(record);
    }
    return records;
}

} // namespace

std::vector<InetEndpointRecord> RemoteRowDecoder::tcpListeners(const std::vector<MibRow>& rows)
{
    return processRows(
        rows, decodeTcpListenerIndex, "a listener's", [this](std::string why) { refuse(std::move(why)); });
}

std::vector<InetEndpointRecord> RemoteRowDecoder::udpEndpoints(const std::vector<MibRow>& rows)
{
    return processRows(
        rows, decodeUdpEndpointIndex, "an endpoint's", [this](std::string why) { refuse(std::move(why)); });
}

std::vector<ProcessRecord> RemoteRowDecoder::processes(const std::vector<MibRow>& rows)
{
    std::vector<ProcessRecord> records;
    records.reserve(rows.size());
    for (const MibRow& row : rows) {
        if (row.index.size() != 1) {
            refuse("index is not a process id");
            continue;
        }
        // hrSWRunName is up to 64 octets, hrSWRunPath and hrSWRunParameters up to 128.
        ValueCheck check;
        auto name = check.text(row.values[0], "process name", 64);
        auto path = name ? check.text(row.values[1], "process path", 128) : std::nullopt;
        auto parameters = path ? check.text(row.values[2], "process parameters", 128) : std::nullopt;
        if (!parameters) {
            refuse(std::move(check.reason));
            continue;
        }
        records.push_back({ row.index[0], std::move(*name), std::move(*path), std::move(*parameters) });
    }
    return records;
}

std::vector<HostAddress> RemoteRowDecoder::ipAddresses(const std::vector<MibRow>& rows)
{
    std::vector<HostAddress> addresses;
    for (const MibRow& row : rows) {
        // ipv4(1) and ipv6(2) carry 4 and 16 octets, ipv4z(3) and ipv6z(4) a zone after them.
        const std::size_t length = row.index.size() >= 2 ? row.index[1] : 0;
        const std::uint32_t type = row.index.empty() ? 0 : row.index[0];
        const std::size_t octets = type == 1 || type == 3 ? 4 : type == 2 || type == 4 ? 16 : 0;
        if (octets == 0 || length != octets + (type > 2 ? 4 : 0) || row.index.size() != 2 + length) {
            refuse("index is not an address's");
            continue;
        }
        HostAddress address;
        address.type = type == 1 || type == 3 ? 1 : 2;
        bool valid = true;
        for (std::size_t i = 0; i < octets; ++i) {
            valid = valid && row.index[2 + i] <= 0xff;
            address.address[i] = static_cast<std::uint8_t>(row.index[2 + i]);
        }
        if (!valid) {
            refuse("address octet out of range");
            continue;
        }
        addresses.push_back(address);
    }
    return addresses;
}

std::vector<HostAddress> RemoteRowDecoder::ipAddrEntries(const std::vector<MibRow>& rows)
{
    std::vector<HostAddress> addresses;
    for (const MibRow& row : rows) {
        ValueCheck check;
        const auto value = check.address(row.values[0], "ipAdEntAddr");
        if (!value) {
            refuse(std::move(check.reason));
            continue;
        }
        HostAddress address;
        std::memcpy(address.address.data(), &*value, 4);
        addresses.push_back(address);
    }
    return addresses;
}
