#include "views/tsv_copy.h"

#include "scan/grid_columns.h"

namespace {

void appendLine(std::string& out, int row, const CellTextAccessor& cellText, int columns)
{
    for (int column = 0; column < columns; ++column) {
        if (column > 0)
            out.push_back('\t');
        for (char c : cellText(column, row))
            out.push_back(c == '\t' || c == '\n' || c == '\r' ? ' ' : c);
    }
    out.push_back('\n');
}

} // namespace

std::string tsvCopyText(int top, int bottom, const CellTextAccessor& cellText, int columns)
{
    std::string text;
    if (top < 1 || top > bottom)
        return text;
    appendLine(text, 0, cellText, columns);
    for (int row = top; row <= bottom; ++row)
        appendLine(text, row, cellText, columns);
    return text;
}
