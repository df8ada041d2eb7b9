// The DEM's cells as points of the plane.  Every figure of the edifice's
// shape is measured in local metres, from the grid's lower-left corner
// (X_min, Y_min): the centre of line i, column j lies at ((j + 1/2) d,
// (nb_lig - i - 1/2) d).  Map coordinates are that plus (X_min, Y_min), the
// same sum as X_min + (j + 1/2) d; local ones keep the shoelace sums of a
// UTM grid away from products of millions of metres.
#pragma once

#include <vector>

struct Vec2 {
    double x = 0, y = 0;
};
inline bool operator==(Vec2 a, Vec2 b)
{
    return a.x == b.x && a.y == b.y;
}

struct GridFrame {
    int nl = 0, nc = 0;  // lines, columns
    double d = 0;        // cell size, metres
    double x_min = 0, y_min = 0;

    double x(int j) const { return (j + 0.5) * d; }
    double y(int i) const { return (nl - i - 0.5) * d; }
    Vec2 centre(int i, int j) const { return {x(j), y(i)}; }
    Vec2 to_map(Vec2 p) const { return {x_min + p.x, y_min + p.y}; }
    Vec2 to_local(Vec2 p) const { return {p.x - x_min, p.y - y_min}; }
    double cell_area() const { return d * d; }
};

using Ring = std::vector<Vec2>;

// The smallest and largest x and y of some points (not empty).
struct Bounds {
    double x0, x1, y0, y1;
};
inline Bounds bounds_of(const std::vector<Vec2>& points)
{
    Bounds b{points[0].x, points[0].x, points[0].y, points[0].y};
    for (const Vec2& v : points) {
        b.x0 = v.x < b.x0 ? v.x : b.x0;
        b.x1 = v.x > b.x1 ? v.x : b.x1;
        b.y0 = v.y < b.y0 ? v.y : b.y0;
        b.y1 = v.y > b.y1 ? v.y : b.y1;
    }
    return b;
}
