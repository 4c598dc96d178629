#pragma once
// Every option of the program, each with its default, written once. The options store
// holds the one current value; each scan takes a copy of it when it starts.

#include "scan/connection_table.h"

#include <string>
#include <utility>
#include <vector>

// One more computer watched through its SNMP agent, after the Watch choice (the first).
struct WatchedAgent
{
    std::string host; // net-snmp's peer syntax: "host", "udp:host:1161", "udp6:[::1]:1161"
    std::string snmpOptions; // snmpwalk's syntax; holds the community or passphrases: a secret
    bool enabled = true;
    bool operator==(const WatchedAgent&) const = default;
};

struct Options
{
    // The nine of options.dat, in the file's order. The refresh time and the log name are
    // held as their fields' texts: a save writes what the fields show, edits included.
    std::string refreshText = "1";
    bool showListening = true;
    bool showTcp = true;
    bool showUdp = true;
    bool lookupHostNames = true;
    bool lookupPortNames = true;
    bool cacheDns = true;
    bool logEnabled = false;
    std::string logFileName = "netlog.txt";

    // The ones kept in veltran.ini, chosen in the Preferences dialog.
    bool watchAgent = false; // false: this computer, through the agent module in the process
    std::string watchHost; // net-snmp's peer syntax: "host", "udp:host:161", "udp6:[::1]:1161"
    std::string watchSnmpOptions; // snmpwalk's syntax; may hold a community or passphrases
    // snmpset's syntax, for closing and stopping on that agent: a write community or a v3
    // user with write access. A secret; empty: the window offers no closing there.
    std::string watchWriteSnmpOptions;
    // IPv6 rows are on: the IPv4 tables alone miss a third of a Linux machine's sockets.
    bool showIpv6Endpoints = true;
    bool showProcessColumn = false;
    bool markNewRows = false;
    bool hideLoopback = false;
    bool mapStates = false; // "TCP Time_wait" on the map instead of "TCP"
    bool markWildcards = false; // " (all)" after the name of a socket open on every interface
    bool sortByHeader = false; // a click on a column's title sorts
    bool rememberLayout = false; // the window's place, view, column widths and sort
    bool markIpv6Names = false; // " (v6)" after the name of an IPv6 end, as "vm" and "vm (v6)"
    bool showUdpPeers = false; // a connected UDP socket's remote end, where "none" stood
    // The connection history: recorded by the window only when asked; connections closed
    // longer ago than the days (or beyond the size, 0: none) are removed.
    bool recordHistory = false;
    int historyKeepDays = 30;
    int historyMaxMegabytes = 0;
    bool alertNewListener = false; // a port listening for the first time
    bool alertNewRemoteHost = false; // a program talking to a host it never talked to
    bool alertNewProgram = false; // a program on the network for the first time
    // The computers watched after the first; none: one computer, as ever.
    std::vector<WatchedAgent> moreAgents;
    // Each TCP connection's bytes, rate and round trip, from the agent's statistics tables.
    bool showTraffic = false;
    // The rows a view holds; ConnectionTable::kUnbounded: every endpoint.
    int tableSize = ConnectionTable::kCapacity;

    // The window's own, never stored: the filter field's text and the chosen view.
    std::string filterText;
    bool graphicView = true;
    // Set by a scan of one computer among several: the filter's host: matches it, and the
    // log names it in each entry. Empty: one computer is watched.
    std::string computerName;

    // Who owns each endpoint. The window uses them for its tooltips; the command line
    // only when asked, as the search costs more than the rest of a scan.
    bool attributeProcesses = true;

    bool operator==(const Options&) const = default;
};

// Where a scan takes its copy of the options from. Asked on the thread that starts scans.
class OptionsSource
{
public:
    virtual ~OptionsSource() = default;
    virtual Options options() const = 0;
};

// A source that always gives the same options: the command line's, and tests'.
class FixedOptions final : public OptionsSource
{
public:
    explicit FixedOptions(Options options = {})
        : value(std::move(options))
    {
    }
    Options options() const override { return value; }

    Options value;
};
