#include "scan/remote_mib_agent.h"

#include <cstring>

namespace {

std::vector<std::string> splitOptions(const std::string& text)
{
    std::vector<std::string> words;
    if (!splitShellWords(text, words))
        words.clear();
    return words;
}

std::string quotingError(const std::string& peer, const std::string& text)
{
    std::vector<std::string> words;
    return splitShellWords(text, words) ? std::string()
                                        : "invalid SNMP options for " + peer + ": unterminated quote";
}

// An address column holds at least four bytes by the MIB; a shorter value is read
// only as far as it goes and the rest stays zero, as in the module's walk.
std::uint32_t addressValue(const MibValue& value)
{
    std::uint32_t address = 0;
    std::memcpy(&address, value.octets.data(), value.octets.size() < 4 ? value.octets.size() : 4);
    return address;
}

std::int32_t integerValue(const MibValue& value)
{
    return static_cast<std::int32_t>(value.number);
}

} // namespace

RemoteMibAgent::RemoteMibAgent(
    const std::string& peer, const std::string& snmpOptions, const RemoteAgentSettings& settings)
    : m_session(peer, splitOptions(snmpOptions), settings, quotingError(peer, snmpOptions))
{
}

RemoteMibAgent::RemoteMibAgent(const std::string& peer, const std::vector<std::string>& snmpArguments,
    const RemoteAgentSettings& settings)
    : m_session(peer, snmpArguments, settings)
{
}

bool RemoteMibAgent::run(SnmpOperation& operation)
{
    m_lastWalkOk = m_session.start(operation) && m_session.finish();
    return m_lastWalkOk;
}

std::vector<MibRow> RemoteMibAgent::walkColumns(
    const std::vector<std::uint32_t>& entry, const std::vector<std::uint32_t>& columns)
{
    ColumnWalk walk(entry, columns);
    run(walk);
    return std::move(walk.rows());
}

std::vector<MibEndpoint> RemoteMibAgent::tcpRecords(const std::vector<MibRow>& rows)
{
    std::vector<MibEndpoint> records(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::vector<MibValue>& values = rows[i].values;
        records[i].stateValue = integerValue(values[0]);
        records[i].localAddress = addressValue(values[1]);
        records[i].localPortNumber = integerValue(values[2]);
        records[i].remoteAddress = addressValue(values[3]);
        records[i].remotePortNumber = integerValue(values[4]);
    }
    return records;
}

std::vector<MibEndpoint> RemoteMibAgent::udpRecords(const std::vector<MibRow>& rows)
{
    std::vector<MibEndpoint> records(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        records[i].localAddress = addressValue(rows[i].values[0]);
        records[i].localPortNumber = integerValue(rows[i].values[1]);
    }
    return records;
}

std::vector<MibEndpoint> RemoteMibAgent::walkTcpTable()
{
    return tcpRecords(walkColumns(mibtables::kTcpConnEntry, mibtables::kTcpConnColumns));
}

std::vector<MibEndpoint> RemoteMibAgent::walkUdpTable()
{
    return udpRecords(walkColumns(mibtables::kUdpEntry, mibtables::kUdpColumns));
}

namespace {

using IndexDecoder = bool (*)(std::span<const std::uint32_t>, InetEndpointRecord&);

std::vector<InetEndpointRecord> endpointRecords(
    const std::vector<MibRow>& rows, IndexDecoder decode, std::size_t processValue, bool withState)
{
    std::vector<InetEndpointRecord> records;
    records.reserve(rows.size());
    for (const MibRow& row : rows) {
        InetEndpointRecord record;
        if (!decode(row.index, record))
            continue;
        if (withState)
            record.stateValue = integerValue(row.values[0]);
        record.pid = static_cast<std::uint32_t>(row.values[processValue].number);
        records.push_back(record);
    }
    return records;
}

} // namespace

std::vector<InetEndpointRecord> RemoteMibAgent::walkTcpConnections()
{
    return endpointRecords(walkTcpConnectionTable(), decodeTcpConnectionIndex, 1, true);
}

std::vector<InetEndpointRecord> RemoteMibAgent::walkTcpListeners()
{
    return endpointRecords(walkTcpListenerTable(), decodeTcpListenerIndex, 0, false);
}

std::vector<InetEndpointRecord> RemoteMibAgent::walkUdpEndpoints()
{
    return endpointRecords(walkUdpEndpointTable(), decodeUdpEndpointIndex, 0, false);
}

std::vector<ProcessRecord> RemoteMibAgent::walkProcesses()
{
    std::vector<ProcessRecord> records;
    for (const MibRow& row : walkProcessTable()) {
        if (row.index.size() == 1)
            records.push_back(
                { row.index[0], row.values[0].octets, row.values[1].octets, row.values[2].octets });
    }
    return records;
}

std::string RemoteMibAgent::sysName()
{
    ScalarGet get(mibtables::kSysName);
    if (!run(get))
        return {};
    return get.value().octets;
}

std::vector<MibRow> RemoteMibAgent::walkTcpConnectionTable()
{
    return walkColumns({ 1, 3, 6, 1, 2, 1, 6, 19, 1 }, { 7, 8 });
}

std::vector<MibRow> RemoteMibAgent::walkTcpListenerTable()
{
    return walkColumns({ 1, 3, 6, 1, 2, 1, 6, 20, 1 }, { 4 });
}

std::vector<MibRow> RemoteMibAgent::walkUdpEndpointTable()
{
    return walkColumns({ 1, 3, 6, 1, 2, 1, 7, 7, 1 }, { 8 });
}

std::vector<MibRow> RemoteMibAgent::walkProcessTable()
{
    return walkColumns({ 1, 3, 6, 1, 2, 1, 25, 4, 2, 1 }, { 2, 4, 5 });
}
