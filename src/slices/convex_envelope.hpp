// Vertices of the convex envelope of a set of cells, as the gift-wrapping walk
// finds them: from the lowest, leftmost cell, counter-clockwise, the farthest
// cell in each direction, the first vertex repeated at the end.
#pragma once

#include <cstdint>
#include <vector>

#include "nrutil.hpp"

struct Workspace;

struct Cell {
    int i, j;
    bool operator==(const Cell&) const = default;
};

// The walk over every point (cells in scan order): two passes over the points
// per vertex.
std::vector<Cell> gift_wrap(const std::vector<Cell>& points);

// The same vertices in time linear in the number of points: the exact convex
// hull, then the walk over the cells lying on its edges only (no other cell can
// win a step of the walk).  `points` are indices i * nb_col + j in scan order;
// `marks` holds `mark` on exactly these cells.
std::vector<Cell> envelope_vertices(const std::vector<std::uint32_t>& points, int nb_col,
                                    const nrutil::UcGrid& marks, std::uint8_t mark);

// Draws the edges between consecutive vertices (and from the last back to the
// first) with 2 into `conv` (tab_conv or a grid like it); every cell that
// becomes 2 is appended to `drawn`.
void draw_envelope(nrutil::UcGrid& conv, const std::vector<Cell>& vertices, std::vector<std::uint32_t>* drawn);

// The lines and columns that a fill may have written: line i between lo[i]
// and hi[i], lines i0..i1.
struct TouchedRows {
    int i0 = 0, i1 = -1;
    std::vector<int> lo, hi;
    void reset(int nb_lig);
    void touch(int i, int a, int b)
    {
        if (i < i0) i0 = i;
        if (i > i1) i1 = i;
        if (a < lo[std::size_t(i)]) lo[std::size_t(i)] = a;
        if (b > hi[std::size_t(i)]) hi[std::size_t(i)] = b;
    }
};

// The fill of `conv` from the seed cell (`filling` fills tab_conv from the
// centre point), noting what it wrote.
void fill_envelope(nrutil::UcGrid& conv, int seed_i, int seed_j, TouchedRows* touched);
