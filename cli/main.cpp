// veltran-scan: one scan through the monitor's own core, printed as the grid shows it;
// of this computer, or of any number of others through their SNMP agents.

#include "cli/fleet_link_printing.h"
#include "cli/history_commands.h"
#include "cli/printing_scan_view.h"
#include "cli/scan_arguments.h"
#include "log/connection_log.h"
#include "platform/name_services.h"
#include "scan/agent_name_services.h"
#include "scan/connection_table.h"
#include "scan/fleet_links.h"
#include "scan/mib_agent.h"
#include "scan/name_resolver.h"
#include "scan/remote_agents.h"
#include "scan/run_scan.h"

#include <algorithm>
#include <chrono>
#include <iostream>
#include <malloc.h>
#include <memory>
#include <sstream>
#include <thread>

namespace {

// The records an agent gave, handed to the scan as if walked just now; the later tables
// (both families, the owners) asked of the agent itself, as the window asks them.
class RecordedMibAgent final : public MibAgent
{
public:
    RecordedMibAgent(const AgentPollResult& result, std::shared_ptr<MibAgent> later)
        : m_result(result)
        , m_later(std::move(later))
    {
    }
    std::vector<MibEndpoint> walkTcpTable() override { return recorded(m_result.tcp); }
    std::vector<MibEndpoint> walkUdpTable() override { return recorded(m_result.udp); }
    bool servesEndpointTables() const override { return m_later && m_later->servesEndpointTables(); }
    bool servesIpv6Tables() const override { return m_later && m_later->servesIpv6Tables(); }
    std::vector<InetEndpointRecord> walkTcpConnections() override
    {
        return asked(&MibAgent::walkTcpConnections);
    }
    std::vector<InetEndpointRecord> walkTcpListeners() override { return asked(&MibAgent::walkTcpListeners); }
    std::vector<InetEndpointRecord> walkUdpEndpoints() override { return asked(&MibAgent::walkUdpEndpoints); }
    std::vector<ProcessRecord> walkProcesses() override { return asked(&MibAgent::walkProcesses); }
    bool servesTrafficTables() const override { return m_later && m_later->servesTrafficTables(); }
    std::vector<TrafficRecord> walkTraffic() override { return asked(&MibAgent::walkTraffic); }
    bool lastWalkFailed() const override { return m_lastAsked && m_later->lastWalkFailed(); }
    std::string lastWalkError() const override
    {
        return m_lastAsked ? m_later->lastWalkError() : std::string();
    }

private:
    std::vector<MibEndpoint> recorded(const std::vector<MibEndpoint>& records)
    {
        m_lastAsked = false;
        return records;
    }
    template <typename Record> std::vector<Record> asked(std::vector<Record> (MibAgent::*walk)())
    {
        m_lastAsked = true;
        return (*m_later.*walk)();
    }

    const AgentPollResult& m_result;
    std::shared_ptr<MibAgent> m_later;
    bool m_lastAsked = false; // the last walk was one asked of the agent now, not recorded
};

// The SNMP options as one text that splits back into the same words, as a shell splits.
std::string quotedWords(const std::vector<std::string>& words)
{
    std::string text;
    for (const std::string& word : words) {
        text += text.empty() ? "'" : " '";
        for (char c : word)
            text += c == '\'' ? std::string("'\\''") : std::string(1, c);
        text += '\'';
    }
    return text;
}

// One agent's rows through the same scan steps as this computer's.
// With --rates, one scan, the wait, and the scan whose rows print: the rates are the
// difference between the two.
template <typename Scan> void scanForRates(int rateSeconds, Scan&& scan)
{
    if (rateSeconds > 0) {
        scan();
        std::this_thread::sleep_for(std::chrono::seconds(rateSeconds));
    }
    scan();
}

struct HostScan
{
    HostScan(const AgentPollResult& result, const Options& options, std::shared_ptr<MibAgent> later,
        int rateSeconds)
        : agent(result, std::move(later))
        , services(systemNameServices(), result.sysName)
        , view(errors)
        , resolver(services)
        , options(options)
        , rateSeconds(rateSeconds)
    {
        view.setProcessColumn(options.showProcessColumn);
        view.setTrafficColumns(options.showTraffic, rateSeconds > 0);
    }
    // The rows are those of the poll; the traffic is read again at each scan.
    void run()
    {
        scanForRates(rateSeconds, [this] { runScan(agent, options, resolver, log, view, table); });
    }

    RecordedMibAgent agent;
    AgentNameServices services;
    ConnectionLog log; // no name is ever set, so nothing is written
    std::ostringstream errors; // the scans run side by side; their messages print in host order
    PrintingScanView view;
    NameResolver resolver;
    ConnectionTable table;
    const Options& options;
    int rateSeconds;
};

int scanThisComputer(const ScanArguments& arguments)
{
    MibAgent agent;
    const std::string failure = startNetworking(agent);
    if (!failure.empty()) {
        std::cerr << failure << std::endl;
        return 1;
    }
    ConnectionLog log; // no name is ever set, so nothing is written
    PrintingScanView view(std::cerr);
    view.setProcessColumn(arguments.options.showProcessColumn);
    view.setTrafficColumns(arguments.options.showTraffic, arguments.rateSeconds > 0);
    // One scan needs no worker thread: it runs here, through the window's own scan steps.
    NameResolver resolver(systemNameServices());
    auto table = std::make_unique<ConnectionTable>();
    scanForRates(
        arguments.rateSeconds, [&] { runScan(agent, arguments.options, resolver, log, view, *table); });
    if (!view.readFailure().empty()) {
        std::cerr << view.readFailure() << std::endl;
        return 1;
    }
    std::cerr.flush();
    view.print(std::cout, arguments.format);
    std::cout.flush();
    return std::cout.good() && table->notStored() == 0 ? 0 : 1;
}

int scanAgents(const ScanArguments& arguments)
{
    AgentPollRequest request;
    request.tcp = arguments.options.showTcp;
    request.udp = arguments.options.showUdp;
    const std::vector<AgentPollResult> results
        = pollRemoteAgents(arguments.hosts, arguments.snmpOptions, request);

    // The rows of the agents that answered, built side by side: host names may take a while.
    constexpr std::size_t kParallelScans = 16;
    std::vector<std::unique_ptr<HostScan>> scans(results.size());
    for (std::size_t first = 0; first < results.size(); first += kParallelScans) {
        const std::size_t last = std::min(results.size(), first + kParallelScans);
        std::vector<std::thread> running;
        for (std::size_t i = first; i < last; ++i) {
            // A scan a cap stopped still shows what it read; its error says it is not all.
            if (!results[i].ok && !results[i].capped)
                continue;
            // Both families and the owners come from the later tables, read only when asked.
            std::shared_ptr<MibAgent> later;
            if (arguments.options.showIpv6Endpoints || arguments.options.attributeProcesses
                || arguments.options.showTraffic)
                later = makeRemoteAgent(results[i].peer, quotedWords(arguments.snmpOptions));
            scans[i] = std::make_unique<HostScan>(
                results[i], arguments.options, std::move(later), arguments.rateSeconds);
            running.emplace_back([scan = scans[i].get()] { scan->run(); });
        }
        for (std::thread& thread : running)
            thread.join();
    }

    bool allRead = true;
    for (std::size_t i = 0; i < results.size(); ++i) {
        if (scans[i] && !scans[i]->view.readFailure().empty()) {
            std::cerr << scans[i]->view.readFailure() << '\n';
            scans[i].reset(); // a failed scan is never printed as a machine without endpoints
            allRead = false;
        } else if (scans[i]) {
            std::cerr << scans[i]->errors.str();
            allRead = allRead && scans[i]->table.notStored() == 0; // --limit left some out
        }
        if (!results[i].error.empty())
            std::cerr << results[i].error << '\n';
        if (!results[i].notice.empty())
            std::cerr << results[i].notice << '\n';
        allRead = allRead && results[i].ok && results[i].notice.empty();
    }
    std::cerr.flush();
    if (results.size() == 1) {
        if (scans[0])
            scans[0]->view.print(std::cout, arguments.format);
    } else {
        std::vector<std::pair<std::string, std::vector<std::vector<std::string>>>> tables;
        PrintingScanView headerOnly(std::cerr);
        headerOnly.setProcessColumn(arguments.options.showProcessColumn);
        headerOnly.setTrafficColumns(arguments.options.showTraffic, arguments.rateSeconds > 0);
        std::vector<std::string> header = headerOnly.header();
        for (std::size_t i = 0; i < results.size(); ++i) {
            if (!scans[i])
                continue;
            tables.emplace_back(results[i].peer, scans[i]->view.cells());
        }
        printHostTables(std::cout, arguments.format, header, tables);
    }
    std::cout.flush();
    return std::cout.good() && allRead ? 0 : 1;
}

int linkAgents(const ScanArguments& arguments)
{
    AgentPollRequest request;
    request.tcp = request.udp = false;
    request.endpoints = request.addresses = true;
    const std::vector<AgentPollResult> results
        = pollRemoteAgents(arguments.hosts, arguments.snmpOptions, request);
    std::vector<FleetComputer> computers;
    bool allRead = true;
    for (const AgentPollResult& result : results) {
        if (!result.error.empty())
            std::cerr << result.error << '\n';
        if (!result.notice.empty())
            std::cerr << result.notice << '\n';
        allRead = allRead && result.ok && result.notice.empty();
        if (!result.ok)
            continue; // never a computer without connections: its connections are unknown
        FleetComputer computer = fleetComputer(result);
        std::erase_if(computer.endpoints, [&](const FleetEndpoint& row) {
            return row.protocol == FleetProtocol::Tcp ? !arguments.options.showTcp
                                                      : !arguments.options.showUdp;
        });
        // Agents are often left with the same sysName: the peer tells them apart.
        if (std::ranges::any_of(
                computers, [&](const FleetComputer& other) { return other.name == computer.name; }))
            computer.name += " (" + result.peer + ")";
        computers.push_back(std::move(computer));
    }
    std::cerr.flush();
    printFleetLinks(std::cout, arguments.format, computers, linkFleet(computers));
    std::cout.flush();
    return std::cout.good() && allRead ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    // A busy machine's tables are megabytes that grow by doubling: with a fixed threshold
    // every such buffer is mapped on its own and unmapped when freed, where glibc's moving
    // threshold would keep the outgrown ones on the heap and add them to the peak.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    const ScanArguments arguments = parseScanArguments(argc, argv);
    switch (arguments.action) {
    case ScanArguments::Action::Help:
        std::cout << scanUsage(argv[0]);
        return 0;
    case ScanArguments::Action::Exit:
        return 0;
    case ScanArguments::Action::Version:
        std::cout << "veltran-scan " VELTRAN_VERSION "\n";
        return 0;
    case ScanArguments::Action::Error:
        std::cerr << argv[0] << ": " << arguments.error << "\n" << scanUsage(argv[0]);
        return 2;
    case ScanArguments::Action::Scan:
        break;
    case ScanArguments::Action::Record:
        return recordHistory(arguments);
    case ScanArguments::Action::History:
        return printHistory(arguments);
    }

    // One capacity message per endpoint beyond the table's 200 rows can mean thousands of
    // lines: buffer them rather than write each on its own.
    std::ios::sync_with_stdio(false);
    std::cerr.unsetf(std::ios::unitbuf);

    if (arguments.hosts.empty())
        return scanThisComputer(arguments);
    if (arguments.links)
        return linkAgents(arguments);
    return scanAgents(arguments);
}
