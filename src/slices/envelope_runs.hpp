// A filled convex envelope held as runs of cells, line by line.
//
// The contour lines of the cone interpolation are the outlines of the slices'
// envelopes, drawn and then filled from the centre point: on a grid that costs
// the area of every envelope, several times over.  Here the drawn cells become
// runs, and the fill of fill_envelope is played step by step on the runs
// (each of its scans of a line becomes a look-up among the line's few runs),
// so that an envelope costs about its number of lines.  The cells it gives,
// the test against the edifice and the outline are those of the grid.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "nrutil.hpp"

// Disjoint runs of cells [first, last] of one line, in order, none touching
// another.
using LineRuns = std::vector<std::pair<int, int>>;

// The runs of cells equal to `value` in every line of `g`.
std::vector<LineRuns> runs_of(const nrutil::UcGrid& g, std::uint8_t value);

class EnvelopeRuns {
public:
    explicit EnvelopeRuns(int nb_lig, int nb_col);

    // Starts a new envelope from its drawn cells (indices i * nb_col + j).
    void draw(const std::vector<std::uint32_t>& drawn);
    // The fill of fill_envelope from (seed_i, seed_j).
    void fill(int seed_i, int seed_j);
    // True when a cell of the envelope lies outside `inside` (its runs per
    // line).
    bool leaves(const std::vector<LineRuns>& inside) const;
    // Appends the cells of the envelope in lines 1..nb_lig-2 and columns
    // 1..nb_col-2 that have a direct neighbour outside it, in scan order.
    void outline(std::vector<std::uint32_t>& line) const;
    // The runs of line i.
    const LineRuns& line(int i) const { return rows_[std::size_t(i)]; }

private:
    void add(int i, int a, int b);
    int nl_, nc_;
    std::vector<LineRuns> rows_;
    std::vector<int> used_;  // lines that hold runs
    std::vector<std::pair<int, int>> stack_;
};
