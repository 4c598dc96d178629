#pragma once
// The grid's seven columns: their titles, and which field of a table row each shows.

#include "scan/connection_table.h"
#include "scan/traffic.h"

#include <array>
#include <string>
#include <vector>

inline constexpr int kGridColumnCount = 7;

inline constexpr std::array<const char*, kGridColumnCount> kGridColumnTitles { "No", "Local IP", "Local Port",
    "Remote Port", "Remote IP", "Protocol", "State" };

// The seven cells of one grid row, in column order.
using GridRow = std::array<std::string, kGridColumnCount>;

// What a grid row carries beside its seven cells: the numeric addresses behind the
// host texts, for tooltips and copies and to tell rows apart from one refresh to the next.
struct GridRowDetails
{
    std::string localAddress;
    std::string remoteAddress;
    int localPort = 0;
    int remotePort = 0;
    std::uint32_t pid = 0; // 0: the owning process is not known
    std::string processName {};
    SharedText<512> commandLine {}; // empty where it could not be read; its rows' own
    std::string processCell {}; // the "Process" column's text
    bool dualStack = false; // a wildcard socket that takes both families
    // A TCP connection's counters, when traffic is read and the agent has them.
    bool trafficKnown = false;
    std::uint64_t bytesSent = 0;
    std::uint64_t bytesReceived = 0;
    double sendRate = -1; // octets per second; negative: no rate yet
    double receiveRate = -1;
    std::uint32_t rttMs = 0;
    std::uint32_t retransmits = 0;
    // Where more than one computer is watched: the computer the row is of, and whether its
    // rows are those of an earlier poll, its agent no longer answering.
    std::string computer {};
    bool stale = false;
    // A row of a computer other than the Watch choice's: no action of the window reaches it.
    bool otherComputer = false;
};

// A scan's grid rows with their details, handed to the window whole.
struct GridContent
{
    std::vector<GridRow> rows;
    std::vector<GridRowDetails> details;
};

// The "Process" column's cell: name[pid], or "-" for a process not known.
inline std::string processCellText(std::uint32_t pid, const std::string& name)
{
    if (pid == 0)
        return "-";
    return (name.empty() ? std::string("?") : name) + '[' + std::to_string(pid) + ']';
}

inline GridRowDetails gridRowDetailsOf(const ConnectionRow& row)
{
    GridRowDetails details { row.localAddress.str(), row.remoteAddress.str(), row.localPortNumber,
        row.remotePortNumber, row.pid, row.processName.str(), row.commandLine,
        processCellText(row.pid, row.processName.str()), row.dualStack };
    if (row.trafficKnown) {
        details.trafficKnown = true;
        details.bytesSent = row.bytesSent;
        details.bytesReceived = row.bytesReceived;
        details.sendRate = row.sendRate;
        details.receiveRate = row.receiveRate;
        details.rttMs = row.rttMs;
        details.retransmits = row.retransmits;
    }
    return details;
}

// One end as numbers: 127.0.0.1:80, [::1]:80.
inline std::string numericEndText(const std::string& address, int port)
{
    const bool ipv6 = address.find(':') != std::string::npos;
    return (ipv6 ? '[' + address + ']' : address) + ':' + std::to_string(port);
}

// What a socket on every interface (0.0.0.0, ::) is open on; empty for any other address.
inline std::string wildcardScope(const std::string& address, bool dualStack)
{
    if (address != "0.0.0.0" && address != "::")
        return std::string();
    if (dualStack)
        return "all IPv4 and IPv6 interfaces";
    return address == "::" ? "all IPv6 interfaces" : "all IPv4 interfaces";
}

// A local end as its tooltip tells it: [::]:22, and where it listens on every interface, which.
inline std::string localEndText(const std::string& address, int port, bool dualStack)
{
    const std::string scope = wildcardScope(address, dualStack);
    return numericEndText(address, port) + (scope.empty() ? std::string() : ": open on " + scope);
}

// The owner's lines of a tooltip, each led by a line break.
inline std::string processTooltipLines(
    std::uint32_t pid, const std::string& name, std::string_view commandLine)
{
    if (pid == 0)
        return "\nProcess: unknown";
    std::string text
        = "\nProcess: " + (name.empty() ? std::string("?") : name) + " (pid " + std::to_string(pid) + ')';
    if (!commandLine.empty())
        text.append("\nCommand line: ").append(commandLine);
    return text;
}

// What "Copy process" copies: name[pid], then the command line where it was read.
inline std::string processCopyText(const GridRowDetails& details)
{
    if (details.pid == 0)
        return std::string();
    const std::string cell = processCellText(details.pid, details.processName);
    return details.commandLine.empty() ? cell : cell + ' ' + details.commandLine;
}

// The tooltip of a row, in the grid and on the map: the ends as numbers, protocol and
// state, and the process that owns the endpoint.
// A connection's traffic, when it is known: bytes both ways, rates, round trip, retransmissions.
inline std::string trafficTooltipLines(const GridRowDetails& details)
{
    if (!details.trafficKnown)
        return std::string();
    return "\nSent: " + bytesText(static_cast<double>(details.bytesSent)) + " ("
        + std::to_string(details.bytesSent) + " bytes acknowledged)\nReceived: "
        + bytesText(static_cast<double>(details.bytesReceived)) + " (" + std::to_string(details.bytesReceived)
        + " bytes)\nRate: " + rateCellText(details.sendRate, details.receiveRate)
        + "\nRound trip: " + std::to_string(details.rttMs) + " ms, " + std::to_string(details.retransmits)
        + " segments retransmitted";
}

inline std::string rowTooltipText(
    const std::string& protocol, const std::string& state, const GridRowDetails& details)
{
    if (details.localAddress.empty())
        return std::string();
    std::string text = protocol + (state.empty() || state == "none" ? std::string() : "  " + state);
    text += "\nLocal: " + localEndText(details.localAddress, details.localPort, details.dualStack);
    if (!details.remoteAddress.empty())
        text += "\nRemote: " + numericEndText(details.remoteAddress, details.remotePort);
    return text + processTooltipLines(details.pid, details.processName, details.commandLine)
        + trafficTooltipLines(details);
}

// The header row: the titles as cells.
inline GridRow gridHeaderRow()
{
    GridRow row;
    for (std::size_t i = 0; i < row.size(); ++i)
        row[i] = kGridColumnTitles[i];
    return row;
}

// Row number, then the row's texts; note the remote port comes before the remote host.
inline GridRow gridRowOf(int number, const ConnectionRow& row)
{
    return GridRow { std::to_string(number), row.localHost.str(), row.localPort.str(), row.remotePort.str(),
        row.remoteHost.str(), row.protocol, row.state.str() };
}
