#include <algorithm>
#include <atomic>
#include <climits>
#include <functional>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <memory>
#include <utility>
#include <vector>

#include "contour_sweep.hpp"
#include "convex_envelope.hpp"
#include "edifice_levels.hpp"
#include "gravcenter_model.hpp"
#include "parallel.hpp"
#include "slices.hpp"
#include "treatment_frame.hpp"
#include "workspace.hpp"

// The slices are never drawn whole: each altitude is measured from the
// structures of EdificeLevels (counts and sums of the slice item per altitude)
// and from its contour cells, which a ContourSweep hands over altitude after
// altitude.  The altitudes are shared out between workers, each with its own
// scratch grids; the rows and lines are then written in order of altitude.
// The results are those of the straightforward per-slice scans.

namespace {

// What the slice item is at altitude k: the centre's zone (the centre lies in
// the slice), every cell of the edifice at or above k (the centre lies below
// the slice), or nothing (the centre's own piece is no item).
enum class SliceKind { zone, all_above, empty };

// The slice items of every altitude and their counts and sums.
struct SliceItems {
    const Workspace& ws;
    const EdificeLevels& levels;
    LevelStats above;  // cells of the edifice at or above each altitude

    // Known from the levels' frame, before their flood.
    bool all_above_at(int k) const { return !levels.centre_on_edifice || k > levels.centre_altitude; }
    SliceKind kind(int k) const
    {
        if (all_above_at(k)) return SliceKind::all_above;
        return k <= levels.item_top ? SliceKind::zone : SliceKind::empty;
    }
    const LevelStats* stats(SliceKind kind) const
    {
        return kind == SliceKind::zone ? &levels.zone : kind == SliceKind::all_above ? &above : nullptr;
    }
    // Top altitude of each cell in the slice items of this kind.
    auto top_of(SliceKind kind) const
    {
        return [this, kind](int i, int j) -> std::int64_t {
            if (kind == SliceKind::zone) return levels.join[i][j];
            return ws.tab[i][j] == 1 ? ws.itab[i][j] : EdificeLevels::never;
        };
    }
    // Last altitude of the kind of altitude k (the sweep's bound).
    int last_of(SliceKind kind) const
    {
        return kind == SliceKind::zone ? std::min(levels.item_top, ws.altmax) : ws.altmax;
    }
    // The contour cells of each kind, sorted once for every worker.
    SweepIndex zone_index, above_index;
    const SweepIndex& index(SliceKind kind) const { return kind == SliceKind::zone ? zone_index : above_index; }
    // Builds the index of `kind` over its altitudes within lo..hi (that of
    // all_above may be built while the levels flood).
    void index_kind(SliceKind kind, int lo, int hi)
    {
        int first = INT_MAX, last = INT_MIN;
        for (std::int64_t k = lo; k <= hi; ++k)
            if (kind == SliceKind::all_above ? all_above_at(int(k)) : this->kind(int(k)) == kind) {
                first = std::min(first, int(k));
                last = int(k);
            }
        if (first > last) return;
        (kind == SliceKind::zone ? zone_index : above_index)
            .build(ws.nb_lig, ws.nb_col, levels.i0, levels.i1, levels.j0, levels.j1, first, std::min(last_of(kind), last),
                   SweepEdge::in_grid, top_of(kind));
    }
};

// What a slice contributes besides its counts: its surface, the centre of its
// envelope and the orientation of the envelope's longest radius.
struct SliceMeasure {
    double surface = 0;
    bool centre = false;  // the centre row is written
    int ci = 0, cj = 0;
    bool oriented = false;  // the orientation row is written
    double orientation = 0;
    std::vector<Cell> vertices;  // of the envelope, when the run keeps them
};

class SliceWorker {
public:
    SliceWorker(const SliceItems& items, nrutil::UcGrid& marks, nrutil::UcGrid& conv, std::function<void()> measured)
        : items_(items), marks_(marks), conv_(conv), measured_(std::move(measured))
    {
    }
    // The altitudes lo..hi into out[k - lo].
    void run(int lo, int hi, std::vector<SliceMeasure>& out);

private:
    int thin_contour(const std::vector<std::uint32_t>& contour);
    void envelope(int k, const LevelStats* stats, SliceMeasure& m);

    const SliceItems& items_;
    nrutil::UcGrid& marks_;  // 255 everywhere, 1 on the thinned contour
    nrutil::UcGrid& conv_;   // 255 everywhere, 2 on the envelope being drawn
    std::function<void()> measured_;  // after each slice
    std::vector<std::uint32_t> points_, drawn_;
};

void SliceWorker::run(int lo, int hi, std::vector<SliceMeasure>& out)
{
    const Workspace& ws = items_.ws;
    ContourSweep sweep;
    SliceKind sweep_kind = SliceKind::empty;
    // 64-bit counters: the top may be the largest 32-bit altitude.
    for (std::int64_t kk = lo; kk <= hi; ++kk) {
        const int k = int(kk);
        const SliceKind kind = items_.kind(k);
        const LevelStats* stats = items_.stats(kind);
        static const std::vector<std::uint32_t> none;
        if (kind != SliceKind::empty && kind != sweep_kind) {
            sweep_kind = kind;
            sweep.start(items_.index(kind), k);
        }
        const std::vector<std::uint32_t>& contour = kind == SliceKind::empty ? none : sweep.advance();
        SliceMeasure& m = out[std::size_t(k - lo)];
        const int num_pix_co = thin_contour(contour);
        const std::int64_t num_pix_pl = stats ? stats->interior[stats->at(k)] : 0;
        m.surface = ((num_pix_pl - num_pix_co) + 0.5 * num_pix_co) * ws.pixel_surface;
        envelope(k, stats, m);
        for (std::uint32_t p : contour) marks_.data()[p] = 255;
        measured_();
    }
}

// Thins the contour at its right-angle corners (in scan order, seeing earlier
// removals) and returns the number of interior contour cells left; the cells
// left become the envelope's points.
int SliceWorker::thin_contour(const std::vector<std::uint32_t>& contour)
{
    const int nl = items_.ws.nb_lig, nc = items_.ws.nb_col;
    std::uint8_t* co = marks_.data();
    for (std::uint32_t p : contour) co[p] = 1;
    points_.clear();
    int interior = 0;
    for (std::uint32_t p : contour) {
        const int i = int(p / std::uint32_t(nc)), j = int(p % std::uint32_t(nc));
        if (i >= 1 && i <= nl - 2 && j >= 1 && j <= nc - 2) {
            const std::uint8_t* up = co + p - nc;
            const std::uint8_t* mid = co + p;
            const std::uint8_t* down = co + p + nc;
            const int code = (up[-1] == 1) * 1 + (up[0] == 1) * 2 + (up[1] == 1) * 4 + (mid[1] == 1) * 8 +
                             (down[1] == 1) * 16 + (down[0] == 1) * 32 + (down[-1] == 1) * 64 + (mid[-1] == 1) * 128;
            if (code == 10 || code == 40 || code == 160 || code == 130) {
                co[p] = 255;
                continue;
            }
            ++interior;
        }
        points_.push_back(p);
    }
    return interior;
}

// Envelope of the thinned contour: its centre and the orientation of its
// longest radius.
void SliceWorker::envelope(int k, const LevelStats* stats, SliceMeasure& m)
{
    const int nc = items_.ws.nb_col;
    drawn_.clear();
    std::vector<Cell> vertices = envelope_vertices(points_, nc, marks_, 1);
    draw_envelope(conv_, vertices, &drawn_);
    if (drawn_.empty()) {
        // No envelope outline: the item's own mean cell stands for its centre.
        const std::int64_t count = stats ? stats->count[stats->at(k)] : 0;
        if (count > 0) {
            m.centre = true;
            m.ci = int(double(stats->sum_i[stats->at(k)]) / double(count));
            m.cj = int(double(stats->sum_j[stats->at(k)]) / double(count));
        }
        return;
    }
    std::int64_t sum_i = 0, sum_j = 0;
    for (std::uint32_t p : drawn_) {
        sum_i += p / std::uint32_t(nc);
        sum_j += p % std::uint32_t(nc);
    }
    const double count = double(drawn_.size());
    m.centre = true;
    m.ci = int(double(sum_i) / count);
    m.cj = int(double(sum_j) / count);

    // Longest radius; among equals the first outline cell in scan order.  The
    // squared distances order the cells as their roots do: whole numbers
    // below 2^51 have distinct, correctly rounded roots.
    double dist_max = -1;
    std::uint32_t far = 0;
    for (std::uint32_t p : drawn_) {
        const double di = std::abs(int(p / std::uint32_t(nc)) - m.ci), dj = std::abs(int(p % std::uint32_t(nc)) - m.cj);
        const double d = di * di + dj * dj;
        if (d > dist_max || (d == dist_max && p < far)) {
            dist_max = d;
            far = p;
        }
    }
    m.oriented = true;
    m.orientation = slice_orientation(m.ci, m.cj, int(far / std::uint32_t(nc)), int(far % std::uint32_t(nc)));
    if (items_.ws.writes_result_files()) m.vertices = std::move(vertices);
    for (std::uint32_t p : drawn_) conv_.data()[p] = 255;
}

// The slice item drawn into tab_pl over the edifice's box (for the model).
void draw_item(Workspace& ws, const SliceItems& items, int k)
{
    const SliceKind kind = items.kind(k);
    auto top = items.top_of(kind);
    for (int i = items.levels.i0; i <= items.levels.i1; ++i)
        for (int j = items.levels.j0; j <= items.levels.j1; ++j)
            ws.tab_pl[i][j] = kind != SliceKind::empty && top(i, j) >= k;
}

// Measures of the altitudes lo..hi, shared out between workers when that is
// worth it: each takes a run of consecutive altitudes with scratch grids of
// its own.  The work of a slice goes with the length of its contour, not with
// its cells (the runs cost in proportion to the sum of the square roots of
// their slices' cells, within 2 % on a tall cone and a wide one): the runs
// are of equal sums of square roots.
std::vector<SliceMeasure> measure_slices(Workspace& ws, SliceItems& items, int lo, int hi)
{
    std::vector<SliceMeasure> out(hi >= lo ? std::size_t(std::int64_t(hi) - lo + 1) : 0);
    if (out.empty()) return out;
    auto outline = [&](std::int64_t k) -> std::int64_t {
        const LevelStats* stats = items.stats(items.kind(int(k)));
        return stats ? outline_weight(stats->count[stats->at(int(k))]) : 0;
    };
    const std::vector<std::int64_t> runs =
        weighted_runs(lo, hi, std::min(thread_count(), max_grid_workers), outline);
    const int workers = int(runs.size()) - 1;
    ensure_worker_grids(ws, workers);
    items.index_kind(SliceKind::zone, lo, hi);
    std::atomic<std::int64_t> done{0};
    const std::int64_t total = hi - std::int64_t(lo) + 1;
    parallel_tasks(workers, [&](int w) {
        nrutil::UcGrid& marks = w == 0 ? ws.tab_co : ws.worker_grids[std::size_t(2 * w - 2)];
        nrutil::UcGrid& conv = w == 0 ? ws.tab_conv : ws.worker_grids[std::size_t(2 * w - 1)];
        marks.fill(255);
        conv.fill(255);
        SliceWorker worker(items, marks, conv, [&] { ws.progress.update("measuring the slices", ++done, total); });
        std::vector<SliceMeasure> part(std::size_t(runs[std::size_t(w) + 1] - runs[std::size_t(w)]));
        worker.run(int(runs[std::size_t(w)]), int(runs[std::size_t(w) + 1] - 1), part);
        std::move(part.begin(), part.end(), out.begin() + (runs[std::size_t(w)] - lo));
    });
    return out;
}

}  // namespace

double slice_orientation(int ci, int cj, int fi, int fj)
{
    const double fiy = ci - fi, fix = fj - cj;
    double tetha = std::atan2(fiy, fix) * 57.29577951308232;
    if (tetha < 0) tetha += 360;
    double tetha_geogr = 360 - tetha + 90;
    if (tetha_geogr > 360) tetha_geogr -= 360;
    return tetha_geogr > 180 ? tetha_geogr - 180 : tetha_geogr;
}

void treatment(Workspace& ws)
{
    const int nl = ws.nb_lig, nc = ws.nb_col;
    slicing_frame(ws);
    // The slices need no labelling: the point list can go.
    std::vector<std::uint16_t>().swap(ws.coord_y);
    std::vector<std::uint16_t>().swap(ws.coord_x);

    // The edifice's levels need only tab and itab: while they flood, the
    // basal rows of the model (millions of them), the basal slice, and the
    // counts and the contour index of the cells above each altitude are
    // made.  A failure ends the run as on one thread: the rows and the basal
    // slice come first.
    const bool measured = static_cast<long long>(ws.altmax) > ws.base;
    auto levels = std::make_unique<EdificeLevels>();
    std::exception_ptr levels_failed, rows_failed;
    try {
        levels->frame(ws);
    } catch (...) {
        levels_failed = std::current_exception();
    }
    const bool framed = !levels_failed;
    SliceItems items{ws, *levels, {}, {}, {}};
    side_by_side(
        [&] {
            try {
                if (framed) levels->flood(ws);
            } catch (...) {
                levels_failed = std::current_exception();
            }
        },
        [&] {
            try {
                model_basal_rows(ws);
                basal_slice(ws);
                if (!measured || !framed) return;
                // Every cell of the edifice lies in the levels' box.
                const int i0 = levels->i0, i1 = levels->i1, j0 = levels->j0, j1 = levels->j1;
                items.above.reset(ws.base + 1, ws.altmax);
                items.above.gather(i0, i1 + 1, std::max(1, std::min(i1 - i0 + 1, thread_count() * 4)),
                                   [&](LevelStats& part, int i) {
                                       const bool inner_line = i >= 1 && i <= nl - 2;
                                       for (int j = j0; j <= j1; ++j)
                                           if (ws.tab[i][j] == 1)
                                               part.add(ws.itab[i][j], i, j, inner_line && j >= 1 && j <= nc - 2);
                                   });
                items.above.accumulate();
                items.index_kind(SliceKind::all_above, ws.base + 1, ws.altmax);
            } catch (...) {
                rows_failed = std::current_exception();
            }
        });
    if (rows_failed) std::rethrow_exception(rows_failed);
    if (levels_failed) std::rethrow_exception(levels_failed);
    ws.slice_envelopes.clear();
    std::vector<SliceMeasure> measures;
    if (measured) measures = measure_slices(ws, items, ws.base + 1, ws.altmax);

    int num_slice = 0;
    double volume = 0;
    for (long long kk = static_cast<long long>(ws.base) + 1; kk <= ws.altmax; ++kk) {
        const int k = int(kk);
        ++num_slice;
        const SliceMeasure& m = measures[std::size_t(kk - ws.base - 1)];
        if (model_shows_slice(ws, k)) {
            draw_item(ws, items, k);
            model_upper_slice_rows(ws, ws.tab_pl, k, levels->i0, levels->i1, levels->j0, levels->j1);
        }
        if (m.centre) model_centre_row(ws, m.ci, m.cj, k);
        if (m.oriented) ws.forient.printf("%lf\t%d\n", m.orientation, k);

        // The gravity centre of an empty item stays that of the slice below.
        ws.high = 1.0;
        ws.flag_gc = 2;
        const LevelStats* stats = items.stats(items.kind(k));
        const std::int64_t count = stats ? stats->count[stats->at(k)] : 0;
        if (count > 0) {
            ws.i_gc = int(stats->sum_i[stats->at(k)] / count);
            ws.j_gc = int(stats->sum_j[stats->at(k)] / count);
        }
        const double dist_gc = centre_distance(ws);
        ws.say("\tSlice %d altitude %d meters          \r  ", num_slice, k);
        const double slicevol = m.surface * ws.high;
        ws.fslice.printf("%lf\t%lf\t%lf\t%d\t%d\n", dist_gc * ws.dsizepix, m.surface, slicevol, num_slice, k);
        volume += slicevol;
        if (ws.writes_result_files()) {
            Workspace::SliceEnvelope e{k, m.surface, slicevol, {}};
            for (const Cell& c : m.vertices) e.vertices.push_back({c.i, c.j});
            ws.slice_envelopes.push_back(std::move(e));
        }
        if (k == ws.altmax) {
            ws.report("\n\n\tUpper dynamic scale reached : %d ", k);
            ws.b_crat = k;
        }
    }
    ws.edifice_levels = std::move(levels);
    close_slicing(ws, volume);
}
