// Plane figures of point lists: areas, perimeters, hulls, inside tests.
#pragma once

#include <cstdint>
#include <vector>

#include "grid_frame.hpp"

// Shoelace sum over the vertices, closing edge included (a chain is closed
// by its chord): twice the signed area, summed in vertex order.
double shoelace2(const Ring& v);
inline double polygon_area(const Ring& v)
{
    const double s = shoelace2(v);
    return (s < 0 ? -s : s) * 0.5;
}
// Sum of the edge lengths, closing edge included.
double perimeter(const Ring& v);
// Equal-area diameter W(A) = 2 sqrt(A / pi).
double equal_area_width(double area);
double distance(Vec2 a, Vec2 b);

// Even-odd crossing test (a horizontal ray toward +x).
bool inside_ring(const Ring& ring, Vec2 p);

// The columns of line i whose centre lies inside `ring` by the same test (the
// same crossings, computed once for the line): runs [first, last] in order.
struct ColumnRun {
    int first, last;
};
std::vector<ColumnRun> inside_runs(const GridFrame& g, const Ring& ring, int i);

// Convex hull, counter-clockwise from the lowest x (then lowest y), collinear
// points dropped (Andrew's monotone chain).
std::vector<Vec2> convex_hull(std::vector<Vec2> p);
// The same on whole-number points (cell indices): exact.
struct IPoint {
    std::int64_t x, y;
};
std::vector<IPoint> convex_hull(std::vector<IPoint> p);

// Largest distance between two points (over their convex hull).
double largest_distance(const std::vector<Vec2>& p);
