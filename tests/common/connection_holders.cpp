#include "tests/common/connection_holders.h"

#include "tests/common/loopback_sockets.h"

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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

    // One established pair to listener on address, both ends kept open by this process.
    void connectAndAccept(const Socket& listener, const char* address)
    {
        tcpClient(address, listener.localPort()).release();
        acceptOne(listener).release();
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
    try {
        m_listener = tcpListener("127.0.0.1", 0);
        if (mix == Mix::Machine)
            m_listener6 = tcpListener("::1", 0, Stack::V6Only);
    } catch (const std::exception&) {
        // No listener: connectUpTo fails.
    }
}

ConnectionHolders::~ConnectionHolders()
{
    for (pid_t holder : m_holders)
        stopChild(holder);
    stopChild(m_services);
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
    if (!m_listener.valid() || (m_mix == Mix::Machine && !m_listener6.valid()))
        return false;
    const std::size_t perHolder = std::max<std::size_t>(1, (raisedFileLimit() - 64) / 2);
    while (m_open < count) {
        const std::size_t batch = std::min(perHolder, count - m_open);
        const std::size_t first = m_open;
        const pid_t holder = holdingChild([this, batch, first] {
            for (std::size_t i = first; i < first + batch; ++i) {
                if (m_mix == Mix::Machine && i % 2 == 1)
                    connectAndAccept(m_listener6, "::1");
                else
                    connectAndAccept(m_listener, "127.0.0.1");
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
