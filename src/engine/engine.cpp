#include "engine.hpp"

#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>

#include "edifice_stage.hpp"
#include "morphometry_figure.hpp"
#include "morphometry.hpp"
#include "plausibility.hpp"
#include "parallel.hpp"
#include "pictures.hpp"
#include "products.hpp"
#include "reconstitution.hpp"
#include "program_stages.hpp"
#include "workspace.hpp"

namespace {

// The interpolation reads, of what the radial sections and the surface of the
// present relief leave, only the centre's heights (when the centre is typed:
// a calculated centre may move in the sections).  The sections read tab,
// itab and the slopes, the surface tab and dtab, which the interpolation
// leaves as they are: they run beside it, its lines held back until theirs are
// printed.  A failure of either side ends the run with the lines printed
// before it in the order of a run on one thread.  When `figure` is given, the
// measures' side then draws the morphometry figure (whose drawing keeps its
// failures for the writing): the interpolation's last passes leave a core
// free, the end of the run does not.
void sections_and_surface_beside_interpolation(Workspace& ws, DrawnFigure* figure)
{
    const bool centre_stays = ws.grav_cent == 0;
    if (centre_stays) {
        centre_heights(ws);
    } else {
        histo_pent(ws);
    }
    const int coord_display = ws.coord_display;  // the interpolation changes it
    std::exception_ptr measures_failed, interp_failed;
    Workspace::HeldOutput interp_lines(ws);
    // The measures wait until the interpolation is down to one core (or
    // done), and then take one core: until then it keeps every core busy.
    std::mutex m;
    std::condition_variable cv;
    bool go = false;
    auto start_measures = [&] {
        {
            std::lock_guard<std::mutex> lock(m);
            go = true;
        }
        cv.notify_all();
    };
    ws.on_one_core = start_measures;
    side_by_side(
        [&] {
            interp_lines.hold();
            try {
                ws.stages->interp(ws);
            } catch (...) {
                interp_failed = std::current_exception();
            }
            interp_lines.stop();
            start_measures();
        },
        [&] {
            {
                std::unique_lock<std::mutex> lock(m);
                cv.wait(lock, [&] { return go; });
            }
            OneThread alone;
            try {
                if (centre_stays) histo_pent(ws, coord_display);
                ws.both("\n\n\tOriginal volcanic shape ");
                surface(ws, 1);
            } catch (...) {
                measures_failed = std::current_exception();
            }
            if (figure && !measures_failed) *figure = draw_morphometry_figure(ws);
        });
    ws.on_one_core = nullptr;
    if (measures_failed) std::rethrow_exception(measures_failed);
    interp_lines.release();
    if (interp_failed) std::rethrow_exception(interp_failed);
}

// The pictures and the other products read the grids that the output DEMs are
// written from, print nothing and create files of their own: the erosion
// picture (the longest) is encoded from the start beside the output units and
// the output DEMs; the two grey pictures, then the morphometry figure, go to
// whichever side is free first (the shaded erosion once the output units have
// made it).  A failure ends the run as on one thread: the DEMs come first,
// then the grey pictures, then the erosion picture; the figure's own comes
// when it is written, among the other products.
void outputs_beside_products(Workspace& ws, RebuiltRanges& ranges, DrawnFigure figure)
{
    std::exception_ptr outputs_failed, erosion_failed, greys_failed[2];
    EncodedPictures pictures;
    pictures.morphometry = std::move(figure);
    std::mutex m;
    std::condition_variable cv;
    bool units_done = false, units_failed = false;
    std::atomic<int> next_grey{0};
    auto greys = [&] {
        for (int k; (k = next_grey++) < 3;) {
            if (k == 2) {
                if (!pictures.morphometry.drawn) pictures.morphometry = draw_morphometry_figure(ws);
                continue;
            }
            if (k == 1) {
                std::unique_lock<std::mutex> lock(m);
                cv.wait(lock, [&] { return units_done; });
                if (units_failed) return;
            }
            try {
                (k == 0 ? encode_shaded_picture : encode_shaded_erosion_picture)(ws, pictures);
            } catch (...) {
                greys_failed[k] = std::current_exception();
            }
        }
    };
    auto units = [&](bool failed) {
        {
            std::lock_guard<std::mutex> lock(m);
            units_done = true;
            units_failed = failed;
        }
        cv.notify_all();
    };
    side_by_side(
        [&] {
            try {
                rebuilt_outputs(ws, ranges);
            } catch (...) {
                outputs_failed = std::current_exception();
                units(true);
                return;
            }
            units(false);
            try {
                write_rebuilt_cone(ws, ranges);
            } catch (...) {
                outputs_failed = std::current_exception();
                return;
            }
            greys();
        },
        [&] {
            try {
                encode_erosion_picture(ws, pictures);
            } catch (...) {
                erosion_failed = std::current_exception();
            }
            greys();
        });
    for (const std::exception_ptr& e : {outputs_failed, greys_failed[0], greys_failed[1], erosion_failed})
        if (e) std::rethrow_exception(e);
    write_products(ws, std::move(pictures));
}

// The slope angles and the edifice of the present relief, which the measures
// of the rebuilt cone overwrite, for a run whose results stay in memory.
void keep_present_relief(Workspace& ws)
{
    allocate_grid(ws.present_slopes, "present_slopes", ws.nb_col, ws.nb_lig);
    allocate_grid(ws.present_edifice, "present_edifice", ws.nb_col, ws.nb_lig);
    ws.present_slopes.copy_from(ws.pente_ang);
    ws.present_edifice.copy_from(ws.tab);
}

// The grids that only the slice analysis reads go back as soon as it is
// done: its labels (tab1, tab_pl), its crater mask (tab_cr) and the workers'
// scratch grids (the interpolation takes new ones, zero-filled as the slice
// analysis leaves them).
void release_slice_grids(Workspace& ws)
{
    ws.tab1 = {};
    ws.tab_pl = {};
    ws.tab_cr = {};
    ws.worker_grids.clear();
}

// Those of the interpolation, before the rebuilt cone is measured.  The
// rebuilt cone's shading, whose every cell is written there, takes the
// memory of one of them, already in the resident set; its own untouched
// block goes back.
void release_interpolation_grids(Workspace& ws)
{
    ws.tab1 = {};
    if (ws.tab_co.size() == ws.tab_shad1.size()) ws.tab_shad1.swap(ws.tab_co);
    ws.tab_co = {};
    ws.tab_conv = {};
}

// What the output DEMs, pictures and tables do not read once both cones are
// measured: the exact elevations (the erosion thickness by now), the slopes
// and the radial sections' classes.
void release_measured_grids(Workspace& ws)
{
    ws.dtab = {};
    // The erosion's shading, whose every cell is written by the output
    // units, takes the memory of the slopes, as the rebuilt cone's does
    // that of the interpolation's marks.
    if (ws.pente_ang.size() == ws.tab_shaderos1.size()) ws.tab_shaderos1.swap(ws.pente_ang);
    ws.pente_ang = {};
    ws.tab_sect = {};
}

}  // namespace

void begin_stage(Workspace& ws, const char* stage)
{
    ws.progress.check();
    if (ws.on_stage) ws.on_stage(stage);
}

void measure_and_rebuild(Workspace& ws)
{
    if (!ws.stages) ws.stages = &program_stages;
    // itab3, the whole metres of the DEM as read, is itab's twin until the
    // rebuilt cone replaces it there: only the base line's edifice reads it.
    ws.itab3 = {};
    // The slope angles read only itab, which the slice analysis leaves as it
    // is, and print nothing: they run beside it.
    begin_stage(ws, "treatment+angles");
    side_by_side([&] { ws.stages->treatment(ws); }, [&] { angles(ws); });
    if (ws.results_in_memory) keep_present_relief(ws);
    measure_crater_checks(ws);
    release_slice_grids(ws);
    // The figures of volcano morphometry, while dtab still holds the present
    // relief (a run that writes nothing needs none of them).
    begin_stage(ws, "edifice_shape");
    if (!ws.discard_results) measure_item_edifice(ws);
    keep_figure_relief(ws);
    begin_stage(ws, "sections+surface+interp");
    // The final smoothing's scratch, untouched (so costing nothing) until
    // the dilation has given its own memory back.
    if (!ws.tab1) allocate_grid(ws.tab1, "tab1", ws.nb_col, ws.nb_lig);
    // The figure drawn early for a run that writes its pictures beside the
    // output DEMs, when the centre is typed (a calculated one may still move).
    // Drawing it takes some 20 MB for a moment, on top of the dilation's
    // memory: a DEM of fewer than 40 times the sharing threshold's cells (8
    // million), for which that would show in the run's peak, draws it at the
    // end (the tests, with a threshold of 0, draw it early).
    const bool figure_early = !ws.discard_results && !ws.results_in_memory && ws.grav_cent == 0 &&
                              std::size_t(ws.nb_lig) * std::size_t(ws.nb_col) >= 40 * parallel_threshold();
    DrawnFigure figure;
    sections_and_surface_beside_interpolation(ws, figure_early ? &figure : nullptr);
    release_interpolation_grids(ws);
    begin_stage(ws, "rec_volc");
    RebuiltRanges ranges = rebuild_measures(ws);
    release_measured_grids(ws);
    begin_stage(ws, "outputs+products");
    if (ws.discard_results) {
        rebuilt_warnings(ws, ranges);
    } else if (ws.results_in_memory) {
        // The same lines and texts, without the output DEMs and pictures.
        rebuilt_outputs(ws, ranges);
        write_rebuilt_cone(ws, ranges);
        write_products(ws);
    } else {
        outputs_beside_products(ws, ranges, std::move(figure));
    }
    begin_stage(ws, "end");
    // Every result is complete on disk before the run goes on: a file that
    // cannot be written ends it with an error.
    ws.close_all();
}
