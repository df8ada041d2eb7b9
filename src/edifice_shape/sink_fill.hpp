// Priority-flood sink fill (Barnes, Lehman & Mulla 2014, the improved
// variant; flat, no epsilon) of the whole DEM, 8-connected.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "nrutil.hpp"

// Elevations over a window of the grid (lines i0.., columns j0..).
struct WindowGrid {
    int i0 = 0, j0 = 0;
    nrutil::DGrid z;  // lines x columns of the window
    double at(int i, int j) const { return z[i - i0][j - j0]; }
    const double* line(int i) const { return z[i - i0]; }
};

// Fills every depression of z (cells without data, where `nodata` is 1, are
// left out) up to its spill level: each cell's level becomes the least, over
// the 8-connected paths from it to an outlet, of the highest cell on the
// path.  Outlets: the cells with data on the grid's border or 8-adjacent to a
// cell without data, and `sinks` (cell numbers i * nb_col + j), which stay
// sinks.  Returns the filled levels of the window's cells; those of the
// cells of `mask` (1) are exact (the others may be lower): the window's
// surroundings are flooded first, the whole grid only when they cannot
// settle them.
WindowGrid fill_sinks(const nrutil::DGrid& z, const nrutil::UcGrid& nodata, const std::vector<std::size_t>& sinks,
                      int i0, int i1, int j0, int j1, const nrutil::UcGrid& mask);

// The same by the straightforward priority flood (every cell through the
// heap): the oracle of the tests, and the way for grids of 2^32 cells or
// more.
WindowGrid fill_sinks_plain(const nrutil::DGrid& z, const nrutil::UcGrid& nodata, const std::vector<std::size_t>& sinks,
                            int i0, int i1, int j0, int j1);

// The same flood on tiles of `tile` x `tile` cells, one tile at a time on
// each thread (fill_sinks uses it): exact, whatever the tiles.
WindowGrid fill_sinks_tiled(const nrutil::DGrid& z, const nrutil::UcGrid& nodata, const std::vector<std::size_t>& sinks,
                            int i0, int i1, int j0, int j1, int tile);

// The window expanded by `margin` flooded alone, with its edge cells that
// are no outlet at their own elevation, and again at the highest cell on
// the straight way from each to the grid's border: `settled` when both give
// the same levels on the cells of `mask`, which are then the fill's.
WindowGrid fill_sinks_near(const nrutil::DGrid& z, const nrutil::UcGrid& nodata, const std::vector<std::size_t>& sinks,
                           int i0, int i1, int j0, int j1, const nrutil::UcGrid& mask, int margin, int tile,
                           bool* settled);

// The window's levels as they are (no fill).
WindowGrid copy_window(const nrutil::DGrid& z, int i0, int i1, int j0, int j1);
