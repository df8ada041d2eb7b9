#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "morphometry.hpp"
#include "parallel.hpp"
#include "plausibility.hpp"
#include "slices.hpp"
#include "workspace.hpp"

namespace {

// Inclusive offsets: a cell on the centre's line is one line away.
double inclusive_distance(int di, int dj)
{
    const std::int64_t a = std::abs(std::int64_t(di)) + 1, b = std::abs(std::int64_t(dj)) + 1;
    return std::sqrt(double(a * a + b * b));
}

// One ray from the centre to (fi, fj): the centre twice, then one cell per
// step.  A cell higher than the previous one along the ray is ascending (1), a
// lower one descending (2): put(i, j, class, step).
template <class Put>
void section(const Workspace& ws, int fi, int fj, Put put)
{
    const double a = fj - ws.j_gv, b = fi - ws.i_gv;
    double rmax = std::max(std::fabs(a), std::fabs(b));
    if (rmax == 0) return;  // the ray is the centre alone
    const double dinext = b / rmax, djnext = a / rmax;
    int prev = ws.itab[ws.i_gv][ws.j_gv];
    double ri = ws.i_gv, rj = ws.j_gv;
    // The longer direction advances one cell per step: rmax steps reach the end.
    for (long step = 0; step < long(rmax); ++step) {
        ri += dinext;
        rj += djnext;
        const int ci = int(ri + 0.5), cj = int(rj + 0.5);
        const int alt = ws.itab[ci][cj];
        if (alt > prev)
            put(ci, cj, 1, step);
        else if (alt < prev)
            put(ci, cj, 2, step);
        prev = alt;
    }
}

// The rays of `ends` (outline cells), in that order, a stretch of steps at a
// time: put(i, j, class, ray) as section() does.  A ray meets a cell only at
// one step (its offset from the centre in the ray's longer direction, less
// one: that direction advances exactly one cell a step), so every ray that
// meets a cell does so in the same stretch, where the rays go in their
// order: the order of the puts on any one cell is that of walking each ray
// whole.  A whole ray crosses a thousand lines, a page each, and its
// neighbour the same ones, which by then have left the address cache; a
// stretch of all the rays keeps to a few pages at a time.
template <class Put>
void sections_by_stretches(const Workspace& ws, const std::uint32_t* ends, std::size_t rays, Put put)
{
    struct Walk {
        double ri, rj, di, dj;
        long steps;
        int prev;
        std::uint32_t ray;
    };
    const std::uint32_t nc = std::uint32_t(ws.nb_col);
    std::vector<Walk> walks;
    walks.reserve(rays);
    long longest = 0;
    for (std::size_t n = 0; n < rays; ++n) {
        const double a = int(ends[n] % nc) - ws.j_gv, b = int(ends[n] / nc) - ws.i_gv;
        const double rmax = std::max(std::fabs(a), std::fabs(b));
        if (rmax == 0) continue;  // the ray is the centre alone
        walks.push_back({double(ws.i_gv), double(ws.j_gv), b / rmax, a / rmax, long(rmax),
                         ws.itab[ws.i_gv][ws.j_gv], std::uint32_t(n)});
        longest = std::max(longest, long(rmax));
    }
    constexpr long stretch = 32;
    for (long s0 = 0; s0 < longest; s0 += stretch) {
        for (Walk& w : walks) {
            const long s1 = std::min(w.steps, s0 + stretch);
            for (long step = s0; step < s1; ++step) {
                w.ri += w.di;
                w.rj += w.dj;
                const int ci = int(w.ri + 0.5), cj = int(w.rj + 0.5);
                const int alt = ws.itab[ci][cj];
                if (alt > w.prev)
                    put(ci, cj, 1, w.ray);
                else if (alt < w.prev)
                    put(ci, cj, 2, w.ray);
                w.prev = alt;
            }
        }
        // The rays that have ended leave the list, the others keep their order.
        if (s0 / stretch % 8 == 7)
            walks.erase(std::remove_if(walks.begin(), walks.end(),
                                       [&](const Walk& w) { return w.steps <= s0 + stretch; }),
                        walks.end());
    }
}

}  // namespace

void radial_section_classes(Workspace& ws, const std::vector<std::uint32_t>& outline, RayWalk walk)
{
    const int nl = ws.nb_lig, nc = ws.nb_col;
    const std::size_t rays = outline.size();
    auto end_of = [&](std::size_t n) { return std::pair<int, int>(int(outline[n] / std::uint32_t(nc)), int(outline[n] % std::uint32_t(nc))); };
    if (walk == RayWalk::plain) {
        ws.tab_sect.fill(255);
        for (std::size_t n = 0; n < rays; ++n)
            section(ws, end_of(n).first, end_of(n).second, [&](int i, int j, std::uint8_t cls, long) { ws.tab_sect[i][j] = cls; });
        return;
    }
    // Rays of the same direction (the same steps, to the last bit) follow
    // the same cells with the same classes as far as the shorter goes: an
    // edifice drawn out along a line has thousands of them, each as long as
    // the edifice.  Each such group walks its longest ray once; a cell then
    // takes the highest ray number of the group that reaches it.
    if (rays < (std::size_t(1) << 30) && rays > 1) {
        struct Ray {
            double di, dj;
            long steps;
            std::uint32_t n;
        };
        std::vector<Ray> all;
        all.reserve(rays);
        std::uint64_t steps = 0;
        for (std::size_t n = 0; n < rays; ++n) {
            const auto [fi, fj] = end_of(n);
            const double a = fj - ws.j_gv, b = fi - ws.i_gv;
            const double rmax = std::max(std::fabs(a), std::fabs(b));
            if (rmax == 0) continue;
            all.push_back({b / rmax, a / rmax, long(rmax), std::uint32_t(n)});
            steps += std::uint64_t(long(rmax));
        }
        std::sort(all.begin(), all.end(), [](const Ray& x, const Ray& y) {
            if (x.di != y.di) return x.di < y.di;
            if (x.dj != y.dj) return x.dj < y.dj;
            return x.steps > y.steps;
        });
        std::vector<std::size_t> group_first;
        std::uint64_t grouped_steps = 0;
        for (std::size_t k = 0; k < all.size(); ++k)
            if (k == 0 || all[k].di != all[k - 1].di || all[k].dj != all[k - 1].dj) {
                group_first.push_back(k);
                grouped_steps += std::uint64_t(all[k].steps);
            }
        if (walk == RayWalk::grouped || grouped_steps * 2 < steps) {
            group_first.push_back(all.size());
            nrutil::Grid<std::uint32_t> last_ray;
            allocate_grid(last_ray, "of the radial sections", nc, nl);
            std::uint32_t* last = last_ray.data();
            last_ray.fill(0u);
            const int groups = int(group_first.size()) - 1;
            parallel_tasks(thread_count() < 2 ? 1 : std::min(groups, thread_count() * 4), [&](int t) {
                const int tasks = thread_count() < 2 ? 1 : std::min(groups, thread_count() * 4);
                for (int g = int(std::int64_t(groups) * t / tasks); g < int(std::int64_t(groups) * (t + 1) / tasks); ++g) {
                    const std::size_t first = group_first[std::size_t(g)], end = group_first[std::size_t(g) + 1];
                    // The highest ray number among the rays longer than the
                    // step, the rays being sorted by length, longest first.
                    std::vector<std::uint32_t> best(end - first);
                    for (std::size_t k = first; k < end; ++k)
                        best[k - first] = std::max(all[k].n, k > first ? best[k - first - 1] : 0u);
                    std::size_t reach = end - first;  // rays [first, first + reach) are longer than the step
                    const Ray& longest = all[first];
                    section(ws, end_of(longest.n).first, end_of(longest.n).second,
                            [&](int i, int j, std::uint32_t cls, long step) {
                        while (all[first + reach - 1].steps <= step) --reach;
                        const std::uint32_t mine = ((best[reach - 1] + 1) << 2) | cls;
                        std::atomic_ref<std::uint32_t> cell(last[std::size_t(i) * nc + j]);
                        for (std::uint32_t now = cell.load(std::memory_order_relaxed);
                             now < mine && !cell.compare_exchange_weak(now, mine, std::memory_order_relaxed);) {
                        }
                    });
                }
            });
            for (std::size_t p = 0; p < last_ray.size(); ++p) ws.tab_sect.data()[p] = last[p] ? std::uint8_t(last[p] & 3) : 255;
            return;
        }
    }
    // The last ray crossing a cell decides its class.  The rays are shared
    // out in runs of consecutive rays; each cell keeps the class of the
    // highest-numbered ray that classed it (ray number and class packed in a
    // grid of their own, kept with an atomic maximum).
    const int runs = rays * 64 < parallel_threshold() || thread_count() < 2 ? 1 : thread_count() * 4;
    if (runs > 1 && rays < (std::size_t(1) << 30)) {
        nrutil::Grid<std::uint32_t> last_ray;
        allocate_grid(last_ray, "of the radial sections", nc, nl);
        std::uint32_t* last = last_ray.data();
        // Written once before the rays read it: a page first read and then
        // written would be mapped twice.
        parallel_rows(0, nl, std::size_t(nc), [&](int first, int end) {
            std::fill(last + std::size_t(first) * nc, last + std::size_t(end) * nc, 0u);
        });
        parallel_tasks(runs, [&](int r) {
            const std::size_t lo = rays * std::size_t(r) / std::size_t(runs);
            const std::size_t hi = rays * std::size_t(r + 1) / std::size_t(runs);
            auto put = [&](int i, int j, std::uint32_t cls, std::uint32_t n) {
                std::atomic_ref<std::uint32_t> cell(last[std::size_t(i) * nc + j]);
                const std::uint32_t mine = std::uint32_t(lo + n + 1) << 2 | cls;
                for (std::uint32_t now = cell.load(std::memory_order_relaxed);
                     now < mine && !cell.compare_exchange_weak(now, mine, std::memory_order_relaxed);) {
                }
            };
            sections_by_stretches(ws, outline.data() + lo, hi - lo, put);
        });
        parallel_rows(0, nl, std::size_t(nc), [&](int first, int end) {
            for (std::size_t p = std::size_t(first) * nc; p < std::size_t(end) * nc; ++p)
                ws.tab_sect.data()[p] = last[p] ? std::uint8_t(last[p] & 3) : 255;
        });
    } else {
        ws.tab_sect.fill(255);
        sections_by_stretches(ws, outline.data(), rays,
                              [&](int i, int j, std::uint8_t cls, std::uint32_t) { ws.tab_sect[i][j] = cls; });
    }
}

void centre_heights(Workspace& ws)
{
    // Written only when they change: the interpolation may read them
    // meanwhile.
    auto set = [](auto& field, auto value) {
        if (field != value) field = value;
    };
    set(ws.alt_center, ws.itab[ws.i_gv][ws.j_gv]);
    set(ws.dalt_center, double(ws.alt_center));
    set(ws.dmax_alt, double(ws.altmax));
    set(ws.h_vol, ws.dmax_alt - ws.dbase);
    set(ws.h_crat, ws.dmax_alt - ws.dalt_center);
}

void histo_pent(Workspace& ws) { histo_pent(ws, ws.coord_display); }

void histo_pent(Workspace& ws, int coord_display)
{
    const int nl = ws.nb_lig, nc = ws.nb_col;
    if (ws.grav_cent == 1) {
        ws.flag_gc = 0;
        gravity_center(ws);
    }

    if (coord_display == 1) {
        ws.both(ws.grav_cent == 0 ? "\n\n\tCoordinates of the Gravity Center defined by the user"
                                  : "\n\n\tCoordinates of the Graviry Center calculated by the program");
        ws.both("\n\t\tline   = %d ", ws.i_gv);
        ws.both("\n\t\tcolumn = %d ", ws.j_gv);
    } else if (coord_display == 2) {
        ws.both("\n\n\tInterpolating treatment ");
    }

    // The outline of the edifice (cells of tab with a direct neighbour in the
    // grid outside it), in scan order, found line by line on all threads.
    auto on_outline = [&](int i, int j) {
        return ws.tab[i][j] == 1 && ((i > 0 && ws.tab[i - 1][j] == 0) || (j > 0 && ws.tab[i][j - 1] == 0) ||
                                     (i < nl - 1 && ws.tab[i + 1][j] == 0) || (j < nc - 1 && ws.tab[i][j + 1] == 0));
    };
    std::vector<std::vector<std::uint32_t>> outline_lines(static_cast<std::size_t>(nl));
    parallel_rows(0, nl, std::size_t(nc), [&](int first, int last) {
        for (int i = first; i < last; ++i)
            for (int j = 0; j < nc; ++j)
                if (on_outline(i, j)) outline_lines[std::size_t(i)].push_back(std::uint32_t(std::size_t(i) * nc + j));
    });
    std::vector<std::uint32_t> outline;
    for (std::vector<std::uint32_t>& l : outline_lines) {
        outline.insert(outline.end(), l.begin(), l.end());
        std::vector<std::uint32_t>().swap(l);
    }

    ws.low_dist_base = std::max(nl, nc);
    ws.gre_dist_base = 0;
    bool any = false;
    for (std::uint32_t p : outline) {
        const int i = int(p / std::uint32_t(nc)), j = int(p % std::uint32_t(nc));
        ws.ifin = i;
        ws.jfin = j;
        const double d = inclusive_distance(i - ws.i_gv, j - ws.j_gv);
        if (!any || d < ws.low_dist_base) ws.low_dist_base = d;
        if (d > ws.gre_dist_base) ws.gre_dist_base = d;
        any = true;
    }

    radial_section_classes(ws, outline);
    std::vector<std::uint32_t>().swap(outline);

    // Whole-number sums, the same in any order.
    struct Sums {
        std::int64_t up = 0, down = 0, n_up = 0, n_down = 0;
    };
    std::vector<Sums> sums(static_cast<std::size_t>(nl));
    parallel_rows(0, nl, std::size_t(nc), [&](int first, int end) {
        for (int i = first; i < end; ++i) {
            Sums& s = sums[std::size_t(i)];
            for (int j = 0; j < nc; ++j) {
                if (ws.tab_sect[i][j] == 1) {
                    ++s.n_up;
                    s.up += ws.pente_ang[i][j];
                } else if (ws.tab_sect[i][j] == 2) {
                    ++s.n_down;
                    s.down += ws.pente_ang[i][j];
                }
            }
        }
    });
    std::int64_t up = 0, down = 0, n_up = 0, n_down = 0;
    for (const Sums& s : sums) {
        up += s.up;
        down += s.down;
        n_up += s.n_up;
        n_down += s.n_down;
    }
    ws.mean_ang_up = int(up);
    ws.mean_ang_down = int(down);
    ws.jco_up = int(n_up);
    ws.jco_down = int(n_down);
    ws.d_mean_ang_down = n_down ? double(down) / double(n_down) : 0.0;
    ws.d_mean_ang_up = n_up ? double(up) / double(n_up) : 0.0;

    // Console and report get the same lines but for the degree sign.
    ws.both("\n\n\tMean angle value : ");
    ws.say("\n\t\tSlope down = %5.2lf degrees", ws.d_mean_ang_down);
    ws.report("\n\t\tSlope down = %5.2lf \260", ws.d_mean_ang_down);
    ws.say("\n\t\tSlope up   = %5.2lf degrees", ws.d_mean_ang_up);
    ws.report("\n\t\tSlope up   = %5.2lf \260", ws.d_mean_ang_up);
    ws.both("\n\n\tBase Radius :");
    ws.both("\n\t\tLower radius   = %8.2lf m ", ws.low_dist_base * ws.dsizepix);
    ws.both("\n\t\tGreater radius = %8.2lf m ", ws.gre_dist_base * ws.dsizepix);

    ws.dif_rad = ws.gre_dist_base - ws.low_dist_base;
    ws.elong = ws.dif_rad / ws.low_dist_base * 100.0;
    ws.both("\n\t\tElongation factor = %8.2lf  ", ws.elong);

    ws.both("\n\n\tCrater Radius :");
    ws.both("\n\t\tLower radius   = %8.2lf m ", ws.distmin_cr * ws.dsizepix);
    ws.both("\n\t\tGreater radius = %8.2lf m ", ws.distmax_cr * ws.dsizepix);

    centre_heights(ws);
    // The measure of the rebuilt cone (after the interpolation) overwrites
    // these scalars: the summary keeps both.
    const int relief = coord_display == 2 ? 1 : 0;
    ws.figures.outline[relief] = any;
    ws.figures.jco_down[relief] = n_down;
    ws.figures.jco_up[relief] = n_up;
    ws.figures.slope_down[relief] = ws.d_mean_ang_down;
    ws.figures.slope_up[relief] = ws.d_mean_ang_up;
    ws.figures.crater_depth[relief] = ws.h_crat;

    ws.both("\n\n\tBase line altitude = %8.2lf m ", ws.dbase);
    ws.both("\n\tUpper altitude     = %8.2lf m ", ws.dmax_alt);
    ws.both("\n\n\tVolcanic height  = %8.2lf m ", ws.h_vol);
    ws.both("\n\tCrater depth    = %8.2lf m ", ws.h_crat);
    if (coord_display == 1) check_crater(ws);
}
