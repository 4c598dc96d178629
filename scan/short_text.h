#pragma once
// The texts a row holds. ShortText: 16 bytes, up to 15 bytes kept in place, a longer one
// on the heap; nearly all of a row's texts are addresses, ports and states of a few bytes,
// and as std::string (32 bytes each) they were most of a table of 20,000 endpoints.
// SharedString: one text held once for every row that shows it. FixedText: either, cut to
// its field's size.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
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
    std::size_t size() const
    {
        return onHeap() ? heapSize() : kInPlace - static_cast<unsigned char>(m_bytes[kTag]);
    }
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

// A text held once for every copy of it: a process's command line, however many of its
// sockets a table lists and however often the table is copied.
class SharedString
{
public:
    const char* c_str() const { return m_text ? m_text->c_str() : ""; }
    std::string_view view() const { return m_text ? std::string_view(*m_text) : std::string_view(); }
    std::size_t size() const { return m_text ? m_text->size() : 0; }
    void assign(std::string_view text)
    {
        m_text = text.empty() ? nullptr : std::make_shared<const std::string>(text);
    }
    void swap(SharedString& other) noexcept { m_text.swap(other.m_text); }

private:
    std::shared_ptr<const std::string> m_text;
};

// A row's text of at most N - 1 bytes, read as a C string. Held as a short text, not as N
// bytes: most texts are short, and rows of four 255-byte fields made a table of 20,000
// endpoints 70 MB. Set through setField, which cuts as before.
template <std::size_t N, typename Text = ShortText> class FixedText
{
public:
    operator const char*() const { return m_text.c_str(); }
    operator std::string_view() const { return m_text.view(); }
    const char* c_str() const { return m_text.c_str(); }
    std::string str() const { return std::string(m_text.view()); }
    std::size_t size() const { return m_text.size(); }
    bool empty() const { return m_text.size() == 0; }
    void assign(std::string_view text) { m_text.assign(text.substr(0, std::min(text.size(), N - 1))); }
    void swap(FixedText& other) noexcept { m_text.swap(other.m_text); }
    friend bool operator==(const FixedText& a, const FixedText& b)
    {
        return a.m_text.view() == b.m_text.view();
    }
    friend bool operator==(const FixedText& a, std::string_view b) { return a.m_text.view() == b; }
    friend std::string operator+(std::string a, const FixedText& b) { return a += b.m_text.view(); }

private:
    Text m_text;
};

// The same, held once for all the rows that show it.
template <std::size_t N> using SharedText = FixedText<N, SharedString>;
