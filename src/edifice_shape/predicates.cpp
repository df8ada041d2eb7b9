#include "predicates.hpp"

#include <cmath>
#include <vector>

namespace {

// Error-free transformations (no fused multiply-add: the build forbids
// contraction, and Dekker's split gives the exact product without it).
constexpr double eps = 1.1102230246251565e-16;  // 2^-53
constexpr double splitter = 134217729.0;        // 2^27 + 1
constexpr double icc_bound = (10.0 + 96.0 * eps) * eps;

using Expansion = std::vector<double>;  // nonoverlapping, increasing magnitude

void two_sum(double a, double b, double& x, double& y)
{
    x = a + b;
    const double bv = x - a;
    const double av = x - bv;
    y = (a - av) + (b - bv);
}

void split(double a, double& hi, double& lo)
{
    const double c = splitter * a;
    const double big = c - a;
    hi = c - big;
    lo = a - hi;
}

void two_product(double a, double b, double& x, double& y)
{
    x = a * b;
    double ah, al, bh, bl;
    split(a, ah, al);
    split(b, bh, bl);
    const double err1 = x - ah * bh;
    const double err2 = err1 - al * bh;
    const double err3 = err2 - ah * bl;
    y = al * bl - err3;
}

Expansion diff(double a, double b)
{
    double x, y;
    two_sum(a, -b, x, y);
    Expansion e;
    if (y != 0) e.push_back(y);
    if (x != 0) e.push_back(x);
    return e;
}

// Sum of two expansions (Shewchuk's expansion-sum with zero elimination,
// one component at a time: simple, and only run when the filter fails).
Expansion add(const Expansion& e, const Expansion& f)
{
    Expansion h = e;
    for (double b : f) {
        Expansion g;
        double q = b;
        for (double a : h) {
            double x, y;
            two_sum(q, a, x, y);
            if (y != 0) g.push_back(y);
            q = x;
        }
        if (q != 0) g.push_back(q);
        h.swap(g);
    }
    return h;
}

Expansion scale(const Expansion& e, double b)
{
    Expansion h;
    double q = 0;
    bool first = true;
    for (double a : e) {
        double p1, p0;
        two_product(a, b, p1, p0);
        if (first) {
            q = p1;
            if (p0 != 0) h.push_back(p0);
            first = false;
            continue;
        }
        double s, t;
        two_sum(q, p0, s, t);
        if (t != 0) h.push_back(t);
        two_sum(p1, s, q, t);
        if (t != 0) h.push_back(t);
    }
    if (!first && q != 0) h.push_back(q);
    return h;
}

Expansion mul(const Expansion& e, const Expansion& f)
{
    Expansion r;
    for (double b : f) r = add(r, scale(e, b));
    return r;
}

Expansion neg(Expansion e)
{
    for (double& a : e) a = -a;
    return e;
}

int sign(const Expansion& e)
{
    for (auto it = e.rbegin(); it != e.rend(); ++it)
        if (*it != 0) return *it > 0 ? 1 : -1;
    return 0;
}

}  // namespace

int orient2d_exact(Vec2 a, Vec2 b, Vec2 c)
{
    const Expansion acx = diff(a.x, c.x), bcy = diff(b.y, c.y), acy = diff(a.y, c.y), bcx = diff(b.x, c.x);
    return sign(add(mul(acx, bcy), neg(mul(acy, bcx))));
}

namespace {

int incircle_exact(Vec2 a, Vec2 b, Vec2 c, Vec2 d)
{
    const Expansion adx = diff(a.x, d.x), ady = diff(a.y, d.y);
    const Expansion bdx = diff(b.x, d.x), bdy = diff(b.y, d.y);
    const Expansion cdx = diff(c.x, d.x), cdy = diff(c.y, d.y);
    const Expansion alift = add(mul(adx, adx), mul(ady, ady));
    const Expansion blift = add(mul(bdx, bdx), mul(bdy, bdy));
    const Expansion clift = add(mul(cdx, cdx), mul(cdy, cdy));
    const Expansion bc = add(mul(bdx, cdy), neg(mul(bdy, cdx)));
    const Expansion ca = add(mul(cdx, ady), neg(mul(cdy, adx)));
    const Expansion ab = add(mul(adx, bdy), neg(mul(ady, bdx)));
    return sign(add(add(mul(alift, bc), mul(blift, ca)), mul(clift, ab)));
}

}  // namespace

int incircle(Vec2 a, Vec2 b, Vec2 c, Vec2 d)
{
    const double adx = a.x - d.x, bdx = b.x - d.x, cdx = c.x - d.x;
    const double ady = a.y - d.y, bdy = b.y - d.y, cdy = c.y - d.y;
    const double bdxcdy = bdx * cdy, cdxbdy = cdx * bdy;
    const double alift = adx * adx + ady * ady;
    const double cdxady = cdx * ady, adxcdy = adx * cdy;
    const double blift = bdx * bdx + bdy * bdy;
    const double adxbdy = adx * bdy, bdxady = bdx * ady;
    const double clift = cdx * cdx + cdy * cdy;
    const double det = alift * (bdxcdy - cdxbdy) + blift * (cdxady - adxcdy) + clift * (adxbdy - bdxady);
    const double permanent = (std::fabs(bdxcdy) + std::fabs(cdxbdy)) * alift +
                             (std::fabs(cdxady) + std::fabs(adxcdy)) * blift +
                             (std::fabs(adxbdy) + std::fabs(bdxady)) * clift;
    const double bound = icc_bound * permanent;
    if (det > bound) return 1;
    if (-det > bound) return -1;
    return incircle_exact(a, b, c, d);
}
