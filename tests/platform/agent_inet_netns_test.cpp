// The agent's tables of both families and their owning processes, against real sockets
// held by this test and by child processes it starts, each test in a fresh namespace;
// and against net-snmp's snmpd serving the same namespace.

#include "tests/common/loopback_sockets.h"
#include "tests/common/netns.h"
#include "tests/common/snmpd.h"
#include "tests/common/socket_holder.h"
#include "tests/platform/agent_client.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace agenttest {
namespace {

    using namespace loopback;

    const Oid tcpConnectionEntry = { 1, 3, 6, 1, 2, 1, 6, 19, 1 };
    const Oid tcpListenerEntry = { 1, 3, 6, 1, 2, 1, 6, 20, 1 };
    const Oid udpEndpointEntry = { 1, 3, 6, 1, 2, 1, 7, 7, 1 };
    const Oid swRunEntry = { 1, 3, 6, 1, 2, 1, 25, 4, 2, 1 };

    // A table's rows as "index = column values", the index as endpoint texts (and the
    // instance for udpEndpointTable); in the walk's row order.
    std::vector<std::string> rowsOf(
        const Walk<Value>& walk, const Oid& entry, int endpoints, bool instance = false)
    {
        std::vector<std::string> order;
        std::map<std::string, std::string> values;
        for (const Value& value : walk.rows) {
            std::size_t at = entry.size() + 1;
            std::string key;
            for (int i = 0; i < endpoints; ++i)
                key += (i ? " > " : "") + endpointText(value.name, at);
            if (instance && at < value.name.size())
                key += " #" + std::to_string(value.name[at++]);
            if (at != value.name.size())
                key += " (index too long)";
            if (!values.contains(key))
                order.push_back(key);
            values[key] += " " + value.text;
        }
        std::vector<std::string> rows;
        for (const std::string& key : order)
            rows.push_back(key + " =" + values[key]);
        return rows;
    }

    std::vector<std::string> sorted(std::vector<std::string> rows)
    {
        std::sort(rows.begin(), rows.end());
        return rows;
    }

    // snmpd reads every process's descriptors at each walk and, on a busy machine, may
    // give up before it finds an owner: where it says 0, ours is taken as it is; where
    // it names a process, ours must name the same.
    std::vector<std::string> withOwnersSnmpdFound(
        const std::vector<std::string>& ours, const std::vector<std::string>& theirs)
    {
        std::vector<std::string> result;
        for (const std::string& row : ours) {
            const std::string endpoint = row.substr(0, row.rfind(' ') + 1);
            const bool unknownThere = std::find(theirs.begin(), theirs.end(), endpoint + "0") != theirs.end();
            result.push_back(unknownThere ? endpoint + "0" : row);
        }
        return result;
    }

    std::string pidText(pid_t pid)
    {
        return std::to_string(pid);
    }

    unsigned long inodeOf(const Socket& socket)
    {
        struct stat info
        {
        };
        fstat(socket.fd(), &info);
        return info.st_ino;
    }

    using Holder = testproc::SocketHolder;

    class AgentInetTest : public ::testing::Test
    {
    protected:
        void SetUp() override
        {
            ASSERT_EQ(testns::enterPrivateNetworkNamespace(), "");
            ASSERT_NE(agent().query, nullptr);
        }

        std::vector<std::string> table(const Oid& entry, int endpoints, bool instance = false)
        {
            const Walk<Value> walk = agent().walkSubtree(entry);
            EXPECT_EQ(walk.problems, std::vector<std::string>());
            return rowsOf(walk, entry, endpoints, instance);
        }
    };

    TEST_F(AgentInetTest, BothFamiliesWithTheProcessesThatHoldThem)
    {
        int clientPort = 0;
        int pipePorts[2];
        ASSERT_EQ(pipe(pipePorts), 0);
        Holder tcpHolder("tcp-holder",
            [&] {
                tcpListener("::", 7000, Stack::DualStack).release();
                Socket v6Only = tcpListener("::", 7001, Stack::V6Only);
                tcpListener("::1", 7002, Stack::V6Only).release();
                tcpListener("0.0.0.0", 7003).release();
                Socket client = tcpClient("::1", 7001);
                const int port = client.localPort();
                if (write(pipePorts[1], &port, sizeof port) != sizeof port)
                    _exit(1);
                acceptOne(v6Only).release();
                client.release();
                v6Only.release();
            },
            { pipePorts[1] });
        ASSERT_GT(tcpHolder.pid(), 0);
        ASSERT_EQ(
            read(pipePorts[0], &clientPort, sizeof clientPort), static_cast<ssize_t>(sizeof clientPort));
        close(pipePorts[0]);
        close(pipePorts[1]);
        // This process holds the UDP endpoints.
        Socket dualStack = udpSocket("::", 5353, Stack::DualStack);
        Socket v6Any = udpSocket("::", 5354, Stack::V6Only);
        Socket v6Loopback = udpSocket("::1", 5355, Stack::V6Only);
        Socket v6Connected = udpSocket("::1", 5356, Stack::V6Only, "::1", 5001);
        Socket v4Connected = udpSocket("127.0.0.1", 5357, Stack::V4, "127.0.0.1", 5002);
        Socket mapped = udpSocket("::ffff:127.0.0.1", 5358, Stack::DualStack);

        const std::string holder = pidText(tcpHolder.pid());
        const std::string self = pidText(getpid());
        const std::string client = "ipv6 [::1]:" + std::to_string(clientPort);
        EXPECT_EQ(table(tcpListenerEntry, 1),
            (std::vector<std::string> {
                "unknown :7000 = " + holder, // takes both families
                "ipv4 0.0.0.0:7003 = " + holder,
                "ipv6 [::]:7001 = " + holder,
                "ipv6 [::1]:7002 = " + holder,
            }));
        EXPECT_EQ(table(tcpConnectionEntry, 2),
            (std::vector<std::string> {
                "ipv6 [::1]:7001 > " + client + " = 5 " + holder,
                client + " > ipv6 [::1]:7001 = 5 " + holder,
            }));
        const auto udp = [](const Socket& socket, const std::string& local, const std::string& remote) {
            return local + " > " + remote + " #" + std::to_string(inodeOf(socket));
        };
        EXPECT_EQ(sorted(table(udpEndpointEntry, 2, true)),
            sorted({
                udp(dualStack, "unknown :5353", "unknown :0") + " = " + self,
                udp(v4Connected, "ipv4 127.0.0.1:5357", "ipv4 127.0.0.1:5002") + " = " + self,
                udp(v6Any, "ipv6 [::]:5354", "ipv6 [::]:0") + " = " + self,
                udp(v6Loopback, "ipv6 [::1]:5355", "ipv6 [::]:0") + " = " + self,
                udp(v6Connected, "ipv6 [::1]:5356", "ipv6 [::1]:5001") + " = " + self,
                // As net-snmp's agent shows it: an IPv6 address, if one that carries IPv4.
                udp(mapped, "ipv6 [::ffff:127.0.0.1]:5358", "ipv6 [::]:0") + " = " + self,
            }));

        // Both owners and nothing else; their other columns are compared with snmpd's below,
        // but the status, which differs while snmpd answers.
        std::map<std::string, std::string> status;
        for (const Value& value : agent().walkSubtree(swRunEntry).rows)
            status[pidText(static_cast<pid_t>(value.name.back()))] = value.text; // column 7 comes last
        EXPECT_EQ(status, (std::map<std::string, std::string> { { holder, "2" }, { self, "1" } }))
            << "the holder waits to run; this process runs: it answers";
    }

    TEST_F(AgentInetTest, NoProcessForASocketNobodyHoldsOrThatCannotBeRead)
    {
        // A socket in flight in a message between processes, its sender gone.
        int channel[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0, channel), 0);
        int go[2];
        ASSERT_EQ(pipe(go), 0);
        Holder sender("sender",
            [&] {
                Socket udp = udpSocket("::1", 7101, Stack::V6Only);
                const int readyFd = Holder::kReadyFd;
                char wait = 0;
                // Hold it until told, then hand it to the other end and leave.
                if (write(readyFd, "", 1) != 1 || read(go[0], &wait, 1) != 1)
                    _exit(1);
                alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] {};
                char byte = 0;
                iovec data { &byte, 1 };
                msghdr message {};
                message.msg_iov = &data;
                message.msg_iovlen = 1;
                message.msg_control = control;
                message.msg_controllen = sizeof control;
                cmsghdr* header = CMSG_FIRSTHDR(&message);
                header->cmsg_level = SOL_SOCKET;
                header->cmsg_type = SCM_RIGHTS;
                header->cmsg_len = CMSG_LEN(sizeof(int));
                const int fd = udp.fd();
                std::memcpy(CMSG_DATA(header), &fd, sizeof fd);
                _exit(sendmsg(channel[0], &message, 0) == 1 ? 0 : 1);
            },
            { channel[0], go[0] });
        ASSERT_GT(sender.pid(), 0);
        const auto udpRows = [this] { return table(udpEndpointEntry, 2, true); };
        ASSERT_EQ(udpRows().size(), 1u);
        EXPECT_TRUE(udpRows()[0].ends_with(" = " + pidText(sender.pid()))) << udpRows()[0];
        ASSERT_EQ(write(go[1], "", 1), 1);
        int status = 0;
        ASSERT_EQ(waitpid(sender.pid(), &status, 0), sender.pid());
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        const std::vector<std::string> inFlight = udpRows();
        ASSERT_EQ(inFlight.size(), 1u);
        EXPECT_TRUE(inFlight[0].ends_with(" = 0")) << inFlight[0];

        // A connection the listener has not accepted yet is held by no process.
        Socket listener = tcpListener("::1", 7100, Stack::V6Only);
        Socket client = tcpClient("::1", 7100);
        const std::string clientEnd = "ipv6 [::1]:" + std::to_string(client.localPort());
        // The same walks made by a process that may not read this one's descriptors; these
        // sockets are new to the agent it inherits, so nothing is known of them yet.
        Socket mine = udpSocket("::1", 7102, Stack::V6Only);
        int answer[2];
        ASSERT_EQ(pipe(answer), 0);
        const pid_t reader = fork();
        if (reader == 0) {
            // A fork holds copies of every descriptor: the reader must not hold these.
            for (Socket* inherited : { &listener, &client, &mine })
                inherited->reset();
            if (setresgid(65534, 65534, 65534) != 0 || setresuid(65534, 65534, 65534) != 0)
                _exit(1);
            Socket own = udpSocket("::1", 7103, Stack::V6Only);
            std::string rows;
            for (const std::string& row : table(udpEndpointEntry, 2, true))
                rows += row + "\n";
            for (const std::string& row : table(tcpConnectionEntry, 2))
                rows += row + "\n";
            _exit(write(answer[1], rows.data(), rows.size()) == static_cast<ssize_t>(rows.size()) ? 0 : 1);
        }
        close(answer[1]);
        std::string rows;
        char buffer[4096];
        for (ssize_t got; (got = read(answer[0], buffer, sizeof buffer)) > 0;)
            rows.append(buffer, static_cast<std::size_t>(got));
        close(answer[0]);
        ASSERT_EQ(waitpid(reader, &status, 0), reader);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        const std::string self = pidText(getpid());
        const std::string lines[] = {
            "ipv6 [::1]:7102 > ipv6 [::]:0 #" + std::to_string(inodeOf(mine)) + " = 0\n",
            "ipv6 [::1]:7103 > ipv6 [::]:0 #", // its own: found (its inode is its own business)
            "ipv6 [::1]:7100 > " + clientEnd + " = 5 0\n", // not accepted yet
            clientEnd + " > ipv6 [::1]:7100 = 5 0\n", // this process's, closed to the reader
        };
        for (const std::string& line : lines)
            EXPECT_NE(rows.find(line), std::string::npos) << line << "\nin\n" << rows;
        EXPECT_NE(rows.find(" = " + pidText(reader) + "\n"), std::string::npos) << rows;
        // This process may read them all.
        EXPECT_EQ(table(tcpConnectionEntry, 2),
            (std::vector<std::string> {
                "ipv6 [::1]:7100 > " + clientEnd + " = 5 0",
                clientEnd + " > ipv6 [::1]:7100 = 5 " + self,
            }));
        close(channel[0]);
        close(channel[1]);
        close(go[0]);
        close(go[1]);
    }

    TEST_F(AgentInetTest, ASocketPassesToTheChildThatOutlivesItsParent)
    {
        int pids[2];
        ASSERT_EQ(pipe(pids), 0);
        Holder parent("parent",
            [&] {
                tcpListener("::1", 7200, Stack::V6Only).release();
                int ready[2];
                if (pipe(ready) != 0)
                    _exit(1);
                const pid_t child = fork();
                if (child == 0) {
                    prctl(PR_SET_NAME, "child");
                    const pid_t self = getpid();
                    if (write(pids[1], &self, sizeof self) != sizeof self)
                        _exit(1);
                    for (;;)
                        pause();
                }
            },
            { pids[1] });
        ASSERT_GT(parent.pid(), 0);
        pid_t child = 0;
        ASSERT_EQ(read(pids[0], &child, sizeof child), static_cast<ssize_t>(sizeof child));
        const std::vector<std::string> both = table(tcpListenerEntry, 1);
        ASSERT_EQ(both.size(), 1u);
        // Either holder will do while both hold it.
        EXPECT_TRUE(both[0] == "ipv6 [::1]:7200 = " + pidText(parent.pid())
            || both[0] == "ipv6 [::1]:7200 = " + pidText(child))
            << both[0];
        parent.end();
        EXPECT_EQ(
            table(tcpListenerEntry, 1), (std::vector<std::string> { "ipv6 [::1]:7200 = " + pidText(child) }));
        kill(child, SIGKILL); // reparented: its parent was the holder, now gone
        close(pids[0]);
        close(pids[1]);
    }

    // Runs argv, returns its standard output and its pid.
    std::pair<std::string, pid_t> runForOutput(const std::vector<std::string>& argv)
    {
        int out[2];
        if (pipe(out) != 0)
            return {};
        const pid_t pid = fork();
        if (pid == 0) {
            dup2(out[1], STDOUT_FILENO);
            std::vector<char*> args;
            for (const std::string& arg : argv)
                args.push_back(const_cast<char*>(arg.c_str()));
            args.push_back(nullptr);
            execvp(args[0], args.data());
            _exit(127);
        }
        close(out[1]);
        std::string text;
        char buffer[4096];
        for (ssize_t got; (got = read(out[0], buffer, sizeof buffer)) > 0;)
            text.append(buffer, static_cast<std::size_t>(got));
        close(out[0]);
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << argv[0] << " failed: " << text;
        return { text, pid };
    }

    // snmpwalk -On output as values: ".1.3.6... = TYPE: value", strings unquoted.
    Walk<Value> parseWalk(const std::string& text)
    {
        Walk<Value> walk;
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t end = text.find('\n', start);
            if (end == std::string::npos)
                end = text.size();
            const std::string line = text.substr(start, end - start);
            start = end + 1;
            const auto equals = line.find(" = ");
            if (line.empty() || line[0] != '.' || equals == std::string::npos) {
                if (!line.empty())
                    walk.problems.push_back("unexpected line: " + line);
                continue;
            }
            Value value { {}, 0, {} };
            for (std::size_t at = 1; at < equals;) {
                std::size_t dot = line.find('.', at);
                if (dot == std::string::npos || dot > equals)
                    dot = equals;
                value.name.push_back(static_cast<UINT>(std::stoul(line.substr(at, dot - at))));
                at = dot + 1;
            }
            std::string rest = line.substr(equals + 3);
            const auto colon = rest.find(": ");
            if (!rest.starts_with("\"") && colon != std::string::npos)
                rest = rest.substr(colon + 2);
            if (rest.size() >= 2 && rest.front() == '"' && rest.back() == '"')
                rest = rest.substr(1, rest.size() - 2);
            if (rest.starts_with("."))
                rest = rest.substr(1); // an OBJECT IDENTIFIER value
            value.text = rest;
            walk.rows.push_back(std::move(value));
        }
        return walk;
    }

    std::string text(const Oid& oid)
    {
        std::string out;
        for (const UINT id : oid) {
            if (!out.empty())
                out += '.';
            out += std::to_string(id);
        }
        return out;
    }

    // The dual-stack wildcard as net-snmp's agent shows it: "::" like an IPv6-only one.
    std::string asNetSnmpShowsIt(std::string row)
    {
        for (std::size_t at; (at = row.find("unknown :")) != std::string::npos;)
            row.replace(at, 9, "ipv6 [::]:");
        return row;
    }

    TEST_F(AgentInetTest, SameRowsStatesAndProcessesAsNetSnmpsAgent)
    {
        testsnmp::SnmpdProcess snmpd;
        ASSERT_EQ(snmpd.start(), "");
        int ports[2];
        ASSERT_EQ(pipe(ports), 0);
        Holder server("server", [&] {
            Socket dualStack = tcpListener("::", 8000, Stack::DualStack);
            tcpListener("::", 8001, Stack::V6Only).release();
            tcpListener("::1", 8002, Stack::V6Only).release();
            tcpListener("127.0.0.1", 8003).release();
            udpSocket("::", 8004, Stack::DualStack).release();
            udpSocket("::1", 8005, Stack::V6Only, "::1", 8004).release();
            if (write(100, "", 1) != 1)
                _exit(1);
            // Both kinds of connection to the dual-stack listener, accepted here.
            for (int i = 0; i < 2; ++i)
                acceptOne(dualStack).release();
            dualStack.release();
            for (;;)
                pause();
        });
        ASSERT_GT(server.pid(), 0);
        Socket v4 = tcpClient("127.0.0.1", 8000);
        Socket v6 = tcpClient("::1", 8000);
        Socket v6Server = tcpListener("::1", 8010, Stack::V6Only);
        Socket v6Client = tcpClient("::1", 8010);
        Socket v6Accepted = acceptOne(v6Server);
        Socket notAccepted = tcpClient("::1", 8010);
        Socket udpAny = udpSocket("::", 8011, Stack::V6Only);
        Socket udpLoopback = udpSocket("127.0.0.1", 8012);
        close(ports[0]);
        close(ports[1]);

        struct Table
        {
            Oid entry;
            int endpoints;
            bool instance;
        };
        const Table tables[] = {
            { tcpConnectionEntry, 2, false },
            { tcpListenerEntry, 1, false },
            { udpEndpointEntry, 2, true },
        };
        std::set<std::string> owners;
        for (const Table& table : tables) {
            // The same connections settle before either side reads them.
            std::vector<std::string> ours;
            std::vector<std::string> theirs;
            for (int attempt = 0; attempt < 20; ++attempt) {
                const auto [output, walker] = runForOutput({ "snmpwalk", "-v2c", "-c",
                    snmpd.config().community, "-On", "-t", "5", "-r", "0", snmpd.peer(), text(table.entry) });
                const Walk<Value> walk = parseWalk(output);
                EXPECT_EQ(walk.problems, std::vector<std::string>());
                theirs.clear();
                // The walker's own socket is not ours to see.
                std::string walkerOwns = " ";
                walkerOwns += pidText(walker);
                for (const std::string& row : rowsOf(walk, table.entry, table.endpoints, table.instance)) {
                    if (!row.ends_with(walkerOwns))
                        theirs.push_back(row);
                }
                ours.clear();
                for (const std::string& row : this->table(table.entry, table.endpoints, table.instance))
                    ours.push_back(asNetSnmpShowsIt(row));
                // On a busy machine snmpd may find no owner at all: the walker's socket is then
                // known by its shape (unconnected, on IPv4's wildcard) and by being none of ours.
                std::erase_if(theirs, [&](const std::string& row) {
                    const std::size_t hash = row.find("> ipv4 0.0.0.0:0 #");
                    if (!row.starts_with("ipv4 0.0.0.0:") || hash == std::string::npos
                        || !row.ends_with(" = 0"))
                        return false;
                    const std::string inode = row.substr(hash + 16, row.rfind(" = ") - hash - 16);
                    return std::none_of(ours.begin(), ours.end(),
                        [&](const std::string& mine) { return mine.find(inode + " ") != std::string::npos; });
                });
                if (sorted(withOwnersSnmpdFound(ours, theirs)) == sorted(theirs))
                    break;
            }
            EXPECT_EQ(sorted(withOwnersSnmpdFound(ours, theirs)), sorted(theirs)) << text(table.entry);
            for (const std::string& row : ours)
                owners.insert(row.substr(row.rfind(' ') + 1));
        }
        // Every process with sockets here: this one, the server child and snmpd itself.
        owners.erase("0");
        EXPECT_EQ(owners,
            (std::set<std::string> { pidText(getpid()), pidText(server.pid()), pidText(snmpd.pid()) }));

        // Their hrSWRunTable rows, column by column, but the status, which changes as they run.
        const auto [output, walker] = runForOutput({ "snmpwalk", "-v2c", "-c", snmpd.config().community,
            "-On", "-t", "5", "-r", "0", snmpd.peer(), text(swRunEntry) });
        std::set<std::string> theirs;
        for (const Value& value : parseWalk(output).rows) {
            if (owners.contains(std::to_string(value.name.back())) && value.name[swRunEntry.size()] != 7)
                theirs.insert(text(value.name) + " = " + value.text);
        }
        std::set<std::string> ours;
        for (const Value& value : agent().walkSubtree(swRunEntry).rows) {
            if (value.name[swRunEntry.size()] != 7)
                ours.insert(text(value.name) + " = " + value.text);
        }
        EXPECT_EQ(ours, theirs);
        EXPECT_EQ(ours.size(), 3u * 6u);
    }

} // namespace
} // namespace agenttest
