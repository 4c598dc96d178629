#include "tests/scan/fakes/recording_scan_view.h"

void RecordingScanView::showView(bool graphic)
{
    record(graphic ? "showView map" : "showView grid");
}

void RecordingScanView::setStatusText(const std::string& text)
{
    record("status " + text);
}

void RecordingScanView::setReadFailure(const std::string& failure)
{
    if (!failure.empty())
        record("failed " + failure);
}

void RecordingScanView::setGridContent(std::vector<GridRow> rows, std::vector<GridRowDetails>)
{
    std::function<void()> hook;
    {
        std::lock_guard lock(m_mutex);
        m_rows = std::move(rows);
        m_events.push_back("grid " + std::to_string(m_rows.size()));
        hook = m_gridHook;
    }
    if (hook)
        hook();
}

void RecordingScanView::publishMapTable(std::shared_ptr<MapTable> table, bool drawMap)
{
    std::lock_guard lock(m_mutex);
    m_map = std::move(table);
    m_events.push_back(drawMap ? "map draw" : "map keep");
}

void RecordingScanView::showCapacityMessage(int notShown)
{
    std::function<void()> hook;
    {
        std::lock_guard lock(m_mutex);
        ++m_capacityMessages;
        m_lastNotShown = notShown;
        m_events.push_back(kCapacityMessage);
        hook = m_capacityHook;
    }
    if (hook)
        hook();
}

void RecordingScanView::onGridRows(std::function<void()> hook)
{
    std::lock_guard lock(m_mutex);
    m_gridHook = std::move(hook);
}

void RecordingScanView::onCapacityMessage(std::function<void()> hook)
{
    std::lock_guard lock(m_mutex);
    m_capacityHook = std::move(hook);
}

std::vector<std::string> RecordingScanView::events() const
{
    std::lock_guard lock(m_mutex);
    return m_events;
}

std::vector<GridRow> RecordingScanView::gridRows() const
{
    std::lock_guard lock(m_mutex);
    return m_rows;
}

std::shared_ptr<MapTable> RecordingScanView::mapTable() const
{
    std::lock_guard lock(m_mutex);
    return m_map;
}

int RecordingScanView::lastNotShown() const
{
    std::lock_guard lock(m_mutex);
    return m_lastNotShown;
}

int RecordingScanView::capacityMessages() const
{
    std::lock_guard lock(m_mutex);
    return m_capacityMessages;
}

void RecordingScanView::clear()
{
    std::lock_guard lock(m_mutex);
    m_events.clear();
    m_rows.clear();
    m_map.reset();
    m_capacityMessages = 0;
}

void RecordingScanView::record(std::string event)
{
    std::lock_guard lock(m_mutex);
    m_events.push_back(std::move(event));
}

void RecordingScanView::recordScan(std::shared_ptr<const SeenScan> scan)
{
    std::lock_guard lock(m_mutex);
    m_seen = std::move(scan);
}

std::shared_ptr<const SeenScan> RecordingScanView::seenScan() const
{
    std::lock_guard lock(m_mutex);
    return m_seen;
}
