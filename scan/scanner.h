#pragma once
// The scans' life cycle: one scan at a time on the scans' worker thread, and what lives
// from one scan to the next (the table and the host-name cache).

#include "scan/connection_table.h"
#include "scan/name_resolver.h"

#include <atomic>
#include <memory>

class ConnectionLog;
class FleetScan;
class MibAgent;
class NameServices;
class ScanThread;
class OptionsSource;
class ScanView;

// What the scans read and where they report. A source's scans start with a fresh table
// and name cache, so one computer's names are never shown for another.
struct ScanSource
{
    std::shared_ptr<MibAgent> agent;
    std::shared_ptr<NameServices> names;
    std::shared_ptr<ScanView> view;
};

class Scanner
{
public:
    // Each scan takes its copy of the options from options when it starts.
    Scanner(const OptionsSource& options, ConnectionLog& log, ScanSource source);
    // A source that outlives the scanner.
    Scanner(MibAgent& agent, const OptionsSource& options, NameServices& services, ConnectionLog& log,
        ScanView& view);
    // Joins a running worker.
    ~Scanner();

    Scanner(const Scanner&) = delete;
    Scanner& operator=(const Scanner&) = delete;

    // Starts one scan: 0 when started, 1 when a scan is still running (nothing is done,
    // nothing is remembered). Called on the GUI thread; never waits on the worker.
    int startScan();
    bool scanBusy() const { return m_scanBusy.load() != 0; }
    // Waits until the running scan, if any, has ended; false on timeout.
    bool waitForIdle(int timeoutMs);
    // The source of the scans started from now on. GUI thread; a running scan goes on
    // with the source it started with, which lives until it ends.
    void setSource(ScanSource source);
    // The other computers watched beside the source, whose rows join its rows in the grid;
    // null: the source alone. GUI thread; from the next scan.
    void setFleet(std::shared_ptr<FleetScan> fleet);

private:
    const OptionsSource& m_options;
    ConnectionLog& m_log;
    ScanSource m_source;
    // Copied into each scan with the source: the worker never shares them with a later source.
    std::shared_ptr<ConnectionTable> m_table;
    std::shared_ptr<NameResolver> m_resolver;
    std::shared_ptr<FleetScan> m_fleet;
    std::atomic<int> m_scanBusy { 0 };
    std::unique_ptr<ScanThread> m_thread;
};
