#pragma once
// Timing for the benchmark programs.
#include <algorithm>
#include <chrono>
#include <vector>

namespace bench {

inline double MsSince(std::chrono::steady_clock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

// The fastest of several runs of f, in milliseconds.
template <class F>
double BestOf(int runs, F f)
{
    double best = 1e100;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        f();
        best = std::min(best, MsSince(t0));
    }
    return best;
}

// The median of the values (the mean of the middle two for an even count).
inline double Median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

inline double Min(const std::vector<double> &v) { return v.empty() ? 0 : *std::min_element(v.begin(), v.end()); }

} // namespace bench
