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

constexpr RemoteAgentsEntry entry { kRemoteAgentsLayout, makeAgent, agentName, poll, splitSnmpCommandLine };

} // namespace

extern "C" __attribute__((visibility("default"))) const RemoteAgentsEntry* veltranRemoteAgents()
{
    return &entry;
}
