#include "edifice_stage.hpp"

#include <memory>

#include "edifice_shape.hpp"
#include "workspace.hpp"

void measure_design_edifice(Workspace& ws)
{
    EdificeInput in;
    in.z = &ws.dtab;
    in.nodata = &ws.nodata;
    in.frame = {ws.nb_lig, ws.nb_col, ws.dsizepix, ws.X_min, ws.Y_min};
    in.mode = EdificeMode::horizontal;
    in.item = &ws.tab;
    in.base = ws.base;
    in.edge_cells = ws.figures.edifice_border_cells;
    in.centre_i = ws.i_gv;
    in.centre_j = ws.j_gv;
    // The crater check's verdict (measure_crater_checks).
    in.crater_found = ws.figures.crater_found;
    ws.edifice_shape = std::make_shared<EdificeShape>(measure_edifice(in, MorphometryOptions{}));
}
