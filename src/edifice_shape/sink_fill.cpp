#include "sink_fill.hpp"

#include <algorithm>
#include <queue>

#include "parallel.hpp"
#include "workspace.hpp"

WindowGrid copy_window(const nrutil::DGrid& z, int i0, int i1, int j0, int j1)
{
    WindowGrid w;
    w.i0 = i0;
    w.j0 = j0;
    allocate_grid(w.z, "the filled elevations of the edifice", j1 - j0 + 1, i1 - i0 + 1);
    parallel_rows(i0, i1 + 1, std::size_t(j1 - j0 + 1), [&](int a, int b) {
        for (int i = a; i < b; ++i) std::copy(z[i] + j0, z[i] + j1 + 1, w.z[i - i0]);
    });
    return w;
}

WindowGrid fill_sinks(const nrutil::DGrid& z, const nrutil::UcGrid& nodata, const std::vector<std::size_t>& sinks,
                      int i0, int i1, int j0, int j1)
{
    WindowGrid w = copy_window(z, i0, i1, j0, j1);
    const int nl = z.lines(), nc = z.columns();
    const std::size_t n = z.size();
    const double* zz = z.data();
    const bool any_nodata = bool(nodata) && nodata.size() == n;
    auto valid = [&](std::size_t c) { return !any_nodata || nodata.data()[c] == 0; };

    // The cells are closed as they are reached; the level of a closed cell
    // travels with it in the queues.
    std::vector<std::uint8_t> closed(n, 0);
    struct Entry {
        double level;
        std::uint32_t i, j;
        bool operator>(const Entry& o) const
        {
            return level > o.level || (level == o.level && (i > o.i || (i == o.i && j > o.j)));
        }
    };
    std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> open;
    std::vector<Entry> pit;  // cells at the level of the cell that reached them
    std::size_t pit_head = 0;
    auto set = [&](int i, int j, double level) {
        if (i >= i0 && i <= i1 && j >= j0 && j <= j1) w.z[i - i0][j - j0] = level;
    };

    for (int i = 0; i < nl; ++i)
        for (int j = 0; j < nc; ++j) {
            const std::size_t c = std::size_t(i) * nc + j;
            if (!valid(c)) continue;
            bool outlet = i == 0 || j == 0 || i == nl - 1 || j == nc - 1;
            if (!outlet && any_nodata)
                for (int a = i - 1; a <= i + 1 && !outlet; ++a)
                    for (int b = j - 1; b <= j + 1; ++b)
                        if (!valid(std::size_t(a) * nc + b)) {
                            outlet = true;
                            break;
                        }
            if (outlet) {
                closed[c] = 1;
                open.push({zz[c], std::uint32_t(i), std::uint32_t(j)});
            }
        }
    for (std::size_t c : sinks)
        if (c < n && valid(c) && !closed[c]) {
            closed[c] = 1;
            open.push({zz[c], std::uint32_t(c / nc), std::uint32_t(c % nc)});
        }

    while (!open.empty() || pit_head < pit.size()) {
        Entry e;
        if (pit_head < pit.size()) {
            e = pit[pit_head++];
            if (pit_head == pit.size()) {
                pit.clear();
                pit_head = 0;
            }
        } else {
            e = open.top();
            open.pop();
        }
        const int i = int(e.i), j = int(e.j);
        for (int a = std::max(i - 1, 0); a <= std::min(i + 1, nl - 1); ++a)
            for (int b = std::max(j - 1, 0); b <= std::min(j + 1, nc - 1); ++b) {
                const std::size_t c = std::size_t(a) * nc + b;
                if (closed[c] || !valid(c)) continue;
                closed[c] = 1;
                if (zz[c] <= e.level) {
                    set(a, b, e.level);
                    pit.push_back({e.level, std::uint32_t(a), std::uint32_t(b)});
                } else {
                    open.push({zz[c], std::uint32_t(a), std::uint32_t(b)});
                }
            }
    }
    return w;
}
