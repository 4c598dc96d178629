#include "scan/agent_name_services.h"

AgentNameServices::AgentNameServices(NameServices& services, std::string computerName)
    : m_services(services)
    , m_retryAfter(0)
    , m_computerName(std::move(computerName))
{
}

AgentNameServices::AgentNameServices(
    NameServices& services, std::function<std::string()> fetchName, std::chrono::milliseconds retryAfter)
    : m_services(services)
    , m_fetchName(std::move(fetchName))
    , m_retryAfter(retryAfter)
{
}

std::string AgentNameServices::localHostName()
{
    std::lock_guard lock(m_mutex);
    if (!m_computerName.empty() || !m_fetchName)
        return m_computerName;
    // Every local address of a scan asks for the name: an agent that does not answer
    // must not cost one timeout per row.
    const auto now = std::chrono::steady_clock::now();
    if (m_lastAsked && now - *m_lastAsked < m_retryAfter)
        return m_computerName;
    m_lastAsked = now;
    m_computerName = m_fetchName();
    return m_computerName;
}

std::optional<std::string> AgentNameServices::hostByAddress(std::uint32_t networkOrderAddress)
{
    return m_services.hostByAddress(networkOrderAddress);
}

std::optional<std::string> AgentNameServices::hostByAddress6(const std::array<std::uint8_t, 16>& address)
{
    return m_services.hostByAddress6(address);
}

std::optional<std::string> AgentNameServices::serviceByPort(
    std::uint16_t networkOrderPort, const char* protocol)
{
    return m_services.serviceByPort(networkOrderPort, protocol);
}
