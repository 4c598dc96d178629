#pragma once

class ConnectionTable;

#include <functional>

// Orders rows 1..count in place by the scan's selection procedure: established rows
// pulled forward, the rest by state text in byte order. Not a stable sort, on purpose:
// users know the order it gives. The procedure is quadratic: a table larger than the
// classic 200 rows is sorted stably by the same keys instead.
void orderRows(ConnectionTable& table);

// The stable sort for tables beyond the classic size: rows 1..count, before(a, b) true
// when row a goes before row b.
void sortRowsStably(ConnectionTable& table, const std::function<bool(int, int)>& before);

// Orders rows 1..count in place for the map: descending local host, and within one host
// the established rows first. The selection prefers the last established candidate, so
// established rows of one host rotate at every call; users see that and it is kept. A
// table larger than the classic 200 rows is sorted stably by the same keys, and one in
// that order already is left as it is, at the cost of one look along it.
void orderMapRows(ConnectionTable& table);
