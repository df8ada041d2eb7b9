// The figures that morphometric studies publish (Grosse et al. 2009, 2012):
// size, profile, plan shape of the contours, slopes by flank region and by
// height band, the volume above a basal surface and the minimum eroded
// volume, with the per-contour and per-height-band tables and the geometry
// of the outline, crater, summit region and contours.
//
// Two ways to define the edifice: the dialogue's (the chosen item above the
// horizontal base line, the base plane below it) or an outline polygon (its
// cells, and a basal surface interpolated from its vertices).
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "basal_surface.hpp"
#include "eroded_volume.hpp"
#include "grid_frame.hpp"
#include "morphometry_options.hpp"
#include "nrutil.hpp"
#include "slopes.hpp"

enum class EdificeMode { horizontal, outline };

struct EdificeInput {
    const nrutil::DGrid* z = nullptr;        // exact elevations (dtab), nb_lig x nb_col
    const nrutil::UcGrid* nodata = nullptr;  // 1 on cells without data; empty when there are none
    GridFrame frame;                         // sizes, cell size, X_min, Y_min
    EdificeMode mode = EdificeMode::horizontal;
    // Horizontal base: the chosen item (1 on its cells), the base line, and
    // the count of grid-border cells that the edifice reaches (the `border`
    // warning's, 0 when none).
    const nrutil::UcGrid* item = nullptr;
    int base = 0;
    int edge_cells = 0;
    // Outline: the polygon's ring in map coordinates, as stored (the closing
    // vertex repeated), and its file for the errors.
    Ring outline;
    std::string outline_name;
    int centre_i = 0, centre_j = 0;  // the centre point
    bool crater_found = false;       // the run's crater check found one
    // A crater polygon (map coordinates), when one is given.
    std::optional<Ring> crater;
    std::string crater_name;
};

using Figure = std::optional<double>;  // empty: the figure does not exist

struct ContourRow {
    double level = 0;
    int pieces = 0;
    Figure closed, gap_m, vertices, area_m2, perimeter_m, ellipse_a_m, ellipse_b_m, axis_ellipticity, azimuth_deg;
    Figure ei_bfe, ii_bfe, ei_maxdiam, ii_maxdiam, dmax_m;
    Figure band_slope_min_deg, band_slope_max_deg, band_slope_mean_deg, band_slope_median_deg;
};

struct HeightBand {
    double fraction = 0;
    Figure slope_mean_deg, closed, ei_bfe, ii_bfe, axis_ellipticity;
};

// A line of the figure's geometry, in map coordinates.
struct ContourLine {
    double level = 0;
    bool loop = false;
    Ring v;
};

struct EdificeShape {
    EdificeMode mode = EdificeMode::horizontal;
    // Size.
    Figure basal_area_km2, basal_area_cells_km2, basal_closed, basal_width_m, basal_perimeter_m;
    Figure basal_z_min_m, basal_z_max_m, peak_m, relief_m, height_peak_m, height_basal_max_m;
    Figure volume_basal_km3, volume_basal_abs_km3, basal_axis_ellipticity, basal_azimuth_deg;
    Figure peak_radius_max_m, peak_radius_mean_m;
    // Profile.
    Figure h_over_wb, relief_over_radius, ws_over_wb, wcr_over_wb;
    // Summit region: the rule that gave z_S (break, rim or user; empty
    // without one).
    std::string summit_rule;
    Figure summit_contour_m, summit_width_m;
    // Crater: polygon, depression or none.
    std::string crater_source = "none";
    Figure crater_area_km2, crater_width_m, crater_rim_min_m, crater_rim_max_m, crater_floor_m, crater_rim_depth_m;
    // Contours and plan shape.
    Figure contour_interval_m, lowest_closed_contour_m;
    Figure ei_bfe_mean, ii_bfe_mean, ei_maxdiam_mean, ii_maxdiam_mean, axis_ellipticity_mean, azimuth_mean_deg;
    Figure shape_cutoff_m, shape_contours, slope_max_band_mean_deg, slope_max_band_fraction;
    // Slopes by region: all, lower, main, summit; mean, median, std.
    Figure slope[4][3];
    Figure slope_all_cv;
    // Erosion.
    Figure min_eroded_volume_km3, min_eroded_volume_pct;

    std::vector<ContourRow> contours;
    std::vector<HeightBand> height_bands;

    // Geometry, map coordinates.  The basal ring is a polygon, except for a
    // horizontal edifice without a closed base contour, whose ring is the
    // centres of its edge cells in scan order (basal_outline then outlines
    // its cells).
    Ring basal_ring, basal_outline, crater_outline, summit_outline;
    std::vector<ContourLine> contour_lines;  // the measured piece of each level of the table
};

// Measures the edifice; an error (fail) names the outline or crater file
// when they hold no cell.
EdificeShape measure_edifice(const EdificeInput& in, const MorphometryOptions& options);

// The cells of the grid with data whose centre lies inside the ring (map
// coordinates): the edifice of an outline.
nrutil::UcGrid cells_inside_outline(const GridFrame& g, const Ring& outline, const nrutil::UcGrid& nodata);

// The columns of <G>_morphometry.csv in order (mode first), of
// <G>_contours.csv and of <G>_height_bands.csv: a number, or a text.
struct Cell {
    Figure number;
    std::string text;
    bool is_text = false;
};
using Columns = std::vector<std::pair<std::string, Cell>>;
Columns morphometry_columns(const EdificeShape& s);
std::vector<Columns> contour_table(const EdificeShape& s);
std::vector<Columns> height_band_table(const EdificeShape& s);
