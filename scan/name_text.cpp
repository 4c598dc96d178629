#include "scan/name_text.h"

#include <cstdio>

namespace {

struct Character
{
    char32_t code = 0;
    std::size_t length = 0; // 0: the byte at the position starts no valid UTF-8 sequence
};

// Strict UTF-8 (RFC 3629): no overlong forms, no surrogates, nothing above U+10FFFF.
Character decode(std::string_view text, std::size_t at)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80)
        return { lead, 1 };
    std::size_t length;
    char32_t code;
    unsigned char low = 0x80, high = 0xBF; // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
    } else {
        return {};
    }
    if (text.size() - at < length || byte(at + 1) < low || byte(at + 1) > high)
        return {};
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80)
            return {};
        code = (code << 6) | (byte(at + i) & 0x3F);
    }
    return { code, length };
}

// Characters that change what a terminal does or how the text around them reads.
bool mustEscape(char32_t code)
{
    return code < 0x20 || (code >= 0x7F && code <= 0x9F) // C0, DEL, C1
        || (code >= 0x202A && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069) // overrides, isolates
        || code == 0x200E || code == 0x200F || code == 0x061C // LRM, RLM, ALM
        || code == 0x2028 || code == 0x2029; // they break a line as LF does
}

bool isInvisible(char32_t code)
{
    return code == 0x20 || code == 0xA0 || code == 0xAD || code == 0x34F || code == 0x115F || code == 0x1160
        || code == 0x1680 || code == 0x17B4 || code == 0x17B5 || (code >= 0x180B && code <= 0x180F)
        || (code >= 0x2000 && code <= 0x200F) || code == 0x202F || (code >= 0x205F && code <= 0x206F)
        || code == 0x2800 || code == 0x3000 || code == 0x3164 || (code >= 0xFE00 && code <= 0xFE0F)
        || code == 0xFEFF || code == 0xFFA0 || (code >= 0x1D173 && code <= 0x1D17A)
        || (code >= 0xE0000 && code <= 0xE0FFF);
}

} // namespace

std::string safeNameText(std::string_view name, std::size_t maxBytes)
{
    std::string text;
    text.reserve(name.size() < maxBytes ? name.size() : maxBytes);
    char escape[8];
    for (std::size_t at = 0; at < name.size();) {
        const Character c = decode(name, at);
        std::string_view piece;
        if (c.length == 0) {
            std::snprintf(escape, sizeof escape, "\\x%02x", static_cast<unsigned char>(name[at]));
            piece = escape;
            at += 1;
        } else if (mustEscape(c.code)) {
            std::snprintf(
                escape, sizeof escape, c.code < 0x80 ? "\\x%02x" : "\\u%04x", static_cast<unsigned>(c.code));
            piece = escape;
            at += c.length;
        } else {
            piece = name.substr(at, c.length);
            at += c.length;
        }
        if (text.size() + piece.size() > maxBytes)
            break;
        text.append(piece);
    }
    return text;
}

bool isInvisibleText(std::string_view text)
{
    for (std::size_t at = 0; at < text.size();) {
        const Character c = decode(text, at);
        if (c.length == 0 || !isInvisible(c.code))
            return false;
        at += c.length;
    }
    return true;
}
