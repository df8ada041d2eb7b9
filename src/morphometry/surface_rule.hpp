// The edge rule of the surface measure, exposed for its tests.
#pragma once

#include <cstdint>

// Per neighbour code (0..255): the bits of the counted triangles (bit m-1 for
// triangle m).  Codes outside the edge rule count all eight.
const std::uint16_t* surface_triangles();
