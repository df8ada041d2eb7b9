// <G>_slices.svg: the slice surfaces and orientations against altitude.
#pragma once

#include <array>
#include <string>
#include <vector>

struct Workspace;

// <G>_slices.svg from the two slice tables written by the slice analysis.
void write_slice_plot(Workspace& ws);

// The SVG text of the slice plot: surface (m2) and orientation (degrees) per
// slice altitude (m).  `surface` and `orientation` hold {value, altitude}.
std::string slice_plot_svg(const std::string& generic_name,
                           const std::vector<std::array<double, 2>>& surface,
                           const std::vector<std::array<double, 2>>& orientation);
