#include "array_lecture.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <limits>

#include <cpl_conv.h>
#include <ogr_spatialref.h>

#include "dem_crs.hpp"
#include "gdal_messages.hpp"
#include "input.hpp"
#include "parallel.hpp"
#include "workspace.hpp"

namespace {

constexpr double minus_infinity = -std::numeric_limits<double>::infinity();

std::string ten_digits(double v) { return cfmt("%.10g", v); }

// Lines [first, last) of the array into dtab, itab and itab3, each sample as
// gdal_lecture reads a band as doubles; true when a cell without data was met.
template <class T>
bool copy_lines(Workspace& ws, const DemArray& a, int first, int last)
{
    const int nc = ws.nb_col;
    const char* base = static_cast<const char*>(a.data);
    // The nodata value as a sample of the array's own type: -9999.9 marks
    // the float32 -9999.9f.
    double nodata = a.nodata;
    if constexpr (std::is_same_v<T, float>)
        if (std::isfinite(nodata) && std::fabs(nodata) <= std::numeric_limits<float>::max()) nodata = double(float(nodata));
    bool without = false;
    for (int i = first; i < last; ++i) {
        const char* line = base + std::ptrdiff_t(i) * a.line_stride;
        double* d = ws.dtab[i];
        std::int32_t* ip = ws.itab[i];
        std::int32_t* ip3 = ws.itab3[i];
        for (int j = 0; j < nc; ++j) {
            T sample;
            std::memcpy(&sample, line + std::ptrdiff_t(j) * a.column_stride, sizeof sample);  // any alignment
            const double v = double(sample);
            if (std::isnan(v) || (a.nodata_given && v == nodata)) {
                d[j] = minus_infinity;
                ip[j] = ip3[j] = 0;
                without = true;
                continue;
            }
            if (!(v > -2147483649.0 && v < 2147483648.0))
                fail(cfmt("%s: the sample of line %d, column %d (%.10g) is outside the signed 32-bit range",
                          ws.nomim1.c_str(), i, j, v));
            d[j] = v;
            ip[j] = ip3[j] = std::int32_t(v);
        }
    }
    return without;
}

template <class T>
bool copy_all(Workspace& ws, const DemArray& a)
{
    std::atomic<bool> without{false};
    parallel_rows(0, ws.nb_lig, std::size_t(ws.nb_col), [&](int first, int last) {
        if (copy_lines<T>(ws, a, first, last)) without.store(true);
    });
    return without.load();
}

bool copy_samples(Workspace& ws, const DemArray& a)
{
    switch (a.type) {
    case DemArray::f32: return copy_all<float>(ws, a);
    case DemArray::f64: return copy_all<double>(ws, a);
    case DemArray::i8: return copy_all<std::int8_t>(ws, a);
    case DemArray::i16: return copy_all<std::int16_t>(ws, a);
    case DemArray::i32: return copy_all<std::int32_t>(ws, a);
    case DemArray::i64: return copy_all<std::int64_t>(ws, a);
    case DemArray::u8: return copy_all<std::uint8_t>(ws, a);
    case DemArray::u16: return copy_all<std::uint16_t>(ws, a);
    case DemArray::u32: return copy_all<std::uint32_t>(ws, a);
    case DemArray::u64: return copy_all<std::uint64_t>(ws, a);
    }
    fail(cfmt("%s: unknown sample type", ws.nomim1.c_str()));
}

// The coordinate system given with the array: it must be projected in metres
// (an array in degrees is reprojected before it is handed over).
void read_crs(Workspace& ws, const std::string& text)
{
    gdal_ready();
    GdalMessages messages;
    OGRSpatialReference srs;
    if (srs.SetFromUserInput(text.c_str()) != OGRERR_NONE)
        fail(cfmt("crs: \"%s\" is no coordinate system GDAL knows (%s)", visible_excerpt(text).c_str(),
                  messages.failure("not WKT nor EPSG:n").c_str()));
    srs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    if (srs.IsGeographic())
        fail(cfmt("crs: %s is in degrees : the cells must be in metres; reproject the array to a projected system "
                  "in metres first (rasterio.warp.reproject, gdalwarp)",
                  srs.GetName() ? srs.GetName() : "the coordinate system"));
    if (srs.IsProjected()) {
        const char* u = nullptr;
        const double metres = srs.GetLinearUnits(&u);
        if (metres != 1.0)
            fail(cfmt("crs: %s has its coordinates in %s (%.10g m) : the cells must be in metres; reproject the "
                      "array first",
                      srs.GetName() ? srs.GetName() : "the coordinate system", u ? u : "an unknown unit", metres));
    }
    keep_dem_crs(ws, srs);
}

}  // namespace

std::string array_lecture(Workspace& ws, const DemArray& a)
{
    const std::string& name = ws.nomim1;
    std::string notes;
    if (a.lines < 1 || a.columns < 1)
        fail(cfmt("%s holds no cell (%lld lines x %lld columns)", name.c_str(), a.lines, a.columns));
    if (a.lines > max_dem_side || a.columns > max_dem_side)
        fail(cfmt("%s has %lld lines of %lld columns; at most %d of each can be read", name.c_str(), a.lines,
                  a.columns, max_dem_side));
    ws.nb_lig = int(a.lines);
    ws.nb_col = int(a.columns);

    // Where it lies, checked as a raster's geotransform is.
    std::array<double, 6> gt = a.transform;
    if (a.has_transform) {
        for (double v : gt)
            if (!std::isfinite(v)) fail("transform: its six terms must be finite numbers");
        if (gt[2] != 0 || gt[4] != 0)
            fail(cfmt("transform: rotation terms %s and %s : the program reads north-up grids", ten_digits(gt[2]).c_str(),
                      ten_digits(gt[4]).c_str()));
        if (gt[1] <= 0 || gt[5] >= 0)
            fail(cfmt("transform: column step %s, line step %s : the program reads north-up grids (line 0 at the "
                      "north, a positive column step and a negative line step)",
                      ten_digits(gt[1]).c_str(), ten_digits(gt[5]).c_str()));
        const double dx = gt[1], dy = -gt[5];
        if (std::fabs(dx - dy) > 1e-6 * std::max(dx, dy))
            fail(cfmt("transform: cells of %s by %s : they must be square (equal to one millionth)",
                      ten_digits(dx).c_str(), ten_digits(dy).c_str()));
        if (a.pixel_size > 0 && std::fabs(a.pixel_size - gt[1]) > 1e-6 * gt[1])
            fail(cfmt("pixel_size: %s differs from the transform's pixel size %s", ten_digits(a.pixel_size).c_str(),
                      ten_digits(gt[1]).c_str()));
    } else {
        if (!(a.pixel_size > 0 && a.pixel_size < 2147483648.0))
            fail(cfmt("%s: give its pixel size in metres (pixel_size) or a geotransform (transform)", name.c_str()));
        gt = {0, a.pixel_size, 0, ws.nb_lig * a.pixel_size, 0, -a.pixel_size};
    }
    ws.dpix_size = ws.dsizepix = gt[1];
    if (!(ws.dpix_size < 2147483648.0)) fail(cfmt("%s: cellsize %f is out of range", name.c_str(), ws.dpix_size));
    ws.X_min = gt[0];
    ws.Y_min = gt[3] + ws.nb_lig * gt[5];
    ws.Coord_UTM_dem1_OK = a.has_transform;
    ws.georef = Georef();
    ws.georef.known = a.has_transform;
    ws.georef.gt = gt;
    ws.dem_prj.clear();
    if (!a.crs.empty()) {
        if (!a.has_transform) fail("crs: a coordinate system needs the array's place: give its transform");
        read_crs(ws, a.crs);
    } else if (a.has_transform) {
        notes += cfmt("\n\t%s states no coordinate system: its units are taken as metres ", name.c_str());
    }
    ws.band_nodata_declared = a.nodata_given;
    ws.band_nodata = a.nodata_given ? a.nodata : 0;

    allocate_grid(ws.itab, "itab (elevations)", ws.nb_col, ws.nb_lig);
    allocate_grid(ws.itab3, "itab3 (elevations)", ws.nb_col, ws.nb_lig);
    allocate_grid(ws.dtab, "dtab (exact elevations)", ws.nb_col, ws.nb_lig);
    const bool without = copy_samples(ws, a);
    ws.nodata_declared = a.nodata_given || without;
    ws.nodata_value = minus_infinity;
    ws.pix_size = int(ws.dpix_size);
    return notes;
}
