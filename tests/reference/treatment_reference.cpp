#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

#include "gravcenter_model.hpp"
#include "slices.hpp"
#include "treatment_frame.hpp"
#include "workspace.hpp"
#include "reference.hpp"

namespace reference {

namespace {

// S4-S6: contour of the slice item, thinned at its right-angle corners; the
// surface counts interior cells, contour cells for one half.
double slice_surface(Workspace& ws)
{
    const int nl = ws.nb_lig, nc = ws.nb_col;
    ws.tab_co.fill(255);
    for (int i = 0; i < nl; ++i)
        for (int j = 0; j < nc; ++j) {
            if (ws.tab_pl[i][j] != 1) continue;
            bool edge = (i > 0 && ws.tab_pl[i - 1][j] == 0) || (j < nc - 1 && ws.tab_pl[i][j + 1] == 0) ||
                        (i < nl - 1 && ws.tab_pl[i + 1][j] == 0) || (j > 0 && ws.tab_pl[i][j - 1] == 0);
            if (edge) ws.tab_co[i][j] = 1;
        }
    for (int i = 1; i <= nl - 2; ++i)
        for (int j = 1; j <= nc - 2; ++j) {
            if (ws.tab_co[i][j] != 1) continue;
            auto on = [&](int a, int b) { return ws.tab_co[a][b] == 1; };
            int code = on(i - 1, j - 1) * 1 + on(i - 1, j) * 2 + on(i - 1, j + 1) * 4 + on(i, j + 1) * 8 +
                       on(i + 1, j + 1) * 16 + on(i + 1, j) * 32 + on(i + 1, j - 1) * 64 + on(i, j - 1) * 128;
            if (code == 10 || code == 40 || code == 160 || code == 130) ws.tab_co[i][j] = 255;
        }
    int num_pix_pl = 0, num_pix_co = 0;
    for (int i = 1; i <= nl - 2; ++i)
        for (int j = 1; j <= nc - 2; ++j) {
            num_pix_pl += ws.tab_pl[i][j] == 1;
            num_pix_co += ws.tab_co[i][j] == 1;
        }
    return ((num_pix_pl - num_pix_co) + 0.5 * num_pix_co) * ws.pixel_surface;
}

// S7-S10: envelope of the contour, its centre and the orientation of its
// longest radius; the centre row of the model and the orientation row.
void slice_envelope(Workspace& ws, int k, std::vector<Workspace::GridPoint>& vertices)
{
    const int nl = ws.nb_lig, nc = ws.nb_col;
    ws.tab_conv.fill(255);
    ws.flag_convex = 1;
    reference::convexity(ws, &vertices);

    std::int64_t count = 0, sum_i = 0, sum_j = 0;
    for (int i = 0; i < nl; ++i)
        for (int j = 0; j < nc; ++j)
            if (ws.tab_conv[i][j] == 2) {
                ++count;
                sum_i += i;
                sum_j += j;
            }
    if (count == 0) {
        // No envelope outline: the item's own mean cell stands for its centre.
        for (int i = 0; i < nl; ++i)
            for (int j = 0; j < nc; ++j)
                if (ws.tab_pl[i][j] == 1) {
                    ++count;
                    sum_i += i;
                    sum_j += j;
                }
        if (count > 0)
            model_centre_row(ws, int(double(sum_i) / double(count)), int(double(sum_j) / double(count)), k);
        vertices.clear();
        return;
    }
    const int ci = int(double(sum_i) / double(count)), cj = int(double(sum_j) / double(count));
    model_centre_row(ws, ci, cj, k);

    double dist_max = 0;
    for (int i = 0; i < nl; ++i)
        for (int j = 0; j < nc; ++j)
            if (ws.tab_conv[i][j] == 2) {
                const double di = std::abs(i - ci), dj = std::abs(j - cj);
                const double d = std::sqrt(di * di + dj * dj);
                if (d >= dist_max) dist_max = d;
            }
    int fi = 0, fj = 0;
    for (int i = 0, found = 0; i < nl && !found; ++i)
        for (int j = 0; j < nc; ++j)
            if (ws.tab_conv[i][j] == 2) {
                const double di = std::abs(i - ci), dj = std::abs(j - cj);
                if (std::sqrt(di * di + dj * dj) == dist_max) {
                    fi = i;
                    fj = j;
                    found = 1;
                    break;
                }
            }
    ws.forient.printf("%lf\t%d\n", slice_orientation(ci, cj, fi, fj), k);
}

}  // namespace


void treatment(Workspace& ws)
{
    const int nl = ws.nb_lig, nc = ws.nb_col;
    open_slicing(ws);
    ws.slice_envelopes.clear();

    int num_slice = 0;
    double volume = 0;
    for (long long kk = static_cast<long long>(ws.base) + 1; kk <= ws.altmax; ++kk) {
        const int k = int(kk);
        ++num_slice;
        ::select_slice_item(ws, k);
        if (model_shows_slice(ws, k)) model_upper_slice_rows(ws, ws.tab_pl, k, 0, nl - 1, 0, nc - 1);
        const double surf_slice = slice_surface(ws);
        std::vector<Workspace::GridPoint> vertices;
        slice_envelope(ws, k, vertices);
        ws.high = 1.0;
        ws.flag_gc = 2;
        gravity_center(ws);
        const double dist_gc = centre_distance(ws);
        ws.say("\tSlice %d altitude %d meters          \r  ", num_slice, k);
        const double slicevol = surf_slice * ws.high;
        ws.fslice.printf("%lf\t%lf\t%lf\t%d\t%d\n", dist_gc * ws.dsizepix, surf_slice, slicevol, num_slice, k);
        volume += slicevol;
        if (ws.writes_result_files()) ws.slice_envelopes.push_back({k, surf_slice, slicevol, std::move(vertices)});
        if (k == ws.altmax) {
            ws.report("\n\n\tUpper dynamic scale reached : %d ", k);
            ws.b_crat = k;
        }
    }
    close_slicing(ws, volume);
}

}  // namespace reference
