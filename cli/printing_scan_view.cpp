#include "cli/printing_scan_view.h"

#include <cstdio>
#include <ostream>

namespace {

using Cells = std::vector<std::string>;

void printTsvRow(std::ostream& out, const Cells& row)
{
    for (std::size_t i = 0; i < row.size(); ++i) {
        if (i > 0)
            out << '\t';
        out << row[i];
    }
    out << '\n';
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

void printJson(std::ostream& out, const Cells& header, const std::vector<Cells>& rows)
{
    out << '[';
    for (std::size_t r = 0; r < rows.size(); ++r) {
        out << (r > 0 ? ",\n  {" : "\n  {");
        for (std::size_t i = 0; i < header.size() && i < rows[r].size(); ++i) {
            if (i > 0)
                out << ", ";
            printJsonString(out, header[i]);
            out << ": ";
            printJsonString(out, rows[r][i]);
        }
        out << '}';
    }
    out << (rows.empty() ? "]\n" : "\n]\n");
}

Cells cellsOf(const GridRow& row)
{
    return Cells(row.begin(), row.end());
}

} // namespace

void printTable(std::ostream& out, OutputFormat format, const Cells& header, const std::vector<Cells>& rows)
{
    if (format == OutputFormat::Json) {
        printJson(out, header, rows);
        return;
    }
    const auto print = format == OutputFormat::Csv ? printCsvRow : printTsvRow;
    print(out, header);
    for (const Cells& row : rows)
        print(out, row);
}

void printHostTables(std::ostream& out, OutputFormat format,
    const std::vector<std::pair<std::string, std::vector<GridRow>>>& tables)
{
    Cells header { "Host" };
    for (const std::string& title : cellsOf(gridHeaderRow()))
        header.push_back(title);
    std::vector<Cells> rows;
    for (const auto& [host, gridRows] : tables) {
        for (const GridRow& gridRow : gridRows) {
            Cells row { host };
            row.insert(row.end(), gridRow.begin(), gridRow.end());
            rows.push_back(std::move(row));
        }
    }
    printTable(out, format, header, rows);
}

PrintingScanView::PrintingScanView(std::ostream& errors)
    : m_errors(errors)
{
}

void PrintingScanView::setGridContent(std::vector<GridRow> rows, std::vector<GridRowDetails> details)
{
    std::lock_guard lock(m_mutex);
    m_rows = std::move(rows);
    m_details = std::move(details);
}

void PrintingScanView::showCapacityMessage(int notShown)
{
    m_errors << kCapacityMessage << ' ' << notShownText(notShown) << '\n';
}

std::vector<GridRow> PrintingScanView::rows() const
{
    std::lock_guard lock(m_mutex);
    return m_rows;
}

void PrintingScanView::print(std::ostream& out, OutputFormat format) const
{
    std::lock_guard lock(m_mutex);
    std::vector<Cells> rows;
    for (std::size_t r = 0; r < m_rows.size(); ++r) {
        rows.push_back(cellsOf(m_rows[r]));
        if (m_processColumn) {
            const GridRowDetails details = r < m_details.size() ? m_details[r] : GridRowDetails {};
            // The one empty row of a scan without rows stays empty.
            rows.back().push_back(
                m_rows[r][0].empty() ? std::string() : processCellText(details.pid, details.processName));
        }
    }
    Cells header = cellsOf(gridHeaderRow());
    if (m_processColumn)
        header.push_back("Process");
    printTable(out, format, header, rows);
}
