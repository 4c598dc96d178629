// The agent module against the kernel's real tables. Every test gets a fresh, empty
// network namespace, so the walked tables hold exactly the test's own sockets.

#include "platform/inetmib1/kernel_endpoint_source.h"
#include "platform/inetmib1/mib_rows.h"
#include "platform/inetmib1/sock_diag_reader.h"
#include "platform/system_name_services.h"
#include "tests/common/loopback_sockets.h"
#include "tests/common/netns.h"
#include "tests/platform/agent_client.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstring>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace agenttest {
namespace {

    using namespace loopback;

    constexpr int listening = 2;
    constexpr int established = 5;
    constexpr int timeWait = 11;

    class AgentNamespaceTest : public ::testing::Test
    {
    protected:
        void SetUp() override
        {
            ASSERT_EQ(testns::enterPrivateNetworkNamespace(), "");
            ASSERT_NE(agent().query, nullptr);
        }

        // Socket state changes on loopback settle within moments; wait for the expected table.
        Walk<TcpEntry> walkTcpUntil(const std::vector<TcpEntry>& expected)
        {
            Walk<TcpEntry> walk;
            for (int attempt = 0; attempt < 100; ++attempt) {
                walk = agent().walkTcp();
                if (walk.rows == expected)
                    break;
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            return walk;
        }
    };

    TEST_F(AgentNamespaceTest, InitHandsBackNoTrapEventAndTheMib2View)
    {
        HANDLE trap = reinterpret_cast<HANDLE>(1);
        AsnObjectIdentifier view {};
        ASSERT_TRUE(agent().init(0, &trap, &view));
        EXPECT_EQ(trap, nullptr);
        EXPECT_EQ(Oid(view.ids, view.ids + view.idLength), (Oid { 1, 3, 6, 1, 2, 1 }));
    }

    TEST_F(AgentNamespaceTest, EmptyTablesEndAtOnce)
    {
        const Walk<TcpEntry> tcp = agent().walkTcp();
        EXPECT_TRUE(tcp.rows.empty());
        EXPECT_EQ(tcp.queries, 1);
        EXPECT_EQ(tcp.firstName, (Oid { 1, 3, 6, 1, 2, 1, 6, 14, 0 }));
        EXPECT_EQ(tcp.endStatus, 0);

        // udpEndpointTable (or a later table, or the end of the view) follows udpTable.
        const Walk<UdpEntry> udp = agent().walkUdp();
        EXPECT_TRUE(udp.rows.empty());
        EXPECT_EQ(udp.queries, 1);
        EXPECT_GT(udp.endName, (Oid { 1, 3, 6, 1, 2, 1, 7, 5, 2 }));
    }

    TEST_F(AgentNamespaceTest, ListenersAndEstablishedPairsInIndexOrder)
    {
        Socket any = tcpListener("0.0.0.0", 21);
        Socket local = tcpListener("127.0.0.1", 8080);
        Socket alsoLocal = tcpListener("127.0.0.2", 80);
        // A socket that is only bound is neither a connection nor a listener.
        Socket boundOnly = [] {
            Socket s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
            sockaddr_in address { AF_INET, htons(9999), { htonl(INADDR_LOOPBACK) }, {} };
            EXPECT_EQ(bind(s.fd(), reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
            return s;
        }();
        Socket client1 = tcpClient("127.0.0.1", 8080);
        Socket server1 = acceptOne(local);
        Socket client2 = tcpClient("127.0.0.1", 21);
        Socket server2 = acceptOne(any);
        const int port1 = client1.localPort();
        const int port2 = client2.localPort();

        const std::vector<TcpEntry> expected = inIndexOrder({
            { listening, "0.0.0.0", 21, "0.0.0.0", 0 },
            { listening, "127.0.0.1", 8080, "0.0.0.0", 0 },
            { listening, "127.0.0.2", 80, "0.0.0.0", 0 },
            { established, "127.0.0.1", port1, "127.0.0.1", 8080 },
            { established, "127.0.0.1", 8080, "127.0.0.1", port1 },
            { established, "127.0.0.1", port2, "127.0.0.1", 21 },
            { established, "127.0.0.1", 21, "127.0.0.1", port2 },
        });
        const Walk<TcpEntry> walk = walkTcpUntil(expected);
        EXPECT_EQ(walk.rows, expected);
        EXPECT_EQ(walk.problems, std::vector<std::string>());
        EXPECT_EQ(walk.endName, (Oid { 1, 3, 6, 1, 2, 1, 6, 14, 0 }));
        EXPECT_EQ(walk.queries, 7 * 5 + 1);
        for (Socket* s : { &client1, &server1, &client2, &server2 })
            abortClose(*s);
    }

    TEST_F(AgentNamespaceTest, TheSideThatClosesFirstWaitsInTimeWait)
    {
        Socket listener = tcpListener("127.0.0.1", 6000);
        Socket client = tcpClient("127.0.0.1", 6000);
        Socket server = acceptOne(listener);
        const int clientPort = client.localPort();
        ASSERT_EQ(send(client.fd(), "ping", 4, 0), 4);
        char buffer[8];
        ASSERT_EQ(recv(server.fd(), buffer, sizeof(buffer), 0), 4);
        client.reset();
        ASSERT_EQ(recv(server.fd(), buffer, sizeof(buffer), 0), 0); // the client's FIN
        server.reset();

        const std::vector<TcpEntry> expected = inIndexOrder({
            { listening, "127.0.0.1", 6000, "0.0.0.0", 0 },
            { timeWait, "127.0.0.1", clientPort, "127.0.0.1", 6000 },
        });
        const Walk<TcpEntry> walk = walkTcpUntil(expected);
        EXPECT_EQ(walk.rows, expected);
        EXPECT_EQ(walk.problems, std::vector<std::string>());
    }

    TEST_F(AgentNamespaceTest, UdpEndpointsBoundOrConnected)
    {
        Socket any = udpSocket("0.0.0.0", 53);
        Socket local = udpSocket("127.0.0.1", 161);
        Socket connected = udpSocket("127.0.0.1", 0, Stack::V4, "127.0.0.1", 161);
        Socket dualStack = udpSocket("::", 5353, Stack::DualStack);
        Socket v6Only = udpSocket("::", 5354, Stack::V6Only);
        Socket v6Loopback = udpSocket("::1", 5355, Stack::V6Only);
        Socket mapped = udpSocket("::ffff:127.0.0.1", 5356, Stack::DualStack);

        const std::vector<UdpEntry> expected = inIndexOrder({
            { "0.0.0.0", 53 },
            { "127.0.0.1", 161 },
            { "127.0.0.1", connected.localPort() },
            { "0.0.0.0", 5353 },
            { "127.0.0.1", 5356 },
        });
        const Walk<UdpEntry> walk = agent().walkUdp();
        EXPECT_EQ(walk.rows, expected);
        EXPECT_EQ(walk.problems, std::vector<std::string>());
        // The step past the table lands on ipv6UdpTable's first row: the IPv6-only wildcard,
        // as the dual-stack one is udpTable's 0.0.0.0.
        Oid firstIpv6 { 1, 3, 6, 1, 2, 1, 7, 6, 1, 3 };
        firstIpv6.insert(firstIpv6.end(), 16, 0);
        firstIpv6.insert(firstIpv6.end(), { 5354, 0 });
        EXPECT_EQ(walk.endName, firstIpv6);
        EXPECT_EQ(walk.queries, 5 * 2 + 1);
    }

    TEST_F(AgentNamespaceTest, DualStackListenerCarriesIpv4AsIpv4Rows)
    {
        Socket dualStack = tcpListener("::", 7000, Stack::DualStack);
        Socket v6Only = tcpListener("::", 7001, Stack::V6Only);
        Socket v4Client = tcpClient("127.0.0.1", 7000);
        Socket mappedServer = acceptOne(dualStack);
        // IPv6 traffic has no place in the IPv4 tables.
        Socket v6Client = tcpClient("::1", 7001);
        Socket v6Server = acceptOne(v6Only);
        const int clientPort = v4Client.localPort();

        const std::vector<TcpEntry> expected = inIndexOrder({
            { listening, "0.0.0.0", 7000, "0.0.0.0", 0 },
            { established, "127.0.0.1", 7000, "127.0.0.1", clientPort },
            { established, "127.0.0.1", clientPort, "127.0.0.1", 7000 },
        });
        const Walk<TcpEntry> walk = walkTcpUntil(expected);
        EXPECT_EQ(walk.rows, expected);
        EXPECT_EQ(walk.problems, std::vector<std::string>());
        for (Socket* s : { &v4Client, &mappedServer, &v6Client, &v6Server })
            abortClose(*s);
    }

    TEST_F(AgentNamespaceTest, SocketsSharingAnIndexAppearOnce)
    {
        Socket first = tcpListener("127.0.0.1", 7100, Stack::V4, true);
        Socket second = tcpListener("127.0.0.1", 7100, Stack::V4, true);
        Socket v4 = tcpListener("0.0.0.0", 7200, Stack::V4, true);
        Socket v6 = tcpListener("::", 7200, Stack::DualStack, true);
        const std::vector<TcpEntry> expected = {
            { listening, "0.0.0.0", 7200, "0.0.0.0", 0 },
            { listening, "127.0.0.1", 7100, "0.0.0.0", 0 },
        };
        const Walk<TcpEntry> walk = agent().walkTcp();
        EXPECT_EQ(walk.rows, expected);
        EXPECT_EQ(walk.problems, std::vector<std::string>());
    }

    TEST_F(AgentNamespaceTest, RepeatedWalksGiveTheSameTablesAndFreeEverything)
    {
        std::vector<Socket> sockets;
        Socket listener = tcpListener("127.0.0.1", 9000);
        for (int i = 0; i < 20; ++i) {
            sockets.push_back(tcpClient("127.0.0.1", 9000));
            sockets.push_back(acceptOne(listener));
        }
        Socket udp = udpSocket("127.0.0.1", 9001);
        const Walk<TcpEntry> firstTcp = agent().walkTcp();
        ASSERT_EQ(firstTcp.rows.size(), 41u);
        const Walk<UdpEntry> firstUdp = agent().walkUdp();
        ASSERT_EQ(firstUdp.rows.size(), 1u);
        // The sanitizer build checks for leaks over these walks at exit.
        for (int i = 0; i < 50; ++i) {
            const Walk<TcpEntry> tcp = agent().walkTcp();
            ASSERT_EQ(tcp.rows, firstTcp.rows) << "walk " << i;
            ASSERT_TRUE(tcp.problems.empty()) << "walk " << i;
            const Walk<UdpEntry> udpWalk = agent().walkUdp();
            ASSERT_EQ(udpWalk.rows, firstUdp.rows) << "walk " << i;
        }
        for (Socket& s : sockets)
            abortClose(s);
    }

    TEST_F(AgentNamespaceTest, TcpInErrsIsTheNamespacesCounter)
    {
        const Walk<TcpEntry> walk = agent().walkTcp();
        ASSERT_EQ(walk.endName, (Oid { 1, 3, 6, 1, 2, 1, 6, 14, 0 }));
        // A fresh namespace has received no segments in error.
        SnmpVarBind binding {};
        UINT ids[] = { 1, 3, 6, 1, 2, 1, 6, 13, 1, 5, 255 };
        const AsnObjectIdentifier name { 11, ids };
        SnmpUtilOidCpy(&binding.name, &name);
        RFC1157VarBindList list { &binding, 1 };
        AsnInteger32 status = -1;
        AsnInteger32 index = -1;
        ASSERT_TRUE(agent().query(SNMP_PDU_GETNEXT, &list, &status, &index));
        EXPECT_EQ(status, 0);
        EXPECT_EQ(binding.value.asnType, ASN_COUNTER32);
        EXPECT_EQ(binding.value.asnValue.counter, 0u);
        SnmpUtilVarBindFree(&binding);
    }

    TEST_F(AgentNamespaceTest, OnePassAndPerFamilyKernelReadsAgree)
    {
        Socket v4 = tcpListener("127.0.0.1", 7300);
        Socket dualStack = tcpListener("::", 7301, Stack::DualStack);
        Socket v6Only = tcpListener("::", 7302, Stack::V6Only);
        Socket client = tcpClient("127.0.0.1", 7301);
        Socket server = acceptOne(dualStack);
        Socket udp = udpSocket("::", 7303, Stack::DualStack);

        SockDiagReader onePass(true);
        SockDiagReader perFamily(false);
        std::vector<TcpConnRow> fast;
        std::vector<TcpConnRow> slow;
        ASSERT_TRUE(onePass.readTcp(fast));
        ASSERT_TRUE(perFamily.readTcp(slow));
        sortByIndex(fast);
        sortByIndex(slow);
        ASSERT_EQ(fast.size(), 4u); // two listeners and both ends of the IPv4 connection
        ASSERT_EQ(slow.size(), fast.size());
        for (std::size_t i = 0; i < fast.size(); ++i) {
            EXPECT_EQ(std::memcmp(&fast[i], &slow[i], sizeof(TcpConnRow)), 0) << i;
        }
        std::vector<UdpRow> udpRows;
        ASSERT_TRUE(perFamily.readUdp(udpRows));
        ASSERT_EQ(udpRows.size(), 1u);
        EXPECT_EQ(udpRows[0].localAddress, 0u);
        EXPECT_EQ(udpRows[0].localPort, 7303);
        abortClose(client);
        abortClose(server);
    }

    TEST_F(AgentNamespaceTest, TheSharedKernelReadGivesTheReadersRowsAndEachWalkSeesNewSockets)
    {
        Socket v4 = tcpListener("127.0.0.1", 7310);
        Socket dualStack = tcpListener("::", 7311, Stack::DualStack);
        Socket client = tcpClient("127.0.0.1", 7311);
        Socket server = acceptOne(dualStack);
        KernelEndpointSource kernel;
        ASSERT_TRUE(kernel.open());
        // tcpConnTable's rows, taken from the read every table shares, are the reader's own.
        std::vector<TcpConnRow> shared;
        std::vector<TcpConnRow> direct;
        ASSERT_TRUE(kernel.readTcp(shared));
        ASSERT_TRUE(SockDiagReader().readTcp(direct));
        sortByIndex(shared);
        sortByIndex(direct);
        ASSERT_EQ(shared.size(), 4u);
        ASSERT_EQ(direct.size(), shared.size());
        for (std::size_t i = 0; i < shared.size(); ++i)
            EXPECT_EQ(std::memcmp(&shared[i], &direct[i], sizeof(TcpConnRow)), 0) << i;
        // A table's next read is the kernel's as it is then; the dual-stack wildcard is no row.
        std::vector<Ipv6TcpConnRow> ipv6;
        ASSERT_TRUE(kernel.readIpv6TcpConnections(ipv6));
        Socket v6 = tcpListener("::1", 7312, Stack::V6Only);
        ASSERT_TRUE(kernel.readIpv6TcpConnections(ipv6));
        const auto v6Rows = std::count_if(ipv6.begin(), ipv6.end(),
            [](const Ipv6TcpConnRow& row) { return row.localAddress[15] == 1 && row.localAddress[10] == 0; });
        EXPECT_EQ(v6Rows, 1);
        // Of port 7311 only the accepted end is a row, with its mapped address.
        const auto on7311 = std::find_if(
            ipv6.begin(), ipv6.end(), [](const Ipv6TcpConnRow& row) { return row.localPort == 7311; });
        ASSERT_NE(on7311, ipv6.end());
        EXPECT_EQ(on7311->localAddress[10], 0xff);
        EXPECT_EQ(std::count_if(ipv6.begin(), ipv6.end(),
                      [](const Ipv6TcpConnRow& row) { return row.localPort == 7311; }),
            1);
        abortClose(client);
        abortClose(server);
    }

    TEST_F(AgentNamespaceTest, AReadAheadServesEachTablesNextReadOnce)
    {
        Socket before = tcpListener("127.0.0.1", 7320);
        KernelEndpointSource kernel;
        ASSERT_TRUE(kernel.open());
        kernel.prefetch();
        Socket after = tcpListener("127.0.0.1", 7321);
        std::vector<TcpConnRow> rows;
        std::vector<TcpListenerRow> listeners;
        ASSERT_TRUE(kernel.readTcp(rows));
        ASSERT_TRUE(kernel.readTcpListeners(listeners));
        EXPECT_EQ(rows.size(), 1u) << "the read made ahead";
        EXPECT_EQ(listeners.size(), 1u) << "the read made ahead";
        ASSERT_TRUE(kernel.readTcp(rows));
        EXPECT_EQ(rows.size(), 2u) << "the kernel as it is now";
    }

    TEST_F(AgentNamespaceTest, LoopbackNamesResolveLocally)
    {
        // Inside the namespace no query can leave the machine.
        EXPECT_EQ(systemNameServices().hostByAddress(htonl(INADDR_LOOPBACK)), "localhost");
    }

} // namespace
} // namespace agenttest
