#include "scan/short_text.h"

#include <limits>
#include <memory>

void ShortText::assign(std::string_view text)
{
    if (text.size() > std::numeric_limits<std::uint32_t>::max())
        text = text.substr(0, std::numeric_limits<std::uint32_t>::max());
    // Made before the old text goes: text may be a part of it.
    if (text.size() <= kInPlace) {
        char made[sizeof m_bytes];
        if (!text.empty()) // an empty view may point nowhere
            std::memcpy(made, text.data(), text.size());
        if (text.size() < kInPlace)
            made[text.size()] = '\0';
        made[kTag] = static_cast<char>(kInPlace - text.size());
        release();
        std::memcpy(m_bytes, made, sizeof m_bytes);
        return;
    }
    auto data = std::make_unique<char[]>(text.size() + 1);
    std::memcpy(data.get(), text.data(), text.size());
    data[text.size()] = '\0';
    release();
    char* held = data.release();
    const auto length = static_cast<std::uint32_t>(text.size());
    std::memcpy(m_bytes, &held, sizeof held);
    std::memcpy(m_bytes + sizeof held, &length, sizeof length);
    m_bytes[kTag] = static_cast<char>(kOnHeap);
}
