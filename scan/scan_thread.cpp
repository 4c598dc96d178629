#include "scan/scan_thread.h"

#include "log/connection_log.h"
#include "scan/mib_agent.h"
#include "scan/row_ordering.h"
#include "scan/scan_view.h"
#include "scan/scanner.h"
#include "scan/settings.h"

#include <cstring>

namespace {

bool sameText(const char* field, const char* text)
{
    return std::strcmp(field, text) == 0;
}

// Clears the busy flag however the scan ends, or no scan would ever start again.
class BusyGuard
{
public:
    explicit BusyGuard(std::atomic<int>& busy)
        : m_busy(busy)
    {
    }
    ~BusyGuard() { m_busy.store(0); }
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;

private:
    std::atomic<int>& m_busy;
};

} // namespace

ScanThread::ScanThread(Scanner& scanner)
    : m_scanner(scanner)
{
}

void ScanThread::run()
{
    Execute();
}

void ScanThread::Execute()
{
    BusyGuard guard(m_scanner.m_scanBusy);
    ScanView& view = m_scanner.m_view;
    const Settings& settings = m_scanner.m_settings;
    try {
        view.showView(view.graphicMode());
        m_scanner.m_table.reset();
        view.setStatusText("Scanning...");
        if (settings.showTcp())
            scanTcp();
        if (settings.showUdp())
            scanUdp();
        orderRows(m_scanner.m_table);
        fillGridAndLog();
        auto finished = std::make_shared<MapTable>();
        finished->table = m_scanner.m_table;
        finished->localComputerName = m_scanner.m_resolver.localComputerName();
        view.publishMapTable(std::move(finished), view.graphicMode());
        view.setStatusText(std::string());
    } catch (...) {
        // An exception must not leave the worker; the status text should not claim a scan.
        try {
            view.setStatusText(std::string());
        } catch (...) {
        }
    }
}

void ScanThread::scanTcp()
{
    ConnectionTable& table = m_scanner.m_table;
    NameResolver& resolver = m_scanner.m_resolver;
    const Settings& settings = m_scanner.m_settings;
    for (const MibEndpoint& record : m_scanner.m_agent.walkTcpTable()) {
        ConnectionRow* row = table.append(m_scanner.m_view);
        if (!row)
            continue; // beyond capacity: the message was shown, nothing is stored
        setField(row->localHost, resolver.resolveHostName(true, record.localAddress));
        setField(row->localPort, resolver.resolvePortName(record.localPortNumber, "tcp"));
        setField(row->remoteHost, resolver.resolveHostName(false, record.remoteAddress));
        setField(row->remotePort, resolver.resolvePortName(record.remotePortNumber, "tcp"));
        setField(row->protocol, "TCP");
        setField(row->state, tcpStateText(record.stateValue));
        if (sameText(row->state, "Listening")) {
            // Resolved all the same above, so the remote side may have entered the cache.
            setField(row->remoteHost, "none");
            setField(row->remotePort, "none");
            if (!settings.showListening())
                table.dropLast();
        }
    }
}

void ScanThread::scanUdp()
{
    ConnectionTable& table = m_scanner.m_table;
    NameResolver& resolver = m_scanner.m_resolver;
    for (const MibEndpoint& record : m_scanner.m_agent.walkUdpTable()) {
        ConnectionRow* row = table.append(m_scanner.m_view);
        if (!row)
            continue;
        setField(row->localHost, resolver.resolveHostName(true, record.localAddress));
        setField(row->localPort, resolver.resolvePortName(record.localPortNumber, "udp"));
        setField(row->remoteHost, "none");
        setField(row->remotePort, "none");
        setField(row->protocol, "UDP");
        setField(row->state, "none");
    }
}

void ScanThread::fillGridAndLog()
{
    const ConnectionTable& table = m_scanner.m_table;
    const int count = table.count();
    std::vector<GridRow> rows;
    if (count == 0) {
        rows.emplace_back();
        m_scanner.m_view.setGridRows(std::move(rows));
        return; // no row: the log file is not touched
    }
    rows.reserve(static_cast<std::size_t>(count));
    for (int r = 1; r <= count; ++r) {
        const ConnectionRow& row = table.row(r);
        rows.push_back(GridRow { std::to_string(r), row.localHost, row.localPort, row.remotePort,
            row.remoteHost, row.protocol, row.state });
    }
    m_scanner.m_view.setGridRows(std::move(rows));
    // Opened whether or not logging is on: a scan with rows creates the file, as users expect.
    auto entries = m_scanner.m_log.openForScan();
    for (int r = 1; r <= count; ++r) {
        // The same texts the grid cells 1 to 4 were given.
        const ConnectionRow& row = table.row(r);
        if (m_scanner.m_settings.logEnabled() && sameText(row.state, "Established"))
            entries->appendLogEntry(row.localHost, row.localPort, row.remotePort, row.remoteHost);
    }
}
