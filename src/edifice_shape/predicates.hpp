// Exact signs of the orientation and in-circle determinants (Shewchuk's
// filters, then exact expansion arithmetic when the filter cannot decide): a
// triangulation built on them is the same on every machine, and never
// folds on nearly collinear or cocircular points.
#pragma once

#include "grid_frame.hpp"

#include <cmath>

// The exact signs when the filters cannot decide.
int orient2d_exact(Vec2 a, Vec2 b, Vec2 c);

// > 0 when a, b, c turn counter-clockwise, < 0 clockwise, 0 collinear.  The
// filter (Shewchuk's first error bound) is inline: it decides nearly always.
inline int orient2d(Vec2 a, Vec2 b, Vec2 c)
{
    constexpr double eps = 1.1102230246251565e-16;  // 2^-53
    constexpr double bound_factor = (3.0 + 16.0 * eps) * eps;
    const double left = (a.x - c.x) * (b.y - c.y);
    const double right = (a.y - c.y) * (b.x - c.x);
    const double det = left - right;
    const double bound = bound_factor * (std::fabs(left) + std::fabs(right));
    if (det > bound) return 1;
    if (-det > bound) return -1;
    return orient2d_exact(a, b, c);
}
// > 0 when d lies inside the circle through a, b, c (counter-clockwise),
// < 0 outside, 0 on it.
int incircle(Vec2 a, Vec2 b, Vec2 c, Vec2 d);
