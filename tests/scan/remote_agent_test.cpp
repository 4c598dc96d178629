// The remote agent against net-snmp's real snmpd, in a private network namespace where
// only the test's own sockets (and the agents') exist, checked against the module loaded
// into the process, which reads the same kernel tables.

#include "scan/mib_agent.h"
#include "scan/remote_mib_agent.h"
#include "tests/common/loopback_sockets.h"
#include "tests/common/netns.h"
#include "tests/common/process.h"
#include "tests/common/snmpd.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

bool operator==(const MibEndpoint& a, const MibEndpoint& b)
{
    return a.stateValue == b.stateValue && a.localAddress == b.localAddress
        && a.localPortNumber == b.localPortNumber && a.remoteAddress == b.remoteAddress
        && a.remotePortNumber == b.remotePortNumber;
}

namespace {

using namespace loopback;
using Clock = std::chrono::steady_clock;

const auto* const g_namespace = ::testing::AddGlobalTestEnvironment(new testns::PrivateNamespaceEnvironment);

// Connected pairs, a listener and bound UDP sockets on loopback, open for the whole test.
struct LocalSockets
{
    explicit LocalSockets(int connections)
    {
        listener = tcpListener("127.0.0.1", 0);
        for (int i = 0; i < connections; ++i) {
            sockets.push_back(tcpClient("127.0.0.1", listener.localPort()));
            sockets.push_back(acceptOne(listener));
        }
        sockets.push_back(udpSocket("127.0.0.1", 0));
        sockets.push_back(udpSocket("0.0.0.0", 0));
    }
    Socket listener;
    std::vector<Socket> sockets;
};

// Agents that see no other process: their first table read does not scan the descriptors
// of every process on the machine.
std::string started(testsnmp::SnmpdProcess& agent)
{
    testsnmp::SnmpdConfig config;
    config.ownProcessesOnly = true;
    return agent.start(config);
}

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

TEST(RemoteAgent, RowsComeBackAsTheModuleGivesThemForEveryVersion)
{
    LocalSockets local(3);
    testsnmp::SnmpdProcess snmpd;
    ASSERT_EQ(started(snmpd), "");
    MibAgent module;
    ASSERT_EQ(startNetworking(module), "");

    struct Case
    {
        std::string options;
        int maxRepetitions; // small batches cross column ends inside one response
    };
    const Case cases[] {
        { "-v1 -c public", 0 },
        { snmpd.v2cOptions(), 3 },
        { snmpd.v2cOptions(), 50 },
        // Quoted as a shell would take them. First of the v3 sessions: net-snmp keeps the
        // first keys it made for a user of an agent, so a misread passphrase fails here.
        { "-v3 -l authPriv -u veltran -a SHA -A 've'ltran-auth-pass -x AES -X \"veltran-priv\"\\-pass", 50 },
        { snmpd.v3Options(), 7 },
    };
    // Every session is open before the agent first reads its tables (it keeps them a
    // while), so that all the sessions' own sockets are in both views.
    std::vector<std::unique_ptr<RemoteMibAgent>> remotes;
    for (const Case& c : cases) {
        RemoteAgentSettings settings;
        settings.maxRepetitions = c.maxRepetitions;
        remotes.push_back(std::make_unique<RemoteMibAgent>(snmpd.peer(), c.options, settings));
        ASSERT_TRUE(remotes.back()->valid()) << remotes.back()->lastError();
        EXPECT_EQ(remotes.back()->sysName(), "veltran-agent-" + std::to_string(snmpd.port())) << c.options;
    }
    for (std::size_t i = 0; i < remotes.size(); ++i) {
        SCOPED_TRACE(cases[i].options + " / " + std::to_string(cases[i].maxRepetitions));
        RemoteMibAgent& remote = *remotes[i];
        const auto tcp = remote.walkTcpTable();
        ASSERT_TRUE(remote.lastWalkOk()) << remote.lastError();
        const auto udp = remote.walkUdpTable();
        ASSERT_TRUE(remote.lastWalkOk()) << remote.lastError();
        EXPECT_EQ(tcp.size(), 7u); // the listener and three connections, both ends
        EXPECT_TRUE(tcp == module.walkTcpTable());
        EXPECT_GE(udp.size(), 6u); // two of the test's, the agent's, the sessions'
        EXPECT_TRUE(udp == module.walkUdpTable());
    }
}

TEST(RemoteAgent, LaterTablesCarryIndexesAndProcessesOverIpv6)
{
    LocalSockets local(1);
    const Socket listener6 = tcpListener("::1", 0, Stack::V6Only);
    testsnmp::SnmpdProcess snmpd;
    ASSERT_EQ(snmpd.start(), ""); // sees this process, to name it
    RemoteMibAgent remote(snmpd.peer6(), snmpd.v2cOptions());
    const auto port = static_cast<std::uint32_t>(local.listener.localPort());
    const auto port6 = static_cast<std::uint32_t>(listener6.localPort());
    const auto self = static_cast<std::int64_t>(getpid());

    const auto listeners = remote.walkTcpListenerTable();
    ASSERT_TRUE(remote.lastWalkOk()) << remote.lastError();
    const std::vector<std::uint32_t> listenerIndex { 1, 4, 127, 0, 0, 1, port };
    const std::vector<std::uint32_t> listenerIndex6 { 2, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1,
        port6 };
    ASSERT_EQ(listeners.size(), 2u);
    EXPECT_EQ(listeners[0].index, listenerIndex);
    EXPECT_EQ(listeners[1].index, listenerIndex6);
    // The process column is there (Unsigned32); its value depends on snmpd's scan of every
    // process's descriptors, which processes ending meanwhile on a busy machine can cut short.
    constexpr std::uint8_t unsigned32 = 0x42;
    EXPECT_EQ(listeners[0].values[0].type, unsigned32);

    const auto connections = remote.walkTcpConnectionTable();
    ASSERT_TRUE(remote.lastWalkOk()) << remote.lastError();
    ASSERT_EQ(connections.size(), 2u);
    for (const MibRow& row : connections) {
        EXPECT_EQ(row.values[0].number, 5); // established
        EXPECT_EQ(row.values[1].type, unsigned32);
    }

    const auto processes = remote.walkProcessTable();
    ASSERT_TRUE(remote.lastWalkOk()) << remote.lastError();
    bool found = false;
    for (const MibRow& row : processes) {
        if (row.index == std::vector<std::uint32_t> { static_cast<std::uint32_t>(self) }) {
            found = true;
            EXPECT_EQ(row.values[0].octets, "remote_agent_te"); // the kernel's 15-character name
        }
    }
    EXPECT_TRUE(found);
}

TEST(RemoteAgent, RefusedOrSilentAgentsFailWithinTheTimeoutWithoutTellingSecrets)
{
    testsnmp::SnmpdProcess snmpd;
    ASSERT_EQ(started(snmpd), "");
    const std::string timing = " -t 0.4 -r 1";
    struct Case
    {
        std::string options;
        std::string reason;
    };
    const Case cases[] {
        { "-v2c -c wrong-community" + timing, "Timeout" }, // snmpd drops it without a word
        { "-v3 -l authPriv -u veltran -a SHA -A wrong-auth-pass -x AES -X veltran-priv-pass" + timing,
            "Authentication failure" },
        { "-v3 -l authPriv -u nobody -a SHA -A veltran-auth-pass -x AES -X veltran-priv-pass" + timing,
            "Unknown user name" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        RemoteMibAgent remote(snmpd.peer(), c.options);
        const auto start = Clock::now();
        const auto rows = remote.walkTcpTable();
        EXPECT_LT(secondsSince(start), 5.0); // no hang beyond the timeout (0.8 s)
        EXPECT_FALSE(remote.lastWalkOk());
        EXPECT_TRUE(rows.empty());
        const std::string& error = remote.lastError();
        EXPECT_NE(error.find(snmpd.peer()), std::string::npos) << error;
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
        for (const char* secret :
            { "wrong-community", "wrong-auth-pass", "veltran-auth-pass", "veltran-priv-pass" })
            EXPECT_EQ(error.find(secret), std::string::npos) << error;
    }

    // A user's keys made from a wrong passphrase are not kept for the next session.
    for (const std::string& options : { snmpd.v3Options(), cases[1].options, snmpd.v3Options() }) {
        RemoteMibAgent remote(snmpd.peer(), options);
        remote.walkUdpTable();
        EXPECT_EQ(remote.lastWalkOk(), options == snmpd.v3Options()) << options << ": " << remote.lastError();
    }

    RemoteMibAgent good(snmpd.peer(), snmpd.v2cOptions() + timing);
    good.walkUdpTable();
    EXPECT_TRUE(good.lastWalkOk()) << good.lastError();
    snmpd.kill();
    const auto rows = good.walkUdpTable();
    EXPECT_FALSE(good.lastWalkOk());
    EXPECT_TRUE(rows.empty());
    EXPECT_NE(good.lastError().find("Timeout"), std::string::npos) << good.lastError();

    RemoteMibAgent unreadable(snmpd.peer(), "-v2c -c 'unterminated");
    EXPECT_FALSE(unreadable.valid());
    unreadable.walkTcpTable();
    EXPECT_FALSE(unreadable.lastWalkOk());
    EXPECT_NE(unreadable.lastError().find("unterminated quote"), std::string::npos) << unreadable.lastError();
}

// Passes datagrams between a client and the agent, and stops the agent for good after
// it has answered a given number of requests.
class StoppingRelay
{
public:
    StoppingRelay(testsnmp::SnmpdProcess& agent, int answers)
        : m_agent(agent)
        , m_answersLeft(answers)
        , m_socket(udpSocket("127.0.0.1", 0))
        , m_thread([this] { run(); })
    {
    }
    ~StoppingRelay()
    {
        m_stop = true;
        m_thread.join();
    }
    std::string peer() const { return "udp:127.0.0.1:" + std::to_string(m_socket.localPort()); }
    bool agentStopped() const { return m_answersLeft.load() <= 0; }

private:
    void run()
    {
        sockaddr_in agent {};
        agent.sin_family = AF_INET;
        agent.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        agent.sin_port = htons(static_cast<std::uint16_t>(m_agent.port()));
        sockaddr_in client {};
        char packet[65536];
        while (!m_stop) {
            pollfd waiting { m_socket.fd(), POLLIN, 0 };
            if (poll(&waiting, 1, 20) != 1)
                continue;
            sockaddr_in from {};
            socklen_t length = sizeof from;
            const ssize_t n = recvfrom(
                m_socket.fd(), packet, sizeof packet, 0, reinterpret_cast<sockaddr*>(&from), &length);
            if (n <= 0)
                continue;
            if (from.sin_port != agent.sin_port) {
                client = from;
                sendto(m_socket.fd(), packet, static_cast<std::size_t>(n), 0,
                    reinterpret_cast<sockaddr*>(&agent), sizeof agent);
            } else if (m_answersLeft.load() > 0) {
                sendto(m_socket.fd(), packet, static_cast<std::size_t>(n), 0,
                    reinterpret_cast<sockaddr*>(&client), sizeof client);
                if (--m_answersLeft == 0)
                    m_agent.pause();
            }
        }
    }

    testsnmp::SnmpdProcess& m_agent;
    std::atomic<int> m_answersLeft;
    std::atomic<bool> m_stop { false };
    Socket m_socket;
    std::thread m_thread;
};

TEST(RemoteAgent, AnAgentThatStopsMidWalkFailsTheWalk)
{
    LocalSockets local(40);
    testsnmp::SnmpdProcess snmpd;
    ASSERT_EQ(started(snmpd), "");
    StoppingRelay relay(snmpd, 3);
    RemoteAgentSettings settings;
    settings.maxRepetitions = 10; // 81 rows of 5 columns: dozens of requests
    RemoteMibAgent remote(relay.peer(), snmpd.v2cOptions() + " -t 0.3 -r 1", settings);
    const auto rows = remote.walkColumns(mibtables::kTcpConnEntry, mibtables::kTcpConnColumns);
    EXPECT_TRUE(relay.agentStopped());
    EXPECT_FALSE(remote.lastWalkOk());
    EXPECT_EQ(rows.size(), 30u); // what came before the agent stopped, never to be shown as the table
    EXPECT_NE(remote.lastError().find("Timeout"), std::string::npos) << remote.lastError();
}

testproc::CommandRun runScan(const std::string& arguments)
{
    return testproc::runCommand(std::string(VELTRAN_SCAN_PATH) + " " + arguments);
}

TEST(RemoteAgent, VeltranScanReadsTwentyAgentsAtOnceAndNamesTheDeadOne)
{
    LocalSockets local(2);
    std::vector<std::unique_ptr<testsnmp::SnmpdProcess>> agents;
    std::string peers;
    for (int i = 0; i < 20; ++i) {
        agents.push_back(std::make_unique<testsnmp::SnmpdProcess>());
        ASSERT_EQ(started(*agents.back()), "");
        peers += " " + agents.back()->peer();
    }
    const std::string dead = agents[7]->peer();
    agents[7]->kill();

    const testproc::CommandRun run = runScan("--no-host-names --no-port-names -v2c -c public" + peers);
    EXPECT_EQ(run.status, 1);
    ASSERT_EQ(run.err.size(), 1u) << run.err[0] << "\n" << run.err[1];
    EXPECT_EQ(run.err[0], "SNMP agent " + dead + ": Timeout");
    ASSERT_FALSE(run.out.empty());
    EXPECT_EQ(run.out[0], "Host\tNo\tLocal IP\tLocal Port\tRemote Port\tRemote IP\tProtocol\tState");
    const std::string listening
        = "\t127.0.0.1\t" + std::to_string(local.listener.localPort()) + "\tnone\tnone\tTCP\tListening";
    for (int i = 0; i < 20; ++i) {
        const std::string host = agents[static_cast<std::size_t>(i)]->peer();
        int rows = 0;
        bool listenerShown = false;
        for (const std::string& line : run.out) {
            if (line.rfind(host + "\t", 0) != 0)
                continue;
            ++rows;
            listenerShown = listenerShown || line.find(listening) != std::string::npos;
        }
        SCOPED_TRACE(host);
        if (i == 7) {
            EXPECT_EQ(rows, 0);
        } else {
            EXPECT_GE(rows, 5 + 20); // TCP: listener and two connections, both ends; UDP: every agent's port
            EXPECT_TRUE(listenerShown);
        }
    }
}

TEST(RemoteAgent, VeltranScanOfAnAgentGivesItsIpv6RowsAndTheProcessColumn)
{
    const Socket listener6 = tcpListener("::1", 0, Stack::V6Only);
    testsnmp::SnmpdProcess snmpd;
    ASSERT_EQ(snmpd.start(), ""); // sees this process, to name it
    const std::string port6 = std::to_string(listener6.localPort());

    const testproc::CommandRun run = runScan("--processes --no-host-names --no-port-names -v2c -c public " + snmpd.peer());
    EXPECT_EQ(run.status, 0) << (run.err.empty() ? "" : run.err[0]);
    ASSERT_FALSE(run.out.empty());
    EXPECT_EQ(run.out[0], "No\tLocal IP\tLocal Port\tRemote Port\tRemote IP\tProtocol\tState\tProcess");
    bool shown = false;
    for (const std::string& line : run.out)
        shown = shown || line.find("\t::1\t" + port6 + "\tnone\tnone\tTCP\tListening\t") != std::string::npos;
    std::string printed;
    for (const std::string& line : run.out)
        printed += line + "\n";
    // The owner is what snmpd serves: its search of every process's descriptors may miss one.
    EXPECT_TRUE(shown) << "the IPv6 listener of this process, with a Process cell:\n" << printed;
}

} // namespace
