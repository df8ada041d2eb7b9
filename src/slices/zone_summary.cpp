#include "zone_summary.hpp"

#include <algorithm>
#include <vector>

#include "nodata.hpp"
#include "workspace.hpp"

ZoneSummary zone_above_base(const Workspace& ws, int base, int line, int column)
{
    const int nl = ws.nb_lig, nc = ws.nb_col;
    const std::size_t cells = std::size_t(nl) * std::size_t(nc);
    // An edifice given by its outline lies within it.
    const bool outline = bool(ws.outline_cells);
    auto above = [&](int i, int j) {
        return i >= 1 && j >= 1 && ws.itab[i][j] >= base && !without_data(ws, i, j) &&
               (!outline || ws.outline_cells[i][j]);
    };
    // 0 not seen, 1 in another zone, 2 in the zone of the cell.
    std::vector<std::uint8_t> zone(cells, 0);
    std::vector<std::size_t> stack;
    ZoneSummary z;
    struct Walk {
        std::int64_t n = 0;
        bool inner = false;
        int i0, i1 = -1, j0, j1 = -1;
    };
    auto flood = [&](std::size_t from, std::uint8_t mark) {
        Walk w{0, false, nl, -1, nc, -1};
        stack.assign(1, from);
        zone[from] = mark;
        while (!stack.empty()) {
            const std::size_t c = stack.back();
            stack.pop_back();
            const int i = int(c / nc), j = int(c % nc);
            ++w.n;
            w.inner |= i <= nl - 2 && j <= nc - 2;
            w.i0 = std::min(w.i0, i);
            w.i1 = std::max(w.i1, i);
            w.j0 = std::min(w.j0, j);
            w.j1 = std::max(w.j1, j);
            for (int a = i - 1; a <= i + 1; ++a)
                for (int b = j - 1; b <= j + 1; ++b) {
                    if (a < 0 || b < 0 || a >= nl || b >= nc || !above(a, b)) continue;
                    const std::size_t m = std::size_t(a) * nc + b;
                    if (!zone[m]) {
                        zone[m] = mark;
                        stack.push_back(m);
                    }
                }
        }
        return w;
    };
    if (above(line, column)) {
        const Walk w = flood(std::size_t(line) * nc + column, 2);
        z.on_item = w.n >= 2 && w.inner;
        z.items += z.on_item;
        z.cells = w.n;
        z.i0 = w.i0;
        z.i1 = w.i1;
        z.j0 = w.j0;
        z.j1 = w.j1;
    }
    for (std::size_t start = 0; start < cells; ++start) {
        if (zone[start] || !above(int(start / nc), int(start % nc))) continue;
        const Walk w = flood(start, 1);
        z.items += w.n >= 2 && w.inner;
    }
    if (!z.on_item) return z;
    auto near_zone = [&](int i, int j) {
        for (int a = std::max(i - 1, 0); a <= std::min(i + 1, nl - 1); ++a)
            for (int b = std::max(j - 1, 0); b <= std::min(j + 1, nc - 1); ++b)
                if (zone[std::size_t(a) * nc + b] == 2) return true;
        return false;
    };
    for (int i = 0; i < nl; ++i)
        for (int j = 0; j < nc; ++j) {
            const bool border = i == 0 || j == 0 || i == nl - 1 || j == nc - 1;
            if (without_data(ws, i, j)) {
                z.nodata_cells += near_zone(i, j);
            } else if (border && ws.itab[i][j] >= base && (!outline || ws.outline_cells[i][j])) {
                z.border_cells += near_zone(i, j);
            }
        }
    return z;
}
