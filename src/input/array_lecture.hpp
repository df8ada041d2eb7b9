// A DEM handed over in memory (the Python module's numpy arrays): its samples
// copied once into the workspace's grids, as gdal_lecture leaves a raster.
#pragma once

#include <array>
#include <cstddef>
#include <string>

struct Workspace;

struct DemArray {
    // The sample type, as numpy names them.
    enum Type { f32, f64, i8, i16, i32, i64, u8, u16, u32, u64 };
    Type type = f64;
    const void* data = nullptr;  // the sample of line 0, column 0
    long long lines = 0, columns = 0;
    // Bytes from a sample to the next one of its column and of its line (any
    // sign: C or Fortran order, views, reversed views).
    std::ptrdiff_t line_stride = 0, column_stride = 0;
    // A sample equal to it is a cell without data (NaN always is).
    bool nodata_given = false;
    double nodata = 0;
    // Where it lies: a GDAL geotransform, or only the pixel size in metres
    // (the grid's lower-left corner at 0, 0); both may be given when they agree.
    bool has_transform = false;
    std::array<double, 6> transform{0, 1, 0, 0, 0, -1};
    double pixel_size = 0;
    // Its coordinate system: WKT, "EPSG:n", or anything GDAL's
    // SetFromUserInput reads; empty for none.
    std::string crs;
};

// Reads `a` into ws (named ws.nomim1 in messages): nb_lig, nb_col, X_min,
// Y_min, the pixel size, dtab exact, itab and itab3 truncated toward zero,
// the cells without data at -infinity in dtab and 0 in itab and itab3
// (nodata_declared, nodata_value), georef and dem_prj.  Errors end the run
// through fail(), naming the argument at fault.
std::string array_lecture(Workspace& ws, const DemArray& a);
