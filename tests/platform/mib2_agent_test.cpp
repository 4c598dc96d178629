#include "platform/inetmib1/mib2_agent.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <map>
#include <set>

namespace {

using Oid = std::vector<UINT>;

const Oid tcpStart = { 1, 3, 6, 1, 2, 1, 6, 13, 1, 1 };
const Oid udpStart = { 1, 3, 6, 1, 2, 1, 7, 5, 1, 1 };
const Oid tcpInErrs = { 1, 3, 6, 1, 2, 1, 6, 14, 0 };
const Oid tcpHcIn = { 1, 3, 6, 1, 2, 1, 6, 17, 0 };
const Oid tcpHcOut = { 1, 3, 6, 1, 2, 1, 6, 18, 0 };
const Oid udpHcIn = { 1, 3, 6, 1, 2, 1, 7, 8, 0 };
const Oid udpHcOut = { 1, 3, 6, 1, 2, 1, 7, 9, 0 };
const Oid afterView = { 1, 3, 6, 1, 2, 2 };

Oid join(Oid prefix, std::initializer_list<UINT> tail)
{
    prefix.insert(prefix.end(), tail);
    return prefix;
}

std::uint32_t ip(const char* text)
{
    in_addr address {};
    inet_pton(AF_INET, text, &address);
    return address.s_addr;
}

class FakeSource final : public EndpointSource
{
public:
    bool readTcp(std::vector<TcpConnRow>& rows) override
    {
        ++tcpReads;
        rows = tcp;
        return tcpWorks;
    }
    bool readUdp(std::vector<UdpRow>& rows) override
    {
        ++udpReads;
        rows = udp;
        return true;
    }
    std::optional<std::uint32_t> tcpInErrors() override { return inErrors; }
    bool readTcpConnections(std::vector<TcpConnectionRow>& rows) override
    {
        ++connectionReads;
        rows = connections;
        return true;
    }
    bool readTcpListeners(std::vector<TcpListenerRow>& rows) override
    {
        ++listenerReads;
        rows = listeners;
        return true;
    }
    bool readUdpEndpoints(std::vector<UdpEndpointRow>& rows) override
    {
        rows = endpoints;
        return endpointsWork;
    }
    void findOwners(std::span<const SocketRef> sockets, std::span<std::uint32_t> owners) override
    {
        ownerQueries.push_back(sockets.size());
        for (std::size_t i = 0; i < sockets.size(); ++i) {
            if (const auto found = ownerOf.find(sockets[i].inode); found != ownerOf.end())
                owners[i] = found->second;
        }
    }
    std::optional<UdpDatagrams> udpDatagrams() override { return UdpDatagrams { 5, 6 }; }
    std::optional<TcpSegments> tcpSegments() override { return TcpSegments { 3, 4 }; }
    bool readIpv6TcpConnections(std::vector<Ipv6TcpConnRow>& rows) override
    {
        rows = ipv6Connections;
        return true;
    }
    bool readIpv6Udp(std::vector<Ipv6UdpRow>& rows) override
    {
        ++ipv6UdpReads;
        rows = ipv6Udp;
        return true;
    }
    int stopProcess(std::uint32_t pid, std::uint64_t startTime) override
    {
        stopped.emplace_back(pid, startTime);
        return stopError;
    }
    int closeTcp(const InetEndpoint& local, const InetEndpoint& remote) override
    {
        closed.emplace_back(local, remote);
        return closeError;
    }
    bool readTcpStats(std::vector<TcpStatsRow>& rows) override
    {
        ++statsReads;
        rows = stats;
        return true;
    }
    bool readSwRun(std::span<const std::uint32_t> pids, std::vector<SwRunRow>& rows) override
    {
        swRunPids.assign(pids.begin(), pids.end());
        rows.clear();
        for (const SwRunRow& row : processes) {
            if (std::find(pids.begin(), pids.end(), row.pid) != pids.end())
                rows.push_back(row);
        }
        return true;
    }

    std::vector<TcpConnectionRow> connections;
    std::vector<TcpStatsRow> stats;
    int statsReads = 0;
    std::vector<std::pair<InetEndpoint, InetEndpoint>> closed;
    int closeError = 0;
    std::vector<std::pair<std::uint32_t, std::uint64_t>> stopped;
    int stopError = 0;
    std::vector<Ipv6TcpConnRow> ipv6Connections;
    std::vector<Ipv6UdpRow> ipv6Udp;
    std::vector<TcpListenerRow> listeners;
    std::vector<UdpEndpointRow> endpoints;
    std::vector<SwRunRow> processes;
    std::vector<std::uint32_t> swRunPids;
    std::map<std::uint32_t, std::uint32_t> ownerOf; // inode -> pid
    std::vector<std::size_t> ownerQueries; // sockets per findOwners call
    bool endpointsWork = true;
    int connectionReads = 0;
    int listenerReads = 0;
    std::vector<TcpConnRow> tcp;
    std::vector<UdpRow> udp;
    std::optional<std::uint32_t> inErrors = 17;
    bool tcpWorks = true;
    int tcpReads = 0;
    int udpReads = 0;
    int ipv6UdpReads = 0;
};

struct Reply
{
    bool ok;
    AsnInteger32 status;
    AsnInteger32 index;
    Oid name;
    BYTE type;
    std::int64_t number; // integer, counter, or the address bytes as a.b.c.d -> 0xaabbccdd
    std::string text; // a string, or an identifier in dotted form
};

class Mib2AgentTest : public ::testing::Test
{
protected:
    Reply query(const Oid& name, BYTE requestType = SNMP_PDU_GETNEXT)
    {
        SnmpVarBind binding {};
        const AsnObjectIdentifier request { static_cast<UINT>(name.size()), const_cast<UINT*>(name.data()) };
        EXPECT_NE(SnmpUtilOidCpy(&binding.name, &request), 0);
        RFC1157VarBindList list { &binding, 1 };
        Reply reply {};
        if (requestType == SNMP_PDU_SET) {
            binding.value.asnType = setType;
            binding.value.asnValue.number = setValue;
        }
        reply.ok = agent.query(requestType, &list, &reply.status, &reply.index);
        reply.name.assign(binding.name.ids, binding.name.ids + binding.name.idLength);
        reply.type = binding.value.asnType;
        if (reply.type == ASN_IPADDRESS) {
            EXPECT_EQ(binding.value.asnValue.address.length, 4u);
            EXPECT_TRUE(binding.value.asnValue.address.dynamic);
            const BYTE* b = binding.value.asnValue.address.stream;
            reply.number = (std::int64_t { b[0] } << 24) | (b[1] << 16) | (b[2] << 8) | b[3];
        } else if (reply.type == ASN_COUNTER64) {
            reply.number = static_cast<std::int64_t>(binding.value.asnValue.counter64.QuadPart);
        } else if (reply.type == ASN_COUNTER32 || reply.type == ASN_UNSIGNED32 || reply.type == ASN_GAUGE32) {
            reply.number = binding.value.asnValue.unsigned32;
        } else if (reply.type == ASN_OCTETSTRING) {
            const AsnOctetString string = binding.value.asnValue.string;
            EXPECT_EQ(string.dynamic != FALSE, string.length > 0);
            reply.text.assign(reinterpret_cast<const char*>(string.stream), string.length);
        } else if (reply.type == ASN_OBJECTIDENTIFIER) {
            const AsnObjectIdentifier object = binding.value.asnValue.object;
            for (UINT i = 0; i < object.idLength; ++i)
                reply.text += (i ? "." : "") + std::to_string(object.ids[i]);
        } else {
            reply.number = binding.value.asnValue.number;
        }
        SnmpUtilVarBindFree(&binding);
        return reply;
    }

    // The names and values of one walk as the scan makes it: it ends at a scalar, but for
    // the UDP datagram counters between udpEndpointTable and hrSWRunTable.
    std::vector<Reply> walk(const Oid& start)
    {
        std::vector<Reply> replies;
        Oid name = start;
        for (;;) {
            Reply reply = query(name);
            const bool scalar = reply.name.size() < 10 && reply.name != udpHcIn && reply.name != udpHcOut;
            if (!reply.ok || reply.status != 0 || scalar || reply.name <= name) {
                replies.push_back(reply);
                return replies;
            }
            name = reply.name;
            replies.push_back(std::move(reply));
        }
    }

    FakeSource source;
    Mib2Agent agent { source };
    BYTE setType = ASN_INTEGER; // what a SET writes
    LONG setValue = 12;
};

TEST_F(Mib2AgentTest, WalksTcpColumnByColumnInIndexOrderThenTcpInErrs)
{
    source.tcp = {
        { ip("127.0.0.1"), ip("127.0.0.1"), 8080, 40000, 5 },
        { ip("0.0.0.0"), 0, 22, 0, 2 },
        { ip("10.1.2.3"), ip("192.168.0.9"), 22, 51000, 11 },
    };
    const std::vector<Reply> replies = walk(tcpStart);
    ASSERT_EQ(replies.size(), 16u);
    const Oid index0 = { 0, 0, 0, 0, 22, 0, 0, 0, 0, 0 };
    const Oid index1 = { 10, 1, 2, 3, 22, 192, 168, 0, 9, 51000 };
    const Oid index2 = { 127, 0, 0, 1, 8080, 127, 0, 0, 1, 40000 };
    const std::vector<std::pair<BYTE, std::int64_t>> values = {
        { ASN_INTEGER, 2 },
        { ASN_INTEGER, 11 },
        { ASN_INTEGER, 5 },
        { ASN_IPADDRESS, 0 },
        { ASN_IPADDRESS, 0x0A010203 },
        { ASN_IPADDRESS, 0x7F000001 },
        { ASN_INTEGER, 22 },
        { ASN_INTEGER, 22 },
        { ASN_INTEGER, 8080 },
        { ASN_IPADDRESS, 0 },
        { ASN_IPADDRESS, 0xC0A80009 },
        { ASN_IPADDRESS, 0x7F000001 },
        { ASN_INTEGER, 0 },
        { ASN_INTEGER, 51000 },
        { ASN_INTEGER, 40000 },
    };
    for (std::size_t i = 0; i < 15; ++i) {
        const UINT column = static_cast<UINT>(i / 3 + 1);
        const Oid& index = i % 3 == 0 ? index0 : i % 3 == 1 ? index1 : index2;
        Oid expected = join({ 1, 3, 6, 1, 2, 1, 6, 13, 1 }, { column });
        expected.insert(expected.end(), index.begin(), index.end());
        EXPECT_EQ(replies[i].name, expected) << i;
        EXPECT_EQ(replies[i].type, values[i].first) << i;
        EXPECT_EQ(replies[i].number, values[i].second) << i;
    }
    EXPECT_EQ(replies[15].name, tcpInErrs);
    EXPECT_EQ(replies[15].type, ASN_COUNTER32);
    EXPECT_EQ(replies[15].number, 17);
    EXPECT_EQ(source.tcpReads, 1);
}

TEST_F(Mib2AgentTest, EmptyTablesAnswerTcpInErrsAndTheEndOfTheView)
{
    Reply reply = query(tcpStart);
    EXPECT_TRUE(reply.ok);
    EXPECT_EQ(reply.status, SNMP_ERRORSTATUS_NOERROR);
    EXPECT_EQ(reply.name, tcpInErrs);
    EXPECT_EQ(reply.number, 17);

    reply = query(udpStart);
    EXPECT_EQ(reply.name, udpHcIn);
    EXPECT_EQ(reply.type, ASN_COUNTER64);
    EXPECT_EQ(reply.number, 5);
    reply = query(udpHcIn);
    EXPECT_EQ(reply.name, udpHcOut);
    EXPECT_EQ(reply.number, 6);

    reply = query(udpHcOut);
    EXPECT_TRUE(reply.ok);
    EXPECT_EQ(reply.status, SNMP_ERRORSTATUS_NOSUCHNAME);
    EXPECT_EQ(reply.index, 1);
    EXPECT_EQ(reply.name, afterView);
    EXPECT_EQ(reply.type, ASN_NULL);
}

TEST_F(Mib2AgentTest, UdpWalkEndsPastTheView)
{
    source.udp = { { ip("127.0.0.1"), 53 }, { 0, 5353 }, { 0, 53 } };
    const std::vector<Reply> replies = walk(udpStart);
    ASSERT_EQ(replies.size(), 9u);
    const std::vector<Oid> names = {
        join(udpStart, { 0, 0, 0, 0, 53 }),
        join(udpStart, { 0, 0, 0, 0, 5353 }),
        join(udpStart, { 127, 0, 0, 1, 53 }),
        { 1, 3, 6, 1, 2, 1, 7, 5, 1, 2, 0, 0, 0, 0, 53 },
        { 1, 3, 6, 1, 2, 1, 7, 5, 1, 2, 0, 0, 0, 0, 5353 },
        { 1, 3, 6, 1, 2, 1, 7, 5, 1, 2, 127, 0, 0, 1, 53 },
        udpHcIn,
        udpHcOut,
        afterView,
    };
    for (std::size_t i = 0; i < names.size(); ++i)
        EXPECT_EQ(replies[i].name, names[i]) << i;
    EXPECT_EQ(replies[2].type, ASN_IPADDRESS);
    EXPECT_EQ(replies[2].number, 0x7F000001);
    EXPECT_EQ(replies[5].type, ASN_INTEGER);
    EXPECT_EQ(replies[5].number, 53);
    EXPECT_EQ(replies[8].status, SNMP_ERRORSTATUS_NOSUCHNAME);
    EXPECT_EQ(source.udpReads, 1);
    EXPECT_EQ(source.tcpReads, 0); // a UDP walk never touches the TCP table
}

TEST_F(Mib2AgentTest, GetNextFromAnyNameLandsOnTheNextInstance)
{
    source.tcp = { { ip("127.0.0.1"), 0, 80, 0, 2 }, { ip("127.0.0.1"), ip("127.0.0.1"), 80, 5000, 5 } };
    source.udp = { { ip("10.0.0.1"), 161 } };
    const Oid firstTcp = join(tcpStart, { 127, 0, 0, 1, 80, 0, 0, 0, 0, 0 });
    const Oid secondTcp = join(tcpStart, { 127, 0, 0, 1, 80, 127, 0, 0, 1, 5000 });
    const Oid firstUdp = join(udpStart, { 10, 0, 0, 1, 161 });
    const std::vector<std::pair<Oid, Oid>> cases = {
        { {}, firstTcp },
        { { 1, 3, 6, 1, 2, 1 }, firstTcp },
        { { 1, 3, 6, 1, 2, 1, 6, 13, 1 }, firstTcp },
        { { 1, 3, 6, 1, 2, 1, 6, 13, 1, 0, 999 }, firstTcp },
        { { 0 }, firstTcp },
        { join(tcpStart, { 127 }), firstTcp },
        { join(tcpStart, { 127, 0, 0, 1, 80 }), firstTcp },
        { join(tcpStart, { 127, 0, 0, 1, 80, 0, 0, 0, 0, 0, 0 }), secondTcp },
        { join(tcpStart, { 127, 0, 0, 1, 80, 1 }), secondTcp },
        { join(tcpStart, { 127, 0, 0, 1, 79, 999 }), firstTcp },
        { join(tcpStart, { 127, 0, 0, 1, 80, 127, 0, 0, 1, 5000 }),
            join({ 1, 3, 6, 1, 2, 1, 6, 13, 1, 2 }, { 127, 0, 0, 1, 80, 0, 0, 0, 0, 0 }) },
        { join(tcpStart, { 300 }),
            join({ 1, 3, 6, 1, 2, 1, 6, 13, 1, 2 }, { 127, 0, 0, 1, 80, 0, 0, 0, 0, 0 }) },
        { { 1, 3, 6, 1, 2, 1, 6, 13, 1, 5, 255 }, tcpInErrs },
        { { 1, 3, 6, 1, 2, 1, 6, 13, 1, 6 }, tcpInErrs },
        { { 1, 3, 6, 1, 2, 1, 6, 13, 2 }, tcpInErrs },
        { { 1, 3, 6, 1, 2, 1, 6, 14 }, tcpInErrs },
        { tcpInErrs, tcpHcIn },
        { tcpHcOut, firstUdp },
        { { 1, 3, 6, 1, 2, 1, 7 }, firstUdp },
        { join(udpStart, { 10, 0, 0, 1, 160 }), firstUdp },
        { join(udpStart, { 10, 0, 0, 1, 161 }),
            join({ 1, 3, 6, 1, 2, 1, 7, 5, 1, 2 }, { 10, 0, 0, 1, 161 }) },
        { { 1, 3, 6, 1, 2, 1, 7, 5, 1, 2, 10, 0, 0, 1, 161 }, udpHcIn },
        { { 1, 3, 6, 1, 2, 1, 7, 5, 1, 3 }, udpHcIn },
        { { 1, 3, 6, 1, 2, 1, 7, 8 }, udpHcIn },
        { udpHcIn, udpHcOut },
        { udpHcOut, afterView },
        { { 1, 3, 6, 1, 2, 1, 8 }, afterView },
        { { 1, 3, 6, 1, 4, 1 }, afterView },
        { { 2 }, afterView },
    };
    for (const auto& [request, expected] : cases) {
        const Reply reply = query(request);
        EXPECT_TRUE(reply.ok) << ::testing::PrintToString(request);
        EXPECT_EQ(reply.name, expected) << ::testing::PrintToString(request);
        EXPECT_EQ(
            reply.status, expected == afterView ? SNMP_ERRORSTATUS_NOSUCHNAME : SNMP_ERRORSTATUS_NOERROR)
            << ::testing::PrintToString(request);
    }
}

TEST_F(Mib2AgentTest, AWalkSeesOneSnapshotAndTheNextWalkSeesTheChange)
{
    source.tcp = { { ip("127.0.0.1"), 0, 80, 0, 2 } };
    Reply first = query(tcpStart);
    ASSERT_EQ(first.name, join(tcpStart, { 127, 0, 0, 1, 80, 0, 0, 0, 0, 0 }));

    // Sockets come and go during the walk: its later columns still describe the same row.
    source.tcp = { { ip("127.0.0.1"), 0, 22, 0, 2 }, { ip("127.0.0.1"), 0, 80, 0, 2 } };
    const Reply second = query(first.name);
    EXPECT_EQ(second.name, join({ 1, 3, 6, 1, 2, 1, 6, 13, 1, 2 }, { 127, 0, 0, 1, 80, 0, 0, 0, 0, 0 }));
    EXPECT_EQ(source.tcpReads, 1);

    // Starting again re-reads, whether from the column or from a shorter name.
    EXPECT_EQ(query(tcpStart).name, join(tcpStart, { 127, 0, 0, 1, 22, 0, 0, 0, 0, 0 }));
    EXPECT_EQ(source.tcpReads, 2);
    source.tcp.pop_back();
    EXPECT_EQ(query({ 1, 3, 6, 1, 2, 1, 6 }).name, join(tcpStart, { 127, 0, 0, 1, 22, 0, 0, 0, 0, 0 }));
    EXPECT_EQ(query(join(tcpStart, { 127, 0, 0, 1, 22, 0, 0, 0, 0, 0 })).name,
        join({ 1, 3, 6, 1, 2, 1, 6, 13, 1, 2 }, { 127, 0, 0, 1, 22, 0, 0, 0, 0, 0 }));
    EXPECT_EQ(source.tcpReads, 3);
}

TEST_F(Mib2AgentTest, ManyRowsWalkInOrderWhateverTheJumps)
{
    // Enough rows that the binary search, not only the cursor, is exercised.
    for (UINT i = 0; i < 1000; ++i)
        source.tcp.push_back({ htonl(0x7F000000u | (i * 7919u % 251u)), htonl(0x7F000001),
            static_cast<std::uint16_t>(1000 + i), 80, 5 });
    const std::vector<Reply> replies = walk(tcpStart);
    ASSERT_EQ(replies.size(), 5001u);
    for (std::size_t i = 1; i < 5000; ++i)
        ASSERT_LT(replies[i - 1].name, replies[i].name) << i;
    // Jumping back to an earlier row resumes from there, in the same rows.
    const Reply again = query(replies[10].name);
    EXPECT_EQ(again.name, replies[11].name);
    const Reply back = query(replies[2500].name);
    EXPECT_EQ(back.name, replies[2501].name);
    EXPECT_EQ(source.tcpReads, 1);
}

TEST_F(Mib2AgentTest, GetAnswersExactInstancesOnly)
{
    source.tcp = { { ip("127.0.0.1"), 0, 80, 0, 2 } };
    source.udp = { { 0, 53 } };
    const Oid port = join({ 1, 3, 6, 1, 2, 1, 6, 13, 1, 3 }, { 127, 0, 0, 1, 80, 0, 0, 0, 0, 0 });
    Reply reply = query(port, SNMP_PDU_GET);
    EXPECT_EQ(reply.status, SNMP_ERRORSTATUS_NOERROR);
    EXPECT_EQ(reply.name, port);
    EXPECT_EQ(reply.number, 80);
    EXPECT_EQ(query(tcpInErrs, SNMP_PDU_GET).number, 17);
    EXPECT_EQ(query({ 1, 3, 6, 1, 2, 1, 7, 5, 1, 2, 0, 0, 0, 0, 53 }, SNMP_PDU_GET).number, 53);
    for (const Oid& missing :
        { tcpStart, join(tcpStart, { 127, 0, 0, 1, 81, 0, 0, 0, 0, 0 }), Oid { 1, 3, 6 },
            join({ 1, 3, 6, 1, 2, 1, 6, 13, 1, 6 }, { 127, 0, 0, 1, 80, 0, 0, 0, 0, 0 }) }) {
        reply = query(missing, SNMP_PDU_GET);
        EXPECT_TRUE(reply.ok);
        EXPECT_EQ(reply.status, SNMP_ERRORSTATUS_NOSUCHNAME);
        EXPECT_EQ(reply.index, 1);
        EXPECT_EQ(reply.name, missing); // a failed Get leaves the name alone
    }
    reply = query(port, SNMP_PDU_SET);
    EXPECT_EQ(reply.status, SNMP_ERRORSTATUS_NOSUCHNAME);
    reply = query(port, 0x42);
    EXPECT_FALSE(reply.ok);
    EXPECT_EQ(reply.status, SNMP_ERRORSTATUS_GENERR);
}

TEST_F(Mib2AgentTest, FailuresAreReportedNotShownAsEmptyTables)
{
    source.tcpWorks = false;
    Reply reply = query(tcpStart);
    EXPECT_FALSE(reply.ok);
    EXPECT_EQ(reply.status, SNMP_ERRORSTATUS_GENERR);
    EXPECT_EQ(reply.index, 1);
    EXPECT_EQ(reply.name, tcpStart); // the walk does not advance

    source.tcpWorks = true;
    source.inErrors = std::nullopt;
    reply = query(tcpStart);
    EXPECT_FALSE(reply.ok);
    EXPECT_EQ(reply.status, SNMP_ERRORSTATUS_GENERR);
    EXPECT_EQ(reply.name, tcpStart);

    AsnInteger32 status = 0;
    AsnInteger32 index = 0;
    EXPECT_FALSE(agent.query(SNMP_PDU_GETNEXT, nullptr, &status, &index));
    RFC1157VarBindList broken { nullptr, 1 };
    EXPECT_FALSE(agent.query(SNMP_PDU_GETNEXT, &broken, &status, &index));
}

TEST_F(Mib2AgentTest, BindingsAreServedInTurnAndTheFirstFailureIsNamed)
{
    source.udp = { { 0, 53 } };
    SnmpVarBind bindings[3] {};
    const Oid names[3] = { udpStart, udpHcOut, tcpInErrs };
    for (int i = 0; i < 3; ++i) {
        const AsnObjectIdentifier name { static_cast<UINT>(names[i].size()),
            const_cast<UINT*>(names[i].data()) };
        SnmpUtilOidCpy(&bindings[i].name, &name);
    }
    RFC1157VarBindList list { bindings, 3 };
    AsnInteger32 status = -1;
    AsnInteger32 index = -1;
    EXPECT_TRUE(agent.query(SNMP_PDU_GETNEXT, &list, &status, &index));
    EXPECT_EQ(status, SNMP_ERRORSTATUS_NOSUCHNAME);
    EXPECT_EQ(index, 2);
    EXPECT_EQ(bindings[0].value.asnType, ASN_IPADDRESS);
    for (auto& binding : bindings)
        SnmpUtilVarBindFree(&binding);
}

TEST_F(Mib2AgentTest, TheOldValueIsTheCallersAndIsNotFreed)
{
    source.udp = { { 0, 53 } };
    // A value the agent must not free: were it freed, the allocator would abort on the stack address.
    BYTE callerOwned[4] = { 1, 2, 3, 4 };
    SnmpVarBind binding {};
    const AsnObjectIdentifier start { static_cast<UINT>(udpStart.size()),
        const_cast<UINT*>(udpStart.data()) };
    SnmpUtilOidCpy(&binding.name, &start);
    binding.value.asnType = ASN_IPADDRESS;
    binding.value.asnValue.address = { callerOwned, 4, TRUE };
    RFC1157VarBindList list { &binding, 1 };
    AsnInteger32 status = -1;
    AsnInteger32 index = -1;
    ASSERT_TRUE(agent.query(SNMP_PDU_GETNEXT, &list, &status, &index));
    EXPECT_EQ(status, SNMP_ERRORSTATUS_NOERROR);
    EXPECT_EQ(index, 0);
    // Packed fields are read by value: gtest would bind a reference to a misaligned pointer.
    EXPECT_TRUE(binding.value.asnValue.address.stream != callerOwned);
    EXPECT_EQ(callerOwned[3], 4);
    SnmpUtilVarBindFree(&binding);
}

InetEndpoint v4(const char* text, std::uint16_t port)
{
    InetEndpoint endpoint { InetAddressType::Ipv4, port, {} };
    inet_pton(AF_INET, text, endpoint.address.data());
    return endpoint;
}

InetEndpoint v6(const char* text, std::uint16_t port)
{
    InetEndpoint endpoint { InetAddressType::Ipv6, port, {} };
    inet_pton(AF_INET6, text, endpoint.address.data());
    return endpoint;
}

InetEndpoint dualStack(std::uint16_t port)
{
    return { InetAddressType::Unknown, port, {} };
}

const Oid tcpConnectionEntry = { 1, 3, 6, 1, 2, 1, 6, 19, 1 };
const Oid tcpListenerEntry = { 1, 3, 6, 1, 2, 1, 6, 20, 1 };
const Oid udpEndpointEntry = { 1, 3, 6, 1, 2, 1, 7, 7, 1 };
const Oid swRunEntry = { 1, 3, 6, 1, 2, 1, 25, 4, 2, 1 };
const Oid v6Loopback = { 2, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1 };
const Oid v6Any = { 2, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0 };

Oid cat(std::initializer_list<Oid> parts)
{
    Oid out;
    for (const Oid& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

TEST_F(Mib2AgentTest, ConnectionsOfBothFamiliesOrderByTypeLengthOctetsAndPorts)
{
    source.connections = {
        { v6("::1", 80), v6("::1", 40000), 5, 300 },
        { v4("10.0.0.1", 22), v4("10.0.0.9", 50000), 5, 0 },
        { v6("::1", 80), v6("::1", 39999), 11, 0 },
        { v6("2001:db8::1", 443), v6("2001:db8::2", 1), 4, 12 },
        { v4("9.0.0.1", 65535), v4("1.1.1.1", 1), 6, 7 },
        // Twins of one index keep the established one, whatever the kernel's order.
        { v6("::1", 80), v6("::1", 40000), 11, 0 },
    };
    const std::vector<Reply> replies = walk(cat({ tcpConnectionEntry, { 1 } }));
    ASSERT_EQ(replies.size(), 13u);
    const std::vector<Oid> indexes = {
        { 1, 4, 9, 0, 0, 1, 65535, 1, 4, 1, 1, 1, 1, 1 },
        { 1, 4, 10, 0, 0, 1, 22, 1, 4, 10, 0, 0, 9, 50000 },
        cat({ v6Loopback, { 80 }, v6Loopback, { 39999 } }),
        cat({ v6Loopback, { 80 }, v6Loopback, { 40000 } }),
        { 2, 16, 32, 1, 13, 184, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 443, 2, 16, 32, 1, 13, 184, 0, 0, 0, 0,
            0, 0, 0, 0, 0, 0, 0, 2, 1 },
    };
    const std::int64_t states[] = { 6, 5, 11, 5, 4 };
    const std::int64_t processes[] = { 7, 0, 0, 300, 12 };
    for (std::size_t i = 0; i < 10; ++i) {
        const bool process = i >= 5;
        EXPECT_EQ(replies[i].name, cat({ tcpConnectionEntry, { process ? 8u : 7u }, indexes[i % 5] })) << i;
        EXPECT_EQ(replies[i].type, process ? ASN_UNSIGNED32 : ASN_INTEGER) << i;
        EXPECT_EQ(replies[i].number, process ? processes[i % 5] : states[i % 5]) << i;
    }
    // The other tables are empty, and no process of hrSWRunTable runs: the view ends.
    EXPECT_EQ(replies[10].name, udpHcIn);
    EXPECT_EQ(replies[12].name, afterView);
    EXPECT_EQ(source.connectionReads, 1);
    // Stepping past the table reads the next one only if it never was: a scan that walks
    // this table alone does not pay for the others at every walk.
    EXPECT_EQ(source.listenerReads, 1);
    walk(tcpConnectionEntry);
    EXPECT_EQ(source.connectionReads, 2);
    EXPECT_EQ(source.listenerReads, 1);
    walk(tcpListenerEntry);
    EXPECT_EQ(source.listenerReads, 2);

    // Any name lands on the next instance: inside an index of either length, or before column 7.
    const std::vector<std::pair<Oid, Oid>> cases = {
        { tcpConnectionEntry, cat({ tcpConnectionEntry, { 7 }, indexes[0] }) },
        { cat({ tcpConnectionEntry, { 3, 99 } }), cat({ tcpConnectionEntry, { 7 }, indexes[0] }) },
        { cat({ tcpConnectionEntry, { 7, 1, 4, 10 } }), cat({ tcpConnectionEntry, { 7 }, indexes[1] }) },
        { cat({ tcpConnectionEntry, { 7, 1, 5 } }), cat({ tcpConnectionEntry, { 7 }, indexes[2] }) },
        { cat({ tcpConnectionEntry, { 7, 2, 16, 0 } }), cat({ tcpConnectionEntry, { 7 }, indexes[2] }) },
        { cat({ tcpConnectionEntry, { 7 }, v6Loopback, { 80 }, v6Loopback, { 39999, 0 } }),
            cat({ tcpConnectionEntry, { 7 }, indexes[3] }) },
        { cat({ tcpConnectionEntry, { 7, 3 } }), cat({ tcpConnectionEntry, { 8 }, indexes[0] }) },
    };
    for (const auto& [request, expected] : cases)
        EXPECT_EQ(query(request).name, expected) << ::testing::PrintToString(request);
    EXPECT_EQ(source.connectionReads, 4); // each GetNext at or before column 7 starts a walk

    // Get: instances of the served columns only.
    Reply got = query(cat({ tcpConnectionEntry, { 8 }, indexes[3] }), SNMP_PDU_GET);
    EXPECT_EQ(got.status, SNMP_ERRORSTATUS_NOERROR);
    EXPECT_EQ(got.number, 300);
    for (const Oid& missing : { cat({ tcpConnectionEntry, { 1 }, indexes[3] }),
             cat({ tcpConnectionEntry, { 8 }, indexes[3], { 0 } }),
             cat({ tcpConnectionEntry, { 8, 1, 4, 9 } }) })
        EXPECT_EQ(query(missing, SNMP_PDU_GET).status, SNMP_ERRORSTATUS_NOSUCHNAME)
            << ::testing::PrintToString(missing);
}

TEST_F(Mib2AgentTest, ListenersUdpEndpointsAndTheirProcessesFollowInMibOrder)
{
    source.listeners = { { v6("::", 22), 10 }, { dualStack(80), 11 }, { v4("0.0.0.0", 22), 10 } };
    source.endpoints = {
        { v6("::1", 53), v6("::1", 5353), 900, 11 },
        { v6("::1", 53), v6("::", 0), 800, 0 },
        { dualStack(5353), dualStack(0), 700, 12 },
    };
    source.processes = {
        { 10, "sshd", "/usr/sbin/sshd", "-D", SwRunStatus::Runnable },
        { 11, "web", "web", "", SwRunStatus::Running },
        { 99, "other", "other", "", SwRunStatus::Runnable },
    };
    const std::vector<Reply> replies = walk(tcpListenerEntry);
    ASSERT_EQ(replies.size(), 3u + 3u + 2u + 2u * 7u + 1u);
    const std::vector<Oid> names = {
        cat({ tcpListenerEntry, { 4, 0, 0, 80 } }),
        cat({ tcpListenerEntry, { 4, 1, 4, 0, 0, 0, 0, 22 } }),
        cat({ tcpListenerEntry, { 4 }, v6Any, { 22 } }),
        // Unconnected: the local family's zero address and port 0; the instance tells twins apart.
        cat({ udpEndpointEntry, { 8, 0, 0, 5353, 0, 0, 0, 700 } }),
        cat({ udpEndpointEntry, { 8 }, v6Loopback, { 53 }, v6Any, { 0, 800 } }),
        cat({ udpEndpointEntry, { 8 }, v6Loopback, { 53 }, v6Loopback, { 5353, 900 } }),
    };
    const std::int64_t processes[] = { 11, 10, 10, 12, 0, 11 };
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(replies[i].name, names[i]) << i;
        EXPECT_EQ(replies[i].type, ASN_UNSIGNED32) << i;
        EXPECT_EQ(replies[i].number, processes[i]) << i;
    }
    // The owners of the listed sockets that still run (12 has gone), column by column.
    EXPECT_EQ(source.swRunPids, (std::vector<std::uint32_t> { 10, 11, 12 }));
    const std::vector<std::pair<BYTE, std::string>> values = {
        { ASN_INTEGER, "10" },
        { ASN_INTEGER, "11" },
        { ASN_OCTETSTRING, "sshd" },
        { ASN_OCTETSTRING, "web" },
        { ASN_OBJECTIDENTIFIER, "0.0" },
        { ASN_OBJECTIDENTIFIER, "0.0" },
        { ASN_OCTETSTRING, "/usr/sbin/sshd" },
        { ASN_OCTETSTRING, "web" },
        { ASN_OCTETSTRING, "-D" },
        { ASN_OCTETSTRING, "" },
        { ASN_INTEGER, "4" },
        { ASN_INTEGER, "4" },
        { ASN_INTEGER, "2" },
        { ASN_INTEGER, "1" },
    };
    for (std::size_t i = 0; i < values.size(); ++i) {
        const Reply& reply = replies[names.size() + 2 + i];
        EXPECT_EQ(reply.name, cat({ swRunEntry, { static_cast<UINT>(i / 2 + 1), i % 2 ? 11u : 10u } })) << i;
        EXPECT_EQ(reply.type, values[i].first) << i;
        const std::string value = reply.type == ASN_INTEGER ? std::to_string(reply.number) : reply.text;
        EXPECT_EQ(value, values[i].second) << i;
    }
    const Reply& end = replies.back();
    EXPECT_EQ(end.name, afterView);
    EXPECT_EQ(end.status, SNMP_ERRORSTATUS_NOSUCHNAME);

    // In the next scan, a table that cannot be read fails the walk, here and for hrSWRunTable
    // that lists its owners.
    agent.endScan();
    source.endpointsWork = false;
    EXPECT_EQ(query(udpEndpointEntry).status, SNMP_ERRORSTATUS_GENERR);
    EXPECT_EQ(query(swRunEntry).status, SNMP_ERRORSTATUS_GENERR);
}

TEST_F(Mib2AgentTest, TheOlderIpv6TablesIndexFixedLengthAddresses)
{
    const auto row = [](const char* local, std::uint16_t localPort, const char* remote,
                         std::uint16_t remotePort, std::int32_t state) {
        Ipv6TcpConnRow result;
        result.localAddress = v6(local, 0).address;
        result.localPort = localPort;
        result.remoteAddress = v6(remote, 0).address;
        result.remotePort = remotePort;
        result.state = state;
        return result;
    };
    source.ipv6Connections = { row("2001:db8::1", 22, "2001:db8::2", 1, 5), row("::1", 80, "::", 0, 2),
        row("::1", 80, "::1", 40000, 5) };
    const Oid ipv6TcpConnState = { 1, 3, 6, 1, 2, 1, 6, 16, 1, 6 };
    const std::vector<Reply> replies = walk(ipv6TcpConnState);
    ASSERT_EQ(replies.size(), 4u);
    const Oid loopback = { 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1 };
    const Oid any(16, 0);
    // No length before an address: ::1 sorts before 2001:db8::1, and the interface comes last.
    EXPECT_EQ(replies[0].name, cat({ ipv6TcpConnState, loopback, { 80 }, any, { 0, 0 } }));
    EXPECT_EQ(replies[0].number, 2);
    EXPECT_EQ(replies[1].name, cat({ ipv6TcpConnState, loopback, { 80 }, loopback, { 40000, 0 } }));
    EXPECT_EQ(replies[2].name[10], 32u);
    EXPECT_EQ(replies[2].number, 5);
    EXPECT_EQ(replies[3].name, tcpHcIn);
    EXPECT_EQ(replies[3].type, ASN_COUNTER64);
    EXPECT_EQ(replies[3].number, 3);
    EXPECT_EQ(query(tcpHcIn).number, 4);

    // ipv6UdpTable: one row per address, port and interface, twins and all. The walk takes
    // the rows that the step of udpTable's walk into it has just read, in the same scan.
    const Ipv6UdpRow twin { v6("::1", 0).address, 53, 0 };
    source.ipv6Udp = { twin, { v6("::", 0).address, 5353, 0 }, twin };
    source.udp = { { 0, 53 } };
    const Oid ipv6UdpIfIndex = { 1, 3, 6, 1, 2, 1, 7, 6, 1, 3 };
    Reply udp = query(udpStart);
    for (int i = 0; i < 2; ++i) // udpTable's one row, two columns, and the step past
        udp = query(udp.name);
    EXPECT_EQ(udp.name, cat({ ipv6UdpIfIndex, any, { 5353, 0 } }));
    const Reply first = query(ipv6UdpIfIndex);
    EXPECT_EQ(first.name, cat({ ipv6UdpIfIndex, any, { 5353, 0 } }));
    const Reply second = query(first.name);
    EXPECT_EQ(second.name, cat({ ipv6UdpIfIndex, loopback, { 53, 0 } }));
    EXPECT_EQ(query(second.name).name, udpHcIn);
    EXPECT_EQ(source.ipv6UdpReads, 1);
    // The next scan's walk (the table walked again) reads it afresh.
    query(ipv6UdpIfIndex);
    EXPECT_EQ(source.ipv6UdpReads, 2);
}

TEST_F(Mib2AgentTest, OwnersAreSoughtOnlyWhenAProcessColumnIsRead)
{
    source.connections = {
        { v4("10.0.0.1", 22), v4("10.0.0.9", 50000), 5, 0, { 101, 0 } },
        { v4("10.0.0.1", 22), v4("10.0.0.9", 50001), 5, 0, { 102, 0 } },
        { v6("::1", 80), v6("::1", 40000), 5, 0, { 103, 0 } },
    };
    source.endpoints = { { v6("::1", 53), v6("::", 0), 800, 0, { 104, 0 } } };
    source.ownerOf = { { 101, 7 }, { 102, 8 }, { 103, 9 }, { 104, 10 } };
    // A walk through the state column into the process column reads every row's owner, once.
    Reply reply = query(cat({ tcpConnectionEntry, { 7 } }));
    for (int i = 0; i < 3; ++i)
        reply = query(reply.name);
    EXPECT_EQ(reply.number, 7);
    reply = query(reply.name);
    EXPECT_EQ(reply.number, 8);
    EXPECT_EQ(query(reply.name).number, 9);
    EXPECT_EQ(source.ownerQueries, (std::vector<std::size_t> { 3 }));
    // The step of a walk past its table's end into a process column searches for no owner;
    // a walk of that column does.
    const Oid ipv6UdpIfIndex = { 1, 3, 6, 1, 2, 1, 7, 6, 1, 3 };
    EXPECT_EQ(query(ipv6UdpIfIndex).name[udpEndpointEntry.size()], 8u);
    EXPECT_EQ(source.ownerQueries, (std::vector<std::size_t> { 3 }));
    EXPECT_EQ(query(cat({ udpEndpointEntry, { 8 } })).number, 10);
    EXPECT_EQ(source.ownerQueries, (std::vector<std::size_t> { 3, 1 }));
}

const Oid connectIdEntry = { 1, 3, 6, 1, 2, 1, 156, 1, 1, 2, 1 };
const Oid tcpPerfEntry = { 1, 3, 6, 1, 2, 1, 156, 1, 1, 3, 1 };
const Oid tcpAppEntry = { 1, 3, 6, 1, 2, 1, 156, 1, 1, 6, 1 };

TcpStatsRow statsOf(std::uint64_t cookie, std::uint32_t base)
{
    TcpStatsRow row;
    row.cookie = cookie;
    row.counters = { base + 1, base + 2, base + 3, 4'000 + base, 200'000 + base, 10, 1000,
        5'000'000'000u + base, std::uint64_t { 1 } << 32 | 7, 1'000 + base, 2'000 + base };
    return row;
}

TEST_F(Mib2AgentTest, StatisticsFollowEachConnectionByAnIndexNeverGivenAgain)
{
    const InetEndpoint server = v4("10.0.0.1", 22);
    source.connections = {
        { server, v4("10.0.0.9", 50001), 5, 0, {}, 0xB }, { server, v4("10.0.0.9", 50000), 5, 0, {}, 0xA },
        { server, v4("10.0.0.9", 50002), 11, 0, {}, 0 }, // TIME_WAIT: no statistics
    };
    source.stats = { statsOf(0xA, 0), statsOf(0xB, 100) };
    const std::vector<Reply> replies = walk(connectIdEntry);
    // tcpEStatsConnectIndex in tcpConnectionTable's order, numbered as first seen.
    ASSERT_EQ(replies.size(), 2u + 10u * 2u + 2u * 2u + 1u);
    EXPECT_EQ(
        replies[0].name, cat({ connectIdEntry, { 1, 1, 4, 10, 0, 0, 1, 22, 1, 4, 10, 0, 0, 9, 50000 } }));
    EXPECT_EQ(replies[1].name.back(), 50001u);
    EXPECT_EQ(replies[0].type, ASN_UNSIGNED32);
    const std::uint32_t indexA = static_cast<std::uint32_t>(replies[0].number);
    const std::uint32_t indexB = static_cast<std::uint32_t>(replies[1].number);
    EXPECT_EQ(std::set<std::uint32_t>({ indexA, indexB }), (std::set<std::uint32_t> { 1, 2 }));
    // Only the served columns, each row by its index; ZeroBasedCounter32 and Gauge32 as
    // Gauge32, ZeroBasedCounter64 as Counter64, RTT and RTO in ms, the window in octets.
    struct Column
    {
        UINT column;
        BYTE type;
        std::int64_t valueOfA;
    };
    const Column perf[] = { { 1, ASN_GAUGE32, 1 }, { 4, ASN_COUNTER64, 5'000'000'000 }, { 5, ASN_GAUGE32, 3 },
        { 6, ASN_GAUGE32, 7 }, { 7, ASN_GAUGE32, 2 }, { 10, ASN_COUNTER64, 2'000 }, { 11, ASN_GAUGE32, 0 },
        { 17, ASN_GAUGE32, 4 }, { 18, ASN_GAUGE32, 200 }, { 20, ASN_GAUGE32, 10'000 } };
    std::size_t at = 2;
    const std::uint32_t rowOfA = indexA < indexB ? 0 : 1;
    for (const Column& column : perf) {
        for (std::uint32_t row = 0; row < 2; ++row, ++at) {
            const Reply& reply = replies[at];
            EXPECT_EQ(reply.name, cat({ tcpPerfEntry, { column.column, std::min(indexA, indexB) + row } }));
            EXPECT_EQ(reply.type, column.type) << column.column;
            if (row == rowOfA) {
                EXPECT_EQ(reply.number, column.valueOfA) << column.column;
            }
        }
    }
    for (const auto& [column, valueOfA] : { std::pair<UINT, std::int64_t> { 5, 1'000 }, { 8, 2'000 } }) {
        for (std::uint32_t row = 0; row < 2; ++row, ++at) {
            EXPECT_EQ(replies[at].name, cat({ tcpAppEntry, { column, std::min(indexA, indexB) + row } }));
            EXPECT_EQ(replies[at].type, ASN_COUNTER64);
            EXPECT_EQ(replies[at].number, row == rowOfA ? valueOfA : valueOfA + 100);
        }
    }
    EXPECT_EQ(replies.back().name, afterView);
    // Both statistics tables took one read of the counters.
    EXPECT_EQ(source.statsReads, 1);

    // A's connection closes, C's opens: B keeps its index and C gets one never given before.
    agent.endScan();
    source.connections = { { server, v4("10.0.0.9", 50001), 5, 0, {}, 0xB },
        { server, v4("10.0.0.9", 50003), 5, 0, {}, 0xC } };
    source.stats = { statsOf(0xB, 100), statsOf(0xC, 200) };
    const std::vector<Reply> again = walk(connectIdEntry);
    EXPECT_EQ(again[0].number, indexB);
    EXPECT_EQ(again[1].number, 3);
    EXPECT_EQ(query(cat({ tcpPerfEntry, { 1, indexA } }), SNMP_PDU_GET).status, SNMP_ERRORSTATUS_NOSUCHNAME);
    EXPECT_EQ(query(cat({ tcpPerfEntry, { 2, 3 } }), SNMP_PDU_GET).status, SNMP_ERRORSTATUS_NOSUCHNAME);
    EXPECT_EQ(query(cat({ tcpPerfEntry, { 1, 3 } }), SNMP_PDU_GET).number, 201);
}

TEST_F(Mib2AgentTest, AStepPastTheProcessesIntoTheStatisticsReadsNoCounters)
{
    source.connections = { { v4("10.0.0.1", 22), v4("10.0.0.9", 50000), 5, 7, {}, 0xA } };
    source.processes = { { 7, "sshd", "/usr/sbin/sshd", "", SwRunStatus::Running } };
    source.stats = { statsOf(0xA, 0) };
    // A scan's walk of tcpConnectionTable, then the step past hrSWRunTable's last instance.
    const Oid lastProcess = cat({ swRunEntry, { 7, 7 } });
    query(cat({ tcpConnectionEntry, { 7 } }));
    const Reply step = query(lastProcess);
    EXPECT_EQ(step.name, cat({ connectIdEntry, { 1, 1, 4, 10, 0, 0, 1, 22, 1, 4, 10, 0, 0, 9, 50000 } }));
    EXPECT_EQ(step.number, 1);
    EXPECT_EQ(source.statsReads, 0);
    EXPECT_EQ(source.connectionReads, 1);
    // Without a connection that has statistics, the step ends the view, still reading none.
    agent.endScan();
    source.connections[0].cookie = 0;
    query(cat({ tcpConnectionEntry, { 7 } }));
    EXPECT_EQ(query(lastProcess).name, afterView);
    EXPECT_EQ(source.statsReads, 0);
}

TEST_F(Mib2AgentTest, SettingAConnectionsStateToDeleteTcbClosesItAndTellsWhyItCouldNot)
{
    source.connections = { { v6("::1", 80), v6("::1", 40000), 5, 0 } };
    source.tcp = { { ip("127.0.0.1"), ip("127.0.0.1"), 22, 50000, 5 } };
    const Oid v6State = cat({ tcpConnectionEntry, { 7 }, v6Loopback, { 80 }, v6Loopback, { 40000 } });
    const Oid v4State = cat({ tcpStart, { 127, 0, 0, 1, 22, 127, 0, 0, 1, 50000 } });
    // The kernel's answer, as each becomes the status of the request.
    const struct
    {
        int error;
        AsnInteger32 status;
        bool processed;
    } outcomes[] = { { 0, SNMP_ERRORSTATUS_NOERROR, true }, { EPERM, SNMP_ERRORSTATUS_NOACCESS, true },
        { ENOENT, SNMP_ERRORSTATUS_NOSUCHNAME, true }, { EOPNOTSUPP, SNMP_ERRORSTATUS_GENERR, false } };
    for (const auto& outcome : outcomes) {
        source.closeError = outcome.error;
        const Reply reply = query(v6State, SNMP_PDU_SET);
        EXPECT_EQ(reply.status, outcome.status) << outcome.error;
        EXPECT_EQ(reply.ok, outcome.processed) << outcome.error;
    }
    ASSERT_EQ(source.closed.size(), 4u);
    EXPECT_EQ(source.closed[0].first.port, 80);
    EXPECT_EQ(source.closed[0].second.port, 40000);
    EXPECT_EQ(source.closed[0].second.type, InetAddressType::Ipv6);

    source.closeError = 0;
    EXPECT_EQ(query(v4State, SNMP_PDU_SET).status, SNMP_ERRORSTATUS_NOERROR);
    ASSERT_EQ(source.closed.size(), 5u);
    EXPECT_EQ(source.closed[4].first.type, InetAddressType::Ipv4);
    EXPECT_EQ(source.closed[4].first.address[0], 127);
    EXPECT_EQ(source.closed[4].second.port, 50000);

    // Any other value, object or connection closes nothing.
    setValue = 2;
    EXPECT_EQ(query(v6State, SNMP_PDU_SET).status, SNMP_ERRORSTATUS_BADVALUE);
    setValue = 12;
    setType = ASN_GAUGE32;
    EXPECT_EQ(query(v6State, SNMP_PDU_SET).status, SNMP_ERRORSTATUS_BADVALUE);
    setType = ASN_INTEGER;
    EXPECT_EQ(
        query(cat({ tcpConnectionEntry, { 8 }, v6Loopback, { 80 }, v6Loopback, { 40000 } }), SNMP_PDU_SET)
            .status,
        SNMP_ERRORSTATUS_NOSUCHNAME);
    EXPECT_EQ(query(cat({ tcpStart, { 127, 0, 0, 1, 22, 127, 0, 0, 1, 50001 } }), SNMP_PDU_SET).status,
        SNMP_ERRORSTATUS_NOSUCHNAME);
    EXPECT_EQ(query(tcpInErrs, SNMP_PDU_SET).status, SNMP_ERRORSTATUS_NOSUCHNAME);
    EXPECT_EQ(source.closed.size(), 5u);
}

TEST_F(Mib2AgentTest, SettingAProcessInvalidStopsTheOneTheAgentReadNotALaterOneUnderItsPid)
{
    source.connections = { { v4("10.0.0.1", 22), v4("10.0.0.9", 50000), 5, 7 } };
    source.processes = { { 7, "sshd", "/usr/sbin/sshd", "", SwRunStatus::Running, 4242 } };
    const Oid status = cat({ swRunEntry, { 7, 7 } });
    setValue = static_cast<LONG>(SwRunStatus::Invalid);
    const struct
    {
        int error;
        AsnInteger32 status;
    } outcomes[] = { { 0, SNMP_ERRORSTATUS_NOERROR }, { ESTALE, SNMP_ERRORSTATUS_NOSUCHNAME },
        { ESRCH, SNMP_ERRORSTATUS_NOSUCHNAME }, { EPERM, SNMP_ERRORSTATUS_NOACCESS } };
    for (const auto& outcome : outcomes) {
        source.processes[0].startTime = 4242;
        walk(swRunEntry);
        // Another process under pid 7 since the walk: the set names the one the walk read.
        source.processes[0].startTime = 9999;
        source.stopError = outcome.error;
        EXPECT_EQ(query(status, SNMP_PDU_SET).status, outcome.status) << outcome.error;
        EXPECT_EQ(source.stopped.back(), std::make_pair(std::uint32_t { 7 }, std::uint64_t { 4242 }));
    }
    // After the scan ended too: the process it read, not the one under the pid now.
    source.processes[0].startTime = 5555;
    walk(swRunEntry);
    agent.endScan();
    source.processes[0].startTime = 9999;
    source.stopError = 0;
    EXPECT_EQ(query(status, SNMP_PDU_SET).status, SNMP_ERRORSTATUS_NOERROR);
    EXPECT_EQ(source.stopped.back(), std::make_pair(std::uint32_t { 7 }, std::uint64_t { 5555 }));
    setValue = static_cast<LONG>(SwRunStatus::Running);
    EXPECT_EQ(query(status, SNMP_PDU_SET).status, SNMP_ERRORSTATUS_BADVALUE);
    setValue = static_cast<LONG>(SwRunStatus::Invalid);
    EXPECT_EQ(query(cat({ swRunEntry, { 2, 7 } }), SNMP_PDU_SET).status, SNMP_ERRORSTATUS_NOSUCHNAME);
    EXPECT_EQ(query(cat({ swRunEntry, { 7, 8 } }), SNMP_PDU_SET).status, SNMP_ERRORSTATUS_NOSUCHNAME);
    EXPECT_EQ(source.stopped.size(), 5u);
}

TEST(Mib2AgentView, IsMib2InStaticStorage)
{
    const AsnObjectIdentifier view = Mib2Agent::supportedView();
    ASSERT_EQ(view.idLength, 6u);
    EXPECT_EQ(Oid(view.ids, view.ids + 6), (Oid { 1, 3, 6, 1, 2, 1 }));
    EXPECT_TRUE(Mib2Agent::supportedView().ids == view.ids);
}

} // namespace
