#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "morphometry.hpp"
#include "slices.hpp"
#include "workspace.hpp"

namespace {

// Inclusive offsets: a cell on the centre's line is one line away.
double inclusive_distance(int di, int dj)
{
    const std::int64_t a = std::abs(std::int64_t(di)) + 1, b = std::abs(std::int64_t(dj)) + 1;
    return std::sqrt(double(a * a + b * b));
}

}  // namespace

// One ray from the centre to (ifin, jfin): the centre twice, then one cell per
// step.  A cell higher than the previous one along the ray is ascending, a
// lower one descending; the last ray crossing a cell decides its class.
void section(Workspace& ws)
{
    const double a = ws.jfin - ws.j_gv, b = ws.ifin - ws.i_gv;
    double rmax = std::max(std::fabs(a), std::fabs(b));
    if (rmax == 0) return;  // the ray is the centre alone
    const double dinext = b / rmax, djnext = a / rmax;
    int prev = ws.itab[ws.i_gv][ws.j_gv];
    double ri = ws.i_gv, rj = ws.j_gv;
    // The longer direction advances one cell per step: rmax steps reach the end.
    for (long step = 0; step < long(rmax); ++step) {
        ri += dinext;
        rj += djnext;
        const int ci = int(ri + 0.5), cj = int(rj + 0.5);
        const int alt = ws.itab[ci][cj];
        if (alt > prev)
            ws.tab_sect[ci][cj] = 1;
        else if (alt < prev)
            ws.tab_sect[ci][cj] = 2;
        prev = alt;
    }
}

void histo_pent(Workspace& ws)
{
    const int nl = ws.nb_lig, nc = ws.nb_col;
    if (ws.grav_cent == 1) {
        ws.flag_gc = 0;
        gravity_center(ws);
    }

    if (ws.coord_display == 1) {
        ws.both(ws.grav_cent == 0 ? "\n\n\tCoordinates of the Gravity Center defined by the user"
                                  : "\n\n\tCoordinates of the Graviry Center calculated by the program");
        ws.both("\n\t\tline   = %d ", ws.i_gv);
        ws.both("\n\t\tcolumn = %d ", ws.j_gv);
    } else if (ws.coord_display == 2) {
        ws.both("\n\n\tInterpolating treatment ");
    }

    ws.tab_co.fill(0);
    for (int i = 0; i < nl; ++i)
        for (int j = 0; j < nc; ++j) {
            if (ws.tab[i][j] != 1) continue;
            if ((i > 0 && ws.tab[i - 1][j] == 0) || (j > 0 && ws.tab[i][j - 1] == 0) ||
                (i < nl - 1 && ws.tab[i + 1][j] == 0) || (j < nc - 1 && ws.tab[i][j + 1] == 0))
                ws.tab_co[i][j] = 1;
        }

    ws.low_dist_base = std::max(nl, nc);
    ws.gre_dist_base = 0;
    ws.tab_sect.fill(255);
    bool any = false;
    for (int i = 0; i < nl; ++i)
        for (int j = 0; j < nc; ++j) {
            if (ws.tab_co[i][j] != 1) continue;
            ws.ifin = i;
            ws.jfin = j;
            const double d = inclusive_distance(i - ws.i_gv, j - ws.j_gv);
            if (!any || d < ws.low_dist_base) ws.low_dist_base = d;
            if (d > ws.gre_dist_base) ws.gre_dist_base = d;
            any = true;
            section(ws);
        }

    std::int64_t up = 0, down = 0, n_up = 0, n_down = 0;
    for (int i = 0; i < nl; ++i)
        for (int j = 0; j < nc; ++j) {
            if (ws.tab_sect[i][j] == 1) {
                ++n_up;
                up += ws.pente_ang[i][j];
            } else if (ws.tab_sect[i][j] == 2) {
                ++n_down;
                down += ws.pente_ang[i][j];
            }
        }
    ws.mean_ang_up = int(up);
    ws.mean_ang_down = int(down);
    ws.jco_up = int(n_up);
    ws.jco_down = int(n_down);
    ws.d_mean_ang_down = n_down ? double(down) / double(n_down) : 0.0;
    ws.d_mean_ang_up = n_up ? double(up) / double(n_up) : 0.0;

    // Console and report get the same lines but for the degree sign.
    ws.both("\n\n\tMean angle value : ");
    ws.say("\n\t\tSlope down = %5.2lf degrees", ws.d_mean_ang_down);
    ws.report("\n\t\tSlope down = %5.2lf \260", ws.d_mean_ang_down);
    ws.say("\n\t\tSlope up   = %5.2lf degrees", ws.d_mean_ang_up);
    ws.report("\n\t\tSlope up   = %5.2lf \260", ws.d_mean_ang_up);
    ws.both("\n\n\tBase Radius :");
    ws.both("\n\t\tLower radius   = %8.2lf m ", ws.low_dist_base * ws.dsizepix);
    ws.both("\n\t\tGreater radius = %8.2lf m ", ws.gre_dist_base * ws.dsizepix);

    ws.dif_rad = ws.gre_dist_base - ws.low_dist_base;
    ws.elong = ws.dif_rad / ws.low_dist_base * 100.0;
    ws.both("\n\t\tElongation factor = %8.2lf  ", ws.elong);

    ws.both("\n\n\tCrater Radius :");
    ws.both("\n\t\tLower radius   = %8.2lf m ", ws.distmin_cr * ws.dsizepix);
    ws.both("\n\t\tGreater radius = %8.2lf m ", ws.distmax_cr * ws.dsizepix);

    ws.alt_center = ws.itab[ws.i_gv][ws.j_gv];
    ws.dalt_center = ws.alt_center;
    ws.dmax_alt = ws.altmax;
    ws.h_vol = ws.dmax_alt - ws.dbase;
    ws.h_crat = ws.dmax_alt - ws.dalt_center;
    // The measure of the rebuilt cone (after the interpolation) overwrites
    // these scalars: the summary keeps both.
    const int relief = ws.coord_display == 2 ? 1 : 0;
    ws.figures.outline[relief] = any;
    ws.figures.jco_down[relief] = n_down;
    ws.figures.jco_up[relief] = n_up;
    ws.figures.slope_down[relief] = ws.d_mean_ang_down;
    ws.figures.slope_up[relief] = ws.d_mean_ang_up;
    ws.figures.crater_depth[relief] = ws.h_crat;

    ws.both("\n\n\tBase line altitude = %8.2lf m ", ws.dbase);
    ws.both("\n\tUpper altitude     = %8.2lf m ", ws.dmax_alt);
    ws.both("\n\n\tVolcanic height  = %8.2lf m ", ws.h_vol);
    ws.both("\n\tCrater depth    = %8.2lf m ", ws.h_crat);
}
