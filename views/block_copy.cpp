#include "views/block_copy.h"

namespace {

bool isUtf8Continuation(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Appends as much of piece as the limit allows; false once the limit is reached.
bool appendLimited(std::string& out, std::string_view piece)
{
    const std::size_t room = kBlockCopyLimit - out.size();
    if (piece.size() <= room) {
        out.append(piece);
        return true;
    }
    std::size_t cut = room;
    // Cutting inside a multi-byte character would leave a broken one at the end.
    while (cut > 0 && isUtf8Continuation(piece[cut]))
        --cut;
    out.append(piece.substr(0, cut));
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
