#include "tests/app/sockets.h"

#include <arpa/inet.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {

sockaddr_in loopback(std::uint16_t port)
{
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

int checked(int result, const char* what)
{
    if (result < 0)
        throw std::runtime_error(what);
    return result;
}

} // namespace

TestSockets::~TestSockets()
{
    for (int fd : m_fds)
        close(fd);
}

std::uint16_t TestSockets::listen()
{
    const int fd = checked(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0), "socket");
    m_fds.push_back(fd);
    sockaddr_in address = loopback(0);
    checked(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), "bind");
    checked(::listen(fd, 64), "listen");
    socklen_t length = sizeof address;
    checked(getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length), "getsockname");
    return ntohs(address.sin_port);
}

void TestSockets::connectTo(std::uint16_t port)
{
    const int fd = checked(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0), "socket");
    m_fds.push_back(fd);
    sockaddr_in address = loopback(port);
    checked(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), "connect");
}

void TestSockets::udp(int count)
{
    for (int i = 0; i < count; ++i) {
        const int fd = checked(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0), "socket");
        m_fds.push_back(fd);
        sockaddr_in address = loopback(0);
        checked(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), "bind");
    }
}
