#include "cli/printing_scan_view.h"

#include <cstdio>
#include <ostream>

namespace {

void printRow(std::ostream& out, const GridRow& row)
{
    for (std::size_t i = 0; i < row.size(); ++i) {
        if (i > 0)
            out << '\t';
        out << row[i];
    }
    out << '\n';
}

// RFC 4180: a field with a comma, quote or line break is quoted, its quotes doubled.
void printCsvRow(std::ostream& out, const GridRow& row)
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

void printJson(std::ostream& out, const GridRow& header, const std::vector<GridRow>& rows)
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

} // namespace

PrintingScanView::PrintingScanView(std::ostream& errors)
    : m_errors(errors)
{
}

void PrintingScanView::setGridRows(std::vector<GridRow> rows)
{
    std::lock_guard lock(m_mutex);
    m_rows = std::move(rows);
}

void PrintingScanView::showCapacityMessage()
{
    m_errors << kCapacityMessage << '\n';
}

void PrintingScanView::print(std::ostream& out, OutputFormat format) const
{
    std::lock_guard lock(m_mutex);
    if (format == OutputFormat::Json) {
        printJson(out, gridHeaderRow(), m_rows);
        return;
    }
    const auto print = format == OutputFormat::Csv ? printCsvRow : printRow;
    print(out, gridHeaderRow());
    for (const GridRow& row : m_rows)
        print(out, row);
}
