// Helpers for the stage and dialogue tests: small DEMs in both formats, a
// workspace whose report and table files live in a TempRoot, and counting.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "run_support.hpp"

using Rows = std::vector<std::vector<int>>;

// A workspace for one stage: its console reads `answers`; open_files() creates
// the report and the three tables as <dir>t_info.txt, t_orient.xls, ...
struct StageFixture {
    explicit StageFixture(const std::string& answers = "") : t(answers), ws(t.ws), dir(root.folder("site")) {}
    TempRoot root;
    TestWorkspace t;
    Workspace& ws;
    std::string dir;

    void open_files();
    // Closes every file of the workspace and returns the content of t<suffix>.
    std::string file(const std::string& suffix);
    std::string console() const { return t.console(); }
};

// ESRI grid text with the six usual header lines (corner 1000, 2000) and one
// text line per grid line.
std::string esri_text(const Rows& rows, double cellsize = 10.0);
// Raw little-endian samples.
void write_raw16(const std::string& path, const std::vector<std::uint16_t>& samples);
void write_raw32(const std::string& path, const std::vector<std::int32_t>& samples);
std::vector<std::int32_t> flatten(const Rows& rows);

// A 12 x 12 cone: 108 m at (6, 6), falling 2 m per pixel of distance to 100 m.
Rows small_cone();
// Rows of one value.
Rows flat_rows(int nb_lig, int nb_col, int value);

// Number of (possibly overlapping) occurrences of `sub` in `s`.
int count_of(const std::string& s, const std::string& sub);
// The root replaced by "ROOT/".
std::string rooted(const std::string& s, const TempRoot& root);
