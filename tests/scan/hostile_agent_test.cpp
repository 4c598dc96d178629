// The remote agent against agents that do not play fair: hand-made BER from a thread of
// the test, on loopback in the test's private network namespace.
#include "scan/agent_poller.h"
#include "scan/remote_mib_agent.h"
#include "tests/common/fake_snmp_agent.h"
#include "tests/common/process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

using fakesnmp::Oid;

const Oid kTcpEntry { 1, 3, 6, 1, 2, 1, 6, 13, 1 };
const Oid kSysName { 1, 3, 6, 1, 2, 1, 1, 5, 0 };

Oid cell(std::uint32_t column, const Oid& index)
{
    Oid name = kTcpEntry;
    name.push_back(column);
    name.insert(name.end(), index.begin(), index.end());
    return name;
}

// A tcpConnTable row: 10.0.0.n:port to 10.0.0.9:80, established.
struct Row
{
    std::uint8_t host;
    std::string values[5];
    Oid index() const { return { 10, 0, 0, host, 2000, 10, 0, 0, 9, 80 }; }
};

Row goodRow(std::uint8_t host)
{
    return { host,
        { fakesnmp::integer(5), fakesnmp::octets(std::string("\x0a\x00\x00", 3) + char(host), 0x40),
            fakesnmp::integer(2000), fakesnmp::octets(std::string("\x0a\x00\x00\x09", 4), 0x40),
            fakesnmp::integer(80) } };
}

fakesnmp::Next tableOf(const std::vector<Row>& rows)
{
    std::map<Oid, std::string> view { { kSysName, fakesnmp::octets("hostile") } };
    for (const Row& row : rows) {
        for (std::uint32_t column = 1; column <= 5; ++column)
            view[cell(column, row.index())] = row.values[column - 1];
    }
    return fakesnmp::table(std::move(view));
}

const std::string kV2c = "-v2c -c public -t 2 -r 0";

// An agent that never answers is asked 1 + retries times by each way of reading one,
// when the options name no -r of their own.
TEST(HostileAgent, ASilentAgentIsAskedAsOftenAsTheSettingsRetriesSay)
{
    fakesnmp::Agent silent([](const fakesnmp::Request&) { return std::string(); });
    RemoteAgentSettings settings;
    settings.timeoutMs = 200;
    for (const int retries : { 0, 1, 3 }) {
        settings.retries = retries;
        int before = silent.requests();
        RemoteMibAgent remote(silent.peer(), "-v2c -c public", settings);
        EXPECT_EQ(remote.sysName(), "");
        EXPECT_EQ(silent.requests() - before, 1 + retries) << "a get, retries " << retries;
        before = silent.requests();
        const auto results = pollAgents({ silent.peer() }, { "-v2c", "-c", "public" }, {}, settings);
        ASSERT_EQ(results.size(), 1u);
        EXPECT_FALSE(results[0].ok);
        EXPECT_EQ(silent.requests() - before, 1 + retries) << "a poll, retries " << retries;
    }
    // The options' own -r wins.
    const int before = silent.requests();
    RemoteMibAgent remote(silent.peer(), "-v2c -c public -r 0", settings);
    EXPECT_EQ(remote.sysName(), "");
    EXPECT_EQ(silent.requests() - before, 1);
}

TEST(HostileAgent, AnEndlessTableEndsUnderEachCapAndSaysWhich)
{
    struct Case
    {
        RemoteAgentSettings settings;
        std::string told;
        std::chrono::milliseconds pause {}; // before each answer
    };
    std::vector<Case> cases(3);
    cases[0].settings.maxRowsPerTable = 3000;
    cases[0].told = "tcpConnTable: stopped after 3000 rows";
    cases[1].settings.maxScanBytes = 1024 * 1024;
    cases[1].told = "tcpConnTable: stopped at 1 MB of rows";
    cases[2].settings.maxScanSeconds = 1; // on loopback the memory cap would come first
    cases[2].told = "tcpConnTable: stopped after 1 s";
    cases[2].pause = std::chrono::milliseconds(5);
    for (const Case& c : cases) {
        fakesnmp::Agent agent([&c](const fakesnmp::Request& request) {
            std::this_thread::sleep_for(c.pause);
            return fakesnmp::response(request, fakesnmp::endlessTcpTable);
        });
        RemoteMibAgent remote(agent.peer(), kV2c, c.settings);
        remote.beginScan();
        const auto started = std::chrono::steady_clock::now();
        const auto rows = remote.walkColumns(kTcpEntry, { 1, 2, 3, 4, 5 });
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20)) << c.told;
        EXPECT_FALSE(remote.lastWalkOk()) << c.told;
        EXPECT_GT(rows.size(), 0u) << c.told; // what it read stays with the walk
        EXPECT_NE(remote.lastError().find("SNMP agent " + agent.peer() + ": " + c.told), std::string::npos)
            << remote.lastError();
    }
    // veltran-scan's poller: the same cap, the agent named, and not taken for a success.
    fakesnmp::Agent agent(fakesnmp::endlessTcpTable);
    const auto results = pollAgents({ agent.peer() }, { "-v2c", "-c", "public" }, {}, cases[0].settings);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_FALSE(results[0].ok);
    EXPECT_TRUE(results[0].capped);
    EXPECT_NE(results[0].error.find(cases[0].told), std::string::npos) << results[0].error;
}

// Each value a hostile agent sent; the row is refused, the good one beside it kept.
TEST(HostileAgent, ValuesOfTheWrongTypeOrRangeAreRefusedAndCounted)
{
    struct Case
    {
        int column;
        std::string value;
        std::string told;
    };
    const std::vector<Case> cases {
        { 3, fakesnmp::counter64((std::uint64_t(1) << 40) + 5), "port is a Counter64, not an INTEGER" },
        { 3, fakesnmp::integer(70000), "port 70000 out of range" },
        { 5, fakesnmp::integer(-5), "port -5 out of range" },
        { 5, fakesnmp::integer(-2147483648LL), "port -2147483648 out of range" },
        { 1, fakesnmp::octets("x"), "state is an OCTET STRING, not an INTEGER" },
        { 1, fakesnmp::integer(13), "state 13 out of range" },
        { 2, fakesnmp::octets(std::string("\x0a\x00\x00", 3)), "local address of 3 bytes, not 4" },
        { 4, fakesnmp::octets(std::string(17, '\x01'), 0x04), "remote address of 17 bytes, not 4" },
        { 2, fakesnmp::octets(std::string("\x0a\x00\x00\x63", 4), 0x40), "index does not match its columns" },
    };
    for (const Case& c : cases) {
        Row bad = goodRow(2);
        bad.values[c.column - 1] = c.value;
        fakesnmp::Agent agent(tableOf({ goodRow(1), bad, goodRow(3) }));
        RemoteMibAgent remote(agent.peer(), kV2c);
        remote.beginScan();
        const std::vector<MibEndpoint> records = remote.walkTcpTable();
        EXPECT_TRUE(remote.lastWalkOk()) << remote.lastError();
        ASSERT_EQ(records.size(), 2u) << c.told;
        EXPECT_EQ(records[1].localAddress, 0x0300000au);
        EXPECT_EQ(remote.scanNotice(), agent.peer() + ": 1 row refused: " + c.told);
    }

    // veltran-scan prints the rows it kept, tells the refused one once, and does not claim a clean read.
    Row bad = goodRow(2);
    bad.values[2] = fakesnmp::integer(70000);
    Row worse = goodRow(4);
    worse.values[0] = fakesnmp::integer(0);
    fakesnmp::Agent agent(tableOf({ goodRow(1), bad, goodRow(3), worse }));
    const testproc::CommandRun run = testproc::runCommand(std::string(VELTRAN_SCAN_PATH)
        + " --no-host-names --no-port-names --no-udp -v2c -c public " + agent.peer());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out.size(), 3u); // the header and two rows
    EXPECT_EQ(
        run.err, std::vector<std::string> { agent.peer() + ": 2 rows refused: port 70000 out of range" });
}

// Replies net-snmp cannot parse are told with the parser's reason, at once.
TEST(HostileAgent, MalformedRepliesAreToldWithTheirReason)
{
    struct Case
    {
        std::string name;
        std::function<std::string(const fakesnmp::Request&)> reply;
        std::string told;
    };
    const auto answer = [](const fakesnmp::Request& request, const std::string& value) {
        return fakesnmp::responseMessage(request.id, { { cell(1, goodRow(1).index()), value } });
    };
    const std::vector<Case> cases {
        { "truncated",
            [&](const fakesnmp::Request& request) {
                const std::string whole = answer(request, fakesnmp::integer(5));
                return whole.substr(0, whole.size() - 3);
            },
            "the agent's reply could not be read" },
        { "2 GB length",
            [&](const fakesnmp::Request& request) {
                std::string whole = answer(request, fakesnmp::integer(5));
                return whole.substr(0, whole.size() - 3) + std::string("\x04\x84\x7f\xff\xff\xff", 6);
            },
            "the agent's reply could not be read" },
        { "3-byte IpAddress",
            [&](const fakesnmp::Request& request) {
                return answer(request, fakesnmp::octets(std::string("\x0a\x00\x00", 3), 0x40));
            },
            "the agent's reply could not be read" },
        { "wrong request id",
            [&](const fakesnmp::Request& request) {
                fakesnmp::Request other = request;
                other.id += 1;
                return answer(other, fakesnmp::integer(5));
            },
            "Timeout (a reply came that answered none of our requests)" },
    };
    for (const Case& c : cases) {
        fakesnmp::Agent agent(c.reply);
        RemoteMibAgent remote(agent.peer(), "-v2c -c public -t 1 -r 0");
        remote.walkTcpTable();
        EXPECT_FALSE(remote.lastWalkOk()) << c.name;
        EXPECT_NE(remote.lastError().find(c.told), std::string::npos) << c.name << ": " << remote.lastError();
    }
}

} // namespace

namespace {

// A reply from another port than the one asked is taken or dropped exactly as net-snmp's
// own snmpget takes or drops it (docs/remote-agents.md).
TEST(HostileAgent, AReplyFromAnotherPortIsTreatedAsSnmpgetTreatsIt)
{
    fakesnmp::Agent agent(fakesnmp::table({ { kSysName, fakesnmp::octets("elsewhere") } }));
    agent.answerFromOtherPort(true);
    const testproc::CommandRun snmpget = testproc::runCommand(
        "snmpget -v2c -c public -t 1 -r 0 -Oqv " + agent.peer() + " 1.3.6.1.2.1.1.5.0");
    RemoteMibAgent remote(agent.peer(), "-v2c -c public -t 1 -r 0");
    const std::string name = remote.sysName();
    // net-snmp 5.9 matches a reply to its request by the request id alone: both take it.
    EXPECT_EQ(snmpget.status, 0);
    EXPECT_EQ(snmpget.out, std::vector<std::string> { "\"elsewhere\"" });
    EXPECT_TRUE(remote.lastWalkOk()) << remote.lastError();
    EXPECT_EQ(name, "elsewhere");
}

} // namespace
