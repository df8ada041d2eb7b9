// The run workspace: every grid, scalar, name and file that the stages of a
// run hand to one another.  A fresh Workspace is all zeros, which several
// stages rely on (flag_gc, pix_size, dyn_scale_out, ...).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <iosfwd>
#include <string>
#include <vector>

#include "nrutil.hpp"
#include "outfile.hpp"
#include "run_end.hpp"

struct Stages;
struct EdificeLevels;
struct EdificeShape;

struct Workspace {
    Workspace(std::istream& in, std::ostream& out);
    ~Workspace();
    Workspace(const Workspace&) = delete;
    Workspace& operator=(const Workspace&) = delete;

    // Console streams of the dialogue.  `key_from_terminal` makes the closing
    // key wait read one key without echo from the terminal instead of `in`.
    std::istream* in;
    std::ostream* out;
    bool key_from_terminal = false;

    // The stage implementations that the driver and the stages call.
    const Stages* stages;
    // Called by the driver with the name of each stage as it starts, and with
    // "end" when the last one is done (the benchmark times the stages so).
    std::function<void(const char* stage)> on_stage;
    // Called by the interpolation when the rest of it runs on one core (its
    // dilation): the driver then starts what it runs beside it.
    std::function<void()> on_one_core;

    // Directory that holds the site folders, ending with "/".
    std::string root;

    // The accepted answer tokens of the dialogue, in the order asked: fed back
    // on standard input they repeat the run.
    std::vector<std::string> answers;

    // Console and report output, printf-style.
    void say(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    void report(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    // Console first, then the report, with the same text.
    void both(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    // A warning: a figure that cannot be trusted, printed like `both` and
    // recorded under its code (the summary lists the codes in printed order).
    void warn(const char* code, const char* fmt, ...) __attribute__((format(printf, 3, 4)));

    struct Warning {
        std::string code, text;
    };
    // The warnings of the run, in the order printed.
    std::vector<Warning> warnings;

    // Console and report lines that a stage running beside another prints
    // while the other's lines must come first: between hold() and stop(),
    // the lines that the calling thread prints through say, report and both
    // wait here; release() prints them.
    class HeldOutput {
    public:
        explicit HeldOutput(Workspace& ws) : ws_(ws) {}
        ~HeldOutput() { stop(); }
        HeldOutput(const HeldOutput&) = delete;
        HeldOutput& operator=(const HeldOutput&) = delete;
        void hold();
        void stop();
        // Prints what was held.
        void release();

    private:
        friend struct Workspace;
        Workspace& ws_;
        std::string console_, report_;
        std::vector<Warning> warnings_;
    };

    // Dimensions and pixel size.
    int nb_lig = 0, nb_col = 0;
    double dpix_size = 0, dsizepix = 0;
    int pix_size = 0;
    double pixel_surface = 0, pixsurf = 0;

    // Dialogue choices and map position.
    int format = 0, itype = 0, interv = 0;
    int format_out = 0, itype_out = 0, dyn_scale_out = 0;
    bool Coord_UTM_dem1_OK = false;
    double X_min = 0, Y_min = 0;
    int grav_cent = 0;
    int Basic_Slice = 0, UpSliVisu = 0, NumSlices = 0, VisuType = 0;

    // Elevations, scale and base line.
    nrutil::IGrid itab, itab3;
    nrutil::UsGrid jtab;
    nrutil::DGrid dtab;
    double dmin = 0, dmax = 0;
    int mind = 0, maxd = 0;
    double dbase = 0;
    int base = 0;

    // Cells without data.  An ESRI header may name a nodata value; the cells
    // that hold it are marked in `nodata` (1), which stays empty when there
    // are none, so that a DEM without such cells runs exactly as before.
    bool nodata_declared = false;
    double nodata_value = 0;
    nrutil::UcGrid nodata;
    int nodata_cells = 0;

    // The bytes of the .prj beside an ESRI input (empty when there is none).
    std::string dem_prj;

    // Gravity centres.
    int i_gv = 0, j_gv = 0, i_gc = 0, j_gc = 0;
    int flag_gc = 0;

    // Eight-bit work grids.
    nrutil::UcGrid tab, tab_conv, tab_co, tab_cr, tab_sect, tab_perim, pente_ang;
    nrutil::UcGrid tab_shad1, tab_shaderos1;
    // Label grids of the labelling: labels are not limited to 8 bits.
    nrutil::IGrid tab1, tab_pl;

    // Reconstitution.
    nrutil::IGrid ktab, itab1, itab2, itab_eros;
    nrutil::IVector fonc;
    int modif = 0, nb_pix_mod = 0, top = 0, alti_conv = 0;
    nrutil::DGrid dtab_eros, dtab_shad_in, dtab_shad_out;
    double dval_eros = 0;
    nrutil::UsGrid jtab_out;
    double coeff_rc = 0;

    // Scratch byte grids of the workers that share the altitudes of the slice
    // analysis and of the cone interpolation, two for each worker beyond the
    // first (which uses tab_co and tab_conv): kept from one stage to the
    // other, released before the rebuilt cone is measured.
    std::vector<nrutil::UcGrid> worker_grids;

    // The edifice's zones at every altitude, left by the slice analysis for the
    // interpolation.
    std::shared_ptr<EdificeLevels> edifice_levels;

    // The figures of the edifice's shape (morphometric studies' figures),
    // measured after the slice analysis, written with the products.
    std::shared_ptr<EdificeShape> edifice_shape;

    // Labelling, slices, crater, sections and measures.
    std::vector<std::uint16_t> coord_y, coord_x;  // point list of the labelling
    int num = 0, val_base = 0, nb_pix_bin = 0;
    int nb_pix_tot = 0, nb_pix_surf = 0, nb_pix_per = 0;
    int altmax = 0, b_crat = 0;
    double high = 0, first_volume = 0;
    int flag_convex = 0, coord_display = 0;
    double distmin_cr = 0, distmax_cr = 0, dist = 0;
    int ifin = 0, jfin = 0;
    int mean_ang_up = 0, mean_ang_down = 0, jco_up = 0, jco_down = 0;
    double d_mean_ang_up = 0, d_mean_ang_down = 0;
    double low_dist_base = 0, gre_dist_base = 0, dif_rad = 0, elong = 0;
    int alt_center = 0;
    double dalt_center = 0, dmax_alt = 0, h_vol = 0, h_crat = 0;

    // Figures kept whole for the summary table (<G>_summary.csv): the stages
    // print them rounded, and the measures of the rebuilt cone overwrite the
    // scalars of the present relief.  Index 0 is the present relief, 1 the
    // rebuilt cone (for the surfaces, the erosion-thickness grid).
    struct Figures {
        int items = 0;                       // items above the base line, as the report counts them
        int slice_i_gv = 0, slice_j_gv = 0;  // the centre point of the slice analysis
        bool crater_detected = false;        // distmin_cr and distmax_cr were measured
        bool outline[2] = {};                // the radii had an outline pixel to measure
        std::int64_t jco_down[2] = {}, jco_up[2] = {};  // pixels of the mean slopes
        double slope_down[2] = {}, slope_up[2] = {};  // degrees
        double crater_depth[2] = {};                  // metres
        double surface_2d[2] = {}, surface_3d[2] = {};  // m2
        double surface_ratio[2] = {};                   // percent, 0 when surface_2d is 0
        double rebuilt_volume = 0, volumetric_difference = 0;  // km3
        double eroded_volume = 0, erosion_max = 0;            // km3, metres
    } figures;

    // Names.
    std::string nomim1, nomgene;
    std::string nomrec1, nomshad1, nomeros1, nomshaderos1;
    std::string desrec1, desshad1, deseros1, desshaderos1;
    std::string nominfo, nomorient, nomgc, nomsurfslice;

    // Files (the input DEM is read whole by its reader and needs no handle).
    OutFile f1d;  // input descriptor, when the run had to create it
    OutFile finfo, forient, fgc, fslice;
    OutFile frec1, fshad1, feros1, fshaderos1;
    OutFile fdrec1, fdshad1, fderos1, fdshaderos1;

    // A run never destroys what was there before it: every result is written
    // under a temporary name in its own folder and renamed into place when the
    // run succeeds, so that a failed run leaves the DEM, its descriptor and an
    // earlier run's results as they were.
    struct Pending {
        std::string temporary, name;
    };
    std::vector<Pending> pending;

    // Creates the result `name` for writing (under a temporary name; the
    // OutFile reports errors under `name`).
    OutFile create(const std::string& name, bool binary);
    // Where the result `name` is being written: the temporary file until the
    // run is done.
    const std::string& written_path(const std::string& name) const;
    // Closes every file still open, reporting write failures, and puts every
    // result in place under its name.
    void close_all();
    // Closes every file and removes the temporary files (after a failure).
    void remove_created();
};

// Ends the run with an error that names the grid that could not be obtained
// and its size.
[[noreturn]] void grid_failed(const char* name, int nb_lig, int nb_col, std::size_t element_bytes);

// Makes sure that worker_grids holds the grids of `workers` workers.
void ensure_worker_grids(Workspace& ws, int workers);

// Allocates `g` (nb_col columns by nb_lig lines, zero-filled), or ends the run
// with grid_failed.
template <class T>
void allocate_grid(nrutil::Grid<T>& g, const char* name, int nb_col, int nb_lig)
{
    if (!g.allocate(nb_col, nb_lig)) grid_failed(name, nb_lig, nb_col, sizeof(T));
}
