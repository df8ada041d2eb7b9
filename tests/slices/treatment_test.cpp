// Slice analysis, convex envelope, crater and the gravity-centre model,
// through the stages and the files they write.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <sstream>

#include "edifice_levels.hpp"
#include "gravcenter_model.hpp"
#include "plausibility.hpp"
#include "random_relief.hpp"
#include "slices.hpp"
#include "stage_support.hpp"

namespace {

// treatment on `rows` with the base line, the centre and a pixel size; the
// model draws no basal and no upper slice unless a test says otherwise.
struct Slicing {
    StageFixture f;
    Workspace& ws = f.ws;
    Slicing(const Rows& rows, int base, int ci, int cj, double pixel = 10)
    {
        set_elevations(ws, rows);
        f.open_files();
        ws.base = base;
        ws.dbase = base;
        ws.i_gv = ci;
        ws.j_gv = cj;
        ws.dpix_size = ws.dsizepix = pixel;
        ws.pix_size = int(pixel);
        ws.pixel_surface = pixel * pixel;
        ws.Basic_Slice = -1;
        ws.UpSliVisu = 1;
    }
};

// `rows` with `value` on lines i0..i1, columns j0..j1.
void block(Rows& rows, int i0, int i1, int j0, int j1, int value)
{
    for (int i = i0; i <= i1; ++i)
        for (int j = j0; j <= j1; ++j) rows[i][j] = value;
}

std::vector<std::string> lines_of(const std::string& s)
{
    std::vector<std::string> v;
    std::istringstream in(s);
    for (std::string l; std::getline(in, l);) v.push_back(l);
    return v;
}

}  // namespace

TEST(Treatment, FiveByFiveSquareBasalAndSliceSurfaces)
{
    Rows rows = flat_rows(9, 9, 99);
    block(rows, 2, 6, 2, 6, 101);
    Slicing s(rows, 100, 4, 4);
    treatment(s.ws);
    EXPECT_EQ(s.f.file("_surf_slice.xls"), "Distance (m)\tSurface (m2)\tVolume (m3)\tSlice\tAltitud (m)\n"
                                           "0.000000\t1700.000000\t1700.000000\t0\t100\n"
                                           "0.000000\t1900.000000\t1900.000000\t1\t101\n");
    // Eight outline pixels tie for the longest radius: (2, 3) comes first.
    EXPECT_EQ(s.f.file("_orient.xls"), "Orientation\tAltitud\n153.434949\t101\n");
    EXPECT_EQ(s.ws.nb_pix_tot, 25);
    EXPECT_EQ(s.ws.nb_pix_per, 16);
    EXPECT_NE(s.f.console().find("\n\n\tFirst Treatment\n\n\tSlice 1 altitude 101 meters          \r  "
                                 "\n\n\tGlobal Volume of the edifice from 100 until 101 m : \n\t\t 0.000002 km3"),
              std::string::npos);
}

TEST(Treatment, BorderPixelsCountWholeInTheBasalSliceAndNotInTheSlices)
{
    Rows rows = flat_rows(6, 6, 90);
    block(rows, 3, 5, 3, 5, 101);  // touches the last line and column (line 0 is never reached)
    Slicing s(rows, 100, 4, 4);
    treatment(s.ws);
    const auto surf = lines_of(s.f.file("_surf_slice.xls"));
    ASSERT_EQ(surf.size(), 3u);
    // Basal: 6 whole pixels (5 on the border), 3 interior perimeter pixels.
    EXPECT_EQ(surf[1].substr(surf[1].find('\t')), "\t750.000000\t750.000000\t0\t100");
    // Slice: 4 interior pixels, (3, 3) thinned away, (3, 4) and (4, 3) halves.
    EXPECT_EQ(surf[2].substr(surf[2].find('\t')), "\t300.000000\t300.000000\t1\t101");
}

TEST(Treatment, EdificeThreeMetresHigh)
{
    Rows rows = flat_rows(11, 11, 90);
    block(rows, 2, 8, 2, 8, 101);
    block(rows, 3, 7, 3, 7, 102);
    block(rows, 4, 6, 4, 6, 103);
    Slicing s(rows, 100, 5, 5, 100);
    treatment(s.ws);
    EXPECT_EQ(s.ws.altmax, 103);
    EXPECT_EQ(s.ws.b_crat, 103);
    EXPECT_EQ(s.ws.high, 1.0);
    EXPECT_DOUBLE_EQ(s.ws.first_volume, 650000 * 1e-9);
    EXPECT_EQ(s.ws.flag_convex, 2);
    EXPECT_EQ(s.ws.coord_display, 1);
    // The summit (6, 6) is off the centre's line and column: the crater runs.
    EXPECT_DOUBLE_EQ(s.ws.distmin_cr, std::sqrt(2.0));
    EXPECT_DOUBLE_EQ(s.ws.distmax_cr, std::sqrt(8.0));
    EXPECT_EQ(s.f.file("_surf_slice.xls"), "Distance (m)\tSurface (m2)\tVolume (m3)\tSlice\tAltitud (m)\n"
                                           "0.000000\t370000.000000\t370000.000000\t0\t100\n"
                                           "0.000000\t390000.000000\t390000.000000\t1\t101\n"
                                           "0.000000\t190000.000000\t190000.000000\t2\t102\n"
                                           "0.000000\t70000.000000\t70000.000000\t3\t103\n");
    EXPECT_EQ(s.f.file("_orient.xls"), "Orientation\tAltitud\n146.309932\t101\n153.434949\t102\n180.000000\t103\n");
    EXPECT_EQ(s.f.file("_info.txt"), "\n\n\tOnly one zone located upper the base line \n\n\tChosen item = 1 "
                                     "\n\n\tUpper dynamic scale reached : 103 "
                                     "\n\n\tGlobal Volume of the edifice from 100 until 103 m : \n\t\t 0.000650 km3");
    // Frame rows five pixels outside the box, then one centre row per slice.
    EXPECT_EQ(s.f.file("_gravcenters.xyz"), "-3\t-3\t1\n13\t-3\t1\n-3\t13\t1\n13\t13\t1\n5\t5\t1\n5\t5\t1\n5\t5\t1\n");
}

TEST(Treatment, OrientationOfTheLongestRadius)
{
    EXPECT_DOUBLE_EQ(slice_orientation(5, 5, 2, 5), 180.0);  // straight up
    EXPECT_DOUBLE_EQ(slice_orientation(5, 5, 8, 5), 180.0);
    EXPECT_DOUBLE_EQ(slice_orientation(5, 5, 5, 8), 90.0);  // to the right
    EXPECT_DOUBLE_EQ(slice_orientation(5, 5, 5, 2), 90.0);
    EXPECT_NEAR(slice_orientation(5, 5, 2, 8), 45.0, 1e-12);
    EXPECT_NEAR(slice_orientation(5, 5, 2, 2), 135.0, 1e-12);

    // Two outline pixels at the longest distance, (4, 2) and (4, 8): the
    // first in scan order gives 71.57, the other would give 108.43.
    Rows rows = flat_rows(9, 11, 90);
    block(rows, 3, 4, 2, 8, 101);
    block(rows, 5, 5, 4, 6, 101);
    rows[6][5] = 101;
    Slicing s(rows, 100, 4, 5);
    treatment(s.ws);
    EXPECT_EQ(s.f.file("_orient.xls"), "Orientation\tAltitud\n71.565051\t101\n");
}

TEST(Treatment, TopSliceOfOnePixelOrNone)
{
    // the unique top pixel (2, 2) lies off the centre: the slice keeps it,
    // its centre row is the pixel itself and it has no orientation row.
    Rows rows = flat_rows(7, 7, 90);
    block(rows, 1, 5, 1, 5, 101);
    rows[2][2] = 102;
    {
        Slicing s(rows, 100, 3, 3);
        treatment(s.ws);
        EXPECT_EQ(s.f.file("_orient.xls"), "Orientation\tAltitud\n153.434949\t101\n");
        const auto gc = lines_of(s.f.file("_gravcenters.xyz"));
        ASSERT_EQ(gc.size(), 6u);
        EXPECT_EQ(gc[5], "2\t2\t10");
        EXPECT_EQ(lines_of(s.f.file("_surf_slice.xls"))[3], "14.142136\t50.000000\t50.000000\t2\t102");
        EXPECT_DOUBLE_EQ(s.ws.distmin_cr, std::sqrt(8.0));  // the summit is off the centre
    }
    {
        // The centre is that pixel: the labelling drops it, the slice is empty:
        // no centre row, no orientation row, surface 0, gravity centre kept.
        Slicing s(rows, 100, 2, 2);
        treatment(s.ws);
        EXPECT_EQ(s.f.file("_orient.xls"), "Orientation\tAltitud\n153.434949\t101\n");
        EXPECT_EQ(lines_of(s.f.file("_gravcenters.xyz")).size(), 5u);
        const auto surf = lines_of(s.f.file("_surf_slice.xls"));
        EXPECT_EQ(surf[2], "14.142136\t1900.000000\t1900.000000\t1\t101");
        EXPECT_EQ(surf[3], "14.142136\t0.000000\t0.000000\t2\t102");
        EXPECT_EQ(s.ws.distmax_cr, 0.0);  // the summit is the centre
    }
}

TEST(Treatment, NoSliceAndSummitOnTheCentreLineSkipTheCrater)
{
    // everything at the base line, the summit search would find (5, 5).
    Slicing flat(flat_rows(7, 7, 0), 0, 2, 2);
    treatment(flat.ws);
    EXPECT_EQ(flat.ws.distmin_cr, 0.0);
    EXPECT_EQ(flat.ws.distmax_cr, 0.0);
    EXPECT_EQ(flat.f.file("_orient.xls"), "Orientation\tAltitud\n");
    EXPECT_EQ(lines_of(flat.f.file("_surf_slice.xls")).size(), 2u);
    EXPECT_NE(flat.f.console().find("from 0 until 0 m : \n\t\t 0.000000 km3"), std::string::npos);

    Rows rows = flat_rows(11, 11, 90);
    block(rows, 1, 9, 1, 9, 101);
    rows[5][1] = 110;  // far from the centre (5, 8), but on its line
    Slicing s(rows, 100, 5, 8);
    treatment(s.ws);
    EXPECT_EQ(s.ws.altmax, 110);
    EXPECT_EQ(s.ws.distmin_cr, 0.0);
    EXPECT_EQ(s.ws.distmax_cr, 0.0);
}

TEST(Treatment, EdificeBelowSeaLevelGetsItsRealTop)
{
    // altmax is the true top, -20 m, not the start value 0.
    Rows rows = flat_rows(7, 7, -50);
    block(rows, 1, 5, 1, 5, -30);
    block(rows, 2, 4, 2, 4, -20);
    Slicing s(rows, -40, 3, 3);
    treatment(s.ws);
    EXPECT_EQ(s.ws.altmax, -20);
    const auto surf = lines_of(s.f.file("_surf_slice.xls"));
    ASSERT_EQ(surf.size(), 22u);
    EXPECT_EQ(surf[21], "0.000000\t700.000000\t700.000000\t20\t-20");
    EXPECT_NE(s.f.file("_info.txt").find("\n\n\tUpper dynamic scale reached : -20 "), std::string::npos);
}

TEST(Treatment, UpperSlicesOfTheModel)
{
    Rows rows = flat_rows(7, 7, 90);
    block(rows, 1, 5, 1, 5, 150);
    rows[3][2] = rows[3][3] = 190;
    Slicing s(rows, 100, 3, 3, 1);
    s.ws.UpSliVisu = 0;
    s.ws.NumSlices = 4;
    s.ws.VisuType = 0;
    treatment(s.ws);
    std::map<int, int> rows_at;
    for (const std::string& l : lines_of(s.f.file("_gravcenters.xyz"))) ++rows_at[std::stoi(l.substr(l.rfind('\t')))];
    std::map<int, int> drawn;
    for (auto [z, n] : rows_at)
        if (z > 100 && n > 1) drawn[z] = n;
    EXPECT_EQ(drawn, (std::map<int, int>{{122, 26}, {144, 26}, {166, 3}, {190, 3}}));
    EXPECT_EQ(rows_at[100], 4);  // the frame only
}

TEST(GravityModel, LevelsFrameRowsAndZ)
{
    TestWorkspace t;
    Workspace& ws = t.ws;
    ws.base = 100;
    ws.altmax = 190;
    ws.NumSlices = 4;
    std::vector<int> shown;
    for (int k = 101; k <= 190; ++k)
        if (model_shows_slice(ws, k)) shown.push_back(k);
    EXPECT_EQ(shown, (std::vector<int>{122, 144, 166, 190}));
    ws.altmax = 103;
    ws.NumSlices = 5;
    shown.clear();
    for (int k = 101; k <= 103; ++k)
        if (model_shows_slice(ws, k)) shown.push_back(k);
    EXPECT_EQ(shown, std::vector<int>{103});
    ws.NumSlices = 11;
    EXPECT_FALSE(model_shows_slice(ws, 103));
    ws.NumSlices = 5;
    ws.UpSliVisu = 1;
    EXPECT_FALSE(model_shows_slice(ws, 103));

    StageFixture f;
    allocate_all(f.ws, 8, 12);
    f.open_files();
    f.ws.tab[0][3] = f.ws.tab[1][3] = f.ws.tab[1][4] = 1;  // touches the first line
    f.ws.base = 1234;
    f.ws.pix_size = 10;
    model_frame_rows(f.ws);
    EXPECT_EQ(model_z(f.ws, 1234), 123);
    f.ws.pix_size = 0;  // below one metre, the real pixel size
    f.ws.dsizepix = 0.5;
    EXPECT_EQ(model_z(f.ws, 1234), 2468);
    EXPECT_EQ(f.file("_gravcenters.xyz"), "-2\t-5\t123\n9\t-5\t123\n-2\t6\t123\n9\t6\t123\n");
}

TEST(Crater, RadiiExamples)
{
    auto radii = [](std::vector<std::pair<int, int>> summits) {
        TestWorkspace t;
        allocate_all(t.ws, 20, 20);
        t.ws.tab.fill(1);
        t.ws.itab.fill(150);
        for (auto [i, j] : summits) t.ws.itab[i][j] = 200;
        t.ws.altmax = 200;
        t.ws.i_gv = 5;
        t.ws.j_gv = 5;
        crater(t.ws);
        return std::make_pair(t.ws.distmin_cr, t.ws.distmax_cr);
    };
    auto r = radii({{8, 9}});
    EXPECT_DOUBLE_EQ(r.first, std::sqrt(41.0));
    EXPECT_DOUBLE_EQ(r.second, std::sqrt(41.0));
    r = radii({{6, 4}});
    EXPECT_DOUBLE_EQ(r.first, std::sqrt(8.0));
    r = radii({{4, 9}, {10, 12}});
    EXPECT_DOUBLE_EQ(r.first, std::sqrt(29.0));
    EXPECT_DOUBLE_EQ(r.second, 10.0);
}

namespace {

// The spill level as its definition gives it: the lowest altitude L, among
// those of the item, at which the cells of the item at or below L joined to
// (pi, pj) reach a cell on the grid's border or next to one outside the item.
std::int64_t spill_level_by_minimax(const nrutil::IGrid& z, const nrutil::UcGrid& item, int pi, int pj)
{
    const int nl = z.lines(), nc = z.columns();
    std::vector<std::int64_t> levels;
    for (int i = 0; i < nl; ++i)
        for (int j = 0; j < nc; ++j)
            if (item[i][j] == 1 && z[i][j] >= z[pi][pj]) levels.push_back(z[i][j]);
    std::sort(levels.begin(), levels.end());
    for (const std::int64_t level : levels) {
        nrutil::UcGrid seen(nc, nl);
        std::vector<std::pair<int, int>> todo{{pi, pj}};
        seen[pi][pj] = 1;
        while (!todo.empty()) {
            const auto [i, j] = todo.back();
            todo.pop_back();
            bool exit = i == 0 || j == 0 || i == nl - 1 || j == nc - 1;
            for (int a = i - 1; a <= i + 1; ++a)
                for (int b = j - 1; b <= j + 1; ++b) {
                    if (a < 0 || b < 0 || a >= nl || b >= nc) continue;
                    if (item[a][b] != 1) exit = true;
                    if (item[a][b] == 1 && z[a][b] <= level && !seen[a][b]) {
                        seen[a][b] = 1;
                        todo.push_back({a, b});
                    }
                }
            if (exit) return level;
        }
    }
    ADD_FAILURE() << "no exit";
    return 0;
}

}  // namespace

// The flood from the centre against the definition, on random grids: noise
// with plateaus, bowls (a centre in a closed depression), the reliefs of the
// other stage tests with their edifice as the item; items not always
// connected; altitudes near the 32-bit limits.
TEST(CraterChecks, SpillLevelAgreesWithAMinimaxSearchOnRandomGrids)
{
    int closed = 0;
    for (std::uint64_t seed = 1; seed <= 900; ++seed) {
        SCOPED_TRACE(seed);
        Rng rng(seed);
        const int kind = int(seed % 3);
        int nl = rng.uniform(1, 20), nc = rng.uniform(1, 20);
        Relief relief;
        if (kind == 2) {
            relief = random_relief(seed, 30);
            nl = relief.lines;
            nc = relief.columns;
        }
        nrutil::IGrid z(nc, nl);
        nrutil::UcGrid item(nc, nl);
        const int offsets[] = {0, -5000, 2147483647 - 400, -2147483647};
        const int offset = kind == 2 ? 0 : offsets[rng.uniform(0, 3)];
        const int span = rng.uniform(0, 3) == 0 ? 2 : rng.uniform(3, 40);
        const double density = rng.uniform(0, 1) == 0 ? 1.0 : 0.8 + 0.2 * rng.unit();
        const int bi = rng.uniform(0, nl - 1), bj = rng.uniform(0, nc - 1);
        const int slope = rng.uniform(1, 9);
        for (int i = 0; i < nl; ++i)
            for (int j = 0; j < nc; ++j) {
                if (kind == 2) {
                    z[i][j] = relief.at(i, j);
                    item[i][j] = relief.at(i, j) >= relief.base;
                    continue;
                }
                const int bowl = kind == 1 ? int(slope * std::hypot(i - bi, j - bj)) : 0;
                z[i][j] = offset + std::min(bowl + rng.uniform(0, span), 360);
                item[i][j] = rng.unit() < density ? 1 : 0;
            }
        int pi = kind == 2 ? relief.centre_i : rng.uniform(0, nl - 1), pj = kind == 2 ? relief.centre_j : rng.uniform(0, nc - 1);
        if (kind == 1) {
            pi = bi;
            pj = bj;
        }
        item[pi][pj] = 1;
        const std::int64_t level = spill_level(z, item, pi, pj);
        EXPECT_EQ(level, spill_level_by_minimax(z, item, pi, pj));
        closed += level > z[pi][pj];
    }
    EXPECT_GT(closed, 80) << "centres in closed depressions";
}

// The edifice's levels from the flood out of the centre and from the
// union-find from the top down: the same joins, counts, sums and item top, on
// the random reliefs (their edifice with holes punched in it) and on noisy
// masks with plateaus, a centre off the edifice or below the base.
TEST(EdificeLevels, FloodFromTheCentreAgreesWithTheUnionFindFromTheTop)
{
    for (std::uint64_t seed = 1; seed <= 600; ++seed) {
        SCOPED_TRACE(seed);
        Rng rng(seed);
        const bool noisy = seed % 2 == 0;
        const Relief relief = noisy ? Relief{} : random_relief(seed, 40);
        const int nl = noisy ? rng.uniform(1, 24) : relief.lines, nc = noisy ? rng.uniform(1, 24) : relief.columns;
        TestWorkspace flood, unions;
        for (Workspace* w : {&flood.ws, &unions.ws}) allocate_all(*w, nl, nc);
        const int span = rng.uniform(0, 3) == 0 ? 1 : rng.uniform(2, 30);
        const double holes = rng.unit() * 0.3;
        const int base = noisy ? rng.uniform(0, span / 2) : relief.base;
        int top = base;
        for (int i = 0; i < nl; ++i)
            for (int j = 0; j < nc; ++j) {
                const int z = noisy ? rng.uniform(0, span) : relief.at(i, j);
                const std::uint8_t in = (noisy || z >= base) && rng.unit() >= holes ? 1 : 0;
                for (Workspace* w : {&flood.ws, &unions.ws}) {
                    w->itab[i][j] = z;
                    w->tab[i][j] = in;
                }
                if (in) top = std::max(top, z);
            }
        const int ci = noisy ? rng.uniform(0, nl - 1) : std::min(relief.centre_i, nl - 1);
        const int cj = noisy ? rng.uniform(0, nc - 1) : std::min(relief.centre_j, nc - 1);
        for (Workspace* w : {&flood.ws, &unions.ws}) {
            w->base = base;
            w->altmax = top;
            w->i_gv = ci;
            w->j_gv = cj;
        }
        EdificeLevels a, b;
        a.compute(flood.ws);
        b.compute(unions.ws, true);
        ASSERT_EQ(a.item_top, b.item_top);
        ASSERT_EQ(a.zone.count, b.zone.count);
        ASSERT_EQ(a.zone.sum_i, b.zone.sum_i);
        ASSERT_EQ(a.zone.sum_j, b.zone.sum_j);
        ASSERT_EQ(a.zone.interior, b.zone.interior);
        for (int i = 0; i < nl; ++i)
            for (int j = 0; j < nc; ++j) ASSERT_EQ(a.join[i][j], b.join[i][j]) << i << " " << j;
    }
}

// Rays from the centre of a 15 x 15 item at 0, top 10: a wall at 5 (half-way)
// three cells away on the west side counts; a wall outside the item does not.
TEST(CraterChecks, WalledRays)
{
    auto rays = [](auto wall, int top) {
        nrutil::IGrid z(15, 15);
        nrutil::UcGrid item(15, 15);
        item.fill(1);
        for (int i = 0; i < 15; ++i)
            for (int j = 0; j < 15; ++j)
                if (std::max(std::abs(i - 7), std::abs(j - 7)) == 3 && wall(i, j)) z[i][j] = 5;
        return walled_rays(z, item, 7, 7, top);
    };
    auto all = [](int, int) { return true; };
    EXPECT_EQ(rays(all, 10), 16);
    EXPECT_EQ(rays(all, 11), 0);  // 5 is below half-way to 11
    EXPECT_EQ(rays(all, 1), 0);   // less than 2 m: no ray is walled
    EXPECT_EQ(rays([](int, int j) { return j <= 7; }, 10), 9);  // the rays north and south too
    EXPECT_EQ(rays([](int, int j) { return j < 7; }, 10), 7);
    // The same wall beyond a moat that the rays cannot cross.
    nrutil::IGrid z(15, 15);
    nrutil::UcGrid item(15, 15);
    item.fill(1);
    for (int i = 0; i < 15; ++i) {
        z[i][2] = 5;
        item[i][4] = 0;
    }
    EXPECT_EQ(walled_rays(z, item, 7, 7, 10), 0);
    item[7][4] = 1;
    EXPECT_EQ(walled_rays(z, item, 7, 7, 10), 1);
}

namespace {

// convexity of the points `pts` on a grid of 0 (or 255 with edges only).
std::vector<std::string> envelope(const std::vector<std::pair<int, int>>& pts, int flag, int ci, int cj,
                                  std::uint8_t start = 0)
{
    TestWorkspace t;
    allocate_all(t.ws, 9, 9);
    for (auto [i, j] : pts) t.ws.tab_co[i][j] = 1;
    t.ws.tab_conv.fill(start);
    t.ws.flag_convex = flag;
    t.ws.i_gv = ci;
    t.ws.j_gv = cj;
    convexity(t.ws);
    std::vector<std::string> g(9, std::string(9, '.'));
    for (int i = 0; i < 9; ++i)
        for (int j = 0; j < 9; ++j)
            g[i][j] = t.ws.tab_conv[i][j] == 2 ? '#' : t.ws.tab_conv[i][j] == start ? '.' : '?';
    return g;
}

}  // namespace

TEST(Convexity, EnvelopesAndFilling)
{
    const std::vector<std::string> triangle = {".........", ".........", "..#......", "..##.....", "..#.#....",
                                               "..#..#...", "..#####..", ".........", "........."};
    EXPECT_EQ(envelope({{2, 2}, {6, 2}, {6, 6}, {6, 4}}, 1, 4, 3, 255), triangle);
    const std::vector<std::string> filled = {".........", ".........", "..#......", "..##.....", "..###....",
                                             "..####...", "..#####..", ".........", "........."};
    EXPECT_EQ(envelope({{2, 2}, {6, 2}, {6, 6}}, 2, 5, 3), filled);
    EXPECT_EQ(envelope({{4, 2}, {4, 5}, {4, 8}}, 1, 4, 4)[4], "..#######");
    EXPECT_EQ(envelope({{3, 3}}, 1, 3, 3, 255), std::vector<std::string>(9, "........."));
}

TEST(Convexity, FillSeedAtColumnOne)
{
    TestWorkspace t;
    allocate_all(t.ws, 5, 7);
    for (int j = 0; j < 7; ++j) t.ws.tab_conv[1][j] = t.ws.tab_conv[3][j] = 5;
    t.ws.i_gv = 2;
    t.ws.j_gv = 1;
    filling(t.ws);
    EXPECT_EQ(t.ws.tab_conv[2][0], 0);
    for (int j = 1; j < 7; ++j) EXPECT_EQ(t.ws.tab_conv[2][j], 2) << j;
    EXPECT_EQ(t.ws.tab_conv[1][3], 5);
    EXPECT_EQ(t.ws.tab_conv[4][3], 0);

    // A wall at column 1 gives jg = 2 too: column 1 is set to 2.
    t.ws.tab_conv.fill(0);
    for (int j = 0; j < 7; ++j) t.ws.tab_conv[1][j] = t.ws.tab_conv[3][j] = 5;
    t.ws.tab_conv[2][1] = 5;
    t.ws.tab_conv[2][5] = 5;
    t.ws.j_gv = 3;
    filling(t.ws);
    EXPECT_EQ(t.ws.tab_conv[2][1], 2);
    EXPECT_EQ(t.ws.tab_conv[2][4], 2);
    EXPECT_EQ(t.ws.tab_conv[2][5], 5);
    EXPECT_EQ(t.ws.tab_conv[2][6], 0);
}

TEST(Convexity, FilledDiscOutline)
{
    TestWorkspace t;
    allocate_all(t.ws, 17, 17);
    auto in_disc = [](int i, int j, int r) { return (i - 8) * (i - 8) + (j - 8) * (j - 8) <= r * r; };
    for (int i = 0; i < 17; ++i)
        for (int j = 0; j < 17; ++j)
            if (in_disc(i, j, 6) && !(in_disc(i - 1, j, 6) && in_disc(i + 1, j, 6) && in_disc(i, j - 1, 6) &&
                                      in_disc(i, j + 1, 6)))
                t.ws.tab_co[i][j] = 1;
    t.ws.flag_convex = 2;
    t.ws.i_gv = t.ws.j_gv = 8;
    convexity(t.ws);
    for (int i = 0; i < 17; ++i) {
        int first = -1, last = -1, count = 0;
        for (int j = 0; j < 17; ++j) {
            const int v = t.ws.tab_conv[i][j];
            EXPECT_TRUE(v == 0 || v == 2);
            if (in_disc(i, j, 6)) {
                EXPECT_EQ(v, 2) << i << "," << j;  // the disc is covered
            }
            if (!in_disc(i, j, 7)) {
                EXPECT_EQ(v, 0) << i << "," << j;  // and not much more
            }
            if (v == 2) {
                if (first < 0) first = j;
                last = j;
                ++count;
            }
        }
        if (count) {
            EXPECT_EQ(count, last - first + 1) << "line " << i << " is one span";
        }
    }
}

TEST(Convexity, ListsAndSeedStackWithoutFixedCapacity)
{
    // 40000 points on one line; a fill that leaves 15000 pending seeds.
    TestWorkspace t;
    allocate_all(t.ws, 3, 40002);
    for (int j = 1; j <= 40000; ++j) t.ws.tab_co[1][j] = 1;
    t.ws.flag_convex = 1;
    convexity(t.ws);
    EXPECT_EQ(std::count(t.ws.tab_conv[1], t.ws.tab_conv[1] + 40002, 2), 40000);

    TestWorkspace u;
    allocate_all(u.ws, 3, 30001);
    for (int j = 1; j < 30001; j += 2) u.ws.tab_conv[2][j] = 5;
    u.ws.i_gv = 1;
    u.ws.j_gv = 5;
    filling(u.ws);
    int filled = 0;
    for (int j = 0; j < 30001; ++j) filled += u.ws.tab_conv[2][j] == 2;
    // Every even column but 0, which is never filled, and the wall at column 1,
    // set to 2 by the span whose left end is column 2.
    EXPECT_EQ(filled, 15001);
    EXPECT_EQ(u.ws.tab_conv[2][0], 0);
    EXPECT_EQ(u.ws.tab_conv[2][1], 2);
    EXPECT_EQ(u.ws.tab_conv[2][3], 5);
    EXPECT_EQ(std::count(u.ws.tab_conv[1] + 1, u.ws.tab_conv[1] + 30001, 2), 30000);
}
