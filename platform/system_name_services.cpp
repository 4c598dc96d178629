#include "platform/system_name_services.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <string_view>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
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

std::optional<std::string> SystemNameServices::hostByAddress6(const std::array<std::uint8_t, 16>& address)
{
    sockaddr_in6 socketAddress {};
    socketAddress.sin6_family = AF_INET6;
    std::memcpy(&socketAddress.sin6_addr, address.data(), address.size());
    char host[NI_MAXHOST];
    const int result = getnameinfo(reinterpret_cast<const sockaddr*>(&socketAddress), sizeof(socketAddress),
        host, sizeof(host), nullptr, 0, NI_NAMEREQD);
    if (result != 0)
        return std::nullopt;
    return std::string(host);
}

namespace {

std::optional<std::string> lookUpService(std::uint16_t networkOrderPort, const char* protocol)
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

} // namespace

void SystemNameServices::forgetServicesIfChanged()
{
    // A stat per second at most keeps an edited services file visible soon after.
    const auto now = std::chrono::steady_clock::now();
    if (now - m_servicesCheckedAt < std::chrono::seconds(1) && m_servicesStamp.first >= 0)
        return;
    m_servicesCheckedAt = now;
    struct stat info {};
    std::pair<long long, long long> stamp { 0, 0 };
    if (stat("/etc/services", &info) == 0)
        stamp = { static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec,
                  static_cast<long long>(info.st_size) };
    if (stamp != m_servicesStamp) {
        m_services.clear();
        m_unnamedTcp.reset();
        m_unnamedUdp.reset();
        m_servicesStamp = stamp;
    }
}

std::optional<std::string> SystemNameServices::serviceByPort(std::uint16_t networkOrderPort, const char* protocol)
{
    std::lock_guard lock(m_servicesMutex);
    forgetServicesIfChanged();
    const std::string_view kind = protocol ? protocol : "";
    std::bitset<65536>* unnamed = kind == "tcp" ? &m_unnamedTcp : kind == "udp" ? &m_unnamedUdp : nullptr;
    if (unnamed && unnamed->test(networkOrderPort))
        return std::nullopt;
    auto key = std::make_pair(networkOrderPort, std::string(kind));
    const auto known = m_services.find(key);
    if (known != m_services.end())
        return known->second;
    std::optional<std::string> name = lookUpService(networkOrderPort, protocol);
    if (!name && unnamed)
        unnamed->set(networkOrderPort);
    else
        m_services.emplace(std::move(key), name);
    return name;
}

NameServices& systemNameServices()
{
    static SystemNameServices services;
    return services;
}
