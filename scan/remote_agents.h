#pragma once
// The agents of other computers are read with net-snmp, which brings its TLS libraries
// along: milliseconds and megabytes at every start that a program reading only this
// computer never needs. They live in a module of their own, libveltran-remote.so, found
// like the agent module (beside the program, or in ../lib/veltran) and loaded at the
// first use. Without it, every remote read fails and says why; this computer still scans.

#include "scan/agent_poller.h"
#include "scan/fleet_poller.h"
#include "scan/integer_set.h"
#include "scan/mib_agent.h"
#include "scan/snmp_session.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// A poll of a watched fleet that ended: the agent's index, what it gave, and its status.
using FleetResultHandler = std::function<void(std::size_t agent, const AgentPollResult&, const AgentStatus&)>;

// What the module hands out: its entry points, and the layout it was built with.
struct RemoteAgentsEntry
{
    std::uint32_t layout; // kRemoteAgentsLayout of the module's build
    std::shared_ptr<MibAgent> (*makeAgent)(const std::string& peer, const std::string& snmpOptions);
    // sysName.0 of an agent made by makeAgent, or its peer when it has none.
    std::string (*agentName)(MibAgent& agent);
    std::vector<AgentPollResult> (*pollAgents)(const std::vector<std::string>& peers,
        const std::vector<std::string>& snmpArguments, const AgentPollRequest& request);
    SnmpCommandLine (*splitCommandLine)(const std::vector<std::string>& words,
        std::vector<std::string>& options, std::vector<std::string>& peers);
    // Polls the agents again and again on the calling thread, each at intervalMs after its
    // last poll began, until stop is set; every poll that ends goes to onResult at once.
    void (*watchFleet)(const std::vector<FleetPoller::Agent>& agents, const AgentPollRequest& request,
        int intervalMs, const std::atomic<bool>& stop, const FleetResultHandler& onResult);
    // One SET of an INTEGER instance at the agent, with its own session; blocks until it ends.
    RemoteSetResult (*setInteger)(const std::string& peer, const std::string& snmpOptions,
        const std::vector<std::uint32_t>& name, long value);
};

// Changes with every change to the entry above, so a module of another build is refused.
inline constexpr std::uint32_t kRemoteAgentsLayout
    = 0x52454d03 + sizeof(RemoteAgentsEntry) + sizeof(AgentPollResult);
// The module's exported function that returns its entry (static storage).
inline constexpr const char* kRemoteAgentsSymbol = "veltranRemoteAgents";
inline constexpr const char* kRemoteAgentsModule = "veltran-remote.dll";

// The module's entry, loaded at the first call from any thread; null when it cannot be
// loaded, and then always: error() says why.
const RemoteAgentsEntry* remoteAgents();
std::string remoteAgentsError();

// An agent of another computer; without the module, one whose every walk fails with the reason.
std::shared_ptr<MibAgent> makeRemoteAgent(const std::string& peer, const std::string& snmpOptions);
// Its sysName.0, or peer when it has none or the module is missing.
std::string remoteAgentName(MibAgent& agent, const std::string& peer);
// pollAgents of the module; without it, every peer failed with the reason.
std::vector<AgentPollResult> pollRemoteAgents(const std::vector<std::string>& peers,
    const std::vector<std::string>& snmpArguments, const AgentPollRequest& request);
// watchFleet of the module; without it, every agent's one failed poll with the reason, then
// nothing until stop is set.
void watchRemoteFleet(const std::vector<FleetPoller::Agent>& agents, const AgentPollRequest& request,
    int intervalMs, const std::atomic<bool>& stop, const FleetResultHandler& onResult);
// setInteger of the module; without it, the reason as the failure.
RemoteSetResult setRemoteInteger(const std::string& peer, const std::string& snmpOptions,
    const std::vector<std::uint32_t>& name, long value);
// splitSnmpCommandLine of the module; without it, Error after the reason on standard error.
SnmpCommandLine splitRemoteCommandLine(const std::vector<std::string>& words,
    std::vector<std::string>& options, std::vector<std::string>& peers);
