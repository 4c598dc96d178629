#pragma once
// What veltran-close-helper, run as root by pkexec, takes: exactly one of
//   close tcp LOCAL REMOTE   each end 192.0.2.1:80 or [2001:db8::1]:80, both of one family,
//                            ports 1-65535
//   stop PID STARTTIME       STARTTIME as the 22nd field of /proc/PID/stat
// in plain decimal, and nothing else: it runs with root's rights on a user's word.

#include "platform/inetmib1/inet_rows.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct HelperRequest
{
    enum class Kind
    {
        Close,
        Stop,
    };
    Kind kind = Kind::Close;
    InetEndpoint local {}; // Close
    InetEndpoint remote {};
    std::uint32_t pid = 0; // Stop
    std::uint64_t startTime = 0;
};

// The request the arguments (without the program's name) spell; nullopt for any other form.
std::optional<HelperRequest> parseHelperRequest(std::span<const std::string_view> arguments);

// The arguments that ask the helper to close the connection between two numeric ends.
std::vector<std::string> closeHelperArguments(
    const std::string& localAddress, int localPort, const std::string& remoteAddress, int remotePort);
// The arguments that ask it to stop pid, if it is still the process that started at startTime.
std::vector<std::string> stopHelperArguments(std::uint32_t pid, std::uint64_t startTime);
