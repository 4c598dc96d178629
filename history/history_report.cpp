#include "history/history_report.h"

#include "history/history_database.h"
#include "history/history_timeline.h"
#include "history/packed_address.h"
#include "history/sqlite_statement.h"
#include "scan/connection_table.h"
#include "scan/tcp_states.h"

#include <sqlite3.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstring>
#include <ctime>
#include <type_traits>

namespace {

// False with error said for a database that did not open.
bool isReadable(const HistoryDatabase& database, std::string& error)
{
    if (database.isOpen())
        return true;
    error = database.error().empty() ? "History: the database is not open" : database.error();
    return false;
}

std::string readFailure(const HistoryDatabase& database)
{
    return "History: cannot read " + database.path() + ": " + sqlite3_errmsg(database.handle());
}

} // namespace

namespace {

// A small table read whole, id -> column 1, for what would otherwise be joined on every row.
template <typename Value>
int readTable(sqlite3* db, const char* sql, std::unordered_map<std::int64_t, Value>& into)
{
    SqliteStatement query;
    int rc = query.prepare(db, sql);
    if (rc != SQLITE_OK)
        return rc;
    while ((rc = query.step()) == SQLITE_ROW) {
        if constexpr (std::is_same_v<Value, std::string>)
            into[query.integer(0)] = query.text(1);
        else
            into[query.integer(0)] = query.integer(1);
    }
    return rc;
}

} // namespace

bool readHistory(HistoryDatabase& database, std::int64_t since, std::int64_t until,
    const std::function<void(const HistoryRow&)>& each, std::string& error)
{
    if (!isReadable(database, error))
        return false;
    // The names (computers, programs, users) and the computers are few: looked up here
    // rather than joined on every row, --history --filter on 1,000,000 rows in 940 -> 720 ms of CPU.
    std::unordered_map<std::int64_t, std::string> names;
    std::unordered_map<std::int64_t, std::int64_t> lastScans;
    int rc = readTable(database.handle(), "SELECT id, name FROM names", names);
    if (rc == SQLITE_DONE)
        rc = readTable(database.handle(), "SELECT id, last_scan FROM computers", lastScans);
    const auto nameOf = [&names](const SqliteStatement& query, int column) {
        const auto found = query.isNull(column) ? names.end() : names.find(query.integer(column));
        return found == names.end() ? std::string() : found->second;
    };
    // The closed connections apart from the open ones rather than through the view that joins
    // them, whose every row SQLite copies once more: 720 -> 500 ms of CPU on the same rows.
    const std::string columns
        = "SELECT computer, udp, local_addr, local_port, remote_addr, remote_port,"
          " first_seen, last_seen, states, pid, process, user, bytes_sent, bytes_received";
    for (const bool open : { false, true }) {
        SqliteStatement query;
        if (rc == SQLITE_DONE)
            rc = query.prepare(database.handle(),
                (open ? columns + " FROM live WHERE first_seen <= ?2"
                      : columns + ", closed FROM connections WHERE first_seen <= ?2 AND closed >= ?1")
                    .c_str());
        if (rc != SQLITE_OK)
            break;
        query.bind(1, since);
        query.bind(2, until);
        HistoryRow row;
        while ((rc = query.step()) == SQLITE_ROW) {
            row.computer = nameOf(query, 0);
            row.udp = query.integer(1) != 0;
            row.localAddress = unpackAddress(query.text(2));
            row.localPort = int(query.integer(3));
            row.remoteAddress = unpackAddress(query.text(4));
            row.remotePort = int(query.integer(5));
            row.firstSeen = query.integer(6);
            row.closed = open ? -1 : query.integer(14);
            // An open row was last seen at its computer's last scan.
            row.lastSeen = open ? std::max(query.integer(7), lastScans[query.integer(0)]) : query.integer(7);
            row.states = query.integer(8);
            row.pid = std::uint32_t(query.integer(9));
            row.process = nameOf(query, 10);
            row.user = nameOf(query, 11);
            row.bytesSent = query.isNull(12) ? -1 : query.integer(12);
            row.bytesReceived = query.isNull(13) ? -1 : query.integer(13);
            each(row);
        }
    }
    if (rc == SQLITE_DONE)
        return true;
    error = readFailure(database);
    return false;
}

bool readAlerts(HistoryDatabase& database, std::int64_t since, std::int64_t until,
    const std::function<void(const HistoryAlert&)>& each, std::string& error)
{
    if (!isReadable(database, error))
        return false;
    SqliteStatement query;
    int rc = query.prepare(database.handle(),
        "SELECT a.time, a.kind, cn.name, pn.name, a.subject FROM alerts a JOIN names cn ON cn.id = a.computer"
        " LEFT JOIN names pn ON pn.id = a.process WHERE a.time BETWEEN ?1 AND ?2 ORDER BY a.id");
    if (rc == SQLITE_OK) {
        query.bind(1, since);
        query.bind(2, until);
        while ((rc = query.step()) == SQLITE_ROW)
            each({ static_cast<HistoryAlert::Kind>(query.integer(1)), query.integer(0), query.text(2),
                query.text(3), query.text(4) });
    }
    if (rc == SQLITE_DONE)
        return true;
    error = readFailure(database);
    return false;
}

std::string alertTitle(const HistoryAlert& alert)
{
    switch (alert.kind) {
    case HistoryAlert::Kind::NewListener:
        return "New listening port";
    case HistoryAlert::Kind::NewRemoteHost:
        return alert.process + " talks to a new host";
    case HistoryAlert::Kind::NewProgram:
        return "A new program on the network";
    }
    return "Alert";
}

std::string alertText(const HistoryAlert& alert)
{
    std::string text = alert.subject;
    if (alert.kind == HistoryAlert::Kind::NewListener && !alert.process.empty())
        text += " (" + alert.process + ")";
    return text + " on " + alert.computer;
}

std::optional<HistoryGrouping> groupingNamed(std::string_view name)
{
    if (name == "process")
        return HistoryGrouping::Process;
    if (name == "host")
        return HistoryGrouping::RemoteHost;
    if (name == "rport")
        return HistoryGrouping::RemotePort;
    if (name == "lport")
        return HistoryGrouping::LocalPort;
    return std::nullopt;
}

std::string historyTimeText(std::int64_t time)
{
    if (time < 0)
        return {};
    const std::time_t seconds = static_cast<std::time_t>(time);
    std::tm local {};
    localtime_r(&seconds, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

std::string historyStatesText(const HistoryRow& row)
{
    if (row.udp)
        return {};
    std::string text;
    for (int state = 1; state < 62; ++state) {
        if (row.states & (std::int64_t(1) << state))
            text += (text.empty() ? "" : " ") + std::string(tcpStateText(state));
    }
    return text;
}

std::optional<std::int64_t> parseHistoryTime(std::string_view text, std::int64_t now)
{
    const auto number = [](std::string_view digits) -> std::optional<std::int64_t> {
        std::int64_t value = 0;
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
        if (error != std::errc() || end != digits.data() + digits.size() || value < 0)
            return std::nullopt;
        return value;
    };
    if (text.empty())
        return std::nullopt;
    if (text.front() == '@')
        return number(text.substr(1));
    const std::string_view units = "smhd";
    if (const std::size_t unit = units.find(text.back()); unit != std::string_view::npos) {
        const std::int64_t scale[] = { 1, 60, 3600, 86400 };
        const auto count = number(text.substr(0, text.size() - 1));
        if (!count || *count > 100LL * 365 * 86400)
            return std::nullopt;
        return now - *count * scale[unit];
    }
    std::tm local {};
    const std::string copy(text);
    const char* end = strptime(copy.c_str(), "%Y-%m-%d", &local);
    if (!end)
        return std::nullopt;
    if (*end == ' ' || *end == 'T')
        end = strptime(end + 1, "%H:%M", &local);
    if (end && *end == ':')
        end = strptime(end + 1, "%S", &local);
    if (!end || *end != '\0')
        return std::nullopt;
    local.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&local));
}

HistoryReport::HistoryReport(std::string_view filter, HistoryGrouping grouping)
    : m_filter(filter, false)
    , m_grouping(grouping)
{
}

std::string HistoryReport::keyOf(const HistoryRow& row) const
{
    switch (m_grouping) {
    case HistoryGrouping::Process:
        return row.process.empty() ? std::string("-") : row.process;
    case HistoryGrouping::RemoteHost:
        return row.remoteAddress.empty() ? std::string("-") : row.remoteAddress;
    case HistoryGrouping::RemotePort:
        return row.remoteAddress.empty()
            ? std::string("-")
            : std::string(row.udp ? "UDP " : "TCP ") + std::to_string(row.remotePort);
    case HistoryGrouping::LocalPort:
        return std::string(row.udp ? "UDP " : "TCP ") + std::to_string(row.localPort);
    case HistoryGrouping::None:
        break;
    }
    return {};
}

bool HistoryReport::keeps(const HistoryRow& row) const
{
    if (m_filter.active()) {
        // The filter reads a row as the grid shows one with names off: numbers only.
        static thread_local ConnectionRow asRow {};
        setField(asRow.localHost, row.localAddress);
        setField(asRow.localAddress, row.localAddress);
        setField(asRow.localPort, std::to_string(row.localPort));
        setField(asRow.remoteHost, row.remoteAddress.empty() ? std::string("none") : row.remoteAddress);
        setField(asRow.remoteAddress, row.remoteAddress);
        setField(asRow.remotePort,
            row.remoteAddress.empty() ? std::string("none") : std::to_string(row.remotePort));
        setField(asRow.protocol, row.udp ? "UDP" : "TCP");
        setField(asRow.state, row.udp ? std::string("none") : historyStatesText(row));
        asRow.localPortNumber = row.localPort;
        asRow.remotePortNumber = row.remoteAddress.empty() ? 0 : row.remotePort;
        asRow.pid = row.pid;
        setField(asRow.processName, row.process);
        setField(asRow.commandLine, "");
        asRow.dualStack = false;
        return m_filter.keeps(asRow);
    }
    return true;
}

void HistoryReport::take(const HistoryRow& row)
{
    if (m_grouping == HistoryGrouping::None) {
        m_rows.push_back(row);
        return;
    }
    addToGroup(keyOf(row), 1, row.firstSeen, row.lastSeen, row.bytesSent, row.bytesReceived);
}

void HistoryReport::addToGroup(std::string key, std::int64_t count, std::int64_t firstSeen,
    std::int64_t lastSeen, std::int64_t bytesSent, std::int64_t bytesReceived)
{
    auto [found, added] = m_groupOfKey.try_emplace(std::move(key), m_groups.size());
    if (added)
        m_groups.push_back({ found->first, 0, firstSeen, lastSeen, -1, -1 });
    HistoryGroup& group = m_groups[found->second];
    group.count += count;
    group.firstSeen = std::min(group.firstSeen, firstSeen);
    group.lastSeen = std::max(group.lastSeen, lastSeen);
    if (bytesSent >= 0)
        group.bytesSent = std::max<std::int64_t>(group.bytesSent, 0) + bytesSent;
    if (bytesReceived >= 0)
        group.bytesReceived = std::max<std::int64_t>(group.bytesReceived, 0) + bytesReceived;
}

bool HistoryReport::read(HistoryDatabase& database, std::int64_t since, std::int64_t until,
    std::string& error, HistoryTimeline* timeline)
{
    if (m_grouping != HistoryGrouping::None && !m_filter.active())
        return countGroups(database, since, until, error, timeline);
    return readHistory(
        database, since, until,
        [&](const HistoryRow& row) {
            if (!keeps(row))
                return;
            if (timeline)
                timeline->add(row.firstSeen, row.lastSeen, row.bytesSent, row.bytesReceived);
            take(row);
        },
        error);
}

// Groups counted from the rows' numbers alone, without making a row of texts for each:
// --history --since 7d --group process on 1,000,000 connections in 884 -> 169 ms of CPU.
bool HistoryReport::countGroups(HistoryDatabase& database, std::int64_t since, std::int64_t until,
    std::string& error, HistoryTimeline* timeline)
{
    if (!isReadable(database, error))
        return false;
    std::unordered_map<std::int64_t, std::int64_t> lastScans;
    int rc = readTable(database.handle(), "SELECT id, last_scan FROM computers", lastScans);
    struct Count
    {
        std::int64_t count = 0;
        std::int64_t firstSeen = INT64_MAX;
        std::int64_t lastSeen = INT64_MIN;
        std::int64_t bytesSent = -1;
        std::int64_t bytesReceived = -1;
    };
    // Keyed by the raw numbers: a process's name id, a packed address, a protocol and port.
    std::unordered_map<std::string, Count> counts;
    // Only the columns the grouping needs; the closed connections apart from the few still
    // open, whose last sight is their computer's last scan.
    const char* keyColumns = "process";
    switch (m_grouping) {
    case HistoryGrouping::RemoteHost:
        keyColumns = "remote_addr";
        break;
    case HistoryGrouping::RemotePort:
        keyColumns = "udp << 16 | remote_port, length(remote_addr)";
        break;
    case HistoryGrouping::LocalPort:
    case HistoryGrouping::None:
        keyColumns = "udp << 16 | local_port";
        break;
    case HistoryGrouping::Process:
        break;
    }
    const std::string columns
        = std::string("first_seen, last_seen, bytes_sent, bytes_received, computer, ") + keyColumns;
    for (const bool live : { false, true }) {
        SqliteStatement query;
        if (rc == SQLITE_DONE)
            rc = query.prepare(database.handle(),
                (live ? "SELECT " + columns + " FROM live WHERE first_seen <= ?2"
                      : "SELECT " + columns + " FROM connections WHERE first_seen <= ?2 AND closed >= ?1")
                    .c_str());
        if (rc != SQLITE_OK)
            break;
        query.bind(1, since);
        query.bind(2, until);
        std::string key;
        while ((rc = query.step()) == SQLITE_ROW) {
            if (m_grouping == HistoryGrouping::RemoteHost) {
                key = query.text(5);
            } else {
                std::int64_t value = query.isNull(5) ? -1 : query.integer(5);
                if (m_grouping == HistoryGrouping::RemotePort && query.integer(6) == 0)
                    value = -1; // no remote end
                key.assign(reinterpret_cast<const char*>(&value), sizeof value);
            }
            Count& count = counts[key];
            const std::int64_t firstSeen = query.integer(0);
            std::int64_t lastSeen = query.integer(1);
            if (live)
                lastSeen = std::max(lastSeen, lastScans[query.integer(4)]);
            const std::int64_t sent = query.isNull(2) ? -1 : query.integer(2);
            const std::int64_t received = query.isNull(3) ? -1 : query.integer(3);
            ++count.count;
            count.firstSeen = std::min(count.firstSeen, firstSeen);
            count.lastSeen = std::max(count.lastSeen, lastSeen);
            if (sent >= 0)
                count.bytesSent = std::max<std::int64_t>(count.bytesSent, 0) + sent;
            if (received >= 0)
                count.bytesReceived = std::max<std::int64_t>(count.bytesReceived, 0) + received;
            if (timeline)
                timeline->add(firstSeen, lastSeen, sent, received);
        }
    }
    if (rc != SQLITE_DONE) {
        error = std::string("History: cannot read ") + database.path() + ": "
            + sqlite3_errmsg(database.handle());
        return false;
    }
    SqliteStatement name;
    name.prepare(database.handle(), "SELECT name FROM names WHERE id = ?1");
    for (auto& [raw, count] : counts) {
        std::int64_t value = 0;
        if (raw.size() == sizeof value)
            std::memcpy(&value, raw.data(), sizeof value);
        std::string shown;
        switch (m_grouping) {
        case HistoryGrouping::Process:
            name.bind(1, value);
            shown = value >= 0 && name.step() == SQLITE_ROW ? name.text(0) : std::string("-");
            name.reset();
            break;
        case HistoryGrouping::RemoteHost:
            shown = raw.empty() ? std::string("-") : unpackAddress(raw);
            break;
        case HistoryGrouping::RemotePort:
        case HistoryGrouping::LocalPort:
        case HistoryGrouping::None:
            shown = value < 0 ? std::string("-")
                              : std::string(value >> 16 ? "UDP " : "TCP ") + std::to_string(value & 0xffff);
            break;
        }
        addToGroup(std::move(shown), count.count, count.firstSeen, count.lastSeen, count.bytesSent,
            count.bytesReceived);
    }
    return true;
}

std::vector<HistoryGroup> HistoryReport::groups() const
{
    std::vector<HistoryGroup> sorted = m_groups;
    std::stable_sort(sorted.begin(), sorted.end(), [](const HistoryGroup& a, const HistoryGroup& b) {
        return a.count != b.count ? a.count > b.count : a.key < b.key;
    });
    return sorted;
}

namespace {

std::string bytesText(std::int64_t bytes)
{
    return bytes < 0 ? std::string() : std::to_string(bytes);
}

const char* groupTitle(HistoryGrouping grouping)
{
    switch (grouping) {
    case HistoryGrouping::Process:
        return "Process";
    case HistoryGrouping::RemoteHost:
        return "Remote host";
    case HistoryGrouping::RemotePort:
        return "Remote port";
    case HistoryGrouping::LocalPort:
        return "Local port";
    case HistoryGrouping::None:
        break;
    }
    return "";
}

} // namespace

std::vector<std::string> HistoryReport::header() const
{
    if (m_grouping != HistoryGrouping::None)
        return { groupTitle(m_grouping), "Connections", "First seen", "Last seen", "Sent", "Received" };
    return { "Computer", "Protocol", "Local address", "Local port", "Remote address", "Remote port", "States",
        "Process", "PID", "User", "First seen", "Last seen", "Closed", "Sent", "Received" };
}

std::vector<std::vector<std::string>> HistoryReport::cells() const
{
    std::vector<std::vector<std::string>> cells;
    if (m_grouping != HistoryGrouping::None) {
        for (const HistoryGroup& group : groups())
            cells.push_back({ group.key, std::to_string(group.count), historyTimeText(group.firstSeen),
                historyTimeText(group.lastSeen), bytesText(group.bytesSent),
                bytesText(group.bytesReceived) });
        return cells;
    }
    cells.reserve(m_rows.size());
    std::vector<const HistoryRow*> ordered;
    ordered.reserve(m_rows.size());
    for (const HistoryRow& row : m_rows)
        ordered.push_back(&row);
    std::stable_sort(ordered.begin(), ordered.end(),
        [](const HistoryRow* a, const HistoryRow* b) { return a->firstSeen < b->firstSeen; });
    for (const HistoryRow* shown : ordered) {
        const HistoryRow& row = *shown;
        const bool remote = !row.remoteAddress.empty();
        cells.push_back({ row.computer, row.udp ? "UDP" : "TCP", row.localAddress,
            std::to_string(row.localPort), remote ? row.remoteAddress : std::string("-"),
            remote ? std::to_string(row.remotePort) : std::string("-"), historyStatesText(row), row.process,
            row.pid ? std::to_string(row.pid) : std::string(), row.user, historyTimeText(row.firstSeen),
            historyTimeText(row.lastSeen), historyTimeText(row.closed), bytesText(row.bytesSent),
            bytesText(row.bytesReceived) });
    }
    return cells;
}
