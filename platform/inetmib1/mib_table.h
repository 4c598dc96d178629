#pragma once
// One conceptual table of MIB-II (an entry identifier, numbered columns, one index per
// row) over a snapshot of rows sorted by index. Finds the instance after any name by
// binary search, and the one after a known instance in constant time. An index may vary
// in length (an InetAddress carries its own); MaxIndexLength bounds it, and
// encodeIndex(row, out) writes it and returns its length.

#include "platform/inetmib1/oid_order.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// The columns a table serves, as bits (1 << column).
struct ColumnSet
{
    std::uint32_t bits;
};

struct TablePosition
{
    UINT column;
    std::size_t row;
};

template <typename Row, std::size_t MaxIndexLength> class MibTable
{
public:
    static constexpr std::size_t maxEntryLength = 16;
    static constexpr std::size_t maxNameLength = maxEntryLength + 1 + MaxIndexLength;

    // Columns firstColumn to lastColumn are served; those before hold only the index.
    MibTable(OidSpan entry, UINT lastColumn, UINT firstColumn = 1)
        : MibTable(entry, ColumnSet { columnRange(firstColumn, lastColumn) })
    {
    }
    // Only the columns whose bits are set (1 << column) are served, as where a table has
    // columns nothing here can fill.
    MibTable(OidSpan entry, ColumnSet columns)
        : m_entryLength(entry.size())
        , m_columns(columns.bits)
        , m_firstColumnNumber(static_cast<UINT>(std::countr_zero(columns.bits)))
        , m_lastColumn(static_cast<UINT>(31 - std::countl_zero(columns.bits)))
    {
        assert(entry.size() <= maxEntryLength && columns.bits != 0 && (columns.bits & 1u) == 0);
        std::copy(entry.begin(), entry.end(), m_firstColumn.begin());
        m_firstColumn[m_entryLength] = m_firstColumnNumber;
    }

    // The rows, to be refilled and then sorted by index.
    std::vector<Row>& rows() { return m_rows; }
    const std::vector<Row>& rows() const { return m_rows; }

    OidSpan entry() const { return { m_firstColumn.data(), m_entryLength }; }

    // A name at or before the first possible instance: the GetNext that starts a walk.
    bool startsWalk(OidSpan name) const
    {
        return compareOids(name, { m_firstColumn.data(), m_entryLength + 1 }) <= 0;
    }

    // True when the name sorts before some possible instance of this table.
    bool precedesEnd(OidSpan name) const
    {
        const OidSpan prefix = entry();
        return hasOidPrefix(name, prefix) || compareOids(name, prefix) < 0;
    }

    // The first instance after name, column after column, or none.
    std::optional<TablePosition> next(OidSpan name) const
    {
        if (m_rows.empty())
            return std::nullopt;
        const OidSpan prefix = entry();
        if (!hasOidPrefix(name, prefix)) {
            if (compareOids(name, prefix) < 0)
                return TablePosition { m_firstColumnNumber, 0 };
            return std::nullopt;
        }
        if (name.size() == prefix.size() || name[prefix.size()] < m_firstColumnNumber)
            return TablePosition { m_firstColumnNumber, 0 };
        const UINT column = name[prefix.size()];
        if (column > m_lastColumn)
            return std::nullopt;
        if (!serves(column))
            return TablePosition { nextColumn(column), 0 };
        const std::size_t row = firstRowAfter(name.subspan(prefix.size() + 1));
        if (row < m_rows.size())
            return TablePosition { column, row };
        if (column < m_lastColumn)
            return TablePosition { nextColumn(column), 0 };
        return std::nullopt;
    }

    // The instance after a position of the current rows, within the table, or none.
    std::optional<TablePosition> successor(TablePosition position) const
    {
        if (position.row + 1 < m_rows.size())
            return TablePosition { position.column, position.row + 1 };
        if (position.column < m_lastColumn && !m_rows.empty())
            return TablePosition { nextColumn(position.column), 0 };
        return std::nullopt;
    }

    // The instance that name is, or none.
    std::optional<TablePosition> exact(OidSpan name) const
    {
        const OidSpan prefix = entry();
        if (name.size() <= prefix.size() || name.size() > prefix.size() + 1 + MaxIndexLength
            || !hasOidPrefix(name, prefix))
            return std::nullopt;
        const UINT column = name[prefix.size()];
        if (!serves(column))
            return std::nullopt;
        const OidSpan index = name.subspan(prefix.size() + 1);
        const auto found = std::lower_bound(m_rows.begin(), m_rows.end(), index,
            [](const Row& row, OidSpan key) { return compareIndex(row, key) < 0; });
        if (found == m_rows.end() || compareIndex(*found, index) != 0)
            return std::nullopt;
        return TablePosition { column, static_cast<std::size_t>(found - m_rows.begin()) };
    }

    // Writes the instance name of a position; returns its length.
    std::size_t writeName(TablePosition position, UINT* out) const
    {
        std::copy_n(m_firstColumn.begin(), m_entryLength, out);
        out[m_entryLength] = position.column;
        return m_entryLength + 1 + encodeIndex(m_rows[position.row], out + m_entryLength + 1);
    }

private:
    static std::uint32_t columnRange(UINT first, UINT last)
    {
        assert(first >= 1 && first <= last && last <= 31);
        return static_cast<std::uint32_t>(
            (std::uint64_t { 1 } << (last + 1)) - (std::uint64_t { 1 } << first));
    }
    bool serves(UINT column) const { return column <= 31 && (m_columns >> column & 1u) != 0; }
    // The first served column after column, which must precede the last.
    UINT nextColumn(UINT column) const
    {
        return static_cast<UINT>(std::countr_zero(m_columns >> (column + 1) << (column + 1)));
    }

    static int compareIndex(const Row& row, OidSpan key)
    {
        std::array<UINT, MaxIndexLength> index;
        const std::size_t length = encodeIndex(row, index.data());
        return compareOids({ index.data(), length }, key);
    }

    std::size_t firstRowAfter(OidSpan index) const
    {
        const auto found = std::upper_bound(m_rows.begin(), m_rows.end(), index,
            [](OidSpan key, const Row& row) { return compareIndex(row, key) > 0; });
        return static_cast<std::size_t>(found - m_rows.begin());
    }

    std::array<UINT, maxEntryLength + 1> m_firstColumn {};
    std::size_t m_entryLength;
    std::uint32_t m_columns;
    UINT m_firstColumnNumber;
    UINT m_lastColumn;
    std::vector<Row> m_rows;
};
