// veltran-scan: one scan through the monitor's own core, printed as the grid shows it;
// of this computer, or of any number of others through their SNMP agents.

#include "cli/printing_scan_view.h"
#include "cli/scan_arguments.h"
#include "log/connection_log.h"
#include "platform/name_services.h"
#include "scan/agent_name_services.h"
#include "scan/connection_table.h"
#include "scan/mib_agent.h"
#include "scan/name_resolver.h"
#include "scan/remote_agents.h"
#include "scan/run_scan.h"

#include <algorithm>
#include <iostream>
#include <malloc.h>
#include <memory>
#include <sstream>
#include <thread>

namespace {

// The records an agent gave, handed to the scan as if walked just now.
class RecordedMibAgent final : public MibAgent
{
public:
    explicit RecordedMibAgent(const AgentPollResult& result)
        : m_result(result)
    {
    }
    std::vector<MibEndpoint> walkTcpTable() override { return m_result.tcp; }
    std::vector<MibEndpoint> walkUdpTable() override { return m_result.udp; }

private:
    const AgentPollResult& m_result;
};

// One agent's rows through the same scan steps as this computer's.
struct HostScan
{
    HostScan(const AgentPollResult& result, const Options& options)
        : agent(result)
        , services(systemNameServices(), result.sysName)
        , view(errors)
        , resolver(services)
        , options(options)
    {
    }
    void run() { runScan(agent, options, resolver, log, view, table); }

    RecordedMibAgent agent;
    AgentNameServices services;
    ConnectionLog log; // no name is ever set, so nothing is written
    std::ostringstream errors; // the scans run side by side; their messages print in host order
    PrintingScanView view;
    NameResolver resolver;
    ConnectionTable table;
    const Options& options;
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
    // One scan needs no worker thread: it runs here, through the window's own scan steps.
    NameResolver resolver(systemNameServices());
    auto table = std::make_unique<ConnectionTable>(); // 200 rows of fixed texts: too large for the stack
    runScan(agent, arguments.options, resolver, log, view, *table);
    std::cerr.flush();
    view.print(std::cout, arguments.format);
    std::cout.flush();
    return std::cout.good() ? 0 : 1;
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
            scans[i] = std::make_unique<HostScan>(results[i], arguments.options);
            running.emplace_back([scan = scans[i].get()] { scan->run(); });
        }
        for (std::thread& thread : running)
            thread.join();
    }

    bool allRead = true;
    for (std::size_t i = 0; i < results.size(); ++i) {
        if (scans[i])
            std::cerr << scans[i]->errors.str();
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
        std::vector<std::pair<std::string, std::vector<GridRow>>> tables;
        for (std::size_t i = 0; i < results.size(); ++i) {
            if (scans[i])
                tables.emplace_back(results[i].peer, scans[i]->view.rows());
        }
        printHostTables(std::cout, arguments.format, tables);
    }
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
    }

    // One capacity message per endpoint beyond the table's 200 rows can mean thousands of
    // lines: buffer them rather than write each on its own.
    std::ios::sync_with_stdio(false);
    std::cerr.unsetf(std::ios::unitbuf);

    if (arguments.hosts.empty())
        return scanThisComputer(arguments);
    return scanAgents(arguments);
}
