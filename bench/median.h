#pragma once
// The figures the benchmarks report: the median of the samples (-1 when there are none),
// and the median with its interquartile range.

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <vector>

inline double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

struct Spread
{
    double median = -1;
    double lower = -1; // first quartile
    double upper = -1; // third quartile
};

inline Spread spread(std::vector<double> values)
{
    if (values.empty())
        return {};
    std::sort(values.begin(), values.end());
    const auto at = [&values](double share) {
        return values[static_cast<std::size_t>(share * static_cast<double>(values.size() - 1) + 0.5)];
    };
    return { at(0.5), at(0.25), at(0.75) };
}

// One line: the median of the per-round ratios a / b with its interquartile range, and the
// medians of both sides.
inline void printRatio(
    const char* what, const char* unit, const std::vector<double>& a, const std::vector<double>& b)
{
    std::vector<double> ratios;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
        ratios.push_back(a[i] / b[i]);
    const Spread ratio = spread(ratios);
    std::printf("  %-62s %5.2fx [%4.2f-%4.2f]  (%.1f / %.1f %s)\n", what, ratio.median, ratio.lower,
        ratio.upper, median(a), median(b), unit);
}
