// Times one full TCP + UDP walk through the agent module, the bare kernel read under it,
// a /proc parse for comparison, and the `ss -tan` and `netstat -tan` processes, on N
// established loopback connections in a private network namespace. Needs root.

#include "platform/inetmib1/sock_diag_reader.h"
#include "platform/module_loader.h"
#include "platform/snmp.h"
#include "platform/winsock.h"
#include "tests/common/netns.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint16_t serverPort = 5000;

[[noreturn]] void die(const char* what)
{
    std::fprintf(stderr, "agent_bench: %s: %s\n", what, std::strerror(errno));
    std::exit(1);
}

double medianMs(int runs, const std::function<void()>& work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        work();
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// Lifts the open-file limit as far as this process may: connection holders need it.
void raiseFileLimit()
{
    rlimit limit {};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
}

rlim_t fileLimit()
{
    rlimit limit {};
    getrlimit(RLIMIT_NOFILE, &limit);
    return limit.rlim_cur;
}

int listener()
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address { AF_INET, htons(serverPort), { htonl(INADDR_LOOPBACK) }, {} };
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0
        || listen(fd, 4096) != 0)
        die("listener");
    return fd;
}

// Opens count established pairs in a child process of the same namespace, which holds
// them until killed: both ends of 20,000 connections exceed one process's file limit.
pid_t holdConnections(int listenFd, std::size_t count)
{
    int ready[2];
    if (pipe(ready) != 0)
        die("pipe");
    const pid_t child = fork();
    if (child < 0)
        die("fork");
    if (child == 0) {
        close(ready[0]);
        sockaddr_in address { AF_INET, htons(serverPort), { htonl(INADDR_LOOPBACK) }, {} };
        for (std::size_t i = 0; i < count; ++i) {
            const int client = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            if (client < 0 || connect(client, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0)
                die("connect");
            if (accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC) < 0)
                die("accept");
        }
        const char done = 1;
        if (write(ready[1], &done, 1) != 1)
            _exit(1);
        for (;;)
            pause();
    }
    close(ready[1]);
    char done = 0;
    if (read(ready[0], &done, 1) != 1)
        die("connection holder failed");
    close(ready[0]);
    return child;
}

// Opens connections until there are count established pairs in all.
void connectUpTo(int listenFd, std::vector<pid_t>& holders, std::size_t& open, std::size_t count)
{
    const std::size_t perHolder = std::max<std::size_t>(1, (fileLimit() - 64) / 2);
    while (open < count) {
        const std::size_t batch = std::min(perHolder, count - open);
        holders.push_back(holdConnections(listenFd, batch));
        open += batch;
    }
}

struct Agent
{
    PFNSNMPEXTENSIONQUERY query = nullptr;
};

Agent loadAgent()
{
    HMODULE module = LoadLibraryA("inetmib1.dll");
    if (!module)
        die("LoadLibraryA(inetmib1.dll)");
    auto init = reinterpret_cast<PFNSNMPEXTENSIONINIT>(GetProcAddress(module, "SnmpExtensionInit"));
    Agent agent { reinterpret_cast<PFNSNMPEXTENSIONQUERY>(GetProcAddress(module, "SnmpExtensionQuery")) };
    HANDLE trap = nullptr;
    AsnObjectIdentifier view {};
    if (!init || !agent.query || !init(GetTickCount(), &trap, &view))
        die("SnmpExtensionInit");
    return agent;
}

// One walk as the scanner makes it; returns the number of values received.
std::size_t walk(const Agent& agent, std::initializer_list<UINT> start)
{
    std::vector<UINT> startIds(start);
    const AsnObjectIdentifier startName { static_cast<UINT>(startIds.size()), startIds.data() };
    SnmpVarBind binding {};
    SnmpUtilOidCpy(&binding.name, &startName);
    RFC1157VarBindList list { &binding, 1 };
    std::vector<UINT> previous = startIds;
    std::size_t values = 0;
    for (;;) {
        AsnInteger32 status = 0;
        AsnInteger32 index = 0;
        const BOOL ok = agent.query(SNMP_PDU_GETNEXT, &list, &status, &index);
        SnmpUtilAsnAnyFree(&binding.value);
        const UINT* ids = binding.name.ids;
        const UINT length = binding.name.idLength;
        if (!ok || status != 0 || length < 10
            || !std::lexicographical_compare(previous.begin(), previous.end(), ids, ids + length))
            break;
        previous.assign(ids, ids + length);
        ++values;
    }
    SnmpUtilVarBindFree(&binding);
    return values;
}

std::size_t fullWalk(const Agent& agent)
{
    return walk(agent, { 1, 3, 6, 1, 2, 1, 6, 13, 1, 1 }) + walk(agent, { 1, 3, 6, 1, 2, 1, 7, 5, 1, 1 });
}

// The /proc text parse the agent does not use, for comparison: local and remote
// address:port and state of every line of the tcp, tcp6, udp and udp6 tables.
std::size_t procRead()
{
    std::size_t rows = 0;
    static std::vector<char> chunk(1 << 16);
    std::string content;
    for (const char* path : { "/proc/thread-self/net/tcp", "/proc/thread-self/net/tcp6",
             "/proc/thread-self/net/udp", "/proc/thread-self/net/udp6" }) {
        const int fd = open(path, O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        content.clear();
        for (ssize_t got; (got = read(fd, chunk.data(), chunk.size())) > 0;)
            content.append(chunk.data(), static_cast<std::size_t>(got));
        close(fd);
        std::size_t start = content.find('\n'); // the header line
        while (start != std::string::npos && start + 1 < content.size()) {
            const std::size_t end = content.find('\n', start + 1);
            // "  sl: local:port remote:port st ..." fields split at spaces.
            const char* p = content.c_str() + start + 1;
            char* next = nullptr;
            std::strtoul(p, &next, 10); // slot
            const char* local = next + 2;
            const unsigned long localAddress = std::strtoul(local, &next, 16);
            const unsigned long localPort = std::strtoul(next + 1, &next, 16);
            const unsigned long remoteAddress = std::strtoul(next + 1, &next, 16);
            const unsigned long remotePort = std::strtoul(next + 1, &next, 16);
            const unsigned long state = std::strtoul(next + 1, &next, 16);
            if (localPort + remotePort + state + (localAddress & 1) + (remoteAddress & 1) > 0)
                ++rows;
            start = end;
        }
    }
    return rows;
}

double processMs(const char* program, int runs)
{
    return medianMs(runs, [program] {
        const pid_t child = fork();
        if (child == 0) {
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, STDOUT_FILENO);
            execlp(program, program, "-tan", static_cast<char*>(nullptr));
            _exit(127);
        }
        int status = 0;
        waitpid(child, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "agent_bench: %s -tan failed\n", program);
            std::exit(1);
        }
    });
}

struct Figures
{
    std::size_t connections;
    std::size_t values;
    double walk;
    double kernel;
    double proc;
    double ss;
    double netstat;
};

Figures measure(const Agent& agent, SockDiagReader& reader, std::size_t connections, int runs)
{
    Figures f { connections, fullWalk(agent), 0, 0, 0, 0, 0 };
    std::vector<TcpConnRow> tcp;
    std::vector<UdpRow> udp;
    tcp.reserve(2 * connections + 16);
    f.walk = medianMs(runs, [&] { fullWalk(agent); });
    f.kernel = medianMs(runs, [&] {
        if (!reader.readTcp(tcp) || !reader.readUdp(udp))
            die("sock_diag read");
    });
    f.proc = medianMs(runs, [] { procRead(); });
    f.ss = processMs("ss", runs);
    f.netstat = processMs("netstat", runs);
    return f;
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    const std::string error = testns::enterPrivateNetworkNamespace();
    if (!error.empty()) {
        std::fprintf(stderr, "agent_bench: %s\n", error.c_str());
        return 1;
    }
    raiseFileLimit();
    const Agent agent = loadAgent();
    SockDiagReader reader;
    const int listenFd = listener();
    std::vector<pid_t> holders;
    std::size_t open = 0;

    std::vector<Figures> figures;
    for (const std::size_t n : { 2000u, 20000u }) {
        connectUpTo(listenFd, holders, open, n);
        figures.push_back(measure(agent, reader, n, runs));
    }

    std::printf("median of %d runs, ms        %10s %10s %10s %10s %10s  values\n", runs, "walk", "kernel",
        "/proc", "ss -tan", "netstat");
    for (const Figures& f : figures)
        std::printf("%6zu connections (%6zu rows) %10.2f %10.2f %10.2f %10.2f %10.2f  %zu\n", f.connections,
            2 * f.connections + 1, f.walk, f.kernel, f.proc, f.ss, f.netstat, f.values);
    bool met = true;
    const auto goal = [&met](const char* what, double ratio, double limit) {
        const bool ok = ratio <= limit;
        met = met && ok;
        std::printf("%-44s %6.2f  (goal <= %.1f) %s\n", what, ratio, limit, ok ? "ok" : "MISSED");
    };
    for (const Figures& f : figures) {
        std::printf("-- %zu connections\n", f.connections);
        goal("walk / bare kernel read", f.walk / f.kernel, 2.0);
        goal("walk / ss -tan", f.walk / f.ss, 0.5);
    }
    goal("walk at 20,000 / walk at 2,000", figures[1].walk / figures[0].walk, 11.0);
    // What the scaling is made of: the agent's own work over the kernel's.
    std::printf("%-44s %6.2f\n", "  agent's share (walk - kernel read) 20,000 / 2,000",
        (figures[1].walk - figures[1].kernel) / (figures[0].walk - figures[0].kernel));
    std::printf("%-44s %6.2f\n", "  bare kernel read 20,000 / 2,000", figures[1].kernel / figures[0].kernel);
    for (const pid_t holder : holders) {
        kill(holder, SIGKILL);
        waitpid(holder, nullptr, 0);
    }
    close(listenFd);
    return met ? 0 : 2;
}
