#include "reconstitution.hpp"
#include "shading.hpp"
#include "workspace.hpp"

void shadow_v2(Workspace& ws)
{
    const Light light(ws);
    parallel_rows(0, ws.nb_lig - 1, std::size_t(ws.nb_col), [&](int first, int last) {
        for (int i = first; i < last; ++i) {
            const double* z0 = ws.dtab_shad_in[i];
            const double* z1 = ws.dtab_shad_in[i + 1];
            double* out = ws.dtab_shad_out[i];
            for (int j = 0; j <= ws.nb_col - 2; ++j)
                out[j] = light.shade(z0[j] / light.k, z1[j] / light.k, z0[j + 1] / light.k);
        }
    });
}
