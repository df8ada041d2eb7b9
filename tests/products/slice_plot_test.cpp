// The SVG plot of the slice analysis.
#include <gtest/gtest.h>

#include "products.hpp"
#include "slice_plot.hpp"
#include "run_support.hpp"

namespace {

std::size_t count(const std::string& s, const std::string& what)
{
    std::size_t n = 0;
    for (std::size_t p = 0; (p = s.find(what, p)) != std::string::npos; p += what.size()) ++n;
    return n;
}

// Parses the file with python3's XML parser (as strict as a browser's).
::testing::AssertionResult well_formed_xml(const std::string& path)
{
    int status = 0;
    const std::string out = command_output(
        "python3 -c 'import sys, xml.etree.ElementTree as E; E.parse(sys.argv[1])' " + shell_quote(path) + " 2>&1",
        &status);
    if (status == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << out;
}

// Rows of a tab-separated table after its header line.
std::size_t table_rows(const std::string& path) { return count(read_file(path), "\n") - 1; }

}  // namespace

TEST(SlicePlot, OpensAsXmlWhateverTheNameAndTheData)
{
    if (!have_program("python3")) GTEST_SKIP() << "python3 is not installed";
    TempRoot root;
    // Markup characters in the generic name; no slice above the base line.
    write_file(root.path() + "odd.svg", slice_plot_svg("a&b<c>\"d\"", {{0, 100}}, {}));
    EXPECT_TRUE(well_formed_xml(root.path() + "odd.svg"));
    write_file(root.path() + "empty.svg", slice_plot_svg("none", {}, {}));
    EXPECT_TRUE(well_formed_xml(root.path() + "empty.svg"));
    // Large edifices read in km2.
    EXPECT_NE(slice_plot_svg("cone", {{2.5e6, 100}}, {}).find("Surface (km&#178;)"), std::string::npos);
}

TEST(SlicePlot, RunPlotsEveryRowOfItsTables)
{
    TempRoot root;
    const std::string site = maunga_whau_site(root);
    RunResult r = run_program("site maunga_whau 0 10 0 0 110 0 27 29 0 0 4 1\n");
    ASSERT_EQ(r.status, 0) << r.console;
    const std::string svg = read_file(site + "maunga_whau_slices.svg");
    // The orientation table is still open when the plot reads it back.
    EXPECT_EQ(count(svg, "<circle "), table_rows(site + "maunga_whau_orient.xls"));
    EXPECT_GT(count(svg, "<circle "), 50u);
    const std::size_t points = svg.find("points=\"");
    ASSERT_NE(points, std::string::npos);
    EXPECT_EQ(count(svg.substr(points, svg.find('"', points + 8) - points), ","),
              table_rows(site + "maunga_whau_surf_slice.xls"));
    for (const char* label : {"Surface (m&#178;)", "Altitude (m)", "Orientation (&#176;", ">180<"})
        EXPECT_NE(svg.find(label), std::string::npos) << label;
    if (have_program("python3")) {
        EXPECT_TRUE(well_formed_xml(site + "maunga_whau_slices.svg"));
    }
}
