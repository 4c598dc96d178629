#include "platform/winsock.h"

#include <cstring>
#include <ctime>

namespace {

constexpr WORD highestVersion = MAKEWORD(2, 2);

unsigned major(WORD version)
{
    return version & 0xFFu;
}
unsigned minor(WORD version)
{
    return version >> 8;
}

} // namespace

int WSAStartup(WORD versionRequested, WSADATA* data)
{
    if (!data)
        return WSAEFAULT;
    std::memset(data, 0, sizeof(*data));
    data->wHighVersion = highestVersion;
    if (major(versionRequested) == 0) {
        data->wVersion = highestVersion;
        return WSAVERNOTSUPPORTED;
    }
    // A request above what we offer gets the highest we have, as the platform answers.
    const bool above
        = major(versionRequested) > 2 || (major(versionRequested) == 2 && minor(versionRequested) > 2);
    data->wVersion = above ? highestVersion : versionRequested;
    std::strcpy(data->szDescription, "Linux sockets");
    std::strcpy(data->szSystemStatus, "Running");
    data->iMaxSockets = 0xFFFF;
    data->iMaxUdpDg = 0;
    return 0;
}

int WSACleanup()
{
    return 0;
}

std::uint32_t GetTickCount()
{
    // Boot time counts suspended periods too, like the platform's tick count.
    timespec now {};
    clock_gettime(CLOCK_BOOTTIME, &now);
    const auto ms
        = static_cast<std::uint64_t>(now.tv_sec) * 1000u + static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(ms);
}
