#pragma once
// The ring of the last 200 host texts produced, keyed by address family and address:
// IPv4 and IPv6 entries share the ring and its wrap.

#include <array>
#include <cstdint>

class HostNameCache
{
public:
    static constexpr int kSlots = 200;
    static constexpr int kNameSize = 256;

    // The name of the first slot among 1..position holding address, or nullptr.
    // Slots above position are left behind by a wrap and no longer consulted.
    const char* find(std::uint32_t address) const;
    // Advances position (200 wraps to 1) and overwrites that slot.
    void store(std::uint32_t address, const char* name);
    // The same for an IPv6 address; never matches an IPv4 entry.
    const char* find(const std::array<std::uint8_t, 16>& address) const;
    void store(const std::array<std::uint8_t, 16>& address, const char* name);

    int position() const { return m_position; }
    std::uint32_t address(int slot) const { return m_entries[slot].address; }
    const char* name(int slot) const { return m_entries[slot].name; }

private:
    struct Entry
    {
        std::uint32_t address;
        char name[kNameSize];
        bool ipv6;
        std::array<std::uint8_t, 16> address6;
    };
    Entry m_entries[kSlots + 1] {}; // slot 0 unused
    int m_position = 0; // the slot written last; 0 while empty

    Entry& advance();
};
