// SPDX-License-Identifier: MIT
// engine/percentile.h — the nearest-rank percentile the benchmarks report their timings by.
#pragma once
#include <algorithm>
#include <vector>

// p from 0 to 100; 0 for no samples.
inline double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t rank = static_cast<size_t>(p / 100.0 * double(v.size()) + 0.999999); // nearest rank
    return v[std::clamp<size_t>(rank, 1, v.size()) - 1];
}
