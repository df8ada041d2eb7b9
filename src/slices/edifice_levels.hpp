// The zones of the edifice above every altitude, as the slice analysis and the
// cone interpolation see them.
//
// At altitude k the labelling takes the cells of the edifice (tab) at or above
// k; the zone that holds the centre point is the 8-connected component of the
// centre among those cells, without line 0 and column 0 (the labelling never
// reaches them).  Going down in altitude, zones only grow and merge, so one
// union-find pass from the top gives, for every cell, the highest altitude at
// which it belongs to the centre's zone (`join`), which is also the lowest
// altitude along the highest path from the centre: a flood gives it.  The
// zone at k is then the cells with join >= k, as long as it is an item at k:
// two cells or more, one of them inside lines 1..nb_lig-2 and columns
// 1..nb_col-2.
#pragma once

#include <climits>
#include <cstdint>
#include <functional>
#include <vector>

#include "nrutil.hpp"

struct Workspace;

// Counts and sums of a set of cells at every altitude of a range, from
// histograms of the highest altitude at which each cell is in the set.
struct LevelStats {
    int lo = 0, hi = -1;  // altitudes covered
    std::vector<std::int64_t> count, sum_i, sum_j, interior;

    void reset(int lo_, int hi_);
    // Cell (i, j) is in the set at every altitude up to `top`.
    void add(int top, int i, int j, bool interior_cell);
    // Adds the histograms of lines first .. last - 1, cut into `blocks`
    // runs of lines on all threads: line(part, i) adds line i's cells to
    // `part`.  Whole numbers: the same in any order.
    void gather(int first, int last, int blocks, const std::function<void(LevelStats& part, int i)>& line);
    // Turns the histograms into totals per altitude (cells in the set at k).
    void accumulate();
    std::size_t at(int k) const { return std::size_t(k - lo); }
};

struct EdificeLevels {
    static constexpr int never = INT_MIN;

    // The bounding box of the edifice, grown by one cell and kept in the grid.
    int i0 = 0, i1 = -1, j0 = 0, j1 = -1;
    // The centre the zones are found around (the radial sections may move a
    // calculated centre after the slice analysis: the zones then change), its
    // altitude, and whether it belongs to the edifice.
    int ci = -1, cj = -1;
    int centre_altitude = 0;
    bool centre_on_edifice = false;
    // Highest altitude at which the centre's zone is an item (never when none).
    int item_top = never;
    // Per cell: highest altitude at which it is in the centre's zone.
    nrutil::IGrid join;
    // The centre's zone at the altitudes base .. centre altitude.
    LevelStats zone;

    // Needs tab, itab, base, altmax and the centre.  The joins come from a
    // flood from the centre; by_union_find (for the tests) takes the cells
    // from the top down instead, using itab1, itab2 and ktab as scratch.
    void compute(Workspace& ws, bool by_union_find = false)
    {
        frame(ws);
        flood(ws, by_union_find);
    }
    // The two halves of compute: the box, the centre and the empty joins;
    // then the joins, the zone and item_top, which nothing may read
    // meanwhile.
    void frame(Workspace& ws);
    void flood(Workspace& ws, bool by_union_find = false);

private:
    void join_by_flood(Workspace& ws, std::size_t levels);
    void join_by_union_find(Workspace& ws, std::size_t levels, int ia, int blocks);
};
