#include "settings/options_file.h"

#include "platform/regular_file.h"

#include <cctype>
#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool isBlank(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

// Hands out the whitespace-separated items of a text one by one.
class ItemReader
{
public:
    explicit ItemReader(std::string_view text)
        : m_text(text)
    {
    }

    std::optional<std::string_view> next()
    {
        while (m_pos < m_text.size() && isBlank(m_text[m_pos]))
            ++m_pos;
        if (m_pos == m_text.size())
            return std::nullopt;
        const std::size_t start = m_pos;
        while (m_pos < m_text.size() && !isBlank(m_text[m_pos]))
            ++m_pos;
        return m_text.substr(start, m_pos - start);
    }

private:
    std::string_view m_text;
    std::size_t m_pos = 0;
};

bool writeAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t written = ::write(fd, data.data(), data.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// Nine short items; a file far larger than that is not ours to load whole.
constexpr std::size_t kMaxFileSize = 1 << 20;

std::string directoryOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

enum class NumberRead
{
    Whole,
    OutOfRange,
    NotANumber
};

NumberRead readWholeNumber(std::string_view text, long long& value)
{
    // from_chars takes a minus sign but not a plus sign.
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (text.empty() || !std::isdigit(static_cast<unsigned char>(text.front())))
            return NumberRead::NotANumber;
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (end != text.data() + text.size() || text.empty())
        return NumberRead::NotANumber;
    if (error == std::errc::result_out_of_range)
        return NumberRead::OutOfRange;
    return error == std::errc() ? NumberRead::Whole : NumberRead::NotANumber;
}

} // namespace

std::optional<long long> parseWholeNumber(std::string_view text)
{
    long long value = 0;
    if (readWholeNumber(text, value) != NumberRead::Whole)
        return std::nullopt;
    return value;
}

StoredOptions parseOptions(std::string_view content)
{
    StoredOptions stored;
    ItemReader items(content);
    const Options defaults;

    // A number too large for its place is still a number: it takes the default and
    // reading goes on, so one bad line does not cost the rest of the file.
    const auto number = [&items](long long fallback) -> std::optional<long long> {
        const auto item = items.next();
        long long value = 0;
        if (!item)
            return std::nullopt;
        switch (readWholeNumber(*item, value)) {
        case NumberRead::Whole:
            return value;
        case NumberRead::OutOfRange:
            return fallback;
        case NumberRead::NotANumber:
            break;
        }
        return std::nullopt;
    };

    if (!(stored.refreshSeconds = number(parseWholeNumber(defaults.refreshText).value_or(1))))
        return stored;

    const std::pair<std::optional<bool>*, bool> flags[] = {
        { &stored.showListening, defaults.showListening },
        { &stored.showTcp, defaults.showTcp },
        { &stored.showUdp, defaults.showUdp },
        { &stored.lookupHostNames, defaults.lookupHostNames },
        { &stored.lookupPortNames, defaults.lookupPortNames },
        { &stored.cacheDns, defaults.cacheDns },
        { &stored.logEnabled, defaults.logEnabled },
    };
    for (const auto& [flag, fallback] : flags) {
        const auto value = number(fallback ? 1 : 0);
        if (!value)
            return stored;
        *flag = *value != 0;
    }

    if (const auto item = items.next())
        stored.logFileName = std::string(*item);
    return stored;
}

std::string formatOptions(long long refreshSeconds, const Options& values)
{
    std::string text;
    const auto line = [&text](std::string_view value) {
        text += value;
        text += "\r\n";
    };
    const auto flag = [&line](bool on) { line(on ? "1" : "0"); };
    line(std::to_string(refreshSeconds));
    flag(values.showListening);
    flag(values.showTcp);
    flag(values.showUdp);
    flag(values.lookupHostNames);
    flag(values.lookupPortNames);
    flag(values.cacheDns);
    flag(values.logEnabled);
    line(values.logFileName);
    return text;
}

std::optional<StoredOptions> readOptionsFile(const std::string& path)
{
    // A pipe in the file's place must not hang the window.
    RegularFile file = RegularFile::open(path, O_RDONLY);
    if (!file.isOpen())
        return std::nullopt;
    const int fd = file.fd();
    std::string content;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return std::nullopt;
        if (got == 0)
            break;
        content.append(buffer, static_cast<std::size_t>(got));
        if (content.size() >= kMaxFileSize)
            break;
    }
    return parseOptions(content);
}

bool writeOptionsFile(const std::string& path, long long refreshSeconds, const Options& options,
    const std::function<bool()>& beforeRename)
{
    const std::string temporary = path + ".tmp";
    // As for reading: a pipe left in the temporary file's place must not hang the save.
    RegularFile file = RegularFile::open(temporary, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!file.isOpen()) {
        errno = file.error(); // the caller tells the user why
        return false;
    }
    const int fd = file.release();
    const bool written = writeAll(fd, formatOptions(refreshSeconds, options)) && ::fsync(fd) == 0;
    if (::close(fd) != 0 || !written) {
        const int error = errno; // the caller tells the user why
        ::unlink(temporary.c_str());
        errno = error;
        return false;
    }
    if (beforeRename && !beforeRename())
        return false;
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        errno = error;
        return false;
    }
    // Makes the rename itself survive a power cut; failing here loses nothing.
    const int dir = ::open(directoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}
