// Complete runs compared byte for byte with runs of an independent
// implementation: console, report, tables, output DEMs and descriptors.
#include <gtest/gtest.h>

#include "reference.hpp"
#include "run_support.hpp"

namespace {

const std::string reference_dir = std::string(TEST_DATA_DIR) + "/reference-runs/";

// What a complete run writes beside the described outputs: pictures, slice
// plot, summary table, answers, and a GIS header for each raw raster.
std::vector<std::string> companion_files(const std::vector<std::string>& described)
{
    std::vector<std::string> names;
    for (const std::string& f : described) {
        if (f.ends_with("_info.txt")) {
            const std::string g = f.substr(0, f.size() - 9);
            for (const char* s :
                 {"_rec1_shad.png", "_rec1_shaderos.png", "_erosion.png", "_slices.svg", "_centres_map.csv",
                  "_summary.csv", "_morphometry.csv", "_contours.csv", "_height_bands.csv", "_vectors.gpkg",
                  "_morphometry.png", "_morphometry.svg", "_answers.txt"})
                names.push_back(g + s);
        }
        if (f.ends_with(".raw")) names.push_back(f.substr(0, f.size() - 4) + ".hdr");
    }
    return names;
}

void check_reference_run(const std::string& name, const Stages* stages = nullptr)
{
    TempRoot root;
    const std::string site = root.folder("site");
    copy_dir_files(reference_dir + name + "/input", site);
    const std::string expected = reference_dir + name + "/expected/";

    RunResult r = run_program(read_file(reference_dir + name + "/answers.txt"), stages);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(replace_all(r.console, root.path(), "ROOT/"), read_file(expected + "console.txt"));

    std::vector<std::string> written;
    for (const std::string& f : list_dir(expected)) {
        if (f == "console.txt") continue;
        written.push_back(f);
        std::string got = read_file(site + f);
        if (f.ends_with("_info.txt")) got = replace_all(got, root.path(), "ROOT/");
        EXPECT_TRUE(got == read_file(expected + f)) << f << " differs";
    }
    for (const std::string& f : companion_files(written)) written.push_back(f);
    for (const std::string& f : list_dir(reference_dir + name + "/input")) written.push_back(f);
    std::sort(written.begin(), written.end());
    EXPECT_EQ(list_dir(site), written) << "the run wrote other files than the reference";
}

}  // namespace

TEST(ReferenceRuns, MaungaWhauEsriInAndOut) { check_reference_run("maunga-whau-esri"); }

// The lowest base line at which the edifice is clear of the grid's edges: no
// warning.
TEST(ReferenceRuns, MaungaWhauBase125) { check_reference_run("maunga-whau-base125"); }

TEST(ReferenceRuns, SyntheticConeRaw16Out) { check_reference_run("synthetic-cone-raw16"); }

TEST(ReferenceRuns, MaungaWhauRaw16MillimetresComputedCentre)
{
    check_reference_run("maunga-whau-raw16mm-computed");
}

// The straightforward stages that the tests use as oracles reproduce them too.
TEST(ReferenceRuns, StraightforwardStagesReproduceThem)
{
    check_reference_run("maunga-whau-esri", &reference_stages);
    check_reference_run("maunga-whau-base125", &reference_stages);
    check_reference_run("synthetic-cone-raw16", &reference_stages);
    check_reference_run("maunga-whau-raw16mm-computed", &reference_stages);
}
