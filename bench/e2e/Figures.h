#pragma once

#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>

// The figures the end-to-end benchmarks report of their series.

inline double milliseconds(std::chrono::steady_clock::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

// The nearest-rank percentile (fraction 0.5 is the median, 1.0 the worst);
// -1 for no values.
inline double percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    auto rank = static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(values.size())));
    return values[std::clamp<std::size_t>(rank, 1, values.size()) - 1];
}

inline double median(const std::vector<double>& values)
{
    return percentile(values, 0.5);
}

inline double worst(const std::vector<double>& values)
{
    return percentile(values, 1.0);
}
