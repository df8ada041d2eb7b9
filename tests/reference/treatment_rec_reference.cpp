#include "reconstitution.hpp"
#include "workspace.hpp"
#include "reference.hpp"

namespace reference {

void label_grids(Workspace& ws)
{
    if (!ws.tab1) allocate_grid(ws.tab1, "tab1", ws.nb_col, ws.nb_lig);
    if (!ws.tab_pl) allocate_grid(ws.tab_pl, "tab_pl", ws.nb_col, ws.nb_lig);
}

void treatment_rec(Workspace& ws)
{
    label_grids(ws);
    const std::size_t cells = ws.tab_pl.size();
    double volume = 0;
    ws.pixsurf = ws.dsizepix * ws.dsizepix;
    for (long long k = static_cast<long long>(ws.base) + 1; k <= ws.altmax; ++k) {
        int val = 0;
        for (std::size_t p = 0; p < cells; ++p) {
            ws.tab_pl.data()[p] = ws.itab.data()[p] >= k && ws.tab.data()[p] == 1;
            val += ws.tab_pl.data()[p];
        }
        ws.say("\tNumber of pixels in the slice %d = %d     \r  ", int(k), val);
        volume += val * ws.pixsurf * ws.high;
    }
    ws.both("\n\n\tGLOBAL VOLUME = %9.3lf km3", volume * 1e-9);
    const double difvol = volume * 1e-9 - ws.first_volume;
    ws.say("\n\n\tVolumetric difference = %lf km3", difvol);
    ws.figures.rebuilt_volume = volume * 1e-9;
    ws.figures.volumetric_difference = difvol;
}

}  // namespace reference
