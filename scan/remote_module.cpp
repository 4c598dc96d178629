// libveltran-remote.so: the remote agents behind the entry the programs load at first use.

#include "scan/remote_agents.h"
#include "scan/remote_mib_agent.h"

namespace {

std::shared_ptr<MibAgent> makeAgent(const std::string& peer, const std::string& snmpOptions)
{
    return std::make_shared<RemoteMibAgent>(peer, snmpOptions);
}

std::string agentName(MibAgent& agent)
{
    // Only agents of makeAgent come here.
    return static_cast<RemoteMibAgent&>(agent).sysName();
}

std::vector<AgentPollResult> poll(const std::vector<std::string>& peers,
    const std::vector<std::string>& snmpArguments, const AgentPollRequest& request)
{
    return pollAgents(peers, snmpArguments, request);
}

void watchFleet(const std::vector<FleetPoller::Agent>& agents, const AgentPollRequest& request,
    int intervalMs, const std::atomic<bool>& stop, const FleetResultHandler& onResult)
{
    FleetPoller poller(agents, request, std::chrono::milliseconds(intervalMs));
    while (!stop) {
        poller.run(FleetPoller::Clock::now() + std::chrono::milliseconds(100),
            [&](std::size_t agent, const AgentPollResult& result) {
                onResult(agent, result, poller.status(agent, FleetPoller::Clock::now()));
            });
    }
    poller.stop();
    poller.run(FleetPoller::Clock::now(), [](std::size_t, const AgentPollResult&) {});
}

RemoteSetResult setInteger(const std::string& peer, const std::string& snmpOptions,
    const std::vector<std::uint32_t>& name, long value)
{
    return RemoteMibAgent(peer, snmpOptions).setInteger(name, value);
}

constexpr RemoteAgentsEntry entry { kRemoteAgentsLayout, makeAgent, agentName, poll, splitSnmpCommandLine,
    watchFleet, setInteger };

} // namespace

extern "C" __attribute__((visibility("default"))) const RemoteAgentsEntry* veltranRemoteAgents()
{
    return &entry;
}
