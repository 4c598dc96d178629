#include "tests/common/scripted_name_services.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstring>
#include <thread>

std::uint32_t ipv4(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d)
{
    const std::uint8_t bytes[4] { a, b, c, d };
    std::uint32_t address;
    std::memcpy(&address, bytes, sizeof address);
    return address;
}

std::string ScriptedNameServices::localHostName()
{
    std::chrono::milliseconds delay;
    std::string name;
    {
        std::lock_guard lock(m_mutex);
        ++m_localNameCalls;
        delay = m_localNameDelay;
        name = m_localName;
    }
    std::this_thread::sleep_for(delay);
    return name;
}

void ScriptedNameServices::setLocalNameDelay(std::chrono::milliseconds delay)
{
    std::lock_guard lock(m_mutex);
    m_localNameDelay = delay;
}

std::optional<std::string> ScriptedNameServices::hostByAddress(std::uint32_t networkOrderAddress)
{
    std::chrono::milliseconds delay;
    {
        std::unique_lock lock(m_mutex);
        m_asked.push_back(networkOrderAddress);
        delay = m_delay;
        m_mostInFlight = std::max(m_mostInFlight, ++m_inFlight);
        m_released.wait(lock, [&] { return !m_holding || m_held != networkOrderAddress; });
    }
    if (delay.count() > 0)
        std::this_thread::sleep_for(delay);
    std::lock_guard lock(m_mutex);
    --m_inFlight;
    const auto found = m_hosts.find(networkOrderAddress);
    if (found == m_hosts.end())
        return std::nullopt;
    return found->second;
}

std::optional<std::string> ScriptedNameServices::hostByAddress6(const std::array<std::uint8_t, 16>& address)
{
    std::lock_guard lock(m_mutex);
    ++m_host6Lookups;
    const auto found = m_hosts6.find(address);
    if (found == m_hosts6.end())
        return std::nullopt;
    return found->second;
}

void ScriptedNameServices::addHost6(const std::array<std::uint8_t, 16>& address, std::string name)
{
    std::lock_guard lock(m_mutex);
    m_hosts6[address] = std::move(name);
}

int ScriptedNameServices::host6Lookups() const
{
    std::lock_guard lock(m_mutex);
    return m_host6Lookups;
}

std::optional<std::string> ScriptedNameServices::serviceByPort(
    std::uint16_t networkOrderPort, const char* protocol)
{
    std::lock_guard lock(m_mutex);
    ++m_serviceLookups;
    const auto found = m_services.find({ ntohs(networkOrderPort), protocol });
    if (found == m_services.end())
        return std::nullopt;
    return found->second;
}

void ScriptedNameServices::setLocalName(std::string name)
{
    std::lock_guard lock(m_mutex);
    m_localName = std::move(name);
}

void ScriptedNameServices::addHost(std::uint32_t networkOrderAddress, std::string name)
{
    std::lock_guard lock(m_mutex);
    m_hosts[networkOrderAddress] = std::move(name);
}

void ScriptedNameServices::addService(std::uint16_t hostOrderPort, std::string protocol, std::string name)
{
    std::lock_guard lock(m_mutex);
    m_services[{ hostOrderPort, std::move(protocol) }] = std::move(name);
}

void ScriptedNameServices::holdAddress(std::uint32_t networkOrderAddress)
{
    std::lock_guard lock(m_mutex);
    m_held = networkOrderAddress;
    m_holding = true;
}

void ScriptedNameServices::releaseHeld()
{
    {
        std::lock_guard lock(m_mutex);
        m_holding = false;
    }
    m_released.notify_all();
}

int ScriptedNameServices::mostInFlight() const
{
    std::lock_guard lock(m_mutex);
    return m_mostInFlight;
}

void ScriptedNameServices::setLookupDelay(std::chrono::milliseconds delay)
{
    std::lock_guard lock(m_mutex);
    m_delay = delay;
}

int ScriptedNameServices::hostLookups() const
{
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_asked.size());
}

int ScriptedNameServices::serviceLookups() const
{
    std::lock_guard lock(m_mutex);
    return m_serviceLookups;
}

int ScriptedNameServices::localNameCalls() const
{
    std::lock_guard lock(m_mutex);
    return m_localNameCalls;
}

std::vector<std::uint32_t> ScriptedNameServices::askedAddresses() const
{
    std::lock_guard lock(m_mutex);
    return m_asked;
}

void ScriptedNameServices::resetCounts()
{
    std::lock_guard lock(m_mutex);
    m_asked.clear();
    m_serviceLookups = 0;
    m_localNameCalls = 0;
    m_host6Lookups = 0;
}
