// The edge rule of the surface measure, exposed for its tests.
#pragma once

#include <cstdint>

// Per neighbour code (0..255): the bits of the counted triangles (bit m-1 for
// triangle m).  Codes outside the edge rule count all eight.
const std::uint16_t* surface_triangles();

// The real surface of the counted triangles (bits of `counted`) of a pixel
// from its half height differences A[1..8] (ring order, A[0] unused): the
// straightforward version, triangle after triangle, and the one the surface
// measure uses, two triangles at a time (SSE2), with the same operations in
// the same order, so that both give the same bits.
double counted_triangles_area_plain(const double A[9], double tr_size, double diag, unsigned counted);
double counted_triangles_area(const double A[9], double tr_size, double diag, unsigned counted);
