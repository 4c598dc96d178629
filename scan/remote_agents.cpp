#include "scan/remote_agents.h"

#include "platform/module_loader.h"

#include <cstdio>
#include <thread>

namespace {

struct Loaded
{
    const RemoteAgentsEntry* entry = nullptr;
    std::string error;
};

const Loaded& loaded()
{
    static const Loaded result = [] {
        Loaded load;
        const std::string file = moduleFileName(kRemoteAgentsModule);
        // Kept loaded for the whole run: its agents may live until the end.
        HMODULE module = LoadLibraryA(kRemoteAgentsModule);
        if (!module) {
            load.error = file + " cannot be loaded";
            return load;
        }
        using EntryFunction = const RemoteAgentsEntry* (*)();
        const auto entryFunction
            = reinterpret_cast<EntryFunction>(GetProcAddress(module, kRemoteAgentsSymbol));
        const RemoteAgentsEntry* entry = entryFunction ? entryFunction() : nullptr;
        if (!entry || entry->layout != kRemoteAgentsLayout) {
            load.error = file + " is not this program's remote module";
            return load;
        }
        load.entry = entry;
        return load;
    }();
    return result;
}

// Stands for an agent of another computer when the module is missing.
class UnreadableAgent final : public MibAgent
{
public:
    explicit UnreadableAgent(std::string reason)
        : m_reason(std::move(reason))
    {
    }
    std::vector<MibEndpoint> walkTcpTable() override { return {}; }
    std::vector<MibEndpoint> walkUdpTable() override { return {}; }
    bool servesEndpointTables() const override { return false; }
    bool servesIpv6Tables() const override { return false; }
    bool lastWalkFailed() const override { return true; }
    std::string lastWalkError() const override { return m_reason; }

private:
    std::string m_reason;
};

} // namespace

const RemoteAgentsEntry* remoteAgents()
{
    return loaded().entry;
}

std::string remoteAgentsError()
{
    return loaded().error;
}

std::shared_ptr<MibAgent> makeRemoteAgent(const std::string& peer, const std::string& snmpOptions)
{
    if (const RemoteAgentsEntry* entry = remoteAgents())
        return entry->makeAgent(peer, snmpOptions);
    return std::make_shared<UnreadableAgent>(peer + ": " + remoteAgentsError());
}

std::string remoteAgentName(MibAgent& agent, const std::string& peer)
{
    const RemoteAgentsEntry* entry = remoteAgents();
    const std::string name = entry ? entry->agentName(agent) : std::string();
    return name.empty() ? peer : name;
}

std::vector<AgentPollResult> pollRemoteAgents(const std::vector<std::string>& peers,
    const std::vector<std::string>& snmpArguments, const AgentPollRequest& request)
{
    if (const RemoteAgentsEntry* entry = remoteAgents())
        return entry->pollAgents(peers, snmpArguments, request);
    std::vector<AgentPollResult> results(peers.size());
    for (std::size_t i = 0; i < peers.size(); ++i) {
        results[i].peer = peers[i];
        results[i].error = peers[i] + ": " + remoteAgentsError();
    }
    return results;
}

void watchRemoteFleet(const std::vector<FleetPoller::Agent>& agents, const AgentPollRequest& request,
    int intervalMs, const std::atomic<bool>& stop, const FleetResultHandler& onResult)
{
    if (const RemoteAgentsEntry* entry = remoteAgents())
        return entry->watchFleet(agents, request, intervalMs, stop, onResult);
    for (std::size_t i = 0; i < agents.size(); ++i) {
        AgentPollResult result;
        result.peer = agents[i].peer;
        result.error = agents[i].peer + ": " + remoteAgentsError();
        AgentStatus status;
        status.state = AgentState::Stale;
        status.since = std::chrono::steady_clock::now();
        status.error = result.error;
        onResult(i, result, status);
    }
    while (!stop)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

RemoteSetResult setRemoteInteger(const std::string& peer, const std::string& snmpOptions,
    const std::vector<std::uint32_t>& name, long value)
{
    if (const RemoteAgentsEntry* entry = remoteAgents())
        return entry->setInteger(peer, snmpOptions, name, value);
    return { remoteAgentsError(), false };
}

SnmpCommandLine splitRemoteCommandLine(
    const std::vector<std::string>& words, std::vector<std::string>& options, std::vector<std::string>& peers)
{
    if (const RemoteAgentsEntry* entry = remoteAgents())
        return entry->splitCommandLine(words, options, peers);
    std::fprintf(stderr, "%s\n", remoteAgentsError().c_str());
    return SnmpCommandLine::Error;
}
