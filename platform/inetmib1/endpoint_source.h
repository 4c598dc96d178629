#pragma once
// Where the agent takes its tables from: the kernel in the module, fixed rows in tests.

#include "platform/inetmib1/inet_rows.h"
#include "platform/inetmib1/mib_rows.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

class EndpointSource
{
public:
    virtual ~EndpointSource() = default;
    // Replaces rows with the current TCP connections and listeners, in any order; false on failure.
    virtual bool readTcp(std::vector<TcpConnRow>& rows) = 0;
    // Replaces rows with the current UDP endpoints, in any order; false on failure.
    virtual bool readUdp(std::vector<UdpRow>& rows) = 0;
    // tcpInErrs: segments received in error since boot, if readable.
    virtual std::optional<std::uint32_t> tcpInErrors() = 0;

    // The same for the tables of both families that name the owning process.
    virtual bool readTcpConnections(std::vector<TcpConnectionRow>& rows) = 0;
    virtual bool readTcpListeners(std::vector<TcpListenerRow>& rows) = 0;
    virtual bool readUdpEndpoints(std::vector<UdpEndpointRow>& rows) = 0;
    // The processes among pids that still run; false only when none could be looked at.
    virtual bool readSwRun(std::span<const std::uint32_t> pids, std::vector<SwRunRow>& rows) = 0;
};
