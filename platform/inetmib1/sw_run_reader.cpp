#include "platform/inetmib1/sw_run_reader.h"

#include <array>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr std::size_t nameLimit = 64;
constexpr std::size_t pathLimit = 128;
constexpr std::size_t parametersLimit = 128;

// Reads up to the size of the buffer; the command line beyond what the columns hold is not needed.
template <std::size_t Size>
std::string_view readSmallFile(const std::string& path, std::array<char, Size>& buffer)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    std::size_t size = 0;
    while (size < buffer.size()) {
        const ssize_t got = read(fd, buffer.data() + size, buffer.size() - size);
        if (got <= 0)
            break;
        size += static_cast<std::size_t>(got);
    }
    close(fd);
    return { buffer.data(), size };
}

SwRunStatus statusOf(char state)
{
    switch (state) {
    case 'R':
        return SwRunStatus::Running;
    case 'D':
    case 'T':
    case 't':
        return SwRunStatus::NotRunnable;
    case 'Z':
    case 'X':
        return SwRunStatus::Invalid;
    default:
        return SwRunStatus::Runnable; // sleeping or idle: waiting to run
    }
}

} // namespace

bool parseSwRun(std::string_view stat, std::string_view commandLine, SwRunRow& row)
{
    // "pid (name) S ...": the name may itself hold spaces and parentheses.
    const auto open = stat.find('(');
    const auto close = stat.rfind(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open
        || close + 2 >= stat.size())
        return false;
    row.name.assign(stat.substr(open + 1, std::min(close - open - 1, nameLimit)));
    row.status = statusOf(stat[close + 2]);
    // starttime, the 22nd field: the 20th after the name.
    row.startTime = 0;
    std::size_t at = close + 2;
    for (int field = 0; field < 19 && at != std::string_view::npos; ++field)
        at = stat.find(' ', at + 1);
    if (at != std::string_view::npos) {
        for (++at; at < stat.size() && stat[at] >= '0' && stat[at] <= '9'; ++at)
            row.startTime = row.startTime * 10 + static_cast<std::uint64_t>(stat[at] - '0');
    }

    while (!commandLine.empty() && commandLine.back() == '\0')
        commandLine.remove_suffix(1);
    const auto firstEnd = commandLine.find('\0');
    row.path.assign(commandLine.substr(0, std::min(firstEnd, pathLimit)));
    row.parameters.clear();
    if (firstEnd != std::string_view::npos) {
        row.parameters.assign(commandLine.substr(firstEnd + 1, parametersLimit));
        for (char& c : row.parameters) {
            if (c == '\0')
                c = ' ';
        }
    }
    return true;
}

bool readSwRun(const std::string& procRoot, std::uint32_t pid, SwRunRow& row)
{
    const std::string folder = procRoot + '/' + std::to_string(pid);
    std::array<char, 1024> statText;
    const std::string_view stat = readSmallFile(folder + "/stat", statText);
    if (stat.empty())
        return false;
    std::array<char, 4096> commandText;
    row.pid = pid;
    return parseSwRun(stat, readSmallFile(folder + "/cmdline", commandText), row);
}
