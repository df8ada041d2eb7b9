// The automatic base line against the straightforward way: label the centre's
// zone at every base from the centre's altitude downward and check it.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "auto_base.hpp"

namespace {

using nrutil::IGrid;
using nrutil::UcGrid;

// The zone of the centre among the cells with data at or above b, joined as
// the labelling joins them (8-connected, lines 1.. and columns 1..), the
// centre always in it.
std::vector<std::uint8_t> zone(const IGrid& z, const UcGrid* nd, int pi, int pj, std::int64_t b)
{
    const int nl = z.lines(), nc = z.columns();
    std::vector<std::uint8_t> in(z.size(), 0);
    std::vector<std::pair<int, int>> todo{{pi, pj}};
    in[std::size_t(pi) * nc + pj] = 1;
    while (!todo.empty()) {
        const auto [i, j] = todo.back();
        todo.pop_back();
        if (i < 1 || j < 1) continue;
        for (int a = i - 1; a <= i + 1; ++a)
            for (int c = j - 1; c <= j + 1; ++c) {
                if (a < 1 || c < 1 || a >= nl || c >= nc) continue;
                const std::size_t k = std::size_t(a) * nc + c;
                if (in[k] || (nd && (*nd)[a][c]) || z[a][c] < b) continue;
                in[k] = 1;
                todo.push_back({a, c});
            }
    }
    return in;
}

AutoBase straightforward(const IGrid& z, const UcGrid* nd, int pi, int pj)
{
    const int nl = z.lines(), nc = z.columns();
    AutoBase r;
    if (pi < 0 || pj < 0 || pi >= nl || pj >= nc) return r;
    if (nd && (*nd)[pi][pj]) {
        r.status = AutoBaseStatus::centre_without_data;
        return r;
    }
    auto data = [&](int i, int j) { return !(nd && (*nd)[i][j]); };
    auto near = [&](const std::vector<std::uint8_t>& in, int i, int j) {
        for (int a = i - 1; a <= i + 1; ++a)
            for (int c = j - 1; c <= j + 1; ++c)
                if (a >= 0 && c >= 0 && a < nl && c < nc && in[std::size_t(a) * nc + c]) return true;
        return false;
    };
    const std::int64_t a = z[pi][pj];
    std::int64_t lowest = a;
    for (int i = 0; i < nl; ++i)
        for (int j = 0; j < nc; ++j)
            if (data(i, j)) lowest = std::min<std::int64_t>(lowest, z[i][j]);

    const std::vector<std::uint8_t> own = zone(z, nd, pi, pj, a);
    r.top = z[pi][pj];
    for (int i = 0; i < nl; ++i)
        for (int j = 0; j < nc; ++j)
            if (own[std::size_t(i) * nc + j] && z[i][j] >= r.top) {
                r.top = z[i][j];
                r.top_line = i;
                r.top_column = j;
            }

    // Every base from a down to the lowest cell, one metre at a time, except
    // that a stretch without cells is crossed in one step to one metre above
    // the next cell down (the altitudes may span the whole 32-bit range).
    for (std::int64_t b = a, next; b >= lowest; b = next) {
        std::int64_t below = lowest - 1;  // highest cell below b
        for (int i = 0; i < nl; ++i)
            for (int j = 0; j < nc; ++j)
                if (data(i, j) && z[i][j] < b) below = std::max<std::int64_t>(below, z[i][j]);
        next = b - 1 > below + 1 ? below + 1 : b - 1;
        const std::vector<std::uint8_t> in = zone(z, nd, pi, pj, b);
        int border = 0, touched = 0;  // as the border and cells-without-data warnings count them
        bool col = false;
        for (int i = 0; i < nl; ++i)
            for (int j = 0; j < nc; ++j) {
                const bool on_border = i == 0 || j == 0 || i == nl - 1 || j == nc - 1;
                if (on_border && data(i, j) && z[i][j] >= b && near(in, i, j)) ++border;
                if (!data(i, j) && near(in, i, j)) ++touched;
                if (in[std::size_t(i) * nc + j] && z[i][j] > r.top && !col) {
                    col = true;
                    r.col_line = i;
                    r.col_column = j;
                }
            }
        if (border == 0 && touched == 0 && !col) continue;
        r.limit = border ? BaseLimit::edge : touched ? BaseLimit::nodata : BaseLimit::col;
        if (r.limit != BaseLimit::col) r.col_line = r.col_column = -1;
        r.limit_m = int(b);
        if (b == a) {
            r.status = AutoBaseStatus::centre_open;
        } else {
            r.status = AutoBaseStatus::ok;
            r.base = int(b + 1);
            const std::vector<std::uint8_t> at_base = zone(z, nd, pi, pj, b + 1);
            if (std::count(at_base.begin(), at_base.end(), 1) < 2) r.status = AutoBaseStatus::centre_alone;
        }
        return r;
    }
    r.status = AutoBaseStatus::ok;  // closed down to the lowest cell
    const std::vector<std::uint8_t> in = zone(z, nd, pi, pj, lowest);
    r.base = r.top;
    for (std::size_t k = 0; k < in.size(); ++k)
        if (in[k]) r.base = std::min(r.base, z.data()[k]);
    return r;
}

std::string describe(const AutoBase& r)
{
    return "status " + std::to_string(int(r.status)) + " base " + std::to_string(r.base) + " limit " +
           base_limit_name(r.limit) + " at " + std::to_string(r.limit_m) + " col (" + std::to_string(r.col_line) +
           ", " + std::to_string(r.col_column) + ") top " + std::to_string(r.top) + " (" +
           std::to_string(r.top_line) + ", " + std::to_string(r.top_column) + ")";
}

IGrid grid_of(const std::vector<std::vector<int>>& rows)
{
    IGrid g(int(rows[0].size()), int(rows.size()));
    for (int i = 0; i < g.lines(); ++i)
        for (int j = 0; j < g.columns(); ++j) g[i][j] = rows[std::size_t(i)][std::size_t(j)];
    return g;
}

}  // namespace

TEST(AutoBase, NamedCases)
{
    struct Case {
        const char* what;
        std::vector<std::vector<int>> z;
        std::vector<std::string> nodata;  // '#' marks a cell without data; empty: none
        int pi, pj;
        AutoBase expected;
    };
    using S = AutoBaseStatus;
    using L = BaseLimit;
    const std::vector<Case> cases = {
        {"a lone summit: its cone reaches the last line at 2 m, and above it the summit alone is no item",
         {{0, 0, 0, 0, 0},  //
          {0, 1, 1, 1, 0},
          {0, 1, 5, 1, 0},
          {0, 2, 1, 1, 0},
          {0, 2, 0, 0, 0}},
         {},
         2,
         2,
         {S::centre_alone, 3, L::edge, 2, -1, -1, 5, 2, 2}},
        {"line 0 counts while at or above the base, though never joined",
         {{0, 0, 1, 0, 0},  //
          {0, 3, 3, 3, 0},
          {0, 3, 5, 3, 0},
          {0, 3, 3, 3, 0},
          {0, 0, 0, 0, 0}},
         {},
         2,
         2,
         {S::ok, 2, L::edge, 1, -1, -1, 5, 2, 2}},
        {"a cone on the flank of a higher one stops at their col",
         {{0, 0, 0, 0, 0, 0, 0},  //
          {0, 1, 4, 1, 1, 1, 0},
          {0, 1, 6, 3, 8, 1, 0},
          {0, 1, 1, 1, 1, 1, 0},
          {0, 0, 0, 0, 0, 0, 0}},
         {},
         2,
         2,
         {S::ok, 4, L::col, 3, 2, 4, 6, 2, 2}},
        {"several limits at one level: edge before nodata before col",
         {{0, 0, 0, 0, 0, 0},  //
          {0, 1, 4, 1, 1, 0},
          {0, 1, 6, 3, 8, 0},
          {0, 1, 3, 1, 1, 0},
          {0, 1, 3, 1, 1, 0},
          {0, 0, 3, 0, 0, 0}},
         {"......", "....#.", "......", "......", "......", "......"},
         2,
         2,
         {S::ok, 4, L::edge, 3, -1, -1, 6, 2, 2}},
        {"nodata before col",
         {{0, 0, 0, 0, 0, 0},  //
          {0, 1, 4, 1, 1, 0},
          {0, 1, 6, 3, 8, 0},
          {0, 1, 3, 1, 1, 0},
          {0, 1, 3, 1, 1, 0},
          {0, 0, 0, 0, 0, 0}},
         {"......", "....#.", "......", "......", "......", "......"},
         2,
         2,
         {S::ok, 4, L::nodata, 3, -1, -1, 6, 2, 2}},
        {"a crater: the centre's own relief is its rim; the last cell at the top in scan order",
         {{0, 0, 0, 0, 0, 0, 0},  //
          {0, 1, 1, 1, 1, 1, 0},
          {0, 1, 7, 7, 7, 1, 0},
          {0, 1, 7, 4, 7, 1, 0},
          {0, 1, 7, 7, 7, 1, 0},
          {0, 1, 1, 1, 1, 1, 0},
          {0, 0, 0, 0, 0, 0, 0}},
         {},
         3,
         3,
         {S::ok, 1, L::edge, 0, -1, -1, 7, 4, 4}},
        {"a centre on line 0 stays alone and reaches the edge",
         {{5, 9, 9},  //
          {9, 9, 9},
          {0, 0, 0}},
         {},
         0,
         0,
         {S::centre_open, 0, L::edge, 5, -1, -1, 5, 0, 0}},
        {"a centre next to a cell without data",
         {{0, 0, 0, 0},  //
          {0, 5, 5, 0},
          {0, 5, 5, 0},
          {0, 0, 0, 0}},
         {"....", "..#.", "....", "...."},
         1,
         1,
         {S::centre_open, 0, L::nodata, 5, -1, -1, 5, 2, 2}},
        {"a centre without data", {{0, 0}, {0, 0}}, {"..", ".#"}, 1, 1, {S::centre_without_data}},
        {"a centre outside the grid", {{0, 0}, {0, 0}}, {}, 2, 0, {S::centre_outside}},
        {"altitudes at the 32-bit limits",
         {{INT_MIN, INT_MIN, INT_MIN, INT_MIN},  //
          {INT_MIN, INT_MAX, INT_MIN + 1, INT_MIN},
          {INT_MIN, INT_MIN + 1, INT_MIN + 1, INT_MIN},
          {INT_MIN, INT_MIN, INT_MIN, INT_MIN}},
         {},
         1,
         1,
         {S::ok, INT_MIN + 1, L::edge, INT_MIN, -1, -1, INT_MAX, 1, 1}},
    };
    for (const Case& c : cases) {
        const IGrid z = grid_of(c.z);
        UcGrid nd(z.columns(), z.lines());
        for (std::size_t i = 0; i < c.nodata.size(); ++i)
            for (std::size_t j = 0; j < c.nodata[i].size(); ++j) nd[int(i)][int(j)] = c.nodata[i][j] == '#';
        const UcGrid* nodata = c.nodata.empty() ? nullptr : &nd;
        EXPECT_EQ(describe(auto_base(z, nodata, c.pi, c.pj)), describe(c.expected)) << c.what;
        EXPECT_EQ(describe(straightforward(z, nodata, c.pi, c.pj)), describe(c.expected)) << c.what;
    }
}

// Random grids: plateaus (few altitudes), cones anywhere (on the borders too),
// cells without data, centres anywhere, altitudes near both 32-bit limits.
TEST(AutoBase, SameAsTheStraightforwardWayOnRandomGrids)
{
    std::mt19937 rng(20);
    auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    int limits[2][4] = {};  // [found a base, or a lone centre][limit]
    int alone = 0;
    for (int n = 0; n < 5000; ++n) {
        int nl = uniform(1, 16), nc = uniform(1, 16);
        if (n % 20 == 0) nl = 1;
        if (n % 20 == 1) nc = 1;
        if (n % 20 == 2) nl = nc = 2;
        const int range = uniform(1, 25), slope = uniform(1, 4), noise = uniform(0, 2);
        const int holes = uniform(0, 3) == 0 ? uniform(1, uniform(0, 1) ? 3 : 15) : 0;  // percent of the cells
        // The highest cell reaches INT_MAX: peaks up to range + 3, noise 2.
        const std::int64_t offset = n % 7 == 0 ? std::int64_t(INT_MAX) - range - 5
                                    : n % 7 == 1 ? std::int64_t(INT_MIN)
                                                 : 0;
        std::vector<std::array<int, 3>> peaks;  // line, column, height
        for (int k = uniform(0, 9) == 0 ? 0 : uniform(1, 4); k > 0; --k)
            peaks.push_back({uniform(0, nl - 1), uniform(0, nc - 1), uniform(1, range)});
        if (!peaks.empty() && nl > 2 && nc > 2 && uniform(0, 4) > 0)  // the first one inside and high
            peaks[0] = {uniform(1, nl - 2), uniform(1, nc - 2), uniform(range / 2, range)};
        if (n % 4 == 3 && nl > 4 && nc > 4) {  // a cone beside a higher one, both inside
            peaks.resize(2);
            peaks[0] = {uniform(2, nl - 3), uniform(2, nc - 3), uniform(range / 2, range)};
            peaks[1] = {uniform(2, nl - 3), uniform(2, nc - 3), peaks[0][2] + uniform(1, 3)};
        }
        IGrid z(nc, nl);
        UcGrid nd(nc, nl);
        for (int i = 0; i < nl; ++i)
            for (int j = 0; j < nc; ++j) {
                int h = 0;
                for (const auto& p : peaks)
                    h = std::max(h, p[2] - slope * std::max(std::abs(i - p[0]), std::abs(j - p[1])));
                z[i][j] = std::int32_t(offset + h + uniform(0, noise));
                nd[i][j] = uniform(0, 99) < holes;
            }
        if (n % 9 == 0)  // cells without data holding an absurd value
            for (int i = 0; i < nl; ++i)
                for (int j = 0; j < nc; ++j)
                    if (nd[i][j]) z[i][j] = INT_MAX;
        const UcGrid* nodata = holes ? &nd : nullptr;
        int pi = uniform(0, nl - 1), pj = uniform(0, nc - 1);
        if (!peaks.empty() && uniform(0, 4) > 0) {
            pi = peaks[0][0];
            pj = peaks[0][1];
        }
        const AutoBase want = straightforward(z, nodata, pi, pj);
        const std::string what = "grid " + std::to_string(n) + " (" + std::to_string(nl) + " x " +
                                 std::to_string(nc) + "), centre " + std::to_string(pi) + ", " + std::to_string(pj);
        ASSERT_EQ(describe(auto_base(z, nodata, pi, pj)), describe(want)) << what;
        ASSERT_EQ(describe(auto_base_wide(z, nodata, pi, pj)), describe(want)) << what;
        if (want.status == AutoBaseStatus::ok) {
            ASSERT_NE(want.limit, BaseLimit::none) << what;
        }
        const bool found = want.status == AutoBaseStatus::ok || want.status == AutoBaseStatus::centre_alone;
        ++limits[found][int(want.limit)];
        alone += want.status == AutoBaseStatus::centre_alone;
    }
    EXPECT_GT(alone, 100);
    // Every outcome comes often: bases found at an edge, at cells without
    // data and at a col, and centres whose own relief is open.
    EXPECT_GT(limits[1][int(BaseLimit::edge)], 1000);
    EXPECT_GT(limits[1][int(BaseLimit::nodata)], 30);
    EXPECT_GT(limits[1][int(BaseLimit::col)], 50);
    EXPECT_GT(limits[0][int(BaseLimit::edge)] + limits[0][int(BaseLimit::nodata)], 1000);
}

// The time of one search on 4096 x 4096 grids, printed; run by hand:
// tephromat_tests --gtest_also_run_disabled_tests --gtest_filter='*AutoBaseTiming*'
TEST(DISABLED_AutoBaseTiming, Grids4096)
{
    const int n = 4096;
    IGrid z(n, n);
    std::mt19937 rng(4096);
    // The fastest of three runs, wall clock and processor time: other work on
    // the machine only slows a run down.
    auto time = [&](const char* what, int pi, int pj) {
        double wall = 1e9, cpu = 1e9;
        AutoBase r;
        for (int k = 0; k < 3; ++k) {
            const auto t0 = std::chrono::steady_clock::now();
            const std::clock_t c0 = std::clock();
            r = auto_base(z, nullptr, pi, pj);
            cpu = std::min(cpu, double(std::clock() - c0) / CLOCKS_PER_SEC);
            wall = std::min(wall, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
        }
        std::printf("%-48s %.3f s (processor %.3f s)  %s\n", what, wall, cpu, describe(r).c_str());
    };
    // A cone 1000 m high, 0.35 n in radius, on a plain tilted by 8 m, with a
    // metre of noise: the base comes where the plain reaches the edge.
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            const double r = std::sqrt(double(i - n / 2) * (i - n / 2) + double(j - n / 2) * (j - n / 2));
            const double cone = r < 0.35 * n ? 1000 * (1 - r / (0.35 * n)) : 0;
            z[i][j] = std::int32_t(100 + 6.0 * j / n + 2.0 * i / n + cone) + int(rng() % 2);
        }
    time("a cone on a tilted plain", n / 2, n / 2);
    // A pyramid over the whole grid, with a metre of noise and with 50 m:
    // every cell is reached.
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) z[i][j] = 10000 - std::max(std::abs(i - n / 2), std::abs(j - n / 2)) + int(rng() % 2);
    time("a pyramid over the whole grid", n / 2, n / 2);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) z[i][j] = 10000 - std::max(std::abs(i - n / 2), std::abs(j - n / 2)) + int(rng() % 50);
    z[n / 2][n / 2] = 20000;
    time("a pyramid over the whole grid, 50 m of noise", n / 2, n / 2);
    // Noise only, over a million metres.
    for (std::size_t k = 0; k < z.size(); ++k) z.data()[k] = std::int32_t(rng() % 1000000);
    time("noise", n / 2, n / 2);
}
