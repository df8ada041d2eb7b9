#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "slice_plot.hpp"
#include "products.hpp"
#include "workspace.hpp"

namespace {

using Rows = std::vector<std::array<double, 2>>;

std::string xml_text(const std::string& s)
{
    std::string out;
    for (char c : s) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

// {column `value`, column `altitude`} of every row of a tab-separated table
// after its header line.
Rows read_table(const std::string& path, int value, int altitude)
{
    Rows rows;
    std::ifstream f(path);
    std::string line;
    std::getline(f, line);
    while (std::getline(f, line)) {
        std::istringstream cells(line);
        std::vector<double> v;
        for (std::string cell; std::getline(cells, cell, '\t');) v.push_back(std::strtod(cell.c_str(), nullptr));
        if (int(v.size()) > std::max(value, altitude))
            rows.push_back({v[std::size_t(value)], v[std::size_t(altitude)]});
    }
    return rows;
}

struct Axis {
    double lo, hi;     // data range
    double from, to;   // pixel range
    double at(double v) const { return from + (v - lo) / (hi - lo) * (to - from); }
};

// The range of one column of rows, widened when it is a single value.
void range_of(const Rows& rows, int k, double& lo, double& hi)
{
    for (const auto& r : rows) {
        lo = std::min(lo, r[std::size_t(k)]);
        hi = std::max(hi, r[std::size_t(k)]);
    }
}

std::string f2(double v)
{
    char t[32];
    std::snprintf(t, sizeof t, "%.2f", v);
    return t;
}

class Svg {
public:
    std::string s;
    void line(double x1, double y1, double x2, double y2, const char* style)
    {
        s += "<line x1=\"" + f2(x1) + "\" y1=\"" + f2(y1) + "\" x2=\"" + f2(x2) + "\" y2=\"" + f2(y2) +
             "\" " + style + "/>\n";
    }
    void text(double x, double y, const std::string& t, const char* anchor, const std::string& extra = "")
    {
        s += "<text x=\"" + f2(x) + "\" y=\"" + f2(y) + "\" text-anchor=\"" + anchor + "\"" + extra + ">" + t +
             "</text>\n";
    }
};

// One panel: frame, grid, ticks and axis titles; the altitude axis on its left.
void panel(Svg& svg, const Axis& x, const Axis& y, const std::string& title, const std::string& x_title,
           const std::vector<double>& x_ticks)
{
    const double spacing = x_ticks.size() > 1 ? x_ticks[1] - x_ticks[0] : 1;
    for (double v : x_ticks) {
        svg.line(x.at(v), y.to, x.at(v), y.from, "stroke=\"#dddddd\"");
        svg.line(x.at(v), y.from, x.at(v), y.from + 5, "stroke=\"black\"");
        svg.text(x.at(v), y.from + 18, tick_label(v, spacing), "middle");
    }
    // Altitudes are whole metres: ticks at least 1 m apart.
    const std::vector<double> y_ticks = nice_ticks(y.lo, y.hi, std::clamp(int(y.hi - y.lo), 1, 6));
    const double y_spacing = y_ticks.size() > 1 ? y_ticks[1] - y_ticks[0] : 1;
    for (double v : y_ticks) {
        svg.line(x.from, y.at(v), x.to, y.at(v), "stroke=\"#dddddd\"");
        svg.line(x.from - 5, y.at(v), x.from, y.at(v), "stroke=\"black\"");
        svg.text(x.from - 8, y.at(v) + 4, tick_label(v, y_spacing), "end");
    }
    svg.s += "<rect x=\"" + f2(x.from) + "\" y=\"" + f2(y.to) + "\" width=\"" + f2(x.to - x.from) +
             "\" height=\"" + f2(y.from - y.to) + "\" fill=\"none\" stroke=\"black\"/>\n";
    svg.text((x.from + x.to) / 2, y.to - 10, title, "middle", " font-weight=\"bold\"");
    svg.text((x.from + x.to) / 2, y.from + 40, x_title, "middle");
    const double cx = x.from - 52, cy = (y.from + y.to) / 2;
    svg.text(cx, cy, "Altitude (m)", "middle", " transform=\"rotate(-90 " + f2(cx) + " " + f2(cy) + ")\"");
}

}  // namespace

std::string slice_plot_svg(const std::string& generic_name, const Rows& surface, const Rows& orientation)
{
    const double width = 860, height = 450;
    const double top = 70, bottom = 400;

    double alt_lo = 1e300, alt_hi = -1e300;
    range_of(surface, 1, alt_lo, alt_hi);
    range_of(orientation, 1, alt_lo, alt_hi);
    if (alt_lo > alt_hi) alt_lo = alt_hi = 0;
    if (alt_lo == alt_hi) {
        alt_lo -= 1;
        alt_hi += 1;
    }
    const Axis alt_left{alt_lo, alt_hi, bottom, top};

    // Surfaces of large edifices read better in km2.
    double s_max = 0, s_min = 0;
    range_of(surface, 0, s_min, s_max);
    const bool km2 = s_max >= 1e6;
    const double unit = km2 ? 1e-6 : 1;
    const double s_top = s_max > 0 ? s_max * unit : 1;
    std::vector<double> s_ticks = nice_ticks(0, s_top, 5);
    // The axis ends on a tick at or beyond the largest surface.
    const double s_step = s_ticks.size() > 1 ? s_ticks[1] - s_ticks[0] : s_top;
    if (s_ticks.back() < s_top) s_ticks.push_back(s_ticks.back() + s_step);
    const Axis s_axis{0, s_ticks.back(), 90, 400};
    const Axis o_axis{0, 180, 530, 840};

    Svg svg;
    svg.s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + f2(width) + "\" height=\"" + f2(height) +
            "\" viewBox=\"0 0 " + f2(width) + " " + f2(height) +
            "\" font-family=\"sans-serif\" font-size=\"12\">\n"
            "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    svg.text(width / 2, 24, xml_text(generic_name) + " : slices of the present edifice, 1 m thick", "middle",
             " font-size=\"15\"");

    panel(svg, s_axis, alt_left, "Surface per slice", km2 ? "Surface (km&#178;)" : "Surface (m&#178;)",
          s_ticks);
    if (!surface.empty()) {
        svg.s += "<polyline fill=\"none\" stroke=\"#31688e\" stroke-width=\"1.5\" points=\"";
        for (std::size_t k = 0; k < surface.size(); ++k) {
            if (k) svg.s += ' ';
            svg.s += f2(s_axis.at(surface[k][0] * unit)) + "," + f2(alt_left.at(surface[k][1]));
        }
        svg.s += "\"/>\n";
    }

    const Axis alt_right{alt_lo, alt_hi, bottom, top};
    panel(svg, o_axis, alt_right, "Orientation per slice",
          "Orientation (&#176;, 90 = east-west axis)", {0, 45, 90, 135, 180});
    svg.s += "<g fill=\"#35b779\" stroke=\"#1f6f45\" stroke-width=\"0.5\">\n";
    for (const auto& r : orientation)
        svg.s += "<circle cx=\"" + f2(o_axis.at(r[0])) + "\" cy=\"" + f2(alt_right.at(r[1])) + "\" r=\"2.5\"/>\n";
    svg.s += "</g>\n</svg>\n";
    return svg.s;
}

void write_slice_plot(Workspace& ws)
{
    ws.forient.flush();
    // The tables are read back from where this run is writing them.
    const Rows surface = read_table(ws.written_path(ws.nomsurfslice), 1, 4);
    const Rows orientation = read_table(ws.written_path(ws.nomorient), 0, 1);
    const std::string svg = slice_plot_svg(ws.nomgene, surface, orientation);
    OutFile f = ws.create(output_prefix(ws) + "_slices.svg", false);
    f.write(svg.data(), svg.size());
    f.close();
}
