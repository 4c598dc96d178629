#pragma once
// Many SNMP agents read at once: every agent's walks run side by side on the calling
// thread through net-snmp's asynchronous requests, each on its own session.

#include "scan/mib_agent.h"
#include "scan/snmp_session.h"

#include <cstddef>
#include <string>
#include <vector>

// What one agent gave. A failed agent keeps nothing but its error, save one stopped by a
// cap of the scan: it keeps the rows read until then (capped).
struct AgentPollResult
{
    std::string peer;
    bool ok = false;
    bool capped = false;
    std::string error; // the agent's name and net-snmp's reason
    std::string notice; // rows refused by their values, naming the agent; "" when none
    std::string sysName;
    std::vector<MibEndpoint> tcp;
    std::vector<MibEndpoint> udp;
    // The later tables of both families, the owners they name, and the agent's addresses.
    std::vector<InetEndpointRecord> connections;
    std::vector<InetEndpointRecord> listeners;
    std::vector<InetEndpointRecord> udpEndpoints;
    std::vector<ProcessRecord> processes;
    std::vector<HostAddress> addresses;
};

struct AgentPollRequest
{
    bool tcp = true;
    bool udp = true;
    // tcpConnectionTable, tcpListenerTable, udpEndpointTable, and hrSWRunTable where they name owners.
    bool endpoints = false;
    // ipAddressTable, or ipAddrTable for an agent without it.
    bool addresses = false;
};

// Reads sysName.0 and the tables asked of every peer, all at once, with at most
// maxOpen sessions open at a time; one result per peer, in the order given.
// snmpArguments are the options in snmpwalk's syntax, already split into words.
std::vector<AgentPollResult> pollAgents(const std::vector<std::string>& peers,
    const std::vector<std::string>& snmpArguments, const AgentPollRequest& request = {},
    const RemoteAgentSettings& settings = {}, std::size_t maxOpen = 64);
