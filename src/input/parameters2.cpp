#include "dialogue.hpp"
#include "input.hpp"
#include "nodata.hpp"
#include "plausibility.hpp"
#include "slices.hpp"
#include "workspace.hpp"

namespace {

const char* const surface_perimeter_menu = "\n\t\t0 ====> Surface\n\t\t1 ====> Perimeter\n\t\t";

void ask_centre(Workspace& ws)
{
    ws.say("\n\tCoordinates of the gravity center : ");
    for (;;) {
        ws.i_gv = ask_int(ws, "\n\t\tline   ? ");
        ws.j_gv = ask_int(ws, "\t\tcolumn ? ");
        const bool line_in = ws.i_gv >= 0 && ws.i_gv < ws.nb_lig, column_in = ws.j_gv >= 0 && ws.j_gv < ws.nb_col;
        if (line_in && column_in) return;
        // Both are asked again (the record keeps the pair, which a replay
        // refuses in the same way).
        const std::size_t n = ws.answers.size();
        if (!line_in) refused(ws, ws.answers[n - 2], "outside the grid");
        if (!column_in) refused(ws, ws.answers[n - 1], "outside the grid");
        ws.say("\n\t\tOutside the grid : line 0 to %d, column 0 to %d ", ws.nb_lig - 1,
               ws.nb_col - 1);
    }
}

void write_report_header(Workspace& ws)
{
    ws.report("\n\tVOLCANIC CONE PARAMETERIZATION\n\n");
    ws.report("\tName of the treated file : %s", ws.nomim1.c_str());
    ws.report("%s", ws.header_warnings.c_str());
    if (ws.format == 0) {
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
    ws.report("%s", base_below_dem_warning(ws).c_str());
    if (ws.grav_cent == 0)
        ws.report("\n\n\tGravity Center defined by the user ");
    else
        ws.report("\n\n\tGravity Center calculated from the basal slice ");
}

}  // namespace

void parameters2(Workspace& ws)
{
    ws.pix_size = int(ws.dpix_size);
    ws.pixel_surface = ws.dpix_size * ws.dpix_size;

    ws.dbase = ask_double(ws, "\n\n\tAltitude of the volcanic base line (in meters) ? ",
                          [](double v) {
                              return v > -2147483648.0 && v < 2147483647.0 ? std::string()
                                                                           : std::string("outside the signed 32-bit range");
                          });
    ws.base = int(ws.dbase);
    const std::string warning = base_below_dem_warning(ws);
    if (!warning.empty()) warn_on_console(ws, "base_below_dem", warning);

    ws.grav_cent = ask_int(ws,
                           "\n\tGravity Center : "
                           "\n\t\t0 ====> defined by the user (recommended choice) "
                           "\n\t\t1 ====> calculated from the basal slice\n\t\t",
                           choices(0, 1));
    if (ws.grav_cent == 0) {
        ask_centre(ws);
    } else {
        ws.tab.fill(255);
        for (int i = 0; i < ws.nb_lig; ++i)
            for (int j = 0; j < ws.nb_col; ++j)
                if (ws.itab3[i][j] >= ws.base && !without_data(ws, i, j)) ws.tab[i][j] = 1;
        gravity_center(ws);
    }

    write_report_header(ws);

    // The display menus take any answer up to 1, as they always did.
    auto at_most_one = [](int v) { return v <= 1 ? std::string() : std::string("outside the choices 0 to 1"); };
    ws.Basic_Slice = ask_int(ws, std::string("\n\n\tBasic Slice Representation : ") +
                                     surface_perimeter_menu,
                             at_most_one);
    ws.UpSliVisu = ask_int(ws,
                           "\n\tUpper Slices Visualization in the Gravity Center Model :"
                           "\n\t\t0 ====> yes\n\t\t1 ====> no\n\t\t",
                           at_most_one);
    if (ws.UpSliVisu == 0) {
        ws.NumSlices = ask_int(ws, "\n\tNumber of Upper Slices (2 to 10 max) ? ",
                               choices(2, 10));
        ws.VisuType = ask_int(ws, std::string("\n\tType of Visualization :") +
                                      surface_perimeter_menu,
                              at_most_one);
    }
}
