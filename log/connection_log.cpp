#include "log/connection_log.h"

#include "platform/regular_file.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::tm localNow()
{
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm local {};
    localtime_r(&now, &local);
    return local;
}

// Who may read a log the program creates: the umask alone beside a portable copy, the
// owner alone in the user's own folders (the log names the hosts the user talks to).
std::atomic<mode_t> g_newFileMode { 0666 };

// A FIFO or a device in the log's place would hang the open (no reader) or the writes,
// and with them the window or the scan. -1 with errno set on failure.
int openForAppending(const std::string& name)
{
    if (name.empty()) {
        errno = ENOENT;
        return -1;
    }
    RegularFile file = RegularFile::open(name, O_WRONLY | O_APPEND | O_CREAT, g_newFileMode.load());
    errno = file.error();
    return file.release();
}

void closeFile(int fd)
{
    if (fd >= 0)
        ::close(fd);
}

// One write per line keeps a line whole against other writers of the same file. A
// line that does not fit (a full disk) is taken back, so that the next line never
// gets glued onto a cut one. Returns 0 or the errno.
int appendWhole(int fd, std::string_view text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : ENOSPC;
            // Appending leaves the offset at the end of what this line got written.
            const off_t end = done > 0 ? ::lseek(fd, 0, SEEK_CUR) : -1;
            if (end >= static_cast<off_t>(done)) {
                while (::ftruncate(fd, end - static_cast<off_t>(done)) != 0 && errno == EINTR) { }
            }
            return error;
        }
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

std::string cutName(std::string_view name)
{
    return std::string(name.substr(0, ConnectionLog::kMaxNameLength));
}

// Names go in as data, never as part of a format.
std::string sessionDateLine(const std::tm& date)
{
    char text[64];
    std::snprintf(
        text, sizeof text, "%d/%d/%d (dd/mm/yy)", date.tm_mday, date.tm_mon + 1, date.tm_year + 1900);
    return std::string("\r\n\r\nSession started at: ") + text + "\r\n\r\n";
}

std::string columnLine(const std::array<std::string, 4>& titles)
{
    std::string line = "  [Time]    ";
    line += titles[0];
    line += "  (";
    line += titles[1];
    line += ")(";
    line += titles[2];
    line += ")  ";
    line += titles[3];
    line += "\r\n\r\n";
    return line;
}

} // namespace

ConnectionLog::ConnectionLog()
    : ConnectionLog(Clock(localNow))
{
}

ConnectionLog::ConnectionLog(Clock clock)
    : m_clock(std::move(clock))
{
}

void ConnectionLog::setNewFilesPrivate(bool ownerOnly)
{
    g_newFileMode = ownerOnly ? 0600 : 0666;
}

std::string ConnectionLog::activeLogName() const
{
    std::lock_guard lock(m_nameMutex);
    return m_activeLogName;
}

void ConnectionLog::setActiveLogName(std::string_view name)
{
    std::lock_guard lock(m_nameMutex);
    m_activeLogName = cutName(name);
}

void ConnectionLog::append(int fd, const std::string& fileName, const std::string& text)
{
    int error;
    {
        std::lock_guard lock(m_writeMutex);
        error = appendWhole(fd, text);
    }
    noteResult(fileName, error);
    writeWaitingHeaders();
}

void ConnectionLog::noteResult(const std::string& fileName, int error)
{
    std::lock_guard lock(m_failureMutex);
    if (error == 0) {
        m_failure.error = 0;
        return;
    }
    if (m_failure.error == 0)
        ++m_failure.serial;
    m_failure.error = error;
    m_failure.fileName = fileName;
}

ConnectionLog::Failure ConnectionLog::lastError() const
{
    std::lock_guard lock(m_failureMutex);
    return m_failure;
}

void ConnectionLog::writeWaitingHeaders()
{
    // Whoever holds the write lock writes the waiting headers before it lets go, and
    // checks again after: a header left while it held the lock is never forgotten.
    for (;;) {
        std::unique_lock write(m_writeMutex, std::try_to_lock);
        if (!write.owns_lock())
            return;
        std::vector<Header> headers;
        {
            std::lock_guard lock(m_nameMutex);
            headers.swap(m_waitingHeaders);
        }
        if (headers.empty())
            return;
        for (const Header& header : headers) {
            const int fd = openForAppending(header.fileName);
            const int error = fd >= 0 ? appendWhole(fd, header.text) : errno;
            closeFile(fd);
            noteResult(header.fileName, error);
        }
    }
}

void ConnectionLog::startLogSession(
    bool logEnabled, std::string_view nameFieldText, const std::array<std::string, 4>& columnTitles)
{
    if (!logEnabled)
        return;
    // Both header lines in one write: a header is all there or not at all.
    Header header { cutName(nameFieldText), sessionDateLine(m_clock()) + columnLine(columnTitles) };
    {
        std::lock_guard lock(m_nameMutex);
        m_activeLogName = header.fileName;
        m_waitingHeaders.push_back(std::move(header));
    }
    writeWaitingHeaders();
}

std::unique_ptr<ConnectionLog::ScanEntries> ConnectionLog::openForScan()
{
    const std::string name = activeLogName();
    const int fd = openForAppending(name);
    if (fd < 0 && !name.empty())
        noteResult(name, errno);
    auto entries = std::unique_ptr<ScanEntries>(new ScanEntries(*this, fd));
    entries->m_fileName = name;
    return entries;
}

ConnectionLog::ScanEntries::ScanEntries(ConnectionLog& log, int fd)
    : m_log(log)
    , m_fd(fd)
{
}

ConnectionLog::ScanEntries::~ScanEntries()
{
    closeFile(m_fd);
}

void ConnectionLog::ScanEntries::appendLogEntry(std::string_view localIp, std::string_view localPort,
    std::string_view remotePort, std::string_view remoteIp)
{
    if (m_fd < 0)
        return;
    const std::tm now = m_log.m_clock();
    char time[32];
    std::snprintf(time, sizeof time, "%2d:%02d:%02d", now.tm_hour, now.tm_min, now.tm_sec);
    std::string line;
    line.reserve(32 + localIp.size() + localPort.size() + remotePort.size() + remoteIp.size());
    line += '[';
    line += time;
    line += "]  ";
    line += localIp;
    line += "  (";
    line += localPort;
    line += ") (";
    line += remotePort;
    line += ")  ";
    line += remoteIp;
    line += "\r\n";
    m_log.append(m_fd, m_fileName, line);
}
