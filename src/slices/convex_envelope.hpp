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
// first) with 2 into tab_conv; every cell that becomes 2 is appended to `drawn`.
void draw_envelope(Workspace& ws, const std::vector<Cell>& vertices, std::vector<std::uint32_t>* drawn);
