#include "platform/inetmib1/sock_diag_reader.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/sock_diag.h>
#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// NLMSG_OK of <linux/netlink.h> without its mix of signed and unsigned, which clang
// warns of inside the macro and GCC does not: the header and the whole message fit.
bool messageFits(const nlmsghdr* header, int remaining)
{
    return remaining >= static_cast<int>(sizeof(nlmsghdr)) && header->nlmsg_len >= sizeof(nlmsghdr)
        && header->nlmsg_len <= static_cast<unsigned>(remaining);
}

constexpr int receiveBufferBytes = 1 << 20;
// The kernel fills at most 32 KiB per dump batch; twice that never truncates.
constexpr std::size_t readChunkBytes = std::size_t { 64 } * 1024;
constexpr int maxDumpAttempts = 3;
// Every state, but not TCP sockets that are merely bound (state 13): they are neither
// connections nor listeners, and no connection table lists them.
constexpr std::uint32_t allStatesButBoundInactive = ~(1u << 13);

struct Endpoint
{
    std::uint32_t localAddress;
    std::uint32_t remoteAddress;
};

bool isV4Mapped(const __be32* address)
{
    return address[0] == 0 && address[1] == 0 && address[2] == htonl(0xFFFF);
}

bool isAny(const __be32* address)
{
    return address[0] == 0 && address[1] == 0 && address[2] == 0 && address[3] == 0;
}

// The IPv6-only flag the kernel attaches to listening and unconnected sockets; without it
// the socket follows the system default, which is dual-stack.
bool isV6Only(const nlmsghdr* header)
{
    const auto* attribute = reinterpret_cast<const rtattr*>(
        reinterpret_cast<const char*>(NLMSG_DATA(header)) + NLMSG_ALIGN(sizeof(inet_diag_msg)));
    int length = static_cast<int>(header->nlmsg_len) - static_cast<int>(NLMSG_LENGTH(sizeof(inet_diag_msg)));
    for (; RTA_OK(attribute, length); attribute = RTA_NEXT(attribute, length)) {
        if (attribute->rta_type == INET_DIAG_SKV6ONLY && RTA_PAYLOAD(attribute) >= 1)
            return *static_cast<const std::uint8_t*>(RTA_DATA(attribute)) != 0;
    }
    return false;
}

// The socket's tcp_info, zero where the kernel sends none (TIME_WAIT, requests) and in the
// fields an older kernel's shorter struct lacks.
TcpCounters tcpCounters(const nlmsghdr* header)
{
    tcp_info info {};
    const auto* attribute = reinterpret_cast<const rtattr*>(
        reinterpret_cast<const char*>(NLMSG_DATA(header)) + NLMSG_ALIGN(sizeof(inet_diag_msg)));
    int length = static_cast<int>(header->nlmsg_len) - static_cast<int>(NLMSG_LENGTH(sizeof(inet_diag_msg)));
    for (; RTA_OK(attribute, length); attribute = RTA_NEXT(attribute, length)) {
        if (attribute->rta_type == INET_DIAG_INFO) {
            std::memcpy(
                &info, RTA_DATA(attribute), std::min<std::size_t>(RTA_PAYLOAD(attribute), sizeof(info)));
            break;
        }
    }
    TcpCounters counters;
    counters.segsOut = info.tcpi_segs_out;
    counters.segsIn = info.tcpi_segs_in;
    counters.segsRetrans = info.tcpi_total_retrans;
    counters.rttMicros = info.tcpi_rtt;
    counters.rtoMicros = info.tcpi_rto;
    counters.cwndSegments = info.tcpi_snd_cwnd;
    counters.mss = info.tcpi_snd_mss;
    counters.bytesSent = info.tcpi_bytes_sent;
    counters.bytesRetrans = info.tcpi_bytes_retrans;
    counters.bytesAcked = info.tcpi_bytes_acked;
    counters.bytesReceived = info.tcpi_bytes_received;
    return counters;
}

// The IPv4 view of a socket: IPv4 sockets as they are; of IPv6 sockets only the ones that
// carry IPv4 (mapped addresses, or the dual-stack wildcard). False for pure IPv6.
bool ipv4Endpoint(const nlmsghdr* header, const inet_diag_msg& message, Endpoint& endpoint)
{
    const inet_diag_sockid& id = message.id;
    if (message.idiag_family == AF_INET) {
        endpoint = { id.idiag_src[0], id.idiag_dst[0] };
        return true;
    }
    if (message.idiag_family != AF_INET6)
        return false;
    if (isV4Mapped(id.idiag_src)) {
        endpoint = { id.idiag_src[3], isV4Mapped(id.idiag_dst) ? id.idiag_dst[3] : 0 };
        return true;
    }
    if (isAny(id.idiag_src) && isAny(id.idiag_dst) && !isV6Only(header)) {
        endpoint = { 0, 0 };
        return true;
    }
    return false;
}

SockDiagReader::NamespaceId currentNamespace()
{
    struct stat info
    {
    };
    if (stat("/proc/thread-self/ns/net", &info) != 0)
        return {};
    return { info.st_dev, info.st_ino };
}

} // namespace

SockDiagReader::~SockDiagReader()
{
    if (m_fd >= 0)
        close(m_fd);
}

bool SockDiagReader::open()
{
    // A netlink socket reports the namespace it was made in: follow the caller when it moves.
    const NamespaceId current = currentNamespace();
    if (m_fd >= 0 && current == m_namespace)
        return true;
    if (m_fd >= 0)
        close(m_fd);
    m_fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
    if (m_fd < 0)
        return false;
    m_namespace = current;
    // Root may exceed rmem_max; everyone else gets what the system allows.
    if (setsockopt(m_fd, SOL_SOCKET, SO_RCVBUFFORCE, &receiveBufferBytes, sizeof(receiveBufferBytes)) != 0)
        setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &receiveBufferBytes, sizeof(receiveBufferBytes));
    m_buffer.resize(readChunkBytes);
    return true;
}

template <typename OnSocket>
int SockDiagReader::dumpOnce(const Request& what, OnSocket& onSocket, bool& interrupted)
{
    // The older request form asks for TCP sockets of both families in one pass over the
    // kernel's hash table; the newer one takes a pass per family.
    struct
    {
        nlmsghdr header;
        union {
            inet_diag_req_v2 byFamily;
            inet_diag_req bothFamilies;
        };
    } message;
    std::memset(&message, 0, sizeof(message));
    const std::uint16_t requestType = what.bothFamilies ? TCPDIAG_GETSOCK : SOCK_DIAG_BY_FAMILY;
    message.header.nlmsg_len
        = NLMSG_LENGTH(what.bothFamilies ? sizeof(inet_diag_req) : sizeof(inet_diag_req_v2));
    message.header.nlmsg_type = requestType;
    message.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    message.header.nlmsg_seq = ++m_sequence;
    const std::uint8_t extensions = what.withInfo ? 1u << (INET_DIAG_INFO - 1) : 0;
    if (what.bothFamilies) {
        message.bothFamilies.idiag_family = AF_INET;
        message.bothFamilies.idiag_states = what.states;
        message.bothFamilies.idiag_ext = extensions;
    } else {
        message.byFamily.sdiag_family = static_cast<std::uint8_t>(what.family);
        message.byFamily.sdiag_protocol = static_cast<std::uint8_t>(what.protocol);
        message.byFamily.idiag_states = what.states;
        message.byFamily.idiag_ext = extensions;
    }

    sockaddr_nl kernel {};
    kernel.nl_family = AF_NETLINK;
    ssize_t sent;
    do {
        sent = sendto(m_fd, &message, message.header.nlmsg_len, 0, reinterpret_cast<sockaddr*>(&kernel),
            sizeof(kernel));
    } while (sent < 0 && errno == EINTR);
    if (sent != static_cast<ssize_t>(message.header.nlmsg_len))
        return sent < 0 ? errno : EIO;

    for (;;) {
        const ssize_t received = recv(m_fd, m_buffer.data(), m_buffer.size(), 0);
        if (received < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (received == 0)
            return EIO;
        int remaining = static_cast<int>(received);
        for (auto* header = reinterpret_cast<nlmsghdr*>(m_buffer.data()); messageFits(header, remaining);
             header = NLMSG_NEXT(header, remaining)) {
            if (header->nlmsg_seq != m_sequence)
                continue; // a late reply to an earlier, abandoned dump
            if (header->nlmsg_flags & NLM_F_DUMP_INTR)
                interrupted = true;
            if (header->nlmsg_type == NLMSG_DONE)
                return 0;
            if (header->nlmsg_type == NLMSG_ERROR) {
                const auto* error = static_cast<const nlmsgerr*>(NLMSG_DATA(header));
                return header->nlmsg_len >= NLMSG_LENGTH(sizeof(nlmsgerr)) && error->error < 0 ? -error->error
                                                                                               : EIO;
            }
            if (header->nlmsg_type != requestType || header->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg)))
                continue;
            onSocket(header, *static_cast<const inet_diag_msg*>(NLMSG_DATA(header)));
        }
    }
}

template <typename OnSocket> bool SockDiagReader::dump(const Request& what, OnSocket&& onSocket)
{
    if (!open())
        return false;
    // A dump that raced a table resize may miss or repeat sockets: take it again.
    for (int attempt = 1;; ++attempt) {
        bool interrupted = false;
        const auto mark = onSocket.mark();
        const int error = dumpOnce(what, onSocket, interrupted);
        if (error == ENOENT && what.family == AF_INET6)
            return true; // a kernel without IPv6 has no IPv6 sockets to show
        if (error != 0) {
            onSocket.rewind(mark);
            m_lastError = error;
            // The socket may still hold the rest of a broken dump: start afresh next time.
            close(m_fd);
            m_fd = -1;
            return false;
        }
        if (!interrupted || attempt == maxDumpAttempts)
            return true;
        onSocket.rewind(mark);
    }
}

namespace {

template <typename Row> struct RowCollector
{
    std::vector<Row>& rows;
    std::size_t mark() const { return rows.size(); }
    void rewind(std::size_t size) { rows.resize(size); }
};

struct TcpCollector : RowCollector<TcpConnRow>
{
    void operator()(const nlmsghdr* header, const inet_diag_msg& diag)
    {
        Endpoint endpoint;
        if (!ipv4Endpoint(header, diag, endpoint))
            return;
        rows.push_back({ endpoint.localAddress, endpoint.remoteAddress, ntohs(diag.id.idiag_sport),
            ntohs(diag.id.idiag_dport), static_cast<std::int32_t>(mibTcpState(diag.idiag_state)) });
    }
};

struct UdpCollector : RowCollector<UdpRow>
{
    void operator()(const nlmsghdr* header, const inet_diag_msg& diag)
    {
        Endpoint endpoint;
        if (!ipv4Endpoint(header, diag, endpoint))
            return;
        rows.push_back({ endpoint.localAddress, ntohs(diag.id.idiag_sport) });
    }
};

struct SocketCollector : RowCollector<KernelSocket>
{
    std::vector<TcpCounters>* counters = nullptr;

    void rewind(std::size_t size)
    {
        rows.resize(size);
        if (counters)
            counters->resize(size);
    }
    void operator()(const nlmsghdr* header, const inet_diag_msg& diag)
    {
        if (diag.idiag_family != AF_INET && diag.idiag_family != AF_INET6)
            return;
        if (counters)
            counters->push_back(tcpCounters(header));
        KernelSocket& socket = rows.emplace_back();
        socket.family = diag.idiag_family;
        socket.state = diag.idiag_state;
        socket.v6Only = diag.idiag_family == AF_INET6 && isV6Only(header);
        socket.localPort = ntohs(diag.id.idiag_sport);
        socket.remotePort = ntohs(diag.id.idiag_dport);
        const std::size_t length = diag.idiag_family == AF_INET ? 4 : 16;
        std::memcpy(socket.localAddress.data(), diag.id.idiag_src, length);
        std::memcpy(socket.remoteAddress.data(), diag.id.idiag_dst, length);
        socket.inode = diag.idiag_inode;
        socket.uid = diag.idiag_uid;
        socket.cookie = diag.id.idiag_cookie[0] | std::uint64_t { diag.id.idiag_cookie[1] } << 32;
    }
};

} // namespace

bool SockDiagReader::readTcp(std::vector<TcpConnRow>& rows)
{
    rows.clear();
    TcpCollector collector { { rows } };
    if (m_bothFamiliesAtOnce) {
        if (dump(Request { AF_UNSPEC, IPPROTO_TCP, true }, collector))
            return true;
        if (m_lastError != EINVAL && m_lastError != EOPNOTSUPP && m_lastError != ENOENT)
            return false;
        m_bothFamiliesAtOnce = false; // a kernel without the older form
    }
    return dump(Request { AF_INET, IPPROTO_TCP }, collector)
        && dump(Request { AF_INET6, IPPROTO_TCP }, collector);
}

bool SockDiagReader::readSockets(int protocol, std::vector<KernelSocket>& sockets, std::uint32_t states,
    std::vector<TcpCounters>* counters)
{
    sockets.clear();
    if (counters)
        counters->clear();
    SocketCollector collector { { sockets }, counters };
    states &= allStatesButBoundInactive;
    const bool withInfo = counters != nullptr;
    if (protocol == IPPROTO_TCP && m_bothFamiliesAtOnce) {
        if (dump(Request { AF_UNSPEC, IPPROTO_TCP, true, states, withInfo }, collector))
            return true;
        if (m_lastError != EINVAL && m_lastError != EOPNOTSUPP && m_lastError != ENOENT)
            return false;
        m_bothFamiliesAtOnce = false;
    }
    return dump(Request { AF_INET, protocol, false, states, withInfo }, collector)
        && dump(Request { AF_INET6, protocol, false, states, withInfo }, collector);
}

bool SockDiagReader::readUdp(std::vector<UdpRow>& rows)
{
    rows.clear();
    UdpCollector collector { { rows } };
    return dump(Request { AF_INET, IPPROTO_UDP }, collector)
        && dump(Request { AF_INET6, IPPROTO_UDP }, collector);
}

int SockDiagReader::destroyTcp(int family, const std::array<std::uint8_t, 16>& local, std::uint16_t localPort,
    const std::array<std::uint8_t, 16>& remote, std::uint16_t remotePort)
{
    // A socket of its own: a reply must not be mistaken for part of a dump's.
    const int fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
    if (fd < 0)
        return errno;
    struct
    {
        nlmsghdr header;
        inet_diag_req_v2 request;
    } message;
    std::memset(&message, 0, sizeof(message));
    message.header.nlmsg_len = sizeof(message);
    message.header.nlmsg_type = SOCK_DESTROY;
    message.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_ACK;
    message.header.nlmsg_seq = 1;
    message.request.sdiag_family = static_cast<std::uint8_t>(family);
    message.request.sdiag_protocol = IPPROTO_TCP;
    message.request.idiag_states = ~0u;
    const std::size_t length = family == AF_INET ? 4 : 16;
    std::memcpy(message.request.id.idiag_src, local.data(), length);
    std::memcpy(message.request.id.idiag_dst, remote.data(), length);
    message.request.id.idiag_sport = htons(localPort);
    message.request.id.idiag_dport = htons(remotePort);
    message.request.id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
    message.request.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
    sockaddr_nl kernel {};
    kernel.nl_family = AF_NETLINK;
    int error = 0;
    if (sendto(fd, &message, sizeof(message), 0, reinterpret_cast<sockaddr*>(&kernel), sizeof(kernel))
        != static_cast<ssize_t>(sizeof(message))) {
        error = errno;
    } else {
        alignas(nlmsghdr) char reply[512];
        ssize_t received;
        do {
            received = recv(fd, reply, sizeof(reply), 0);
        } while (received < 0 && errno == EINTR);
        const auto* header = reinterpret_cast<const nlmsghdr*>(reply);
        if (received < 0)
            error = errno;
        else if (!messageFits(header, static_cast<int>(received)) || header->nlmsg_type != NLMSG_ERROR
            || header->nlmsg_len < NLMSG_LENGTH(sizeof(nlmsgerr)))
            error = EIO;
        else
            error = -static_cast<const nlmsgerr*>(NLMSG_DATA(header))->error;
    }
    close(fd);
    return error;
}
