#pragma once
// Whole processes for end-to-end tests and benchmarks: where the built programs
// are, and starting and stopping them.

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

namespace testproc {

// The folder of the running executable: the build's bin folder, beside the programs.
std::string executableFolder();
// Starts argv[0] (searched in PATH) with extra environment variables; returns its pid.
pid_t spawn(const std::vector<std::string>& argv,
    const std::vector<std::pair<std::string, std::string>>& environment = {});
// SIGTERM, then waits for it.
void stop(pid_t pid);

// Stops a process when the test ends, however it ends.
class ProcessGuard
{
public:
    explicit ProcessGuard(pid_t pid)
        : m_pid(pid)
    {
    }
    ~ProcessGuard() { stop(m_pid); }
    ProcessGuard(const ProcessGuard&) = delete;
    ProcessGuard& operator=(const ProcessGuard&) = delete;

private:
    pid_t m_pid;
};

// A virtual X server on a display number it chose itself (so a stale lock file of
// another run cannot get in the way); pid -1 when it did not start.
struct XServer
{
    pid_t pid = -1;
    std::string display; // ":N"
};
XServer startXvfb();

// What a shell command printed, line by line, and its exit status (-1: it did not exit).
struct CommandRun
{
    int status = -1;
    std::vector<std::string> out;
    std::vector<std::string> err;
};
CommandRun runCommand(const std::string& commandLine);

} // namespace testproc
