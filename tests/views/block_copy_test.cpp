#include "views/block_copy.h"

#include <gtest/gtest.h>

#include <QString>

#include <string>

namespace {

// Cell texts like "c2r3"; row 0 reads as the header.
std::string_view namedCell(int column, int row)
{
    static std::string buffer;
    buffer = "c" + std::to_string(column) + "r" + std::to_string(row);
    return buffer;
}

} // namespace

TEST(BlockCopy, JoinsCellsWithSeparatorAndEndsEveryRowWithCrLf)
{
    struct Case
    {
        GridSelection selection;
        std::string expected;
    };
    const Case cases[] = {
        { { 4, 3, 4, 3 }, "c4r3\r\n" },
        { { 1, 2, 3, 3 }, "c1r2   |   c2r2   |   c3r2\r\nc1r3   |   c2r3   |   c3r3\r\n" },
        { { 6, 1, 6, 2 }, "c6r1\r\nc6r2\r\n" },
        { { 0, 1, 1, 1 }, "c0r1   |   c1r1\r\n" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(blockCopyText(c.selection, namedCell), c.expected)
            << c.selection.left << "," << c.selection.top << " " << c.selection.right << ","
            << c.selection.bottom;
}

TEST(BlockCopy, EmptyCellsStillGiveSeparatorsAndLineEnds)
{
    const auto empty = [](int, int) { return std::string_view(); };
    EXPECT_EQ(blockCopyText({ 0, 1, 0, 1 }, empty), "\r\n");
    EXPECT_EQ(blockCopyText({ 0, 1, 2, 1 }, empty), "   |      |   \r\n");
}

TEST(BlockCopy, NoSelectionReadsNoCellAndGivesNothing)
{
    int reads = 0;
    const auto counting = [&reads](int, int) {
        ++reads;
        return std::string_view("x");
    };
    for (const GridSelection& selection : { GridSelection {}, GridSelection { -1, 2, 3, 4 },
             GridSelection { 2, -1, 3, 4 }, GridSelection { 3, 1, 2, 1 }, GridSelection { 1, 3, 1, 2 } }) {
        EXPECT_EQ(blockCopyText(selection, counting), "");
    }
    EXPECT_EQ(reads, 0);
}

TEST(BlockCopy, LongBlockIsCutAtTheBufferLimit)
{
    const std::string cell(100, 'a');
    const auto wide = [&cell](int, int) { return std::string_view(cell); };
    // Rows of 7 cells: 7 * 100 + 6 * 7 + 2 = 744 bytes; 200 rows are far beyond the limit.
    const std::string text = blockCopyText({ 0, 1, 6, 200 }, wide);
    ASSERT_EQ(text.size(), kBlockCopyLimit);
    EXPECT_EQ(text.substr(0, 744 - 2), std::string(text.substr(744, 744 - 2)));
    EXPECT_EQ(text.substr(742, 2), "\r\n");

    // Exactly at the limit nothing is lost; one byte more is cut.
    std::string exact(kBlockCopyLimit - 2, 'b');
    const auto one = [&exact](int, int) { return std::string_view(exact); };
    EXPECT_EQ(blockCopyText({ 0, 1, 0, 1 }, one), exact + "\r\n");
    exact += 'b';
    EXPECT_EQ(blockCopyText({ 0, 1, 0, 1 }, one), exact + "\r");
}

TEST(BlockCopy, CutNeverSplitsAMultiByteCharacter)
{
    std::string text;
    while (text.size() < 6000)
        text += "\xc3\xa9"; // é
    const auto accented = [&text](int, int) { return std::string_view(text); };
    const std::string copied = blockCopyText({ 0, 1, 0, 1 }, accented);
    EXPECT_EQ(copied.size(), kBlockCopyLimit - 1);
    EXPECT_EQ(QString::fromUtf8(copied.data(), static_cast<qsizetype>(copied.size())).size(),
        static_cast<qsizetype>(copied.size() / 2));
    EXPECT_FALSE(QString::fromUtf8(copied.data(), static_cast<qsizetype>(copied.size()))
                     .contains(QChar::ReplacementCharacter));
}
