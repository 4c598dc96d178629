#pragma once
// The text that a block copy of grid cells puts on the clipboard.

#include "views/grid_selection.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

// Cell text by (column, row) in grid numbering.
using CellTextAccessor = std::function<std::string_view(int column, int row)>;

// The block is assembled in a 5000-byte buffer, so it holds at most this many bytes.
inline constexpr std::size_t kBlockCopyLimit = 4999;

inline constexpr std::string_view kBlockCopySeparator = "   |   ";

// Cells of each selected row joined by kBlockCopySeparator, every row ended by CR LF.
// A text longer than kBlockCopyLimit is cut there (never inside a UTF-8 sequence).
// An empty selection gives an empty text and reads no cell.
std::string blockCopyText(const GridSelection& selection, const CellTextAccessor& cellText);
