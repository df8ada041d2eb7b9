// Runs a computation over the lines of a grid on the machine's cores.  Each
// line must be independent of the others; the caller keeps any sum in line
// order itself, so results never depend on the number of threads.
#pragma once

#include <algorithm>
#include <thread>
#include <vector>

// Calls body(first, last) on consecutive blocks of the lines [first, last).
template <class Body>
void parallel_rows(int first, int last, std::size_t cells_per_line, Body body)
{
    const int lines = last - first;
    const unsigned cores = std::max(1u, std::min(std::thread::hardware_concurrency(), 8u));
    // Small grids are not worth a thread.
    if (cores == 1 || lines < 2 || std::size_t(lines) * cells_per_line < 200000) {
        if (lines > 0) body(first, last);
        return;
    }
    const int parts = int(std::min<unsigned>(cores, unsigned(lines)));
    std::vector<std::thread> threads;
    for (int p = 1; p < parts; ++p) {
        const int a = first + int(std::int64_t(lines) * p / parts), b = first + int(std::int64_t(lines) * (p + 1) / parts);
        threads.emplace_back([=, &body] { body(a, b); });
    }
    body(first, first + int(std::int64_t(lines) / parts));
    for (std::thread& t : threads) t.join();
}
