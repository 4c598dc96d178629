#pragma once
// The table of display rows from the last scan: fixed-width texts, rows numbered from 1.

#include <cstddef>
#include <cstring>
#include <string_view>

// Receives the modal "Too many connections !" message; returns once the user closed it.
class CapacitySink
{
public:
    virtual ~CapacitySink() = default;
    virtual void showCapacityMessage() = 0;
};

inline constexpr const char* kCapacityMessage = "Too many connections !";

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

    // count = 0; row texts stay as they are.
    void reset() { m_count = 0; }
    // Appends a row. Beyond the 200th the sink shows the capacity message and nothing
    // is stored: the result is then nullptr and count stays 200.
    ConnectionRow* append(CapacitySink& sink);
    // Takes back the row just appended, so the next append overwrites it.
    void dropLast();
    // Exchanges all fields of rows i and j (1-based).
    void swap(int i, int j);

    int count() const { return m_count; }
    ConnectionRow& row(int n) { return m_rows[n]; }
    const ConnectionRow& row(int n) const { return m_rows[n]; }

private:
    ConnectionRow m_rows[kCapacity + 1] {}; // slot 0 unused
    int m_count = 0;
};
