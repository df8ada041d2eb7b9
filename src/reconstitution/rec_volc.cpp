#include <cmath>
#include <cstdint>
#include <vector>

#include "morphometry.hpp"
#include "parallel.hpp"
#include "plausibility.hpp"
#include "shading.hpp"
#include "nodata.hpp"
#include "reconstitution.hpp"
#include "stages.hpp"
#include "workspace.hpp"
#include "geotiff_output.hpp"

namespace {

// True extremes of a grid over its cells with data (the start values only
// stand when there is none).
void extremes(const Workspace& ws, const nrutil::IGrid& g, int& lo, int& hi)
{
    lo = 10000000;
    hi = 0;
    extremes_with_data(ws, g, lo, hi);
}

// 16-bit samples keep only the low 16 bits of a value (as the format has it):
// say so when some cells lose their high bits.  Cells without data are
// written as nodata, not as their value.
void wrap_warning(Workspace& ws, const nrutil::IGrid& g, const std::string& name)
{
    int cells = 0;
    const std::int32_t* p = g.data();
    for (std::size_t k = 0; k < g.size(); ++k) cells += (p[k] < 0 || p[k] > 65535) && !without_data(ws, k);
    if (cells > 0)
        ws.warn("wrap16", "\n\tWarning : %d cells of %s exceed the 16-bit samples in this unit and wrap modulo 65536 : "
                "choose 32-bit samples or a coarser unit ",
                cells, name.c_str());
}

void write_raw_outputs(Workspace& ws, int min_rc, int max_rc, int min_eros, int max_eros, double maxd)
{
    ws.fdrec1.printf("%d\n%d\n%d\n\n", min_rc, max_rc, ws.pix_size);
    ws.fdrec1.printf("\n\tReconstructed volcanic cone from a baseline ");
    ws.fdrec1.printf("\n\tlocated at %d meters and a gravity center (i=%d, j=%d) ", ws.base, ws.i_gv, ws.j_gv);
    ws.fdrec1.close();
    ws.fderos1.printf("%d\n%d\n%d\n", min_eros, max_eros, ws.pix_size);
    ws.fderos1.printf("\n\n\tMaximum erosion thickness = %lf m ", maxd);
    ws.fderos1.close();
    ws.both("\n\n\tDEM of the reconstituted cone saved as %s ", ws.nomrec1.c_str());
    ws.both("\n\tErosion DEM saved as %s ", ws.nomeros1.c_str());
    if (ws.itype_out == 0) {
        wrap_warning(ws, ws.itab, ws.nomrec1);
        wrap_warning(ws, ws.itab_eros, ws.nomeros1);
    }
    check_erosion(ws);
    write_raw_samples(ws, ws.frec1, ws.itab);
    write_raw_samples(ws, ws.feros1, ws.itab_eros);
    write_raw_bytes(ws, ws.fshad1, ws.tab_shad1);
    ws.both("\n\tShadowed DEM saved as %s ", ws.nomshad1.c_str());
    write_raw_bytes(ws, ws.fshaderos1, ws.tab_shaderos1);
    ws.both("\n\tShadowed eroded deposits saved as %s ", ws.nomshaderos1.c_str());
}

void write_esri_outputs(Workspace& ws)
{
    ws.both("\n\n\tDEM of the reconstituted cone saved as %s ", ws.nomrec1.c_str());
    write_esri_header(ws, ws.frec1);
    write_esri_metres(ws, ws.frec1, ws.itab);
    ws.frec1.close();
    ws.both("\n\tErosion DEM saved as %s ", ws.nomeros1.c_str());
    check_erosion(ws);
    write_esri_header(ws, ws.feros1);
    write_esri_metres(ws, ws.feros1, ws.itab_eros);
    ws.feros1.close();
    ws.both("\n\tShadowed DEM saved as %s ", ws.nomshad1.c_str());
    write_esri_header(ws, ws.fshad1);
    write_esri_bytes(ws, ws.fshad1, ws.tab_shad1);
    ws.fshad1.close();
    ws.both("\n\tShadowed eroded deposits saved as %s ", ws.nomshaderos1.c_str());
    write_esri_header(ws, ws.fshaderos1);
    write_esri_bytes(ws, ws.fshaderos1, ws.tab_shaderos1);
    ws.fshaderos1.close();
}

// GeoTIFF: the rebuilt cone and the erosion in the output unit, with the
// band's scale that gives metres back; the shaded images as bytes.
void write_geotiff_outputs(Workspace& ws)
{
    const double scale = 1.0 / ws.coeff_rc;
    ws.both("\n\n\tDEM of the reconstituted cone saved as %s ", ws.nomrec1.c_str());
    write_geotiff_int32(ws, ws.nomrec1, ws.itab, scale, "rebuilt cone altitude");
    ws.both("\n\tErosion DEM saved as %s ", ws.nomeros1.c_str());
    check_erosion(ws);
    write_geotiff_int32(ws, ws.nomeros1, ws.itab_eros, scale, "erosion thickness");
    ws.both("\n\tShadowed DEM saved as %s ", ws.nomshad1.c_str());
    write_geotiff_bytes(ws, ws.nomshad1, ws.tab_shad1, "hill-shaded rebuilt cone, grey 0 to 254");
    ws.both("\n\tShadowed eroded deposits saved as %s ", ws.nomshaderos1.c_str());
    write_geotiff_bytes(ws, ws.nomshaderos1, ws.tab_shaderos1, "hill-shaded erosion thickness, grey 0 to 254", true);
}

// The measures of the rebuilt cone, and the erosion: what the rebuilt cone has
// above the present relief (dtab), its measures, and its 3x3 mean over the
// eroded cells (dtab_eros) in output units (itab_eros).
void measures_and_erosion(Workspace& ws, double& maxd, int& min_eros, int& max_eros)
{
    const int nl = ws.nb_lig, nc = ws.nb_col;
    ws.say("\n\n\tFIRST RECONSTITUTED VOLCANIC CONE ");
    ws.stages->treatment_rec(ws);
    angles(ws);
    histo_pent(ws);

    // The eroded volume counts every cell whole, in both reliefs; the sum of
    // whole metres is exact in any order, and so is the greatest thickness.
    std::vector<std::uint64_t> eroded_line(std::size_t(nl), 0);
    std::vector<double> thickest_line(std::size_t(nl), 0.0);
    parallel_rows(0, nl, std::size_t(nc), [&](int first, int last) {
        for (int i = first; i < last; ++i) {
            const std::int32_t* rebuilt = ws.itab[i];
            const std::int32_t* present = ws.itab1[i];
            double* d = ws.dtab[i];
            std::uint64_t eroded = 0;
            double thickest = 0;
            for (int j = 0; j < nc; ++j) {
                d[j] = 0;
                if (rebuilt[j] > present[j]) {
                    d[j] = double(std::int64_t(rebuilt[j]) - present[j]);
                    eroded += std::uint64_t(std::int64_t(rebuilt[j]) - present[j]);
                }
                if (d[j] > thickest) thickest = d[j];
            }
            eroded_line[std::size_t(i)] = eroded;
            thickest_line[std::size_t(i)] = thickest;
        }
    });
    std::uint64_t eroded = 0;
    maxd = 0;
    for (int i = 0; i < nl; ++i) {
        eroded += eroded_line[std::size_t(i)];
        if (thickest_line[std::size_t(i)] > maxd) maxd = thickest_line[std::size_t(i)];
    }
    // The present relief's altitude at the centre, now final, for the
    // GeoPackage (itab3, its other copy, went back after the base line).
    if (ws.i_gv >= 0 && ws.i_gv < nl && ws.j_gv >= 0 && ws.j_gv < nc) ws.centre_altitude = ws.itab1[ws.i_gv][ws.j_gv];
    // Every cell of itab_eros is written below: it takes itab1's memory,
    // already in the resident set, and its own untouched block goes back.
    ws.itab_eros.swap(ws.itab1);
    ws.itab1 = {};
    ws.figures.eroded_volume = double(eroded) * ws.pixsurf * 1e-9;
    ws.figures.erosion_max = maxd;
    ws.both("\n\n\tCharacteristics after the first interpolation ");
    surface(ws, 2);

    // The border lines and columns stay 0.  The mean is worked out in dtab
    // itself, which then becomes dtab_eros (dtab_eros's untouched block goes
    // back as dtab): each block of lines keeps copies of the lines it still
    // reads once they are overwritten, and the lines just outside it are
    // copied before any block starts.
    const int blocks = std::max(1, std::min(nl, std::size_t(nl) * std::size_t(nc) < parallel_threshold()
                                                    ? 1
                                                    : thread_count() * 4));
    auto block_first = [&](int b) { return int(std::int64_t(nl) * b / blocks); };
    const std::size_t width = std::size_t(nc);
    std::vector<std::vector<double>> above(static_cast<std::size_t>(blocks)), below(static_cast<std::size_t>(blocks));
    for (int b = 0; b < blocks; ++b) {
        const int first = block_first(b), last = block_first(b + 1);
        if (first >= last) continue;
        if (first > 0) above[std::size_t(b)].assign(ws.dtab[first - 1], ws.dtab[first - 1] + width);
        if (last < nl) below[std::size_t(b)].assign(ws.dtab[last], ws.dtab[last] + width);
    }
    auto mean_block = [&](int b) {
        const int first = block_first(b), last = block_first(b + 1);
        if (first >= last) return;
        std::vector<double> prev = above[std::size_t(b)], cur(ws.dtab[first], ws.dtab[first] + width);
        for (int i = first; i < last; ++i) {
            // Lines i - 1, i and i + 1 as they were.
            const double* up = prev.data();
            const double* mid = cur.data();
            const double* down = i + 1 < last ? ws.dtab[i + 1] : below[std::size_t(b)].data();
            double* out = ws.dtab[i];
            std::int32_t* scaled = ws.itab_eros[i];
            for (int j = 0; j < nc; ++j) {
                const bool interior = i >= 1 && i <= nl - 2 && j >= 1 && j <= nc - 2;
                double mean = 0;
                if (interior && mid[j] > 0) {
                    double sum = 0;
                    for (const double* row : {up, mid, down})
                        for (int c = j - 1; c <= j + 1; ++c) sum += row[c];
                    mean = sum * (1.0 / 9.0);
                }
                out[j] = mean;
                scaled[j] = interior ? trunc_to_int(mean * ws.coeff_rc) : 0;
            }
            prev.swap(cur);
            if (i + 1 < last) cur.assign(ws.dtab[i + 1], ws.dtab[i + 1] + width);
        }
    };
    if (blocks == 1)
        mean_block(0);
    else
        parallel_tasks(blocks, mean_block);
    ws.dtab_eros.swap(ws.dtab);
    extremes(ws, ws.itab_eros, min_eros, max_eros);
}

}  // namespace

void rec_volc(Workspace& ws)
{
    RebuiltRanges ranges = rebuild_measures(ws);
    rebuilt_outputs(ws, ranges);
    write_rebuilt_cone(ws, ranges);
}

RebuiltRanges rebuild_measures(Workspace& ws)
{
    const int nl = ws.nb_lig, nc = ws.nb_col;
    static const double scale[] = {1.0, 10.0, 100.0, 1000.0};
    ws.coeff_rc = scale[ws.dyn_scale_out];

    // A crater ring may have fallen on cells without data: they read as the
    // lowland again.
    parallel_rows(0, nl, std::size_t(nc), [&](int first, int last) {
        for (int i = first; i < last; ++i)
            for (int j = 0; j < nc; ++j) ws.itab[i][j] = without_data(ws, i, j) ? ws.mind : ws.ktab[i][j];
    });
    // Grids whose last reader is done are released as the stage goes: the end
    // of the run is when memory peaks.
    ws.ktab = {};
    ws.itab2 = {};

    // The shaded image of the rebuilt cone in output units (its first line
    // a copy of the second) needs nothing else: it is made beside the
    // measures, which leave itab as it is.
    auto rebuilt_in_output_units = [&](int i, int j) {
        return double(trunc_to_int(ws.itab[i == 0 && nl > 1 ? 1 : i][j] * ws.coeff_rc));
    };
    double maxd = 0;
    int min_eros, max_eros;
    side_by_side([&] { measures_and_erosion(ws, maxd, min_eros, max_eros); },
                 [&] { shaded_image(ws, rebuilt_in_output_units, ws.tab_shad1); });
    return {0, 0, min_eros, max_eros, maxd};
}

void rebuilt_outputs(Workspace& ws, RebuiltRanges& ranges)
{
    const int nl = ws.nb_lig, nc = ws.nb_col;

    if (nl > 1)
        for (int j = 0; j < nc; ++j) ws.itab[0][j] = ws.itab[1][j];
    parallel_rows(0, nl, std::size_t(nc), [&](int first, int last) {
        for (int i = first; i < last; ++i)
            for (int j = 0; j < nc; ++j) ws.itab[i][j] = trunc_to_int(ws.itab[i][j] * ws.coeff_rc);
    });
    extremes(ws, ws.itab, ranges.min_rc, ranges.max_rc);
    shaded_image(ws, [&](int i, int j) { return double(ws.itab_eros[i][j]); }, ws.tab_shaderos1);
}

void rebuilt_warnings(Workspace& ws, RebuiltRanges& r)
{
    // The warnings that the writing of the output DEMs gives, in its order.
    if (ws.format_out == 1 && ws.itype_out == 0) {
        rebuilt_outputs(ws, r);
        wrap_warning(ws, ws.itab, ws.nomrec1);
        wrap_warning(ws, ws.itab_eros, ws.nomeros1);
    }
    check_erosion(ws);
}

void write_rebuilt_cone(Workspace& ws, const RebuiltRanges& r)
{
    if (ws.format_out == 1)
        write_raw_outputs(ws, r.min_rc, r.max_rc, r.min_eros, r.max_eros, r.maxd);
    else if (ws.format_out == 2)
        write_geotiff_outputs(ws);
    else
        write_esri_outputs(ws);

    ws.both("\n\n\tLayer orientation excel file saved as %s ", ws.nomorient.c_str());
    ws.both("\n\tLayer surface/volume excel file saved as %s ", ws.nomsurfslice.c_str());
    ws.both("\n\tGravity center evolution saved as %s ", ws.nomgc.c_str());
}
