#include <cmath>

#include "dialogue.hpp"
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
                            choices(0, 3));
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

    ws.dpix_size = ask_double(ws, "\n\n\tPixel size (decimal value in meters) ? ",
                              [](double v) {
                                  return v <= 0 ? std::string("at or below 0")
                                                : v >= 2147483648.0 ? std::string("outside the signed 32-bit range")
                                                                    : std::string();
                              });
    ws.dsizepix = ws.dpix_size;
    ws.pix_size = int(ws.dpix_size);
    ws.pixel_surface = ws.dpix_size * ws.dpix_size;
    const std::string warning = pixel_size_warning(ws);
    if (!warning.empty()) warn_on_console(ws, "pixel_size", warning);
}
