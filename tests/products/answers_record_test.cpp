// <G>_answers.txt repeats the run; --version.
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

TEST(CommandLine, VersionIsTheProjectVersionAndOtherArgumentsAreIgnored)
{
    int status = -1;
    EXPECT_EQ(command_output(shell_quote(TEPHROMAT_EXE) + " --version", &status),
              std::string("tephromat ") + TEPHROMAT_VERSION + "\n");
    EXPECT_EQ(status, 0);

    TempRoot root;
    maunga_whau_site(root);
    write_file(root.path() + "answers.txt", sample_answers);
    std::string plain;
    ASSERT_EQ(run_executable(root.path() + "answers.txt", &plain), 0);
    const std::string with_arguments =
        command_output(shell_quote(TEPHROMAT_EXE) + " --help x < " + shell_quote(root.path() + "answers.txt"), &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(with_arguments, plain);
    EXPECT_NE(plain.find("Press any key to exit the program"), std::string::npos);
}
