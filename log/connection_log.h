#pragma once
// The connection log: session headers from the GUI thread, entries from the scan
// worker. Every header and every entry reaches the file whole or not at all.

#include <array>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

class ConnectionLog
{
public:
    static constexpr std::size_t kMaxNameLength = 49;
    using Clock = std::function<std::tm()>; // local date and time

    ConnectionLog();
    explicit ConnectionLog(Clock clock);

    // Logs created from now on by any ConnectionLog: readable by their owner alone (the
    // user's own folders), or as the umask lets them be (beside a portable copy; the default).
    static void setNewFilesPrivate(bool ownerOnly);

    std::string activeLogName() const;
    // Sets the name entries and headers go to; a longer name is cut to 49 characters.
    void setActiveLogName(std::string_view name);

    // Does nothing unless logEnabled; else activeLogName = nameFieldText and the
    // session header (with the grid's header titles of columns 1 to 4) is appended.
    void startLogSession(
        bool logEnabled, std::string_view nameFieldText, const std::array<std::string, 4>& columnTitles);

    // One scan's entries: opens activeLogName for appending (creating it) and closes on destruction.
    // Never null: when the file cannot be opened or is not a regular file, the entries are
    // dropped, and lastError() tells it.
    class ScanEntries
    {
    public:
        ~ScanEntries();
        // Appends "[hh:mm:ss]  localIp  (localPort) (remotePort)  remoteIp" with CR LF.
        void appendLogEntry(std::string_view localIp, std::string_view localPort, std::string_view remotePort,
            std::string_view remoteIp);

    private:
        friend class ConnectionLog;
        ScanEntries(ConnectionLog& log, int fd);
        ConnectionLog& m_log;
        int m_fd;
        std::string m_fileName;
    };
    std::unique_ptr<ScanEntries> openForScan();

    // The last failed open or write: the file, errno, and a serial that grows at the
    // first failure after a success, so a run of failures is told once. Error 0: none.
    struct Failure
    {
        std::string fileName;
        int error = 0;
        unsigned serial = 0;
    };
    Failure lastError() const;

private:
    struct Header
    {
        std::string fileName;
        std::string text;
    };
    void append(int fd, const std::string& fileName, const std::string& text);
    void writeWaitingHeaders();
    void noteResult(const std::string& fileName, int error);

    Clock m_clock;
    // Never held across file I/O, so the GUI thread never waits on the worker's open or write.
    mutable std::mutex m_nameMutex; // guards the name and the waiting headers
    std::string m_activeLogName;
    std::vector<Header> m_waitingHeaders;
    // Serialises writes, so a line that did not fit can be taken back before the next one.
    // The GUI thread only ever tries it: a header it cannot write at once is left to the
    // writer holding it.
    std::mutex m_writeMutex;
    mutable std::mutex m_failureMutex; // guards m_failure only; never held across I/O
    Failure m_failure;
};
