#pragma once
// The command line of veltran-scan: which kinds of endpoint and which look-ups to use,
// and the SNMP agents to read instead of this computer.

#include "scan/settings.h"

#include <string>
#include <vector>

// The options of one headless scan; what no flag switches off keeps its default.
class CommandLineSettings final : public DefaultSettings
{
public:
    bool showListening() const override { return listening; }
    bool showTcp() const override { return tcp; }
    bool showUdp() const override { return udp; }
    bool lookupHostNames() const override { return hostNames; }
    bool lookupPortNames() const override { return portNames; }
    bool logEnabled() const override { return false; } // the command writes no log
    bool showIpv6Endpoints() const override { return ipv6; }
    bool showProcessColumn() const override { return processes; }
    // Without the column nobody sees the owners: their walks are saved.
    bool attributeProcesses() const override { return processes; }

    bool listening = true;
    bool tcp = true;
    bool udp = true;
    bool hostNames = true;
    bool portNames = true;
    bool ipv6 = true;
    bool processes = false;
};

// How the rows are printed: tab-separated as ever, RFC 4180 CSV, or a JSON array.
enum class OutputFormat
{
    Tsv,
    Csv,
    Json
};

struct ScanArguments
{
    enum class Action
    {
        Scan,
        Help,
        Exit, // net-snmp's parser answered an option such as -V itself
        Version,
        Error
    };
    Action action = Action::Scan;
    OutputFormat format = OutputFormat::Tsv;
    CommandLineSettings settings;
    std::string error; // for Error: what was wrong
    // The agents to read, in net-snmp's peer syntax; none means this computer.
    std::vector<std::string> hosts;
    // Their SNMP options in snmpwalk's syntax, one word each.
    std::vector<std::string> snmpOptions;
};

ScanArguments parseScanArguments(int argc, const char* const* argv);

// The text --help prints.
std::string scanUsage(const char* programName);
