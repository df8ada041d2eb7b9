// Any raster that GDAL reads (GeoTIFF, VRT, ENVI, ...), band 1, into the
// workspace as ascii_lecture leaves an ESRI grid.
#pragma once

#include <string>

struct Workspace;

struct GdalInput {
    // --pixel-size: the pixel size in metres of a raster without a
    // geotransform; 0 when not given.
    double pixel_size = 0;
    // --reproject: a raster in degrees, or projected in another unit than the
    // metre, is reprojected in memory to the UTM zone of its centre, on the
    // grid that scripts/prepare-dem.sh would give it.
    bool reproject = false;
};

// Reads band 1 of ws.nomim1: nb_lig, nb_col, X_min, Y_min (the lower-left
// corner), dpix_size, dsizepix, pix_size, dtab (the heights in metres, exact:
// band scale and offset applied, feet converted), itab and itab3 (truncated
// toward zero), georef, dem_prj (its coordinate system as ESRI WKT),
// Coord_UTM_dem1_OK (it has a geotransform), band_nodata_declared and
// band_nodata.  The cells without data (the band's nodata value, and NaN
// whether declared or not) hold -infinity in dtab, 0 in itab and itab3, and
// nodata_declared and nodata_value (-infinity) make mark_cells_without_data
// mark them.  Every file of the raster is recorded with ws.read_from.
// Returns what the caller prints, each line starting with "\n\t": what was
// done to the raster (band 1 of several, heights unscaled or converted from
// feet, reprojected); empty when nothing.  Errors end the run through fail().
std::string gdal_lecture(Workspace& ws, const GdalInput& opt);

// The UTM zone of a longitude (1 to 60) as scripts/prepare-dem.sh works it
// out, and a cell size rounded to two significant figures as it does.
int utm_zone_of(double lon);
double round_to_two_figures(double size);
