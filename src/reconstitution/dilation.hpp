// The dilation of the rebuilt cone, kept between its calls.
//
// dilat() reads and writes whole grids on every growing pass.  Here the grown
// grid is kept equal to ktab on the set cells from one call to the next, and
// each pass looks only at the unset cells that touch set ones (the advancing
// front), so a call costs the number of unset cells, not the grid.  The grown
// grid has a frame of one cell so that neighbours need no bounds checks.
// Every call sets exactly the cells, to exactly the values, that dilat() sets.
#pragma once

#include <cstdint>
#include <vector>

#include "nrutil.hpp"

struct Workspace;

class Dilation {
public:
    explicit Dilation(Workspace& ws);
    // One call of dilat(): sets modif (and nb_pix_mod, 0 at the end).
    void step();
    // Number of cells of ktab still unset.
    std::size_t unset_count() const { return unset_.size(); }
    // Cells of ktab still unset, as indices i * nb_col + j in scan order.
    std::vector<std::uint32_t> unset_cells() const;

private:
    void set_frame(std::int32_t value);

    Workspace& ws_;
    int width_;                        // columns of the framed grid
    std::vector<std::int32_t> grown_;  // framed grid being grown
    std::vector<std::uint8_t> queued_; // framed: in the front (the frame always)
    std::vector<std::uint32_t> unset_, front_, kept_;  // framed indices
    std::vector<std::pair<std::uint32_t, std::int32_t>> staged_;
};
