#pragma once
// Which process holds each socket: the kernel names a socket by its inode, and
// /proc/<pid>/fd/<n> links read "socket:[INODE]". Reading every process's descriptors
// at every scan is what `ss -p` does and what this avoids: the owners found are kept,
// and only a socket not seen before sends the search to /proc again.
//
// Kept between refreshes: inode -> pid, and per process the socket inodes it held at
// its last reading. A refresh lists /proc's pids once (one directory read) and forgets
// the sockets of every process that is gone, so a socket its child inherited is looked
// up again. Unknown inodes are searched for in new processes first, then in those that
// already hold sockets (the ones that open more), then in all others, stopping as soon
// as every one is found. An inode not found anywhere (a socket in flight between two
// processes, or of a process the caller may not read) is not searched again for a while.
// One process that holds sockets is read again per refresh when its reading has aged,
// so a socket handed on while its old holder lives on moves to the new holder in time.

#include "platform/inetmib1/inet_rows.h"

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

class SocketOwners
{
public:
    using Clock = std::chrono::steady_clock;

    explicit SocketOwners(std::string procRoot = "/proc");

    // Brings the owners of these sockets up to date.
    void refresh(std::span<const SocketRef> sockets);
    // The process id holding the socket after the last refresh that listed it; 0 when it
    // has none or the caller may not read its holder (never an error).
    std::uint32_t owner(std::uint32_t inode) const;

    // What the last refresh cost, for measurements: process directories read.
    int processesReadLastRefresh() const { return m_processesRead; }

private:
    struct Process
    {
        std::vector<std::uint32_t> inodes; // sockets held at the last reading
        Clock::time_point read;
    };

    bool listPids(std::vector<std::uint32_t>& pids) const;
    // Reads a process's descriptors; false when it cannot be read (gone, or not ours).
    bool readProcess(std::uint32_t pid, Clock::time_point now);
    void forget(std::uint32_t pid);
    bool mayInspect(std::uint32_t uid) const;

    std::string m_procRoot;
    std::uint32_t m_euid;
    std::string m_ownNamespace; // "net:[INODE]" of the caller's network namespace, "" if unknown
    std::vector<std::uint32_t> m_pids; // sorted, as last listed
    std::unordered_map<std::uint32_t, std::uint32_t> m_ownerOf; // inode -> pid
    std::unordered_map<std::uint32_t, Process> m_processes; // read processes that hold sockets
    std::unordered_map<std::uint32_t, Clock::time_point> m_notFound; // inode -> when last sought
    std::vector<std::uint32_t> m_unknown; // sorted: the inodes a refresh seeks
    std::size_t m_sought = 0; // how many of them are still not found
    int m_processesRead = 0;
};
