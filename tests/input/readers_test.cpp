// The DEM readers and the errors of malformed or short inputs.
#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "input.hpp"
#include "parallel.hpp"
#include "token_reader.hpp"
#include "stage_support.hpp"

namespace {

// Reads `text` as the ESRI grid <dir>g.asc; returns the error message, or ""
// when the grid was read.
std::string read_esri(StageFixture& f, const std::string& text)
{
    f.ws.nomim1 = f.dir + "g.asc";
    write_file(f.ws.nomim1, text);
    try {
        ascii_lecture(f.ws);
    } catch (const RunEnd& e) {
        EXPECT_EQ(e.status, 1);
        return e.message;
    }
    return "";
}

std::string read_raw(StageFixture& f, int itype, int nb_lig, int nb_col, const std::string& bytes)
{
    f.ws.nomim1 = f.dir + (itype == 0 ? "g_m2.raw" : "g_m4.raw");
    f.ws.itype = itype;
    f.ws.nb_lig = nb_lig;
    f.ws.nb_col = nb_col;
    write_file(f.ws.nomim1, bytes);
    try {
        raster_lecture(f.ws);
    } catch (const RunEnd& e) {
        EXPECT_EQ(e.status, 1);
        return e.message;
    }
    return "";
}

const std::string header = "ncols 3\nnrows 2\nxllcorner 10.5\nyllcorner 20.25\ncellsize 5\nnodata_value -9999\n";

}  // namespace

TEST(RawReader, SixteenBitSamplesAreUnsignedAndThirtyTwoBitSigned)
{
    StageFixture f;
    ASSERT_EQ(read_raw(f, 0, 1, 3, std::string("\xFF\xFF\x34\x12\x00\x00", 6)), "");
    EXPECT_EQ(f.ws.itab[0][0], 65535);
    EXPECT_EQ(f.ws.itab[0][1], 0x1234);
    EXPECT_EQ(f.ws.itab[0][2], 0);
    EXPECT_EQ(f.ws.itab3[0][0], 65535);

    StageFixture g;
    ASSERT_EQ(read_raw(g, 1, 2, 1, std::string("\xFF\xFF\xFF\xFF\x78\x56\x34\x12", 8)), "");
    EXPECT_EQ(g.ws.itab[0][0], -1);
    EXPECT_EQ(g.ws.itab[1][0], 0x12345678);
    EXPECT_EQ(g.ws.itab3[1][0], 0x12345678);
}

TEST(RawReader, ShortFileNamesTheFileAndBothSizes)
{
    StageFixture f;
    const std::string msg = read_raw(f, 1, 3, 4, std::string(40, '\0'));
    EXPECT_EQ(msg.rfind("\n\tError : ", 0), 0u);
    EXPECT_NE(msg.find(f.dir + "g_m4.raw"), std::string::npos) << msg;
    EXPECT_NE(msg.find("40"), std::string::npos) << msg;
    EXPECT_NE(msg.find("48"), std::string::npos) << msg;
}

TEST(EsriReader, ValuesTruncateTowardZeroAndKeepTheirExactValue)
{
    StageFixture f;
    ASSERT_EQ(read_esri(f, header + "1234.99 -0.5 -1.5\n7 1e2 +3\n"), "");
    EXPECT_EQ(f.ws.nb_col, 3);
    EXPECT_EQ(f.ws.nb_lig, 2);
    EXPECT_EQ(f.ws.X_min, 10.5);
    EXPECT_EQ(f.ws.Y_min, 20.25);
    EXPECT_EQ(f.ws.dpix_size, 5.0);
    EXPECT_EQ(f.ws.dsizepix, 5.0);
    EXPECT_EQ(f.ws.pix_size, 5);
    EXPECT_EQ(f.ws.itab[0][0], 1234);
    EXPECT_EQ(f.ws.itab3[0][0], 1234);
    EXPECT_EQ(f.ws.dtab[0][0], 1234.99);
    EXPECT_EQ(f.ws.itab[0][1], 0);
    EXPECT_EQ(f.ws.dtab[0][1], -0.5);
    EXPECT_EQ(f.ws.itab[0][2], -1);
    EXPECT_EQ(f.ws.itab[1][1], 100);
    EXPECT_EQ(f.ws.itab[1][2], 3);
    EXPECT_EQ(f.console(), "\n\n");
}

TEST(EsriReader, LineBreaksAndKeywordsPlayNoPart)
{
    StageFixture a, b;
    ASSERT_EQ(read_esri(a, header + "1 2 3\n4 5 6\n"), "");
    ASSERT_EQ(read_esri(b, "NCOLS 3\r\nNROWS 2\r\nXLLCORNER 10.5\r\nYllCorner 20.25\r\nCellSize 5\r\nNODATA_value -9999\r\n"
                           "1\r\n2\t3 4\r\n\r\n5 6"),
              "");
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 3; ++j) {
            EXPECT_EQ(a.ws.itab[i][j], 3 * i + j + 1);
            EXPECT_EQ(b.ws.itab[i][j], 3 * i + j + 1);
        }
    EXPECT_EQ(b.ws.X_min, 10.5);
}

TEST(EsriReader, ProgressLinesAtEveryHundredthLineOnly)
{
    StageFixture f;
    Rows rows = flat_rows(250, 2, 7);
    ASSERT_EQ(read_esri(f, esri_text(rows)), "");
    EXPECT_EQ(f.console(), "\n\tline 100                   \r\tline 200                   \r\n");
}

TEST(EsriReader, LargeGridReadAcrossBufferBlocks)
{
    // Over 1 MiB of text, so that tokens straddle the reader's blocks.
    const int nl = 300, nc = 400;
    std::string text = "ncols 400\nnrows 300\nxllcorner 0\nyllcorner 0\ncellsize 1\nnodata_value -1\n";
    for (int i = 0; i < nl; ++i) {
        for (int j = 0; j < nc; ++j) text += std::to_string(100000 + i * nc + j) + ".25 ";
        text += "\n";
    }
    ASSERT_GT(text.size(), std::size_t(1) << 20);
    StageFixture f;
    ASSERT_EQ(read_esri(f, text), "");
    bool all = true;
    for (int i = 0; i < nl; ++i)
        for (int j = 0; j < nc; ++j)
            all = all && f.ws.itab[i][j] == 100000 + i * nc + j && f.ws.dtab[i][j] == 100000 + i * nc + j + 0.25;
    EXPECT_TRUE(all);

    // The samples are parsed a chunk of the file at a time on all threads:
    // on random bodies, tiny chunks and several threads give what a reader
    // taking token after token gives (values, progress lines, the error and
    // its place), with bad tokens, values beyond 32 bits, short bodies and
    // garbage after the samples.
    std::mt19937 random(11);
    auto pick = [&](int n) { return int(random() % unsigned(n)); };
    set_parallel_threshold(0);
    for (int round = 0; round < 300; ++round) {
        const int lines = 1 + (pick(4) ? pick(8) : pick(260)), columns = 1 + pick(6);
        const bool nodata = pick(2);
        std::string body;
        const char* blanks[] = {" ", "\t", "\n", "   ", "\r\n"};
        const int samples = std::max(1, lines * columns - (pick(8) ? 0 : pick(3) + 1));
        for (int k = 0; k < samples; ++k) {
            const int r = k == 0 ? 50 : pick(200);
            body += r == 0 ? "x1" : r == 1 ? "3e9" : r < 20 && nodata ? "-9999" : std::to_string(pick(100001) - 50000);
            if (pick(4) == 0) body += ".25";
            body += blanks[pick(5)];
        }
        if (pick(6) == 0) body += "zz 7";
        const std::string text = cfmt("ncols %d\nnrows %d\nxllcorner 0\nyllcorner 0\ncellsize 1\n", columns, lines) +
                                 (nodata ? "nodata_value -9999\n" : "") + body;

        // Token after token, once the body is long enough for the samples.
        std::string expected = "\n", error;
        const std::size_t first = body.find_first_not_of(" \t\r\n");
        const std::size_t available = first == std::string::npos ? 0 : body.size() - first;
        if (available + 1 < 2 * std::size_t(lines * columns)) error = "is too short";
        std::vector<double> values;
        std::istringstream in(body);
        const std::string name = "g.asc";
        for (int k = 0; k < lines * columns && error.empty(); ++k) {
            const int i = k / columns, j = k % columns;
            if (j == 0 && i > 0 && i % 100 == 0) expected += cfmt("\tline %d                   \r", i);
            std::string t;
            double v;
            if (!(in >> t))
                error = cfmt("ends at line %d, column %d: %d lines of %d samples were expected", i, j, lines, columns);
            else if (!parse_sample(t, v))
                error = cfmt(": the sample of line %d, column %d is not a number: \"%s\"", i, j, t.c_str());
            else if (!(nodata && v == -9999) && !(v > -2147483649.0 && v < 2147483648.0))
                error = cfmt(": the sample of line %d, column %d is outside the signed 32-bit range", i, j);
            else
                values.push_back(v);
        }
        for (std::size_t chunk : {std::size_t(1), std::size_t(3), std::size_t(16), std::size_t(0)}) {
            set_esri_chunk_bytes(chunk);
            set_thread_count(1 + pick(4));
            StageFixture f;
            const std::string msg = read_esri(f, text);
            const std::string where = "round " + std::to_string(round) + ", chunk " + std::to_string(chunk);
            if (error.empty()) {
                ASSERT_EQ(msg, "") << where;
                for (std::size_t k = 0; k < values.size(); ++k) {
                    const int i = int(k) / columns, j = int(k) % columns;
                    const bool none = nodata && values[k] == -9999;
                    ASSERT_EQ(f.ws.dtab[i][j], values[k]) << where;
                    ASSERT_EQ(f.ws.itab[i][j], none ? 0 : std::int32_t(values[k])) << where;
                    ASSERT_EQ(f.ws.itab3[i][j], f.ws.itab[i][j]) << where;
                }
            } else if (error == "is too short") {
                ASSERT_NE(msg.find(error), std::string::npos) << where;
            } else {
                ASSERT_EQ(msg, "\n\tError : " + f.dir + name + (error[0] == ':' ? "" : " ") + error + "\n") << where;
            }
            ASSERT_EQ(f.console(), expected + (error.empty() ? "\n" : "")) << where;
        }
    }
    set_esri_chunk_bytes(0);
    set_thread_count(0);
}

TEST(EsriReader, HeaderWithoutNodataAndWithCellCentres)
{
    StageFixture f;
    ASSERT_EQ(read_esri(f, "ncols 2\nnrows 2\nXLLCENTER 100\nyllcenter 200\ncellsize 10\n1 2\n3 4\n"), "");
    EXPECT_EQ(f.ws.X_min, 95.0);
    EXPECT_EQ(f.ws.Y_min, 195.0);
    EXPECT_EQ(f.ws.itab[0][0], 1);
    EXPECT_EQ(f.ws.itab[1][1], 4);

    StageFixture g;
    ASSERT_EQ(read_esri(g, "ncols 2\nnrows 1\nxllcorner 100\nyllcenter 200\ncellsize 4\n-7.5 8\n"), "");
    EXPECT_EQ(g.ws.X_min, 100.0);
    EXPECT_EQ(g.ws.Y_min, 198.0);
    EXPECT_EQ(g.ws.dtab[0][0], -7.5);
    EXPECT_EQ(g.ws.itab[0][1], 8);

    // Keywords are read by name, in any order: nrows first is not a
    // transposed grid.
    StageFixture h;
    ASSERT_EQ(read_esri(h, "nrows 1\nCELLSIZE 4\nnodata_value -9999\nNCOLS 2\nyllcorner 5\nxllcenter 6\n-7.5 8\n"), "");
    EXPECT_EQ(h.ws.nb_lig, 1);
    EXPECT_EQ(h.ws.nb_col, 2);
    EXPECT_EQ(h.ws.X_min, 4.0);
    EXPECT_EQ(h.ws.Y_min, 5.0);
    EXPECT_EQ(h.ws.itab[0][1], 8);

    // A floating-point raster's nodata value lies beyond 32 bits: its cells
    // are read as cells without data, not refused as samples.
    StageFixture n;
    ASSERT_EQ(read_esri(n, "ncols 2\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 1\n"
                           "nodata_value -3.4028234663852886e+38\n-3.4028234663852886e+38 8\n"), "");
    EXPECT_TRUE(n.ws.nodata_declared);
    EXPECT_EQ(n.ws.dtab[0][0], n.ws.nodata_value);
    EXPECT_EQ(n.ws.itab[0][1], 8);
}

TEST(EsriReader, MalformedGridsNameTheFileAndThePlace)
{
    struct Case {
        std::string text, expect;
    };
    const std::vector<Case> cases = {
        {header + "1 2 3\n4 x 6\n", "line 1, column 1"},
        {header + "1 2 3\n4 5       \n", "line 1, column 2"},
        // A body that cannot hold the samples: no grid is allocated.
        {"ncols 65535\nnrows 65535\nxllcorner 0\nyllcorner 0\ncellsize 1\nnodata_value 0\n1 2 3\n", "too short"},
        {"ncols 2\nnrows 1\nxllcorner 0\ncellsize 1\nnodata_value 0\n1 2\n", "has no yllcorner"},
        {"ncols 2\nnrows 1\nxllcorner 0\nyllcorner 0\nxllcenter 0\ncellsize 1\n1 2\n", "xllcorner twice"},
        {"ncols 2\nnrows 1\nxllcorner 0\nfoo 0\ncellsize 1\n1 2\n", "\"foo\""},
        {std::string("ncols 2\nnrows 1\nxllcorner 0\nyllcorner\0\0 0\ncellsize 1\n1 2\n", 57), "is not a keyword"},
        {header + "1 2 3 4 5 3000000000\n", "line 1, column 2"},
        {"ncols 87.0\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\nnodata_value 0\n1 2\n", "87.0"},
        {"ncols 0\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\nnodata_value 0\n", "ncols"},
        {"ncols 2\nnrows -3\nxllcorner 0\nyllcorner 0\ncellsize 1\nnodata_value 0\n", "nrows"},
        {"ncols 2\nnrows 70000\nxllcorner 0\nyllcorner 0\ncellsize 1\nnodata_value 0\n", "65535"},
        {"ncols 2\nnrows 1\nxllcorner west\nyllcorner 0\ncellsize 1\nnodata_value 0\n1 2\n", "west"},
        {"ncols 2\nnrows 1\nxllcorner 0\n", "yllcorner"},
        {"ncols 2\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 1\nnodata_value none\n1 2\n", "nodata_value"},
        {"ncols 2\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 1\nnodata_value nan\n1 2\n", "nodata_value"},
    };
    for (const Case& c : cases) {
        StageFixture f;
        const std::string msg = read_esri(f, c.text);
        EXPECT_EQ(msg.rfind("\n\tError : ", 0), 0u) << c.text;
        EXPECT_NE(msg.find(f.dir + "g.asc"), std::string::npos) << msg;
        EXPECT_NE(msg.find(c.expect), std::string::npos) << msg;
    }
}

TEST(EsriReader, MalformedGridEndsTheRunWithStatusOneAndNoFile)
{
    TempRoot root;
    const std::string dir = root.folder("site1");
    write_file(dir + "dem1.asc", header + "1 2 3\n4 5\n");
    RunResult r = run_program("site1\ndem1\n0\n10\n0\n0\n101\n0\n1\n1\n0\n1\n\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.console.find("\n\tError : " + dir + "dem1.asc"), std::string::npos) << r.console;
    EXPECT_EQ(list_dir(dir), std::vector<std::string>{"dem1.asc"});
}

TEST(RawReader, BadDescriptorsEndTheRun)
{
    for (const std::string descriptor : {"0\n12\n2\n", "12\n-5\n2\n", "", "70000\n2\n2\n"}) {
        TempRoot root;
        const std::string dir = root.folder("site1");
        write_file(dir + "dem1_m2.raw", std::string(288, '\0'));
        write_file(dir + "dem1_m2.txt", descriptor);
        RunResult r = run_program("site1\ndem1\n1\n0\n10\n0\n10\n0\n0\n0\n0\n101\n0\n1\n1\n0\n1\n\n");
        EXPECT_EQ(r.status, 1) << descriptor;
        EXPECT_NE(r.console.find("\n\tError : the descriptor " + dir + "dem1_m2.txt"), std::string::npos)
            << r.console;
        EXPECT_EQ(list_dir(dir), (std::vector<std::string>{"dem1_m2.raw", "dem1_m2.txt"}));
    }
}

TEST(RawReader, ShortRawFileEndsTheRunWithStatusOne)
{
    TempRoot root;
    const std::string dir = root.folder("site1");
    write_file(dir + "dem1_m2.raw", std::string(287, '\0'));
    RunResult r = run_program("site1\ndem1\n1\n0\n12\n12\n10\n0\n10\n0\n0\n101\n0\n1\n1\n0\n1\n\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.console.find("\n\tError : " + dir + "dem1_m2.raw is too short: 287 bytes, expected 288"),
              std::string::npos)
        << r.console;
    EXPECT_EQ(list_dir(dir), std::vector<std::string>{"dem1_m2.raw"});  // the created descriptor is gone
}
