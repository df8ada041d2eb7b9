#include <cfloat>
#include <cmath>

#include "input.hpp"
#include "nodata.hpp"
#include "parallel.hpp"
#include "plausibility.hpp"
#include "workspace.hpp"

namespace {

// True extremes of a grid over its cells with data (the start values only
// stand when there is none).
template <class T>
void extremes(const Workspace& ws, const nrutil::Grid<T>& g, T& lo, T& hi)
{
    extremes_with_data(ws, g, lo, hi);
}

}  // namespace

void dem_range(Workspace& ws)
{
    if (ws.format != 1) {
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
    }
}

void dem_in_metres(Workspace& ws)
{
    if (ws.format != 1) return;
    ws.interv = ws.params.interv;
    if (ws.interv > 0) ws.say("\n\tTransformation of the original dynamic scale ");
    static const double factors[] = {1.0, 10.0, 100.0, 1000.0};
    const double factor = factors[ws.interv];
    parallel_rows(0, ws.nb_lig, std::size_t(ws.nb_col), [&](int first, int last) {
        for (int i = first; i < last; ++i) {
            std::int32_t* ip = ws.itab[i];
            std::int32_t* ip3 = ws.itab3[i];
            double* dp = ws.dtab[i];
            for (int j = 0; j < ws.nb_col; ++j) {
                dp[j] = double(ip[j]) / factor;
                ip3[j] = ip[j] = std::int32_t(dp[j]);
            }
        }
    });
    extremes(ws, ws.itab, ws.mind, ws.maxd);
    ws.say("\n\n\tDynamic scale of the DEM in meters (integer values) : ");
    ws.say("\n\tMin : %d\tMax : %d ", ws.mind, ws.maxd);
}

void set_pixel_size(Workspace& ws)
{
    // 0: the grid's own (an ESRI cellsize, a geotransform's step, a raw
    // descriptor's whole metres).
    if (ws.params.dpix_size > 0) ws.dpix_size = ws.params.dpix_size;
    // A subnormal size squares to 0: no cell would have an area.
    if (!(ws.dpix_size >= DBL_MIN && ws.dpix_size < 2147483648.0))
        fail(cfmt("the pixel size of %s is %g m : it must be above 0 and below 2147483648", ws.nomim1.c_str(),
                  ws.dpix_size));
    ws.dsizepix = ws.dpix_size;
    ws.pix_size = int(ws.dpix_size);
    ws.pixel_surface = ws.dpix_size * ws.dpix_size;
    const std::string warning = pixel_size_warning(ws);
    if (!warning.empty()) warn_on_console(ws, "pixel_size", warning);
}
