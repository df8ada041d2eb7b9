// The choices of the published figures, each with the default that
// reproduces them: part of a run's answers (RunParameters), hence a header
// of plain data.
#pragma once

#include <optional>

enum class BasalMethod { idw, natural, tin, plane, lowest };
enum class SlopeMethod { d8, horn };
enum class ErodedMethod { hull, layers };
enum class ContourAnchor { base, multiples };
enum class SummitRule { slope_break, user };
enum class ShapeRange { below_cutoff, all };
enum class SlopeRegions { heights, native };
enum class SinkFill { keep_crater, all, none };
enum class CraterOption { automatic, none };

// Under the name of the option of `tephromat measure`.
struct MorphometryOptions {
    BasalMethod basal_surface = BasalMethod::idw;        // --basal-surface idw|natural|tin|plane|lowest
    double idw_power = 2;                                // --idw-power
    double contour_fraction = 0.05;                      // --contour-fraction (of the relief)
    std::optional<double> contour_interval;              // --contour-interval M
    ContourAnchor contour_anchor = ContourAnchor::base;  // --contour-anchor base|multiple
    SummitRule summit_rule = SummitRule::slope_break;    // --summit-rule break|user
    std::optional<double> summit_z;                      // --summit-z Z (with user)
    double summit_fraction = 0.7;                        // --summit-fraction
    ShapeRange shape_range = ShapeRange::below_cutoff;   // --shape-range cutoff|all
    bool clip_indices = false;                           // --clip-indices
    SlopeMethod slope = SlopeMethod::d8;                 // --slope d8|horn
    SlopeRegions slope_regions = SlopeRegions::heights;  // --slope-regions heights|native
    SinkFill sink_fill = SinkFill::keep_crater;          // --sink-fill keep-crater|all|none
    ErodedMethod eroded_volume = ErodedMethod::hull;     // --eroded-volume hull|layers
    CraterOption crater = CraterOption::automatic;       // --crater none; --crater FILE gives the polygon
};
