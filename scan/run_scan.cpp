#include "scan/run_scan.h"

#include "log/connection_log.h"
#include "scan/connection_table.h"
#include "scan/grid_columns.h"
#include "scan/mib_agent.h"
#include "scan/name_resolver.h"
#include "scan/row_filter.h"
#include "scan/row_ordering.h"
#include "scan/scan_view.h"
#include "scan/settings.h"
#include "scan/tcp_states.h"

#include <algorithm>

namespace {

// Where a scan writes a row: straight into the table, or, while a filter is on,
// first aside, so that a row the filter drops never takes one of the table's places.
class RowWriter
{
public:
    RowWriter(const RowFilter& filter, CapacitySink& sink, ConnectionTable& table)
        : m_filter(filter)
        , m_sink(sink)
        , m_table(table)
    {
    }

    // The row to fill, or nullptr beyond capacity (the message was shown).
    ConnectionRow* begin() { return m_filter.active() ? &m_aside : m_table.append(m_sink); }
    // The filled row is not shown at all (a listening port while those are off).
    void discard()
    {
        if (!m_filter.active())
            m_table.dropLast();
    }
    // The filled row is complete: it enters the table unless the filter hides it.
    void finish()
    {
        if (!m_filter.active())
            return;
        if (!m_filter.keeps(m_aside)) {
            ++m_hidden;
            return;
        }
        if (ConnectionRow* row = m_table.append(m_sink))
            *row = m_aside;
    }
    int hidden() const { return m_hidden; }

private:
    const RowFilter& m_filter;
    CapacitySink& m_sink;
    ConnectionTable& m_table;
    ConnectionRow m_aside {};
    int m_hidden = 0;
};

void scanTcp(MibAgent& agent, const Settings& settings, NameResolver& resolver, RowWriter& writer)
{
    for (const MibEndpoint& record : agent.walkTcpTable()) {
        ConnectionRow* row = writer.begin();
        if (!row)
            continue; // beyond capacity: the message was shown, nothing is stored
        setField(row->localHost, resolver.resolveHostName(true, record.localAddress));
        setField(row->localPort, resolver.resolvePortName(record.localPortNumber, "tcp"));
        setField(row->remoteHost, resolver.resolveHostName(false, record.remoteAddress));
        setField(row->remotePort, resolver.resolvePortName(record.remotePortNumber, "tcp"));
        setField(row->protocol, "TCP");
        setField(row->state, tcpStateText(record.stateValue));
        setField(row->localAddress, NameResolver::dottedQuad(record.localAddress));
        setField(row->remoteAddress, NameResolver::dottedQuad(record.remoteAddress));
        if (isListening(row->state)) {
            // Resolved all the same above, so the remote side may have entered the cache.
            setField(row->remoteHost, "none");
            setField(row->remotePort, "none");
            setField(row->remoteAddress, "");
            if (!settings.showListening()) {
                writer.discard();
                continue;
            }
        }
        writer.finish();
    }
}

void scanUdp(MibAgent& agent, NameResolver& resolver, RowWriter& writer)
{
    for (const MibEndpoint& record : agent.walkUdpTable()) {
        ConnectionRow* row = writer.begin();
        if (!row)
            continue;
        setField(row->localHost, resolver.resolveHostName(true, record.localAddress));
        setField(row->localPort, resolver.resolvePortName(record.localPortNumber, "udp"));
        setField(row->remoteHost, "none");
        setField(row->remotePort, "none");
        setField(row->protocol, "UDP");
        setField(row->state, "none");
        setField(row->localAddress, NameResolver::dottedQuad(record.localAddress));
        setField(row->remoteAddress, "");
        writer.finish();
    }
}

std::vector<GridRowDetails> gridDetailsOf(const ConnectionTable& table)
{
    std::vector<GridRowDetails> details(std::size_t(std::max(table.count(), 1)));
    for (int r = 1; r <= table.count(); ++r)
        details[std::size_t(r - 1)] = gridRowDetailsOf(table.row(r));
    return details;
}

// After a filtered scan the status bar says what the filter keeps out of view.
std::string hiddenRowsText(const RowFilter& filter, int hidden)
{
    if (!filter.active())
        return std::string();
    return "Filter: " + std::to_string(hidden) + (hidden == 1 ? " endpoint" : " endpoints") + " hidden";
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
        const RowFilter filter = RowFilter::fromSettings(settings);
        RowWriter writer(filter, view, table);
        if (settings.showTcp())
            scanTcp(agent, settings, resolver, writer);
        if (settings.showUdp())
            scanUdp(agent, resolver, writer);
        orderRows(table);
        view.setGridContent(gridRowsOf(table), gridDetailsOf(table));
        logEstablished(settings, log, table);
        auto finished = std::make_shared<MapTable>();
        finished->table = table;
        finished->localComputerName = resolver.localComputerName();
        view.publishMapTable(std::move(finished), view.graphicMode());
        view.setStatusText(hiddenRowsText(filter, writer.hidden()));
    } catch (...) {
        // An exception must not leave the worker; the status text should not claim a scan.
        try {
            view.setStatusText(std::string());
        } catch (...) {
        }
    }
}
