#include "platform/inetmib1/kernel_counters.h"
#include "platform/inetmib1/mib_rows.h"
#include "platform/inetmib1/sw_run_reader.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

namespace {

std::uint32_t ip(const char* text)
{
    in_addr address {};
    inet_pton(AF_INET, text, &address);
    return address.s_addr;
}

TEST(MibRows, LinuxTcpStatesMapToRfc1213)
{
    const std::pair<int, MibTcpState> cases[] = {
        { 1, MibTcpState::Established },
        { 2, MibTcpState::SynSent },
        { 3, MibTcpState::SynReceived },
        { 4, MibTcpState::FinWait1 },
        { 5, MibTcpState::FinWait2 },
        { 6, MibTcpState::TimeWait },
        { 7, MibTcpState::Closed },
        { 8, MibTcpState::CloseWait },
        { 9, MibTcpState::LastAck },
        { 10, MibTcpState::Listen },
        { 11, MibTcpState::Closing },
        { 12, MibTcpState::SynReceived },
        { 13, MibTcpState::Closed },
        { 0, MibTcpState::Closed },
        { 14, MibTcpState::Closed },
        { 255, MibTcpState::Closed },
        { -1, MibTcpState::Closed },
    };
    for (const auto& [linuxState, mib] : cases)
        EXPECT_EQ(mibTcpState(linuxState), mib) << linuxState;
}

TEST(MibRows, TcpRowsSortByIndexNumbersNotBytesInMemory)
{
    std::vector<TcpConnRow> rows = {
        { ip("10.0.0.2"), ip("1.2.3.4"), 80, 1000, 5 },
        { ip("9.255.255.255"), ip("0.0.0.0"), 443, 0, 2 },
        { ip("10.0.0.2"), ip("1.2.3.4"), 8080, 999, 5 },
        { ip("10.0.0.2"), ip("1.2.3.4"), 80, 999, 5 },
        { ip("10.0.0.2"), ip("0.0.0.0"), 80, 0, 2 },
        { ip("192.168.1.1"), ip("0.0.0.0"), 22, 0, 2 },
        { ip("10.0.0.2"), ip("255.0.0.1"), 80, 1, 5 },
    };
    sortByIndex(rows);
    std::vector<std::array<UINT, tcpIndexLength>> indexes;
    for (const TcpConnRow& row : rows) {
        indexes.emplace_back();
        encodeIndex(row, indexes.back().data());
    }
    const std::vector<std::array<UINT, tcpIndexLength>> expected = {
        { 9, 255, 255, 255, 443, 0, 0, 0, 0, 0 },
        { 10, 0, 0, 2, 80, 0, 0, 0, 0, 0 },
        { 10, 0, 0, 2, 80, 1, 2, 3, 4, 999 },
        { 10, 0, 0, 2, 80, 1, 2, 3, 4, 1000 },
        { 10, 0, 0, 2, 80, 255, 0, 0, 1, 1 },
        { 10, 0, 0, 2, 8080, 1, 2, 3, 4, 999 },
        { 192, 168, 1, 1, 22, 0, 0, 0, 0, 0 },
    };
    EXPECT_EQ(indexes, expected);
}

TEST(MibRows, RepeatedIndexesAppearOnceKeepingTheLiveliestState)
{
    const auto established = static_cast<std::int32_t>(MibTcpState::Established);
    const auto timeWait = static_cast<std::int32_t>(MibTcpState::TimeWait);
    const auto listen = static_cast<std::int32_t>(MibTcpState::Listen);
    const auto closed = static_cast<std::int32_t>(MibTcpState::Closed);
    std::vector<TcpConnRow> rows = {
        { ip("127.0.0.1"), ip("127.0.0.1"), 5000, 6000, timeWait },
        { ip("0.0.0.0"), 0, 80, 0, listen },
        { ip("127.0.0.1"), ip("127.0.0.1"), 5000, 6000, established },
        { ip("0.0.0.0"), 0, 80, 0, closed },
        { ip("0.0.0.0"), 0, 80, 0, listen },
    };
    sortByIndex(rows);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].state, listen);
    EXPECT_EQ(rows[1].state, established);

    std::vector<UdpRow> udp = { { ip("127.0.0.1"), 53 }, { 0, 5353 }, { ip("127.0.0.1"), 53 }, { 0, 53 } };
    sortByIndex(udp);
    ASSERT_EQ(udp.size(), 3u);
    EXPECT_EQ(udp[0].localPort, 53);
    EXPECT_EQ(udp[0].localAddress, 0u);
    EXPECT_EQ(udp[1].localPort, 5353);
    EXPECT_EQ(udp[2].localAddress, ip("127.0.0.1"));
}

TEST(KernelCounters, ReadTheTcpAndUdpGroupsOfSnmpAndSnmp6)
{
    const std::string text = "Ip: Forwarding DefaultTTL InErrs\n"
                             "Ip: 1 64 77\n"
                             "Tcp: RtoAlgorithm RtoMin RtoMax MaxConn ActiveOpens PassiveOpens AttemptFails "
                             "EstabResets CurrEstab InSegs OutSegs RetransSegs InErrs OutRsts InCsumErrors\n"
                             "Tcp: 1 200 120000 -1 10 5 0 0 3 100 90 0 42 7 0\n"
                             "Udp: InDatagrams NoPorts InErrors\n"
                             "Udp: 1 2 3\n";
    EXPECT_EQ(parseTcpInErrors(text), 42u);
    // Counter32 wraps.
    EXPECT_EQ(parseTcpInErrors("Tcp: InErrs\nTcp: 4294967300\n"), 4u);
    EXPECT_EQ(parseTcpInErrors("Ip: InErrs\nIp: 5\n"), std::nullopt);
    EXPECT_EQ(parseTcpInErrors("Tcp: A InErrs\nTcp: 1\n"), std::nullopt);
    EXPECT_EQ(parseTcpInErrors("Tcp: InErrs\nTcp: x\n"), std::nullopt);
    EXPECT_EQ(parseTcpInErrors(""), std::nullopt);
    // The live counters are there to read.
    EXPECT_TRUE(readTcpInErrors().has_value());
    EXPECT_TRUE(readUdpDatagrams().has_value());

    // The UDP datagram counters: the "Udp:" group, and snmp6's one line per counter.
    const char* snmp
        = "Udp: InDatagrams NoPorts OutDatagrams\nUdp: 10 3 12\nUdpLite: InDatagrams\nUdpLite: 99\n";
    EXPECT_EQ(parseSnmpCounter(snmp, "Udp", "OutDatagrams"), 12u);
    EXPECT_EQ(parseSnmpCounter(snmp, "UdpLite", "InDatagrams"), 99u);
    const char* snmp6 = "Udp6InDatagramsX 1\nUdp6InDatagrams                 \t7\nUdp6OutDatagrams 8\n";
    EXPECT_EQ(parseSnmp6Counter(snmp6, "Udp6InDatagrams"), 7u);
    EXPECT_EQ(parseSnmp6Counter(snmp6, "Udp6OutDatagrams"), 8u);
    EXPECT_EQ(parseSnmp6Counter(snmp6, "Udp6NoPorts"), std::nullopt);
}

TEST(MibRows, SwRunRowsReadAsNetSnmpReadsThem)
{
    using namespace std::string_literals;
    struct Case
    {
        std::string stat;
        std::string commandLine;
        std::string name;
        std::string path;
        std::string parameters;
        SwRunStatus status;
    };
    const std::string longArgument(300, 'x');
    const Case cases[] = {
        { "42 (sshd) S 1 42", "/usr/sbin/sshd\0-D\0-p\0"s + "22\0"s, "sshd", "/usr/sbin/sshd", "-D -p 22",
            SwRunStatus::Runnable },
        // A name may hold spaces and parentheses: it ends at the last ')'.
        { "7 (a) b (c)) R 1", "a\0"s, "a) b (c)", "a", "", SwRunStatus::Running },
        // A rewritten command line without separators is all path.
        { "8 (nginx) D 1", "nginx: worker process"s, "nginx", "nginx: worker process", "",
            SwRunStatus::NotRunnable },
        { "9 (gone) Z 1", ""s, "gone", "", "", SwRunStatus::Invalid },
        { "10 (t) T 1", "t\0"s + longArgument + '\0', "t", "t", longArgument.substr(0, 128),
            SwRunStatus::NotRunnable },
    };
    for (const Case& c : cases) {
        SwRunRow row;
        ASSERT_TRUE(parseSwRun(c.stat, c.commandLine, row)) << c.stat;
        EXPECT_EQ(row.name, c.name) << c.stat;
        EXPECT_EQ(row.path, c.path) << c.stat;
        EXPECT_EQ(row.parameters, c.parameters) << c.stat;
        EXPECT_EQ(row.status, c.status) << c.stat;
    }
    // The start time, the 22nd field, however the name is spelt; 0 where the line is short.
    SwRunRow row;
    ASSERT_TRUE(
        parseSwRun("12 (a) b) S 1 12 12 0 -1 4194560 100 0 0 0 5 3 0 0 20 0 1 0 987654 1000 50", "", row));
    EXPECT_EQ(row.startTime, 987654u);
    ASSERT_TRUE(parseSwRun("13 (short) S 1", "", row));
    EXPECT_EQ(row.startTime, 0u);
    EXPECT_FALSE(parseSwRun("11 (broken", "", row));
    EXPECT_FALSE(parseSwRun("", "", row));
}

} // namespace
