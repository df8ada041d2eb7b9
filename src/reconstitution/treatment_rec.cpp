#include <algorithm>
#include <cstdint>
#include <vector>

#include "parallel.hpp"
#include "reconstitution.hpp"
#include "workspace.hpp"

// The slice at k counts the cells of the edifice at or above k: one histogram
// of the rebuilt altitudes gives every slice.
void treatment_rec(Workspace& ws)
{
    double volume = 0;
    ws.pixsurf = ws.dsizepix * ws.dsizepix;
    const long long first = static_cast<long long>(ws.base) + 1, last = ws.altmax;
    const std::size_t levels = last >= first ? std::size_t(last - first + 1) : 0;
    std::vector<int> at_or_above(levels, 0);
    // Counted by blocks of lines on all cores, each block in a histogram of
    // its own; the counts add up the same in any order.
    const int nl = ws.nb_lig, nc = ws.nb_col;
    const int blocks = levels == 0 ? 0 : std::max(1, std::min(nl, thread_count() * 4));
    std::vector<std::vector<int>> part(static_cast<std::size_t>(blocks));
    auto count = [&](int b) {
        std::vector<int> h(levels, 0);
        const std::size_t p0 = std::size_t(std::int64_t(nl) * b / blocks) * std::size_t(nc);
        const std::size_t p1 = std::size_t(std::int64_t(nl) * (b + 1) / blocks) * std::size_t(nc);
        for (std::size_t p = p0; p < p1; ++p) {
            if (ws.tab.data()[p] != 1) continue;
            const long long z = ws.itab.data()[p];
            if (z >= first) ++h[std::size_t(std::min(z, last) - first)];
        }
        part[std::size_t(b)].swap(h);
    };
    if (ws.tab.size() < parallel_threshold())
        for (int b = 0; b < blocks; ++b) count(b);
    else
        parallel_tasks(blocks, count);
    for (const std::vector<int>& h : part)
        for (std::size_t k = 0; k < levels; ++k) at_or_above[k] += h[k];
    for (std::size_t n = at_or_above.size(); n-- > 1;) at_or_above[n - 1] += at_or_above[n];
    for (long long k = first; k <= last; ++k) {
        const int val = at_or_above[std::size_t(k - first)];
        ws.say("\tNumber of pixels in the slice %d = %d     \r  ", int(k), val);
        volume += val * ws.pixsurf * ws.high;
    }
    ws.both("\n\n\tGLOBAL VOLUME = %9.3lf km3", volume * 1e-9);
    const double difvol = volume * 1e-9 - ws.first_volume;
    ws.say("\n\n\tVolumetric difference = %lf km3", difvol);
    ws.figures.rebuilt_volume = volume * 1e-9;
    ws.figures.volumetric_difference = difvol;
}
