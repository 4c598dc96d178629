#pragma once
// The MIB-II agent module and the two table walks that every scan performs.

#include "platform/snmp.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// One row of a table walk, numbers as the agent delivers them.
struct MibEndpoint
{
    std::int32_t stateValue = 0;
    std::uint32_t localAddress = 0; // the four address bytes in network order
    std::int32_t localPortNumber = 0; // host order
    std::uint32_t remoteAddress = 0; // network order
    std::int32_t remotePortNumber = 0; // host order
};

// Texts of the RFC 1213 TCP states, indexed by tcpConnState; 0 has no state and reads "none".
inline constexpr std::array<const char*, 12> TcpStateNames { "none", "Closed", "Listening", "Syn_sent",
    "Sen_received", "Established", "Fin_wait", "Fin_wait2", "Close_wait", "Last_ack", "Closing",
    "Time_wait" };

// The text for any state value: values outside the table (12 is deleteTCB, write-only) read "Unknown".
const char* tcpStateText(std::int32_t stateValue);

// The agent module loaded into the process; the walks are virtual so that another
// source (an SNMP agent over the network) can stand in for it.
class MibAgent
{
public:
    MibAgent() = default;
    virtual ~MibAgent() = default;
    MibAgent(const MibAgent&) = delete;
    MibAgent& operator=(const MibAgent&) = delete;

    // Loads the agent module and looks up both entry points, init first; false at the first miss.
    bool load(const char* moduleName = "inetmib1.dll");
    // Calls SnmpExtensionInit with the tick count; false when the agent refuses or is not loaded.
    bool init();

    // Walks tcpConnTable column by column; records in the agent's row order.
    virtual std::vector<MibEndpoint> walkTcpTable();
    // Walks udpTable; records fill localAddress and localPortNumber only.
    virtual std::vector<MibEndpoint> walkUdpTable();

private:
    enum class Table
    {
        Tcp,
        Udp
    };
    std::vector<MibEndpoint> walk(Table table);

    PFNSNMPEXTENSIONINIT m_init = nullptr;
    PFNSNMPEXTENSIONQUERY m_query = nullptr;
    // Outputs of the agent's init: kept as the agent expects, never used.
    HANDLE m_trapEvent = nullptr;
    AsnObjectIdentifier m_supportedView {};
};

// Starts Winsock, loads and initialises the agent. Returns "" on success, else the one
// message the window shows before it closes.
std::string startNetworking(MibAgent& agent, const char* moduleName = "inetmib1.dll");
