// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <chrono>
#include <vector>

namespace bench {

// The middle value; the upper one of the two for an even count.
inline double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Wall time of one call, in seconds.
template <typename Fn>
double Seconds(Fn&& fn) {
    const auto start = std::chrono::steady_clock::now();
    fn();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Runs both sides of pair number `pair`, `a` first in even pairs and second in odd ones: the
// second of a pair finds the first one's output still being written back.
template <typename A, typename B>
void InTurn(int pair, A&& a, B&& b) {
    if (pair % 2 == 0) {
        a();
        b();
    } else {
        b();
        a();
    }
}

}  // namespace bench
