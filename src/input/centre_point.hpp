// The centre point given in the terms a user has: a cell, map coordinates,
// longitude and latitude, or found on the DEM (its summit, its crater), or
// calculated from the basal slice as the original program does.
#pragma once

#include <string>

struct Workspace;

struct CentreRequest {
    enum Kind { cell, map_xy, lonlat, summit, crater, calculated };
    Kind kind = cell;
    double a = 0, b = 0;  // line and column, X and Y, or longitude and latitude
    std::string option;   // the option or argument that gave it, for messages
};

// Sets ws.params.grav_cent, i_gv and j_gv from `c` once the DEM is read and in
// whole metres; a crater is looked for above the base line ws.params.dbase.
// A point outside the grid ends the run with an error that names the option
// and the grid's extent in the units given.
// Returns a note for the user, empty when there is none (a crater asked for
// and none found: the summit is the centre).
std::string resolve_centre(Workspace& ws, const CentreRequest& c);

// The last cell in scan order at the DEM's highest whole-metre altitude: the
// summit with which the original program decides that there is no crater to look for.
void dem_summit(const Workspace& ws, int& line, int& column);

// In the zone above `base` that holds the summit, the closed depression of
// greatest depth (each cell's depth is what a flood from the zone's outlets
// leaves above it); its mean cell when that lies in it, else its deepest cell.
// False when no depression is 1 m deep.
bool deepest_crater(const Workspace& ws, int base, int& line, int& column);

// --base auto: the lowest base line at which the edifice under the centre
// ws.params.i_gv, j_gv stays clear of the grid's edges, of the cells without
// data and of higher relief, into ws.params.dbase and ws.auto_base; an error
// when even the centre's own relief is not clear.  `option` names the option
// in messages.
void set_auto_base(Workspace& ws, const std::string& option);
// The lines of the report that say how it was chosen (empty for a typed base).
std::string auto_base_lines(const Workspace& ws);
