#include "gdal_lecture.hpp"

#include <algorithm>
#include <cmath>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include <sys/stat.h>

#include <cpl_conv.h>
#include <cpl_string.h>
#include <gdal_utils.h>
#include <ogr_spatialref.h>

#include "coordinates.hpp"
#include "dem_crs.hpp"
#include "gdal_messages.hpp"
#include "input.hpp"
#include "parallel.hpp"
#include "workspace.hpp"

namespace {

constexpr double minus_infinity = -std::numeric_limits<double>::infinity();

// The raster as it is read: the file, band 1 of it alone (as the script
// takes it), and the reprojection of that band when there is one.  Closed in
// reverse order, each after what it feeds.
struct Opened {
    GdalDataset file, band1, warped;
    GDALRasterBandH band() const
    {
        return GDALGetRasterBand(static_cast<GDALDatasetH>(warped ? warped.get() : file.get()), 1);
    }
    // Drops the blocks that GDAL keeps of everything read so far: memory
    // stays at the workspace's grids and a block or two of each.
    void forget_blocks() const
    {
        for (const GdalDataset* d : {&warped, &band1, &file})
            if (*d) GDALFlushRasterCache(GDALGetRasterBand(static_cast<GDALDatasetH>(d->get()), 1));
    }
};

// argv for GDAL's command-line utilities (kept alive by `args`).
std::vector<char*> argv_of(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    return argv;
}

GdalDataset open_file(const std::string& name, GdalMessages& messages)
{
    GdalDataset ds(GDALOpenEx(name.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY | GDAL_OF_VERBOSE_ERROR, nullptr,
                              nullptr, nullptr));
    if (!ds) fail(cfmt("cannot read %s: %s", name.c_str(), messages.failure("GDAL cannot open it").c_str()));
    return ds;
}

// gdal_translate -of VRT -b 1: band 1 alone, kept in memory.
GdalDataset band_one(const std::string& name, GDALDatasetH file, GdalMessages& messages)
{
    const std::vector<std::string> args = {"-of", "VRT", "-b", "1"};
    std::vector<char*> argv = argv_of(args);
    GDALTranslateOptions* o = GDALTranslateOptionsNew(argv.data(), nullptr);
    GdalDataset ds(GDALTranslate("", file, o, nullptr));
    GDALTranslateOptionsFree(o);
    if (!ds) fail(cfmt("cannot read band 1 of %s: %s", name.c_str(), messages.failure("GDAL failed").c_str()));
    return ds;
}

// gdalwarp -of VRT with these arguments: the warp is done block by block as
// the result is read, each block on its own, so that the values do not
// depend on how the reading is shared out.
GdalDataset warped(const std::string& name, GDALDatasetH source, const std::vector<std::string>& arguments,
                   GdalMessages& messages)
{
    std::vector<std::string> args = {"-of", "VRT"};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv = argv_of(args);
    GDALWarpAppOptions* o = GDALWarpAppOptionsNew(argv.data(), nullptr);
    if (!o) fail(cfmt("cannot reproject %s: %s", name.c_str(), messages.failure("bad warp options").c_str()));
    GDALDatasetH sources[] = {source};
    GdalDataset ds(GDALWarp("", nullptr, 1, sources, o, nullptr));
    GDALWarpAppOptionsFree(o);
    if (!ds) fail(cfmt("cannot reproject %s: %s", name.c_str(), messages.failure("GDAL failed").c_str()));
    return ds;
}

// What turns a stored sample into metres, and what marks a cell without data.
struct Samples {
    bool nodata_declared = false;
    double nodata = 0;
    bool scaled = false;
    double scale = 1, offset = 0;
    double foot = 0;  // metres in a foot of the heights, 0 when they are metres
    bool signed_bytes = false;  // bytes of -128..127, read as 0..255
};

// A path as a shell reads it: quoted when it holds anything but plain
// characters.
std::string shell_word(const std::string& s)
{
    if (!s.empty() && s.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-./+,:=@%") ==
                          std::string::npos)
        return s;
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string stem_of(const std::string& name)
{
    const std::size_t slash = name.rfind('/');
    const std::size_t dot = name.rfind('.');
    return dot != std::string::npos && (slash == std::string::npos || dot > slash) ? name.substr(0, dot) : name;
}

// A gdalwarp command ready to paste, from `name` to <stem><suffix>.tif.
// Resampled heights keep their decimals (the program truncates them itself),
// and the cells that the new grid adds around the old one are without data.
std::string warp_command(const std::string& name, const std::string& options, const std::string& suffix,
                         GDALDataType type, bool has_nodata, bool resampled)
{
    std::string c = options.empty() ? "gdalwarp" : "gdalwarp " + options;
    if (resampled) {
        c += type == GDT_Float64 ? " -ot Float64" : " -ot Float32";
        if (!has_nodata) c += GDALDataTypeIsFloating(type) ? " -srcnodata nan -dstnodata -9999" : " -dstnodata -9999";
    }
    return c + " " + shell_word(name) + " " + shell_word(stem_of(name) + suffix + ".tif");
}

std::string ten_digits(double v) { return cfmt("%.10g", v); }

// The UTM target of a raster in degrees or in feet, as scripts/prepare-dem.sh
// chooses it.
struct Utm {
    int zone = 0;
    bool north = true;
    int epsg = 0;
    std::string cell;  // the cell size as the command line gives it
};

Utm utm_target(const std::string& name, GDALDatasetH file, const OGRSpatialReference& srs, const double gt[6],
               GdalMessages& messages)
{
    const int nc = GDALGetRasterXSize(file), nl = GDALGetRasterYSize(file);
    // The centre of the raster, as gdalinfo gives it, then in degrees.
    double lon = gt[0] + nc / 2.0 * gt[1] + nl / 2.0 * gt[2];
    double lat = gt[3] + nc / 2.0 * gt[4] + nl / 2.0 * gt[5];
    if (!srs.IsGeographic()) {
        Georef g;
        char* wkt = nullptr;
        const char* const options[] = {"FORMAT=WKT2_2019", nullptr};
        if (srs.exportToWkt(&wkt, options) == OGRERR_NONE && wkt) g.wkt = wkt;
        CPLFree(wkt);
        const std::optional<LonLat> p = lonlat_of_map(g, {lon, lat});
        if (!p) fail(cfmt("cannot reproject %s: the longitude and latitude of its centre cannot be worked out",
                          name.c_str()));
        lon = p->lon;
        lat = p->lat;
    }
    Utm u;
    u.zone = utm_zone_of(lon);
    u.north = lat >= 0;
    u.epsg = (u.north ? 32600 : 32700) + u.zone;
    // gdalwarp's own choice of square cells for this reprojection.
    GdalDataset suggested = warped(name, file, {"-t_srs", cfmt("EPSG:%d", u.epsg)}, messages);
    double sgt[6];
    GDALGetGeoTransform(static_cast<GDALDatasetH>(suggested.get()), sgt);
    u.cell = ten_digits(round_to_two_figures(sgt[1]));
    return u;
}

// Whether GDAL's mask of the band marks cells of its own: a mask band, an
// alpha band or a mask of the whole dataset (not the nodata value, which the
// reading compares itself, nor "every cell valid").
bool masking(GDALRasterBandH band)
{
    return (GDALGetMaskFlags(band) & (GMF_ALL_VALID | GMF_NODATA)) == 0;
}

// Reads lines [first, last) of the raster into dtab and converts them in
// place; returns whether a cell without data was met.  Whole blocks of lines
// are read at a time (GDAL decodes a block once), then forgotten.
bool read_lines(Workspace& ws, const Opened& raster, const Samples& s, int first, int last, int chunk_lines,
                GdalMessages& messages)
{
    const int nc = ws.nb_col;
    GDALRasterBandH band = raster.band();
    GDALRasterBandH mask = masking(band) ? GDALGetMaskBand(band) : nullptr;
    std::vector<std::uint8_t> valid(mask ? std::size_t(chunk_lines) * std::size_t(nc) : 0);
    bool without = false;
    for (int i0 = first; i0 < last; i0 += chunk_lines) {
        const int n = std::min(chunk_lines, last - i0);
        if (GDALRasterIO(band, GF_Read, 0, i0, nc, n, ws.dtab[i0], nc, n, GDT_Float64, 0, 0) != CE_None ||
            (mask && GDALRasterIO(mask, GF_Read, 0, i0, nc, n, valid.data(), nc, n, GDT_Byte, 0, 0) != CE_None))
            fail(cfmt("cannot read %s: %s", ws.nomim1.c_str(), messages.failure("read error").c_str()));
        raster.forget_blocks();
        for (int i = i0; i < i0 + n; ++i) {
            double* d = ws.dtab[i];
            std::int32_t* ip = ws.itab[i];
            std::int32_t* ip3 = ws.itab3[i];
            const std::uint8_t* ok = mask ? valid.data() + std::size_t(i - i0) * std::size_t(nc) : nullptr;
            for (int j = 0; j < nc; ++j) {
                double raw = d[j];
                if (s.signed_bytes && raw >= 128) raw -= 256;
                if (std::isnan(raw) || (s.nodata_declared && raw == s.nodata) || (ok && ok[j] == 0)) {
                    d[j] = minus_infinity;
                    ip[j] = ip3[j] = 0;
                    without = true;
                    continue;
                }
                double v = raw;
                if (s.scaled) v = v * s.scale + s.offset;
                if (s.foot != 0) v = v * s.foot;
                if (!(v > -2147483649.0 && v < 2147483648.0))
                    fail(cfmt("%s: the sample of line %d, column %d is outside the signed 32-bit range",
                              ws.nomim1.c_str(), i, j));
                d[j] = v;
                ip[j] = ip3[j] = std::int32_t(v);
            }
        }
    }
    return without;
}

}  // namespace

int utm_zone_of(double lon)
{
    if (!std::isfinite(lon)) return 1;
    const double z = std::trunc((lon + 180) / 6) + 1;
    return z > 60 ? 60 : z < 1 ? 1 : int(z);
}

double round_to_two_figures(double size)
{
    // As awk computes it in scripts/prepare-dem.sh, then printed with ten
    // digits and read back as gdalwarp reads its -tr.
    const double l = std::log(size) / std::log(10.0);
    double e = std::trunc(l);
    if (e > l) e -= 1;
    const double p = std::pow(10.0, e - 1);
    return std::strtod(ten_digits(std::trunc(size / p + 0.5) * p).c_str(), nullptr);
}

std::string gdal_lecture(Workspace& ws, const GdalInput& opt)
{
    const std::string& name = ws.nomim1;
    gdal_ready();
    GdalMessages messages;
    std::string notes;

    Opened raster;
    raster.file = open_file(name, messages);
    GDALDatasetH file = static_cast<GDALDatasetH>(raster.file.get());
    if (char** files = GDALGetFileList(file)) {
        for (char** f = files; *f; ++f) {
            // A pipe or a device behind a VRT would block the run as the DEM
            // itself would.
            struct stat st;
            if (std::strncmp(*f, "/vsi", 4) != 0 && stat(*f, &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
                const std::string bad = *f;
                CSLDestroy(files);
                fail(cfmt("cannot read %s: the file %s that it reads is not a regular file", name.c_str(),
                          bad.c_str()));
            }
            ws.read_from(*f);
        }
        CSLDestroy(files);
    }
    const int bands = GDALGetRasterCount(file);
    if (bands < 1) fail(cfmt("%s holds no raster band", name.c_str()));
    if (bands > 1) notes += cfmt("\n\t%s has %d bands: band 1 is used ", name.c_str(), bands);
    GDALRasterBandH band = GDALGetRasterBand(file, 1);
    const GDALDataType type = GDALGetRasterDataType(band);
    if (type == GDT_Unknown || GDALDataTypeIsComplex(type))
        fail(cfmt("band 1 of %s holds %s samples, not heights", name.c_str(),
                  type == GDT_Unknown ? "unknown" : GDALGetDataTypeName(type)));
    // Signed bytes are bytes that GDAL reads unsigned, with a mark beside.
    const char* pixel_type = GDALGetMetadataItem(band, "PIXELTYPE", "IMAGE_STRUCTURE");
    const bool signed_bytes = type == GDT_Byte && pixel_type && std::string(pixel_type) == "SIGNEDBYTE";

    // The heights: their nodata value, scale and offset, and unit.
    Samples s;
    int has = 0;
    const double nodata = GDALGetRasterNoDataValue(band, &has);
    ws.band_nodata_declared = has != 0;
    ws.band_nodata = has ? nodata : 0;
    s.nodata_declared = ws.band_nodata_declared;
    s.nodata = ws.band_nodata;
    // Samples are compared with the nodata value as a value of their own
    // type, as GDAL compares them: 0.1 marks the float 0.1f.
    if (type == GDT_Float32 && std::isfinite(nodata) && std::fabs(nodata) <= std::numeric_limits<float>::max())
        s.nodata = double(float(nodata));
    s.signed_bytes = signed_bytes;
    int has_scale = 0, has_offset = 0;
    const double scale = GDALGetRasterScale(band, &has_scale), offset = GDALGetRasterOffset(band, &has_offset);
    s.scale = has_scale ? scale : 1;
    s.offset = has_offset ? offset : 0;
    s.scaled = s.scale != 1 || s.offset != 0;
    if (s.scaled)
        notes += cfmt("\n\tThe heights of %s are stored with a scale of %s and an offset of %s: unscaled ",
                      name.c_str(), ten_digits(s.scale).c_str(), ten_digits(s.offset).c_str());
    // The same names and factors as scripts/prepare-dem.sh.
    const std::string unit = GDALGetRasterUnitType(band) ? GDALGetRasterUnitType(band) : "";
    std::string lower;
    for (char c : unit) lower += char(std::tolower(static_cast<unsigned char>(c)));
    if (lower == "ft" || lower == "foot" || lower == "feet" || lower == "international foot")
        s.foot = 0.3048;
    else if (lower == "us-ft" || lower == "ftus" || lower == "us survey foot" || lower == "us survey feet")
        s.foot = 0.3048006096;
    if (s.foot != 0)
        notes += cfmt("\n\tThe heights of %s are in %s: converted to metres (x %s) ", name.c_str(), unit.c_str(),
                      ten_digits(s.foot).c_str());
    else if (!lower.empty() && lower != "m" && lower != "metre" && lower != "meter" && lower != "metres" &&
             lower != "meters" && lower != "metre (m)")
        notes += cfmt("\n\tThe heights of %s are in \"%s\", a unit the program does not know: taken as metres ",
                      name.c_str(), unit.c_str());

    if (masking(band))
        notes += cfmt("\n\t%s has a mask%s: the cells it masks are without data ", name.c_str(),
                      (GDALGetMaskFlags(band) & GMF_ALPHA) ? " (an alpha band)" : "");

    // Where it lies.
    double gt[6];
    const bool has_gt = GDALGetGeoTransform(file, gt) == CE_None;
    if (has_gt && !std::all_of(gt, gt + 6, [](double v) { return std::isfinite(v); }))
        fail(cfmt("%s has a geotransform that is not finite (%s, %s, %s, %s, %s, %s): give it one, for instance "
                  "with gdal_edit.py -a_ullr",
                  name.c_str(), ten_digits(gt[0]).c_str(), ten_digits(gt[1]).c_str(), ten_digits(gt[2]).c_str(),
                  ten_digits(gt[3]).c_str(), ten_digits(gt[4]).c_str(), ten_digits(gt[5]).c_str()));
    OGRSpatialReference srs;
    if (const OGRSpatialReferenceH h = GDALGetSpatialRef(file); h && has_gt)
        srs = *OGRSpatialReference::FromHandle(h);
    srs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    std::string foreign_unit;
    double foreign_metres = 1;
    if (!srs.IsEmpty() && (srs.IsProjected() || srs.IsLocal())) {
        const char* u = nullptr;
        foreign_metres = srs.GetLinearUnits(&u);
        if (foreign_metres != 1.0) foreign_unit = u ? u : "unknown unit";
    }
    // A local system cannot be reprojected: its cells are made metres by hand.
    if (srs.IsLocal() && !foreign_unit.empty())
        fail(cfmt("%s has its coordinates in %s (%.10g m) in a local coordinate system: its cells must be in "
                  "metres; give it a geotransform and a system in metres (gdal_edit.py -a_ullr and -a_srs)",
                  name.c_str(), foreign_unit.c_str(), foreign_metres));
    const bool in_degrees = !srs.IsEmpty() && srs.IsGeographic();
    std::vector<std::string> reprojection;  // gdalwarp's arguments, when reprojected
    if (in_degrees || !foreign_unit.empty()) {
        const Utm u = utm_target(name, file, srs, gt, messages);
        const std::string target = cfmt("WGS 84 / UTM zone %d %s (EPSG:%d) with cells of %s m", u.zone,
                                        u.north ? "North" : "South", u.epsg, u.cell.c_str());
        const std::string what = in_degrees ? cfmt("%s is in geographic coordinates (%s, in degrees)", name.c_str(),
                                                   srs.GetName() ? srs.GetName() : "degrees")
                                            : cfmt("%s has its coordinates in %s (%.10g m)", name.c_str(),
                                                   foreign_unit.c_str(), foreign_metres);
        const std::vector<std::string> warp = {"-t_srs", cfmt("EPSG:%d", u.epsg), "-tr", u.cell, u.cell, "-tap",
                                               "-r",     "bilinear"};
        if (!opt.reproject) {
            std::string options;
            for (const std::string& a : warp) options += (options.empty() ? "" : " ") + a;
            fail(cfmt("%s: its cells must be in metres; add --reproject to reproject it to %s, or reproject it "
                      "once with\n\t\t%s",
                      what.c_str(), target.c_str(),
                      warp_command(name, options, cfmt("_utm%d%c", u.zone, u.north ? 'n' : 's'), type, has != 0,
                                   true)
                          .c_str()));
        }
        if (s.signed_bytes)
            fail(cfmt("%s: its cells must be in metres, and its signed bytes cannot be reprojected in memory; make "
                      "them 16-bit first, with\n\t\tgdal_translate -ot Int16 %s %s",
                      what.c_str(), shell_word(name).c_str(), shell_word(stem_of(name) + "_int16.tif").c_str()));
        notes += cfmt("\n\t%s: reprojected in memory to %s ", what.c_str(), target.c_str());
        raster.band1 = band_one(name, file, messages);
        reprojection = warp;
        reprojection.insert(reprojection.end(), {"-ot", "Float64", "-dstnodata", "nan"});
        if (has)
            reprojection.insert(reprojection.end(), {"-srcnodata", cfmt("%.17g", nodata)});
        else if (GDALDataTypeIsFloating(type))
            reprojection.insert(reprojection.end(), {"-srcnodata", "nan"});
        raster.warped = warped(name, static_cast<GDALDatasetH>(raster.band1.get()), reprojection, messages);
        GDALDatasetH w = static_cast<GDALDatasetH>(raster.warped.get());
        GDALGetGeoTransform(w, gt);
        srs = *OGRSpatialReference::FromHandle(GDALGetSpatialRef(w));
        srs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
        int warped_has = 0;
        s.nodata = GDALGetRasterNoDataValue(raster.band(), &warped_has);
        s.nodata_declared = warped_has != 0;
        ws.nb_col = GDALGetRasterXSize(w);
        ws.nb_lig = GDALGetRasterYSize(w);
    } else {
        if (opt.reproject)
            notes += cfmt("\n\t%s is in metres: --reproject leaves it as it is ", name.c_str());
        ws.nb_col = GDALGetRasterXSize(file);
        ws.nb_lig = GDALGetRasterYSize(file);
    }
    // The grid must be north up, with square cells.
    if (has_gt && !raster.warped) {
        if (gt[2] != 0 || gt[4] != 0)
            fail(cfmt("%s has a rotated geotransform (rotation terms %s and %s): the program reads north-up grids; "
                      "turn it north up, for instance with\n\t\t%s",
                      name.c_str(), ten_digits(gt[2]).c_str(), ten_digits(gt[4]).c_str(),
                      warp_command(name, "-r bilinear", "_north_up", type, has != 0, true).c_str()));
        if (gt[1] <= 0 || gt[5] >= 0)
            fail(cfmt("%s is stored %s (column step %s, line step %s): the program reads north-up grids; turn it "
                      "north up, for instance with\n\t\t%s",
                      name.c_str(), gt[5] >= 0 ? "south up" : "east to west", ten_digits(gt[1]).c_str(),
                      ten_digits(gt[5]).c_str(), warp_command(name, "", "_north_up", type, has != 0, false).c_str()));
        const double dx = gt[1], dy = -gt[5];
        if (std::fabs(dx - dy) > 1e-6 * std::max(dx, dy)) {
            const std::string cell = ten_digits(round_to_two_figures((dx + dy) / 2));
            fail(cfmt("%s has cells of %s by %s: they must be square (equal to one millionth); resample it, for "
                      "instance with\n\t\t%s",
                      name.c_str(), ten_digits(dx).c_str(), ten_digits(dy).c_str(),
                      warp_command(name, "-tr " + cell + " " + cell + " -tap -r bilinear", "_square", type,
                                   has != 0, true)
                          .c_str()));
        }
    }
    if (has_gt) {
        if (opt.pixel_size > 0 && std::fabs(opt.pixel_size - gt[1]) > 1e-6 * gt[1])
            fail(cfmt("%s gives its own pixel size (%s m): --pixel-size is only for a raster without a "
                      "geotransform",
                      name.c_str(), ten_digits(gt[1]).c_str()));
        if (srs.IsEmpty())
            notes += cfmt("\n\t%s states no coordinate system: its units are taken as metres ", name.c_str());
    } else {
        if (!(opt.pixel_size > 0) && GDALGetGCPCount(file) > 0)
            fail(cfmt("%s is georeferenced by %d ground control points, not by a geotransform: warp it onto a "
                      "north-up grid first, for instance with\n\t\t%s",
                      name.c_str(), GDALGetGCPCount(file),
                      warp_command(name, "-r bilinear", "_warped", type, has != 0, true).c_str()));
        if (!(opt.pixel_size > 0))
            fail(cfmt("%s has no geotransform (no pixel size in map units): give its pixel size in metres with "
                      "--pixel-size",
                      name.c_str()));
        gt[0] = 0;
        gt[1] = opt.pixel_size;
        gt[2] = 0;
        gt[3] = ws.nb_lig * opt.pixel_size;
        gt[4] = 0;
        gt[5] = -opt.pixel_size;
    }
    if (ws.nb_col > max_dem_side || ws.nb_lig > max_dem_side)
        fail(cfmt("%s has %d lines of %d columns; at most %d of each can be read", name.c_str(), ws.nb_lig,
                  ws.nb_col, max_dem_side));
    if (ws.nb_col < 1 || ws.nb_lig < 1) fail(cfmt("%s holds no cell", name.c_str()));
    ws.dpix_size = gt[1];
    if (std::fabs(ws.dpix_size) >= 2147483648.0)
        fail(cfmt("%s: cellsize %f is out of range", name.c_str(), ws.dpix_size));
    ws.dsizepix = ws.dpix_size;
    ws.X_min = gt[0];
    ws.Y_min = gt[3] + ws.nb_lig * gt[5];
    ws.Coord_UTM_dem1_OK = has_gt;
    ws.georef = Georef();
    ws.georef.known = has_gt;
    std::copy(gt, gt + 6, ws.georef.gt.begin());
    ws.dem_prj.clear();
    if (!srs.IsEmpty()) {
        keep_dem_crs(ws, srs);
    }

    allocate_grid(ws.itab, "itab (elevations)", ws.nb_col, ws.nb_lig);
    allocate_grid(ws.itab3, "itab3 (elevations)", ws.nb_col, ws.nb_lig);
    allocate_grid(ws.dtab, "dtab (exact elevations)", ws.nb_col, ws.nb_lig);

    // Whole blocks of lines, about a million cells at a time; the blocks are
    // shared out between the threads, each reading through its own opening of
    // the raster (GDAL's datasets are not shared between threads).
    int block_columns = 0, block_lines = 0;
    GDALGetBlockSize(raster.band(), &block_columns, &block_lines);
    block_lines = std::clamp(block_lines, 1, ws.nb_lig);
    const int chunk_lines = block_lines * std::max(1, int((1 << 20) / (std::size_t(block_lines) * ws.nb_col)));
    const int block_rows = (ws.nb_lig + block_lines - 1) / block_lines;
    const std::size_t cells = std::size_t(ws.nb_lig) * std::size_t(ws.nb_col);
    const int tasks = thread_count() > 1 && cells >= parallel_threshold() ? std::min(thread_count(), block_rows) : 1;
    std::vector<char> without(std::size_t(tasks), 0);
    parallel_tasks(tasks, [&](int t) {
        const int first = std::min(ws.nb_lig, int(std::int64_t(block_rows) * t / tasks) * block_lines);
        const int last = std::min(ws.nb_lig, int(std::int64_t(block_rows) * (t + 1) / tasks) * block_lines);
        GdalMessages own;  // GDAL keeps its messages per thread
        if (t == 0) {
            without[0] = read_lines(ws, raster, s, first, last, chunk_lines, own);
            return;
        }
        // The other tasks open the raster, and make its reprojection, anew.
        Opened mine;
        mine.file = open_file(name, own);
        if (raster.warped) {
            mine.band1 = band_one(name, static_cast<GDALDatasetH>(mine.file.get()), own);
            mine.warped = warped(name, static_cast<GDALDatasetH>(mine.band1.get()), reprojection, own);
            if (GDALGetRasterXSize(static_cast<GDALDatasetH>(mine.warped.get())) != ws.nb_col ||
                GDALGetRasterYSize(static_cast<GDALDatasetH>(mine.warped.get())) != ws.nb_lig)
                fail(cfmt("cannot reproject %s: GDAL gives two different grids", name.c_str()));
        }
        without[std::size_t(t)] = read_lines(ws, mine, s, first, last, chunk_lines, own);
    });

    // Cells without data hold -infinity, whatever marked them.
    const bool any_without = std::find(without.begin(), without.end(), 1) != without.end();
    ws.nodata_declared = ws.band_nodata_declared || any_without;
    ws.nodata_value = minus_infinity;
    ws.pix_size = int(ws.dpix_size);
    return notes;
}
