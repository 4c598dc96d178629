#pragma once
// The rows of a remote agent's walks made into the records a scan shows, each value
// checked as the module's walk checks it: its type, its range, and the row's index
// against its columns. A row that fails is dropped, never shown with a made-up value;
// the decoder counts such rows and keeps the first reason for the scan to tell.

#include "scan/inet_endpoints.h"
#include "scan/mib_agent.h"
#include "scan/snmp_session.h"

#include <string>
#include <vector>

class RemoteRowDecoder
{
public:
    // tcpConnTable's columns 1-5 and udpTable's 1-2.
    std::vector<MibEndpoint> tcpRecords(const std::vector<MibRow>& rows);
    std::vector<MibEndpoint> udpRecords(const std::vector<MibRow>& rows);
    // tcpConnectionTable (state, process), tcpListenerTable and udpEndpointTable (process).
    std::vector<InetEndpointRecord> tcpConnections(const std::vector<MibRow>& rows);
    std::vector<InetEndpointRecord> tcpListeners(const std::vector<MibRow>& rows);
    std::vector<InetEndpointRecord> udpEndpoints(const std::vector<MibRow>& rows);
    // ipAddressTable's indexes (its one column asked is only there to make the rows), or
    // ipAddrTable's ipAdEntAddr; zone indexes of scoped addresses are left aside.
    std::vector<HostAddress> ipAddresses(const std::vector<MibRow>& rows);
    std::vector<HostAddress> ipAddrEntries(const std::vector<MibRow>& rows);
    // hrSWRunTable (name, path, parameters).
    std::vector<ProcessRecord> processes(const std::vector<MibRow>& rows);

    int refused() const { return m_refused; }
    // "udp:host:161: 3 rows refused: port 70000 out of range", or "" when none was.
    std::string refusalText(const std::string& peer) const;
    void clear();

private:
    void refuse(std::string reason);

    int m_refused = 0;
    std::string m_firstReason;
};
