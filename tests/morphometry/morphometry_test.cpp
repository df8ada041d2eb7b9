// Slope angles, radial sections and surfaces.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "morphometry.hpp"
#include "parallel.hpp"
#include "slope_angle.hpp"
#include "stage_support.hpp"
#include "surface_rule.hpp"

namespace {

struct Relief {
    StageFixture f;
    Workspace& ws = f.ws;
    Relief(const Rows& rows, double pixel)
    {
        set_elevations(ws, rows);
        f.open_files();
        ws.dsizepix = ws.dpix_size = pixel;
    }
    void item(int i0, int i1, int j0, int j1)
    {
        for (int i = i0; i <= i1; ++i)
            for (int j = j0; j <= j1; ++j) ws.tab[i][j] = 1;
    }
    void disc(int ci, int cj, int r)
    {
        for (int i = 0; i < ws.nb_lig; ++i)
            for (int j = 0; j < ws.nb_col; ++j)
                if ((i - ci) * (i - ci) + (j - cj) * (j - cj) <= r * r) ws.tab[i][j] = 1;
    }
    // The three surface lines of the console.
    std::string surfaces()
    {
        const std::string c = f.console();
        return c.substr(c.find("\n\t\tBi-dimensional"));
    }
};

Rows plane(int nl, int nc, double per_column, double per_line = 0)
{
    Rows rows(nl, std::vector<int>(nc));
    for (int i = 0; i < nl; ++i)
        for (int j = 0; j < nc; ++j) rows[i][j] = 1000 + int(per_column * j + per_line * i);
    return rows;
}

}  // namespace

TEST(Angles, FlatPlanesAndBorders)
{
    Relief flat(flat_rows(6, 7, 500), 10);
    angles(flat.ws);
    EXPECT_EQ(std::count(flat.ws.pente_ang.data(), flat.ws.pente_ang.data() + 42, 0), 42);

    Relief steep(plane(6, 7, 10), 10);
    angles(steep.ws);
    Relief gentle(plane(6, 7, 0, 1), 10);
    angles(gentle.ws);
    for (int i = 0; i < 6; ++i)
        for (int j = 0; j < 7; ++j) {
            const bool border = i == 0 || j == 0 || i == 5 || j == 6;
            EXPECT_EQ(steep.ws.pente_ang[i][j], border ? 0 : 45) << i << "," << j;
            EXPECT_EQ(gentle.ws.pente_ang[i][j], border ? 0 : 6) << i << "," << j;
        }
}

// The degrees read from the thresholds are the formula's: at random slopes,
// a few thousand doubles either side of every half degree, at the slots'
// ends, and at values that are not slopes.
TEST(Angles, DegreesFromThresholdsAreTheFormulas)
{
    const SlopeAngles degrees;
    std::vector<double> s = {0.0, std::numeric_limits<double>::denorm_min(), std::numeric_limits<double>::max(),
                             std::numeric_limits<double>::infinity(), std::nan("")};
    std::mt19937_64 rng(23);
    std::uniform_real_distribution<double> exponent(-40, 30);
    for (int n = 0; n < 200000; ++n) s.push_back(std::exp(exponent(rng)));
    const double pi = 4.0 * std::atan(1.0);
    for (int k = 1; k <= SlopeAngles::top; ++k) {
        const double t = std::tan((k - 0.5) * pi / 180);
        double up = t * t, down = up;
        for (int n = 0; n < 3000; ++n) {
            s.push_back(up = std::nextafter(up, INFINITY));
            s.push_back(down = std::nextafter(down, 0.0));
        }
        for (double f : {1e-10, 1e-9, 2e-9, 1e-8})
            for (double sign : {-1.0, 1.0}) s.push_back(t * t * (1 + sign * f));
    }
    for (int e = -20; e <= 20; ++e)
        for (int m = 0; m <= 64; ++m) {
            const double start = std::ldexp(1.0 + m / 64.0, e);
            s.insert(s.end(), {start, std::nextafter(start, 0.0)});
        }
    for (double v : s) ASSERT_EQ(degrees(v), slope_angle_plain(v)) << v;
}

TEST(HistoPent, OneOutlinePixelAndTheReportLines)
{
    Relief r(flat_rows(12, 12, 100), 1);
    r.ws.tab[5][6] = 1;  // 3 lines and 4 columns from the centre (2, 2)
    r.ws.i_gv = 2;
    r.ws.j_gv = 2;
    r.ws.coord_display = 1;
    r.ws.altmax = 130;
    r.ws.dbase = 90.5;
    r.ws.distmin_cr = 1.5;
    r.ws.distmax_cr = 2.25;
    histo_pent(r.ws);
    EXPECT_NEAR(r.ws.low_dist_base, std::sqrt(41.0), 1e-12);
    EXPECT_EQ(r.ws.low_dist_base, r.ws.gre_dist_base);
    EXPECT_EQ(r.ws.jco_up + r.ws.jco_down, 0);
    const std::string lines = "\n\n\tMean angle value : \n\t\tSlope down =  0.00 degrees\n\t\tSlope up   =  0.00 degrees"
                              "\n\n\tBase Radius :\n\t\tLower radius   =     6.40 m \n\t\tGreater radius =     6.40 m "
                              "\n\t\tElongation factor =     0.00  \n\n\tCrater Radius :"
                              "\n\t\tLower radius   =     1.50 m \n\t\tGreater radius =     2.25 m "
                              "\n\n\tBase line altitude =    90.50 m \n\tUpper altitude     =   130.00 m "
                              "\n\n\tVolcanic height  =    39.50 m \n\tCrater depth    =    30.00 m ";
    const std::string head = "\n\n\tCoordinates of the Gravity Center defined by the user\n\t\tline   = 2 \n\t\tcolumn = 2 ";
    EXPECT_EQ(r.f.console(), head + lines);
    EXPECT_EQ(r.f.file("_info.txt"), head + replace_all(lines, " degrees", " \260"));
    EXPECT_EQ(r.ws.dalt_center, 100.0);
    EXPECT_EQ(r.ws.h_crat, 30.0);
}

TEST(HistoPent, DiscRadiiAndElongation)
{
    const int R = 6;
    Relief r(flat_rows(21, 21, 100), 10);
    r.disc(10, 10, R);
    r.ws.i_gv = r.ws.j_gv = 10;
    r.ws.coord_display = 2;
    histo_pent(r.ws);
    EXPECT_EQ(r.f.console().rfind("\n\n\tInterpolating treatment \n\n\tMean angle value : ", 0), 0u);
    // About R + 1 (6.32: the outline pixel 5 lines and 1 column from the centre).
    EXPECT_NEAR(r.ws.low_dist_base, R + 1.0, 0.75);
    EXPECT_NEAR(r.ws.gre_dist_base, R + std::sqrt(2.0), 0.5);
    EXPECT_GT(r.ws.elong, 0.0);
    EXPECT_LT(r.ws.elong, 20.0);
    EXPECT_DOUBLE_EQ(r.ws.elong, (r.ws.gre_dist_base - r.ws.low_dist_base) / r.ws.low_dist_base * 100.0);
}

TEST(HistoPent, RisingReliefIsAscendingOnly)
{
    Rows rows(15, std::vector<int>(15));
    for (int i = 0; i < 15; ++i)
        for (int j = 0; j < 15; ++j) rows[i][j] = 100 + 3 * std::max(std::abs(i - 7), std::abs(j - 7));
    Relief r(rows, 10);
    r.item(2, 12, 2, 12);
    r.ws.i_gv = r.ws.j_gv = 7;
    angles(r.ws);
    histo_pent(r.ws);
    EXPECT_GT(r.ws.jco_up, 0);
    EXPECT_EQ(r.ws.jco_down, 0);
    EXPECT_EQ(r.ws.d_mean_ang_down, 0.0);
    EXPECT_GT(r.ws.d_mean_ang_up, 0.0);
    EXPECT_NE(r.f.console().find("\n\t\tSlope down =  0.00 degrees"), std::string::npos);
}

TEST(HistoPent, CentreAsOutlinePixelAndNoOutline)
{
    Relief r(flat_rows(9, 9, 100), 10);
    r.ws.itab[4][5] = 120;
    r.ws.tab[4][4] = 1;
    r.ws.i_gv = r.ws.j_gv = 4;
    r.ws.grav_cent = 1;  // recomputed from the item: the same cell
    r.ws.coord_display = 1;
    histo_pent(r.ws);
    EXPECT_NEAR(r.ws.low_dist_base, std::sqrt(2.0), 1e-15);
    EXPECT_NEAR(r.ws.gre_dist_base, std::sqrt(2.0), 1e-15);
    EXPECT_EQ(r.ws.jco_up + r.ws.jco_down, 0);
    EXPECT_EQ(r.f.console().rfind("\n\n\tCoordinates of the Graviry Center calculated by the program"
                                  "\n\t\tline   = 4 \n\t\tcolumn = 4 ",
                                  0),
              0u);

    Relief none(flat_rows(9, 12, 100), 10);  // no item at all
    none.ws.i_gv = none.ws.j_gv = 4;
    none.ws.coord_display = 2;
    histo_pent(none.ws);
    EXPECT_EQ(none.ws.low_dist_base, 12.0);
    EXPECT_EQ(none.ws.gre_dist_base, 0.0);
    EXPECT_NE(none.f.console().find("\n\t\tElongation factor =  -100.00  "), std::string::npos);
}

// Rays that share their direction walk once, their longest ray standing for
// all: the classes are those of every ray walked after the other, on
// strips, lines, crosses and blobs, on any number of threads.
TEST(HistoPent, SectionsOfRaysSharingTheirDirectionAsRayAfterRay)
{
    std::uint64_t seed = 12345;
    auto next = [&](int n) {
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        return int((seed >> 33) % std::uint64_t(n));
    };
    const int previous = thread_count();
    for (int round = 0; round < 300; ++round) {
        const int kind = round % 5, nl = kind < 2 ? 7 : 30 + next(30), nc = 40 + next(200);
        Rows rows(static_cast<std::size_t>(nl), std::vector<int>(static_cast<std::size_t>(nc)));
        for (auto& line : rows)
            for (int& z : line) z = 100 + next(round % 2 ? 3 : 12);
        Relief r(rows, 10);
        const int ci = nl / 2, cj = 1 + next(nc - 2);
        if (kind == 0) r.item(ci, ci, 1, nc - 2);                   // a strip one cell wide
        if (kind == 1) r.item(ci - 1, ci + 1, 1, nc - 2);           // three cells wide
        if (kind == 2 || kind == 3)                                 // a line across, or a cross
            for (int k = 1; k < std::min(nl, nc) - 1; ++k) {
                r.ws.tab[k][k] = 1;
                if (kind == 3) r.ws.tab[ci][k] = r.ws.tab[nl - 1 - k][k] = 1;
            }
        if (kind == 4)
            for (int b = 0; b < 4; ++b) {
                const int i0 = 1 + next(nl - 2), j0 = 1 + next(nc - 2);
                r.item(i0, std::min(nl - 2, i0 + next(6)), j0, std::min(nc - 2, j0 + next(40)));
            }
        r.ws.tab[ci][cj] = 1;
        r.ws.i_gv = ci;
        r.ws.j_gv = cj;
        std::vector<std::uint32_t> outline;
        for (int i = 0; i < nl; ++i)
            for (int j = 0; j < nc; ++j)
                if (r.ws.tab[i][j] == 1 && ((i > 0 && r.ws.tab[i - 1][j] == 0) || (j > 0 && r.ws.tab[i][j - 1] == 0) ||
                                            (i < nl - 1 && r.ws.tab[i + 1][j] == 0) ||
                                            (j < nc - 1 && r.ws.tab[i][j + 1] == 0)))
                    outline.push_back(std::uint32_t(i * nc + j));
        radial_section_classes(r.ws, outline, RayWalk::plain);
        const std::vector<std::uint8_t> plain(r.ws.tab_sect.data(), r.ws.tab_sect.data() + r.ws.tab_sect.size());
        for (int threads : {1, 2, 3})
            for (RayWalk walk : {RayWalk::chosen, RayWalk::grouped}) {
            set_thread_count(threads);
            set_parallel_threshold(threads == 3 ? 0 : default_parallel_threshold);  // 3: rays shared out
            r.ws.tab_sect.fill(7);
            radial_section_classes(r.ws, outline, walk);
            ASSERT_EQ(std::vector<std::uint8_t>(r.ws.tab_sect.data(), r.ws.tab_sect.data() + r.ws.tab_sect.size()), plain)
                << "round " << round << ", " << threads << " threads";
            }
    }
    set_thread_count(previous);
    set_parallel_threshold(default_parallel_threshold);
}

TEST(Surface, FlatSquareIsolatedPixelAndRatioZero)
{
    Relief r(flat_rows(14, 14, 300), 10);
    r.item(2, 11, 2, 11);
    surface(r.ws, 1);
    const std::string lines = "\n\t\tBi-dimensional surface  : 0.008100 km2 \n\t\tTri-dimensional surface : 0.008100 km2 "
                              "\n\t\tSurface Ratio = 0.000000 ";
    EXPECT_EQ(r.f.console(), lines);
    EXPECT_EQ(r.f.file("_info.txt"), lines);

    Relief one(flat_rows(5, 5, 300), 10);
    one.ws.dtab[1][2] = 400;  // a neighbour's height counts, membership does not
    one.ws.tab[2][2] = 1;
    surface(one.ws, 2);
    EXPECT_EQ(one.surfaces().find("\n\t\tBi-dimensional surface  : 0.000100 km2 "), 0u);

    Relief empty(flat_rows(5, 5, 300), 10);
    empty.ws.tab[0][2] = 1;                    // border pixels are not measured
    surface(empty.ws, 1);
    EXPECT_EQ(empty.f.console(), "\n\t\tBi-dimensional surface  : 0.000000 km2 \n\t\tTri-dimensional surface : "
                                 "0.000000 km2 \n\t\tSurface Ratio = 0.000000 ");

    // A cliff 120 km high beside a pixel 1 mm wide: Heron's product of one
    // triangle rounds below zero, which must count as a flat needle, not nan.
    Relief cliff(flat_rows(5, 5, 0), 0.001);
    cliff.ws.dtab[1][1] = 119842;
    cliff.ws.dtab[1][2] = 85117;
    cliff.ws.tab[2][2] = 1;
    surface(cliff.ws, 1);
    EXPECT_EQ(cliff.f.console().find("nan"), std::string::npos) << cliff.f.console();
}

TEST(Surface, EdgePixelsByMissingNeighbour)
{
    // 3 x 3 blocks: 4 pixels whole; one corner missing: 3.5 (the centre
    // still counts whole); one side middle missing: 4.0 (the centre 0.75, the
    // two pixels beside the gap have two runs and count whole).
    auto s2d = [](std::vector<std::pair<int, int>> missing) {
        Relief r(flat_rows(5, 5, 0), 10);
        r.item(1, 3, 1, 3);
        for (auto [i, j] : missing) r.ws.tab[i][j] = 0;
        surface(r.ws, 1);
        const std::string c = r.f.console();
        return std::stod(c.substr(c.find(": ") + 2)) * 1e6 / 100;  // pixels
    };
    EXPECT_NEAR(s2d({}), 4.0, 1e-9);
    EXPECT_NEAR(s2d({{1, 1}}), 3.5, 1e-9);
    EXPECT_NEAR(s2d({{1, 2}}), 4.0, 1e-9);
}

TEST(Surface, FortyFiveDegreePlaneWhateverTheShape)
{
    for (int shape = 0; shape < 3; ++shape) {
        Relief r(flat_rows(16, 16, 0), 10);
        for (int i = 0; i < 16; ++i)
            for (int j = 0; j < 16; ++j) r.ws.dtab[i][j] = 10.0 * j;
        if (shape == 0) r.item(2, 12, 3, 9);
        if (shape == 1) r.disc(8, 8, 6);
        if (shape == 2) {
            r.disc(6, 6, 4);
            r.ws.tab[12][12] = 1;
            r.ws.tab[6][6] = 0;
        }
        surface(r.ws, 1);
        EXPECT_NE(r.f.console().find("\n\t\tSurface Ratio = 41.421356 "), std::string::npos) << r.f.console();
    }
}

TEST(Surface, EdgeRuleTableFollowsItsDefinition)
{
    // Ring order of the neighbour bits, clockwise from the upper left.
    const std::uint16_t* table = surface_triangles();
    int partial = 0;
    for (int code = 0; code < 256; ++code) {
        auto in = [&](int k) { return (code >> (k & 7)) & 1; };
        int n = 0, starts = 0;
        for (int k = 0; k < 8; ++k) {
            n += in(k);
            starts += in(k) && !in(k + 7);  // a run begins where its predecessor is missing
        }
        bool rule = (starts == 1 && n >= 2 && n <= 6);
        if (n == 7) {
            const int gap = __builtin_ctz(~code & 0xFF);
            rule = gap % 2 == 1;  // above, right, below or left
        }
        std::uint16_t expected = 0xFF;
        if (rule) {
            expected = 0;
            for (int m = 1; m <= 8; ++m)
                if (in(m - 1) && in(m)) expected |= std::uint16_t(1 << (m - 1));
            EXPECT_EQ(__builtin_popcount(expected), n - 1) << code;
            ++partial;
        }
        EXPECT_EQ(table[code] & 0xFF, expected) << "code " << code;
    }
    EXPECT_EQ(partial, 44);
}

TEST(Surface, TwoTrianglesAtATimeGiveTheBitsOfThePlainVersion)
{
    // Pixel sizes from 1 mm to 1 km; height differences flat, gentle, cliffs
    // far higher than the pixel (Heron's product rounding to zero or below),
    // equal pairs, signed zeros.
    struct Kind {
        double pixel, height;
    };
    const Kind kinds[] = {{1, 0.5}, {10, 40}, {0.001, 1e5}, {1000, 1e-9}, {30, 3000}, {0.5, 0}};
    auto bits = [](double x) {
        std::uint64_t b;
        std::memcpy(&b, &x, sizeof b);
        return b;
    };
    std::uint64_t state = 0;
    auto unit = [&] {  // splitmix64: the same numbers on every machine
        std::uint64_t z = (state += 0x9E3779B97F4A7C15u);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        return double((z ^ (z >> 31)) >> 11) * 0x1.0p-53;
    };
    for (std::uint64_t seed = 1; seed <= 3000; ++seed) {
        const Kind& k = kinds[seed % std::size(kinds)];
        const double tr_size = k.pixel * 0.5, diag = std::sqrt(2.0) * tr_size;
        double A[9] = {0};
        for (int n = 1; n <= 8; ++n) {
            const double u = unit();
            A[n] = u < 0.15 ? 0.0 : u < 0.2 ? -0.0 : u < 0.3 ? A[n - 1] : (unit() * 2 - 1) * k.height;
        }
        const unsigned counted = unsigned(unit() * 256);
        ASSERT_EQ(bits(counted_triangles_area(A, tr_size, diag, counted)),
                  bits(counted_triangles_area_plain(A, tr_size, diag, counted)))
            << "seed " << seed;
    }
}
