// Cells, map coordinates and longitude/latitude: a point given in any of
// them, and the grid's extent in each.
#pragma once

#include <optional>

#include "georef.hpp"

struct Workspace;

struct GridCell {
    long long line, column;  // may lie outside the grid
};
struct MapPoint {
    double x, y;  // easting first, in the raster's coordinate system
};
struct LonLat {
    double lon, lat;  // WGS 84, degrees, east and north positive
};
struct Extent {
    double x_min, y_min, x_max, y_max;
};

// The cell that holds a map point (north-up grids):
// column = floor((X - gt0) / gt1), line = floor((Y - gt3) / gt5); a point on a
// cell's west or north edge belongs to it.  None when the point is not a
// finite number or lies absurdly far (beyond 2^53 cells).
std::optional<GridCell> cell_of_map(const Georef& g, MapPoint p);
bool in_grid(GridCell c, int lines, int columns);
// The middle of a cell in map coordinates.
MapPoint centre_of_cell(const Georef& g, long long line, long long column);
// The outer corners of the grid's lines by columns cells, in map coordinates.
Extent map_extent(const Georef& g, int lines, int columns);

// WGS 84 to the raster's coordinate system and back, through GDAL's
// spatial-reference code with the traditional GIS axis order (longitude and
// easting first) on both sides, whatever order the systems' authority gives.
// None when the raster states no coordinate system or the point cannot be
// transformed.
std::optional<MapPoint> map_of_lonlat(const Georef& g, LonLat p);
std::optional<LonLat> lonlat_of_map(const Georef& g, MapPoint p);
// The longitudes and latitudes that the grid's four corners span.
std::optional<Extent> lonlat_extent(const Georef& g, int lines, int columns);

// Where the workspace's DEM lies: ws.georef for a raster read through GDAL;
// for an ESRI grid, its header's corner and cell size and its .prj; for a raw
// grid, the lower-left corner at 0, 0 (not known).
Georef dem_georef(const Workspace& ws);
