#include "centre_point.hpp"
#include "input.hpp"
#include "nodata.hpp"
#include "plausibility.hpp"
#include "slices.hpp"
#include "workspace.hpp"

void write_report_header(Workspace& ws)
{
    ws.report("\n\tVOLCANIC CONE PARAMETERIZATION\n\n");
    ws.report("\tName of the treated file : %s", ws.nomim1.c_str());
    ws.report("%s", ws.header_warnings.c_str());
    if (ws.format != 1) {  // a georeferenced grid
        ws.report("\n\tUTM coordinates : ");
        ws.report("\n\t\tX_min = %lf\tY_min = %lf ", ws.X_min, ws.Y_min);
    }
    ws.report("\n\tDynamic scale of the selected DEM : ");
    ws.report("\n\tMin : %lf\tMax : %lf ", ws.dmin, ws.dmax);
    ws.report("\n\n\tDynamic scale of the DEM in meters (integer values) : ");
    ws.report("\n\tMin : %d\tMax : %d ", ws.mind, ws.maxd);
    ws.report("\n\tHypsometric Interval : 1 meter");
    ws.report("\n\tPixel size = %lf m", ws.dpix_size);
    ws.report("%s", pixel_size_warning(ws).c_str());
    ws.report("\n\n\tGeneric name of the different file_out (without any extension) : %s ",
              ws.nomgene.c_str());
    ws.report("\n\n\tAltitude of the base line (in meters) = %d ", ws.base);
    ws.report("%s", auto_base_lines(ws).c_str());
    ws.report("%s", base_below_dem_warning(ws).c_str());
    if (ws.grav_cent == 0)
        ws.report("\n\n\tGravity Center defined by the user ");
    else
        ws.report("\n\n\tGravity Center calculated from the basal slice ");
    if (!ws.outline.empty()) {
        if (ws.params.base_given)
            ws.report("\n\n\tEdifice given by the outline of %s : its cells at or above the base line ",
                      ws.params.outline_file.c_str());
        else
            ws.report("\n\n\tEdifice given by the outline of %s : its cells at or above its lowest vertex "
                      "(%lf m) ",
                      ws.params.outline_file.c_str(), ws.outline_lowest);
    }
}

void set_base_line(Workspace& ws)
{
    ws.pix_size = int(ws.dpix_size);
    ws.pixel_surface = ws.dpix_size * ws.dpix_size;
    ws.dbase = ws.params.dbase;
    if (!(ws.dbase > -2147483648.0 && ws.dbase < 2147483647.0))
        fail(cfmt("the base line %g m is outside the signed 32-bit range", ws.dbase));
    ws.base = int(ws.dbase);
    ws.say("%s", auto_base_lines(ws).c_str());
    const std::string warning = base_below_dem_warning(ws);
    if (!warning.empty()) warn_on_console(ws, "base_below_dem", warning);
}

void set_centre(Workspace& ws)
{
    ws.grav_cent = ws.params.grav_cent;
    if (ws.grav_cent == 0) {
        ws.i_gv = ws.params.i_gv;
        ws.j_gv = ws.params.j_gv;
        if (ws.i_gv < 0 || ws.i_gv >= ws.nb_lig || ws.j_gv < 0 || ws.j_gv >= ws.nb_col)
            fail(cfmt("the centre point (line %d, column %d) lies outside the grid : line 0 to %d, column 0 to %d",
                      ws.i_gv, ws.j_gv, ws.nb_lig - 1, ws.nb_col - 1));
    } else {
        ws.tab.fill(255);
        for (int i = 0; i < ws.nb_lig; ++i)
            for (int j = 0; j < ws.nb_col; ++j)
                if (ws.itab3[i][j] >= ws.base && !without_data(ws, i, j) && (!ws.outline_cells || ws.outline_cells[i][j]))
                    ws.tab[i][j] = 1;
        gravity_center(ws);
    }
}

void set_model_display(Workspace& ws)
{
    ws.Basic_Slice = ws.params.Basic_Slice;
    ws.UpSliVisu = ws.params.UpSliVisu;
    ws.NumSlices = ws.UpSliVisu == 0 ? ws.params.NumSlices : 0;
    ws.VisuType = ws.UpSliVisu == 0 ? ws.params.VisuType : 0;
}
