#pragma once
// The table of display rows from the last scan: fixed-width texts, rows numbered from 1.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

// Receives the "Too many connections !" message; returns once the user closed it.
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
    char localHost[255];
    char localPort[255];
    char remoteHost[255];
    char remotePort[255];
    char protocol[10];
    char state[50];
    // The numeric addresses behind the host texts (empty where a row has no remote
    // side): shown where a name replaces one, and what the filters look at.
    char localAddress[46];
    char remoteAddress[46];
    // The numeric ports and the owning process (pid 0: not known), for tooltips and the
    // process column.
    std::int32_t localPortNumber;
    std::int32_t remotePortNumber;
    std::uint32_t pid;
    char processName[64];
    char commandLine[512];
};

// Copies text into a fixed field, cut so that the terminator always fits.
template <std::size_t N> void setField(char (&field)[N], std::string_view text)
{
    const std::size_t n = text.size() < N - 1 ? text.size() : N - 1;
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

class ConnectionTable
{
public:
    static constexpr int kCapacity = 200;

    // A table of 200 rows is 440 KB: a new one leaves its rows untouched until they are
    // appended (each is written whole then), and a copy takes the stored rows only. Fresh
    // memory costs its first touch, and copies are made at every scan.
    ConnectionTable() { }
    ConnectionTable(const ConnectionTable& other) { copyFrom(other); }
    ConnectionTable& operator=(const ConnectionTable& other)
    {
        if (this != &other)
            copyFrom(other);
        return *this;
    }

    // count = 0; row texts stay as they are. The overflow of the scan before is remembered.
    void reset()
    {
        m_overflowBefore = m_notStored > 0;
        m_count = 0;
        m_notStored = 0;
    }
    // Appends a row. Beyond the 200th nothing is stored and the endpoint is counted:
    // the result is then nullptr and count stays 200.
    ConnectionRow* append();
    // Endpoints that found no room since the last reset.
    int notStored() const { return m_notStored; }
    // This scan overflows and the one before did not: an overflow begins.
    bool overflowBegins() const { return m_notStored > 0 && !m_overflowBefore; }
    // Takes back the row just appended, so the next append overwrites it.
    void dropLast();
    // Exchanges all fields of rows i and j (1-based).
    void swap(int i, int j);

    int count() const { return m_count; }
    ConnectionRow& row(int n) { return m_rows[n]; }
    const ConnectionRow& row(int n) const { return m_rows[n]; }

private:
    void copyFrom(const ConnectionTable& other)
    {
        std::memcpy(
            &m_rows[1], &other.m_rows[1], sizeof(ConnectionRow) * static_cast<std::size_t>(other.m_count));
        m_count = other.m_count;
        m_notStored = other.m_notStored;
        m_overflowBefore = other.m_overflowBefore;
    }

    ConnectionRow m_rows[kCapacity + 1]; // slot 0 unused; rows past count as they were left
    int m_count = 0;
    int m_notStored = 0;
    bool m_overflowBefore = false;
};
