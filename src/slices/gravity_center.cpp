#include <cstdint>

#include "slices.hpp"
#include "workspace.hpp"

void gravity_center(Workspace& ws)
{
    std::int64_t count = 0, sum_i = 0, sum_j = 0;
    for (int i = 0; i < ws.nb_lig; ++i) {
        for (int j = 0; j < ws.nb_col; ++j) {
            bool in = ws.flag_gc == 2 ? ws.tab_pl[i][j] == 1 : ws.tab[i][j] == 1;
            if (in) {
                sum_i += i;
                sum_j += j;
                ++count;
            }
        }
    }
    if (count == 0) return;
    int ci = int(sum_i / count), cj = int(sum_j / count);
    if (ws.flag_gc == 0) {
        ws.i_gv = ci;
        ws.j_gv = cj;
    } else {
        ws.i_gc = ci;
        ws.j_gc = cj;
    }
}
