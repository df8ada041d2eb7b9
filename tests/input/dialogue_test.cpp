// The opening dialogue and the run parameters as the operator sees them:
// transcripts, files opened and created, and answers that are asked again.
#include <gtest/gtest.h>

#include <filesystem>

#include "stage_support.hpp"

namespace {

const std::string empty_box = "\n\t*                                                            *";
const std::string banner = "\n\n\t**************************************************************" + empty_box +
                           "\n\t*                     TEPHROMAT                              *" + empty_box +
                           empty_box + empty_box + empty_box +
                           "\n\t*              Morphometry of eroded volcanic cones          *"
                           "\n\t*              Free software edition, 2026                   *" +
                           empty_box +
                           "\n\t*                              Actualization Version 4       *"
                           "\n\t*                                       (December 2018)      *" +
                           empty_box + "\n\t**************************************************************";

const std::string format_prompt = "\n\tFormat Type :\n\t\t0 ====> ascii\n\t\t1 ====> raster\n\t\t";
const std::string generic_choices =
    "\n\t\t0 -----> Use of the generic name dem1 ? \n\t\t1 -----> Define a new generic name ? \n\t\t";
const std::string hypso_prompt =
    "\n\n\tHypsometric Interval : \n\t\t0 ====> in meters\n\t\t1 ====> in decimeters"
    "\n\t\t2 ====> in centimeters\n\t\t3 ====> in millimeters\n\t\t";
const std::string gravity_prompt =
    "\n\tGravity Center : \n\t\t0 ====> defined by the user (recommended choice) "
    "\n\t\t1 ====> calculated from the basal slice\n\t\t";
const std::string error_eoi = "\n\tError : end of input, the dialogue is incomplete\n";

// Answers after the DEM part: generic name 0, ESRI output, base 101, typed
// centre (6, 6), basal slice as surface, no upper slices, the key.
const std::string esri_tail = "0\n0\n101\n0\n6\n6\n0\n1\n\n";

struct Site {
    TempRoot root;
    std::string dir = root.folder("site1");
    void esri(const Rows& rows = small_cone()) const { write_file(dir + "dem1.asc", esri_text(rows)); }
    void raw16() const
    {
        std::vector<std::uint16_t> s;
        for (int v : flatten(small_cone())) s.push_back(std::uint16_t(v));
        write_raw16(dir + "dem1_m2.raw", s);
    }
    void raw32(int scale = 1) const
    {
        std::vector<std::int32_t> s = flatten(small_cone());
        for (auto& v : s) v *= scale;
        write_raw32(dir + "dem1_m4.raw", s);
    }
    // The files of the folder, companion files aside.
    std::vector<std::string> files() const { return described_only(list_dir(dir)); }
};

std::vector<std::string> sorted(std::vector<std::string> v)
{
    std::sort(v.begin(), v.end());
    return v;
}

}  // namespace

TEST(Dialogue, Raw16WithDescriptorTo32BitRawTranscriptAndFiles)
{
    Site s;
    s.raw16();
    write_file(s.dir + "dem1_m2.txt", "12\n12\n2\n100\n108\n10\n");
    RunResult r = run_program("site1\ndem1\n1\n0\n0\n10\n0\n1\n1\n0\n101\n0\n6\n6\n0\n1\n\n");
    ASSERT_EQ(r.status, 0) << r.console;
    const std::string expected =
        banner + "\n\n\tName of the File Folder located in the Directory ROOT/ ? " +
        "\n\tName of the DEM to be treated (whitout any extension) ? " + format_prompt +
        "\n\ttype of DEM raster :\n\t\t0 ====> 16 bits\n\t\t1 ====> 32 bits\n\t\t" +
        "\n\tTHE DIGITAL ELEVATION MODEL HAS : \n\t            12 LINES\n\t        AND 12 COLUMNS\n" +
        "\n\tDynamic scale of the selected DEM : \n\tMin : 100\tMax : 108 " + hypso_prompt +
        "\n\n\tDynamic scale of the DEM in meters (integer values) : \n\tMin : 100\tMax : 108 " +
        "\n\n\tPixel size (decimal value in meters) ? " + "\n\tSet of Files out : " + generic_choices +
        "\n\tFormat Type for all the DEM out : \n\t\t0 ====> ascii\n\t\t1 ====> raster\n\t\t" +
        "\n\ttype of DEM_out raster : \n\t\t0 ====> 16 bits\n\t\t1 ====> 32 bits\n\t\t" +
        "\n\tDynamic scale of DEM_out : \n\t\t0 ====> meters\n\t\t1 ====> decimeters"
        "\n\t\t2 ====> centimeters\n\t\t3 ====> millimeters\n\t\t" +
        "\n\n\tAltitude of the volcanic base line (in meters) ? " + gravity_prompt +
        "\n\tCoordinates of the gravity center : \n\t\tline   ? \t\tcolumn ? " +
        "\n\n\tBasic Slice Representation : \n\t\t0 ====> Surface\n\t\t1 ====> Perimeter\n\t\t" +
        "\n\tUpper Slices Visualization in the Gravity Center Model :\n\t\t0 ====> yes\n\t\t1 ====> no\n\t\t" +
        "\n\tNumber of pixels in the former basic slice = ";
    EXPECT_EQ(rooted(r.console, s.root).substr(0, expected.size()), expected);
    EXPECT_EQ(s.files(), sorted({"dem1_m2.raw", "dem1_m2.txt", "dem1_info.txt", "dem1_orient.xls",
                                 "dem1_gravcenters.xyz", "dem1_surf_slice.xls", "dem1_rec1_m4.raw",
                                 "dem1_rec1_m4.txt", "dem1_rec1_eros_m4.raw", "dem1_rec1_eros_m4.txt",
                                 "dem1_rec1_shad.raw", "dem1_rec1_shad.txt", "dem1_rec1_shaderos.raw",
                                 "dem1_rec1_shaderos.txt"}));
    EXPECT_EQ(read_file(s.dir + "dem1_m2.txt"), "12\n12\n2\n100\n108\n10\n");  // read, not rewritten
    EXPECT_EQ(read_file(s.dir + "dem1_rec1_shad.txt"), "12\n12\n4\n0\n255\n10\n");
    EXPECT_EQ(read_file(s.dir + "dem1_rec1_shaderos.txt"), "12\n12\n4\n0\n255\n10\n");
    EXPECT_EQ(read_file(s.dir + "dem1_rec1_m4.raw").size(), 12u * 12u * 4u);
    EXPECT_EQ(read_file(s.dir + "dem1_rec1_shad.raw").size(), 12u * 12u);
    const std::string info = rooted(read_file(s.dir + "dem1_info.txt"), s.root);
    EXPECT_EQ(info.find("\n\tVOLCANIC CONE PARAMETERIZATION\n\n\tName of the treated file : ROOT/site1/dem1_m2.raw"
                        "\n\tDynamic scale of the selected DEM : "),
              0u);
    EXPECT_NE(info.find("saved as ROOT/site1/dem1_rec1_m4.raw "), std::string::npos);
    EXPECT_NE(info.find("saved as ROOT/site1/dem1_rec1_shaderos.raw "), std::string::npos);
}

TEST(Dialogue, Raw32WithoutDescriptorAsksAndWritesThreeLines)
{
    Site s;
    s.raw32();
    // lines (0 and -3 asked again), columns, pixel size; interval, decimal pixel size; new generic
    // name; raw 16-bit in dm
    RunResult r = run_program("site1\ndem1\n1\n1\n0\n-3\n12\nx\n12\n10\n0\n10\n1\ncone\n1\n0\n1\n101\n0\n6\n6\n0\n1\n\n");
    ASSERT_EQ(r.status, 0) << r.console;
    const std::string c = rooted(r.console, s.root);
    EXPECT_NE(c.find("\n\ttype of DEM raster :\n\t\t0 ====> 16 bits\n\t\t1 ====> 32 bits\n\t\t"
                     "\n\tNo File ROOT/site1/dem1_m4.txt \n\n\n\tNumber of lines   ? "
                     "\n\tNumber of lines   ? \n\tNumber of lines   ? \tNumber of columns ? \tNumber of columns ? "
                     "\tPixel size ? \n\tTHE DIGITAL ELEVATION MODEL HAS : "),
              std::string::npos);
    EXPECT_EQ(count_of(c, "Pixel Size (in meters)"), 0);
    EXPECT_NE(c.find("\n\tGeneric Name of the series of File to be created (without any extension) ? "),
              std::string::npos);
    EXPECT_EQ(read_file(s.dir + "dem1_m4.txt"), "12\n12\n4\n");
    EXPECT_EQ(s.files(), sorted({"dem1_m4.raw", "dem1_m4.txt", "cone_info.txt", "cone_orient.xls",
                                 "cone_gravcenters.xyz", "cone_surf_slice.xls", "cone_rec1_m2.raw",
                                 "cone_rec1_m2.txt", "cone_rec1_eros_m2.raw", "cone_rec1_eros_m2.txt",
                                 "cone_rec1_shad.raw", "cone_rec1_shad.txt", "cone_rec1_shaderos.raw",
                                 "cone_rec1_shaderos.txt"}));
    EXPECT_EQ(read_file(s.dir + "cone_rec1_shad.txt"), "12\n12\n2\n0\n255\n10\n");
    // Raw input: the report has no UTM lines.
    EXPECT_EQ(read_file(s.dir + "cone_info.txt").find("UTM"), std::string::npos);
}

TEST(Dialogue, DescriptorOfThreeNumbersAsksThePixelSize)
{
    Site s;
    s.raw16();
    write_file(s.dir + "dem1_m2.txt", "12\n12\n2\n");
    RunResult r = run_program("site1\ndem1\n1\n0\n10\n0\n10\n0\n0\n500\n600\n101\n0\n6\n6\n0\n1\n\n");
    ASSERT_EQ(r.status, 0) << r.console;
    // Raw input with ESRI output: the UTM questions, then the echo.
    EXPECT_NE(r.console.find("\n\t\t\n\tPixel Size (in meters) ? \n\tTHE DIGITAL ELEVATION MODEL HAS : "),
              std::string::npos);
    EXPECT_NE(r.console.find("\n\tUTM coordinates of the left lower corner : \n\t\tX_min ? \t\tY_min ? "
                             "\n\tUTM ascii X 500.000000 Y 600.000000 "),
              std::string::npos);
    EXPECT_EQ(s.files(), sorted({"dem1_m2.raw", "dem1_m2.txt", "dem1_info.txt", "dem1_orient.xls",
                                 "dem1_gravcenters.xyz", "dem1_surf_slice.xls", "dem1_rec1.asc",
                                 "dem1_eros1.asc", "dem1_shad1.asc", "dem1_shaderos1.asc"}));
    EXPECT_EQ(read_file(s.dir + "dem1_rec1.asc").find("ncols 12\nnrows 12\nxllcorner 500.000000\n"
                                                      "yllcorner 600.000000\ncellsize 10.000000\n"
                                                      "nodata_value -9999.9999\n"),
              0u);
}

TEST(Dialogue, EsriInputEchoesTheHeaderCornerAndRawOutputAsksNoCorner)
{
    {
        Site s;
        s.esri();
        RunResult r = run_program("site1\ndem1\n0\n10\n" + esri_tail);
        ASSERT_EQ(r.status, 0);
        EXPECT_EQ(count_of(r.console, "UTM coordinates of the left lower corner"), 0);
        EXPECT_NE(r.console.find("\n\tUTM ascii X 1000.000000 Y 2000.000000 "), std::string::npos);
        EXPECT_EQ(count_of(r.console, "Dynamic scale of DEM_out"), 0);  // ESRI output: metres
        const std::string info = read_file(s.dir + "dem1_info.txt");
        EXPECT_NE(info.find(".asc\n\tUTM coordinates : \n\t\tX_min = 1000.000000\tY_min = 2000.000000 "
                            "\n\tDynamic scale"),
                  std::string::npos);
    }
    {
        Site s;
        s.esri();
        // A negative answer to the upper-slice menu counts as no.
        RunResult r = run_program("site1\ndem1\n0\n10\n0\n1\n0\n0\n101\n0\n6\n6\n0\n-1\n\n");
        ASSERT_EQ(r.status, 0);
        EXPECT_EQ(count_of(r.console, "UTM"), 0);
        EXPECT_EQ(count_of(r.console, "Number of Upper Slices"), 0);
    }
}

TEST(Dialogue, MenusAskAgainForAnswersOutsideTheirChoicesAndNonNumbers)
{
    Site s;
    s.raw16();
    write_file(s.dir + "dem1_m2.txt", "12\n12\n2\n100\n108\n10\n");
    const std::string answers = "site1\ndem1\n"
                                "x\x01" + std::string(50, 'y') + "\n2\n-1\n1\n"  // input format: asked 4 times
                                "1.0\n7\n0\n"           // raw width: 3 times
                                "7\n-1\nm\n0\n"         // hypsometric interval: 4 times
                                "abc\n0\n-2.5\n1e-310\n0." + std::string(4200, '0') + "1e4201\n"
                                "inf\n0x10\n1e1\n"  // pixel size: 8 times, 1e1 = 10
                                "2\n-1\nyes\n0\n"       // generic name: 4 times
                                "3\n-1\n1\n"            // output format: 3 times
                                "2\n1\n"                // output width: twice
                                "4\n-1\n2\n"            // output scale: 3 times
                                "1e99\nnan\n-2147483648\n2147483647\n101\n"  // base line: 5 times
                                "2\n-1\n0\n"            // gravity centre menu: 3 times
                                "2.5\n6\n6\n"           // line: twice, column once
                                "-1\n"                  // basal slice: a negative answer is taken
                                "5\n0\n"                // upper slices: twice
                                "11\n1\n10\n"           // number of slices: 3 times
                                "-3\n\n";               // visualisation: taken
    RunResult r = run_program(answers);
    ASSERT_EQ(r.status, 0) << r.console;
    const std::string& c = r.console;
    EXPECT_EQ(count_of(c, format_prompt), 4);
    EXPECT_EQ(count_of(c, "\n\ttype of DEM raster :\n\t\t0 ====> 16 bits"), 3);
    EXPECT_EQ(count_of(c, hypso_prompt), 4);
    EXPECT_EQ(count_of(c, "\n\n\tPixel size (decimal value in meters) ? "), 8);
    EXPECT_EQ(count_of(c, "\n\tSet of Files out : "), 1);
    EXPECT_EQ(count_of(c, generic_choices), 4);
    EXPECT_EQ(count_of(c, "\n\tFormat Type for all the DEM out : "), 1);
    EXPECT_EQ(count_of(c, "\n\t\t0 ====> ascii\n\t\t1 ====> raster\n\t\t"), 4 + 3);
    EXPECT_EQ(count_of(c, "\n\ttype of DEM_out raster : "), 1);
    EXPECT_EQ(count_of(c, "\n\t\t0 ====> 16 bits\n\t\t1 ====> 32 bits\n\t\t"), 3 + 2);
    EXPECT_EQ(count_of(c, "\n\tDynamic scale of DEM_out : "), 1);
    EXPECT_EQ(count_of(c, "\n\t\t0 ====> meters\n\t\t1 ====> decimeters"), 3);
    EXPECT_EQ(count_of(c, "\n\n\tAltitude of the volcanic base line (in meters) ? "), 5);
    EXPECT_EQ(count_of(c, gravity_prompt), 3);
    EXPECT_EQ(count_of(c, "\n\tCoordinates of the gravity center : "), 1);
    EXPECT_EQ(count_of(c, "\n\t\tline   ? "), 2);
    EXPECT_EQ(count_of(c, "\t\tcolumn ? "), 1);
    EXPECT_EQ(count_of(c, "\n\n\tBasic Slice Representation : "), 1);
    EXPECT_EQ(count_of(c, "\n\tUpper Slices Visualization in the Gravity Center Model :"), 2);
    EXPECT_EQ(count_of(c, "\n\tNumber of Upper Slices (2 to 10 max) ? "), 3);
    EXPECT_EQ(count_of(c, "\n\tType of Visualization :"), 1);
    // Each refused answer says why on the error stream, and only there.
    auto no = [](const std::string& answer, const std::string& why) {
        return "tephromat: answer \"" + answer + "\" refused : " + why + "\n";
    };
    const std::string menu01 = "outside the choices 0 to 1", menu03 = "outside the choices 0 to 3",
                      nan = "not a number", range = "outside the signed 32-bit range";
    EXPECT_EQ(r.errors, no("x\\x01" + std::string(38, 'y') + "...", nan) + no("2", menu01) + no("-1", menu01) +
                            no("1.0", "not a whole number") + no("7", menu01) + no("7", menu03) + no("-1", menu03) +
                            no("m", nan) + no("abc", nan) + no("0", "at or below 0") + no("-2.5", "at or below 0") +
                            no("1e-310", "too small: its square is 0") +
                            no("0." + std::string(38, '0') + "...", "longer than 4096 bytes") + no("inf", nan) +
                            no("0x10", nan) + no("2", menu01) + no("-1", menu01) + no("yes", nan) + no("3", menu01) +
                            no("-1", menu01) + no("2", menu01) + no("4", menu03) + no("-1", menu03) +
                            no("1e99", range) + no("nan", nan) + no("-2147483648", range) + no("2147483647", range) +
                            no("2", menu01) + no("-1", menu01) + no("2.5", "not a whole number") + no("5", menu01) +
                            no("11", "outside the choices 2 to 10") + no("1", "outside the choices 2 to 10"));
    EXPECT_EQ(c.find("refused"), std::string::npos);
    // The answers that were taken: pixel size 10, raw 32-bit output in centimetres.
    EXPECT_EQ(read_file(s.dir + "dem1_rec1_shad.txt"), "12\n12\n4\n0\n255\n10\n");
    EXPECT_NE(read_file(s.dir + "dem1_info.txt").find("\n\tPixel size = 10.000000 m"), std::string::npos);
}

TEST(Dialogue, CentreOutsideTheGridIsAskedAgain)
{
    Site s;
    s.esri();
    RunResult r = run_program("site1\ndem1\n0\n10\n0\n0\n101\n0\n12\n3\n-1\n0\n6\n6\n0\n1\n\n");
    ASSERT_EQ(r.status, 0);
    const std::string again = "\n\t\tline   ? \t\tcolumn ? \n\t\tOutside the grid : line 0 to 11, column 0 to 11 ";
    EXPECT_EQ(count_of(r.console, again), 2);
    EXPECT_NE(r.console.find(again + "\n\t\tline   ? \t\tcolumn ? \n\n\tBasic Slice"), std::string::npos);
    EXPECT_NE(r.console.find("\n\t\tline   = 6 \n\t\tcolumn = 6 "), std::string::npos);
    EXPECT_EQ(r.errors, "tephromat: answer \"12\" refused : outside the grid\n"
                        "tephromat: answer \"-1\" refused : outside the grid\n");
}

TEST(Dialogue, EndOfInputStopsWithStatusOneAndRemovesCreatedFiles)
{
    // Cut after every answer of a raw run without descriptor: the created
    // descriptor and every result file go away again.
    const std::vector<std::string> answers = {"site1", "dem1", "1", "1", "12", "12", "10", "0", "10",
                                              "0",     "1",    "1", "2", "101", "0", "6", "6",  "0", "0"};
    for (std::size_t n = 0; n < answers.size(); ++n) {
        Site s;
        s.raw32();
        std::string text;
        for (std::size_t k = 0; k < n; ++k) text += answers[k] + "\n";
        RunResult r = run_program(text);
        EXPECT_EQ(r.status, 1) << n;
        ASSERT_GE(r.console.size(), error_eoi.size());
        EXPECT_EQ(r.console.substr(r.console.size() - error_eoi.size()), error_eoi) << n;
        EXPECT_EQ(s.files(), std::vector<std::string>{"dem1_m4.raw"}) << "after " << n << " answers";
    }
}

TEST(Dialogue, MissingDemEndsWithStatusOneWithoutCreatingAnything)
{
    for (const std::string& format : {std::string("0\n"), std::string("1\n1\n")}) {
        Site s;
        RunResult r = run_program("site1\nnope\n" + format + "\n");
        EXPECT_EQ(r.status, 1);
        const std::string name = format == "0\n" ? "nope.asc" : "nope_m4.raw";
        const std::string tail = "\n\tFile ROOT/site1/" + name + " unknown\n";
        const std::string c = rooted(r.console, s.root);
        ASSERT_GE(c.size(), tail.size());
        EXPECT_EQ(c.substr(c.size() - tail.size()), tail);
        EXPECT_TRUE(s.files().empty());
    }
}

TEST(Dialogue, OutputFileThatCannotBeCreatedStopsTheRunAndCleansUp)
{
    for (const std::string blocked : {"dem1_info.txt", "dem1_rec1_shad.raw", "dem1_orient.xls"}) {
        Site s;
        s.raw16();
        std::filesystem::create_directory(s.dir + blocked);
        RunResult r = run_program("site1\ndem1\n1\n0\n12\n12\n10\n0\n10\n0\n1\n0\n0\n101\n0\n6\n6\n0\n1\n\n");
        EXPECT_EQ(r.status, 1) << blocked;
        const std::string c = rooted(r.console, s.root);
        EXPECT_NE(c.find("\n\tError : cannot create ROOT/site1/" + blocked), std::string::npos) << c;
        EXPECT_EQ(count_of(c, "Press any key"), 0);
        EXPECT_EQ(s.files(), sorted({"dem1_m2.raw", blocked})) << blocked;
    }
}
