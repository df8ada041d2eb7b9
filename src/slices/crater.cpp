#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "parallel.hpp"
#include "slices.hpp"
#include "workspace.hpp"

// Offsets from the centre are counted inclusively (|d| + 1).  The lines are
// scanned on all cores; the nearest and farthest distances do not depend on
// the order, and `dist` is left at the last cell's in scan order.
void crater(Workspace& ws)
{
    ws.figures.crater_detected = true;
    const int nl = ws.nb_lig, nc = ws.nb_col;
    struct Line {
        bool any = false;
        double nearest = 0, farthest = 0, last = 0;
    };
    std::vector<Line> lines(static_cast<std::size_t>(nl));
    parallel_rows(0, nl, std::size_t(nc), [&](int a, int b) {
        for (int i = a; i < b; ++i) {
            std::uint8_t* cr = ws.tab_cr[i];
            std::fill(cr, cr + nc, std::uint8_t(0));
            Line& l = lines[std::size_t(i)];
            for (int j = 0; j < nc; ++j) {
                if (ws.tab[i][j] != 1 || ws.itab[i][j] != ws.altmax) continue;
                cr[j] = 1;
                const std::int64_t idif = std::abs(i - ws.i_gv) + 1, jdif = std::abs(j - ws.j_gv) + 1;
                const double d = std::sqrt(double(idif * idif + jdif * jdif));
                if (!l.any || l.nearest > d) l.nearest = d;
                if (!l.any || l.farthest < d) l.farthest = d;
                l.last = d;
                l.any = true;
            }
        }
    });
    bool any = false;
    ws.distmin_cr = 10000.0;
    ws.distmax_cr = 0.0;
    for (const Line& l : lines) {
        if (!l.any) continue;
        if (!any || ws.distmin_cr > l.nearest) ws.distmin_cr = l.nearest;
        if (!any || ws.distmax_cr < l.farthest) ws.distmax_cr = l.farthest;
        ws.dist = l.last;
        any = true;
    }
}
