#pragma once
// veltran-scan --links: the connections between the agents' computers, each pair on one
// line, then the connections that are not linked, and why.

#include "cli/scan_arguments.h"
#include "scan/fleet_links.h"

#include <iosfwd>
#include <string>
#include <vector>

// One line per link: computer, process, address ⇄ computer, process, address, protocol.
std::vector<std::vector<std::string>> linkCells(
    const std::vector<FleetComputer>& computers, const FleetLinks& links);
// One line per connection not linked: to an unwatched host (grouped by host), or to a
// watched address with nothing there to answer it.
std::vector<std::vector<std::string>> unlinkedCells(
    const std::vector<FleetComputer>& computers, const FleetLinks& links);

// Both tables with their headers: tab-separated or CSV with an empty line between them,
// or one JSON object {"links": [...], "unlinked": [...]}.
void printFleetLinks(std::ostream& out, OutputFormat format, const std::vector<FleetComputer>& computers,
    const FleetLinks& links);
