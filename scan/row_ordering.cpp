#include "scan/row_ordering.h"

#include "scan/connection_table.h"
#include "scan/tcp_states.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <vector>

void sortRowsStably(ConnectionTable& table, const std::function<bool(int, int)>& before)
{
    std::vector<int> order(static_cast<std::size_t>(table.count()));
    std::iota(order.begin(), order.end(), 1);
    std::stable_sort(order.begin(), order.end(), before);
    table.reorder(order);
}

void orderRows(ConnectionTable& table)
{
    const int count = table.count();
    if (count > ConnectionTable::kCapacity) {
        // Established rows first, then by state text; each group in the scan's order.
        sortRowsStably(table, [&table](int a, int b) {
            const char* stateA = table.row(a).state;
            const char* stateB = table.row(b).state;
            const bool establishedA = isEstablished(stateA);
            if (establishedA != isEstablished(stateB))
                return establishedA;
            return !establishedA && std::strcmp(stateA, stateB) < 0;
        });
        return;
    }
    for (int i = 1; i <= count; ++i) {
        int candidate = i;
        for (int j = i + 1; j <= count; ++j) {
            const char* state = table.row(j).state;
            if (std::strcmp(state, table.row(candidate).state) < 0)
                candidate = j;
            if (isEstablished(state)) {
                candidate = j;
                break;
            }
        }
        if (candidate != i)
            table.swap(i, candidate);
    }
}
