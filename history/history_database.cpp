#include "history/history_database.h"

#include "history/packed_address.h"
#include "history/sqlite_statement.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <unordered_map>
#include <unordered_set>
#include <utility>

const std::vector<const char*> kHistoryMigrations = {
    // 0 -> 1: the connections. Names (computers, programs, users) are kept once each: a
    // busy machine's rows repeat a handful of them.
    "CREATE TABLE names (id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE);"
    "CREATE TABLE computers (id INTEGER PRIMARY KEY, last_scan INTEGER NOT NULL);"
    // The connections still open live in a small table of their own, changed in place at
    // every scan; a closed one moves, whole, to the end of the large one, which is only
    // ever appended to: its pages stay full (a row that grew in place when it closed split
    // full pages: 59 against 46 MB a day at 300 endpoints with 10 churning a second).
    "CREATE TABLE live (id INTEGER PRIMARY KEY, computer INTEGER NOT NULL, udp INTEGER NOT NULL,"
    " local_addr BLOB NOT NULL, local_port INTEGER NOT NULL, remote_addr BLOB NOT NULL,"
    " remote_port INTEGER NOT NULL, first_seen INTEGER NOT NULL, last_seen INTEGER NOT NULL,"
    " states INTEGER NOT NULL, pid INTEGER, process INTEGER, user INTEGER, bytes_sent INTEGER,"
    " bytes_received INTEGER,"
    // One open row per endpoint, whoever writes: two writers can never both add it.
    " UNIQUE (computer, udp, local_addr, local_port, remote_addr, remote_port));"
    "CREATE TABLE connections (id INTEGER PRIMARY KEY, computer INTEGER NOT NULL, udp INTEGER NOT NULL,"
    " local_addr BLOB NOT NULL, local_port INTEGER NOT NULL, remote_addr BLOB NOT NULL,"
    " remote_port INTEGER NOT NULL, first_seen INTEGER NOT NULL, last_seen INTEGER NOT NULL,"
    " closed INTEGER NOT NULL, states INTEGER NOT NULL, pid INTEGER, process INTEGER, user INTEGER,"
    " bytes_sent INTEGER, bytes_received INTEGER);"
    // Every connection's life, closed or not (closed NULL).
    "CREATE VIEW every_connection AS SELECT computer, udp, local_addr, local_port, remote_addr, remote_port,"
    " first_seen, last_seen, closed, states, pid, process, user, bytes_sent, bytes_received FROM connections"
    " UNION ALL SELECT computer, udp, local_addr, local_port, remote_addr, remote_port, first_seen, "
    "last_seen,"
    " NULL, states, pid, process, user, bytes_sent, bytes_received FROM live;",
    // 1 -> 2: what each computer has shown before, and the alerts raised when it showed more.
    "CREATE TABLE firsts (kind INTEGER NOT NULL, computer INTEGER NOT NULL, subject TEXT NOT NULL,"
    " PRIMARY KEY (kind, computer, subject)) WITHOUT ROWID;"
    "CREATE TABLE alerts (id INTEGER PRIMARY KEY, time INTEGER NOT NULL, kind INTEGER NOT NULL,"
    " computer INTEGER NOT NULL, process INTEGER, subject TEXT NOT NULL);",
    // 2 -> 3: the agent's index of an open connection, which tells a 4-tuple used again
    // apart from the connection that held it before, even with no scan between them.
    "ALTER TABLE live ADD COLUMN connect_index INTEGER;",
};

struct HistoryDatabase::Statements
{
    SqliteStatement findName;
    SqliteStatement addName;
    SqliteStatement lastScan;
    SqliteStatement setLastScan;
    SqliteStatement openRows;
    SqliteStatement insertRow;
    SqliteStatement updateRow;
    SqliteStatement closeRow;
    SqliteStatement dropLive;
    SqliteStatement dataVersion;
    SqliteStatement addFirst;
    SqliteStatement addAlert;
};

namespace {

// A result that means the file is not a database, or a damaged one.
bool isCorruption(int rc)
{
    const int primary = rc & 0xff;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

std::string timeStamp()
{
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    return text;
}

std::string endpointKey(bool udp, std::string_view localAddress, std::int64_t localPort,
    std::string_view remoteAddress, std::int64_t remotePort)
{
    std::string key;
    key.reserve(localAddress.size() + remoteAddress.size() + 16);
    key += udp ? 'u' : 't';
    key += localAddress;
    key += ' ';
    key += std::to_string(localPort);
    key += ' ';
    key += remoteAddress;
    key += ' ';
    key += std::to_string(remotePort);
    return key;
}

std::int64_t stateBit(const SeenEndpoint& endpoint)
{
    return std::int64_t(1) << (endpoint.state >= 0 && endpoint.state < 62 ? endpoint.state : 0);
}

} // namespace

HistoryDatabase::HistoryDatabase() = default;

HistoryDatabase::~HistoryDatabase()
{
    close();
}

std::string HistoryDatabase::defaultPath()
{
    const char* state = std::getenv("XDG_STATE_HOME");
    std::filesystem::path folder;
    if (state && *state == '/') {
        folder = state;
    } else {
        const char* home = std::getenv("HOME");
        folder = std::filesystem::path(home ? home : "") / ".local/state";
    }
    return (folder / "veltran" / "history.sqlite").string();
}

void HistoryDatabase::close()
{
    m_statements.reset();
    m_names.clear();
    m_open.clear();
    m_openVersion = -1;
    if (m_db)
        sqlite3_close_v2(m_db);
    m_db = nullptr;
}

std::vector<std::string> HistoryDatabase::takeNotices()
{
    return std::exchange(m_notices, {});
}

std::vector<HistoryAlert> HistoryDatabase::takeAlerts()
{
    return std::exchange(m_alerts, {});
}

bool HistoryDatabase::failed(int rc, const std::string& doing)
{
    const int primary = rc & 0xff;
    std::string why = m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc);
    if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED)
        why = "the file is locked by another program";
    else if (primary == SQLITE_FULL)
        why = "the disk is full";
    m_error = "History: " + doing + ": " + why + " (" + m_path + ")";
    return false;
}

bool HistoryDatabase::moveAside()
{
    close();
    const std::string aside = m_path + ".corrupt-" + timeStamp();
    std::error_code error;
    std::filesystem::rename(m_path, aside, error);
    if (error) {
        m_error = "History: " + m_path + " is damaged and could not be moved aside: " + error.message();
        return false;
    }
    // The journal belongs to the damaged file; a new database must not take it up.
    for (const char* suffix : { "-wal", "-shm" }) {
        std::filesystem::rename(m_path + suffix, aside + suffix, error);
    }
    m_notices.push_back(
        "History: " + m_path + " was damaged; it was moved to " + aside + " and a new one begun");
    return true;
}

bool HistoryDatabase::open(const std::string& path)
{
    close();
    m_path = path;
    m_error.clear();
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
    if (error) {
        m_error = "History: cannot create the folder of " + path + ": " + error.message();
        return false;
    }
    int rc = openFile();
    if (isCorruption(rc)) {
        if (!moveAside())
            return false;
        rc = openFile();
    }
    if (rc == SQLITE_OK)
        return true;
    close();
    return m_error.empty() ? failed(rc, "cannot open") : false;
}

int HistoryDatabase::openFile()
{
    int rc = sqlite3_open_v2(
        m_path.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK)
        return rc;
    sqlite3_extended_result_codes(m_db, 1);
    sqlite3_busy_timeout(m_db, 3000);
    // The version is read before anything is written: a newer file is never touched, not even
    // by a change of journal mode.
    SqliteStatement version;
    if ((rc = version.prepare(m_db, "PRAGMA user_version")) != SQLITE_OK)
        return rc;
    if ((rc = version.step()) != SQLITE_ROW)
        return rc;
    const std::int64_t found = version.integer(0);
    version.reset();
    if (found > kSchemaVersion) {
        m_error = "History: " + m_path + " was written by a newer version of the program (schema "
            + std::to_string(found) + ", this one knows " + std::to_string(kSchemaVersion)
            + "); it is left as it is and nothing is recorded";
        return SQLITE_ERROR;
    }
    // A new file reclaims the pages that retention frees.
    if (found == 0 && (rc = sqlite3_exec(m_db, "PRAGMA auto_vacuum=INCREMENTAL", nullptr, nullptr, nullptr)))
        return rc;
    if ((rc = sqlite3_exec(
             m_db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr)))
        return rc;
    if ((rc = migrate()) != SQLITE_OK)
        return rc;
    return prepareStatements();
}

int HistoryDatabase::migrate()
{
    int rc = sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        return rc;
    // Read again inside the write lock: another writer may have migrated meanwhile.
    SqliteStatement version;
    if ((rc = version.prepare(m_db, "PRAGMA user_version")) == SQLITE_OK
        && (rc = version.step()) == SQLITE_ROW) {
        const std::int64_t from = version.integer(0);
        version.reset();
        rc = SQLITE_OK;
        for (std::size_t step = std::size_t(from); step < kHistoryMigrations.size() && rc == SQLITE_OK;
             ++step)
            rc = sqlite3_exec(m_db, kHistoryMigrations[step], nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK && from < kSchemaVersion) {
            const std::string set = "PRAGMA user_version=" + std::to_string(kSchemaVersion);
            rc = sqlite3_exec(m_db, set.c_str(), nullptr, nullptr, nullptr);
        }
    }
    if (rc != SQLITE_OK) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        return rc;
    }
    return sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
}

int HistoryDatabase::prepareStatements()
{
    m_statements = std::make_unique<Statements>();
    Statements& s = *m_statements;
    const std::pair<SqliteStatement*, const char*> all[] = {
        { &s.findName, "SELECT id FROM names WHERE name = ?1" },
        { &s.addName, "INSERT INTO names (name) VALUES (?1)" },
        { &s.lastScan, "SELECT last_scan FROM computers WHERE id = ?1" },
        { &s.setLastScan, "INSERT OR REPLACE INTO computers (id, last_scan) VALUES (?1, ?2)" },
        { &s.openRows,
            "SELECT id, udp, local_addr, local_port, remote_addr, remote_port, states, pid, process,"
            " bytes_sent, bytes_received, connect_index FROM live WHERE computer = ?1" },
        { &s.insertRow,
            "INSERT INTO live (computer, udp, local_addr, local_port, remote_addr, remote_port,"
            " first_seen, last_seen, states, pid, process, user, bytes_sent, bytes_received, connect_index)"
            " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14)" },
        { &s.updateRow,
            "UPDATE live SET states = ?2, pid = ?3, process = ?4, bytes_sent = ?5, bytes_received = ?6,"
            " last_seen = ?7, connect_index = ?8 WHERE id = ?1" },
        { &s.closeRow,
            "INSERT INTO connections (computer, udp, local_addr, local_port, remote_addr, remote_port,"
            " first_seen, last_seen, closed, states, pid, process, user, bytes_sent, bytes_received)"
            " SELECT computer, udp, local_addr, local_port, remote_addr, remote_port, first_seen,"
            " max(last_seen, ?3), ?2, states, pid, process, user, bytes_sent, bytes_received FROM live"
            " WHERE id = ?1" },
        { &s.dropLive, "DELETE FROM live WHERE id = ?1" },
        { &s.dataVersion, "PRAGMA data_version" },
        { &s.addFirst, "INSERT OR IGNORE INTO firsts (kind, computer, subject) VALUES (?1, ?2, ?3)" },
        { &s.addAlert,
            "INSERT INTO alerts (time, kind, computer, process, subject) VALUES (?1, ?2, ?3, ?4, ?5)" },
    };
    for (const auto& [statement, sql] : all) {
        if (const int rc = statement->prepare(m_db, sql); rc != SQLITE_OK)
            return rc;
    }
    return SQLITE_OK;
}

int HistoryDatabase::nameId(const std::string& name, std::int64_t& id)
{
    if (const auto found = m_names.find(name); found != m_names.end()) {
        id = found->second;
        return SQLITE_OK;
    }
    Statements& s = *m_statements;
    s.findName.bind(1, name);
    int rc = s.findName.step();
    if (rc == SQLITE_ROW) {
        id = s.findName.integer(0);
        s.findName.reset();
    } else if (rc == SQLITE_DONE) {
        s.addName.bind(1, name);
        if ((rc = s.addName.step()) != SQLITE_DONE)
            return rc;
        id = sqlite3_last_insert_rowid(m_db);
    } else {
        return rc;
    }
    m_names.emplace(name, id);
    return SQLITE_OK;
}

bool HistoryDatabase::record(const SeenScan& scan)
{
    m_error.clear();
    m_alerts.clear();
    if (!m_db && (m_path.empty() || !open(m_path)))
        return false;
    int rc = writeScan(scan);
    if (isCorruption(rc)) {
        // Said once, and recording goes on in a new file.
        if (!moveAside() || !open(m_path))
            return false;
        rc = writeScan(scan);
    }
    if (rc == SQLITE_OK)
        return true;
    m_alerts.clear();
    return failed(rc, "this scan was not recorded");
}

int HistoryDatabase::writeScan(const SeenScan& scan)
{
    int rc = sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        return rc;
    const auto rollback = [this](int code) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        m_names.clear(); // names added in this transaction are gone with it
        return code;
    };
    Statements& s = *m_statements;
    std::int64_t computer = 0;
    if ((rc = nameId(scan.computer, computer)) != SQLITE_OK)
        return rollback(rc);
    s.lastScan.bind(1, computer);
    std::int64_t previousScan = scan.time;
    rc = s.lastScan.step();
    m_computerKnown = rc == SQLITE_ROW;
    if (rc == SQLITE_ROW) {
        previousScan = s.lastScan.integer(0);
        s.lastScan.reset();
    } else if (rc != SQLITE_DONE) {
        return rollback(rc);
    }
    m_computer = scan.computer;

    // The open rows are read inside the write lock, so another writer's rows of this computer
    // count as ours; they are read again only when another connection has written since.
    std::int64_t version = -1;
    if ((rc = s.dataVersion.step()) != SQLITE_ROW)
        return rollback(rc);
    version = s.dataVersion.integer(0);
    s.dataVersion.reset();
    std::unordered_map<std::string, OpenRow>& open = m_open;
    const bool cached = version == m_openVersion && computer == m_openComputer;
    m_openVersion = -1; // until this write is committed
    if (!cached)
        open.clear();
    s.openRows.bind(1, computer);
    while (!cached && (rc = s.openRows.step()) == SQLITE_ROW) {
        const bool udp = s.openRows.integer(1) != 0;
        const std::string local = s.openRows.text(2);
        open.emplace(
            endpointKey(udp, local, s.openRows.integer(3), s.openRows.text(4), s.openRows.integer(5)),
            OpenRow { s.openRows.integer(0), udp, local.size() == 16, s.openRows.integer(6),
                s.openRows.isNull(7) ? 0 : s.openRows.integer(7),
                s.openRows.isNull(8) ? -1 : s.openRows.integer(8),
                s.openRows.isNull(9) ? -1 : s.openRows.integer(9),
                s.openRows.isNull(10) ? -1 : s.openRows.integer(10), false,
                s.openRows.isNull(11) ? 0 : s.openRows.integer(11) });
    }
    if (!cached && rc != SQLITE_DONE)
        return rollback(rc);

    std::unordered_set<std::string> added;
    std::vector<std::pair<std::string, OpenRow>> inserted;
    std::vector<std::string> closed;
    for (const SeenEndpoint& endpoint : scan.endpoints) {
        const std::string local = packAddress(endpoint.localAddress);
        const std::string remote = packAddress(endpoint.remoteAddress);
        const std::string key
            = endpointKey(endpoint.udp, local, endpoint.localPort, remote, endpoint.remotePort);
        std::int64_t process = -1;
        if (!endpoint.process.empty() && (rc = nameId(endpoint.process, process)) != SQLITE_OK)
            return rollback(rc);
        if (const auto found = open.find(key); found != open.end() && found->second.connectIndex != 0
            && endpoint.connectIndex != 0 && found->second.connectIndex != endpoint.connectIndex) {
            // The 4-tuple is another connection's now: the one that held it has closed.
            if ((rc = closeLive(found->second.id, scan.time, previousScan)) != SQLITE_OK)
                return rollback(rc);
            closed.push_back(key);
            open.erase(found);
        }
        if (const auto found = open.find(key); found != open.end()) {
            OpenRow& row = found->second;
            row.seen = true;
            const std::int64_t states = row.states | stateBit(endpoint);
            // An owner that is not known this time keeps the one seen before.
            const std::int64_t pid = endpoint.pid != 0 ? endpoint.pid : row.pid;
            const std::int64_t processNow = process >= 0 ? process : row.process;
            const std::int64_t connectIndex
                = endpoint.connectIndex != 0 ? endpoint.connectIndex : row.connectIndex;
            if (states == row.states && pid == row.pid && processNow == row.process
                && endpoint.bytesSent == row.bytesSent && endpoint.bytesReceived == row.bytesReceived
                && connectIndex == row.connectIndex)
                continue;
            s.updateRow.bind(1, row.id);
            s.updateRow.bind(2, states);
            s.updateRow.bindOrNull(3, pid, pid == 0);
            s.updateRow.bindOrNull(4, processNow, processNow < 0);
            s.updateRow.bindOrNull(5, endpoint.bytesSent, endpoint.bytesSent < 0);
            s.updateRow.bindOrNull(6, endpoint.bytesReceived, endpoint.bytesReceived < 0);
            s.updateRow.bind(7, scan.time);
            s.updateRow.bindOrNull(8, connectIndex, connectIndex == 0);
            if ((rc = s.updateRow.step()) != SQLITE_DONE)
                return rollback(rc);
            row = OpenRow { row.id, row.udp, row.ipv6, states, pid, processNow, endpoint.bytesSent,
                endpoint.bytesReceived, true, connectIndex };
            continue;
        }
        if (!added.insert(key).second)
            continue; // the tables gave it twice
        std::int64_t user = -1;
        if (!endpoint.user.empty() && (rc = nameId(endpoint.user, user)) != SQLITE_OK)
            return rollback(rc);
        SqliteStatement& insert = s.insertRow;
        insert.bind(1, computer);
        insert.bind(2, endpoint.udp ? 1 : 0);
        insert.bindBlob(3, local);
        insert.bind(4, endpoint.localPort);
        insert.bindBlob(5, remote);
        insert.bind(6, endpoint.remotePort);
        insert.bind(7, scan.time);
        insert.bind(8, stateBit(endpoint));
        insert.bindOrNull(9, endpoint.pid, endpoint.pid == 0);
        insert.bindOrNull(10, process, process < 0);
        insert.bindOrNull(11, user, user < 0);
        insert.bindOrNull(12, endpoint.bytesSent, endpoint.bytesSent < 0);
        insert.bindOrNull(13, endpoint.bytesReceived, endpoint.bytesReceived < 0);
        insert.bindOrNull(14, endpoint.connectIndex, endpoint.connectIndex == 0);
        if ((rc = insert.step()) != SQLITE_DONE)
            return rollback(rc);
        inserted.push_back({ key,
            OpenRow { sqlite3_last_insert_rowid(m_db), endpoint.udp, local.size() == 16, stateBit(endpoint),
                endpoint.pid, process, endpoint.bytesSent, endpoint.bytesReceived, false,
                endpoint.connectIndex } });
        if ((rc = noteFirsts(computer, endpoint, scan.time)) != SQLITE_OK)
            return rollback(rc);
    }
    // Missing from this scan: closed now, last seen at the scan before.
    for (const auto& [key, row] : open) {
        if (row.seen || (row.udp ? !scan.udp : !scan.tcp) || (!scan.ipv6 && row.ipv6))
            continue;
        if ((rc = closeLive(row.id, scan.time, previousScan)) != SQLITE_OK)
            return rollback(rc);
        closed.push_back(key);
    }
    s.setLastScan.bind(1, computer);
    s.setLastScan.bind(2, scan.time);
    if ((rc = s.setLastScan.step()) != SQLITE_DONE)
        return rollback(rc);
    if ((rc = sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr)) != SQLITE_OK)
        return rollback(rc);
    for (const std::string& key : closed)
        open.erase(key);
    for (auto& [key, row] : inserted)
        open.insert_or_assign(std::move(key), row);
    for (auto& [key, row] : open)
        row.seen = false;
    m_openVersion = version;
    m_openComputer = computer;
    return SQLITE_OK;
}

int HistoryDatabase::closeLive(std::int64_t id, std::int64_t closed, std::int64_t lastSeen)
{
    Statements& s = *m_statements;
    s.closeRow.bind(1, id);
    s.closeRow.bind(2, closed);
    s.closeRow.bind(3, lastSeen);
    int rc = s.closeRow.step();
    if (rc != SQLITE_DONE)
        return rc;
    s.dropLive.bind(1, id);
    rc = s.dropLive.step();
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

namespace {

// The first port the kernel hands out for a bind to port 0 (Linux's default 32768). A UDP
// socket bound below it waits for a service's requests; one above is a resolver's or a
// client's, a new one at every query, and would alert each time.
int firstEphemeralPort()
{
    static const int first = [] {
        std::ifstream range("/proc/sys/net/ipv4/ip_local_port_range");
        int low = 0;
        return range >> low && low > 0 ? low : 32768;
    }();
    return first;
}

} // namespace

int HistoryDatabase::noteFirsts(std::int64_t computer, const SeenEndpoint& endpoint, std::int64_t time)
{
    int rc = SQLITE_OK;
    if (!endpoint.udp && endpoint.state == kTcpListenState)
        rc = noteFirst(HistoryAlert::Kind::NewListener, computer, "TCP " + std::to_string(endpoint.localPort),
            endpoint, time);
    else if (endpoint.udp && endpoint.remoteAddress.empty() && endpoint.localPort > 0
        && endpoint.localPort < firstEphemeralPort())
        rc = noteFirst(HistoryAlert::Kind::NewListener, computer, "UDP " + std::to_string(endpoint.localPort),
            endpoint, time);
    if (rc == SQLITE_OK && !endpoint.process.empty())
        rc = noteFirst(HistoryAlert::Kind::NewProgram, computer, endpoint.process, endpoint, time);
    if (rc == SQLITE_OK && !endpoint.process.empty() && !endpoint.remoteAddress.empty())
        rc = noteFirst(HistoryAlert::Kind::NewRemoteHost, computer,
            endpoint.process + ' ' + endpoint.remoteAddress, endpoint, time);
    return rc;
}

int HistoryDatabase::noteFirst(HistoryAlert::Kind kind, std::int64_t computer, const std::string& subject,
    const SeenEndpoint& endpoint, std::int64_t time)
{
    Statements& s = *m_statements;
    s.addFirst.bind(1, static_cast<int>(kind));
    s.addFirst.bind(2, computer);
    s.addFirst.bind(3, subject);
    int rc = s.addFirst.step();
    if (rc != SQLITE_DONE)
        return rc;
    const bool wanted = (m_alertKinds & (1u << static_cast<unsigned>(kind))) != 0;
    if (sqlite3_changes(m_db) == 0 || !m_computerKnown || !wanted)
        return SQLITE_OK;
    const std::string shown = kind == HistoryAlert::Kind::NewRemoteHost ? endpoint.remoteAddress : subject;
    std::int64_t process = -1;
    if (!endpoint.process.empty() && (rc = nameId(endpoint.process, process)) != SQLITE_OK)
        return rc;
    s.addAlert.bind(1, time);
    s.addAlert.bind(2, static_cast<int>(kind));
    s.addAlert.bind(3, computer);
    s.addAlert.bindOrNull(4, process, process < 0);
    s.addAlert.bind(5, shown);
    if ((rc = s.addAlert.step()) != SQLITE_DONE)
        return rc;
    m_alerts.push_back({ kind, time, m_computer, endpoint.process, shown });
    return SQLITE_OK;
}

std::int64_t HistoryDatabase::usedBytes()
{
    if (!m_db)
        return 0;
    SqliteStatement pages;
    std::int64_t used = 0;
    if (pages.prepare(m_db,
            "SELECT (page_count - freelist_count) * page_size FROM pragma_page_count,"
            " pragma_freelist_count, pragma_page_size")
            == SQLITE_OK
        && pages.step() == SQLITE_ROW) {
        used = pages.integer(0);
        pages.reset();
    }
    return used;
}

int HistoryDatabase::purgeStep(std::int64_t keepSince, std::int64_t maxBytes, int rows)
{
    if (!m_db)
        return -1;
    m_error.clear();
    const bool overCap = maxBytes > 0 && usedBytes() > maxBytes;
    // Rows are numbered in the order they closed, so the oldest come first: a step looks at
    // the first rows alone, and costs as little when there is nothing to remove.
    SqliteStatement purge;
    int rc = purge.prepare(m_db,
        overCap ? "DELETE FROM connections WHERE id IN (SELECT id FROM connections ORDER BY id LIMIT ?2)"
                : "DELETE FROM connections WHERE id IN (SELECT id FROM (SELECT id, closed FROM connections"
                  " ORDER BY id LIMIT ?2) WHERE closed < ?1)");
    if (rc != SQLITE_OK)
        return failed(rc, "old rows were not removed"), -1;
    purge.bind(1, keepSince);
    purge.bind(2, rows);
    if ((rc = purge.step()) != SQLITE_DONE)
        return failed(rc, "old rows were not removed"), -1;
    const int removed = sqlite3_changes(m_db);
    if (removed > 0) {
        const std::string alerts = "DELETE FROM alerts WHERE id IN (SELECT id FROM alerts WHERE time < "
            + std::to_string(keepSince) + " LIMIT 100)";
        sqlite3_exec(m_db, alerts.c_str(), nullptr, nullptr, nullptr);
        sqlite3_exec(m_db, "PRAGMA incremental_vacuum(64)", nullptr, nullptr, nullptr);
    }
    return removed;
}
