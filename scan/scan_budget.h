#pragma once
// What one scan of a remote agent may spend: an agent whose table never ends (a new row
// for every request) must neither hold a scan for ever nor fill the memory. The walks of
// a scan share one budget; each table has its own row cap besides.

#include <chrono>
#include <cstddef>
#include <string>

struct RemoteAgentSettings;

class ScanBudget
{
public:
    // Starts the scan's clock.
    explicit ScanBudget(const RemoteAgentSettings& settings);

    std::size_t maxRowsPerTable() const { return m_maxRows; }
    // Takes bytes of rows from the budget; false once the scan holds more than it may.
    bool spend(std::size_t bytes);
    bool expired() const { return std::chrono::steady_clock::now() > m_deadline; }
    // Why a walk stopped, naming the cap: "stopped after 1000000 rows, the most one table may have".
    std::string rowsText() const;
    std::string bytesText() const;
    std::string timeText() const;

private:
    std::size_t m_maxRows;
    std::size_t m_maxBytes;
    std::size_t m_spent = 0;
    int m_seconds;
    std::chrono::steady_clock::time_point m_deadline;
};
