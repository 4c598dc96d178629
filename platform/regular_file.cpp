#include "platform/regular_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

RegularFile::~RegularFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

RegularFile::RegularFile(RegularFile&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1))
    , m_error(other.m_error)
{
}

RegularFile& RegularFile::operator=(RegularFile&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
        m_error = other.m_error;
    }
    return *this;
}

RegularFile RegularFile::open(const std::string& path, int flags, mode_t createMode)
{
    RegularFile file;
    do {
        file.m_fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, createMode);
    } while (file.m_fd < 0 && errno == EINTR);
    if (file.m_fd < 0) {
        file.m_error = errno;
        return file;
    }
    struct stat info
    {
    };
    if (::fstat(file.m_fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(file.m_fd);
        file.m_fd = -1;
        file.m_error = kNotRegular;
    }
    return file;
}

int RegularFile::release()
{
    return std::exchange(m_fd, -1);
}

bool RegularFile::readAll(std::string& content, std::size_t maxBytes)
{
    content.clear();
    struct stat info
    {
    };
    if (::fstat(m_fd, &info) != 0) {
        m_error = errno;
        return false;
    }
    if (static_cast<std::size_t>(info.st_size) > maxBytes) {
        m_error = kTooLarge;
        return false;
    }
    // The size may change while it is read: the cap holds for what is read, too.
    char buffer[16384];
    for (;;) {
        const ssize_t got = ::read(m_fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            m_error = errno;
            return false;
        }
        if (got == 0)
            return true;
        if (content.size() + static_cast<std::size_t>(got) > maxBytes) {
            m_error = kTooLarge;
            content.clear();
            return false;
        }
        content.append(buffer, static_cast<std::size_t>(got));
    }
}

std::string regularFileErrorText(int error, std::size_t maxBytes)
{
    if (error == RegularFile::kNotRegular)
        return "not a regular file";
    if (error == RegularFile::kTooLarge && maxBytes > 0) {
        if (maxBytes % (1024 * 1024) == 0)
            return "larger than " + std::to_string(maxBytes / (1024 * 1024)) + " MB";
        return "larger than " + std::to_string(maxBytes) + " bytes";
    }
    return std::strerror(error);
}
