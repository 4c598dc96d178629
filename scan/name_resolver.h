#pragma once
// Host and port names for the scan's rows: reverse look-ups through the host-name
// cache, service names, and the local computer's name for the map. Resolution runs
// on the scan worker only; localComputerName() may be read from any thread.

#include "scan/host_name_cache.h"
#include "scan/name_prefetch.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class NameServices;
struct Options;

// One host-text request of a scan: resolveHostName's arguments.
struct HostQuery
{
    bool isLocal;
    std::uint32_t address; // network order
};

class NameResolver
{
public:
    static constexpr std::size_t kMaxRowText = 254; // a row field with its terminator
    static constexpr std::size_t kMaxComputerName = 200;

    // A scan's rows wait for pending reverse look-ups rowsWithin at most; an address whose
    // name has not come by then is shown in numbers, and not cached, until it has.
    explicit NameResolver(
        NameServices& services, std::chrono::milliseconds rowsWithin = NamePrefetch::kTimeLimit);
    // Called on a worker thread once the names a scan had to show as addresses have come.
    void setOnLateNames(std::function<void()> callback) { m_prefetch.setOnLateAnswers(std::move(callback)); }

    // The look-up options of the scan that runs: the ones it took at its start. A new scan
    // also asks the computer's name again, once.
    void useOptions(const Options& options);

    // The host text for an address in network order: a name or a dotted quad. The first
    // local address of a scan refreshes localComputerName, whatever the options. Names are made
    // safe to show; one that would show nothing gives the dotted quad.
    std::string resolveHostName(bool isLocal, std::uint32_t address);
    // The same for an IPv6 address: a name or the compressed text; "::" and "::1" as
    // 0.0.0.0 and 127.0.0.1.
    std::string resolveHostName(bool isLocal, const std::array<std::uint8_t, 16>& address);
    // Looks up at once, many at a time, the addresses that resolveHostName would ask the
    // system for (in the same calls, in the same order); nothing with the cache off, where
    // every row asks the system again as it always has.
    void prefetchHostNames(const std::vector<HostQuery>& queries);
    // The service name of a port (host order) for "tcp" or "udp", made safe to show, or the
    // port in decimal.
    std::string resolvePortName(std::int32_t portNumber, const char* protocolName);

    // The name the system last gave for the local computer; empty before the first local address.
    std::string localComputerName() const;
    const HostNameCache& cache() const { return m_cache; }

    // "%d.%d.%d.%d" of the address bytes, first byte first.
    static std::string dottedQuad(std::uint32_t networkOrderAddress);

private:
    template <typename Address> std::string resolve(bool isLocal, const Address& address);
    template <typename Address>
    std::string produceHostText(bool isLocal, const Address& address, const std::string& localName);
    void setLocalComputerName(const std::string& name); // already safe and cut

    // Until a scan gives its own, every look-up is on, as by default.
    bool m_lookupHostNames = true;
    bool m_lookupPortNames = true;
    bool m_cacheDns = true;
    NamePrefetch m_prefetch;
    NameServices& m_services; // the prefetch, in front of the system's services
    HostNameCache m_cache;
    mutable std::mutex m_nameMutex; // the map reads the name from the GUI thread
    std::string m_localComputerName;
    // This scan's answer of the system, asked at its first local row rather than at every
    // one (two system calls per row: 40,000 at 20,000 rows).
    std::optional<std::string> m_scanLocalName;
};
