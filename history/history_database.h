#pragma once
// The connection history: one SQLite file written by the window and by the recorder,
// possibly at the same time. A row is one connection's life, from the scan that first
// saw it to the first scan that missed it.

#include "history/seen_endpoint.h"

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// The schema's steps: step i brings user_version i to i + 1.
extern const std::vector<const char*> kHistoryMigrations;

// An alert, once per subject and kind, kept in the database.
struct HistoryAlert
{
    enum class Kind
    {
        NewListener = 1, // a port listening for the first time
        NewRemoteHost = 2, // a program talking to a host it never talked to
        NewProgram = 3 // a program on the network for the first time
    };
    Kind kind = Kind::NewListener;
    std::int64_t time = 0;
    std::string computer;
    std::string process;
    std::string subject; // the port, the host or the program
};

class HistoryDatabase
{
public:
    HistoryDatabase();
    ~HistoryDatabase();
    HistoryDatabase(const HistoryDatabase&) = delete;
    HistoryDatabase& operator=(const HistoryDatabase&) = delete;

    // $XDG_STATE_HOME/veltran/history.sqlite, with the XDG default ~/.local/state.
    static std::string defaultPath();

    // Opens or creates the file (and its folder) and brings its schema up to date. A file
    // that is not a database is moved aside as <path>.corrupt-<time> and a new one made;
    // a file of a newer schema is left untouched. False with error() said.
    bool open(const std::string& path);
    bool isOpen() const { return m_db != nullptr; }
    const std::string& path() const { return m_path; }
    // Why the last open or record failed; empty after a success.
    const std::string& error() const { return m_error; }
    // Things to tell the user once (a file moved aside), taken by the caller.
    std::vector<std::string> takeNotices();

    // Writes one scan in one transaction: new connections, the ones that closed, and
    // changes of state, owner or bytes. False with error() said; the next scan's write
    // brings the rows up to date again.
    bool record(const SeenScan& scan);
    // The kinds of alert record() raises and keeps: a set of 1 << HistoryAlert::Kind.
    // The first scan of a computer raises none: it is what the machine was like.
    void setAlertKinds(unsigned kinds) { m_alertKinds = kinds; }
    std::vector<HistoryAlert> takeAlerts();

    // Deletes at most `rows` connections closed before keepSince, or the oldest closed ones
    // while the file is over maxBytes (0: no cap). Returns how many went; -1 on failure.
    int purgeStep(std::int64_t keepSince, std::int64_t maxBytes, int rows = 500);

    // The live file's size in bytes, free pages not counted.
    std::int64_t usedBytes();

    sqlite3* handle() const { return m_db; }

    static constexpr int kSchemaVersion = 3;

private:
    struct Statements;
    int openFile();
    int migrate();
    int prepareStatements();
    bool failed(int rc, const std::string& doing);
    bool moveAside();
    void close();
    int nameId(const std::string& name, std::int64_t& id);
    int writeScan(const SeenScan& scan);
    // Moves an open row to the closed ones: closed at closed, last seen at lastSeen at least.
    int closeLive(std::int64_t id, std::int64_t closed, std::int64_t lastSeen);
    int noteFirsts(std::int64_t computer, const SeenEndpoint& endpoint, std::int64_t time);
    int noteFirst(HistoryAlert::Kind kind, std::int64_t computer, const std::string& subject,
        const SeenEndpoint& endpoint, std::int64_t time);

    // A connection open at the last scan this connection wrote.
    struct OpenRow
    {
        std::int64_t id;
        bool udp;
        bool ipv6;
        std::int64_t states;
        std::int64_t pid;
        std::int64_t process; // -1: none
        std::int64_t bytesSent;
        std::int64_t bytesReceived;
        bool seen = false;
        std::int64_t connectIndex = 0; // 0: not known
    };

    sqlite3* m_db = nullptr;
    std::unique_ptr<Statements> m_statements;
    // The open rows of m_openComputer as this connection left them, valid while the file's
    // data_version is still m_openVersion (no other connection has written since).
    std::unordered_map<std::string, OpenRow> m_open;
    std::int64_t m_openVersion = -1;
    std::int64_t m_openComputer = -1;
    std::unordered_map<std::string, std::int64_t> m_names; // ids of names already in the file
    std::string m_path;
    std::string m_error;
    std::vector<std::string> m_notices;
    unsigned m_alertKinds = 0;
    bool m_computerKnown = false; // during a write: not the computer's first scan
    std::string m_computer;
    std::vector<HistoryAlert> m_alerts;
};
