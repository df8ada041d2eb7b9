#include "base_sweep.hpp"

#include <algorithm>
#include <atomic>
#include <new>
#include <sstream>

#include "engine.hpp"
#include "parallel.hpp"
#include "input.hpp"
#include "summary.hpp"
#include "workspace.hpp"

namespace {

// What the DEM's reading left in `from`, the input of every run.
void copy_dem(Workspace& to, const Workspace& from)
{
    to.params = from.params;
    to.root = from.root;
    to.nomim1 = from.nomim1;
    to.nb_lig = from.nb_lig;
    to.nb_col = from.nb_col;
    to.dpix_size = from.dpix_size;
    to.dsizepix = from.dsizepix;
    to.pix_size = from.pix_size;
    to.pixel_surface = from.pixel_surface;
    to.format = from.format;
    to.itype = from.itype;
    to.interv = from.interv;
    to.Coord_UTM_dem1_OK = from.Coord_UTM_dem1_OK;
    to.X_min = from.X_min;
    to.Y_min = from.Y_min;
    to.cellsize = from.cellsize;
    to.dmin = from.dmin;
    to.dmax = from.dmax;
    to.mind = from.mind;
    to.maxd = from.maxd;
    to.nodata_declared = from.nodata_declared;
    to.nodata_value = from.nodata_value;
    to.nodata_cells = from.nodata_cells;
    to.dem_prj = from.dem_prj;
    to.georef = from.georef;
    to.band_nodata_declared = from.band_nodata_declared;
    to.band_nodata = from.band_nodata;
    to.inputs = from.inputs;
    to.warnings = from.warnings;
    to.header_warnings = from.header_warnings;
    to.command_line = from.command_line;
    // A front end that follows the sweep may stop it in any row; it is told
    // of the rows done, not of their stages.
    if (const Progress::Hook& watch = from.progress.hook())
        to.progress.set_hook([watch](const char*, std::int64_t, std::int64_t) { watch(nullptr, 0, 0); });
    const int c = from.nb_col, l = from.nb_lig;
    allocate_grid(to.itab, "itab (elevations)", c, l);
    allocate_grid(to.itab3, "itab3 (elevations)", c, l);
    allocate_grid(to.dtab, "dtab (exact elevations)", c, l);
    to.itab.copy_from(from.itab);
    to.itab3.copy_from(from.itab3);
    to.dtab.copy_from(from.dtab);
    if (from.nodata_cells) {
        allocate_grid(to.nodata, "nodata (cells without data)", c, l);
        to.nodata.copy_from(from.nodata);
    }
}

SweepRow measure_at(const Workspace& dem, double base, const CentreRequest& centre)
{
    {
        SweepRow row;
        row.base = base;
        std::istringstream in;
        std::ostringstream out, err;
        Workspace ws(in, out);
        ws.err = &err;
        ws.discard_results = true;
        try {
            try {
                copy_dem(ws, dem);
                ws.params.dbase = base;
                ws.params.base_auto = false;
                resolve_centre(ws, centre);
                prepare_results(ws);
                set_base_line(ws);
                set_centre(ws);
                write_report_header(ws);
                set_model_display(ws);
                measure_and_rebuild(ws);
                row.status = "ok";
                row.columns = summary_columns(ws);
            } catch (const std::bad_alloc&) {
                fail(cfmt("not enough memory for a DEM of %d lines x %d columns", ws.nb_lig, ws.nb_col));
            }
        } catch (const RunEnd& end) {
            std::string m = end.message;
            const std::string mark = "\n\tError : ";
            if (m.compare(0, mark.size(), mark) == 0) m = m.substr(mark.size());
            while (!m.empty() && (m.back() == '\n' || m.back() == ' ')) m.pop_back();
            row.status = m.empty() ? "failed" : m;
        }
        return row;
    }
}

}  // namespace

std::vector<SweepRow> base_sweep(const Workspace& dem, const std::vector<double>& bases, const CentreRequest& centre)
{
    // A run does not keep every core busy: several bases are measured at
    // once, each run on one thread (the same figures as on any number), as
    // many as the threads and the memory allow (about 64 bytes a cell each).
    const std::size_t cells = std::size_t(dem.nb_lig) * std::size_t(dem.nb_col);
    const int at_once = std::max(1, std::min<int>(thread_count(), int((std::size_t(1) << 26) / std::max<std::size_t>(cells, 1))));
    std::vector<SweepRow> rows(bases.size());
    std::atomic<std::int64_t> done{0};
    const Progress::Hook& watch = dem.progress.hook();
    auto row_done = [&] {
        const std::int64_t n = ++done;
        if (watch) watch("measuring the bases", n, std::int64_t(bases.size()));
    };
    if (at_once > 1) {
        parallel_tasks(int(bases.size()), [&](int k) {
            OneThread alone;
            rows[std::size_t(k)] = measure_at(dem, bases[std::size_t(k)], centre);
            row_done();
        });
    } else {
        for (std::size_t k = 0; k < bases.size(); ++k) {
            rows[k] = measure_at(dem, bases[k], centre);
            row_done();
        }
    }
    std::vector<std::string> names;
    for (const SweepRow& r : rows)
        if (names.empty() && !r.columns.empty())
            for (const auto& [name, value] : r.columns) names.push_back(name);
    // A failed run keeps the columns, empty.
    if (names.empty()) {
        std::istringstream in;
        std::ostringstream out;
        Workspace ws(in, out);
        for (const auto& [name, value] : summary_columns(ws)) names.push_back(name);
    }
    for (SweepRow& r : rows)
        if (r.columns.empty())
            for (const std::string& n : names) r.columns.emplace_back(n, "");
    return rows;
}

std::string base_sweep_csv(const std::vector<SweepRow>& rows)
{
    if (rows.empty()) return "";
    std::vector<std::string> header{"status"}, cells;
    for (const auto& [name, value] : rows.front().columns) header.push_back(name);
    std::string text = csv_line(header);
    for (const SweepRow& r : rows) {
        cells.assign(1, r.status);
        for (const auto& [name, value] : r.columns) cells.push_back(value);
        text += csv_line(cells);
    }
    return text;
}
