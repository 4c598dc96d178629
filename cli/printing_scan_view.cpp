#include "cli/printing_scan_view.h"

#include <ostream>

namespace {

void printRow(std::ostream& out, const GridRow& row, const std::string* host = nullptr)
{
    if (host)
        out << *host << '\t';
    for (std::size_t i = 0; i < row.size(); ++i) {
        if (i > 0)
            out << '\t';
        out << row[i];
    }
    out << '\n';
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

void PrintingScanView::showCapacityMessage(int notShown)
{
    m_errors << kCapacityMessage << ' ' << notShownText(notShown) << '\n';
}

void PrintingScanView::print(std::ostream& out) const
{
    std::lock_guard lock(m_mutex);
    printRow(out, gridHeaderRow());
    for (const GridRow& row : m_rows)
        printRow(out, row);
}

void PrintingScanView::printHostHeader(std::ostream& out)
{
    const std::string host = "Host";
    printRow(out, gridHeaderRow(), &host);
}

void PrintingScanView::printRows(std::ostream& out, const std::string& host) const
{
    std::lock_guard lock(m_mutex);
    for (const GridRow& row : m_rows)
        printRow(out, row, &host);
}
