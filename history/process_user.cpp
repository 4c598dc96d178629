#include "history/process_user.h"

#include <pwd.h>
#include <sys/stat.h>

#include <vector>

std::string processUser(std::uint32_t pid)
{
    struct stat info
    {
    };
    if (pid == 0 || stat(("/proc/" + std::to_string(pid)).c_str(), &info) != 0)
        return {};
    passwd entry {};
    passwd* found = nullptr;
    std::vector<char> buffer(4096);
    if (getpwuid_r(info.st_uid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return std::to_string(info.st_uid);
    return found->pw_name;
}
