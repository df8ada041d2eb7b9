// The contour cells of a set of cells that shrinks as the altitude rises,
// altitude after altitude.
//
// `top(i, j)` gives the highest altitude at which cell (i, j) is in the set
// (EdificeLevels::never when it never is).  At altitude k a cell is a contour
// cell when it is in the set and one of its 4-neighbours is not.  A cell is
// therefore on the contour over one interval of altitudes; a SweepIndex sorts
// the cells by the start of their interval, once, and each ContourSweep keeps
// the cells of its current altitude in scan order, so that a whole run costs
// the total length of the contours rather than the grid area per altitude.
// Workers that sweep different altitudes share one index.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "edifice_levels.hpp"
#include "parallel.hpp"
#include "scratch_vector.hpp"

enum class SweepEdge {
    in_grid,   // every cell; neighbours outside the grid do not count
    interior,  // cells of lines 1..nb_lig-2 and columns 1..nb_col-2 only
};

// The cells with an interval within altitudes lo..hi, sorted by the start of
// their interval, in scan order within a start.
class SweepIndex {
public:
    // Cells within the box i0..i1, j0..j1 (the set lies in it).
    template <class Top>
    void build(int nb_lig, int nb_col, int i0, int i1, int j0, int j1, int lo, int hi, SweepEdge edge, Top top);

private:
    friend class ContourSweep;
    int lo_ = 0, hi_ = -1;
    std::vector<std::uint32_t> first_;  // bucket starts per altitude
    // Every entry placed by the sort, on all cores.
    ScratchVector<std::uint32_t> cells_;
    ScratchVector<std::int32_t> end_;  // interval end, per entry of cells_
};

class ContourSweep {
public:
    // Altitudes from lo on, within those of the index.
    void start(const SweepIndex& index, int lo);

    // The contour cells at the next altitude (lo, lo + 1, ...), as indices
    // i * nb_col + j in increasing order.
    const std::vector<std::uint32_t>& advance();
    int altitude() const { return k_; }

private:
    const SweepIndex* index_ = nullptr;
    int k_ = 0;
    std::vector<std::uint32_t> active_, merged_;
    std::vector<std::int32_t> active_end_, merged_end_;
};

template <class Top>
void SweepIndex::build(int nb_lig, int nb_col, int i0, int i1, int j0, int j1, int lo, int hi, SweepEdge edge,
                       Top top)
{
    lo_ = lo;
    hi_ = hi;
    const std::size_t levels = hi >= lo ? std::size_t(std::int64_t(hi) - lo + 1) : 0;
    first_.assign(levels + 1, 0);
    cells_.clear();
    end_.clear();
    if (levels == 0) return;
    const int ia = edge == SweepEdge::interior ? std::max(i0, 1) : i0;
    const int ib = edge == SweepEdge::interior ? std::min(i1, nb_lig - 2) : i1;
    const int ja = edge == SweepEdge::interior ? std::max(j0, 1) : j0;
    const int jb = edge == SweepEdge::interior ? std::min(j1, nb_col - 2) : j1;
    if (ib < ia || jb < ja) return;
    // Interval (start, end] of the cells of a line, clipped to lo..hi, from
    // the tops of the line and of the lines above and below (outside the box:
    // never).  calls(j, s, e) for each cell with an interval.
    const int width = jb - ja + 3;  // columns ja - 1 .. jb + 1
    auto tops_of = [&](int i, std::vector<std::int64_t>& t) {
        t.assign(std::size_t(width), EdificeLevels::never);
        if (i < i0 || i > i1) return;
        for (int j = std::max(ja - 1, j0); j <= std::min(jb + 1, j1); ++j) t[std::size_t(j - ja + 1)] = top(i, j);
    };
    auto line_intervals = [&](int i, std::vector<std::int64_t>& up, std::vector<std::int64_t>& mid,
                              std::vector<std::int64_t>& down, auto calls) {
        for (int j = ja; j <= jb; ++j) {
            const std::size_t c = std::size_t(j - ja + 1);
            const std::int64_t e = std::min<std::int64_t>(mid[c], hi);
            std::int64_t low = INT64_MAX;
            if (i > 0) low = std::min(low, up[c]);
            if (j < nb_col - 1) low = std::min(low, mid[c + 1]);
            if (i < nb_lig - 1) low = std::min(low, down[c]);
            if (j > 0) low = std::min(low, mid[c - 1]);
            const std::int64_t s = std::max<std::int64_t>(low + 1, lo);
            if (s <= e) calls(j, s, e);
        }
    };
    // Every line of [first, last) with its intervals, each top worked out once.
    auto lines_intervals = [&](int first, int last, auto calls) {
        std::vector<std::int64_t> up, mid, down;
        if (first >= last) return;
        tops_of(first - 1, up);
        tops_of(first, mid);
        for (int i = first; i < last; ++i) {
            tops_of(i + 1, down);
            line_intervals(i, up, mid, down, [&](int j, std::int64_t s, std::int64_t e) { calls(i, j, s, e); });
            std::swap(up, mid);
            std::swap(mid, down);
        }
    };
    // The cells by interval start, in scan order within a start.
    const int lines = ib - ia + 1;
    const int blocks = std::max(1, std::min(lines, std::size_t(lines) * std::size_t(jb - ja + 1) <
                                                           parallel_threshold()
                                                       ? 1
                                                       : thread_count() * 4));
    first_ = counting_sort_by_lines(
        ia, lines, blocks, levels,
        [&](int first, int last, auto emit) {
            lines_intervals(first, last, [&](int i, int j, std::int64_t s, std::int64_t e) {
                emit(std::size_t(s - lo), std::uint32_t(std::size_t(i) * nb_col + j), std::int32_t(e));
            });
        },
        [&](std::uint32_t total) {
            cells_.resize(total);
            end_.resize(total);
        },
        [&](std::uint32_t n, std::uint32_t cell, std::int32_t e) {
            cells_[n] = cell;
            end_[n] = e;
        });
}
