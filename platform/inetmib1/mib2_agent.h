#pragma once
// The MIB-II extension agent: answers Get and GetNext over tcpConnTable, tcpInErrs.0
// and udpTable, the objects the connection monitor walks; over ipv6TcpConnTable (state),
// tcpHCInSegs.0, tcpHCOutSegs.0 and ipv6UdpTable (interface); and over the later tables that cover both
// address families and name the owning process: tcpConnectionTable (state and process), tcpListenerTable,
// udpEndpointTable (process), udpHCInDatagrams.0 and udpHCOutDatagrams.0, and hrSWRunTable (the processes
// that hold the sockets those three list).
//
// After them come the TCP extended statistics of RFC 4898, in part (docs/tcp-estats.md):
// tcpEStatsConnectIdTable, which gives each connection of tcpConnectionTable its
// tcpEStatsConnectIndex, and tcpEStatsPerfTable and tcpEStatsAppTable by that index. The
// kernel's counters are read only when those two are walked (a scan that wants them walks
// them first, and the others take that read); the step of a walk of
// hrSWRunTable into tcpEStatsConnectIdTable is answered from tcpConnectionTable's rows.
//
// Its one supported view is mib-2 (1.3.6.1.2.1), of which it implements only those
// objects: a GetNext before or inside the view lands on the next of them, and a GetNext
// past the last instance answers noSuchName with the name 1.3.6.1.2.2, the first
// identifier after the view, as agents tell a caller to look elsewhere.
//
// Each walk sees one snapshot: a GetNext at or before a table's first instance re-reads
// that table from the source; the rest of the walk is served from the sorted rows. The
// step past the end of one table into the next is not the start of a walk there: it is
// answered from the next table's snapshot unless that is a few seconds old, so a scan
// that walks only the older tables pays nothing for the later ones. A walk that starts
// at a table just read by such a step, in the same scan, takes that read: one scan reads
// each table once. A scan ends where a table it walked is walked again, or when the caller
// says so (endScan), which frees every table's rows.
//
// The owners of a later table's sockets are looked for only when a process column is
// read: finding them reads every process's descriptors. The step of a walk of an earlier
// table into a process column reads none: it is answered from the row alone, with the
// process as known so far (0 before any search), as that walk has ended and discards it.

#include "platform/inetmib1/connect_indexes.h"
#include "platform/inetmib1/endpoint_source.h"
#include "platform/inetmib1/inet_rows.h"
#include "platform/inetmib1/mib_rows.h"
#include "platform/inetmib1/mib_table.h"
#include "platform/inetmib1/tcp_stats_rows.h"

#include <array>
#include <chrono>

class Mib2Agent
{
public:
    explicit Mib2Agent(EndpointSource& source);
    Mib2Agent(const Mib2Agent&) = delete;
    Mib2Agent& operator=(const Mib2Agent&) = delete;

    // The first (only) supported view; static storage the caller must not free.
    static AsnObjectIdentifier supportedView();

    // Serves one request over every binding, as SnmpExtensionQuery does. Returns false
    // when the request could not be processed (bad arguments, the tables unreadable,
    // no memory); a name outside the agent's objects is an error status, not a failure.
    bool query(
        BYTE requestType, RFC1157VarBindList* bindings, AsnInteger32* errorStatus, AsnInteger32* errorIndex);
    // The caller's scan is done: every table's rows and the source's reads are freed, and the
    // next walks read the kernel afresh.
    void endScan();

private:
    enum class Object
    {
        None,
        TcpConn,
        TcpInErrs,
        Ipv6TcpConn,
        TcpHcInSegs,
        TcpHcOutSegs,
        TcpConnection,
        TcpListener,
        Udp,
        Ipv6Udp,
        UdpEndpoint,
        UdpHcInDatagrams,
        UdpHcOutDatagrams,
        SwRun,
        ConnectId,
        TcpPerf,
        TcpApp
    };
    struct Instance
    {
        Object object = Object::None;
        TablePosition position {};
        bool steppedIn = false; // reached by a walk of an earlier object stepping past its end
    };
    // A table, whether its rows are read, in which scan, and what has been done with them.
    template <typename Row, std::size_t IndexLength> struct Snapshot
    {
        MibTable<Row, IndexLength> table;
        bool read = false;
        std::chrono::steady_clock::time_point readAt {};
        unsigned scan = 0;
        bool walked = false; // a walk started on these rows
        bool ownersSought = false;
    };

    AsnInteger32 getNext(SnmpVarBind& binding);
    AsnInteger32 get(SnmpVarBind& binding);
    // The writable values: a connection's state (tcpConnState, tcpConnectionState) set to
    // deleteTCB closes it; a process's hrSWRunStatus set to invalid stops it. Any other
    // object is read-only, which version 1 reports as an unknown name.
    AsnInteger32 set(SnmpVarBind& binding);
    // hrSWRunStatus set to invalid stops the process, if it is still the one last read.
    AsnInteger32 stopProcess(SnmpVarBind& binding);
    // The ends of the connection whose state name is, as the kernel has it now; an error status if none.
    AsnInteger32 connectionNamed(OidSpan name, InetEndpoint& local, InetEndpoint& remote);
    // The instance after the last one answered, when name is that one: the usual step of a walk.
    bool followsLastAnswer(OidSpan name, Instance& instance);
    // Where a GetNext after name lands; false when a table could not be read.
    bool findNext(OidSpan name, Instance& instance);
    bool findExact(OidSpan name, Instance& instance);
    // The instance after name within one table, if any; false when it could not be read.
    // leaving: name is an instance of an earlier table, so this is a walk's step past its end.
    template <typename Row, std::size_t IndexLength>
    bool nextIn(
        Snapshot<Row, IndexLength>& snapshot, Object object, OidSpan name, bool leaving, Instance& instance);
    // Calls visit(snapshot) for a table object and returns its result; false for the others.
    template <typename Visit> bool visitTable(Object object, Visit&& visit);
    // stepping: a walk of an earlier table steps in, and only needs the first instance.
    template <typename Row, std::size_t IndexLength>
    bool refresh(Snapshot<Row, IndexLength>& snapshot, bool stepping = false);
    bool readConnectIds(std::vector<ConnectIdRow>& rows, bool derived);
    bool readStats(std::vector<TcpStatsRow>& rows);
    template <typename Row, std::size_t IndexLength>
    static void release(Snapshot<Row, IndexLength>& snapshot);
    bool readSwRun();
    // Makes sure the processes of the rows are known before one is answered.
    template <typename Row, std::size_t IndexLength> void findOwners(Snapshot<Row, IndexLength>& snapshot);
    AsnInteger32 answer(SnmpVarBind& binding, const Instance& instance, bool replaceName);
    // The instance name of a scalar object; empty for the tables.
    static OidSpan scalarName(Object object);
    // A scalar's value; false when it cannot be read.
    bool scalarValue(Object object, AsnAny& value);

    EndpointSource& m_source;
    Snapshot<TcpConnRow, tcpIndexLength> m_tcp;
    Snapshot<UdpRow, udpIndexLength> m_udp;
    Snapshot<TcpConnectionRow, tcpConnectionIndexLength> m_tcpConnections;
    Snapshot<TcpListenerRow, tcpListenerIndexLength> m_tcpListeners;
    Snapshot<UdpEndpointRow, udpEndpointIndexLength> m_udpEndpoints;
    Snapshot<SwRunRow, swRunIndexLength> m_swRun;
    Snapshot<Ipv6TcpConnRow, ipv6TcpConnIndexLength> m_ipv6TcpConns;
    Snapshot<Ipv6UdpRow, ipv6UdpIndexLength> m_ipv6Udp;
    Snapshot<ConnectIdRow, connectIdIndexLength> m_connectIds;
    Snapshot<TcpPerfRow, tcpStatsIndexLength> m_tcpPerf;
    Snapshot<TcpAppRow, tcpStatsIndexLength> m_tcpApp;
    ConnectIndexes m_connectIndexes;
    // The pid and start time of each process of the last scan, sorted, for a set after it.
    std::vector<std::pair<std::uint32_t, std::uint64_t>> m_seenStartTimes;
    // The scan the walks belong to (see above).
    unsigned m_scan = 0;
    // The last instance answered and its name, valid until a table is re-read.
    Instance m_last;
    std::array<UINT, MibTable<UdpEndpointRow, udpEndpointIndexLength>::maxNameLength> m_lastName {};
    std::size_t m_lastNameLength = 0;
};
