#include <algorithm>
#include <climits>
#include <cstring>
#include <cmath>
#include <cstdlib>
#include <numeric>
#include <utility>
#include <vector>

#include "byte_rows.hpp"
#include "convex_envelope.hpp"
#include "slices.hpp"
#include "workspace.hpp"

namespace {

const double to_degrees = 180.0 / (4.0 * std::atan(1.0));

// Angle of P seen from V, degrees in [0, 360), counter-clockwise from the
// direction of increasing column, line 0 being up.
inline double walk_angle(const Cell& v, const Cell& p, double& fiy, double& fix)
{
    fiy = double(v.i - p.i);
    fix = double(p.j - v.j);
    double theta = std::atan2(fiy, fix) * to_degrees;
    if (theta < 0) theta += 360.0;
    return theta;
}

Cell lowest_leftmost(const std::vector<Cell>& points)
{
    int idmax = 0, jdmin = 100000;
    for (const Cell& p : points) idmax = std::max(idmax, p.i);
    for (const Cell& p : points)
        if (p.i == idmax) jdmin = std::min(jdmin, p.j);
    return {idmax, jdmin};
}

// One step of the walk from v over `points`: the next vertex, or false.
bool walk_step(const Cell& v, const std::vector<Cell>& points, double& theta_prec, Cell& next)
{
    double theta_min = 360.0;
    for (const Cell& p : points) {
        if (p == v) continue;
        double fiy, fix;
        const double theta = walk_angle(v, p, fiy, fix);
        if (theta > theta_prec && theta < theta_min) theta_min = theta;
    }
    double dismax = 0;
    bool found = false;
    for (const Cell& p : points) {
        if (p == v) continue;
        double fiy, fix;
        if (walk_angle(v, p, fiy, fix) != theta_min) continue;
        const double disp = std::sqrt(fix * fix + fiy * fiy);
        if (!found || disp > dismax) {
            dismax = disp;
            next = p;
        }
        found = true;
    }
    if (found) theta_prec = theta_min;
    return found;
}

inline std::int64_t cross(const Cell& o, const Cell& a, const Cell& b)
{
    return std::int64_t(a.i - o.i) * (b.j - o.j) - std::int64_t(a.j - o.j) * (b.i - o.i);
}

}  // namespace

std::vector<Cell> gift_wrap(const std::vector<Cell>& points)
{
    std::vector<Cell> vtx{lowest_leftmost(points)};
    double theta_prec = -10.0;
    Cell next;
    while (walk_step(vtx.back(), points, theta_prec, next)) vtx.push_back(next);
    return vtx;
}

std::vector<Cell> envelope_vertices(const std::vector<std::uint32_t>& points, int nb_col,
                                    const nrutil::UcGrid& marks, std::uint8_t mark)
{
    // Every vertex of the strict hull is the first or the last point of its
    // line (a point between two others of its line lies on their segment):
    // the hull is built from those alone, a few per line however long the
    // contour, in buffers kept from one slice to the next.
    thread_local std::vector<Cell> pts, hull;
    pts.clear();
    // The line of a point is worked out only when the points leave the cells
    // [row, row + nb_col) of the last one: a division a line, not a point.
    const std::uint32_t w = std::uint32_t(nb_col);
    std::uint32_t row = 0;
    int line = 0;
    auto same_line = [&](std::uint32_t p) { return p >= row && p - row < w; };
    for (std::size_t n = 0; n < points.size(); ++n) {
        const std::uint32_t p = points[n];
        if (n == 0 || !same_line(p)) {
            line = int(p / w);
            row = std::uint32_t(line) * w;
        }
        const Cell c{line, int(p - row)};
        const bool first = pts.empty() || pts.back().i != c.i;
        const bool last = n + 1 == points.size() || !same_line(points[n + 1]);
        if (first || last) pts.push_back(c);
    }
    if (pts.size() <= 1) return {lowest_leftmost(pts)};

    // Strict convex hull, counter-clockwise (monotone chain over the scan order).
    hull.resize(2 * pts.size());
    std::size_t h = 0;
    for (std::size_t n = 0; n < pts.size(); ++n) {
        while (h >= 2 && cross(hull[h - 2], hull[h - 1], pts[n]) <= 0) --h;
        hull[h++] = pts[n];
    }
    for (std::size_t n = pts.size() - 1, lower = h + 1; n-- > 0;) {
        while (h >= lower && cross(hull[h - 2], hull[h - 1], pts[n]) <= 0) --h;
        hull[h++] = pts[n];
    }
    hull.resize(h - 1);

    const Cell start = lowest_leftmost(pts);
    const std::size_t s = std::size_t(std::find(hull.begin(), hull.end(), start) - hull.begin());
    std::vector<Cell> vtx{start};
    double theta_prec = -10.0;
    thread_local std::vector<Cell> edge;
    for (std::size_t e = 0; e < hull.size(); ++e) {
        const Cell v = hull[(s + e) % hull.size()], u = hull[(s + e + 1) % hull.size()];
        const int di = u.i - v.i, dj = u.j - v.j;
        // Along a line or a column, every cell of the edge is seen from v at
        // the same angle (atan2 of a zero and a number of either sign is
        // exact, whatever the number): the walk goes to the farthest, u, when
        // that angle turns on from the last.
        if ((di == 0 || dj == 0) && marks[u.i][u.j] == mark) {
            double fiy, fix;
            const double theta = walk_angle(v, u, fiy, fix);
            if (theta > theta_prec) {
                theta_prec = theta;
                vtx.push_back(u);
                continue;
            }
        }
        const int g = std::gcd(std::abs(di), std::abs(dj));
        edge.clear();
        for (int t = 1; t <= g; ++t) {
            const Cell c{v.i + t * (di / g), v.j + t * (dj / g)};
            if (marks[c.i][c.j] == mark) edge.push_back(c);
        }
        Cell next;
        // The walk is decided by the cells of this edge unless rounding made
        // a nearer cell win, which the full walk then settles.
        if (!walk_step(v, edge, theta_prec, next) || !(next == u)) {
            std::vector<Cell> all;
            all.reserve(points.size());
            for (std::uint32_t p : points) all.push_back({int(p / std::uint32_t(nb_col)), int(p % std::uint32_t(nb_col))});
            return gift_wrap(all);
        }
        vtx.push_back(u);
    }
    return vtx;
}

void draw_envelope(nrutil::UcGrid& conv, const std::vector<Cell>& vtx, std::vector<std::uint32_t>* drawn)
{
    auto segment = [&](const Cell& a, const Cell& b) {
        const double da = double(b.j - a.j), db = double(b.i - a.i);
        const double rmax = std::max(std::fabs(da), std::fabs(db));
        if (rmax == 0) return;
        const double dinext = db / rmax, djnext = da / rmax;
        int ci = a.i, cj = a.j;
        double ri = a.i, rj = a.j;
        for (long steps = long(rmax); steps >= 0; --steps) {
            std::uint8_t& cell = conv[ci][cj];
            if (drawn && cell != 2) drawn->push_back(std::uint32_t(std::size_t(ci) * conv.columns() + cj));
            cell = 2;
            if (ci == b.i && cj == b.j) break;
            ri += dinext;
            rj += djnext;
            ci = int(ri + 0.5);
            cj = int(rj + 0.5);
        }
    };
    for (std::size_t m = 1; m < vtx.size(); ++m) segment(vtx[m - 1], vtx[m]);
    segment(vtx.back(), vtx.front());
}

void convexity(Workspace& ws)
{
    std::vector<std::uint32_t> points;
    for (int i = 0; i < ws.nb_lig; ++i)
        for (int j = 0; j < ws.nb_col; ++j)
            if (ws.tab_co[i][j] == 1) points.push_back(std::uint32_t(std::size_t(i) * ws.nb_col + j));
    draw_envelope(ws.tab_conv, envelope_vertices(points, ws.nb_col, ws.tab_co, 1), nullptr);
    if (ws.flag_convex != 1) filling(ws);
}

// Digital differential line: one cell per step along the longer direction,
// the other coordinate rounded (+0.5, then truncation).
void trace_droite_pol(Workspace& ws, int ideb, int jdeb, int ifin, int jfin)
{
    draw_envelope(ws.tab_conv, {{ideb, jdeb}, {ifin, jfin}}, nullptr);
}

void TouchedRows::reset(int nb_lig)
{
    if (int(lo.size()) != nb_lig) {
        lo.assign(std::size_t(nb_lig), INT_MAX);
        hi.assign(std::size_t(nb_lig), INT_MIN);
    } else {
        for (int i = i0; i <= i1; ++i) {
            lo[std::size_t(i)] = INT_MAX;
            hi[std::size_t(i)] = INT_MIN;
        }
    }
    i0 = INT_MAX;
    i1 = INT_MIN;
}

// Scan-line seed fill: each popped seed fills its span between the nearest
// non-zero cells of its line (column 1 at the latest, with its quirk of
// setting column 1 itself) and pushes one seed per run of zeros above and
// below the span, at the run's right end.
void fill_envelope(nrutil::UcGrid& conv, int seed_i, int seed_j, TouchedRows* touched)
{
    using namespace byte_rows;
    const int nl = conv.lines(), nc = conv.columns();
    std::vector<std::pair<int, int>> stack{{seed_i, seed_j}};
    while (!stack.empty()) {
        auto [i, jk] = stack.back();
        stack.pop_back();
        std::uint8_t* row = conv[i];
        const int left = find_nonzero_back(row, jk - 1, 1);
        const int jg = left >= 1 ? left + 1 : 2;
        if (jg == 2 && nc > 1) row[1] = 2;  // a grid of one column has no column 1
        const int right = find_nonzero(row, jk + 1, nc - 1);
        const int jd = right <= nc - 1 ? right - 1 : nc - 1;
        if (jd >= jg) std::memset(row + jg, 2, std::size_t(jd - jg + 1));
        if (touched) touched->touch(i, jg == 2 ? 1 : jg, std::max(jd, jk));
        // One seed per run of zeros above and below the span, at its right end.
        for (int ni : {i - 1, i + 1}) {
            if (ni < 1 || ni >= nl) continue;
            const std::uint8_t* nrow = conv[ni];
            for (int j = find_zero(nrow, jg, jd); j <= jd; j = find_zero(nrow, j, jd)) {
                j = find_nonzero(nrow, j, jd);
                stack.push_back({ni, j - 1});
            }
        }
    }
}

void filling(Workspace& ws) { fill_envelope(ws.tab_conv, ws.i_gv, ws.j_gv, nullptr); }
