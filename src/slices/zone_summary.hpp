// The zone above a base line that holds a cell, described without running
// the slice analysis: what `tephromat measure --dry-run` shows.
#pragma once

#include <cstdint>

struct Workspace;

struct ZoneSummary {
    bool on_item = false;  // the cell lies on an item, as the labelling finds them
    std::int64_t cells = 0;
    int i0 = 0, i1 = -1, j0 = 0, j1 = -1;  // the lines and columns it spans
    int border_cells = 0;   // as the `border` warning counts them
    int nodata_cells = 0;   // cells without data next to it
    int items = 0;          // the items above the base line, as the report counts them
};

// The zones are those of the basal labelling: cells with data at or above
// `base`, 8-connected within lines 1.. and columns 1..; an item has two
// cells or more, one of them off the last line and column.
ZoneSummary zone_above_base(const Workspace& ws, int base, int line, int column);
