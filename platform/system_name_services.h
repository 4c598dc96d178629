#pragma once
// The system's name services: the host name, reverse look-ups and /etc/services,
// all through the reentrant calls so the scan thread may use them freely.

#include "platform/name_services.h"

#include <bitset>
#include <chrono>
#include <map>
#include <mutex>
#include <utility>

class SystemNameServices final : public NameServices
{
public:
    std::string localHostName() override;
    std::optional<std::string> hostByAddress(std::uint32_t networkOrderAddress) override;
    std::optional<std::string> hostByAddress6(const std::array<std::uint8_t, 16>& address) override;
    // Answers from memory while /etc/services stays unchanged: glibc parses the
    // whole file at every call, which cost more than the rest of a scan.
    std::optional<std::string> serviceByPort(std::uint16_t networkOrderPort, const char* protocol) override;

private:
    void forgetServicesIfChanged(); // m_servicesMutex held

    std::mutex m_servicesMutex;
    std::map<std::pair<std::uint16_t, std::string>, std::optional<std::string>> m_services;
    // Ports without a name, by protocol: a busy machine's ephemeral ports would otherwise
    // fill the map above without bound (one entry each, tens of thousands).
    std::bitset<65536> m_unnamedTcp;
    std::bitset<65536> m_unnamedUdp;
    std::chrono::steady_clock::time_point m_servicesCheckedAt {};
    std::pair<long long, long long> m_servicesStamp { -1, -1 }; // modification time (ns) and size
};
