#include "geotiff_output.hpp"

#include <algorithm>
#include <cstdint>
#include <vector>

#include <cpl_conv.h>
#include <cpl_string.h>
#include <ogr_spatialref.h>

#include "coordinates.hpp"
#include "gdal_messages.hpp"
#include "nodata.hpp"
#include "parallel.hpp"
#include "workspace.hpp"

namespace {

constexpr int tile = 256;

template <class T>
void write_geotiff(const Workspace& ws, const std::string& name, const nrutil::Grid<T>& g, GDALDataType type,
                   T nodata, double scale, const char* unit, const std::string& description, bool last)
{
    if (ws.results_in_memory) return;  // its values are read from the grid
    gdal_ready();
    GdalMessages messages;
    // The scale, unit and nodata value go into the file's own tags: with the
    // PAM off, GDAL writes no .aux.xml beside it.
    ThreadSetting pam("GDAL_PAM_ENABLED", "NO");
    const std::string path = ws.written_path(name);
    auto failed = [&](const char* otherwise) {
        fail(cfmt("cannot write %s (%s)", name.c_str(), messages.failure(otherwise).c_str()));
    };
    GDALDriverH driver = GDALGetDriverByName("GTiff");
    if (!driver) failed("GDAL has no GeoTIFF driver");
    // The compression shares out its tiles between the threads; GDAL writes
    // them in order, so the bytes do not depend on the number of threads.
    // The output DEMs are written beside the pictures, which keep a core
    // busy: the compression takes the others (on two cores, compressing on
    // the writing thread itself is the quickest).  The last one is mostly
    // written once the pictures are done, and takes every core.
    // BIGTIFF=IF_SAFER: the choice of format depends on the grid's size alone.
    const int cores = last ? thread_count() : std::max(1, thread_count() - 1);
    const std::string threads = "NUM_THREADS=" + std::to_string(cores);
    const char* const options[] = {"COMPRESS=DEFLATE", "PREDICTOR=2",      "ZLEVEL=1",      "TILED=YES",
                                   "BLOCKXSIZE=256",   "BLOCKYSIZE=256",   "BIGTIFF=IF_SAFER", threads.c_str(),
                                   nullptr};
    const int nl = g.lines(), nc = g.columns();
    GdalDataset ds(GDALCreate(driver, path.c_str(), nc, nl, 1, type, const_cast<char**>(options)));
    if (!ds) failed("GDAL cannot create it");
    GDALDatasetH h = static_cast<GDALDatasetH>(ds.get());

    const Georef georef = dem_georef(ws);
    double gt[6];
    std::copy(georef.gt.begin(), georef.gt.end(), gt);
    GDALSetGeoTransform(h, gt);
    if (!georef.wkt.empty()) {
        OGRSpatialReference srs;
        if (srs.importFromWkt(georef.wkt.c_str()) == OGRERR_NONE)
            GDALSetSpatialRef(h, OGRSpatialReference::ToHandle(&srs));
    }
    GDALRasterBandH band = GDALGetRasterBand(h, 1);
    GDALSetRasterNoDataValue(band, double(nodata));
    if (unit) {
        GDALSetRasterScale(band, scale);
        GDALSetRasterOffset(band, 0.0);
        GDALSetRasterUnitType(band, unit);
    }
    GDALSetDescription(band, description.c_str());
    if (messages.failed()) failed("");

    // A row of tiles at a time, cells without data replaced by the nodata
    // value; GDAL compresses and writes the row before the next one is made.
    std::vector<T> rows(std::size_t(tile) * std::size_t(nc));
    for (int i0 = 0; i0 < nl; i0 += tile) {
        const int n = std::min(tile, nl - i0);
        parallel_rows(i0, i0 + n, std::size_t(nc), [&](int first, int last) {
            for (int i = first; i < last; ++i) {
                T* out = rows.data() + std::size_t(i - i0) * std::size_t(nc);
                const T* in = g[i];
                for (int j = 0; j < nc; ++j) out[j] = without_data(ws, i, j) ? nodata : in[j];
            }
        });
        if (GDALRasterIO(band, GF_Write, 0, i0, nc, n, rows.data(), nc, n, type, 0, 0) != CE_None)
            failed("write error");
        GDALFlushCache(h);
        if (messages.failed()) failed("write error");
    }
    ds.reset();
    if (messages.failed()) failed("write error");
}

}  // namespace

void write_geotiff_int32(const Workspace& ws, const std::string& name, const nrutil::IGrid& g, double scale,
                         const std::string& description)
{
    write_geotiff<std::int32_t>(ws, name, g, GDT_Int32, raw32_nodata, scale, "metre", description, false);
}

void write_geotiff_bytes(const Workspace& ws, const std::string& name, const nrutil::UcGrid& g,
                         const std::string& description, bool last)
{
    write_geotiff<std::uint8_t>(ws, name, g, GDT_Byte, shaded_nodata, 1.0, nullptr, description, last);
}
