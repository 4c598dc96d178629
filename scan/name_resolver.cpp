#include "scan/name_resolver.h"

#include "platform/name_services.h"
#include "scan/inet_endpoints.h"
#include "scan/name_text.h"
#include "scan/options.h"
#include "scan/utf8_cut.h"

#include <arpa/inet.h>
#include <charconv>
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

NameResolver::NameResolver(NameServices& services, std::chrono::milliseconds rowsWithin)
    : m_prefetch(services, NamePrefetch::kTimeLimit, rowsWithin)
    , m_services(m_prefetch)
{
}

void NameResolver::useOptions(const Options& options)
{
    m_lookupHostNames = options.lookupHostNames;
    m_lookupPortNames = options.lookupPortNames;
    m_cacheDns = options.cacheDns;
    m_scanLocalName.reset();
}

void NameResolver::prefetchHostNames(const std::vector<HostQuery>& queries)
{
    if (!m_lookupHostNames || !m_cacheDns)
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
    // to_chars, not snprintf: a large table formats tens of thousands of these a scan.
    char text[16];
    char* end = text;
    for (int i = 0; i < 4; ++i) {
        if (i > 0)
            *end++ = '.';
        end = std::to_chars(end, text + sizeof text, bytes[i]).ptr;
    }
    return std::string(text, end);
}

std::string NameResolver::resolvePortName(std::int32_t portNumber, const char* protocolName)
{
    if (m_lookupPortNames) {
        const auto port = htons(static_cast<std::uint16_t>(portNumber));
        if (const auto name = m_services.serviceByPort(port, protocolName)) {
            if (auto text = visibleName(*name, kMaxRowText))
                return std::move(*text);
        }
    }
    return std::to_string(portNumber);
}

namespace {

using Address6 = std::array<std::uint8_t, 16>;

// What tells the two families apart; the rules themselves are one.
std::string numericText(std::uint32_t address)
{
    return NameResolver::dottedQuad(address);
}

std::string numericText(const Address6& address)
{
    return ipv6Text(address);
}

bool isAnyAddress(std::uint32_t address)
{
    return address == 0;
}

bool isAnyAddress(const Address6& address)
{
    return address == Address6 {};
}

bool isLoopbackAddress(std::uint32_t address)
{
    return address == addressFromBytes(127, 0, 0, 1);
}

bool isPending(const NamePrefetch& prefetch, std::uint32_t address)
{
    return prefetch.pending(address);
}

bool isPending(const NamePrefetch&, const Address6&)
{
    return false; // IPv6 names are not looked up ahead
}

bool isLoopbackAddress(const Address6& address)
{
    return address == Address6 { 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1 };
}

std::optional<std::string> lookUp(NameServices& services, std::uint32_t address)
{
    return services.hostByAddress(address);
}

std::optional<std::string> lookUp(NameServices& services, const Address6& address)
{
    return services.hostByAddress6(address);
}

} // namespace

std::string NameResolver::resolveHostName(bool isLocal, std::uint32_t address)
{
    return resolve(isLocal, address);
}

std::string NameResolver::resolveHostName(bool isLocal, const std::array<std::uint8_t, 16>& address)
{
    return resolve(isLocal, address);
}

template <typename Address> std::string NameResolver::resolve(bool isLocal, const Address& address)
{
    std::string localName;
    if (isLocal) {
        if (!m_scanLocalName) {
            m_scanLocalName = m_services.localHostName();
            setLocalComputerName(safeNameText(*m_scanLocalName, kMaxComputerName));
        }
        localName = *m_scanLocalName;
    }
    if (!m_lookupHostNames)
        return numericText(address);

    if (m_cacheDns) {
        if (const char* cached = m_cache.find(address))
            return cut(cached, kMaxRowText);
    }
    // Still being looked up: the numbers for now, and nothing cached, so the name shows
    // in the scan after it has come.
    if (isPending(m_prefetch, address))
        return numericText(address);
    std::string text = cut(produceHostText(isLocal, address, localName), kMaxRowText);
    if (m_cacheDns)
        m_cache.store(address, text.c_str());
    return text;
}

template <typename Address>
std::string NameResolver::produceHostText(bool isLocal, const Address& address, const std::string& localName)
{
    // The wildcard and loopback addresses are this computer; a remote end there is not looked up.
    std::optional<std::string> name;
    if (isAnyAddress(address) || isLoopbackAddress(address)) {
        if (!isLocal)
            return isAnyAddress(address) ? numericText(address) : std::string("localhost");
        name = localName;
    } else {
        name = lookUp(m_services, address);
    }
    if (name) {
        if (auto text = visibleName(*name, kMaxRowText))
            return std::move(*text);
    }
    return numericText(address);
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
