#pragma once
// A view without a window: keeps the grid rows of the scan for printing, and sends
// the capacity message to an error stream instead of a message box.

#include "cli/scan_arguments.h"
#include "scan/scan_view.h"

#include <iosfwd>
#include <mutex>
#include <string>
#include <vector>

class PrintingScanView final : public ScanView
{
public:
    explicit PrintingScanView(std::ostream& errors);

    void showView(bool) override { }
    void setStatusText(const std::string&) override { }
    void setGridContent(std::vector<GridRow> rows, std::vector<GridRowDetails> details) override;
    // Prints a "Process" column after "State".
    void setProcessColumn(bool on) { m_processColumn = on; }
    void publishMapTable(std::shared_ptr<MapTable>, bool) override { }
    bool showsMap() const override { return false; }
    void showCapacityMessage(int notShown) override;

    // The rows of the last scan.
    std::vector<GridRow> rows() const;
    // The header row and the data rows, one line each, cells separated by tabs; or
    // as CSV (CR LF lines) or as a JSON array of objects keyed by the header's titles.
    void print(std::ostream& out, OutputFormat format = OutputFormat::Tsv) const;

private:
    std::ostream& m_errors;
    mutable std::mutex m_mutex; // rows come from the worker, printing from main
    std::vector<GridRow> m_rows;
    std::vector<GridRowDetails> m_details;
    bool m_processColumn = false;
};

// A table in the chosen format: the header's titles, then each row's cells.
void printTable(std::ostream& out, OutputFormat format, const std::vector<std::string>& header,
    const std::vector<std::vector<std::string>>& rows);

// The tables of several computers as one, each row led by a "Host" cell.
void printHostTables(std::ostream& out, OutputFormat format,
    const std::vector<std::pair<std::string, std::vector<GridRow>>>& tables);
