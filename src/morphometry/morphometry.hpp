// Morphometry of a relief: slopes, radial sections, surfaces.
#pragma once

struct Workspace;

// Slope angle of every interior cell of itab, in whole degrees, into pente_ang.
void angles(Workspace& ws);
// Radial sections from the centre: mean slopes, radii, elongation, heights.
void histo_pent(Workspace& ws);
// The same, headed as coord_display says (1: the centre's coordinates, 2:
// "Interpolating treatment"), whatever ws.coord_display holds meanwhile.
void histo_pent(Workspace& ws, int coord_display);
// The centre's altitude, the volcanic height and the crater depth (the last
// lines of histo_pent), which the interpolation reads.
void centre_heights(Workspace& ws);
// Planimetric and real surface of the edifice measured on dtab.
void surface(Workspace& ws, int flag_surf);
