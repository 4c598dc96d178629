#pragma once
// The system's name services: the host name, reverse look-ups and /etc/services,
// all through the reentrant calls so the scan thread may use them freely.

#include "platform/name_services.h"

class SystemNameServices final : public NameServices
{
public:
    std::string localHostName() override;
    std::optional<std::string> hostByAddress(std::uint32_t networkOrderAddress) override;
    std::optional<std::string> serviceByPort(std::uint16_t networkOrderPort, const char* protocol) override;
};
