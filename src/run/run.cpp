#include "run.hpp"

#include <new>
#include <ostream>

#include "dialogue.hpp"
#include "input.hpp"
#include "morphometry.hpp"
#include "reconstitution.hpp"
#include "stages.hpp"
#include "workspace.hpp"

int run(Workspace& ws)
{
    try {
        try {
            opening(ws);
            parameters2(ws);
            ws.stages->treatment(ws);
            angles(ws);
            histo_pent(ws);
            ws.both("\n\n\tOriginal volcanic shape ");
            surface(ws, 1);
            ws.stages->interp(ws);
            rec_volc(ws);
            ws.say("\n\n\tPress any key to exit the program ");
            wait_key(ws);
            ws.close_all();
            ws.out->flush();
            return 0;
        } catch (const std::bad_alloc&) {
            fail("not enough memory for this DEM");
        }
    } catch (const RunEnd& end) {
        if (end.status != 0) ws.remove_created();
        ws.out->write(end.message.data(), std::streamsize(end.message.size()));
        ws.out->flush();
        return end.status;
    }
}
