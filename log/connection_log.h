#pragma once
// The connection log: session headers from the GUI thread, entries from the scan
// worker. Every header line and every entry reaches the file whole.

#include <array>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

class ConnectionLog
{
public:
    static constexpr std::size_t kMaxNameLength = 49;
    using Clock = std::function<std::tm()>; // local date and time

    ConnectionLog();
    explicit ConnectionLog(Clock clock);

    std::string activeLogName() const;
    // Sets the name entries and headers go to; a longer name is cut to 49 characters.
    void setActiveLogName(std::string_view name);

    // Does nothing unless logEnabled; else activeLogName = nameFieldText and the
    // session header (with the grid's header titles of columns 1 to 4) is appended.
    void startLogSession(
        bool logEnabled, std::string_view nameFieldText, const std::array<std::string, 4>& columnTitles);

    // One scan's entries: opens activeLogName for appending (creating it) and closes on destruction.
    // Never null: when the file cannot be opened, the entries are dropped without a word.
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
    void noteFailure(int error); // with m_mutex held
    void noteSuccess(); // with m_mutex held

    Clock m_clock;
    mutable std::mutex m_mutex; // guards the name and serialises writes
    std::string m_activeLogName;
    Failure m_failure;
};
