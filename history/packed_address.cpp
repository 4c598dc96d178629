#include "history/packed_address.h"

#include <arpa/inet.h>

std::string packAddress(std::string_view text)
{
    if (text.empty())
        return {};
    const std::string terminated(text);
    unsigned char bytes[16];
    if (inet_pton(AF_INET, terminated.c_str(), bytes) == 1)
        return std::string(reinterpret_cast<const char*>(bytes), 4);
    if (inet_pton(AF_INET6, terminated.c_str(), bytes) == 1)
        return std::string(reinterpret_cast<const char*>(bytes), 16);
    return terminated;
}

std::string unpackAddress(std::string_view packed)
{
    char text[INET6_ADDRSTRLEN] = {};
    if (packed.size() == 4)
        return inet_ntop(AF_INET, packed.data(), text, sizeof text) ? text : std::string();
    if (packed.size() == 16)
        return inet_ntop(AF_INET6, packed.data(), text, sizeof text) ? text : std::string();
    return std::string(packed);
}
