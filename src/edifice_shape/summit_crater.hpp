// The crater (a polygon, or the closed depression that holds the centre) and
// the summit region.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "grid_frame.hpp"
#include "nrutil.hpp"

enum class CraterSource { none, depression, polygon };

struct Crater {
    CraterSource source = CraterSource::none;
    // Its cells: a mask over the window of lines i0.., columns j0...
    int i0 = 0, j0 = 0;
    nrutil::UcGrid cells;
    std::size_t count = 0;
    double area = 0;  // m2
    std::optional<double> rim_min, rim_max, floor;
    std::size_t lowest_cell = 0;  // the first lowest cell in scan order, i * nb_col + j
    Ring outline;                 // local metres: the polygon, or the depression's cells outlined
    bool holds(int i, int j) const
    {
        return count && i >= i0 && j >= j0 && i < i0 + cells.lines() && j < j0 + cells.columns() &&
               cells[i - i0][j - j0];
    }
};

// The cells of the edifice centred inside `ring` (local metres); the rim
// from the bilinear elevations of its vertices.  An error naming `name`
// when it holds no cell of the edifice.
Crater crater_of_polygon(const GridFrame& g, const nrutil::DGrid& z, const nrutil::UcGrid& nodata,
                         const nrutil::UcGrid& edifice, const Ring& ring, const std::string& name);

// The closed depression holding the centre (ci, cj): the spill level S of
// the centre (the least, over 8-connected paths of edifice cells from it to
// a cell on the grid's border or 8-adjacent to a cell outside the edifice,
// of the highest cell on the path), and the 8-connected cells below S round
// the centre, when S is 1 m or more above it.  Its rim's top is the highest
// edifice cell outside it and 8-adjacent to it.
Crater crater_of_depression(const GridFrame& g, const nrutil::DGrid& z, const nrutil::UcGrid& edifice, int ci, int cj);

// A loop round a set of cells (the largest loop of its indicator's contour
// at 1/2, through the middles of the edges between its cells and the
// others): the outline of a figure made of cells.
Ring outline_of_cells(const GridFrame& g, int i0, int j0, const nrutil::UcGrid& cells);

// The number of cells of the largest 8-connected region of the edifice with
// z >= level (the first in scan order on ties), and that region's cells.
std::size_t largest_region_at_or_above(const nrutil::DGrid& z, const nrutil::UcGrid& edifice, int i0, int i1, int j0,
                                       int j1, double level, Ring* outline, const GridFrame& g);
