#include "shape_indices.hpp"

#include <cmath>
#include <numbers>

#include "plan_geometry.hpp"

void indices_of_length(double L, double A, double P, std::optional<double>& ei, std::optional<double>& ii)
{
    ei.reset();
    ii.reset();
    if (!(A > 0)) return;
    const double pi = std::numbers::pi;
    ei = pi * L * L / A;
    const double di = P / (2 * std::sqrt(pi * A));
    const double be = A / (pi * L);
    const double pe = pi * (3 * (L + be) - std::sqrt((3 * L + be) * (L + 3 * be)));
    const double die = pe / (2 * std::sqrt(pi * A));
    ii = di - (die - 1);
}

ShapeIndices shape_indices(const Ring& v)
{
    ShapeIndices s;
    s.area = polygon_area(v);
    s.perimeter = perimeter(v);
    s.dmax = largest_distance(v);
    s.ellipse = fit_ellipse(v);
    if (s.ellipse) {
        indices_of_length(s.ellipse->a, s.area, s.perimeter, s.ei_bfe, s.ii_bfe);
        s.axis_ellipticity = s.ellipse->b / s.ellipse->a;
    }
    indices_of_length(s.dmax / 2, s.area, s.perimeter, s.ei_maxdiam, s.ii_maxdiam);
    return s;
}
