#pragma once
// Cutting UTF-8 text to a byte limit without splitting a character.

#include <cstddef>
#include <string_view>

// The longest prefix of text that fits in maxBytes and ends on a character boundary.
inline std::string_view utf8Prefix(std::string_view text, std::size_t maxBytes)
{
    if (text.size() <= maxBytes)
        return text;
    std::size_t cut = maxBytes;
    // A continuation byte (10xxxxxx) at the cut means a character would be split.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;
    return text.substr(0, cut);
}
