#include <cmath>
#include <cstdint>

#include "morphometry.hpp"
#include "parallel.hpp"
#include "workspace.hpp"

// 3x3 gradient kernels: x toward increasing column, y toward line 0.
void angles(Workspace& ws)
{
    static const int cx[3][3] = {{-1, 0, 1}, {-2, 0, 2}, {-1, 0, 1}};
    static const int cy[3][3] = {{1, 2, 1}, {0, 0, 0}, {-1, -2, -1}};
    const double cc = 8;
    const double p = 1 / ws.dsizepix;
    const double pi = 4.0 * std::atan(1.0);
    parallel_rows(1, ws.nb_lig - 1, std::size_t(ws.nb_col), [&](int first, int last) {
      for (int i = first; i < last; ++i) {
        for (int j = 1; j <= ws.nb_col - 2; ++j) {
            double pentx = 0, penty = 0;
            for (int r = -1; r <= 1; ++r)
                for (int c = -1; c <= 1; ++c) {
                    const std::int64_t z = ws.itab[i + r][j + c];
                    pentx += double(z * cx[r + 1][c + 1]);
                    penty += double(z * cy[r + 1][c + 1]);
                }
            pentx = pentx / cc * p;
            penty = penty / cc * p;
            const double pent = std::sqrt(pentx * pentx + penty * penty);
            const double angle = std::atan(pent) * 180 / pi;
            ws.pente_ang[i][j] = std::uint8_t(int(angle + 0.5));
        }
      }
    });
}
