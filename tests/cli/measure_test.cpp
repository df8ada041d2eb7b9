// `tephromat measure`: its options, the same figures as the dialogue, the
// centre in every form on the georeferenced sample, GeoTIFF outputs read back
// by GDAL, and a dry run that writes nothing.
#include <gtest/gtest.h>

#include <gdal.h>
#include <ogr_api.h>
#include <ogr_srs_api.h>

#include <cmath>
#include <filesystem>
#include <sstream>

#include "measure.hpp"
#include "stage_support.hpp"

namespace {

const std::string lidar = std::string(EXAMPLES_DIR) + "/maunga-whau-lidar/maungawhau_lidar_10m_nztm.tif";

std::vector<std::string> words(const std::string& s)
{
    std::istringstream in(s);
    std::vector<std::string> w;
    for (std::string t; in >> t;) w.push_back(t);
    return w;
}

// The program run as `tephromat measure ARGS`, standard error kept apart.
std::string measure(const std::string& args, int* status, std::string* errors = nullptr)
{
    const std::string err = std::filesystem::temp_directory_path() / ("measure-err-" + std::to_string(getpid()));
    std::string out = command_output(shell_quote(TEPHROMAT_EXE) + " measure " + args + " 2> " + shell_quote(err), status);
    if (errors) *errors = read_file(err);
    std::filesystem::remove(err);
    return out;
}

// The report without the lines that name files (paths differ between runs).
std::string report_figures(const std::string& report)
{
    std::string kept;
    std::istringstream in(report);
    for (std::string line; std::getline(in, line);)
        if (line.find("saved as") == std::string::npos && line.find("Name of the treated file") == std::string::npos)
            kept += line + "\n";
    return kept;
}

}  // namespace

TEST(Measure, OptionsTable)
{
    const std::string dem = "cone.asc --base 125 ";
    struct Row {
        std::string args, error;  // error empty: accepted
    } rows[] = {
        {dem + "--centre 27,29", ""},
        {dem + "--centre summit --format raw16 --unit mm --upper-slices 4 --upper-type perimeter", ""},
        {dem + "--centre-xy 1757235,5917295 --basal-slice perimeter --threads 3", ""},
        {dem + "--centre-lonlat 174.7642,-36.8772 --name other --out results", ""},
        {"cone.asc --centre 27,29", "--base is required"},
        {dem, "the centre point is required"},
        {dem + "--centre 27,29 --fast", "--fast"},
        {dem + "--centre", "--centre"},
        {"cone.asc --base high --centre 27,29", "--base: \"high\" is not a number of metres"},
        {"cone.asc --base 3e9 --centre 27,29", "--base: 3e9 is outside the signed 32-bit range"},
        {dem + "--centre 27.5,29", "--centre: \"27.5,29\" is not LINE,COLUMN"},
        {dem + "--centre top", "--centre: \"top\" is not LINE,COLUMN (two whole numbers), summit, crater or calculated"},
        {dem + "--centre 27,29 --centre-xy 1,2", "excludes"},
        {dem + "--centre-lonlat 174.7,-95", "--centre-lonlat: \"174.7,-95\" is not LON,LAT"},
        {dem + "--centre 27,29 --format png", "--format: \"png\" is not one of geotiff, esri, raw16, raw32"},
        {dem + "--centre 27,29 --unit km", "--unit: \"km\" is not one of m, dm, cm, mm"},
        {dem + "--centre 27,29 --upper-slices 11", "--upper-slices: 11 is not 0 or 2 to 10"},
        {dem + "--centre 27,29 --upper-slices 1", "--upper-slices: 1 is not 0 or 2 to 10"},
        {dem + "--centre 27,29 --threads 0x", "--threads"},
        {dem + "--centre 27,29 --threads 2000", "--threads: 2000 is not 1 to 1024"},
        {dem + "--centre 27,29 --threads 0", "--threads: 0 is not 1 to 1024"},
        {dem + "--centre 27,29 --pixel-size 0", "--pixel-size: must be above 0 metres (and its square too)"},
        {dem + "--centre 27,29 --pixel-size 1e-310", "--pixel-size: must be above 0 metres (and its square too)"},
        {dem + "--centre 27,29 --contour-fraction 0.1 --contour-interval 2", "excludes"},
        {dem + "--centre 27,29 --foo 1 extra", "were not expected: --foo 1 extra"},
        {dem + "--centre 27,29 --name a/b", "--name: \"a/b\" is refused"},
        {dem + "--centre 27,29 --input-unit cm", "--input-unit: only a raw grid's samples"},
        {dem + "--centre 27,29 --out " + std::string(TEPHROMAT_EXE), "is a file, not a folder"},
        {"cone.asc --base auto --centre 27,29", ""},
        {"cone.asc --base auto --centre calculated", "--base auto: the calculated centre depends on the base line"},
        {"cone.asc --base-sweep auto-200:auto+200:20 --centre 27,29", ""},
        {"cone.asc --base-sweep 100:130:1 --centre 27,29", ""},
        {"cone.asc --base-sweep 130:100:1 --centre 27,29", "--base-sweep: FROM (130 m) is above TO (100 m)"},
        {"cone.asc --base-sweep auto+5:auto-2:1 --centre 27,29", "--base-sweep: FROM (auto+5) is above TO (auto-2)"},
        {"cone.asc --base-sweep 100:130:0 --centre 27,29", "--base-sweep: the step must be above 0 metres"},
        {"cone.asc --base-sweep 0:2000:1 --centre 27,29", "--base-sweep: 2001 bases, more than the 1000"},
        {"cone.asc --base-sweep 100-130 --centre 27,29", "--base-sweep: \"100-130\" is not FROM:TO:STEP"},
        {"cone.asc --base-sweep auto*2:130:1 --centre 27,29", "is not FROM:TO:STEP"},
        {dem + "--base-sweep 1:2:1 --centre 27,29", "excludes"},
        {"cone.asc --outline o.gpkg --centre 27,29 --basal-surface tin --crater none --slope horn", ""},
        {"cone.asc --outline o.gpkg --base 120 --centre 27,29 --crater c.shp --fix-outline --eroded-volume layers", ""},
        {dem + "--centre 27,29 --summit-rule user --summit-z 180 --contour-interval 5 --contour-anchor multiple", ""},
        {dem + "--centre 27,29 --shape-range all --clip-indices --slope-regions native --sink-fill none", ""},
        {"cone.asc --outline o.gpkg --centre 27,29 --basal-surface spline", "--basal-surface: \"spline\" is not one of"},
        {dem + "--centre 27,29 --basal-surface tin", "--basal-surface: only an outline's edifice"},
        {"cone.asc --outline o.gpkg --base-sweep 1:2:1 --centre 27,29", "--outline: a base sweep measures"},
        {dem + "--centre 27,29 --summit-rule user", "--summit-rule user: give the altitude with --summit-z"},
        {dem + "--centre 27,29 --summit-z 180", "--summit-z: only with --summit-rule user"},
        {dem + "--centre 27,29 --contour-fraction 1.5", "--contour-fraction: must lie between 0 and 1"},
        {dem + "--centre 27,29 --contour-interval -5", "--contour-interval: must be above 0 metres"},
        {dem + "--centre 27,29 --idw-power 0", "--idw-power: must be above 0"},
        {dem + "--centre 27,29 --sink-fill some", "--sink-fill: \"some\" is not one of keep-crater, all, none"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args);
        try {
            const MeasureRequest r = parse_measure(words(row.args));
            EXPECT_EQ(row.error, "") << "accepted";
            EXPECT_EQ(r.params.nomgene, row.args.find("--name") == std::string::npos ? "cone" : "other");
        } catch (const UsageError& e) {
            EXPECT_NE(row.error, "") << e.message;
            EXPECT_NE(e.message.find(row.error), std::string::npos) << e.message;
            EXPECT_EQ(e.message.find('\n'), std::string::npos) << "one line: " << e.message;
            EXPECT_EQ(e.message.rfind("tephromat measure: ", 0), 0u) << e.message;
        }
    }
    // What the options set.
    const MeasureRequest r = parse_measure(words(dem + "--centre 27,29 --format raw16 --unit mm --upper-slices 4"));
    EXPECT_EQ(r.params.format, RunParameters::esri);
    EXPECT_EQ(r.params.format_out, 1);
    EXPECT_EQ(r.params.itype_out, 0);
    EXPECT_EQ(r.params.dyn_scale_out, 3);
    EXPECT_EQ(r.params.UpSliVisu, 0);
    EXPECT_EQ(r.params.NumSlices, 4);
    EXPECT_EQ(r.params.folder, "./");
    EXPECT_EQ(r.centre.kind, CentreRequest::cell);
    EXPECT_TRUE(r.params.base_given);
    const MeasureRequest o = parse_measure(words("cone.asc --outline o.gpkg --centre 1,1 --basal-surface plane "
                                                 "--crater none --summit-rule user --summit-z 180.5"));
    EXPECT_FALSE(o.params.base_given);
    EXPECT_EQ(o.params.outline_file, "o.gpkg");
    EXPECT_EQ(o.params.morphometry.basal_surface, BasalMethod::plane);
    EXPECT_EQ(o.params.morphometry.crater, CraterOption::none);
    EXPECT_EQ(o.params.morphometry.summit_z, 180.5);

    // The help lists every option with its default; a usage error is status 2.
    int status = -1;
    const std::string help = measure("--help", &status);
    EXPECT_EQ(status, 0);
    for (const char* option : {"--base", "--centre", "--centre-xy", "--centre-lonlat", "--out", "--name",
                               "--format TEXT=geotiff", "--unit TEXT=m", "--basal-slice TEXT=surface",
                               "--upper-slices INT=0", "--upper-type TEXT=surface", "--threads", "--quiet",
                               "--dry-run", "--version", "--pixel-size", "--input-unit", "--reproject",
                               "--pictures TEXT=cropped", "--outline", "--basal-surface TEXT=idw",
                               "--contour-fraction FLOAT=0.05", "--eroded-volume TEXT=hull"})
        EXPECT_NE(help.find(option), std::string::npos) << option;
    std::string errors;
    measure("x.asc --base 1 --centre 1,1 --unit km", &status, &errors);
    EXPECT_EQ(status, 2);
    EXPECT_EQ(errors, "tephromat measure: --unit: \"km\" is not one of m, dm, cm, mm\n");
}

// The same answers through the dialogue and through the options: the same
// report figures, tables and output DEMs.
TEST(Measure, SameFiguresAsTheDialogue)
{
    TempRoot root;
    const std::string site = maunga_whau_site(root);
    ASSERT_EQ(run_program("site\nmaunga_whau\n0\n10\n1\nd\n0\n125\n0\n27\n29\n0\n0\n4\n1\n\n").status, 0);
    int status = -1;
    const std::string out = root.folder("measured");
    const std::string console =
        measure(shell_quote(site + "maunga_whau.asc") + " --base 125 --centre 27,29 --format esri --upper-slices 4 "
                "--upper-type perimeter --name d --out " + shell_quote(out),
                &status);
    ASSERT_EQ(status, 0) << console;
    for (const char* f : {"d_surf_slice.xls", "d_orient.xls", "d_gravcenters.xyz", "d_rec1.asc", "d_eros1.asc",
                          "d_shad1.asc", "d_shaderos1.asc", "d_centres_map.csv"})
        EXPECT_TRUE(read_file(site + f) == read_file(out + f)) << f;
    const std::string report = read_file(out + "d_info.txt");
    EXPECT_EQ(report_figures(read_file(site + "d_info.txt")), report_figures(report));
    // The console shows the report, then the main figures.
    EXPECT_EQ(console.rfind(report, 0), 0u);
    EXPECT_NE(console.find("\t\teroded_volume_km3      0.0016245\n"), std::string::npos) << console;
    // The summaries differ by the DEM's path alone.
    std::string dialogue = read_file(site + "d_summary.csv"), measured = read_file(out + "d_summary.csv");
    EXPECT_EQ(replace_all(dialogue, "site/maunga_whau.asc", "DEM"), replace_all(measured, site + "maunga_whau.asc", "DEM"));
    EXPECT_EQ(read_file(out + "d_command.txt"), std::string("# tephromat ") + TEPHROMAT_VERSION +
                                                    "\ntephromat measure " + site +
                                                    "maunga_whau.asc --base 125 --centre 27,29 --format esri "
                                                    "--upper-slices 4 --upper-type perimeter --name d --out " +
                                                    out + "\n");
    EXPECT_FALSE(file_exists(out + "d_answers.txt"));

    // Standard output on a full disk: the dialogue checks its transcript
    // before its results replace anything; measure prints its report after,
    // and says that the results are whole.
    command_output("printf 'site\\nmaunga_whau\\n0\\n10\\n1\\nfull\\n0\\n125\\n0\\n27\\n29\\n0\\n0\\n4\\n1\\n\\n' | "
                   "TEPHROMAT_ROOT=" + shell_quote(root.path()) + " " + shell_quote(TEPHROMAT_EXE) + " > /dev/full 2>&1",
                   &status);
    EXPECT_EQ(status, 1);
    EXPECT_FALSE(file_exists(site + "full_info.txt"));
    std::string errors;
    measure(shell_quote(site + "maunga_whau.asc") + " --base 125 --centre 27,29 --name full --out " +
                shell_quote(out) + " > /dev/full", &status, &errors);
    EXPECT_EQ(status, 1);
    // (a prefix: a sanitizer's summary may follow)
    EXPECT_EQ(errors.rfind("tephromat: cannot write the standard output : No space left on device : the results are "
                           "written all the same, in " + out + "\n", 0),
              0u) << errors;
    EXPECT_TRUE(file_exists(out + "full_summary.csv"));
}

// Every form of the centre on the georeferenced sample, the GeoTIFF outputs
// as GDAL reads them, and a dry run.
TEST(Measure, GeoTiffSampleCentresAndOutputs)
{
    TempRoot root;
    struct Form {
        std::string option, centre;
    } forms[] = {
        {"--centre-lonlat 174.7642,-36.8772", "line 66, column 33"},
        {"--centre-xy 1757239,5917291", "line 66, column 33"},
        {"--centre 66,33", "line 66, column 33"},
        {"--centre summit", "line 76, column 35"},
        {"--centre crater", "line 65, column 33"},
        {"--centre calculated", "line 58, column 37 (calculated)"},
    };
    int status = -1;
    for (const Form& f : forms) {
        const std::string out = measure(shell_quote(lidar) + " --base 117 --dry-run " + f.option, &status);
        EXPECT_EQ(status, 0) << out;
        EXPECT_NE(out.find("Centre         " + f.centre), std::string::npos) << f.option << "\n" << out;
        EXPECT_NE(out.find("NZGD2000 / New Zealand Transverse Mercator 2000 (EPSG:2193)"), std::string::npos);
    }
    // Closed at 117 m, open at 116 m; a dry run writes nothing, not even its folder.
    const std::string dry = measure(shell_quote(lidar) + " --base 117 --centre 66,33 --dry-run --out " +
                                        shell_quote(root.path() + "never"),
                                    &status);
    EXPECT_NE(dry.find("closed: clear of the grid's edges"), std::string::npos) << dry;
    EXPECT_NE(measure(shell_quote(lidar) + " --base 116 --centre 66,33 --dry-run", &status).find("reaches the edge"),
              std::string::npos);
    EXPECT_FALSE(file_exists(root.path() + "never"));
    // A report that cannot be written is a failed run.
    std::string unwritten;
    measure(shell_quote(lidar) + " --base 117 --centre 66,33 --dry-run > /dev/full", &status, &unwritten);
    EXPECT_EQ(status, 1);
    EXPECT_NE(unwritten.find("tephromat: cannot write the standard output"), std::string::npos) << unwritten;

    // A centre outside the raster: a run error naming the option and the extent.
    std::string errors;
    measure(shell_quote(lidar) + " --base 117 --centre-lonlat 174.8,-36.8772 --out " + shell_quote(root.path() + "o"),
            &status, &errors);
    EXPECT_EQ(status, 1);
    EXPECT_NE(errors.find("tephromat: --centre-lonlat 174.8,-36.8772 lies outside the grid : longitude 174.76"),
              std::string::npos)
        << errors;
    EXPECT_EQ(list_dir(root.path()), std::vector<std::string>{});
    // Nor the folders it made for its results.
    measure(shell_quote(lidar) + " --base 500 --centre 66,33 --out " + shell_quote(root.path() + "made/deeper"),
            &status);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(list_dir(root.path()), std::vector<std::string>{});
    // A warning is said on standard error as well as in the report.
    measure(shell_quote(lidar) + " --base 116 --centre 66,33 --out " + shell_quote(root.path() + "w"), &status, &errors);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(errors.rfind("tephromat: Warning : the edifice reaches the edge of the grid on ", 0), 0u) << errors;
    std::filesystem::remove_all(root.path() + "w");

    // GeoTIFF in centimetres: metres again through the band's scale, on the
    // input's grid; the same bytes when run again.
    const std::string a = root.folder("a"), b = root.folder("b");
    for (const std::string& out : {a, b}) {
        measure(shell_quote(lidar) + " --base 117 --centre 66,33 --unit cm --quiet --out " + shell_quote(out), &status);
        ASSERT_EQ(status, 0);
    }
    write_file(a + ".e.lock", "notes");  // a file of the user's under the lock's name stays
    measure(shell_quote(lidar) + " --base 117 --centre 66,33 --format esri --quiet --name e --out " + shell_quote(a),
            &status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(read_file(a + ".e.lock"), "notes");
    for (const char* f : {"_rec1.tif", "_eros1.tif", "_shad1.tif", "_shaderos1.tif"}) {
        const std::string name = std::string("maungawhau_lidar_10m_nztm") + f;
        EXPECT_TRUE(read_file(a + name) == read_file(b + name)) << f;
    }
    GDALAllRegister();
    GDALDatasetH in = GDALOpen(lidar.c_str(), GA_ReadOnly);
    GDALDatasetH rec = GDALOpen((a + "maungawhau_lidar_10m_nztm_rec1.tif").c_str(), GA_ReadOnly);
    ASSERT_TRUE(in && rec);
    double gt_in[6], gt_rec[6];
    GDALGetGeoTransform(in, gt_in);
    GDALGetGeoTransform(rec, gt_rec);
    for (int k = 0; k < 6; ++k) EXPECT_EQ(gt_in[k], gt_rec[k]);
    EXPECT_EQ(std::string(GDALGetProjectionRef(in)), std::string(GDALGetProjectionRef(rec)));
    GDALRasterBandH band = GDALGetRasterBand(rec, 1);
    EXPECT_EQ(GDALGetRasterDataType(band), GDT_Int32);
    EXPECT_DOUBLE_EQ(GDALGetRasterScale(band, nullptr), 0.01);
    EXPECT_EQ(std::string(GDALGetRasterUnitType(band)), "metre");
    const int nc = GDALGetRasterXSize(rec), nl = GDALGetRasterYSize(rec);
    std::vector<double> cm(std::size_t(nc) * std::size_t(nl));
    ASSERT_EQ(GDALRasterIO(band, GF_Read, 0, 0, nc, nl, cm.data(), nc, nl, GDT_Float64, 0, 0), CE_None);
    GDALClose(rec);
    GDALClose(in);
    // The ESRI output of the same run in metres: whole metres, as the cm.
    const std::string esri = read_file(a + "e_rec1.asc");
    std::istringstream grid(esri);
    std::string word;
    for (int k = 0; k < 12; ++k) grid >> word;  // the six header lines
    for (std::size_t k = 0; k < cm.size(); ++k) {
        double metres = 0;
        grid >> metres;
        ASSERT_EQ(cm[k] * 0.01, metres) << k;
    }
}

// --base auto on the sample stops one metre above the edge; the sweep's rows
// are the summaries of single runs at their bases.
TEST(Measure, AutomaticBaseAndSweep)
{
    TempRoot root;
    const std::string site = maunga_whau_site(root), dem = shell_quote(site + "maunga_whau.asc");
    int status = -1;
    const std::string out = measure(dem + " --base auto --centre 27,29 --quiet --out " + shell_quote(site), &status);
    ASSERT_EQ(status, 0) << out;
    const std::string report = read_file(site + "maunga_whau_info.txt");
    EXPECT_NE(report.find("\n\n\tAltitude of the base line (in meters) = 125 \n\tBase line chosen automatically : 125 m "
                          ": at 124 m the edifice reaches the edge of the grid \n\tTop of the edifice's own relief : "
                          "195 m (line 30, column 19) \n"),
              std::string::npos)
        << report;
    const std::string summary = read_file(site + "maunga_whau_summary.csv");
    EXPECT_NE(summary.find(",base_auto,base_limit,base_limit_m\n"), std::string::npos);
    EXPECT_NE(summary.find(",1,edge,124\n"), std::string::npos) << summary;

    const std::string swept = root.folder("sweep");
    std::string errors;
    measure(dem + " --base-sweep 100:130:1 --centre 27,29 --quiet --out " + shell_quote(swept), &status, &errors);
    ASSERT_EQ(status, 0) << errors;
    EXPECT_EQ(list_dir(swept), (std::vector<std::string>{"maunga_whau_base_sweep.csv", "maunga_whau_base_sweep.png",
                                                         "maunga_whau_base_sweep.svg"}));
    std::istringstream table(read_file(swept + "maunga_whau_base_sweep.csv"));
    std::vector<std::string> lines;
    for (std::string l; std::getline(table, l);) lines.push_back(l);
    ASSERT_EQ(lines.size(), 32u);
    EXPECT_EQ(lines[0].rfind("status,tephromat_version,", 0), 0u);
    for (int base : {110, 125}) {
        const std::string single = root.folder(cfmt("b%d", base));
        measure(dem + " --base " + std::to_string(base) + " --centre 27,29 --quiet --out " + shell_quote(single),
                &status);
        std::istringstream s(read_file(single + "maunga_whau_summary.csv"));
        std::string header, row;
        std::getline(s, header);
        std::getline(s, row);
        EXPECT_EQ(lines[0], std::string("status,").append(header));
        EXPECT_EQ(lines[std::size_t(base - 99)], std::string("ok,").append(row)) << base;
    }
    EXPECT_NE(lines[11].find(",border,"), std::string::npos);  // 110: open
    EXPECT_NE(read_file(swept + "maunga_whau_base_sweep.svg").find("<svg"), std::string::npos);
    // A crater asked for on a cone that has none: the summit, said so.
    std::string plain = "ncols 21\nnrows 21\nxllcorner 0\nyllcorner 0\ncellsize 10\n";
    for (int i = 0; i < 21; ++i, plain += "\n")
        for (int j = 0; j < 21; ++j) plain += std::to_string(200 - 10 * std::max(std::abs(i - 10), std::abs(j - 10))) + " ";
    write_file(root.path() + "plain.asc", plain);
    std::string said;
    measure(shell_quote(root.path() + "plain.asc") + " --base 110 --centre crater --dry-run", &status, &said);
    EXPECT_EQ(said.rfind("tephromat: --centre crater : no closed depression lies around the summit above 110 m : the "
                         "summit (line 10, column 10) is the centre \n", 0),
              0u) << said;
    // A dry run of a sweep tells its bases, and refuses what the sweep would.
    EXPECT_NE(measure(dem + " --base-sweep 120:130:1 --centre 27,29 --dry-run", &status)
                  .find("Base line      120 m\n"),
              std::string::npos);
    EXPECT_NE(measure(dem + " --base-sweep 120:130:1 --centre 27,29 --dry-run", &status)
                  .find("Base sweep     11 bases, 120 to 130 m: the lines above are the lowest one's\n"),
              std::string::npos);
    measure(dem + " --base-sweep 200:auto:1 --centre 27,29 --dry-run", &status);
    EXPECT_EQ(status, 2);
    // Decimal steps: the row at 124.7 is that of --base 124.7 (124.1 + 3 x 0.2 is 124.69999999999999).
    const std::string fine = root.folder("fine"), single = root.folder("b124.7");
    measure(dem + " --base-sweep 124.1:124.9:0.2 --centre 27,29 --quiet --out " + shell_quote(fine), &status);
    measure(dem + " --base 124.7 --centre 27,29 --quiet --out " + shell_quote(single), &status);
    std::istringstream f(read_file(fine + "maunga_whau_base_sweep.csv")), s(read_file(single + "maunga_whau_summary.csv"));
    std::string row, want;
    for (int k = 0; k < 5; ++k) std::getline(f, row);
    std::getline(s, want);
    std::getline(s, want);
    EXPECT_EQ(row, "ok," + want);
}

namespace {

// A polygon (map coordinates of EPSG:2193, or none when epsg is 0) written
// with OGR's driver; `line` writes the ring as a line string instead;
// `point_first` writes a point at its first vertex before it.
void write_polygon(const std::string& path, const char* driver, const std::vector<std::pair<double, double>>& ring,
                   int epsg, bool line = false, bool point_first = false)
{
    GDALAllRegister();
    GDALDriverH d = GDALGetDriverByName(driver);
    ASSERT_NE(d, nullptr) << driver;
    GDALDatasetH ds = GDALCreate(d, path.c_str(), 0, 0, 0, GDT_Unknown, nullptr);
    ASSERT_NE(ds, nullptr) << path;
    OGRSpatialReferenceH srs = epsg ? OSRNewSpatialReference(nullptr) : nullptr;
    if (srs) OSRImportFromEPSG(srs, epsg);
    OGRLayerH layer = GDALDatasetCreateLayer(ds, "outline", srs,
                                             point_first ? wkbUnknown : line ? wkbLineString : wkbPolygon, nullptr);
    if (point_first) {
        OGRGeometryH p = OGR_G_CreateGeometry(wkbPoint);
        OGR_G_SetPoint_2D(p, 0, ring[0].first, ring[0].second);
        OGRFeatureH f = OGR_F_Create(OGR_L_GetLayerDefn(layer));
        OGR_F_SetGeometryDirectly(f, p);
        EXPECT_EQ(OGR_L_CreateFeature(layer, f), OGRERR_NONE);
        OGR_F_Destroy(f);
    }
    OGRGeometryH r = OGR_G_CreateGeometry(line ? wkbLineString : wkbLinearRing);
    for (const auto& [x, y] : ring) OGR_G_AddPoint_2D(r, x, y);
    OGRGeometryH g = r;
    if (!line) {
        g = OGR_G_CreateGeometry(wkbPolygon);
        OGR_G_AddGeometryDirectly(g, r);
    }
    OGRFeatureH f = OGR_F_Create(OGR_L_GetLayerDefn(layer));
    OGR_F_SetGeometryDirectly(f, g);
    EXPECT_EQ(OGR_L_CreateFeature(layer, f), OGRERR_NONE);
    OGR_F_Destroy(f);
    if (srs) OSRDestroySpatialReference(srs);
    GDALClose(ds);
}

std::vector<std::pair<double, double>> square(double x, double y, double r)
{
    return {{x - r, y - r}, {x + r, y - r}, {x + r, y + r}, {x - r, y + r}, {x - r, y - r}};
}

}  // namespace

// An edifice given by its outline, read from each vector format: the same
// figures from each; bad polygons refused with nothing written.
TEST(Measure, OutlineFromEveryVectorFormat)
{
    TempRoot root;
    const std::string files = root.folder("vectors");
    const double x = 1757300, y = 5917390;
    write_polygon(files + "o.gpkg", "GPKG", square(x, y, 250), 2193);
    write_polygon(files + "o.shp", "ESRI Shapefile", square(x, y, 250), 2193);
    write_polygon(files + "o.geojson", "GeoJSON", square(x, y, 250), 2193);
    write_polygon(files + "nocrs.shp", "ESRI Shapefile", square(x, y, 250), 0);
    write_polygon(files + "line.geojson", "GeoJSON", square(x, y, 250), 2193, true);
    write_polygon(files + "vent.gpkg", "GPKG", square(x, y, 250), 2193, false, true);
    write_polygon(files + "bowtie.gpkg", "GPKG", {{x - 200, y - 200}, {x + 200, y + 200}, {x + 200, y - 200},
                                                  {x - 200, y + 200}, {x - 200, y - 200}}, 2193);
    write_polygon(files + "far.gpkg", "GPKG", square(x + 50000, y, 100), 2193);
    write_polygon(files + "crater.gpkg", "GPKG", square(x - 60, y - 170, 60), 2193);
    write_polygon(files + "crater_out.gpkg", "GPKG", square(x + 400, y, 50), 2193);
    write_polygon(files + "partout.gpkg", "GPKG", square(x + 250, y, 150), 2193);  // its east side beyond the DEM
    write_polygon(files + "speck.gpkg", "GPKG", square(x + 0.5, y + 0.5, 1), 2193);   // between four cell centres
    // A U open to the north, and a crater whose corners lie in both arms.
    write_polygon(files + "u.gpkg", "GPKG", {{x - 250, y - 250}, {x + 250, y - 250}, {x + 250, y + 250}, {x + 50, y + 250},
                                             {x + 50, y}, {x - 50, y}, {x - 50, y + 250}, {x - 250, y + 250},
                                             {x - 250, y - 250}}, 2193);
    write_polygon(files + "across.gpkg", "GPKG", {{x - 150, y + 100}, {x + 150, y + 100}, {x + 150, y + 150},
                                                  {x - 150, y + 150}, {x - 150, y + 100}}, 2193);
    const std::string centre = " --centre-lonlat 174.7642,-36.8772 --quiet --out ";
    struct Row {
        std::string args, error;  // error empty: a run that succeeds
    } rows[] = {
        {"--outline " + files + "o.gpkg", ""},
        {"--outline " + files + "o.shp", ""},
        {"--outline " + files + "o.geojson", ""},
        {"--outline " + files + "nocrs.shp", ""},
        {"--outline " + files + "vent.gpkg", ""},  // a point stored before the polygon
        {"--outline " + files + "o.gpkg --crater " + files + "crater.gpkg --basal-surface tin", ""},
        {"--base 117 --crater " + files + "crater.gpkg", ""},
        {"--base 117 --contour-interval 0.001", "--contour-interval: 0.001 m gives "},
        {"--outline " + files + "line.geojson", "--outline: " + files + "line.geojson holds no polygon (its first feature is a LINESTRING)"},
        {"--outline " + files + "bowtie.gpkg", "is not valid (Self-intersection"},
        {"--outline " + files + "far.gpkg", "holds no cell of the DEM with data : it lies outside the DEM"},
        {"--outline " + files + "speck.gpkg", "holds no cell of the DEM with data : it holds no cell's centre (cells of 10 m)"},
        {"--outline " + files + "o.gpkg --crater " + files + "crater_out.gpkg", "--crater: the crater polygon of"},
        {"--outline " + files + "u.gpkg --crater " + files + "across.gpkg", "--crater: the crater polygon of"},
        {"--outline " + files + "partout.gpkg", "--outline: 2 of the 4 vertices of the polygon of " + files +
                                                    "partout.gpkg lie outside the DEM"},
        {"--outline " + files + "missing.gpkg", "--outline: cannot read " + files + "missing.gpkg (no such file)"},
        {"--outline " + files, "is not a regular file"},
    };
    std::string first_figures;
    int k = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args);
        const std::string out = root.folder(cfmt("run%d", k++));
        int status = -1;
        std::string errors;
        measure(shell_quote(lidar) + " " + row.args + centre + shell_quote(out), &status, &errors);
        if (!row.error.empty()) {
            EXPECT_EQ(status, 1);
            EXPECT_NE(errors.find(row.error), std::string::npos) << errors;
            EXPECT_TRUE(list_dir(out).empty());
            continue;
        }
        ASSERT_EQ(status, 0) << errors;
        const std::string figures = read_file(out + "maungawhau_lidar_10m_nztm_morphometry.csv");
        const std::string report = read_file(out + "maungawhau_lidar_10m_nztm_info.txt");
        if (row.args.find("--outline") == std::string::npos) {
            EXPECT_NE(figures.find("\nhorizontal,"), std::string::npos);
            EXPECT_NE(figures.find(",polygon,"), std::string::npos) << figures;
            EXPECT_EQ(report.find("outline"), std::string::npos);
            continue;
        }
        EXPECT_NE(figures.find("\noutline,"), std::string::npos);
        EXPECT_NE(report.find("\n\n\tEdifice given by the outline of " + files), std::string::npos) << report;
        if (row.args.find("--crater") != std::string::npos) {
            EXPECT_NE(figures.find(",polygon,"), std::string::npos) << figures;
        } else if (first_figures.empty()) {
            first_figures = figures;
        } else if (row.args.find(".shp") == std::string::npos) {
            EXPECT_EQ(figures, first_figures);  // the same polygon in every format
        } else {
            // A shapefile stores its outer rings clockwise: the same vertices
            // in another order, summed so by the basal surface.
            std::istringstream a(figures), b(first_figures);
            for (std::string x, y; std::getline(a, x, ',') && std::getline(b, y, ',');) {
                char* end = nullptr;
                const double u = std::strtod(x.c_str(), &end);
                if (end == x.c_str() || *end) {
                    EXPECT_EQ(x, y);
                } else {
                    EXPECT_NEAR(u, std::strtod(y.c_str(), nullptr), 1e-12 * std::fabs(u)) << x << " " << y;
                }
            }
        }
        EXPECT_EQ(report.find("states no coordinate system") != std::string::npos,
                  row.args.find("nocrs") != std::string::npos);
    }
    // An outline taken from the vectors of an earlier run of the same names
    // is not replaced by this run's.
    const std::string again = root.folder("again");
    const std::string vectors = again + "maungawhau_lidar_10m_nztm_vectors.gpkg";
    int status = -1;
    measure(shell_quote(lidar) + " --base 117" + centre + shell_quote(again), &status);
    ASSERT_EQ(status, 0);
    const std::string before = read_file(vectors);
    std::string errors;
    measure(shell_quote(lidar) + " --outline " + shell_quote(vectors) + centre + shell_quote(again), &status, &errors);
    EXPECT_EQ(status, 1);
    EXPECT_NE(errors.find("would replace the input " + vectors), std::string::npos) << errors;
    EXPECT_TRUE(read_file(vectors) == before);
}
