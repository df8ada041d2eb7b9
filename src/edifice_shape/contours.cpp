#include "contours.hpp"

#include <algorithm>
#include <cmath>
#include <unordered_set>

#include "parallel.hpp"
#include "plan_geometry.hpp"

// The tracing is linear in the cells: one pass over the squares (shared out
// by blocks of lines) finds, for each square whose corners all count, the
// levels between its lowest and highest corner, and keeps the square's
// corners for each; each level is then chained from its own squares only.

namespace {

struct Crossing {
    std::uint32_t level;
    int i, j;
    double c[4];  // corners clockwise on the map: upper left, upper right, lower right, lower left
};

constexpr std::uint8_t none = 255;

// A square's segments, from an edge where the boundary leaves the inside
// (walking the corners clockwise) to one where it comes back; edges 0 top,
// 1 right, 2 bottom, 3 left, edge m from corner m to corner m + 1.
int square_segments(const Crossing& s, double level, std::uint8_t from[2], std::uint8_t to[2])
{
    bool in[4];
    for (int m = 0; m < 4; ++m) in[m] = s.c[m] >= level;
    int leaving[2], entering[2], nl = 0, ne = 0;
    for (int m = 0; m < 4; ++m) {
        const bool a = in[m], b = in[(m + 1) % 4];
        if (a && !b) leaving[nl++] = m;
        if (!a && b) entering[ne++] = m;
    }
    if (nl == 1) {
        from[0] = std::uint8_t(leaving[0]);
        to[0] = std::uint8_t(entering[0]);
        return 1;
    }
    // Saddle: the centre inside cuts off each outside corner (the segment
    // turns round corner m + 1), outside each inside corner (round corner m).
    const double mean = (s.c[0] + s.c[1] + s.c[3] + s.c[2]) / 4;  // corners in scan order
    const bool centre_in = mean >= level;
    for (int k = 0; k < 2; ++k) {
        from[k] = std::uint8_t(leaving[k]);
        to[k] = std::uint8_t(centre_in ? (leaving[k] + 1) % 4 : (leaving[k] + 3) % 4);
    }
    return 2;
}

Vec2 edge_vertex(const GridFrame& g, const Crossing& s, int m, double level)
{
    const double xl = g.x(s.j), xr = g.x(s.j + 1), yu = g.y(s.i), yd = g.y(s.i + 1);
    auto frac = [&](double z1, double z2) { return (level - z1) / (z2 - z1); };
    switch (m) {
        case 0:
            return {xl + frac(s.c[0], s.c[1]) * (xr - xl), yu};
        case 1:
            return {xr, yu + frac(s.c[1], s.c[2]) * (yd - yu)};
        case 2:
            return {xl + frac(s.c[3], s.c[2]) * (xr - xl), yd};
        default:
            return {xl, yu + frac(s.c[0], s.c[3]) * (yd - yu)};
    }
}

std::vector<Piece> chain_level(const GridFrame& g, const std::vector<Crossing>& sq, double level)
{
    const std::size_t n = sq.size();
    std::vector<std::int64_t> key(n);
    for (std::size_t e = 0; e < n; ++e) key[e] = std::int64_t(sq[e].i) * g.nc + sq[e].j;
    std::vector<std::uint8_t> from(2 * n, none), to(2 * n, none);
    for (std::size_t e = 0; e < n; ++e) square_segments(sq[e], level, &from[2 * e], &to[2 * e]);

    constexpr std::size_t no = std::size_t(-1);
    std::vector<std::size_t> next(2 * n, no), prev(2 * n, no);
    static const int di[4] = {-1, 0, 1, 0}, dj[4] = {0, 1, 0, -1};
    for (std::size_t s = 0; s < 2 * n; ++s) {
        if (from[s] == none) continue;
        const std::size_t e = s / 2;
        const int m = to[s];
        const std::int64_t k = std::int64_t(sq[e].i + di[m]) * g.nc + (sq[e].j + dj[m]);
        if (sq[e].i + di[m] < 0 || sq[e].j + dj[m] < 0 || sq[e].j + dj[m] >= g.nc) continue;
        const auto it = std::lower_bound(key.begin(), key.end(), k);
        if (it == key.end() || *it != k) continue;
        const std::size_t f = std::size_t(it - key.begin());
        const std::uint8_t shared = std::uint8_t((m + 2) % 4);
        for (std::size_t t = 2 * f; t < 2 * f + 2; ++t)
            if (from[t] == shared) {
                next[s] = t;
                prev[t] = s;
            }
    }

    std::vector<Piece> pieces;
    std::vector<std::uint8_t> used(2 * n, 0);
    for (std::size_t s0 = 0; s0 < 2 * n; ++s0) {
        if (from[s0] == none || used[s0]) continue;
        std::size_t start = s0;
        bool loop = false;
        while (prev[start] != no) {
            start = prev[start];
            if (start == s0) {
                loop = true;
                break;
            }
        }
        Piece p;
        p.loop = loop;
        p.v.push_back(edge_vertex(g, sq[start / 2], from[start], level));
        for (std::size_t s = start;;) {
            used[s] = 1;
            const std::size_t t = next[s];
            if (loop && t == start) break;
            p.v.push_back(edge_vertex(g, sq[s / 2], to[s], level));
            if (t == no) break;
            s = t;
        }
        pieces.push_back(std::move(p));
    }
    return pieces;
}

}  // namespace

std::vector<std::vector<Piece>> trace_contours(const GridFrame& g, TraceWindow w, const LineReader& read,
                                               const std::vector<double>& levels)
{
    std::vector<std::vector<Piece>> out(levels.size());
    const int lines = w.i1 - w.i0;  // lines of squares
    const int width = w.j1 - w.j0 + 1;
    if (levels.empty() || lines <= 0 || width < 2) return out;

    const int blocks = std::size_t(lines) * std::size_t(width) < parallel_threshold() || thread_count() < 2
                           ? 1
                           : std::min(lines, thread_count() * 4);
    std::vector<std::vector<Crossing>> found(static_cast<std::size_t>(blocks));
    parallel_tasks(blocks, [&](int b) {
        const int lo = w.i0 + int(std::int64_t(lines) * b / blocks);
        const int hi = w.i0 + int(std::int64_t(lines) * (b + 1) / blocks);
        if (hi <= lo) return;
        std::vector<double> z0(static_cast<std::size_t>(width)), z1(static_cast<std::size_t>(width));
        std::vector<std::uint8_t> k0(static_cast<std::size_t>(width)), k1(static_cast<std::size_t>(width));
        read(lo, z0.data(), k0.data());
        std::vector<Crossing> mine;  // the task's own: neighbouring vectors' ends share a cache line
        for (int i = lo; i < hi; ++i) {
            read(i + 1, z1.data(), k1.data());
            for (int c = 0; c + 1 < width; ++c) {
                if (!(k0[c] && k0[c + 1] && k1[c] && k1[c + 1])) continue;
                const double ul = z0[c], ur = z0[c + 1], lr = z1[c + 1], ll = z1[c];
                const double lo_z = std::min(std::min(ul, ur), std::min(lr, ll));
                const double hi_z = std::max(std::max(ul, ur), std::max(lr, ll));
                // Levels L with lo_z < L <= hi_z: some corner at or above L,
                // some below.
                auto first = std::upper_bound(levels.begin(), levels.end(), lo_z);
                for (auto it = first; it != levels.end() && *it <= hi_z; ++it)
                    mine.push_back({std::uint32_t(it - levels.begin()), i, w.j0 + c, {ul, ur, lr, ll}});
            }
            z0.swap(z1);
            k0.swap(k1);
        }
        found[std::size_t(b)].swap(mine);
    });
    std::vector<std::vector<Crossing>> by_level(levels.size());
    {
        std::vector<std::size_t> count(levels.size(), 0);
        for (const auto& f : found)
            for (const Crossing& c : f) ++count[c.level];
        for (std::size_t k = 0; k < levels.size(); ++k) by_level[k].reserve(count[k]);
        for (auto& f : found) {
            for (const Crossing& c : f) by_level[c.level].push_back(c);
            std::vector<Crossing>().swap(f);
        }
    }
    parallel_tasks(int(levels.size()), [&](int k) {
        out[std::size_t(k)] = chain_level(g, by_level[std::size_t(k)], levels[std::size_t(k)]);
        std::vector<Crossing>().swap(by_level[std::size_t(k)]);
    });
    return out;
}

std::vector<Piece> pieces_across_line(const GridFrame& g, TraceWindow w, const CornerReader& corner, double level,
                                      int line, int from)
{
    // A crossing square of the window: its corners, when all count and
    // straddle the level.
    auto square = [&](int i, int j, Crossing& s) {
        if (i < w.i0 || j < w.j0 || i + 1 > w.i1 || j + 1 > w.j1) return false;
        if (!corner(i, j, s.c[0]) || !corner(i, j + 1, s.c[1]) || !corner(i + 1, j + 1, s.c[2]) ||
            !corner(i + 1, j, s.c[3]))
            return false;
        const double lo = std::min(std::min(s.c[0], s.c[1]), std::min(s.c[2], s.c[3]));
        const double hi = std::max(std::max(s.c[0], s.c[1]), std::max(s.c[2], s.c[3]));
        s.i = i;
        s.j = j;
        s.level = 0;
        return lo < level && level <= hi;
    };
    std::vector<Crossing> found;
    std::unordered_set<std::int64_t> seen;
    auto visit = [&](int i, int j) {
        Crossing s;
        if (!seen.insert(std::int64_t(i) * g.nc + j).second || !square(i, j, s)) return;
        found.push_back(s);
    };
    for (int j = std::max(from - 1, w.j0); j < w.j1; ++j) {
        visit(line - 1, j);
        visit(line, j);
    }
    // Whole pieces: across every edge where the state changes.
    static const int di[4] = {-1, 0, 1, 0}, dj[4] = {0, 1, 0, -1};
    for (std::size_t k = 0; k < found.size(); ++k) {
        const Crossing s = found[k];
        for (int m = 0; m < 4; ++m)
            if ((s.c[m] >= level) != (s.c[(m + 1) % 4] >= level)) visit(s.i + di[m], s.j + dj[m]);
    }
    std::sort(found.begin(), found.end(),
              [](const Crossing& a, const Crossing& b) { return a.i < b.i || (a.i == b.i && a.j < b.j); });
    return chain_level(g, found, level);
}

int largest_piece(const std::vector<Piece>& pieces)
{
    int best = -1;
    for (std::size_t k = 0; k < pieces.size(); ++k)
        if (best < 0 || pieces[k].v.size() > pieces[std::size_t(best)].v.size()) best = int(k);
    return best;
}

double end_gap(const Piece& p)
{
    return p.loop || p.v.empty() ? 0 : distance(p.v.front(), p.v.back());
}

double round_cm(double v)
{
    return std::round(v * 100) / 100;
}

LevelRule level_rule(double range, double z_bmin, double fraction, std::optional<double> interval, bool multiples)
{
    LevelRule r;
    r.ci = interval ? *interval : round_cm(fraction * range);
    r.multiples = multiples;
    if (multiples) {
        r.ci = std::round(r.ci);
        if (r.ci > 0) r.q = (long long)std::ceil(std::round(z_bmin) / r.ci);
    } else {
        r.z_b0 = round_cm(z_bmin);
    }
    if (!(r.ci > 0) || !std::isfinite(r.ci)) r.ci = 0;
    return r;
}
