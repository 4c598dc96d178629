#pragma once
// Name services that answer from a script: never a real DNS query. Counts every call
// and can take a set time per reverse look-up, as a slow resolver does.

#include "platform/name_services.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

class ScriptedNameServices final : public NameServices
{
public:
    std::string localHostName() override;
    std::optional<std::string> hostByAddress(std::uint32_t networkOrderAddress) override;
    std::optional<std::string> hostByAddress6(const std::array<std::uint8_t, 16>& address) override;
    std::optional<std::string> serviceByPort(std::uint16_t networkOrderPort, const char* protocol) override;
    void addHost6(const std::array<std::uint8_t, 16>& address, std::string name);
    int host6Lookups() const;

    void setLocalName(std::string name);
    void addHost(std::uint32_t networkOrderAddress, std::string name);
    void addService(std::uint16_t hostOrderPort, std::string protocol, std::string name);
    void setLookupDelay(std::chrono::milliseconds delay);
    // Each call for the local computer's name takes this long, as a slow system's does.
    void setLocalNameDelay(std::chrono::milliseconds delay);
    // Look-ups of address block until releaseHeld(), as a resolver that never answers.
    void holdAddress(std::uint32_t networkOrderAddress);
    void releaseHeld();
    int mostInFlight() const; // the most reverse look-ups seen at once

    int hostLookups() const;
    int serviceLookups() const;
    int localNameCalls() const;
    std::vector<std::uint32_t> askedAddresses() const; // in the order asked
    void resetCounts();

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_released;
    std::uint32_t m_held = 0;
    bool m_holding = false;
    int m_inFlight = 0;
    int m_mostInFlight = 0;
    std::string m_localName = "alpha";
    std::map<std::uint32_t, std::string> m_hosts;
    std::map<std::pair<std::uint16_t, std::string>, std::string> m_services;
    std::chrono::milliseconds m_delay { 0 };
    std::chrono::milliseconds m_localNameDelay { 0 };
    std::vector<std::uint32_t> m_asked;
    std::map<std::array<std::uint8_t, 16>, std::string> m_hosts6;
    int m_host6Lookups = 0;
    int m_serviceLookups = 0;
    int m_localNameCalls = 0;
};

// An IPv4 address as the agent delivers it: the bytes in network order.
std::uint32_t ipv4(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d);
