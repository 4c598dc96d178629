#pragma once
// Drives the built agent module as the scanner does and turns its walks into rows,
// noting every way the replies break the table's shape.

#include "platform/snmp.h"

#include <ostream>
#include <string>
#include <vector>

namespace agenttest {

using Oid = std::vector<UINT>;

struct TcpEntry
{
    int state;
    std::string localAddress;
    int localPort;
    std::string remoteAddress;
    int remotePort;
    bool operator==(const TcpEntry&) const = default;
};

struct UdpEntry
{
    std::string localAddress;
    int localPort;
    bool operator==(const UdpEntry&) const = default;
};

std::ostream& operator<<(std::ostream& out, const TcpEntry& entry);
std::ostream& operator<<(std::ostream& out, const UdpEntry& entry);

template <typename Entry> struct Walk
{
    std::vector<Entry> rows; // in the order the walk delivered them
    std::vector<std::string> problems; // empty when every reply fitted the table
    Oid firstName; // the name of the first reply
    Oid endName; // the name that ended the walk
    AsnInteger32 endStatus = 0;
    int queries = 0;
};

// Sorts entries into the tables' index order, for building expectations.
std::vector<TcpEntry> inIndexOrder(std::vector<TcpEntry> rows);
std::vector<UdpEntry> inIndexOrder(std::vector<UdpEntry> rows);

class AgentClient
{
public:
    // Loads "inetmib1.dll" and initialises it; an empty text on success.
    std::string load();

    Walk<TcpEntry> walkTcp();
    Walk<UdpEntry> walkUdp();

    PFNSNMPEXTENSIONINIT init = nullptr;
    PFNSNMPEXTENSIONQUERY query = nullptr;
    HANDLE trapEvent = reinterpret_cast<HANDLE>(1);
    AsnObjectIdentifier view {};
};

} // namespace agenttest
