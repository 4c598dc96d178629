#include "scan/remote_mib_agent.h"

#include <cstring>

static_assert(RemoteAgentSettings().maxRowsPerTable == kMaxWalkRecords,
    "the remote walks take as many rows as the module's");

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

} // namespace

RemoteMibAgent::RemoteMibAgent(
    const std::string& peer, const std::string& snmpOptions, const RemoteAgentSettings& settings)
    : m_session(peer, splitOptions(snmpOptions), settings, quotingError(peer, snmpOptions))
    , m_settings(settings)
{
}

RemoteMibAgent::RemoteMibAgent(const std::string& peer, const std::vector<std::string>& snmpArguments,
    const RemoteAgentSettings& settings)
    : m_session(peer, snmpArguments, settings)
    , m_settings(settings)
{
}

void RemoteMibAgent::beginScan()
{
    m_scanBudget.emplace(m_settings);
    m_decoder.clear();
}

bool RemoteMibAgent::run(SnmpOperation& operation)
{
    m_lastWalkOk = m_session.start(operation) && m_session.finish();
    return m_lastWalkOk;
}

std::vector<MibRow> RemoteMibAgent::walkColumns(
    const std::vector<std::uint32_t>& entry, const std::vector<std::uint32_t>& columns)
{
    std::optional<ScanBudget> ownBudget;
    if (!m_scanBudget)
        ownBudget.emplace(m_settings);
    ColumnWalk walk(entry, columns, m_scanBudget ? *m_scanBudget : *ownBudget);
    run(walk);
    return std::move(walk.rows());
}

std::vector<MibEndpoint> RemoteMibAgent::walkTcpTable()
{
    return m_decoder.tcpRecords(walkColumns(mibtables::kTcpConnEntry, mibtables::kTcpConnColumns));
}

std::vector<MibEndpoint> RemoteMibAgent::walkUdpTable()
{
    return m_decoder.udpRecords(walkColumns(mibtables::kUdpEntry, mibtables::kUdpColumns));
}

std::vector<InetEndpointRecord> RemoteMibAgent::walkTcpConnections()
{
    return m_decoder.tcpConnections(walkTcpConnectionTable());
}

std::vector<InetEndpointRecord> RemoteMibAgent::walkTcpListeners()
{
    return m_decoder.tcpListeners(walkTcpListenerTable());
}

std::vector<InetEndpointRecord> RemoteMibAgent::walkUdpEndpoints()
{
    return m_decoder.udpEndpoints(walkUdpEndpointTable());
}

std::vector<ProcessRecord> RemoteMibAgent::walkProcesses()
{
    return m_decoder.processes(walkProcessTable());
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
