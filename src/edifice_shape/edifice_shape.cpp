#include "edifice_shape.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "cell_scan.hpp"
#include "contours.hpp"
#include "ellipse_fit.hpp"
#include "parallel.hpp"
#include "plan_geometry.hpp"
#include "run_end.hpp"
#include "shape_indices.hpp"
#include "sink_fill.hpp"
#include "summit_crater.hpp"
#include "workspace.hpp"

namespace {

// Sums kept by key, each in scan order over n values: the even keys on one
// thread and the odd ones on another, each reading every value and adding up
// in arrays of its own (two threads writing to one cache line would slow
// both); on one thread, every key in one pass (half -1).
template <class Half>
void halves_of_keys(std::size_t n, Half half)
{
    if (thread_count() < 2 || n < parallel_threshold())
        half(-1);
    else
        parallel_tasks(2, [&](int t) { half(t); });
}

constexpr double pi = std::numbers::pi;

struct Window {
    int i0 = 0, i1 = -1, j0 = 0, j1 = -1;
};

bool has_nodata(const nrutil::UcGrid* nodata, const nrutil::DGrid& z)
{
    return nodata && *nodata && nodata->size() == z.size();
}

Ring to_local(const GridFrame& g, const Ring& r)
{
    Ring l;
    l.reserve(r.size());
    for (const Vec2& p : r) l.push_back(g.to_local(p));
    return l;
}

Ring to_map(const GridFrame& g, const Ring& r)
{
    Ring m;
    m.reserve(r.size());
    for (const Vec2& p : r) m.push_back(g.to_map(p));
    return m;
}

// The ring's vertices without the repeated closing vertex.
Ring open_ring(Ring r)
{
    if (r.size() > 1 && r.front() == r.back()) r.pop_back();
    return r;
}

Figure ratio(Figure a, Figure b)
{
    if (!a || !b || *b == 0) return std::nullopt;
    return *a / *b;
}

// Mean of the values that exist; empty when none does.
struct Mean {
    double sum = 0;
    int n = 0;
    void add(Figure v)
    {
        if (v) {
            sum += *v;
            ++n;
        }
    }
    Figure value() const { return n ? Figure(sum / n) : std::nullopt; }
};

// The levels of the edifice: k from -2 (the lower bound of the band of
// L_-1) up to the last level at or below the top.
struct Levels {
    LevelRule rule;
    long long kmin = -2;
    std::vector<double> at;  // at[k - kmin]
    double level(long long k) const { return at[std::size_t(k - kmin)]; }
};

}  // namespace

nrutil::UcGrid cells_inside_outline(const GridFrame& g, const Ring& outline, const nrutil::UcGrid& nodata)
{
    const Ring ring = to_local(g, outline);
    nrutil::UcGrid m;
    allocate_grid(m, "the outline's cells", g.nc, g.nl);
    const bool holes = bool(nodata) && nodata.size() == m.size();
    parallel_rows(0, g.nl, std::size_t(g.nc), [&](int a, int b) {
        for (int i = a; i < b; ++i)
            for (const ColumnRun& r : inside_runs(g, ring, i))
                for (int j = r.first; j <= r.last; ++j) m[i][j] = !holes || !nodata[i][j];
    });
    return m;
}

EdificeShape measure_edifice(const EdificeInput& in, const MorphometryOptions& o)
{
    constexpr double max_contour_levels = 10000;
    const GridFrame& g = in.frame;
    const nrutil::DGrid& z = *in.z;
    static const nrutil::UcGrid no_holes;
    const nrutil::UcGrid& nodata = has_nodata(in.nodata, z) ? *in.nodata : no_holes;
    const bool holes = bool(nodata);
    const double dA = g.cell_area();
    EdificeShape r;
    r.mode = in.mode;
    const bool outline_mode = in.mode == EdificeMode::outline;

    // The edifice M, its cells and its window.
    nrutil::UcGrid outline_cells;
    Ring outline_local;
    if (outline_mode) {
        outline_local = to_local(g, in.outline);
        outline_cells = cells_inside_outline(g, in.outline, nodata);
    }
    const nrutil::UcGrid& M = outline_mode ? outline_cells : *in.item;
    // Its window, cells, top (the first highest cell in scan order) and
    // lowest cell, line by line on all threads, then in line order.
    struct LineScan {
        int n = 0, j0 = 0, j1 = 0, top_j = 0;
        double top = 0, low = 0;
    };
    std::vector<LineScan> line_scan(static_cast<std::size_t>(g.nl));
    parallel_rows(0, g.nl, std::size_t(g.nc), [&](int a, int b) {
        for (int i = a; i < b; ++i) {
            LineScan& l = line_scan[std::size_t(i)];
            const std::uint8_t* m = M[i];
            const double* zi = z[i];
            for (int j = 0; j < g.nc; ++j) {
                if (m[j] != 1) continue;
                if (!l.n) l.j0 = j;
                l.j1 = j;
                if (!l.n || zi[j] > l.top) {
                    l.top = zi[j];
                    l.top_j = j;
                }
                if (!l.n || zi[j] < l.low) l.low = zi[j];
                ++l.n;
            }
        }
    });
    Window w{g.nl, -1, g.nc, -1};
    std::size_t n_m = 0;
    int pi_ = -1, pj = -1;
    double z_top = 0, z_min = 0;
    for (int i = 0; i < g.nl; ++i) {
        const LineScan& l = line_scan[std::size_t(i)];
        if (!l.n) continue;
        w.i0 = std::min(w.i0, i);
        w.i1 = i;
        w.j0 = std::min(w.j0, l.j0);
        w.j1 = std::max(w.j1, l.j1);
        if (!n_m || l.top > z_top) {
            z_top = l.top;
            pi_ = i;
            pj = l.top_j;
        }
        if (!n_m || l.low < z_min) z_min = l.low;
        n_m += std::size_t(l.n);
    }
    if (!n_m) {
        if (outline_mode) fail(cfmt("the outline %s holds no cell with data", in.outline_name.c_str()));
        fail("the edifice holds no cell");
    }
    const double range = z_top - z_min;
    const Vec2 peak = g.centre(pi_, pj);
    const Vec2 centre = g.centre(in.centre_i, in.centre_j);

    // The basal ring and surface.
    Ring ring;
    bool ring_polygon = true;
    double z_bmin, z_bmax;
    double area_b;
    Figure perimeter_b;
    std::optional<BasalSurface> surface;
    if (!outline_mode) {
        z_bmin = z_bmax = in.base;
        bool touches = false;
        if (holes)
            for (int i = w.i0; i <= w.i1 && !touches; ++i)
                for (int j = w.j0; j <= w.j1 && !touches; ++j) {
                    if (M[i][j] != 1) continue;
                    for (int a = std::max(i - 1, 0); a <= std::min(i + 1, g.nl - 1); ++a)
                        for (int b = std::max(j - 1, 0); b <= std::min(j + 1, g.nc - 1); ++b)
                            touches |= nodata[a][b] != 0;
                }
        int best = -1;
        std::vector<Piece> base_pieces;
        if (!touches && in.edge_cells == 0) {
            // A loop round the centre crosses the centre's line to its east.
            auto corner = [&](int i, int j, double& v) {
                v = z[i][j];
                return !holes || !nodata[i][j];
            };
            base_pieces =
                pieces_across_line(g, {0, g.nl - 1, 0, g.nc - 1}, corner, double(in.base), in.centre_i, in.centre_j);
            double best_area = 0;
            for (std::size_t k = 0; k < base_pieces.size(); ++k) {
                const Piece& p = base_pieces[k];
                if (!p.loop || !inside_ring(p.v, centre)) continue;
                const double a = polygon_area(p.v);
                if (best < 0 || a > best_area) {
                    best = int(k);
                    best_area = a;
                }
            }
        }
        if (best >= 0) {
            ring = std::move(base_pieces[std::size_t(best)].v);
            r.basal_closed = 1;
            area_b = polygon_area(ring);
            perimeter_b = perimeter(ring);
        } else {
            r.basal_closed = 0;
            area_b = double(n_m) * dA;
            ring_polygon = false;
            for (int i = w.i0; i <= w.i1; ++i)
                for (int j = w.j0; j <= w.j1; ++j) {
                    if (M[i][j] != 1) continue;
                    const bool edge = i == 0 || j == 0 || i == g.nl - 1 || j == g.nc - 1 || M[i - 1][j] != 1 ||
                                      M[i + 1][j] != 1 || M[i][j - 1] != 1 || M[i][j + 1] != 1;
                    if (edge) ring.push_back(g.centre(i, j));
                }
        }
    } else {
        std::vector<BasalVertex> kept = outline_vertices(g, z, nodata, in.outline);
        if (kept.empty()) fail(cfmt("no vertex of the outline %s lies among cells with data", in.outline_name.c_str()));
        z_bmin = z_bmax = kept.front().z;
        for (const BasalVertex& b : kept) {
            z_bmin = std::min(z_bmin, b.z);
            z_bmax = std::max(z_bmax, b.z);
        }
        surface.emplace(std::move(kept), o.basal_surface, o.idw_power);
        ring = outline_local;
        r.basal_closed = 1;
        area_b = polygon_area(ring);
        perimeter_b = perimeter(ring);
    }
    r.basal_area_km2 = area_b * 1e-06;
    r.basal_area_cells_km2 = double(n_m) * dA * 1e-06;
    const double w_b = equal_area_width(area_b);
    r.basal_width_m = w_b;
    r.basal_perimeter_m = perimeter_b;
    r.basal_z_min_m = z_bmin;
    r.basal_z_max_m = z_bmax;
    r.peak_m = z_top;
    r.relief_m = z_top - z_bmin;

    // Heights and volumes above the basal surface.
    {
        double above = 0, absolute = 0, h_max = 0;
        bool first = true;
        int hint = -1;
        const double b_peak = surface ? surface->at(peak, hint) : double(in.base);
        auto add = [&](int i, int j, double b) {
            const double e = z[i][j] - b;
            above += std::max(e, 0.0);
            absolute += std::fabs(e);
            if (first || e > h_max) h_max = e;
            first = false;
        };
        if (surface) {
            scan_cells(
                M, w.i0, w.i1, w.j0, w.j1, [&](int i, int j, int& h) { return surface->at(g.centre(i, j), h); }, add);
        } else {
            // The base line: nothing to interpolate.  Each sum in scan order,
            // the two beside each other.
            const double b = double(in.base);
            auto scan = [&](auto each) {
                for (int i = w.i0; i <= w.i1; ++i)
                    for (int j = w.j0; j <= w.j1; ++j)
                        if (M[i][j] == 1) each(z[i][j] - b);
            };
            // Each sum in a local of its own thread, so that the two never
            // write to the same cache line.
            auto above_sum = [&] {
                double sum = 0;
                scan([&](double e) { sum += std::max(e, 0.0); });
                above = sum;
            };
            auto absolute_sum = [&] {
                double sum = 0, highest = 0;
                bool none = true;
                scan([&](double e) {
                    sum += std::fabs(e);
                    if (none || e > highest) highest = e;
                    none = false;
                });
                absolute = sum;
                h_max = highest;
                first = none;
            };
            if (thread_count() < 2 || n_m < parallel_threshold()) {
                above_sum();
                absolute_sum();
            } else {
                side_by_side(above_sum, absolute_sum);
            }
        }
        r.height_peak_m = z_top - b_peak;
        r.height_basal_max_m = h_max;
        r.volume_basal_km3 = above * dA * 1e-9;
        r.volume_basal_abs_km3 = absolute * dA * 1e-9;
    }
    // The ring's ellipse and radii.
    if (const std::optional<Ellipse> e = fit_ellipse(ring)) {
        r.basal_axis_ellipticity = e->b / e->a;
        r.basal_azimuth_deg = e->azimuth;
    }
    {
        const Ring open = open_ring(ring);
        double mx = 0, sum = 0;
        for (const Vec2& v : open) {
            const double dd = distance(peak, v);
            mx = std::max(mx, dd);
            sum += dd;
        }
        if (!open.empty()) {
            r.peak_radius_max_m = mx;
            r.peak_radius_mean_m = sum / double(open.size());
        }
    }

    // Levels and contours of the edifice.
    Levels lv;
    lv.rule =
        level_rule(range, z_bmin, o.contour_fraction, o.contour_interval, o.contour_anchor == ContourAnchor::multiples);
    if (range == 0) lv.rule.ci = 0;
    // A base line far below the edifice's lowest cell (a whole grid above it)
    // would call for tens of thousands of levels of a few centimetres, most of
    // them the same outline: beyond max_contour_levels the contour, shape,
    // band and eroded-volume figures are left out, as for a flat edifice.
    // An interval asked for is not dropped in silence: the run says which
    // would do.
    if (lv.rule.ci > 0 && (z_top - z_bmin) / lv.rule.ci > max_contour_levels) {
        if (o.contour_interval)
        {
            const double n = std::floor((z_top - z_bmin) / lv.rule.ci) + 1;
            fail(cfmt("--contour-interval: %g m gives %s levels from the basal level (%g m) to the peak (%g m), "
                      "more than %.0f : choose %.2f m or more",
                      *o.contour_interval, (n < 1e15 ? cfmt("%.0f", n) : cfmt("%.3g", n)).c_str(), z_bmin, z_top,
                      max_contour_levels, std::ceil((z_top - z_bmin) / max_contour_levels * 100) / 100));
        }
        lv.rule.ci = 0;
    }
    r.contour_interval_m = lv.rule.ci;
    if (lv.rule.ci > 0)
        for (long long k = lv.kmin; k < 0 || lv.rule.at(k) <= z_top; ++k) lv.at.push_back(lv.rule.at(k));
    // The traced levels: k >= -1.
    std::vector<double> traced(lv.at.size() > 1 ? lv.at.begin() + 1 : lv.at.end(), lv.at.end());
    const std::size_t n_levels = traced.size();
    auto read_z = [&](int i, double* v, std::uint8_t* ok) {
        for (int j = w.j0; j <= w.j1; ++j) {
            v[j - w.j0] = z[i][j];
            ok[j - w.j0] = M[i][j] == 1;
        }
    };
    std::vector<std::vector<Piece>> pieces = trace_contours(g, {w.i0, w.i1, w.j0, w.j1}, read_z, traced);
    // Cells at or above each traced level.
    std::vector<std::size_t> above(n_levels + 1, 0);
    {
        std::vector<std::vector<std::size_t>> part(std::size_t(w.i1 - w.i0 + 1));
        parallel_rows(w.i0, w.i1 + 1, std::size_t(w.j1 - w.j0 + 1), [&](int a, int b) {
            std::vector<std::size_t>& h = part[std::size_t(a - w.i0)];
            h.assign(n_levels + 1, 0);
            for (int i = a; i < b; ++i)
                for (int j = w.j0; j <= w.j1; ++j)
                    if (M[i][j] == 1) ++h[levels_at_or_below(traced, lv.rule.ci, z[i][j])];
        });
        for (const auto& h : part)
            for (std::size_t u = 0; u < h.size(); ++u) above[u] += h[u];
    }
    for (std::size_t u = n_levels; u-- > 0;)
        above[u] += above[u + 1];  // above[m]: cells with more than m levels under them
    // The lowest closed contour.
    const double close_gap = 2 * std::sqrt(2.0) * g.d;
    auto closed_within = [](const Piece& p, double gap) { return p.loop || end_gap(p) <= gap; };
    std::optional<std::size_t> lc;
    Ring lc_ring;
    for (std::size_t m = 0; m < n_levels && !lc; ++m) {
        const double cells_area = 0.5 * double(above[m + 1]) * dA;
        int best = -1;
        for (std::size_t k = 0; k < pieces[m].size(); ++k) {
            const Piece& p = pieces[m][k];
            if (p.v.size() <= 2 || !closed_within(p, close_gap) || !(polygon_area(p.v) > cells_area)) continue;
            if (best < 0 || p.v.size() > pieces[m][std::size_t(best)].v.size()) best = int(k);
        }
        if (best >= 0) {
            lc = m;
            lc_ring = pieces[m][std::size_t(best)].v;
        }
    }
    const double l_lc = lc ? traced[*lc] : z_bmin;
    if (lv.rule.ci > 0) r.lowest_closed_contour_m = l_lc;
    if (!lc) lc_ring = ring;
    const bool lc_polygon = lc || ring_polygon;
    // The levels of the table: k >= 0 and at or above L_lc.
    std::vector<std::size_t> rows;
    for (std::size_t m = 1; m < n_levels; ++m)
        if (traced[m] >= l_lc) rows.push_back(m);

    // The minimum eroded volume needs none of the above: it is measured
    // beside it.
    double v_er = 0;
    side_by_side(
        [&] {
            // The crater.
            Crater crater;
            if (o.crater != CraterOption::none) {
                if (in.crater)
                    crater = crater_of_polygon(g, z, nodata, M, to_local(g, *in.crater), in.crater_name);
                else if (in.crater_found)
                    crater = crater_of_depression(g, z, M, in.centre_i, in.centre_j);
            }
            const bool has_crater = crater.source != CraterSource::none;
            r.crater_source = crater.source == CraterSource::polygon      ? "polygon"
                              : crater.source == CraterSource::depression ? "depression"
                                                                          : "none";
            double z_rim = z_top;
            if (has_crater) {
                r.crater_area_km2 = crater.area * 1e-06;
                r.crater_width_m = equal_area_width(crater.area);
                r.crater_rim_min_m = crater.rim_min;
                r.crater_rim_max_m = crater.rim_max;
                r.crater_floor_m = crater.floor;
                if (crater.rim_max && crater.floor) r.crater_rim_depth_m = *crater.rim_max - *crater.floor;
                if (crater.rim_min) z_rim = *crater.rim_min;
                r.crater_outline = to_map(g, crater.outline);
            }

            // Where the cells of each line of the window start in scan order.
            std::vector<std::size_t> first(std::size_t(w.i1 - w.i0 + 2), 0);
            for (int i = w.i0; i <= w.i1; ++i)
                first[std::size_t(i - w.i0) + 1] =
                    first[std::size_t(i - w.i0)] + std::size_t(line_scan[std::size_t(i)].n);
            std::vector<LineScan>().swap(line_scan);

            // Filled DEM and its slopes: regions and height bands; then the slopes
            // of the unfilled DEM, which differ only round filled cells.
            double z_cut;
            const ClippedField fr{z.data(), z.columns(), 0, 0, z.lines(), &M, g.d};
            ScratchVector<double> s_r;
            {
                WindowGrid zf;
                if (o.sink_fill == SinkFill::none) {
                    zf = copy_window(z, w.i0, w.i1, w.j0, w.j1);
                } else {
                    std::vector<std::size_t> sinks;
                    if (o.sink_fill == SinkFill::keep_crater && has_crater) sinks.push_back(crater.lowest_cell);
                    zf = fill_sinks(z, nodata, sinks, w.i0, w.i1, w.j0, w.j1, M);
                }
                double fmin = INFINITY, fmax = -INFINITY;
                {
                    std::vector<std::pair<double, double>> part(std::size_t(w.i1 - w.i0 + 1), {INFINITY, -INFINITY});
                    parallel_rows(w.i0, w.i1 + 1, std::size_t(w.j1 - w.j0 + 1), [&](int a, int b) {
                        auto& [lo, hi] = part[std::size_t(a - w.i0)];
                        for (int i = a; i < b; ++i)
                            for (int j = w.j0; j <= w.j1; ++j)
                                if (M[i][j] == 1) {
                                    lo = std::min(lo, zf.at(i, j));
                                    hi = std::max(hi, zf.at(i, j));
                                }
                    });
                    for (const auto& [lo, hi] : part) {
                        fmin = std::min(fmin, lo);
                        fmax = std::max(fmax, hi);
                    }
                }
                z_cut = fmin + o.summit_fraction * (fmax - fmin);
                r.shape_cutoff_m = z_cut;

                const ClippedField ff{zf.z.data(), zf.z.columns(), w.i0, w.j0, zf.z.lines(), &M, g.d};
                ScratchVector<double> s_f = slopes_of_cells(ff, w.i0, w.i1, w.j0, w.j1, first, o.slope);
                // Regions on z_f, bounds inclusive; a horizontal edifice has no
                // lower flank, and its main flank starts at the base.
                static const double tops[10] = {1 / 10.0, 2 / 10.0, 3 / 10.0, 4 / 10.0, 5 / 10.0,
                                                6 / 10.0, 7 / 10.0, 8 / 10.0, 9 / 10.0, 0.95};
                // Each cell's regions, and its band of relative height [k_prev, k)
                // (255: none), on all threads.
                ScratchVector<std::uint8_t> groups(s_f.size());  // every element written below
                ScratchVector<std::uint8_t> hband(s_f.size());  // every element written below
                parallel_rows(w.i0, w.i1 + 1, std::size_t(w.j1 - w.j0 + 1), [&](int a, int b) {
                    for (int i = a; i < b; ++i) {
                        std::size_t k = first[std::size_t(i - w.i0)];
                        for (int j = w.j0; j <= w.j1; ++j) {
                            if (M[i][j] != 1) continue;
                            const double v = zf.at(i, j);
                            std::uint8_t gr = 1;
                            if (outline_mode && v <= z_bmax) gr |= 2;
                            if (z_bmax <= v && v <= z_cut) gr |= 4;
                            if (v >= z_cut) gr |= 8;
                            groups[k] = gr;
                            std::uint8_t band = 255;
                            if (fmax > fmin) {
                                const double zn = (v - fmin) / (fmax - fmin);
                                for (int h = 0; h < 10; ++h)
                                    if (zn >= (h == 0 ? 0 : tops[h - 1]) && zn < tops[h]) {
                                        band = std::uint8_t(h);
                                        break;
                                    }
                            }
                            hband[k] = band;
                            ++k;
                        }
                    }
                });
                if (o.slope_regions == SlopeRegions::heights) {
                    const std::vector<SlopeStats> st = grouped_stats(s_f, groups, 4);
                    for (int gi = 0; gi < 4; ++gi) {
                        r.slope[gi][0] = st[std::size_t(gi)].mean;
                        r.slope[gi][1] = st[std::size_t(gi)].median;
                        r.slope[gi][2] = st[std::size_t(gi)].std;
                    }
                }
                // Relative height bands [k_prev, k).
                if (fmax > fmin) {
                    double sum[10] = {};
                    std::size_t cnt[10] = {};
                    halves_of_keys(s_f.size(), [&](int half) {
                        double s[10] = {};
                        std::size_t c[10] = {};
                        for (std::size_t k = 0; k < s_f.size(); ++k)
                            if (hband[k] != 255 && (half < 0 || hband[k] % 2 == half)) {
                                s[hband[k]] += s_f[k];
                                ++c[hband[k]];
                            }
                        for (int h = 0; h < 10; ++h)
                            if (half < 0 || h % 2 == half) {
                                sum[h] = s[h];
                                cnt[h] = c[h];
                            }
                    });
                    auto read_zn = [&](int i, double* v, std::uint8_t* ok) {
                        for (int j = w.j0; j <= w.j1; ++j) {
                            v[j - w.j0] = (zf.at(i, j) - fmin) / (fmax - fmin);
                            ok[j - w.j0] = M[i][j] == 1;
                        }
                    };
                    const std::vector<std::vector<Piece>> bands =
                        trace_contours(g, {w.i0, w.i1, w.j0, w.j1}, read_zn, std::vector<double>(tops, tops + 10));
                    for (int b = 0; b < 10; ++b) {
                        HeightBand h;
                        h.fraction = tops[b];
                        if (cnt[b]) h.slope_mean_deg = sum[b] / double(cnt[b]);
                        const int lp = largest_piece(bands[std::size_t(b)]);
                        h.closed = 0;
                        if (lp >= 0 && closed_within(bands[std::size_t(b)][std::size_t(lp)], g.d)) {
                            h.closed = 1;
                            const ShapeIndices si = shape_indices(bands[std::size_t(b)][std::size_t(lp)].v);
                            h.ei_bfe = si.ei_bfe;
                            h.ii_bfe = si.ii_bfe;
                            h.axis_ellipticity = si.axis_ellipticity;
                        }
                        r.height_bands.push_back(h);
                    }
                }
                parallel_rows(w.i0, w.i1 + 1, std::size_t(w.j1 - w.j0 + 1), [&](int a, int b) {
                    // Rows of filled cells (1) of the lines above, at and below.
                    const std::size_t width = std::size_t(w.j1 - w.j0 + 3);
                    std::vector<std::uint8_t> rows[3];
                    auto filled_row = [&](int i, std::vector<std::uint8_t>& row) {
                        row.assign(width, 0);
                        if (i < w.i0 || i > w.i1) return;
                        for (int j = w.j0; j <= w.j1; ++j)
                            row[std::size_t(j - w.j0 + 1)] = M[i][j] == 1 && zf.at(i, j) != z[i][j];
                    };
                    filled_row(a - 1, rows[0]);
                    filled_row(a, rows[1]);
                    for (int i = a; i < b; ++i) {
                        filled_row(i + 1, rows[2]);
                        std::size_t k = first[std::size_t(i - w.i0)];
                        for (int j = w.j0; j <= w.j1; ++j) {
                            if (M[i][j] != 1) continue;
                            const std::size_t c = std::size_t(j - w.j0 + 1);
                            bool filled = false;
                            for (const auto& r : rows) filled |= (r[c - 1] | r[c] | r[c + 1]) != 0;
                            if (filled) s_f[k] = slope_deg(fr, i, j, o.slope);
                            ++k;
                        }
                        std::swap(rows[0], rows[1]);
                        std::swap(rows[1], rows[2]);
                    }
                });
                s_r.swap(s_f);
            }

            // Slopes of the unfilled DEM: bands of the contour table, the summit's
            // slope break, and the native regions.
            std::vector<Figure> break_means(n_levels);  // of traced level m's band, every cell
            {
                // Band of traced level m: at[m] < z <= at[m + 1] (at[0] = L_-2).
                const std::size_t nb = lv.at.size();
                std::vector<double> sum_all(nb, 0), sum_free(nb, 0), lo(nb, 0), hi(nb, 0);
                std::vector<std::size_t> n_all(nb, 0), n_free(nb, 0);
                // The band of z: the first level at or above it (a guess from the
                // spacing, made exact by the comparisons).
                auto band_index = [&](double v) { return first_level_at_or_above(lv.at, lv.rule.ci, v); };
                // Each cell's band (0: none) and whether it lies outside the crater
                // (the top bit), the extremes and the medians' counts on all
                // threads; the sums in scan order.
                constexpr std::uint32_t free_bit = 0x80000000u;
                ScratchVector<std::uint32_t> band(s_r.size());  // every element written below
                const int blocks = std::min(w.i1 - w.i0 + 1, std::max(1, thread_count() * 2));
                auto block_lines = [&](int k, int& a, int& b) {
                    a = w.i0 + int(std::int64_t(w.i1 - w.i0 + 1) * k / blocks);
                    b = w.i0 + int(std::int64_t(w.i1 - w.i0 + 1) * (k + 1) / blocks);
                };
                std::vector<GroupMedians> part(static_cast<std::size_t>(blocks), GroupMedians(nb));
                std::vector<std::vector<double>> plo(static_cast<std::size_t>(blocks),
                                                     std::vector<double>(nb, INFINITY)),
                    phi(static_cast<std::size_t>(blocks), std::vector<double>(nb, -INFINITY));
                parallel_tasks(blocks, [&](int q) {
                    int a, b;
                    block_lines(q, a, b);
                    for (int i = a; i < b; ++i) {
                        std::size_t k = first[std::size_t(i - w.i0)];
                        for (int j = w.j0; j <= w.j1; ++j) {
                            if (M[i][j] != 1) continue;
                            const std::size_t bi = band_index(z[i][j]);
                            const double sv = s_r[k];
                            std::uint32_t code = 0;
                            if (bi > 0 && bi < nb) {
                                code = std::uint32_t(bi);
                                if (!crater.holds(i, j)) {
                                    code |= free_bit;
                                    part[std::size_t(q)].count(bi, sv);
                                    plo[std::size_t(q)][bi] = std::min(plo[std::size_t(q)][bi], sv);
                                    phi[std::size_t(q)][bi] = std::max(phi[std::size_t(q)][bi], sv);
                                }
                            }
                            band[k++] = code;
                        }
                    }
                });
                GroupMedians med(nb);
                for (const GroupMedians& m : part) med.add_counts(m);
                med.prepare();
                halves_of_keys(s_r.size(), [&](int half) {
                    std::vector<double> all(nb, 0), free(nb, 0);
                    std::vector<std::size_t> n_a(nb, 0), n_f(nb, 0);
                    for (std::size_t k = 0; k < s_r.size(); ++k) {
                        const std::uint32_t code = band[k];
                        const std::size_t bi = code & ~free_bit;
                        if (!code || (half >= 0 && int(bi % 2) != half)) continue;
                        all[bi] += s_r[k];
                        ++n_a[bi];
                        if (code & free_bit) {
                            free[bi] += s_r[k];
                            ++n_f[bi];
                        }
                    }
                    for (std::size_t bi = 0; bi < nb; ++bi)
                        if (half < 0 || int(bi % 2) == half) {
                            sum_all[bi] = all[bi];
                            sum_free[bi] = free[bi];
                            n_all[bi] = n_a[bi];
                            n_free[bi] = n_f[bi];
                        }
                });
                parallel_tasks(blocks, [&](int q) {
                    int a, b;
                    block_lines(q, a, b);
                    GroupMedians& m = part[std::size_t(q)];
                    m.targets_of(med);
                    for (std::size_t k = first[std::size_t(a - w.i0)]; k < first[std::size_t(b - w.i0)]; ++k)
                        if (band[k] & free_bit) m.offer(band[k] & ~free_bit, s_r[k]);
                });
                for (GroupMedians& m : part) med.add_candidates(m);
                for (std::size_t bi = 0; bi < nb; ++bi) {
                    double l = INFINITY, h = -INFINITY;
                    for (int q = 0; q < blocks; ++q) {
                        l = std::min(l, plo[std::size_t(q)][bi]);
                        h = std::max(h, phi[std::size_t(q)][bi]);
                    }
                    lo[bi] = l;
                    hi[bi] = h;
                }
                ScratchVector<std::uint32_t>().swap(band);
                for (std::size_t m = 0; m < n_levels; ++m)
                    if (n_all[m + 1]) break_means[m] = sum_all[m + 1] / double(n_all[m + 1]);
                for (std::size_t m : rows) {
                    ContourRow row;
                    row.level = traced[m];
                    const std::size_t b = m + 1;
                    if (n_free[b]) {
                        row.band_slope_min_deg = lo[b];
                        row.band_slope_max_deg = hi[b];
                        row.band_slope_mean_deg = sum_free[b] / double(n_free[b]);
                        row.band_slope_median_deg = med.median(b);
                    }
                    r.contours.push_back(row);
                }

                // The summit contour.
                std::optional<double> z_s;
                if (o.summit_rule == SummitRule::user) {
                    z_s = o.summit_z;
                    if (z_s) r.summit_rule = "user";
                } else {
                    std::vector<std::size_t> listed;
                    for (std::size_t m = 0; m < n_levels; ++m)
                        if (traced[m] >= l_lc && traced[m] <= z_rim) listed.push_back(m);
                    if (listed.size() >= 3) {
                        std::optional<double> best;
                        std::size_t at = 0;
                        std::optional<std::size_t> prev;
                        for (std::size_t m : listed) {
                            if (!break_means[m]) continue;
                            if (prev) {
                                const double delta = *break_means[m] - *break_means[*prev];
                                if (!best || delta < *best) {
                                    best = delta;
                                    at = *prev;
                                }
                            }
                            prev = m;
                        }
                        if (best && *best < 0) {
                            z_s = traced[at];
                            r.summit_rule = "break";
                        } else {
                            z_s = traced[listed.back()];
                            r.summit_rule = "rim";
                        }
                    }
                }
                if (z_s) {
                    r.summit_contour_m = *z_s;
                    std::vector<Piece> at_s;
                    const auto it = std::find(traced.begin(), traced.end(), *z_s);
                    if (it != traced.end())
                        at_s = pieces[std::size_t(it - traced.begin())];
                    else
                        at_s = trace_contours(g, {w.i0, w.i1, w.j0, w.j1}, read_z, {*z_s})[0];
                    const int lp = largest_piece(at_s);
                    double a_s;
                    if (lp >= 0) {
                        a_s = polygon_area(at_s[std::size_t(lp)].v);
                        r.summit_outline = to_map(g, at_s[std::size_t(lp)].v);
                    } else {
                        Ring cells_outline;
                        a_s =
                            double(largest_region_at_or_above(z, M, w.i0, w.i1, w.j0, w.j1, *z_s, &cells_outline, g)) *
                            dA;
                        r.summit_outline = to_map(g, cells_outline);
                    }
                    r.summit_width_m = equal_area_width(a_s);
                }

                // MorVolc's own regions: outside the lowest closed contour, inside
                // it below the summit contour, the summit; crater cells left out.
                if (o.slope_regions == SlopeRegions::native) {
                    ScratchVector<std::uint8_t> groups(s_r.size());  // every element written below
                    parallel_rows(w.i0, w.i1 + 1, std::size_t(w.j1 - w.j0 + 1), [&](int a, int b) {
                        for (int i = a; i < b; ++i) {
                            std::vector<std::uint8_t> inside(std::size_t(w.j1 - w.j0 + 1), lc_polygon ? 0 : 1);
                            if (lc_polygon)
                                for (const ColumnRun& run : inside_runs(g, lc_ring, i))
                                    for (int j = std::max(run.first, w.j0); j <= std::min(run.last, w.j1); ++j)
                                        inside[std::size_t(j - w.j0)] = 1;
                            std::size_t k = first[std::size_t(i - w.i0)];
                            for (int j = w.j0; j <= w.j1; ++j) {
                                if (M[i][j] != 1) continue;
                                std::uint8_t gr = 0;
                                if (!crater.holds(i, j)) {
                                    gr = 1;
                                    if (!inside[std::size_t(j - w.j0)])
                                        gr |= 2;
                                    else if (!z_s || z[i][j] < *z_s)
                                        gr |= 4;
                                    if (z_s && z[i][j] >= *z_s) gr |= 8;
                                }
                                groups[k++] = gr;
                            }
                        }
                    });
                    const std::vector<SlopeStats> st = grouped_stats(s_r, groups, 4);
                    for (int gi = 0; gi < 4; ++gi) {
                        r.slope[gi][0] = st[std::size_t(gi)].mean;
                        r.slope[gi][1] = st[std::size_t(gi)].median;
                        r.slope[gi][2] = st[std::size_t(gi)].std;
                    }
                }
            }
            if (r.slope[0][0] && *r.slope[0][0] != 0 && r.slope[0][2]) r.slope_all_cv = *r.slope[0][2] / *r.slope[0][0];

            // Plan shape of each level of the table, and the means.
            {
                Mean ei_b, ii_b, ei_m, ii_m, ba;
                double s2 = 0, c2 = 0;
                int n_az = 0, n_shape = 0;
                for (std::size_t q = 0; q < rows.size(); ++q) {
                    const std::size_t m = rows[q];
                    ContourRow& row = r.contours[q];
                    row.pieces = int(pieces[m].size());
                    const int lp = largest_piece(pieces[m]);
                    if (lp < 0) continue;
                    const Piece& p = pieces[m][std::size_t(lp)];
                    const ShapeIndices si = shape_indices(p.v);
                    row.closed = closed_within(p, close_gap) ? 1 : 0;
                    row.gap_m = end_gap(p);
                    row.vertices = double(p.v.size());
                    row.area_m2 = si.area;
                    row.perimeter_m = si.perimeter;
                    if (si.ellipse) {
                        row.ellipse_a_m = si.ellipse->a;
                        row.ellipse_b_m = si.ellipse->b;
                        row.azimuth_deg = si.ellipse->azimuth;
                    }
                    row.axis_ellipticity = si.axis_ellipticity;
                    row.ei_bfe = si.ei_bfe;
                    row.ii_bfe = si.ii_bfe;
                    row.ei_maxdiam = si.ei_maxdiam;
                    row.ii_maxdiam = si.ii_maxdiam;
                    row.dmax_m = si.dmax;
                    r.contour_lines.push_back({row.level, p.loop, to_map(g, p.v)});
                    if (o.shape_range == ShapeRange::below_cutoff && !(row.level <= z_cut)) continue;
                    ++n_shape;
                    auto ei = [&](Figure v) { return o.clip_indices && v && *v > 3 ? Figure(3.0) : v; };
                    auto ii = [&](Figure v) {
                        if (!o.clip_indices || !v) return v;
                        if (*v < 1) return Figure();
                        return *v > 2 ? Figure(2.0) : v;
                    };
                    ei_b.add(ei(row.ei_bfe));
                    ii_b.add(ii(row.ii_bfe));
                    ei_m.add(ei(row.ei_maxdiam));
                    ii_m.add(ii(row.ii_maxdiam));
                    ba.add(row.axis_ellipticity);
                    if (row.azimuth_deg) {
                        const double t = 2 * *row.azimuth_deg * (pi / 180);
                        s2 += std::sin(t);
                        c2 += std::cos(t);
                        ++n_az;
                    }
                }
                if (lv.rule.ci > 0) {
                    r.ei_bfe_mean = ei_b.value();
                    r.ii_bfe_mean = ii_b.value();
                    r.ei_maxdiam_mean = ei_m.value();
                    r.ii_maxdiam_mean = ii_m.value();
                    r.axis_ellipticity_mean = ba.value();
                    if (n_az) {
                        double az = 0.5 * std::atan2(s2, c2) * (180 / pi);
                        if (az < 0) az += 180;
                        if (az >= 180) az -= 180;
                        r.azimuth_mean_deg = az + 0.0;
                    }
                    r.shape_contours = n_shape;
                }
                // The steepest band of the table.
                std::optional<std::size_t> steep;
                for (std::size_t q = 0; q < r.contours.size(); ++q)
                    if (r.contours[q].band_slope_mean_deg &&
                        (!steep || *r.contours[q].band_slope_mean_deg > *r.contours[*steep].band_slope_mean_deg))
                        steep = q;
                if (steep) {
                    r.slope_max_band_mean_deg = r.contours[*steep].band_slope_mean_deg;
                    if (z_top != z_bmin)
                        r.slope_max_band_fraction = (r.contours[*steep].level - z_bmin) / (z_top - z_bmin);
                }
            }
        },
        [&] {
            if (!(lv.rule.ci > 0)) return;
            const std::vector<HullRing> hulls =
                cross_section_hulls(g, z, M, w.i0, w.i1, w.j0, w.j1, z_bmin, lv.rule.ci, z_top);
            v_er = eroded_volume_m3(g, z, M, w.i0, w.i1, w.j0, w.j1, z_bmin, lv.rule.ci, hulls, o.eroded_volume);
        });
    if (lv.rule.ci > 0 && !std::isnan(v_er)) {
        const double km3 = v_er * 1e-9;
        r.min_eroded_volume_km3 = km3;
        if (*r.volume_basal_abs_km3 + km3 != 0) r.min_eroded_volume_pct = 100 * km3 / (*r.volume_basal_abs_km3 + km3);
    }

    // Profile.
    r.h_over_wb = ratio(r.height_peak_m, r.basal_width_m);
    r.relief_over_radius = w_b != 0 ? Figure(*r.relief_m / (w_b / 2)) : std::nullopt;
    r.ws_over_wb = ratio(r.summit_width_m, r.basal_width_m);
    r.wcr_over_wb = ratio(r.crater_width_m, r.basal_width_m);

    r.basal_ring = to_map(g, ring);
    if (ring_polygon) {
        r.basal_outline = r.basal_ring;
    } else {
        nrutil::UcGrid cells;
        allocate_grid(cells, "the edifice's outline", w.j1 - w.j0 + 1, w.i1 - w.i0 + 1);
        for (int i = w.i0; i <= w.i1; ++i)
            for (int j = w.j0; j <= w.j1; ++j) cells[i - w.i0][j - w.j0] = M[i][j] == 1;
        r.basal_outline = to_map(g, outline_of_cells(g, w.i0, w.j0, cells));
    }
    return r;
}

Columns morphometry_columns(const EdificeShape& s)
{
    Columns c;
    auto num = [&](const char* name, Figure v) { c.push_back({name, {v, "", false}}); };
    auto text = [&](const char* name, const std::string& v) { c.push_back({name, {std::nullopt, v, true}}); };
    text("mode", s.mode == EdificeMode::outline ? "outline" : "horizontal");
    num("basal_area_km2", s.basal_area_km2);
    num("basal_area_cells_km2", s.basal_area_cells_km2);
    num("basal_closed", s.basal_closed);
    num("basal_width_m", s.basal_width_m);
    num("basal_perimeter_m", s.basal_perimeter_m);
    num("basal_z_min_m", s.basal_z_min_m);
    num("basal_z_max_m", s.basal_z_max_m);
    num("peak_m", s.peak_m);
    num("relief_m", s.relief_m);
    num("height_peak_m", s.height_peak_m);
    num("height_basal_max_m", s.height_basal_max_m);
    num("volume_basal_km3", s.volume_basal_km3);
    num("volume_basal_abs_km3", s.volume_basal_abs_km3);
    num("basal_axis_ellipticity", s.basal_axis_ellipticity);
    num("basal_azimuth_deg", s.basal_azimuth_deg);
    num("peak_radius_max_m", s.peak_radius_max_m);
    num("peak_radius_mean_m", s.peak_radius_mean_m);
    num("h_over_wb", s.h_over_wb);
    num("relief_over_radius", s.relief_over_radius);
    num("ws_over_wb", s.ws_over_wb);
    num("wcr_over_wb", s.wcr_over_wb);
    text("summit_rule", s.summit_rule);
    num("summit_contour_m", s.summit_contour_m);
    num("summit_width_m", s.summit_width_m);
    text("crater_source", s.crater_source);
    num("crater_area_km2", s.crater_area_km2);
    num("crater_width_m", s.crater_width_m);
    num("crater_rim_min_m", s.crater_rim_min_m);
    num("crater_rim_max_m", s.crater_rim_max_m);
    num("crater_floor_m", s.crater_floor_m);
    num("crater_rim_depth_m", s.crater_rim_depth_m);
    num("contour_interval_m", s.contour_interval_m);
    num("lowest_closed_contour_m", s.lowest_closed_contour_m);
    num("ei_bfe_mean", s.ei_bfe_mean);
    num("ii_bfe_mean", s.ii_bfe_mean);
    num("ei_maxdiam_mean", s.ei_maxdiam_mean);
    num("ii_maxdiam_mean", s.ii_maxdiam_mean);
    num("axis_ellipticity_mean", s.axis_ellipticity_mean);
    num("azimuth_mean_deg", s.azimuth_mean_deg);
    num("shape_cutoff_m", s.shape_cutoff_m);
    num("shape_contours", s.shape_contours);
    num("slope_max_band_mean_deg", s.slope_max_band_mean_deg);
    num("slope_max_band_fraction", s.slope_max_band_fraction);
    static const char* const regions[4] = {"all", "lower", "main", "summit"};
    static const char* const stats[3] = {"mean", "median", "std"};
    for (int g = 0; g < 4; ++g)
        for (int k = 0; k < 3; ++k)
            num(("slope_" + std::string(regions[g]) + "_" + stats[k] + "_deg").c_str(), s.slope[g][k]);
    num("slope_all_cv", s.slope_all_cv);
    num("min_eroded_volume_km3", s.min_eroded_volume_km3);
    num("min_eroded_volume_pct", s.min_eroded_volume_pct);
    return c;
}

std::vector<Columns> contour_table(const EdificeShape& s)
{
    std::vector<Columns> t;
    const std::string mode = s.mode == EdificeMode::outline ? "outline" : "horizontal";
    for (const ContourRow& r : s.contours) {
        Columns c;
        auto num = [&](const char* name, Figure v) { c.push_back({name, {v, "", false}}); };
        c.push_back({"mode", {std::nullopt, mode, true}});
        num("level_m", r.level);
        num("pieces", double(r.pieces));
        num("closed", r.closed);
        num("gap_m", r.gap_m);
        num("vertices", r.vertices);
        num("area_m2", r.area_m2);
        num("perimeter_m", r.perimeter_m);
        num("ellipse_a_m", r.ellipse_a_m);
        num("ellipse_b_m", r.ellipse_b_m);
        num("axis_ellipticity", r.axis_ellipticity);
        num("azimuth_deg", r.azimuth_deg);
        num("ei_bfe", r.ei_bfe);
        num("ii_bfe", r.ii_bfe);
        num("ei_maxdiam", r.ei_maxdiam);
        num("ii_maxdiam", r.ii_maxdiam);
        num("dmax_m", r.dmax_m);
        num("band_slope_min_deg", r.band_slope_min_deg);
        num("band_slope_max_deg", r.band_slope_max_deg);
        num("band_slope_mean_deg", r.band_slope_mean_deg);
        num("band_slope_median_deg", r.band_slope_median_deg);
        t.push_back(std::move(c));
    }
    return t;
}

std::vector<Columns> height_band_table(const EdificeShape& s)
{
    std::vector<Columns> t;
    const std::string mode = s.mode == EdificeMode::outline ? "outline" : "horizontal";
    for (const HeightBand& b : s.height_bands) {
        Columns c;
        auto num = [&](const char* name, Figure v) { c.push_back({name, {v, "", false}}); };
        c.push_back({"mode", {std::nullopt, mode, true}});
        num("fraction", b.fraction);
        num("slope_mean_deg", b.slope_mean_deg);
        num("closed", b.closed);
        num("ei_bfe", b.ei_bfe);
        num("ii_bfe", b.ii_bfe);
        num("axis_ellipticity", b.axis_ellipticity);
        t.push_back(std::move(c));
    }
    return t;
}
