// The minimum eroded volume: the volume between the edifice and the
// envelope stretched over the convex hulls of its cross-sections.
#pragma once

#include <optional>
#include <vector>

#include "grid_frame.hpp"
#include "morphometry_options.hpp"
#include "nrutil.hpp"


// One cross-section: the hull of the chosen region of the cells at or above
// `level`.
struct HullRing {
    double level = 0;
    std::vector<Vec2> hull;  // local metres, counter-clockwise; empty when skipped
    std::size_t region_cells = 0;
};

// Levels z_bmin + k ci, k >= 0, up to z_top.  At each, of the 8-connected
// regions of edifice cells with z >= level, the one with the most boundary
// cells (a 4-neighbour outside the set or the grid; the first in scan order
// on ties), and the convex hull of its cell centres (collinear points
// dropped; under 3 vertices the level is skipped).  The levels are shared
// out between the threads.
std::vector<HullRing> cross_section_hulls(const GridFrame& g, const nrutil::DGrid& z, const nrutil::UcGrid& edifice,
                                          int i0, int i1, int j0, int j1, double z_bmin, double ci, double z_top);

// Hull: every hull edge p -> q of length l gives n = max(1, floor(l / 20 m))
// points p + (i / n)(q - p), i < n, at the level's height; S is the linear
// interpolation on their Delaunay triangulation (coinciding points keep the
// lowest level), the nearest point outside it; the volume is the sum over
// edifice cells with z >= z_bmin of max(S - z, 0) d^2.  Layers: the sum of
// (hull area - region cells x d^2) x ci.  Cubic metres; NaN when the hull
// would take more than max_hull_points points.
constexpr double max_hull_points = 1e6;
double eroded_volume_m3(const GridFrame& g, const nrutil::DGrid& z, const nrutil::UcGrid& edifice, int i0, int i1,
                        int j0, int j1, double z_bmin, double ci, const std::vector<HullRing>& rings,
                        ErodedMethod method);
