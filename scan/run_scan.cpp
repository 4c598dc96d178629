#include "scan/run_scan.h"

#include "log/connection_log.h"
#include "scan/connection_table.h"
#include "scan/grid_columns.h"
#include "scan/mib_agent.h"
#include "scan/name_resolver.h"
#include "scan/row_ordering.h"
#include "scan/scan_view.h"
#include "scan/settings.h"
#include "scan/tcp_states.h"

namespace {

// The host texts the rows will ask for, in row order: endpoints beyond the table's
// capacity get no row and are never resolved.
std::vector<HostQuery> hostQueries(
    const std::vector<MibEndpoint>& tcp, const std::vector<MibEndpoint>& udp, bool showListening)
{
    std::vector<HostQuery> queries;
    int rows = 0;
    for (const MibEndpoint& record : tcp) {
        if (rows >= ConnectionTable::kCapacity)
            continue;
        ++rows;
        queries.push_back({ true, record.localAddress });
        queries.push_back({ false, record.remoteAddress });
        if (!showListening && isListening(tcpStateText(record.stateValue)))
            --rows;
    }
    for (const MibEndpoint& record : udp) {
        if (rows >= ConnectionTable::kCapacity)
            continue;
        ++rows;
        queries.push_back({ true, record.localAddress });
    }
    return queries;
}

void scanTcp(const std::vector<MibEndpoint>& records, const Settings& settings, NameResolver& resolver,
    ConnectionTable& table)
{
    for (const MibEndpoint& record : records) {
        ConnectionRow* row = table.append();
        if (!row)
            continue; // beyond capacity: counted, nothing is stored
        setField(row->localHost, resolver.resolveHostName(true, record.localAddress));
        setField(row->localPort, resolver.resolvePortName(record.localPortNumber, "tcp"));
        setField(row->remoteHost, resolver.resolveHostName(false, record.remoteAddress));
        setField(row->remotePort, resolver.resolvePortName(record.remotePortNumber, "tcp"));
        setField(row->protocol, "TCP");
        setField(row->state, tcpStateText(record.stateValue));
        if (isListening(row->state)) {
            // Resolved all the same above, so the remote side may have entered the cache.
            setField(row->remoteHost, "none");
            setField(row->remotePort, "none");
            if (!settings.showListening())
                table.dropLast();
        }
    }
}

void scanUdp(const std::vector<MibEndpoint>& records, NameResolver& resolver, ConnectionTable& table)
{
    for (const MibEndpoint& record : records) {
        ConnectionRow* row = table.append();
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

std::vector<GridRow> gridRowsOf(const ConnectionTable& table)
{
    std::vector<GridRow> rows;
    const int count = table.count();
    if (count == 0) {
        rows.emplace_back(); // the grid keeps one data row, empty
        return rows;
    }
    rows.reserve(static_cast<std::size_t>(count));
    for (int r = 1; r <= count; ++r)
        rows.push_back(gridRowOf(r, table.row(r)));
    return rows;
}

void logEstablished(const Settings& settings, ConnectionLog& log, const ConnectionTable& table)
{
    if (table.count() == 0)
        return; // no row: the log file is not touched
    // Opened whether or not logging is on: a scan with rows creates the file, as users expect.
    auto entries = log.openForScan();
    for (int r = 1; r <= table.count(); ++r) {
        // The same texts the grid cells 1 to 4 were given.
        const ConnectionRow& row = table.row(r);
        if (settings.logEnabled() && isEstablished(row.state))
            entries->appendLogEntry(row.localHost, row.localPort, row.remotePort, row.remoteHost);
    }
}

} // namespace

void runScan(MibAgent& agent, const Settings& settings, NameResolver& resolver, ConnectionLog& log,
    ScanView& view, ConnectionTable& table)
{
    try {
        view.showView(view.graphicMode());
        table.reset();
        view.setStatusText("Scanning...");
        std::vector<MibEndpoint> tcp;
        std::vector<MibEndpoint> udp;
        if (settings.showTcp())
            tcp = agent.walkTcpTable();
        if (settings.showUdp())
            udp = agent.walkUdpTable();
        // Every name the rows need is fetched first, many at a time; the rows then take
        // them one by one, as they always did.
        resolver.prefetchHostNames(hostQueries(tcp, udp, settings.showListening()));
        scanTcp(tcp, settings, resolver, table);
        scanUdp(udp, resolver, table);
        // One message when an overflow begins, however many endpoints found no room; the
        // status bar tells the count at every scan while it lasts.
        if (table.overflowBegins())
            view.showCapacityMessage(table.notStored());
        orderRows(table);
        view.setGridRows(gridRowsOf(table));
        logEstablished(settings, log, table);
        auto finished = std::make_shared<MapTable>();
        finished->table = table;
        finished->localComputerName = resolver.localComputerName();
        view.publishMapTable(std::move(finished), view.graphicMode());
        view.setStatusText(table.notStored() > 0 ? notShownText(table.notStored()) : std::string());
    } catch (...) {
        // An exception must not leave the worker; the status text should not claim a scan.
        try {
            view.setStatusText(std::string());
        } catch (...) {
        }
    }
}
