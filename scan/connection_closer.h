#pragma once
// Closing one TCP connection, or stopping a process, of this computer the standard way: a
// SET of its tcpConnectionState to deleteTCB, or of its hrSWRunStatus to invalid, through
// the agent module loaded in the process.

#include "scan/action_outcome.h"
#include "scan/mib_agent.h"

#include <cstdint>
#include <string>

// Closes the connection between the two ends (numeric addresses, either family; an IPv4
// one held by an IPv6 socket too). Blocks while the module serves a scan: call it off the
// GUI thread.
ActionOutcome closeTcpConnection(const std::string& localAddress, int localPort,
    const std::string& remoteAddress, int remotePort, const char* moduleName = kAgentModuleName);
// Sends SIGTERM to the process pid that the module's last scan read, never to a later one
// under the same pid. Off the GUI thread, as above.
ActionOutcome stopProcess(std::uint32_t pid, const char* moduleName = kAgentModuleName);

// The same on another computer's agent, as a manager asks it: a SET through net-snmp with
// writeOptions (snmpset's syntax: a write community, or a v3 user with write access).
// tcpConnectionState, or tcpConnState where an IPv4-only agent has only that. "" when the
// agent took it, else why not, the agent's own error named. Blocks: off the GUI thread.
std::string closeRemoteConnection(const std::string& peer, const std::string& writeOptions,
    const std::string& localAddress, int localPort, const std::string& remoteAddress, int remotePort);
// hrSWRunStatus.pid = invalid: the agent has no start time to check, so it acts on what the
// pid names when the SET arrives.
std::string stopRemoteProcess(const std::string& peer, const std::string& writeOptions, std::uint32_t pid);
