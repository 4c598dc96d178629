#pragma once
// The grid's seven columns: their titles, and which field of a table row each shows.

#include "scan/connection_table.h"

#include <array>
#include <string>

inline constexpr int kGridColumnCount = 7;

inline constexpr std::array<const char*, kGridColumnCount> kGridColumnTitles { "No", "Local IP", "Local Port",
    "Remote Port", "Remote IP", "Protocol", "State" };

// The seven cells of one grid row, in column order.
using GridRow = std::array<std::string, kGridColumnCount>;

// What a grid row carries beside its seven cells: the numeric addresses behind the
// host texts, for tooltips and copies and to tell rows apart from one refresh to the next.
struct GridRowDetails
{
    std::string localAddress;
    std::string remoteAddress;
};

inline GridRowDetails gridRowDetailsOf(const ConnectionRow& row)
{
    return GridRowDetails { row.localAddress, row.remoteAddress };
}

// The header row: the titles as cells.
inline GridRow gridHeaderRow()
{
    GridRow row;
    for (std::size_t i = 0; i < row.size(); ++i)
        row[i] = kGridColumnTitles[i];
    return row;
}

// Row number, then the row's texts; note the remote port comes before the remote host.
inline GridRow gridRowOf(int number, const ConnectionRow& row)
{
    return GridRow { std::to_string(number), row.localHost, row.localPort, row.remotePort, row.remoteHost,
        row.protocol, row.state };
}
