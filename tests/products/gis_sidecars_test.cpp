// ENVI headers beside the raw output rasters, read back by GDAL as QGIS would.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "gis_sidecars.hpp"
#include "run_support.hpp"

namespace {

// gdalinfo with the statistics of the samples, leaving no .aux.xml behind.
std::string gdalinfo(const std::string& raster)
{
    return command_output("GDAL_PAM_ENABLED=NO gdalinfo -stats " + shell_quote(raster) + " 2>&1");
}

std::vector<int> descriptor_numbers(const std::string& path)
{
    std::istringstream in(read_file(path));
    std::vector<int> v;
    for (int x; v.size() < 6 && in >> x;) v.push_back(x);
    return v;
}

// The stem's raster opens through its header alone (our own .txt descriptor
// beside it plays no part) with the size and sample type expected.
void expect_opens(const std::string& stem, const std::string& type, int lines, int columns)
{
    SCOPED_TRACE(stem);
    const std::string info = gdalinfo(stem + ".raw");
    const std::string name = stem.substr(stem.rfind('/') + 1);
    EXPECT_NE(info.find("Driver: ENVI/"), std::string::npos) << info;
    EXPECT_NE(info.find("Files: " + stem + ".raw\n       " + stem + ".hdr\n"), std::string::npos) << info;
    EXPECT_EQ(info.find(name + ".txt"), std::string::npos) << info;
    EXPECT_NE(info.find(cfmt("Size is %d, %d", columns, lines)), std::string::npos) << info;
    EXPECT_NE(info.find("Type=" + type + ","), std::string::npos) << info;
}

// GDAL reads the samples themselves right (type, byte order, size): its
// minimum and maximum are those that our descriptor gives.
void expect_extremes_of_descriptor(const std::string& stem)
{
    const std::vector<int> d = descriptor_numbers(stem + ".txt");
    ASSERT_EQ(d.size(), 6u);
    EXPECT_NE(gdalinfo(stem + ".raw").find(cfmt("Minimum=%d.000, Maximum=%d.000,", d[3], d[4])), std::string::npos)
        << stem;
}

}  // namespace

TEST(GisSidecars, HeaderPutsTheMapPositionOnTheUpperLeftCorner)
{
    TestWorkspace t;
    Workspace& ws = t.ws;
    ws.nb_lig = 100;
    ws.nb_col = 120;
    ws.dpix_size = 2.5;
    ws.X_min = 650000.25;
    ws.Y_min = 1780000.5;
    ws.Coord_UTM_dem1_OK = true;
    const std::string h = envi_header(ws, 12, "rebuilt cone altitude in metres");
    EXPECT_TRUE(h.starts_with("ENVI\n"));
    for (const char* line : {"\nsamples = 120\n", "\nlines = 100\n", "\nbands = 1\n", "\nheader offset = 0\n",
                             "\ndata type = 12\n", "\ninterleave = bsq\n", "\nbyte order = 0\n",
                             "\nmap info = {Arbitrary, 1, 1, 650000.25, 1780250.5, 2.5, 2.5, units=Meters}\n"})
        EXPECT_NE(h.find(line), std::string::npos) << line;

    EXPECT_EQ(h.find("coordinate system string"), std::string::npos);

    // With the DEM's .prj: a UTM zone on WGS 84 is named in the map info, and
    // any coordinate system GDAL reads is given whole, on one line (the .prj
    // as gdalsrsinfo prints it spreads over several).
    const struct {
        const char* prj;
        const char* map_info;
        const char* crs_start;
    } prjs[] = {
        {"PROJCS[\"WGS_1984_UTM_Zone_33N\",GEOGCS[\"GCS_WGS_1984\",DATUM[\"D_WGS_1984\",SPHEROID[\"WGS_1984\","
         "6378137.0,298.257223563]],PRIMEM[\"Greenwich\",0.0],UNIT[\"Degree\",0.0174532925199433]],PROJECTION["
         "\"Transverse_Mercator\"],PARAMETER[\"False_Easting\",500000.0],PARAMETER[\"False_Northing\",0.0],"
         "PARAMETER[\"Central_Meridian\",15.0],PARAMETER[\"Scale_Factor\",0.9996],PARAMETER[\"Latitude_Of_Origin\","
         "0.0],UNIT[\"Meter\",1.0]]",
         "{UTM, 1, 1, 650000.25, 1780250.5, 2.5, 2.5, 33, North, WGS-84, units=Meters}",
         "{PROJCS[\"WGS_1984_UTM_Zone_33N\",GEOGCS["},
        {"PROJCS[\"NZGD_2000_New_Zealand_Transverse_Mercator\",\n    GEOGCS[\"GCS_NZGD_2000\",\n        DATUM["
         "\"D_NZGD_2000\",\n            SPHEROID[\"GRS_1980\",6378137.0,298.257222101]],\n        PRIMEM[\"Greenwich\","
         "0.0],\n        UNIT[\"Degree\",0.0174532925199433]],\n    PROJECTION[\"Transverse_Mercator\"],\n    "
         "PARAMETER[\"False_Easting\",1600000.0],\n    PARAMETER[\"False_Northing\",10000000.0],\n    PARAMETER["
         "\"Central_Meridian\",173.0],\n    PARAMETER[\"Scale_Factor\",0.9996],\n    PARAMETER[\"Latitude_Of_Origin\","
         "0.0],\n    UNIT[\"Meter\",1.0]]\n",
         "{Arbitrary, 1, 1, 650000.25, 1780250.5, 2.5, 2.5, units=Meters}",
         "{PROJCS[\"NZGD_2000_New_Zealand_Transverse_Mercator\",GEOGCS[\"GCS_NZGD_2000\",DATUM["},
        {"not a coordinate system", "{Arbitrary, 1, 1, 650000.25, 1780250.5, 2.5, 2.5, units=Meters}", nullptr},
    };
    for (const auto& p : prjs) {
        ws.dem_prj = p.prj;
        const std::string with_crs = envi_header(ws, 12, "x");
        EXPECT_NE(with_crs.find(std::string("\nmap info = ") + p.map_info + "\n"), std::string::npos) << with_crs;
        const std::size_t crs = with_crs.find("\ncoordinate system string = ");
        if (p.crs_start) {
            ASSERT_NE(crs, std::string::npos) << with_crs;
            EXPECT_EQ(with_crs.compare(crs + 28, std::strlen(p.crs_start), p.crs_start), 0) << with_crs;
            EXPECT_EQ(with_crs.find('\n', crs + 1), with_crs.find("]]}\n", crs) + 3) << with_crs;
        } else {
            EXPECT_EQ(crs, std::string::npos) << with_crs;
        }
    }
    ws.dem_prj.clear();

    // A raw input gives no map position: none is invented.
    ws.Coord_UTM_dem1_OK = false;
    EXPECT_EQ(envi_header(ws, 12, "x").find("map info"), std::string::npos);
}

TEST(GisSidecars, GdalOpensEveryRawOutputWithItsTypeAndMapPosition)
{
    if (!have_program("gdalinfo")) GTEST_SKIP() << "gdalinfo (Debian package gdal-bin) is not installed";
    // ESRI input (corner 0, 0); raw 16-bit output in metres, then 32-bit in decimetres.
    const struct {
        const char* answers;
        const char* width;
        const char* type;
    } runs[] = {{"site maunga_whau 0 10 0 1 0 0 110 0 27 29 0 0 4 1\n", "m2", "UInt16"},
                {"site maunga_whau 0 10 0 1 1 1 110 0 27 29 0 0 4 1\n", "m4", "Int32"}};
    for (const auto& run : runs) {
        TempRoot root;
        const std::string site = maunga_whau_site(root);
        RunResult r = run_program(run.answers);
        ASSERT_EQ(r.status, 0) << r.console;
        for (const std::string stem : {"maunga_whau_rec1_", "maunga_whau_rec1_eros_"}) {
            expect_opens(site + stem + run.width, run.type, 61, 87);
            expect_extremes_of_descriptor(site + stem + run.width);
        }
        for (const char* stem : {"maunga_whau_rec1_shad", "maunga_whau_rec1_shaderos"})
            expect_opens(site + stem, "Byte", 61, 87);
        const std::string info = gdalinfo(site + "maunga_whau_rec1_" + run.width + ".raw");
        EXPECT_NE(info.find("Origin = (0.000000000000000,610.000000000000000)"), std::string::npos) << info;
        EXPECT_NE(info.find("Pixel Size = (10.000000000000000,-10.000000000000000)"), std::string::npos) << info;
    }
}

// The ESRI outputs, all their values on one line, open in GDAL as they are.
TEST(GisSidecars, GdalOpensTheEsriOutputs)
{
    if (!have_program("gdalinfo")) GTEST_SKIP() << "gdalinfo (Debian package gdal-bin) is not installed";
    TempRoot root;
    const std::string site = maunga_whau_site(root);
    RunResult r = run_program("site maunga_whau 0 10 0 0 110 0 27 29 0 0 4 1\n");
    ASSERT_EQ(r.status, 0) << r.console;
    const struct {
        const char* name;
        const char* extremes;
    } outputs[] = {{"maunga_whau_rec1.asc", "Minimum=94.000, Maximum=195.000,"},
                   {"maunga_whau_eros1.asc", "Minimum=0.000, Maximum=41.000,"},
                   {"maunga_whau_shad1.asc", "Maximum=254.000,"},
                   {"maunga_whau_shaderos1.asc", "Maximum=254.000,"}};
    for (const auto& out : outputs) {
        const std::string info = gdalinfo(site + out.name);
        EXPECT_NE(info.find("Driver: AAIGrid"), std::string::npos) << info;
        EXPECT_NE(info.find("Size is 87, 61"), std::string::npos) << info;
        EXPECT_NE(info.find("Pixel Size = (10.000000000000000,-10.000000000000000)"), std::string::npos) << info;
        EXPECT_NE(info.find(out.extremes), std::string::npos) << out.name << "\n" << info;
    }
}

// Every output DEM of a clipped grid, ESRI and raw of both widths: GDAL counts
// exactly the input's cells without data as nodata, and the statistics of the
// others are those of the outputs' own extremes.
TEST(GisSidecars, GdalReadsTheCellsWithoutDataOfEveryOutputAsNodata)
{
    if (!have_program("gdalinfo")) GTEST_SKIP() << "gdalinfo (Debian package gdal-bin) is not installed";
    const struct {
        const char* answers;
        std::vector<std::string> outputs;
        std::vector<std::string> nodata;
    } runs[] = {
        {"site maunga_whau 0 10 0 0 110 0 27 29 0 0 4 1\n",
         {"maunga_whau_rec1.asc", "maunga_whau_eros1.asc", "maunga_whau_shad1.asc", "maunga_whau_shaderos1.asc"},
         {"-1e+04", "-1e+04", "-1e+04", "-1e+04"}},
        {"site maunga_whau 0 10 0 1 0 2 110 0 27 29 0 0 4 1\n",
         {"maunga_whau_rec1_m2.raw", "maunga_whau_rec1_eros_m2.raw", "maunga_whau_rec1_shad.raw",
          "maunga_whau_rec1_shaderos.raw"},
         {"65535", "65535", "255", "255"}},
        {"site maunga_whau 0 10 0 1 1 3 110 0 27 29 0 0 4 1\n",
         {"maunga_whau_rec1_m4.raw", "maunga_whau_rec1_eros_m4.raw"},
         {"-2147483648", "-2147483648"}},
    };
    for (const auto& run : runs) {
        TempRoot root;
        const std::string site = maunga_whau_site(root);
        clip_maunga_whau(site);
        RunResult r = run_program(run.answers);
        ASSERT_EQ(r.status, 0) << r.console;
        EXPECT_NE(r.console.find("\n\tMin : 94.000000\tMax : 195.000000 "), std::string::npos);
        EXPECT_NE(r.console.find("\n\tWarning : the edifice touches 106 cells without data : its measures near "
                                 "them are uncertain "),
                  std::string::npos);
        for (std::size_t k = 0; k < run.outputs.size(); ++k) {
            const std::string info = gdalinfo(site + run.outputs[k]);
            EXPECT_NE(info.find("NoData Value=" + run.nodata[k] + "\n"), std::string::npos) << run.outputs[k] << info;
            EXPECT_NE(info.find("STATISTICS_VALID_PERCENT=80.89\n"), std::string::npos) << run.outputs[k] << info;
        }
        if (run.outputs[0].ends_with(".raw"))
            for (const char* stem : {"maunga_whau_rec1_", "maunga_whau_rec1_eros_"})
                expect_extremes_of_descriptor(site + stem + run.outputs[0].substr(17, 2));
        else
            EXPECT_NE(gdalinfo(site + run.outputs[0]).find("Minimum=94.000, Maximum=195.000,"), std::string::npos);
    }
}

namespace {

// An ESRI grid on WGS 84 / UTM zone 60S (80 lines, 100 columns of 10 m):
// lowland at exactly 100 m, a cone with a crater centred on (40, 35) and,
// clear of it, a hill centred on (40, 80).  `clipped` turns the cells far
// from both into cells without data, as a clip to a study area does.
std::string two_hills(bool clipped)
{
    std::string text = "ncols 100\nnrows 80\nxllcorner 300000\nyllcorner 5900000\ncellsize 10\nNODATA_value -9999\n";
    char cell[32];
    for (int i = 0; i < 80; ++i)
        for (int j = 0; j < 100; ++j) {
            const double a = std::hypot(i - 40, j - 35), b = std::hypot(i - 40, j - 80);
            double z = 100;
            if (a < 30) z += a < 6 ? 40 + 2 * a : 60 - 2 * (a - 6) * 60 / 48;
            if (b < 10) z += 20 - 2 * b;
            if (clipped && a > 33 && b > 16) z = -9999;
            std::snprintf(cell, sizeof cell, "%.3f%c", z, j == 99 ? '\n' : ' ');
            text += cell;
        }
    return text;
}

bool have_gdal_tools()
{
    for (const char* t : {"gdalinfo", "gdal_translate", "gdalwarp", "gdalsrsinfo"})
        if (!have_program(t)) return false;
    return true;
}

std::string prepare_dem(const TempRoot& root, const std::string& arguments, int* status,
                        const std::string& environment = "")
{
    return command_output("cd " + shell_quote(root.path()) + " && " + environment +
                              "TEPHROMAT_ROOT=" + shell_quote(root.path()) + " bash " + shell_quote(std::string(SCRIPTS_DIR) + "/prepare-dem.sh") + " " +
                              arguments + " 2>&1",
                          status);
}

// The lines of gdalinfo that say where the grid lies and how much of it has data.
std::string grid_of(const std::string& info)
{
    std::string kept;
    std::istringstream in(info);
    for (std::string line; std::getline(in, line);)
        if (line.starts_with("Size is") || line.starts_with("Origin =") || line.starts_with("Pixel Size =") ||
            line.find("STATISTICS_VALID_PERCENT") != std::string::npos)
            kept += line + "\n";
    return kept;
}

}  // namespace

// The road of real data: a projected GeoTIFF with nodata around its cones,
// and the same in degrees, prepared by scripts/prepare-dem.sh and run; GDAL
// reads the outputs back on the input's grid, with its coordinate system and
// its cells without data.
TEST(PrepareDem, GeoTiffsWithNodataToOutputsOnTheSameGrid)
{
    if (!have_gdal_tools()) GTEST_SKIP() << "GDAL's tools (Debian package gdal-bin) are not installed";
    TempRoot root;
    const std::string dir = root.path();
    for (bool clipped : {false, true}) {
        const std::string name = clipped ? "clipped" : "whole";
        write_file(dir + name + ".asc", two_hills(clipped));
        ASSERT_EQ(std::system(("cd " + shell_quote(dir) + " && gdal_translate -q -a_srs EPSG:32760 -a_nodata -9999 " +
                               name + ".asc " + name + ".tif && rm " + name + ".asc")
                                  .c_str()),
                  0);
        root.folder(name);
        int status = -1;
        const std::string out = prepare_dem(root, name + ".tif " + name + "/dem.asc", &status);
        ASSERT_EQ(status, 0) << out;
        EXPECT_NE(out.find("  folder          " + name + "   (below the root"), std::string::npos) << out;
        EXPECT_NE(out.find("  DEM name        dem\n"), std::string::npos) << out;
        EXPECT_NE(out.find("  pixel size      10\n"), std::string::npos) << out;
        // A projected input keeps its grid, cell for cell.
        EXPECT_EQ(grid_of(gdalinfo(dir + name + "/dem.asc")), grid_of(gdalinfo(dir + name + ".tif")));
    }
    const std::string clipped_grid = grid_of(gdalinfo(dir + "clipped.tif"));
    ASSERT_NE(clipped_grid.find("STATISTICS_VALID_PERCENT=52.01"), std::string::npos) << clipped_grid;

    // The hill clear of the nodata: the same tables and report as on the whole DEM.
    const std::string hill = "dem 0 10 0 0 101 0 40 80 0 0 4 1\n";
    for (const char* folder : {"whole", "clipped"}) ASSERT_EQ(run_program(std::string(folder) + " " + hill).status, 0);
    for (const char* suffix : {"_surf_slice.xls", "_orient.xls", "_gravcenters.xyz", "_info.txt"})
        EXPECT_EQ(replace_all(read_file(dir + "clipped/dem" + suffix), "/clipped/", "/whole/"),
                  read_file(dir + "whole/dem" + suffix))
            << suffix;

    // The cone whose base line takes in the lowland reaches the nodata: the
    // warning; every output lies on the input's grid with its coordinate
    // system and its cells without data.
    RunResult r = run_program("clipped dem 0 10 1 cone 0 100 0 40 35 0 1\n");
    ASSERT_EQ(r.status, 0) << r.console;
    const std::string warning = "\n\n\tChosen item = 1 \n\tWarning : the edifice touches ";
    EXPECT_NE(r.console.find(warning), std::string::npos) << r.console;
    EXPECT_NE(read_file(dir + "clipped/cone_info.txt").find(warning), std::string::npos);
    for (const char* out : {"cone_rec1", "cone_eros1", "cone_shad1", "cone_shaderos1"}) {
        const std::string info = gdalinfo(dir + "clipped/" + out + ".asc");
        EXPECT_EQ(grid_of(info), clipped_grid) << out;
        EXPECT_NE(info.find("PROJCRS[\"WGS 84 / UTM zone 60S\""), std::string::npos) << out << info;
        EXPECT_EQ(read_file(dir + "clipped/" + out + ".prj"), read_file(dir + "clipped/dem.prj")) << out;
    }
    // The same run once the DEM has lost its .prj: the earlier copies go with
    // the grids they described.
    std::filesystem::rename(dir + "clipped/dem.prj", dir + "dem.prj.aside");
    ASSERT_EQ(run_program("clipped dem 0 10 1 cone 0 100 0 40 35 0 1\n").status, 0);
    for (const char* out : {"cone_rec1", "cone_eros1", "cone_shad1", "cone_shaderos1"})
        EXPECT_FALSE(file_exists(dir + "clipped/" + out + ".prj")) << out;
    std::filesystem::rename(dir + "dem.prj.aside", dir + "clipped/dem.prj");
    r = run_program("clipped dem 0 10 1 raw 1 1 0 100 0 40 35 0 1\n");
    ASSERT_EQ(r.status, 0) << r.console;
    const std::string raw = gdalinfo(dir + "clipped/raw_rec1_m4.raw");
    EXPECT_EQ(grid_of(raw), clipped_grid);
    EXPECT_NE(raw.find("PROJCRS[\"WGS 84 / UTM zone 60S\""), std::string::npos) << raw;

    // In degrees or in feet: left so, the DEM is refused before anything is
    // written; prepared, it is measured on a UTM grid that its outputs keep.
    const struct {
        const char* folder;
        const char* srs;
        std::string refusal, prepared;
    } unprepared[] = {
        {"degrees", "EPSG:4326",
         "left.asc is in geographic coordinates (WGS 84, in degrees, according to " + dir +
             "degrees/left.prj): it must be reprojected to metres, for instance with scripts/prepare-dem.sh",
         "reprojected to WGS 84 / UTM zone 60 South (EPSG:32760) with cells of 10 m"},
        {"feet", "'+proj=utm +zone=60 +south +datum=WGS84 +units=us-ft'",
         "left.asc has its coordinates in US survey foot (0.3048006096 m) according to " + dir +
             "feet/left.prj: its cells must be in metres",
         "in a projected system in us-ft, not metres: reprojected to WGS 84 / UTM zone 60 South (EPSG:32760)"},
    };
    for (const auto& u : unprepared) {
        const std::string folder = u.folder;
        root.folder(folder);
        ASSERT_EQ(std::system(("cd " + shell_quote(dir) + " && gdalwarp -q -t_srs " + u.srs +
                               " -r bilinear -dstnodata -9999 clipped.tif " + folder +
                               ".tif && GDAL_PAM_ENABLED=NO gdal_translate -q -of AAIGrid " + folder + ".tif " +
                               folder + "/left.asc")
                                  .c_str()),
                  0);
        r = run_program(folder + " left 0 10 0 0 100 1 0 1\n");
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.console.find("\n\tError : " + dir + folder + "/" + u.refusal), std::string::npos) << r.console;
        EXPECT_EQ(list_dir(dir + folder), (std::vector<std::string>{"left.asc", "left.prj"}));

        int status = -1;
        const std::string out = prepare_dem(root, folder + ".tif " + folder + "/dem.asc", &status);
        ASSERT_EQ(status, 0) << out;
        EXPECT_NE(out.find(u.prepared), std::string::npos) << out;
        r = run_program(folder + " dem 0 10 0 0 105 1 0 1\n");
        ASSERT_EQ(r.status, 0) << r.console;
        const std::string rebuilt = gdalinfo(dir + folder + "/dem_rec1.asc");
        EXPECT_EQ(grid_of(rebuilt), grid_of(gdalinfo(dir + folder + "/dem.asc")));
        EXPECT_NE(rebuilt.find("PROJCRS[\"WGS 84 / UTM zone 60S\""), std::string::npos) << rebuilt;
    }
}

// The script's own errors, and its word on a raster of several bands.
TEST(PrepareDem, ClearErrorsAndBandOneOfSeveral)
{
    if (!have_gdal_tools()) GTEST_SKIP() << "GDAL's tools (Debian package gdal-bin) are not installed";
    TempRoot root;
    const std::string dir = root.path();
    write_file(dir + "notes.txt", "not a raster\n");
    write_file(dir + "stored.asc", "ncols 3\nnrows 2\nxllcorner 500000\nyllcorner 4999980\ncellsize 10\n"
                                   "nodata_value -9999\n-9999 1000 1010\n1020 1030 1040\n");
    write_file(dir + "feet.vrt",
               "<VRTDataset rasterXSize=\"3\" rasterYSize=\"2\"><SRS>EPSG:32760</SRS>"
               "<GeoTransform>500000, 10, 0, 5000000, 0, -10</GeoTransform>"
               "<VRTRasterBand dataType=\"Int16\" band=\"1\"><NoDataValue>-9999</NoDataValue>"
               "<UnitType>ft</UnitType><Offset>5</Offset><Scale>0.1</Scale><SimpleSource>"
               "<SourceFilename relativeToVRT=\"1\">stored.asc</SourceFilename><SourceBand>1</SourceBand>"
               "</SimpleSource></VRTRasterBand></VRTDataset>\n");
    write_file(dir + "dem.asc", two_hills(false));
    ASSERT_EQ(std::system(("cd " + shell_quote(dir) +
                           " && gdal_translate -q -a_srs EPSG:32760 -b 1 -b 1 dem.asc two_bands.tif && rm dem.asc"
                           // NaN heights, no nodata value declared
                           " && gdalwarp -q -ot Float32 -s_srs EPSG:32760 -dstnodata nan stored.asc nan_declared.tif"
                           " && gdal_translate -q -a_nodata none nan_declared.tif nan.tif")
                              .c_str()),
              0);
    // A PATH with the shell's tools but not GDAL's.
    const std::string bin = root.folder("bin");
    for (const char* tool : {"dirname", "basename", "mktemp", "rm", "awk", "sed", "grep", "head", "cat"})
        std::filesystem::create_symlink(command_output(std::string("command -v ") + tool + " | tr -d '\\n'"),
                                        bin + tool);
    const struct {
        std::string arguments;
        int status;
        std::string message;
    } cases[] = {
        {"notes.txt out.asc", 1, "prepare-dem: cannot read notes.txt: "},
        {"two_bands.tif out.asc", 0, "prepare-dem: two_bands.tif has 2 bands: band 1 is used\n"},
        {"feet.vrt out.asc", 0,
         "prepare-dem: the heights of feet.vrt are stored with a scale of 0.1 and an offset of 5: unscaled\n"
         "prepare-dem: the heights of feet.vrt are in ft: converted to metres (x 0.3048)\n"},
        {"nan.tif nan.asc", 0, "prepare-dem: wrote nan.asc (2 lines, 3 columns, cells of 10 m, nodata_value -9999)\n"},
        {"two_bands.tif out.tif", 1, "prepare-dem: the output must be an ESRI grid named <name>.asc, not out.tif\n"},
        {"two_bands.tif out.asc --resolution -5", 1, "--resolution must be a number of metres above 0, not -5\n"},
        {"two_bands.tif nowhere/out.asc", 1, "prepare-dem: the folder nowhere does not exist\n"},
    };
    for (const auto& c : cases) {
        int status = -1;
        const std::string out = prepare_dem(root, c.arguments, &status);
        EXPECT_EQ(status, c.status) << c.arguments << "\n" << out;
        EXPECT_NE(out.find(c.message), std::string::npos) << c.arguments << "\n" << out;
    }
    // Stored tenths of feet, plus 5 feet: 1000 is 105 ft, 32.004 m; nodata stays nodata.
    const std::string feet = read_file(dir + "out.asc");
    EXPECT_NE(feet.find("NODATA_value  -9999\n -9999.0 32.004"), std::string::npos) << feet;
    const std::string nan = read_file(dir + "nan.asc");
    EXPECT_NE(nan.find("NODATA_value  -9999\n -9999.0 1000"), std::string::npos) << nan;

    int status = -1;
    const std::string out = command_output("cd " + shell_quote(dir) + " && PATH=" + shell_quote(bin) + " " +
                                               command_output("command -v bash | tr -d '\\n'") + " " +
                                               shell_quote(std::string(SCRIPTS_DIR) + "/prepare-dem.sh") +
                                               " two_bands.tif out.asc 2>&1",
                                           &status);
    EXPECT_EQ(status, 1);
    EXPECT_NE(out.find("install the Debian package gdal-bin"), std::string::npos) << out;

    // The grid's write cut short (a full disk), reported or not, or the script
    // stopped by a signal as it ends: the earlier pair stays as it was, and
    // nothing is left beside it.
    const std::string fake = root.folder("fake");
    write_file(fake + "gdal_translate",
               "#!/bin/sh\nreal=" + shell_quote(command_output("command -v gdal_translate | tr -d '\\n'")) +
                   "\ncase \" $* \" in *\" AAIGrid \"*) ;; *) exec \"$real\" \"$@\" ;; esac\n"
                   "for out; do :; done\n\"$real\" \"$@\" || exit 1\n"
                   "if [ \"$FAKE\" = term ]; then kill -TERM $PPID; exit 0; fi\n"
                   "head -c 120 \"$out\" > \"$out.cut\" && mv \"$out.cut\" \"$out\"; exit $FAKE\n");
    std::filesystem::permissions(fake + "gdal_translate", std::filesystem::perms::owner_all);
    const std::vector<std::string> before = list_dir(dir);
    const std::string asc = read_file(dir + "out.asc"), prj = read_file(dir + "out.prj");
    ASSERT_NE(prj.find("UTM"), std::string::npos) << prj;
    const struct {
        const char* fake;
        int status;
        const char* message;
    } failures[] = {
        {"1", 1, "prepare-dem: cannot write out.asc: "},
        {"0", 1, "prepare-dem: cannot write out.asc: the grid written is incomplete (0 of 80 lines"},
        {"term", 143, ""},
    };
    for (const auto& f : failures) {
        status = -1;
        const std::string said = prepare_dem(root, "two_bands.tif out.asc", &status, std::string("FAKE=") + f.fake +
                                                                                        " PATH=" + shell_quote(fake) +
                                                                                        ":\"$PATH\" ");
        EXPECT_EQ(status, f.status) << f.fake << "\n" << said;
        EXPECT_NE(said.find(f.message), std::string::npos) << said;
        EXPECT_EQ(list_dir(dir), before) << f.fake;
        EXPECT_EQ(read_file(dir + "out.asc"), asc) << f.fake;
        EXPECT_EQ(read_file(dir + "out.prj"), prj) << f.fake;
    }
}
