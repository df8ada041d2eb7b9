#include "plausibility.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <queue>
#include <utility>
#include <vector>

#include "nodata.hpp"
#include "slices.hpp"
#include "workspace.hpp"

std::string pixel_size_warning(const Workspace& ws)
{
    // Only an ESRI header gives a cellsize; a millionth of it allows for the
    // decimals a user types.
    if (ws.format != 0 || !(std::fabs(ws.dsizepix - ws.cellsize) > std::fabs(ws.cellsize) * 1e-6)) return "";
    return cfmt("\n\tWarning : the pixel size typed (%lf m) is not the grid's cellsize (%lf) : areas grow with its "
                "square and volumes too, and the outputs no longer lie on the input's grid ",
                ws.dsizepix, ws.cellsize);
}

std::string base_below_dem_warning(const Workspace& ws)
{
    if (ws.base > ws.mind) return "";
    return cfmt("\n\tWarning : the base line (%d m) is not above the lowest cell of the DEM (%d m) : every cell is at "
                "or above it, and the whole grid is one item ",
                ws.base, ws.mind);
}

void warn_on_console(Workspace& ws, const char* code, const std::string& text)
{
    ws.say("%s", text.c_str());
    ws.warnings.push_back({code, text});
}

int edifice_border_cells(const Workspace& ws)
{
    const int nl = ws.nb_lig, nc = ws.nb_col;
    // The labelling leaves line 0 and column 0 out of every item: a cell there
    // counts when it is next to one.
    auto near_edifice = [&](int i, int j) {
        for (int a = std::max(i - 1, 0); a <= std::min(i + 1, nl - 1); ++a)
            for (int b = std::max(j - 1, 0); b <= std::min(j + 1, nc - 1); ++b)
                if (ws.tab[a][b] == 1) return true;
        return false;
    };
    auto counts = [&](int i, int j) {
        return ws.itab[i][j] >= ws.base && !without_data(ws, i, j) && (!ws.outline_cells || ws.outline_cells[i][j]) &&
                       near_edifice(i, j)
                   ? 1
                   : 0;
    };
    int count = 0;
    for (int i = 0; i < nl; ++i) {
        if (i == 0 || i == nl - 1) {
            for (int j = 0; j < nc; ++j) count += counts(i, j);
        } else {
            count += counts(i, 0);
            if (nc > 1) count += counts(i, nc - 1);
        }
    }
    return count;
}

void check_edifice(Workspace& ws)
{
    const int border = edifice_border_cells(ws);
    ws.figures.edifice_border_cells = border;
    if (border > 0)
        ws.warn("border",
                "\n\tWarning : the edifice reaches the edge of the grid on %d cells : it may go on beyond the DEM, and "
                "its volume, surfaces and radii would then be too small : choose a higher base line or a larger DEM ",
                border);

    if (ws.grav_cent != 1) return;
    // The edifice's own gravity centre, computed as the radial sections will
    // compute it; the centre of the slice analysis stays.
    const int ci = ws.i_gv, cj = ws.j_gv, flag = ws.flag_gc;
    ws.flag_gc = 0;
    gravity_center(ws);
    const int ii = ws.i_gv, ij = ws.j_gv;
    ws.i_gv = ci;
    ws.j_gv = cj;
    ws.flag_gc = flag;
    const int di = std::abs(ii - ci), dj = std::abs(ij - cj);
    if (di > 1 || dj > 1)
        ws.warn("calculated_centre_many_items",
                "\n\tWarning : the centre was calculated from all %d cells at or above the base line, which form %d "
                "items : the chosen item's own centre (line %d, column %d) lies %d cells away : type the centre when "
                "the DEM holds more than one relief ",
                ws.nb_pix_bin, ws.figures.items, ii, ij, std::max(di, dj));
}

std::int64_t spill_level(const nrutil::IGrid& z, const nrutil::UcGrid& item, int pi, int pj)
{
    const int nl = z.lines(), nc = z.columns();
    auto is_exit = [&](int i, int j) {
        if (i == 0 || j == 0 || i == nl - 1 || j == nc - 1) return true;
        for (int a = i - 1; a <= i + 1; ++a)
            for (int b = j - 1; b <= j + 1; ++b)
                if (item[a][b] != 1) return true;
        return false;
    };
    // From the centre outwards, level by level: the cells reachable without
    // climbing above the level (a queue), and the lowest cell beyond them (a
    // heap) that raises it.  Only the basin around the centre is visited.
    nrutil::UcGrid seen;
    allocate_grid(seen, "of the crater checks", nc, nl);
    using Cell = std::pair<std::int64_t, std::int64_t>;  // altitude, cell number
    std::priority_queue<Cell, std::vector<Cell>, std::greater<Cell>> beyond;
    std::vector<std::int64_t> level_cells{std::int64_t(pi) * nc + pj};
    seen[pi][pj] = 1;
    std::int64_t level = z[pi][pj];
    for (;;) {
        while (!level_cells.empty()) {
            const std::int64_t c = level_cells.back();
            level_cells.pop_back();
            const int i = int(c / nc), j = int(c % nc);
            if (is_exit(i, j)) return level;
            for (int a = i - 1; a <= i + 1; ++a)
                for (int b = j - 1; b <= j + 1; ++b) {
                    if (item[a][b] != 1 || seen[a][b]) continue;
                    seen[a][b] = 1;
                    const std::int64_t n = std::int64_t(a) * nc + b;
                    if (z[a][b] <= level)
                        level_cells.push_back(n);
                    else
                        beyond.push({z[a][b], n});
                }
        }
        if (beyond.empty()) return level;  // an item always has an exit: not reached
        level = beyond.top().first;
        level_cells.push_back(beyond.top().second);
        beyond.pop();
    }
}

int walled_rays(const nrutil::IGrid& z, const nrutil::UcGrid& item, int pi, int pj, int top)
{
    const int nl = z.lines(), nc = z.columns();
    const std::int64_t a = z[pi][pj], h = std::int64_t(top) - a;
    if (h < 2) return 0;
    const double wall = double(a) + double(h) / 2;
    const double papi = 4.0 * std::atan(1.0) / 180;
    int walled = 0;
    for (int k = 0; k < 16; ++k) {
        const double t = k * 22.5 * papi;
        const double s = std::sin(t), c = std::cos(t);
        bool high = false;
        for (long d = 1;; ++d) {
            const long i = pi - std::lround(double(d) * s), j = pj + std::lround(double(d) * c);
            if (i < 0 || j < 0 || i >= nl || j >= nc || item[int(i)][int(j)] != 1) break;
            if (double(z[int(i)][int(j)]) >= wall) high = true;
        }
        walled += high;
    }
    return walled;
}

void measure_crater_checks(Workspace& ws)
{
    if (!ws.figures.crater_detected) return;
    const int pi = ws.figures.slice_i_gv, pj = ws.figures.slice_j_gv;
    const std::int64_t depth = spill_level(ws.itab, ws.tab, pi, pj) - ws.itab[pi][pj];
    const int walled = walled_rays(ws.itab, ws.tab, pi, pj, ws.altmax);
    ws.figures.crater_depression = depth;
    ws.figures.crater_walled_rays = walled;
    ws.figures.crater_found = depth >= 1 || walled >= 8;
}

void check_crater(Workspace& ws)
{
    if (!ws.figures.crater_detected) return;
    const int pi = ws.figures.slice_i_gv, pj = ws.figures.slice_j_gv;
    if (!ws.figures.crater_found) {
        // The summit with which the slice analysis decided to look for a
        // crater: the last cell of the edifice at its top, in scan order.
        int si = 0, sj = 0;
        for (int i = 0; i < ws.nb_lig; ++i)
            for (int j = 0; j < ws.nb_col; ++j)
                if (ws.tab[i][j] == 1 && ws.itab[i][j] == ws.altmax) {
                    si = i;
                    sj = j;
                }
        ws.warn("no_crater_around_centre",
                "\n\tWarning : a crater was measured, but the centre point (line %d, column %d) lies in no closed "
                "depression and higher ground walls it in on fewer than half of its sides : the crater radii and the "
                "rebuilt crater are likely invented : for a cone without a crater, type the centre on its summit "
                "(line %d, column %d) ",
                pi, pj, si, sj);
    }
    if (ws.distmax_cr > ws.gre_dist_base)
        ws.warn("crater_above_base_radius",
                "\n\tWarning : the greater crater radius (%.2lf m) exceeds the greater base radius (%.2lf m) : the "
                "highest cells are no rim around the centre point : check the centre point ",
                ws.distmax_cr * ws.dsizepix, ws.gre_dist_base * ws.dsizepix);
}

void check_erosion(Workspace& ws)
{
    if (ws.figures.erosion_max > ws.h_vol)
        ws.warn("erosion_above_height",
                "\n\tWarning : the largest erosion thickness (%.2lf m) exceeds the volcanic height (%.2lf m) : the "
                "rebuilt cone is implausible : check the centre point and the base line ",
                ws.figures.erosion_max, ws.h_vol);
}
