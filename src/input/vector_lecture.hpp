// Polygons given in vector files (the edifice's outline, a crater): read with
// OGR from a GeoPackage, a shapefile, GeoJSON or any vector format GDAL
// reads, and brought into the DEM's coordinate system.
#pragma once

#include <string>

#include "grid_frame.hpp"

struct Workspace;

// The polygon of `file`: the first feature with a geometry that is not
// empty, which must be a polygon (of a multipolygon, the part of the largest
// outer ring), holes left out (both warned of); in the DEM's map
// coordinates, the closing vertex repeated.  Errors name `option` and the
// file: unreadable, no feature, not a polygon, invalid (GEOS's reason; `fix`
// makes it valid instead, keeping the largest part).  A file without a coordinate system is taken in the DEM's,
// with a warning.
Ring read_polygon_file(Workspace& ws, const std::string& option, const std::string& file, bool fix);

// Whether the polygon of ring `inner` lies within that of `outer` (GEOS: no
// point of it outside, its edges crossing none of the other's).
bool ring_within(const Ring& inner, const Ring& outer);

// A warning found before the report is open: on the console, in the run's
// warnings and in the report's header.
void header_warning(Workspace& ws, const char* code, const std::string& text);
