#include "platform/inetmib1/mib2_agent.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <type_traits>

namespace {

constexpr UINT afterMib2[] = { 1, 3, 6, 1, 2, 2 };
constexpr UINT tcpConnEntry[] = { 1, 3, 6, 1, 2, 1, 6, 13, 1 };
constexpr UINT tcpInErrsInstance[] = { 1, 3, 6, 1, 2, 1, 6, 14, 0 };
constexpr UINT udpEntry[] = { 1, 3, 6, 1, 2, 1, 7, 5, 1 };
constexpr UINT tcpConnectionEntry[] = { 1, 3, 6, 1, 2, 1, 6, 19, 1 };
constexpr UINT tcpListenerEntry[] = { 1, 3, 6, 1, 2, 1, 6, 20, 1 };
constexpr UINT udpEndpointEntry[] = { 1, 3, 6, 1, 2, 1, 7, 7, 1 };
constexpr UINT udpHcInDatagramsInstance[] = { 1, 3, 6, 1, 2, 1, 7, 8, 0 };
constexpr UINT udpHcOutDatagramsInstance[] = { 1, 3, 6, 1, 2, 1, 7, 9, 0 };
constexpr UINT ipv6TcpConnEntry[] = { 1, 3, 6, 1, 2, 1, 6, 16, 1 };
constexpr UINT ipv6TcpConnStateColumn = 6;
constexpr UINT ipv6UdpEntry[] = { 1, 3, 6, 1, 2, 1, 7, 6, 1 };
constexpr UINT ipv6UdpIfIndexColumn = 3;
constexpr UINT tcpHcInSegsInstance[] = { 1, 3, 6, 1, 2, 1, 6, 17, 0 };
constexpr UINT tcpHcOutSegsInstance[] = { 1, 3, 6, 1, 2, 1, 6, 18, 0 };
constexpr UINT swRunEntry[] = { 1, 3, 6, 1, 2, 1, 25, 4, 2, 1 };
constexpr UINT connectIdEntry[] = { 1, 3, 6, 1, 2, 1, 156, 1, 1, 2, 1 };
constexpr UINT tcpPerfEntry[] = { 1, 3, 6, 1, 2, 1, 156, 1, 1, 3, 1 };
constexpr UINT tcpAppEntry[] = { 1, 3, 6, 1, 2, 1, 156, 1, 1, 6, 1 };

constexpr UINT tcpColumnCount = 5;
constexpr UINT udpColumnCount = 2;
// The first columns of the later tables are their index, which is not readable.
constexpr UINT tcpConnectionStateColumn = 7;
constexpr UINT tcpConnectionProcessColumn = 8;
constexpr UINT tcpListenerProcessColumn = 4;
constexpr UINT udpEndpointProcessColumn = 8;
static_assert(udpEndpointProcessColumn == tcpConnectionProcessColumn);
constexpr UINT swRunStatusColumn = 7;
// The columns of tcpEStatsPerfTable and tcpEStatsAppTable that the kernel's counters fill.
namespace perf {
    constexpr UINT segsOut = 1, hcDataOctetsOut = 4, segsRetrans = 5, octetsRetrans = 6, segsIn = 7,
                   hcDataOctetsIn = 10, elapsedSecs = 11, smoothedRtt = 17, curRto = 18, curCwnd = 20;
}
namespace app {
    constexpr UINT hcThruOctetsAcked = 5, hcThruOctetsReceived = 8;
}
constexpr std::uint32_t columnBits(std::initializer_list<UINT> columns)
{
    std::uint32_t bits = 0;
    for (const UINT column : columns)
        bits |= 1u << column;
    return bits;
}
constexpr std::uint32_t perfColumns
    = columnBits({ perf::segsOut, perf::hcDataOctetsOut, perf::segsRetrans, perf::octetsRetrans, perf::segsIn,
        perf::hcDataOctetsIn, perf::elapsedSecs, perf::smoothedRtt, perf::curRto, perf::curCwnd });
constexpr std::uint32_t appColumns = columnBits({ app::hcThruOctetsAcked, app::hcThruOctetsReceived });
// The column that names a row's owner; none in the tables without one.
template <typename Row> constexpr UINT processColumn()
{
    if constexpr (std::is_same_v<Row, TcpConnectionRow> || std::is_same_v<Row, UdpEndpointRow>)
        return tcpConnectionProcessColumn;
    else if constexpr (std::is_same_v<Row, TcpListenerRow>)
        return tcpListenerProcessColumn;
    else
        return 0;
}
// How old a table's rows may be when a walk of an earlier table steps into it.
constexpr auto snapshotAgeWhenEnteredFromBefore = std::chrono::seconds(5);
// How old rows read by such a step may be when a walk of their table starts in the same scan.
constexpr auto stepReadLifetime = std::chrono::seconds(1);
// hrSWRunType: every process that holds a socket is an application.
constexpr LONG swRunTypeApplication = 4;

// Replies are allocated with plain malloc, the heap SnmpUtilMemFree releases to: every byte
// is written at once, and malloc, unlike calloc, is served from glibc's per-thread cache.
void* allocateForCaller(std::size_t bytes)
{
    return std::malloc(bytes);
}

UINT* copyIds(const UINT* ids, std::size_t length)
{
    auto* copy = static_cast<UINT*>(allocateForCaller(length * sizeof(UINT)));
    if (copy)
        std::memcpy(copy, ids, length * sizeof(UINT));
    return copy;
}

void setInteger(AsnAny& value, LONG number)
{
    value.asnType = ASN_INTEGER;
    value.asnValue.number = number;
}

// IpAddress values are 4 freshly allocated bytes in network order that the caller frees.
bool setAddress(AsnAny& value, std::uint32_t networkOrder)
{
    auto* bytes = static_cast<BYTE*>(allocateForCaller(4));
    if (!bytes)
        return false;
    std::memcpy(bytes, &networkOrder, 4);
    value.asnType = ASN_IPADDRESS;
    value.asnValue.address = { bytes, 4, TRUE };
    return true;
}

bool setValue(AsnAny& value, const TcpConnRow& row, UINT column)
{
    switch (column) {
    case 1:
        setInteger(value, row.state);
        return true;
    case 2:
        return setAddress(value, row.localAddress);
    case 3:
        setInteger(value, row.localPort);
        return true;
    case 4:
        return setAddress(value, row.remoteAddress);
    default:
        setInteger(value, row.remotePort);
        return true;
    }
}

bool setValue(AsnAny& value, const UdpRow& row, UINT column)
{
    if (column == 1)
        return setAddress(value, row.localAddress);
    setInteger(value, row.localPort);
    return true;
}

void setUnsigned(AsnAny& value, std::uint32_t number)
{
    value.asnType = ASN_UNSIGNED32;
    value.asnValue.unsigned32 = number;
}

// OCTET STRING values are freshly allocated copies the caller frees; an empty one has none.
bool setString(AsnAny& value, const std::string& text)
{
    value.asnType = ASN_OCTETSTRING;
    value.asnValue.string = { nullptr, 0, FALSE };
    if (text.empty())
        return true;
    auto* bytes = static_cast<BYTE*>(allocateForCaller(text.size()));
    if (!bytes)
        return false;
    std::memcpy(bytes, text.data(), text.size());
    value.asnValue.string = { bytes, static_cast<UINT>(text.size()), TRUE };
    return true;
}

bool setValue(AsnAny& value, const TcpConnectionRow& row, UINT column)
{
    if (column == tcpConnectionStateColumn)
        setInteger(value, row.state);
    else
        setUnsigned(value, row.process);
    return true;
}

bool setValue(AsnAny& value, const Ipv6TcpConnRow& row, UINT /*column*/)
{
    setInteger(value, row.state);
    return true;
}

bool setValue(AsnAny& value, const Ipv6UdpRow& row, UINT /*column*/)
{
    setInteger(value, static_cast<LONG>(row.ifIndex));
    return true;
}

bool setValue(AsnAny& value, const TcpListenerRow& row, UINT /*column*/)
{
    setUnsigned(value, row.process);
    return true;
}

bool setValue(AsnAny& value, const UdpEndpointRow& row, UINT /*column*/)
{
    setUnsigned(value, row.process);
    return true;
}

bool setValue(AsnAny& value, const SwRunRow& row, UINT column)
{
    switch (column) {
    case 1:
        setInteger(value, static_cast<LONG>(row.pid));
        return true;
    case 2:
        return setString(value, row.name);
    case 3: {
        // hrSWRunID: no product identifier is known, which the MIB writes as 0.0.
        static constexpr UINT unknownProduct[] = { 0, 0 };
        UINT* ids = copyIds(unknownProduct, std::size(unknownProduct));
        if (!ids)
            return false;
        value.asnType = ASN_OBJECTIDENTIFIER;
        value.asnValue.object = { static_cast<UINT>(std::size(unknownProduct)), ids };
        return true;
    }
    case 4:
        return setString(value, row.path);
    case 5:
        return setString(value, row.parameters);
    case 6:
        setInteger(value, swRunTypeApplication);
        return true;
    default:
        setInteger(value, static_cast<LONG>(row.status));
        return true;
    }
}

bool setValue(AsnAny& value, const ConnectIdRow& row, UINT /*column*/)
{
    setUnsigned(value, row.connectIndex);
    return true;
}

// ZeroBasedCounter32 is a Gauge32 that wraps: the low 32 bits of the count.
void setZeroBased32(AsnAny& value, std::uint64_t count)
{
    value.asnType = ASN_GAUGE32;
    value.asnValue.gauge = static_cast<std::uint32_t>(count);
}

void setCounter64(AsnAny& value, std::uint64_t count)
{
    value.asnType = ASN_COUNTER64;
    value.asnValue.counter64.QuadPart = count;
}

bool setValue(AsnAny& value, const TcpPerfRow& row, UINT column)
{
    const TcpCounters& counters = row.counters;
    switch (column) {
    case perf::segsOut:
        setZeroBased32(value, counters.segsOut);
        break;
    case perf::hcDataOctetsOut:
        setCounter64(value, counters.bytesSent);
        break;
    case perf::segsRetrans:
        setZeroBased32(value, counters.segsRetrans);
        break;
    case perf::octetsRetrans:
        setZeroBased32(value, counters.bytesRetrans);
        break;
    case perf::segsIn:
        setZeroBased32(value, counters.segsIn);
        break;
    case perf::hcDataOctetsIn:
        setCounter64(value, counters.bytesReceived);
        break;
    case perf::elapsedSecs:
        setZeroBased32(value, row.elapsedSeconds);
        break;
    case perf::smoothedRtt: // Gauge32 in milliseconds, the kernel's in microseconds
        setZeroBased32(value, counters.rttMicros / 1000);
        break;
    case perf::curRto:
        setZeroBased32(value, counters.rtoMicros / 1000);
        break;
    default: // curCwnd, in octets
        setZeroBased32(value, std::uint64_t { counters.cwndSegments } * counters.mss);
        break;
    }
    return true;
}

bool setValue(AsnAny& value, const TcpAppRow& row, UINT column)
{
    setCounter64(
        value, column == app::hcThruOctetsAcked ? row.counters.bytesAcked : row.counters.bytesReceived);
    return true;
}

// The rows of one statistics table as those of another.
template <typename From, typename To> void copyStats(const std::vector<From>& from, std::vector<To>& to)
{
    to.clear();
    to.reserve(from.size());
    for (const TcpStatsRow& row : from)
        to.push_back(To { row });
}

// A set's status for the source's errno: no right; what it names is gone (a connection
// closed since it was found, a process ended or replaced under its pid, never signalled);
// or no kernel support (EOPNOTSUPP) or a failed request.
AsnInteger32 setStatus(int error)
{
    switch (error) {
    case 0:
        return SNMP_ERRORSTATUS_NOERROR;
    case EPERM:
    case EACCES:
        return SNMP_ERRORSTATUS_NOACCESS;
    case ENOENT:
    case ESRCH:
    case ESTALE:
        return SNMP_ERRORSTATUS_NOSUCHNAME;
    default:
        return SNMP_ERRORSTATUS_GENERR;
    }
}

void setNull(AsnAny& value)
{
    std::memset(&value, 0, sizeof(value));
    value.asnType = ASN_NULL;
}

} // namespace

Mib2Agent::Mib2Agent(EndpointSource& source)
    : m_source(source)
    , m_tcp { { tcpConnEntry, tcpColumnCount } }
    , m_udp { { udpEntry, udpColumnCount } }
    , m_tcpConnections { { tcpConnectionEntry, tcpConnectionProcessColumn, tcpConnectionStateColumn } }
    , m_tcpListeners { { tcpListenerEntry, tcpListenerProcessColumn, tcpListenerProcessColumn } }
    , m_udpEndpoints { { udpEndpointEntry, udpEndpointProcessColumn, udpEndpointProcessColumn } }
    , m_swRun { { swRunEntry, swRunStatusColumn } }
    , m_ipv6TcpConns { { ipv6TcpConnEntry, ipv6TcpConnStateColumn, ipv6TcpConnStateColumn } }
    , m_ipv6Udp { { ipv6UdpEntry, ipv6UdpIfIndexColumn, ipv6UdpIfIndexColumn } }
    , m_connectIds { { connectIdEntry, 1 } }
    , m_tcpPerf { { tcpPerfEntry, ColumnSet { perfColumns } } }
    , m_tcpApp { { tcpAppEntry, ColumnSet { appColumns } } }
{
}

AsnObjectIdentifier Mib2Agent::supportedView()
{
    static UINT ids[] = { 1, 3, 6, 1, 2, 1 };
    return { static_cast<UINT>(std::size(ids)), ids };
}

bool Mib2Agent::query(
    BYTE requestType, RFC1157VarBindList* bindings, AsnInteger32* errorStatus, AsnInteger32* errorIndex)
{
    if (!bindings || !errorStatus || !errorIndex || (bindings->len > 0 && !bindings->list))
        return false;
    *errorStatus = SNMP_ERRORSTATUS_NOERROR;
    *errorIndex = 0;
    for (UINT i = 0; i < bindings->len; ++i) {
        SnmpVarBind& binding = bindings->list[i];
        AsnInteger32 status;
        switch (requestType) {
        case SNMP_PDU_GETNEXT:
            status = getNext(binding);
            break;
        case SNMP_PDU_GET:
            status = get(binding);
            break;
        case SNMP_PDU_SET:
            status = set(binding);
            break;
        default:
            status = SNMP_ERRORSTATUS_GENERR;
            break;
        }
        if (status != SNMP_ERRORSTATUS_NOERROR) {
            *errorStatus = status;
            *errorIndex = static_cast<AsnInteger32>(i + 1);
            return status != SNMP_ERRORSTATUS_GENERR;
        }
    }
    return true;
}

template <typename Row, std::size_t IndexLength>
bool Mib2Agent::refresh(Snapshot<Row, IndexLength>& snapshot, bool stepping)
{
    std::vector<Row>& rows = snapshot.table.rows();
    bool derived = false;
    // An unreadable table is an error, never an empty table.
    if constexpr (std::is_same_v<Row, TcpConnRow>)
        snapshot.read = m_source.readTcp(rows);
    else if constexpr (std::is_same_v<Row, UdpRow>)
        snapshot.read = m_source.readUdp(rows);
    else if constexpr (std::is_same_v<Row, TcpConnectionRow>)
        snapshot.read = m_source.readTcpConnections(rows);
    else if constexpr (std::is_same_v<Row, TcpListenerRow>)
        snapshot.read = m_source.readTcpListeners(rows);
    else if constexpr (std::is_same_v<Row, UdpEndpointRow>)
        snapshot.read = m_source.readUdpEndpoints(rows);
    else if constexpr (std::is_same_v<Row, Ipv6TcpConnRow>)
        snapshot.read = m_source.readIpv6TcpConnections(rows);
    else if constexpr (std::is_same_v<Row, Ipv6UdpRow>)
        snapshot.read = m_source.readIpv6Udp(rows);
    else if constexpr (std::is_same_v<Row, ConnectIdRow>) {
        derived = stepping && m_tcpConnections.read;
        snapshot.read = readConnectIds(rows, derived);
    } else if constexpr (std::is_same_v<Row, TcpPerfRow>) {
        std::vector<TcpStatsRow> read;
        snapshot.read = readStats(read);
        copyStats(read, rows);
    } else if constexpr (std::is_same_v<Row, TcpAppRow>) {
        // A walk of this table follows one of tcpEStatsPerfTable in the same scan: it takes that read.
        if (m_tcpPerf.read && m_tcpPerf.scan == m_scan
            && std::chrono::steady_clock::now() - m_tcpPerf.readAt <= stepReadLifetime) {
            copyStats(m_tcpPerf.table.rows(), rows);
            snapshot.read = true;
        } else {
            std::vector<TcpStatsRow> read;
            snapshot.read = readStats(read);
            copyStats(read, rows);
        }
    } else
        snapshot.read = readSwRun();
    snapshot.readAt = std::chrono::steady_clock::now();
    snapshot.scan = m_scan;
    snapshot.walked = false;
    snapshot.ownersSought = false;
    const bool read = snapshot.read;
    if (!read)
        rows.clear();
    sortByIndex(rows);
    m_last = {};
    if (derived)
        snapshot.read = false; // rows enough for a step, not a snapshot to serve
    return read;
}

bool Mib2Agent::readConnectIds(std::vector<ConnectIdRow>& rows, bool derived)
{
    rows.clear();
    std::vector<TcpConnectionRow> connections;
    if (derived) {
        // The step only needs the first connection with statistics: no kernel read.
        for (const TcpConnectionRow& connection : m_tcpConnections.table.rows()) {
            if (connection.cookie != 0) {
                rows.push_back({ connection, m_connectIndexes.indexOf(connection.cookie) });
                break;
            }
        }
        return true;
    }
    if (!m_source.readConnectIds(connections))
        return false;
    std::vector<std::uint64_t> cookies;
    cookies.reserve(connections.size());
    rows.reserve(connections.size());
    const auto now = std::chrono::steady_clock::now();
    for (const TcpConnectionRow& connection : connections) {
        if (connection.cookie == 0)
            continue;
        cookies.push_back(connection.cookie);
        rows.push_back({ connection, m_connectIndexes.indexOf(connection.cookie, now) });
    }
    m_connectIndexes.keepOnly(cookies);
    return true;
}

bool Mib2Agent::readStats(std::vector<TcpStatsRow>& rows)
{
    if (!m_source.readTcpStats(rows))
        return false;
    std::vector<std::uint64_t> cookies;
    cookies.reserve(rows.size());
    const auto now = std::chrono::steady_clock::now();
    for (TcpStatsRow& row : rows) {
        cookies.push_back(row.cookie);
        row.connectIndex = m_connectIndexes.indexOf(row.cookie, now);
        row.elapsedSeconds = m_connectIndexes.secondsSinceSeen(row.cookie, now);
    }
    m_connectIndexes.keepOnly(cookies);
    return true;
}

template <typename Row, std::size_t IndexLength> void Mib2Agent::release(Snapshot<Row, IndexLength>& snapshot)
{
    std::vector<Row>().swap(snapshot.table.rows());
    snapshot.read = false;
}

void Mib2Agent::endScan()
{
    // The processes of the scan outlive its rows: a set of one of them after the scan must
    // still tell it from a later process under its pid.
    if (m_swRun.read) {
        m_seenStartTimes.clear();
        for (const SwRunRow& row : m_swRun.table.rows())
            m_seenStartTimes.emplace_back(row.pid, row.startTime);
    }
    for (const Object object : { Object::TcpConn, Object::Ipv6TcpConn, Object::TcpConnection,
             Object::TcpListener, Object::Udp, Object::Ipv6Udp, Object::UdpEndpoint, Object::SwRun,
             Object::ConnectId, Object::TcpPerf, Object::TcpApp })
        visitTable(object, [](auto& snapshot) {
            release(snapshot);
            return true;
        });
    m_last = {};
    ++m_scan;
    m_source.endScan();
}

bool Mib2Agent::readSwRun()
{
    // The processes that hold the sockets of the process tables as last read: a scan walks
    // those first and then asks who their owners are.
    std::vector<std::uint32_t> pids;
    const auto collect = [this, &pids](auto& snapshot) {
        if (!snapshot.read && !refresh(snapshot))
            return false;
        findOwners(snapshot);
        for (const auto& row : snapshot.table.rows()) {
            if (row.process != 0)
                pids.push_back(row.process);
        }
        return true;
    };
    if (!collect(m_tcpConnections) || !collect(m_tcpListeners) || !collect(m_udpEndpoints))
        return false;
    std::sort(pids.begin(), pids.end());
    pids.erase(std::unique(pids.begin(), pids.end()), pids.end());
    return m_source.readSwRun(pids, m_swRun.table.rows());
}

template <typename Row, std::size_t IndexLength>
void Mib2Agent::findOwners(Snapshot<Row, IndexLength>& snapshot)
{
    if constexpr (processColumn<Row>() != 0) {
        if (snapshot.ownersSought)
            return;
        snapshot.ownersSought = true;
        std::vector<Row>& rows = snapshot.table.rows();
        std::vector<SocketRef> sockets(rows.size());
        std::vector<std::uint32_t> owners(rows.size());
        for (std::size_t i = 0; i < rows.size(); ++i) {
            sockets[i] = rows[i].socket;
            owners[i] = rows[i].process;
        }
        m_source.findOwners(sockets, owners);
        for (std::size_t i = 0; i < rows.size(); ++i)
            rows[i].process = owners[i];
    }
}

template <typename Visit> bool Mib2Agent::visitTable(Object object, Visit&& visit)
{
    switch (object) {
    case Object::TcpConn:
        return visit(m_tcp);
    case Object::TcpConnection:
        return visit(m_tcpConnections);
    case Object::TcpListener:
        return visit(m_tcpListeners);
    case Object::Udp:
        return visit(m_udp);
    case Object::UdpEndpoint:
        return visit(m_udpEndpoints);
    case Object::SwRun:
        return visit(m_swRun);
    case Object::Ipv6TcpConn:
        return visit(m_ipv6TcpConns);
    case Object::Ipv6Udp:
        return visit(m_ipv6Udp);
    case Object::ConnectId:
        return visit(m_connectIds);
    case Object::TcpPerf:
        return visit(m_tcpPerf);
    case Object::TcpApp:
        return visit(m_tcpApp);
    case Object::None:
    case Object::TcpInErrs:
    case Object::TcpHcInSegs:
    case Object::TcpHcOutSegs:
    case Object::UdpHcInDatagrams:
    case Object::UdpHcOutDatagrams:
        break;
    }
    return false;
}

bool Mib2Agent::followsLastAnswer(OidSpan name, Instance& instance)
{
    if (name.size() != m_lastNameLength || !std::equal(name.begin(), name.end(), m_lastName.begin()))
        return false;
    return visitTable(m_last.object, [this, &instance](const auto& snapshot) {
        const auto next = snapshot.table.successor(m_last.position);
        if (!next)
            return false;
        instance = { m_last.object, *next };
        return true;
    });
}

template <typename Row, std::size_t IndexLength>
bool Mib2Agent::nextIn(
    Snapshot<Row, IndexLength>& snapshot, Object object, OidSpan name, bool leaving, Instance& instance)
{
    if (!snapshot.table.precedesEnd(name))
        return true;
    if constexpr (std::is_same_v<Row, TcpPerfRow> || std::is_same_v<Row, TcpAppRow>) {
        // The same connections as tcpEStatsConnectIdTable: with none there, a step past its
        // end reads no counters.
        if (leaving && !snapshot.read && m_connectIds.table.rows().empty())
            return true;
    }
    const auto age = std::chrono::steady_clock::now() - snapshot.readAt;
    bool read = !snapshot.read;
    if (leaving) {
        read = read || (snapshot.table.startsWalk(name) && age > snapshotAgeWhenEnteredFromBefore);
    } else if (snapshot.table.startsWalk(name)) {
        // A table walked again begins the next scan; rows a step of this scan has just read
        // serve its walk.
        if (snapshot.walked && snapshot.scan == m_scan) {
            ++m_scan;
            m_source.endScan();
        }
        read = read || snapshot.walked || snapshot.scan != m_scan || age > stepReadLifetime;
        if (read && !refresh(snapshot))
            return false;
        snapshot.walked = true;
        read = false;
    }
    if (read && !refresh(snapshot, leaving))
        return false;
    if (const auto position = snapshot.table.next(name))
        instance = { object, *position, leaving };
    return true;
}

OidSpan Mib2Agent::scalarName(Object object)
{
    switch (object) {
    case Object::TcpInErrs:
        return tcpInErrsInstance;
    case Object::TcpHcInSegs:
        return tcpHcInSegsInstance;
    case Object::TcpHcOutSegs:
        return tcpHcOutSegsInstance;
    case Object::UdpHcInDatagrams:
        return udpHcInDatagramsInstance;
    case Object::UdpHcOutDatagrams:
        return udpHcOutDatagramsInstance;
    default:
        return {};
    }
}

bool Mib2Agent::findNext(OidSpan name, Instance& instance)
{
    // The objects in the order of their names.
    instance = {};
    if (!nextIn(m_tcp, Object::TcpConn, name, false, instance))
        return false;
    if (instance.object != Object::None)
        return true;
    bool leaving = false;
    for (const Object object : { Object::TcpInErrs, Object::Ipv6TcpConn, Object::TcpHcInSegs,
             Object::TcpHcOutSegs, Object::TcpConnection, Object::TcpListener, Object::Udp, Object::Ipv6Udp,
             Object::UdpEndpoint, Object::UdpHcInDatagrams, Object::UdpHcOutDatagrams, Object::SwRun,
             Object::ConnectId, Object::TcpPerf, Object::TcpApp }) {
        if (const OidSpan scalar = scalarName(object); !scalar.empty()) {
            if (compareOids(name, scalar) < 0) {
                instance = { object, {} };
                return true;
            }
            // A step from the scalar into the table after it enters that table from before.
            leaving = leaving || hasOidPrefix(name, scalar.first(scalar.size() - 1));
            continue;
        }
        bool read = true;
        visitTable(object, [&](auto& snapshot) {
            read = nextIn(snapshot, object, name, leaving, instance);
            leaving = leaving || hasOidPrefix(name, snapshot.table.entry());
            return true;
        });
        if (!read)
            return false;
        if (instance.object != Object::None)
            return true;
    }
    return true;
}

bool Mib2Agent::findExact(OidSpan name, Instance& instance)
{
    instance = {};
    for (const Object object : { Object::TcpInErrs, Object::TcpHcInSegs, Object::TcpHcOutSegs,
             Object::UdpHcInDatagrams, Object::UdpHcOutDatagrams }) {
        if (compareOids(name, scalarName(object)) == 0) {
            instance = { object, {} };
            return true;
        }
    }
    bool read = true;
    for (const Object object : { Object::TcpConn, Object::Ipv6TcpConn, Object::TcpConnection,
             Object::TcpListener, Object::Udp, Object::Ipv6Udp, Object::UdpEndpoint, Object::SwRun,
             Object::ConnectId, Object::TcpPerf, Object::TcpApp }) {
        const bool inTable = visitTable(object, [&](auto& snapshot) {
            if (!hasOidPrefix(name, snapshot.table.entry()))
                return false;
            // A Get is served from the current snapshot, so it never disturbs a walk in progress.
            if (!snapshot.read && !refresh(snapshot)) {
                read = false;
                return true;
            }
            if (const auto position = snapshot.table.exact(name))
                instance = { object, *position };
            return true;
        });
        if (inTable)
            break;
    }
    return read;
}

AsnInteger32 Mib2Agent::getNext(SnmpVarBind& binding)
{
    const OidSpan name = oidSpan(binding.name);
    Instance instance;
    if (!followsLastAnswer(name, instance) && !findNext(name, instance))
        return SNMP_ERRORSTATUS_GENERR;
    if (instance.object != Object::None)
        return answer(binding, instance, true);
    // Nothing further in the view: point the caller past it.
    UINT* ids = copyIds(afterMib2, std::size(afterMib2));
    if (!ids)
        return SNMP_ERRORSTATUS_GENERR;
    SnmpUtilOidFree(&binding.name);
    binding.name = { static_cast<UINT>(std::size(afterMib2)), ids };
    setNull(binding.value);
    return SNMP_ERRORSTATUS_NOSUCHNAME;
}

AsnInteger32 Mib2Agent::connectionNamed(OidSpan name, InetEndpoint& local, InetEndpoint& remote)
{
    constexpr UINT tcpConnStateColumn = 1;
    if (hasOidPrefix(name, tcpConnEntry) && name.size() > std::size(tcpConnEntry)
        && name[std::size(tcpConnEntry)] == tcpConnStateColumn) {
        // Read afresh: a connection opened since the last walk can be closed too.
        if (!refresh(m_tcp))
            return SNMP_ERRORSTATUS_GENERR;
        const auto position = m_tcp.table.exact(name);
        if (!position)
            return SNMP_ERRORSTATUS_NOSUCHNAME;
        const TcpConnRow& row = m_tcp.table.rows()[position->row];
        local = { InetAddressType::Ipv4, static_cast<std::uint16_t>(row.localPort), {} };
        remote = { InetAddressType::Ipv4, static_cast<std::uint16_t>(row.remotePort), {} };
        std::memcpy(local.address.data(), &row.localAddress, 4);
        std::memcpy(remote.address.data(), &row.remoteAddress, 4);
        return SNMP_ERRORSTATUS_NOERROR;
    }
    if (hasOidPrefix(name, tcpConnectionEntry) && name.size() > std::size(tcpConnectionEntry)
        && name[std::size(tcpConnectionEntry)] == tcpConnectionStateColumn) {
        if (!refresh(m_tcpConnections))
            return SNMP_ERRORSTATUS_GENERR;
        const auto position = m_tcpConnections.table.exact(name);
        if (!position)
            return SNMP_ERRORSTATUS_NOSUCHNAME;
        local = m_tcpConnections.table.rows()[position->row].local;
        remote = m_tcpConnections.table.rows()[position->row].remote;
        return SNMP_ERRORSTATUS_NOERROR;
    }
    return SNMP_ERRORSTATUS_NOSUCHNAME;
}

AsnInteger32 Mib2Agent::stopProcess(SnmpVarBind& binding)
{
    // The process as the agent last read it, in this scan or the last one: its start time
    // tells it from a later one under the same pid. One it never read is read now.
    const OidSpan name = oidSpan(binding.name);
    const std::uint32_t pid = name.back();
    const auto seen = std::lower_bound(
        m_seenStartTimes.begin(), m_seenStartTimes.end(), std::pair<std::uint32_t, std::uint64_t> { pid, 0 });
    SwRunRow row {};
    if (!m_swRun.read && seen != m_seenStartTimes.end() && seen->first == pid) {
        row.pid = pid;
        row.startTime = seen->second;
    } else {
        if (!m_swRun.read && !refresh(m_swRun))
            return SNMP_ERRORSTATUS_GENERR;
        const auto position = m_swRun.table.exact(name);
        if (!position)
            return SNMP_ERRORSTATUS_NOSUCHNAME;
        row = m_swRun.table.rows()[position->row];
    }
    if (binding.value.asnType != ASN_INTEGER
        || binding.value.asnValue.number != static_cast<LONG>(SwRunStatus::Invalid))
        return SNMP_ERRORSTATUS_BADVALUE;
    const int error = m_source.stopProcess(row.pid, row.startTime);
    endScan();
    return setStatus(error);
}

AsnInteger32 Mib2Agent::set(SnmpVarBind& binding)
{
    const OidSpan name = oidSpan(binding.name);
    if (hasOidPrefix(name, swRunEntry) && name.size() == std::size(swRunEntry) + 2
        && name[std::size(swRunEntry)] == swRunStatusColumn)
        return stopProcess(binding);
    endScan(); // a set is no step of a walk, and must see the kernel as it is now
    InetEndpoint local;
    InetEndpoint remote;
    const AsnInteger32 found = connectionNamed(oidSpan(binding.name), local, remote);
    if (found != SNMP_ERRORSTATUS_NOERROR)
        return found;
    // deleteTCB is the only state a manager may set.
    constexpr LONG deleteTcb = 12;
    if (binding.value.asnType != ASN_INTEGER || binding.value.asnValue.number != deleteTcb)
        return SNMP_ERRORSTATUS_BADVALUE;
    const int error = m_source.closeTcp(local, remote);
    endScan(); // the tables have changed: the next walk reads them afresh
    return setStatus(error);
}

AsnInteger32 Mib2Agent::get(SnmpVarBind& binding)
{
    Instance instance;
    if (!findExact(oidSpan(binding.name), instance))
        return SNMP_ERRORSTATUS_GENERR;
    if (instance.object == Object::None)
        return SNMP_ERRORSTATUS_NOSUCHNAME;
    return answer(binding, instance, false);
}

bool Mib2Agent::scalarValue(Object object, AsnAny& value)
{
    if (object == Object::TcpInErrs) {
        const auto errors = m_source.tcpInErrors();
        if (!errors)
            return false;
        value.asnType = ASN_COUNTER32;
        value.asnValue.counter = *errors;
        return true;
    }
    std::optional<std::uint64_t> count;
    if (object == Object::TcpHcInSegs || object == Object::TcpHcOutSegs) {
        if (const auto segments = m_source.tcpSegments())
            count = object == Object::TcpHcInSegs ? segments->in : segments->out;
    } else if (const auto datagrams = m_source.udpDatagrams()) {
        count = object == Object::UdpHcInDatagrams ? datagrams->in : datagrams->out;
    }
    if (!count)
        return false;
    value.asnType = ASN_COUNTER64;
    value.asnValue.counter64.QuadPart = *count;
    return true;
}

AsnInteger32 Mib2Agent::answer(SnmpVarBind& binding, const Instance& instance, bool replaceName)
{
    m_last = {};
    UINT* name = m_lastName.data();
    std::size_t nameLength = 0;
    AsnAny value {};
    bool valueMade = true;
    if (const OidSpan scalar = scalarName(instance.object); !scalar.empty()) {
        nameLength = scalar.size();
        std::copy(scalar.begin(), scalar.end(), name);
        if (!scalarValue(instance.object, value))
            return SNMP_ERRORSTATUS_GENERR;
    } else if (!visitTable(instance.object, [&](auto& snapshot) {
                   nameLength = snapshot.table.writeName(instance.position, name);
                   using Row = typename std::decay_t<decltype(snapshot.table.rows())>::value_type;
                   if (instance.position.column == processColumn<Row>() && !instance.steppedIn)
                       findOwners(snapshot);
                   valueMade = setValue(
                       value, snapshot.table.rows()[instance.position.row], instance.position.column);
                   return true;
               })) {
        return SNMP_ERRORSTATUS_NOSUCHNAME;
    }
    if (!valueMade) {
        SnmpUtilAsnAnyFree(&value);
        return SNMP_ERRORSTATUS_GENERR;
    }
    if (replaceName) {
        UINT* ids = copyIds(name, nameLength);
        if (!ids) {
            SnmpUtilAsnAnyFree(&value);
            return SNMP_ERRORSTATUS_GENERR;
        }
        SnmpUtilOidFree(&binding.name);
        binding.name = { static_cast<UINT>(nameLength), ids };
    }
    // The previous value is the caller's to free; it is overwritten, not released.
    binding.value = value;
    m_last = instance;
    m_lastNameLength = nameLength;
    return SNMP_ERRORSTATUS_NOERROR;
}
