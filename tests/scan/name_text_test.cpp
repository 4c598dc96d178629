#include "scan/name_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(SafeNameText, EscapesWhatCouldActOnATerminalOrReorderTheText)
{
    const std::pair<std::string, std::string> cases[] {
        { "host.example", "host.example" },
        { "caf\xc3\xa9.example", "caf\xc3\xa9.example" }, // UTF-8 stays as it is
        { "a\x1b]0;title\x07z", "a\\x1b]0;title\\x07z" },
        { "tab\there\r\n", "tab\\x09here\\x0d\\x0a" },
        { "del\x7f", "del\\x7f" },
        { "c1\xc2\x9b", "c1\\u009b" }, // CSI as a character
        { "abc\xe2\x80\xaegnp.exe", "abc\\u202egnp.exe" }, // right-to-left override
        { "\xe2\x81\xa6x\xe2\x81\xa9", "\\u2066x\\u2069" }, // isolates
        { "\xe2\x80\x8f\xd8\x9c", "\\u200f\\u061c" }, // RLM, ALM
        { "line\xe2\x80\xa8two", "line\\u2028two" },
        { "bad\xff\xc3", "bad\\xff\\xc3" }, // not UTF-8, and a character cut short
        { "\xc0\xaf\xed\xa0\x80", "\\xc0\\xaf\\xed\\xa0\\x80" }, // overlong, surrogate
        { "\xf4\x90\x80\x80", "\\xf4\\x90\\x80\\x80" }, // above U+10FFFF
        { "\xf0\x9f\x98\x80", "\xf0\x9f\x98\x80" },
        { "back\\slash", "back\\slash" },
    };
    for (const auto& [name, text] : cases)
        EXPECT_EQ(safeNameText(name, 254), text) << name;
}

TEST(SafeNameText, CutsBetweenCharactersAndEscapesOnly)
{
    const std::string e = "\xc3\xa9"; // two bytes
    EXPECT_EQ(safeNameText("ab" + e, 3), "ab");
    EXPECT_EQ(safeNameText("ab" + e, 4), "ab" + e);
    EXPECT_EQ(safeNameText("ab\x1b", 5), "ab");
    EXPECT_EQ(safeNameText("ab\x1b", 6), "ab\\x1b");
    EXPECT_EQ(safeNameText("abc\xe2\x80\xae", 8), "abc");
    std::string name = "a";
    for (int i = 0; i < 150; ++i)
        name += e; // 301 bytes
    EXPECT_EQ(safeNameText(name, 254), name.substr(0, 253));
    EXPECT_EQ(safeNameText(name, 200), name.substr(0, 199));
}

TEST(SafeNameText, InvisibleTexts)
{
    EXPECT_TRUE(isInvisibleText(""));
    EXPECT_TRUE(isInvisibleText(" "));
    EXPECT_TRUE(isInvisibleText(
        "\xe2\x80\x8b\xc2\xa0\xef\xbb\xbf\xe3\x80\x80")); // ZWSP, NBSP, BOM, ideographic space
    EXPECT_FALSE(isInvisibleText("\\x1b"));
    EXPECT_FALSE(isInvisibleText(" a "));
    EXPECT_FALSE(isInvisibleText("\xe2\x80\x8b."));
}

} // namespace
