// The fleet's poller against real snmpd agents in a private network namespace: agents that
// answer, one that stopped (a hung host) and a dead v3 agent whose engine is never found.

#include "scan/fleet_poller.h"
#include "tests/common/loopback_sockets.h"
#include "tests/common/netns.h"
#include "tests/common/snmpd.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>

namespace {

const auto* const g_namespace = ::testing::AddGlobalTestEnvironment(new testns::PrivateNamespaceEnvironment);

std::vector<std::string> words(const std::string& text)
{
    std::vector<std::string> split;
    EXPECT_TRUE(splitShellWords(text, split));
    return split;
}

bool hasAddress(const std::vector<HostAddress>& addresses, int type, const char* text)
{
    HostAddress wanted;
    wanted.type = type;
    inet_pton(type == 1 ? AF_INET : AF_INET6, text, wanted.address.data());
    return std::ranges::find(addresses, wanted) != addresses.end();
}

TEST(FleetPoller, DeadAndHungAgentsHoldOnlyTheirOwnRows)
{
    const loopback::Socket listener = loopback::tcpListener("127.0.0.1", 0);
    std::vector<std::unique_ptr<testsnmp::SnmpdProcess>> agents;
    for (int i = 0; i < 4; ++i) {
        agents.push_back(std::make_unique<testsnmp::SnmpdProcess>());
        ASSERT_EQ(agents.back()->start(), "");
    }
    enum
    {
        kV2c,
        kV3,
        kDeadV3,
        kHung
    };
    std::vector<FleetPoller::Agent> watched;
    for (int i = 0; i < 4; ++i) {
        const auto& agent = *agents[static_cast<std::size_t>(i)];
        watched.push_back({ agent.peer(),
            words((i == kV3 || i == kDeadV3 ? agent.v3Options() : agent.v2cOptions())
                + (i == kDeadV3 || i == kHung ? " -t 1.2 -r 1" : " -t 0.7 -r 1")),
            {} });
    }
    // Options that could not be read: every poll fails at once with the reason, asking nobody.
    watched.push_back(
        { "udp:127.0.0.1:9", {}, "invalid SNMP options for udp:127.0.0.1:9: unterminated quote" });
    agents[kDeadV3]->kill();
    agents[kHung]->pause();

    AgentPollRequest request;
    request.tcp = request.udp = false;
    request.endpoints = request.addresses = true;
    RemoteAgentSettings settings;
    settings.timeoutMs = 700;
    settings.retries = 1;
    FleetPoller poller(std::move(watched), request, std::chrono::milliseconds(200), settings);

    const auto begin = FleetPoller::Clock::now();
    std::vector<AgentPollResult> last(5);
    std::vector<int> polls(5, 0);
    int answersBeforeTheDead = 0;
    bool hungSeenSlow = false;
    poller.run(
        begin + std::chrono::milliseconds(3500), [&](std::size_t agent, const AgentPollResult& result) {
            last[agent] = result;
            ++polls[agent];
            if (agent != kDeadV3 && polls[kDeadV3] == 0 && result.ok)
                ++answersBeforeTheDead;
            hungSeenSlow
                = hungSeenSlow || poller.status(kHung, FleetPoller::Clock::now()).state == AgentState::Slow;
        });

    // The dead agent's two timeouts (2.4 s) pass while the others answer again and again.
    EXPECT_EQ(polls[kDeadV3], 1);
    EXPECT_GE(answersBeforeTheDead, 4);
    EXPECT_GE(polls[kV2c], 5);
    EXPECT_GE(polls[kV3], 5);
    EXPECT_TRUE(hungSeenSlow);
    EXPECT_GE(polls[4], 5);
    EXPECT_EQ(last[4].error, "invalid SNMP options for udp:127.0.0.1:9: unterminated quote");
    const auto now = FleetPoller::Clock::now();
    for (const auto agent : { kV2c, kV3 }) {
        SCOPED_TRACE(agent);
        ASSERT_TRUE(last[agent].ok) << last[agent].error;
        EXPECT_EQ(poller.status(agent, now).state, AgentState::Answering);
        EXPECT_EQ(last[agent].sysName, "veltran-agent-" + std::to_string(agents[agent]->port()));
        EXPECT_TRUE(hasAddress(last[agent].addresses, 1, "127.0.0.1"));
        EXPECT_TRUE(hasAddress(last[agent].addresses, 2, "::1"));
        const auto isListener = [&](const InetEndpointRecord& record) {
            return record.localPort == listener.localPort() && record.stateValue == 2;
        };
        EXPECT_EQ(std::ranges::count_if(last[agent].listeners, isListener), 1);
        // The agent sees this process, so the owners' table came along with the endpoints.
        EXPECT_FALSE(last[agent].processes.empty());
    }
    for (const auto agent : { kDeadV3, kHung }) {
        SCOPED_TRACE(agent);
        EXPECT_FALSE(last[agent].ok);
        EXPECT_TRUE(last[agent].addresses.empty() && last[agent].listeners.empty());
        const AgentStatus status = poller.status(agent, now);
        EXPECT_EQ(status.state, AgentState::Stale);
        EXPECT_GT(status.since, begin + std::chrono::milliseconds(1000));
        EXPECT_NE(status.error.find("Timeout"), std::string::npos) << status.error;
        EXPECT_NE(status.error.find(agents[agent]->peer()), std::string::npos) << status.error;
    }
}

} // namespace
