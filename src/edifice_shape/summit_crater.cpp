#include "summit_crater.hpp"

#include <algorithm>
#include <cmath>
#include <queue>
#include <unordered_set>

#include "basal_surface.hpp"
#include "contours.hpp"
#include "plan_geometry.hpp"
#include "run_end.hpp"
#include "workspace.hpp"

namespace {

bool in_mask(const nrutil::UcGrid& m, int i, int j)
{
    return i >= 0 && j >= 0 && i < m.lines() && j < m.columns() && m[i][j] == 1;
}

// The first lowest crater cell, the floor and the count, from its mask.
void crater_cells_done(const nrutil::DGrid& z, Crater& c)
{
    c.count = 0;
    for (int a = 0; a < c.cells.lines(); ++a)
        for (int b = 0; b < c.cells.columns(); ++b) {
            if (!c.cells[a][b]) continue;
            const int i = c.i0 + a, j = c.j0 + b;
            if (!c.count || z[i][j] < *c.floor) {
                c.floor = z[i][j];
                c.lowest_cell = std::size_t(i) * std::size_t(z.columns()) + std::size_t(j);
            }
            ++c.count;
        }
}

}  // namespace

Crater crater_of_polygon(const GridFrame& g, const nrutil::DGrid& z, const nrutil::UcGrid& nodata,
                         const nrutil::UcGrid& edifice, const Ring& ring, const std::string& name)
{
    Crater c;
    c.source = CraterSource::polygon;
    c.outline = ring;
    c.area = polygon_area(ring);
    for (const Vec2& v : ring)
        if (const std::optional<double> h = bilinear(g, z, nodata, v)) {
            if (!c.rim_min || *h < *c.rim_min) c.rim_min = h;
            if (!c.rim_max || *h > *c.rim_max) c.rim_max = h;
        }
    double ylo = ring.front().y, yhi = ylo;
    for (const Vec2& v : ring) {
        ylo = std::min(ylo, v.y);
        yhi = std::max(yhi, v.y);
    }
    // Lines whose centre lies between the ring's lowest and highest vertex.
    const int ia = std::clamp(int(std::floor(g.nl - 0.5 - yhi / g.d)), 0, g.nl - 1);
    const int ib = std::clamp(int(std::ceil(g.nl - 0.5 - ylo / g.d)), 0, g.nl - 1);
    c.i0 = ia;
    c.j0 = 0;
    allocate_grid(c.cells, "the crater's cells", g.nc, ib - ia + 1);
    for (int i = ia; i <= ib; ++i)
        for (const ColumnRun& r : inside_runs(g, ring, i))
            for (int j = r.first; j <= r.last; ++j)
                if (edifice[i][j] == 1) c.cells[i - ia][j] = 1;
    crater_cells_done(z, c);
    if (!c.count) fail(cfmt("the crater polygon %s holds no cell of the edifice", name.c_str()));
    return c;
}

Crater crater_of_depression(const GridFrame& g, const nrutil::DGrid& z, const nrutil::UcGrid& edifice, int ci, int cj)
{
    Crater c;
    if (!in_mask(edifice, ci, cj)) return c;
    const int nl = g.nl, nc = g.nc;
    auto exit_cell = [&](int i, int j) {
        if (i == 0 || j == 0 || i == nl - 1 || j == nc - 1) return true;
        for (int a = i - 1; a <= i + 1; ++a)
            for (int b = j - 1; b <= j + 1; ++b)
                if (edifice[a][b] != 1) return true;
        return false;
    };
    // Least-highest path from the centre to an exit: cells taken in order of
    // the highest cell on their best path.
    // The cells reached, in a hash set: the search stays round the centre.
    std::unordered_set<std::size_t> seen;
    auto mark = [&](int i, int j) { return seen.insert(std::size_t(i) * std::size_t(nc) + std::size_t(j)).second; };
    struct Entry {
        double level;
        int i, j;
        bool operator>(const Entry& o) const
        {
            return level > o.level || (level == o.level && (i > o.i || (i == o.i && j > o.j)));
        }
    };
    std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> open;
    open.push({z[ci][cj], ci, cj});
    mark(ci, cj);
    double spill = z[ci][cj];
    while (!open.empty()) {
        const Entry e = open.top();
        open.pop();
        if (exit_cell(e.i, e.j)) {
            spill = e.level;
            break;
        }
        for (int a = e.i - 1; a <= e.i + 1; ++a)
            for (int b = e.j - 1; b <= e.j + 1; ++b) {
                if (!in_mask(edifice, a, b) || !mark(a, b)) continue;
                open.push({std::max(e.level, z[a][b]), a, b});
            }
    }
    if (!(spill - z[ci][cj] >= 1)) return c;
    // The cells below the spill level joined to the centre.
    seen.clear();
    std::vector<std::pair<int, int>> region{{ci, cj}};
    mark(ci, cj);
    int i0 = ci, i1 = ci, j0 = cj, j1 = cj;
    for (std::size_t k = 0; k < region.size(); ++k) {
        const auto [i, j] = region[k];
        for (int a = i - 1; a <= i + 1; ++a)
            for (int b = j - 1; b <= j + 1; ++b) {
                if (!in_mask(edifice, a, b) || !(z[a][b] < spill) || !mark(a, b)) continue;
                region.emplace_back(a, b);
                i0 = std::min(i0, a);
                i1 = std::max(i1, a);
                j0 = std::min(j0, b);
                j1 = std::max(j1, b);
            }
    }
    c.source = CraterSource::depression;
    c.i0 = i0;
    c.j0 = j0;
    allocate_grid(c.cells, "the crater's cells", j1 - j0 + 1, i1 - i0 + 1);
    for (const auto& [i, j] : region) c.cells[i - i0][j - j0] = 1;
    crater_cells_done(z, c);
    c.area = double(c.count) * g.cell_area();
    c.rim_min = spill;
    for (int i = std::max(i0 - 1, 0); i <= std::min(i1 + 1, nl - 1); ++i)
        for (int j = std::max(j0 - 1, 0); j <= std::min(j1 + 1, nc - 1); ++j) {
            if (edifice[i][j] != 1 || c.holds(i, j)) continue;
            bool next_to = false;
            for (int a = i - 1; a <= i + 1 && !next_to; ++a)
                for (int b = j - 1; b <= j + 1; ++b)
                    if (c.holds(a, b)) {
                        next_to = true;
                        break;
                    }
            if (next_to && (!c.rim_max || z[i][j] > *c.rim_max)) c.rim_max = z[i][j];
        }
    c.outline = outline_of_cells(g, i0, j0, c.cells);
    return c;
}

Ring outline_of_cells(const GridFrame& g, int i0, int j0, const nrutil::UcGrid& cells)
{
    const int a0 = std::max(i0 - 1, 0), a1 = std::min(i0 + cells.lines(), g.nl - 1);
    const int b0 = std::max(j0 - 1, 0), b1 = std::min(j0 + cells.columns(), g.nc - 1);
    auto read = [&](int i, double* v, std::uint8_t* ok) {
        for (int j = b0; j <= b1; ++j) {
            const int a = i - i0, b = j - j0;
            v[j - b0] = a >= 0 && b >= 0 && a < cells.lines() && b < cells.columns() && cells[a][b] ? 1 : 0;
            ok[j - b0] = 1;
        }
    };
    const std::vector<Piece> pieces = trace_contours(g, {a0, a1, b0, b1}, read, {0.5})[0];
    int best = -1;
    double best_area = -1;
    for (std::size_t k = 0; k < pieces.size(); ++k) {
        const double a = polygon_area(pieces[k].v) + (pieces[k].loop ? 0 : -1e300);
        if (best < 0 || a > best_area) {
            best = int(k);
            best_area = a;
        }
    }
    return best < 0 ? Ring{} : pieces[std::size_t(best)].v;
}

std::size_t largest_region_at_or_above(const nrutil::DGrid& z, const nrutil::UcGrid& edifice, int i0, int i1, int j0,
                                       int j1, double level, Ring* outline, const GridFrame& g)
{
    const int lines = i1 - i0 + 1, cols = j1 - j0 + 1;
    nrutil::UcGrid mark;
    allocate_grid(mark, "the summit region", cols, lines);
    std::size_t best = 0;
    int best_i = -1, best_j = -1;
    std::vector<std::pair<int, int>> queue;
    for (int i = i0; i <= i1; ++i)
        for (int j = j0; j <= j1; ++j) {
            if (edifice[i][j] != 1 || !(z[i][j] >= level) || mark[i - i0][j - j0]) continue;
            queue.assign(1, {i, j});
            mark[i - i0][j - j0] = 1;
            for (std::size_t k = 0; k < queue.size(); ++k) {
                const auto [a, b] = queue[k];
                for (int u = std::max(a - 1, i0); u <= std::min(a + 1, i1); ++u)
                    for (int v = std::max(b - 1, j0); v <= std::min(b + 1, j1); ++v)
                        if (edifice[u][v] == 1 && z[u][v] >= level && !mark[u - i0][v - j0]) {
                            mark[u - i0][v - j0] = 1;
                            queue.emplace_back(u, v);
                        }
            }
            if (queue.size() > best) {
                best = queue.size();
                best_i = i;
                best_j = j;
            }
        }
    if (outline && best) {
        // The chosen region again, alone.
        mark.fill(0);
        queue.assign(1, {best_i, best_j});
        mark[best_i - i0][best_j - j0] = 1;
        for (std::size_t k = 0; k < queue.size(); ++k) {
            const auto [a, b] = queue[k];
            for (int u = std::max(a - 1, i0); u <= std::min(a + 1, i1); ++u)
                for (int v = std::max(b - 1, j0); v <= std::min(b + 1, j1); ++v)
                    if (edifice[u][v] == 1 && z[u][v] >= level && !mark[u - i0][v - j0]) {
                        mark[u - i0][v - j0] = 1;
                        queue.emplace_back(u, v);
                    }
        }
        *outline = outline_of_cells(g, i0, j0, mark);
    }
    return best;
}
