// scripts/batch.sh: a CSV table of cones to answers files, run with GNU parallel.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "run_support.hpp"
#include "stage_support.hpp"

namespace {

const std::string csv_header =
    "folder,dem,input_format,raw_width,lines,columns,raw_pixel_size,unit,pixel_size,generic_name,output_format,"
    "output_width,output_scale,x_min,y_min,base,centre_line,centre_column,basal_slice,upper_slices,"
    "number_of_upper_slices,upper_slice_type\n";

// Runs the script in `dir` with the given arguments; its output and status.
std::string batch(const TempRoot& root, const std::string& arguments, int* status)
{
    return command_output("cd " + shell_quote(root.path()) + " && TEPHROMAT_ROOT=" + shell_quote(root.path()) +
                              " TEPHROMAT=" + shell_quote(TEPHROMAT_EXE) + " bash " +
                              shell_quote(std::string(SCRIPTS_DIR) + "/batch.sh") + " " + arguments + " 2>&1",
                          status);
}

// The Maunga Whau grid of `site` as a raw 16-bit DEM in decimetres without
// descriptor, <site>mw_m2.raw: 61 lines, 87 columns.
void write_raw_maunga_whau(const std::string& site)
{
    std::istringstream in(read_file(site + "maunga_whau.asc"));
    for (int k = 0; k < 6; ++k) in.ignore(1 << 20, '\n');
    std::vector<std::uint16_t> dm;
    for (int v; in >> v;) dm.push_back(std::uint16_t(v * 10));
    ASSERT_EQ(dm.size(), 61u * 87u);
    write_raw16(site + "mw_m2.raw", dm);
}

}  // namespace

TEST(BatchScript, RowsBecomeTheAnswersInTheOrderTheQuestionsCome)
{
    TempRoot root;
    write_file(root.path() + "cones.csv",
               csv_header +
                   "# ESRI in and out, centre typed, upper slices shown\n"
                   "site,maunga_whau,0,,,,,,10,,0,,,,,110,27,29,0,0,4,1\r\n"
                   "\n"
                   "site,dem_dm,1,0,61,87,10,1,10,mw_raw,1,1,1,,,110,,,0,1,,\n"
                   "site,dem4,1,1,,,,0,2.5,,0,,,652000,1780000.5,300,,,1,1,,\n");
    int status = -1;
    const std::string out = batch(root, "--answers-only cones.csv work", &status);
    ASSERT_EQ(status, 0) << out;
    EXPECT_EQ(list_dir(root.path() + "work"),
              (std::vector<std::string>{"001-maunga_whau.answers", "002-mw_raw.answers", "003-dem4.answers"}));
    EXPECT_EQ(read_file(root.path() + "work/001-maunga_whau.answers"),
              "site\nmaunga_whau\n0\n10\n0\n0\n110\n0\n27\n29\n0\n0\n4\n1\n");
    // Raw input without descriptor, a new generic name, raw output, the centre computed.
    EXPECT_EQ(read_file(root.path() + "work/002-mw_raw.answers"),
              "site\ndem_dm\n1\n0\n61\n87\n10\n1\n10\n1\nmw_raw\n1\n1\n1\n110\n1\n0\n1\n");
    // Raw input with ESRI output: the corner is asked.
    EXPECT_EQ(read_file(root.path() + "work/003-dem4.answers"),
              "site\ndem4\n1\n1\n0\n2.5\n0\n0\n652000\n1780000.5\n300\n1\n1\n1\n");
}

// Rows that would misalign the answers, reach outside the root or write the
// outputs of another row: the whole table is refused before anything is
// removed or written, and the earlier batch stays as it was.
TEST(BatchScript, RefusesRowsThatWouldMisalignTheAnswers)
{
    TempRoot root;
    const std::string site = root.folder("site");
    std::filesystem::create_directory_symlink("site", root.path() + "alias");
    write_file(site + "bare_m2.raw", std::string(4, '\0'));
    write_file(site + "dm_m2.raw", std::string(4, '\0'));
    write_file(site + "dm_m2.txt", "60\n87\n2\n");
    const std::string good = "site,maunga_whau,0,,,,,,10,,0,,,,,110,27,29,0,0,4,1\n";
    write_file(root.path() + "earlier.csv", csv_header + good);
    int status = -1;
    ASSERT_EQ((batch(root, "--answers-only earlier.csv work", &status), status), 0);
    write_file(root.path() + "work/summary.csv", "row,status\n1,ok\n");
    write_file(root.path() + "work/001-maunga_whau.log", "the earlier run\n");
    const std::string earlier_answers = read_file(root.path() + "work/001-maunga_whau.answers");
    const std::string row = ",maunga_whau,0,,,,,,10,,0,,,,,110,27,29,0,0,4,1\n";
    const std::pair<std::string, std::string> cases[] = {
        {csv_header + "site,maunga_whau,0,1,,,,,10,,0,,,,,110,27,29,0,0,4,1\n", "raw_width must stay empty"},
        {csv_header + "site,maunga_whau,0,,,,,,10,,1,0,,,,110,27,29,0,0,4,1\n", "output_scale is empty"},
        {csv_header + good + good, "the same folder and generic name as line 2"},
        {csv_header + good + "./site" + row + "site/" + row, "line 3: the same folder and generic name as line 2"},
        {csv_header + good + ".//site//." + row, "line 3: the same folder and generic name as line 2"},
        {csv_header + good + "alias" + row, "line 3: the same folder and generic name as line 2"},
        {csv_header + good + "../site" + row, "line 3: the column folder (../site) must name a folder below the root"},
        {csv_header + "site/../.." + row, "line 2: the column folder (site/../..) must name a folder below the root"},
        {csv_header + root.path() + "site" + row, "must name a folder below the root: not absolute, without \"..\""},
        {csv_header + "site,../maunga_whau,0,,,,,,10,,0,,,,,110,27,29,0,0,4,1\n",
         "line 2: the column dem (../maunga_whau) must be a name in the folder, without \"/\""},
        {csv_header + "site,maunga_whau,0,,,,,,10,../../x,0,,,,,110,27,29,0,0,4,1\n",
         "line 2: the column generic_name (../../x) must be a name, without \"/\""},
        // Raw DEMs: the size questions follow the descriptor.
        {csv_header + "site,bare,1,0,,,,1,10,,1,0,0,,,110,,,0,1,,\n",
         "line 2: the descriptor site/bare_m2.txt does not exist: lines, columns and raw_pixel_size are asked"},
        {csv_header + "site,dm,1,0,61,87,2,1,10,,1,0,0,,,110,,,0,1,,\n",
         "line 2: the descriptor site/dm_m2.txt gives 60 lines and 87 columns, the row 61 and 87"},
        {csv_header + "site,bare,1,0,61,87,2,1,10,a,1,0,0,,,110,,,0,1,,\n./site,bare,1,0,61,88,2,1,10,b,1,0,0,,,110,,,0,1,,\n",
         "line 3: other lines and columns than line 2 for the same raw DEM, without descriptor"},
        {csv_header + "site,bare,1,0,61,87,2,1,10,a,1,0,0,,,110,,,0,1,,\nsite,bare,1,0,61,87,2,1,10,b,1,0,0,,,110,,,0,1,,\n",
         "line 3: the same raw DEM as line 2, without descriptor: its first run writes one"},
    };
    for (const auto& [table, message] : cases) {
        write_file(root.path() + "bad.csv", table);
        status = 0;
        const std::string out = batch(root, "--answers-only bad.csv work", &status);
        EXPECT_NE(status, 0) << table;
        EXPECT_NE(out.find("batch: bad.csv, "), std::string::npos) << out;
        EXPECT_NE(out.find(message), std::string::npos) << out;
        EXPECT_EQ(list_dir(root.path() + "work"),
                  (std::vector<std::string>{"001-maunga_whau.answers", "001-maunga_whau.log", "summary.csv"}))
            << table;
        EXPECT_EQ(read_file(root.path() + "work/001-maunga_whau.answers"), earlier_answers);
        EXPECT_EQ(read_file(root.path() + "work/summary.csv"), "row,status\n1,ok\n");
    }
    // "./site/" is answered as "site".
    write_file(root.path() + "dotted.csv", csv_header + "./site/" + row);
    ASSERT_EQ((batch(root, "--answers-only dotted.csv work", &status), status), 0);
    EXPECT_EQ(list_dir(root.path() + "work"), std::vector<std::string>{"001-maunga_whau.answers"});
    EXPECT_EQ(read_file(root.path() + "work/001-maunga_whau.answers"), earlier_answers);
}

TEST(BatchScript, ThreeConesInParallelMatchThreeSeparateRuns)
{
    if (!have_program("parallel")) GTEST_SKIP() << "GNU parallel (Debian package parallel) is not installed";
    const int bases[] = {100, 110, 120};

    TempRoot separate;
    const std::string one_by_one = maunga_whau_site(separate);
    for (int base : bases) {
        RunResult r = run_program(cfmt("site maunga_whau 0 10 1 b%d 0 %d 0 27 29 0 0 4 1\n", base, base));
        ASSERT_EQ(r.status, 0) << r.console;
    }

    TempRoot root;
    const std::string site = maunga_whau_site(root);
    std::string table = csv_header;
    for (int base : bases) table += cfmt("site,maunga_whau,0,,,,,,10,b%d,0,,,,,%d,27,29,0,0,4,1\n", base, base);
    write_file(root.path() + "cones.csv", table);
    int status = -1;
    const std::string out = batch(root, "-j 3 cones.csv", &status);
    ASSERT_EQ(status, 0) << out;
    EXPECT_NE(out.find("3 cones done"), std::string::npos) << out;

    const std::vector<std::string> names = list_dir(one_by_one);
    ASSERT_EQ(list_dir(site), names);
    EXPECT_EQ(names.size(), 1u + 3u * 21u);
    for (const std::string& f : names) {
        std::string a = read_file(site + f), b = read_file(one_by_one + f);
        if (f.ends_with("_info.txt")) {
            a = replace_all(a, root.path(), "ROOT/");
            b = replace_all(b, separate.path(), "ROOT/");
        }
        EXPECT_TRUE(a == b) << f << " differs";
    }
    for (int base : bases) {
        const std::string log = read_file(root.path() + cfmt("cones-batch/%03d-b%d.log", base / 10 - 9, base));
        EXPECT_NE(log.find("Press any key to exit the program"), std::string::npos) << base;
    }
}

namespace {

// The cells of one CSV line, quotes taken away.
std::vector<std::string> csv_cells(const std::string& line)
{
    std::vector<std::string> cells(1);
    bool quoted = false;
    for (std::size_t k = 0; k < line.size(); ++k) {
        const char c = line[k];
        if (quoted && c == '"' && k + 1 < line.size() && line[k + 1] == '"') {
            cells.back() += '"';
            ++k;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            cells.emplace_back();
        } else {
            cells.back() += c;
        }
    }
    return cells;
}

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

}  // namespace

// summary.csv: the cones in the table's order, a failed one with its reason
// and empty figures; a re-run rewrites it.
TEST(BatchScript, SummaryGathersTheConesInTableOrder)
{
    if (!have_program("parallel")) GTEST_SKIP() << "GNU parallel (Debian package parallel) is not installed";
    TempRoot root;
    const std::string site = maunga_whau_site(root);
    const std::string dem = read_file(site + "maunga_whau.asc");
    write_file(site + "short.asc", dem.substr(0, dem.size() * 3 / 4));
    write_file(root.path() + "cones.csv", csv_header + "site,short,0,,,,,,10,,0,,,,,110,27,29,0,1,,\n" +
                                              "site,maunga_whau,0,,,,,,10,mw,0,,,,,110,27,29,0,1,,\n");
    int status = 0;
    std::string out = batch(root, "cones.csv", &status);
    EXPECT_EQ(status, 1) << out;

    const std::vector<std::string> lines = lines_of(read_file(root.path() + "cones-batch/summary.csv"));
    ASSERT_EQ(lines.size(), 3u);
    const std::string own_header = lines_of(read_file(site + "mw_summary.csv")).at(0);
    EXPECT_EQ(lines[0], "row,status," + own_header) << "the script knows the program's columns";
    const std::vector<std::string> names = csv_cells(lines[0]), failed = csv_cells(lines[1]);
    ASSERT_EQ(failed.size(), names.size()) << lines[1];
    EXPECT_EQ(failed[0], "1");
    EXPECT_TRUE(failed[1].starts_with(site + "short.asc ends at line ")) << failed[1];
    EXPECT_NE(failed[1].find(", column "), std::string::npos) << "a comma, quoted: " << lines[1];
    for (std::size_t k = 2; k < names.size(); ++k)
        EXPECT_EQ(failed[k], names[k] == "dem" ? "site/short.asc" : names[k] == "generic_name" ? "short" : "")
            << names[k];
    EXPECT_EQ(lines[2], "2,ok," + lines_of(read_file(site + "mw_summary.csv")).at(1));

    write_file(root.path() + "cones.csv", csv_header + "site,maunga_whau,0,,,,,,10,mw,0,,,,,110,27,29,0,1,,\n");
    out = batch(root, "cones.csv", &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_EQ(lines_of(read_file(root.path() + "cones-batch/summary.csv")),
              (std::vector<std::string>{lines[0], "1,ok," + lines_of(read_file(site + "mw_summary.csv")).at(1)}));
}

// Two rows on one raw DEM without descriptor: the first run to end writes the
// descriptor, without pixel size, so the other is asked the pixel size alone;
// on a re-run both are.  Each cone gets the figures of a run of its own, at
// any number of jobs.
TEST(BatchScript, RowsOnOneRawDemWithoutDescriptorFollowItsDescriptor)
{
    if (!have_program("parallel")) GTEST_SKIP() << "GNU parallel (Debian package parallel) is not installed";
    const std::string answers = "site mw 1 0 61 87 2 1 10 1 %s 1 0 0 110 0 27 29 0 1\n";
    TempRoot separate;
    const std::string alone = maunga_whau_site(separate);
    write_raw_maunga_whau(alone);
    std::string figures[2];
    for (int k = 0; k < 2; ++k) {
        std::filesystem::remove(alone + "mw_m2.txt");
        RunResult r = run_program(cfmt(answers.c_str(), k == 0 ? "a" : "b"));
        ASSERT_EQ(r.status, 0) << r.console;
        figures[k] = lines_of(read_file(alone + (k == 0 ? "a" : "b") + "_summary.csv")).at(1);
    }

    TempRoot root;
    const std::string site = maunga_whau_site(root);
    write_raw_maunga_whau(site);
    write_file(root.path() + "cones.csv", csv_header + "site,mw,1,0,61,87,2,1,10,a,1,0,0,,,110,27,29,0,1,,\n" +
                                              "site,mw,1,0,61,87,2,1,10,b,1,0,0,,,110,27,29,0,1,,\n");
    for (const char* jobs : {"-j 2", "-j 2", "-j 1"}) {
        if (std::string(jobs) == "-j 1") std::filesystem::remove(site + "mw_m2.txt");
        int status = -1;
        const std::string out = batch(root, std::string(jobs) + " cones.csv", &status);
        ASSERT_EQ(status, 0) << out;
        EXPECT_EQ(lines_of(read_file(root.path() + "cones-batch/summary.csv")).at(1), "1,ok," + figures[0]) << jobs;
        EXPECT_EQ(lines_of(read_file(root.path() + "cones-batch/summary.csv")).at(2), "2,ok," + figures[1]) << jobs;
        EXPECT_EQ(read_file(site + "mw_m2.txt"), "61\n87\n2\n");
    }
    // The last answers files: the first run without descriptor, the second with it.
    EXPECT_EQ(read_file(root.path() + "cones-batch/001-a.answers"), replace_all(cfmt(answers.c_str(), "a"), " ", "\n"));
    EXPECT_EQ(read_file(root.path() + "cones-batch/002-b.answers"),
              replace_all(replace_all(cfmt(answers.c_str(), "b"), " 61 87 2 ", " 2 "), " ", "\n"));
}

// A table in the terms of `tephromat measure`: quoted cells with commas, the
// centre in longitude and latitude, a failing row; each row's figures are
// those of the command run alone.  Tables that cannot be run are refused
// whole, with nothing written.
TEST(BatchScript, MeasureTermsTable)
{
    TempRoot root;
    const std::string site = maunga_whau_site(root);
    const std::string lidar = std::string(EXAMPLES_DIR) + "/maunga-whau-lidar/maungawhau_lidar_10m_nztm.tif";
    write_file(root.path() + "cones.csv",
               "dem, base,centre,centre_lonlat,name,out,format,quiet\n"
               "site/maunga_whau.asc,125,\"27,29\",,mw125,results,esri,yes\n"
               "# the LiDAR GeoTIFF, its centre in longitude and latitude\n" +
                   lidar + ",auto,,\"174.7642,-36.8772\",,results,,\n" + lidar +
                   ",117,,\"174.9,-36.8772\",outside,results,,0\n");
    int status = -1;
    std::string out = batch(root, "-j 2 cones.csv", &status);
    EXPECT_EQ(status, 1) << out;  // the third row fails
    std::istringstream field(read_file(root.path() + "cones-batch/summary.csv"));
    std::vector<std::string> lines;
    for (std::string l; std::getline(field, l);) lines.push_back(l);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_NE(lines[3].find("3,\"--centre-lonlat 174.9,-36.8772 lies outside the grid : longitude"), std::string::npos)
        << lines[3];
    struct Single {
        std::string args, summary;
    } singles[] = {{"site/maunga_whau.asc --base 125 --centre 27,29 --name mw125 --format esri",
                    "alone/mw125_summary.csv"},
                   {shell_quote(lidar) + " --base auto --centre-lonlat 174.7642,-36.8772",
                    "alone/maungawhau_lidar_10m_nztm_summary.csv"}};
    for (int k = 0; k < 2; ++k) {
        command_output("cd " + shell_quote(root.path()) + " && " + shell_quote(TEPHROMAT_EXE) + " measure " +
                           singles[k].args + " --quiet --out alone",
                       &status);
        ASSERT_EQ(status, 0);
        std::istringstream s(read_file(root.path() + singles[k].summary));
        std::string header, row;
        std::getline(s, header);
        std::getline(s, row);
        if (k == 0) {
            EXPECT_EQ(lines[0], "row,status," + header);
        }
        EXPECT_EQ(lines[std::size_t(k) + 1], std::to_string(k + 1) + ",ok," + row);
    }
    EXPECT_NE(read_file(root.path() + "cones-batch/001-mw125.command")
                  .find("measure 'site/maunga_whau.asc' --base '125' --centre '27,29' --name 'mw125' --out 'results' "
                        "--format 'esri' --quiet\n"),
              std::string::npos);

    // A sweep into the folder of an earlier run's summary: the row is the
    // sweep's, not the earlier figures.
    write_file(root.path() + "sweep.csv", "dem,base_sweep,centre,name,out\nsite/maunga_whau.asc,120:130:5,\"27,29\",mw125,"
                                          "results\n");
    batch(root, "sweep.csv", &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(read_file(root.path() + "sweep-batch/summary.csv").find("1,base sweep: results/mw125_base_sweep.csv,"),
              lines[0].size() + 1);

    const std::string earlier = read_file(root.path() + "cones-batch/summary.csv");
    struct Refused {
        std::string table, error;
    } refused[] = {
        {"dem,base,centre,speed\nsite/maunga_whau.asc,125,\"27,29\",fast\n", "the column speed is no option"},
        {"base,centre\n125,\"27,29\"\n", "the header has no column dem"},
        {"dem,base,centre,centre_xy\nsite/maunga_whau.asc,125,\"27,29\",\"1,2\"\n", "and only one, must be filled"},
        {"dem,base,centre\nsite/maunga_whau.asc,125,\"27,29\n", "a quoted cell is not closed"},
        {"dem,base,centre\nsite/maunga_whau.asc,125,2\"7,29\"\n", "a quote inside a cell"},
        {"dem,base,centre,quiet\nsite/maunga_whau.asc,125,\"27,29\",maybe\n", "the column quiet is a flag"},
        {"dem,base,centre,out\nsite/maunga_whau.asc,125,\"27,29\",r\nsite/maunga_whau.asc,110,summit,./r/\n",
         "the same out folder and name as line 2"},
        {"dem,base,centre,out\nsite/maunga_whau.asc,125,\"27,29\",r\nsite/maunga_whau.asc,110,summit," + root.path() +
             "r\n",
         "rows 1 and 2 write the same results (" + root.path() + "r/maunga_whau)"},
    };
    for (const Refused& r : refused) {
        SCOPED_TRACE(r.table);
        write_file(root.path() + "cones.csv", r.table);
        out = batch(root, "cones.csv", &status);
        EXPECT_EQ(status, 1);
        EXPECT_NE(out.find(r.error), std::string::npos) << out;
        EXPECT_EQ(read_file(root.path() + "cones-batch/summary.csv"), earlier);
        EXPECT_TRUE(file_exists(root.path() + "cones-batch/001-mw125.command"));
    }
}
