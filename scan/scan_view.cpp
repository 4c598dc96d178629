#include "scan/scan_view.h"

#include <algorithm>

void ScanView::setGridTable(const ConnectionTable& table, bool noneMatches)
{
    if (noneMatches) {
        setGridContent({}, {});
        return;
    }
    std::vector<GridRow> rows;
    const int count = table.count();
    rows.reserve(std::size_t(std::max(count, 1)));
    for (int r = 1; r <= count; ++r)
        rows.push_back(gridRowOf(r, table.row(r)));
    if (count == 0)
        rows.emplace_back(); // the grid keeps one data row, empty
    std::vector<GridRowDetails> details;
    if (showsRowDetails()) {
        details.resize(rows.size());
        for (int r = 1; r <= count; ++r)
            details[std::size_t(r - 1)] = gridRowDetailsOf(table.row(r));
    }
    setGridContent(std::move(rows), std::move(details));
}
