// The dilation of the rebuilt cone, kept between its calls.
//
// dilat() reads and writes whole grids on every growing pass.  Here the grown
// grid (itab2) is kept equal to ktab on the set cells from one call to the
// next, and each pass looks only at the unset cells that touch set ones (the
// advancing front), so a call costs the number of unset cells, not the grid.
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
    // Cells of ktab still unset, in scan order.
    const std::vector<std::uint32_t>& unset() const { return unset_; }

private:
    Workspace& ws_;
    std::vector<std::uint32_t> unset_, front_, kept_;
    std::vector<std::pair<std::uint32_t, std::int32_t>> staged_;
    nrutil::UcGrid in_front_;
};
