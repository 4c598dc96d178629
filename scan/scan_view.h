#pragma once
// What a scan does to the window. Every call is made from the scan worker thread,
// in the order of the scan's steps; an implementation that owns widgets must carry
// the effect over to its own thread. Each scan's steps come in two bursts, each ending
// with a status text: the view and "Scanning..." at its start; the read failure, or the
// rows, the map's table and the read failure, then the last status text at its end.

#include "history/seen_endpoint.h"
#include "scan/connection_table.h"
#include "scan/grid_columns.h"

#include <memory>
#include <string>
#include <vector>

// A finished table as the map draws it: rows 1..count of the scan's table and the
// local computer's name at the end of that scan. Once published, the scan keeps no
// reference: the window owns it and the map may reorder its rows in place.
struct MapTable
{
    ConnectionTable table;
    std::string localComputerName;
};

class ScanView : public CapacitySink
{
public:
    // Step 1: graphic shows the map surface, else the grid (map surface and scroll bar hidden).
    virtual void showView(bool graphic) = 0;
    // The first status bar panel's text.
    virtual void setStatusText(const std::string& text) = 0;
    // The grid's data rows, each with its details beside it: row count = rows.size() + 1,
    // then every cell, as one block. A scan with no rows passes one row of seven empty cells.
    virtual void setGridContent(std::vector<GridRow> rows, std::vector<GridRowDetails> details) = 0;
    // The same from the scan's own table, sorted: by default a copy of every row's cells and
    // details for setGridContent. A view that reads the rows only once the scan has ended, from
    // a table its caller keeps (a printer), may keep a reference instead: at 20,000 pairs the
    // copy is 9 MB, a third of the scan's peak. noneMatches: a filter left no row, not even
    // the empty one.
    virtual void setGridTable(const ConnectionTable& table, bool noneMatches);
    // The finished table of this scan, for the map; drawMap says whether to draw it now.
    // Called at every scan end, so later redraws always use the last finished scan.
    virtual void publishMapTable(std::shared_ptr<MapTable> table, bool drawMap) = 0;
    // False for a view without a map, which is then not given the table's copy.
    virtual bool showsMap() const { return true; }
    // False for a view that shows none of the rows' details (the addresses behind names,
    // owners, counters): it is then given none, which at 20,000 pairs is a fifth of a scan's
    // memory.
    virtual bool showsRowDetails() const { return true; }
    // Told at the end of every scan, before its last status text: empty when it read the
    // tables, else why it could not (an agent that stopped answering, named). The rows shown
    // are then those of the last scan that could, stale.
    virtual void setReadFailure(const std::string& failure) { (void)failure; }
    // Any thread: names that a scan had to show as addresses, as their look-ups were slow,
    // have come since; a scan now would show them.
    virtual void namesArrived() { }
    // A view that keeps a history is given every endpoint of every scan that read the
    // tables, whatever the table's capacity and the filter; others cost nothing.
    virtual bool recordsHistory() const { return false; }
    virtual void recordScan(std::shared_ptr<const SeenScan> scan) { (void)scan; }
    // One of several watched computers began to overflow its table: its own message, naming it.
    virtual void showComputerCapacityMessage(const std::string& computer, int notShown)
    {
        (void)computer;
        showCapacityMessage(notShown);
    }
    // A view that joins several computers' scans tells the filter's count once, of them all:
    // it takes each scan's count here and answers true, and the scan's status leaves it out.
    virtual bool takeHiddenCount(int hidden)
    {
        (void)hidden;
        return false;
    }
    // Why the scan's traffic cells read "–" (the agent has no statistics, or their walk
    // failed); the status text says it too. A view that tells it elsewhere overrides this.
    virtual void showTrafficNotice(const std::string& /*notice*/) { }
};
