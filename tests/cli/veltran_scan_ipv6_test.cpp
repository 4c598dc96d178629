// veltran-scan against `ss -tuanp` in a private namespace: sockets of both families held
// by a child process give the same rows, IPv4-mapped traffic as IPv4 and only once, and
// every row names the child as its owner.

#include "tests/common/loopback_sockets.h"

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

// A child that holds sockets of both families until its pipe closes.
class SocketHolder
{
public:
    SocketHolder()
    {
        int ready[2];
        int release[2];
        if (pipe(ready) != 0 || pipe(release) != 0)
            return;
        m_pid = fork();
        if (m_pid == 0) {
            close(ready[0]);
            close(release[1]);
            hold(ready[1], release[0]);
            _exit(0);
        }
        close(ready[1]);
        close(release[0]);
        m_release = release[1];
        char byte = 0;
        m_ready = read(ready[0], &byte, 1) == 1;
        close(ready[0]);
    }
    ~SocketHolder()
    {
        close(m_release);
        if (m_pid > 0)
            waitpid(m_pid, nullptr, 0);
    }
    bool ready() const { return m_ready; }
    pid_t pid() const { return m_pid; }

private:
    static void hold(int ready, int release)
    {
        using namespace loopback;
        Socket v6only = tcpListener("::", 0, Stack::V6Only);
        Socket dual = tcpListener("::", 0, Stack::DualStack);
        Socket client6 = tcpClient("::1", v6only.localPort());
        Socket server6 = acceptOne(v6only);
        Socket client4 = tcpClient("127.0.0.1", dual.localPort());
        Socket server4 = acceptOne(dual); // ::ffff:127.0.0.1 on the server's side
        Socket udpAny = udpSocket("::", 0, Stack::V6Only);
        Socket udpLoop = udpSocket("::1", 0, Stack::V6Only);
        Socket udpConnected = udpSocket("::1", 0, Stack::V6Only, "::1", udpLoop.localPort());
        Socket udpDual = udpSocket("::", 0, Stack::DualStack);
        const char byte = 1;
        if (write(ready, &byte, 1) == 1) {
            char ignored;
            while (read(release, &ignored, 1) > 0) { }
        }
    }

    pid_t m_pid = -1;
    int m_release = -1;
    bool m_ready = false;
};

TEST(VeltranScanIpv6, ShowsTheRowsSsShowsWithTheirOwners)
{
    SocketHolder holder;
    ASSERT_TRUE(holder.ready());
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
