#include "scan/mib_agent.h"
#include "scan/tcp_states.h"
#include "tests/scan/fakes/fake_agent_tables.h"
#include "tests/common/scripted_name_services.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <string>

namespace {

class MibAgentTest : public ::testing::Test
{
protected:
    void load() { ASSERT_TRUE(loadScriptedAgent(agent, script)); }

    FakeAgentScript script;
    MibAgent agent;
};

TEST_F(MibAgentTest, StartUpFailuresGiveTheirOneMessage)
{
    struct Case
    {
        const char* module;
        BOOL initResult;
        std::string message;
        int initCalls;
    };
    const Case cases[] {
        { "/nonexistent/libinetmib1.so", TRUE, "Could not load extension DLL !", 0 },
        { initOnlyAgentPath(), TRUE, "Could not load extension DLL !", 0 }, // no SnmpExtensionQuery
        { scriptedAgentPath(), FALSE, "Could not initialize extension DLL !", 1 },
        { scriptedAgentPath(), TRUE, "", 1 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.module);
        FakeAgentScript startUp;
        startUp.initResult = c.initResult;
        ASSERT_TRUE(setScriptedAgentScript(startUp));
        MibAgent fresh;
        EXPECT_EQ(startNetworking(fresh, c.module), c.message);
        EXPECT_EQ(startUp.initCalls, c.initCalls);
    }
}

TEST_F(MibAgentTest, WalksFillRecordsColumnByColumnFromTheStartIdentifiers)
{
    const std::uint32_t local = ipv4(192, 168, 1, 20);
    const std::uint32_t remote = ipv4(10, 1, 2, 3);
    script.objects
        = mibObjects({ { 2, 0, 22, 0, 0 }, { 5, local, 51000, remote, 443 } }, { { 0, 53 }, { local, 68 } });
    load();

    const auto tcp = agent.walkTcpTable();
    EXPECT_FALSE(agent.lastWalkFailed());
    ASSERT_EQ(script.askedNames.front(), (std::vector<UINT> { 1, 3, 6, 1, 2, 1, 6, 13, 1, 1 }));
    ASSERT_EQ(tcp.size(), 2u);
    EXPECT_EQ(tcp[0].stateValue, 2);
    EXPECT_EQ(tcp[0].localPortNumber, 22);
    EXPECT_EQ(tcp[1].stateValue, 5);
    EXPECT_EQ(tcp[1].localAddress, local);
    EXPECT_EQ(tcp[1].localPortNumber, 51000);
    EXPECT_EQ(tcp[1].remoteAddress, remote);
    EXPECT_EQ(tcp[1].remotePortNumber, 443);
    EXPECT_EQ(script.askedNames.size(), 11u); // ten values, then tcpInErrs.0 ends it

    script.askedNames.clear();
    const auto udp = agent.walkUdpTable();
    ASSERT_EQ(script.askedNames.front(), (std::vector<UINT> { 1, 3, 6, 1, 2, 1, 7, 5, 1, 1 }));
    ASSERT_EQ(udp.size(), 2u);
    EXPECT_EQ(udp[0].localAddress, 0u); // bound to all interfaces
    EXPECT_EQ(udp[0].localPortNumber, 53);
    EXPECT_EQ(udp[1].localAddress, local);
    EXPECT_EQ(udp[1].localPortNumber, 68);
}

TEST_F(MibAgentTest, EmptyTablesGiveEmptyLists)
{
    script.objects = mibObjects({}, {});
    load();
    EXPECT_TRUE(agent.walkTcpTable().empty());
    EXPECT_EQ(script.askedNames.size(), 1u);
    EXPECT_TRUE(agent.walkUdpTable().empty());
}

TEST_F(MibAgentTest, TableGrowingBetweenColumnPassesKeepsExtraValuesOut)
{
    // Column 1 saw two rows; by column 2 a third row had appeared.
    script.mode = FakeAgentScript::Mode::Sequence;
    script.objects = {
        integerObject(tcpName(1, 1), 5),
        integerObject(tcpName(1, 2), 2),
        addressObject(tcpName(2, 1), { 10, 0, 0, 1 }),
        addressObject(tcpName(2, 2), { 10, 0, 0, 2 }),
        addressObject(tcpName(2, 3), { 10, 0, 0, 3 }),
        integerObject(tcpName(3, 1), 80),
        integerObject(tcpName(3, 2), 81),
        integerObject(tcpName(3, 3), 82),
        integerObject(tcpName(3, 4), 83),
        integerObject({ 1, 3, 6, 1, 2, 1, 6, 14, 0 }, 0),
    };
    load();
    const auto tcp = agent.walkTcpTable();
    ASSERT_EQ(tcp.size(), 2u);
    EXPECT_EQ(tcp[0].localAddress, ipv4(10, 0, 0, 1));
    EXPECT_EQ(tcp[1].localAddress, ipv4(10, 0, 0, 2));
    EXPECT_EQ(tcp[0].localPortNumber, 80);
    EXPECT_EQ(tcp[1].localPortNumber, 81);
    EXPECT_EQ(script.askedNames.size(), script.objects.size()); // tcpInErrs.0 ends it
}

TEST_F(MibAgentTest, ShortAddressValuesAreReadOnlyAsFarAsTheyGo)
{
    script.mode = FakeAgentScript::Mode::Sequence;
    script.objects = {
        addressObject(udpName(1, 1), {}),
        addressObject(udpName(1, 2), { 10 }),
        addressObject(udpName(1, 3), { 10, 20, 30 }),
        addressObject(udpName(1, 4), { 10, 20, 30, 40, 50, 60 }),
        integerObject({ 1, 3, 6, 1, 2, 1, 8, 1, 0 }, 0),
    };
    load();
    const auto udp = agent.walkUdpTable();
    ASSERT_EQ(udp.size(), 4u);
    EXPECT_EQ(udp[0].localAddress, 0u);
    EXPECT_EQ(udp[1].localAddress, ipv4(10, 0, 0, 0));
    EXPECT_EQ(udp[2].localAddress, ipv4(10, 20, 30, 0));
    EXPECT_EQ(udp[3].localAddress, ipv4(10, 20, 30, 40));
}

TEST_F(MibAgentTest, WalkEndsWhenARepliesStopAdvancingOrTheQueryFails)
{
    FakeObject failed = integerObject(tcpName(1, 9), 5);
    failed.failQuery = true;
    struct Case
    {
        const char* what;
        std::vector<FakeObject> replies;
        std::size_t records;
    };
    const Case cases[] {
        { "same name again",
            { integerObject(tcpName(1, 1), 5), integerObject(tcpName(1, 1), 5),
                integerObject(tcpName(1, 2), 5) },
            1 },
        { "name going back", { integerObject(tcpName(1, 2), 5), integerObject(tcpName(1, 1), 5) }, 1 },
        { "query failing", { integerObject(tcpName(1, 1), 5), failed, integerObject(tcpName(1, 3), 5) }, 1 },
        { "agent out of replies", { integerObject(tcpName(1, 1), 5), integerObject(tcpName(1, 2), 5) }, 2 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeAgentScript sequence;
        sequence.mode = FakeAgentScript::Mode::Sequence;
        sequence.objects = c.replies;
        MibAgent scratch;
        ASSERT_TRUE(loadScriptedAgent(scratch, sequence));
        EXPECT_EQ(scratch.walkTcpTable().size(), c.records);
        EXPECT_TRUE(scratch.lastWalkFailed());
        EXPECT_LE(sequence.askedNames.size(), c.replies.size() + 1);
    }
    // The documented end of a view (noSuchName, name past the view) also ends a walk.
    script.objects = { integerObject(tcpName(1, 1), 5) };
    load();
    EXPECT_EQ(agent.walkTcpTable().size(), 1u);
    EXPECT_FALSE(agent.lastWalkFailed());
    EXPECT_EQ(script.askedNames.size(), 2u);
}

FakeObject typedObject(std::vector<UINT> name, BYTE type)
{
    FakeObject object = integerObject(std::move(name), 0x0badf00d);
    object.type = type;
    object.counter64 = 0x00007fff0badf00dULL;
    object.oid = { 1, 3, 6, 1 };
    object.octets = { 10, 0, 0, 9 };
    return object;
}

TEST_F(MibAgentTest, ARepliesTypeMustFitItsColumnOrTheWalkFails)
{
    struct Case
    {
        bool tcp;
        UINT column; // of row 1; column 1 of rows 1 and 2 comes first when it is later
        BYTE type;
        bool fits;
    };
    const Case cases[] {
        { true, 2, ASN_INTEGER, false }, // the number would be read as a pointer
        { true, 4, ASN_COUNTER64, false },
        { false, 1, ASN_OBJECTIDENTIFIER, false },
        { false, 1, ASN_NULL, false },
        { true, 1, ASN_OCTETSTRING, false },
        { true, 3, ASN_COUNTER64, false },
        { false, 2, ASN_IPADDRESS, false },
        { true, 2, ASN_OCTETSTRING, true },
        { true, 3, ASN_GAUGE32, true },
        { false, 2, ASN_UNSIGNED32, true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
            << (c.tcp ? "tcp" : "udp") << " column " << c.column << " type 0x" << std::hex << int(c.type));
        const auto name = c.tcp ? tcpName : udpName;
        FakeAgentScript sequence;
        sequence.mode = FakeAgentScript::Mode::Sequence;
        if (c.column > 1) {
            sequence.objects.push_back(
                c.tcp ? integerObject(name(1, 1), 5) : addressObject(name(1, 1), { 1, 2, 3, 4 }));
            sequence.objects.push_back(
                c.tcp ? integerObject(name(1, 2), 5) : addressObject(name(1, 2), { 1, 2, 3, 4 }));
        }
        sequence.objects.push_back(typedObject(name(c.column, 1), c.type));
        sequence.objects.push_back(typedObject(name(c.column, 2), c.type)); // never asked for after a misfit
        sequence.objects.push_back(integerObject({ 1, 3, 6, 1, 2, 1, c.tcp ? 6u : 8u, 14, 0 }, 0));
        MibAgent scratch;
        ASSERT_TRUE(loadScriptedAgent(scratch, sequence));
        const auto records = c.tcp ? scratch.walkTcpTable() : scratch.walkUdpTable();
        EXPECT_EQ(scratch.lastWalkFailed(), !c.fits);
        EXPECT_EQ(sequence.askedNames.size(), c.fits ? sequence.objects.size() : sequence.objects.size() - 2);
        EXPECT_EQ(records.size(), c.column > 1 ? 2u : std::size_t(c.fits));
    }
}

TEST_F(MibAgentTest, AWalkThatNeverEndsStopsAsFailed)
{
    // Column 1 for ever would fill the memory; an ignored column for ever, the time.
    for (const UINT column : { 1u, 6u }) {
        SCOPED_TRACE(column);
        FakeAgentScript endless;
        endless.mode = FakeAgentScript::Mode::Endless;
        endless.objects = { integerObject({ 1, 3, 6, 1, 2, 1, 6, 13, 1, column }, 5) };
        MibAgent scratch;
        ASSERT_TRUE(loadScriptedAgent(scratch, endless));
        // Without a bound the walk never returns: fail rather than hang the run.
        auto walk = std::async(std::launch::async, [&] { return scratch.walkTcpTable().size(); });
        if (walk.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
            ADD_FAILURE() << "the walk did not end within 60 s";
            std::fflush(nullptr);
            std::_Exit(1);
        }
        const std::size_t records = walk.get();
        EXPECT_TRUE(scratch.lastWalkFailed());
        EXPECT_LE(endless.queries, 6'000'000);
        EXPECT_EQ(records, column == 1 ? 1'000'000u : 0u);
    }
}

TEST_F(MibAgentTest, ColumnsOutsideTheTableAreIgnored)
{
    script.mode = FakeAgentScript::Mode::Sequence;
    script.objects = {
        integerObject(tcpName(1, 1), 5),
        integerObject(tcpName(6, 1), 99),
        integerObject(tcpName(7, 1), 98),
        integerObject({ 1, 3, 6, 1, 2, 1, 6, 14, 0 }, 0),
    };
    load();
    const auto tcp = agent.walkTcpTable();
    ASSERT_EQ(tcp.size(), 1u);
    EXPECT_EQ(tcp[0].stateValue, 5);
    EXPECT_EQ(tcp[0].localPortNumber, 0);
    EXPECT_EQ(tcp[0].remotePortNumber, 0);
}

TEST_F(MibAgentTest, TheNextTableOfTheViewEndsTheWalkAsItsEnd)
{
    // A later table follows udpTable in the agent's view, with an INTEGER where udpTable's
    // first column holds an address.
    script.objects = mibObjects({}, { { 0, 53 } });
    script.objects.push_back(integerObject({ 1, 3, 6, 1, 2, 1, 7, 7, 1, 1, 4242 }, 4242));
    std::sort(script.objects.begin(), script.objects.end(),
        [](const FakeObject& a, const FakeObject& b) { return a.name < b.name; });
    load();
    const auto udp = agent.walkUdpTable();
    ASSERT_EQ(udp.size(), 1u);
    EXPECT_EQ(udp[0].localPortNumber, 53);
    EXPECT_FALSE(agent.lastWalkFailed());
}

TEST_F(MibAgentTest, RepeatedWalksOfAFullTable)
{
    // Run under LeakSanitizer in the sanitizer build: every reply's name and value is freed.
    std::vector<TcpRow> rows;
    for (int i = 0; i < 250; ++i)
        rows.push_back({ 5, ipv4(10, 0, 0, 1), 1000 + i, ipv4(10, 0, 1, static_cast<std::uint8_t>(i)), 80 });
    script.objects = mibObjects(rows, { { 0, 53 } });
    load();
    for (int round = 0; round < 20; ++round) {
        ASSERT_EQ(agent.walkTcpTable().size(), 250u);
        ASSERT_EQ(agent.walkUdpTable().size(), 1u);
    }
}

TEST(TcpStateNames, TextsOfEveryStateValue)
{
    const std::pair<int, const char*> cases[] {
        { 0, "none" },
        { 1, "Closed" },
        { 2, "Listening" },
        { 5, "Established" },
        { 9, "Last_ack" },
        { 10, "Closing" },
        { 11, "Time_wait" },
        { 12, "Unknown" },
        { 13, "Unknown" },
        { -1, "Unknown" },
        { 0x7fffffff, "Unknown" },
    };
    for (const auto& [state, text] : cases)
        EXPECT_STREQ(tcpStateText(state), text) << state;
}

} // namespace
