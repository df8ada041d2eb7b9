#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "contour_sweep.hpp"
#include "convex_envelope.hpp"
#include "edifice_levels.hpp"
#include "gravcenter_model.hpp"
#include "slices.hpp"
#include "treatment_frame.hpp"
#include "workspace.hpp"

// The slices are never drawn whole: each altitude is measured from the
// structures of EdificeLevels (counts and sums of the slice item per altitude)
// and from its contour cells, which a ContourSweep hands over altitude after
// altitude.  The results are those of the straightforward per-slice scans.

namespace {

// What the slice item is at altitude k: the centre's zone (the centre lies in
// the slice), every cell of the edifice at or above k (the centre lies below
// the slice), or nothing (the centre's own piece is no item).
enum class SliceKind { zone, all_above, empty };

struct Slicing {
    Workspace& ws;
    EdificeLevels& levels;
    LevelStats above;  // cells of the edifice at or above each altitude
    ContourSweep sweep;
    SliceKind sweep_kind = SliceKind::empty;
    std::vector<std::uint32_t> points, drawn;

    SliceKind kind(int k) const
    {
        if (!levels.centre_on_edifice || k > levels.centre_altitude) return SliceKind::all_above;
        return k <= levels.item_top ? SliceKind::zone : SliceKind::empty;
    }

    // Top altitude of each cell in the slice items of this kind.
    auto top_of(SliceKind kind)
    {
        return [this, kind](int i, int j) -> std::int64_t {
            if (kind == SliceKind::zone) return levels.join[i][j];
            return ws.tab[i][j] == 1 ? ws.itab[i][j] : EdificeLevels::never;
        };
    }

    const std::vector<std::uint32_t>& contour(int k, SliceKind kd, int last)
    {
        static const std::vector<std::uint32_t> none;
        if (kd == SliceKind::empty) return none;
        if (kd != sweep_kind) {
            sweep_kind = kd;
            sweep.start(ws.nb_lig, ws.nb_col, levels.i0, levels.i1, levels.j0, levels.j1, k, last,
                        ContourSweep::Edge::in_grid, top_of(kd), reinterpret_cast<std::uint32_t*>(ws.tab1.data()));
        }
        return sweep.advance();
    }

    // The slice item drawn into tab_pl over the edifice's box (for the model).
    void draw_item(int k, SliceKind kd)
    {
        auto top = top_of(kd);
        for (int i = levels.i0; i <= levels.i1; ++i)
            for (int j = levels.j0; j <= levels.j1; ++j)
                ws.tab_pl[i][j] = kd != SliceKind::empty && top(i, j) >= k;
    }
};

// Thins the contour at its right-angle corners (in scan order, seeing earlier
// removals) and returns the number of interior contour cells left; the cells
// left are appended to `points`.
int thin_contour(Workspace& ws, const std::vector<std::uint32_t>& contour, std::vector<std::uint32_t>& points)
{
    const int nl = ws.nb_lig, nc = ws.nb_col;
    std::uint8_t* co = ws.tab_co.data();
    for (std::uint32_t p : contour) co[p] = 1;
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
        points.push_back(p);
    }
    return interior;
}

// Envelope of the thinned contour: its centre row in the model and the
// orientation row of its longest radius.
void slice_envelope(Slicing& s, int k, const LevelStats* stats)
{
    Workspace& ws = s.ws;
    const int nc = ws.nb_col;
    s.drawn.clear();
    draw_envelope(ws.tab_conv, envelope_vertices(s.points, nc, ws.tab_co, 1), &s.drawn);
    if (s.drawn.empty()) {
        // No envelope outline: the item's own mean cell stands for its centre.
        const std::size_t at = stats ? stats->at(k) : 0;
        const std::int64_t count = stats ? stats->count[at] : 0;
        if (count > 0)
            model_centre_row(ws, int(double(stats->sum_i[at]) / double(count)),
                             int(double(stats->sum_j[at]) / double(count)), k);
        return;
    }
    std::int64_t sum_i = 0, sum_j = 0;
    for (std::uint32_t p : s.drawn) {
        sum_i += p / std::uint32_t(nc);
        sum_j += p % std::uint32_t(nc);
    }
    const double count = double(s.drawn.size());
    const int ci = int(double(sum_i) / count), cj = int(double(sum_j) / count);
    model_centre_row(ws, ci, cj, k);

    // Longest radius; among equals the first outline cell in scan order.
    double dist_max = -1;
    std::uint32_t far = 0;
    for (std::uint32_t p : s.drawn) {
        const double di = std::abs(int(p / std::uint32_t(nc)) - ci), dj = std::abs(int(p % std::uint32_t(nc)) - cj);
        const double d = std::sqrt(di * di + dj * dj);
        if (d > dist_max || (d == dist_max && p < far)) {
            dist_max = d;
            far = p;
        }
    }
    ws.forient.printf("%lf\t%d\n", slice_orientation(ci, cj, int(far / std::uint32_t(nc)), int(far % std::uint32_t(nc))),
                      k);
    for (std::uint32_t p : s.drawn) ws.tab_conv.data()[p] = 255;
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
    open_slicing(ws);
    // The slices need no labelling: the point list can go.
    std::vector<std::uint16_t>().swap(ws.coord_y);
    std::vector<std::uint16_t>().swap(ws.coord_x);

    auto levels = std::make_unique<EdificeLevels>();
    levels->compute(ws);
    Slicing s{ws, *levels, {}, {}, SliceKind::empty, {}, {}};
    const bool measured = static_cast<long long>(ws.altmax) > ws.base;
    if (measured) {
        s.above.reset(ws.base + 1, ws.altmax);
        for (int i = levels->i0; i <= levels->i1; ++i)
            for (int j = levels->j0; j <= levels->j1; ++j)
                if (ws.tab[i][j] == 1) s.above.add(ws.itab[i][j], i, j, i >= 1 && i <= nl - 2 && j >= 1 && j <= nc - 2);
        s.above.accumulate();
        ws.tab_co.fill(255);
        ws.tab_conv.fill(255);
    }

    int num_slice = 0;
    double volume = 0;
    for (long long kk = static_cast<long long>(ws.base) + 1; kk <= ws.altmax; ++kk) {
        const int k = int(kk);
        ++num_slice;
        const SliceKind kd = s.kind(k);
        // Counts and sums of the slice item (none for an empty item).
        const LevelStats* stats = kd == SliceKind::zone ? &levels->zone : kd == SliceKind::all_above ? &s.above : nullptr;
        const std::int64_t count = stats ? stats->count[stats->at(k)] : 0;
        if (model_shows_slice(ws, k)) {
            s.draw_item(k, kd);
            model_upper_slice_rows(ws, ws.tab_pl, k, levels->i0, levels->i1, levels->j0, levels->j1);
        }

        // The last altitude of this kind bounds the sweep.
        int last = ws.altmax;
        if (kd == SliceKind::zone) last = std::min(levels->item_top, ws.altmax);
        const std::vector<std::uint32_t>& contour = s.contour(k, kd, last);
        s.points.clear();
        const int num_pix_co = thin_contour(ws, contour, s.points);
        const std::int64_t num_pix_pl = stats ? stats->interior[stats->at(k)] : 0;
        const double surf_slice = ((num_pix_pl - num_pix_co) + 0.5 * num_pix_co) * ws.pixel_surface;
        slice_envelope(s, k, stats);
        for (std::uint32_t p : contour) ws.tab_co.data()[p] = 255;

        ws.high = 1.0;
        ws.flag_gc = 2;
        if (count > 0) {
            ws.i_gc = int(stats->sum_i[stats->at(k)] / count);
            ws.j_gc = int(stats->sum_j[stats->at(k)] / count);
        }
        const double dist_gc = centre_distance(ws);
        ws.say("\tSlice %d altitude %d meters          \r  ", num_slice, k);
        const double slicevol = surf_slice * ws.high;
        ws.fslice.printf("%lf\t%lf\t%lf\t%d\t%d\n", dist_gc * ws.dsizepix, surf_slice, slicevol, num_slice, k);
        volume += slicevol;
        if (k == ws.altmax) {
            ws.report("\n\n\tUpper dynamic scale reached : %d ", k);
            ws.b_crat = k;
        }
    }
    ws.edifice_levels = std::move(levels);
    close_slicing(ws, volume);
}
