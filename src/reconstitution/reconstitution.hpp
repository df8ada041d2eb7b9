// Reconstitution of the un-eroded cone and the products of the run.
#pragma once

#include "nrutil.hpp"
#include "trunc_to_int.hpp"

struct Workspace;
class OutFile;

// Unset cell of the rebuilt cone; altitudes are always below it.
constexpr int unset_altitude = 100000;

// Rebuilds the un-eroded cone into ktab; itab1 receives a copy of itab.
void interp(Workspace& ws);
// One filling step of ktab (growth by minimum, smoothing toward the higher
// side); modif is the number of cells it set.
void dilat(Workspace& ws);
// Measures the rebuilt cone, derives the erosion, writes the output DEMs.
void rec_volc(Workspace& ws);
// rec_volc in three steps: the measures, the erosion and the shaded image of
// the rebuilt cone; the output units and the shaded image of the erosion;
// the output DEMs and the closing lines (the driver makes the products beside
// the last two).
struct RebuiltRanges {
    int min_rc, max_rc, min_eros, max_eros;
    double maxd;  // greatest erosion thickness
};
RebuiltRanges rebuild_measures(Workspace& ws);
void rebuilt_outputs(Workspace& ws, RebuiltRanges& ranges);
void write_rebuilt_cone(Workspace& ws, const RebuiltRanges& ranges);
// Instead of the last two for a run that writes no output (a row of a base
// sweep): the warnings that they give.
void rebuilt_warnings(Workspace& ws, RebuiltRanges& ranges);
// Slice volumes of the rebuilt cone held in itab.
void treatment_rec(Workspace& ws);
// Hill shading of dtab_shad_in (output units) into dtab_shad_out.
void shadow_v2(Workspace& ws);

// Output DEM layouts.
void write_raw_samples(Workspace& ws, OutFile& f, const nrutil::IGrid& g);
void write_raw_bytes(Workspace& ws, OutFile& f, const nrutil::UcGrid& g);
void write_esri_header(Workspace& ws, OutFile& f);
void write_esri_metres(Workspace& ws, OutFile& f, const nrutil::IGrid& g);
// Writes n / 10^decimals (decimals 0 to 3) as "%lf" does; returns the end.
char* put_output_metres(char* out, std::int32_t n, int decimals);
void write_esri_bytes(Workspace& ws, OutFile& f, const nrutil::UcGrid& g);

