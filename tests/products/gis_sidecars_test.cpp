// ENVI headers beside the raw output rasters, read back by GDAL as QGIS would.
#include <gtest/gtest.h>

#include <cstring>

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
