#pragma once
// The grid's sort on header click: one column, ascending or descending, or the scan's
// own order. Numbers (row numbers, ports) and addresses (dotted quads, IPv6 texts)
// compare by value; every other text (host and service names, protocol, state) as
// text, after all numbers and addresses. Ties keep the scan's order.

#include "scan/grid_columns.h"

#include <QtCore/qnamespace.h>

#include <cstddef>
#include <string_view>
#include <vector>

// The scan's order: no column is sorted.
inline constexpr int kScanOrder = -1;

// <0, 0 or >0 as cell a sorts before, with or after cell b (ascending).
int compareGridCells(std::string_view a, std::string_view b);

// The indexes of rows in display order for a column and direction; kScanOrder gives
// the order of the rows' "No" cells, which is the order the scan delivered them in.
std::vector<std::size_t> gridDisplayOrder(const std::vector<GridRow>& rows, int column, Qt::SortOrder order);

// "Process" cells (name[pid]): by name as text, then by pid as a number. "-", a process
// not known, is what the user looks past, so it sorts after every process either way.
int compareProcessCells(std::string_view a, std::string_view b);
// The display order by the "Process" column; ties keep the scan's order.
std::vector<std::size_t> processDisplayOrder(
    const std::vector<GridRow>& rows, const std::vector<GridRowDetails>& details, Qt::SortOrder order);
