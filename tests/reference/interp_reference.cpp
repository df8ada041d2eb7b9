#include <cmath>
#include <cstdint>

#include "reconstitution.hpp"
#include "slices.hpp"
#include "workspace.hpp"
#include "reference.hpp"
#include "interp_frame.hpp"

namespace reference {

namespace {




// Convex envelopes of the slices under the centre, as contour lines.
void slice_contours(Workspace& ws)
{
    const std::size_t cells = ws.tab1.size();
    for (long long a = ws.base; a <= ws.altmax; ++a) {
        ws.alti_conv = int(a);
        ws.say("\t\tslice %d m          \r     ", ws.alti_conv);
        ws.tab_conv.fill(0);
        ws.tab_co.fill(0);
        for (std::size_t p = 0; p < cells; ++p)
            ws.tab1.data()[p] = (ws.itab.data()[p] >= a && ws.tab.data()[p] == 1) ? 1 : 0;
        ws.num = 0;
        ::suiv_formes(ws);
        const int L = ws.tab1[ws.i_gv][ws.j_gv];
        if (L == 0) continue;
        for (std::size_t p = 0; p < cells; ++p)
            if (ws.tab1.data()[p] == L && ws.tab.data()[p] == 1) ws.tab_conv.data()[p] = 1;
        mark_outline(ws, [&](int i, int j) { return ws.tab_conv[i][j] == 1; });
        ws.tab_conv.fill(0);
        reference::convexity(ws);
        ws.tab_co.fill(0);
        mark_outline(ws, [&](int i, int j) { return ws.tab_conv[i][j] != 0; });
        int outside = 0;
        for (std::size_t p = 0; p < cells; ++p) {
            ws.tab1.data()[p] = ws.tab.data()[p] + ws.tab_conv.data()[p];
            outside += ws.tab1.data()[p] == 2;
        }
        if (outside == 0)
            for (std::size_t p = 0; p < cells; ++p)
                if (ws.tab_co.data()[p] == 1) ws.ktab.data()[p] = ws.alti_conv;
    }
}

// Unset cells take the rounded mean of their set direct neighbours, in scan
// order, seeing the cells set earlier in the same scan.
void closing_fill(Workspace& ws)
{
    const int nl = ws.nb_lig, nc = ws.nb_col;
    ws.nb_pix_mod = 1;
    while (ws.nb_pix_mod > 0) {
        ws.nb_pix_mod = 0;
        for (int i = 0; i < nl; ++i)
            for (int j = 0; j < nc; ++j) {
                if (ws.ktab[i][j] != unset_altitude) continue;
                std::int64_t sum = 0;
                int count = 0;
                auto take = [&](int a, int b) {
                    if (a < 0 || a >= nl || b < 0 || b >= nc || ws.ktab[a][b] == unset_altitude) return;
                    sum += ws.ktab[a][b];
                    ++count;
                };
                take(i - 1, j);
                take(i, j - 1);
                take(i, j + 1);
                take(i + 1, j);
                if (count == 0) continue;
                ws.ktab[i][j] = trunc_to_int(double(sum) / count + 0.5);
                ++ws.nb_pix_mod;
            }
    }
}


}  // namespace


void interp(Workspace& ws)
{
    label_grids(ws);
    const int distance = open_interpolation(ws);
    slice_contours(ws);

    ws.say("\n\n\tCone reconstitution \n");
    ws.modif = 1;
    int lco = 0;
    while (ws.modif > 0) {
        int unset = 0;
        for (std::size_t p = 0; p < ws.ktab.size(); ++p) unset += ws.ktab.data()[p] == unset_altitude;
        ++lco;
        ws.say("\tIteration : %d number of points = %d modified points = %d \r             ", lco, unset,
               ws.modif);
        ws.modif = 0;
        reference::dilat(ws);
    }
    closing_fill(ws);
    close_interpolation(ws, distance);
}

}  // namespace reference
