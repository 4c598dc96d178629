#pragma once
// The name services the resolvers rely on: the local computer's name, the reverse
// look-up of an IPv4 or IPv6 address and the service name of a port.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

class NameServices
{
public:
    virtual ~NameServices() = default;
    // gethostname: the local computer's name.
    virtual std::string localHostName() = 0;
    // gethostbyaddr for AF_INET: the official name of the address (network byte order), if any.
    virtual std::optional<std::string> hostByAddress(std::uint32_t networkOrderAddress) = 0;
    // getnameinfo for AF_INET6 with NI_NAMEREQD: the name of the 16-octet address, if any.
    virtual std::optional<std::string> hostByAddress6(const std::array<std::uint8_t, 16>& address) = 0;
    // getservbyport: the official service name of the port (network byte order) for "tcp"/"udp".
    virtual std::optional<std::string> serviceByPort(std::uint16_t networkOrderPort, const char* protocol)
        = 0;
};

// The system's services; thread-safe (no static result storage is shared).
NameServices& systemNameServices();
