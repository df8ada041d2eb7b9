#include "plot.hpp"

#include <cairo-svg.h>
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "products.hpp"
#include "run_end.hpp"

namespace {

const double pi = 4.0 * std::atan(1.0);
constexpr double width = 900, panel_height = 230, top_margin = 60, left = 90, right = 30, gap = 50, bottom = 70;

struct Range {
    double lo = std::numeric_limits<double>::infinity(), hi = -std::numeric_limits<double>::infinity();
    void add(double v)
    {
        if (!std::isfinite(v)) return;
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    // A range to draw: some room around the points, never empty.
    void settle()
    {
        if (!(lo <= hi)) lo = 0, hi = 1;
        if (hi == lo) {
            const double pad = std::max(std::fabs(lo) * 0.05, 1e-9);
            lo -= pad;
            hi += pad;
        }
    }
};


void draw(cairo_t* cr, const Plot& p, double height)
{
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_set_source_rgb(cr, 0, 0, 0);
    draw_text(cr, width / 2, 30, p.title, 17, 0.5, true);

    Range xr;
    for (const Panel& panel : p.panels)
        for (const Series& s : panel.series)
            for (double x : s.x) xr.add(x);
    xr.settle();
    const double x0 = left, x1 = width - right;
    auto px = [&](double x) { return x0 + (x - xr.lo) / (xr.hi - xr.lo) * (x1 - x0); };
    const std::vector<double> xticks = nice_ticks(xr.lo, xr.hi, 10);
    const double xspacing = xticks.size() > 1 ? xticks[1] - xticks[0] : 1;

    for (std::size_t k = 0; k < p.panels.size(); ++k) {
        const Panel& panel = p.panels[k];
        const double y0 = top_margin + double(k) * (panel_height + gap), y1 = y0 + panel_height;
        Range yr;
        for (const Series& s : panel.series)
            for (double y : s.y) yr.add(y);
        yr.settle();
        const double pad = (yr.hi - yr.lo) * 0.05;
        yr.lo -= pad;
        yr.hi += pad;
        auto py = [&](double y) { return y1 - (y - yr.lo) / (yr.hi - yr.lo) * (y1 - y0); };

        // Shaded intervals (within the frame), then the grid, the frame and
        // the ticks.
        cairo_save(cr);
        cairo_rectangle(cr, x0, y0, x1 - x0, y1 - y0);
        cairo_clip(cr);
        cairo_set_source_rgb(cr, 0.88, 0.88, 0.88);
        for (auto [a, b] : p.shaded) {
            cairo_rectangle(cr, px(a), y0, std::max(px(b) - px(a), 1.0), y1 - y0);
            cairo_fill(cr);
        }
        cairo_restore(cr);
        const std::vector<double> yticks = nice_ticks(yr.lo, yr.hi, 5);
        const double yspacing = yticks.size() > 1 ? yticks[1] - yticks[0] : 1;
        cairo_set_line_width(cr, 0.5);
        cairo_set_source_rgb(cr, 0.8, 0.8, 0.8);
        for (double v : yticks) {
            cairo_move_to(cr, x0, py(v));
            cairo_line_to(cr, x1, py(v));
        }
        for (double v : xticks) {
            cairo_move_to(cr, px(v), y0);
            cairo_line_to(cr, px(v), y1);
        }
        cairo_stroke(cr);
        cairo_set_source_rgb(cr, 0, 0, 0);
        cairo_set_line_width(cr, 1);
        cairo_rectangle(cr, x0, y0, x1 - x0, y1 - y0);
        cairo_stroke(cr);
        for (double v : yticks) draw_text(cr, x0 - 6, py(v) + 4, tick_label(v, yspacing), 11, 1);
        for (double v : xticks) draw_text(cr, px(v), y1 + 16, tick_label(v, xspacing), 11, 0.5);
        draw_text(cr, x0, y0 - 8, panel.title, 13, 0, true);
        cairo_save(cr);
        cairo_move_to(cr, 0, 0);
        cairo_translate(cr, 24, (y0 + y1) / 2);
        cairo_rotate(cr, -pi / 2);
        draw_text(cr, 0, 0, panel.y_label, 12, 0.5);
        cairo_restore(cr);

        // The marked positions.
        for (const auto& [x, label] : p.lines) {
            const double dash[] = {6, 4};
            cairo_set_dash(cr, dash, 2, 0);
            cairo_set_source_rgb(cr, 0.75, 0.1, 0.1);
            cairo_move_to(cr, px(x), y0);
            cairo_line_to(cr, px(x), y1);
            cairo_stroke(cr);
            cairo_set_dash(cr, nullptr, 0, 0);
            if (k == 0) draw_text(cr, px(x) + 4, y0 + 14, label, 11, 0);
        }

        // The series: lines through the points that exist, and a dot at each.
        double legend_x = x1;
        for (auto it = panel.series.rbegin(); it != panel.series.rend(); ++it) {
            const Series& s = *it;
            cairo_set_source_rgb(cr, s.colour[0], s.colour[1], s.colour[2]);
            cairo_set_line_width(cr, 2);
            bool down = false;
            for (std::size_t n = 0; n < s.x.size(); ++n) {
                if (!std::isfinite(s.y[n])) {
                    down = false;
                    continue;
                }
                if (down)
                    cairo_line_to(cr, px(s.x[n]), py(s.y[n]));
                else
                    cairo_move_to(cr, px(s.x[n]), py(s.y[n]));
                down = true;
            }
            cairo_stroke(cr);
            for (std::size_t n = 0; n < s.x.size(); ++n)
                if (std::isfinite(s.y[n])) {
                    cairo_arc(cr, px(s.x[n]), py(s.y[n]), 2.5, 0, 2 * pi);
                    cairo_fill(cr);
                }
            if (panel.series.size() > 1) {
                cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
                cairo_set_font_size(cr, 11);
                cairo_text_extents_t e;
                cairo_text_extents(cr, s.name.c_str(), &e);
                legend_x -= e.x_advance + 28;
                cairo_rectangle(cr, legend_x, y0 - 16, 16, 4);
                cairo_fill(cr);
                draw_text(cr, legend_x + 20, y0 - 10, s.name, 11, 0);
            }
        }
    }
    cairo_set_source_rgb(cr, 0, 0, 0);
    const double axis_y = height - bottom + 40;
    draw_text(cr, (x0 + x1) / 2, axis_y, p.x_label, 13, 0.5);
    if (!p.shaded.empty()) {
        cairo_set_source_rgb(cr, 0.88, 0.88, 0.88);
        cairo_rectangle(cr, x0, axis_y + 10, 16, 12);
        cairo_fill(cr);
        cairo_set_source_rgb(cr, 0, 0, 0);
        draw_text(cr, x0 + 22, axis_y + 20, p.shaded_label, 11, 0);
    }
}

}  // namespace

void draw_text(cairo_t* cr, double x, double y, const std::string& s, double size, double align, bool bold)
{
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
    cairo_text_extents_t e;
    cairo_text_extents(cr, s.c_str(), &e);
    cairo_move_to(cr, x - align * e.x_advance, y);
    cairo_show_text(cr, s.c_str());
}

void draw_plot(const Plot& plot, const std::string& png_path, const std::string& svg_path, const std::string& png_name,
               const std::string& svg_name)
{
    const double height = top_margin + double(plot.panels.size()) * (panel_height + gap) - gap + bottom + 30;
    if (!png_path.empty()) {
        cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, int(width), int(height));
        cairo_t* cr = cairo_create(s);
        draw(cr, plot, height);
        cairo_destroy(cr);
        const cairo_status_t st = cairo_surface_write_to_png(s, png_path.c_str());
        cairo_surface_destroy(s);
        if (st != CAIRO_STATUS_SUCCESS)
            fail(cfmt("cannot write %s (%s)", png_name.c_str(), cairo_status_to_string(st)));
    }
    if (!svg_path.empty()) {
        cairo_surface_t* s = cairo_svg_surface_create(svg_path.c_str(), width, height);
        cairo_t* cr = cairo_create(s);
        draw(cr, plot, height);
        cairo_destroy(cr);
        cairo_surface_finish(s);
        const cairo_status_t st = cairo_surface_status(s);
        cairo_surface_destroy(s);
        if (st != CAIRO_STATUS_SUCCESS)
            fail(cfmt("cannot write %s (%s)", svg_name.c_str(), cairo_status_to_string(st)));
    }
}
