#pragma once
// Closing one TCP connection of this computer the standard way: a SET of its
// tcpConnectionState to deleteTCB, through the agent module loaded in the process.

#include "scan/mib_agent.h"

#include <string>

// Closes the connection between the two ends (numeric addresses, either family; an IPv4
// one held by an IPv6 socket too). Returns "" when it is closed, else why not, for the user.
// Blocks while the module serves a scan: call it off the GUI thread.
std::string closeTcpConnection(const std::string& localAddress, int localPort,
    const std::string& remoteAddress, int remotePort, const char* moduleName = kAgentModuleName);
