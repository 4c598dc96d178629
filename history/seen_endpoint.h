#pragma once
// What one scan saw, as the history keeps it: every endpoint the tables gave, before the
// view's capacity and filter, with numbers instead of names.

#include <cstdint>
#include <string>
#include <vector>

struct SeenEndpoint
{
    bool udp = false;
    std::string localAddress; // numeric
    int localPort = 0;
    std::string remoteAddress; // numeric; empty for a listener or an unconnected UDP socket
    int remotePort = 0;
    int state = 0; // tcpConnState's value; 0 for UDP
    std::uint32_t pid = 0; // 0: not known
    std::string process;
    std::string user;
    // The counters at this sight, or -1 where the scan does not know them.
    std::int64_t bytesSent = -1;
    std::int64_t bytesReceived = -1;
    // The agent's tcpEStatsConnectIndex: one connection's for its whole life, never reused.
    // 0 where the scan does not know it.
    std::uint32_t connectIndex = 0;
};

struct SeenScan
{
    std::string computer;
    std::int64_t time = 0; // seconds since the epoch
    // The protocols the scan read: rows of a protocol it did not read are not closed.
    bool tcp = true;
    bool udp = true;
    bool ipv6 = true;
    std::vector<SeenEndpoint> endpoints;
};

// tcpConnState's listen(2).
constexpr int kTcpListenState = 2;
