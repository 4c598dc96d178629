#include "platform/system_name_services.h"

#include <cerrno>
#include <climits>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

std::string SystemNameServices::localHostName()
{
    char name[HOST_NAME_MAX + 1] = {};
    if (gethostname(name, sizeof(name) - 1) != 0)
        return {};
    return name;
}

std::optional<std::string> SystemNameServices::hostByAddress(std::uint32_t networkOrderAddress)
{
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = networkOrderAddress;
    char host[NI_MAXHOST];
    // NI_NAMEREQD: an address without a name is a miss, not its own dotted text.
    const int result = getnameinfo(reinterpret_cast<const sockaddr*>(&address), sizeof(address), host,
        sizeof(host), nullptr, 0, NI_NAMEREQD);
    if (result != 0)
        return std::nullopt;
    return std::string(host);
}

std::optional<std::string> SystemNameServices::serviceByPort(
    std::uint16_t networkOrderPort, const char* protocol)
{
    servent entry {};
    servent* found = nullptr;
    std::vector<char> buffer(1024);
    for (;;) {
        const int result
            = getservbyport_r(networkOrderPort, protocol, &entry, buffer.data(), buffer.size(), &found);
        if (result == ERANGE && buffer.size() < 1024 * 1024) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (result != 0 || !found || !found->s_name)
            return std::nullopt;
        return std::string(found->s_name);
    }
}

NameServices& systemNameServices()
{
    static SystemNameServices services;
    return services;
}
