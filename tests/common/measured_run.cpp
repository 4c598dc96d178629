#include "tests/common/measured_run.h"

#include "tests/common/connection_holders.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace testproc {
namespace {

    // Spawns argv with its output thrown away and waits for it; false unless it exited with
    // exitStatus.
    bool runToEnd(std::vector<std::string> command, rusage& usage, int exitStatus)
    {
        std::vector<char*> argv;
        for (std::string& part : command)
            argv.push_back(part.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        pid_t pid = 0;
        const int error = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        int status = 0;
        return error == 0 && wait4(pid, &status, 0, &usage) == pid && WIFEXITED(status)
            && WEXITSTATUS(status) == exitStatus;
    }

} // namespace

RunCost measuredRun(const std::vector<std::string>& command, int exitStatus)
{
    rusage usage {};
    const auto start = std::chrono::steady_clock::now();
    if (!runToEnd(command, usage, exitStatus))
        return {};
    const double wall
        = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    const double cpu = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
    return { wall, cpu };
}

double peakRssKb(const std::vector<std::string>& command, int exitStatus)
{
    char reportName[] = "/tmp/veltran-run-XXXXXX";
    const int report = mkstemp(reportName);
    if (report < 0)
        return -1;
    close(report);
    std::vector<std::string> timed { "/usr/bin/time", "-f", "%M", "-o", reportName };
    timed.insert(timed.end(), command.begin(), command.end());
    rusage usage {};
    double peak = -1;
    if (runToEnd(timed, usage, exitStatus)) {
        // The figure is the report's last line: a status other than 0 is told on a line before it.
        std::ifstream reportText(reportName);
        std::string line, last;
        while (std::getline(reportText, line))
            last = line;
        if (!(std::istringstream(last) >> peak))
            peak = -1;
    }
    unlink(reportName);
    return peak;
}

bool measureRounds(std::vector<Contender>& contenders, int rounds)
{
    for (Contender& contender : contenders)
        contender = { contender.label, contender.argv, contender.memory, contender.exitStatus };
    for (int round = -1; round < rounds; ++round) {
        for (std::size_t i = 0; i < contenders.size(); ++i) {
            Contender& contender = contenders[(i + static_cast<std::size_t>(round + 1)) % contenders.size()];
            const RunCost cost = measuredRun(contender.argv, contender.exitStatus);
            const double peak = contender.memory ? peakRssKb(contender.argv, contender.exitStatus) : 0;
            if (!cost.ok() || peak < 0) {
                std::fprintf(stderr, "%s failed\n", contender.label);
                return false;
            }
            if (round < 0)
                continue;
            contender.cpuMs.push_back(cost.cpuMs);
            if (contender.memory)
                contender.peakKb.push_back(peak);
        }
    }
    return true;
}

bool measureWithPairs(
    loopback::ConnectionHolders& holders, std::size_t pairs, std::vector<Contender>& contenders, int rounds)
{
    if (!holders.connectUpTo(pairs)) {
        std::fprintf(stderr, "cannot open %zu loopback connections\n", pairs);
        return false;
    }
    return measureRounds(contenders, rounds);
}

} // namespace testproc
