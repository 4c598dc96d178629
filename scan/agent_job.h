#pragma once
// One agent's reads in turn on its own session: its name, then the tables asked. The
// poller drives many of them side by side; each ends in its AgentPollResult.

#include "scan/agent_poller.h"
#include "scan/remote_row_decoder.h"
#include "scan/scan_budget.h"
#include "scan/snmp_session.h"

#include <memory>
#include <string>
#include <vector>

class AgentJob
{
public:
    // A non-empty rejection is the failure of every request, the options not being readable.
    AgentJob(AgentPollResult& result, const std::vector<std::string>& arguments,
        const AgentPollRequest& request, const RemoteAgentSettings& settings, const std::string& rejection = {});

    SnmpSession& session() { return m_session; }
    bool finished() const { return m_finished; }

    // Takes in the operation that just ended and starts the next; false once nothing is left.
    bool advance();

private:
    enum class Step
    {
        Name,
        TcpConn,
        Udp,
        TcpConnections,
        TcpListeners,
        UdpEndpoints,
        Processes,
        IpAddresses,
        IpAddrEntries,
    };
    std::unique_ptr<SnmpOperation> operationFor(Step step);
    void collect();
    bool servesProcesses() const;
    bool end(bool ok);

    AgentPollResult& m_result;
    AgentPollRequest m_request;
    SnmpSession m_session;
    ScanBudget m_budget;
    RemoteRowDecoder m_decoder;
    std::vector<Step> m_steps;
    std::size_t m_next = 0;
    std::unique_ptr<SnmpOperation> m_operation;
    bool m_finished = false;
};
