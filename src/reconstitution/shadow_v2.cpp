#include <cmath>

#include "parallel.hpp"
#include "reconstitution.hpp"
#include "workspace.hpp"

// Light from azimuth 45 degrees (toward line 0 and increasing columns), 35
// degrees above the horizon; elevations are brought back to metres first.
void shadow_v2(Workspace& ws)
{
    const double pi = 4.0 * std::atan(1.0);
    const double to_radians = pi / 180;
    const double azt = 45, el1 = 35;
    const double res = ws.dsizepix;
    const double ca = std::cos(azt * to_radians), sa = std::sin(azt * to_radians);
    const double ce = std::cos(el1 * to_radians), se = std::sin(el1 * to_radians);
    const double cc = ce * ca, cs = ce * sa, sr = se * res, r2 = res * res;
    const double k = ws.coeff_rc;
    parallel_rows(0, ws.nb_lig - 1, std::size_t(ws.nb_col), [&](int first, int last) {
      for (int i = first; i < last; ++i) {
        const double* z0 = ws.dtab_shad_in[i];
        const double* z1 = ws.dtab_shad_in[i + 1];
        double* out = ws.dtab_shad_out[i];
        for (int j = 0; j <= ws.nb_col - 2; ++j) {
            const double z = z0[j] / k;
            const double d2 = z1[j] / k - z;
            const double d3 = z0[j + 1] / k - z;
            const double bn = std::sqrt(d2 * d2 + d3 * d3 + r2);
            // bn is 0 only on a flat cell whose pixel size squares to 0: its
            // normal points up, and it faces the light at the light's elevation.
            const double rad = bn != 0 ? (cc * d2 - cs * d3 + sr) / bn : se;
            out[j] = rad < 0 ? 0 : 255.999 * rad;
        }
      }
    });
}
