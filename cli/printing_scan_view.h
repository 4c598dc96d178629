#pragma once
// A view without a window: keeps the grid rows of the scan for printing (or the scan's
// table, whose rows it makes into cells as they print), and sends the capacity message to
// an error stream instead of a message box.

#include "cli/scan_arguments.h"
#include "scan/scan_view.h"

#include <functional>
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
    // Keeps a reference to the table, whose rows are made into cells one at a time as they
    // print: the caller keeps the table until then.
    void setGridTable(const ConnectionTable& table, bool noneMatches) override;
    // Prints a "Process" column after "State".
    void setProcessColumn(bool on) { m_processColumn = on; }
    // Prints each connection's bytes and round trip after those, and its rates when asked.
    void setTrafficColumns(bool traffic, bool rates)
    {
        m_trafficColumns = traffic;
        m_rateColumns = rates;
    }
    // Says it on the error stream, once for all the scans of this view.
    void showTrafficNotice(const std::string& notice) override;
    void publishMapTable(std::shared_ptr<MapTable>, bool) override { }
    bool showsMap() const override { return false; }
    bool showsRowDetails() const override { return m_processColumn || m_trafficColumns; }
    void showCapacityMessage(int notShown) override;
    // A scan that could not read the tables prints no rows and says why.
    void setReadFailure(const std::string& failure) override;
    std::string readFailure() const;

    // The header's titles and the rows' cells as printed: a Process cell last when asked.
    std::vector<std::string> header() const;
    std::vector<std::vector<std::string>> cells() const;
    // The header row and the data rows, one line each, cells separated by tabs; or
    // as CSV (CR LF lines) or as a JSON array of objects keyed by the header's titles.
    void print(std::ostream& out, OutputFormat format = OutputFormat::Tsv) const;

private:
    // With m_mutex held.
    std::size_t rowCount() const;
    std::vector<std::string> rowCells(std::size_t r) const;

    std::ostream& m_errors;
    mutable std::mutex m_mutex; // rows come from the worker, printing from main
    const ConnectionTable* m_table = nullptr; // the rows, when given as the scan's table
    std::vector<GridRow> m_rows; // else these
    std::vector<GridRowDetails> m_details;
    bool m_processColumn = false;
    bool m_trafficColumns = false;
    bool m_rateColumns = false;
    bool m_trafficNoticeTold = false;
    std::string m_failure;
};

// A table in the chosen format: the header's titles, then each row's cells.
void printTable(std::ostream& out, OutputFormat format, const std::vector<std::string>& header,
    const std::vector<std::vector<std::string>>& rows);
// The same, each row's cells made as it is printed.
using RowCells = std::function<std::vector<std::string>(std::size_t)>;
void printTable(std::ostream& out, OutputFormat format, const std::vector<std::string>& header,
    std::size_t count, const RowCells& rowAt);

// The tables of several computers as one, each row led by a "Host" cell.
void printHostTables(std::ostream& out, OutputFormat format, const std::vector<std::string>& header,
    const std::vector<std::pair<std::string, std::vector<std::vector<std::string>>>>& tables);
