#include "scan/agent_job.h"

#include "scan/remote_mib_agent.h"

#include <algorithm>

AgentJob::AgentJob(AgentPollResult& result, const std::vector<std::string>& arguments,
    const AgentPollRequest& request, const RemoteAgentSettings& settings, const std::string& rejection)
    : m_result(result)
    , m_request(request)
    , m_session(result.peer, arguments, settings, rejection)
    , m_budget(settings)
{
    m_steps.push_back(Step::Name);
    if (request.tcp)
        m_steps.push_back(Step::TcpConn);
    if (request.udp)
        m_steps.push_back(Step::Udp);
    if (request.endpoints) {
        m_steps.insert(m_steps.end(), { Step::TcpConnections, Step::TcpListeners, Step::UdpEndpoints });
        m_steps.push_back(Step::Processes);
    }
    if (request.addresses)
        m_steps.insert(m_steps.end(), { Step::IpAddresses, Step::IpAddrEntries });
}

bool AgentJob::advance()
{
    if (m_operation) {
        if (!m_session.succeeded()) {
            const auto* walk = dynamic_cast<ColumnWalk*>(m_operation.get());
            m_result.capped = walk && walk->capped();
            if (m_result.capped)
                collect();
            return end(false);
        }
        collect();
        m_operation.reset();
    }
    while (!m_operation && m_next < m_steps.size())
        m_operation = operationFor(m_steps[m_next++]);
    if (!m_operation)
        return end(true);
    if (!m_session.start(*m_operation))
        return end(false);
    return true;
}

std::unique_ptr<SnmpOperation> AgentJob::operationFor(Step step)
{
    const auto walk = [this](std::vector<std::uint32_t> entry, std::vector<std::uint32_t> columns) {
        return std::make_unique<ColumnWalk>(std::move(entry), std::move(columns), m_budget);
    };
    switch (step) {
    case Step::Name:
        return std::make_unique<ScalarGet>(mibtables::kSysName);
    case Step::TcpConn:
        return walk(mibtables::kTcpConnEntry, mibtables::kTcpConnColumns);
    case Step::Udp:
        return walk(mibtables::kUdpEntry, mibtables::kUdpColumns);
    case Step::TcpConnections:
        return walk(mibtables::kTcpConnectionEntry, mibtables::kTcpConnectionColumns);
    case Step::TcpListeners:
        return walk(mibtables::kTcpListenerEntry, mibtables::kListenerProcessColumn);
    case Step::UdpEndpoints:
        return walk(mibtables::kUdpEndpointEntry, mibtables::kUdpProcessColumn);
    case Step::Processes:
        // The owners' names only where the endpoint tables name owners at all.
        return servesProcesses() ? walk(mibtables::kProcessEntry, mibtables::kProcessColumns) : nullptr;
    case Step::IpAddresses:
        return walk(mibtables::kIpAddressEntry, mibtables::kIpAddressColumns);
    case Step::IpAddrEntries:
        // The older table only for an agent without the newer one.
        return m_result.addresses.empty() ? walk(mibtables::kIpAddrEntry, mibtables::kIpAddrColumns)
                                          : nullptr;
    }
    return nullptr;
}

bool AgentJob::servesProcesses() const
{
    const auto owned = [](const InetEndpointRecord& record) { return record.pid != 0; };
    return std::ranges::any_of(m_result.connections, owned) || std::ranges::any_of(m_result.listeners, owned)
        || std::ranges::any_of(m_result.udpEndpoints, owned);
}

void AgentJob::collect()
{
    if (auto* get = dynamic_cast<ScalarGet*>(m_operation.get())) {
        m_result.sysName = get->value().octets;
        return;
    }
    auto& rows = static_cast<ColumnWalk&>(*m_operation).rows();
    switch (m_steps[m_next - 1]) {
    case Step::Name:
        break;
    case Step::TcpConn:
        m_result.tcp = m_decoder.tcpRecords(rows);
        break;
    case Step::Udp:
        m_result.udp = m_decoder.udpRecords(rows);
        break;
    case Step::TcpConnections:
        m_result.connections = m_decoder.tcpConnections(rows);
        break;
    case Step::TcpListeners:
        m_result.listeners = m_decoder.tcpListeners(rows);
        break;
    case Step::UdpEndpoints:
        m_result.udpEndpoints = m_decoder.udpEndpoints(rows);
        break;
    case Step::Processes:
        m_result.processes = m_decoder.processes(rows);
        break;
    case Step::IpAddresses:
        m_result.addresses = m_decoder.ipAddresses(rows);
        break;
    case Step::IpAddrEntries:
        m_result.addresses = m_decoder.ipAddrEntries(rows);
        break;
    }
    m_result.notice = m_decoder.refusalText(m_result.peer);
}

bool AgentJob::end(bool ok)
{
    m_result.ok = ok;
    if (!ok)
        m_result.error = m_session.error();
    if (!ok && !m_result.capped) {
        const std::string peer = m_result.peer;
        const std::string error = m_result.error;
        m_result = AgentPollResult {};
        m_result.peer = peer;
        m_result.error = error;
    }
    m_operation.reset();
    m_finished = true;
    return false;
}
