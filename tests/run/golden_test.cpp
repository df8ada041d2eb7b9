// End-to-end runs of the bundled Maunga Whau sample in raw output, compared
// byte for byte with golden files made by this program and checked by reading
// them (tests/data/golden/*/README.md).  TEPHROMAT_UPDATE_GOLDEN=1 rewrites
// them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "stage_support.hpp"

namespace {

const std::string golden_dir = std::string(TEST_DATA_DIR) + "/golden/";

void check_golden(const std::string& name)
{
    TempRoot root;
    const std::string site = root.folder("maunga-whau");
    copy_dir_files(std::string(EXAMPLES_DIR) + "/maunga-whau", site);
    std::filesystem::remove(site + "answers.txt");
    std::filesystem::remove(site + "README.md");
    const std::string dir = golden_dir + name + "/";
    RunResult r = run_program(read_file(dir + "answers.txt"));
    ASSERT_EQ(r.status, 0) << r.console;

    // The companion files have tests of their own (and PNG bytes depend on
    // the zlib version).
    std::vector<std::string> written;
    for (const std::string& f : described_only(list_dir(site)))
        if (f != "maunga_whau.asc") written.push_back(f);
    const bool update = std::getenv("TEPHROMAT_UPDATE_GOLDEN") != nullptr;
    if (update) {
        std::filesystem::remove_all(dir + "expected");
        std::filesystem::create_directories(dir + "expected");
        write_file(dir + "expected/console.txt", rooted(r.console, root));
        for (const std::string& f : written) {
            std::string content = read_file(site + f);
            if (f.ends_with(".txt")) content = rooted(content, root);
            write_file(dir + "expected/" + f, content);
        }
    }
    EXPECT_TRUE(rooted(r.console, root) == read_file(dir + "expected/console.txt")) << "console differs";
    std::vector<std::string> expected = list_dir(dir + "expected");
    expected.erase(std::find(expected.begin(), expected.end(), "console.txt"));
    EXPECT_EQ(written, expected);
    for (const std::string& f : written) {
        std::string got = read_file(site + f);
        if (f.ends_with(".txt")) got = rooted(got, root);
        EXPECT_TRUE(got == read_file(dir + "expected/" + f)) << f << " differs";
    }
}

}  // namespace

// Raw 16-bit output in decimetres, centre typed on the crater floor, basal
// slice as perimeter, three upper slices as surfaces.
TEST(Golden, MaungaWhauRaw16Decimetres) { check_golden("maunga-whau-raw16-dm"); }

// Raw 32-bit output in millimetres, centre calculated from the basal slice,
// another generic name, no upper slices.
TEST(Golden, MaungaWhauRaw32MillimetresCalculatedCentre) { check_golden("maunga-whau-raw32-mm-centre"); }
