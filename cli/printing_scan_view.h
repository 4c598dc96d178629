#pragma once
// A view without a window: keeps the grid rows of the scan for printing, and sends
// the capacity message to an error stream instead of a message box.

#include "scan/scan_view.h"

#include <iosfwd>
#include <mutex>

class PrintingScanView final : public ScanView
{
public:
    explicit PrintingScanView(std::ostream& errors);

    bool graphicMode() const override { return false; }
    void showView(bool) override { }
    void setStatusText(const std::string&) override { }
    void setGridRows(std::vector<GridRow> rows) override;
    void publishMapTable(std::shared_ptr<MapTable>, bool) override { }
    void showCapacityMessage(int notShown) override;

    // The header row and the data rows, one line each, cells separated by tabs.
    void print(std::ostream& out) const;
    // The header of a table of several computers: a "Host" cell, then the usual header.
    static void printHostHeader(std::ostream& out);
    // The data rows only, each led by a host cell.
    void printRows(std::ostream& out, const std::string& host) const;

private:
    std::ostream& m_errors;
    mutable std::mutex m_mutex; // rows come from the worker, printing from main
    std::vector<GridRow> m_rows;
};
