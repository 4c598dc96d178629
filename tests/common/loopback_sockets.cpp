#include "tests/common/loopback_sockets.h"

#include <arpa/inet.h>
#include <cstring>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace loopback {

namespace {

    [[noreturn]] void fail(const std::string& what)
    {
        throw std::runtime_error(what + ": " + std::strerror(errno));
    }

    struct Address
    {
        sockaddr_storage storage {};
        socklen_t length = 0;
        int family = AF_INET;
    };

    Address makeAddress(const std::string& text, int port, Stack stack)
    {
        Address address;
        if (stack == Stack::V4) {
            auto& in = reinterpret_cast<sockaddr_in&>(address.storage);
            in.sin_family = AF_INET;
            in.sin_port = htons(static_cast<std::uint16_t>(port));
            if (inet_pton(AF_INET, text.c_str(), &in.sin_addr) != 1)
                throw std::runtime_error("bad address " + text);
            address.length = sizeof(in);
        } else {
            auto& in6 = reinterpret_cast<sockaddr_in6&>(address.storage);
            in6.sin6_family = AF_INET6;
            in6.sin6_port = htons(static_cast<std::uint16_t>(port));
            if (inet_pton(AF_INET6, text.c_str(), &in6.sin6_addr) != 1)
                throw std::runtime_error("bad address " + text);
            address.length = sizeof(in6);
            address.family = AF_INET6;
        }
        return address;
    }

    Socket boundSocket(int type, const std::string& text, int port, Stack stack, bool reusePort)
    {
        const Address address = makeAddress(text, port, stack);
        Socket socket(::socket(address.family, type | SOCK_CLOEXEC, 0));
        if (!socket.valid())
            fail("socket");
        const int on = 1;
        // Listeners only: on UDP it would let port 0 hand one port to two sockets.
        if (type == SOCK_STREAM)
            setsockopt(socket.fd(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
        if (reusePort)
            setsockopt(socket.fd(), SOL_SOCKET, SO_REUSEPORT, &on, sizeof(on));
        if (stack != Stack::V4) {
            const int v6only = stack == Stack::V6Only ? 1 : 0;
            if (setsockopt(socket.fd(), IPPROTO_IPV6, IPV6_V6ONLY, &v6only, sizeof(v6only)) != 0)
                fail("IPV6_V6ONLY");
        }
        if (bind(socket.fd(), reinterpret_cast<const sockaddr*>(&address.storage), address.length) != 0)
            fail("bind " + text + ":" + std::to_string(port));
        return socket;
    }

} // namespace

int Socket::localPort() const
{
    sockaddr_storage address {};
    socklen_t length = sizeof(address);
    if (getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        fail("getsockname");
    if (address.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<sockaddr_in6&>(address).sin6_port);
    return ntohs(reinterpret_cast<sockaddr_in&>(address).sin_port);
}

void Socket::reset()
{
    if (m_fd >= 0)
        close(m_fd);
    m_fd = -1;
}

Socket tcpListener(const std::string& address, int port, Stack stack, bool reusePort)
{
    Socket socket = boundSocket(SOCK_STREAM, address, port, stack, reusePort);
    if (listen(socket.fd(), 4096) != 0)
        fail("listen");
    return socket;
}

Socket tcpClient(const std::string& text, int port)
{
    const Stack stack = text.find(':') == std::string::npos ? Stack::V4 : Stack::DualStack;
    const Address address = makeAddress(text, port, stack);
    Socket socket(::socket(address.family, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!socket.valid())
        fail("socket");
    if (connect(socket.fd(), reinterpret_cast<const sockaddr*>(&address.storage), address.length) != 0)
        fail("connect " + text + ":" + std::to_string(port));
    return socket;
}

Socket acceptOne(const Socket& listener)
{
    Socket socket(accept4(listener.fd(), nullptr, nullptr, SOCK_CLOEXEC));
    if (!socket.valid())
        fail("accept");
    return socket;
}

Socket udpSocket(const std::string& address, int port, Stack stack, const std::string& peer, int peerPort)
{
    Socket socket = boundSocket(SOCK_DGRAM, address, port, stack, false);
    if (peerPort != 0) {
        const Address to = makeAddress(peer, peerPort, stack);
        if (connect(socket.fd(), reinterpret_cast<const sockaddr*>(&to.storage), to.length) != 0)
            fail("connect udp");
    }
    return socket;
}

void abortClose(Socket& socket)
{
    const linger hard { 1, 0 };
    setsockopt(socket.fd(), SOL_SOCKET, SO_LINGER, &hard, sizeof(hard));
    socket.reset();
}

} // namespace loopback
