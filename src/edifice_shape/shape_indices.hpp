// Plan-shape figures of a contour piece: its area and perimeter, best-fit
// ellipse, and the ellipticity (EI) and irregularity (II) indices of Grosse
// et al. 2012 in both forms.
#pragma once

#include <optional>

#include "ellipse_fit.hpp"
#include "grid_frame.hpp"

struct ShapeIndices {
    double area = 0, perimeter = 0;
    std::optional<Ellipse> ellipse;
    double dmax = 0;                               // largest vertex distance
    std::optional<double> ei_bfe, ii_bfe;          // length L = the ellipse's a
    std::optional<double> ei_maxdiam, ii_maxdiam;  // L = dmax / 2
    std::optional<double> axis_ellipticity;        // b / a
};

// EI = pi L^2 / A; II = DI - (DI_e - 1), DI = P / (2 sqrt(pi A)), DI_e the
// same for the ellipse of semi-axes L and A / (pi L) (Ramanujan's
// perimeter).  Empty when A = 0.
void indices_of_length(double length, double area, double perimeter, std::optional<double>& ei,
                       std::optional<double>& ii);

// Every figure of the piece's vertices (closing edge included).
ShapeIndices shape_indices(const Ring& v);
