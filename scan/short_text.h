#pragma once
// A text in 16 bytes: up to 15 bytes kept in place, a longer one on the heap. A row holds
// nine texts, nearly all addresses, ports and states of a few bytes: as std::string (32
// bytes each) they were most of a table of 20,000 endpoints.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

class ShortText
{
public:
    ShortText() noexcept { setEmpty(); }
    ShortText(const ShortText& other)
    {
        setEmpty();
        assign(other.view());
    }
    ShortText(ShortText&& other) noexcept
    {
        std::memcpy(m_bytes, other.m_bytes, sizeof m_bytes);
        other.setEmpty();
    }
    ShortText& operator=(const ShortText& other)
    {
        if (this != &other)
            assign(other.view());
        return *this;
    }
    ShortText& operator=(ShortText&& other) noexcept
    {
        if (this != &other) {
            release();
            std::memcpy(m_bytes, other.m_bytes, sizeof m_bytes);
            other.setEmpty();
        }
        return *this;
    }
    ~ShortText() { release(); }

    void assign(std::string_view text);
    const char* c_str() const { return onHeap() ? heapData() : m_bytes; }
    std::size_t size() const { return onHeap() ? heapSize() : kInPlace - static_cast<unsigned char>(m_bytes[kTag]); }
    std::string_view view() const { return { c_str(), size() }; }
    void swap(ShortText& other) noexcept
    {
        char held[sizeof m_bytes];
        std::memcpy(held, m_bytes, sizeof held);
        std::memcpy(m_bytes, other.m_bytes, sizeof held);
        std::memcpy(other.m_bytes, held, sizeof held);
    }

private:
    // In place: the text, its terminator, and in the last byte 15 minus its size, so a text of
    // 15 bytes ends on that byte's zero. On the heap: pointer, size, and kOnHeap last.
    static constexpr std::size_t kTag = 15;
    static constexpr std::size_t kInPlace = 15;
    static constexpr unsigned char kOnHeap = 0xff;

    bool onHeap() const { return static_cast<unsigned char>(m_bytes[kTag]) == kOnHeap; }
    char* heapData() const
    {
        char* data;
        std::memcpy(&data, m_bytes, sizeof data);
        return data;
    }
    std::size_t heapSize() const
    {
        std::uint32_t held;
        std::memcpy(&held, m_bytes + sizeof(char*), sizeof held);
        return held;
    }
    void setEmpty() noexcept
    {
        m_bytes[0] = '\0';
        m_bytes[kTag] = static_cast<char>(kInPlace);
    }
    void release() noexcept
    {
        if (onHeap())
            delete[] heapData();
    }

    alignas(8) char m_bytes[16];
};
static_assert(sizeof(ShortText) == 16);
