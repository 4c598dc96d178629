#include "scan/row_ordering.h"

#include "scan/connection_table.h"
#include "scan/tcp_states.h"

#include <cstring>

void orderRows(ConnectionTable& table)
{
    const int count = table.count();
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
