#include <cmath>

#include "input.hpp"
#include "nodata.hpp"
#include "workspace.hpp"

void mark_cells_without_data(Workspace& ws)
{
    ws.nodata = {};
    ws.nodata_cells = 0;
    if (!ws.nodata_declared) return;
    const double* d = ws.dtab.data();
    const std::size_t cells = ws.dtab.size();
    std::size_t count = 0;
    for (std::size_t k = 0; k < cells; ++k) count += d[k] == ws.nodata_value;
    if (count == 0) return;
    if (count == cells) {
        // Rasters read through GDAL mark their cells without data -infinity
        // whatever the file marked them with: name the file's own mark.
        if (!std::isinf(ws.nodata_value))
            fail(cfmt("%s holds no elevation: every cell holds its nodata value %g", ws.nomim1.c_str(),
                      ws.nodata_value));
        if (ws.band_nodata_declared)
            fail(cfmt("%s holds no elevation: every cell holds its nodata value %.10g (or no number, or is masked)",
                      ws.nomim1.c_str(), ws.band_nodata));
        fail(cfmt("%s holds no elevation: every cell is without data (no number, or masked)", ws.nomim1.c_str()));
    }
    allocate_grid(ws.nodata, "nodata (cells without data)", ws.nb_col, ws.nb_lig);
    std::uint8_t* m = ws.nodata.data();
    for (std::size_t k = 0; k < cells; ++k) m[k] = d[k] == ws.nodata_value;
    ws.nodata_cells = int(count);
}

// Every computation that reads a neighbour's altitude then sees flat lowland
// where the DEM has no data, not a cliff down to the nodata value.
void lowland_under_nodata(Workspace& ws)
{
    if (ws.nodata_cells == 0) return;
    const std::uint8_t* m = ws.nodata.data();
    for (std::size_t k = 0, n = ws.nodata.size(); k < n; ++k)
        if (m[k]) {
            ws.itab.data()[k] = ws.itab3.data()[k] = ws.mind;
            ws.dtab.data()[k] = ws.dmin;
        }
}
