#include "scan/run_scan.h"

#include "history/process_user.h"
#include "log/connection_log.h"
#include "scan/connection_table.h"
#include "scan/grid_columns.h"
#include "scan/inet_endpoints.h"
#include "scan/mib_agent.h"
#include "scan/name_resolver.h"
#include "scan/options.h"
#include "scan/row_filter.h"
#include "scan/row_ordering.h"
#include "scan/scan_view.h"
#include "scan/tcp_states.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <tuple>

#include <unistd.h>

namespace {

constexpr const char* kNoneMatches = "No endpoint matches";

// Where a scan writes a row: straight into the table, or, while a filter is on,
// first aside, so that a row the filter drops never takes one of the table's places.
// The filter narrows the view, never the log: while it is on, every row also goes to a
// table of its own for the log's entries.
class RowWriter
{
public:
    RowWriter(const RowFilter& filter, ConnectionTable& table, ConnectionTable* unfiltered)
        : m_filter(filter)
        , m_table(table)
        , m_unfiltered(unfiltered)
    {
    }

    // The row to fill, or nullptr beyond capacity (counted by the table).
    ConnectionRow* begin() { return m_filter.active() ? &m_aside : m_table.append(); }
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
        if (ConnectionRow* row = m_unfiltered ? m_unfiltered->append() : nullptr)
            *row = m_aside;
        if (!m_filter.keeps(m_aside)) {
            ++m_hidden;
            return;
        }
        if (ConnectionRow* row = m_table.append())
            *row = m_aside;
    }
    int hidden() const { return m_hidden; }

private:
    const RowFilter& m_filter;
    ConnectionTable& m_table;
    ConnectionTable* m_unfiltered;
    ConnectionRow m_aside {};
    int m_hidden = 0;
};

// The host texts the rows will ask for, in row order: endpoints beyond the table's
// capacity get no row and are never resolved. While a filter is on, every endpoint is
// resolved, as its names decide whether it takes a place.
std::vector<HostQuery> hostQueries(const std::vector<MibEndpoint>& tcp, const std::vector<MibEndpoint>& udp,
    bool showListening, int capacity, int tcp6Rows)
{
    const bool bounded = capacity != ConnectionTable::kUnbounded;
    std::vector<HostQuery> queries;
    int rows = 0;
    for (const MibEndpoint& record : tcp) {
        if (bounded && rows >= capacity)
            continue;
        ++rows;
        queries.push_back({ true, record.localAddress });
        queries.push_back({ false, record.remoteAddress });
        if (!showListening && isListening(tcpStateText(record.stateValue)))
            --rows;
    }
    rows += tcp6Rows; // the IPv6 rows come between, and are looked up one by one
    for (const MibEndpoint& record : udp) {
        if (bounded && rows >= capacity)
            continue;
        ++rows;
        queries.push_back({ true, record.localAddress });
    }
    return queries;
}

// What the later tables add to a scan: the IPv6 endpoints, and who owns every endpoint.
struct LaterTables
{
    std::vector<InetEndpointRecord> tcp6; // connections and listeners, in tcpConnTable's order
    std::vector<InetEndpointRecord> udp6;
    ProcessIndex owners;
    // The local ports of wildcard sockets that take both families.
    std::set<std::uint16_t> dualStackTcp;
    std::set<std::uint16_t> dualStackUdp;
    // The remote ends of connected IPv4 UDP sockets, by local address and port.
    std::map<std::pair<std::uint32_t, int>, std::pair<std::uint32_t, int>> udpPeers;
    // Each TCP connection's counters, when traffic is shown; what kept them out of view.
    TrafficIndex traffic;
    std::string trafficNotice;
};

// The owner of a row; name and command line from hrSWRunTable where it was read.
void setProcess(ConnectionRow& row, std::uint32_t pid, const ProcessIndex& owners)
{
    row.pid = pid;
    const ProcessRecord* process = pid != 0 ? owners.process(pid) : nullptr;
    setField(row.processName, process ? std::string_view(process->name) : std::string_view());
    row.commandLine = owners.commandLine(process);
}

bool endsBefore(const InetEndpointRecord& a, const InetEndpointRecord& b)
{
    return std::tie(a.localAddress, a.localPort, a.remoteAddress, a.remotePort)
        < std::tie(b.localAddress, b.localPort, b.remoteAddress, b.remotePort);
}

// Walks the later tables the options ask for; false when a walk failed.
bool walkLaterTables(MibAgent& agent, const Options& options, LaterTables& later)
{
    const bool ipv6 = options.showIpv6Endpoints;
    const bool processes = options.attributeProcesses;
    if (!agent.servesEndpointTables() || (!ipv6 && !processes))
        return true;
    std::vector<InetEndpointRecord> tcp;
    std::vector<InetEndpointRecord> udp;
    // Without processes only the IPv6 rows are shown: the older IPv6 tables give them with
    // their states alone, so the agent looks for no owner.
    const bool ipv6Tables = !processes && agent.servesIpv6Tables();
    if (options.showTcp && ipv6Tables) {
        tcp = agent.walkIpv6TcpConnections();
        if (agent.lastWalkFailed())
            return false;
    } else if (options.showTcp) {
        tcp = agent.walkTcpConnections();
        if (agent.lastWalkFailed())
            return false;
        std::vector<InetEndpointRecord> listeners = agent.walkTcpListeners();
        if (agent.lastWalkFailed())
            return false;
        tcp.insert(tcp.end(), listeners.begin(), listeners.end());
    }
    if (options.showUdp) {
        udp = ipv6Tables ? agent.walkIpv6UdpEndpoints() : agent.walkUdpEndpoints();
        if (agent.lastWalkFailed())
            return false;
    }
    if (processes) {
        later.owners.setProcesses(agent.walkProcesses());
        if (agent.lastWalkFailed())
            return false;
        later.owners.addTcp(tcp);
        later.owners.addUdp(udp);
    }
    // A dual-stack wildcard socket is of neither family; the IPv4 tables show it as 0.0.0.0.
    for (const InetEndpointRecord& record : tcp) {
        if (record.localType == 0)
            later.dualStackTcp.insert(record.localPort);
    }
    for (const InetEndpointRecord& record : udp) {
        if (record.localType == 0)
            later.dualStackUdp.insert(record.localPort);
        if (record.remotePort != 0 && !isPureIpv6(record) && record.remoteType != 0)
            later.udpPeers[{ ipv4Of(record.localType, record.localAddress), record.localPort }]
                = { ipv4Of(record.remoteType, record.remoteAddress), record.remotePort };
    }
    if (!ipv6)
        return true;
    // Mapped and dual-stack sockets are already rows of the IPv4 tables. Filtered in place:
    // a copy would hold every IPv6 row twice.
    std::erase_if(tcp, [](const InetEndpointRecord& record) { return !isPureIpv6(record); });
    std::erase_if(udp, [](const InetEndpointRecord& record) { return !isPureIpv6(record); });
    later.tcp6 = std::move(tcp);
    later.udp6 = std::move(udp);
    std::sort(later.tcp6.begin(), later.tcp6.end(), endsBefore);
    if (!processes) {
        for (InetEndpointRecord& record : later.tcp6)
            record.pid = 0;
        for (InetEndpointRecord& record : later.udp6)
            record.pid = 0;
    }
    return true;
}

// The TCP statistics, when traffic is shown. They only add to the rows: a failed walk or
// an agent without them leaves "–" in the cells and says why, never fails the scan.
void walkTraffic(MibAgent& agent, const Options& options, LaterTables& later)
{
    if (!options.showTraffic || !options.showTcp || !agent.servesTrafficTables())
        return;
    std::vector<TrafficRecord> records = agent.readTraffic();
    if (agent.lastWalkFailed()) {
        const std::string why = agent.lastWalkError();
        later.trafficNotice = "Traffic could not be read" + (why.empty() ? std::string() : ": " + why);
        return;
    }
    later.traffic.set(std::move(records));
}

// Why the traffic cells read "–", when it is not that the rows are UDP: the walk failed,
// or the agent gave no statistics though it has established connections (an agent
// without the tables; one with them lists every established connection).
std::string trafficNoticeOf(const Options& options, const LaterTables& later, const ConnectionTable& table)
{
    if (!options.showTraffic || !later.trafficNotice.empty())
        return later.trafficNotice;
    if (!later.traffic.empty())
        return {};
    // An agent without the tables, or one with no connection: which, its rows tell.
    for (int r = 1; r <= table.count(); ++r) {
        if (isEstablished(table.row(r).state))
            return "The agent serves no TCP statistics: traffic is not known";
    }
    return {};
}

// Every walk of a scan; false when one failed.
bool walkTables(MibAgent& agent, const Options& options, std::vector<MibEndpoint>& tcp,
    std::vector<MibEndpoint>& udp, LaterTables& later)
{
    // First: the agent module's read for the statistics then serves the other tables too.
    walkTraffic(agent, options, later);
    if (options.showTcp) {
        tcp = agent.walkTcpTable();
        if (agent.lastWalkFailed())
            return false;
    }
    if (options.showUdp) {
        udp = agent.walkUdpTable();
        if (agent.lastWalkFailed())
            return false;
    }
    return walkLaterTables(agent, options, later);
}

// A listening row has no remote side: resolved all the same (so the remote address may
// have entered the cache), then shown as "none", or not at all while listeners are hidden.
void finishTcpRow(ConnectionRow& row, const Options& options, RowWriter& writer)
{
    if (isListening(row.state)) {
        setField(row.remoteHost, "none");
        setField(row.remotePort, "none");
        setField(row.remoteAddress, "");
        if (!options.showListening) {
            writer.discard();
            return;
        }
    }
    writer.finish();
}

// One TCP row of either family, its texts asked of the resolver in the row's order.
template <typename Address>
void fillTcpRow(ConnectionRow& row, NameResolver& resolver, const Address& local, std::int32_t localPort,
    const Address& remote, std::int32_t remotePort, std::int32_t state, const std::string& localText,
    const std::string& remoteText)
{
    setField(row.localHost, resolver.resolveHostName(true, local));
    setField(row.localPort, resolver.resolvePortName(localPort, "tcp"));
    setField(row.remoteHost, resolver.resolveHostName(false, remote));
    setField(row.remotePort, resolver.resolvePortName(remotePort, "tcp"));
    setField(row.protocol, "TCP");
    setField(row.state, tcpStateText(state));
    setField(row.localAddress, localText);
    setField(row.remoteAddress, remoteText);
    row.localPortNumber = localPort;
    row.remotePortNumber = remotePort;
    row.dualStack = false;
    row.trafficKnown = false;
}

void setTraffic(ConnectionRow& row, const TrafficRecord* traffic)
{
    if (!traffic)
        return;
    row.trafficKnown = true;
    row.bytesSent = traffic->bytesSent;
    row.bytesReceived = traffic->bytesReceived;
    row.sendRate = traffic->sendRate;
    row.receiveRate = traffic->receiveRate;
    row.rttMs = traffic->rttMs;
    row.retransmits = traffic->retransmits;
}

// One UDP row of either family: no remote side, no state.
template <typename Address>
void fillUdpRow(ConnectionRow& row, NameResolver& resolver, const Address& local, std::int32_t localPort,
    const std::string& localText)
{
    setField(row.localHost, resolver.resolveHostName(true, local));
    setField(row.localPort, resolver.resolvePortName(localPort, "udp"));
    setField(row.remoteHost, "none");
    setField(row.remotePort, "none");
    setField(row.protocol, "UDP");
    setField(row.state, "none");
    setField(row.localAddress, localText);
    setField(row.remoteAddress, "");
    row.localPortNumber = localPort;
    row.remotePortNumber = 0;
    row.dualStack = false;
    row.trafficKnown = false; // the kernel counts no bytes per UDP socket
}

// The remote end of a connected UDP socket, where "none" stood.
template <typename Address>
void fillUdpPeer(ConnectionRow& row, NameResolver& resolver, const Address& remote, int remotePort,
    const std::string& remoteText)
{
    setField(row.remoteHost, resolver.resolveHostName(false, remote));
    setField(row.remotePort, resolver.resolvePortName(remotePort, "udp"));
    setField(row.remoteAddress, remoteText);
    row.remotePortNumber = remotePort;
}

// " (v6)" after an IPv6 end's name, where a name and not the numbers stands.
void markIpv6Names(ConnectionRow& row)
{
    const auto mark = [](FixedText<255>& host, const char* address) {
        if (address[0] != '\0' && std::strcmp(host, address) != 0 && std::strcmp(host, "none") != 0)
            setField(host, std::string(host) + " (v6)");
    };
    mark(row.localHost, row.localAddress);
    mark(row.remoteHost, row.remoteAddress);
}

void scanTcp6(const LaterTables& later, const Options& options, NameResolver& resolver, RowWriter& writer)
{
    for (const InetEndpointRecord& record : later.tcp6) {
        ConnectionRow* row = writer.begin();
        if (!row)
            continue;
        fillTcpRow(*row, resolver, record.localAddress, record.localPort, record.remoteAddress,
            record.remotePort, record.stateValue, ipv6Text(record.localAddress),
            ipv6Text(record.remoteAddress));
        if (options.markIpv6Names)
            markIpv6Names(*row);
        setProcess(*row, record.pid, later.owners);
        setTraffic(*row, later.traffic.find(record));
        finishTcpRow(*row, options, writer);
    }
}

void scanUdp6(const LaterTables& later, const Options& options, NameResolver& resolver, RowWriter& writer)
{
    for (const InetEndpointRecord& record : later.udp6) {
        ConnectionRow* row = writer.begin();
        if (!row)
            continue;
        fillUdpRow(*row, resolver, record.localAddress, record.localPort, ipv6Text(record.localAddress));
        if (options.showUdpPeers && record.remoteType == 2 && record.remotePort != 0)
            fillUdpPeer(
                *row, resolver, record.remoteAddress, record.remotePort, ipv6Text(record.remoteAddress));
        if (options.markIpv6Names)
            markIpv6Names(*row);
        setProcess(*row, record.pid, later.owners);
        writer.finish();
    }
}

void scanTcp(const std::vector<MibEndpoint>& records, const Options& options, NameResolver& resolver,
    RowWriter& writer, const LaterTables& later)
{
    const ProcessIndex& owners = later.owners;
    for (const MibEndpoint& record : records) {
        ConnectionRow* row = writer.begin();
        if (!row)
            continue; // beyond capacity: counted, nothing is stored
        fillTcpRow(*row, resolver, record.localAddress, record.localPortNumber, record.remoteAddress,
            record.remotePortNumber, record.stateValue, NameResolver::dottedQuad(record.localAddress),
            NameResolver::dottedQuad(record.remoteAddress));
        setProcess(*row,
            owners.tcpOwner(
                record.localAddress, record.localPortNumber, record.remoteAddress, record.remotePortNumber),
            owners);
        row->dualStack = record.localAddress == 0
            && later.dualStackTcp.contains(static_cast<std::uint16_t>(record.localPortNumber));
        setTraffic(*row,
            later.traffic.find(
                record.localAddress, record.localPortNumber, record.remoteAddress, record.remotePortNumber));
        finishTcpRow(*row, options, writer);
    }
}

void scanUdp(const std::vector<MibEndpoint>& records, const Options& options, NameResolver& resolver,
    RowWriter& writer, const LaterTables& later)
{
    const ProcessIndex& owners = later.owners;
    for (const MibEndpoint& record : records) {
        ConnectionRow* row = writer.begin();
        if (!row)
            continue;
        fillUdpRow(*row, resolver, record.localAddress, record.localPortNumber,
            NameResolver::dottedQuad(record.localAddress));
        setProcess(*row, owners.udpOwner(record.localAddress, record.localPortNumber), owners);
        row->dualStack = record.localAddress == 0
            && later.dualStackUdp.contains(static_cast<std::uint16_t>(record.localPortNumber));
        const auto peer = later.udpPeers.find({ record.localAddress, record.localPortNumber });
        if (options.showUdpPeers && peer != later.udpPeers.end())
            fillUdpPeer(*row, resolver, peer->second.first, peer->second.second,
                NameResolver::dottedQuad(peer->second.first));
        writer.finish();
    }
}

// The status bar after a scan: what the filter keeps out of view, what found no room, and
// the rows the agent gave that could not be shown.
std::string finalStatusText(bool tellHidden, int hidden, int notStored, const std::string& notice)
{
    std::string text;
    if (tellHidden)
        text = hiddenText(hidden);
    if (notStored > 0)
        text += (text.empty() ? "" : "  ") + notShownText(notStored);
    if (!notice.empty())
        text += (text.empty() ? "" : "  ") + notice;
    return text;
}

// A walk that failed is never shown as a machine without endpoints: the rows of the last
// good scan stay on screen, and the status bar says so. With none (an agent that has not
// answered yet) the failure alone is told.
std::string staleRowsText(const MibAgent& agent, const ConnectionTable& table)
{
    if (table.count() == 0)
        return agent.lastWalkError();
    return agent.lastWalkError() + ": the rows shown are stale, from the last scan that read the tables";
}

void logEstablished(const Options& options, ConnectionLog& log, const ConnectionTable& table)
{
    if (table.count() == 0)
        return; // no row: the log file is not touched
    // Opened whether or not logging is on: a scan with rows creates the file, as users expect.
    auto entries = log.openForScan();
    for (int r = 1; r <= table.count(); ++r) {
        // The same texts the grid cells 1 to 4 were given.
        const ConnectionRow& row = table.row(r);
        if (!options.logEnabled || !isEstablished(row.state))
            continue;
        // Among several computers, each entry says whose connection it is.
        if (options.computerName.empty())
            entries->appendLogEntry(row.localHost, row.localPort, row.remotePort, row.remoteHost);
        else
            entries->appendLogEntry(
                options.computerName + "  " + row.localHost, row.localPort, row.remotePort, row.remoteHost);
    }
}

// The computer's name in the history: the same for every writer, whatever the names shown.
std::string historyComputerName(const Options& options)
{
    if (options.watchAgent)
        return options.watchHost;
    char name[256] = {};
    gethostname(name, sizeof name - 1);
    return name;
}

// Every endpoint the walks gave, numbers only, for the history.
std::shared_ptr<const SeenScan> seenScanOf(const std::vector<MibEndpoint>& tcp,
    const std::vector<MibEndpoint>& udp, const LaterTables& later, const Options& options,
    std::string computer)
{
    auto scan = std::make_shared<SeenScan>();
    scan->computer = std::move(computer);
    scan->time = std::time(nullptr);
    scan->tcp = options.showTcp;
    scan->udp = options.showUdp;
    scan->ipv6 = options.showIpv6Endpoints;
    scan->endpoints.reserve(tcp.size() + udp.size() + later.tcp6.size() + later.udp6.size());
    // Owners' names from /proc only on this computer; another one's users are not ours.
    std::map<std::uint32_t, std::string> users;
    const auto add = [&](bool isUdp, std::string local, int localPort, std::string remote, int remotePort,
                         int state, std::uint32_t pid) {
        SeenEndpoint& seen = scan->endpoints.emplace_back();
        seen.udp = isUdp;
        seen.localAddress = std::move(local);
        seen.localPort = localPort;
        if (remotePort != 0 && state != kTcpListenState) {
            seen.remoteAddress = std::move(remote);
            seen.remotePort = remotePort;
        }
        seen.state = state;
        seen.pid = pid;
        if (const ProcessRecord* process = pid != 0 ? later.owners.process(pid) : nullptr)
            seen.process = process->name;
        if (pid != 0 && !options.watchAgent) {
            auto [user, added] = users.try_emplace(pid);
            if (added)
                user->second = processUser(pid);
            seen.user = user->second;
        }
    };
    // A connection's bytes at this sight, where the scan read the traffic.
    const auto withTraffic = [&scan](const TrafficRecord* traffic) {
        if (!traffic)
            return;
        scan->endpoints.back().bytesSent = static_cast<std::int64_t>(traffic->bytesSent);
        scan->endpoints.back().bytesReceived = static_cast<std::int64_t>(traffic->bytesReceived);
        scan->endpoints.back().connectIndex = traffic->connectIndex;
    };
    const ProcessIndex& owners = later.owners;
    for (const MibEndpoint& record : tcp) {
        add(false, NameResolver::dottedQuad(record.localAddress), record.localPortNumber,
            NameResolver::dottedQuad(record.remoteAddress), record.remotePortNumber, record.stateValue,
            owners.tcpOwner(
                record.localAddress, record.localPortNumber, record.remoteAddress, record.remotePortNumber));
        withTraffic(later.traffic.find(
            record.localAddress, record.localPortNumber, record.remoteAddress, record.remotePortNumber));
    }
    for (const InetEndpointRecord& record : later.tcp6) {
        add(false, ipv6Text(record.localAddress), record.localPort, ipv6Text(record.remoteAddress),
            record.remotePort, record.stateValue, record.pid);
        withTraffic(later.traffic.find(record));
    }
    for (const MibEndpoint& record : udp) {
        const auto peer = later.udpPeers.find({ record.localAddress, record.localPortNumber });
        const bool connected = peer != later.udpPeers.end();
        add(true, NameResolver::dottedQuad(record.localAddress), record.localPortNumber,
            connected ? NameResolver::dottedQuad(peer->second.first) : std::string(),
            connected ? peer->second.second : 0, 0,
            owners.udpOwner(record.localAddress, record.localPortNumber));
    }
    for (const InetEndpointRecord& record : later.udp6)
        add(true, ipv6Text(record.localAddress), record.localPort,
            record.remoteType == 2 ? ipv6Text(record.remoteAddress) : std::string(),
            record.remoteType == 2 ? record.remotePort : 0, 0, record.pid);
    return scan;
}

} // namespace

std::string hiddenText(int hidden)
{
    return "Filter: " + std::to_string(hidden) + (hidden == 1 ? " endpoint" : " endpoints") + " hidden";
}

void runScan(MibAgent& agent, const Options& options, NameResolver& resolver, ConnectionLog& log,
    ScanView& view, ConnectionTable& table)
{
    try {
        resolver.useOptions(options);
        view.showView(options.graphicView);
        view.setStatusText("Scanning...");
        agent.beginScan();
        std::vector<MibEndpoint> tcp;
        std::vector<MibEndpoint> udp;
        LaterTables later;
        const bool read = walkTables(agent, options, tcp, udp, later);
        agent.endScan();
        if (!read) {
            const std::string why = agent.lastWalkError();
            view.setReadFailure(why.empty() ? std::string("the tables could not be read") : why);
            view.setStatusText(staleRowsText(agent, table));
            return;
        }
        if (view.recordsHistory())
            view.recordScan(seenScanOf(tcp, udp, later, options, historyComputerName(options)));
        table.reset();
        table.setCapacity(options.tableSize);
        const RowFilter filter = RowFilter::fromOptions(options);
        // Every name the rows need is fetched first, many at a time; the rows then take
        // them one by one, as they always did. While a filter is on every endpoint is
        // resolved, as its names decide whether it takes a place.
        resolver.prefetchHostNames(hostQueries(tcp, udp, options.showListening,
            filter.active() ? ConnectionTable::kUnbounded : options.tableSize,
            static_cast<int>(later.tcp6.size())));
        std::unique_ptr<ConnectionTable> unfiltered;
        if (filter.active())
            unfiltered = std::make_unique<ConnectionTable>(options.tableSize);
        RowWriter writer(filter, table, unfiltered.get());
        // Each walk's records go once their rows are made: the table is at its largest then.
        scanTcp(tcp, options, resolver, writer, later);
        std::vector<MibEndpoint>().swap(tcp);
        scanTcp6(later, options, resolver, writer);
        std::vector<InetEndpointRecord>().swap(later.tcp6);
        scanUdp(udp, options, resolver, writer, later);
        std::vector<MibEndpoint>().swap(udp);
        scanUdp6(later, options, resolver, writer);
        // One message when an overflow begins, however many endpoints found no room; the
        // status bar tells the count at every scan while it lasts.
        if (table.overflowBegins())
            view.showCapacityMessage(table.notStored());
        orderRows(table);
        // A filter that matches nothing leaves no row at all, where an empty machine shows
        // one blank row.
        const bool noneMatches = filter.active() && table.count() == 0;
        view.setGridTable(table, noneMatches);
        if (unfiltered)
            orderRows(*unfiltered);
        logEstablished(options, log, unfiltered ? *unfiltered : table);
        if (view.showsMap()) {
            auto finished = std::make_shared<MapTable>();
            finished->table = table;
            // A large table's order for the map is a sort: made here, off the GUI thread,
            // whose redraws then find it in order. A small one rotates at each redraw.
            if (finished->table.count() > ConnectionTable::kCapacity)
                orderMapRows(finished->table);
            finished->localComputerName = resolver.localComputerName();
            view.publishMapTable(std::move(finished), options.graphicView);
        }
        const std::string trafficNotice = trafficNoticeOf(options, later, table);
        if (!trafficNotice.empty())
            view.showTrafficNotice(trafficNotice);
        std::string notice = agent.scanNotice();
        if (!trafficNotice.empty())
            notice += (notice.empty() ? "" : "  ") + trafficNotice;
        else if (options.showTraffic && !later.traffic.empty())
            notice += (notice.empty() ? "" : "  ") + later.traffic.totalText();
        view.setReadFailure(std::string());
        const bool hiddenTold = filter.active() && view.takeHiddenCount(writer.hidden());
        view.setStatusText(noneMatches ? kNoneMatches
                                       : finalStatusText(filter.active() && !hiddenTold, writer.hidden(),
                                           table.notStored(), notice));
    } catch (...) {
        // An exception must not leave the worker; the status text should not claim a scan.
        try {
            view.setStatusText(std::string());
        } catch (...) {
        }
    }
}
