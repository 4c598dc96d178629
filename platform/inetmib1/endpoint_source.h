#pragma once
// Where the agent takes its tables from: the kernel in the module, fixed rows in tests.

#include "platform/inetmib1/mib_rows.h"

#include <cstdint>
#include <optional>
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
};
