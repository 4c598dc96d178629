#pragma once
// Many established loopback connections for benchmarks, held by child processes: both
// ends of 20,000 connections exceed one process's file limit.

#include <sys/types.h>

#include <cstddef>
#include <vector>

namespace loopback {

class ConnectionHolders
{
public:
    // Listens on 127.0.0.1 (a port the kernel picks) in the calling process.
    ConnectionHolders();
    // Kills and reaps the holders.
    ~ConnectionHolders();
    ConnectionHolders(const ConnectionHolders&) = delete;
    ConnectionHolders& operator=(const ConnectionHolders&) = delete;

    // Opens connections until count established pairs exist in all; false on failure.
    bool connectUpTo(std::size_t count);
    std::size_t open() const { return m_open; }

private:
    int m_listener = -1;
    int m_port = 0;
    std::size_t m_open = 0;
    std::vector<pid_t> m_holders;
};

} // namespace loopback
