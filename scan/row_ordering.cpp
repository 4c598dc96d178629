#include "scan/row_ordering.h"

#include "scan/connection_table.h"
#include "scan/tcp_states.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <string_view>
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
        // Established rows first, then by state text; each group in the scan's order. A
        // table holds a handful of distinct states: each row's place among them is found
        // once, where comparing texts at every step of the sort took a sixth of a scan.
        std::vector<std::string_view> states;
        for (int i = 1; i <= count; ++i) {
            const std::string_view state = table.row(i).state;
            if (std::find(states.begin(), states.end(), state) == states.end())
                states.push_back(state);
        }
        std::sort(states.begin(), states.end(), [](std::string_view a, std::string_view b) {
            const bool establishedA = a == kEstablishedState;
            return establishedA != (b == kEstablishedState) ? establishedA : a < b;
        });
        std::vector<int> rank(static_cast<std::size_t>(count) + 1);
        for (int i = 1; i <= count; ++i) {
            const std::string_view state = table.row(i).state;
            rank[static_cast<std::size_t>(i)]
                = static_cast<int>(std::find(states.begin(), states.end(), state) - states.begin());
        }
        sortRowsStably(table, [&rank](int a, int b) {
            return rank[static_cast<std::size_t>(a)] < rank[static_cast<std::size_t>(b)];
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

void orderMapRows(ConnectionTable& table)
{
    const int count = table.count();
    if (count > ConnectionTable::kCapacity) {
        // The selection below is quadratic, at every redraw and scroll step: a larger table
        // takes the same order, stably. Descending local host, established rows first.
        const auto before = [&table](int a, int b) {
            const int order = std::strcmp(table.row(a).localHost, table.row(b).localHost);
            if (order != 0)
                return order > 0;
            return isEstablished(table.row(a).state) && !isEstablished(table.row(b).state);
        };
        // The scan orders a large table before the map has it; a redraw then only looks.
        for (int k = 1; k < count; ++k) {
            if (before(k + 1, k))
                return sortRowsStably(table, before);
        }
        return;
    }
    for (int i = 1; i <= count; ++i) {
        int m = i;
        for (int j = i + 1; j <= count; ++j) {
            const ConnectionRow& rowJ = table.row(j);
            // One comparison serves both tests: after a move to j the hosts are equal,
            // and m is j already.
            const int order = std::strcmp(rowJ.localHost, table.row(m).localHost);
            if (order > 0 || (order == 0 && isEstablished(rowJ.state)))
                m = j;
        }
        if (m != i)
            table.swap(i, m);
    }
}
