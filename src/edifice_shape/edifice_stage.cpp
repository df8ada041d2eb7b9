#include "edifice_stage.hpp"

#include <algorithm>
#include <memory>

#include "basal_surface.hpp"
#include "edifice_shape.hpp"
#include "plan_geometry.hpp"
#include "vector_lecture.hpp"
#include "workspace.hpp"

namespace {

GridFrame frame_of(const Workspace& ws) { return {ws.nb_lig, ws.nb_col, ws.dsizepix, ws.X_min, ws.Y_min}; }

}  // namespace

void set_outline_edifice(Workspace& ws)
{
    RunParameters& p = ws.params;
    const GridFrame g = frame_of(ws);
    if (!p.outline_file.empty()) {
        const char* file = p.outline_file.c_str();
        ws.outline = read_polygon_file(ws, "--outline", p.outline_file, p.fix_outline);
        static const nrutil::UcGrid everywhere;
        ws.outline_cells = cells_inside_outline(g, ws.outline, everywhere);
        std::size_t inside = 0, without_data = 0;
        const bool holes = ws.nodata && ws.nodata.size() == ws.outline_cells.size();
        for (std::size_t k = 0; k < ws.outline_cells.size(); ++k) {
            if (!ws.outline_cells.data()[k]) continue;
            if (holes && ws.nodata.data()[k]) {
                ws.outline_cells.data()[k] = 0;
                ++without_data;
            } else {
                ++inside;
            }
        }
        // The vertices off the grid's extent: there is no height under them.
        const double x1 = g.x_min + g.nc * g.d, y1 = g.y_min + g.nl * g.d;
        std::size_t off = 0;
        for (std::size_t k = 0; k + 1 < ws.outline.size(); ++k) {
            const Vec2 q = ws.outline[k];
            off += q.x < g.x_min || q.x > x1 || q.y < g.y_min || q.y > y1;
        }
        // Within the extent yet without a cell: a polygon smaller than the
        // cells, between their centres.
        if (inside == 0)
            fail(cfmt("--outline: the polygon of %s holds no cell of the DEM with data%s", file,
                      without_data ? ""
                      : off == 0   ? cfmt(" : it holds no cell's centre (cells of %g m)", g.d).c_str()
                                   : " : it lies outside the DEM, or in another coordinate system"));
        if (without_data > 0)
            header_warning(ws, "outline_nodata",
                           cfmt("\n\tWarning : the outline of %s holds %zu cells without data : they count nowhere, "
                                "and the figures near them are uncertain ",
                                file, without_data));
        // The basal surface is drawn from the heights under the vertices.
        if (off > 0)
            fail(cfmt("--outline: %zu of the %zu vertices of the polygon of %s lie outside the DEM, where there is no "
                      "height for its basal surface : clip the polygon to the DEM",
                      off, ws.outline.size() - 1, file));
        const std::vector<BasalVertex> v = outline_vertices(g, ws.dtab, ws.nodata, ws.outline);
        if (v.empty()) fail(cfmt("--outline: every vertex of the polygon of %s touches a cell without data", file));
        double lowest = v.front().z;
        for (const BasalVertex& b : v) lowest = std::min(lowest, b.z);
        ws.outline_lowest = lowest;
        if (!p.base_given) {
            if (!(lowest > -2147483648.0 && lowest < 2147483647.0))
                fail(cfmt("--outline: the lowest vertex of %s lies at %g m, outside the signed 32-bit range", file, lowest));
            p.dbase = lowest;
        }
    }
    if (!p.crater_file.empty()) {
        ws.crater_polygon = read_polygon_file(ws, "--crater", p.crater_file, p.fix_outline);
        if (!ws.outline.empty()) {
            // Its vertices inside and its edges crossing none of the outline's.
            const Ring outline = ws.outline;
            bool inside = true;
            for (const Vec2& c : *ws.crater_polygon) inside = inside && inside_ring(outline, c);
            if (!inside || !ring_within(*ws.crater_polygon, outline))
                fail(cfmt("--crater: the crater polygon of %s is not inside the outline of %s", p.crater_file.c_str(),
                          p.outline_file.c_str()));
        }
    }
}

void measure_item_edifice(Workspace& ws)
{
    EdificeInput in;
    in.z = &ws.dtab;
    in.nodata = &ws.nodata;
    in.frame = frame_of(ws);
    if (ws.outline.empty()) {
        in.mode = EdificeMode::horizontal;
        in.item = &ws.tab;
        in.base = ws.base;
        in.edge_cells = ws.figures.edifice_border_cells;
    } else {
        in.mode = EdificeMode::outline;
        in.outline = ws.outline;
        in.outline_name = ws.params.outline_file;
    }
    in.centre_i = ws.i_gv;
    in.centre_j = ws.j_gv;
    // The crater check's verdict (measure_crater_checks).
    in.crater_found = ws.figures.crater_found;
    if (ws.crater_polygon) {
        in.crater = ws.crater_polygon;
        in.crater_name = ws.params.crater_file;
    }
    ws.edifice_shape = std::make_shared<EdificeShape>(measure_edifice(in, ws.params.morphometry));
}
