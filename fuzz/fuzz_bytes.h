#pragma once
// The fuzzers' input taken a byte at a time: zeros once it is used up.

#include <cstddef>
#include <cstdint>

class FuzzBytes
{
public:
    FuzzBytes(const std::uint8_t* data, std::size_t size)
        : m_data(data)
        , m_size(size)
    {
    }
    bool empty() const { return m_size == 0; }
    unsigned take()
    {
        if (m_size == 0)
            return 0;
        --m_size;
        return *m_data++;
    }
    // Mostly the small numbers (below smallRange) MIB names are made of, sometimes any 32-bit value.
    std::uint32_t id(unsigned smallRange)
    {
        const unsigned first = take();
        if (first < 0xF0)
            return first % smallRange;
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i)
            value = value << 8 | take();
        return value;
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
};
