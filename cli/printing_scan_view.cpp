#include "cli/printing_scan_view.h"

#include <cstdio>
#include <ostream>

namespace {

using Cells = std::vector<std::string>;

// A line is made whole and written once: the stream's per-insertion cost was a tenth of a
// large table's print.
void printTsvRow(std::ostream& out, const Cells& row)
{
    thread_local std::string line;
    line.clear();
    for (std::size_t i = 0; i < row.size(); ++i) {
        if (i > 0)
            line += '\t';
        line += row[i];
    }
    line += '\n';
    out.write(line.data(), static_cast<std::streamsize>(line.size()));
}

// RFC 4180: a field with a comma, quote or line break is quoted, its quotes doubled.
void printCsvRow(std::ostream& out, const Cells& row)
{
    for (std::size_t i = 0; i < row.size(); ++i) {
        if (i > 0)
            out << ',';
        const std::string& cell = row[i];
        if (cell.find_first_of(",\"\r\n") == std::string::npos) {
            out << cell;
            continue;
        }
        out << '"';
        for (const char c : cell)
            out << (c == '"' ? "\"\"" : std::string(1, c));
        out << '"';
    }
    out << "\r\n";
}

void printJsonString(std::ostream& out, const std::string& text)
{
    out << '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out << '\\' << c;
        } else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            out << escaped;
        } else {
            out << c; // names are UTF-8 already
        }
    }
    out << '"';
}

void printJson(std::ostream& out, const Cells& header, std::size_t count, const RowCells& rowAt)
{
    out << '[';
    for (std::size_t r = 0; r < count; ++r) {
        const Cells row = rowAt(r);
        out << (r > 0 ? ",\n  {" : "\n  {");
        for (std::size_t i = 0; i < header.size() && i < row.size(); ++i) {
            if (i > 0)
                out << ", ";
            printJsonString(out, header[i]);
            out << ": ";
            printJsonString(out, row[i]);
        }
        out << '}';
    }
    out << (count == 0 ? "]\n" : "\n]\n");
}

Cells cellsOf(const GridRow& row)
{
    return Cells(row.begin(), row.end());
}

// What the kernel does not count (UDP) or the agent does not tell.
const char* const kUnknown = "\u2013";

// Octets and octets per second as whole numbers, for scripts to read.
void appendTraffic(Cells& cells, const GridRowDetails& details, bool rates)
{
    const auto number = [](double value) { return std::to_string(static_cast<std::uint64_t>(value + 0.5)); };
    const bool known = details.trafficKnown;
    cells.push_back(known ? std::to_string(details.bytesSent) : kUnknown);
    cells.push_back(known ? std::to_string(details.bytesReceived) : kUnknown);
    cells.push_back(known ? std::to_string(details.rttMs) : kUnknown);
    if (!rates)
        return;
    const bool rated = known && details.sendRate >= 0 && details.receiveRate >= 0;
    cells.push_back(rated ? number(details.sendRate) : kUnknown);
    cells.push_back(rated ? number(details.receiveRate) : kUnknown);
}

} // namespace

void printTable(
    std::ostream& out, OutputFormat format, const Cells& header, std::size_t count, const RowCells& rowAt)
{
    if (format == OutputFormat::Json) {
        printJson(out, header, count, rowAt);
        return;
    }
    const auto print = format == OutputFormat::Csv ? printCsvRow : printTsvRow;
    print(out, header);
    for (std::size_t r = 0; r < count; ++r)
        print(out, rowAt(r));
}

void printTable(std::ostream& out, OutputFormat format, const Cells& header, const std::vector<Cells>& rows)
{
    printTable(out, format, header, rows.size(), [&rows](std::size_t r) { return rows[r]; });
}

void printHostTables(std::ostream& out, OutputFormat format, const Cells& header,
    const std::vector<std::pair<std::string, std::vector<Cells>>>& tables)
{
    Cells hostHeader { "Host" };
    hostHeader.insert(hostHeader.end(), header.begin(), header.end());
    std::vector<Cells> rows;
    for (const auto& [host, hostRows] : tables) {
        for (const Cells& hostRow : hostRows) {
            Cells row { host };
            row.insert(row.end(), hostRow.begin(), hostRow.end());
            rows.push_back(std::move(row));
        }
    }
    printTable(out, format, hostHeader, rows);
}

PrintingScanView::PrintingScanView(std::ostream& errors)
    : m_errors(errors)
{
}

void PrintingScanView::setGridContent(std::vector<GridRow> rows, std::vector<GridRowDetails> details)
{
    std::lock_guard lock(m_mutex);
    m_table = nullptr;
    m_rows = std::move(rows);
    m_details = std::move(details);
}

void PrintingScanView::setGridTable(const ConnectionTable& table, bool noneMatches)
{
    if (noneMatches || table.count() == 0) {
        ScanView::setGridTable(table, noneMatches); // no row, or the one empty row
        return;
    }
    std::lock_guard lock(m_mutex);
    m_table = &table;
    m_rows.clear();
    m_details.clear();
}

void PrintingScanView::showCapacityMessage(int notShown)
{
    m_errors << kCapacityMessage << ' ' << notShownText(notShown) << '\n';
}

void PrintingScanView::showTrafficNotice(const std::string& notice)
{
    std::lock_guard lock(m_mutex);
    if (m_trafficNoticeTold)
        return;
    m_trafficNoticeTold = true;
    m_errors << notice << '\n';
}

void PrintingScanView::setReadFailure(const std::string& failure)
{
    std::lock_guard lock(m_mutex);
    m_failure = failure;
}

std::string PrintingScanView::readFailure() const
{
    std::lock_guard lock(m_mutex);
    return m_failure;
}

std::size_t PrintingScanView::rowCount() const
{
    return m_table ? std::size_t(m_table->count()) : m_rows.size();
}

std::vector<std::string> PrintingScanView::rowCells(std::size_t r) const
{
    Cells cells;
    cells.reserve(kGridColumnCount + 6);
    const auto take = [&cells](GridRow&& row) {
        cells.insert(cells.end(), std::make_move_iterator(row.begin()), std::make_move_iterator(row.end()));
    };
    // The one empty row of a scan without rows stays empty.
    bool empty = false;
    GridRowDetails details;
    if (m_table) {
        const int number = int(r) + 1;
        const ConnectionRow& row = m_table->row(number);
        take(gridRowOf(number, row));
        // Only what the columns show: the whole details were a third of a row's printing.
        if (m_trafficColumns) {
            details = gridRowDetailsOf(row);
        } else if (m_processColumn) {
            details.pid = row.pid;
            details.processName = row.processName.str();
        }
    } else {
        take(GridRow(m_rows[r]));
        empty = cells[0].empty();
        if (r < m_details.size())
            details = m_details[r];
    }
    if (m_processColumn)
        cells.push_back(empty ? std::string() : processCellText(details.pid, details.processName));
    if (m_trafficColumns && !empty)
        appendTraffic(cells, details, m_rateColumns);
    return cells;
}

std::vector<std::vector<std::string>> PrintingScanView::cells() const
{
    std::lock_guard lock(m_mutex);
    std::vector<Cells> rows;
    for (std::size_t r = 0; r < rowCount(); ++r)
        rows.push_back(rowCells(r));
    return rows;
}

std::vector<std::string> PrintingScanView::header() const
{
    Cells header = cellsOf(gridHeaderRow());
    if (m_processColumn)
        header.push_back("Process");
    if (m_trafficColumns) {
        for (const char* title : { "Sent bytes", "Received bytes", "RTT ms" })
            header.push_back(title);
    }
    if (m_trafficColumns && m_rateColumns) {
        header.push_back("Send rate B/s");
        header.push_back("Receive rate B/s");
    }
    return header;
}

void PrintingScanView::print(std::ostream& out, OutputFormat format) const
{
    // Row by row: a copy of every row's cells was a fifth of a large table's memory.
    std::lock_guard lock(m_mutex);
    printTable(out, format, header(), rowCount(), [this](std::size_t r) { return rowCells(r); });
}
