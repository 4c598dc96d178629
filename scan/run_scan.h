#pragma once
// One scan, start to end: the agent's tables become the table's rows, the grid's rows,
// the log's entries and the map's table, each effect reaching the view in step order.

#include <string>

class ConnectionLog;
class ConnectionTable;
class MibAgent;
class NameResolver;
class ScanView;
struct Options;

// Runs every step of one scan on the calling thread. The table and the resolver's name
// cache live across scans; the options are the scan's own copy. Never throws:
// a step that fails ends the scan with the status text cleared.
void runScan(MibAgent& agent, const Options& options, NameResolver& resolver, ConnectionLog& log,
    ScanView& view, ConnectionTable& table);
// The status bar's count of the endpoints the view's filter keeps out of the grid.
std::string hiddenText(int hidden);
