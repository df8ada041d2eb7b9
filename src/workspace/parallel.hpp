// Work shared out between the machine's cores.  Results never depend on the
// number of threads: the callers keep any sum or output in order themselves.
#pragma once

#include <algorithm>
#include <exception>
#include <thread>
#include <vector>

// Runs `there` on another thread while `here` runs on this one; an exception
// from either reaches the caller once both are done.
template <class Here, class There>
void side_by_side(Here&& here, There&& there)
{
    std::exception_ptr failed_there;
    std::thread other([&] {
        try {
            there();
        } catch (...) {
            failed_there = std::current_exception();
        }
    });
    try {
        here();
    } catch (...) {
        other.join();
        throw;
    }
    other.join();
    if (failed_there) std::rethrow_exception(failed_there);
}

// Runs a computation over the lines of a grid on two cores; each
// line must be independent of the others.

// Calls body(first, last) on consecutive blocks of the lines [first, last).
template <class Body>
void parallel_rows(int first, int last, std::size_t cells_per_line, Body body)
{
    const int lines = last - first;
    // Small grids are not worth a thread.
    if (std::thread::hardware_concurrency() < 2 || lines < 2 || std::size_t(lines) * cells_per_line < 200000) {
        if (lines > 0) body(first, last);
        return;
    }
    const int middle = first + lines / 2;
    side_by_side([&] { body(first, middle); }, [&] { body(middle, last); });
}
