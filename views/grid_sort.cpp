#include "views/grid_sort.h"

#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <numeric>
#include <string>
#include <utility>

namespace {

// A cell as it sorts: numbers first, then addresses (IPv4 as its IPv6-mapped form, so
// both families share one scale), then texts.
struct CellKey
{
    enum Kind
    {
        Number,
        Address,
        Text
    } kind
        = Text;
    unsigned long long number = 0;
    std::array<unsigned char, 16> address {};
    std::string_view text;
};

CellKey keyOf(std::string_view cell)
{
    CellKey key;
    key.text = cell;
    if (!cell.empty() && cell.size() <= 18
        && std::all_of(cell.begin(), cell.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        key.kind = CellKey::Number;
        for (char c : cell)
            key.number = key.number * 10 + static_cast<unsigned>(c - '0');
        return key;
    }
    if (cell.empty() || cell.size() > 45)
        return key;
    char text[46];
    std::memcpy(text, cell.data(), cell.size());
    text[cell.size()] = '\0';
    unsigned char v4[4];
    if (inet_pton(AF_INET, text, v4) == 1) {
        key.kind = CellKey::Address;
        key.address[10] = 0xff;
        key.address[11] = 0xff;
        std::memcpy(&key.address[12], v4, 4);
    } else if (std::strchr(text, ':') && inet_pton(AF_INET6, text, key.address.data()) == 1) {
        key.kind = CellKey::Address;
    }
    return key;
}

int compareText(std::string_view a, std::string_view b)
{
    // Case folded first, so "Alpha" and "alpha" sort together; bytes break the tie.
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const int ca = std::tolower(static_cast<unsigned char>(a[i]));
        const int cb = std::tolower(static_cast<unsigned char>(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    return a.compare(b);
}

int compareKeys(const CellKey& a, const CellKey& b)
{
    if (a.kind != b.kind)
        return a.kind < b.kind ? -1 : 1;
    switch (a.kind) {
    case CellKey::Number:
        return a.number == b.number ? 0 : (a.number < b.number ? -1 : 1);
    case CellKey::Address:
        return std::memcmp(a.address.data(), b.address.data(), a.address.size());
    case CellKey::Text:
        break;
    }
    return compareText(a.text, b.text);
}

} // namespace

int compareGridCells(std::string_view a, std::string_view b)
{
    return compareKeys(keyOf(a), keyOf(b));
}

std::vector<std::size_t> gridDisplayOrder(const std::vector<GridRow>& rows, int column, Qt::SortOrder order)
{
    std::vector<std::size_t> indexes(rows.size());
    std::iota(indexes.begin(), indexes.end(), std::size_t(0));
    if (column < 0 || column >= kGridColumnCount) {
        column = 0;
        order = Qt::AscendingOrder;
    }
    struct Keys
    {
        CellKey cell;
        CellKey number;
    };
    std::vector<Keys> keys;
    keys.reserve(rows.size());
    for (const GridRow& row : rows)
        keys.push_back({ keyOf(row[std::size_t(column)]), keyOf(row[0]) });
    const bool descending = order == Qt::DescendingOrder;
    std::stable_sort(indexes.begin(), indexes.end(), [&](std::size_t i, std::size_t j) {
        int c = compareKeys(keys[i].cell, keys[j].cell);
        if (descending)
            c = -c;
        if (c == 0)
            c = compareKeys(keys[i].number, keys[j].number);
        return c < 0;
    });
    return indexes;
}

namespace {

struct ProcessKey
{
    bool known = false;
    std::string_view name;
    unsigned long long pid = 0;
};

ProcessKey processKeyOf(std::string_view cell)
{
    // name[pid]: the last '[' opens the pid, as a name may hold one of its own.
    const std::size_t open = cell.rfind('[');
    if (open == std::string_view::npos || cell.size() < open + 3 || cell.back() != ']')
        return {};
    const CellKey pid = keyOf(cell.substr(open + 1, cell.size() - open - 2));
    if (pid.kind != CellKey::Number)
        return {};
    return { true, cell.substr(0, open), pid.number };
}

int compareProcessKeys(const ProcessKey& a, const ProcessKey& b)
{
    if (a.known != b.known)
        return a.known ? -1 : 1;
    if (const int c = compareText(a.name, b.name); c != 0)
        return c;
    return a.pid == b.pid ? 0 : (a.pid < b.pid ? -1 : 1);
}

} // namespace

int compareProcessCells(std::string_view a, std::string_view b)
{
    return compareProcessKeys(processKeyOf(a), processKeyOf(b));
}

std::vector<std::size_t> processDisplayOrder(
    const std::vector<GridRow>& rows, const std::vector<GridRowDetails>& details, Qt::SortOrder order)
{
    std::vector<std::size_t> indexes(rows.size());
    std::iota(indexes.begin(), indexes.end(), std::size_t(0));
    std::vector<std::pair<ProcessKey, CellKey>> keys;
    keys.reserve(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i)
        keys.emplace_back(processKeyOf(i < details.size() ? details[i].processCell : std::string_view()),
            keyOf(rows[i][0]));
    const bool descending = order == Qt::DescendingOrder;
    std::stable_sort(indexes.begin(), indexes.end(), [&](std::size_t i, std::size_t j) {
        const ProcessKey& a = keys[i].first;
        const ProcessKey& b = keys[j].first;
        int c = compareProcessKeys(a, b);
        // Reversed among the known processes only: the unknown stay last.
        if (descending && a.known && b.known)
            c = -c;
        if (c == 0)
            c = compareKeys(keys[i].second, keys[j].second);
        return c < 0;
    });
    return indexes;
}
