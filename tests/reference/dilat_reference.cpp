#include <cstdint>

#include "reconstitution.hpp"
#include "workspace.hpp"
#include "reference.hpp"

namespace reference {

// Growth by minimum: unset cells take the smallest set neighbour, crosses on
// odd passes and squares on even ones, reading itab2 and writing itab1.  Then
// every cell moves halfway toward its last strictly higher direct neighbour
// (order above, left, right, below); cells without one stay unset.  Only the
// cells unset in ktab receive the result.
void dilat(Workspace& ws)
{
    const int nl = ws.nb_lig, nc = ws.nb_col;
    ws.itab1.copy_from(ws.ktab);
    ws.itab2.copy_from(ws.ktab);
    ws.nb_pix_mod = 1;
    int flag = 0;
    while (ws.nb_pix_mod > 0) {
        ws.nb_pix_mod = 0;
        ++flag;
        const bool square = flag % 2 == 0;
        for (int i = 0; i < nl; ++i)
            for (int j = 0; j < nc; ++j) {
                if (ws.itab2[i][j] != unset_altitude) continue;
                int lowest = INT32_MAX;
                bool any = false;
                for (int a = i - 1; a <= i + 1; ++a)
                    for (int b = j - 1; b <= j + 1; ++b) {
                        if (a < 0 || a >= nl || b < 0 || b >= nc || (a == i && b == j)) continue;
                        if (!square && a != i && b != j) continue;
                        const int v = ws.itab2[a][b];
                        if (v == unset_altitude) continue;
                        any = true;
                        if (v < lowest) lowest = v;
                    }
                if (any) ws.itab1[i][j] = lowest;
            }
        for (int i = 0; i < nl; ++i)
            for (int j = 0; j < nc; ++j)
                if (ws.itab1[i][j] != unset_altitude && ws.itab2[i][j] == unset_altitude) {
                    ws.itab2[i][j] = ws.itab1[i][j];
                    ++ws.nb_pix_mod;
                }
    }
    for (int i = 0; i < nl; ++i)
        for (int j = 0; j < nc; ++j) {
            const int v = ws.itab2[i][j];
            int count = 0, w = 0;
            auto look = [&](int a, int b) {
                if (a < 0 || a >= nl || b < 0 || b >= nc || ws.itab2[a][b] <= v) return;
                ++count;
                w = ws.itab2[a][b];
            };
            look(i - 1, j);
            look(i, j - 1);
            look(i, j + 1);
            look(i + 1, j);
            ws.itab1[i][j] = count ? trunc_to_int(double(std::int64_t(v) + w) * 0.5 + 0.5) : unset_altitude;
        }
    ws.modif = 0;
    for (std::size_t p = 0; p < ws.ktab.size(); ++p)
        if (ws.itab1.data()[p] != unset_altitude && ws.ktab.data()[p] == unset_altitude) {
            ws.ktab.data()[p] = ws.itab1.data()[p];
            ++ws.modif;
        }
}

}  // namespace reference
