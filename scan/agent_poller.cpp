#include "scan/agent_poller.h"

#include "scan/remote_mib_agent.h"
#include "scan/remote_row_decoder.h"
#include "scan/scan_budget.h"

#include <algorithm>
#include <memory>

namespace {

// One agent's reads in turn: its name, then the tables.
class AgentJob
{
public:
    AgentJob(AgentPollResult& result, const std::vector<std::string>& arguments,
        const AgentPollRequest& request, const RemoteAgentSettings& settings)
        : m_result(result)
        , m_request(request)
        , m_session(result.peer, arguments, settings)
        , m_budget(settings)
    {
    }

    SnmpSession& session() { return m_session; }
    bool finished() const { return m_finished; }

    // Takes in the operation that just ended and starts the next; false once nothing is left.
    bool advance()
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
        }
        m_operation = nextOperation();
        if (!m_operation)
            return end(true);
        if (!m_session.start(*m_operation))
            return end(false);
        return true;
    }

private:
    std::unique_ptr<SnmpOperation> nextOperation()
    {
        switch (m_step++) {
        case 0:
            return std::make_unique<ScalarGet>(mibtables::kSysName);
        case 1:
            if (m_request.tcp)
                return std::make_unique<ColumnWalk>(
                    mibtables::kTcpConnEntry, mibtables::kTcpConnColumns, m_budget);
            [[fallthrough]];
        case 2:
            m_step = 3;
            if (m_request.udp)
                return std::make_unique<ColumnWalk>(mibtables::kUdpEntry, mibtables::kUdpColumns, m_budget);
            return nullptr;
        default:
            return nullptr;
        }
    }

    void collect()
    {
        if (auto* get = dynamic_cast<ScalarGet*>(m_operation.get())) {
            m_result.sysName = get->value().octets;
            return;
        }
        auto& walk = static_cast<ColumnWalk&>(*m_operation);
        if (m_step == 2)
            m_result.tcp = m_decoder.tcpRecords(walk.rows());
        else
            m_result.udp = m_decoder.udpRecords(walk.rows());
        m_result.notice = m_decoder.refusalText(m_result.peer);
    }

    bool end(bool ok)
    {
        m_result.ok = ok;
        if (!ok)
            m_result.error = m_session.error();
        if (!ok && !m_result.capped) {
            m_result.sysName.clear();
            m_result.tcp.clear();
            m_result.udp.clear();
        }
        m_operation.reset();
        m_finished = true;
        return false;
    }

    AgentPollResult& m_result;
    AgentPollRequest m_request;
    SnmpSession m_session;
    ScanBudget m_budget;
    RemoteRowDecoder m_decoder;
    std::unique_ptr<SnmpOperation> m_operation;
    int m_step = 0;
    bool m_finished = false;
};

} // namespace

std::vector<AgentPollResult> pollAgents(const std::vector<std::string>& peers,
    const std::vector<std::string>& snmpArguments, const AgentPollRequest& request,
    const RemoteAgentSettings& settings, std::size_t maxOpen)
{
    std::vector<AgentPollResult> results(peers.size());
    for (std::size_t i = 0; i < peers.size(); ++i)
        results[i].peer = peers[i];
    maxOpen = std::max<std::size_t>(maxOpen, 1);
    std::vector<std::unique_ptr<AgentJob>> active;
    std::size_t next = 0;
    for (;;) {
        // A finished agent's session is closed at once, making room for the next one.
        std::erase_if(active, [](const std::unique_ptr<AgentJob>& job) { return job->finished(); });
        while (active.size() < maxOpen && next < peers.size()) {
            auto job = std::make_unique<AgentJob>(results[next++], snmpArguments, request, settings);
            if (job->advance())
                active.push_back(std::move(job));
        }
        if (active.empty())
            break;
        std::vector<SnmpSession*> sessions;
        sessions.reserve(active.size());
        for (const auto& job : active)
            sessions.push_back(&job->session());
        SnmpSession::runOnce(sessions);
        for (const auto& job : active) {
            if (!job->session().busy())
                job->advance();
        }
    }
    return results;
}
