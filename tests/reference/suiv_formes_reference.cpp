#include <cstdint>
#include <vector>

#include "reference.hpp"

namespace reference {

// The zone is followed depth first from its first cell; the point list is also
// the stack: after every new cell the walk back restarts from the newest one.
void suiv_formes(Workspace& ws)
{
    const int nl = ws.nb_lig, nc = ws.nb_col;
    const std::size_t itmax = std::size_t(nl) * std::size_t(nc);
    std::vector<std::uint16_t> coord_y(itmax + 1), coord_x(itmax + 1);
    ws.num = 0;
    ws.tab_pl.fill(0);
    for (int i = 1; i <= nl - 2; ++i)
        for (int j = 1; j <= nc - 2; ++j) {
            if (ws.tab1[i][j] != 1) continue;
            std::size_t n = 1, k = 0;
            coord_y[1] = std::uint16_t(i);
            coord_x[1] = std::uint16_t(j);
            ws.tab1[i][j] = 0;
            int ideb = i, jdeb = j;
            for (;;) {
                bool found = false;
                for (int a = ideb - 1; a <= ideb + 1 && !found; ++a)
                    for (int b = jdeb - 1; b <= jdeb + 1; ++b)
                        if (a >= 1 && a <= nl - 1 && b >= 1 && b <= nc - 1 && ws.tab1[a][b] == 1) {
                            ideb = a;
                            jdeb = b;
                            found = true;
                            break;
                        }
                if (found) {
                    ++n;
                    coord_y[n] = std::uint16_t(ideb);
                    coord_x[n] = std::uint16_t(jdeb);
                    ws.tab1[ideb][jdeb] = 0;
                    k = 0;
                    continue;
                }
                ++k;
                if (k >= n) break;
                ideb = coord_y[n - k];
                jdeb = coord_x[n - k];
            }
            if (n == 1) n = 0;
            if (n >= 1 && n <= itmax) {
                if (++ws.num == 10) ws.num = 11;
                for (std::size_t p = 1; p <= n; ++p) ws.tab_pl[coord_y[p]][coord_x[p]] = ws.num;
            }
        }
    ws.tab1.copy_from(ws.tab_pl);
}

}  // namespace reference
