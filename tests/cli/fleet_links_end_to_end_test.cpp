// veltran-scan --links against three computers: network namespaces on a bridge, each with
// its own snmpd and processes that hold connections to the others.

#include "tests/common/bridged_namespaces.h"
#include "tests/common/process.h"
#include "tests/common/snmpd.h"
#include "tests/common/socket_holder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sched.h>
#include <set>
#include <sys/socket.h>
#include <unistd.h>

namespace {

sockaddr_in socketAddress(const std::string& host, int port)
{
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    inet_pton(AF_INET, host.c_str(), &address.sin_addr);
    return address;
}

// In the holder, in the computer's namespace: a socket of type bound to host:port (0: any).
int boundSocket(int type, const std::string& host, int port)
{
    const int fd = socket(AF_INET, type, 0);
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const sockaddr_in address = socketAddress(host, port);
    if (fd < 0 || bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        throw 1;
    return fd;
}

void connectTo(int fd, const std::string& host, int port)
{
    const sockaddr_in address = socketAddress(host, port);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        throw 1;
}

void enter(int computerNamespace)
{
    if (setns(computerNamespace, CLONE_NEWNET) != 0)
        throw 1;
}

// A server that accepts for ever, holding every connection.
std::unique_ptr<testproc::SocketHolder> server(const char* name, int computerNamespace, int port)
{
    return std::make_unique<testproc::SocketHolder>(
        name,
        [=] {
            enter(computerNamespace);
            const int listener = boundSocket(SOCK_STREAM, "0.0.0.0", port);
            listen(listener, 16);
            const char ready = 1;
            if (write(testproc::SocketHolder::kReadyFd, &ready, 1) != 1)
                throw 1;
            for (;;)
                accept(listener, nullptr, nullptr);
        },
        std::initializer_list<int> { computerNamespace });
}

testproc::CommandRun runLinks(const std::string& arguments)
{
    return testproc::runCommand(std::string(VELTRAN_SCAN_PATH) + " --links " + arguments);
}

std::vector<std::vector<std::string>> section(const std::vector<std::string>& lines, bool links)
{
    const auto blank = std::find(lines.begin(), lines.end(), std::string());
    std::vector<std::vector<std::string>> rows;
    for (auto line = links ? lines.begin() : blank; line != (links ? blank : lines.end()); ++line) {
        if (line->empty() || line->rfind("Computer\t", 0) == 0)
            continue;
        std::vector<std::string> cells;
        std::size_t start = 0;
        for (std::size_t tab; (tab = line->find('\t', start)) != std::string::npos; start = tab + 1)
            cells.push_back(line->substr(start, tab - start));
        cells.push_back(line->substr(start));
        rows.push_back(cells);
    }
    return rows;
}

TEST(FleetLinksEndToEnd, ThreeComputersEveryConnectionOnceWithBothOwners)
{
    testns::BridgedNamespaces computers;
    ASSERT_EQ(computers.start(3), "");
    const std::string a = computers.address(0);
    const std::string b = computers.address(1);
    const std::string c = computers.address(2);
    const int nsA = computers.descriptor(0);
    const int nsB = computers.descriptor(1);
    const int nsC = computers.descriptor(2);

    std::vector<std::unique_ptr<testsnmp::SnmpdProcess>> agents;
    std::string hosts;
    for (int i = 0; i < 3; ++i) {
        testsnmp::SnmpdConfig config;
        config.networkNamespace = computers.descriptor(i);
        config.address = computers.address(i);
        agents.push_back(std::make_unique<testsnmp::SnmpdProcess>());
        ASSERT_EQ(agents.back()->start(config), "");
        hosts += " " + agents.back()->peer();
    }
    const auto nameOf = [&](int i) {
        return "veltran-agent-" + std::to_string(agents[static_cast<std::size_t>(i)]->port());
    };

    // Outside every watched computer: the test's own namespace, on the bridge.
    const int outside = boundSocket(SOCK_STREAM, "10.26.0.254", 7000);
    listen(outside, 4);
    auto webA = server("web-a", nsA, 8000);
    auto webB = server("web-b", nsB, 9000);
    testproc::SocketHolder clientB("cli-b",
        [&] {
            enter(nsB);
            connectTo(boundSocket(SOCK_STREAM, "0.0.0.0", 0), a, 8000);
        },
        { nsB });
    testproc::SocketHolder clientC("cli-c",
        [&] {
            enter(nsC);
            connectTo(boundSocket(SOCK_STREAM, "0.0.0.0", 0), a, 8000);
            connectTo(boundSocket(SOCK_STREAM, "0.0.0.0", 0), b, 9000);
            connectTo(boundSocket(SOCK_STREAM, "0.0.0.0", 0), "10.26.0.254", 7000);
        },
        { nsC });
    testproc::SocketHolder udpA("dns-a",
        [&] {
            enter(nsA);
            connectTo(boundSocket(SOCK_DGRAM, a, 5300), c, 5301);
        },
        { nsA });
    testproc::SocketHolder udpC("dns-c",
        [&] {
            enter(nsC);
            connectTo(boundSocket(SOCK_DGRAM, c, 5301), a, 5300);
        },
        { nsC });
    for (const pid_t pid : { webA->pid(), webB->pid(), clientB.pid(), clientC.pid(), udpA.pid(), udpC.pid() })
        ASSERT_GT(pid, 0);

    const std::string v3 = agents[0]->v3Options();
    const std::set<std::string> expected {
        nameOf(1) + " cli-b ⇄ " + nameOf(0) + " web-a:8000 TCP",
        nameOf(2) + " cli-c ⇄ " + nameOf(0) + " web-a:8000 TCP",
        nameOf(2) + " cli-c ⇄ " + nameOf(1) + " web-b:9000 TCP",
        nameOf(0) + " dns-a:5300 ⇄ " + nameOf(2) + " dns-c:5301 UDP",
    };
    // Each link as "computer process ⇄ computer process:port protocol", the server's end with its port.
    const auto linkText = [](const std::vector<std::string>& cells) {
        const auto process = [](const std::string& cell) { return cell.substr(0, cell.find('[')); };
        const auto port = [](const std::string& cell) { return cell.substr(cell.rfind(':') + 1); };
        std::string from = cells[0] + " " + process(cells[1]);
        std::string to = cells[4] + " " + process(cells[5]);
        const bool fromServes = port(cells[2]) == "8000" || port(cells[2]) == "9000";
        const bool toServes = port(cells[6]) == "8000" || port(cells[6]) == "9000";
        if (cells[7] == "UDP")
            return from + ":" + port(cells[2]) + " ⇄ " + to + ":" + port(cells[6]) + " UDP";
        if (fromServes && !toServes)
            return to + " ⇄ " + from + ":" + port(cells[2]) + " TCP";
        return from + " ⇄ " + to + ":" + port(cells[6]) + " TCP";
    };
    // The agents find the owners by a scan of every process's descriptors, which a process
    // ending meanwhile elsewhere on the machine can cut short: up to three reads.
    std::multiset<std::string> links;
    testproc::CommandRun run;
    for (int attempt = 0;
         attempt < 3 && links != std::multiset<std::string>(expected.begin(), expected.end()); ++attempt) {
        run = runLinks(v3 + hosts);
        links.clear();
        for (const auto& cells : section(run.out, true)) {
            ASSERT_EQ(cells.size(), 8u);
            links.insert(linkText(cells));
        }
    }
    EXPECT_EQ(run.status, 0) << (run.err.empty() ? "" : run.err[0]);
    EXPECT_EQ(links, std::multiset<std::string>(expected.begin(), expected.end()));
    const auto unlinked = section(run.out, false);
    const auto toOutside = std::count_if(unlinked.begin(), unlinked.end(), [&](const auto& cells) {
        return cells[0] == nameOf(2) && cells[3] == "10.26.0.254:7000" && cells[5] == "not watched";
    });
    EXPECT_EQ(toOutside, 1);

    // A host with no agent: told on standard error, the others' links as before.
    const testproc::CommandRun withDead = runLinks(v3 + " -t 0.3 -r 0 udp:10.26.0.99:161" + hosts);
    EXPECT_EQ(withDead.status, 1);
    ASSERT_EQ(withDead.err.size(), 1u);
    EXPECT_EQ(withDead.err[0], "SNMP agent udp:10.26.0.99:161: Timeout");
    EXPECT_EQ(section(withDead.out, true).size(), expected.size());
    close(outside);
}

} // namespace
