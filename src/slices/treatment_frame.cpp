#include "treatment_frame.hpp"

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "gravcenter_model.hpp"
#include "slices.hpp"
#include "workspace.hpp"

double centre_distance(const Workspace& ws)
{
    const std::int64_t di = std::abs(ws.i_gc - ws.i_gv), dj = std::abs(ws.j_gc - ws.j_gv);
    return std::sqrt(double(di * di + dj * dj));
}

void open_slicing(Workspace& ws)
{
    const int nl = ws.nb_lig, nc = ws.nb_col;
    ws.coord_display = 1;
    // The radial sections may recompute the centre: the summary names both.
    ws.figures.slice_i_gv = ws.i_gv;
    ws.figures.slice_j_gv = ws.j_gv;
    select_basal_item(ws);

    ws.flag_gc = 1;
    gravity_center(ws);
    const double dist_gc = centre_distance(ws);
    model_frame_rows(ws);

    // The true top of the edifice, below sea level too.
    bool any = false;
    ws.altmax = 0;
    for (int i = 0; i < nl; ++i)
        for (int j = 0; j < nc; ++j)
            if (ws.tab[i][j] == 1 && (!any || ws.itab[i][j] > ws.altmax)) {
                ws.altmax = ws.itab[i][j];
                any = true;
            }
    // A spike of nodata would cost a slice per metre: no edifice comes near.
    const std::int64_t height = std::int64_t(ws.altmax) - ws.base;
    if (height > 30000)
        fail(cfmt("the edifice rises %lld m above the base line, more than 30000 m : check the DEM's unit and its "
                  "nodata cells",
                  static_cast<long long>(height)));
    model_basal_rows(ws);

    // Basal surface: cells on the grid's border lines and columns count whole.
    ws.fslice.printf("Distance (m)\tSurface (m2)\tVolume (m3)\tSlice\tAltitud (m)\n");
    ws.nb_pix_tot = ws.nb_pix_per = 0;
    for (int i = 0; i < nl; ++i)
        for (int j = 0; j < nc; ++j) {
            if (ws.tab[i][j] != 1) continue;
            ++ws.nb_pix_tot;
            if (i >= 1 && i <= nl - 2 && j >= 1 && j <= nc - 2 &&
                (ws.tab[i - 1][j] != 1 || ws.tab[i][j + 1] != 1 || ws.tab[i + 1][j] != 1 || ws.tab[i][j - 1] != 1))
                ++ws.nb_pix_per;
        }
    ws.nb_pix_surf = ws.nb_pix_tot - ws.nb_pix_per;
    const double surf_slice = (ws.nb_pix_surf + 0.5 * ws.nb_pix_per) * ws.pixel_surface;
    ws.high = 1.0;
    const double slicevol = surf_slice * ws.high;
    ws.fslice.printf("%lf\t%lf\t%lf\t%d\t%d\n", dist_gc * ws.dsizepix, surf_slice, slicevol, 0, ws.base);
    ws.say("\n\n\tFirst Treatment\n\n");
}

void close_slicing(Workspace& ws, double volume)
{
    const int nl = ws.nb_lig, nc = ws.nb_col;
    ws.fslice.close();
    ws.say("\n\n\tGlobal Volume of the edifice from %d until %d m : ", ws.base, ws.altmax);
    ws.say("\n\t\t %lf km3", volume * 1e-9);
    ws.flag_convex = 2;

    // The summit is the last cell of the top slice in scan order; the crater
    // is looked for only when it lies off both the centre's line and column,
    // and only when some slice was measured.
    if (static_cast<long long>(ws.altmax) > ws.base) {
        int si = -1, sj = -1;
        for (int i = 0; i < nl; ++i)
            for (int j = 0; j < nc; ++j)
                if (ws.itab[i][j] == ws.b_crat && ws.tab[i][j] == 1) {
                    si = i;
                    sj = j;
                }
        if (si >= 0 && si != ws.i_gv && sj != ws.j_gv) crater(ws);
    }
    ws.report("\n\n\tGlobal Volume of the edifice from %d until %d m : ", ws.base, ws.altmax);
    ws.report("\n\t\t %lf km3", volume * 1e-9);
    ws.first_volume = volume * 1e-9;
}
