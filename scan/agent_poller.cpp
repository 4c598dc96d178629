#include "scan/agent_poller.h"

#include "scan/agent_job.h"

#include <algorithm>
#include <memory>

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
