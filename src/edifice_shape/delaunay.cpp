#include "delaunay.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <vector>

#include "predicates.hpp"

namespace {

bool lex_less(Vec2 a, Vec2 b)
{
    return a.x < b.x || (a.x == b.x && a.y < b.y);
}

// Twice the signed area of a, b, c in doubles (the weights of the
// interpolation, not a decision).
double area2(Vec2 a, Vec2 b, Vec2 c)
{
    return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
}

Vec2 circumcentre(Vec2 a, Vec2 b, Vec2 c)
{
    const double bx = b.x - a.x, by = b.y - a.y, cx = c.x - a.x, cy = c.y - a.y;
    const double den = 2 * (bx * cy - by * cx);
    const double b2 = bx * bx + by * by, c2 = cx * cx + cy * cy;
    return {a.x + (cy * b2 - by * c2) / den, a.y + (bx * c2 - cx * b2) / den};
}

void replace_neighbour(std::vector<Delaunay::Tri>& tris, int t, int from, int to)
{
    if (t < 0) return;
    for (int& n : tris[std::size_t(t)].n)
        if (n == from) {
            n = to;
            return;
        }
}

Delaunay::Tri rotated(const Delaunay::Tri& t, int k)
{
    Delaunay::Tri r;
    for (int m = 0; m < 3; ++m) {
        r.v[m] = t.v[(k + m) % 3];
        r.n[m] = t.n[(k + m) % 3];
    }
    return r;
}

}  // namespace

std::vector<int> distinct_points(const std::vector<Vec2>& p)
{
    std::vector<int> order(p.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return lex_less(p[std::size_t(a)], p[std::size_t(b)]); });
    std::vector<int> kept;
    for (std::size_t k = 0; k < order.size(); ++k)
        if (k == 0 || !(p[std::size_t(order[k])] == p[std::size_t(order[k - 1])])) kept.push_back(order[k]);
    std::sort(kept.begin(), kept.end());
    return kept;
}

Delaunay::Delaunay(std::vector<Vec2> points) : p_(std::move(points))
{
    const std::size_t n = p_.size();
    hull_next_.assign(n, -1);
    hull_prev_.assign(n, -1);
    hull_tri_.assign(n, -1);
    build_nearest_index();
    if (n < 3) return;
    std::vector<int> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(),
              [&](int a, int b) { return lex_less(p_[std::size_t(a)], p_[std::size_t(b)]); });

    // The first points may lie on one line: they wait for the first point
    // off it, and are then joined to it by a fan.
    std::vector<int> chain{order[0], order[1]};
    std::size_t k = 2;
    while (k < n && orient2d(p_[std::size_t(chain[0])], p_[std::size_t(chain[1])], p_[std::size_t(order[k])]) == 0)
        chain.push_back(order[k++]);
    if (k == n) return;
    const int q = order[k++];
    const bool left = orient2d(p_[std::size_t(chain[0])], p_[std::size_t(chain[1])], p_[std::size_t(q)]) > 0;
    const int m = int(chain.size()) - 1;
    for (int i = 0; i < m; ++i) {
        const int a = chain[std::size_t(i)], b = chain[std::size_t(i) + 1];
        Tri t;
        if (left) {
            t = {{a, b, q}, {i + 1 < m ? i + 1 : -1, i > 0 ? i - 1 : -1, -1}};
        } else {
            t = {{b, a, q}, {i > 0 ? i - 1 : -1, i + 1 < m ? i + 1 : -1, -1}};
        }
        tris_.push_back(t);
    }
    auto link = [&](int u, int w, int t) {
        hull_next_[std::size_t(u)] = w;
        hull_prev_[std::size_t(w)] = u;
        hull_tri_[std::size_t(u)] = t;
    };
    if (left) {
        for (int i = 0; i < m; ++i) link(chain[std::size_t(i)], chain[std::size_t(i) + 1], i);
        link(chain[std::size_t(m)], q, m - 1);
        link(q, chain[0], 0);
    } else {
        for (int i = 0; i < m; ++i) link(chain[std::size_t(i) + 1], chain[std::size_t(i)], i);
        link(chain[0], q, 0);
        link(q, chain[std::size_t(m)], m - 1);
    }
    int last = q;
    for (; k < n; ++k) insert(order[k], last);
}

void Delaunay::insert(int p, int& last)
{
    const Vec2 P = p_[std::size_t(p)];
    auto visible = [&](int u) {
        return orient2d(p_[std::size_t(u)], p_[std::size_t(hull_next_[std::size_t(u)])], P) < 0;
    };
    // The point is the highest so far in lexicographic order, so the last
    // one inserted, a hull vertex, sees it; the edges it sees are one chain.
    int a = last;
    if (!visible(hull_prev_[std::size_t(a)]) && !visible(a)) {
        int u = hull_next_[std::size_t(a)];
        while (u != last && !visible(u)) u = hull_next_[std::size_t(u)];
        a = u;
    }
    while (visible(hull_prev_[std::size_t(a)])) a = hull_prev_[std::size_t(a)];
    std::vector<int> chain{a};
    for (int u = a; visible(u);) {
        u = hull_next_[std::size_t(u)];
        chain.push_back(u);
    }
    const int m = int(chain.size()) - 1;
    if (m == 0) return;  // cannot happen for the highest point: left out rather than folded
    const int first = int(tris_.size());
    for (int k = 0; k < m; ++k) {
        const int vk = chain[std::size_t(k)], vk1 = chain[std::size_t(k) + 1];
        const int old = hull_tri_[std::size_t(vk)];
        tris_.push_back({{vk1, vk, p}, {k > 0 ? first + k - 1 : -1, k + 1 < m ? first + k + 1 : -1, old}});
        Tri& o = tris_[std::size_t(old)];
        for (int j = 0; j < 3; ++j)
            if (o.n[j] == -1 && o.v[(j + 1) % 3] == vk) o.n[j] = first + k;
    }
    const int b = chain[std::size_t(m)];
    hull_next_[std::size_t(a)] = p;
    hull_prev_[std::size_t(p)] = a;
    hull_next_[std::size_t(p)] = b;
    hull_prev_[std::size_t(b)] = p;
    hull_tri_[std::size_t(a)] = first;
    hull_tri_[std::size_t(p)] = first + m - 1;
    for (int k = 1; k < m; ++k)
        hull_next_[std::size_t(chain[std::size_t(k)])] = hull_prev_[std::size_t(chain[std::size_t(k)])] = -1;
    for (int k = 0; k < m; ++k) legalize(first + k);
    last = p;
}

// Flips until every edge opposite the new point (always v[0] of the
// triangles on the stack, after rotation) is locally Delaunay.
void Delaunay::legalize(int t0)
{
    // The new point is v[2] of a new triangle.
    tris_[std::size_t(t0)] = rotated(tris_[std::size_t(t0)], 2);
    std::vector<int> stack{t0};
    while (!stack.empty()) {
        const int t = stack.back();
        stack.pop_back();
        const Tri T = tris_[std::size_t(t)];
        const int o = T.n[0];
        if (o < 0) continue;
        int j = 0;
        while (tris_[std::size_t(o)].n[j] != t) ++j;
        const Tri O = rotated(tris_[std::size_t(o)], j);
        const int p = T.v[0], a = T.v[1], b = T.v[2], x = O.v[0];
        if (incircle(p_[std::size_t(p)], p_[std::size_t(a)], p_[std::size_t(b)], p_[std::size_t(x)]) <= 0) continue;
        const int n_bp = T.n[1], n_pa = T.n[2], n_ax = O.n[1], n_xb = O.n[2];
        tris_[std::size_t(t)] = {{p, a, x}, {n_ax, o, n_pa}};
        tris_[std::size_t(o)] = {{p, x, b}, {n_xb, n_bp, t}};
        replace_neighbour(tris_, n_ax, o, t);
        replace_neighbour(tris_, n_bp, t, o);
        if (n_ax < 0) hull_tri_[std::size_t(a)] = t;
        if (n_bp < 0) hull_tri_[std::size_t(b)] = o;
        stack.push_back(t);
        stack.push_back(o);
    }
}

int Delaunay::locate(Vec2 q, int hint, int* signs) const
{
    if (tris_.empty()) return -1;
    int t = hint >= 0 && std::size_t(hint) < tris_.size() ? hint : 0;
    for (;;) {
        const Tri& T = tris_[std::size_t(t)];
        int next = -2, s[3];
        for (int k = 0; k < 3; ++k) {
            s[k] = orient2d(p_[std::size_t(T.v[(k + 1) % 3])], p_[std::size_t(T.v[(k + 2) % 3])], q);
            if (s[k] < 0) {
                next = T.n[k];
                break;
            }
        }
        if (next == -2) {
            if (signs)
                for (int k = 0; k < 3; ++k) signs[k] = s[k];
            return t;
        }
        if (next == -1) return -1;
        t = next;
    }
}

double Delaunay::linear(Vec2 q, int t, const std::vector<double>& z, const int* signs) const
{
    const Tri& T = tris_[std::size_t(t)];
    int s[3], zeros = 0;
    for (int k = 0; k < 3; ++k) {
        s[k] = signs ? signs[k] : orient2d(p_[std::size_t(T.v[(k + 1) % 3])], p_[std::size_t(T.v[(k + 2) % 3])], q);
        zeros += s[k] == 0;
    }
    if (zeros >= 2) {
        for (int k = 0; k < 3; ++k)
            if (s[k] != 0) return z[std::size_t(T.v[k])];
    }
    if (zeros == 1) {
        int k = 0;
        while (s[k] != 0) ++k;
        int u = T.v[(k + 1) % 3], w = T.v[(k + 2) % 3];
        if (u > w) std::swap(u, w);
        const Vec2 U = p_[std::size_t(u)], W = p_[std::size_t(w)];
        const double ex = W.x - U.x, ey = W.y - U.y;
        const double f = ((q.x - U.x) * ex + (q.y - U.y) * ey) / (ex * ex + ey * ey);
        return z[std::size_t(u)] + f * (z[std::size_t(w)] - z[std::size_t(u)]);
    }
    return linear_inside(q, t, z);
}

bool Delaunay::span_at(int t, double y, double& x0, double& x1) const
{
    const Tri& T = tris_[std::size_t(t)];
    bool any = false;
    for (int k = 0; k < 3; ++k) {
        const Vec2 p = p_[std::size_t(T.v[k])], q = p_[std::size_t(T.v[(k + 1) % 3])];
        if (p.y == y && q.y == y) return false;
        if ((p.y - y) * (q.y - y) > 0 || p.y == q.y) continue;
        const double x = p.x + (y - p.y) * (q.x - p.x) / (q.y - p.y);
        if (!any) {
            x0 = x1 = x;
            any = true;
        } else {
            x0 = std::min(x0, x);
            x1 = std::max(x1, x);
        }
    }
    return any;
}

double Delaunay::linear_inside(Vec2 q, int t, const std::vector<double>& z) const
{
    const Tri& T = tris_[std::size_t(t)];
    // The vertices from the lowest index on.
    int r = 0;
    for (int k = 1; k < 3; ++k)
        if (T.v[k] < T.v[r]) r = k;
    const int ia = T.v[r], ib = T.v[(r + 1) % 3], ic = T.v[(r + 2) % 3];
    const Vec2 A = p_[std::size_t(ia)], B = p_[std::size_t(ib)], C = p_[std::size_t(ic)];
    // The three sub-triangles' areas over their sum: a convex combination
    // even in a sliver, where the areas are mostly rounding (q is inside by
    // the exact test, so a negative area is rounding too).
    const double wa = std::max(area2(q, B, C), 0.0), wb = std::max(area2(A, q, C), 0.0),
                 wc = std::max(area2(A, B, q), 0.0);
    const double whole = wa + wb + wc;
    if (!(whole > 0)) return z[std::size_t(ia)];
    return (wa * z[std::size_t(ia)] + wb * z[std::size_t(ib)] + wc * z[std::size_t(ic)]) / whole;
}

double Delaunay::natural(Vec2 q, int t, const std::vector<double>& z) const
{
    // At a vertex, or on an edge of the hull: as the linear interpolation.
    {
        const Tri& T = tris_[std::size_t(t)];
        int zeros = 0, k0 = -1;
        for (int k = 0; k < 3; ++k)
            if (orient2d(p_[std::size_t(T.v[(k + 1) % 3])], p_[std::size_t(T.v[(k + 2) % 3])], q) == 0) {
                ++zeros;
                k0 = k;
            }
        if (zeros >= 2 || (zeros == 1 && T.n[k0] < 0)) return linear(q, t, z);
    }
    // The triangles whose circumcircle holds q (Bowyer-Watson's cavity).  On
    // an outline's vertices alone the circles are wide and the cavity holds
    // a good part of the triangles: membership is a mark per triangle (this
    // thread's, stamped anew each call), not a search of the list.
    thread_local std::vector<std::uint32_t> mark;
    thread_local std::uint32_t stamp = 0;
    if (mark.size() < tris_.size()) mark.assign(tris_.size(), 0);
    if (++stamp == 0) {
        std::fill(mark.begin(), mark.end(), 0);
        stamp = 1;
    }
    std::vector<int> cavity{t};
    mark[std::size_t(t)] = stamp;
    auto holds = [&](int u) { return mark[std::size_t(u)] == stamp; };
    for (std::size_t c = 0; c < cavity.size(); ++c) {
        const Tri& T = tris_[std::size_t(cavity[c])];
        for (int k = 0; k < 3; ++k) {
            const int u = T.n[k];
            if (u < 0 || holds(u)) continue;
            const Tri& U = tris_[std::size_t(u)];
            if (incircle(p_[std::size_t(U.v[0])], p_[std::size_t(U.v[1])], p_[std::size_t(U.v[2])], q) > 0) {
                cavity.push_back(u);
                mark[std::size_t(u)] = stamp;
            }
        }
    }
    // Its boundary, counter-clockwise round q: edge a -> b of a cavity
    // triangle whose other side is not in the cavity.
    struct Edge {
        int a, b, tri;
    };
    std::vector<Edge> edges;
    for (int c : cavity) {
        const Tri& T = tris_[std::size_t(c)];
        for (int k = 0; k < 3; ++k)
            if (T.n[k] < 0 || !holds(T.n[k])) edges.push_back({T.v[(k + 1) % 3], T.v[(k + 2) % 3], c});
    }
    // Each vertex's first boundary edge out of it, in the order found.
    thread_local std::vector<int> first_out;
    if (first_out.size() < p_.size()) first_out.assign(p_.size(), -1);
    for (std::size_t e = edges.size(); e-- > 0;) first_out[std::size_t(edges[e].a)] = int(e);
    std::vector<Edge> ring{edges[0]};
    while (ring.back().b != ring.front().a && ring.size() < edges.size()) {
        const int e = first_out[std::size_t(ring.back().b)];
        if (e < 0) break;
        ring.push_back(edges[std::size_t(e)]);
    }
    for (const Edge& e : edges) first_out[std::size_t(e.a)] = -1;
    const std::size_t m = ring.size();
    // Everything relative to q.
    auto rel = [&](int v) { return Vec2{p_[std::size_t(v)].x - q.x, p_[std::size_t(v)].y - q.y}; };
    const Vec2 o{0, 0};
    std::vector<Vec2> cnew(m);
    for (std::size_t i = 0; i < m; ++i) cnew[i] = circumcentre(o, rel(ring[i].a), rel(ring[i].b));
    // Neighbour ring[i].b lies between new triangles i and i + 1: its stolen
    // area runs from cnew[i] through the circumcentres of the cavity
    // triangles round it to cnew[i + 1].
    double sum_w = 0, sum_wz = 0;
    for (std::size_t i = 0; i < m; ++i) {
        const std::size_t i1 = (i + 1) % m;
        const int pv = ring[i].b;
        std::vector<Vec2> poly{cnew[i]};
        int cur = ring[i].tri;
        for (;;) {
            const Tri& T = tris_[std::size_t(cur)];
            int ip = 0;
            while (T.v[ip] != pv) ++ip;
            poly.push_back(circumcentre(rel(T.v[0]), rel(T.v[1]), rel(T.v[2])));
            const int across = T.n[(ip + 2) % 3];  // the edge pv -> v[ip + 1]
            if (cur == ring[i1].tri && T.v[(ip + 1) % 3] == ring[i1].b) break;
            if (across < 0 || !holds(across)) break;
            cur = across;
        }
        poly.push_back(cnew[i1]);
        double s = 0;
        for (std::size_t k = 0; k < poly.size(); ++k) {
            const Vec2 a = poly[k], b = poly[(k + 1) % poly.size()];
            s += a.x * b.y - b.x * a.y;
        }
        const double w = std::fabs(s) * 0.5;
        sum_w += w;
        sum_wz += w * z[std::size_t(pv)];
    }
    return sum_wz / sum_w;
}

void Delaunay::build_nearest_index()
{
    const std::size_t n = p_.size();
    if (n == 0) return;
    const auto [x0, x1, y0, y1] = bounds_of(p_);
    const double side = std::max(x1 - x0, y1 - y0);
    const double per = std::ceil(std::sqrt(double(n)));
    bsize_ = side > 0 ? side / per : 1;
    bx0_ = x0;
    by0_ = y0;
    bnx_ = int(std::min((x1 - x0) / bsize_, per)) + 1;
    bny_ = int(std::min((y1 - y0) / bsize_, per)) + 1;
    std::vector<int> cell(n);
    bstart_.assign(std::size_t(bnx_) * std::size_t(bny_) + 1, 0);
    for (std::size_t k = 0; k < n; ++k) {
        const int cx = std::clamp(int((p_[k].x - bx0_) / bsize_), 0, bnx_ - 1);
        const int cy = std::clamp(int((p_[k].y - by0_) / bsize_), 0, bny_ - 1);
        cell[k] = cy * bnx_ + cx;
        ++bstart_[std::size_t(cell[k]) + 1];
    }
    for (std::size_t c = 1; c < bstart_.size(); ++c) bstart_[c] += bstart_[c - 1];
    bpoints_.assign(n, 0);
    std::vector<int> fill(bstart_.begin(), bstart_.end() - 1);
    for (std::size_t k = 0; k < n; ++k) bpoints_[std::size_t(fill[std::size_t(cell[k])]++)] = int(k);
}

int Delaunay::nearest(Vec2 q) const
{
    if (p_.empty()) return -1;
    const int cx = std::clamp(int(std::floor((q.x - bx0_) / bsize_)), 0, bnx_ - 1);
    const int cy = std::clamp(int(std::floor((q.y - by0_) / bsize_)), 0, bny_ - 1);
    int best = -1;
    double best_d2 = 0;
    for (int r = 0;; ++r) {
        const int xa = cx - r, xb = cx + r, ya = cy - r, yb = cy + r;
        for (int by = std::max(ya, 0); by <= std::min(yb, bny_ - 1); ++by)
            for (int bx = std::max(xa, 0); bx <= std::min(xb, bnx_ - 1); ++bx) {
                if (by != ya && by != yb && bx != xa && bx != xb) continue;  // inner rings are done
                const int c = by * bnx_ + bx;
                for (int s = bstart_[std::size_t(c)]; s < bstart_[std::size_t(c) + 1]; ++s) {
                    const int k = bpoints_[std::size_t(s)];
                    const double dx = p_[std::size_t(k)].x - q.x, dy = p_[std::size_t(k)].y - q.y;
                    const double d2 = dx * dx + dy * dy;
                    if (best < 0 || d2 < best_d2 || (d2 == best_d2 && k < best)) {
                        best = k;
                        best_d2 = d2;
                    }
                }
            }
        // Buckets beyond this square lie at least `bound` from q.
        const bool all = xa <= 0 && ya <= 0 && xb >= bnx_ - 1 && yb >= bny_ - 1;
        if (all) return best;
        if (best < 0) continue;
        double bound = INFINITY;
        if (xa > 0) bound = std::min(bound, std::max(0.0, q.x - (bx0_ + xa * bsize_)));
        if (xb < bnx_ - 1) bound = std::min(bound, std::max(0.0, bx0_ + (xb + 1) * bsize_ - q.x));
        if (ya > 0) bound = std::min(bound, std::max(0.0, q.y - (by0_ + ya * bsize_)));
        if (yb < bny_ - 1) bound = std::min(bound, std::max(0.0, by0_ + (yb + 1) * bsize_ - q.y));
        bound -= bsize_ * 1e-9;  // a point that rounding put in the next bucket
        if (bound > 0 && bound * bound > best_d2) return best;
    }
}
