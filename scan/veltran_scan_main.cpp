// veltran-scan: one scan through the monitor's own core, printed as the grid shows it.

#include "log/connection_log.h"
#include "platform/name_services.h"
#include "scan/mib_agent.h"
#include "scan/printing_scan_view.h"
#include "scan/scan_arguments.h"
#include "scan/scanner.h"

#include <iostream>

int main(int argc, char** argv)
{
    const ScanArguments arguments = parseScanArguments(argc, argv);
    switch (arguments.action) {
    case ScanArguments::Action::Help:
        std::cout << scanUsage(argv[0]);
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
    {
        Scanner scanner(agent, arguments.settings, systemNameServices(), log, view);
        scanner.startScan();
        scanner.waitForIdle(-1);
    }
    std::cerr.flush();
    view.print(std::cout);
    std::cout.flush();
    return std::cout.good() ? 0 : 1;
}
