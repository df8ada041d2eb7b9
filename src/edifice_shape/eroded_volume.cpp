#include "eroded_volume.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <cstring>
#include <utility>
#include <numeric>

#include "cell_scan.hpp"
#include "delaunay.hpp"
#include "parallel.hpp"
#include "plan_geometry.hpp"

namespace {

struct Run {
    int line, first, last;
    int parent;
    std::size_t boundary;
};

int root_of(std::vector<Run>& runs, int r)
{
    while (runs[std::size_t(r)].parent != r) {
        runs[std::size_t(r)].parent = runs[std::size_t(runs[std::size_t(r)].parent)].parent;
        r = runs[std::size_t(r)].parent;
    }
    return r;
}

// The regions of one level, labelled run by run (runs of a line join the
// runs of the line above that they touch, diagonals included); the root of
// a region is its first run, so its first cell in scan order.  above[c]:
// how many levels lie at or below the cell (0 off the edifice).
template <class Index>
HullRing one_level(const GridFrame& g, const std::vector<Index>& above, const std::vector<int>& extent, int i0, int i1,
                   int j0, int j1, int k, int levels, double level)
{
    const int width = j1 - j0 + 1;
    // Rows of the set (1 in it), each with the span it was last filled on:
    // only the span where the line has cells at this level is written.
    struct Row {
        std::vector<std::uint8_t> v;
        int lo = 0, hi = -1;
    };
    Row up, here, down;
    for (Row* r : {&up, &here, &down}) r->v.assign(std::size_t(width), 0);
    auto fill = [&](int i, Row& row) {
        if (row.hi >= row.lo) std::memset(&row.v[std::size_t(row.lo)], 0, std::size_t(row.hi - row.lo + 1));
        row.lo = 0;
        row.hi = -1;
        if (i < i0 || i > i1) return;
        if (!extent.empty()) {
            const std::size_t e = (std::size_t(i - i0) * std::size_t(levels) + std::size_t(k)) * 2;
            row.lo = extent[e];
            row.hi = extent[e + 1];
        } else {
            row.hi = width - 1;
        }
        const Index* u = &above[std::size_t(i - i0) * std::size_t(width)];
        for (int c = row.lo; c <= row.hi; ++c) row.v[std::size_t(c)] = std::uint64_t(u[c]) > std::uint64_t(k);
    };
    fill(i0, here);
    std::vector<Run> runs;
    std::size_t above_first = 0, above_end = 0;  // the runs of the line above
    for (int i = i0; i <= i1; ++i) {
        fill(i + 1, down);
        const std::size_t line_first = runs.size();
        const std::uint8_t* h = here.v.data();
        const int end = here.hi + 1;
        for (int c = std::max(here.lo, 0); c < end;) {
            // The next run: memchr finds its ends fast on long rows.
            const void* start = std::memchr(h + c, 1, std::size_t(end - c));
            if (!start) break;
            const int a = int(static_cast<const std::uint8_t*>(start) - h);
            const void* stop = std::memchr(h + a, 0, std::size_t(end - a));
            c = stop ? int(static_cast<const std::uint8_t*>(stop) - h) : end;
            const int b = c - 1;
            // Boundary cells: the run's two ends, and any cell with the cell
            // above or below outside the set (off the window, so off the
            // edifice or the grid, counts as outside).
            std::size_t n = b == a ? 1 : 2;
            std::size_t inner = 0;
            for (int q = a + 1; q < b; ++q) inner += up.v[std::size_t(q)] & down.v[std::size_t(q)];
            if (b - a > 1) n += std::size_t(b - a - 1) - inner;
            const int id = int(runs.size());
            runs.push_back({i, a, b, id, n});
            // Join the runs above that overlap [a - 1, b + 1].
            while (above_first < above_end && runs[above_first].last < a - 1) ++above_first;
            for (std::size_t r = above_first; r < above_end && runs[r].first <= b + 1; ++r) {
                const int ra = root_of(runs, int(r)), rb = root_of(runs, id);
                if (ra == rb) continue;
                const int lo = std::min(ra, rb), hi = std::max(ra, rb);
                runs[std::size_t(hi)].parent = lo;
                runs[std::size_t(lo)].boundary += runs[std::size_t(hi)].boundary;
            }
        }
        above_first = line_first;
        above_end = runs.size();
        std::swap(up, here);
        std::swap(here, down);
    }
    HullRing h;
    h.level = level;
    int best = -1;
    for (std::size_t r = 0; r < runs.size(); ++r)
        if (runs[r].parent == int(r) && (best < 0 || runs[r].boundary > runs[std::size_t(best)].boundary))
            best = int(r);
    if (best < 0) return h;
    // The hull of the region's cell centres needs only each line's ends.
    std::vector<IPoint> ends;
    int line = -1;
    for (std::size_t r = 0; r < runs.size(); ++r) {
        if (root_of(runs, int(r)) != best) continue;
        h.region_cells += std::size_t(runs[r].last - runs[r].first + 1);
        if (runs[r].line != line) {
            line = runs[r].line;
            ends.push_back({j0 + runs[r].first, -std::int64_t(line)});
            ends.push_back({j0 + runs[r].last, -std::int64_t(line)});
        } else {
            ends.back().x = j0 + runs[r].last;  // runs of a line come in order
        }
    }
    const std::vector<IPoint> hull = convex_hull(std::move(ends));
    if (hull.size() < 3) return h;
    for (const IPoint& p : hull) h.hull.push_back(g.centre(int(-p.y), int(p.x)));
    return h;
}

}  // namespace

namespace {

// How many levels lie at or below each edifice cell of the window.
template <class Index>
std::vector<Index> levels_below(const nrutil::DGrid& z, const nrutil::UcGrid& edifice, int i0, int i1, int j0, int j1,
                                const std::vector<double>& levels, double z_bmin, double ci)
{
    const std::size_t width = std::size_t(j1 - j0 + 1);
    std::vector<Index> u(std::size_t(i1 - i0 + 1) * width, 0);
    const long long n = (long long)levels.size();
    parallel_rows(i0, i1 + 1, width, [&](int a, int b) {
        for (int i = a; i < b; ++i)
            for (int j = j0; j <= j1; ++j) {
                if (edifice[i][j] != 1) continue;
                const double v = z[i][j];
                // A guess from the spacing, made exact by the comparisons.
                const double f = std::floor((v - z_bmin) / ci) + 1;
                long long g = f < 0 ? 0 : f > double(n) ? n : (long long)f;
                while (g > 0 && levels[std::size_t(g - 1)] > v) --g;
                while (g < n && levels[std::size_t(g)] <= v) ++g;
                u[std::size_t(i - i0) * width + std::size_t(j - j0)] = Index(g);
            }
    });
    return u;
}

template <class Index>
std::vector<HullRing> hulls_of(const GridFrame& g, const nrutil::DGrid& z, const nrutil::UcGrid& edifice, int i0,
                               int i1, int j0, int j1, const std::vector<double>& levels, double z_bmin, double ci)
{
    const std::vector<Index> above = levels_below<Index>(z, edifice, i0, i1, j0, j1, levels, z_bmin, ci);
    // For few levels, each line's first and last column with cells at or
    // above each level (from the running maximum of the counts from either
    // side): the higher levels then read only their own span.
    const int nlev = int(levels.size()), width = j1 - j0 + 1;
    std::vector<int> extent;
    if (nlev <= 64) {
        extent.assign(std::size_t(i1 - i0 + 1) * std::size_t(nlev) * 2, 0);
        parallel_rows(i0, i1 + 1, std::size_t(width), [&](int a, int b) {
            for (int i = a; i < b; ++i) {
                const Index* u = &above[std::size_t(i - i0) * std::size_t(width)];
                int* e = &extent[std::size_t(i - i0) * std::size_t(nlev) * 2];
                int m = 0;
                for (int c = 0; c < width && m < nlev; ++c)
                    for (; m < int(u[c]); ++m) e[2 * m] = c;
                for (; m < nlev; ++m) e[2 * m] = width;
                m = 0;
                for (int c = width - 1; c >= 0 && m < nlev; --c)
                    for (; m < int(u[c]); ++m) e[2 * m + 1] = c;
                for (; m < nlev; ++m) e[2 * m + 1] = -1;
            }
        });
    }
    std::vector<HullRing> rings(levels.size());
    parallel_tasks(nlev, [&](int k) {
        rings[std::size_t(k)] = one_level(g, above, extent, i0, i1, j0, j1, k, nlev, levels[std::size_t(k)]);
    });
    return rings;
}

}  // namespace

std::vector<HullRing> cross_section_hulls(const GridFrame& g, const nrutil::DGrid& z, const nrutil::UcGrid& edifice,
                                          int i0, int i1, int j0, int j1, double z_bmin, double ci, double z_top)
{
    std::vector<double> levels;
    if (ci > 0)
        for (long long k = 0; z_bmin + double(k) * ci <= z_top; ++k) levels.push_back(z_bmin + double(k) * ci);
    if (levels.size() < 255) return hulls_of<std::uint8_t>(g, z, edifice, i0, i1, j0, j1, levels, z_bmin, ci);
    if (levels.size() < 65535) return hulls_of<std::uint16_t>(g, z, edifice, i0, i1, j0, j1, levels, z_bmin, ci);
    return hulls_of<std::uint32_t>(g, z, edifice, i0, i1, j0, j1, levels, z_bmin, ci);
}

double eroded_volume_m3(const GridFrame& g, const nrutil::DGrid& z, const nrutil::UcGrid& edifice, int i0, int i1,
                        int j0, int j1, double z_bmin, double ci, const std::vector<HullRing>& rings,
                        ErodedMethod method)
{
    const double dA = g.cell_area();
    if (method == ErodedMethod::layers) {
        double v = 0;
        for (const HullRing& r : rings)
            if (!r.hull.empty()) v += (polygon_area(r.hull) - double(r.region_cells) * dA) * ci;
        return v;
    }
    // A point every 20 m whatever the cells: with cells of kilometres the
    // rings would take millions of points and the triangulation minutes, or
    // more memory than there is.  Past a million points the figure is left
    // out (the layers' estimate does not depend on it).
    double count = 0;
    for (const HullRing& r : rings)
        for (std::size_t e = 0, n = r.hull.size(); e < n; ++e)
            count += std::max(1.0, std::floor(distance(r.hull[e], r.hull[(e + 1) % n]) / 20));
    if (!(count <= max_hull_points)) return std::numeric_limits<double>::quiet_NaN();
    std::vector<Vec2> pts;
    std::vector<double> heights;
    for (const HullRing& r : rings) {
        const std::size_t n = r.hull.size();
        for (std::size_t e = 0; e < n; ++e) {
            const Vec2 p = r.hull[e], q = r.hull[(e + 1) % n];
            const int parts = std::max(1, int(std::floor(distance(p, q) / 20)));
            for (int k = 0; k < parts; ++k) {
                const double f = double(k) / double(parts);
                pts.push_back({p.x + f * (q.x - p.x), p.y + f * (q.y - p.y)});
                heights.push_back(r.level);
            }
        }
    }
    if (pts.empty()) return 0;
    // Coinciding points: the first, which is the lowest level's.
    std::vector<Vec2> kept;
    std::vector<double> kz;
    for (int k : distinct_points(pts)) {
        kept.push_back(pts[std::size_t(k)]);
        kz.push_back(heights[std::size_t(k)]);
    }
    std::vector<Vec2>().swap(pts);
    const Delaunay tri(std::move(kept));
    // A cell at or above its triangle's highest corner lies above S there.
    std::vector<double> top(tri.triangles().size());
    for (std::size_t t = 0; t < top.size(); ++t) {
        const Delaunay::Tri& T = tri.triangles()[t];
        top[t] = std::max({kz[std::size_t(T.v[0])], kz[std::size_t(T.v[1])], kz[std::size_t(T.v[2])]});
    }
    double sum = 0;
    // Along a line, the cells strictly between where the line enters and
    // leaves the triangle of the last cell located (well clear of both, for
    // the rounding of those two points) lie strictly inside it: they need no
    // exact test.  The others are located exactly.
    struct Walk {
        int t = -1, line = -1;
        bool span = false;
        double x0 = 0, x1 = 0;
    };
    const double clear = 1e-9 * (g.d * (g.nc + g.nl) + 1);
    scan_cells<Walk>(
        edifice, i0, i1, j0, j1,
        [&](int i, int j, Walk& w) {
            if (!(z[i][j] >= z_bmin)) return 0.0;
            const Vec2 c = g.centre(i, j);
            double s;
            if (w.t >= 0 && w.line == i && w.span && c.x > w.x0 + clear && c.x < w.x1 - clear) {
                if (top[std::size_t(w.t)] <= z[i][j]) return 0.0;
                s = tri.linear_inside(c, w.t, kz);
            } else {
                int signs[3];
                const int t = tri.locate(c, w.t, signs);
                if (t < 0) {
                    s = kz[std::size_t(tri.nearest(c))];
                } else {
                    if (t != w.t || w.line != i) {
                        w.t = t;
                        w.line = i;
                        w.span = tri.span_at(t, c.y, w.x0, w.x1);
                    }
                    if (top[std::size_t(t)] <= z[i][j]) return 0.0;
                    s = tri.linear(c, t, kz, signs);
                }
            }
            return std::max(s - z[i][j], 0.0);
        },
        [&](int, int, double v) { sum += v; });
    return sum * dA;
}
