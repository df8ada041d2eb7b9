// <G>_answers.txt repeats the run; --version, --help and the installed program.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>

#include "run_support.hpp"

namespace {

const std::string sample_answers = "site\nmaunga_whau\n0\n10\n0\n0\n110\n0\n27\n29\n0\n0\n4\n1\n";

// Every file of `site`, name and content.
std::vector<std::pair<std::string, std::string>> snapshot(const std::string& site)
{
    std::vector<std::pair<std::string, std::string>> files;
    for (const std::string& f : list_dir(site)) files.emplace_back(f, read_file(site + f));
    return files;
}

// Removes what the run wrote, keeping `keep`.
void clear_outputs(const std::string& site, const std::vector<std::string>& keep)
{
    for (const std::string& f : list_dir(site))
        if (std::find(keep.begin(), keep.end(), f) == keep.end()) std::filesystem::remove(site + f);
}

// The program itself, its standard input read from `input`, TEPHROMAT_ROOT
// being the test's root.
int run_executable(const std::string& input, std::string* console = nullptr)
{
    int status = 0;
    std::string out = command_output(shell_quote(TEPHROMAT_EXE) + " < " + shell_quote(input), &status);
    if (console) *console = out;
    return status;
}

}  // namespace

TEST(AnswersRecord, ReplayReadingTheRecordInPlaceRepeatsEveryFile)
{
    TempRoot root;
    const std::string site = maunga_whau_site(root);
    // Refused and asked again, so left out of the record: a word for the
    // format, -5 for the pixel size, 7 for a menu, 1.5 for the centre line.
    // Accepted, so recorded as typed: "1e1" for the pixel size, and a centre
    // outside the grid, whose two coordinates are then asked again.
    write_file(root.path() + "answers.txt",
               "site maunga_whau word 0 -5 1e1 1 mw 7 1 1 2 110 0 1.5 70 29 27 29 1 0 3 0\n");
    std::string first_console;
    ASSERT_EQ(run_executable(root.path() + "answers.txt", &first_console), 0) << first_console;
    const auto first = snapshot(site);
    ASSERT_EQ(read_file(site + "mw_answers.txt"),
              "site\nmaunga_whau\n0\n1e1\n1\nmw\n1\n1\n2\n110\n0\n70\n29\n27\n29\n1\n0\n3\n0\n");

    // The replay reads the record on its standard input while it writes it.
    clear_outputs(site, {"maunga_whau.asc", "mw_answers.txt"});
    std::string console;
    ASSERT_EQ(run_executable(site + "mw_answers.txt", &console), 0) << console;
    const auto again = snapshot(site);
    ASSERT_EQ(again.size(), first.size());
    for (std::size_t k = 0; k < first.size(); ++k) {
        EXPECT_EQ(again[k].first, first[k].first);
        EXPECT_TRUE(again[k].second == first[k].second) << first[k].first << " differs";
    }
}

TEST(AnswersRecord, ReplayOfARawDemWhoseDescriptorTheRunWrote)
{
    TempRoot root;
    const std::string site = root.folder("site");
    // A 16-bit raw cone without descriptor: the run asks its lines, columns
    // and pixel size (0, so asked again) and writes a descriptor without it.
    std::string samples;
    for (int i = 0; i < 30; ++i)
        for (int j = 0; j < 30; ++j) {
            const int d = std::abs(i - 15) + std::abs(j - 14);
            const std::uint16_t z = std::uint16_t(d < 12 ? 1500 - 40 * d : 1020);  // decimetres
            samples += char(z & 0xFF);
            samples += char(z >> 8);
        }
    write_file(site + "cone_m2.raw", samples);
    RunResult r = run_program("site cone 1 0 30 30 0 10 1 10 0 1 0 0 100 0 15 14 0 1\n");
    ASSERT_EQ(r.status, 0) << r.console;
    ASSERT_NE(r.console.find("No File"), std::string::npos);
    // The replay finds the descriptor and is asked only the pixel size.
    EXPECT_EQ(read_file(site + "cone_answers.txt"), "site\ncone\n1\n0\n10\n1\n10\n0\n1\n0\n0\n100\n0\n15\n14\n0\n1\n");
    const auto first = snapshot(site);

    clear_outputs(site, {"cone_m2.raw", "cone_m2.txt", "cone_answers.txt"});
    RunResult again = run_program(read_file(site + "cone_answers.txt"));
    ASSERT_EQ(again.status, 0) << again.console;
    EXPECT_EQ(again.console.find("No File"), std::string::npos);
    EXPECT_EQ(snapshot(site), first);
}

TEST(CommandLine, VersionIsTheProjectVersionAndUnknownArgumentsAreRefused)
{
    int status = -1;
    EXPECT_EQ(command_output(shell_quote(TEPHROMAT_EXE) + " --version", &status),
              std::string("tephromat ") + TEPHROMAT_VERSION + "\n");
    EXPECT_EQ(status, 0);

    // An argument the program does not know is a usage error, not a
    // dialogue that starts as if nothing had been asked.
    TempRoot root;
    const std::string site = maunga_whau_site(root);
    write_file(root.path() + "answers.txt", sample_answers);
    const std::string with_arguments =
        command_output(shell_quote(TEPHROMAT_EXE) + " --verbose x < " + shell_quote(root.path() + "answers.txt") +
                           " 2>&1",
                       &status);
    EXPECT_EQ(status, 2);
    EXPECT_EQ(with_arguments.find("Press any key"), std::string::npos);
    EXPECT_NE(with_arguments.find("tephromat: unknown argument \"--verbose\""), std::string::npos);
    EXPECT_EQ(list_dir(site), std::vector<std::string>{"maunga_whau.asc"});
}

// --help tells what the program is and how to run it, without a dialogue;
// installed with cmake --install, the program finds its README and the batch
// script finds the program.
TEST(CommandLine, HelpAndTheInstalledProgramWithItsScripts)
{
    TempRoot root;
    const std::string prefix = root.folder("prefix");
    const std::string build = std::filesystem::path(TEPHROMAT_EXE).parent_path().string();
    int status = -1;
    const std::string installed =
        command_output("cmake --install " + shell_quote(build) + " --prefix " + shell_quote(prefix) + " 2>&1", &status);
    ASSERT_EQ(status, 0) << installed;
    for (const char* file : {"bin/tephromat", "bin/tephromat-prepare-dem", "bin/tephromat-batch",
                             "share/doc/tephromat/README.md", "share/doc/tephromat/examples/maunga-whau/answers.txt"})
        EXPECT_TRUE(file_exists(prefix + file)) << file;

    const std::string help = command_output(shell_quote(prefix + "bin/tephromat") + " --help < /dev/null", &status);
    EXPECT_EQ(status, 0);
    for (const std::string& part :
         {std::string("tephromat ") + TEPHROMAT_VERSION + ": morphometry of eroded volcanic cones", std::string("Usage:"),
          std::string("TEPHROMAT_ROOT"), "(now: " + root.path() + ")", std::string("scripts/prepare-dem.sh INPUT"),
          std::string("scripts/batch.sh"), "More in the README: " + prefix + "share/doc/tephromat/README.md\n"})
        EXPECT_NE(help.find(part), std::string::npos) << part << "\n" << help;
    EXPECT_EQ(help.find("Name of the File Folder"), std::string::npos);
    // The program of the build tree names the source tree's README.
    const std::string source_readme = std::filesystem::path(EXAMPLES_DIR).parent_path().string() + "/README.md\n";
    EXPECT_NE(command_output(shell_quote(TEPHROMAT_EXE) + " -h < /dev/null").find("More in the README: " + source_readme),
              std::string::npos);

    if (!have_program("parallel")) GTEST_SKIP() << "GNU parallel (Debian package parallel) is not installed";
    maunga_whau_site(root);
    write_file(root.path() + "cones.csv",
               "folder,dem,input_format,raw_width,lines,columns,raw_pixel_size,unit,pixel_size,generic_name,"
               "output_format,output_width,output_scale,x_min,y_min,base,centre_line,centre_column,basal_slice,"
               "upper_slices,number_of_upper_slices,upper_slice_type\n"
               "site,maunga_whau,0,,,,,,10,,0,,,,,110,27,29,0,0,4,1\n");
    const std::string out = command_output("cd " + shell_quote(root.path()) + " && env -u TEPHROMAT PATH=/usr/bin:/bin " +
                                               shell_quote(prefix + "bin/tephromat-batch") + " cones.csv 2>&1",
                                           &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_TRUE(file_exists(root.path() + "site/maunga_whau_info.txt")) << out;
}
