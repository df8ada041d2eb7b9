// Slope angles of the edifice's cells, and their statistics.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "nrutil.hpp"

enum class SlopeMethod { d8, horn };

// A field of elevations clipped to the edifice: a neighbour off the grid or
// outside the mask has no data.
struct ClippedField {
    const double* z = nullptr;  // z[(i - i0) * stride + (j - j0)]
    std::ptrdiff_t stride = 0;
    int i0 = 0, j0 = 0;
    const nrutil::UcGrid* mask = nullptr;  // 1 on the edifice
    double d = 0;
    double at(int i, int j) const { return z[std::ptrdiff_t(i - i0) * stride + (j - j0)]; }
    bool in(int i, int j) const
    {
        return i >= 0 && j >= 0 && i < mask->lines() && j < mask->columns() && (*mask)[i][j] == 1;
    }
};

// Degrees.  D8 (TopoToolbox's gradient8): the largest drop to one of the 8
// neighbours over its distance (d, or d sqrt 2 on a diagonal), at least 0.
// Horn 1981: the 3 x 3 finite differences, a neighbour without data taking
// the centre's elevation.
double slope_deg(const ClippedField& f, int i, int j, SlopeMethod method);

// The slope of every cell of the mask in scan order, computed on all threads.
// `first[i]` is the position of line i's first cell (lines i0..i1).
std::vector<double> slopes_of_cells(const ClippedField& f, int i0, int i1, int j0, int j1,
                                    const std::vector<std::size_t>& first, SlopeMethod method);

struct SlopeStats {
    std::size_t n = 0;
    std::optional<double> mean, median, std, min, max;
};

// Mean (scan-order sum / N), standard deviation (N - 1; 0 for one value,
// from the mean in a second pass) and, when `want_median`, the median
// (exact: the middle value, or the mean of the two middle values) of the
// values of each group: groups[k] has bit g set when value k belongs to
// group g (8 groups at most).  Every figure is empty for a group without
// values.
std::vector<SlopeStats> grouped_stats(const std::vector<double>& values, const std::vector<std::uint8_t>& groups,
                                      int n_groups);

// The median of values >= 0 (their bit patterns order them) of one group.
// Exposed for the tests.
std::vector<std::optional<double>> grouped_medians(const std::vector<double>& values,
                                                   const std::vector<std::uint8_t>& groups, int n_groups);
