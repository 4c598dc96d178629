#pragma once
// The traffic of the shown connections summed by process or by remote host: who moves how much.

#include "scan/grid_columns.h"

#include <cstdint>
#include <string>
#include <vector>

enum class TrafficGrouping
{
    Process,
    RemoteHost,
};

struct TrafficGroup
{
    std::string name; // name[pid] ("-" for an unknown owner), or the remote address
    int connections = 0;
    std::uint64_t bytesSent = 0;
    std::uint64_t bytesReceived = 0;
    // The rates of the group's connections that have one; negative while none has.
    double sendRate = -1;
    double receiveRate = -1;
};

// One group per process or remote host among the rows whose traffic is known (TCP
// connections whose agent has the statistics), most bytes first.
std::vector<TrafficGroup> groupTraffic(const std::vector<GridRowDetails>& rows, TrafficGrouping by);
