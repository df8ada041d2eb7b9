#include "interp_frame.hpp"

#include <cmath>
#include <algorithm>
#include <cstdint>

#include "parallel.hpp"
#include "reconstitution.hpp"
#include "workspace.hpp"

namespace {

// Calls `put(i, j)` for every in-grid point of the circle of radius r drawn
// around the centre with `points` angles of `step` degrees.
template <class Put>
void circle(const Workspace& ws, double r, double step, int points, Put put)
{
    const double papi = 4.0 * std::atan(1.0) / 180;
    for (int k = 0; k < points; ++k) {
        const double a = k * step * papi;
        const int i = ws.i_gv - int(std::sin(a) * r + 0.5);
        const int j = ws.j_gv + int(std::cos(a) * r + 0.5);
        if (i >= 0 && i < ws.nb_lig && j >= 0 && j < ws.nb_col) put(i, j);
    }
}

void crater_profile(Workspace& ws, int distance)
{
    const int need = distance + 1;
    if (ws.fonc.size() < need) {
        ws.fonc = nrutil::ivecteur(need);
        if (!ws.fonc) grid_failed("fonc (crater profile)", 1, need, sizeof(std::int32_t));
    }
    const double coeff = ws.h_crat / std::log(ws.distmax_cr);
    for (int k = 1; k <= distance; ++k) ws.fonc[k] = trunc_to_int(ws.h_crat - coeff * std::log(double(k)) + ws.dalt_center);
    for (int n = 1; n < distance; n += 10) {
        const double r = ws.distmax_cr - (n - 1);
        const int value = ws.fonc[n];
        circle(ws, r, 0.5, 720, [&](int i, int j) { ws.ktab[i][j] = value; });
    }
    ws.ktab[ws.i_gv][ws.j_gv] = ws.itab[ws.i_gv][ws.j_gv];
}

// 3x3 mean over the edifice outside the crater disc, never below the present
// relief.  Every mean reads the cone as it was before the smoothing: the new
// values go to itab2 (free by now) and then into ktab.
void final_smoothing(Workspace& ws, int distance)
{
    const int nl = ws.nb_lig, nc = ws.nb_col;
    parallel_rows(0, nl, std::size_t(nc), [&](int first, int last) {
        for (std::size_t p = std::size_t(first) * nc; p < std::size_t(last) * nc; ++p)
            ws.tab1.data()[p] = ws.tab.data()[p] == 1;
    });
    for (int m = 0; m < distance - 1; ++m)
        circle(ws, ws.distmax_cr - m, 0.25, 1440, [&](int i, int j) { ws.tab1[i][j] = 0; });
    parallel_rows(1, nl - 1, std::size_t(nc), [&](int first, int last) {
        for (int i = first; i < last; ++i)
            for (int j = 1; j <= nc - 2; ++j) {
                if (ws.tab1[i][j] != 1) continue;
                std::int64_t sum = 0;
                int count = 0;
                for (int a = i - 1; a <= i + 1; ++a)
                    for (int b = j - 1; b <= j + 1; ++b)
                        if (ws.tab1[a][b] == 1) {
                            sum += ws.ktab[a][b];
                            ++count;
                        }
                const int mean = trunc_to_int(double(sum) / count);
                ws.itab2[i][j] = ws.itab[i][j] > mean ? ws.itab[i][j] : mean;
            }
    });
    parallel_rows(1, nl - 1, std::size_t(nc), [&](int first, int last) {
        for (int i = first; i < last; ++i)
            for (int j = 1; j <= nc - 2; ++j)
                if (ws.tab1[i][j] == 1) ws.ktab[i][j] = ws.itab2[i][j];
    });
}

}  // namespace

int open_interpolation(Workspace& ws)
{
    const int nl = ws.nb_lig, nc = ws.nb_col;
    ws.coord_display = 2;
    parallel_rows(0, nl, std::size_t(nc), [&](int first, int last) {
        for (std::size_t p = std::size_t(first) * nc; p < std::size_t(last) * nc; ++p) {
            ws.ktab.data()[p] = ws.tab.data()[p] == 1 ? unset_altitude : ws.itab.data()[p];
            ws.tab_co.data()[p] = 0;
        }
    });
    ws.say("\n\n\tFirst interpolation ");
    ws.say("\n\t\tinside the crater ");

    const int distance = trunc_to_int(ws.distmax_cr) + 1;
    crater_profile(ws, distance);

    ws.say("\n\t\toutside the crater ");
    mark_outline(ws, [&](int i, int j) { return ws.tab[i][j] == 1; });
    parallel_rows(0, nl, std::size_t(nc), [&](int first, int last) {
        for (std::size_t p = std::size_t(first) * nc; p < std::size_t(last) * nc; ++p)
            if (ws.tab_co.data()[p] == 1) ws.ktab.data()[p] = ws.base;
    });
    ws.top = ws.itab[ws.i_gv][ws.j_gv];
    ws.say("\n\n\tCrater bottom %d m\n", ws.top);
    return distance;
}

void close_interpolation(Workspace& ws, int distance)
{
    parallel_rows(0, ws.nb_lig, std::size_t(ws.nb_col), [&](int first, int last) {
        std::copy(ws.itab[first], ws.itab[first] + std::size_t(last - first) * ws.nb_col, ws.itab1[first]);
    });
    final_smoothing(ws, distance);
}
