// A value computed for every cell of a mask on all threads, then consumed in
// scan order by one thread: sums keep scan order whatever the threads.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "nrutil.hpp"
#include "parallel.hpp"

// compute(i, j, state) for the cells of lines i0..i1, columns j0..j1 where
// mask is 1 (state: what one thread carries from cell to cell along its
// lines, made afresh at the start of each block of lines; an int by
// default), then consume(i, j, value) in scan order.  Lines are done a chunk
// at a time.
template <class State = int, class Compute, class Consume>
void scan_cells(const nrutil::UcGrid& mask, int i0, int i1, int j0, int j1, Compute compute, Consume consume)
{
    const int chunk = 64;
    std::vector<double> values;
    std::vector<std::size_t> first(std::size_t(chunk) + 1);
    for (int c0 = i0; c0 <= i1; c0 += chunk) {
        const int c1 = std::min(i1, c0 + chunk - 1);
        first[0] = 0;
        for (int i = c0; i <= c1; ++i) {
            std::size_t n = 0;
            const std::uint8_t* m = mask[i];
            for (int j = j0; j <= j1; ++j) n += m[j] == 1;
            first[std::size_t(i - c0) + 1] = first[std::size_t(i - c0)] + n;
        }
        values.resize(first[std::size_t(c1 - c0) + 1]);
        parallel_rows(c0, c1 + 1, std::size_t(j1 - j0 + 1) * 8, [&](int a, int b) {
            State hint{};
            for (int i = a; i < b; ++i) {
                std::size_t k = first[std::size_t(i - c0)];
                const std::uint8_t* m = mask[i];
                for (int j = j0; j <= j1; ++j)
                    if (m[j] == 1) values[k++] = compute(i, j, hint);
            }
        });
        std::size_t k = 0;
        for (int i = c0; i <= c1; ++i) {
            const std::uint8_t* m = mask[i];
            for (int j = j0; j <= j1; ++j)
                if (m[j] == 1) consume(i, j, values[k++]);
        }
    }
}
