#include <cmath>
#include <cstdint>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <tuple>
#include <vector>

#include "contour_sweep.hpp"
#include "convex_envelope.hpp"
#include "dilation.hpp"
#include "edifice_levels.hpp"
#include "envelope_runs.hpp"
#include "interp_frame.hpp"
#include "parallel.hpp"
#include "reconstitution.hpp"
#include "slices.hpp"
#include "workspace.hpp"

namespace {




// Convex envelopes of the slices under the centre, as contour lines.  The
// zone of each altitude and its outline come from the edifice's levels, and
// each envelope is filled as runs of cells, line by line.  The altitudes are
// shared out between workers, each with its own scratch grids; the contour
// lines are then written into ktab in order of altitude, so that a higher
// slice overwrites a lower one where they meet.
class ContourWorker {
public:
    ContourWorker(const Workspace& ws, const SweepIndex& outlines, const std::vector<LineRuns>& edifice,
                  nrutil::UcGrid& marks, nrutil::UcGrid& conv)
        : ws_(ws), outlines_(outlines), edifice_(edifice), marks_(marks), conv_(conv)
    {
    }

    // For each altitude lo..hi, the outline cells of its envelope when the
    // envelope stays within the edifice (none otherwise), in lines[a - lo].
    void run(int lo, int hi, std::vector<std::vector<std::uint32_t>>& lines);

private:
    const Workspace& ws_;
    const SweepIndex& outlines_;            // of the zones around the centre
    const std::vector<LineRuns>& edifice_;  // runs of tab == 1
    nrutil::UcGrid& marks_;  // 0 everywhere, 1 on the outline being enveloped
    nrutil::UcGrid& conv_;   // 0 everywhere, 2 on the envelope being drawn
};

void ContourWorker::run(int lo, int hi, std::vector<std::vector<std::uint32_t>>& lines)
{
    const int nl = ws_.nb_lig, nc = ws_.nb_col;
    ContourSweep outline;
    outline.start(outlines_, lo);
    std::vector<std::uint32_t> drawn;
    EnvelopeRuns envelope(nl, nc);
    for (std::int64_t a = lo; a <= hi; ++a) {  // the top may be the largest 32-bit altitude
        const std::vector<std::uint32_t>& cells = outline.advance();
        for (std::uint32_t p : cells) marks_.data()[p] = 1;
        const std::vector<Cell> vertices = envelope_vertices(cells, nc, marks_, 1);
        for (std::uint32_t p : cells) marks_.data()[p] = 0;
        drawn.clear();
        draw_envelope(conv_, vertices, &drawn);
        for (std::uint32_t p : drawn) conv_.data()[p] = 0;
        envelope.draw(drawn);
        envelope.fill(ws_.i_gv, ws_.j_gv);
        // When the envelope stays within the edifice, its outline is the
        // contour line of this altitude: cells of the envelope with a direct
        // neighbour outside it.
        if (!envelope.leaves(edifice_)) envelope.outline(lines[std::size_t(a - lo)]);
    }
}

void slice_contours(Workspace& ws, const EdificeLevels& levels)
{
    const long long last = std::min<long long>(levels.item_top, ws.altmax);
    std::vector<std::vector<std::uint32_t>> lines(last >= ws.base ? std::size_t(last - ws.base + 1) : 0);
    if (!lines.empty()) {
        // Each worker takes a run of consecutive altitudes, of about the same
        // length of outlines as the others (a fair measure of the work).
        const std::vector<std::int64_t> runs =
            weighted_runs(ws.base, last, std::min(thread_count(), max_grid_workers),
                          [&](std::int64_t a) { return outline_weight(levels.zone.count[levels.zone.at(int(a))]); });
        const int workers = int(runs.size()) - 1;
        ensure_worker_grids(ws, workers);
        const std::vector<LineRuns> edifice = runs_of(ws.tab, 1);
        SweepIndex outlines;
        outlines.build(ws.nb_lig, ws.nb_col, levels.i0, levels.i1, levels.j0, levels.j1, ws.base, int(last),
                       SweepEdge::interior, [&](int i, int j) -> std::int64_t { return levels.join[i][j]; });
        parallel_tasks(workers, [&](int w) {
            nrutil::UcGrid& marks = w == 0 ? ws.tab_co : ws.worker_grids[std::size_t(2 * w - 2)];
            nrutil::UcGrid& conv = w == 0 ? ws.tab_conv : ws.worker_grids[std::size_t(2 * w - 1)];
            marks.fill(0);
            conv.fill(0);
            ContourWorker worker(ws, outlines, edifice, marks, conv);
            std::vector<std::vector<std::uint32_t>> part(std::size_t(runs[std::size_t(w) + 1] - runs[std::size_t(w)]));
            worker.run(int(runs[std::size_t(w)]), int(runs[std::size_t(w) + 1] - 1), part);
            std::move(part.begin(), part.end(), lines.begin() + (runs[std::size_t(w)] - ws.base));
        });
    }
    ws.worker_grids.clear();
    for (long long a = ws.base; a <= ws.altmax; ++a) {
        ws.alti_conv = int(a);
        ws.say("\t\tslice %d m          \r     ", ws.alti_conv);
        if (a <= last)
            for (std::uint32_t p : lines[std::size_t(a - ws.base)]) ws.ktab.data()[p] = ws.alti_conv;
    }
}

// Unset cells take the rounded mean of their set direct neighbours, scan after
// scan, in scan order, seeing the cells set earlier in the same scan.  A cell
// can only be set once a neighbour is: a scan visits, in order, the cells next
// to cells set before it and those below or right of cells it sets itself;
// the others wait for the next scan.
void closing_fill(Workspace& ws, const std::vector<std::uint32_t>& unset)
{
    const int nl = ws.nb_lig, nc = ws.nb_col;
    std::int32_t* k = ws.ktab.data();
    auto is_set = [&](int i, int j) {
        return i >= 0 && i < nl && j >= 0 && j < nc && k[std::size_t(i) * nc + j] != unset_altitude;
    };
    enum : std::uint8_t { idle, this_scan, next_scan };
    // Zeros (idle) that no one writes cost no memory: a few cells are left.
    nrutil::Grid<std::uint8_t> cell_state;
    allocate_grid(cell_state, "of the closing fill", nc, nl);
    std::uint8_t* state = cell_state.data();
    std::vector<std::uint32_t> next;
    for (std::uint32_t u : unset) {
        const int i = int(u / std::uint32_t(nc)), j = int(u % std::uint32_t(nc));
        if (is_set(i - 1, j) || is_set(i, j - 1) || is_set(i, j + 1) || is_set(i + 1, j)) next.push_back(u);
    }
    // A scan takes its cells in increasing order from three lists that are
    // each in increasing order: the cells it started with, and the cells right
    // of and below the cells it set (found in the order those were set).
    std::vector<std::uint32_t> first, right, below;
    while (!next.empty()) {
        for (std::uint32_t u : next) state[u] = this_scan;
        first.swap(next);
        next.clear();
        right.clear();
        below.clear();
        std::size_t nf = 0, nr = 0, nb = 0;
        for (;;) {
            constexpr std::uint32_t none = 0xFFFFFFFFu;
            const std::uint32_t uf = nf < first.size() ? first[nf] : none;
            const std::uint32_t ur = nr < right.size() ? right[nr] : none;
            const std::uint32_t ub = nb < below.size() ? below[nb] : none;
            const std::uint32_t u = std::min({uf, ur, ub});
            if (u == none) break;
            (u == uf ? nf : u == ur ? nr : nb)++;
            const int i = int(u / std::uint32_t(nc)), j = int(u % std::uint32_t(nc));
            std::int64_t sum = 0;
            int count = 0;
            for (auto [a, b] : {std::pair{i - 1, j}, {i, j - 1}, {i, j + 1}, {i + 1, j}})
                if (is_set(a, b)) {
                    sum += k[std::size_t(a) * nc + b];
                    ++count;
                }
            k[u] = trunc_to_int(double(sum) / count + 0.5);
            for (auto [a, b, now] : {std::tuple{i, j + 1, true}, {i + 1, j, true}, {i - 1, j, false}, {i, j - 1, false}}) {
                if (a < 0 || a >= nl || b < 0 || b >= nc || is_set(a, b)) continue;
                const std::uint32_t q = std::uint32_t(std::size_t(a) * nc + b);
                if (state[q] != idle) continue;
                state[q] = now ? this_scan : next_scan;
                if (!now)
                    next.push_back(q);
                else if (a == i)
                    right.push_back(q);
                else
                    below.push_back(q);
            }
        }
        std::sort(next.begin(), next.end());
    }
    ws.nb_pix_mod = 0;
}


}  // namespace


void interp(Workspace& ws)
{
    // The zones of every altitude around the centre as it stands now: those
    // of the slice analysis, unless the radial sections have moved a
    // calculated centre since (or the interpolation runs on its own).
    std::shared_ptr<EdificeLevels> levels = std::move(ws.edifice_levels);
    if (!levels || levels->ci != ws.i_gv || levels->cj != ws.j_gv) {
        levels.reset();
        levels = std::make_shared<EdificeLevels>();
        levels->compute(ws);
    }
    const int distance = open_interpolation(ws);

    slice_contours(ws, *levels);
    // The levels are of no more use: their memory goes back before the
    // dilation takes its own.
    levels.reset();

    ws.say("\n\n\tCone reconstitution \n");
    if (ws.on_one_core) ws.on_one_core();
    std::vector<std::uint32_t> unset;
    {
        // The dilation's grids (9 bytes a cell of the window round the unset
        // cells) go back before the closing fill and the smoothing, which take
        // memory of their own.
        Dilation dilation(ws);
        ws.modif = 1;
        int lco = 0;
        const std::int64_t to_set = std::int64_t(dilation.unset_count());
        while (ws.modif > 0) {
            ++lco;
            ws.progress.update("rebuilding the cone", to_set - std::int64_t(dilation.unset_count()), to_set);
            ws.say("\tIteration : %d number of points = %d modified points = %d \r             ", lco,
                   int(dilation.unset_count()), ws.modif);
            ws.modif = 0;
            dilation.step();
        }
        unset = dilation.unset_cells();
    }
    closing_fill(ws, unset);
    std::vector<std::uint32_t>().swap(unset);
    close_interpolation(ws, distance);
}
