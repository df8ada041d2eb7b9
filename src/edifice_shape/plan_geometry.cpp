#include "plan_geometry.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

double shoelace2(const Ring& v)
{
    const std::size_t n = v.size();
    double s = 0;
    for (std::size_t k = 0; k < n; ++k) {
        const Vec2 a = v[k], b = v[k + 1 == n ? 0 : k + 1];
        s += a.x * b.y - b.x * a.y;
    }
    return s;
}

double distance(Vec2 a, Vec2 b)
{
    const double dx = b.x - a.x, dy = b.y - a.y;
    return std::sqrt(dx * dx + dy * dy);
}

double perimeter(const Ring& v)
{
    const std::size_t n = v.size();
    double s = 0;
    for (std::size_t k = 0; k < n; ++k) s += distance(v[k], v[k + 1 == n ? 0 : k + 1]);
    return s;
}

double equal_area_width(double area)
{
    return 2 * std::sqrt(area / std::numbers::pi);
}

namespace {
// Where edge a-b crosses the horizontal line at height y, when it does (the
// crossing test's own rule: one end above y, the other at or below).
bool crossing(Vec2 a, Vec2 b, double y, double& x)
{
    if ((a.y > y) == (b.y > y)) return false;
    x = (b.x - a.x) * (y - a.y) / (b.y - a.y) + a.x;
    return true;
}
}  // namespace

bool inside_ring(const Ring& ring, Vec2 p)
{
    bool in = false;
    const std::size_t n = ring.size();
    for (std::size_t k = 0, l = n - 1; k < n; l = k++) {
        double x;
        if (crossing(ring[k], ring[l], p.y, x) && p.x < x) in = !in;
    }
    return in;
}

std::vector<ColumnRun> inside_runs(const GridFrame& g, const Ring& ring, int i)
{
    const double y = g.y(i);
    std::vector<double> xs;
    const std::size_t n = ring.size();
    for (std::size_t k = 0, l = n - 1; k < n; l = k++) {
        double x;
        if (crossing(ring[k], ring[l], y, x)) xs.push_back(x);
    }
    std::sort(xs.begin(), xs.end());
    // A centre is inside when an odd number of crossings lie strictly to its
    // right; between two consecutive crossings that number does not change.
    std::vector<ColumnRun> runs;
    std::size_t right = xs.size();  // crossings with x > the centre
    std::size_t next = 0;           // first crossing not yet passed
    int start = -1;
    for (int j = 0; j < g.nc; ++j) {
        const double xc = g.x(j);
        while (next < xs.size() && xs[next] <= xc) {
            ++next;
            --right;
        }
        const bool in = right % 2 == 1;
        if (in && start < 0) start = j;
        if (!in && start >= 0) {
            runs.push_back({start, j - 1});
            start = -1;
        }
        if (next == xs.size() && start < 0) break;  // nothing to the right
    }
    if (start >= 0) runs.push_back({start, g.nc - 1});
    return runs;
}

namespace {
template <class P, class Cross>
std::vector<P> monotone_chain(std::vector<P> p, Cross cross)
{
    std::sort(p.begin(), p.end(), [](const P& a, const P& b) { return a.x < b.x || (a.x == b.x && a.y < b.y); });
    p.erase(std::unique(p.begin(), p.end(), [](const P& a, const P& b) { return a.x == b.x && a.y == b.y; }), p.end());
    if (p.size() < 3) return p;
    std::vector<P> h(2 * p.size());
    std::size_t k = 0;
    for (std::size_t i = 0; i < p.size(); ++i) {
        while (k >= 2 && !(cross(h[k - 2], h[k - 1], p[i]) > 0)) --k;
        h[k++] = p[i];
    }
    for (std::size_t i = p.size() - 1, t = k + 1; i-- > 0;) {
        while (k >= t && !(cross(h[k - 2], h[k - 1], p[i]) > 0)) --k;
        h[k++] = p[i];
    }
    h.resize(k - 1);
    return h;
}
}  // namespace

std::vector<Vec2> convex_hull(std::vector<Vec2> p)
{
    return monotone_chain(std::move(p),
                          [](Vec2 o, Vec2 a, Vec2 b) { return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x); });
}

std::vector<IPoint> convex_hull(std::vector<IPoint> p)
{
    return monotone_chain(std::move(p), [](IPoint o, IPoint a, IPoint b) {
        return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
    });
}

double largest_distance(const std::vector<Vec2>& p)
{
    const std::vector<Vec2> h = convex_hull(p);
    // Every pair of hull vertices: the same squared distances as over all the
    // points, and the same largest one.
    double best = 0;
    for (std::size_t a = 0; a < h.size(); ++a)
        for (std::size_t b = a + 1; b < h.size(); ++b) {
            const double dx = h[b].x - h[a].x, dy = h[b].y - h[a].y;
            best = std::max(best, dx * dx + dy * dy);
        }
    return std::sqrt(best);
}
