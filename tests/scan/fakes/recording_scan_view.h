#pragma once
// A view that records what a scan does to the window, in order, for the tests.
// Hooks let a test block or throw inside a step.

#include "scan/scan_view.h"

#include <functional>
#include <mutex>
#include <string>
#include <vector>

class RecordingScanView final : public ScanView
{
public:
    void showView(bool graphic) override;
    void setStatusText(const std::string& text) override;
    void setReadFailure(const std::string& failure) override;
    void setGridContent(std::vector<GridRow> rows, std::vector<GridRowDetails> details) override;
    void publishMapTable(std::shared_ptr<MapTable> table, bool drawMap) override;
    void showCapacityMessage(int notShown) override;
    bool recordsHistory() const override { return m_recordsHistory; }
    void recordScan(std::shared_ptr<const SeenScan> scan) override;
    void setRecordsHistory(bool records) { m_recordsHistory = records; }
    std::shared_ptr<const SeenScan> seenScan() const; // the last one recorded

    // Runs inside setGridContent / showCapacityMessage on the worker (may block or throw).
    void onGridRows(std::function<void()> hook);
    void onCapacityMessage(std::function<void()> hook);

    std::vector<std::string> events() const; // "showView grid", "status Scanning...", ...
    std::vector<GridRow> gridRows() const;
    std::shared_ptr<MapTable> mapTable() const;
    int capacityMessages() const;
    int lastNotShown() const;
    void clear();

private:
    void record(std::string event);

    mutable std::mutex m_mutex;
    std::vector<std::string> m_events;
    std::vector<GridRow> m_rows;
    std::shared_ptr<MapTable> m_map;
    int m_capacityMessages = 0;
    bool m_recordsHistory = false;
    std::shared_ptr<const SeenScan> m_seen;
    int m_lastNotShown = 0;
    std::function<void()> m_gridHook;
    std::function<void()> m_capacityHook;
};
