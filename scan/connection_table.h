#pragma once
// The table of display rows from the last scan: fixed-width texts, rows numbered from 1.

#include "scan/short_text.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

// Receives the "Too many connections !" message; shows it and returns, never holding the scan.
class CapacitySink
{
public:
    virtual ~CapacitySink() = default;
    // notShown endpoints found no room in the table.
    virtual void showCapacityMessage(int notShown) = 0;
};

inline constexpr const char* kCapacityMessage = "Too many connections !";

// The line under the message, and the status text of every scan that overflows.
inline std::string notShownText(int notShown)
{
    return std::to_string(notShown) + (notShown == 1 ? " endpoint was" : " endpoints were") + " not shown.";
}

struct ConnectionRow
{
    FixedText<255> localHost;
    FixedText<255> localPort;
    FixedText<255> remoteHost;
    FixedText<255> remotePort;
    FixedText<50> state;
    // The numeric addresses behind the host texts (empty where a row has no remote
    // side): shown where a name replaces one, and what the filters look at.
    FixedText<46> localAddress;
    FixedText<46> remoteAddress;
    FixedText<64> processName;
    SharedText<512> commandLine; // one per process, shared by its rows
    char protocol[10];
    // A wildcard socket that takes both families (an IPv6 socket without IPV6_V6ONLY),
    // though the IPv4 tables show it as 0.0.0.0.
    bool dualStack;
    // A TCP connection's counters, when the scan reads traffic and the agent has them.
    bool trafficKnown;
    // The numeric ports and the owning process (pid 0: not known), for tooltips and the
    // process column.
    std::int32_t localPortNumber;
    std::int32_t remotePortNumber;
    std::uint32_t pid;
    std::uint64_t bytesSent; // acknowledged by the peer
    std::uint64_t bytesReceived;
    double sendRate; // octets per second; negative: no rate yet
    double receiveRate;
    std::uint32_t rttMs;
    std::uint32_t retransmits;
};

// Copies text into a fixed field, cut so that the terminator always fits.
template <std::size_t N, typename Text> void setField(FixedText<N, Text>& field, std::string_view text)
{
    // Read as a C string, as the fixed fields were: up to a terminator, N - 1 bytes at most.
    field.assign(text.substr(0, std::min({ text.find('\0'), text.size(), N - 1 })));
}

template <std::size_t N> void setField(char (&field)[N], std::string_view text)
{
    const std::size_t n = text.size() < N - 1 ? text.size() : N - 1;
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

class ConnectionTable
{
public:
    // The table's size as it always was; a larger one, or none, is the user's choice.
    static constexpr int kCapacity = 200;
    static constexpr int kUnbounded = 0;

    // Rows are made as they are first appended: a table holds memory for the most rows it
    // ever held, not for its capacity.
    explicit ConnectionTable(int capacity = kCapacity)
        : m_capacity(capacity)
    {
    }
    ConnectionTable(const ConnectionTable& other) { copyFrom(other); }
    ConnectionTable& operator=(const ConnectionTable& other)
    {
        if (this != &other)
            copyFrom(other);
        return *this;
    }

    // The most rows a scan stores; kUnbounded stores every endpoint. From the next append.
    void setCapacity(int rows) { m_capacity = rows; }
    int capacity() const { return m_capacity; }

    // count = 0; row texts stay as they are. The overflow of the scan before is remembered.
    void reset()
    {
        m_overflowBefore = m_notStored > 0;
        m_count = 0;
        m_notStored = 0;
    }
    // Appends a row. Beyond the capacity nothing is stored and the endpoint is counted:
    // the result is then nullptr and count stays where it is.
    ConnectionRow* append();
    // Endpoints that found no room since the last reset.
    int notStored() const { return m_notStored; }
    // This scan overflows and the one before did not: an overflow begins.
    bool overflowBegins() const { return m_notStored > 0 && !m_overflowBefore; }
    // Takes back the row just appended, so the next append overwrites it.
    void dropLast();
    // Exchanges all fields of rows i and j (1-based).
    void swap(int i, int j);
    // Puts the rows in the order given: order[k] is the row (1-based) that becomes row k + 1.
    void reorder(const std::vector<int>& order);

    int count() const { return m_count; }
    ConnectionRow& row(int n) { return m_rows[static_cast<std::size_t>(n)]; }
    const ConnectionRow& row(int n) const { return m_rows[static_cast<std::size_t>(n)]; }

private:
    void copyFrom(const ConnectionTable& other)
    {
        // The stored rows only: a copy of a table is a copy of a scan.
        m_rows.assign(other.m_rows.begin(), other.m_rows.begin() + (other.m_count + 1));
        m_capacity = other.m_capacity;
        m_count = other.m_count;
        m_notStored = other.m_notStored;
        m_overflowBefore = other.m_overflowBefore;
    }

    // Slot 0 unused; rows past count as they were left. A deque: a row stays where it is
    // while later ones are appended.
    std::deque<ConnectionRow> m_rows = std::deque<ConnectionRow>(1);
    int m_capacity = kCapacity;
    int m_count = 0;
    int m_notStored = 0;
    bool m_overflowBefore = false;
};
