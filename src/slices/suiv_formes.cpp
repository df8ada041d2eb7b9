#include <cstdint>

#include "slices.hpp"
#include "workspace.hpp"

// The point list holds every cell of the grid at most once per zone.
void init_vect(Workspace& ws)
{
    std::size_t cells = std::size_t(ws.nb_lig) * std::size_t(ws.nb_col);
    ws.coord_y.assign(cells + 1, 0);
    ws.coord_x.assign(cells + 1, 0);
}

// Each zone is followed from its first cell in scan order with the point list
// as a stack; every cell is pushed once, so a zone costs time linear in its
// size.  Zones reach lines 1 .. nb_lig-1 and columns 1 .. nb_col-1 only, and
// start from lines 1 .. nb_lig-2, columns 1 .. nb_col-2.
void suiv_formes(Workspace& ws)
{
    const int nl = ws.nb_lig, nc = ws.nb_col;
    ws.num = 0;
    ws.tab_pl.fill(0);
    if (ws.coord_y.size() < ws.tab1.size() + 1) init_vect(ws);
    std::uint16_t* cy = ws.coord_y.data();
    std::uint16_t* cx = ws.coord_x.data();

    for (int i = 1; i <= nl - 2; ++i) {
        for (int j = 1; j <= nc - 2; ++j) {
            if (ws.tab1[i][j] != 1) continue;
            std::size_t n = 0, next = 0;
            cy[n] = std::uint16_t(i);
            cx[n++] = std::uint16_t(j);
            ws.tab1[i][j] = 0;
            while (next < n) {
                const int pi = cy[next], pj = cx[next];
                ++next;
                for (int qi = pi - 1; qi <= pi + 1; ++qi) {
                    if (qi < 1 || qi > nl - 1) continue;
                    std::int32_t* row = ws.tab1[qi];
                    for (int qj = pj - 1; qj <= pj + 1; ++qj) {
                        if (qj < 1 || qj > nc - 1 || row[qj] != 1) continue;
                        row[qj] = 0;
                        cy[n] = std::uint16_t(qi);
                        cx[n++] = std::uint16_t(qj);
                    }
                }
            }
            if (n < 2) continue;  // a lone cell is not an item
            if (++ws.num == 10) ws.num = 11;
            for (std::size_t p = 0; p < n; ++p) ws.tab_pl[cy[p]][cx[p]] = ws.num;
        }
    }
    ws.tab1.copy_from(ws.tab_pl);
}
