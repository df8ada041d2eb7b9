// Slope angles of the edifice's cells, and their statistics.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "morphometry_options.hpp"
#include "nrutil.hpp"
#include "scratch_vector.hpp"


// A field of elevations clipped to the edifice: a neighbour off the grid or
// outside the mask has no data.
struct ClippedField {
    const double* z = nullptr;  // z[(i - i0) * stride + (j - j0)]
    std::ptrdiff_t stride = 0;
    int i0 = 0, j0 = 0;
    int lines = 0;                         // lines i0 .. i0 + lines - 1; they hold every cell of the mask
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
ScratchVector<double> slopes_of_cells(const ClippedField& f, int i0, int i1, int j0, int j1,
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
std::vector<SlopeStats> grouped_stats(std::span<const double> values, std::span<const std::uint8_t> groups,
                                      int n_groups);

// Exact medians of groups of slopes (degrees, 0 to 90) in two passes over
// the values: count() each value of each group, prepare(), offer() them
// again in the same groups; only the values of the bins that hold the
// middle ranks (64 to a degree) are kept and selected.  The median of an
// even count is the mean of the two middle values.
class GroupMedians {
public:
    explicit GroupMedians(std::size_t groups);
    // The counts of the groups come from the bins when they are added up:
    // counting only touches the bins.
    void count(std::size_t g, double v) { ++hist_[g * bins + std::size_t(bin(v))]; }
    // Adds the counts of another (of other values of the same groups), or
    // its candidates.
    void add_counts(const GroupMedians& o);
    void add_candidates(GroupMedians& o);
    // Takes the bins to keep from `o` (prepared).
    void targets_of(const GroupMedians& o);
    void prepare();
    void offer(std::size_t g, double v)
    {
        const int b = bin(v);
        if (b >= lo_[g] && b <= hi_[g]) cand_[g].push_back(v);
    }
    std::optional<double> median(std::size_t g);

private:
    static constexpr int bins = 90 * 64 + 1;
    static int bin(double v)
    {
        const double f = v * 64;
        return f > 0 ? (f < double(bins - 1) ? int(f) : bins - 1) : 0;
    }
    std::vector<std::uint32_t> hist_;
    std::vector<std::size_t> n_;
    std::vector<int> lo_, hi_;
    std::vector<std::size_t> below_;
    std::vector<std::vector<double>> cand_;
};
