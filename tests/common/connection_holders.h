#pragma once
// Many established loopback connections for benchmarks, held by child processes: both
// ends of 20,000 connections exceed one process's file limit.

#include "tests/common/loopback_sockets.h"

#include <sys/types.h>

#include <cstddef>
#include <vector>

namespace loopback {

class ConnectionHolders
{
public:
    enum class Mix
    {
        Ipv4Tcp, // IPv4 connections only
        // As a real machine: connections of both families, and a services process that holds
        // UDP endpoints of both families (bound, connected, dual-stack) and listeners of
        // every kind. It is started again after each growth, so its process id is the
        // newest: an owner search in process order reaches it last.
        Machine,
    };

    // Listens on 127.0.0.1 (and ::1 for the machine mix) on ports the kernel picks, in the
    // calling process.
    explicit ConnectionHolders(Mix mix = Mix::Ipv4Tcp);
    // Kills and reaps the holders.
    ~ConnectionHolders();
    ConnectionHolders(const ConnectionHolders&) = delete;
    ConnectionHolders& operator=(const ConnectionHolders&) = delete;

    // Opens connections until count established pairs exist in all; false on failure.
    bool connectUpTo(std::size_t count);
    std::size_t open() const { return m_open; }

private:
    bool startServices();

    Mix m_mix;
    Socket m_listener;
    Socket m_listener6;
    std::size_t m_open = 0;
    std::vector<pid_t> m_holders;
    pid_t m_services = -1;
};

} // namespace loopback
