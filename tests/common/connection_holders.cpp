#include "tests/common/connection_holders.h"

#include "tests/common/loopback_sockets.h"

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <exception>

namespace loopback {
namespace {

    std::size_t raisedFileLimit()
    {
        rlimit limit {};
        getrlimit(RLIMIT_NOFILE, &limit);
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
        return static_cast<std::size_t>(limit.rlim_cur);
    }

    // A listener on the loopback address of family; its port in port, -1 on failure.
    int loopbackListener(int family, int& port)
    {
        const int fd = socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_storage address {};
        socklen_t length = 0;
        if (family == AF_INET) {
            auto& in = reinterpret_cast<sockaddr_in&>(address);
            in.sin_family = AF_INET;
            in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            length = sizeof in;
        } else {
            auto& in6 = reinterpret_cast<sockaddr_in6&>(address);
            in6.sin6_family = AF_INET6;
            in6.sin6_addr = in6addr_loopback;
            length = sizeof in6;
        }
        if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(fd, 4096) != 0
            || getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            if (fd >= 0)
                close(fd);
            return -1;
        }
        port = ntohs(family == AF_INET ? reinterpret_cast<sockaddr_in&>(address).sin_port
                                       : reinterpret_cast<sockaddr_in6&>(address).sin6_port);
        return fd;
    }

    // Runs work in a child that reports whether it succeeded and then waits to be killed;
    // the child's pid, or -1 when it failed.
    template <typename Work> pid_t holdingChild(Work work)
    {
        int ready[2];
        if (pipe(ready) != 0)
            return -1;
        const pid_t child = fork();
        if (child == 0) {
            close(ready[0]);
            char done = 0;
            try {
                done = work() ? 1 : 0;
            } catch (const std::exception&) {
            }
            if (write(ready[1], &done, 1) != 1 || !done)
                _exit(1);
            for (;;)
                pause();
        }
        close(ready[1]);
        char done = 0;
        const bool ok = child > 0 && read(ready[0], &done, 1) == 1 && done;
        close(ready[0]);
        if (!ok && child > 0) {
            kill(child, SIGKILL);
            waitpid(child, nullptr, 0);
            return -1;
        }
        return child;
    }

    bool connectAndAccept(int listener, int family, int port)
    {
        sockaddr_storage address {};
        socklen_t length = 0;
        if (family == AF_INET) {
            auto& in = reinterpret_cast<sockaddr_in&>(address);
            in.sin_family = AF_INET;
            in.sin_port = htons(static_cast<std::uint16_t>(port));
            in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            length = sizeof in;
        } else {
            auto& in6 = reinterpret_cast<sockaddr_in6&>(address);
            in6.sin6_family = AF_INET6;
            in6.sin6_port = htons(static_cast<std::uint16_t>(port));
            in6.sin6_addr = in6addr_loopback;
            length = sizeof in6;
        }
        const int client = socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        return client >= 0 && connect(client, reinterpret_cast<sockaddr*>(&address), length) == 0
            && accept4(listener, nullptr, nullptr, SOCK_CLOEXEC) >= 0;
    }

    void stopChild(pid_t& child)
    {
        if (child <= 0)
            return;
        ::kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        child = -1;
    }

} // namespace

ConnectionHolders::ConnectionHolders(Mix mix)
    : m_mix(mix)
{
    m_listener = loopbackListener(AF_INET, m_port);
    if (mix == Mix::Machine)
        m_listener6 = loopbackListener(AF_INET6, m_port6);
}

ConnectionHolders::~ConnectionHolders()
{
    for (pid_t holder : m_holders)
        stopChild(holder);
    stopChild(m_services);
    for (const int fd : { m_listener, m_listener6 }) {
        if (fd >= 0)
            close(fd);
    }
}

bool ConnectionHolders::startServices()
{
    stopChild(m_services);
    m_services = holdingChild([] {
        static std::vector<Socket> held; // lives until the child is killed
        for (int i = 0; i < 8; ++i) {
            held.push_back(udpSocket("127.0.0.1", 0));
            held.push_back(udpSocket("::1", 0, Stack::V6Only));
        }
        const int peer = held.front().localPort();
        held.push_back(udpSocket("127.0.0.1", 0, Stack::V4, "127.0.0.1", peer));
        held.push_back(udpSocket("::1", 0, Stack::V6Only, "::1", held[1].localPort()));
        held.push_back(udpSocket("0.0.0.0", 0));
        held.push_back(udpSocket("::", 0, Stack::DualStack));
        held.push_back(udpSocket("::", 0, Stack::V6Only));
        held.push_back(tcpListener("0.0.0.0", 0));
        held.push_back(tcpListener("::", 0, Stack::DualStack));
        held.push_back(tcpListener("::", 0, Stack::V6Only));
        return true;
    });
    return m_services > 0;
}

bool ConnectionHolders::connectUpTo(std::size_t count)
{
    if (m_port == 0 || (m_mix == Mix::Machine && m_port6 == 0))
        return false;
    const std::size_t perHolder = std::max<std::size_t>(1, (raisedFileLimit() - 64) / 2);
    while (m_open < count) {
        const std::size_t batch = std::min(perHolder, count - m_open);
        const std::size_t first = m_open;
        const pid_t holder = holdingChild([this, batch, first] {
            for (std::size_t i = first; i < first + batch; ++i) {
                const bool ipv6 = m_mix == Mix::Machine && i % 2 == 1;
                if (!connectAndAccept(
                        ipv6 ? m_listener6 : m_listener, ipv6 ? AF_INET6 : AF_INET, ipv6 ? m_port6 : m_port))
                    return false;
            }
            return true;
        });
        if (holder < 0)
            return false;
        m_holders.push_back(holder);
        m_open += batch;
    }
    return m_mix == Mix::Ipv4Tcp || startServices();
}

} // namespace loopback
