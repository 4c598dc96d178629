#pragma once
// The command line of veltran-scan: which kinds of endpoint and which look-ups to use,
// and the SNMP agents to read instead of this computer.

#include "scan/options.h"

#include <string>
#include <vector>

// The options of one headless scan: the program's defaults, without a map, and without
// the owners' search, which only --processes asks for.
Options commandLineDefaults();

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
        Error,
        Record, // --record: scan and record until stopped
        History // --history: print what was recorded
    };
    Action action = Action::Scan;
    OutputFormat format = OutputFormat::Tsv;
    Options options = commandLineDefaults();
    std::string error; // for Error: what was wrong
    // The agents to read, in net-snmp's peer syntax; none means this computer.
    std::vector<std::string> hosts;
    // Their SNMP options in snmpwalk's syntax, one word each.
    std::vector<std::string> snmpOptions;
    // --links: the connections between the HOSTs' computers instead of their rows.
    bool links = false;
    // --record and --history.
    int recordInterval = 1; // seconds
    int keepDays = 30;
    int maxMegabytes = 0; // 0: no cap
    std::string historySince = "1d";
    std::string historyUntil;
    std::string historyGroup;
    // --rates: seconds between the two scans whose difference gives the rates; 0: one scan.
    int rateSeconds = 0;
};

ScanArguments parseScanArguments(int argc, const char* const* argv);

// The text --help prints.
std::string scanUsage(const char* programName);
