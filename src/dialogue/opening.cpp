// The dialogue's opening: the banner, the DEM's folder, name and format,
// the questions that the DEM's reading raises, and the names and formats of
// the results.  Each answer goes into ws.params, and the steps of the run
// (src/input) take them from there.
#include "dialogue.hpp"
#include "input.hpp"
#include "names.hpp"
#include "workspace.hpp"

namespace {

void banner(Workspace& ws)
{
    static const char* const empty = "\n\t*                                                            *";
    ws.say("\n\n\t**************************************************************");
    ws.say("%s", empty);
    ws.say("\n\t*                     TEPHROMAT                              *");
    for (int k = 0; k < 4; ++k) ws.say("%s", empty);
    ws.say("\n\t*              Morphometry of eroded volcanic cones          *");
    ws.say("\n\t*              Free software edition, 2026                   *");
    ws.say("%s", empty);
    ws.say("\n\t*                              Actualization Version 4       *");
    ws.say("\n\t*                                       (December 2018)      *");
    ws.say("%s", empty);
    ws.say("\n\t**************************************************************");
}

const char* const format_menu = "\n\t\t0 ====> ascii\n\t\t1 ====> raster\n\t\t";
const char* const width_menu = "\n\t\t0 ====> 16 bits\n\t\t1 ====> 32 bits\n\t\t";
const IntCheck zero_or_one = choices(0, 1);

// The missing-DEM path: message, one key, and a failure that a script sees.
[[noreturn]] void dem_unknown(Workspace& ws)
{
    ws.say("\n\tFile %s unknown\n", ws.params.nomim1.c_str());
    wait_key(ws);
    throw RunEnd{1, ""};
}

// A raw DEM: its sample width, then its size from its descriptor, or asked
// (and a descriptor written for it).
void read_raw_input(Workspace& ws)
{
    RunParameters& p = ws.params;
    p.itype = ask_int(ws, std::string("\n\ttype of DEM raster :") + width_menu, zero_or_one);
    p.nomim1 += p.itype == 0 ? "_m2.raw" : "_m4.raw";
    ws.nomim1 = p.nomim1;
    if (!dem_exists(p.nomim1)) dem_unknown(ws);
    const RawDescriptor descriptor = read_raw_descriptor(ws);
    const std::size_t asked_from = ws.answers.size();
    if (!descriptor.found) {
        ws.say("\n\tNo File %s \n\n", descriptor.path.c_str());
        auto side = [](int v) {
            return v <= 0 ? std::string("at or below 0")
                          : v > max_dem_side ? cfmt("above %d", max_dem_side) : std::string();
        };
        p.nb_lig = ask_int(ws, "\n\tNumber of lines   ? ", side);
        p.nb_col = ask_int(ws, "\tNumber of columns ? ", side);
        p.pix_size = ask_int(ws, "\tPixel size ? ");
    }
    const int pix_size = descriptor.found ? descriptor.pix_size : p.pix_size;
    if (pix_size == 0) p.pix_size = ask_int(ws, "\n\tPixel Size (in meters) ? ");
    if (!descriptor.found) {
        // A replay finds the descriptor written above, which gives the lines
        // and columns but no pixel size: it is asked the pixel size alone.
        ws.answers.erase(ws.answers.begin() + std::ptrdiff_t(asked_from), ws.answers.end() - 1);
    }
    read_dem(ws, descriptor);
}

}  // namespace

void opening(Workspace& ws)
{
    RunParameters& p = ws.params;
    banner(ws);
    ws.root = root_directory();
    const std::string nomdir = ask_name(
        ws, cfmt("\n\n\tName of the File Folder located in the Directory %s ? ", ws.root.c_str()), folder_problem);
    const std::string nomfic =
        ask_name(ws, "\n\tName of the DEM to be treated (whitout any extension) ? ", file_name_problem);
    p.nomim1 = ws.root + nomdir + "/" + nomfic;

    p.format = ask_int(ws, std::string("\n\tFormat Type :") + format_menu, zero_or_one);
    if (p.format == RunParameters::raw) {
        read_raw_input(ws);
    } else {
        p.nomim1 += ".asc";
        ws.nomim1 = p.nomim1;
        if (!dem_exists(p.nomim1)) dem_unknown(ws);
        read_dem(ws);
    }
    dem_dimensions(ws);
    parameters1(ws);

    // Output names.
    ws.say("\n\tSet of Files out : ");
    const int rep = ask_int(ws,
                            cfmt("\n\t\t0 -----> Use of the generic name %s ? ", nomfic.c_str()) +
                                "\n\t\t1 -----> Define a new generic name ? \n\t\t",
                            zero_or_one);
    p.nomgene = nomfic;
    if (rep == 1)
        p.nomgene = ask_name(
            ws, "\n\tGeneric Name of the series of File to be created (without any extension) ? ", file_name_problem);
    p.folder = ws.root + nomdir + "/";

    ws.say("\n\tFormat Type for all the DEM out : ");
    p.format_out = ask_int(ws, format_menu, zero_or_one);
    if (p.format_out == 1) {
        ws.say("\n\ttype of DEM_out raster : ");
        p.itype_out = ask_int(ws, width_menu, zero_or_one);
        ws.say("\n\tDynamic scale of DEM_out : ");
        p.dyn_scale_out = ask_int(ws,
                                  "\n\t\t0 ====> meters\n\t\t1 ====> decimeters"
                                  "\n\t\t2 ====> centimeters\n\t\t3 ====> millimeters\n\t\t",
                                  choices(0, 3));
    } else {
        if (!ws.Coord_UTM_dem1_OK) {
            ws.say("\n\tUTM coordinates of the left lower corner : ");
            p.X_min = ask_double(ws, "\n\t\tX_min ? ");
            p.Y_min = ask_double(ws, "\t\tY_min ? ");
        }
        ws.say("\n\tUTM ascii X %lf Y %lf ", ws.Coord_UTM_dem1_OK ? ws.X_min : p.X_min,
               ws.Coord_UTM_dem1_OK ? ws.Y_min : p.Y_min);
    }
    prepare_results(ws);
}
