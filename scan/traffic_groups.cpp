#include "scan/traffic_groups.h"

#include <algorithm>
#include <map>

std::vector<TrafficGroup> groupTraffic(const std::vector<GridRowDetails>& rows, TrafficGrouping by)
{
    std::map<std::string, TrafficGroup> groups;
    for (const GridRowDetails& row : rows) {
        if (!row.trafficKnown)
            continue;
        // Owners apart by pid: two programs of one name are two rows.
        const std::string key
            = by == TrafficGrouping::Process ? processCellText(row.pid, row.processName) : row.remoteAddress;
        TrafficGroup& group = groups[key];
        group.name = key;
        ++group.connections;
        group.bytesSent += row.bytesSent;
        group.bytesReceived += row.bytesReceived;
        if (row.sendRate >= 0 && row.receiveRate >= 0) {
            group.sendRate = std::max(group.sendRate, 0.0) + row.sendRate;
            group.receiveRate = std::max(group.receiveRate, 0.0) + row.receiveRate;
        }
    }
    std::vector<TrafficGroup> result;
    result.reserve(groups.size());
    for (auto& [key, group] : groups)
        result.push_back(std::move(group));
    std::stable_sort(result.begin(), result.end(), [](const TrafficGroup& a, const TrafficGroup& b) {
        return a.bytesSent + a.bytesReceived > b.bytesSent + b.bytesReceived;
    });
    return result;
}
