#include "run.hpp"

#include <malloc.h>

#include <new>
#include <ostream>

#include "dialogue.hpp"
#include "engine.hpp"
#include "workspace.hpp"

int run(Workspace& ws)
{
    // Grids and other large blocks are mapped from the system and go back to
    // it when released, whatever the process allocated and freed before: the
    // memory of a run stays its grids'.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);

    try {
        try {
            begin_stage(ws, "opening");
            opening(ws);
            begin_stage(ws, "parameters2");
            parameters2(ws);
            measure_and_rebuild(ws);
            ws.say("\n\n\tPress any key to exit the program ");
            wait_key(ws);
            ws.out->flush();
            return 0;
        } catch (const std::bad_alloc&) {
            fail(cfmt("not enough memory for a DEM of %d lines x %d columns", ws.nb_lig, ws.nb_col));
        }
    } catch (const RunEnd& end) {
        if (end.status != 0) ws.remove_created();
        ws.progress.clear();
        ws.out->write(end.message.data(), std::streamsize(end.message.size()));
        ws.out->flush();
        return end.status;
    }
}
