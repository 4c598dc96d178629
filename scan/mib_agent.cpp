#include "scan/mib_agent.h"

#include "platform/module_loader.h"
#include "platform/winsock.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <type_traits>
#include <vector>

namespace {

constexpr UINT kColumnIndex = 9; // the tenth sub-identifier names the column
constexpr UINT kTcpStart[] { 1, 3, 6, 1, 2, 1, 6, 13, 1, 1 };
constexpr UINT kUdpStart[] { 1, 3, 6, 1, 2, 1, 7, 5, 1, 1 };

// Winsock's requested version lives for the whole run, as the start-up hands its address on.
WORD g_versionRequested = 0;
WSADATA g_wsaData {};

// Five columns per row, with room left for columns the walk ignores.
constexpr std::size_t kMaxWalkQueries = 6 * kMaxWalkRecords;

// What a table column holds, so a reply of another type is never read as one.
enum class ColumnKind
{
    Ignored,
    Address,
    Integer
};

ColumnKind columnKind(bool tcp, UINT column)
{
    if (tcp) {
        if (column == 2 || column == 4)
            return ColumnKind::Address;
        return column >= 1 && column <= 5 ? ColumnKind::Integer : ColumnKind::Ignored;
    }
    if (column == 1)
        return ColumnKind::Address;
    return column == 2 ? ColumnKind::Integer : ColumnKind::Ignored;
}

// The value's union holds a pointer only for string-like types and a 32-bit number only
// for the integer-like ones: any other type read as the column's would be a wild pointer
// or a wrong number.
bool holds(ColumnKind kind, BYTE type)
{
    switch (kind) {
    case ColumnKind::Address:
        return type == ASN_OCTETSTRING || type == ASN_IPADDRESS;
    case ColumnKind::Integer:
        return type == ASN_INTEGER || type == ASN_COUNTER32 || type == ASN_GAUGE32 || type == ASN_TIMETICKS
            || type == ASN_UNSIGNED32;
    case ColumnKind::Ignored:
        break;
    }
    return true;
}

// An address column holds at least four bytes by the MIB; a shorter value is read
// only as far as it goes and the rest stays zero.
std::uint32_t addressValue(const AsnAny& value)
{
    const AsnOctetString& text = value.asnValue.string;
    std::uint32_t address = 0;
    if (text.stream)
        std::memcpy(&address, text.stream, text.length < 4 ? text.length : 4);
    return address;
}

std::int32_t integerValue(const AsnAny& value)
{
    return value.asnValue.number;
}

// One reusable request: a single binding whose name and value the agent replaces.
class WalkRequest
{
public:
    explicit WalkRequest(const UINT (&start)[10])
        : WalkRequest(std::vector<UINT>(start, start + kColumnIndex), start[kColumnIndex])
    {
    }
    // A walk of any table from its entry's column firstColumn.
    WalkRequest(std::vector<UINT> entry, UINT firstColumn)
        : m_entry(std::move(entry))
    {
        std::vector<UINT> start = m_entry;
        start.push_back(firstColumn);
        const AsnObjectIdentifier startName { static_cast<UINT>(start.size()), start.data() };
        // The agent frees the name it is given, so it must come from the shared allocator.
        SnmpUtilOidCpy(&m_binding.name, &startName);
        m_binding.value.asnType = ASN_NULL;
        m_list.list = &m_binding;
        m_list.len = 1;
    }
    ~WalkRequest() { SnmpUtilVarBindFree(&m_binding); }
    WalkRequest(const WalkRequest&) = delete;
    WalkRequest& operator=(const WalkRequest&) = delete;

    enum class Reply
    {
        Value, // a value of the table
        End, // past the table, or the agent's documented end of its view
        Failed // the query failed, or its reply does not advance
    };

    // Sends one GetNext.
    Reply next(PFNSNMPEXTENSIONQUERY query)
    {
        if (!m_binding.name.ids || m_binding.name.idLength == 0)
            return Reply::Failed;
        SnmpUtilAsnAnyFree(&m_binding.value); // the agent writes over the value without freeing it
        // The agent frees the name it answers; the one asked for is kept in a buffer
        // reused across the walk, so a query costs no allocation of ours.
        m_asked.assign(m_binding.name.ids, m_binding.name.ids + m_binding.name.idLength);
        AsnInteger32 errorStatus = SNMP_ERRORSTATUS_NOERROR;
        AsnInteger32 errorIndex = 0;
        const BOOL answered = query(SNMP_PDU_GETNEXT, &m_list, &errorStatus, &errorIndex);
        if (!answered)
            return Reply::Failed;
        if (errorStatus == SNMP_ERRORSTATUS_NOSUCHNAME)
            return Reply::End;
        const bool advanced = m_binding.name.ids
            && std::lexicographical_compare(m_asked.begin(), m_asked.end(), m_binding.name.ids,
                m_binding.name.ids + m_binding.name.idLength);
        if (errorStatus != SNMP_ERRORSTATUS_NOERROR || !advanced)
            return Reply::Failed;
        // The next table of the agent's view follows the last column: the walk ends there.
        const bool inTable = m_binding.name.idLength > m_entry.size()
            && std::equal(m_entry.begin(), m_entry.end(), m_binding.name.ids);
        return inTable ? Reply::Value : Reply::End;
    }

    UINT column() const { return m_binding.name.ids[m_entry.size()]; }
    // The sub-identifiers after the column: the row's index.
    std::span<const UINT> index() const
    {
        return { m_binding.name.ids + m_entry.size() + 1, m_binding.name.idLength - m_entry.size() - 1 };
    }
    const AsnAny& value() const { return m_binding.value; }

private:
    RFC1157VarBind m_binding {};
    RFC1157VarBindList m_list {};
    std::vector<UINT> m_asked;
    const std::vector<UINT> m_entry; // the table's entry name, the first nine sub-identifiers
};

// What a walk does after a value: go on, end there (the rows wanted are all read), or fail
// (a value that does not fit).
enum class WalkStep
{
    Next,
    End,
    Fail
};

// Sends GetNext after GetNext and hands each value to visit, until the table ends, a reply
// fails, the bound is reached, or visit ends the walk. True when the walk failed rather
// than reached its end.
template <typename Visit> bool walkReplies(PFNSNMPEXTENSIONQUERY query, WalkRequest& request, Visit&& visit)
{
    for (std::size_t queries = 0; queries < kMaxWalkQueries; ++queries) {
        const WalkRequest::Reply reply = request.next(query);
        if (reply != WalkRequest::Reply::Value)
            return reply == WalkRequest::Reply::Failed;
        const WalkStep step = visit();
        if (step != WalkStep::Next)
            return step == WalkStep::Fail;
    }
    return true;
}

} // namespace

bool MibAgent::load(const char* moduleName)
{
    // The module stays loaded for the whole run: its handle is not kept.
    HMODULE module = LoadLibraryA(moduleName);
    if (!module)
        return false;
    m_init = reinterpret_cast<PFNSNMPEXTENSIONINIT>(GetProcAddress(module, "SnmpExtensionInit"));
    if (!m_init)
        return false;
    m_query = reinterpret_cast<PFNSNMPEXTENSIONQUERY>(GetProcAddress(module, "SnmpExtensionQuery"));
    m_prefetch = reinterpret_cast<void (*)()>(GetProcAddress(module, "VeltranPrefetch"));
    m_endScan = reinterpret_cast<void (*)()>(GetProcAddress(module, "VeltranEndScan"));
    return m_query != nullptr;
}

void MibAgent::useEntryPoints(PFNSNMPEXTENSIONINIT init, PFNSNMPEXTENSIONQUERY query)
{
    m_init = init;
    m_query = query;
}

bool MibAgent::init()
{
    if (!m_init || !m_query)
        return false;
    return m_init(GetTickCount(), &m_trapEvent, &m_supportedView) != FALSE;
}

void MibAgent::prefetch()
{
    if (m_prefetch)
        m_prefetch();
}

void MibAgent::endScan()
{
    if (m_endScan)
        m_endScan();
}

std::vector<MibEndpoint> MibAgent::walkTcpTable()
{
    return walk(Table::Tcp);
}

std::vector<MibEndpoint> MibAgent::walkUdpTable()
{
    return walk(Table::Udp);
}

std::vector<MibEndpoint> MibAgent::walk(Table table)
{
    std::vector<MibEndpoint> records;
    m_lastWalkFailed = true;
    if (!m_query)
        return records;
    const bool tcp = table == Table::Tcp;
    WalkRequest request(tcp ? kTcpStart : kUdpStart);
    UINT currentColumn = 1;
    std::size_t cursor = 0;
    // Each column comes back whole and in the same row order, so the k-th value of a
    // column belongs to the k-th record that column 1 created.
    m_lastWalkFailed = walkReplies(m_query, request, [&] {
        const UINT column = request.column();
        const ColumnKind kind = columnKind(tcp, column);
        const AsnAny& value = request.value();
        if (!holds(kind, value.asnType))
            return WalkStep::Fail;
        if (column != currentColumn) {
            currentColumn = column;
            cursor = 0;
        }
        if (column == 1) {
            if (records.size() >= kMaxWalkRecords)
                return WalkStep::Fail;
            records.emplace_back();
            cursor = records.size() - 1;
            if (tcp)
                records[cursor].stateValue = integerValue(value);
            else
                records[cursor].localAddress = addressValue(value);
            return WalkStep::Next;
        }
        // More values than records (the table grew between two column passes) are dropped.
        if (kind == ColumnKind::Ignored || cursor >= records.size())
            return WalkStep::Next;
        MibEndpoint& record = records[cursor++];
        if (!tcp) {
            record.localPortNumber = integerValue(value);
            return WalkStep::Next;
        }
        switch (column) {
        case 2:
            record.localAddress = addressValue(value);
            break;
        case 3:
            record.localPortNumber = integerValue(value);
            break;
        case 4:
            record.remoteAddress = addressValue(value);
            break;
        case 5:
            record.remotePortNumber = integerValue(value);
            break;
        }
        return WalkStep::Next;
    });
    return records;
}

namespace {

// The later tables' columns of one row, by kind, for the type checks.
ColumnKind laterColumnKind(UINT column)
{
    return column == 7 || column == 8 || column == 4 ? ColumnKind::Integer : ColumnKind::Ignored;
}

static_assert(std::is_same_v<UINT, std::uint32_t>);

bool decodeIndex(int table, std::span<const UINT> index, InetEndpointRecord& record)
{
    switch (table) {
    case 0:
        return decodeTcpConnectionIndex(index, record);
    case 1:
        return decodeTcpListenerIndex(index, record);
    default:
        return decodeUdpEndpointIndex(index, record);
    }
}

bool sameEnds(const InetEndpointRecord& a, const InetEndpointRecord& b)
{
    return a.localType == b.localType && a.localAddress == b.localAddress && a.localPort == b.localPort
        && a.remoteType == b.remoteType && a.remoteAddress == b.remoteAddress && a.remotePort == b.remotePort;
}

std::string octetsText(const AsnAny& value)
{
    const AsnOctetString& text = value.asnValue.string;
    return text.stream ? std::string(reinterpret_cast<const char*>(text.stream), text.length) : std::string();
}

} // namespace

std::vector<InetEndpointRecord> MibAgent::walkTcpConnections()
{
    return walkLater(Later::TcpConnections);
}

std::vector<InetEndpointRecord> MibAgent::walkTcpListeners()
{
    return walkLater(Later::TcpListeners);
}

std::vector<InetEndpointRecord> MibAgent::walkUdpEndpoints()
{
    return walkLater(Later::UdpEndpoints);
}

// The same GetNext walk as the IPv4 tables', rows keyed by their index rather than by a
// first column: the first column served makes the rows, the process column fills them.
std::vector<InetEndpointRecord> MibAgent::walkLater(Later table)
{
    std::vector<InetEndpointRecord> records;
    m_lastWalkFailed = true;
    if (!m_query)
        return records;
    const int kind = static_cast<int>(table);
    static const std::vector<UINT> entries[] { { 1, 3, 6, 1, 2, 1, 6, 19, 1 }, { 1, 3, 6, 1, 2, 1, 6, 20, 1 },
        { 1, 3, 6, 1, 2, 1, 7, 7, 1 } };
    const UINT firstColumn = table == Later::TcpConnections ? 7 : table == Later::TcpListeners ? 4 : 8;
    const UINT processColumn = table == Later::TcpListeners ? 4 : 8;
    WalkRequest request(entries[kind], firstColumn);
    std::size_t cursor = 0;
    UINT currentColumn = firstColumn;
    InetEndpointRecord read;
    m_lastWalkFailed = walkReplies(m_query, request, [&] {
        const UINT column = request.column();
        const AsnAny& value = request.value();
        if (!holds(laterColumnKind(column), value.asnType) || !decodeIndex(kind, request.index(), read))
            return WalkStep::Fail;
        if (column != currentColumn) {
            currentColumn = column;
            cursor = 0;
        }
        if (column == firstColumn) {
            if (records.size() >= kMaxWalkRecords)
                return WalkStep::Fail;
            if (table == Later::TcpConnections)
                read.stateValue = integerValue(value);
            records.push_back(read);
            cursor = records.size() - 1;
        }
        if (column != processColumn)
            return WalkStep::Next;
        // The rows come back in the same order in every column; a row that went missing
        // between two columns is looked for, and one that was not there is dropped.
        if (cursor >= records.size() || !sameEnds(records[cursor], read)) {
            const auto found = std::find_if(records.begin(), records.end(),
                [&](const InetEndpointRecord& record) { return sameEnds(record, read); });
            if (found == records.end())
                return WalkStep::Next;
            cursor = std::size_t(found - records.begin());
        }
        records[cursor++].pid = static_cast<std::uint32_t>(integerValue(value));
        return WalkStep::Next;
    });
    return records;
}

std::vector<InetEndpointRecord> MibAgent::walkIpv6TcpConnections()
{
    return walkIpv6Table(true);
}

std::vector<InetEndpointRecord> MibAgent::walkIpv6UdpEndpoints()
{
    return walkIpv6Table(false);
}

// ipv6TcpConnTable's state column or ipv6UdpTable's interface column, the rows from the index.
std::vector<InetEndpointRecord> MibAgent::walkIpv6Table(bool tcp)
{
    std::vector<InetEndpointRecord> records;
    m_lastWalkFailed = true;
    if (!m_query)
        return records;
    const UINT column = tcp ? 6 : 3;
    WalkRequest request(tcp ? std::vector<UINT> { 1, 3, 6, 1, 2, 1, 6, 16, 1 }
                            : std::vector<UINT> { 1, 3, 6, 1, 2, 1, 7, 6, 1 },
        column);
    InetEndpointRecord read;
    m_lastWalkFailed = walkReplies(m_query, request, [&] {
        if (request.column() != column)
            return WalkStep::End;
        const bool decoded
            = tcp ? decodeIpv6TcpConnIndex(request.index(), read) : decodeIpv6UdpIndex(request.index(), read);
        if (!holds(ColumnKind::Integer, request.value().asnType) || !decoded)
            return WalkStep::Fail;
        if (tcp)
            read.stateValue = integerValue(request.value());
        if (records.size() >= kMaxWalkRecords)
            return WalkStep::Fail;
        records.push_back(read);
        return WalkStep::Next;
    });
    return records;
}

std::vector<ProcessRecord> MibAgent::walkProcesses()
{
    std::vector<ProcessRecord> records;
    m_lastWalkFailed = true;
    if (!m_query)
        return records;
    WalkRequest request({ 1, 3, 6, 1, 2, 1, 25, 4, 2, 1 }, 1);
    m_lastWalkFailed = walkReplies(m_query, request, [&] {
        const UINT column = request.column();
        const std::span<const UINT> index = request.index();
        const AsnAny& value = request.value();
        const bool text = column == 2 || column == 4 || column == 5;
        if (index.size() != 1 || (column == 1 && !holds(ColumnKind::Integer, value.asnType))
            || (text && !holds(ColumnKind::Address, value.asnType)))
            return WalkStep::Fail;
        if (column == 1) {
            if (records.size() >= kMaxWalkRecords)
                return WalkStep::Fail;
            records.push_back({ index[0], {}, {}, {} });
            return WalkStep::Next;
        }
        if (!text)
            return WalkStep::Next;
        // Rows are sorted by process id in every column.
        const auto found = std::lower_bound(records.begin(), records.end(), index[0],
            [](const ProcessRecord& record, UINT pid) { return record.pid < pid; });
        if (found != records.end() && found->pid == index[0])
            (column == 2 ? found->name : column == 4 ? found->path : found->parameters) = octetsText(value);
        return WalkStep::Next;
    });
    return records;
}

std::vector<MibRow> MibAgent::walkColumns(const std::vector<UINT>& entry, const std::vector<UINT>& columns)
{
    // A walk's replies advance, so each column comes in index order: the first column makes
    // the rows, and every later one joins them in one pass. A map keyed by each cell's index
    // was a third of a traffic scan at 20,000 pairs.
    std::vector<MibRow> rows;
    for (std::size_t c = 0; c < columns.size() && !m_lastWalkFailed; ++c) {
        WalkRequest request(entry, columns[c]);
        std::size_t joined = 0;
        m_lastWalkFailed = walkReplies(m_query, request, [&] {
            if (request.column() != columns[c])
                return WalkStep::End;
            const std::span<const UINT> index = request.index();
            const AsnAny& any = request.value();
            MibValue value;
            value.type = any.asnType;
            if (any.asnType == ASN_COUNTER64)
                value.number = static_cast<std::int64_t>(any.asnValue.counter64.QuadPart);
            else if (holds(ColumnKind::Integer, any.asnType))
                value.number = any.asnType == ASN_INTEGER ? any.asnValue.number : any.asnValue.unsigned32;
            else
                return WalkStep::Fail;
            if (c == 0) {
                if (rows.size() >= kMaxWalkRecords)
                    return WalkStep::Fail;
                MibRow& row = rows.emplace_back();
                row.index.assign(index.begin(), index.end());
                row.values.resize(columns.size());
                row.values[0] = value;
                return WalkStep::Next;
            }
            const auto before = [&index](const MibRow& row) {
                return std::lexicographical_compare(row.index.begin(), row.index.end(), index.begin(), index.end());
            };
            while (joined < rows.size() && before(rows[joined]))
                ++joined;
            if (joined < rows.size() && std::ranges::equal(rows[joined].index, index))
                rows[joined].values[c] = value;
            return WalkStep::Next;
        });
    }
    return rows;
}

std::vector<TrafficRecord> MibAgent::walkTraffic()
{
    m_lastWalkFailed = m_query == nullptr;
    if (m_lastWalkFailed)
        return {};
    // The counters first: the module's read of them, which asks the kernel for every
    // connection's tcp_info, then serves the connect indexes and the scan's other tables.
    const std::vector<MibRow> perf = walkColumns(trafficmib::kPerfEntry, trafficmib::kPerfColumns);
    const std::vector<MibRow> app = walkColumns(trafficmib::kAppEntry, trafficmib::kAppColumns);
    const std::vector<MibRow> ids = walkColumns(trafficmib::kConnectIdEntry, trafficmib::kConnectIdColumns);
    if (m_lastWalkFailed)
        return {};
    std::string problem;
    std::vector<TrafficRecord> records = joinTraffic(ids, perf, app, problem);
    m_lastWalkFailed = !problem.empty();
    return records;
}

std::vector<TrafficRecord> MibAgent::readTraffic()
{
    std::vector<TrafficRecord> records = walkTraffic();
    if (!lastWalkFailed())
        m_trafficHistory.apply(records);
    return records;
}

std::string startNetworking(MibAgent& agent, const char* moduleName)
{
    g_versionRequested = 0x0101;
    if (WSAStartup(g_versionRequested, &g_wsaData) != 0)
        return "Could not initialize winsock !";
    if (!agent.load(moduleName))
        return "Could not load extension DLL !";
    if (!agent.init())
        return "Could not initialize extension DLL !";
    return std::string();
}
