#include "scan/scan_budget.h"

#include "scan/snmp_session.h"

ScanBudget::ScanBudget(const RemoteAgentSettings& settings)
    : m_maxRows(settings.maxRowsPerTable)
    , m_maxBytes(settings.maxScanBytes)
    , m_seconds(settings.maxScanSeconds)
    , m_deadline(std::chrono::steady_clock::now() + std::chrono::seconds(settings.maxScanSeconds))
{
}

bool ScanBudget::spend(std::size_t bytes)
{
    m_spent += bytes;
    return m_spent <= m_maxBytes;
}

std::string ScanBudget::rowsText() const
{
    return "stopped after " + std::to_string(m_maxRows) + " rows, the most one table may have";
}

std::string ScanBudget::bytesText() const
{
    return "stopped at " + std::to_string(m_maxBytes / (1024 * 1024))
        + " MB of rows, the most one scan may hold";
}

std::string ScanBudget::timeText() const
{
    return "stopped after " + std::to_string(m_seconds) + " s, the longest one scan may take";
}
