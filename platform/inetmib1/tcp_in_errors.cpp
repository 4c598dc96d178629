#include "platform/inetmib1/tcp_in_errors.h"

#include <array>
#include <charconv>
#include <fcntl.h>
#include <unistd.h>

namespace {

std::string_view nextLine(std::string_view& text)
{
    const auto end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    return line;
}

std::string_view nextField(std::string_view& line)
{
    while (!line.empty() && line.front() == ' ')
        line.remove_prefix(1);
    const auto end = line.find(' ');
    const std::string_view field = line.substr(0, end);
    line.remove_prefix(end == std::string_view::npos ? line.size() : end);
    return field;
}

} // namespace

std::optional<std::uint32_t> parseTcpInErrors(std::string_view snmpText)
{
    // Each group is a header line of names followed by a line of values, both "Tcp: ...".
    while (!snmpText.empty()) {
        std::string_view header = nextLine(snmpText);
        if (!header.starts_with("Tcp:"))
            continue;
        std::string_view values = nextLine(snmpText);
        if (!values.starts_with("Tcp:"))
            return std::nullopt;
        for (;;) {
            const std::string_view name = nextField(header);
            const std::string_view value = nextField(values);
            if (name.empty() || value.empty())
                return std::nullopt;
            if (name == "InErrs") {
                std::uint64_t number = 0;
                const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
                if (error != std::errc() || end != value.data() + value.size())
                    return std::nullopt;
                return static_cast<std::uint32_t>(number); // Counter32 wraps
            }
        }
    }
    return std::nullopt;
}

std::optional<std::uint32_t> readTcpInErrors()
{
    const int fd = open("/proc/thread-self/net/snmp", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::array<char, 16384> text;
    std::size_t size = 0;
    while (size < text.size()) {
        const ssize_t got = read(fd, text.data() + size, text.size() - size);
        if (got <= 0)
            break;
        size += static_cast<std::size_t>(got);
    }
    close(fd);
    return parseTcpInErrors(std::string_view(text.data(), size));
}
