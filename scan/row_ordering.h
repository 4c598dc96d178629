#pragma once

class ConnectionTable;

// Orders rows 1..count in place by the scan's selection procedure: established rows
// pulled forward, the rest by state text in byte order. Not a stable sort, on purpose:
// users know the order it gives.
void orderRows(ConnectionTable& table);
