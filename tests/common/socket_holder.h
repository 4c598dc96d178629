#pragma once
// A child process that makes its own sockets and holds them until it is ended: the
// sockets of other processes, as a real machine has them, with an owner the tests know.

#include <sys/types.h>

#include <functional>
#include <initializer_list>

namespace testproc {

class SocketHolder
{
public:
    // The child closes what it inherited but the descriptors in keep, so every socket has
    // exactly one holder, takes name, runs makeSockets and holds on. Sockets it makes must
    // outlive makeSockets (released); makeSockets may write the ready byte to descriptor
    // kReadyFd itself. pid() is -1 when the child did not get ready.
    SocketHolder(
        const char* name, const std::function<void()>& makeSockets, std::initializer_list<int> keep = {});
    ~SocketHolder();
    SocketHolder(const SocketHolder&) = delete;
    SocketHolder& operator=(const SocketHolder&) = delete;

    static constexpr int kReadyFd = 100;

    pid_t pid() const { return m_pid; }
    // Kills and reaps the child, with its sockets.
    void end();
    // Waits until the child ends by a signal sent elsewhere and reaps it: its wait status.
    int waitForEnd();

private:
    pid_t m_pid = -1;
};

} // namespace testproc
