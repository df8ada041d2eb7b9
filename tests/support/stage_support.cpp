#include "stage_support.hpp"

#include <cmath>
#include <cstdio>
#include <fstream>

void StageFixture::open_files()
{
    ws.finfo = ws.create(dir + "t_info.txt", false);
    ws.forient = ws.create(dir + "t_orient.xls", false);
    ws.forient.printf("Orientation\tAltitud\n");
    ws.fgc = ws.create(dir + "t_gravcenters.xyz", false);
    ws.fslice = ws.create(dir + "t_surf_slice.xls", false);
}

std::string StageFixture::file(const std::string& suffix)
{
    ws.close_all();
    return read_file(dir + "t" + suffix);
}

std::string esri_text(const Rows& rows, double cellsize)
{
    std::string s = "ncols " + std::to_string(rows.empty() ? 0 : rows[0].size()) + "\nnrows " +
                    std::to_string(rows.size()) + "\nxllcorner 1000.0\nyllcorner 2000.0\n";
    char buf[64];
    std::snprintf(buf, sizeof buf, "cellsize %g\nNODATA_value -9999\n", cellsize);
    s += buf;
    for (const auto& r : rows) {
        for (int v : r) s += std::to_string(v) + " ";
        s += "\n";
    }
    return s;
}

void write_raw16(const std::string& path, const std::vector<std::uint16_t>& samples)
{
    std::string bytes;
    for (std::uint16_t v : samples) {
        bytes += char(v & 0xFF);
        bytes += char(v >> 8);
    }
    write_file(path, bytes);
}

void write_raw32(const std::string& path, const std::vector<std::int32_t>& samples)
{
    std::string bytes;
    for (std::int32_t s : samples) {
        const std::uint32_t v = std::uint32_t(s);
        for (int b = 0; b < 4; ++b) bytes += char((v >> (8 * b)) & 0xFF);
    }
    write_file(path, bytes);
}

std::vector<std::int32_t> flatten(const Rows& rows)
{
    std::vector<std::int32_t> v;
    for (const auto& r : rows) v.insert(v.end(), r.begin(), r.end());
    return v;
}

Rows small_cone()
{
    Rows rows(12, std::vector<int>(12));
    for (int i = 0; i < 12; ++i)
        for (int j = 0; j < 12; ++j) {
            const int d = int(std::lround(std::sqrt(double((i - 6) * (i - 6) + (j - 6) * (j - 6)))));
            rows[i][j] = 100 + std::max(0, 8 - 2 * d);
        }
    return rows;
}

Rows flat_rows(int nb_lig, int nb_col, int value)
{
    return Rows(std::size_t(nb_lig), std::vector<int>(std::size_t(nb_col), value));
}

int count_of(const std::string& s, const std::string& sub)
{
    int n = 0;
    for (std::size_t p = s.find(sub); p != std::string::npos; p = s.find(sub, p + 1)) ++n;
    return n;
}

std::string rooted(const std::string& s, const TempRoot& root) { return replace_all(s, root.path(), "ROOT/"); }
