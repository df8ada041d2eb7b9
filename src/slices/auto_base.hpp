// The automatic base line: the lowest base at which the edifice under the
// centre is still clear of the grid's edges, of the cells without data and of
// any higher relief.
//
// R(b) is the zone of the cells with data at or above b (itab, whole metres)
// that holds the centre P, 8-connected within lines 1.. and columns 1.. as the
// labelling joins them, P counted even where it stands alone (on line 0 or
// column 0 it then stays alone: the labelling never joins those cells).  a is
// P's altitude, T the highest cell of R(a), the centre's own relief.  R(b) is
// closed when no cell of a border line or column with data at or above b
// belongs to it or is an 8-neighbour of one of its cells (the border count of
// the chosen item), no cell without data is an 8-neighbour of one of its
// cells, and none of its cells lies above T.  Going down, R only grows, so
// each condition once broken stays broken: the base is one metre above the
// highest level at which R(b) is not closed.
#pragma once

#include "nrutil.hpp"

// What stops the edifice going lower, named in this order when several
// happen at the same level.
enum class BaseLimit { none, edge, nodata, col };

enum class AutoBaseStatus {
    ok,
    centre_outside,       // P is not a cell of the grid
    centre_without_data,  // P is a cell without data
    centre_open,          // R(a) itself is not closed: `limit` says why, at `limit_m` = a
    centre_alone,         // R(B) would be P alone, which the labelling makes no item: no base will do
};

struct AutoBase {
    AutoBaseStatus status = AutoBaseStatus::centre_outside;
    int base = 0;  // B (ok only)
    // The limit and its level B - 1 (a for centre_open).  `none` only if R
    // stayed closed down to its lowest cell, which cannot happen (R would then
    // be every cell of lines 1.. and columns 1.., the last line among them);
    // B would then be that lowest cell's altitude.
    BaseLimit limit = BaseLimit::none;
    int limit_m = 0;
    int col_line = -1, col_column = -1;  // col: first cell in scan order of R(B - 1) above T
    int top = 0;                         // T (ok and centre_open)
    int top_line = -1, top_column = -1;  // last cell in scan order of R(a) at T

    bool operator==(const AutoBase&) const = default;
};

// "edge", "nodata", "col", or "" for none.
const char* base_limit_name(BaseLimit limit);

// One best-first pass from P, the highest reachable cell first, that stops at
// the limit's level: O(N) on a DEM (a radix queue keyed by altitude).  nodata
// is null when the DEM has no cell without data (else nonzero marks one).
// Memory: one byte a cell, and 8 bytes a cell of the search's frontier.
AutoBase auto_base(const nrutil::IGrid& itab, const nrutil::UcGrid* nodata, int i_p, int j_p);

// The same search with 64-bit cell numbers, which auto_base uses on grids of
// 2^32 cells or more; the tests run it on small ones.
AutoBase auto_base_wide(const nrutil::IGrid& itab, const nrutil::UcGrid* nodata, int i_p, int j_p);
