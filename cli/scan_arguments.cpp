#include "cli/scan_arguments.h"

#include <cstring>

namespace {

struct Flag
{
    const char* name;
    bool CommandLineSettings::*option;
    const char* help;
};

constexpr Flag kFlags[] {
    { "--no-host-names", &CommandLineSettings::hostNames, "show addresses as dotted quads" },
    { "--no-port-names", &CommandLineSettings::portNames, "show ports as numbers" },
    { "--no-listening", &CommandLineSettings::listening, "leave out listening TCP ports" },
    { "--no-tcp", &CommandLineSettings::tcp, "leave out TCP connections and listening ports" },
    { "--no-udp", &CommandLineSettings::udp, "leave out UDP endpoints" },
};

} // namespace

ScanArguments parseScanArguments(int argc, const char* const* argv)
{
    ScanArguments result;
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0) {
            result.action = ScanArguments::Action::Help;
            return result;
        }
        if (std::strcmp(argument, "--version") == 0) {
            result.action = ScanArguments::Action::Version;
            return result;
        }
        if (std::strncmp(argument, "--format", 8) == 0 && (argument[8] == '\0' || argument[8] == '=')) {
            const char* value = argument[8] == '=' ? argument + 9 : (i + 1 < argc ? argv[++i] : "");
            const struct
            {
                const char* name;
                OutputFormat format;
            } formats[] { { "tsv", OutputFormat::Tsv }, { "csv", OutputFormat::Csv },
                { "json", OutputFormat::Json } };
            bool found = false;
            for (const auto& format : formats) {
                if (std::strcmp(value, format.name) == 0) {
                    result.format = format.format;
                    found = true;
                }
            }
            if (!found) {
                result.action = ScanArguments::Action::Error;
                result.error = std::string("unknown format '") + value + "' (tsv, csv or json)";
                return result;
            }
            continue;
        }
        bool known = false;
        for (const Flag& flag : kFlags) {
            if (std::strcmp(argument, flag.name) == 0) {
                result.settings.*flag.option = false;
                known = true;
            }
        }
        if (!known) {
            result.action = ScanArguments::Action::Error;
            result.error = std::string("unknown option '") + argument + "'";
            return result;
        }
    }
    return result;
}

std::string scanUsage(const char* programName)
{
    std::string text = std::string("Usage: ") + programName + " [options]\n"
        + "Runs one scan of this computer's TCP and UDP endpoints and prints the rows,\n"
          "cells separated by tabs, after a header row.\n\nOptions:\n";
    text += "  --format FORMAT   tsv (the default), csv (RFC 4180) or json (an array of\n"
            "                    objects with the column names as keys)\n";
    for (const Flag& flag : kFlags) {
        std::string name = flag.name;
        name.resize(18, ' ');
        text += "  " + name + flag.help + "\n";
    }
    text += "  --version         show the version\n";
    text += "  --help            show this text\n";
    return text;
}
