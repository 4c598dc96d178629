// veltran-scan against `ss -tuanp` in a private namespace: sockets of both families held
// by a child process give the same rows, IPv4-mapped traffic as IPv4 and only once, and
// every row names the child as its owner.

#include "tests/common/loopback_sockets.h"
#include "tests/common/socket_holder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <regex>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

std::vector<std::string> outputLines(const std::string& command)
{
    std::vector<std::string> lines;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return lines;
    std::string line;
    for (int c; (c = std::fgetc(pipe)) != EOF;) {
        if (c != '\n') {
            line += static_cast<char>(c);
            continue;
        }
        lines.push_back(line);
        line.clear();
    }
    pclose(pipe);
    return lines;
}

// "[::ffff:127.0.0.1]:80" -> 127.0.0.1 and 80; "*:80" (a dual-stack wildcard) -> 0.0.0.0.
std::pair<std::string, std::string> splitEnd(const std::string& end)
{
    const auto colon = end.rfind(':');
    std::string address = end.substr(0, colon);
    const std::string port = end.substr(colon + 1);
    if (address.size() > 1 && address.front() == '[')
        address = address.substr(1, address.size() - 2);
    if (address.rfind("::ffff:", 0) == 0 && address.find('.') != std::string::npos)
        address = address.substr(7);
    if (address == "*" || address == "0.0.0.0")
        address = "0.0.0.0";
    return { address, port };
}

// ss's rows as veltran-scan prints them, without the row number.
std::vector<std::string> ssRows()
{
    static const std::map<std::string, std::string> states { { "ESTAB", "Established" },
        { "LISTEN", "Listening" }, { "TIME-WAIT", "Time_wait" }, { "CLOSE-WAIT", "Close_wait" },
        { "FIN-WAIT-2", "Fin_wait2" }, { "SYN-SENT", "Syn_sent" } };
    static const std::regex owner(R"re(users:\(\("([^"]*)",pid=([0-9]+))re");
    std::vector<std::string> rows;
    for (const std::string& line : outputLines("ss -tuanpH")) {
        std::vector<std::string> words;
        std::string word;
        for (const char c : line + ' ') {
            if (c != ' ' && c != '\t') {
                word += c;
            } else if (!word.empty()) {
                words.push_back(word);
                word.clear();
            }
        }
        if (words.size() < 6)
            continue;
        const bool udp = words[0] == "udp";
        const auto [local, localPort] = splitEnd(words[4]);
        const auto [remote, remotePort] = splitEnd(words[5]);
        std::smatch match;
        const std::string process
            = std::regex_search(line, match, owner) ? match[1].str() + '[' + match[2].str() + ']' : "-";
        const bool noRemote = udp || words[1] == "LISTEN";
        const auto state = states.find(words[1]);
        rows.push_back(local + '\t' + localPort + '\t' + (noRemote ? "none" : remotePort) + '\t'
            + (noRemote ? "none" : remote) + '\t' + (udp ? "UDP" : "TCP") + '\t'
            + (udp                          ? "none"
                    : state == states.end() ? words[1]
                                            : state->second)
            + '\t' + process);
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

std::vector<std::string> scanRows(const std::string& arguments)
{
    std::vector<std::string> rows;
    for (const std::string& line : outputLines(std::string(VELTRAN_SCAN_PATH) + ' ' + arguments)) {
        const auto tab = line.find('\t');
        if (line.rfind("No\t", 0) != 0)
            rows.push_back(line.substr(tab + 1));
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

// The sockets of both families a child holds: ten rows, six TCP (one of them mapped) and
// four UDP.
void makeBothFamilies()
{
    using namespace loopback;
    Socket v6only = tcpListener("::", 0, Stack::V6Only);
    Socket dual = tcpListener("::", 0, Stack::DualStack);
    tcpClient("::1", v6only.localPort()).release();
    acceptOne(v6only).release();
    tcpClient("127.0.0.1", dual.localPort()).release();
    acceptOne(dual).release(); // ::ffff:127.0.0.1 on the server's side
    v6only.release();
    dual.release();
    udpSocket("::", 0, Stack::V6Only).release();
    Socket udpLoop = udpSocket("::1", 0, Stack::V6Only);
    udpSocket("::1", 0, Stack::V6Only, "::1", udpLoop.localPort()).release();
    udpLoop.release();
    udpSocket("::", 0, Stack::DualStack).release();
}

TEST(VeltranScanIpv6, ShowsTheRowsSsShowsWithTheirOwners)
{
    const testproc::SocketHolder holder("holder", makeBothFamilies);
    ASSERT_GT(holder.pid(), 0);
    const std::vector<std::string> expected = ssRows();
    const std::vector<std::string> rows = scanRows("--no-host-names --no-port-names --processes");
    EXPECT_EQ(rows, expected);
    // The child's ten sockets are its rows: six TCP (one of them mapped) and four UDP.
    const std::string owner = "[" + std::to_string(holder.pid()) + "]";
    EXPECT_EQ(std::count_if(rows.begin(), rows.end(),
                  [&](const std::string& row) { return row.find(owner) != std::string::npos; }),
        10);
    EXPECT_NE(std::find_if(rows.begin(), rows.end(),
                  [](const std::string& row) {
                      return row.rfind("::1\t", 0) == 0 && row.find("Established") != std::string::npos;
                  }),
        rows.end());

    // Without processes the IPv6 rows come the cheaper way, through ipv6TcpConnTable and the
    // IPv6 rows alone of the other tables: the same rows, without the Process column.
    std::vector<std::string> unowned;
    for (const std::string& row : rows)
        unowned.push_back(row.substr(0, row.rfind('\t')));
    std::sort(unowned.begin(), unowned.end());
    EXPECT_EQ(scanRows("--no-host-names --no-port-names"), unowned);

    // Without IPv6 only IPv4 rows and the dual-stack sockets (as 0.0.0.0) remain, unowned.
    for (const std::string& row : scanRows("--no-host-names --no-port-names --no-ipv6")) {
        EXPECT_EQ(row.find(':'), std::string::npos) << row;
        EXPECT_EQ(std::count(row.begin(), row.end(), '\t'), 5) << row; // no Process column
    }
}

} // namespace
