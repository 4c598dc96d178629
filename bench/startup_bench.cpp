// Launch to the first drawn map: the real `veltran` on Xvfb in a private network namespace,
// from its start until its map surface first paints a map, against the smallest Qt window's
// first paint on the same display. Rounds take the two in turn; medians and their ratio.
//
//   startup_bench [rounds, default 15]

#include "bench/median.h"
#include "tests/app/sockets.h"
#include "tests/common/netns.h"
#include "tests/common/process.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// The CPU time all threads of a process have had so far, in ms (threads already gone
// are not counted); -1 when it cannot be read.
double cpuMs(pid_t pid)
{
    const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
    std::error_code error;
    double ns = 0;
    for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
        std::ifstream stat(task.path() / "schedstat");
        double onCpu = 0;
        if (stat >> onCpu)
            ns += onCpu;
    }
    return error ? -1 : ns / 1e6;
}

struct Timing
{
    double ms = -1; // launch to the line
    double cpuMs = -1; // the process's CPU time by then
};

// Starts argv with extra environment and its standard error on a pipe; the time until a
// line containing marker appears on it, or -1 after 20 s. The process is then killed.
Timing untilLine(const std::vector<std::string>& command, const std::vector<std::string>& extraEnvironment,
    const std::string& marker)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return {};
    std::vector<std::string> environment(extraEnvironment);
    for (char** variable = environ; *variable; ++variable)
        environment.emplace_back(*variable);
    std::vector<char*> envp;
    for (std::string& variable : environment)
        envp.push_back(variable.data());
    envp.push_back(nullptr);
    std::vector<char*> argv;
    for (const std::string& part : command)
        argv.push_back(const_cast<char*>(part.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const auto start = Clock::now();
    pid_t pid = 0;
    const int error = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    Timing timing;
    std::string seen;
    while (error == 0) {
        pollfd readable { pipeFds[0], POLLIN, 0 };
        if (poll(&readable, 1, 20000) <= 0)
            break;
        char buffer[4096];
        const ssize_t got = read(pipeFds[0], buffer, sizeof buffer);
        if (got <= 0)
            break;
        seen.append(buffer, std::size_t(got));
        if (seen.find(marker) != std::string::npos) {
            timing.ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
            timing.cpuMs = cpuMs(pid);
            break;
        }
    }
    close(pipeFds[0]);
    if (error == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    return timing;
}

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    const std::string error = testns::enterPrivateNetworkNamespace();
    if (!error.empty()) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    TestSockets sockets; // a few endpoints, so the first map has something to draw
    for (int i = 0; i < 5; ++i)
        sockets.connectTo(sockets.listen());
    sockets.udp(5);

    char folderTemplate[] = "/tmp/veltran-startup-XXXXXX";
    const std::string folder = mkdtemp(folderTemplate);
    const std::string bin = testproc::executableFolder();
    std::system(("cp " + bin + "/veltran " + bin + "/libinetmib1.so " + folder + "/").c_str());

    const testproc::XServer xvfb = testproc::startXvfb();
    if (xvfb.pid <= 0) {
        std::fprintf(stderr, "Xvfb did not start\n");
        return 1;
    }
    const std::vector<std::string> display { "DISPLAY=" + xvfb.display, "QT_QPA_PLATFORM=xcb" };
    std::vector<std::string> traced(display);
    traced.push_back("QT_LOGGING_RULES=veltran.startup.debug=true");

    std::vector<double> program, floor, programCpu, floorCpu;
    for (int round = -1; round < rounds; ++round) { // the first round only warms the caches
        const Timing a = untilLine({ folder + "/veltran" }, traced, "first map painted");
        const Timing b = untilLine({ bin + "/first_paint_window" }, display, "first paint");
        if (a.ms < 0 || b.ms < 0) {
            std::fprintf(stderr, "a contender did not paint (veltran %.1f, window %.1f)\n", a.ms, b.ms);
            testproc::stop(xvfb.pid);
            return 1;
        }
        if (round >= 0) {
            program.push_back(a.ms);
            floor.push_back(b.ms);
            programCpu.push_back(a.cpuMs);
            floorCpu.push_back(b.cpuMs);
        }
    }
    testproc::stop(xvfb.pid);
    std::system(("rm -rf " + folder).c_str());
    const double a = median(program), b = median(floor);
    std::printf("Launch to first paint on Xvfb, median of %d interleaved rounds:\n", rounds);
    std::printf("  veltran, first map painted     %8.1f ms\n", a);
    std::printf("  minimal Qt window, first paint %8.1f ms\n", b);
    std::printf("  ratio %.2f (goal: at most 1.3)\n", a / b);
    // The CPU the processes had used by then, threads still running; steadier than the
    // times above on a shared machine, though the display server's part is not in it.
    const double ac = median(programCpu), bc = median(floorCpu);
    std::printf("  CPU by then: veltran %.1f ms, window %.1f ms, ratio %.2f\n", ac, bc, ac / bc);
    return 0;
}
