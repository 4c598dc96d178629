// veltran-scan: one scan through the monitor's own core, printed as the grid shows it.

#include "cli/printing_scan_view.h"
#include "cli/scan_arguments.h"
#include "log/connection_log.h"
#include "platform/name_services.h"
#include "scan/connection_table.h"
#include "scan/mib_agent.h"
#include "scan/name_resolver.h"
#include "scan/run_scan.h"

#include <iostream>
#include <memory>

int main(int argc, char** argv)
{
    const ScanArguments arguments = parseScanArguments(argc, argv);
    switch (arguments.action) {
    case ScanArguments::Action::Help:
        std::cout << scanUsage(argv[0]);
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

    MibAgent agent;
    const std::string failure = startNetworking(agent);
    if (!failure.empty()) {
        std::cerr << failure << std::endl;
        return 1;
    }
    ConnectionLog log; // no name is ever set, so nothing is written
    PrintingScanView view(std::cerr);
    // One scan needs no worker thread: it runs here, through the window's own scan steps.
    NameResolver resolver(arguments.settings, systemNameServices());
    auto table = std::make_unique<ConnectionTable>(); // 200 rows of fixed texts: too large for the stack
    runScan(agent, arguments.settings, resolver, log, view, *table);
    std::cerr.flush();
    view.print(std::cout, arguments.format);
    std::cout.flush();
    return std::cout.good() ? 0 : 1;
}
