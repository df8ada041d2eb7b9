// The dialogue's questions of the edifice: the base line, the centre point
// and the display of the gravity-centre model.
#include "dialogue.hpp"
#include "input.hpp"
#include "workspace.hpp"

namespace {

const char* const surface_perimeter_menu = "\n\t\t0 ====> Surface\n\t\t1 ====> Perimeter\n\t\t";

void ask_centre(Workspace& ws)
{
    ws.say("\n\tCoordinates of the gravity center : ");
    for (;;) {
        const int i = ask_int(ws, "\n\t\tline   ? ");
        const int j = ask_int(ws, "\t\tcolumn ? ");
        const bool line_in = i >= 0 && i < ws.nb_lig, column_in = j >= 0 && j < ws.nb_col;
        if (line_in && column_in) {
            ws.params.i_gv = i;
            ws.params.j_gv = j;
            return;
        }
        ws.say("\n\t\tOutside the grid : line 0 to %d, column 0 to %d ", ws.nb_lig - 1, ws.nb_col - 1);
        // Both are asked again (the record keeps the pair, which a replay
        // refuses in the same way).
        const std::size_t n = ws.answers.size();
        if (!line_in) refused(ws, ws.answers[n - 2], "outside the grid");
        if (!column_in) refused(ws, ws.answers[n - 1], "outside the grid");
    }
}

}  // namespace

void parameters2(Workspace& ws)
{
    RunParameters& p = ws.params;
    p.dbase = ask_double(ws, "\n\n\tAltitude of the volcanic base line (in meters) ? ", [](double v) {
        return v > -2147483648.0 && v < 2147483647.0 ? std::string() : std::string("outside the signed 32-bit range");
    });
    set_base_line(ws);

    p.grav_cent = ask_int(ws,
                          "\n\tGravity Center : "
                          "\n\t\t0 ====> defined by the user (recommended choice) "
                          "\n\t\t1 ====> calculated from the basal slice\n\t\t",
                          choices(0, 1));
    if (p.grav_cent == 0) ask_centre(ws);
    set_centre(ws);
    write_report_header(ws);

    // The display menus take any answer up to 1, as they always did.
    auto at_most_one = [](int v) { return v <= 1 ? std::string() : std::string("outside the choices 0 to 1"); };
    p.Basic_Slice = ask_int(ws, std::string("\n\n\tBasic Slice Representation : ") + surface_perimeter_menu,
                            at_most_one);
    p.UpSliVisu = ask_int(ws,
                          "\n\tUpper Slices Visualization in the Gravity Center Model :"
                          "\n\t\t0 ====> yes\n\t\t1 ====> no\n\t\t",
                          at_most_one);
    if (p.UpSliVisu == 0) {
        p.NumSlices = ask_int(ws, "\n\tNumber of Upper Slices (2 to 10 max) ? ", choices(2, 10));
        p.VisuType = ask_int(ws, std::string("\n\tType of Visualization :") + surface_perimeter_menu, at_most_one);
    }
    set_model_display(ws);
}
