// Exact signs of the orientation and in-circle determinants (Shewchuk's
// filters, then exact expansion arithmetic when the filter cannot decide): a
// triangulation built on them is the same on every machine, and never
// folds on nearly collinear or cocircular points.
#pragma once

#include "grid_frame.hpp"

// > 0 when a, b, c turn counter-clockwise, < 0 clockwise, 0 collinear.
int orient2d(Vec2 a, Vec2 b, Vec2 c);
// > 0 when d lies inside the circle through a, b, c (counter-clockwise),
// < 0 outside, 0 on it.
int incircle(Vec2 a, Vec2 b, Vec2 c, Vec2 d);
