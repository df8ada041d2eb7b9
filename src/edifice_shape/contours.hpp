// Contour lines of a grid by marching squares, and the levels at which the
// edifice is cut.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "grid_frame.hpp"

// One connected piece of the contour of a level: a loop, or a chain that ends
// where the field stops (a mask edge, a cell without data, the grid edge).
struct Piece {
    Ring v;  // local metres; a loop's first vertex is not repeated
    bool loop = false;
};

// The corners that the tracer reads: lines i0..i1, columns j0..j1.
struct TraceWindow {
    int i0 = 0, i1 = -1, j0 = 0, j1 = -1;
};
// Fills z[j - j0] and ok[j - j0] (1 where the corner counts) for the window's
// columns of line i.  Called from several threads at once.
using LineReader = std::function<void(int i, double* z, std::uint8_t* ok)>;

// Marching squares.  A corner is inside when z >= L.  A square with a corner
// that does not count yields nothing.  An edge between corners of differing
// state holds one vertex at the fraction (L - z1) / (z2 - z1) from its first
// corner (the left one, or the upper one).  In a saddle the mean of the four
// corners sets the centre's state and each corner of the other state is cut
// off by its own segment.  Segments chain through shared edges into pieces,
// listed in the order of their first segment in scan order; a loop starts at
// that segment.  `levels` ascending; the pieces of each level.
std::vector<std::vector<Piece>> trace_contours(const GridFrame& g, TraceWindow w, const LineReader& read,
                                               const std::vector<double>& levels);

// The value of corner (i, j), false when it does not count.
using CornerReader = std::function<bool(int i, int j, double& z)>;

// The pieces at `level` that reach the squares touching line `line` from
// column `from` on (with the pieces sharing a square with them), each as
// trace_contours gives it and in its order: every loop round a point of that
// line lies among them.  Linear in their length, not in the grid.
std::vector<Piece> pieces_across_line(const GridFrame& g, TraceWindow w, const CornerReader& corner, double level,
                                      int line, int from);

// Index of the piece with the most vertices, the first on ties; -1 if none.
int largest_piece(const std::vector<Piece>& pieces);

// Distance between a piece's two ends (0 for a loop).
double end_gap(const Piece& p);

// The levels that cut the edifice: L_k = z_b0 + k CI (a product, not a
// running sum), z_b0 = z_bmin rounded to 0.01 m; or, anchored on multiples,
// L_k = CI (q + k) with CI a whole number and L_-1 = CI q - CI the first
// multiple searched, q = ceil(round(z_bmin) / CI).
struct LevelRule {
    double ci = 0;  // 0: no level
    bool multiples = false;
    double z_b0 = 0;
    long long q = 0;
    double at(long long k) const { return multiples ? ci * double(q + k) : z_b0 + double(k) * ci; }
};
// CI = fraction x range rounded (half away from zero) to 0.01 m, or
// `interval` when given; rounded to a whole number when anchored on
// multiples.
LevelRule level_rule(double range, double z_bmin, double fraction, std::optional<double> interval, bool multiples);
// Rounded half away from zero to 0.01.
double round_cm(double v);

// On levels a spacing `ci` apart (ascending): how many lie at or below v
// (std::upper_bound's position), and the first at or above v (lower_bound's),
// from a guess made exact by comparisons.
inline std::size_t levels_at_or_below(const std::vector<double>& L, double ci, double v)
{
    const std::size_t n = L.size();
    if (!n) return 0;
    const double f = std::floor((v - L[0]) / ci) + 1;
    std::size_t g = f <= 0 ? 0 : f >= double(n) ? n : std::size_t(f);
    while (g > 0 && L[g - 1] > v) --g;
    while (g < n && L[g] <= v) ++g;
    return g;
}
inline std::size_t first_level_at_or_above(const std::vector<double>& L, double ci, double v)
{
    const std::size_t n = L.size();
    if (!n) return 0;
    const double f = std::ceil((v - L[0]) / ci);
    std::size_t g = f <= 0 ? 0 : f >= double(n) ? n : std::size_t(f);
    while (g > 0 && L[g - 1] >= v) --g;
    while (g < n && L[g] < v) ++g;
    return g;
}
