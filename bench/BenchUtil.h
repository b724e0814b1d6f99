#pragma once
// Timing for the benchmark programs.
#include <algorithm>
#include <chrono>

namespace bench {

// The fastest of several runs of f, in milliseconds.
template <class F>
double BestOf(int runs, F f)
{
    double best = 1e100;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        f();
        const auto t1 = std::chrono::steady_clock::now();
        best = std::min(best, std::chrono::duration<double, std::milli>(t1 - t0).count());
    }
    return best;
}

} // namespace bench
