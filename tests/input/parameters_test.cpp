// Scale normalisation, run parameters and report header, and the gravity
// centre of a mask.
#include <gtest/gtest.h>

#include <algorithm>

#include "dialogue.hpp"
#include "input.hpp"
#include "slices.hpp"
#include "stage_support.hpp"

namespace {

// A raw input of one line of samples, ready for parameters1.
void raw_samples(Workspace& ws, const std::vector<int>& samples)
{
    allocate_all(ws, 1, int(samples.size()));
    ws.format = 1;
    for (std::size_t j = 0; j < samples.size(); ++j) ws.itab[0][j] = ws.itab3[0][j] = samples[j];
}

const std::string hypso_prompt =
    "\n\n\tHypsometric Interval : \n\t\t0 ====> in meters\n\t\t1 ====> in decimeters"
    "\n\t\t2 ====> in centimeters\n\t\t3 ====> in millimeters\n\t\t";

}  // namespace

TEST(Parameters1, RawCentimetresBecomeWholeMetres)
{
    StageFixture f("2\n10\n");
    raw_samples(f.ws, {123456, -250, 5000});
    parameters1(f.ws);
    EXPECT_EQ(f.ws.itab[0][0], 1234);
    EXPECT_EQ(f.ws.itab[0][1], -2);
    EXPECT_EQ(f.ws.itab3[0][0], 1234);
    EXPECT_EQ(f.ws.itab3[0][1], -2);
    EXPECT_DOUBLE_EQ(f.ws.dtab[0][0], 1234.56);
    EXPECT_DOUBLE_EQ(f.ws.dtab[0][1], -2.5);
    EXPECT_EQ(f.ws.dmin, -250.0);
    EXPECT_EQ(f.ws.dmax, 123456.0);
    EXPECT_EQ(f.ws.mind, -2);
    EXPECT_EQ(f.ws.maxd, 1234);
    EXPECT_EQ(f.console(), "\n\tDynamic scale of the selected DEM : \n\tMin : -250\tMax : 123456 " + hypso_prompt +
                               "\n\tTransformation of the original dynamic scale "
                               "\n\n\tDynamic scale of the DEM in meters (integer values) : \n\tMin : -2\tMax : 1234 "
                               "\n\n\tPixel size (decimal value in meters) ? ");
}

TEST(Parameters1, RawMetresAreKeptAndDecimetresTruncate)
{
    StageFixture f("7\n-1\n0\n10\n");
    raw_samples(f.ws, {12345, 67890});
    parameters1(f.ws);
    EXPECT_EQ(count_of(f.console(), hypso_prompt), 3);
    EXPECT_EQ(count_of(f.console(), "Transformation"), 0);
    EXPECT_EQ(f.ws.itab[0][1], 67890);
    EXPECT_EQ(f.ws.dtab[0][1], 67890.0);

    StageFixture g("1\n10\n");
    raw_samples(g.ws, {12345, -15, 67890});
    parameters1(g.ws);
    EXPECT_EQ(g.ws.itab[0][0], 1234);
    EXPECT_EQ(g.ws.itab[0][1], -1);
    EXPECT_EQ(g.ws.dmin, -15.0);  // the raw-sample range, whatever the interval
    EXPECT_EQ(g.ws.dmax, 67890.0);
}

TEST(Parameters1, TrueExtremesForNegativeAndVeryHighDems)
{
    StageFixture f("0\n10\n");
    raw_samples(f.ws, {-30, -5, -12});
    parameters1(f.ws);
    EXPECT_EQ(f.ws.mind, -30);
    EXPECT_EQ(f.ws.maxd, -5);
    EXPECT_NE(f.console().find("\n\tMin : -30\tMax : -5 "), std::string::npos);

    StageFixture g("0\n10\n");
    raw_samples(g.ws, {2500000, 3000000});
    parameters1(g.ws);
    EXPECT_EQ(g.ws.mind, 2500000);
    EXPECT_EQ(g.ws.maxd, 3000000);

    StageFixture h("10\n");  // ESRI input, all below 0
    set_elevations(h.ws, {{-3, -9}});
    h.ws.dtab[0][0] = -3.25;
    h.ws.dtab[0][1] = -9.5;
    h.ws.format = 0;
    parameters1(h.ws);
    EXPECT_EQ(h.ws.dmax, -3.25);
    EXPECT_EQ(h.ws.maxd, -3);
    EXPECT_NE(h.console().find("\n\tMin : -9.500000\tMax : -3.250000 "), std::string::npos);
}

TEST(Parameters1, EsriRangeLinesAndDecimalPixelSize)
{
    StageFixture f("2.5\n");
    set_elevations(f.ws, {{10, 20}});
    f.ws.dtab[0][0] = 10.9;
    f.ws.dtab[0][1] = 20.2;
    f.ws.format = 0;
    f.ws.cellsize = 2.5;  // as the ESRI header gave it
    parameters1(f.ws);
    EXPECT_EQ(f.console(), "\n\tDynamic scale of the selected DEM : \n\tMin : 10.900000\tMax : 20.200000 "
                           "\n\n\tRecalculated dynamic scale in meters (integer values) : \n\tMin : 10\tMax : 20 "
                           "\n\n\tPixel size (decimal value in meters) ? ");
    EXPECT_EQ(f.ws.dpix_size, 2.5);
    EXPECT_EQ(f.ws.dsizepix, 2.5);
    EXPECT_EQ(f.ws.pix_size, 2);
    EXPECT_EQ(f.ws.pixel_surface, 6.25);
}

// Cells holding the header's nodata value: out of the range lines, read as
// the lowest altitude with data, and out of the calculated centre's slice.
TEST(Parameters1, CellsWithoutDataAreLeftOutAndReadAsLowland)
{
    StageFixture f("10\n40\n1\n0\n1\n");
    Rows rows = flat_rows(4, 5, 60);
    rows[0][0] = rows[0][1] = rows[3][4] = -9999;
    rows[1][2] = 75;
    set_elevations(f.ws, rows);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 5; ++j) f.ws.dtab[i][j] = rows[i][j] + (rows[i][j] == -9999 ? 0 : 0.5);
    f.ws.format = 0;
    f.ws.cellsize = 10;
    f.ws.nodata_declared = true;
    f.ws.nodata_value = -9999;
    parameters1(f.ws);
    EXPECT_EQ(f.console(), "\n\tDynamic scale of the selected DEM : \n\tMin : 60.500000\tMax : 75.500000 "
                           "\n\n\tRecalculated dynamic scale in meters (integer values) : \n\tMin : 60\tMax : 75 "
                           "\n\n\tPixel size (decimal value in meters) ? ");
    EXPECT_EQ(f.ws.nodata_cells, 3);
    EXPECT_EQ(f.ws.itab[0][1], 60);
    EXPECT_EQ(f.ws.itab3[3][4], 60);
    EXPECT_EQ(f.ws.dtab[0][0], 60.5);
    EXPECT_EQ(f.ws.dtab[1][2], 75.5);

    // A base line below the lowland: the calculated centre's slice still
    // leaves the cells without data out.
    f.open_files();
    parameters2(f.ws);
    EXPECT_EQ(f.ws.tab[0][0], 255);
    EXPECT_EQ(f.ws.tab[3][4], 255);
    EXPECT_EQ(f.ws.tab[0][2], 1);
    EXPECT_EQ(std::count(f.ws.tab.data(), f.ws.tab.data() + 20, 1), 17);

    // A DEM without any data is an error naming it; one whose header value no
    // cell holds has no mask at all.
    StageFixture g("10\n");
    set_elevations(g.ws, flat_rows(2, 2, -9999));
    g.ws.dtab.fill(-9999);
    g.ws.nomim1 = "/x/site/empty.asc";
    g.ws.nodata_declared = true;
    g.ws.nodata_value = -9999;
    try {
        parameters1(g.ws);
        ADD_FAILURE() << "no error";
    } catch (const RunEnd& e) {
        EXPECT_EQ(e.message, "\n\tError : /x/site/empty.asc holds no elevation: every cell holds its nodata value -9999\n");
    }
    StageFixture h("10\n");
    set_elevations(h.ws, flat_rows(2, 2, 5));
    h.ws.nodata_declared = true;
    h.ws.nodata_value = 5.5;
    parameters1(h.ws);
    EXPECT_EQ(h.ws.nodata_cells, 0);
    EXPECT_FALSE(h.ws.nodata);
}

TEST(Parameters2, ReportHeaderForEsriInputAndTruncatedBaseLine)
{
    StageFixture f("1523.8\n0\n1\n2\n1\n1\n");
    set_elevations(f.ws, flat_rows(3, 4, 1600));
    f.open_files();
    f.ws.format = 0;
    f.ws.nomim1 = "/x/site/dem1.asc";
    f.ws.nomgene = "gen";
    f.ws.X_min = 1000;
    f.ws.Y_min = 2000.5;
    f.ws.dmin = 10.9;
    f.ws.dmax = 20.2;
    f.ws.mind = 10;
    f.ws.maxd = 20;
    f.ws.dpix_size = 2.5;
    parameters2(f.ws);
    EXPECT_EQ(f.ws.base, 1523);
    EXPECT_EQ(f.ws.dbase, 1523.8);
    EXPECT_EQ(f.ws.pix_size, 2);
    EXPECT_EQ(f.ws.pixel_surface, 6.25);
    EXPECT_EQ(f.ws.i_gv, 1);
    EXPECT_EQ(f.ws.j_gv, 2);
    EXPECT_EQ(f.ws.UpSliVisu, 1);
    EXPECT_EQ(f.file("_info.txt"),
              "\n\tVOLCANIC CONE PARAMETERIZATION\n\n\tName of the treated file : /x/site/dem1.asc"
              "\n\tUTM coordinates : \n\t\tX_min = 1000.000000\tY_min = 2000.500000 "
              "\n\tDynamic scale of the selected DEM : \n\tMin : 10.900000\tMax : 20.200000 "
              "\n\n\tDynamic scale of the DEM in meters (integer values) : \n\tMin : 10\tMax : 20 "
              "\n\tHypsometric Interval : 1 meter\n\tPixel size = 2.500000 m"
              "\n\n\tGeneric name of the different file_out (without any extension) : gen "
              "\n\n\tAltitude of the base line (in meters) = 1523 "
              "\n\n\tGravity Center defined by the user ");
}

TEST(Parameters2, CalculatedCentreAndRawReportHeader)
{
    StageFixture f("100\n1\n0\n0\n2\n0\n");
    Rows rows = flat_rows(15, 30, 50);
    rows[10][20] = 100;  // exactly at the base line: part of the basal slice
    rows[12][24] = 130;
    set_elevations(f.ws, rows);
    f.open_files();
    f.ws.format = 1;
    f.ws.nomim1 = "/x/site/dem1_m2.raw";
    f.ws.nomgene = "dem1";
    f.ws.dmin = 50;
    f.ws.dmax = 130;
    f.ws.mind = 50;
    f.ws.maxd = 130;
    f.ws.dpix_size = 10;
    parameters2(f.ws);
    EXPECT_EQ(f.ws.grav_cent, 1);
    EXPECT_EQ(f.ws.i_gv, 11);
    EXPECT_EQ(f.ws.j_gv, 22);
    EXPECT_EQ(f.ws.tab[10][20], 1);
    EXPECT_EQ(f.ws.tab[0][0], 255);
    EXPECT_EQ(f.ws.NumSlices, 2);
    EXPECT_EQ(f.console().find("line   ?"), std::string::npos);
    EXPECT_EQ(f.file("_info.txt"),
              "\n\tVOLCANIC CONE PARAMETERIZATION\n\n\tName of the treated file : /x/site/dem1_m2.raw"
              "\n\tDynamic scale of the selected DEM : \n\tMin : 50.000000\tMax : 130.000000 "
              "\n\n\tDynamic scale of the DEM in meters (integer values) : \n\tMin : 50\tMax : 130 "
              "\n\tHypsometric Interval : 1 meter\n\tPixel size = 10.000000 m"
              "\n\n\tGeneric name of the different file_out (without any extension) : dem1 "
              "\n\n\tAltitude of the base line (in meters) = 100 "
              "\n\n\tGravity Center calculated from the basal slice ");
}

TEST(GravityCentre, ExamplesOfTheOriginalProgram)
{
    TestWorkspace t;
    Workspace& ws = t.ws;
    allocate_all(ws, 8, 8);
    ws.tab[2][3] = ws.tab[2][4] = ws.tab[5][4] = 1;
    ws.tab[7][7] = 255;  // not counted
    ws.flag_gc = 1;
    ws.i_gv = ws.j_gv = 6;
    gravity_center(ws);
    EXPECT_EQ(ws.i_gc, 3);
    EXPECT_EQ(ws.j_gc, 3);
    EXPECT_EQ(ws.i_gv, 6);  // mode 1 writes only i_gc, j_gc

    ws.tab.fill(0);
    ws.tab[0][0] = ws.tab[0][1] = 1;
    ws.flag_gc = 0;
    ws.i_gc = ws.j_gc = 4;
    gravity_center(ws);
    EXPECT_EQ(ws.i_gv, 0);
    EXPECT_EQ(ws.j_gv, 0);  // 0.5 rounds down
    EXPECT_EQ(ws.i_gc, 4);

    ws.flag_gc = 2;  // tab_pl only: empty, nothing changes
    gravity_center(ws);
    EXPECT_EQ(ws.i_gc, 4);
    EXPECT_EQ(ws.j_gc, 4);
    ws.tab_pl[6][2] = ws.tab_pl[7][3] = 1;
    gravity_center(ws);
    EXPECT_EQ(ws.i_gc, 6);
    EXPECT_EQ(ws.j_gc, 2);
}

TEST(GravityCentre, SumsBeyondThirtyTwoBits)
{
    // 1700 x 1700 cells: the line sum reaches 4.9e9.
    TestWorkspace t;
    Workspace& ws = t.ws;
    ws.nb_lig = ws.nb_col = 1700;
    ws.tab = nrutil::ucmatrice(1700, 1700);
    ws.tab.fill(1);
    ws.tab[0][0] = 0;
    ws.flag_gc = 0;
    gravity_center(ws);
    EXPECT_EQ(ws.i_gv, 849);
    EXPECT_EQ(ws.j_gv, 849);
}

TEST(Paths, RootDirectory)
{
    TempRoot keep;  // restores TEPHROMAT_ROOT afterwards
    setenv("TEPHROMAT_ROOT", "/data/cones", 1);
    EXPECT_EQ(root_directory(), "/data/cones/");
    setenv("TEPHROMAT_ROOT", "/data/cones/", 1);
    EXPECT_EQ(root_directory(), "/data/cones/");
    setenv("TEPHROMAT_ROOT", "", 1);
    const char* home = std::getenv("HOME");
    EXPECT_EQ(root_directory(), std::string(home ? home : "") + "/images/");
}
