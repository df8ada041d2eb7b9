#include <cmath>
#include <cstdint>

#include "morphometry.hpp"
#include "nodata.hpp"
#include "reconstitution.hpp"
#include "stages.hpp"
#include "workspace.hpp"

namespace {

// True extremes of a grid over its cells with data (the start values only
// stand when there is none).
void extremes(const Workspace& ws, const nrutil::IGrid& g, int& lo, int& hi)
{
    lo = 10000000;
    hi = 0;
    const std::int32_t* p = g.data();
    bool first = true;
    for (std::size_t k = 0; k < g.size(); ++k) {
        if (without_data(ws, k)) continue;
        if (first || p[k] < lo) lo = p[k];
        if (first || p[k] > hi) hi = p[k];
        first = false;
    }
}

// Grey image of the shading: 254 at its brightest cell with data, all 0 when
// it is all dark.  Cells without data are 0 here and nodata once written.
void grey_image(Workspace& ws, nrutil::UcGrid& image)
{
    shadow_v2(ws);
    double m = 0;
    const double* s = ws.dtab_shad_out.data();
    for (std::size_t k = 0; k < ws.dtab_shad_out.size(); ++k)
        if (s[k] > m && !without_data(ws, k)) m = s[k];
    std::uint8_t* out = image.data();
    // An infinite shading (a pixel size near 0) gives NaN here: 0, not undefined behaviour.
    for (std::size_t k = 0; k < image.size(); ++k)
        out[k] = m == 0 || without_data(ws, k) ? 0 : std::uint8_t(trunc_to_int(s[k] / m * 254.0));
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
        ws.both("\n\tWarning : %d cells of %s exceed the 16-bit samples in this unit and wrap modulo 65536 : "
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

}  // namespace

void rec_volc(Workspace& ws)
{
    const int nl = ws.nb_lig, nc = ws.nb_col;
    static const double scale[] = {1.0, 10.0, 100.0, 1000.0};
    ws.coeff_rc = scale[ws.dyn_scale_out];

    ws.itab.copy_from(ws.ktab);
    // A crater ring may have fallen on cells without data: they read as the
    // lowland again.
    for (std::size_t p = 0; p < ws.itab.size(); ++p)
        if (without_data(ws, p)) ws.itab.data()[p] = ws.mind;
    // Grids whose last reader is done are released as the stage goes: the end
    // of the run is when memory peaks.
    ws.ktab = {};
    ws.itab2 = {};
    ws.say("\n\n\tFIRST RECONSTITUTED VOLCANIC CONE ");
    ws.stages->treatment_rec(ws);
    angles(ws);
    histo_pent(ws);

    // Erosion: what the rebuilt cone has above the present relief.
    ws.dtab.fill(0);
    double maxd = 0;
    // The eroded volume counts every cell whole, in both reliefs; the sum of
    // whole metres is exact in any order.
    std::uint64_t eroded = 0;
    for (std::size_t p = 0; p < ws.dtab.size(); ++p) {
        const std::int32_t rebuilt = ws.itab.data()[p], present = ws.itab1.data()[p];
        if (rebuilt > present) {
            ws.dtab.data()[p] = double(std::int64_t(rebuilt) - present);
            eroded += std::uint64_t(std::int64_t(rebuilt) - present);
        }
        if (ws.dtab.data()[p] > maxd) maxd = ws.dtab.data()[p];
    }
    ws.itab1 = {};
    ws.figures.eroded_volume = double(eroded) * ws.pixsurf * 1e-9;
    ws.figures.erosion_max = maxd;
    ws.both("\n\n\tCharacteristics after the first interpolation ");
    surface(ws, 2);

    ws.dtab_eros.fill(0);
    ws.itab_eros.fill(0);
    for (int i = 1; i <= nl - 2; ++i)
        for (int j = 1; j <= nc - 2; ++j) {
            if (!(ws.dtab[i][j] > 0)) continue;
            double sum = 0;
            for (int a = i - 1; a <= i + 1; ++a)
                for (int b = j - 1; b <= j + 1; ++b) sum += ws.dtab[a][b];
            ws.dtab_eros[i][j] = sum * (1.0 / 9.0);
        }
    for (int i = 1; i <= nl - 2; ++i)
        for (int j = 1; j <= nc - 2; ++j) ws.itab_eros[i][j] = trunc_to_int(ws.dtab_eros[i][j] * ws.coeff_rc);
    int min_eros, max_eros;
    extremes(ws, ws.itab_eros, min_eros, max_eros);

    if (nl > 1)
        for (int j = 0; j < nc; ++j) ws.itab[0][j] = ws.itab[1][j];
    for (std::size_t p = 0; p < ws.itab.size(); ++p)
        ws.itab.data()[p] = trunc_to_int(ws.itab.data()[p] * ws.coeff_rc);
    int min_rc, max_rc;
    extremes(ws, ws.itab, min_rc, max_rc);

    for (std::size_t p = 0; p < ws.itab.size(); ++p) ws.dtab_shad_in.data()[p] = ws.itab.data()[p];
    grey_image(ws, ws.tab_shad1);
    for (std::size_t p = 0; p < ws.itab_eros.size(); ++p) ws.dtab_shad_in.data()[p] = ws.itab_eros.data()[p];
    grey_image(ws, ws.tab_shaderos1);
    ws.dtab_shad_in = {};
    ws.dtab_shad_out = {};

    if (ws.format_out == 1)
        write_raw_outputs(ws, min_rc, max_rc, min_eros, max_eros, maxd);
    else
        write_esri_outputs(ws);

    ws.both("\n\n\tLayer orientation excel file saved as %s ", ws.nomorient.c_str());
    ws.both("\n\tLayer surface/volume excel file saved as %s ", ws.nomsurfslice.c_str());
    ws.both("\n\tGravity center evolution saved as %s ", ws.nomgc.c_str());
}
