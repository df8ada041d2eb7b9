// The best-fit ellipse of a point list: direct least squares (Fitzgibbon,
// Pilu & Fisher 1999, 4AC - B^2 = 1), solved as Halir & Flusser 1998 do.
#pragma once

#include <optional>

#include "grid_frame.hpp"

struct Ellipse {
    double a = 0, b = 0;  // semi-axes, a >= b, metres
    double azimuth = 0;   // of the major axis, degrees clockwise from north, [0, 180)
    Vec2 centre;
};

// Fitted on the points minus their mean, divided by the larger standard
// deviation of their coordinates.  No ellipse under 6 points, or when no
// eigenvector of the reduced problem is an ellipse.
std::optional<Ellipse> fit_ellipse(const Ring& points);
