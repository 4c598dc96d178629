#include "tests/common/connection_holders.h"

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>

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

    // A child that connects count times to port, accepts each on listener, reports, and waits to be killed.
    pid_t holdConnections(int listener, int port, std::size_t count)
    {
        int ready[2];
        if (pipe(ready) != 0)
            return -1;
        const pid_t child = fork();
        if (child == 0) {
            close(ready[0]);
            sockaddr_in address {};
            address.sin_family = AF_INET;
            address.sin_port = htons(static_cast<std::uint16_t>(port));
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            char done = 1;
            for (std::size_t i = 0; i < count && done; ++i) {
                const int client = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
                done = client >= 0
                    && connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0
                    && accept4(listener, nullptr, nullptr, SOCK_CLOEXEC) >= 0;
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

} // namespace

ConnectionHolders::ConnectionHolders()
{
    m_listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m_listener >= 0 && bind(m_listener, reinterpret_cast<sockaddr*>(&address), length) == 0
        && listen(m_listener, 4096) == 0
        && getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        m_port = ntohs(address.sin_port);
}

ConnectionHolders::~ConnectionHolders()
{
    for (pid_t holder : m_holders) {
        kill(holder, SIGKILL);
        waitpid(holder, nullptr, 0);
    }
    if (m_listener >= 0)
        close(m_listener);
}

bool ConnectionHolders::connectUpTo(std::size_t count)
{
    if (m_port == 0)
        return false;
    const std::size_t perHolder = std::max<std::size_t>(1, (raisedFileLimit() - 64) / 2);
    while (m_open < count) {
        const std::size_t batch = std::min(perHolder, count - m_open);
        const pid_t holder = holdConnections(m_listener, m_port, batch);
        if (holder < 0)
            return false;
        m_holders.push_back(holder);
        m_open += batch;
    }
    return true;
}

} // namespace loopback
