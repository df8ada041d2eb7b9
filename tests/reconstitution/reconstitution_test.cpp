// Reconstitution: dilation, interpolation, shading,
// erosion, output DEMs and rebuilt-cone volumes.  The assertions read ktab,
// modif, the console, the report and the files, never the scratch grids.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "reconstitution.hpp"
#include "shading.hpp"
#include "stage_support.hpp"

namespace {

constexpr int U = unset_altitude;

std::vector<int> ktab_of(const Workspace& ws) { return {ws.ktab.data(), ws.ktab.data() + ws.ktab.size()}; }

void set_ktab(Workspace& ws, const Rows& rows)
{
    allocate_all(ws, int(rows.size()), int(rows[0].size()));
    for (int i = 0; i < ws.nb_lig; ++i)
        for (int j = 0; j < ws.nb_col; ++j) ws.ktab[i][j] = rows[i][j];
}

std::vector<int> dilat_once(const Rows& rows, int& modif)
{
    TestWorkspace t;
    set_ktab(t.ws, rows);
    t.ws.modif = 0;
    dilat(t.ws);
    modif = t.ws.modif;
    return ktab_of(t.ws);
}

}  // namespace

TEST(Dilat, EdgeCasesOfTheOriginalProgram)
{
    int modif = -1;
    EXPECT_EQ(dilat_once({{5, 7}, {9, 3}}, modif), (std::vector<int>{5, 7, 9, 3}));  // nothing to fill
    EXPECT_EQ(modif, 0);
    EXPECT_EQ(dilat_once({{U, U}, {U, U}}, modif), (std::vector<int>{U, U, U, U}));  // nothing filled
    EXPECT_EQ(modif, 0);
    // Last line: grown to 100, then halfway toward the last higher direct
    // neighbour in the order above, left, right: 110, giving 105.
    EXPECT_EQ(dilat_once({{100, 100, 100}, {120, U, 110}}, modif), (std::vector<int>{100, 100, 100, 120, 105, 110}));
    EXPECT_EQ(modif, 1);
    // A flat: no strictly higher direct neighbour, the cell stays unfilled.
    EXPECT_EQ(dilat_once({{50, 50, 50}, {50, U, 50}, {50, 50, 50}}, modif)[4], U);
    EXPECT_EQ(modif, 0);
    // (1, 1) has only a diagonal neighbour filled: the first pass (a cross)
    // leaves it, the second (a square) gives it 10 from (1, 2), filled by the
    // first pass; with the square on the first pass it would grow to 50 and
    // stay unfilled.
    EXPECT_EQ(dilat_once({{50, U, U, U}, {U, U, U, 10}, {U, U, U, U}}, modif),
              (std::vector<int>{50, U, 30, U, U, 30, U, 10, U, 30, U, U}));
    EXPECT_EQ(modif, 3);
}

namespace {

// interp on one line of cells: no outline, no slice zone and no smoothing, so
// that ktab shows the centre, the dilation and the closing fill alone.
struct Interp {
    TestWorkspace t;
    Workspace& ws = t.ws;
    Interp(const Rows& rows, int ci, int cj, int base)
    {
        set_elevations(ws, rows);
        ws.tab.fill(1);
        ws.i_gv = ci;
        ws.j_gv = cj;
        ws.base = base;
        ws.altmax = base;
        ws.flag_convex = 2;
    }
};

}  // namespace

TEST(Interp, IterationLinesAndFillingOnOneLine)
{
    Interp r({{100, 0, 0, 0, 101, 0, 0, 0, 103}}, 0, 4, 90);
    r.ws.tab[0][0] = r.ws.tab[0][8] = 0;
    interp(r.ws);
    EXPECT_EQ(ktab_of(r.ws), (std::vector<int>{100, 101, 101, 101, 101, 102, 102, 103, 103}));
    EXPECT_EQ(r.ws.coord_display, 2);
    EXPECT_EQ(r.ws.top, 101);
    const std::string c = r.t.console();
    EXPECT_EQ(c.find("\n\n\tFirst interpolation \n\t\tinside the crater \n\t\toutside the crater "
                     "\n\n\tCrater bottom 101 m\n"),
              0u);
    EXPECT_NE(c.find("\n\n\tCone reconstitution \n"
                     "\tIteration : 1 number of points = 6 modified points = 1 \r             "
                     "\tIteration : 2 number of points = 4 modified points = 2 \r             "
                     "\tIteration : 3 number of points = 1 modified points = 3 \r             "),
              std::string::npos)
        << c;
    EXPECT_EQ(count_of(c, "Iteration"), 3);
    // itab1 is the reference of the erosion: a copy of the present relief.
    EXPECT_EQ(r.ws.itab1[0][4], 101);
    EXPECT_EQ(r.ws.itab1[0][1], 0);
}

TEST(Interp, ClosingFillWaitsAndRoundsItsMeans)
{
    // Nothing but the centre is set and dilation leaves a flat: each scan of
    // the closing fill sets only the cell beside a set one, from the right.
    Interp pos({{0, 0, 0, 0, 7}}, 0, 4, 0);
    interp(pos.ws);
    EXPECT_EQ(ktab_of(pos.ws), (std::vector<int>{7, 7, 7, 7, 7}));
    // trunc(mean + 0.5) moves negative altitudes up by one at each scan.
    Interp neg({{-9, -9, -9, -9, -5}}, 0, 4, -10);
    interp(neg.ws);
    EXPECT_EQ(ktab_of(neg.ws), (std::vector<int>{-1, -2, -3, -4, -5}));
}

namespace {

// A 7 x 7 item at 110 above a base line at 100, centre (4, 4), with a crater
// radius so large that its disc leaves nothing to smooth.
std::vector<int> notched_cone(bool notch)
{
    Rows rows = flat_rows(9, 9, 95);
    for (int i = 1; i <= 7; ++i)
        for (int j = 1; j <= 7; ++j) rows[i][j] = 110;
    if (notch) rows[1][4] = 95;
    TestWorkspace t;
    Workspace& ws = t.ws;
    set_elevations(ws, rows);
    for (int i = 0; i < 9; ++i)
        for (int j = 0; j < 9; ++j) ws.tab[i][j] = rows[i][j] == 110;
    ws.i_gv = ws.j_gv = 4;
    ws.base = 100;
    ws.altmax = 110;
    ws.flag_convex = 2;
    ws.distmax_cr = 30.0;
    ws.h_crat = 0.0;
    ws.dalt_center = 110.0;
    interp(ws);
    return ktab_of(ws);
}

}  // namespace

TEST(Interp, SliceEnvelopePokingOutContributesNothing)
{
    // Without the notch every slice contour lies on the item's outline, the
    // highest (110) last; with the notch on the top side the envelope covers
    // one cell outside the item and no slice gives a contour: the outline
    // keeps the base line.
    const std::vector<int> full = notched_cone(false), notched = notched_cone(true);
    EXPECT_EQ(full[1 * 9 + 1], 110);
    EXPECT_EQ(full[7 * 9 + 4], 110);
    EXPECT_EQ(notched[1 * 9 + 1], 100);
    EXPECT_EQ(notched[7 * 9 + 4], 100);
    EXPECT_EQ(notched[1 * 9 + 4], 95);  // outside the item: the present relief
    EXPECT_EQ(notched[4 * 9 + 4], 110);  // the centre keeps its altitude
}

TEST(Shading, FlatRisingFallingAndScaleFree)
{
    auto shade = [](double d2, double d3, double res, double coeff) {
        TestWorkspace t;
        allocate_all(t.ws, 2, 2);
        t.ws.dtab_shad_in[1][0] = d2 * coeff;
        t.ws.dtab_shad_in[0][1] = d3 * coeff;
        t.ws.dsizepix = res;
        t.ws.coeff_rc = coeff;
        t.ws.dtab_shad_out.fill(-1);
        shadow_v2(t.ws);
        EXPECT_EQ(t.ws.dtab_shad_out[1][1], -1);  // last line and column never written
        EXPECT_EQ(t.ws.dtab_shad_out[1][0], -1);
        EXPECT_EQ(t.ws.dtab_shad_out[0][1], -1);
        return t.ws.dtab_shad_out[0][0];
    };
    const double flat = 255.999 * std::sin(35 * std::atan(1.0) / 45);
    EXPECT_NEAR(shade(0, 0, 10, 1), flat, 1e-9);
    EXPECT_NEAR(shade(0, 0, 10, 1), 146.83, 0.005);
    EXPECT_NEAR(shade(10, -10, 10, 1), 255.996, 0.0005);
    EXPECT_EQ(shade(0, 2.5, 2.5, 1), 0.0);
    for (double d2 : {-7.0, 0.0, 3.0, 12.5})
        for (double d3 : {-4.0, 0.0, 8.0}) EXPECT_NEAR(shade(d2, d3, 10, 1), shade(d2, d3, 10, 1000), 1e-9);

    // A line shaded two cells at a time gives shade()'s bits, cell by cell:
    // lines of odd and even lengths, flat runs, cliffs, a pixel size of 0
    // (bn of 0 on flat cells), facing and turned away from the light.
    std::mt19937_64 rng(7);
    for (double res : {10.0, 1.0, 0.0, 1e-3, 250.0})
        for (double relief : {0.0, 0.5, 30.0, 1e6})
            for (int n : {0, 1, 2, 3, 8, 33}) {
                TestWorkspace t;
                t.ws.dsizepix = res;
                t.ws.coeff_rc = 1;
                const Light light(t.ws);
                std::vector<double> here(std::size_t(n) + 1), below(std::size_t(n) + 1);
                std::uniform_real_distribution<double> h(-relief, relief);
                for (int j = 0; j <= n; ++j) {
                    here[std::size_t(j)] = j % 5 == 1 ? 0.0 : h(rng);
                    below[std::size_t(j)] = j % 5 == 1 ? 0.0 : h(rng);
                }
                std::vector<double> out(std::size_t(n) + 1, -1.0);
                light.shade_line(here.data(), below.data(), out.data(), n);
                for (int j = 0; j < n; ++j) {
                    const double expected = light.shade(here[std::size_t(j)], below[std::size_t(j)], here[std::size_t(j) + 1]);
                    EXPECT_EQ(std::memcmp(&out[std::size_t(j)], &expected, sizeof expected), 0)
                        << "res " << res << " relief " << relief << " n " << n << " j " << j;
                }
                EXPECT_EQ(out[std::size_t(n)], -1.0);  // nothing past n
            }
}

TEST(TreatmentRec, SliceVolumesOfTheRebuiltCone)
{
    StageFixture f;
    Workspace& ws = f.ws;
    set_elevations(ws, {{103, 101, 100, 110, 110}});
    ws.tab.fill(1);
    ws.tab[0][4] = 0;
    f.open_files();
    ws.base = 100;
    ws.altmax = 103;
    ws.high = 1.0;
    ws.dsizepix = 10000;
    ws.first_volume = 0.5;
    treatment_rec(ws);
    EXPECT_EQ(f.console(), "\tNumber of pixels in the slice 101 = 3     \r  \tNumber of pixels in the slice 102 = 2     \r  "
                           "\tNumber of pixels in the slice 103 = 2     \r  \n\n\tGLOBAL VOLUME =     0.700 km3"
                           "\n\n\tVolumetric difference = 0.200000 km3");
    EXPECT_EQ(ws.pixsurf, 1e8);
    EXPECT_EQ(f.file("_info.txt"), "\n\n\tGLOBAL VOLUME =     0.700 km3");

    StageFixture g;
    set_elevations(g.ws, {{103, 101}});
    g.ws.tab.fill(1);
    g.open_files();
    g.ws.base = g.ws.altmax = 100;
    g.ws.dsizepix = 10;
    g.ws.first_volume = 0.5;
    treatment_rec(g.ws);
    EXPECT_EQ(g.console(), "\n\n\tGLOBAL VOLUME =     0.000 km3\n\n\tVolumetric difference = -0.500000 km3");
}

namespace {

// rec_volc on a present relief and a rebuilt cone, every cell in the item,
// with the output files that the opening dialogue would have created.
struct Products {
    StageFixture f;
    Workspace& ws = f.ws;
    Products(const Rows& present, const Rows& rebuilt, int format_out, int itype_out, int scale)
    {
        set_elevations(ws, present);
        for (int i = 0; i < ws.nb_lig; ++i)
            for (int j = 0; j < ws.nb_col; ++j) {
                ws.itab1[i][j] = present[i][j];
                ws.ktab[i][j] = rebuilt[i][j];
                ws.altmax = std::max(ws.altmax, present[i][j]);
            }
        ws.tab.fill(1);
        f.open_files();
        ws.base = 0;
        ws.high = 1.0;
        ws.dsizepix = ws.dpix_size = 10;
        ws.pix_size = 10;
        ws.i_gv = ws.j_gv = 2;
        ws.coord_display = 2;
        ws.format_out = format_out;
        ws.itype_out = itype_out;
        ws.dyn_scale_out = scale;
        const std::string g = f.dir + "t";
        const int val = itype_out == 0 ? 2 : 4;
        if (format_out == 1) {
            ws.nomrec1 = g + "_rec1.raw";
            ws.nomeros1 = g + "_eros.raw";
            ws.nomshad1 = g + "_shad.raw";
            ws.nomshaderos1 = g + "_shaderos.raw";
            ws.frec1 = ws.create(ws.nomrec1, true);
            ws.fdrec1 = ws.create(g + "_rec1.txt", false);
            ws.fdrec1.printf("%d\n%d\n%d\n", ws.nb_lig, ws.nb_col, val);
            ws.feros1 = ws.create(ws.nomeros1, true);
            ws.fderos1 = ws.create(g + "_eros.txt", false);
            ws.fderos1.printf("%d\n%d\n%d\n", ws.nb_lig, ws.nb_col, val);
            ws.fshad1 = ws.create(ws.nomshad1, true);
            ws.fshaderos1 = ws.create(ws.nomshaderos1, true);
        } else {
            ws.nomrec1 = g + "_rec1.asc";
            ws.nomeros1 = g + "_eros1.asc";
            ws.nomshad1 = g + "_shad1.asc";
            ws.nomshaderos1 = g + "_shaderos1.asc";
            ws.frec1 = ws.create(ws.nomrec1, false);
            ws.feros1 = ws.create(ws.nomeros1, false);
            ws.fshad1 = ws.create(ws.nomshad1, false);
            ws.fshaderos1 = ws.create(ws.nomshaderos1, false);
        }
        rec_volc(ws);
        ws.close_all();
    }
    std::vector<std::int64_t> samples(const std::string& suffix, int width)
    {
        const std::string b = read_file(f.dir + "t" + suffix);
        std::vector<std::int64_t> v;
        for (std::size_t p = 0; p + width <= b.size(); p += width) {
            std::uint32_t u = 0;
            for (int k = 0; k < width; ++k) u |= std::uint32_t(std::uint8_t(b[p + k])) << (8 * k);
            v.push_back(width == 2 ? std::int64_t(u) : std::int64_t(std::int32_t(u)));
        }
        return v;
    }
};

}  // namespace

TEST(RecVolc, NoErosionAndFlatShading)
{
    const Rows relief = flat_rows(5, 6, 120);
    Products p(relief, relief, 1, 0, 0);
    EXPECT_EQ(read_file(p.f.dir + "t_eros.txt"), "5\n6\n2\n0\n0\n10\n\n\n\tMaximum erosion thickness = 0.000000 m ");
    EXPECT_EQ(read_file(p.f.dir + "t_rec1.txt"), "5\n6\n2\n120\n120\n10\n\n\n\tReconstructed volcanic cone from a baseline "
                                                 "\n\tlocated at 0 meters and a gravity center (i=2, j=2) ");
    EXPECT_EQ(p.samples("_eros.raw", 2), std::vector<std::int64_t>(30, 0));
    // A flat cone shades alike everywhere: 254 but on the last line and column.
    const std::string shad = read_file(p.f.dir + "t_shad.raw");
    ASSERT_EQ(shad.size(), 30u);
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 6; ++j)
            EXPECT_EQ(std::uint8_t(shad[i * 6 + j]), (i == 4 || j == 5) ? 0 : 254) << i << "," << j;
    EXPECT_EQ(read_file(p.f.dir + "t_shaderos.raw"), shad);  // no erosion: flat too
}

TEST(RecVolc, ErosionIsSmoothedInsideTheFrame)
{
    Rows present = flat_rows(6, 7, 100), rebuilt = flat_rows(6, 7, 100);
    rebuilt[3][3] = 103;  // isolated: one ninth of 3 m, 3 dm
    rebuilt[0][5] = 190;  // on the frame: 0 there, and 90 m in the mean of (1, 5)
    rebuilt[1][5] = 109;
    Products p(present, rebuilt, 1, 1, 1);
    const auto eros = p.samples("_eros.raw", 4);
    ASSERT_EQ(eros.size(), 42u);
    std::vector<std::int64_t> expected(42, 0);
    expected[3 * 7 + 3] = 3;
    expected[1 * 7 + 5] = 110;  // (90 + 9) / 9 m = 11 m
    EXPECT_EQ(eros, expected);
    EXPECT_EQ(read_file(p.f.dir + "t_eros.txt"), "6\n7\n4\n0\n110\n10\n\n\n\tMaximum erosion thickness = 90.000000 m ");
    const auto rec = p.samples("_rec1.raw", 4);
    EXPECT_EQ(rec[5], 1090);  // the first line repeats the second
    EXPECT_EQ(rec[7 + 5], 1090);
    EXPECT_EQ(rec[3 * 7 + 3], 1030);
    for (unsigned char c : read_file(p.f.dir + "t_shaderos.raw")) EXPECT_NE(c, 255);
}

// The largest erosion thickness against the volcanic height (60 m above a
// base line at 0): equal passes, one metre more is told after the erosion
// DEM's line, and recorded.
TEST(RecVolc, ErosionAboveTheVolcanicHeight)
{
    for (const int top : {120, 121}) {
        Rows rebuilt = flat_rows(5, 5, 60);
        rebuilt[2][2] = top;
        Products p(flat_rows(5, 5, 60), rebuilt, 0, 0, 0);
        const std::string warning = "\n\tWarning : the largest erosion thickness (61.00 m) exceeds the volcanic height "
                                    "(60.00 m) : the rebuilt cone is implausible : check the centre point and the base line ";
        const std::string told = "\n\tErosion DEM saved as " + p.f.dir + "t_eros1.asc " + warning + "\n\tShadowed DEM";
        EXPECT_EQ(p.f.console().find(told) != std::string::npos, top == 121) << p.f.console();
        EXPECT_EQ(read_file(p.f.dir + "t_info.txt").find(told) != std::string::npos, top == 121);
        EXPECT_EQ(p.ws.warnings.size(), top == 121 ? 1u : 0u);
        EXPECT_EQ(count_of(p.f.console(), "Warning"), top == 121 ? 1 : 0);
    }
}

TEST(RecVolc, SixteenBitWrapAndDecimetres)
{
    Rows present = flat_rows(4, 4, 60), rebuilt = flat_rows(4, 4, 60);
    rebuilt[2][2] = 70;
    Products mm(present, rebuilt, 1, 0, 3);  // 70 m in millimetres: 70000 wraps to 4464
    const auto rec = mm.samples("_rec1.raw", 2);
    EXPECT_EQ(rec[2 * 4 + 2], 4464);
    EXPECT_EQ(rec[0], 60000);
    EXPECT_EQ(read_file(mm.f.dir + "t_rec1.txt").substr(0, 21), "4\n4\n2\n60000\n70000\n10\n");
    // Cells that wrap are told, after the erosion's line: here the rebuilt
    // cone's only; then both (100 m of erosion in millimetres).
    const std::string wrap = " exceed the 16-bit samples in this unit and wrap modulo 65536 : choose 32-bit samples or a coarser unit ";
    const std::string mm_text = "\n\tErosion DEM saved as " + mm.f.dir + "t_eros.raw \n\tWarning : 1 cells of " + mm.f.dir +
                                "t_rec1.raw" + wrap + "\n\tShadowed DEM saved as ";
    EXPECT_NE(mm.f.console().find(mm_text), std::string::npos) << mm.f.console();
    EXPECT_NE(read_file(mm.f.dir + "t_info.txt").find(mm_text), std::string::npos);
    // 100 m of erosion on a relief 0 m high: implausible, told after them.
    Products both(flat_rows(5, 5, 0), flat_rows(5, 5, 100), 1, 0, 3);
    EXPECT_NE(both.f.console().find("\n\tWarning : 25 cells of " + both.f.dir + "t_rec1.raw" + wrap + "\n\tWarning : 9 cells of " +
                                    both.f.dir + "t_eros.raw" + wrap +
                                    "\n\tWarning : the largest erosion thickness (100.00 m) exceeds the volcanic height "
                                    "(0.00 m) : the rebuilt cone is implausible : check the centre point and the base line "
                                    "\n\tShadowed DEM saved as "),
              std::string::npos)
        << both.f.console();

    // the true extremes of the samples, below 0 too.
    Rows low = flat_rows(4, 4, -5);
    low[1][1] = -7;
    Products neg(low, low, 1, 0, 0);
    EXPECT_EQ(read_file(neg.f.dir + "t_rec1.txt").substr(0, 15), "4\n4\n2\n-7\n-5\n10\n");
    EXPECT_EQ(neg.samples("_rec1.raw", 2)[5], 65529);

    Rows high = flat_rows(4, 4, 1234);
    Products dm(high, high, 1, 1, 1);
    EXPECT_EQ(dm.samples("_rec1.raw", 4), std::vector<std::int64_t>(16, 12340));
    Products esri(high, high, 0, 0, 0);
    const std::string asc = read_file(esri.f.dir + "t_rec1.asc");
    EXPECT_EQ(asc.substr(0, asc.find("1234.000000")), "ncols 4\nnrows 4\nxllcorner 0.000000\nyllcorner 0.000000\n"
                                                      "cellsize 10.000000\nnodata_value -9999.9999\n");
    EXPECT_EQ(count_of(asc, "1234.000000\t"), 16);
    EXPECT_EQ(asc.back(), '\t');
    EXPECT_EQ(count_of(asc, "\n"), 6);
    const std::string shad = read_file(esri.f.dir + "t_shad1.asc");
    EXPECT_EQ(shad.substr(shad.find("-9999.9999\n") + 11), "254\t254\t254\t0\t254\t254\t254\t0\t254\t254\t254\t0\t0\t0\t0\t0\t");
    // The ESRI samples are written without printf: the same text as "%lf"
    // for every unit and any 32-bit sample.
    std::mt19937 random(7);
    for (int k = 0; k < 200000; ++k) {
        const std::int32_t n = k < 8 ? std::vector<std::int32_t>{0, -1, 1, 999, -1000, 1001, INT32_MIN, INT32_MAX}[k]
                                     : std::int32_t(k % 2 ? random() : random() % 20001 - 10000);
        for (int decimals = 0; decimals <= 3; ++decimals) {
            char fast[64], printed[64];
            *put_output_metres(fast, n, decimals) = '\0';
            std::snprintf(printed, sizeof printed, "%lf", n / std::pow(10.0, decimals));
            ASSERT_STREQ(fast, printed) << n << " " << decimals;
        }
    }
    const std::string info = read_file(esri.f.dir + "t_info.txt");
    EXPECT_NE(info.find("\n\n\tDEM of the reconstituted cone saved as " + esri.f.dir + "t_rec1.asc "
                        "\n\tErosion DEM saved as " + esri.f.dir + "t_eros1.asc "
                        "\n\tShadowed DEM saved as " + esri.f.dir + "t_shad1.asc "
                        "\n\tShadowed eroded deposits saved as " + esri.f.dir + "t_shaderos1.asc "),
              std::string::npos);
}

TEST(Interp, CraterDiscTakesTheCentreOutOfTheSmoothing)
{
    // the smallest ring of the disc (radius 1.5) reaches the centre cell,
    // which keeps the present altitude 100 although its window, smoothed and
    // raised to the present relief, would lie near 120.
    Rows rows = flat_rows(9, 9, 90);
    for (int i = 1; i <= 7; ++i)
        for (int j = 1; j <= 7; ++j) rows[i][j] = 120;
    rows[4][4] = 100;
    TestWorkspace t;
    Workspace& ws = t.ws;
    set_elevations(ws, rows);
    for (int i = 0; i < 9; ++i)
        for (int j = 0; j < 9; ++j) ws.tab[i][j] = rows[i][j] >= 100;
    ws.i_gv = ws.j_gv = 4;
    ws.base = 100;
    ws.altmax = 120;
    ws.flag_convex = 2;
    ws.distmax_cr = 1.5;
    ws.h_crat = 20.0;
    ws.dalt_center = 100.0;
    interp(ws);
    EXPECT_EQ(ws.ktab[4][4], 100);
    EXPECT_EQ(ws.ktab[3][4], 120);  // the crater ring, fonc[1] = 120
    EXPECT_EQ(ws.ktab[6][6], 120);  // smoothed, never below the present relief
    EXPECT_EQ(ws.ktab[0][0], 90);
}
