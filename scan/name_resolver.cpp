#include "scan/name_resolver.h"

#include "platform/name_services.h"
#include "scan/inet_endpoints.h"
#include "scan/name_text.h"
#include "scan/settings.h"
#include "scan/utf8_cut.h"

#include <arpa/inet.h>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string_view>

namespace {

std::uint32_t addressFromBytes(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d)
{
    const std::uint8_t bytes[4] { a, b, c, d };
    std::uint32_t address;
    static_assert(sizeof address == sizeof bytes);
    std::memcpy(&address, bytes, sizeof address);
    return address;
}

std::string cut(std::string_view text, std::size_t length)
{
    return std::string(utf8Prefix(text, length));
}

// A name from outside as a row shows it, or nothing when it would show as an empty cell.
std::optional<std::string> visibleName(std::string_view name, std::size_t length)
{
    std::string text = safeNameText(name, length);
    if (isInvisibleText(text))
        return std::nullopt;
    return text;
}

} // namespace

NameResolver::NameResolver(const Settings& settings, NameServices& services)
    : m_settings(settings)
    , m_prefetch(services)
    , m_services(m_prefetch)
{
}

void NameResolver::prefetchHostNames(const std::vector<HostQuery>& queries)
{
    if (!m_settings.lookupHostNames() || !m_settings.cacheDns())
        return;
    static const std::uint32_t loopback = addressFromBytes(127, 0, 0, 1);
    std::vector<std::uint32_t> addresses;
    for (const HostQuery& query : queries) {
        // The same tests resolveHostName makes before it asks the system.
        if (query.address == 0 || query.address == loopback || m_cache.find(query.address))
            continue;
        addresses.push_back(query.address);
    }
    m_prefetch.prefetch(addresses);
}

std::string NameResolver::dottedQuad(std::uint32_t networkOrderAddress)
{
    // The first byte in memory is the first number, whatever the host's byte order.
    unsigned char bytes[4];
    std::memcpy(bytes, &networkOrderAddress, sizeof bytes);
    char text[16];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", bytes[0], bytes[1], bytes[2], bytes[3]);
    return text;
}

std::string NameResolver::resolvePortName(std::int32_t portNumber, const char* protocolName)
{
    if (m_settings.lookupPortNames()) {
        const auto port = htons(static_cast<std::uint16_t>(portNumber));
        if (const auto name = m_services.serviceByPort(port, protocolName)) {
            if (auto text = visibleName(*name, kMaxRowText))
                return std::move(*text);
        }
    }
    return std::to_string(portNumber);
}

std::string NameResolver::resolveHostName(bool isLocal, std::uint32_t address)
{
    std::string localName;
    if (isLocal) {
        localName = m_services.localHostName();
        setLocalComputerName(safeNameText(localName, kMaxComputerName));
    }
    if (!m_settings.lookupHostNames())
        return dottedQuad(address);

    if (m_settings.cacheDns()) {
        if (const char* cached = m_cache.find(address))
            return cut(cached, kMaxRowText);
    }
    std::string text = cut(produceHostText(isLocal, address, localName), kMaxRowText);
    if (m_settings.cacheDns())
        m_cache.store(address, text.c_str());
    return text;
}

std::string NameResolver::produceHostText(bool isLocal, std::uint32_t address, const std::string& localName)
{
    static const std::uint32_t loopback = addressFromBytes(127, 0, 0, 1);
    std::optional<std::string> name;
    if (address == 0 || address == loopback) {
        if (!isLocal)
            return address == 0 ? dottedQuad(address) : std::string("localhost");
        name = localName;
    } else {
        name = m_services.hostByAddress(address);
    }
    if (name) {
        if (auto text = visibleName(*name, kMaxRowText))
            return std::move(*text);
    }
    return dottedQuad(address);
}

std::string NameResolver::resolveHostName(bool isLocal, const std::array<std::uint8_t, 16>& address)
{
    std::string localName;
    if (isLocal) {
        localName = m_services.localHostName();
        setLocalComputerName(safeNameText(localName, kMaxComputerName));
    }
    if (!m_settings.lookupHostNames())
        return ipv6Text(address);
    if (m_settings.cacheDns()) {
        if (const char* cached = m_cache.find(address))
            return cut(cached, kMaxRowText);
    }
    std::string text = cut(produceHostText(isLocal, address, localName), kMaxRowText);
    if (m_settings.cacheDns())
        m_cache.store(address, text.c_str());
    return text;
}

std::string NameResolver::produceHostText(
    bool isLocal, const std::array<std::uint8_t, 16>& address, const std::string& localName)
{
    static constexpr std::array<std::uint8_t, 16> any {};
    static constexpr std::array<std::uint8_t, 16> loopback { 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1 };
    std::optional<std::string> name;
    if (address == any || address == loopback) {
        if (!isLocal)
            return address == any ? ipv6Text(address) : std::string("localhost");
        name = localName;
    } else {
        name = m_services.hostByAddress6(address);
    }
    if (name) {
        if (auto text = visibleName(*name, kMaxRowText))
            return std::move(*text);
    }
    return ipv6Text(address);
}

std::string NameResolver::localComputerName() const
{
    std::lock_guard lock(m_nameMutex);
    return m_localComputerName;
}

void NameResolver::setLocalComputerName(const std::string& name)
{
    std::lock_guard lock(m_nameMutex);
    m_localComputerName = name;
}
