#include "treatment_frame.hpp"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "gravcenter_model.hpp"
#include "parallel.hpp"
#include "plausibility.hpp"
#include "slices.hpp"
#include "workspace.hpp"

double centre_distance(const Workspace& ws)
{
    const std::int64_t di = std::abs(ws.i_gc - ws.i_gv), dj = std::abs(ws.j_gc - ws.j_gv);
    return std::sqrt(double(di * di + dj * dj));
}

void open_slicing(Workspace& ws)
{
    slicing_frame(ws);
    model_basal_rows(ws);
    basal_slice(ws);
}

void slicing_frame(Workspace& ws)
{
    const int nl = ws.nb_lig, nc = ws.nb_col;
    ws.coord_display = 1;
    // The radial sections may recompute the centre: the summary names both.
    ws.figures.slice_i_gv = ws.i_gv;
    ws.figures.slice_j_gv = ws.j_gv;
    select_basal_item(ws);
    check_edifice(ws);

    ws.flag_gc = 1;
    gravity_center(ws);
    model_frame_rows(ws);

    // The true top of the edifice, below sea level too.
    struct Top {
        bool any = false;
        int altitude = 0;
    };
    std::vector<Top> tops(static_cast<std::size_t>(nl));
    parallel_rows(0, nl, std::size_t(nc), [&](int first, int last) {
        for (int i = first; i < last; ++i) {
            Top& t = tops[std::size_t(i)];
            for (int j = 0; j < nc; ++j)
                if (ws.tab[i][j] == 1 && (!t.any || ws.itab[i][j] > t.altitude)) {
                    t.altitude = ws.itab[i][j];
                    t.any = true;
                }
        }
    });
    bool any = false;
    ws.altmax = 0;
    for (const Top& t : tops)
        if (t.any && (!any || t.altitude > ws.altmax)) {
            ws.altmax = t.altitude;
            any = true;
        }
    // A spike of nodata would cost a slice per metre: no edifice comes near.
    const std::int64_t height = std::int64_t(ws.altmax) - ws.base;
    if (height > 30000)
        fail(cfmt("the edifice rises %lld m above the base line, more than 30000 m : check the DEM's unit and its "
                  "nodata cells",
                  static_cast<long long>(height)));
}

void basal_slice(Workspace& ws)
{
    const int nl = ws.nb_lig, nc = ws.nb_col;
    const double dist_gc = centre_distance(ws);
    // Basal surface: cells on the grid's border lines and columns count whole.
    ws.fslice.printf("Distance (m)\tSurface (m2)\tVolume (m3)\tSlice\tAltitud (m)\n");
    struct Counts {
        int total = 0, perimeter = 0;
    };
    std::vector<Counts> counts(static_cast<std::size_t>(nl));
    parallel_rows(0, nl, std::size_t(nc), [&](int first, int last) {
        for (int i = first; i < last; ++i) {
            Counts& c = counts[std::size_t(i)];
            for (int j = 0; j < nc; ++j) {
                if (ws.tab[i][j] != 1) continue;
                ++c.total;
                if (i >= 1 && i <= nl - 2 && j >= 1 && j <= nc - 2 &&
                    (ws.tab[i - 1][j] != 1 || ws.tab[i][j + 1] != 1 || ws.tab[i + 1][j] != 1 ||
                     ws.tab[i][j - 1] != 1))
                    ++c.perimeter;
            }
        }
    });
    ws.nb_pix_tot = ws.nb_pix_per = 0;
    for (const Counts& c : counts) {
        ws.nb_pix_tot += c.total;
        ws.nb_pix_per += c.perimeter;
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
        // Each line's last such cell on all cores, then the last line's.
        std::vector<int> last(static_cast<std::size_t>(nl), -1);
        parallel_rows(0, nl, std::size_t(nc), [&](int a, int b) {
            for (int i = a; i < b; ++i)
                for (int j = nc - 1; j >= 0; --j)
                    if (ws.itab[i][j] == ws.b_crat && ws.tab[i][j] == 1) {
                        last[std::size_t(i)] = j;
                        break;
                    }
        });
        int si = -1, sj = -1;
        for (int i = nl - 1; i >= 0 && si < 0; --i)
            if (last[std::size_t(i)] >= 0) {
                si = i;
                sj = last[std::size_t(i)];
            }
        if (si >= 0 && si != ws.i_gv && sj != ws.j_gv) crater(ws);
    }
    ws.report("\n\n\tGlobal Volume of the edifice from %d until %d m : ", ws.base, ws.altmax);
    ws.report("\n\t\t %lf km3", volume * 1e-9);
    ws.first_volume = volume * 1e-9;
}
