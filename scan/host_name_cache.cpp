#include "scan/host_name_cache.h"

#include "scan/connection_table.h"

const char* HostNameCache::find(std::uint32_t address) const
{
    for (int slot = 1; slot <= m_position; ++slot) {
        if (!m_entries[slot].ipv6 && m_entries[slot].address == address)
            return m_entries[slot].name;
    }
    return nullptr;
}

HostNameCache::Entry& HostNameCache::advance()
{
    m_position = m_position >= kSlots ? 1 : m_position + 1;
    return m_entries[m_position];
}

void HostNameCache::store(std::uint32_t address, const char* name)
{
    Entry& entry = advance();
    entry.ipv6 = false;
    entry.address = address;
    setField(entry.name, name);
}

const char* HostNameCache::find(const std::array<std::uint8_t, 16>& address) const
{
    for (int slot = 1; slot <= m_position; ++slot) {
        if (m_entries[slot].ipv6 && m_entries[slot].address6 == address)
            return m_entries[slot].name;
    }
    return nullptr;
}

void HostNameCache::store(const std::array<std::uint8_t, 16>& address, const char* name)
{
    Entry& entry = advance();
    entry.ipv6 = true;
    entry.address = 0;
    entry.address6 = address;
    setField(entry.name, name);
}
