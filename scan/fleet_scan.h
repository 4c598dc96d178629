#pragma once
// The grid of several computers: each scan reads the watched computer as ever, then takes
// the other computers' last polls through the same steps (names, filter, order, log), and
// the grid gets all their rows, each naming its computer. Runs on the scan worker.

#include "scan/fleet_feed.h"
#include "scan/grid_columns.h"

#include <memory>
#include <string>
#include <vector>

class ConnectionLog;
class ConnectionTable;
class MibAgent;
class NameResolver;
class NameServices;
class ScanView;
struct Options;

// Whether the options watch more than one computer: an enabled entry of the watch list.
bool watchesMoreComputers(const Options& options);

// One computer's grid rows joined to the rows before, each naming its computer; the blank
// row of an empty scan is left out, and the "No" cells count on from the rows before.
void appendComputerRows(std::vector<GridRow>& rows, std::vector<GridRowDetails>& details,
    const std::vector<GridRow>& added, const std::vector<GridRowDetails>& addedDetails,
    const std::string& computer, bool stale);

class FleetScan
{
public:
    // names: the services the other computers' rows are named with (not the watched one's).
    FleetScan(std::shared_ptr<FleetFeed> feed, std::shared_ptr<NameServices> names);
    ~FleetScan();
    FleetScan(const FleetScan&) = delete;
    FleetScan& operator=(const FleetScan&) = delete;

    const FleetFeed& feed() const { return *m_feed; }
    // The feed itself, for the fleet map, which draws its polls too.
    std::shared_ptr<FleetFeed> sharedFeed() const { return m_feed; }

    // One scan, as runScan, of the watched computer (agent, named by agentNames) and the rest;
    // one scan at a time.
    void run(MibAgent& agent, NameServices& agentNames, const Options& options, NameResolver& resolver,
        ConnectionLog& log, ScanView& view, ConnectionTable& table);

private:
    struct Other;

    std::shared_ptr<FleetFeed> m_feed;
    std::shared_ptr<NameServices> m_names;
    std::vector<std::unique_ptr<Other>> m_others; // made at each agent's first good poll
    // The watched computer's last rows that read: shown stale while its scans fail.
    std::vector<GridRow> m_primaryRows;
    std::vector<GridRowDetails> m_primaryDetails;
};
