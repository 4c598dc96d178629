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
