// The dialogue's questions of the dynamic scale: a raw DEM's unit, and the
// decimal pixel size.
#include <cfloat>

#include "dialogue.hpp"
#include "input.hpp"
#include "workspace.hpp"

void parameters1(Workspace& ws)
{
    dem_range(ws);
    if (ws.format == 1) {
        ws.params.interv = ask_int(ws,
                                   "\n\n\tHypsometric Interval : "
                                   "\n\t\t0 ====> in meters\n\t\t1 ====> in decimeters"
                                   "\n\t\t2 ====> in centimeters\n\t\t3 ====> in millimeters\n\t\t",
                                   choices(0, 3));
        dem_in_metres(ws);
    }
    ws.params.dpix_size = ask_double(ws, "\n\n\tPixel size (decimal value in meters) ? ", [](double v) {
        return v <= 0        ? std::string("at or below 0")
               : v < DBL_MIN ? std::string("too small: its square is 0")
               : v >= 2147483648.0 ? std::string("outside the signed 32-bit range")
                                   : std::string();
    });
    set_pixel_size(ws);
}
