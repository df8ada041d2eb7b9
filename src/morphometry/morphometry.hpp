// Morphometry of a relief: slopes, radial sections, surfaces.
#pragma once

struct Workspace;

// Slope angle of every interior cell of itab, in whole degrees, into pente_ang.
void angles(Workspace& ws);
// Radial sections from the centre: mean slopes, radii, elongation, heights.
void histo_pent(Workspace& ws);
// Planimetric and real surface of the edifice measured on dtab.
void surface(Workspace& ws, int flag_surf);
