#include "cli/scan_arguments.h"

#include "scan/remote_agents.h"

#include <charconv>
#include <cstring>
#include <string_view>

namespace {

struct Flag
{
    const char* name;
    bool Options::*option;
    const char* help;
};

constexpr Flag kFlags[] {
    { "--no-host-names", &Options::lookupHostNames, "show addresses as dotted quads" },
    { "--no-port-names", &Options::lookupPortNames, "show ports as numbers" },
    { "--no-listening", &Options::showListening, "leave out listening TCP ports" },
    { "--no-tcp", &Options::showTcp, "leave out TCP connections and listening ports" },
    { "--no-udp", &Options::showUdp, "leave out UDP endpoints" },
    { "--no-ipv6", &Options::showIpv6Endpoints, "leave out IPv6 endpoints (IPv4-mapped ones stay, as IPv4)" },
};

// A whole number that fits a table's size, or -1.
long long parseCount(std::string_view text)
{
    long long value = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && value <= 100'000'000 ? value : -1;
}

} // namespace

Options commandLineDefaults()
{
    Options options;
    options.tableSize = ConnectionTable::kUnbounded;
    options.graphicView = false;
    options.attributeProcesses = false;
    return options;
}

ScanArguments parseScanArguments(int argc, const char* const* argv)
{
    ScanArguments result;
    std::vector<std::string> snmpWords;
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
        // A long option's value: --name VALUE or --name=VALUE; null for another option.
        const auto valueOf = [&](std::string_view name) -> const char* {
            if (std::strncmp(argument, name.data(), name.size()) != 0)
                return nullptr;
            if (argument[name.size()] == '=')
                return argument + name.size() + 1;
            if (argument[name.size()] != '\0')
                return nullptr;
            return i + 1 < argc ? argv[++i] : "";
        };
        if (const char* value = valueOf("--limit")) {
            const long long rows = parseCount(value);
            if (rows < 1) {
                result.action = ScanArguments::Action::Error;
                result.error
                    = std::string("--limit takes a whole number of rows, at least 1: '") + value + "'";
                return result;
            }
            result.options.tableSize = static_cast<int>(rows);
            continue;
        }
        if (std::strcmp(argument, "--record") == 0 || std::strcmp(argument, "--history") == 0) {
            result.action
                = argument[2] == 'r' ? ScanArguments::Action::Record : ScanArguments::Action::History;
            continue;
        }
        if (std::strcmp(argument, "--csv") == 0) {
            result.format = OutputFormat::Csv;
            continue;
        }
        const auto countOption = [&](const char* name, int& into, long long most) {
            const char* value = valueOf(name);
            if (!value)
                return false;
            const long long count = parseCount(value);
            if (count < 1 || count > most) {
                result.action = ScanArguments::Action::Error;
                result.error = std::string(name) + " takes a whole number from 1 to " + std::to_string(most)
                    + ": '" + value + "'";
            } else {
                into = static_cast<int>(count);
            }
            return true;
        };
        if (countOption("--interval", result.recordInterval, 86400)
            || countOption("--keep-days", result.keepDays, 36500)
            || countOption("--max-megabytes", result.maxMegabytes, 1000000)) {
            if (result.action == ScanArguments::Action::Error)
                return result;
            continue;
        }
        if (const char* value = valueOf("--since")) {
            result.historySince = value;
            continue;
        }
        if (const char* value = valueOf("--until")) {
            result.historyUntil = value;
            continue;
        }
        if (const char* value = valueOf("--group")) {
            result.historyGroup = value;
            continue;
        }
        if (const char* value = valueOf("--rates")) {
            const long long seconds = parseCount(value);
            if (seconds < 1 || seconds > 3600) {
                result.action = ScanArguments::Action::Error;
                result.error = std::string("--rates takes whole seconds, 1 to 3600: '") + value + "'";
                return result;
            }
            result.rateSeconds = static_cast<int>(seconds);
            result.options.showTraffic = true;
            continue;
        }
        if (const char* value = valueOf("--filter")) {
            result.options.filterText = value;
            continue;
        }
        if (const char* value = valueOf("--format")) {
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
        // Everything else that is not a long option is net-snmp's to read: its options and the hosts.
        if (std::strncmp(argument, "--", 2) != 0) {
            snmpWords.emplace_back(argument);
            // An option's value may itself start with "--", as a passphrase may.
            if (argument[0] == '-' && argument[1] != '\0' && argument[2] == '\0' && i + 1 < argc
                && std::strchr("cuAXaxlvtrnEeZsYmMOIPDLT3p", argument[1]))
                snmpWords.emplace_back(argv[++i]);
            continue;
        }
        if (std::strcmp(argument, "--links") == 0) {
            result.links = true;
            continue;
        }
        if (std::strcmp(argument, "--json") == 0) {
            result.format = OutputFormat::Json;
            continue;
        }
        if (std::strcmp(argument, "--traffic") == 0) {
            result.options.showTraffic = true;
            continue;
        }
        if (std::strcmp(argument, "--processes") == 0) {
            result.options.showProcessColumn = true;
            result.options.attributeProcesses = true;
            continue;
        }
        bool known = false;
        for (const Flag& flag : kFlags) {
            if (std::strcmp(argument, flag.name) == 0) {
                result.options.*flag.option = false;
                known = true;
            }
        }
        if (!known) {
            result.action = ScanArguments::Action::Error;
            result.error = std::string("unknown option '") + argument + "'";
            return result;
        }
    }
    if (snmpWords.empty()) {
        if (result.links) {
            result.action = ScanArguments::Action::Error;
            result.error = "--links needs the HOSTs whose connections to link";
        }
        return result;
    }
    switch (splitRemoteCommandLine(snmpWords, result.snmpOptions, result.hosts)) {
    case SnmpCommandLine::Peers:
        break;
    case SnmpCommandLine::Exit:
        result.action = ScanArguments::Action::Exit;
        return result;
    case SnmpCommandLine::Error:
        result.action = ScanArguments::Action::Error;
        result.error = "the SNMP options or hosts cannot be read";
        return result;
    }
    for (const std::string& host : result.hosts) {
        if (host.empty()) {
            result.action = ScanArguments::Action::Error;
            result.error = "empty host name";
            return result;
        }
    }
    return result;
}

std::string scanUsage(const char* programName)
{
    std::string text = std::string("Usage: ") + programName + " [options] [SNMP options] [HOST...]\n"
        + "Runs one scan of this computer's TCP and UDP endpoints and prints the rows,\n"
          "cells separated by tabs, after a header row.\n"
          "\n"
          "With HOSTs it reads them from their SNMP agents instead, all at once: tcpConnTable,\n"
          "udpTable and sysName.0, whose name then stands for the agent's own 0.0.0.0 and\n"
          "127.0.0.1 (host names are looked up here). With more than one HOST the rows of all\n"
          "agents form one table with a leading \"Host\" column, in the order the HOSTs were\n"
          "given. A HOST that cannot be read (no answer, wrong community or v3 credentials,\n"
          "a walk that ends early) gets one line on standard error; the others still print\n"
          "and the exit status is 1.\n"
          "\n"
          "HOST is in net-snmp's peer syntax: host, udp:host:161, udp6:[::1]:1161.\n"
          "SNMP options are snmpwalk's and mean what they mean there (see snmpcmd(1));\n"
          "defaults come from snmp.conf and ~/.snmp/snmp.conf. The most used:\n"
          "  -v 1|2c|3         SNMP version; v2c and v3 read with GetBulk, v1 with GetNext\n"
          "  -c COMMUNITY      v1/v2c community\n"
          "  -l LEVEL          v3 security level: noAuthNoPriv, authNoPriv or authPriv\n"
          "  -u USER           v3 user\n"
          "  -a SHA|MD5|...    v3 authentication protocol, -A PASSPHRASE its passphrase\n"
          "  -x AES|DES        v3 privacy protocol, -X PASSPHRASE its passphrase\n"
          "  -t SECONDS        time to wait for each answer (default 1)\n"
          "  -r COUNT          retries after a timeout (default 2)\n"
          "\n"
          "Examples:\n"
          "  veltran-scan -v2c -c public server1 udp:server2:1161\n"
          "  veltran-scan -v3 -l authPriv -u watcher -a SHA -A 'auth pass' -x AES -X 'priv pass' "
          "udp6:[::1]:161\n"
          "\n"
          "Exit status: 0 when every scan was printed whole, 1 when a host or the local scan\n"
          "failed or --limit left endpoints out, 2 for a command line that cannot be read.\n"
          "\nOptions:\n";
    text += "  --format FORMAT   tsv (the default), csv (RFC 4180) or json (an array of\n"
            "                    objects with the column names as keys)\n";
    for (const Flag& flag : kFlags) {
        std::string name = flag.name;
        name.resize(18, ' ');
        text += "  " + name + flag.help + "\n";
    }
    text += "  --processes       add a Process column: the owner of each endpoint as name[pid],\n"
            "                    or - where it is not known\n";
    text += "  --traffic         add each TCP connection's bytes sent (acknowledged) and received\n"
            "                    and its round-trip time, from the agent's TCP statistics tables\n"
            "                    (RFC 4898); \u2013 for UDP, which the kernel does not count, and for\n"
            "                    an agent without the tables, which is said once\n";
    text += "  --rates SECONDS   as --traffic, from two scans SECONDS apart, with each\n"
            "                    connection's send and receive rates in bytes per second\n";
    text += "  --limit ROWS      print at most ROWS endpoints (default: every one); the rest are\n"
            "                    counted on standard error\n";
    text += "  --filter TEXT     only the endpoints that match, as the window's filter: words\n"
            "                    to find anywhere, port:N, proc:NAME or proc:PID, state:S,\n"
            "                    proto:P, host:H, family:4 or family:6; !word excludes\n";
    text += "  --json            the same as --format json\n";
    text += "  --links           with HOSTs: each connection between two of their computers on one\n"
            "                    line, both ends with their computer, process and address, matched\n"
            "                    by the addresses each agent gives for its computer (ipAddressTable);\n"
            "                    then the connections not linked: to hosts not given, or to a given\n"
            "                    one that has no such connection (NAT on the way, or it opened or\n"
            "                    closed between the two reads)\n";
    text += "\nHistory (kept in $XDG_STATE_HOME/veltran/history.sqlite, ~/.local/state by default):\n"
            "  --record          scan every --interval seconds until stopped and record every\n"
            "                    endpoint found, whatever --limit and --filter; a connection's\n"
            "                    life is one row: first and last seen, closed, its states, owner\n"
            "  --interval S      seconds between recorded scans (default 1)\n"
            "  --keep-days N     remove connections closed more than N days ago (default 30)\n"
            "  --max-megabytes M and the oldest ones while the file is larger (default: no cap)\n"
            "  --history         print the recorded connections alive between --since and --until\n"
            "  --since T         7d, 3h, 15m or 30s ago, a date \"2026-12-07[ 18:00[:00]]\" in local\n"
            "                    time, or @SECONDS since 1970 (default 1d)\n"
            "  --until T         the same (default now)\n"
            "  --group G         one line per process, host (remote address), rport or lport,\n"
            "                    with the connections' count, first and last seen, and bytes\n"
            "  --csv             the same as --format csv\n"
            "  --filter TEXT     with --history: the window's filter on the recorded rows\n\n";
    text += "  --version         show the version\n";
    text += "  --help            show this text\n";
    return text;
}
