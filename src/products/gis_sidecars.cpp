#include <charconv>
#include <string>

#include "gis_sidecars.hpp"
#include "nodata.hpp"
#include "workspace.hpp"

namespace {

// Shortest text that reads back as the same double.
std::string number(double v)
{
    char text[32];
    auto r = std::to_chars(text, text + sizeof text, v);
    return std::string(text, r.ptr);
}

void write_header(Workspace& ws, const std::string& raster, int data_type, const std::string& description)
{
    const std::string stem = raster.ends_with(".raw") ? raster.substr(0, raster.size() - 4) : raster;
    const std::string text = envi_header(ws, data_type, description);
    OutFile f = ws.create(stem + ".hdr", false);
    f.write(text.data(), text.size());
    f.close();
}

}  // namespace

std::string envi_header(const Workspace& ws, int data_type, const std::string& description)
{
    std::string h = "ENVI\n";
    h += "description = {" + description + "}\n";
    h += "samples = " + std::to_string(ws.nb_col) + "\n";
    h += "lines = " + std::to_string(ws.nb_lig) + "\n";
    h += "bands = 1\n";
    h += "header offset = 0\n";
    h += "file type = ENVI Standard\n";
    h += "data type = " + std::to_string(data_type) + "\n";
    h += "interleave = bsq\n";
    h += "byte order = 0\n";
    // Only an ESRI input gives the map position.  ENVI places its reference
    // pixel (1, 1) by its upper-left corner; the grid's corner is the lower
    // left one.
    if (ws.Coord_UTM_dem1_OK) {
        const double top = ws.Y_min + ws.nb_lig * ws.dpix_size;
        h += "map info = {Arbitrary, 1, 1, " + number(ws.X_min) + ", " + number(top) + ", " +
             number(ws.dpix_size) + ", " + number(ws.dpix_size) + ", units=Meters}\n";
    }
    h += "band names = {" + description + "}\n";
    // The value that marks the cells without data, when the DEM had any.
    if (ws.nodata_cells != 0) {
        const long long ignore = data_type == 1 ? shaded_nodata : data_type == 3 ? raw32_nodata : raw16_nodata;
        h += "data ignore value = " + std::to_string(ignore) + "\n";
    }
    return h;
}

void write_gis_sidecars(Workspace& ws)
{
    if (ws.format_out != 1) return;  // ESRI grids carry their own header
    static const char* const units[] = {"metres", "decimetres", "centimetres", "millimetres"};
    const std::string unit = units[ws.dyn_scale_out];
    const int samples = ws.itype_out == 1 ? 3 : 12;
    write_header(ws, ws.nomrec1, samples, "rebuilt cone altitude in " + unit);
    write_header(ws, ws.nomeros1, samples, "erosion thickness in " + unit);
    write_header(ws, ws.nomshad1, 1, "hill-shaded rebuilt cone, grey 0 to 254");
    write_header(ws, ws.nomshaderos1, 1, "hill-shaded erosion thickness, grey 0 to 254");
}
