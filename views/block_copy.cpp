#include "views/block_copy.h"

#include "scan/utf8_cut.h"

namespace {

// Appends as much of piece as the limit allows; false once the limit is reached.
bool appendLimited(std::string& out, std::string_view piece)
{
    const std::size_t room = kBlockCopyLimit - out.size();
    if (piece.size() <= room) {
        out.append(piece);
        return true;
    }
    out.append(utf8Prefix(piece, room));
    return false;
}

} // namespace

std::string blockCopyText(const GridSelection& selection, const CellTextAccessor& cellText)
{
    std::string text;
    if (selection.isEmpty())
        return text;
    for (int row = selection.top; row <= selection.bottom; ++row) {
        for (int column = selection.left; column <= selection.right; ++column) {
            if (column != selection.left && !appendLimited(text, kBlockCopySeparator))
                return text;
            if (!appendLimited(text, cellText(column, row)))
                return text;
        }
        if (!appendLimited(text, "\r\n"))
            return text;
    }
    return text;
}
