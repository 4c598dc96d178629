#pragma once
// The command line of veltran-scan: which kinds of endpoint and which look-ups to use.

#include "scan/settings.h"

#include <string>

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

    bool listening = true;
    bool tcp = true;
    bool udp = true;
    bool hostNames = true;
    bool portNames = true;
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
        Version,
        Error
    };
    Action action = Action::Scan;
    OutputFormat format = OutputFormat::Tsv;
    CommandLineSettings settings;
    std::string error; // for Error: what was wrong
};

ScanArguments parseScanArguments(int argc, const char* const* argv);

// The text --help prints.
std::string scanUsage(const char* programName);
