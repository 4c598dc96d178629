#pragma once
// The name services of a computer watched through its SNMP agent: look-ups are made
// here, as for this computer, but the local computer is the agent's, so its sysName.0
// names its own 0.0.0.0, 127.0.0.1, :: and ::1 rows and stands on the map.

#include "platform/name_services.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

class AgentNameServices final : public NameServices
{
public:
    // The agent's name already known (an empty one shows the addresses).
    AgentNameServices(NameServices& services, std::string computerName);
    // The name asked of fetchName (on the scan worker) when first needed; an answer of
    // "" is asked again, but at most once per retryAfter, as each ask may wait for timeouts.
    AgentNameServices(NameServices& services, std::function<std::string()> fetchName,
        std::chrono::milliseconds retryAfter = std::chrono::seconds(10));

    // The agent's name; never the name of the computer this runs on.
    std::string localHostName() override;
    std::optional<std::string> hostByAddress(std::uint32_t networkOrderAddress) override;
    std::optional<std::string> hostByAddress6(const std::array<std::uint8_t, 16>& address) override;
    std::optional<std::string> serviceByPort(std::uint16_t networkOrderPort, const char* protocol) override;

private:
    NameServices& m_services;
    std::function<std::string()> m_fetchName;
    const std::chrono::milliseconds m_retryAfter;
    std::mutex m_mutex;
    std::string m_computerName;
    std::optional<std::chrono::steady_clock::time_point> m_lastAsked;
};
