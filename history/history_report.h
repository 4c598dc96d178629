#pragma once
// What the history is asked: the connections alive in a time range, through the view's
// filter, listed or grouped with counts. Shared by veltran-scan --history and the
// History window.

#include "scan/row_filter.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class HistoryDatabase;
class HistoryTimeline;
struct HistoryAlert;

struct HistoryRow
{
    std::string computer;
    bool udp = false;
    std::string localAddress;
    int localPort = 0;
    std::string remoteAddress; // empty: a listener or an unconnected UDP socket
    int remotePort = 0;
    std::int64_t firstSeen = 0;
    std::int64_t lastSeen = 0; // for an open row, the computer's last recorded scan
    std::int64_t closed = -1; // -1: still open at the last scan
    std::int64_t states = 0; // a set of 1 << tcpConnState
    std::uint32_t pid = 0;
    std::string process;
    std::string user;
    std::int64_t bytesSent = -1; // -1: not known
    std::int64_t bytesReceived = -1;
};

// Calls `each` for every connection alive at some time in [since, until], in no order. False with `error`
// said when the file cannot be read.
bool readHistory(HistoryDatabase& database, std::int64_t since, std::int64_t until,
    const std::function<void(const HistoryRow&)>& each, std::string& error);

// Calls `each` for every alert raised in [since, until], oldest first.
bool readAlerts(HistoryDatabase& database, std::int64_t since, std::int64_t until,
    const std::function<void(const HistoryAlert&)>& each, std::string& error);
// The alert's title and its line: "New listening port", "TCP 8080 (sshd) on box".
std::string alertTitle(const HistoryAlert& alert);
std::string alertText(const HistoryAlert& alert);

enum class HistoryGrouping
{
    None,
    Process,
    RemoteHost,
    RemotePort,
    LocalPort
};

// "process", "host", "rport", "lport"; nullopt for another word.
std::optional<HistoryGrouping> groupingNamed(std::string_view name);

struct HistoryGroup
{
    std::string key;
    std::int64_t count = 0;
    std::int64_t firstSeen = 0;
    std::int64_t lastSeen = 0;
    std::int64_t bytesSent = -1;
    std::int64_t bytesReceived = -1;
};

class HistoryReport
{
public:
    HistoryReport(std::string_view filter, HistoryGrouping grouping);

    // Reads the connections alive in [since, until] into the report, and each one kept into
    // the timeline when one is given. False with error said when the file cannot be read.
    bool read(HistoryDatabase& database, std::int64_t since, std::int64_t until, std::string& error,
        HistoryTimeline* timeline = nullptr);

    // Takes the row if the filter keeps it.
    void add(const HistoryRow& row)
    {
        if (keeps(row))
            take(row);
    }
    bool keeps(const HistoryRow& row) const;
    // Takes the row, whatever the filter.
    void take(const HistoryRow& row);

    HistoryGrouping grouping() const { return m_grouping; }
    // Without grouping: the rows kept, as read.
    const std::vector<HistoryRow>& rows() const { return m_rows; }
    // With grouping: one per key, the most connections first.
    std::vector<HistoryGroup> groups() const;
    // The key of a row under this report's grouping, as groups() names it.
    std::string keyOf(const HistoryRow& row) const;

    // The printed or exported table: its header and cells; rows in the order they began.
    std::vector<std::string> header() const;
    std::vector<std::vector<std::string>> cells() const;

private:
    bool countGroups(HistoryDatabase& database, std::int64_t since, std::int64_t until, std::string& error,
        HistoryTimeline* timeline);
    void addToGroup(std::string key, std::int64_t count, std::int64_t firstSeen, std::int64_t lastSeen,
        std::int64_t bytesSent, std::int64_t bytesReceived);

    RowFilter m_filter;
    HistoryGrouping m_grouping;
    std::vector<HistoryRow> m_rows;
    std::vector<HistoryGroup> m_groups;
    std::unordered_map<std::string, std::size_t> m_groupOfKey;
};

// "2026-12-07 23:10:05", local time.
std::string historyTimeText(std::int64_t time);
// The states of a row, as the grid names them: "Syn_sent Established Time_wait".
std::string historyStatesText(const HistoryRow& row);
// A time on the command line: "7d", "3h", "15m", "30s" ago; "2026-12-07", "2026-12-07 18:00";
// or "@1765130000". nullopt when it is none of these.
std::optional<std::int64_t> parseHistoryTime(std::string_view text, std::int64_t now);
