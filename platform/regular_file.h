#pragma once
// A file the program opens by name (the settings, the log, and the files to come): opened
// without blocking and used only when it is a regular file, so a FIFO, a device or a
// folder in its place is refused at once instead of hanging the window or the scan.

#include <cerrno>
#include <cstddef>
#include <string>
#include <sys/types.h>

class RegularFile
{
public:
    // error() of a file that is there but is not a regular file, and of one over the cap.
    static constexpr int kNotRegular = EINVAL;
    static constexpr int kTooLarge = EFBIG;

    RegularFile() = default;
    ~RegularFile();
    RegularFile(RegularFile&& other) noexcept;
    RegularFile& operator=(RegularFile&& other) noexcept;
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    // Opens path with flags (O_NONBLOCK, O_CLOEXEC and O_NOCTTY added); a file it creates
    // gets createMode less the umask from its first byte. Refused with kNotRegular when it
    // is anything but a regular file.
    static RegularFile open(const std::string& path, int flags, mode_t createMode = 0600);

    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    // errno of the failed open or read, or one of the codes above; 0 when none failed.
    int error() const { return m_error; }
    // Hands the descriptor over; the caller closes it.
    int release();

    // The whole file, or false with kTooLarge, without reading it, when it holds more than
    // maxBytes; false with errno when a read fails.
    bool readAll(std::string& content, std::size_t maxBytes);

private:
    int m_fd = -1;
    int m_error = 0;
};

// What error() means, in words a status bar can show: "not a regular file", "larger than
// 1 MB" (maxBytes given), or the system's own text.
std::string regularFileErrorText(int error, std::size_t maxBytes = 0);
