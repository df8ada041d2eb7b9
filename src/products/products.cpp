#include "products.hpp"

#include "answers_record.hpp"
#include "centres_map.hpp"
#include "gis_sidecars.hpp"
#include "morphometry_figure.hpp"
#include "morphometry_tables.hpp"
#include "pictures.hpp"
#include "slice_plot.hpp"
#include "summary.hpp"
#include "vectors_gpkg.hpp"

#include <cmath>
#include <cstdio>
#include <exception>
#include <utility>

#include "parallel.hpp"
#include "workspace.hpp"

void write_products(Workspace& ws) { write_products(ws, EncodedPictures{}); }

void write_products(Workspace& ws, EncodedPictures pictures)
{
    DrawnFigure figure = std::move(pictures.morphometry);
    // A run in memory keeps its texts; its pictures are drawn by the Python
    // module from the grids.
    auto texts_and_pictures = [&] {
        if (!ws.results_in_memory) {
            write_gis_sidecars(ws);
            write_pictures(ws, std::move(pictures));
            write_slice_plot(ws);
        }
        write_centres_map(ws);
        write_summary(ws);
        write_morphometry_tables(ws);
    };
    if (ws.results_in_memory) {
        texts_and_pictures();
    } else {
        // The GeoPackage (SQLite's work, some hundredths of a second) is
        // written beside the pictures and tables, which only put files out
        // by then: its file is reserved first and takes its place after
        // theirs, and a failure of theirs is reported first, as one after
        // the other.  It stays on this thread, whose coordinate system
        // context is open (a new thread opens its own, which costs time and
        // fails where memory is short).
        const std::string gpkg = reserve_vectors_gpkg(ws);
        std::exception_ptr texts_failed, gpkg_failed;
        side_by_side(
            [&] {
                try {
                    write_vectors_gpkg(ws, gpkg);
                } catch (...) {
                    gpkg_failed = std::current_exception();
                }
            },
            [&] {
                try {
                    texts_and_pictures();
                } catch (...) {
                    texts_failed = std::current_exception();
                }
            });
        for (const std::exception_ptr& e : {texts_failed, gpkg_failed})
            if (e) std::rethrow_exception(e);
        if (!gpkg.empty()) ws.created_now(gpkg);
        write_morphometry_figure(ws, std::move(figure));
    }
    write_answers_record(ws);
}

std::string output_prefix(const Workspace& ws)
{
    const std::string suffix = "_info.txt";
    return ws.nominfo.substr(0, ws.nominfo.size() - suffix.size());
}

std::vector<double> nice_ticks(double lo, double hi, int target)
{
    std::vector<double> ticks;
    if (!(hi > lo) || target < 1) {
        ticks.push_back(lo);
        return ticks;
    }
    const double raw = (hi - lo) / target;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    const double r = raw / magnitude;
    const double step = (r < 1.5 ? 1 : r < 3 ? 2 : r < 7 ? 5 : 10) * magnitude;
    // Multiples of the step, not a running sum, so that 0.1 + 0.2 stays 0.3;
    // the slack keeps a tick that rounding puts a hair outside the range.
    const double slack = step * 1e-9;
    for (double k = std::ceil((lo - slack) / step); k * step <= hi + slack; ++k)
        ticks.push_back(k * step == 0 ? 0.0 : k * step);
    return ticks;
}

std::string tick_label(double v, double spacing)
{
    int decimals = 0;
    if (spacing > 0 && spacing < 1)
        decimals = int(std::ceil(-std::log10(spacing) - 1e-9));
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
    return text;
}
