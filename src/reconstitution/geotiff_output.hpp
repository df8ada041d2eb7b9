// The output DEMs as GeoTIFF, on the input's grid and coordinate system:
// tiled 256 x 256, DEFLATE with predictor 2 at a fixed level, and nothing in
// the file that depends on the time or the machine (no time stamp, no .aux.xml
// beside it), so that a run repeated on the same machine writes the same
// bytes.
#pragma once

#include <string>

#include "nrutil.hpp"

struct Workspace;

// Writes `g`, whose values are in the output unit, as Int32 samples to
// ws.written_path(name) (see Workspace::create_for_gdal); errors name `name`.
// The band's scale is `scale` (1 / coeff_rc) and its unit "metre", so that
// GDAL and QGIS read metres; cells without data hold -2147483648, its nodata
// value.  `description` names the band.
void write_geotiff_int32(const Workspace& ws, const std::string& name, const nrutil::IGrid& g, double scale,
                         const std::string& description);
// The same for a grey image: Byte samples, nodata 255, no scale or unit.
// `last`: the last output DEM of the run, whose compression takes every core.
void write_geotiff_bytes(const Workspace& ws, const std::string& name, const nrutil::UcGrid& g,
                         const std::string& description, bool last = false);
