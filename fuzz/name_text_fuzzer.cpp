// The name sanitiser over any bytes: what it returns is valid UTF-8 that holds no
// control, no bidirectional control and no line separator, fits the limit, and is cut
// only between whole characters or escapes.

#include "scan/name_text.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

namespace {

// Checked here independently of the sanitiser's own decoder.
bool safeUtf8(std::string_view text)
{
    for (std::size_t i = 0; i < text.size();) {
        const auto b = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
        std::size_t length = b(0) < 0x80  ? 1
            : b(0) >= 0xC2 && b(0) < 0xE0 ? 2
            : b(0) >= 0xE0 && b(0) < 0xF0 ? 3
            : b(0) >= 0xF0 && b(0) < 0xF5 ? 4
                                          : 0;
        if (length == 0 || i + length > text.size())
            return false;
        char32_t code = length == 1 ? b(0) : b(0) & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) {
            if ((b(k) & 0xC0) != 0x80)
                return false;
            code = code << 6 | (b(k) & 0x3F);
        }
        const char32_t least[] { 0, 0, 0x80, 0x800, 0x10000 };
        if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        if (code < 0x20 || (code >= 0x7F && code <= 0x9F) || (code >= 0x202A && code <= 0x202E)
            || (code >= 0x2066 && code <= 0x2069) || code == 0x200E || code == 0x200F || code == 0x061C
            || code == 0x2028 || code == 0x2029)
            return false;
        i += length;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t limit = data[0];
    const std::string_view name(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string whole = safeNameText(name, std::numeric_limits<std::size_t>::max());
    const std::string cut = safeNameText(name, limit);
    // The longest piece is an escape such as "\u202e", six bytes.
    if (!safeUtf8(whole) || cut.size() > limit || whole.compare(0, cut.size(), cut) != 0
        || (cut.size() < whole.size() && cut.size() + 6 <= limit))
        __builtin_trap();
    if (whole.find('\\') != std::string::npos && isInvisibleText(whole))
        __builtin_trap(); // an escape always shows
    return 0;
}
