// The surface on which the edifice stands, and the heights and volumes
// above it.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "delaunay.hpp"
#include "grid_frame.hpp"
#include "morphometry_options.hpp"
#include "nrutil.hpp"


// The elevation at p, bilinear between the four surrounding cell centres
// of the DEM (linear beyond the outermost centres); empty when one of them
// has no data.
std::optional<double> bilinear(const GridFrame& g, const nrutil::DGrid& z, const nrutil::UcGrid& nodata, Vec2 p);

struct BasalVertex {
    Vec2 p;
    double z;
};

// The outline's vertices (ring in map coordinates, as stored) in local
// metres with their bilinear elevations, those touching a cell without data
// left out; the lowest is the outline's base.
std::vector<BasalVertex> outline_vertices(const GridFrame& g, const nrutil::DGrid& z, const nrutil::UcGrid& nodata,
                                          const Ring& outline);

// The basal surface interpolated from the outline's vertices (those that
// touch no cell without data, in the order stored, the repeated closing
// vertex included).
class BasalSurface {
public:
    // IDW: sum w_k z_k / sum w_k, w_k = d_k^-p over every vertex (d_k = 0
    // gives z_k).  TIN: linear on the Delaunay triangulation of the distinct
    // vertices, the nearest vertex outside it.  Natural: Sibson's natural
    // neighbours on the same triangulation, the nearest vertex outside.
    // Plane: least squares through every vertex.  Lowest: the lowest vertex.
    BasalSurface(std::vector<BasalVertex> v, BasalMethod method, double idw_power);
    // `hint` carries the last triangle from one cell to the next.
    double at(Vec2 q, int& hint) const;

private:
    std::vector<BasalVertex> v_;
    BasalMethod method_;
    double power_;
    double lowest_ = 0;
    std::unique_ptr<Delaunay> tri_;
    std::vector<double> tz_;
    double mx_ = 0, my_ = 0, mz_ = 0, cx_ = 0, cy_ = 0;  // the plane
};
