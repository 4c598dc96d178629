#include "scan/host_name_cache.h"

#include "scan/connection_table.h"

const char* HostNameCache::find(std::uint32_t address) const
{
    for (int slot = 1; slot <= m_position; ++slot) {
        if (m_entries[slot].address == address)
            return m_entries[slot].name;
    }
    return nullptr;
}

void HostNameCache::store(std::uint32_t address, const char* name)
{
    m_position = m_position >= kSlots ? 1 : m_position + 1;
    Entry& entry = m_entries[m_position];
    entry.address = address;
    setField(entry.name, name);
}
