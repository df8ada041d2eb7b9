// Shape following and labelling, and item selection.
#include <gtest/gtest.h>

#include <random>

#include "parallel.hpp"
#include "reference.hpp"
#include "run_end.hpp"
#include "slices.hpp"
#include "stage_support.hpp"

namespace {

// A workspace whose tab1 holds `mask` (rows of 0/1 text, '#' for 1).
void set_mask(Workspace& ws, const std::vector<std::string>& mask)
{
    allocate_all(ws, int(mask.size()), int(mask[0].size()));
    for (int i = 0; i < ws.nb_lig; ++i)
        for (int j = 0; j < ws.nb_col; ++j) ws.tab1[i][j] = mask[i][j] == '#' ? 1 : 0;
}

std::vector<int> labels(const Workspace& ws)
{
    std::vector<int> v(ws.tab1.data(), ws.tab1.data() + ws.tab1.size());
    return v;
}

// The program's labelling and the literal pixel-by-pixel following give the
// same labels and the same num on the same mask.
void expect_same_labelling(const std::vector<std::int32_t>& cells, int nl, int nc, const std::string& what)
{
    TestWorkspace a, b;
    allocate_all(a.ws, nl, nc);
    allocate_all(b.ws, nl, nc);
    std::copy(cells.begin(), cells.end(), a.ws.tab1.data());
    std::copy(cells.begin(), cells.end(), b.ws.tab1.data());
    init_vect(a.ws);
    a.ws.num = b.ws.num = 0;
    suiv_formes(a.ws);
    reference::suiv_formes(b.ws);
    EXPECT_EQ(a.ws.num, b.ws.num) << what;
    EXPECT_TRUE(labels(a.ws) == labels(b.ws)) << what;
    EXPECT_TRUE(std::equal(a.ws.tab_pl.data(), a.ws.tab_pl.data() + a.ws.tab_pl.size(), a.ws.tab1.data()))
        << what;
}

}  // namespace

TEST(SuivFormes, TenZonesSkipTheLabelTen)
{
    TestWorkspace t;
    set_mask(t.ws, {"............",
                    ".##.##.##.#.",
                    "..........#.",
                    ".##.##.##...",
                    "............",
                    ".#.#.#.#....",
                    "#.#.#.#.#...",
                    "............",
                    ".##.##......",
                    "............"});
    init_vect(t.ws);
    suiv_formes(t.ws);
    EXPECT_EQ(t.ws.num, 11);
    EXPECT_EQ(t.ws.tab1[1][1], 1);
    EXPECT_EQ(t.ws.tab1[1][4], 2);
    EXPECT_EQ(t.ws.tab1[1][7], 3);
    EXPECT_EQ(t.ws.tab1[2][10], 4);
    EXPECT_EQ(t.ws.tab1[3][1], 5);
    EXPECT_EQ(t.ws.tab1[3][7], 7);
    EXPECT_EQ(t.ws.tab1[5][1], 8);  // diagonal pairs are zones
    EXPECT_EQ(t.ws.tab1[6][2], 8);
    EXPECT_EQ(t.ws.tab1[5][3], 8);  // a zigzag of diagonal contacts is one zone
    EXPECT_EQ(t.ws.tab1[6][0], 0);  // column 0 is never reached
    EXPECT_EQ(t.ws.tab1[6][8], 8);
    EXPECT_EQ(t.ws.tab1[8][1], 9);
    EXPECT_EQ(t.ws.tab1[8][5], 11);
}

TEST(SuivFormes, BordersLonePixelsAndOtherValues)
{
    TestWorkspace t;
    set_mask(t.ws, {"..#.....",
                    "..##..#.",
                    "........",
                    "#.....#.",
                    "##.....#",
                    ".......#",
                    "###.....",
                    "...#####"});
    t.ws.tab1[2][3] = 2;  // not a candidate
    init_vect(t.ws);
    suiv_formes(t.ws);
    EXPECT_EQ(t.ws.tab1[0][2], 0);  // line 0 does not join the zone below it
    EXPECT_EQ(t.ws.tab1[1][2], 1);
    EXPECT_EQ(t.ws.tab1[1][3], 1);
    EXPECT_EQ(t.ws.tab1[1][6], 0);  // lone pixel
    EXPECT_EQ(t.ws.tab1[2][3], 0);
    EXPECT_EQ(t.ws.tab1[3][0], 0);  // column 0
    EXPECT_EQ(t.ws.tab1[4][1], 0);  // alone once column 0 is left out
    EXPECT_EQ(t.ws.tab1[3][6], 2);  // reaches the last column
    EXPECT_EQ(t.ws.tab1[4][7], 2);
    EXPECT_EQ(t.ws.tab1[5][7], 2);
    EXPECT_EQ(t.ws.tab1[6][1], 3);  // joined to the last line through (7, 3)
    EXPECT_EQ(t.ws.tab1[7][3], 3);
    EXPECT_EQ(t.ws.tab1[7][7], 3);
    EXPECT_EQ(t.ws.num, 3);

    TestWorkspace u;  // a run wholly in the last line is never started
    set_mask(u.ws, {"......", "......", "......", ".####."});
    suiv_formes(u.ws);
    EXPECT_EQ(u.ws.num, 0);
    EXPECT_EQ(std::count(u.ws.tab1.data(), u.ws.tab1.data() + u.ws.tab1.size(), 0), 24);

    TestWorkspace e;  // no candidate
    set_mask(e.ws, {"...", "...", "..."});
    e.ws.num = 7;
    suiv_formes(e.ws);
    EXPECT_EQ(e.ws.num, 0);
}

TEST(SuivFormes, SameLabelsAsThePixelByPixelFollowingOnRandomMasks)
{
    std::mt19937 rng(20260101);
    const std::vector<std::pair<int, int>> sizes = {{3, 3}, {1, 9}, {9, 1}, {2, 7}, {4, 5}, {13, 17}, {40, 31}, {64, 64}};
    int cases = 0;
    for (auto [nl, nc] : sizes)
        for (double density : {0.05, 0.2, 0.35, 0.45, 0.6, 0.8, 0.97})
            for (int rep = 0; rep < 4; ++rep) {
                std::bernoulli_distribution on(density);
                std::vector<std::int32_t> cells(std::size_t(nl) * nc);
                for (auto& c : cells) c = on(rng) ? 1 : 0;
                if (rep == 3)  // full border lines and columns
                    for (int i = 0; i < nl; ++i)
                        for (int j = 0; j < nc; ++j)
                            if (i == 0 || j == 0 || i == nl - 1 || j == nc - 1) cells[std::size_t(i) * nc + j] = 1;
                expect_same_labelling(cells, nl, nc,
                                      std::to_string(nl) + "x" + std::to_string(nc) + " at " + std::to_string(density));
                ++cases;
            }
    EXPECT_EQ(cases, 8 * 7 * 4);
}

TEST(SuivFormes, ZoneOfMoreThanThirtyThousandPixelsIsLabelledWhole)
{
    // A serpentine of 101 rows of 401 pixels joined at alternate ends, with
    // random spurs and a few zones around it.
    const int nl = 205, nc = 404;
    std::vector<std::int32_t> cells(std::size_t(nl) * nc, 0);
    auto at = [&](int i, int j) -> std::int32_t& { return cells[std::size_t(i) * nc + j]; };
    for (int r = 0; r <= 100; ++r) {
        const int i = 1 + 2 * r;
        for (int j = 1; j <= 401; ++j) at(i, j) = 1;
        if (r < 100) at(i + 1, r % 2 == 0 ? 401 : 1) = 1;
    }
    std::mt19937 rng(7);
    for (int k = 0; k < 300; ++k) at(2 + 2 * int(rng() % 100), 3 + int(rng() % 396)) = 1;
    at(202, 402) = at(203, 403) = 1;  // joins, reaching the last column
    at(203, 10) = at(203, 11) = 1;    // a separate zone
    int zone = 0;
    for (auto c : cells) zone += c;
    ASSERT_GT(zone, 30000);
    expect_same_labelling(cells, nl, nc, "serpentine");

    TestWorkspace t;
    allocate_all(t.ws, nl, nc);
    std::copy(cells.begin(), cells.end(), t.ws.tab1.data());
    suiv_formes(t.ws);
    EXPECT_EQ(t.ws.num, 2);
    EXPECT_EQ(std::count(t.ws.tab1.data(), t.ws.tab1.data() + t.ws.tab1.size(), 1), zone - 2);
    EXPECT_EQ(t.ws.tab1[203][403], 1);
    EXPECT_EQ(t.ws.tab1[203][10], 2);
}

namespace {

// Item selection on the rows of a DEM: base line 100, centre (ci, cj).
struct Items {
    StageFixture f;
    Items(const Rows& rows, int ci, int cj)
    {
        set_elevations(f.ws, rows);
        f.open_files();
        f.ws.base = 100;
        f.ws.i_gv = ci;
        f.ws.j_gv = cj;
    }
};

Rows hills(int count)
{
    Rows rows = flat_rows(9, 2 + 3 * count, 50);
    for (int h = 0; h < count; ++h) rows[4][1 + 3 * h] = rows[4][2 + 3 * h] = 120;
    return rows;
}

}  // namespace

// The basal item, found by joining zones block by block on 1 and 3 threads,
// against the labels of suiv_formes: the same number of items, the same
// chosen label, the same edifice, for centres anywhere.
TEST(ItemSelection, SameItemsAsTheLabellingOnRandomMasks)
{
    std::mt19937 rng(20260102);
    const std::vector<std::pair<int, int>> sizes = {{3, 3}, {1, 9}, {9, 1}, {4, 5}, {13, 17}, {40, 31}, {90, 70}};
    for (int threads : {1, 3}) {
        set_thread_count(threads);
        set_parallel_threshold(0);
        for (auto [nl, nc] : sizes)
            for (double density : {0.05, 0.35, 0.45, 0.6, 0.97})
                for (int rep = 0; rep < 3; ++rep) {
                    std::bernoulli_distribution on(density);
                    Rows rows = flat_rows(nl, nc, 50);
                    std::vector<std::int32_t> cells(std::size_t(nl) * nc);
                    for (int i = 0; i < nl; ++i)
                        for (int j = 0; j < nc; ++j)
                            if (on(rng)) {
                                rows[std::size_t(i)][std::size_t(j)] = 120;
                                cells[std::size_t(i) * nc + j] = 1;
                            }
                    TestWorkspace labelled;
                    allocate_all(labelled.ws, nl, nc);
                    std::copy(cells.begin(), cells.end(), labelled.ws.tab1.data());
                    init_vect(labelled.ws);
                    suiv_formes(labelled.ws);
                    const std::string what = std::to_string(nl) + "x" + std::to_string(nc) + " at " +
                                             std::to_string(density) + ", " + std::to_string(threads) + " threads";
                    // Random centres, and centres on the items labelled 9, 11 and 12.
                    std::vector<std::pair<int, int>> centres;
                    for (int c = 0; c < 4; ++c)
                        centres.push_back({std::uniform_int_distribution<int>(0, nl - 1)(rng),
                                           std::uniform_int_distribution<int>(0, nc - 1)(rng)});
                    for (int label : {9, 11, 12}) {
                        const std::int32_t* l = labelled.ws.tab1.data();
                        const std::int32_t* at = std::find(l, l + labelled.ws.tab1.size(), label);
                        if (at != l + labelled.ws.tab1.size()) centres.push_back({int((at - l) / nc), int((at - l) % nc)});
                    }
                    for (auto [ci, cj] : centres) {
                        Items t(rows, ci, cj);
                        const int expected = labelled.ws.tab1[ci][cj];
                        try {
                            select_basal_item(t.f.ws);
                            ASSERT_NE(expected, 0) << what;
                        } catch (const RunEnd&) {
                            ASSERT_EQ(expected, 0) << what;
                            continue;
                        }
                        ASSERT_EQ(t.f.ws.num, labelled.ws.num) << what;
                        ASSERT_EQ(t.f.ws.val_base, expected) << what;
                        for (int i = 0; i < nl; ++i)
                            for (int j = 0; j < nc; ++j)
                                ASSERT_EQ(t.f.ws.tab[i][j], labelled.ws.tab1[i][j] == expected ? 1 : 0) << what;
                    }
                }
    }
    set_thread_count(0);
    set_parallel_threshold(default_parallel_threshold);
}

TEST(ItemSelection, OneItemAndTheChosenLabel)
{
    Rows rows = flat_rows(9, 10, 50);
    rows[4][1] = rows[4][2] = 120;
    rows[7][8] = 130;  // counted, but a lone pixel is no item
    Items t(rows, 4, 2);
    select_basal_item(t.f.ws);
    EXPECT_EQ(t.f.console(), "\n\tNumber of pixels in the former basic slice = 3 \n"
                             "\n\tOnly one zone located upper the base line \n\n\tChosen item = 1 ");
    EXPECT_EQ(t.f.file("_info.txt"), "\n\n\tOnly one zone located upper the base line \n\n\tChosen item = 1 ");
    EXPECT_EQ(t.f.ws.nb_pix_bin, 3);
    EXPECT_EQ(t.f.ws.tab[4][1], 1);
    EXPECT_EQ(t.f.ws.tab[7][8], 0);
}

TEST(ItemSelection, NineAndTenItemsHaveTheirOwnWordings)
{
    Items nine(hills(9), 4, 1);
    select_basal_item(nine.f.ws);
    EXPECT_EQ(nine.f.ws.num, 9);
    EXPECT_NE(nine.f.console().find("\n\tNumber of items located upper the base line = 9 "), std::string::npos);
    EXPECT_EQ(count_of(nine.f.console(), "Caution"), 0);

    Items ten(hills(10), 4, 29);
    select_basal_item(ten.f.ws);
    EXPECT_EQ(ten.f.ws.num, 11);
    EXPECT_EQ(ten.f.ws.val_base, 11);
    EXPECT_EQ(ten.f.console(), "\n\tNumber of pixels in the former basic slice = 20 \n"
                               "\n\tNumber of items = 10 \n\n\tCaution : the value 10 is not atributed "
                               "\n\tas this value corresponds to an order system \n\n\tChosen item = 11 ");
    EXPECT_EQ(ten.f.file("_info.txt"), "\n\n\tNumber of items = 10 \n\n\tCaution : the value 10 is not affected "
                                       "\n\tas this value corresponds to an order system \n\n\tChosen item = 11 ");
    EXPECT_EQ(ten.f.ws.tab[4][29], 1);
    EXPECT_EQ(ten.f.ws.tab[4][26], 0);
}

TEST(ItemSelection, DiagonalContactAndNoPixelAboveTheBase)
{
    Rows rows = flat_rows(8, 8, 50);
    rows[2][2] = rows[2][3] = rows[3][3] = 110;
    rows[4][4] = rows[5][4] = 105;  // touches (3, 3) at a corner
    Items t(rows, 5, 4);
    select_basal_item(t.f.ws);
    EXPECT_EQ(t.f.ws.num, 1);
    EXPECT_EQ(t.f.ws.tab[2][2], 1);

    // No item under the centre: the chosen-item line, then an error.
    Items none(flat_rows(5, 5, 50), 2, 2);
    try {
        select_basal_item(none.f.ws);
        ADD_FAILURE() << "no error";
    } catch (const RunEnd& end) {
        EXPECT_EQ(end.status, 1);
        EXPECT_EQ(end.message, "\n\tError : the centre point (line 2, column 2) lies on no item above the base line "
                               "(100 m) : type a centre on the edifice or choose a lower base line\n");
    }
    EXPECT_EQ(none.f.file("_info.txt"),
              "\n\n\tNumber of items located upper the base line = 0 \n\n\tChosen item = 0 ");
}

TEST(ItemSelection, CellsWithoutDataBelongToNoItemAndAreCounted)
{
    // Lowland at 50 (below the base line 40 here) with a hole of no data
    // that the hill at 120 reaches on its east side.
    Rows rows = flat_rows(8, 10, 50);
    rows[3][3] = rows[3][4] = rows[4][3] = rows[4][4] = 120;
    Items t(rows, 3, 3);
    Workspace& ws = t.f.ws;
    ws.base = 40;
    ws.nodata = nrutil::ucmatrice(10, 8);
    for (int i = 2; i <= 6; ++i)
        for (int j = 5; j <= 9; ++j) ws.nodata[i][j] = 1;
    ws.nodata_cells = 25;
    select_basal_item(ws);
    EXPECT_EQ(ws.nb_pix_bin, 80 - 25);
    EXPECT_EQ(ws.tab[4][5], 0);
    EXPECT_EQ(ws.tab[1][8], 1);  // the lowland around the hole is one item
    const std::string warning =
        "\n\n\tChosen item = 1 \n\tWarning : the edifice touches 13 cells without data : its measures near them are "
        "uncertain ";
    EXPECT_TRUE(t.f.console().ends_with(warning)) << t.f.console();

    // With the base line above the lowland, only the hill's own contacts count.
    Items hill(rows, 3, 3);
    hill.f.ws.nodata = nrutil::ucmatrice(10, 8);
    for (int i = 2; i <= 6; ++i)
        for (int j = 5; j <= 9; ++j) hill.f.ws.nodata[i][j] = 1;
    hill.f.ws.nodata_cells = 25;
    select_basal_item(hill.f.ws);
    EXPECT_TRUE(hill.f.file("_info.txt").ends_with(
        "\n\n\tChosen item = 1 \n\tWarning : the edifice touches 4 cells without data : its measures near them are "
        "uncertain "));
}

TEST(ItemSelection, SliceItems)
{
    // A crater rim broken into pieces around a floor at 110, one lone pixel.
    Rows rows = flat_rows(9, 9, 50);
    for (int i = 1; i <= 7; ++i)
        for (int j = 1; j <= 7; ++j) rows[i][j] = 110;
    rows[1][2] = rows[1][3] = 130;
    rows[5][7] = rows[6][7] = 130;
    rows[7][2] = 130;
    Items t(rows, 4, 4);
    select_basal_item(t.f.ws);
    init_vect(t.f.ws);
    select_slice_item(t.f.ws, 120);  // the centre lies below: every piece, lone pixel too
    EXPECT_EQ(t.f.ws.tab_pl[1][2], 1);
    EXPECT_EQ(t.f.ws.tab_pl[6][7], 1);
    EXPECT_EQ(t.f.ws.tab_pl[7][2], 1);
    EXPECT_EQ(std::count(t.f.ws.tab_pl.data(), t.f.ws.tab_pl.data() + 81, 1), 5);

    // Two summits: the centre's one only, whichever the labelling met first.
    t.f.ws.i_gv = 6;
    t.f.ws.j_gv = 7;
    select_slice_item(t.f.ws, 120);
    EXPECT_EQ(t.f.ws.tab_pl[1][2], 0);
    EXPECT_EQ(t.f.ws.tab_pl[5][7], 1);
    EXPECT_EQ(std::count(t.f.ws.tab_pl.data(), t.f.ws.tab_pl.data() + 81, 1), 2);

    // The only item: tab_pl equals it.
    select_slice_item(t.f.ws, 110);
    EXPECT_EQ(std::count(t.f.ws.tab_pl.data(), t.f.ws.tab_pl.data() + 81, 1), 49);

    // the centre's own piece is a lone pixel: the slice item is empty.
    t.f.ws.i_gv = 7;
    t.f.ws.j_gv = 2;
    select_slice_item(t.f.ws, 120);
    EXPECT_EQ(std::count(t.f.ws.tab_pl.data(), t.f.ws.tab_pl.data() + 81, 0), 81);
}

TEST(ItemSelection, LabelsAreNotLimitedToEightBits)
{
    // 300 items, labels 1 to 301 without 10; the count line keeps num - 1.
    Rows rows = flat_rows(32, 62, 50);
    for (int k = 0; k < 300; ++k) rows[1 + 2 * (k / 20)][1 + 3 * (k % 20)] = rows[1 + 2 * (k / 20)][2 + 3 * (k % 20)] = 120;
    Items t(rows, 29, 58);  // the last item
    select_basal_item(t.f.ws);
    EXPECT_EQ(t.f.ws.num, 301);
    EXPECT_EQ(t.f.ws.val_base, 301);
    EXPECT_NE(t.f.console().find("\n\tNumber of items = 300 \n\n\tCaution"), std::string::npos);
    EXPECT_EQ(std::count(t.f.ws.tab.data(), t.f.ws.tab.data() + t.f.ws.tab.size(), 1), 2);
    EXPECT_EQ(t.f.ws.tab[29][59], 1);
}
