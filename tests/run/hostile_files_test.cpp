// Whole runs on DEMs and answers that once crashed the program, ran for
// minutes, took gigabytes, or reported a failure as a success: each gives a
// clear error or a correct run, and no file that was there before the run is
// changed or lost.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <filesystem>
#include <map>
#include <sstream>

#include <sys/stat.h>

#include "stage_support.hpp"

namespace {

using Files = std::map<std::string, std::string>;

// A small cone (12 x 12, 108 m at (6, 6)) as an ESRI grid, with changes.
std::string cone_asc(const std::function<void(Rows&)>& change = nullptr, const std::string& cellsize = "10")
{
    Rows rows = small_cone();
    if (change) change(rows);
    std::string text = esri_text(rows);
    return replace_all(text, "cellsize 10\n", "cellsize " + cellsize + "\n");
}

std::string cone_raw16()
{
    std::string bytes;
    for (int v : flatten(small_cone())) {
        bytes += char(v & 0xFF);
        bytes += char(v >> 8);
    }
    return bytes;
}

// Site, DEM "dem" in ESRI format, pixel 10, generic name `generic`, ESRI
// output, base line, centre typed, basal surface, no upper slices, the key.
std::string esri_run(const std::string& base, const std::string& centre = "0\n6\n6\n",
                     const std::string& generic = "0\n", const std::string& pixel = "10\n")
{
    return "site\ndem\n0\n" + pixel + generic + "0\n" + base + "\n" + centre + "0\n1\n\n";
}

const std::string raw16_run = "site\ndem\n1\n0\n0\n10\n0\n1\n0\n0\n101\n0\n6\n6\n0\n1\n\n";

struct Row {
    std::string what;
    Files input;             // files of the site folder before the runs
    std::string before;      // answers of an earlier complete run, if any
    std::string answers;
    int status;
    std::string message;     // found in the console
    std::string result;      // a complete run's report, which must exist
    std::pair<std::string, std::string> holds{};  // a result file and a text it holds
    std::string errors{};  // the whole error stream, when given
    std::pair<std::string, std::string> link{};  // a symbolic link of the site folder and its target
    std::string fifo{};  // a named pipe of the site folder
};

std::vector<Row> rows()
{
    const std::string cone = cone_asc();
    const std::string cone_descriptor = "12\n12\n2\n100\n108\n10\n";
    std::string wide(std::size_t(3) * 65535 * 2, '\0');
    for (std::size_t k = 0; k < wide.size(); k += 2) wide[k] = 100;
    for (int j = 30000; j <= 30010; ++j) wide[std::size_t(65535 + j) * 2] = 110;
    std::string crescent = "ncols 15\nnrows 15\nxllcorner 0\nyllcorner 0\ncellsize 10\n";
    for (int i = 0; i < 15; ++i) {
        for (int j = 0; j < 15; ++j) {
            const double d = std::hypot(i - 7, j - 7);
            crescent += d >= 4 && d <= 6 && j <= 9 ? "120 " : "50 ";
        }
        crescent += "\n";
    }
    std::string transposed = "nrows 10\nncols 12\nxllcorner 0\nyllcorner 0\ncellsize 10\nnodata_value -9999\n";
    const Rows cone_rows = small_cone();
    for (int i = 0; i < 10; ++i)
        for (int v : cone_rows[std::size_t(i)]) transposed += std::to_string(v) + " ";
    const std::string no_item = "lies on no item above the base line";
    auto refused = [](const std::string& answer, const std::string& why) {
        return "tephromat: answer \"" + answer + "\" refused : " + why + "\n";
    };
    const std::string below_root = "the folder must lie below the root",
                      slash = "it holds a \"/\": a name, not a path, inside the folder";

    return {
        {"top at the largest 32-bit value, base line just below",
         {{"dem.asc", cone_asc([](Rows& r) { r[5][5] = r[5][6] = r[6][5] = r[6][6] = 2147483647; })}}, "",
         esri_run("2147483646"), 0, "Press any key", "dem_info.txt"},
        {"base line at the smallest 32-bit value: asked again, then too far below the top",
         {{"dem.asc", cone}}, "", esri_run("-2147483648\n-2147483647"), 1,
         "\n\n\tAltitude of the volcanic base line (in meters) ? \n\n\tAltitude of the volcanic base line (in meters) ? ",
         ""},
        {"edifice more than 30000 m high", {{"dem.asc", cone}}, "", esri_run("-2147483647"), 1,
         "\n\tError : the edifice rises 2147483755 m above the base line, more than 30000 m : check the DEM's unit "
         "and its nodata cells\n",
         ""},
        {"pixel size 1e-300: model altitudes saturate", {{"dem.asc", cone}}, "", esri_run("101", "0\n6\n6\n", "0\n", "1e-300\n"),
         0, "Press any key", "dem_info.txt", {"dem_gravcenters.xyz", "\t2147483647\n"}},
        {"one spike cell of 1e7 m", {{"dem.asc", cone_asc([](Rows& r) { r[5][6] = 10000000; })}}, "", esri_run("101"), 1,
         "the edifice rises 9999899 m above the base line", ""},
        {"ESRI header of 65535 x 65535 cells over 3 samples",
         {{"dem.asc", "ncols 65535\nnrows 65535\nxllcorner 0\nyllcorner 0\ncellsize 10\nnodata_value -9999\n1 2 3\n"}}, "",
         esri_run("101"), 1, "dem.asc is too short", ""},
        {"generic name x for the DEM x_rec1", {{"x_rec1.asc", cone}}, "",
         "site\nx_rec1\n0\n10\n1\nx\n0\n101\n0\n6\n6\n0\n1\n\n", 1,
         "\n\tError : the result ROOT/site/x_rec1.asc would replace the input ROOT/site/x_rec1.asc : choose another "
         "generic name\n",
         ""},
        {"folders outside the root or absolute: refused and asked again", {{"dem.asc", cone}}, "",
         "/tmp\n../outside\nsite/../../outside\n" + esri_run("101"), 0, "Press any key", "dem_info.txt", {},
         refused("/tmp", "it is an absolute path: " + below_root) +
             refused("../outside", "it has a \"..\" component: " + below_root) +
             refused("site/../../outside", "it has a \"..\" component: " + below_root)},
        {"DEM and generic names with a slash, control bytes or not UTF-8: refused and asked again",
         {{"dem.asc", cone}}, "",
         "site\n../dem\n" + esri_run("101", "0\n6\n6\n", "1\n../../outside/x\na\x01" "b\n\xE9t\xE9\ng\n").substr(5), 0,
         "Press any key", "g_info.txt", {},
         refused("../dem", slash) + refused("../../outside/x", slash) +
             refused("a\\x01b", "it holds control bytes") + refused("\\xE9t\\xE9", "it is not UTF-8 text")},
        {"a DEM that is a link to a result of the run", {{"g_rec1.asc", cone}}, "", esri_run("101", "0\n6\n6\n", "1\ng\n"),
         1,
         "\n\tError : the result ROOT/site/g_rec1.asc would replace the input ROOT/site/dem.asc : choose another generic "
         "name\n",
         "", {}, {}, {"dem.asc", "g_rec1.asc"}},
        {"a named pipe as the DEM", {{"notes.txt", "x"}}, "", esri_run("101"), 1,
         "\n\tError : cannot read ROOT/site/dem.asc (it is not a regular file)\n", "", {}, {}, {}, "dem.asc"},
        {"a .prj that is a link to /dev/zero", {{"dem.asc", cone}}, "", esri_run("101"), 1,
         "\n\tError : cannot read ROOT/site/dem.prj (it is not a regular file)\n", "", {}, {}, {"dem.prj", "/dev/zero"}},
        {"a .prj of 2 MiB", {{"dem.asc", cone}, {"dem.prj", std::string(2 << 20, 'x')}}, "", esri_run("101"), 1,
         "\n\tError : ROOT/site/dem.prj holds 2097152 bytes, more than the 1 MiB of any coordinate system : it is not "
         "a .prj\n",
         ""},
        {"a sample of 5 MB", {{"dem.asc", replace_all(cone, "\n100 ", "\n" + std::string(5 << 20, '7') + "x ")}}, "",
         esri_run("101"), 1, "\n\tError : ROOT/site/dem.asc: the sample of line 0, column 0 is not a number: \"" +
         std::string(40, '7') + "...\"\n", ""},
        {"a body of NUL bytes", {{"dem.asc", "ncols 2000\nnrows 2000\nxllcorner 0\nyllcorner 0\ncellsize 10\n1 " +
                                              std::string(8 << 20, '\0')}}, "",
         esri_run("101"), 1, "\n\tError : ROOT/site/dem.asc: the sample of line 0, column 1 is not a number: \"" +
         replace_all(std::string(40, '\0'), std::string(1, '\0'), "\\x00") + "...\"\n", ""},
        {"a raw DEM longer than its descriptor declares", {{"dem_m2.raw", cone_raw16() + "\1\1"}, {"dem_m2.txt", cone_descriptor}},
         "", raw16_run, 0, "\n\tWarning : ROOT/site/dem_m2.raw holds 290 bytes, more than the 288 of the 12 lines x 12 "
         "columns x 2 bytes that its descriptor declares : if the lines or columns are wrong, the grid is read sheared : "
         "check them ", "dem_info.txt", {"dem_info.txt", "declares : if the lines or columns are wrong"}},
        {"a nearly flat grid 1000 m above the base line: a hundred thousand contour levels", {{"dem.asc", [] {
             std::string t = "ncols 12\nnrows 12\nxllcorner 0\nyllcorner 0\ncellsize 10\n";
             for (int i = 0; i < 12; ++i) {
                 for (int j = 0; j < 12; ++j) t += cfmt("%.2f ", 1000.0 + 0.01 * (i + j));
                 t += "\n";
             }
             return t;
         }()}}, "", esri_run("0"), 0, "Press any key", "dem_morphometry.csv"},
        {"failed re-run with the generic name of an earlier run", {{"dem.asc", cone}}, esri_run("101", "0\n6\n6\n", "1\ng\n"),
         esri_run("300", "0\n6\n6\n", "1\ng\n"), 1, no_item, ""},
        {"DEM of 3 x 65535 cells", {{"dem_m2.raw", wide}, {"dem_m2.txt", "3\n65535\n2\n"}}, "",
         "site\ndem\n1\n0\n10\n0\n10\n0\n1\n1\n0\n101\n0\n1\n30005\n0\n1\n\n", 0, "Press any key", "dem_info.txt"},
        {"ESRI header with nrows before ncols", {{"dem.asc", transposed}}, "", esri_run("101", "0\n5\n6\n"), 0,
         "\n\t            10 LINES\n\t        AND 12 COLUMNS\n", "dem_info.txt"},
        {"ESRI header without yllcorner",
         {{"dem.asc", replace_all(cone, "yllcorner 2000.0\n", "")}}, "", esri_run("101"), 1,
         "dem.asc: the header has no yllcorner", ""},
        {"descriptor holding garbage", {{"dem_m2.raw", cone_raw16()}, {"dem_m2.txt", "lines: twelve\n"}}, "", raw16_run, 1,
         "the descriptor ROOT/site/dem_m2.txt does not begin with the numbers of lines and columns: it begins with "
         "\"lines: twelve \"",
         ""},
        {"descriptor holding 0x7", {{"dem_m2.raw", cone_raw16()}, {"dem_m2.txt", "0x7\n"}}, "", raw16_run, 1,
         "does not begin with the numbers of lines and columns", ""},
        {"descriptor with a byte-order mark", {{"dem_m2.raw", cone_raw16()}, {"dem_m2.txt", "\xEF\xBB\xBF" + cone_descriptor}},
         "", raw16_run, 0, "Press any key", "dem_info.txt"},
        {"DEM that is a folder", {}, "", esri_run("101"), 1,
         "\n\tError : cannot read ROOT/site/dem.asc (it is a folder, not a DEM)\n", ""},
        {"centre typed below the base line", {{"dem.asc", cone}}, "", esri_run("101", "0\n1\n1\n"), 1,
         "\n\n\tChosen item = 0 \n\tError : the centre point (line 1, column 1) lies on no item above the base line "
         "(101 m) : type a centre on the edifice or choose a lower base line\n",
         ""},
        {"base line above the top", {{"dem.asc", cone}}, "", esri_run("109"), 1, no_item, ""},
        {"centre on line 0", {{"dem.asc", cone}}, "", esri_run("100", "0\n0\n6\n"), 1, no_item, ""},
        {"centre on a lone cell", {{"dem.asc", cone_asc([](Rows& r) { r[1][1] = 120; })}}, "",
         esri_run("101", "0\n1\n1\n"), 1, no_item, ""},
        {"calculated centre in the hollow of a crescent", {{"dem.asc", crescent}}, "", esri_run("100", "1\n"), 1,
         no_item, ""},
    };
}

Files snapshot(const std::string& dir)
{
    Files files;
    for (const std::string& f : list_dir(dir)) {
        if (std::filesystem::is_directory(dir + f))
            files[f] = "(folder)";
        else if (!std::filesystem::is_regular_file(dir + f))
            files[f] = "(special)";
        else
            files[f] = read_file(dir + f);
    }
    return files;
}

}  // namespace

TEST(HostileFiles, ClearErrorOrCorrectRunAndNothingLost)
{
    for (const Row& row : rows()) {
        SCOPED_TRACE(row.what);
        TempRoot root;
        const std::string site = root.folder("site");
        for (const auto& [name, content] : row.input) write_file(site + name, content);
        if (row.input.empty()) std::filesystem::create_directory(site + "dem.asc");
        if (!row.link.first.empty()) std::filesystem::create_symlink(row.link.second, site + row.link.first);
        if (!row.fifo.empty()) {
            ASSERT_EQ(mkfifo((site + row.fifo).c_str(), 0600), 0);
        }
        if (!row.before.empty()) {
            ASSERT_EQ(run_program(row.before).status, 0);
        }
        const Files before = snapshot(site);

        const auto start = std::chrono::steady_clock::now();
        RunResult r = run_program(row.answers);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_LT(seconds, 30.0);
        EXPECT_EQ(r.status, row.status);
        const std::string console = rooted(r.console, root);
        EXPECT_NE(console.find(row.message), std::string::npos) << console.substr(console.size() > 600 ? console.size() - 600 : 0);
        if (row.status != 0) {
            EXPECT_EQ(count_of(console, "\n\tError : "), 1);
        }

        // What was there is still there, byte for byte; a failed run adds
        // nothing, a complete one its results and no temporary file.
        const Files after = snapshot(site);
        for (const auto& [name, content] : before) {
            ASSERT_TRUE(after.count(name)) << name << " was lost";
            EXPECT_TRUE(after.at(name) == content) << name << " changed";
        }
        if (row.status != 0) {
            EXPECT_EQ(after.size(), before.size());
        }
        for (const auto& [name, content] : after) EXPECT_EQ(name.find(".tmp-"), std::string::npos) << name;
        if (!row.result.empty()) {
            EXPECT_TRUE(after.count(row.result)) << row.result;
        }
        if (!row.holds.first.empty()) {
            EXPECT_NE(after.at(row.holds.first).find(row.holds.second), std::string::npos) << row.holds.first;
        }
        if (!row.errors.empty()) {
            EXPECT_EQ(r.errors, row.errors);
        }
        // Nothing outside the site folder (and no lock left in it).
        EXPECT_EQ(list_dir(root.path()), std::vector<std::string>{"site"});
    }
}

namespace {

// Flat land at 100 m with cones: a cell at the rounded distance d from a
// cone's centre rises by height(d) where that is above 0.
struct Cone {
    int i, j;
    std::function<int(int)> height;
};
Rows cone_rows(int nb_lig, int nb_col, const std::vector<Cone>& cones)
{
    Rows rows = flat_rows(nb_lig, nb_col, 100);
    for (int i = 0; i < nb_lig; ++i)
        for (int j = 0; j < nb_col; ++j)
            for (const Cone& c : cones) {
                const int d = int(std::lround(std::hypot(i - c.i, j - c.j)));
                rows[i][j] = std::max(rows[i][j], 100 + std::max(0, c.height(d)));
            }
    return rows;
}

// Column name -> cell of a summary (the cells of these runs hold no commas).
std::map<std::string, std::string> summary_cells(const std::string& path)
{
    std::istringstream in(read_file(path));
    std::string names, cells;
    std::getline(in, names);
    std::getline(in, cells);
    std::map<std::string, std::string> m;
    std::istringstream n(names + ","), c(cells + ",");
    for (std::string name, cell; std::getline(n, name, ',') && std::getline(c, cell, ',');) m[name] = cell;
    return m;
}

struct Warned {
    std::string what;
    std::string dem;                           // site/dem.asc
    std::string answers;
    std::string codes;                         // the summary's warnings column
    std::vector<std::string> told;             // in the console and in the report
    std::map<std::string, std::string> cells;  // other cells of the summary
    std::string console_place = "", report_place = "";  // a warning of the dialogue and what comes before it
};

std::string border_text(int n)
{
    return cfmt("\n\tWarning : the edifice reaches the edge of the grid on %d cells : it may go on beyond the DEM, and its "
                "volume, surfaces and radii would then be too small : choose a higher base line or a larger DEM ",
                n);
}

std::string no_crater_text(int i, int j, int si, int sj)
{
    return cfmt("\n\tWarning : a crater was measured, but the centre point (line %d, column %d) lies in no closed "
                "depression and higher ground walls it in on fewer than half of its sides : the crater radii and the "
                "rebuilt crater are likely invented : for a cone without a crater, type the centre on its summit (line "
                "%d, column %d) ",
                i, j, si, sj);
}

std::string erosion_text(double thickest, double height)
{
    return cfmt("\n\tWarning : the largest erosion thickness (%.2f m) exceeds the volcanic height (%.2f m) : the rebuilt "
                "cone is implausible : check the centre point and the base line ",
                thickest, height);
}

std::vector<Warned> warned_rows()
{
    // small_cone at (ci, 6): at base 101 it covers the cells up to 3 away.
    auto pointed = [](int ci) { return esri_text(cone_rows(12, 12, {{ci, 6, [](int d) { return 8 - 2 * d; }}})); };
    // A crater 20 m deep: floor at 110 m, rim at 130 m 4 cells away, foot 10
    // cells away.
    const Rows crater = cone_rows(21, 21, {{10, 10, [](int d) { return d <= 10 ? 30 - 5 * std::abs(d - 4) : 0; }}});
    Rows breached = crater;  // a gully at the floor's level through the east rim
    for (int j = 10; j <= 18; ++j) breached[10][j] = std::min(breached[10][j], 110);
    const std::string hill = esri_text(cone_rows(21, 21, {{10, 10, [](int d) { return 40 - 4 * d; }}}));
    auto big_and_small = [](int j, int h) {
        return esri_text(cone_rows(25, 45, {{12, 12, [](int d) { return 24 - 3 * d; }}, {12, j, [h](int d) { return h - 3 * d; }}}));
    };
    // A ridge three lines thick rising eastwards to its summit (8, 45), and a
    // block to the west that pulls a calculated centre to the ridge's low end.
    Rows ridge = flat_rows(15, 50, 100);
    for (int i = 6; i <= 8; ++i)
        for (int j = 10; j <= 45; ++j) ridge[i][j] = 101 + (j - 10);
    ridge[8][45] = 137;
    for (int i = 2; i <= 12; ++i)
        for (int j = 1; j <= 6; ++j) ridge[i][j] = 105;
    const std::string maunga = read_file(std::string(EXAMPLES_DIR) + "/maunga-whau/maunga_whau.asc");
    std::string clipped;
    {
        TempRoot scratch;
        const std::string site = maunga_whau_site(scratch);
        clip_maunga_whau(site);
        clipped = read_file(site + "maunga_whau.asc");
    }
    const std::string below = "\n\tWarning : the base line (100 m) is not above the lowest cell of the DEM (100 m) : every "
                              "cell is at or above it, and the whole grid is one item ";
    const std::string pixel = "\n\tWarning : the pixel size typed (10.100000 m) is not the grid's cellsize (10.000000) : "
                              "areas grow with its square and volumes too, and the outputs no longer lie on the input's grid ";
    const std::string mw = "0\n27\n29\n";
    return {
        {"cone touching the last line", pointed(8), esri_run("101", "0\n8\n6\n"), "border", {border_text(3)},
         {{"edifice_border_cells", "3"}}},
        {"cone touching line 0 through its neighbours (line 0 is in no item)", pointed(3),
         esri_run("101", "0\n3\n6\n"), "border", {border_text(3)}, {{"edifice_border_cells", "3"}}},
        {"cone one line clear of line 0", pointed(4), esri_run("101", "0\n4\n6\n"), "", {}, {{"edifice_border_cells", "0"}}},
        {"base line at the lowest cell: the whole grid is one item", pointed(6), esri_run("100"),
         "base_below_dem;border", {below, border_text(44)}, {}, "(in meters) ? " + below, "(in meters) = 100 " + below},
        {"cellsize 10 typed 10.0000001, base line a metre above the lowest cell", pointed(6),
         esri_run("101", "0\n6\n6\n", "0\n", "10.0000001\n"), "", {}, {}},
        {"cellsize 10 typed 10.1", pointed(6), esri_run("101", "0\n6\n6\n", "0\n", "10.1\n"), "pixel_size", {pixel}, {},
         "(decimal value in meters) ? " + pixel, "Pixel size = 10.100000 m" + pixel},
        {"centre in a closed crater", esri_text(crater), esri_run("101", "0\n10\n10\n"), "", {},
         {{"crater_found", "1"}, {"crater_depression_m", "20"}, {"crater_walled_rays", "16"}}},
        {"centre in a crater breached on one side", esri_text(breached), esri_run("101", "0\n10\n10\n"), "", {},
         {{"crater_found", "1"}, {"crater_depression_m", "0"}, {"crater_walled_rays", "15"}}},
        {"centre on the flank of the crater cone: the rebuilt cone fills an invented crater", esri_text(crater),
         esri_run("101", "0\n10\n17\n"), "no_crater_around_centre;erosion_above_height",
         {no_crater_text(10, 17, 14, 12), erosion_text(30, 29)},
         {{"crater_found", "0"}, {"crater_depression_m", "0"}, {"crater_walled_rays", "5"}, {"erosion_max_m", "30"}}},
        {"centre 3 cells off the summit of a hill without a crater", hill, esri_run("101", "0\n13\n13\n"),
         "no_crater_around_centre", {no_crater_text(13, 13, 10, 10)},
         {{"crater_found", "0"}, {"crater_depression_m", "0"}, {"crater_walled_rays", "3"}}},
        {"centre on the summit of a hill without a crater: no crater looked for", hill, esri_run("101", "0\n10\n10\n"), "",
         {}, {{"crater_found", "0"}, {"crater_depression_m", ""}, {"crater_walled_rays", ""}}},
        {"calculated centre of two cones of different size", big_and_small(32, 9), esri_run("101", "1\n"),
         "calculated_centre_many_items",
         {"\n\tWarning : the centre was calculated from all 198 cells at or above the base line, which form 2 items : the "
          "chosen item's own centre (line 12, column 12) lies 2 cells away : type the centre when the DEM holds more "
          "than one relief "},
         {{"slice_centre_column", "14"}, {"centre_column", "12"}}},
        {"calculated centre of two cones, the small one pulling it one column", big_and_small(36, 6),
         esri_run("101", "1\n"), "", {}, {{"slice_centre_column", "13"}, {"centre_column", "12"}}},
        {"calculated centre pulled to the low end of a ridge: the summit is no rim", esri_text(ridge),
         esri_run("101", "1\n"),
         "calculated_centre_many_items;no_crater_around_centre;crater_above_base_radius;erosion_above_height",
         {no_crater_text(7, 18, 8, 45),
          "\n\tWarning : the greater crater radius (280.71 m) exceeds the greater base radius (191.05 m) : the highest "
          "cells are no rim around the centre point : check the centre point "},
         {}},
        {"centre typed half-way along the ridge: the crater radius equals the base radius", esri_text(ridge),
         esri_run("101", "0\n7\n27\n"), "no_crater_around_centre;erosion_above_height", {no_crater_text(7, 27, 8, 45)},
         {{"crater_radius_max_m", "191.049731745428"}, {"base_radius_max_m", "191.049731745428"}}},
        {"the sample at base 110", maunga, esri_run("110", mw), "border", {border_text(67)},
         {{"edifice_border_cells", "67"}, {"crater_found", "1"}, {"crater_depression_m", "20"},
          {"crater_walled_rays", "13"}, {"cells_without_data_touched", "0"}}},
        {"the sample at base 125", maunga, esri_run("125", mw), "", {}, {{"edifice_border_cells", "0"}, {"crater_found", "1"}}},
        {"the sample clipped, at base 110: cells without data on the border do not count", clipped, esri_run("110", mw),
         "nodata;border", {border_text(6)}, {{"edifice_border_cells", "6"}, {"cells_without_data_touched", "106"}}},
    };
}

}  // namespace

// Figures that cannot be true are told, each by one warning line on the
// console and in the report, and listed in the summary; the run goes on.
TEST(HostileFiles, ImplausibleFiguresAreWarned)
{
    for (const Warned& row : warned_rows()) {
        SCOPED_TRACE(row.what);
        TempRoot root;
        const std::string site = root.folder("site");
        write_file(site + "dem.asc", row.dem);
        RunResult r = run_program(row.answers);
        ASSERT_EQ(r.status, 0) << r.console;
        const std::string console = rooted(r.console, root), report = read_file(site + "dem_info.txt");
        const std::map<std::string, std::string> summary = summary_cells(site + "dem_summary.csv");
        EXPECT_EQ(summary.at("warnings"), row.codes);
        const int warnings = row.codes.empty() ? 0 : 1 + int(std::count(row.codes.begin(), row.codes.end(), ';'));
        EXPECT_EQ(count_of(console, "\n\tWarning : "), warnings) << console;
        EXPECT_EQ(count_of(report, "\n\tWarning : "), warnings) << report;
        for (const std::string& told : row.told) {
            EXPECT_NE(console.find(told), std::string::npos) << told;
            EXPECT_NE(report.find(told), std::string::npos) << told;
        }
        for (const auto& [column, cell] : row.cells) EXPECT_EQ(summary.at(column), cell) << column;
        if (!row.console_place.empty()) {
            EXPECT_NE(console.find(row.console_place), std::string::npos);
            EXPECT_NE(report.find(row.report_place), std::string::npos);
        }
    }
}
