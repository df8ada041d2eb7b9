#include <cmath>

#include "dialogue.hpp"
#include "input.hpp"
#include "nodata.hpp"
#include "workspace.hpp"

namespace {

// True extremes of a grid (a value replaces the current one only when strictly
// smaller or greater, scanning in order), over the cells with data.
template <class T>
void extremes(const Workspace& ws, const nrutil::Grid<T>& g, T& lo, T& hi)
{
    const T* p = g.data();
    std::size_t n = g.size();
    std::size_t k = 0;
    while (k < n && without_data(ws, k)) ++k;
    if (k == n) return;
    lo = hi = p[k];
    for (++k; k < n; ++k) {
        if (without_data(ws, k)) continue;
        if (p[k] < lo) lo = p[k];
        if (p[k] > hi) hi = p[k];
    }
}

}  // namespace

void parameters1(Workspace& ws)
{
    if (ws.format == 0) {
        mark_cells_without_data(ws);
        ws.dmin = 2000000.0;
        ws.dmax = 0.0;
        extremes(ws, ws.dtab, ws.dmin, ws.dmax);
        ws.say("\n\tDynamic scale of the selected DEM : ");
        ws.say("\n\tMin : %lf\tMax : %lf ", ws.dmin, ws.dmax);
        ws.mind = 2000000;
        ws.maxd = 0;
        extremes(ws, ws.itab, ws.mind, ws.maxd);
        ws.say("\n\n\tRecalculated dynamic scale in meters (integer values) : ");
        ws.say("\n\tMin : %d\tMax : %d ", ws.mind, ws.maxd);
        lowland_under_nodata(ws);
    } else {
        allocate_grid(ws.dtab, "dtab (exact elevations)", ws.nb_col, ws.nb_lig);
        ws.mind = 2000000;
        ws.maxd = 0;
        extremes(ws, ws.itab, ws.mind, ws.maxd);
        ws.dmin = ws.mind;
        ws.dmax = ws.maxd;
        ws.say("\n\tDynamic scale of the selected DEM : ");
        ws.say("\n\tMin : %d\tMax : %d ", ws.mind, ws.maxd);
        ws.interv = ask_int(ws,
                            "\n\n\tHypsometric Interval : "
                            "\n\t\t0 ====> in meters\n\t\t1 ====> in decimeters"
                            "\n\t\t2 ====> in centimeters\n\t\t3 ====> in millimeters\n\t\t",
                            [](int v) { return v >= 0 && v <= 3; });
        if (ws.interv > 0) ws.say("\n\tTransformation of the original dynamic scale ");
        static const double factors[] = {1.0, 10.0, 100.0, 1000.0};
        const double factor = factors[ws.interv];
        std::int32_t* ip = ws.itab.data();
        double* dp = ws.dtab.data();
        for (std::size_t k = 0, n = ws.itab.size(); k < n; ++k) {
            dp[k] = double(ip[k]) / factor;
            ip[k] = std::int32_t(dp[k]);
        }
        ws.itab3.copy_from(ws.itab);
        extremes(ws, ws.itab, ws.mind, ws.maxd);
        ws.say("\n\n\tDynamic scale of the DEM in meters (integer values) : ");
        ws.say("\n\tMin : %d\tMax : %d ", ws.mind, ws.maxd);
    }

    ws.dpix_size = ask_double(ws, "\n\n\tPixel size (decimal value in meters) ? ",
                              [](double v) { return v > 0 && v < 2147483648.0; });
    ws.dsizepix = ws.dpix_size;
    ws.pix_size = int(ws.dpix_size);
    ws.pixel_surface = ws.dpix_size * ws.dpix_size;
}
