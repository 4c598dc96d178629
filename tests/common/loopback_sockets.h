#pragma once
// Real sockets on the loopback interface, closed when they go out of scope.

#include <string>

namespace loopback {

class Socket
{
public:
    Socket() = default;
    explicit Socket(int fd)
        : m_fd(fd)
    {
    }
    ~Socket() { reset(); }
    Socket(Socket&& other) noexcept
        : m_fd(other.release())
    {
    }
    Socket& operator=(Socket&& other) noexcept
    {
        if (this != &other) {
            reset();
            m_fd = other.release();
        }
        return *this;
    }

    int fd() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    int localPort() const;
    int release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    void reset();

private:
    int m_fd = -1;
};

enum class Stack
{
    V4,
    DualStack,
    V6Only
};

// A TCP listener on address:port (an IPv6 address for the IPv6 stacks).
Socket tcpListener(const std::string& address, int port, Stack stack = Stack::V4, bool reusePort = false);
// A connected TCP client; blocks until the handshake is done.
Socket tcpClient(const std::string& address, int port);
// The next connection waiting on a listener.
Socket acceptOne(const Socket& listener);
// A UDP socket bound to address:port, connected to peer when peerPort is nonzero.
Socket udpSocket(const std::string& address, int port, Stack stack = Stack::V4, const std::string& peer = {},
    int peerPort = 0);
// Closing with a reset, so no TIME_WAIT is left behind.
void abortClose(Socket& socket);

} // namespace loopback
