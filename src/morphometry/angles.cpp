#include <cmath>
#include <cstdint>

#include "morphometry.hpp"
#include "parallel.hpp"
#include "slope_angle.hpp"
#include "workspace.hpp"

// 3x3 gradient kernels: x toward increasing column (-1 0 1 / -2 0 2 / -1 0 1),
// y toward line 0 (1 2 1 / 0 0 0 / -1 -2 -1).  The products are integers and
// their sums stay far below 2^53, so summing them as integers gives exactly
// the double sums.
void angles(Workspace& ws)
{
    const double cc = 8;
    const double p = 1 / ws.dsizepix;
    static const SlopeAngles degrees;
    const int nc = ws.nb_col;
    parallel_rows(1, ws.nb_lig - 1, std::size_t(nc), [&](int first, int last) {
        for (int i = first; i < last; ++i) {
            const std::int32_t* up = ws.itab[i - 1];
            const std::int32_t* mid = ws.itab[i];
            const std::int32_t* down = ws.itab[i + 1];
            std::uint8_t* out = ws.pente_ang[i];
            for (int j = 1; j <= nc - 2; ++j) {
                const std::int64_t sx = -std::int64_t(up[j - 1]) + up[j + 1] - 2 * std::int64_t(mid[j - 1]) +
                                        2 * std::int64_t(mid[j + 1]) - down[j - 1] + down[j + 1];
                const std::int64_t sy = std::int64_t(up[j - 1]) + 2 * std::int64_t(up[j]) + up[j + 1] - down[j - 1] -
                                        2 * std::int64_t(down[j]) - down[j + 1];
                const double pentx = double(sx) / cc * p;
                const double penty = double(sy) / cc * p;
                out[j] = degrees(pentx * pentx + penty * penty);
            }
        }
    });
}
