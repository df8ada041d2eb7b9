// The run workspace: every grid, scalar, name and file that the stages of a
// run hand to one another.  A fresh Workspace is all zeros, which several
// stages rely on (flag_gc, pix_size, dyn_scale_out, ...).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <iosfwd>
#include <string>
#include <vector>

#include "georef.hpp"
#include "grid_frame.hpp"
#include "nrutil.hpp"
#include "outfile.hpp"
#include "progress.hpp"
#include "results_lock.hpp"
#include "run_end.hpp"
#include "run_parameters.hpp"

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
    // Diagnostics that are no part of the transcript (why an answer was
    // refused): standard error.
    std::ostream* err;
    bool key_from_terminal = false;
    // The line on standard error that shows a long stage is alive (off
    // unless turned on).
    Progress progress;

    // The stage implementations that the driver and the stages call: the
    // engine's own when none is named before the run.
    const Stages* stages = nullptr;
    // Called by the driver with the name of each stage as it starts, and with
    // "end" when the last one is done (the benchmark times the stages so).
    std::function<void(const char* stage)> on_stage;
    // Called by the interpolation when the rest of it runs on one core (its
    // dilation): the driver then starts what it runs beside it.
    std::function<void()> on_one_core;

    // Every answer of the run, as the front end gave them.
    RunParameters params;
    // The command that made the run, for <G>_command.txt (empty for the
    // dialogue, whose answers go to <G>_answers.txt).
    std::string command_line;
    // The pictures show the edifice and its surroundings with a scale bar,
    // not the whole DEM.
    bool crop_pictures = false;

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
    // Warnings about the DEM given before the report exists: the report
    // repeats them after the name of the DEM.
    std::string header_warnings;

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
    // The cellsize of an ESRI header, kept when the typed pixel size replaces
    // it (the two should agree).
    double cellsize = 0;
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

    // The bytes of the .prj beside an ESRI input (empty when there is none);
    // for a raster read through GDAL, its coordinate system as ESRI WKT.
    std::string dem_prj;

    // A raster read through GDAL: its place and coordinate system, and the
    // nodata value its band states (in its stored samples, before any scale;
    // the cells without data hold -infinity in dtab, see gdal_lecture).
    Georef georef;
    bool band_nodata_declared = false;
    double band_nodata = 0;

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

    // A base line chosen automatically (--base auto): the base, what stops
    // the edifice one metre lower ("edge", "nodata", "col") and where, and the
    // top of the centre's own relief.
    struct AutoBaseLine {
        bool chosen = false;
        int base = 0, limit_m = 0;
        std::string limit;
        int col_line = -1, col_column = -1;
        int top = 0, top_line = -1, top_column = -1;
    } auto_base;

    // The centre of each slice's envelope, as the gravity-centre model has
    // them, in order of altitude (for <G>_centres_map.csv).
    struct SliceCentre {
        int line, column, altitude;
    };
    std::vector<SliceCentre> slice_centres;

    // Each slice's convex envelope as the slice analysis finds it, in order
    // of altitude: its vertices (cells, the first repeated at the end; none
    // when the slice has no envelope), its surface and its layer volume.
    // Kept only by a run that writes its results (for <G>_vectors.gpkg).
    struct GridPoint {
        int line, column;
    };
    struct SliceEnvelope {
        int altitude = 0;
        double surface = 0, volume = 0;
        std::vector<GridPoint> vertices;
    };
    std::vector<SliceEnvelope> slice_envelopes;
    // The present relief around the edifice, one cell in `step` each way
    // from (i0, j0), NaN where there is no data: kept while dtab holds it,
    // for <G>_morphometry.png (a run that writes its results only).
    struct ReliefSample {
        int i0 = 0, j0 = 0, step = 1;
        nrutil::DGrid z;
    } relief_sample;
    bool writes_result_files() const { return !discard_results && !results_in_memory; }

    // The edifice's zones at every altitude, left by the slice analysis for the
    // interpolation.
    std::shared_ptr<EdificeLevels> edifice_levels;

    // The figures of the edifice's shape (morphometric studies' figures),
    // measured after the slice analysis, written with the products.
    std::shared_ptr<EdificeShape> edifice_shape;
    // An edifice given by its outline (map coordinates, the closing vertex
    // repeated; empty: none), the cells whose centre lies inside it (1; empty
    // without an outline), and a crater given as a polygon.
    Ring outline;
    nrutil::UcGrid outline_cells;
    double outline_lowest = 0;  // the altitude of its lowest vertex
    std::optional<Ring> crater_polygon;

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
        int edifice_border_cells = 0;        // cells of the grid's border lines and columns the edifice reaches
        int cells_without_data_touched = 0;  // cells without data next to the edifice
        // The crater checks, when the crater was looked for: a closed depression
        // around the centre (its depth, metres) or higher ground on most sides.
        bool crater_found = false;
        std::int64_t crater_depression = 0;
        int crater_walled_rays = 0;
    } figures;
    // The present relief's altitude at the final centre, kept when the grids
    // of the present relief are given back.
    std::optional<std::int32_t> centre_altitude;

    // Names.
    std::string nomim1, nomgene;
    // A raw DEM's descriptor, and whether the run writes it (it had none).
    std::string nomdescr1;
    bool write_descriptor = false;
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
        std::string temporary, name;  // temporary empty: a retired result
    };
    std::vector<Pending> pending;
    // The results that close_all put in place, in the order created.
    std::vector<std::string> placed_results;

    // The files the run reads (the DEM, its descriptor, its .prj): no result
    // may be put in the place of one of them, whatever its name says ("./x",
    // a link).  Each as the device and inode of the file it leads to.
    struct InputFile {
        std::string path;
        unsigned long long device = 0, inode = 0;
    };
    std::vector<InputFile> inputs;
    // Adds `path` to the inputs when it exists.
    void read_from(const std::string& path);

    // Held from the creation of the first result to the end of the run.
    ResultsLock lock;
    // A run that only measures (a row of a base sweep): its tables and
    // report go nowhere, its output DEMs and products are not made, and no
    // lock is taken; its figures stay in the workspace.
    bool discard_results = false;
    // A run whose results stay in memory (the Python module's): the texts
    // that it writes (report, tables, summary, ...) are kept in memory_files
    // under their names; the output DEMs, the pictures and the plots are not
    // written (their grids are read from the workspace), and no lock is taken.
    bool results_in_memory = false;
    struct MemoryFile {
        std::string name;
        char* data = nullptr;  // open_memstream's buffer
        std::size_t size = 0;
    };
    std::vector<std::unique_ptr<MemoryFile>> memory_files;
    // The text of the last result created whose name ends with `suffix`, as
    // far as it is written (empty when there is none).
    std::string memory_text(const std::string& suffix) const;
    // In that mode only, what the measures of the rebuilt cone overwrite: the
    // present relief's slope angles (pente_ang) and its edifice (tab != 0).
    nrutil::UcGrid present_slopes, present_edifice;

    // Creates the result `name` for writing (under a temporary name; the
    // OutFile reports errors under `name`).
    OutFile create(const std::string& name, bool binary);
    // Reserves the result `name` for a writer that opens the file itself
    // (GDAL): the temporary file is created empty and closed, and put in place
    // with the others.  Returns the path to write.
    std::string create_for_gdal(const std::string& name);
    // Puts the result reserved earlier at `path` (what create_for_gdal
    // returned) after those created since: where it would stand had it been
    // created now (a writer that works beside the others reserves its file
    // before they start).
    void created_now(const std::string& path);
    // An earlier run's result `name` that this run does not write and that
    // would misdescribe its results (a .prj beside grids that now have none):
    // removed with the others' replacement, kept if the run fails.
    void retire(const std::string& name);
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

// Freed blocks of 4 MiB or more go straight back to the system.  The C
// library would otherwise raise that bound to the largest block freed so far
// (up to 32 MiB) and keep a hundred megabytes of freed buffers for the rest of
// a run, so that the grids the stages give back as they go would not lower its
// peak.  Smaller blocks stay in the heap for the next stage: returning them
// too costs 5-10 % of a run in page faults.  Called once by a program's main.
void return_large_blocks();

// Allocates `g` (nb_col columns by nb_lig lines, zero-filled), or ends the run
// with grid_failed.
template <class T>
void allocate_grid(nrutil::Grid<T>& g, const char* name, int nb_col, int nb_lig)
{
    if (!g.allocate(nb_col, nb_lig)) grid_failed(name, nb_lig, nb_col, sizeof(T));
}
