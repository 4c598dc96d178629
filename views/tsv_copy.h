#pragma once
// Rows of the grid as tab-separated text, for spreadsheets: a header line with the
// column titles, then one line per row, every line ended by LF. Tabs and line breaks
// inside a cell become spaces, so a cell never splits.

#include "scan/grid_columns.h"
#include "views/block_copy.h"

#include <string>

// Grid rows top..bottom (grid numbering, data rows from 1), all seven columns (or as
// many as the grid shows), after the header line of grid row 0. Empty when top > bottom
// or top < 1.
std::string tsvCopyText(
    int top, int bottom, const CellTextAccessor& cellText, int columns = kGridColumnCount);
