#pragma once
// The median the benchmarks report: the middle of the sorted samples, -1 when there are none.

#include <algorithm>
#include <vector>

inline double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}
