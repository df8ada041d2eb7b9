#include "morphometry_figure.hpp"

#include <cairo-svg.h>
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "edifice_shape.hpp"
#include "nodata.hpp"
#include "pictures.hpp"
#include "plot.hpp"
#include "products.hpp"
#include "shading.hpp"
#include "workspace.hpp"

namespace {

const double pi = 4.0 * std::atan(1.0);
const double no_data = std::numeric_limits<double>::quiet_NaN();
// The relief is sampled at most this many times on a side: a 4096 x 4096 DEM
// costs a thousandth of its cells, and the figure stays legible at any size.
constexpr int max_samples = 1000;
// The map's longer side, the profile's width, and the margins, in pixels.
constexpr double map_side = 800, profile_width = 300, left = 100, top = 90, bottom = 120, gap = 90, right = 30;

const double outline_rgb[] = {0.85, 0.1, 0.1}, crater_rgb[] = {0.1, 0.3, 0.95}, summit_rgb[] = {1.0, 0.55, 0.0},
             contour_rgb[] = {0.35, 0.2, 0.05};


void vertical_text(cairo_t* cr, double x, double y, const std::string& s, double size)
{
    cairo_save(cr);
    cairo_translate(cr, x, y);
    cairo_rotate(cr, -pi / 2);
    draw_text(cr, 0, 0, s, size, 0.5);
    cairo_restore(cr);
}

void rgb(cairo_t* cr, const double* c, double alpha = 1) { cairo_set_source_rgba(cr, c[0], c[1], c[2], alpha); }

// What the figure shows, placed: the map's frame in pixels and in map
// coordinates.
struct Layout {
    double x_left = 0, x_right = 1, y_bottom = 0, y_top = 1;  // map coordinates
    double mx = left, my = top, mw = 1, mh = 1;               // the map, pixels
    double px0 = 0, ph = 0;                                   // the profile: left side and height
    double width = 0, height = 0;
    double px(double x) const { return mx + (x - x_left) / (x_right - x_left) * mw; }
    double py(double y) const { return my + (y_top - y) / (y_top - y_bottom) * mh; }
};

Layout layout_of(const Workspace& ws)
{
    const Workspace::ReliefSample& r = ws.relief_sample;
    const double d = ws.dsizepix;
    Layout l;
    l.x_left = ws.X_min + r.j0 * d;
    l.x_right = l.x_left + double(r.z.columns()) * r.step * d;
    l.y_top = ws.Y_min + double(ws.nb_lig - r.i0) * d;
    l.y_bottom = l.y_top - double(r.z.lines()) * r.step * d;
    const double w = l.x_right - l.x_left, h = l.y_top - l.y_bottom;
    const double k = map_side / std::max(w, h);
    l.mw = std::max(1.0, w * k);
    l.mh = std::max(1.0, h * k);
    l.ph = std::max(l.mh, 360.0);
    l.px0 = l.mx + l.mw + gap;
    l.width = l.px0 + profile_width + right;
    l.height = top + l.ph + bottom;
    return l;
}

// The shaded relief of the samples, grey, lightened so that the lines drawn
// over it stand out; cells without data white.
Image shaded_relief(const Workspace& ws)
{
    const Workspace::ReliefSample& r = ws.relief_sample;
    const int nl = r.z.lines(), nc = r.z.columns();
    const Light light(ws, r.step * ws.dsizepix);
    std::vector<double> s(std::size_t(nl) * std::size_t(nc), no_data);
    double m = 0;
    for (int a = 0; a < nl; ++a)
        for (int b = 0; b < nc; ++b) {
            const double z = r.z[a][b];
            if (std::isnan(z)) continue;
            // Beyond the samples or next to no data, the relief is taken flat.
            const double below = a + 1 < nl && !std::isnan(r.z[a + 1][b]) ? r.z[a + 1][b] : z;
            const double right_z = b + 1 < nc && !std::isnan(r.z[a][b + 1]) ? r.z[a][b + 1] : z;
            const double v = light.shade(z, below, right_z);
            s[std::size_t(a) * std::size_t(nc) + std::size_t(b)] = v;
            m = std::max(m, v);
        }
    Image im;
    im.width = nc;
    im.height = nl;
    im.channels = 1;
    im.pixels.resize(s.size());
    for (std::size_t k = 0; k < s.size(); ++k)
        im.pixels[k] = std::isnan(s[k]) ? 255
                                        : std::uint8_t(90 + (m > 0 && std::isfinite(s[k]) ? std::min(s[k] / m, 1.0) : 0) * 165);
    return im;
}

// The relief as cairo draws it, with its PNG encoding attached: the SVG
// drawing embeds those bytes instead of encoding the image again, slowly.
struct Relief {
    Image grey;
    std::vector<std::uint8_t> png;
    cairo_surface_t* surface = nullptr;
    explicit Relief(const Workspace& ws) : grey(shaded_relief(ws)), png(encode_png(grey))
    {
        surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, grey.width, grey.height);
        cairo_surface_flush(surface);
        unsigned char* data = cairo_image_surface_get_data(surface);
        const int stride = cairo_image_surface_get_stride(surface);
        for (int a = 0; a < grey.height; ++a) {
            auto* row = reinterpret_cast<std::uint32_t*>(data + std::size_t(a) * std::size_t(stride));
            for (int b = 0; b < grey.width; ++b) {
                const std::uint32_t g = grey.pixels[std::size_t(a) * std::size_t(grey.width) + std::size_t(b)];
                row[b] = (g << 16) | (g << 8) | g;
            }
        }
        cairo_surface_mark_dirty(surface);
        cairo_surface_set_mime_data(surface, CAIRO_MIME_TYPE_PNG, png.data(), png.size(), nullptr, nullptr);
    }
    ~Relief() { cairo_surface_destroy(surface); }
    Relief(const Relief&) = delete;
    Relief& operator=(const Relief&) = delete;
};

// A line of map points, leaving out those within half a pixel of the last
// one kept (a contour of a large DEM has far more vertices than pixels).
void trace(cairo_t* cr, const Layout& l, const Ring& ring, bool closed)
{
    if (ring.empty()) return;
    double lx = l.px(ring[0].x), ly = l.py(ring[0].y);
    cairo_move_to(cr, lx, ly);
    for (std::size_t k = 1; k < ring.size(); ++k) {
        const double x = l.px(ring[k].x), y = l.py(ring[k].y);
        if (k + 1 < ring.size() && std::hypot(x - lx, y - ly) < 0.5) continue;
        cairo_line_to(cr, x, y);
        lx = x;
        ly = y;
    }
    if (closed) cairo_close_path(cr);
}

// A round length for the scale bar: 1, 2 or 5 times a power of ten, at most
// a quarter of the map's width.
double scale_length(double width)
{
    const double target = width / 4;
    if (!(target > 0)) return 0;
    const double p = std::pow(10.0, std::floor(std::log10(target)));
    for (double f : {5.0, 2.0, 1.0})
        if (f * p <= target) return f * p;
    return p;
}

std::string length_label(double metres)
{
    return metres >= 1000 ? cfmt("%g km", metres / 1000) : cfmt("%g m", metres);
}

void draw_map(cairo_t* cr, const Workspace& ws, const EdificeShape& s, const Layout& l, cairo_surface_t* img)
{
    cairo_save(cr);
    cairo_rectangle(cr, l.mx, l.my, l.mw, l.mh);
    cairo_clip(cr);
    cairo_save(cr);
    cairo_translate(cr, l.mx, l.my);
    cairo_scale(cr, l.mw / cairo_image_surface_get_width(img), l.mh / cairo_image_surface_get_height(img));
    cairo_set_source_surface(cr, img, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
    cairo_paint(cr);
    cairo_restore(cr);

    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_set_line_width(cr, 0.8);
    rgb(cr, contour_rgb, 0.85);
    for (const ContourLine& c : s.contour_lines) {
        trace(cr, l, c.v, c.loop);
        cairo_stroke(cr);
    }
    cairo_set_line_width(cr, 2.2);
    rgb(cr, summit_rgb);
    trace(cr, l, s.summit_outline, true);
    cairo_stroke(cr);
    rgb(cr, crater_rgb);
    trace(cr, l, s.crater_outline, true);
    cairo_stroke(cr);
    rgb(cr, outline_rgb);
    trace(cr, l, s.basal_outline.empty() ? s.basal_ring : s.basal_outline, true);
    cairo_stroke(cr);
    // The centre point.
    const double d = ws.dsizepix;
    const double cx = l.px(ws.X_min + (ws.j_gv + 0.5) * d), cy = l.py(ws.Y_min + (ws.nb_lig - ws.i_gv - 0.5) * d);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_set_line_width(cr, 1.5);
    cairo_move_to(cr, cx - 6, cy);
    cairo_line_to(cr, cx + 6, cy);
    cairo_move_to(cr, cx, cy - 6);
    cairo_line_to(cr, cx, cy + 6);
    cairo_stroke(cr);

    // Scale bar (bottom left) and north arrow (top right) on pale boxes.
    const double length = scale_length(l.x_right - l.x_left);
    if (length > 0) {
        const double bar = l.px(l.x_left + length) - l.mx;
        const double x0 = l.mx + 14, y0 = l.my + l.mh - 22;
        cairo_set_source_rgba(cr, 1, 1, 1, 0.8);
        cairo_rectangle(cr, x0 - 8, y0 - 22, bar + 16, 34);
        cairo_fill(cr);
        cairo_set_source_rgb(cr, 0, 0, 0);
        cairo_rectangle(cr, x0, y0, bar / 2, 6);
        cairo_fill(cr);
        cairo_set_line_width(cr, 1);
        cairo_rectangle(cr, x0, y0, bar, 6);
        cairo_stroke(cr);
        draw_text(cr, x0, y0 - 6, "0", 11, 0);
        draw_text(cr, x0 + bar, y0 - 6, length_label(length), 11, 0.5);
    }
    const double nx = l.mx + l.mw - 26, ny = l.my + 14;
    cairo_set_source_rgba(cr, 1, 1, 1, 0.8);
    cairo_rectangle(cr, nx - 16, ny - 4, 32, 52);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_move_to(cr, nx, ny);
    cairo_line_to(cr, nx + 9, ny + 26);
    cairo_line_to(cr, nx, ny + 20);
    cairo_line_to(cr, nx - 9, ny + 26);
    cairo_close_path(cr);
    cairo_fill(cr);
    draw_text(cr, nx, ny + 43, "N", 14, 0.5, true);
    cairo_restore(cr);

    // Frame, ticks and labels in map coordinates.
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_set_line_width(cr, 1);
    cairo_rectangle(cr, l.mx, l.my, l.mw, l.mh);
    cairo_stroke(cr);
    const std::vector<double> xt = nice_ticks(l.x_left, l.x_right, 5), yt = nice_ticks(l.y_bottom, l.y_top, 5);
    const double xs = xt.size() > 1 ? xt[1] - xt[0] : 1, ys = yt.size() > 1 ? yt[1] - yt[0] : 1;
    for (double x : xt) {
        cairo_move_to(cr, l.px(x), l.my + l.mh);
        cairo_line_to(cr, l.px(x), l.my + l.mh + 5);
        cairo_stroke(cr);
        draw_text(cr, l.px(x), l.my + l.mh + 18, tick_label(x, xs), 11, 0.5);
    }
    for (double y : yt) {
        cairo_move_to(cr, l.mx - 5, l.py(y));
        cairo_line_to(cr, l.mx, l.py(y));
        cairo_stroke(cr);
        vertical_text(cr, l.mx - 9, l.py(y), tick_label(y, ys), 11);
    }
    draw_text(cr, l.mx + l.mw / 2, l.my + l.mh + 38, "X (m)", 12, 0.5);
    vertical_text(cr, l.mx - 32, l.my + l.mh / 2, "Y (m)", 12);

    // The legend, under the axis.
    double lx = l.mx;
    const double ly = l.my + l.mh + 62;
    auto item = [&](const double* c, double width, const std::string& label) {
        rgb(cr, c);
        cairo_set_line_width(cr, width);
        cairo_move_to(cr, lx, ly - 4);
        cairo_line_to(cr, lx + 24, ly - 4);
        cairo_stroke(cr);
        cairo_set_source_rgb(cr, 0, 0, 0);
        draw_text(cr, lx + 30, ly, label, 11, 0);
        cairo_text_extents_t e;
        cairo_text_extents(cr, label.c_str(), &e);
        lx += 30 + e.x_advance + 22;
    };
    item(outline_rgb, 2.2, s.basal_closed && *s.basal_closed == 1 ? "basal outline" : "basal outline (edifice cells)");
    if (!s.summit_outline.empty())
        item(summit_rgb, 2.2, s.summit_contour_m ? cfmt("summit region (%.2f m)", *s.summit_contour_m) : "summit region");
    if (!s.crater_outline.empty()) item(crater_rgb, 2.2, "crater");
    if (!s.contour_lines.empty())
        item(contour_rgb, 0.8,
             s.contour_interval_m ? cfmt("contours every %g m", *s.contour_interval_m) : std::string("contours"));
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_set_line_width(cr, 1.5);
    cairo_move_to(cr, lx + 6, ly - 10);
    cairo_line_to(cr, lx + 6, ly + 2);
    cairo_move_to(cr, lx, ly - 4);
    cairo_line_to(cr, lx + 12, ly - 4);
    cairo_stroke(cr);
    draw_text(cr, lx + 18, ly, cfmt("centre (line %d, column %d)", ws.i_gv, ws.j_gv), 11, 0);
}

// Mean slope against relative height: each band a vertical step at its
// slope, from its lower to its upper fraction.
void draw_profile(cairo_t* cr, const EdificeShape& s, const Layout& l)
{
    const double x0 = l.px0, x1 = l.px0 + profile_width, y0 = top, y1 = top + l.ph;
    double hi = 0;
    for (const HeightBand& b : s.height_bands)
        if (b.slope_mean_deg) hi = std::max(hi, *b.slope_mean_deg);
    hi = hi > 0 ? hi * 1.1 : 1;
    const std::vector<double> xt = nice_ticks(0, hi, 4), yt = nice_ticks(0, 1, 5);
    auto px = [&](double v) { return x0 + v / hi * (x1 - x0); };
    auto py = [&](double f) { return y1 - f * (y1 - y0); };
    cairo_set_line_width(cr, 0.5);
    cairo_set_source_rgb(cr, 0.8, 0.8, 0.8);
    for (double v : xt) {
        cairo_move_to(cr, px(v), y0);
        cairo_line_to(cr, px(v), y1);
    }
    for (double f : yt) {
        cairo_move_to(cr, x0, py(f));
        cairo_line_to(cr, x1, py(f));
    }
    cairo_stroke(cr);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_set_line_width(cr, 1);
    cairo_rectangle(cr, x0, y0, x1 - x0, y1 - y0);
    cairo_stroke(cr);
    const double xs = xt.size() > 1 ? xt[1] - xt[0] : 1, ys = yt.size() > 1 ? yt[1] - yt[0] : 1;
    for (double v : xt) draw_text(cr, px(v), y1 + 18, tick_label(v, xs), 11, 0.5);
    for (double f : yt) draw_text(cr, x0 - 6, py(f) + 4, tick_label(f, ys), 11, 1);
    draw_text(cr, (x0 + x1) / 2, y1 + 38, "mean slope (\u00b0)", 12, 0.5);
    vertical_text(cr, x0 - 38, (y0 + y1) / 2, "fraction of height", 12);
    draw_text(cr, x0, y0 - 10, "Mean slope by height band", 13, 0, true);

    cairo_set_source_rgb(cr, 0.1, 0.3, 0.6);
    cairo_set_line_width(cr, 2);
    double below = 0;
    bool down = false;
    for (const HeightBand& b : s.height_bands) {
        if (b.slope_mean_deg) {
            const double x = px(*b.slope_mean_deg);
            if (down)
                cairo_line_to(cr, x, py(below));
            else
                cairo_move_to(cr, x, py(below));
            cairo_line_to(cr, x, py(b.fraction));
            down = true;
        } else {
            down = false;
        }
        below = b.fraction;
    }
    cairo_stroke(cr);
}

void draw(cairo_t* cr, const Workspace& ws, const EdificeShape& s, const Layout& l, cairo_surface_t* relief)
{
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_set_source_rgb(cr, 0, 0, 0);
    draw_text(cr, l.mx, 30, ws.nomgene + ": morphometry of the edifice", 17, 0, true);
    std::string figures;
    auto add = [&](const char* name, const Figure& v, const char* unit) {
        if (!v) return;
        figures += (figures.empty() ? "" : ", ") + cfmt("%s %.6g%s", name, *v, unit);
    };
    add("basal width", s.basal_width_m, " m");
    add("height", s.height_peak_m, " m");
    add("volume", s.volume_basal_km3, " km\u00b3");
    add("summit width", s.summit_width_m, " m");
    add("crater width", s.crater_width_m, " m");
    draw_text(cr, l.mx, 52, figures, 12, 0);
    draw_map(cr, ws, s, l, relief);
    draw_profile(cr, s, l);
}

cairo_status_t to_string(void* closure, const unsigned char* data, unsigned int length)
{
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

// cairo numbers the surfaces and images of an SVG drawing from counters of
// the whole process: numbered again in order of appearance, a repeated run
// gives the same bytes.
std::string renumbered(const std::string& svg)
{
    std::string out;
    out.reserve(svg.size());
    std::map<std::string, std::map<std::string, int>> seen;
    std::size_t p = 0;
    while (p < svg.size()) {
        bool replaced = false;
        for (const char* prefix : {"surface", "image"}) {
            const std::string pre = prefix;
            if ((svg[p] == '"' || svg[p] == '#') && svg.compare(p + 1, pre.size(), pre) == 0) {
                std::size_t q = p + 1 + pre.size(), e = q;
                while (e < svg.size() && svg[e] >= '0' && svg[e] <= '9') ++e;
                if (e == q) continue;
                auto& numbers = seen[pre];
                const auto it = numbers.emplace(svg.substr(q, e - q), int(numbers.size()) + 1).first;
                out += svg[p];
                out += pre + std::to_string(it->second);
                p = e;
                replaced = true;
                break;
            }
        }
        if (!replaced) out += svg[p++];
    }
    return out;
}

void write_bytes(Workspace& ws, const std::string& name, const std::string& bytes)
{
    OutFile f = ws.create(name, true);
    f.write(bytes.data(), bytes.size());
    f.close();
}

}  // namespace

void keep_figure_relief(Workspace& ws)
{
    Workspace::ReliefSample& r = ws.relief_sample;
    r = {};
    if (!ws.edifice_shape || !ws.writes_result_files() || ws.nb_lig < 1 || ws.nb_col < 1) return;
    const EdificeShape& s = *ws.edifice_shape;
    const Ring& outline = s.basal_outline.empty() ? s.basal_ring : s.basal_outline;
    const int nl = ws.nb_lig, nc = ws.nb_col;
    const double d = ws.dsizepix;
    int i0 = 0, i1 = nl - 1, j0 = 0, j1 = nc - 1;
    if (!outline.empty() && d > 0) {
        const auto [x0, x1, y0, y1] = bounds_of(outline);
        // The lines and columns whose centres the outline spans, with a
        // margin of a tenth of the span, at least 10 cells (as the pictures).
        auto clamped = [](double v, int hi) { return int(std::clamp(v, 0.0, double(hi))); };
        j0 = clamped(std::floor((x0 - ws.X_min) / d - 0.5), nc - 1);
        j1 = clamped(std::ceil((x1 - ws.X_min) / d - 0.5), nc - 1);
        i0 = clamped(std::floor(nl - 0.5 - (y1 - ws.Y_min) / d), nl - 1);
        i1 = clamped(std::ceil(nl - 0.5 - (y0 - ws.Y_min) / d), nl - 1);
        const int mi = std::max(10, (i1 - i0 + 1) / 10), mj = std::max(10, (j1 - j0 + 1) / 10);
        i0 = std::max(0, i0 - mi);
        j0 = std::max(0, j0 - mj);
        i1 = std::min(nl - 1, i1 + mi);
        j1 = std::min(nc - 1, j1 + mj);
    }
    const int lines = i1 - i0 + 1, columns = j1 - j0 + 1;
    r.i0 = i0;
    r.j0 = j0;
    r.step = (std::max(lines, columns) + max_samples - 1) / max_samples;
    const int sl = (lines + r.step - 1) / r.step, sc = (columns + r.step - 1) / r.step;
    allocate_grid(r.z, "the relief of the morphometry figure", sc, sl);
    for (int a = 0; a < sl; ++a)
        for (int b = 0; b < sc; ++b) {
            const int i = i0 + a * r.step, j = j0 + b * r.step;
            const double z = ws.dtab[i][j];
            r.z[a][b] = without_data(ws, i, j) || !std::isfinite(z) ? no_data : z;
        }
}

DrawnFigure draw_morphometry_figure(const Workspace& ws)
{
    DrawnFigure f;
    f.drawn = true;
    if (!ws.edifice_shape || !ws.relief_sample.z) return f;
    const EdificeShape& s = *ws.edifice_shape;
    const Layout l = layout_of(ws);
    const std::string stem = output_prefix(ws) + "_morphometry";

    // Whatever fails before the PNG is encoded is the PNG's failure.
    std::unique_ptr<const Relief> relief;
    try {
        relief = std::make_unique<const Relief>(ws);
    } catch (...) {
        f.png_failed = std::current_exception();
        return f;
    }

    // The picture goes through the pictures' own PNG encoder, several times
    // faster than cairo's.
    try {
        Image im;
        im.width = int(std::ceil(l.width));
        im.height = int(std::ceil(l.height));
        im.channels = 3;
        cairo_surface_t* png = cairo_image_surface_create(CAIRO_FORMAT_RGB24, im.width, im.height);
        cairo_t* cr = cairo_create(png);
        draw(cr, ws, s, l, relief->surface);
        cairo_destroy(cr);
        cairo_surface_flush(png);
        const cairo_status_t st = cairo_surface_status(png);
        if (st != CAIRO_STATUS_SUCCESS) {
            cairo_surface_destroy(png);
            fail(cfmt("cannot write %s (%s)", (stem + ".png").c_str(), cairo_status_to_string(st)));
        }
        im.pixels.resize(std::size_t(im.width) * std::size_t(im.height) * 3);
        const unsigned char* data = cairo_image_surface_get_data(png);
        const int stride = cairo_image_surface_get_stride(png);
        for (int y = 0; y < im.height; ++y) {
            const auto* row = reinterpret_cast<const std::uint32_t*>(data + std::size_t(y) * std::size_t(stride));
            std::uint8_t* out = im.pixels.data() + std::size_t(y) * std::size_t(im.width) * 3;
            for (int x = 0; x < im.width; ++x) {
                out[3 * x] = std::uint8_t(row[x] >> 16);
                out[3 * x + 1] = std::uint8_t(row[x] >> 8);
                out[3 * x + 2] = std::uint8_t(row[x]);
            }
        }
        cairo_surface_destroy(png);
        const std::vector<std::uint8_t> encoded = encode_png(im);
        f.png.assign(encoded.begin(), encoded.end());
    } catch (...) {
        f.png_failed = std::current_exception();
        return f;
    }

    try {
        std::string bytes;
        cairo_surface_t* svg = cairo_svg_surface_create_for_stream(to_string, &bytes, l.width, l.height);
        cairo_t* cr = cairo_create(svg);
        draw(cr, ws, s, l, relief->surface);
        cairo_destroy(cr);
        cairo_surface_finish(svg);
        const cairo_status_t sst = cairo_surface_status(svg);
        cairo_surface_destroy(svg);
        if (sst != CAIRO_STATUS_SUCCESS)
            fail(cfmt("cannot write %s (%s)", (stem + ".svg").c_str(), cairo_status_to_string(sst)));
        f.svg = renumbered(bytes);
    } catch (...) {
        f.svg_failed = std::current_exception();
    }
    return f;
}

void write_morphometry_figure(Workspace& ws, DrawnFigure figure)
{
    if (!figure.drawn) figure = draw_morphometry_figure(ws);
    if (!ws.edifice_shape || !ws.relief_sample.z) return;
    const std::string stem = output_prefix(ws) + "_morphometry";
    if (figure.png_failed) std::rethrow_exception(figure.png_failed);
    write_bytes(ws, stem + ".png", figure.png);
    if (figure.svg_failed) std::rethrow_exception(figure.svg_failed);
    write_bytes(ws, stem + ".svg", figure.svg);
}
