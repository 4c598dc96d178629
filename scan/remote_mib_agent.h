#pragma once
// The MIB walks of another computer, asked of its SNMP agent over the network with
// net-snmp's client library: the same records the module loaded into the process gives.
// One session per object; use an object from one thread at a time.

#include "scan/integer_set.h"
#include "scan/mib_agent.h"
#include "scan/remote_row_decoder.h"
#include "scan/scan_budget.h"
#include "scan/snmp_session.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class RemoteMibAgent final : public MibAgent
{
public:
    // peer in net-snmp's syntax ("host", "udp:host:161", "udp6:[::1]:1161"); options in
    // snmpwalk's syntax ("-v2c -c public", "-v3 -l authPriv -u NAME -a SHA -A ... -x AES -X ..."),
    // split as a shell would and read by net-snmp's parser, so snmp.conf defaults apply.
    RemoteMibAgent(
        const std::string& peer, const std::string& snmpOptions, const RemoteAgentSettings& settings = {});
    // The options already split into words.
    RemoteMibAgent(const std::string& peer, const std::vector<std::string>& snmpArguments,
        const RemoteAgentSettings& settings = {});

    // False when the options could not be read; lastError() says why.
    bool valid() const { return m_session.usable(); }
    const std::string& peer() const { return m_session.peer(); }

    // tcpConnTable, column by column, records in the agent's row order.
    std::vector<MibEndpoint> walkTcpTable() override;
    // udpTable; records fill localAddress and localPortNumber only.
    std::vector<MibEndpoint> walkUdpTable() override;
    // sysName.0, "" when it could not be read.
    std::string sysName();
    // A SET of one INTEGER instance; its failure is "" when the agent took it.
    RemoteSetResult setInteger(const std::vector<std::uint32_t>& name, long value);

    // The walks from here to the next call are one scan: they share its caps on time and
    // memory, and its count of refused rows. Walks outside a scan have their own caps each.
    void beginScan() override;
    // The refused rows of the scan, naming the agent; "" when none was.
    std::string scanNotice() const override { return m_decoder.refusalText(peer()); }

    // Any table: entry is the table entry's identifier, columns[0] the column that makes the rows.
    std::vector<MibRow> walkColumns(
        const std::vector<std::uint32_t>& entry, const std::vector<std::uint32_t>& columns);
    // tcpConnectionTable (RFC 4022): values state, process.
    std::vector<MibRow> walkTcpConnectionTable();
    // tcpListenerTable: value process.
    std::vector<MibRow> walkTcpListenerTable();
    // udpEndpointTable (RFC 4113): value process.
    std::vector<MibRow> walkUdpEndpointTable();
    // hrSWRunTable: values name, path, parameters; the index is the process id.
    std::vector<MibRow> walkProcessTable();

    // The same tables as the module's records; a row whose index is not one is left out.
    bool servesEndpointTables() const override { return valid(); }
    bool servesIpv6Tables() const override { return false; } // net-snmp dropped the old IPv6 tables
    std::vector<InetEndpointRecord> walkTcpConnections() override;
    std::vector<InetEndpointRecord> walkTcpListeners() override;
    std::vector<InetEndpointRecord> walkUdpEndpoints() override;
    std::vector<ProcessRecord> walkProcesses() override;
    std::vector<TrafficRecord> walkTraffic() override;

    // Whether the last walk or get went to its end; a failed walk returns what it had so
    // far and is never to be shown as an empty table.
    bool lastWalkOk() const { return m_lastWalkOk; }
    bool lastWalkFailed() const override { return !m_lastWalkOk; }
    std::string lastWalkError() const override { return lastError(); }
    // Why it failed: the agent's name and net-snmp's reason; never a community or passphrase.
    const std::string& lastError() const { return m_session.error(); }

private:
    bool run(SnmpOperation& operation);
    // The records of the walk just made, after what a capped walk held is given back.
    template <typename Records> Records afterWalk(Records records) const;

    SnmpSession m_session;
    RemoteAgentSettings m_settings;
    std::optional<ScanBudget> m_scanBudget;
    RemoteRowDecoder m_decoder;
    bool m_lastWalkOk = false;
    bool m_lastWalkCapped = false;
};

// The identifiers and columns of the walks, shared with the poller.
namespace mibtables {
inline const std::vector<std::uint32_t> kTcpConnEntry { 1, 3, 6, 1, 2, 1, 6, 13, 1 };
inline const std::vector<std::uint32_t> kTcpConnColumns { 1, 2, 3, 4, 5 };
inline const std::vector<std::uint32_t> kUdpEntry { 1, 3, 6, 1, 2, 1, 7, 5, 1 };
inline const std::vector<std::uint32_t> kUdpColumns { 1, 2 };
inline const std::vector<std::uint32_t> kSysName { 1, 3, 6, 1, 2, 1, 1, 5, 0 };
inline const std::vector<std::uint32_t> kTcpConnectionEntry { 1, 3, 6, 1, 2, 1, 6, 19, 1 };
inline const std::vector<std::uint32_t> kTcpConnectionColumns { 7, 8 }; // state, process
inline const std::vector<std::uint32_t> kTcpListenerEntry { 1, 3, 6, 1, 2, 1, 6, 20, 1 };
inline const std::vector<std::uint32_t> kUdpEndpointEntry { 1, 3, 6, 1, 2, 1, 7, 7, 1 };
inline const std::vector<std::uint32_t> kProcessEntry { 1, 3, 6, 1, 2, 1, 25, 4, 2, 1 };
inline const std::vector<std::uint32_t> kProcessColumns { 2, 4, 5 }; // name, path, parameters
inline const std::vector<std::uint32_t> kListenerProcessColumn { 4 };
inline const std::vector<std::uint32_t> kUdpProcessColumn { 8 };
inline const std::vector<std::uint32_t> kIpAddressEntry { 1, 3, 6, 1, 2, 1, 4, 34, 1 };
inline const std::vector<std::uint32_t> kIpAddressColumns { 3 }; // ipAddressIfIndex
inline const std::vector<std::uint32_t> kIpAddrEntry { 1, 3, 6, 1, 2, 1, 4, 20, 1 };
inline const std::vector<std::uint32_t> kIpAddrColumns { 1 }; // ipAdEntAddr
} // namespace mibtables
