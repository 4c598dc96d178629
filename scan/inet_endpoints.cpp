#include "scan/inet_endpoints.h"

#include <algorithm>
#include <arpa/inet.h>
#include <charconv>
#include <cstring>
#include <tuple>

namespace {

// InetAddressType, then the InetAddress as its length and octets; false past the index's end
// or for a length that does not fit the type.
bool readAddress(std::span<const std::uint32_t>& index, int& type, Ipv6Address& address)
{
    if (index.size() < 2)
        return false;
    type = static_cast<int>(index[0]);
    const std::uint32_t length = index[1];
    const std::uint32_t expected = type == 1 ? 4 : type == 2 ? 16 : 0;
    if ((type != 0 && type != 1 && type != 2) || length != expected || index.size() < 2 + length)
        return false;
    address.fill(0);
    for (std::uint32_t i = 0; i < length; ++i) {
        if (index[2 + i] > 255)
            return false;
        address[i] = static_cast<std::uint8_t>(index[2 + i]);
    }
    index = index.subspan(2 + length);
    return true;
}

bool readPort(std::span<const std::uint32_t>& index, std::uint16_t& port)
{
    if (index.empty() || index[0] > 65535)
        return false;
    port = static_cast<std::uint16_t>(index[0]);
    index = index.subspan(1);
    return true;
}

} // namespace

bool decodeTcpConnectionIndex(std::span<const std::uint32_t> index, InetEndpointRecord& record)
{
    return readAddress(index, record.localType, record.localAddress) && readPort(index, record.localPort)
        && readAddress(index, record.remoteType, record.remoteAddress) && readPort(index, record.remotePort)
        && index.empty();
}

namespace {

// An address of 16 octets without a length, as the older IPv6 tables index them.
bool readFixedAddress(std::span<const std::uint32_t>& index, Ipv6Address& address)
{
    if (index.size() < address.size())
        return false;
    for (std::size_t i = 0; i < address.size(); ++i) {
        if (index[i] > 255)
            return false;
        address[i] = static_cast<std::uint8_t>(index[i]);
    }
    index = index.subspan(address.size());
    return true;
}

} // namespace

bool decodeIpv6TcpConnIndex(std::span<const std::uint32_t> index, InetEndpointRecord& record)
{
    // The interface comes last.
    record.localType = record.remoteType = 2;
    return readFixedAddress(index, record.localAddress) && readPort(index, record.localPort)
        && readFixedAddress(index, record.remoteAddress) && readPort(index, record.remotePort)
        && index.size() == 1;
}

bool decodeIpv6UdpIndex(std::span<const std::uint32_t> index, InetEndpointRecord& record)
{
    record.localType = record.remoteType = 2;
    record.remoteAddress.fill(0);
    record.remotePort = 0;
    return readFixedAddress(index, record.localAddress) && readPort(index, record.localPort)
        && index.size() == 1;
}

bool decodeTcpListenerIndex(std::span<const std::uint32_t> index, InetEndpointRecord& record)
{
    record.stateValue = 2; // listen
    record.remoteType = 0;
    record.remoteAddress.fill(0);
    record.remotePort = 0;
    return readAddress(index, record.localType, record.localAddress) && readPort(index, record.localPort)
        && index.empty();
}

bool decodeUdpEndpointIndex(std::span<const std::uint32_t> index, InetEndpointRecord& record)
{
    // The last sub-identifier is the instance, which only tells sockets of one address apart.
    return readAddress(index, record.localType, record.localAddress) && readPort(index, record.localPort)
        && readAddress(index, record.remoteType, record.remoteAddress) && readPort(index, record.remotePort)
        && index.size() == 1;
}

bool isIpv4Mapped(const Ipv6Address& address)
{
    static constexpr std::uint8_t prefix[12] { 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff };
    return std::memcmp(address.data(), prefix, sizeof prefix) == 0;
}

bool isPureIpv6(const InetEndpointRecord& record)
{
    return record.localType == 2 && !isIpv4Mapped(record.localAddress);
}

std::uint32_t ipv4Of(int type, const Ipv6Address& address)
{
    std::uint32_t result = 0;
    if (type == 1)
        std::memcpy(&result, address.data(), 4);
    else if (type == 2 && isIpv4Mapped(address))
        std::memcpy(&result, address.data() + 12, 4);
    return result;
}

// inet_ntop's text, written here: glibc's formats each group through sprintf, a third of a
// large scan's own time. The longest run of two or more zero groups (the first of equals)
// becomes "::", and an IPv4-mapped or -compatible address ends in its dotted quad.
std::string ipv6Text(const Ipv6Address& address)
{
    std::array<std::uint16_t, 8> groups {};
    for (std::size_t i = 0; i < groups.size(); ++i)
        groups[i] = static_cast<std::uint16_t>(address[2 * i] << 8 | address[2 * i + 1]);
    int zerosFrom = -1;
    int zeros = 0;
    for (int i = 0; i < 8;) {
        int run = 0;
        while (i + run < 8 && groups[i + run] == 0)
            ++run;
        if (run > zeros && run >= 2) {
            zerosFrom = i;
            zeros = run;
        }
        i += run > 0 ? run : 1;
    }
    char text[INET6_ADDRSTRLEN];
    char* out = text;
    char* const end = text + sizeof text;
    for (int i = 0; i < 8; ++i) {
        if (i == zerosFrom) {
            *out++ = ':';
            i += zeros - 1;
            if (i == 7)
                *out++ = ':';
            continue;
        }
        if (i > 0)
            *out++ = ':';
        if (i == 6 && zerosFrom == 0 && (zeros == 6 || (zeros == 5 && groups[5] == 0xffff))) {
            for (int octet = 12; octet < 16; ++octet) {
                out = std::to_chars(out, end, address[octet]).ptr;
                if (octet < 15)
                    *out++ = '.';
            }
            break;
        }
        out = std::to_chars(out, end, groups[i], 16).ptr;
    }
    return std::string(text, out);
}

bool ProcessIndex::Key::operator<(const Key& other) const
{
    return std::tie(local, localPort, remote, remotePort)
        < std::tie(other.local, other.localPort, other.remote, other.remotePort);
}

void ProcessIndex::setProcesses(std::vector<ProcessRecord> processes)
{
    m_processes = std::move(processes);
    std::sort(m_processes.begin(), m_processes.end(),
        [](const ProcessRecord& a, const ProcessRecord& b) { return a.pid < b.pid; });
    m_commandLines.assign(m_processes.size(), {});
    for (std::size_t i = 0; i < m_processes.size(); ++i) {
        const ProcessRecord& process = m_processes[i];
        if (!process.path.empty())
            m_commandLines[i].assign(
                process.parameters.empty() ? process.path : process.path + ' ' + process.parameters);
    }
}

void ProcessIndex::add(
    std::vector<std::pair<Key, std::uint32_t>>& into, const std::vector<InetEndpointRecord>& records)
{
    for (const InetEndpointRecord& record : records) {
        // Only the ends the IPv4 walks show: IPv4, IPv4-mapped and the dual-stack wildcard.
        if (isPureIpv6(record) || (record.remoteType == 2 && !isIpv4Mapped(record.remoteAddress)))
            continue;
        into.push_back({ { ipv4Of(record.localType, record.localAddress), record.localPort,
                             ipv4Of(record.remoteType, record.remoteAddress), record.remotePort },
            record.pid });
    }
    // Several sockets on one address (SO_REUSEPORT): the first with a known owner answers.
    std::stable_sort(into.begin(), into.end(), [](const auto& a, const auto& b) {
        if (a.first < b.first || b.first < a.first)
            return a.first < b.first;
        return a.second != 0 && b.second == 0;
    });
}

void ProcessIndex::addTcp(const std::vector<InetEndpointRecord>& records)
{
    add(m_tcp, records);
}

void ProcessIndex::addUdp(const std::vector<InetEndpointRecord>& records)
{
    add(m_udp, records);
}

std::uint32_t ProcessIndex::find(const std::vector<std::pair<Key, std::uint32_t>>& in, const Key& key)
{
    const auto found = std::lower_bound(
        in.begin(), in.end(), key, [](const auto& entry, const Key& k) { return entry.first < k; });
    if (found == in.end() || key < found->first)
        return 0;
    return found->second;
}

std::uint32_t ProcessIndex::tcpOwner(
    std::uint32_t local, int localPort, std::uint32_t remote, int remotePort) const
{
    return find(m_tcp, { local, localPort, remote, remotePort });
}

std::uint32_t ProcessIndex::udpOwner(std::uint32_t local, int localPort) const
{
    // The IPv4 walk does not tell a connected UDP socket's remote end: any remote end matches.
    const auto found = std::lower_bound(m_udp.begin(), m_udp.end(), Key { local, localPort, 0, 0 },
        [](const auto& entry, const Key& k) { return entry.first < k; });
    for (auto it = found; it != m_udp.end() && it->first.local == local && it->first.localPort == localPort;
         ++it) {
        if (it->second != 0)
            return it->second;
    }
    return 0;
}

const SharedText<512>& ProcessIndex::commandLine(const ProcessRecord* process) const
{
    static const SharedText<512> none;
    return process ? m_commandLines[std::size_t(process - m_processes.data())] : none;
}

const ProcessRecord* ProcessIndex::process(std::uint32_t pid) const
{
    const auto found = std::lower_bound(m_processes.begin(), m_processes.end(), pid,
        [](const ProcessRecord& record, std::uint32_t p) { return record.pid < p; });
    return found != m_processes.end() && found->pid == pid ? &*found : nullptr;
}
