#include "log/connection_log.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

std::tm localNow()
{
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm local {};
    localtime_r(&now, &local);
    return local;
}

int openForAppending(const std::string& name)
{
    if (name.empty())
        return -1;
    int fd;
    do {
        fd = ::open(name.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

void closeFile(int fd)
{
    if (fd >= 0)
        ::close(fd);
}

// One write per line keeps a line whole against other writers of the same file;
// the loop only matters for a short write on a full disk. Returns 0 or the errno.
int writeWhole(int fd, const std::string& text)
{
    if (fd < 0)
        return EBADF;
    const char* data = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        data += n;
        left -= static_cast<std::size_t>(n);
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

std::string ConnectionLog::activeLogName() const
{
    std::lock_guard lock(m_mutex);
    return m_activeLogName;
}

void ConnectionLog::setActiveLogName(std::string_view name)
{
    std::lock_guard lock(m_mutex);
    m_activeLogName = cutName(name);
}

void ConnectionLog::startLogSession(
    bool logEnabled, std::string_view nameFieldText, const std::array<std::string, 4>& columnTitles)
{
    if (!logEnabled)
        return;
    std::lock_guard lock(m_mutex);
    m_activeLogName = cutName(nameFieldText);
    const int fd = openForAppending(m_activeLogName);
    if (fd < 0) {
        noteFailure(errno);
        return;
    }
    int error = writeWhole(fd, sessionDateLine(m_clock()));
    if (error == 0)
        error = writeWhole(fd, columnLine(columnTitles));
    closeFile(fd);
    if (error != 0)
        noteFailure(error);
    else
        noteSuccess();
}

ConnectionLog::Failure ConnectionLog::lastError() const
{
    std::lock_guard lock(m_mutex);
    return m_failure;
}

void ConnectionLog::noteFailure(int error)
{
    if (m_failure.error == 0)
        ++m_failure.serial;
    m_failure.error = error;
    m_failure.fileName = m_activeLogName;
}

void ConnectionLog::noteSuccess()
{
    m_failure.error = 0;
}

std::unique_ptr<ConnectionLog::ScanEntries> ConnectionLog::openForScan()
{
    std::lock_guard lock(m_mutex);
    const int fd = openForAppending(m_activeLogName);
    if (fd < 0 && !m_activeLogName.empty())
        noteFailure(errno);
    return std::unique_ptr<ScanEntries>(new ScanEntries(*this, fd));
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
    std::lock_guard lock(m_log.m_mutex);
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
    if (const int error = writeWhole(m_fd, line))
        m_log.noteFailure(error);
    else
        m_log.noteSuccess();
}
