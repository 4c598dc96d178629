#pragma once
// The MIB-II agent module and the two table walks that every scan performs.

#include "platform/snmp.h"
#include "scan/inet_endpoints.h"
#include "scan/traffic.h"

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

// A walk ends as failed beyond this many rows, so an agent whose table never ends cannot
// hold a scan for ever nor fill the memory. The busiest servers hold some hundreds of
// thousands of sockets, a desktop some hundreds: a million rows is far above both, yet
// its records take 20 MB.
inline constexpr std::size_t kMaxWalkRecords = 1'000'000;

// The agent module's name as the platform knows it; it maps to libinetmib1.so here.
inline constexpr const char* kAgentModuleName = "inetmib1.dll";

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
    bool load(const char* moduleName = kAgentModuleName);
    // Takes the two entry points from the caller instead of a module: an agent inside the process.
    void useEntryPoints(PFNSNMPEXTENSIONINIT init, PFNSNMPEXTENSIONQUERY query);
    // Calls SnmpExtensionInit with the tick count; false when the agent refuses or is not loaded.
    bool init();
    // Asks a module that offers it (VeltranPrefetch, beside the two entry points) to read the
    // kernel's tables now, on a thread of its own, for the first walks of a scan about to
    // start; they take that read while it is fresh. Call after init. Other modules: nothing.
    void prefetch();
    // Tells a module that offers it (VeltranEndScan) that the walks of a scan are done, so it
    // frees what it read for them. Other modules: nothing.
    void endScan();

    // Walks tcpConnTable column by column; records in the agent's row order.
    virtual std::vector<MibEndpoint> walkTcpTable();
    // Walks udpTable; records fill localAddress and localPortNumber only.
    virtual std::vector<MibEndpoint> walkUdpTable();
    // Whether the later tables of both families and their processes can be walked; an agent
    // that only replays the IPv4 walks has none, and its rows are shown without them.
    virtual bool servesEndpointTables() const { return m_query != nullptr; }
    // tcpConnectionTable, tcpListenerTable and udpEndpointTable, in the agent's row order,
    // every family; then hrSWRunTable for the processes those name (walk it after them).
    virtual std::vector<InetEndpointRecord> walkTcpConnections();
    virtual std::vector<InetEndpointRecord> walkTcpListeners();
    virtual std::vector<InetEndpointRecord> walkUdpEndpoints();
    virtual std::vector<ProcessRecord> walkProcesses();
    // ipv6TcpConnTable's connections and listeners, and ipv6UdpTable's endpoints (one per
    // local address and port, as udpTable has them), without their process: the IPv6
    // endpoints for the cost of their states. Only the agent module serves them.
    virtual bool servesIpv6Tables() const { return m_query != nullptr; }
    virtual std::vector<InetEndpointRecord> walkIpv6TcpConnections();
    virtual std::vector<InetEndpointRecord> walkIpv6UdpEndpoints();
    // Whether the TCP statistics tables may be asked for; an agent may still have none.
    virtual bool servesTrafficTables() const { return m_query != nullptr; }
    // tcpEStatsConnectIdTable, tcpEStatsPerfTable and tcpEStatsAppTable joined: each
    // connection's counters, without rates; empty from an agent without the tables.
    virtual std::vector<TrafficRecord> walkTraffic();
    // walkTraffic, each record's rates taken against this agent's scan before.
    std::vector<TrafficRecord> readTraffic();
    // True when the last walk ended on a failure rather than at the table's end: a failed
    // query, a reply that does not advance or whose type does not fit its column, or more
    // rows or queries than any machine has. Its list then holds the records read before.
    virtual bool lastWalkFailed() const { return m_lastWalkFailed; }
    // A scan's walks follow: an agent that bounds or checks a scan as a whole starts here.
    virtual void beginScan() { }
    // What the scan's walks left out without failing, for the status bar; empty when nothing.
    virtual std::string scanNotice() const { return {}; }
    // What went wrong in the last walk, for the status bar; empty when nothing did.
    virtual std::string lastWalkError() const
    {
        return m_lastWalkFailed ? "the agent module's query failed" : "";
    }

private:
    enum class Table
    {
        Tcp,
        Udp
    };
    std::vector<MibEndpoint> walk(Table table);
    enum class Later
    {
        TcpConnections,
        TcpListeners,
        UdpEndpoints
    };
    std::vector<InetEndpointRecord> walkLater(Later table);
    std::vector<InetEndpointRecord> walkIpv6Table(bool tcp);
    // The rows of a table's columns, the first making them, values in the columns' order.
    std::vector<MibRow> walkColumns(const std::vector<UINT>& entry, const std::vector<UINT>& columns);

    PFNSNMPEXTENSIONINIT m_init = nullptr;
    PFNSNMPEXTENSIONQUERY m_query = nullptr;
    void (*m_prefetch)() = nullptr;
    void (*m_endScan)() = nullptr;
    // Outputs of the agent's init: kept as the agent expects, never used.
    HANDLE m_trapEvent = nullptr;
    AsnObjectIdentifier m_supportedView {};
    bool m_lastWalkFailed = false;
    TrafficHistory m_trafficHistory;
};

// Starts Winsock, loads and initialises the agent. Returns "" on success, else the one
// message the window shows before it closes.
std::string startNetworking(MibAgent& agent, const char* moduleName = kAgentModuleName);
