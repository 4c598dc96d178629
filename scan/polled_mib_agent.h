#pragma once
// What a poll of another computer's agent gave, walked again by a scan as if read just now:
// the fleet's rows then take the same steps (names, filter, order, log) as the watched
// computer's own.

#include "scan/agent_poller.h"
#include "scan/mib_agent.h"

#include <memory>

class PolledMibAgent final : public MibAgent
{
public:
    // The result must hold the later tables (a poll that asked for the endpoints).
    explicit PolledMibAgent(std::shared_ptr<const AgentPollResult> result);

    std::vector<MibEndpoint> walkTcpTable() override { return m_result->tcp; }
    std::vector<MibEndpoint> walkUdpTable() override { return m_result->udp; }
    bool servesEndpointTables() const override { return true; }
    // The poll read the tables of both families; the IPv6-only ones are never asked.
    bool servesIpv6Tables() const override { return false; }
    std::vector<InetEndpointRecord> walkTcpConnections() override { return m_result->connections; }
    std::vector<InetEndpointRecord> walkTcpListeners() override { return m_result->listeners; }
    std::vector<InetEndpointRecord> walkUdpEndpoints() override { return m_result->udpEndpoints; }
    std::vector<ProcessRecord> walkProcesses() override { return m_result->processes; }
    bool lastWalkFailed() const override { return false; }
    std::string lastWalkError() const override { return {}; }
    std::string scanNotice() const override { return m_result->notice; }

private:
    std::shared_ptr<const AgentPollResult> m_result;
};
