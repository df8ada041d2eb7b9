#include "run.hpp"

#include <malloc.h>

#include <condition_variable>
#include <exception>
#include <mutex>
#include <new>
#include <ostream>

#include "pictures.hpp"
#include "products.hpp"
#include "dialogue.hpp"
#include "edifice_stage.hpp"
#include "input.hpp"
#include "morphometry.hpp"
#include "parallel.hpp"
#include "reconstitution.hpp"
#include "stages.hpp"
#include "workspace.hpp"

namespace {
void begin(Workspace& ws, const char* stage)
{
    if (ws.on_stage) ws.on_stage(stage);
}

// The interpolation reads, of what the radial sections and the surface of the
// present relief leave, only the centre's heights (when the centre is typed:
// a calculated centre may move in the sections).  The sections read tab,
// itab and the slopes, the surface tab and dtab, which the interpolation
// leaves as they are: they run beside it, its lines held back until theirs are
// printed.  A failure of either side ends the run with the lines printed
// before it in the order of a run on one thread.
void sections_and_surface_beside_interpolation(Workspace& ws)
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
        });
    ws.on_one_core = nullptr;
    if (measures_failed) std::rethrow_exception(measures_failed);
    interp_lines.release();
    if (interp_failed) std::rethrow_exception(interp_failed);
}

// The pictures and the other products read the grids that the output DEMs are
// written from, print nothing and create files of their own: the erosion
// picture (the longest) is encoded from the start beside the output units,
// the erosion's shaded image, the output DEMs and then the grey pictures.  A
// failure of either side ends the run as on one thread: the DEMs come first,
// then the pictures.
void outputs_beside_products(Workspace& ws, RebuiltRanges& ranges)
{
    std::exception_ptr outputs_failed, greys_failed, erosion_failed;
    EncodedPictures pictures;
    side_by_side(
        [&] {
            try {
                rebuilt_outputs(ws, ranges);
                write_rebuilt_cone(ws, ranges);
            } catch (...) {
                outputs_failed = std::current_exception();
                return;
            }
            try {
                encode_grey_pictures(ws, pictures);
            } catch (...) {
                greys_failed = std::current_exception();
            }
        },
        [&] {
            try {
                encode_erosion_picture(ws, pictures);
            } catch (...) {
                erosion_failed = std::current_exception();
            }
        });
    for (const std::exception_ptr& e : {outputs_failed, greys_failed, erosion_failed})
        if (e) std::rethrow_exception(e);
    write_products(ws, std::move(pictures));
}

}  // namespace

int run(Workspace& ws)
{
    // Grids and other large blocks are mapped from the system and go back to
    // it when released, whatever the process allocated and freed before: the
    // memory of a run stays its grids'.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);

    try {
        try {
            begin(ws, "opening");
            opening(ws);
            begin(ws, "parameters2");
            parameters2(ws);
            // The slope angles read only itab, which the slice analysis
            // leaves as it is, and print nothing: they run beside it.
            begin(ws, "treatment+angles");
            side_by_side([&] { ws.stages->treatment(ws); }, [&] { angles(ws); });
            begin(ws, "edifice_shape");
            measure_design_edifice(ws);
            begin(ws, "sections+surface+interp");
            sections_and_surface_beside_interpolation(ws);
            begin(ws, "rec_volc");
            RebuiltRanges ranges = rebuild_measures(ws);
            begin(ws, "outputs+products");
            outputs_beside_products(ws, ranges);
            begin(ws, "end");
            // Every result is complete on disk before the key is asked for: a
            // file that cannot be written ends the run without the key wait.
            ws.close_all();
            ws.say("\n\n\tPress any key to exit the program ");
            wait_key(ws);
            ws.out->flush();
            return 0;
        } catch (const std::bad_alloc&) {
            fail(cfmt("not enough memory for a DEM of %d lines x %d columns", ws.nb_lig, ws.nb_col));
        }
    } catch (const RunEnd& end) {
        if (end.status != 0) ws.remove_created();
        ws.out->write(end.message.data(), std::streamsize(end.message.size()));
        ws.out->flush();
        return end.status;
    }
}
