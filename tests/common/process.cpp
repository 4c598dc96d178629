#include "tests/common/process.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace testproc {

std::string executableFolder()
{
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return ".";
    path[n] = '\0';
    const std::string file(path);
    return file.substr(0, file.rfind('/'));
}

pid_t spawn(
    const std::vector<std::string>& argv, const std::vector<std::pair<std::string, std::string>>& environment)
{
    const pid_t pid = fork();
    if (pid == 0) {
        for (const auto& [name, value] : environment)
            setenv(name.c_str(), value.c_str(), 1);
        std::vector<char*> args;
        for (const std::string& arg : argv)
            args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    return pid;
}

void stop(pid_t pid)
{
    if (pid <= 0)
        return;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
}

XServer startXvfb()
{
    int channel[2];
    if (pipe(channel) != 0)
        return {};
    XServer server;
    // -noreset: a server that resets when its last client leaves refuses the next one for a
    // moment, and a test may start a second program right after the first.
    server.pid = spawn({ "Xvfb", "-displayfd", std::to_string(channel[1]), "-screen", "0", "1024x768x24",
        "-nolisten", "tcp", "-noreset" });
    close(channel[1]);
    // Xvfb writes the display number once it accepts clients.
    std::string number;
    char c = 0;
    while (read(channel[0], &c, 1) == 1 && c != '\n')
        number += c;
    close(channel[0]);
    if (number.empty()) {
        stop(server.pid);
        return {};
    }
    server.display = ":" + number;
    return server;
}

namespace {

    std::vector<std::string> linesOf(std::istream& in)
    {
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

} // namespace

CommandRun runCommand(const std::string& commandLine)
{
    CommandRun run;
    const std::string errors = "/tmp/veltran-test-stderr-" + std::to_string(getpid());
    FILE* pipe = popen((commandLine + " 2>" + errors).c_str(), "r");
    if (!pipe)
        return run;
    std::string text;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        text.append(buffer, n);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::istringstream out(text);
    run.out = linesOf(out);
    std::ifstream err(errors);
    run.err = linesOf(err);
    std::remove(errors.c_str());
    return run;
}

} // namespace testproc
