#include <charconv>
#include <string>

#include "dem_crs.hpp"
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

// Each ESRI output gets the input's .prj, byte for byte, as GIS software
// expects it beside the grid.
void write_prj_copies(Workspace& ws)
{
    for (const std::string* grid : {&ws.nomrec1, &ws.nomeros1, &ws.nomshad1, &ws.nomshaderos1}) {
        const std::string stem = grid->ends_with(".asc") ? grid->substr(0, grid->size() - 4) : *grid;
        OutFile f = ws.create(stem + ".prj", true);
        f.write(ws.dem_prj.data(), ws.dem_prj.size());
        f.close();
    }
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
    // left one.  With the DEM's .prj, a UTM zone on WGS 84 is named as ENVI names it, and
    // any coordinate system is given whole (ESRI WKT, which GDAL reads).
    if (ws.Coord_UTM_dem1_OK) {
        const DemCrs crs = ws.dem_prj.empty() ? DemCrs() : parse_prj(ws.dem_prj);
        const double top = ws.Y_min + ws.nb_lig * ws.dpix_size;
        const std::string position = ", 1, 1, " + number(ws.X_min) + ", " + number(top) + ", " +
                                     number(ws.dpix_size) + ", " + number(ws.dpix_size);
        if (crs.utm_zone != 0)
            h += "map info = {UTM" + position + ", " + std::to_string(crs.utm_zone) + ", " +
                 (crs.north ? "North" : "South") + ", WGS-84, units=Meters}\n";
        else
            h += "map info = {Arbitrary" + position + ", units=Meters}\n";
        if (!crs.esri_wkt.empty()) h += "coordinate system string = {" + crs.esri_wkt + "}\n";
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
    if (ws.format_out != 1) {  // ESRI grids and GeoTIFF carry their own header
        if (ws.format_out == 0 && !ws.dem_prj.empty()) write_prj_copies(ws);
        // Without one, an earlier run's .prj would give the grids its system.
        if (ws.format_out == 0 && ws.dem_prj.empty())
            for (const std::string* grid : {&ws.nomrec1, &ws.nomeros1, &ws.nomshad1, &ws.nomshaderos1})
                ws.retire((grid->ends_with(".asc") ? grid->substr(0, grid->size() - 4) : *grid) + ".prj");
        return;
    }
    static const char* const units[] = {"metres", "decimetres", "centimetres", "millimetres"};
    const std::string unit = units[ws.dyn_scale_out];
    const int samples = ws.itype_out == 1 ? 3 : 12;
    write_header(ws, ws.nomrec1, samples, "rebuilt cone altitude in " + unit);
    write_header(ws, ws.nomeros1, samples, "erosion thickness in " + unit);
    write_header(ws, ws.nomshad1, 1, "hill-shaded rebuilt cone, grey 0 to 254");
    write_header(ws, ws.nomshaderos1, 1, "hill-shaded erosion thickness, grey 0 to 254");
}
