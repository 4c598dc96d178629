#include "helper/helper_request.h"

#include "scan/grid_columns.h" // numericEndText: the form the helper reads

#include <arpa/inet.h>

#include <cstring>

namespace {

// Longer than any end or number the forms allow.
constexpr std::size_t argumentLimit = 64;
// The kernel's largest pid (PID_MAX_LIMIT).
constexpr std::uint64_t pidLimit = 4194304;

// Digits only, no sign, no leading zero, at most max.
std::optional<std::uint64_t> decimal(std::string_view text, std::uint64_t max)
{
    if (text.empty() || text.size() > 20 || (text.size() > 1 && text[0] == '0'))
        return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (value > (max - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

std::optional<InetEndpoint> endpoint(std::string_view text)
{
    InetEndpoint end;
    std::string_view address;
    std::string_view port;
    if (text.starts_with('[')) {
        const auto close = text.find("]:");
        if (close == std::string_view::npos)
            return std::nullopt;
        address = text.substr(1, close - 1);
        port = text.substr(close + 2);
        end.type = InetAddressType::Ipv6;
    } else {
        const auto colon = text.find(':');
        if (colon == std::string_view::npos)
            return std::nullopt;
        address = text.substr(0, colon);
        port = text.substr(colon + 1);
        end.type = InetAddressType::Ipv4;
    }
    const std::string addressText(address);
    const int family = end.type == InetAddressType::Ipv6 ? AF_INET6 : AF_INET;
    const auto number = decimal(port, 65535);
    if (inet_pton(family, addressText.c_str(), end.address.data()) != 1 || !number || *number == 0)
        return std::nullopt;
    end.port = static_cast<std::uint16_t>(*number);
    return end;
}

} // namespace

std::optional<HelperRequest> parseHelperRequest(std::span<const std::string_view> arguments)
{
    for (const std::string_view argument : arguments) {
        if (argument.size() > argumentLimit)
            return std::nullopt;
    }
    HelperRequest request;
    if (arguments.size() == 4 && arguments[0] == "close" && arguments[1] == "tcp") {
        const auto local = endpoint(arguments[2]);
        const auto remote = endpoint(arguments[3]);
        if (!local || !remote || local->type != remote->type)
            return std::nullopt;
        request.local = *local;
        request.remote = *remote;
        return request;
    }
    if (arguments.size() == 3 && arguments[0] == "stop") {
        // Never pid 1: ending the system is not a row's business.
        const auto pid = decimal(arguments[1], pidLimit);
        const auto startTime = decimal(arguments[2], UINT64_MAX);
        if (!pid || *pid < 2 || !startTime)
            return std::nullopt;
        request.kind = HelperRequest::Kind::Stop;
        request.pid = static_cast<std::uint32_t>(*pid);
        request.startTime = *startTime;
        return request;
    }
    return std::nullopt;
}

std::vector<std::string> closeHelperArguments(
    const std::string& localAddress, int localPort, const std::string& remoteAddress, int remotePort)
{
    return { "close", "tcp", numericEndText(localAddress, localPort), numericEndText(remoteAddress, remotePort) };
}

std::vector<std::string> stopHelperArguments(std::uint32_t pid, std::uint64_t startTime)
{
    return { "stop", std::to_string(pid), std::to_string(startTime) };
}
