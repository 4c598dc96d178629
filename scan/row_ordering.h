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
