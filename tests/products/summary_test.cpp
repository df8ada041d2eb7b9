// <G>_summary.csv: the figures of the report and the console at full
// precision, empty where a figure does not exist, and an eroded volume that
// the output DEMs give back.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>

#include <ogr_api.h>

#include "gdal_messages.hpp"
#include "stage_support.hpp"
#include "summary.hpp"

namespace {

// Column name -> cell of a summary (two lines; the cells of these runs hold
// no quotes).
std::map<std::string, std::string> read_summary(const std::string& path, std::vector<std::string>* order = nullptr)
{
    std::istringstream in(read_file(path));
    std::string names, cells, extra;
    std::getline(in, names);
    std::getline(in, cells);
    EXPECT_FALSE(std::getline(in, extra)) << "one line of values";
    std::map<std::string, std::string> m;
    std::istringstream n(names + ","), c(cells + ",");
    for (std::string name, cell; std::getline(n, name, ',') && std::getline(c, cell, ',');) {
        m[name] = cell;
        if (order) order->push_back(name);
    }
    return m;
}

// The tokens that follow each occurrence of `label` in `text`.
std::vector<std::string> after(const std::string& text, const std::string& label)
{
    std::vector<std::string> v;
    for (std::size_t p = 0; (p = text.find(label, p)) != std::string::npos; p += label.size()) {
        std::istringstream in(text.substr(p + label.size(), 64));
        std::string token;
        in >> token;
        v.push_back(token);
    }
    return v;
}

// The ESRI grid's values, line by line.
std::vector<double> esri_values(const std::string& path, int* columns)
{
    std::istringstream in(read_file(path));
    std::string key;
    double value = 0;
    for (int k = 0; k < 6 && in >> key >> value; ++k)
        if (key == "ncols") *columns = int(value);
    std::vector<double> v;
    while (in >> value) v.push_back(value);
    return v;
}

// A figure of the report (`precision` decimals, the occurrence `nth` of its
// label) or of the console.
struct Printed {
    const char* column;
    const char* label;
    int nth;
    int precision;
    bool console = false;
};

const Printed printed[] = {
    {"pixel_size_m", "Pixel size = ", 0, 6},
    {"base_m", "Base line altitude = ", 0, 2},
    {"base_m", "Base line altitude = ", 1, 2},
    {"centre_line", "line   = ", 0, 0},
    {"centre_column", "column = ", 0, 0},
    {"chosen_item", "Chosen item = ", 0, 0},
    {"top_m", "Upper altitude     = ", 0, 2},
    {"height_m", "Volcanic height  = ", 0, 2},
    {"crater_depth_m", "Crater depth    = ", 0, 2},
    {"rebuilt_crater_depth_m", "Crater depth    = ", 1, 2},
    {"volume_km3", " m : \n\t\t ", 0, 6},
    {"slope_down_deg", "Slope down = ", 0, 2},
    {"slope_up_deg", "Slope up   = ", 0, 2},
    {"rebuilt_slope_down_deg", "Slope down = ", 1, 2},
    {"rebuilt_slope_up_deg", "Slope up   = ", 1, 2},
    {"base_radius_min_m", "Lower radius   = ", 0, 2},
    {"base_radius_max_m", "Greater radius = ", 0, 2},
    {"elongation_pct", "Elongation factor = ", 0, 2},
    {"crater_radius_min_m", "Lower radius   = ", 1, 2},
    {"crater_radius_max_m", "Greater radius = ", 1, 2},
    {"surface_2d_km2", "Bi-dimensional surface  : ", 0, 6},
    {"surface_3d_km2", "Tri-dimensional surface : ", 0, 6},
    {"surface_ratio_pct", "Surface Ratio = ", 0, 6},
    {"erosion_surface_2d_km2", "Bi-dimensional surface  : ", 1, 6},
    {"erosion_surface_3d_km2", "Tri-dimensional surface : ", 1, 6},
    {"erosion_surface_ratio_pct", "Surface Ratio = ", 1, 6},
    {"rebuilt_volume_km3", "GLOBAL VOLUME = ", 0, 3},
    {"dem_min", "Min : ", 0, 6},
    {"dem_max", "Max : ", 0, 6},
    {"dem_min_m", "Min : ", 1, 0},
    {"dem_max_m", "Max : ", 1, 0},
    {"volumetric_difference_km3", "Volumetric difference = ", 0, 6, true},
};

// Every printed figure agrees with its summary cell; an empty cell is printed
// as a zero.
void expect_agrees(const std::map<std::string, std::string>& s, const std::string& report, const std::string& console)
{
    for (const Printed& p : printed) {
        SCOPED_TRACE(std::string(p.column) + " / " + p.label);
        ASSERT_EQ(s.count(p.column), 1u);
        const std::vector<std::string> shown = after(p.console ? console : report, p.label);
        ASSERT_LT(std::size_t(p.nth), shown.size());
        const std::string& cell = s.at(p.column);
        if (cell.empty()) {
            EXPECT_EQ(std::strtod(shown[std::size_t(p.nth)].c_str(), nullptr), 0.0);
            continue;
        }
        char* end = nullptr;
        const double v = std::strtod(cell.c_str(), &end);
        EXPECT_EQ(*end, '\0') << cell;
        EXPECT_EQ(cfmt("%.*f", p.precision, v), shown[std::size_t(p.nth)]);
    }
    // The number of items as the report counts it (label 10 is never given).
    const std::vector<std::string> one = after(report, "Only one zone"), few = after(report, "base line = "),
                                   many = after(report, "Number of items = ");
    EXPECT_EQ(s.at("items"), !one.empty() ? "1" : !few.empty() ? few[0] : many.at(0));
    EXPECT_EQ(s.at("tephromat_version"), TEPHROMAT_VERSION);
    EXPECT_EQ(after(report, "Generic name of the different file_out (without any extension) : ").at(0),
              s.at("generic_name"));
    EXPECT_EQ(after(report, "Name of the treated file : ").at(0), "ROOT/" + s.at("dem"));
    EXPECT_EQ(s.at("centre_calculated"), report.find("calculated by the program") != std::string::npos ? "1" : "0");
    for (const auto& [name, cell] : s)
        for (const char* bad : {"nan", "inf", "-0"})
            EXPECT_FALSE(cell == bad || cell.starts_with(std::string(bad) + "."))
                << name << " = " << cell;
}

}  // namespace

// The columns named for the users' tables come first, in this order.
TEST(Summary, BundledSampleAgreesWithReportConsoleAndOutputDems)
{
    TempRoot root;
    const std::string site = maunga_whau_site(root, "maunga-whau");
    RunResult r = run_program(read_file(std::string(EXAMPLES_DIR) + "/maunga-whau/answers.txt"));
    ASSERT_EQ(r.status, 0) << r.console;
    std::vector<std::string> order;
    const auto s = read_summary(site + "maunga_whau_summary.csv", &order);
    const std::vector<std::string> named = {
        "tephromat_version", "dem", "generic_name", "pixel_size_m", "base_m", "centre_line", "centre_column",
        "centre_calculated", "items", "chosen_item", "top_m", "height_m", "crater_depth_m", "volume_km3",
        "slope_down_deg", "slope_up_deg", "base_radius_min_m", "base_radius_max_m", "elongation_pct",
        "crater_radius_min_m", "crater_radius_max_m", "surface_2d_km2", "surface_3d_km2", "surface_ratio_pct",
        "rebuilt_volume_km3", "rebuilt_slope_down_deg", "rebuilt_slope_up_deg", "erosion_surface_2d_km2",
        "erosion_surface_3d_km2", "volumetric_difference_km3", "eroded_volume_km3", "erosion_max_m"};
    ASSERT_GE(order.size(), named.size());
    EXPECT_EQ(std::vector<std::string>(order.begin(), order.begin() + std::ptrdiff_t(named.size())), named);
    const std::string report = rooted(read_file(site + "maunga_whau_info.txt"), root);
    expect_agrees(s, report, r.console);
    EXPECT_EQ(s.at("dem"), "maunga-whau/maunga_whau.asc");
    EXPECT_EQ(s.at("slice_centre_line"), "27");
    EXPECT_EQ(s.at("x_min") + " " + s.at("y_min"), "0 0");

    // The eroded volume, cell by cell, from the rebuilt cone and the DEM in
    // whole metres.  The written rebuilt cone's line 0 repeats its line 1:
    // this edifice does not reach line 0, whose erosion is 0.
    int nc = 0, nc_present = 0;
    const std::vector<double> rebuilt = esri_values(site + "maunga_whau_rec1.asc", &nc);
    const std::vector<double> present = esri_values(site + "maunga_whau.asc", &nc_present);
    ASSERT_EQ(rebuilt.size(), present.size());
    ASSERT_EQ(nc, nc_present);
    std::int64_t sum = 0, most = 0;
    for (std::size_t p = std::size_t(nc); p < rebuilt.size(); ++p) {
        const std::int64_t d = std::int64_t(rebuilt[p]) - std::int64_t(present[p]);
        if (d > 0) sum += d;
        most = std::max(most, d);
    }
    EXPECT_EQ(s.at("eroded_volume_km3"), summary_number(double(sum) * (10.0 * 10.0) * 1e-9));
    EXPECT_EQ(s.at("erosion_max_m"), std::to_string(most));
    // The volumetric difference (0.002034) is about a quarter larger here.
    EXPECT_EQ(cfmt("%.6f", std::strtod(s.at("eroded_volume_km3").c_str(), nullptr)), "0.001625");
    // At its base line the sample's edifice is clear of the grid's edges,
    // and its centre lies in its crater: no warning.
    EXPECT_EQ(s.at("warnings"), "");
    EXPECT_EQ(s.at("edifice_border_cells"), "0");
    EXPECT_EQ(s.at("crater_found"), "1");
    EXPECT_EQ(r.console.find("Warning"), std::string::npos);
}

// A calculated centre: the report's centre is the edifice's gravity centre,
// the slice analysis used that of every cell at or above the base line.  Raw
// output: the erosion descriptor gives the largest thickness.
TEST(Summary, CalculatedCentreAndRawOutput)
{
    TempRoot root;
    const std::string site = maunga_whau_site(root);
    RunResult r = run_program("site maunga_whau 0 10 1 mw 1 1 3 110 1 0 1\n");
    ASSERT_EQ(r.status, 0) << r.console;
    const auto s = read_summary(site + "mw_summary.csv");
    expect_agrees(s, rooted(read_file(site + "mw_info.txt"), root), r.console);
    EXPECT_EQ(after(read_file(site + "mw_rec1_eros_m4.txt"), "Maximum erosion thickness = ").at(0),
              cfmt("%f", std::strtod(s.at("erosion_max_m").c_str(), nullptr)));

    int nc = 0;
    const std::vector<double> z = esri_values(site + "maunga_whau.asc", &nc);
    std::int64_t n = 0, si = 0, sj = 0;
    for (std::size_t p = 0; p < z.size(); ++p)
        if (std::int64_t(z[p]) >= 110) {
            ++n;
            si += std::int64_t(p) / nc;
            sj += std::int64_t(p) % nc;
        }
    EXPECT_EQ(s.at("slice_centre_line") + " " + s.at("slice_centre_column"),
              std::to_string(si / n) + " " + std::to_string(sj / n));
}

// A pyramid whose summit is the centre (no crater detection, no ascending
// pixel) among eleven small hills (twelve items, labelled 1 to 13): the figures that do not exist are empty,
// and the items are counted as the report counts them (label 10 is skipped).
TEST(Summary, FiguresThatDoNotExistAreEmpty)
{
    TempRoot root;
    const std::string site = root.folder("site");
    Rows rows = flat_rows(40, 40, 90);
    for (int i = 12; i <= 28; ++i)
        for (int j = 12; j <= 28; ++j) rows[i][j] = 140 - 5 * std::max(std::abs(i - 20), std::abs(j - 20));
    for (int k = 0; k < 11; ++k) {
        const int i = k < 8 ? 2 : 36, j = 2 + 4 * (k % 8);
        for (int a = 0; a < 2; ++a)
            for (int b = 0; b < 2; ++b) rows[i + a][j + b] = 105;
    }
    write_file(site + "pyramid.asc", esri_text(rows));
    RunResult r = run_program("site pyramid 0 10 0 0 100 0 20 20 0 1\n");
    ASSERT_EQ(r.status, 0) << r.console;
    const auto s = read_summary(site + "pyramid_summary.csv");
    expect_agrees(s, rooted(read_file(site + "pyramid_info.txt"), root), r.console);
    EXPECT_EQ(s.at("items"), "12");
    for (const char* empty : {"crater_radius_min_m", "crater_radius_max_m", "slope_up_deg"})
        EXPECT_EQ(s.at(empty), "") << empty;
    EXPECT_EQ(s.at("x_min") + " " + s.at("y_min"), "1000 2000");
}

// <G>_morphometry.csv (a header and one line, `mode` first), <G>_contours.csv
// (a line per level, a contour interval apart) and <G>_height_bands.csv (ten
// bands) of the bundled sample; the peak is the top the slices reached.
TEST(Summary, MorphometryTablesOfTheBundledSample)
{
    TempRoot root;
    const std::string site = maunga_whau_site(root, "maunga-whau");
    ASSERT_EQ(run_program(read_file(std::string(EXAMPLES_DIR) + "/maunga-whau/answers.txt")).status, 0);
    std::vector<std::string> order;
    const auto m = read_summary(site + "maunga_whau_morphometry.csv", &order);
    ASSERT_EQ(order.size(), 59u);
    EXPECT_EQ(order.front(), "mode");
    EXPECT_EQ(m.at("mode"), "horizontal");
    EXPECT_EQ(order.back(), "min_eroded_volume_pct");
    const auto s = read_summary(site + "maunga_whau_summary.csv");
    EXPECT_EQ(std::floor(std::stod(m.at("peak_m"))), std::stod(s.at("top_m")));
    EXPECT_EQ(std::stod(m.at("basal_z_min_m")), std::stod(s.at("base_m")));

    auto lines = [](const std::string& text) {
        std::vector<std::string> v;
        std::istringstream in(text);
        for (std::string l; std::getline(in, l);) v.push_back(l);
        return v;
    };
    const std::vector<std::string> contours = lines(read_file(site + "maunga_whau_contours.csv"));
    ASSERT_GE(contours.size(), 3u);
    EXPECT_EQ(contours[0].substr(0, 32), "mode,level_m,pieces,closed,gap_m");
    const double ci = std::stod(m.at("contour_interval_m"));
    for (std::size_t k = 2; k < contours.size(); ++k) {
        EXPECT_EQ(contours[k].substr(0, 11), "horizontal,");
        const double a = std::stod(contours[k - 1].substr(11)), b = std::stod(contours[k].substr(11));
        EXPECT_NEAR(b - a, ci, 1e-9) << contours[k];
    }
    const std::vector<std::string> bands = lines(read_file(site + "maunga_whau_height_bands.csv"));
    ASSERT_EQ(bands.size(), 11u);
    EXPECT_EQ(bands[0], "mode,fraction,slope_mean_deg,closed,ei_bfe,ii_bfe,axis_ellipticity");
    EXPECT_EQ(bands[10].substr(0, 16), "horizontal,0.95,");

    // <G>_vectors.gpkg, read back through OGR: the layers, a feature per 1 m
    // slice of the slice table (its header and basal slice 0 aside), the
    // outline's area, the centre typed (line 27, column 29) with its whole
    // metres; a second run writes the same bytes.  The figure is drawn.
    const std::string gpkg = site + "maunga_whau_vectors.gpkg";
    const std::string bytes = read_file(gpkg);
    for (const char* stray : {"-journal", "-wal", "-shm"}) EXPECT_FALSE(file_exists(gpkg + stray)) << stray;
    for (const char* figure : {"maunga_whau_morphometry.png", "maunga_whau_morphometry.svg"})
        EXPECT_GT(read_file(site + figure).size(), 1000u) << figure;
    {
        gdal_ready();
        GdalDataset ds(GDALOpenEx(gpkg.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, nullptr, nullptr, nullptr));
        ASSERT_TRUE(ds);
        auto* h = static_cast<GDALDatasetH>(ds.get());
        auto count = [&](const char* name) {
            OGRLayerH l = GDALDatasetGetLayerByName(h, name);
            return l ? OGR_L_GetFeatureCount(l, 1) : -1;
        };
        EXPECT_EQ(count("outline"), 1);
        EXPECT_EQ(count("crater"), m.at("crater_source") == "none" ? -1 : 1);
        EXPECT_EQ(count("summit_region"), m.at("summit_width_m").empty() ? 0 : 1);
        EXPECT_GE(count("contours"), 1);
        EXPECT_LE(count("contours"), GIntBig(contours.size() - 1));
        // A contour line has two points apart at least (the one round the
        // top cell's corner, all in one point, has none).
        OGRLayerH lines_layer = GDALDatasetGetLayerByName(h, "contours");
        for (OGRFeatureH c; (c = OGR_L_GetNextFeature(lines_layer)) != nullptr; OGR_F_Destroy(c))
            if (OGRGeometryH g = OGR_F_GetGeometryRef(c)) {
                EXPECT_TRUE(OGR_G_IsValid(g)) << OGR_F_GetFID(c);
            }
        EXPECT_EQ(count("slices"), GIntBig(lines(read_file(site + "maunga_whau_surf_slice.xls")).size() - 2));
        OGRLayerH outline = GDALDatasetGetLayerByName(h, "outline");
        OGRFeatureH f = OGR_L_GetNextFeature(outline);
        ASSERT_TRUE(f);
        EXPECT_NEAR(OGR_G_Area(OGR_F_GetGeometryRef(f)) * 1e-6, std::stod(m.at("basal_area_km2")), 1e-9);
        OGR_F_Destroy(f);
        OGRLayerH centre = GDALDatasetGetLayerByName(h, "centre");
        f = OGR_L_GetNextFeature(centre);
        ASSERT_TRUE(f);
        EXPECT_EQ(OGR_F_GetFieldAsInteger(f, OGR_F_GetFieldIndex(f, "line")), 27);
        EXPECT_EQ(OGR_F_GetFieldAsInteger(f, OGR_F_GetFieldIndex(f, "column")), 29);
        // Line 27 of the grid's samples (after its 6 header lines), column 29.
        const std::vector<std::string> dem = lines(read_file(site + "maunga_whau.asc"));
        std::istringstream row(dem.at(6 + 27));
        double z = 0;
        for (int j = 0; j <= 29; ++j) row >> z;
        EXPECT_EQ(OGR_F_GetFieldAsInteger(f, OGR_F_GetFieldIndex(f, "altitude")), int(z));
        OGRGeometryH point = OGR_F_GetGeometryRef(f);
        EXPECT_DOUBLE_EQ(OGR_G_GetX(point, 0), std::stod(s.at("x_min")) + 29.5 * 10);
        OGR_F_Destroy(f);
    }
    TempRoot again;
    const std::string other = maunga_whau_site(again, "maunga-whau");
    ASSERT_EQ(run_program(read_file(std::string(EXAMPLES_DIR) + "/maunga-whau/answers.txt")).status, 0);
    EXPECT_TRUE(read_file(other + "maunga_whau_vectors.gpkg") == bytes);
    EXPECT_TRUE(read_file(other + "maunga_whau_morphometry.svg") == read_file(site + "maunga_whau_morphometry.svg"));
}
