#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "slices.hpp"
#include "workspace.hpp"

// Offsets from the centre are counted inclusively (|d| + 1).
void crater(Workspace& ws)
{
    ws.tab_cr.fill(0);
    ws.figures.crater_detected = true;
    bool any = false;
    ws.distmin_cr = 10000.0;
    ws.distmax_cr = 0.0;
    for (int i = 0; i < ws.nb_lig; ++i) {
        for (int j = 0; j < ws.nb_col; ++j) {
            if (ws.tab[i][j] != 1 || ws.itab[i][j] != ws.altmax) continue;
            ws.tab_cr[i][j] = 1;
            const std::int64_t idif = std::abs(i - ws.i_gv) + 1, jdif = std::abs(j - ws.j_gv) + 1;
            ws.dist = std::sqrt(double(idif * idif + jdif * jdif));
            if (!any || ws.distmin_cr > ws.dist) ws.distmin_cr = ws.dist;
            if (!any || ws.distmax_cr < ws.dist) ws.distmax_cr = ws.dist;
            any = true;
        }
    }
}
