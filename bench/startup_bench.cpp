// Launch to the first drawn map: the real `veltran` on Xvfb in a private network namespace,
// from its start until its map surface first paints a map, against the smallest Qt window's
// first paint on the same display: wall time, and the CPU of each whole process (wait4).
// Rounds take them in turn, the order rotated; median ratios and spread. A second floor,
// the same window drawing one line of text, tells what the font database alone costs.
//
//   startup_bench [rounds, default 15]

#include "bench/median.h"
#include "tests/common/test_sockets.h"
#include "tests/common/netns.h"
#include "tests/common/process.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

struct Timing
{
    double ms = -1; // launch to the line
    double cpuMs = -1; // user + system of the whole process, from wait4, ended at the line
    std::string output; // what it wrote, for a run that failed
    int status = 0; // its wait status
};

// Starts argv with extra environment and its standard error on a pipe; the time until a
// line containing marker appears on it, or -1 after 20 s or when it ends without one. The
// process is then ended at once (the window ends by itself), and its CPU taken by wait4.
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
    while (error == 0) {
        pollfd readable { pipeFds[0], POLLIN, 0 };
        if (poll(&readable, 1, 20000) <= 0)
            break;
        char buffer[4096];
        const ssize_t got = read(pipeFds[0], buffer, sizeof buffer);
        if (got <= 0)
            break;
        timing.output.append(buffer, std::size_t(got));
        if (timing.output.find(marker) != std::string::npos) {
            timing.ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
            break;
        }
    }
    close(pipeFds[0]);
    if (error == 0) {
        kill(pid, SIGKILL);
        rusage usage {};
        if (wait4(pid, &timing.status, 0, &usage) == pid && timing.ms >= 0)
            timing.cpuMs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
                + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
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

    // Three in turn, the order rotated each round: the program, the smallest window, and the
    // smallest window with one line of text (which alone loads the font database).
    struct Contender
    {
        const char* name;
        std::vector<std::string> command;
        std::vector<std::string> environment;
        const char* marker;
        std::vector<double> ms, cpuMs;
    };
    std::vector<Contender> contenders {
        { "veltran", { folder + "/veltran" }, traced, "first map painted", {}, {} },
        { "window", { bin + "/first_paint_window" }, display, "first paint", {}, {} },
        { "window with text", { bin + "/first_paint_window", "text" }, display, "first paint", {}, {} },
    };
    for (int round = -1; round < rounds; ++round) { // the first round only warms the caches
        for (std::size_t turn = 0; turn < contenders.size(); ++turn) {
            Contender& contender = contenders[(turn + std::size_t(round + 1)) % contenders.size()];
            const Timing run = untilLine(contender.command, contender.environment, contender.marker);
            if (run.cpuMs < 0) {
                std::fprintf(stderr, "%s did not paint (wait status %d); it wrote:\n%s\n", contender.name,
                    run.status, run.output.c_str());
                testproc::stop(xvfb.pid);
                return 1;
            }
            if (round >= 0) {
                contender.ms.push_back(run.ms);
                contender.cpuMs.push_back(run.cpuMs);
            }
        }
    }
    testproc::stop(xvfb.pid);
    std::system(("rm -rf " + folder).c_str());
    const auto ratios = [&](const std::vector<double>& of, const std::vector<double>& to) {
        std::vector<double> each;
        for (std::size_t i = 0; i < of.size(); ++i)
            each.push_back(of[i] / to[i]);
        return spread(each);
    };
    std::printf(
        "Launch to first paint on Xvfb, %d rounds taking the three in turn, median [interquartile range]:\n",
        rounds);
    for (const Contender& contender : contenders)
        std::printf("  %s: %.1f ms, %.1f ms CPU\n", contender.name, median(contender.ms), median(contender.cpuMs));
    const Contender& program = contenders[0];
    const Spread time = ratios(program.ms, contenders[1].ms);
    const Spread text = ratios(program.cpuMs, contenders[2].cpuMs);
    const Spread font = ratios(contenders[2].cpuMs, contenders[1].cpuMs);
    std::printf("  time: veltran / window %.2fx [%.2f-%.2f]\n", time.median, time.lower, time.upper);
    std::printf("  CPU: window with text / window %.2fx [%.2f-%.2f]; veltran / window with text %.2fx [%.2f-%.2f]\n",
        font.median, font.lower, font.upper, text.median, text.lower, text.upper);
    const Spread cpu = ratios(program.cpuMs, contenders[1].cpuMs);
    std::printf("veltran / minimal Qt window, CPU to first paint %.2fx [%.2f-%.2f] (goal: at most 1.4)\n",
        cpu.median, cpu.lower, cpu.upper);
    return 0;
}
