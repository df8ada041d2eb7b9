#include "presentation.hpp"

#include <cstdint>
#include <fstream>
#include <iterator>

#include "centre_point.hpp"
#include "coordinates.hpp"
#include "edifice_shape.hpp"
#include "dem_crs.hpp"
#include "nodata.hpp"
#include "summary.hpp"
#include "workspace.hpp"
#include "zone_summary.hpp"

std::string report_and_figures(const Workspace& ws)
{
    std::ifstream f(ws.nominfo, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    text += "\n\n\tMain figures (every figure: " + ws.nomgene + "_summary.csv)\n";
    static const char* const main[] = {"top_m", "height_m", "volume_km3", "base_radius_min_m", "base_radius_max_m",
                                       "crater_radius_min_m", "crater_radius_max_m", "slope_down_deg",
                                       "surface_2d_km2", "surface_3d_km2", "rebuilt_volume_km3", "eroded_volume_km3",
                                       "erosion_max_m", "warnings"};
    for (const auto& [name, value] : summary_columns(ws))
        for (const char* m : main)
            if (name == m) text += cfmt("\t\t%-22s %s\n", name.c_str(), value.empty() ? "-" : value.c_str());
    if (!ws.edifice_shape) return text;
    // The figures that studies compare cones by.
    text += "\n\tPublished figures (every figure: " + ws.nomgene + "_morphometry.csv)\n";
    static const char* const published[] = {"mode", "basal_width_m", "height_peak_m", "h_over_wb", "volume_basal_km3",
                                            "summit_width_m", "crater_width_m", "ei_bfe_mean", "ii_bfe_mean",
                                            "slope_main_mean_deg", "min_eroded_volume_km3"};
    for (const auto& [name, cell] : morphometry_columns(*ws.edifice_shape))
        for (const char* m : published)
            if (name == m) {
                const std::string value = cell.is_text ? cell.text : cell.number ? cfmt("%.10g", *cell.number) : "";
                text += cfmt("\t\t%-22s %s\n", name.c_str(), value.empty() ? "-" : value.c_str());
            }
    return text;
}

std::string note_lines(const std::string& notes)
{
    std::string out;
    for (std::size_t p = 0; (p = notes.find("\n\t", p)) != std::string::npos;) {
        p += 2;
        const std::size_t e = notes.find("\n\t", p);
        out += "tephromat: " + notes.substr(p, e == std::string::npos ? std::string::npos : e - p) + "\n";
    }
    return out;
}

std::string dry_run_text(const Workspace& ws)
{
    const RunParameters& p = ws.params;
    const int nl = ws.nb_lig, nc = ws.nb_col;
    std::string t = cfmt("DEM            %s\n", ws.nomim1.c_str());
    const Georef g = dem_georef(ws);
    std::string crs = "no coordinate system";
    if (!ws.dem_prj.empty()) {
        const DemCrs d = parse_prj(ws.dem_prj);
        crs = d.name.empty() ? "a coordinate system" : d.name;
        if (g.epsg) crs += cfmt(" (EPSG:%d)", g.epsg);
    }
    t += cfmt("Size           %d lines x %d columns of %.10g m, %s\n", nl, nc, ws.dpix_size, crs.c_str());
    t += cfmt("Without data   %d cells\n", ws.nodata_cells);
    t += cfmt("Heights        %d to %d m (whole metres)\n", ws.mind, ws.maxd);

    int i = p.i_gv, j = p.j_gv;
    const int base = int(p.dbase);
    if (p.grav_cent == 1) {  // the gravity centre of every cell at or above the base line
        std::int64_t n = 0, si = 0, sj = 0;
        for (int a = 0; a < nl; ++a)
            for (int b = 0; b < nc; ++b)
                if (ws.itab3[a][b] >= base && !without_data(ws, a, b)) {
                    ++n;
                    si += a;
                    sj += b;
                }
        if (n > 0) {
            i = int(si / n);
            j = int(sj / n);
        }
    }
    const MapPoint m = centre_of_cell(g, i, j);
    t += cfmt("Centre         line %d, column %d%s: X %.3f, Y %.3f", i, j,
              p.grav_cent == 1 ? " (calculated)" : "", m.x, m.y);
    if (const std::optional<LonLat> ll = lonlat_of_map(g, m)) t += cfmt(", longitude %.6f, latitude %.6f", ll->lon, ll->lat);
    t += cfmt(", altitude %d m%s\n", ws.itab[i][j], without_data(ws, i, j) ? " (a cell without data)" : "");
    t += cfmt("Base line      %d m%s\n", base, !ws.outline.empty() && !p.base_given ? " (the outline's lowest vertex)" : "");
    if (!ws.outline.empty()) {
        std::size_t cells = 0;
        for (std::size_t k = 0; k < ws.outline_cells.size(); ++k) cells += ws.outline_cells.data()[k];
        t += cfmt("Outline        %s: %zu cells with data inside, lowest vertex %.3f m\n", p.outline_file.c_str(), cells,
                  ws.outline_lowest);
    }
    if (ws.auto_base.chosen) {
        std::string lines = auto_base_lines(ws);
        for (std::size_t k; (k = lines.find("\n\t")) != std::string::npos;) lines.replace(k, 2, "\n               ");
        t += lines.substr(1) + "\n";
    }
    const ZoneSummary z = zone_above_base(ws, base, i, j);
    t += cfmt("Items          %d above the base line\n", z.items);
    if (!z.on_item) {
        t += "Edifice        none: the centre lies on no item above the base line\n";
        return t;
    }
    const MapPoint lo = centre_of_cell(g, z.i1, z.j0), hi = centre_of_cell(g, z.i0, z.j1);
    t += cfmt("Edifice        %lld cells, lines %d to %d, columns %d to %d (X %.3f to %.3f, Y %.3f to %.3f)\n",
              static_cast<long long>(z.cells), z.i0, z.i1, z.j0, z.j1, lo.x, hi.x, lo.y, hi.y);
    if (z.border_cells == 0 && z.nodata_cells == 0) t += "               closed: clear of the grid's edges and of cells without data\n";
    if (z.border_cells > 0) t += cfmt("               reaches the edge of the grid on %d cells\n", z.border_cells);
    if (z.nodata_cells > 0) t += cfmt("               touches %d cells without data\n", z.nodata_cells);
    return t;
}
