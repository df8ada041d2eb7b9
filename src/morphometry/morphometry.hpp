// Morphometry of a relief: slopes, radial sections, surfaces.
#pragma once

#include <cstdint>
#include <vector>

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

// The radial sections' classes in tab_sect (1 ascending, 2 descending, 255
// crossed by no ray or level): the rays from the centre to each outline
// cell, in the outline's order, the last ray crossing a cell deciding its
// class.  `plain`: ray after ray on one thread, the straightforward way;
// `grouped`: the rays of one direction walked once, whatever it saves;
// `chosen`: grouped when that saves half the steps.
enum class RayWalk { chosen, plain, grouped };
void radial_section_classes(Workspace& ws, const std::vector<std::uint32_t>& outline, RayWalk walk = RayWalk::chosen);
// Planimetric and real surface of the edifice measured on dtab.
void surface(Workspace& ws, int flag_surf);
