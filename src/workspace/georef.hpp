// Where a DEM lies on the ground: the geotransform and the coordinate system
// of a raster read through GDAL.  Plain data: the functions that use it are in
// src/input/coordinates.hpp.
#pragma once

#include <array>
#include <string>

struct Georef {
    // The raster states its geotransform.  When it does not, `gt` places the
    // grid with its lower-left corner at 0, 0 and the pixel size given.
    bool known = false;
    // GDAL's order: X of the upper-left corner, column step, line rotation,
    // Y of the upper-left corner, column rotation, line step (negative).
    std::array<double, 6> gt{0, 1, 0, 0, 0, -1};
    std::string wkt;  // its coordinate system (WKT2), empty when it states none
    int epsg = 0;     // that system's EPSG code, 0 when it has none
};
