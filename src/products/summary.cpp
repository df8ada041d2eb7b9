#include "summary.hpp"

#include <charconv>
#include <cmath>

#include "coordinates.hpp"
#include "products.hpp"
#include "workspace.hpp"

std::string summary_number(double v)
{
    if (!std::isfinite(v)) return "";
    if (v == 0) v = 0;
    char text[32];
    const auto r = std::to_chars(text, text + sizeof text, v);
    return std::string(text, r.ptr);
}

std::string csv_line(const std::vector<std::string>& cells)
{
    std::string line;
    for (std::size_t k = 0; k < cells.size(); ++k) {
        if (k) line += ',';
        const std::string& c = cells[k];
        if (c.find_first_of(",\"\r\n") == std::string::npos) {
            line += c;
            continue;
        }
        line += '"';
        for (char ch : c) {
            if (ch == '"') line += '"';
            line += ch;
        }
        line += '"';
    }
    return line + "\n";
}

std::vector<std::pair<std::string, std::string>> summary_columns(const Workspace& ws)
{
    const Workspace::Figures& f = ws.figures;
    std::vector<std::pair<std::string, std::string>> c;
    auto text = [&](const char* name, const std::string& v) { c.emplace_back(name, v); };
    auto whole = [&](const char* name, long long v) { c.emplace_back(name, std::to_string(v)); };
    auto number = [&](const char* name, double v) { c.emplace_back(name, summary_number(v)); };
    auto number_if = [&](const char* name, bool exists, double v) {
        c.emplace_back(name, exists ? summary_number(v) : std::string());
    };
    // The radii of the rebuilt cone are measured on the same edifice from the
    // same centre as those of the present relief: the last values stand for
    // both.  Its crater radii, top and height are the present relief's.
    const bool radii = f.outline[0];

    text("tephromat_version", TEPHROMAT_VERSION);
    text("dem", ws.nomim1.substr(ws.nomim1.compare(0, ws.root.size(), ws.root) == 0 ? ws.root.size() : 0));
    text("generic_name", ws.nomgene);
    number("pixel_size_m", ws.dpix_size);
    number("base_m", ws.dbase);
    whole("centre_line", ws.i_gv);
    whole("centre_column", ws.j_gv);
    whole("centre_calculated", ws.grav_cent);
    whole("items", f.items);
    whole("chosen_item", ws.val_base);
    whole("top_m", ws.altmax);
    number("height_m", ws.h_vol);
    number("crater_depth_m", f.crater_depth[0]);
    number("volume_km3", ws.first_volume);
    number_if("slope_down_deg", f.jco_down[0] > 0, f.slope_down[0]);
    number_if("slope_up_deg", f.jco_up[0] > 0, f.slope_up[0]);
    number_if("base_radius_min_m", radii, ws.low_dist_base * ws.dsizepix);
    number_if("base_radius_max_m", radii, ws.gre_dist_base * ws.dsizepix);
    number_if("elongation_pct", radii, ws.elong);
    number_if("crater_radius_min_m", f.crater_detected, ws.distmin_cr * ws.dsizepix);
    number_if("crater_radius_max_m", f.crater_detected, ws.distmax_cr * ws.dsizepix);
    number("surface_2d_km2", f.surface_2d[0] * 1e-06);
    number("surface_3d_km2", f.surface_3d[0] * 1e-06);
    number_if("surface_ratio_pct", f.surface_2d[0] != 0, f.surface_ratio[0]);
    number("rebuilt_volume_km3", f.rebuilt_volume);
    number_if("rebuilt_slope_down_deg", f.jco_down[1] > 0, f.slope_down[1]);
    number_if("rebuilt_slope_up_deg", f.jco_up[1] > 0, f.slope_up[1]);
    number("erosion_surface_2d_km2", f.surface_2d[1] * 1e-06);
    number("erosion_surface_3d_km2", f.surface_3d[1] * 1e-06);
    number("volumetric_difference_km3", f.volumetric_difference);
    number("eroded_volume_km3", f.eroded_volume);
    number("erosion_max_m", f.erosion_max);
    // The rest of the report.
    whole("slice_centre_line", f.slice_i_gv);
    whole("slice_centre_column", f.slice_j_gv);
    // A georeferenced DEM, or a corner typed for ESRI outputs.
    const bool placed = ws.Coord_UTM_dem1_OK || ws.format_out == 0;
    number_if("x_min", placed, ws.X_min);
    number_if("y_min", placed, ws.Y_min);
    number("dem_min", ws.dmin);
    number("dem_max", ws.dmax);
    whole("dem_min_m", ws.mind);
    whole("dem_max_m", ws.maxd);
    number("rebuilt_crater_depth_m", f.crater_depth[1]);
    number_if("erosion_surface_ratio_pct", f.surface_2d[1] != 0, f.surface_ratio[1]);
    // The warnings, and what decided some of them.
    std::string codes;
    for (const Workspace::Warning& w : ws.warnings) codes += (codes.empty() ? "" : ";") + w.code;
    text("warnings", codes);
    whole("edifice_border_cells", f.edifice_border_cells);
    whole("crater_found", f.crater_found ? 1 : 0);
    text("crater_depression_m", f.crater_detected ? std::to_string(f.crater_depression) : std::string());
    text("crater_walled_rays", f.crater_detected ? std::to_string(f.crater_walled_rays) : std::string());
    whole("cells_without_data_touched", f.cells_without_data_touched);
    // Where the centre lies on the ground: the middle of its cell.
    const Georef g = dem_georef(ws);
    const MapPoint m = centre_of_cell(g, ws.i_gv, ws.j_gv);
    number_if("centre_x", placed, m.x);
    number_if("centre_y", placed, m.y);
    const std::optional<LonLat> ll = placed ? lonlat_of_map(g, m) : std::nullopt;
    number_if("centre_lon", ll.has_value(), ll ? ll->lon : 0);
    number_if("centre_lat", ll.has_value(), ll ? ll->lat : 0);
    text("crs", g.epsg ? std::to_string(g.epsg) : std::string());
    // A base line chosen automatically, and what stops the edifice below it.
    whole("base_auto", ws.auto_base.chosen ? 1 : 0);
    text("base_limit", ws.auto_base.chosen ? ws.auto_base.limit : std::string());
    text("base_limit_m", ws.auto_base.chosen ? std::to_string(ws.auto_base.limit_m) : std::string());
    return c;
}

void write_summary(Workspace& ws)
{
    std::vector<std::string> names, cells;
    for (auto& [name, cell] : summary_columns(ws)) {
        names.push_back(name);
        cells.push_back(cell);
    }
    const std::string text = csv_line(names) + csv_line(cells);
    OutFile f = ws.create(output_prefix(ws) + "_summary.csv", false);
    f.write(text.data(), text.size());
    f.close();
}
