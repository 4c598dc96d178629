#include "cli/fleet_link_printing.h"

#include "cli/printing_scan_view.h"
#include "scan/tcp_states.h"

#include <ostream>

namespace {

const std::vector<std::string> kLinkHeader { "Computer", "Process", "Address", "Link", "Peer computer",
    "Peer process", "Peer address", "Protocol" };
const std::vector<std::string> kUnlinkedHeader { "Computer", "Process", "Address", "Remote address",
    "Protocol", "Why" };

std::string processText(const FleetEndpoint& row)
{
    if (row.pid == 0)
        return "-";
    return row.process + "[" + std::to_string(row.pid) + "]";
}

std::string protocolText(const FleetEndpoint& row)
{
    return row.protocol == FleetProtocol::Tcp ? "TCP" : "UDP";
}

} // namespace

std::vector<std::vector<std::string>> linkCells(
    const std::vector<FleetComputer>& computers, const FleetLinks& links)
{
    std::vector<std::vector<std::string>> rows;
    for (const FleetLink& link : links.links) {
        const FleetComputer& a = computers[link.from.computer];
        const FleetComputer& b = computers[link.to.computer];
        const FleetEndpoint& from = a.endpoints[link.from.endpoint];
        const FleetEndpoint& to = b.endpoints[link.to.endpoint];
        rows.push_back({ a.name, processText(from), endpointText(from.local, from.localPort),
            link.toListener ? "→ listener" : "⇄", b.name, processText(to),
            endpointText(to.local, to.localPort), protocolText(from) });
    }
    return rows;
}

std::vector<std::vector<std::string>> unlinkedCells(
    const std::vector<FleetComputer>& computers, const FleetLinks& links)
{
    std::vector<std::vector<std::string>> rows;
    const auto add = [&](std::size_t computer, std::size_t endpoint, const char* why) {
        const FleetEndpoint& row = computers[computer].endpoints[endpoint];
        rows.push_back({ computers[computer].name, processText(row), endpointText(row.local, row.localPort),
            endpointText(row.remote, row.remotePort), protocolText(row), why });
    };
    for (const FleetEnd& end : links.unmatched)
        add(end.computer, end.endpoint,
            "no row or listener at the watched end (NAT, or opened or closed meanwhile)");
    for (const UnwatchedHost& host : links.unwatched) {
        for (const std::size_t endpoint : host.endpoints)
            add(host.computer, endpoint, "not watched");
    }
    return rows;
}

void printFleetLinks(std::ostream& out, OutputFormat format, const std::vector<FleetComputer>& computers,
    const FleetLinks& links)
{
    if (format == OutputFormat::Json) {
        out << "{\"links\":";
        printTable(out, format, kLinkHeader, linkCells(computers, links));
        out << ",\"unlinked\":";
        printTable(out, format, kUnlinkedHeader, unlinkedCells(computers, links));
        out << "}\n";
        return;
    }
    printTable(out, format, kLinkHeader, linkCells(computers, links));
    out << (format == OutputFormat::Csv ? "\r\n" : "\n");
    printTable(out, format, kUnlinkedHeader, unlinkedCells(computers, links));
}
