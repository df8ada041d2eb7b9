// Line plots drawn with cairo, as a PNG picture and an SVG drawing whose
// axes and labels are real text: panels stacked over one horizontal axis.
#pragma once

#include <cairo.h>

#include <array>
#include <string>
#include <vector>

struct Series {
    std::string name;
    std::array<double, 3> colour;       // red, green, blue, 0 to 1
    std::vector<double> x, y;           // NaN y: no point there
};

struct Panel {
    std::string title, y_label;
    std::vector<Series> series;
};

struct Plot {
    std::string title, x_label;
    std::vector<Panel> panels;
    // Vertical marks across every panel: x positions with a label (dashed),
    // and x intervals shaded grey with a label in the legend.
    std::vector<std::pair<double, std::string>> lines;
    std::vector<std::pair<double, double>> shaded;
    std::string shaded_label;
};

// Writes the plot to `png_path` and `svg_path` (either may be empty); an
// error names the file.
void draw_plot(const Plot& plot, const std::string& png_path, const std::string& svg_path, const std::string& png_name,
               const std::string& svg_name);

// A line of text in the figures' sans-serif font, its left end at x
// (align 0), its middle (0.5) or its right end (1), baseline at y.
void draw_text(cairo_t* cr, double x, double y, const std::string& s, double size, double align, bool bold = false);
