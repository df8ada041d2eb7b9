// Plausibility checks: where a figure that the run computes cannot be
// trusted, a warning says so (on the console and in the report) and the run
// goes on; no figure changes.
#pragma once

#include <cstdint>
#include <string>

#include "nrutil.hpp"

struct Workspace;

// The pixel size typed for an ESRI grid against its header's cellsize
// (`pixel_size`), and a base line at or below the lowest cell
// (`base_below_dem`): the warning's text, empty when there is none.  The
// console gets it as the answer is accepted, the report in its header.
std::string pixel_size_warning(const Workspace& ws);
std::string base_below_dem_warning(const Workspace& ws);
// Prints a warning on the console only and records it under `code`.
void warn_on_console(Workspace& ws, const char* code, const std::string& text);

// Right after the edifice is chosen: `border`, then, for a calculated centre,
// `calculated_centre_many_items`.
void check_edifice(Workspace& ws);
// After the present relief's crater depth, when the crater was looked for:
// `no_crater_around_centre`, then `crater_above_base_radius`.
void check_crater(Workspace& ws);
// The figures of those checks (the depression's depth, the walled rays,
// whether a crater is found), measured once the slice analysis is done;
// check_crater prints its warnings from them.
void measure_crater_checks(Workspace& ws);
// After the erosion DEM is saved: `erosion_above_height`.
void check_erosion(Workspace& ws);

// Cells of the grid's border lines and columns, with data and at or above the
// base line, that are in the edifice (tab) or 8-neighbours of one of its cells.
int edifice_border_cells(const Workspace& ws);

// The spill level of (pi, pj), a cell of `item` (1 on its cells): the lowest
// level L such that a path of 8-connected cells of the item, (pi, pj) first,
// none above L, ends on a cell on the grid's border lines and columns or next
// to a cell outside the item.  A priority flood from the centre outwards.
std::int64_t spill_level(const nrutil::IGrid& z, const nrutil::UcGrid& item, int pi, int pj);

// The rays of 16 from (pi, pj), a cell of `item`, that pass a cell at least
// half-way from its altitude to `top` before leaving the item or the grid.
int walled_rays(const nrutil::IGrid& z, const nrutil::UcGrid& item, int pi, int pj, int top);
