#include "measure.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <new>
#include <sstream>

#include "base_sweep.hpp"
#include "edifice_stage.hpp"
#include "engine.hpp"
#include "plot.hpp"
#include "input.hpp"
#include "names.hpp"
#include "parallel.hpp"
#include "presentation.hpp"
#include "summary.hpp"
#include "token_reader.hpp"
#include "workspace.hpp"

namespace {

[[noreturn]] void usage(const std::string& what) { throw UsageError{"tephromat measure: " + what}; }

// "A,B" as two decimal numbers.
bool number_pair(const std::string& text, double& a, double& b)
{
    const std::size_t comma = text.find(',');
    if (comma == std::string::npos || text.find(',', comma + 1) != std::string::npos) return false;
    const std::optional<double> x = parse_double(text.substr(0, comma)), y = parse_double(text.substr(comma + 1));
    if (!x || !y) return false;
    a = *x;
    b = *y;
    return true;
}

// The index of `value` among `names`, or a usage error listing them.
int one_of(const std::string& option, const std::string& value, std::initializer_list<const char*> names)
{
    int k = 0;
    std::string list;
    for (const char* n : names) {
        if (value == n) return k;
        list += (k ? ", " : "") + std::string(n);
        ++k;
    }
    usage(option + ": \"" + visible_excerpt(value) + "\" is not one of " + list);
}

bool ends_with_nocase(const std::string& s, const std::string& end)
{
    if (s.size() < end.size()) return false;
    for (std::size_t k = 0; k < end.size(); ++k)
        if (std::tolower(static_cast<unsigned char>(s[s.size() - end.size() + k])) != end[k]) return false;
    return true;
}

bool is_file(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// How the DEM is read, from its name: an ESRI grid and a raw raster with its
// descriptor by the program's own readers (GDAL's ASCII-grid driver reads
// single precision, which would change the figures), every other raster
// through GDAL.  Sets the format, the raw width and the default generic name.
void dem_format(RunParameters& p, const std::string& dem, std::string& stem)
{
    namespace fs = std::filesystem;
    const std::string file = fs::path(dem).filename().string();
    stem = fs::path(dem).stem().string();
    if (ends_with_nocase(file, ".asc")) {
        p.format = RunParameters::esri;
        return;
    }
    for (int width : {0, 1}) {
        const std::string suffix = width == 0 ? "_m2.raw" : "_m4.raw";
        if (!ends_with_nocase(file, suffix)) continue;
        const std::string base = dem.substr(0, dem.size() - suffix.size());
        if (is_file(base + (width == 0 ? "_m2.txt" : "_m4.txt")) || !is_file(base + ".hdr")) {
            p.format = RunParameters::raw;
            p.itype = width;
            stem = file.substr(0, file.size() - suffix.size());
            return;
        }
    }
    p.format = RunParameters::gdal;
}

// One end of a sweep: "125", "auto", "auto+20", "auto-200".
bool sweep_end(const std::string& t, MeasureRequest::SweepEnd& e)
{
    if (t.rfind("auto", 0) == 0) {
        e.from_auto = true;
        if (t.size() == 4) return true;
        if (t[4] != '+' && t[4] != '-') return false;
        const std::optional<double> v = parse_double(t.substr(5));
        if (!v) return false;
        e.metres = t[4] == '-' ? -*v : *v;
        return true;
    }
    const std::optional<double> v = parse_double(t);
    if (!v) return false;
    e.metres = *v;
    return true;
}

constexpr int max_sweep_bases = 1000;

std::string quoted_argument(const std::string& a)
{
    if (!a.empty() && a.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_./,:=+") ==
                          std::string::npos)
        return a;
    std::string q = "'";
    for (char c : a) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// measure_options() builds the options through parse_measure, which then
// stops before parsing.
thread_local std::vector<MeasureOption>* collected_options = nullptr;

MeasureRequest describe_options(const CLI::App& app)
{
    for (const CLI::Option* o : app.get_options()) {
        MeasureOption m;
        m.name = o->get_positional() ? o->get_name() : "--" + o->get_lnames().front();
        m.flag = o->get_expected_min() == 0;
        m.type = m.flag ? "" : o->get_type_name();
        m.default_text = o->get_default_str();
        m.description = o->get_description();
        m.required = o->get_required();
        collected_options->push_back(std::move(m));
    }
    return {};
}

}  // namespace

std::vector<MeasureOption> measure_options()
{
    std::vector<MeasureOption> options;
    collected_options = &options;
    parse_measure({});
    collected_options = nullptr;
    return options;
}

MeasureRequest parse_measure(const std::vector<std::string>& args)
{
    CLI::App app{"Measures a volcanic cone from a DEM in one command: the edifice above the base line, its 1 m\n"
                 "slices, slopes, radii, heights and surfaces, the rebuilt un-eroded cone and the erosion.\n"
                 "Writes the results beside the DEM (or in --out) and prints the report and the main figures.",
                 "tephromat measure"};
    app.set_help_flag("-h,--help", "Print this help and exit");
    app.get_formatter()->column_width(34);
    std::string dem, base, centre, centre_xy, centre_lonlat, out, name, format = "geotiff", unit = "m",
                                                                   input_unit = "m", basal = "surface",
                                                                   upper_type = "surface", pictures = "cropped";
    int upper = 0, threads = 0;
    double pixel_size = 0;
    bool quiet = false, dry_run = false, version = false, reproject = false;
    app.add_option("DEM", dem, "The DEM: a GeoTIFF or any raster GDAL reads, an ESRI grid (.asc) or a raw grid\n"
                               "(NAME_m2.raw or NAME_m4.raw with its .txt descriptor)")
        ->required();
    std::string sweep;
    auto* base_option = app.add_option("--base", base,
                                       "Altitude of the volcanic base line, metres, or auto (the lowest at which the\n"
                                       "edifice stays clear of the grid's edges, of cells without data and of higher\n"
                                       "relief); required unless --base-sweep");
    auto* sweep_option = app.add_option(
        "--base-sweep", sweep,
        "FROM:TO:STEP: measures the cone at each base line (metres; an end may be auto, auto+N,\n"
        "auto-N) and writes only NAME_base_sweep.csv, .png and .svg");
    base_option->excludes(sweep_option);
    sweep_option->excludes(base_option);
    auto* c1 = app.add_option("--centre", centre,
                              "Centre point: LINE,COLUMN of the grid, or summit (the DEM's highest cell),\n"
                              "crater (the deepest closed depression around the summit, above the base line)\n"
                              "or calculated (the gravity centre of the cells above the base line)");
    auto* c2 = app.add_option("--centre-xy", centre_xy, "Centre point X,Y in the raster's coordinate system");
    auto* c3 = app.add_option("--centre-lonlat", centre_lonlat, "Centre point LON,LAT in degrees (WGS 84)");
    c1->excludes(c2)->excludes(c3);
    c2->excludes(c1)->excludes(c3);
    c3->excludes(c1)->excludes(c2);
    app.add_option("--out", out, "Folder of the results, created if missing")->default_str("the DEM's folder");
    app.add_option("--name", name, "Generic name of the results")->default_str("the DEM's name");
    app.add_option("--format", format, "Output DEMs: geotiff, esri, raw16 or raw32")->default_str("geotiff");
    app.add_option("--unit", unit, "Unit of the output DEMs' samples: m, dm, cm or mm")->default_str("m");
    app.add_option("--input-unit", input_unit, "Unit of a raw DEM's samples: m, dm, cm or mm")->default_str("m");
    CLI::Option* pixel_size_given =
        app.add_option("--pixel-size", pixel_size, "Pixel size in metres, for a raster without georeferencing")
            ->default_str("the raster's");
    app.add_flag("--reproject", reproject,
                 "Warp a DEM in degrees or feet to the UTM zone of its centre (bilinear, in memory)")
        ->default_str("off");
    app.add_option("--basal-slice", basal, "Basal slice of the gravity-centre model: surface or perimeter")
        ->default_str("surface");
    app.add_option("--upper-slices", upper, "Upper slices in the gravity-centre model: 2 to 10, or 0 for none")
        ->default_str("0");
    app.add_option("--upper-type", upper_type, "Upper slices drawn as surface or perimeter")->default_str("surface");
    app.add_option("--pictures", pictures, "Pictures cropped to the edifice, or full (the whole DEM)")
        ->default_str("cropped");
    CLI::Option* threads_given =
        app.add_option("--threads", threads, "Threads, 1 to 1024")->default_str("TEPHROMAT_THREADS or the cores");
    app.add_flag("--quiet", quiet, "Print nothing but errors")->default_str("off");
    app.add_flag("--dry-run", dry_run, "Describe the DEM, the centre and the edifice, and write nothing")
        ->default_str("off");
    // The published figures.
    std::string outline, crater, basal_surface = "idw", anchor = "base", summit_rule = "break", shape_range = "cutoff",
                                 slope = "d8", slope_regions = "heights", sink_fill = "keep-crater", eroded = "hull";
    double idw_power = 2, contour_fraction = 0.05, summit_fraction = 0.7;
    std::optional<double> contour_interval, summit_z;
    bool fix_outline = false, clip_indices = false;
    app.add_option("--outline", outline,
                   "The edifice as a polygon (GeoPackage, shapefile, GeoJSON...): its cells, above a basal\n"
                   "surface interpolated from its vertices; --base then defaults to its lowest vertex")
        ->default_str("none: the edifice above the horizontal base line");
    app.add_flag("--fix-outline", fix_outline, "Make an invalid outline or crater polygon valid, not refuse it")
        ->default_str("off");
    app.add_option("--crater", crater, "The crater as a polygon file, or none")
        ->default_str("the closed depression round the centre, when the run finds a crater");
    app.add_option("--basal-surface", basal_surface, "Basal surface of an outline: idw, natural, tin, plane or lowest")
        ->default_str("idw");
    app.add_option("--idw-power", idw_power, "Power of the inverse-distance weights")->default_str("2");
    CLI::Option* fraction_given =
        app.add_option("--contour-fraction", contour_fraction, "Contour interval as a fraction of the relief")
            ->default_str("0.05");
    app.add_option("--contour-interval", contour_interval, "Contour interval in metres")
        ->default_str("the fraction of the relief")
        ->excludes(fraction_given);
    app.add_option("--contour-anchor", anchor, "Contours from the base up (base) or at multiples of the interval")
        ->default_str("base");
    app.add_option("--summit-rule", summit_rule, "Summit region from the slope break (break) or at --summit-z (user)")
        ->default_str("break");
    app.add_option("--summit-z", summit_z, "Altitude of the summit region's contour, metres (with --summit-rule user)")
        ->default_str("none");
    app.add_option("--summit-fraction", summit_fraction, "Height fraction of the shape's cutoff: contours averaged up to it")
        ->default_str("0.7");
    app.add_option("--shape-range", shape_range, "Contours averaged for the plan shape: cutoff (below the summit) or all")
        ->default_str("cutoff");
    app.add_flag("--clip-indices", clip_indices, "Clip the indices: EI above 3 to 3, II above 2 to 2, II below 1 left out")->default_str("off");
    app.add_option("--slope", slope, "Slope of a cell: d8 (steepest neighbour) or horn")->default_str("d8");
    app.add_option("--slope-regions", slope_regions, "Flank regions by height (heights) or by the slope break (native)")
        ->default_str("heights");
    app.add_option("--sink-fill", sink_fill, "Sinks filled before the slopes: keep-crater, all or none")
        ->default_str("keep-crater");
    app.add_option("--eroded-volume", eroded, "Minimum eroded volume under the hulls (hull) or by layers")
        ->default_str("hull");
    app.add_flag("--version", version, "Print the version and exit");
    if (collected_options) return describe_options(app);

    // As a command line, so that CLI11 names what it did not expect in the
    // order typed.
    std::vector<const char*> argv{"tephromat measure"};
    for (const std::string& a : args) argv.push_back(a.c_str());
    try {
        // --help and --version need no other option.
        for (const std::string& a : args) {
            if (a == "--help" || a == "-h") throw ShowText{app.help()};
            if (a == "--version") throw ShowText{"tephromat " TEPHROMAT_VERSION "\n"};
        }
        app.parse(int(argv.size()), argv.data());
    } catch (const CLI::ExtrasError&) {
        std::string what = "The following arguments were not expected:";
        for (const std::string& a : app.remaining()) what += " " + a;
        usage(what);
    } catch (const CLI::ParseError& e) {
        std::string what = e.what();
        for (char& ch : what)
            if (ch == '\n') ch = ' ';
        usage(what);
    }

    MeasureRequest r;
    RunParameters& p = r.params;
    r.dem = dem;
    p.nomim1 = dem;
    std::string stem;
    dem_format(p, dem, stem);

    // The base line, or the bases of a sweep.
    if (base.empty() && sweep.empty() && outline.empty()) usage("--base is required (or --base-sweep, or --outline)");
    p.base_given = !base.empty() || !sweep.empty();
    if (!sweep.empty()) {
        r.sweep = true;
        const std::size_t a = sweep.find(':'), b = a == std::string::npos ? a : sweep.find(':', a + 1);
        const std::optional<double> step =
            b == std::string::npos ? std::nullopt : parse_double(sweep.substr(b + 1));
        if (b == std::string::npos || !sweep_end(sweep.substr(0, a), r.sweep_from) ||
            !sweep_end(sweep.substr(a + 1, b - a - 1), r.sweep_to) || !step)
            usage("--base-sweep: \"" + visible_excerpt(sweep) +
                  "\" is not FROM:TO:STEP (metres; an end may be auto, auto+N or auto-N)");
        if (!(*step > 0)) usage("--base-sweep: the step must be above 0 metres");
        r.sweep_step = *step;
        if (r.sweep_from.from_auto == r.sweep_to.from_auto) sweep_bases(r, 0, false);  // checked now when it can be
        p.base_auto = r.sweep_from.from_auto || r.sweep_to.from_auto;
    } else if (base == "auto") {
        p.base_auto = true;
    } else if (!base.empty()) {
        const std::optional<double> b = parse_double(base);
        if (!b) usage("--base: \"" + visible_excerpt(base) + "\" is not a number of metres, nor auto");
        if (!(*b > -2147483648.0 && *b < 2147483647.0))
            usage("--base: " + base + " is outside the signed 32-bit range");
        p.dbase = *b;
    }

    // The centre.
    CentreRequest& c = r.centre;
    if (!centre.empty()) {
        c.option = "--centre";
        if (centre == "summit") {
            c.kind = CentreRequest::summit;
        } else if (centre == "crater") {
            c.kind = CentreRequest::crater;
        } else if (centre == "calculated") {
            c.kind = CentreRequest::calculated;
        } else {
            double line, column;
            if (!number_pair(centre, line, column) || line != std::floor(line) || column != std::floor(column))
                usage("--centre: \"" + visible_excerpt(centre) +
                      "\" is not LINE,COLUMN (two whole numbers), summit, crater or calculated");
            c.kind = CentreRequest::cell;
            c.a = line;
            c.b = column;
        }
    } else if (!centre_xy.empty()) {
        c.option = "--centre-xy";
        c.kind = CentreRequest::map_xy;
        if (!number_pair(centre_xy, c.a, c.b)) usage("--centre-xy: \"" + visible_excerpt(centre_xy) + "\" is not X,Y");
    } else if (!centre_lonlat.empty()) {
        c.option = "--centre-lonlat";
        c.kind = CentreRequest::lonlat;
        if (!number_pair(centre_lonlat, c.a, c.b) || std::fabs(c.a) > 360 || std::fabs(c.b) > 90)
            usage("--centre-lonlat: \"" + visible_excerpt(centre_lonlat) +
                  "\" is not LON,LAT in degrees (latitude -90 to 90)");
    } else {
        usage("the centre point is required: --centre, --centre-xy or --centre-lonlat");
    }
    if (p.base_auto && c.kind == CentreRequest::calculated)
        usage("--base auto: the calculated centre depends on the base line; give the centre, or a base in metres");

    // The results.
    namespace fs = std::filesystem;
    r.dem_folder_out = out.empty();
    std::string folder = out.empty() ? fs::path(dem).parent_path().string() : out;
    if (folder.empty()) folder = ".";
    struct stat st;
    if (!out.empty() && stat(out.c_str(), &st) == 0 && !S_ISDIR(st.st_mode))
        usage("--out: " + out + " is a file, not a folder");
    if (folder.back() != '/') folder += '/';
    p.folder = folder;
    p.nomgene = name.empty() ? stem : name;
    if (const std::string why = file_name_problem(p.nomgene); !why.empty())
        usage("--name: \"" + visible_excerpt(p.nomgene) + "\" is refused : " + why);
    const int f = one_of("--format", format, {"geotiff", "esri", "raw16", "raw32"});
    p.format_out = f == 0 ? 2 : f == 1 ? 0 : 1;
    p.itype_out = f == 3 ? 1 : 0;
    p.dyn_scale_out = one_of("--unit", unit, {"m", "dm", "cm", "mm"});
    p.interv = one_of("--input-unit", input_unit, {"m", "dm", "cm", "mm"});
    if (p.interv != 0 && p.format != RunParameters::raw)
        usage("--input-unit: only a raw grid's samples may be in another unit than the metre");
    // 0 stands for "not given" inside; typed, it is no pixel size.
    if (!(pixel_size >= 0 && pixel_size < 2147483648.0) || (pixel_size_given->count() > 0 && pixel_size < DBL_MIN))
        usage("--pixel-size: must be above 0 metres (and its square too)");
    p.dpix_size = pixel_size;
    p.pix_size = int(pixel_size);
    p.reproject = reproject;
    p.Basic_Slice = one_of("--basal-slice", basal, {"surface", "perimeter"});
    if (upper != 0 && (upper < 2 || upper > 10)) usage("--upper-slices: " + std::to_string(upper) + " is not 0 or 2 to 10");
    p.UpSliVisu = upper == 0 ? 1 : 0;
    p.NumSlices = upper;
    p.VisuType = one_of("--upper-type", upper_type, {"surface", "perimeter"});
    r.full_pictures = one_of("--pictures", pictures, {"cropped", "full"}) == 1;
    if (threads < 0 || threads > 1024 || (threads_given->count() > 0 && threads == 0))
        usage("--threads: " + std::to_string(threads) + " is not 1 to 1024");
    r.threads = threads;
    r.quiet = quiet;
    r.dry_run = dry_run;

    // The published figures.
    MorphometryOptions& m = p.morphometry;
    p.outline_file = outline;
    p.fix_outline = fix_outline;
    if (crater == "none")
        m.crater = CraterOption::none;
    else
        p.crater_file = crater;
    m.basal_surface = BasalMethod(one_of("--basal-surface", basal_surface, {"idw", "natural", "tin", "plane", "lowest"}));
    if (!(idw_power > 0 && idw_power <= 64)) usage("--idw-power: must be above 0 (and at most 64)");
    m.idw_power = idw_power;
    if (!(contour_fraction > 0 && contour_fraction < 1)) usage("--contour-fraction: must lie between 0 and 1");
    m.contour_fraction = contour_fraction;
    if (contour_interval && !(*contour_interval > 0 && *contour_interval < 1e7))
        usage("--contour-interval: must be above 0 metres");
    m.contour_interval = contour_interval;
    m.contour_anchor = ContourAnchor(one_of("--contour-anchor", anchor, {"base", "multiple"}));
    m.summit_rule = SummitRule(one_of("--summit-rule", summit_rule, {"break", "user"}));
    if (m.summit_rule == SummitRule::user && !summit_z) usage("--summit-rule user: give the altitude with --summit-z");
    if (summit_z && m.summit_rule != SummitRule::user) usage("--summit-z: only with --summit-rule user");
    if (summit_z && !std::isfinite(*summit_z)) usage("--summit-z: not a number of metres");
    m.summit_z = summit_z;
    if (!(summit_fraction > 0 && summit_fraction < 1)) usage("--summit-fraction: must lie between 0 and 1");
    m.summit_fraction = summit_fraction;
    m.shape_range = ShapeRange(one_of("--shape-range", shape_range, {"cutoff", "all"}));
    m.clip_indices = clip_indices;
    m.slope = SlopeMethod(one_of("--slope", slope, {"d8", "horn"}));
    m.slope_regions = SlopeRegions(one_of("--slope-regions", slope_regions, {"heights", "native"}));
    m.sink_fill = SinkFill(one_of("--sink-fill", sink_fill, {"keep-crater", "all", "none"}));
    m.eroded_volume = ErodedMethod(one_of("--eroded-volume", eroded, {"hull", "layers"}));
    if (!outline.empty() && r.sweep) usage("--outline: a base sweep measures the edifice above horizontal base lines");
    if (outline.empty() && basal_surface != "idw")
        usage("--basal-surface: only an outline's edifice has a basal surface to interpolate");

    r.command_line = "tephromat measure";
    for (const std::string& a : args) r.command_line += " " + quoted_argument(a);
    return r;
}

std::vector<double> sweep_bases(const MeasureRequest& r, double auto_base, bool auto_known)
{
    const double from = r.sweep_from.metres + (r.sweep_from.from_auto ? auto_base : 0);
    const double to = r.sweep_to.metres + (r.sweep_to.from_auto ? auto_base : 0);
    // Both ends from the automatic base, before it is known: named as typed.
    auto end = [&](double m, bool from_auto) {
        return from_auto && !auto_known ? (m == 0 ? std::string("auto") : cfmt("auto%+.10g", m)) : cfmt("%.10g m", m);
    };
    if (from > to)
        usage(cfmt("--base-sweep: FROM (%s) is above TO (%s)", end(from, r.sweep_from.from_auto).c_str(),
                   end(to, r.sweep_to.from_auto).c_str()));
    const double n = std::floor((to - from) / r.sweep_step * (1 + 1e-12)) + 1;
    if (n > max_sweep_bases)
        usage(cfmt("--base-sweep: %.0f bases, more than the %d a sweep may have", n, max_sweep_bases));
    // Each base to the nanometre: 124.1 + 6 x 0.1 is 124.69999999999999,
    // and the sweep's row is that of --base 124.7.
    std::vector<double> bases;
    for (int k = 0; k < int(n); ++k) bases.push_back(std::round((from + k * r.sweep_step) * 1e9) / 1e9);
    return bases;
}

namespace {

// The sweep's plot: present and eroded volumes, height and basal width
// against the base line; the automatic base and the open edifices marked.
Plot sweep_plot(const std::vector<SweepRow>& rows, const Workspace& ws)
{
    auto column = [](const SweepRow& r, const char* name) {
        for (const auto& [n, v] : r.columns)
            if (n == name) return v.empty() ? std::nan("") : std::strtod(v.c_str(), nullptr);
        return std::nan("");
    };
    Series volume{"present volume", {0.13, 0.4, 0.65}, {}, {}}, eroded{"eroded volume", {0.85, 0.45, 0.1}, {}, {}};
    Series height{"height", {0.2, 0.55, 0.3}, {}, {}}, widthw{"basal width", {0.45, 0.25, 0.6}, {}, {}};
    Plot plot;
    for (const SweepRow& r : rows) {
        for (Series* s : {&volume, &eroded, &height, &widthw}) s->x.push_back(r.base);
        volume.y.push_back(column(r, "volume_km3"));
        eroded.y.push_back(column(r, "eroded_volume_km3"));
        height.y.push_back(column(r, "height_m"));
        const double s2d = column(r, "surface_2d_km2");
        widthw.y.push_back(std::isfinite(s2d) ? 2 * std::sqrt(s2d * 1e6 / (4.0 * std::atan(1.0))) : std::nan(""));
        std::string warnings;
        for (const auto& [n, v] : r.columns)
            if (n == "warnings") warnings = ";" + v + ";";
        if (warnings.find(";border;") != std::string::npos || warnings.find(";nodata;") != std::string::npos)
            plot.shaded.emplace_back(r.base - 0.5 * (rows.size() > 1 ? rows[1].base - rows[0].base : 1),
                                     r.base + 0.5 * (rows.size() > 1 ? rows[1].base - rows[0].base : 1));
    }
    plot.title = ws.nomgene + " : the figures against the base line";
    plot.x_label = "base line (m)";
    plot.panels = {{"Volume", "km\u00b3", {volume, eroded}},
                   {"Volcanic height", "m", {height}},
                   {"Basal width W = 2 \u221a(S / \u03c0), S the planimetric surface", "m", {widthw}}};
    if (ws.auto_base.chosen) plot.lines.emplace_back(ws.auto_base.base, cfmt("automatic base %d m", ws.auto_base.base));
    plot.shaded_label = "edifice open: it reaches the grid's edge or cells without data (warning border or nodata)";
    return plot;
}

// Creates the results' folder and its missing parents, and adds those it
// made to `made` (deepest first): a run that fails removes them again.
void make_results_folder(const std::string& folder, std::vector<std::filesystem::path>& made)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path f(folder);
    while (!f.empty() && !f.has_filename()) f = f.parent_path();  // "a/b/" is "a/b"
    for (; !f.empty() && !fs::exists(f, ec); f = f.parent_path()) {
        made.push_back(f);
        if (f == f.parent_path()) break;
    }
    fs::create_directories(folder, ec);
    if (ec) fail(cfmt("--out: cannot create the folder %s (%s)", folder.c_str(), ec.message().c_str()));
}

// The folders a failed run made, when it left nothing in them.
void remove_made_folders(const std::vector<std::filesystem::path>& made)
{
    std::error_code ec;
    for (const std::filesystem::path& f : made) std::filesystem::remove(f, ec);  // an empty folder only
}

// Measures every base of the sweep, and writes its table and plot.
void run_sweep(Workspace& ws, const MeasureRequest& r, std::ostream& results,
               std::vector<std::filesystem::path>& made)
{
    // The automatic base is marked on the plot whenever the centre has one.
    if (!ws.auto_base.chosen && r.centre.kind != CentreRequest::calculated) {
        const double typed = ws.params.dbase;
        try {
            set_auto_base(ws, "--base-sweep");
        } catch (const RunEnd&) {
        }
        ws.params.dbase = typed;
    }
    const std::vector<double> bases = sweep_bases(r, ws.auto_base.chosen ? ws.auto_base.base : 0);
    const std::vector<SweepRow> rows = base_sweep(ws, bases, r.centre);
    const RunParameters& p = ws.params;
    make_results_folder(p.folder, made);
    ws.nomgene = p.nomgene;
    ws.lock.take(p.folder, p.nomgene, *ws.err);
    const std::string stem = p.folder + p.nomgene + "_base_sweep";
    const std::string csv = base_sweep_csv(rows);
    OutFile f = ws.create(stem + ".csv", false);
    f.write(csv.data(), csv.size());
    f.close();
    const std::string png = ws.create_for_gdal(stem + ".png"), svg = ws.create_for_gdal(stem + ".svg");
    draw_plot(sweep_plot(rows, ws), png, svg, stem + ".png", stem + ".svg");
    ws.close_all();
    if (r.quiet) return;
    results << cfmt("%10s  %-12s %12s %12s %9s %10s  %s\n", "base_m", "status", "volume_km3", "eroded_km3", "height_m",
                    "warnings", "");
    for (const SweepRow& row : rows) {
        std::string volume, eroded, height, warnings;
        auto shown = [](const std::string& v) { return v.empty() ? v : cfmt("%.6g", std::strtod(v.c_str(), nullptr)); };
        for (const auto& [n, v] : row.columns) {
            if (n == "volume_km3") volume = shown(v);
            if (n == "eroded_volume_km3") eroded = shown(v);
            if (n == "height_m") height = shown(v);
            if (n == "warnings") warnings = v;
        }
        results << cfmt("%10.10g  %-12s %12s %12s %9s %10s\n", row.base, row.status == "ok" ? "ok" : "failed",
                        volume.c_str(), eroded.c_str(), height.c_str(), warnings.c_str());
    }
    results << "Written: " << stem << ".csv, .png, .svg\n";
}

}  // namespace

int run_measure(Workspace& ws, const MeasureRequest& r, std::ostream& results)
{
    ws.params = r.params;
    ws.command_line = r.command_line;
    ws.crop_pictures = !r.full_pictures;
    std::vector<std::filesystem::path> made;
    try {
        try {
            RunParameters& p = ws.params;
            begin_stage(ws, "opening");
            std::string notes;
            if (p.format == RunParameters::raw) {
                if (!dem_exists(p.nomim1)) fail(cfmt("cannot read %s (no such file)", p.nomim1.c_str()));
                const RawDescriptor d = read_raw_descriptor(ws);
                if (!d.found)
                    fail(cfmt("%s has no descriptor %s (nor an ENVI header .hdr) : its lines and columns are unknown",
                              p.nomim1.c_str(), d.path.c_str()));
                notes = read_dem(ws, d);
            } else {
                notes = read_dem(ws);
            }
            if (p.format == RunParameters::esri && p.dpix_size > 0 &&
                std::fabs(p.dpix_size - ws.dpix_size) > std::fabs(ws.dpix_size) * 1e-6)
                fail(cfmt("--pixel-size %g differs from the cellsize %g of %s : the pixel size comes from the raster",
                          p.dpix_size, ws.dpix_size, p.nomim1.c_str()));
            if (!notes.empty() && !r.quiet) *ws.err << note_lines(notes);
            dem_dimensions(ws);
            dem_range(ws);
            dem_in_metres(ws);
            set_pixel_size(ws);
            set_outline_edifice(ws);
            if (const std::string note = resolve_centre(ws, r.centre); !note.empty() && !r.quiet)
                *ws.err << note_lines(note);
            if (p.base_auto) set_auto_base(ws, r.sweep ? "--base-sweep" : "--base auto");
            if (r.sweep && !r.dry_run) {
                run_sweep(ws, r, results, made);
                return 0;
            }
            if (r.dry_run) {
                if (!r.sweep) {
                    results << dry_run_text(ws);
                    return 0;
                }
                // A sweep's bases, refused as the run would refuse them; the
                // edifice described is the lowest base's, the largest.
                const std::vector<double> bases = sweep_bases(r, ws.auto_base.chosen ? ws.auto_base.base : 0);
                p.dbase = bases.front();
                results << dry_run_text(ws)
                        << cfmt("Base sweep     %zu bases, %.10g to %.10g m: the lines above are the lowest one's\n",
                                bases.size(), bases.front(), bases.back());
                return 0;
            }
            begin_stage(ws, "parameters2");
            make_results_folder(p.folder, made);
            prepare_results(ws);
            set_base_line(ws);
            set_centre(ws);
            write_report_header(ws);
            set_model_display(ws);
            measure_and_rebuild(ws);
        } catch (const std::bad_alloc&) {
            fail(cfmt("not enough memory for a DEM of %d lines x %d columns", ws.nb_lig, ws.nb_col));
        }
    } catch (const RunEnd& end) {
        if (end.status != 0) {
            ws.remove_created();
            remove_made_folders(made);
        }
        ws.progress.clear();
        std::string message = end.message;
        const std::string mark = "\n\tError : ";
        if (message.compare(0, mark.size(), mark) == 0) message = "tephromat: " + message.substr(mark.size());
        *ws.err << message;
        return end.status;
    } catch (const UsageError& e) {  // a sweep whose ends depend on the automatic base
        ws.remove_created();
        remove_made_folders(made);
        *ws.err << e.message << "\n";
        return 2;
    }
    if (!r.quiet) {
        // The warnings are in the report, and on standard error too: a report
        // sent to a file does not hide them.
        for (const Workspace::Warning& w : ws.warnings) {
            std::istringstream words(w.text);
            std::string word, line;
            while (words >> word) line += (line.empty() ? "" : " ") + word;
            *ws.err << "tephromat: " << line << "\n";
        }
        results << report_and_figures(ws);
        // The report goes out once the results are in place: when it cannot
        // be written the run fails, and says that its results are whole.
        errno = 0;
        results.flush();
        if (results.fail()) {
            const int e = errno;
            *ws.err << "tephromat: cannot write the standard output" << (e ? std::string(" : ") + std::strerror(e) : "")
                    << " : the results are written all the same, in "
                    << (ws.params.folder.empty() ? "." : ws.params.folder) << "\n";
            return 1;
        }
    }
    return 0;
}

int measure_main(const std::vector<std::string>& args)
{
    MeasureRequest r;
    try {
        r = parse_measure(args);
    } catch (const ShowText& t) {
        std::cout << t.text;
        return 0;
    } catch (const UsageError& e) {
        std::cerr << e.message << "\n";
        return 2;
    }
    if (r.threads > 0) set_thread_count(r.threads);
    // The transcript of the dialogue's steps is not shown: the report is,
    // once the run is done.
    std::ostringstream transcript;
    std::istringstream no_answers;
    Workspace ws(no_answers, transcript);
    ws.err = &std::cerr;
    if (!r.quiet && isatty(STDERR_FILENO)) ws.progress.show_on(&std::cerr);
    return run_measure(ws, r, std::cout);
}
