// The contour cells of a set of cells that shrinks as the altitude rises,
// altitude after altitude.
//
// `top(i, j)` gives the highest altitude at which cell (i, j) is in the set
// (EdificeLevels::never when it never is).  At altitude k a cell is a contour
// cell when it is in the set and one of its 4-neighbours is not.  A cell is
// therefore on the contour over one interval of altitudes; the sweep sorts the
// cells by the start of their interval and keeps the cells of the current
// altitude in scan order, so that a whole run costs the total length of the
// contours rather than the grid area per altitude.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "edifice_levels.hpp"

class ContourSweep {
public:
    enum class Edge {
        in_grid,   // every cell; neighbours outside the grid do not count
        interior,  // cells of lines 1..nb_lig-2 and columns 1..nb_col-2 only
    };

    // Altitudes lo..hi, cells within the box i0..i1, j0..j1 (the set lies in
    // it).  `storage` must hold one entry per cell of the box; without it the
    // sweep keeps the cells of its altitudes in a block of its own.
    template <class Top>
    void start(int nb_lig, int nb_col, int i0, int i1, int j0, int j1, int lo, int hi, Edge edge, Top top,
               std::uint32_t* storage);

    // The contour cells at the next altitude (lo, lo + 1, ...), as indices
    // i * nb_col + j in increasing order.
    const std::vector<std::uint32_t>& advance();
    int altitude() const { return k_; }

private:
    int nc_ = 0, lo_ = 0, hi_ = -1, k_ = 0;
    std::uint32_t* cells_ = nullptr;           // sorted by interval start
    std::vector<std::uint32_t> own_;           // cells_ when no storage is given
    std::vector<std::uint32_t> first_;         // bucket starts per altitude
    std::vector<std::int32_t> end_;            // interval end, per entry of cells_
    std::vector<std::uint32_t> active_, merged_;
    std::vector<std::int32_t> active_end_, merged_end_;
};

template <class Top>
void ContourSweep::start(int nb_lig, int nb_col, int i0, int i1, int j0, int j1, int lo, int hi, Edge edge,
                         Top top, std::uint32_t* storage)
{
    nc_ = nb_col;
    lo_ = lo;
    hi_ = hi;
    k_ = lo - 1;
    cells_ = storage;
    active_.clear();
    active_end_.clear();
    const std::size_t levels = hi >= lo ? std::size_t(std::int64_t(hi) - lo + 1) : 0;
    first_.assign(levels + 1, 0);
    if (levels == 0) return;
    const int ia = edge == Edge::interior ? std::max(i0, 1) : i0;
    const int ib = edge == Edge::interior ? std::min(i1, nb_lig - 2) : i1;
    const int ja = edge == Edge::interior ? std::max(j0, 1) : j0;
    const int jb = edge == Edge::interior ? std::min(j1, nb_col - 2) : j1;
    auto at = [&](int i, int j) -> std::int64_t {
        if (i < i0 || i > i1 || j < j0 || j > j1) return EdificeLevels::never;
        return top(i, j);
    };
    // Interval (start, end] of each cell, clipped to lo..hi.
    auto interval = [&](int i, int j, std::int64_t& s, std::int64_t& e) {
        e = std::min<std::int64_t>(at(i, j), hi);
        std::int64_t low = INT64_MAX;
        if (i > 0) low = std::min(low, at(i - 1, j));
        if (j < nb_col - 1) low = std::min(low, at(i, j + 1));
        if (i < nb_lig - 1) low = std::min(low, at(i + 1, j));
        if (j > 0) low = std::min(low, at(i, j - 1));
        s = std::max<std::int64_t>(low + 1, lo);
        return s <= e;
    };
    // Interval starts (relative to lo), then a counting sort; the intervals
    // are worked out twice rather than kept in a grid of their own.
    std::int64_t s, e;
    for (int i = ia; i <= ib; ++i)
        for (int j = ja; j <= jb; ++j)
            if (interval(i, j, s, e)) ++first_[std::size_t(s - lo) + 1];
    for (std::size_t k = 1; k <= levels; ++k) first_[k] += first_[k - 1];
    end_.assign(first_[levels], 0);
    if (!storage) {
        own_.resize(first_[levels]);
        cells_ = own_.data();
    }
    std::vector<std::uint32_t> fill(first_.begin(), first_.end() - 1);
    for (int i = ia; i <= ib; ++i)
        for (int j = ja; j <= jb; ++j) {
            if (!interval(i, j, s, e)) continue;
            const std::uint32_t n = fill[std::size_t(s - lo)]++;
            cells_[n] = std::uint32_t(std::size_t(i) * nb_col + j);
            end_[n] = std::int32_t(std::min<std::int64_t>(at(i, j), hi));
        }
}
