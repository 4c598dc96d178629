#include "platform/inetmib1/socket_owners.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string_view>
#include <unistd.h>

namespace {

// A reading older than this may have missed a socket handed on to another process.
constexpr auto readingLifetime = std::chrono::seconds(5);
// How long an inode that no readable process holds is left alone.
constexpr auto notFoundLifetime = std::chrono::seconds(10);
constexpr std::size_t notFoundLimit = 4096;

bool parseNumber(std::string_view text, std::uint32_t& number)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

// Calls onEntry(name) for each entry of an open directory; closes it.
template <typename OnEntry> void forEachEntry(int directoryFd, OnEntry onEntry)
{
    DIR* directory = fdopendir(directoryFd);
    if (!directory) {
        close(directoryFd);
        return;
    }
    while (const dirent* entry = readdir(directory)) {
        if (entry->d_name[0] >= '0' && entry->d_name[0] <= '9')
            onEntry(entry->d_name);
    }
    closedir(directory);
}

} // namespace

namespace {

// The link text naming a process's network namespace ("net:[INODE]"), or "" when unknown.
std::string networkNamespaceOf(const std::string& processFolder)
{
    char link[64];
    const ssize_t length = readlink((processFolder + "/ns/net").c_str(), link, sizeof(link));
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof(link))
        return std::string();
    return std::string(link, static_cast<std::size_t>(length));
}

} // namespace

SocketOwners::SocketOwners(std::string procRoot)
    : m_procRoot(std::move(procRoot))
    , m_euid(geteuid())
{
}

bool SocketOwners::mayInspect(std::uint32_t uid) const
{
    // Another user's descriptors are closed to all but root: don't search for them.
    return m_euid == 0 || uid == m_euid;
}

bool SocketOwners::listPids(std::vector<std::uint32_t>& pids) const
{
    pids.clear();
    const int fd = open(m_procRoot.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    forEachEntry(fd, [&pids](const char* name) {
        std::uint32_t pid = 0;
        if (parseNumber(name, pid))
            pids.push_back(pid);
    });
    std::sort(pids.begin(), pids.end());
    return true;
}

void SocketOwners::forget(std::uint32_t pid)
{
    const auto process = m_processes.find(pid);
    if (process == m_processes.end())
        return;
    for (const std::uint32_t inode : process->second.inodes) {
        const auto owner = m_ownerOf.find(inode);
        if (owner != m_ownerOf.end() && owner->second == pid)
            m_ownerOf.erase(owner);
    }
    m_processes.erase(process);
}

bool SocketOwners::readProcess(std::uint32_t pid, Clock::time_point now)
{
    ++m_processesRead;
    const std::string folder = m_procRoot + '/' + std::to_string(pid);
    // The tables hold only this network namespace's sockets: a process of another one
    // (a container, a test's private namespace) is not read, nor its sockets remembered.
    // One whose namespace cannot be read is gone, or its descriptors are closed to us as
    // well (the same access check guards both): reading them would only fail one by one.
    if (!m_ownNamespace.empty()) {
        const std::string its = networkNamespaceOf(folder);
        if (its != m_ownNamespace) {
            forget(pid);
            return !its.empty();
        }
    }
    const std::string path = folder + "/fd";
    const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        forget(pid);
        return false;
    }
    std::vector<std::uint32_t> inodes;
    char link[64];
    constexpr std::string_view prefix = "socket:[";
    forEachEntry(dup(fd), [&](const char* name) {
        const ssize_t length = readlinkat(fd, name, link, sizeof(link));
        if (length <= static_cast<ssize_t>(prefix.size()) + 1
            || static_cast<std::size_t>(length) >= sizeof(link))
            return;
        const std::string_view target(link, static_cast<std::size_t>(length));
        std::uint32_t inode = 0;
        if (target.starts_with(prefix) && target.back() == ']'
            && parseNumber(target.substr(prefix.size(), target.size() - prefix.size() - 1), inode))
            inodes.push_back(inode);
    });
    close(fd);
    forget(pid);
    if (inodes.empty())
        return true;
    for (const std::uint32_t inode : inodes) {
        // A socket shared by several processes stays with the one found first.
        if (m_ownerOf.try_emplace(inode, pid).second && m_sought > 0
            && std::binary_search(m_unknown.begin(), m_unknown.end(), inode))
            --m_sought;
    }
    m_processes[pid] = { std::move(inodes), now };
    return true;
}

void SocketOwners::refresh(std::span<const SocketRef> sockets)
{
    m_processesRead = 0;
    m_sought = 0;
    // Asked at every refresh: the caller may have moved to another namespace since.
    m_ownNamespace = networkNamespaceOf(m_procRoot + "/thread-self");
    const Clock::time_point now = Clock::now();
    std::vector<std::uint32_t> pids;
    if (!listPids(pids))
        return; // no /proc: every owner reads as unknown
    // Processes gone since the last listing take their sockets with them.
    std::vector<std::uint32_t> fresh;
    {
        std::vector<std::uint32_t> gone;
        std::set_difference(m_pids.begin(), m_pids.end(), pids.begin(), pids.end(), std::back_inserter(gone));
        std::set_difference(
            pids.begin(), pids.end(), m_pids.begin(), m_pids.end(), std::back_inserter(fresh));
        for (const std::uint32_t pid : gone)
            forget(pid);
        m_pids = std::move(pids);
    }

    // Renew the oldest reading of a socket holder, one per refresh.
    const Process* oldest = nullptr;
    std::uint32_t oldestPid = 0;
    for (const auto& [pid, process] : m_processes) {
        if (!oldest || process.read < oldest->read) {
            oldest = &process;
            oldestPid = pid;
        }
    }
    if (oldest && now - oldest->read > readingLifetime)
        readProcess(oldestPid, now);

    if (m_notFound.size() > notFoundLimit)
        m_notFound.clear();
    m_unknown.clear();
    for (const SocketRef& socket : sockets) {
        if (socket.inode == 0 || !mayInspect(socket.uid) || m_ownerOf.contains(socket.inode))
            continue;
        const auto notFound = m_notFound.find(socket.inode);
        if (notFound != m_notFound.end() && now - notFound->second < notFoundLifetime)
            continue;
        m_unknown.push_back(socket.inode);
    }
    if (m_unknown.empty())
        return;
    for (const std::uint32_t inode : m_unknown)
        m_notFound.erase(inode);

    std::sort(m_unknown.begin(), m_unknown.end());
    m_unknown.erase(std::unique(m_unknown.begin(), m_unknown.end()), m_unknown.end());
    m_sought = m_unknown.size();
    const auto allFound = [this] { return m_sought == 0; };
    // Where a new socket most likely is: a new process, then one that holds sockets already.
    std::vector<std::uint32_t> holders;
    holders.reserve(m_processes.size());
    for (const auto& entry : m_processes)
        holders.push_back(entry.first);
    std::sort(holders.begin(), holders.end());
    for (const std::uint32_t pid : fresh) {
        if (readProcess(pid, now) && allFound())
            return;
    }
    for (const std::uint32_t pid : holders) {
        if (!std::binary_search(fresh.begin(), fresh.end(), pid) && readProcess(pid, now) && allFound())
            return;
    }
    for (const std::uint32_t pid : m_pids) {
        if (std::binary_search(fresh.begin(), fresh.end(), pid)
            || std::binary_search(holders.begin(), holders.end(), pid))
            continue;
        if (readProcess(pid, now) && allFound())
            return;
    }
    for (const std::uint32_t inode : m_unknown) {
        if (!m_ownerOf.contains(inode))
            m_notFound[inode] = now;
    }
    m_unknown.clear();
}

std::uint32_t SocketOwners::owner(std::uint32_t inode) const
{
    if (inode == 0)
        return 0;
    const auto found = m_ownerOf.find(inode);
    return found == m_ownerOf.end() ? 0 : found->second;
}
