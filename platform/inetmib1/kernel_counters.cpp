#include "platform/inetmib1/kernel_counters.h"

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

std::optional<std::uint64_t> parseNumber(std::string_view text)
{
    std::uint64_t number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return number;
}

} // namespace

std::optional<std::uint64_t> parseSnmpCounter(
    std::string_view snmpText, std::string_view group, std::string_view name)
{
    // Each group is a header line of names followed by a line of values, both "Group: ...".
    const std::string_view prefix = group;
    while (!snmpText.empty()) {
        std::string_view header = nextLine(snmpText);
        if (!header.starts_with(prefix) || header.substr(prefix.size(), 1) != ":")
            continue;
        std::string_view values = nextLine(snmpText);
        if (values.substr(0, prefix.size() + 1) != header.substr(0, prefix.size() + 1))
            return std::nullopt;
        for (;;) {
            const std::string_view field = nextField(header);
            const std::string_view value = nextField(values);
            if (field.empty() || value.empty())
                return std::nullopt;
            if (field == name)
                return parseNumber(value);
        }
    }
    return std::nullopt;
}

std::optional<std::uint64_t> parseSnmp6Counter(std::string_view snmp6Text, std::string_view name)
{
    while (!snmp6Text.empty()) {
        std::string_view line = nextLine(snmp6Text);
        if (!line.starts_with(name)
            || (line.size() > name.size() && line[name.size()] != ' ' && line[name.size()] != '\t'))
            continue;
        line.remove_prefix(name.size());
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
            line.remove_prefix(1);
        return parseNumber(line);
    }
    return std::nullopt;
}

std::optional<std::uint32_t> parseTcpInErrors(std::string_view snmpText)
{
    const auto errors = parseSnmpCounter(snmpText, "Tcp", "InErrs");
    if (!errors)
        return std::nullopt;
    return static_cast<std::uint32_t>(*errors); // Counter32 wraps
}

namespace {

// The whole of a small /proc file into text; false when it cannot be read.
bool readSmallFile(const char* path, std::array<char, 16384>& text, std::string_view& read)
{
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    std::size_t size = 0;
    while (size < text.size()) {
        const ssize_t got = ::read(fd, text.data() + size, text.size() - size);
        if (got <= 0)
            break;
        size += static_cast<std::size_t>(got);
    }
    close(fd);
    read = std::string_view(text.data(), size);
    return true;
}

} // namespace

std::optional<std::uint32_t> readTcpInErrors()
{
    std::array<char, 16384> text;
    std::string_view read;
    if (!readSmallFile("/proc/thread-self/net/snmp", text, read))
        return std::nullopt;
    return parseTcpInErrors(read);
}

namespace {

// Two counters of one group of /proc/net/snmp, both or none; text keeps the file.
std::optional<InOutCounts> readInOut(
    std::string_view group, std::string_view in, std::string_view out, std::array<char, 16384>& text)
{
    std::string_view read;
    if (!readSmallFile("/proc/thread-self/net/snmp", text, read))
        return std::nullopt;
    const auto inCount = parseSnmpCounter(read, group, in);
    const auto outCount = parseSnmpCounter(read, group, out);
    if (!inCount || !outCount)
        return std::nullopt;
    return InOutCounts { *inCount, *outCount };
}

} // namespace

std::optional<TcpSegments> readTcpSegments()
{
    std::array<char, 16384> text;
    return readInOut("Tcp", "InSegs", "OutSegs", text);
}

std::optional<UdpDatagrams> readUdpDatagrams()
{
    std::array<char, 16384> text;
    std::optional<UdpDatagrams> datagrams = readInOut("Udp", "InDatagrams", "OutDatagrams", text);
    if (!datagrams)
        return std::nullopt;
    // A kernel without IPv6 has no snmp6: its IPv4 counts are the whole.
    std::string_view read;
    if (readSmallFile("/proc/thread-self/net/snmp6", text, read)) {
        datagrams->in += parseSnmp6Counter(read, "Udp6InDatagrams").value_or(0);
        datagrams->out += parseSnmp6Counter(read, "Udp6OutDatagrams").value_or(0);
    }
    return datagrams;
}
