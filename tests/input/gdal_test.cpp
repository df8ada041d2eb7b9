// Rasters through GDAL: the reader (heights, cells without data, refusals and
// their gdalwarp commands, reprojection as scripts/prepare-dem.sh does it),
// map and longitude/latitude coordinates, and the GeoTIFF outputs read back.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <random>

#include <cpl_conv.h>
#include <gdal.h>
#include <ogr_srs_api.h>

#include "coordinates.hpp"
#include "gdal_lecture.hpp"
#include "gdal_messages.hpp"
#include "geotiff_output.hpp"
#include "input.hpp"
#include "parallel.hpp"
#include "stage_support.hpp"

namespace {

const std::string sample_tif = std::string(EXAMPLES_DIR) + "/maunga-whau-lidar/maungawhau_lidar_10m_nztm.tif";
constexpr double minus_infinity = -std::numeric_limits<double>::infinity();

struct Raster {
    int lines = 2, columns = 3, bands = 1;
    GDALDataType type = GDT_Float32;
    std::vector<double> values;  // scan order; 0 beyond
    std::optional<std::array<double, 6>> gt = std::array<double, 6>{1756900, 10, 0, 5917960, 0, -10};
    std::string srs = "EPSG:2193";
    std::optional<double> nodata;
    double scale = 1, offset = 0;
    std::string unit;
    int tile = 0;  // tiled with square blocks of this side; strips when 0
    bool signed_bytes = false;  // GDT_Byte marked SIGNEDBYTE
    std::vector<int> masked;    // cells (scan order) that a mask of the dataset masks
};

Raster raster(const std::function<void(Raster&)>& edit)
{
    Raster r;
    edit(r);
    return r;
}

// 60 x 80 cells of the relief given, in degrees near Auckland, or in US feet
// on a transverse Mercator of WGS 84.
Raster in_degrees(const std::vector<double>& values)
{
    Raster r;
    r.lines = 60;
    r.columns = 80;
    r.values = values;
    r.gt = std::array<double, 6>{174.76, 0.0001, 0, -36.87, 0, -0.0001};
    r.srs = "EPSG:4326";
    r.nodata = -9999;
    return r;
}

Raster in_feet(const std::vector<double>& values)
{
    Raster r;
    r.lines = 60;
    r.columns = 80;
    r.values = values;
    r.gt = std::array<double, 6>{1000000, 30, 0, 2000000, 0, -30};
    r.srs = "+proj=tmerc +lat_0=0 +lon_0=-120 +k=0.9996 +x_0=500000 +y_0=0 +datum=WGS84 +units=us-ft";
    return r;
}

GdalInput pixel(double size)
{
    GdalInput o;
    o.pixel_size = size;
    return o;
}

GdalInput reprojected()
{
    GdalInput o;
    o.reproject = true;
    return o;
}

void write_raster(const std::string& path, const Raster& r)
{
    gdal_ready();
    std::vector<std::string> opts = {"COMPRESS=DEFLATE"};
    if (r.signed_bytes) opts.push_back("PIXELTYPE=SIGNEDBYTE");
    if (r.tile)
        opts.insert(opts.end(), {"TILED=YES", "BLOCKXSIZE=" + std::to_string(r.tile),
                                 "BLOCKYSIZE=" + std::to_string(r.tile)});
    std::vector<char*> argv;
    for (std::string& o : opts) argv.push_back(o.data());
    argv.push_back(nullptr);
    CPLSetThreadLocalConfigOption("GDAL_PAM_ENABLED", "NO");
    GDALDatasetH ds = GDALCreate(GDALGetDriverByName("GTiff"), path.c_str(), r.columns, r.lines, r.bands, r.type,
                                 argv.data());
    ASSERT_NE(ds, nullptr) << path;
    if (r.gt) {
        std::array<double, 6> gt = *r.gt;
        GDALSetGeoTransform(ds, gt.data());
    }
    if (!r.srs.empty()) {
        OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
        ASSERT_EQ(OSRSetFromUserInput(srs, r.srs.c_str()), OGRERR_NONE) << r.srs;
        GDALSetSpatialRef(ds, srs);
        OSRDestroySpatialReference(srs);
    }
    std::vector<double> v = r.values;
    v.resize(std::size_t(r.lines) * std::size_t(r.columns), 0.0);
    for (int b = 1; b <= r.bands; ++b) {
        GDALRasterBandH band = GDALGetRasterBand(ds, b);
        if (r.nodata) GDALSetRasterNoDataValue(band, *r.nodata);
        if (r.scale != 1 || r.offset != 0) {
            GDALSetRasterScale(band, r.scale);
            GDALSetRasterOffset(band, r.offset);
        }
        if (!r.unit.empty()) GDALSetRasterUnitType(band, r.unit.c_str());
        ASSERT_EQ(GDALRasterIO(band, GF_Write, 0, 0, r.columns, r.lines, v.data(), r.columns, r.lines, GDT_Float64,
                               0, 0),
                  CE_None);
    }
    if (!r.masked.empty()) {
        ASSERT_EQ(GDALCreateMaskBand(GDALGetRasterBand(ds, 1), GMF_PER_DATASET), CE_None);
        std::vector<std::uint8_t> m(v.size(), 255);
        for (int k : r.masked) m[std::size_t(k)] = 0;
        ASSERT_EQ(GDALRasterIO(GDALGetMaskBand(GDALGetRasterBand(ds, 1)), GF_Write, 0, 0, r.columns, r.lines,
                               m.data(), r.columns, r.lines, GDT_Byte, 0, 0),
                  CE_None);
    }
    GDALClose(ds);
    CPLSetThreadLocalConfigOption("GDAL_PAM_ENABLED", nullptr);
}

// Reads `path` into the fixture's workspace; the error message, or "" with
// the notes in `notes`.
std::string read_gdal(StageFixture& f, const std::string& path, const GdalInput& opt = {},
                      std::string* notes = nullptr)
{
    f.ws.nomim1 = path;
    try {
        const std::string n = gdal_lecture(f.ws, opt);
        if (notes) *notes = n;
    } catch (const RunEnd& e) {
        EXPECT_EQ(e.status, 1);
        return e.message;
    }
    return "";
}

// A relief of two hills, 60 x 80 cells, with decimals.
std::vector<double> two_hills(int lines, int columns)
{
    std::vector<double> v;
    for (int i = 0; i < lines; ++i)
        for (int j = 0; j < columns; ++j) {
            const double a = std::hypot(i - 20.0, j - 25.0), b = std::hypot(i - 40.0, j - 55.0);
            v.push_back(100 + std::fmax(0, 80 - 4 * a) + std::fmax(0, 50 - 3 * b) + 0.125 * ((i * 7 + j) % 5));
        }
    return v;
}

struct GdalRead {
    GDALDatasetH ds;
    explicit GdalRead(const std::string& path) : ds(GDALOpen(path.c_str(), GA_ReadOnly)) {}
    ~GdalRead()
    {
        if (ds) GDALClose(ds);
    }
    GDALRasterBandH band() const { return GDALGetRasterBand(ds, 1); }
    std::vector<double> values() const
    {
        const int nc = GDALGetRasterXSize(ds), nl = GDALGetRasterYSize(ds);
        std::vector<double> v(std::size_t(nl) * std::size_t(nc));
        EXPECT_EQ(GDALRasterIO(band(), GF_Read, 0, 0, nc, nl, v.data(), nc, nl, GDT_Float64, 0, 0), CE_None);
        return v;
    }
    std::array<double, 6> gt() const
    {
        std::array<double, 6> g{};
        GDALGetGeoTransform(ds, g.data());
        return g;
    }
};

}  // namespace

// Samples exact as doubles, truncated toward zero in itab; the band's nodata
// value and NaN (declared or not) both mark cells without data; scale, offset
// and feet give metres as scripts/prepare-dem.sh computes them.
TEST(GdalReader, HeightsInMetresAndCellsWithoutData)
{
    const double nan = std::nan("");
    const struct {
        const char* what;
        Raster raster;
        std::vector<double> dtab;  // -infinity: a cell without data
        std::string notes;
    } cases[] = {
        {"float with nodata and NaN",
         raster([&](Raster& r) {
             r.values = {147.575729370117, -0.5, -9999, nan, 1e3, -1.5};
             r.nodata = -9999;
         }),
         {double(147.575729370117f), -0.5, minus_infinity, minus_infinity, 1000, -1.5},
         ""},
        {"float, NaN without a nodata value", raster([&](Raster& r) { r.values = {nan, 12.25, 3}; }),
         {minus_infinity, 12.25, 3, 0, 0, 0}, ""},
        {"tenths of feet plus 5 feet",
         raster([](Raster& r) {
             r.type = GDT_Int16;
             r.values = {1000, -9999, 7};
             r.nodata = -9999;
             r.scale = 0.1;
             r.offset = 5;
             r.unit = "ft";
         }),
         {(1000 * 0.1 + 5) * 0.3048, minus_infinity, (7 * 0.1 + 5) * 0.3048, 5 * 0.3048, 5 * 0.3048, 5 * 0.3048},
         "\n\tThe heights of G are stored with a scale of 0.1 and an offset of 5: unscaled "
         "\n\tThe heights of G are in ft: converted to metres (x 0.3048) "},
        {"US survey feet, two bands",
         raster([](Raster& r) {
             r.bands = 2;
             r.type = GDT_UInt16;
             r.values = {1000, 65535};
             r.unit = "US survey foot";
         }),
         {1000 * 0.3048006096, 65535 * 0.3048006096, 0, 0, 0, 0},
         "\n\tG has 2 bands: band 1 is used \n\tThe heights of G are in US survey foot: converted to metres "
         "(x 0.3048006096) "},
        {"signed bytes, a mask", raster([](Raster& r) {
             r.type = GDT_Byte;
             r.signed_bytes = true;
             r.values = {200, 5, 255, 7, 128, 1};
             r.masked = {3};
         }),
         {-56, 5, -1, minus_infinity, -128, 1}, "\n\tG has a mask: the cells it masks are without data "},
        {"feet capitalised", raster([](Raster& r) {
             r.values = {10};
             r.unit = "Feet";
         }),
         {10 * 0.3048, 0, 0, 0, 0, 0}, "\n\tThe heights of G are in Feet: converted to metres (x 0.3048) "},
        {"a unit it does not know", raster([](Raster& r) {
             r.values = {10};
             r.unit = "cm";
         }),
         {10, 0, 0, 0, 0, 0},
         "\n\tThe heights of G are in \"cm\", a unit the program does not know: taken as metres "},
        {"metres named so", raster([](Raster& r) {
             r.type = GDT_Float64;
             r.values = {2147483647.5, -2147483648.75};
             r.unit = "metre";
         }),
         {2147483647.5, -2147483648.75, 0, 0, 0, 0}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        StageFixture f;
        const std::string path = f.dir + "g.tif";
        write_raster(path, c.raster);
        std::string notes;
        ASSERT_EQ(read_gdal(f, path, {}, &notes), "");
        EXPECT_EQ(notes, replace_all(c.notes, "G", path));
        Workspace& ws = f.ws;
        EXPECT_EQ(ws.nb_lig, 2);
        EXPECT_EQ(ws.nb_col, 3);
        EXPECT_EQ(ws.X_min, 1756900.0);
        EXPECT_EQ(ws.Y_min, 5917940.0);
        EXPECT_EQ(ws.dpix_size, 10.0);
        EXPECT_EQ(ws.dsizepix, 10.0);
        EXPECT_EQ(ws.pix_size, 10);
        EXPECT_TRUE(ws.Coord_UTM_dem1_OK);
        EXPECT_EQ(ws.georef.epsg, 2193);
        EXPECT_NE(ws.dem_prj.find("NZGD_2000_New_Zealand_Transverse_Mercator"), std::string::npos) << ws.dem_prj;
        int without = 0;
        for (int k = 0; k < 6; ++k) {
            const int i = k / 3, j = k % 3;
            EXPECT_EQ(ws.dtab[i][j], c.dtab[std::size_t(k)]) << k;
            const bool none = c.dtab[std::size_t(k)] == minus_infinity;
            without += none;
            EXPECT_EQ(ws.itab[i][j], none ? 0 : std::int32_t(c.dtab[std::size_t(k)])) << k;
            EXPECT_EQ(ws.itab3[i][j], ws.itab[i][j]) << k;
        }
        EXPECT_EQ(ws.band_nodata_declared, c.raster.nodata.has_value());
        EXPECT_EQ(ws.nodata_declared, c.raster.nodata.has_value() || without > 0);
        mark_cells_without_data(ws);
        EXPECT_EQ(ws.nodata_cells, without);
        // Every file of the raster is an input, which no result may replace.
        ASSERT_FALSE(ws.inputs.empty());
        EXPECT_EQ(ws.inputs[0].path, path);
    }

    // Beyond 32 bits after the scale: the first such cell in scan order,
    // whatever the threads that read the blocks.
    set_parallel_threshold(0);
    for (int threads : {1, 3}) {
        set_thread_count(threads);
        StageFixture f;
        Raster big = raster([](Raster& r) {
            r.lines = 100;
            r.columns = 7;
            r.type = GDT_Int32;
            r.scale = 1000;
            r.tile = 16;
        });
        big.values.assign(700, 5);
        big.values[7 * 40 + 3] = 3000000;
        big.values[7 * 90 + 1] = -3000000;
        write_raster(f.dir + "big.tif", big);
        EXPECT_EQ(read_gdal(f, f.dir + "big.tif"), "\n\tError : " + f.dir +
                                                       "big.tif: the sample of line 40, column 3 is outside the "
                                                       "signed 32-bit range\n");
    }
    set_thread_count(0);
    set_parallel_threshold(default_parallel_threshold);
}

// Blocks of lines shared out between threads, each opening the raster anew:
// the same grid as one thread reading it, tiled or in strips.
TEST(GdalReader, ThreadsReadTheSameGrid)
{
    std::mt19937 random(5);
    set_parallel_threshold(0);
    for (int tile : {0, 16, 48}) {
        StageFixture f;
        Raster r = raster([&](Raster& r) {
            r.lines = 203;
            r.columns = 37;
            r.nodata = -1;
            r.tile = tile;
        });
        for (int k = 0; k < r.lines * r.columns; ++k)
            r.values.push_back(random() % 13 == 0 ? -1.0 : double(random() % 400000) / 64 - 1000);
        write_raster(f.dir + "r.tif", r);
        for (int threads : {1, 2, 5}) {
            set_thread_count(threads);
            StageFixture g;
            ASSERT_EQ(read_gdal(g, f.dir + "r.tif"), "");
            for (int k = 0; k < r.lines * r.columns; ++k) {
                const double v = r.values[std::size_t(k)];
                ASSERT_EQ(g.ws.dtab.data()[k], v == -1 ? minus_infinity : double(float(v))) << tile << " " << k;
                ASSERT_EQ(g.ws.itab.data()[k], v == -1 ? 0 : std::int32_t(float(v)));
            }
        }
    }
    set_thread_count(0);
    set_parallel_threshold(default_parallel_threshold);
}

// What the program cannot measure as it stands is refused before anything
// is allocated, with the gdalwarp command that fixes it.
TEST(GdalReader, RefusalsGiveTheCommandThatFixesThem)
{
    const std::vector<double> hills = two_hills(60, 80);
    const struct {
        const char* what;
        Raster raster;
        GdalInput opt;
        std::vector<std::string> expect;  // G: the raster's path, S: its stem
    } cases[] = {
        {"non-square", raster([](Raster& r) { r.gt = std::array<double, 6>{0, 10, 0, 0, 0, -12.5}; }), {},
         {"G has cells of 10 by 12.5: they must be square (equal to one millionth); resample it, for instance "
          "with\n\t\tgdalwarp -tr 11 11 -tap -r bilinear -ot Float32 -srcnodata nan -dstnodata -9999 G "
          "S_square.tif\n"}},
        {"rotated", raster([](Raster& r) {
             r.gt = std::array<double, 6>{0, 10, 0.5, 0, 0, -10};
             r.nodata = -9999;
         }),
         {},
         {"G has a rotated geotransform (rotation terms 0.5 and 0): the program reads north-up grids; turn it "
          "north up, for instance with\n\t\tgdalwarp -r bilinear -ot Float32 G S_north_up.tif\n"}},
        {"south up", raster([](Raster& r) { r.gt = std::array<double, 6>{0, 10, 0, 0, 0, 10}; }), {},
         {"G is stored south up (column step 10, line step 10): the program reads north-up grids; turn it north "
          "up, for instance with\n\t\tgdalwarp G S_north_up.tif\n"}},
        {"degrees",
         in_degrees(hills), {},
         {"G is in geographic coordinates (WGS 84, in degrees): its cells must be in metres; add --reproject to "
          "reproject it to WGS 84 / UTM zone 60 South (EPSG:32760) with cells of 9.8 m, or reproject it once "
          "with\n\t\tgdalwarp -t_srs EPSG:32760 -tr 9.8 9.8 -tap -r bilinear -ot Float32 G S_utm60s.tif\n"}},
        {"feet",
         raster([](Raster& r) {
             r = in_feet({});
             r.type = GDT_Int16;
         }),
         {},
         {"G has its coordinates in US survey foot (0.3048006096 m): its cells must be in metres; add --reproject "
          "to reproject it to WGS 84 / UTM zone 10 North (EPSG:32610) with cells of 9.1 m, or reproject it once "
          "with\n\t\tgdalwarp -t_srs EPSG:32610 -tr 9.1 9.1 -tap -r bilinear -ot Float32 -dstnodata -9999 G "
          "S_utm10n.tif\n"}},
        {"no geotransform", raster([](Raster& r) {
             r.gt = std::nullopt;
             r.srs = "";
         }),
         {},
         {"G has no geotransform (no pixel size in map units): give its pixel size in metres with --pixel-size\n"}},
        {"pixel size of its own", {}, pixel(5),
         {"G gives its own pixel size (10 m): --pixel-size is only for a raster without a geotransform\n"}},
        {"geotransform not finite",
         raster([](Raster& r) { r.gt = std::array<double, 6>{0, 10, 0, std::nan(""), 0, -10}; }), {},
         {"G has a geotransform that is not finite (0, 10, 0, nan, 0, -10): give it one, for instance with "
          "gdal_edit.py -a_ullr\n"}},
        {"local system in feet", raster([](Raster& r) {
             r.srs = "LOCAL_CS[\"site\",UNIT[\"US survey foot\",0.304800609601219],AXIS[\"Easting\",EAST],"
                     "AXIS[\"Northing\",NORTH]]";
         }),
         {},
         {"G has its coordinates in US survey foot (0.3048006096 m) in a local coordinate system: its cells must "
          "be in metres; give it a geotransform and a system in metres (gdal_edit.py -a_ullr and -a_srs)\n"}},
        {"complex", raster([](Raster& r) { r.type = GDT_CFloat32; }), {},
         {"band 1 of G holds CFloat32 samples, not heights\n"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        StageFixture f;
        const std::string path = f.dir + "g.tif";
        write_raster(path, c.raster);
        const std::string msg = read_gdal(f, path, c.opt);
        for (const std::string& e : c.expect)
            EXPECT_EQ(msg, "\n\tError : " + replace_all(replace_all(e, "G ", path + " "), "S_", f.dir + "g_")) << msg;
        EXPECT_FALSE(f.ws.dtab) << "allocated";
    }

    // Not a raster, or no file: GDAL's own words.
    StageFixture f;
    write_file(f.dir + "notes.txt", "not a raster\n");
    EXPECT_EQ(read_gdal(f, f.dir + "notes.txt"), "\n\tError : cannot read " + f.dir + "notes.txt: `" + f.dir +
                                                     "notes.txt' not recognized as a supported file format.\n");
    EXPECT_EQ(read_gdal(f, f.dir + "none.tif"),
              "\n\tError : cannot read " + f.dir + "none.tif: " + f.dir + "none.tif: No such file or directory\n");

    // A raster without a geotransform, with --pixel-size: its lower-left
    // corner at 0, 0, as a raw grid's.
    StageFixture g;
    write_raster(g.dir + "plain.tif", raster([](Raster& r) {
                     r.values = {1, 2, 3, 4, 5, 6};
                     r.gt = std::nullopt;
                     r.srs = "";
                 }));
    ASSERT_EQ(read_gdal(g, g.dir + "plain.tif", pixel(2.5)), "");
    EXPECT_EQ(g.ws.dpix_size, 2.5);
    EXPECT_EQ(g.ws.X_min, 0.0);
    EXPECT_EQ(g.ws.Y_min, 0.0);
    EXPECT_FALSE(g.ws.Coord_UTM_dem1_OK);
    EXPECT_EQ(g.ws.itab[1][2], 6);
}

// --reproject gives the grid that scripts/prepare-dem.sh gives (size, corner,
// cells), and so does the command that the refusal prints; the heights agree
// to the script's single precision.  Each thread reprojects alike.
TEST(GdalReader, ReprojectionOnThePrepareDemGrid)
{
    if (!have_program("gdalwarp") || !have_program("gdalinfo"))
        GTEST_SKIP() << "GDAL's tools (Debian package gdal-bin) are not installed";
    const std::vector<double> hills = two_hills(60, 80);
    const struct {
        const char* what;
        Raster raster;
        const char* note;
    } cases[] = {
        {"degrees",
         in_degrees(hills),
         "is in geographic coordinates (WGS 84, in degrees): reprojected in memory to WGS 84 / UTM zone 60 South "
         "(EPSG:32760) with cells of 9.8 m "},
        {"feet",
         in_feet(hills),
         "has its coordinates in US survey foot (0.3048006096 m): reprojected in memory to WGS 84 / UTM zone 10 "
         "North (EPSG:32610) with cells of 9.1 m "},
    };
    set_parallel_threshold(0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        StageFixture f;
        const std::string path = f.dir + "g.tif";
        write_raster(path, c.raster);
        std::string notes;
        set_thread_count(1);
        ASSERT_EQ(read_gdal(f, path, reprojected(), &notes), "");
        EXPECT_EQ(notes, "\n\t" + path + " " + c.note);
        const Workspace& ws = f.ws;
        EXPECT_EQ(ws.georef.epsg, std::string(c.what) == "degrees" ? 32760 : 32610);

        int status = -1;
        const std::string out = command_output("cd " + shell_quote(f.dir) + " && bash " +
                                                   shell_quote(std::string(SCRIPTS_DIR) + "/prepare-dem.sh") +
                                                   " g.tif prepared.asc 2>&1",
                                               &status);
        ASSERT_EQ(status, 0) << out;
        StageFixture p;
        p.ws.nomim1 = f.dir + "prepared.asc";
        ascii_lecture(p.ws);
        EXPECT_EQ(ws.nb_lig, p.ws.nb_lig);
        EXPECT_EQ(ws.nb_col, p.ws.nb_col);
        EXPECT_EQ(ws.X_min, p.ws.X_min);
        EXPECT_EQ(ws.Y_min, p.ws.Y_min);
        EXPECT_EQ(ws.dpix_size, p.ws.dpix_size);
        int cells = 0, both_without = 0;
        double worst = 0;
        for (int i = 0; i < ws.nb_lig && i < p.ws.nb_lig; ++i)
            for (int j = 0; j < ws.nb_col && j < p.ws.nb_col; ++j) {
                const bool a = ws.dtab[i][j] == minus_infinity, b = p.ws.dtab[i][j] == -9999;
                both_without += a && b;
                cells += a == b;
                if (!a && !b) worst = std::fmax(worst, std::fabs(ws.dtab[i][j] - p.ws.dtab[i][j]));
            }
        EXPECT_EQ(cells, ws.nb_lig * ws.nb_col);
        EXPECT_GT(both_without, 0);
        EXPECT_LT(worst, 1e-3);

        // The command of the refusal, pasted: the same grid again.
        StageFixture r;
        const std::string refusal = read_gdal(r, path);
        const std::size_t at = refusal.find("gdalwarp ");
        ASSERT_NE(at, std::string::npos) << refusal;
        const std::string command = refusal.substr(at, refusal.size() - 1 - at);
        ASSERT_EQ(std::system(("GDAL_PAM_ENABLED=NO " + command + " > /dev/null").c_str()), 0) << command;
        StageFixture w;
        const std::string warped = replace_all(path, ".tif", "") +
                                   (std::string(c.what) == "degrees" ? "_utm60s.tif" : "_utm10n.tif");
        ASSERT_EQ(read_gdal(w, warped), "");
        EXPECT_EQ(w.ws.georef.gt, ws.georef.gt);
        EXPECT_EQ(w.ws.nb_lig, ws.nb_lig);
        EXPECT_EQ(w.ws.nb_col, ws.nb_col);

        // Several threads, each with its own reprojection: the same grid.
        set_thread_count(3);
        StageFixture t;
        ASSERT_EQ(read_gdal(t, path, reprojected()), "");
        ASSERT_EQ(t.ws.nb_lig, ws.nb_lig);
        for (std::size_t k = 0; k < ws.dtab.size(); ++k) ASSERT_EQ(t.ws.dtab.data()[k], ws.dtab.data()[k]) << k;
    }
    set_thread_count(0);
    set_parallel_threshold(default_parallel_threshold);
}

// Cells from map coordinates and back, and longitude/latitude through the
// traditional GIS order, on the sample in EPSG:2193 and on a grid in degrees.
TEST(Coordinates, CellsMapAndLonLat)
{
    StageFixture f;
    ASSERT_EQ(read_gdal(f, sample_tif), "");
    const Workspace& ws = f.ws;
    const Georef& g = ws.georef;
    EXPECT_EQ(g.epsg, 2193);
    EXPECT_EQ(ws.nb_lig, 102);
    EXPECT_EQ(ws.nb_col, 70);
    EXPECT_EQ(ws.X_min, 1756900.0);
    EXPECT_EQ(ws.Y_min, 5916940.0);
    EXPECT_TRUE(ws.nodata_declared);
    EXPECT_EQ(ws.dtab[66][33], double(147.575729370117f));

    // The crater floor, given in longitude and latitude.
    const std::optional<MapPoint> floor = map_of_lonlat(g, {174.7642, -36.8772});
    ASSERT_TRUE(floor);
    const std::optional<GridCell> cell = cell_of_map(g, *floor);
    ASSERT_TRUE(cell);
    EXPECT_EQ(cell->line, 66);
    EXPECT_EQ(cell->column, 33);
    const std::optional<LonLat> back = lonlat_of_map(g, *floor);
    ASSERT_TRUE(back);
    EXPECT_NEAR(back->lon, 174.7642, 1e-9);
    EXPECT_NEAR(back->lat, -36.8772, 1e-9);
    const MapPoint middle = centre_of_cell(g, 66, 33);
    EXPECT_EQ(middle.x, 1756900 + 33.5 * 10);
    EXPECT_EQ(middle.y, 5917960 - 66.5 * 10);
    const std::optional<Extent> e = lonlat_extent(g, ws.nb_lig, ws.nb_col);
    ASSERT_TRUE(e);
    EXPECT_LT(e->x_min, 174.7642);
    EXPECT_GT(e->x_max, 174.7642);
    EXPECT_LT(e->y_min, -36.8772);
    EXPECT_GT(e->y_max, -36.8772);

    // A cell's west and north edges belong to it; outside the grid, or not a
    // number, is no cell of it.
    const struct {
        MapPoint p;
        std::optional<GridCell> cell;
        bool inside;
    } points[] = {
        {{1756900, 5917960}, GridCell{0, 0}, true},
        {{1756909.999, 5917950.001}, GridCell{0, 0}, true},
        {{1756910, 5917950}, GridCell{1, 1}, true},
        {{1757599.9, 5916940.1}, GridCell{101, 69}, true},
        {{1757600, 5917000}, GridCell{96, 70}, false},
        {{1756899.9, 5917960.1}, GridCell{-1, -1}, false},
        {{std::nan(""), 5917000}, std::nullopt, false},
        {{1e300, 5917000}, std::nullopt, false},
    };
    for (const auto& pt : points) {
        const std::optional<GridCell> c = cell_of_map(g, pt.p);
        ASSERT_EQ(c.has_value(), pt.cell.has_value()) << pt.p.x;
        if (!c) continue;
        EXPECT_EQ(c->line, pt.cell->line) << pt.p.x << " " << pt.p.y;
        EXPECT_EQ(c->column, pt.cell->column) << pt.p.x << " " << pt.p.y;
        EXPECT_EQ(in_grid(*c, ws.nb_lig, ws.nb_col), pt.inside);
    }

    // EPSG:4326, whose authority puts the latitude first: longitude first
    // all the same, both ways.
    Georef wgs;
    wgs.known = true;
    wgs.gt = {174.76, 0.0001, 0, -36.87, 0, -0.0001};
    {
        OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
        OSRImportFromEPSG(srs, 4326);
        char* wkt = nullptr;
        OSRExportToWkt(srs, &wkt);
        wgs.wkt = wkt;
        CPLFree(wkt);
        OSRDestroySpatialReference(srs);
    }
    const std::optional<MapPoint> m = map_of_lonlat(wgs, {174.7642, -36.8772});
    ASSERT_TRUE(m);
    EXPECT_NEAR(m->x, 174.7642, 1e-12);
    EXPECT_NEAR(m->y, -36.8772, 1e-12);
    const std::optional<GridCell> c = cell_of_map(wgs, *m);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->column, 41);
    EXPECT_EQ(c->line, 72);
    const std::optional<LonLat> l = lonlat_of_map(wgs, centre_of_cell(wgs, 72, 41));
    ASSERT_TRUE(l);
    EXPECT_NEAR(l->lon, 174.76415, 1e-9);
    EXPECT_NEAR(l->lat, -36.87725, 1e-9);

    // No coordinate system: no longitude or latitude.
    Georef none;
    EXPECT_FALSE(map_of_lonlat(none, {0, 0}));
    EXPECT_FALSE(lonlat_of_map(none, {0, 0}));

    // An ESRI grid with its .prj: the same place from its header.
    StageFixture a;
    a.ws.nomim1 = a.dir + "g.asc";
    write_file(a.ws.nomim1, "ncols 70\nnrows 102\nxllcorner 1756900\nyllcorner 5916940\ncellsize 10\n" +
                                std::string(70 * 102 * 2, ' ').replace(0, 1, "1") + "\n");
    a.ws.dem_prj = ws.dem_prj;
    a.ws.Coord_UTM_dem1_OK = true;
    a.ws.X_min = 1756900;
    a.ws.Y_min = 5916940;
    a.ws.dpix_size = 10;
    a.ws.nb_lig = 102;
    const Georef esri = dem_georef(a.ws);
    EXPECT_EQ(esri.gt, g.gt);
    EXPECT_EQ(esri.epsg, 2193);
    const std::optional<MapPoint> again = map_of_lonlat(esri, {174.7642, -36.8772});
    ASSERT_TRUE(again);
    EXPECT_NEAR(again->x, floor->x, 1e-6);
    EXPECT_NEAR(again->y, floor->y, 1e-6);
}

// The GeoTIFF outputs as GDAL reads them: grid, coordinate system, nodata,
// metres through the band's scale; the same bytes on a second run and with
// another number of threads; nothing beside them; and the temporary file is
// put in place, or removed, with the run's other results.
TEST(GeoTiffOutput, ReadBackByGdal)
{
    std::vector<std::string> bytes;
    set_parallel_threshold(0);
    for (int run = 0; run < 3; ++run) {
        set_thread_count(run == 2 ? 3 : 1);
        StageFixture f;
        Workspace& ws = f.ws;
        ASSERT_EQ(read_gdal(f, sample_tif), "");
        const int nl = ws.nb_lig, nc = ws.nb_col;
        allocate_grid(ws.nodata, "nodata", nc, nl);
        for (int i = 90; i < nl; ++i)
            for (int j = 0; j < 6; ++j) ws.nodata[i][j] = 1;
        ws.nodata_cells = 12 * 6;
        nrutil::IGrid cm(nc, nl);
        nrutil::UcGrid grey(nc, nl);
        for (int i = 0; i < nl; ++i)
            for (int j = 0; j < nc; ++j) {
                cm[i][j] = std::int32_t(ws.dtab[i][j] * 100);
                grey[i][j] = std::uint8_t((i * 3 + j) % 255);
            }
        const std::string rec = f.dir + "g_rec1.tif", shad = f.dir + "g_shad1.tif";
        const std::string rec_path = ws.create_for_gdal(rec);
        const std::string shad_path = ws.create_for_gdal(shad);
        EXPECT_NE(rec_path, rec);
        EXPECT_EQ(ws.written_path(rec), rec_path);
        write_geotiff_int32(ws, rec, cm, 1.0 / 100, "rebuilt cone altitude");
        write_geotiff_bytes(ws, shad, grey, "hill-shaded rebuilt cone");
        if (run == 1) {  // a failed run leaves nothing
            ws.remove_created();
            EXPECT_EQ(list_dir(f.dir), std::vector<std::string>{});
            continue;
        }
        ws.close_all();
        EXPECT_EQ(list_dir(f.dir), (std::vector<std::string>{"g_rec1.tif", "g_shad1.tif"}));
        bytes.push_back(read_file(rec) + read_file(shad));

        GdalRead r(rec);
        ASSERT_NE(r.ds, nullptr);
        EXPECT_EQ(GDALGetRasterDataType(r.band()), GDT_Int32);
        EXPECT_EQ(r.gt(), ws.georef.gt);
        OGRSpatialReferenceH srs = GDALGetSpatialRef(r.ds);
        ASSERT_NE(srs, nullptr);
        EXPECT_STREQ(OSRGetAuthorityCode(srs, nullptr), "2193");
        int has = 0;
        EXPECT_EQ(GDALGetRasterNoDataValue(r.band(), &has), -2147483648.0);
        EXPECT_TRUE(has);
        EXPECT_EQ(GDALGetRasterScale(r.band(), nullptr), 0.01);
        EXPECT_EQ(GDALGetRasterOffset(r.band(), nullptr), 0.0);
        EXPECT_STREQ(GDALGetRasterUnitType(r.band()), "metre");
        EXPECT_STREQ(GDALGetDescription(r.band()), "rebuilt cone altitude");
        EXPECT_EQ(GDALGetMetadataItem(r.ds, "TIFFTAG_DATETIME", nullptr), nullptr);
        EXPECT_STREQ(GDALGetMetadataItem(r.ds, "COMPRESSION", "IMAGE_STRUCTURE"), "DEFLATE");
        EXPECT_STREQ(GDALGetMetadataItem(r.ds, "PREDICTOR", "IMAGE_STRUCTURE"), "2");
        int bx = 0, by = 0;
        GDALGetBlockSize(r.band(), &bx, &by);
        EXPECT_EQ(bx, 256);
        EXPECT_EQ(by, 256);
        const std::vector<double> v = r.values();
        for (int i = 0; i < nl; ++i)
            for (int j = 0; j < nc; ++j) {
                const double got = v[std::size_t(i * nc + j)];
                if (ws.nodata[i][j])
                    ASSERT_EQ(got, -2147483648.0);
                else
                    ASSERT_NEAR(got * 0.01, ws.dtab[i][j], 0.01) << i << " " << j;  // metres, to the centimetre
            }

        GdalRead s(shad);
        EXPECT_EQ(GDALGetRasterDataType(s.band()), GDT_Byte);
        EXPECT_EQ(GDALGetRasterNoDataValue(s.band(), &has), 255.0);
        EXPECT_EQ(GDALGetRasterScale(s.band(), nullptr), 1.0);
        const std::vector<double> b = s.values();
        EXPECT_EQ(b[std::size_t(95 * nc + 2)], 255.0);
        EXPECT_EQ(b[std::size_t(10 * nc + 7)], double((10 * 3 + 7) % 255));
    }
    ASSERT_EQ(bytes.size(), 2u);
    EXPECT_EQ(bytes[0], bytes[1]);

    // A file that cannot be created: GDAL's reason, under the result's name.
    StageFixture f;
    f.ws.nb_lig = f.ws.nb_col = 1;
    const std::string lost = f.dir + "none/g_shad1.tif";
    nrutil::UcGrid one(1, 1);
    try {
        write_geotiff_bytes(f.ws, lost, one, "");
        ADD_FAILURE() << "written";
    } catch (const RunEnd& e) {
        EXPECT_TRUE(e.message.starts_with("\n\tError : cannot write " + lost + " (")) << e.message;
        EXPECT_NE(e.message.find("No such file or directory"), std::string::npos) << e.message;
    }
    set_thread_count(0);
    set_parallel_threshold(default_parallel_threshold);
}
