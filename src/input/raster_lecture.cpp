#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "input.hpp"
#include "parallel.hpp"
#include "workspace.hpp"

// Samples are little-endian whatever the machine.
void raster_lecture(Workspace& ws)
{
    const int width = ws.itype == 0 ? 2 : 4;
    const std::uintmax_t expected =
        std::uintmax_t(ws.nb_lig) * std::uintmax_t(ws.nb_col) * std::uintmax_t(width);
    std::error_code ec;
    std::uintmax_t actual = std::filesystem::file_size(ws.nomim1, ec);
    if (ec) fail(cfmt("cannot read %s (%s)", ws.nomim1.c_str(), ec.message().c_str()));
    if (actual < expected)
        fail(cfmt("%s is too short: %ju bytes, expected %ju (%d lines x %d columns x %d bytes)",
                  ws.nomim1.c_str(), actual, expected, ws.nb_lig, ws.nb_col, width));
    // A longer file is read from its start, as the design reads it; but a
    // descriptor that declares a column too few shears every line.
    if (actual > expected) {
        const std::string text =
            cfmt("\n\tWarning : %s holds %ju bytes, more than the %ju of the %d lines x %d columns x %d bytes that "
                 "its descriptor declares : if the lines or columns are wrong, the grid is read sheared : check them ",
                 ws.nomim1.c_str(), actual, expected, ws.nb_lig, ws.nb_col, width);
        ws.say("%s", text.c_str());
        ws.warnings.push_back({"raw_size", text});
        ws.header_warnings += text;
    }

    std::FILE* f1 = std::fopen(ws.nomim1.c_str(), "rb");
    if (!f1) fail(cfmt("cannot read %s", ws.nomim1.c_str()));

    allocate_grid(ws.itab, "itab (elevations)", ws.nb_col, ws.nb_lig);
    allocate_grid(ws.itab3, "itab3 (elevations)", ws.nb_col, ws.nb_lig);
    if (ws.itype == 0) allocate_grid(ws.jtab, "jtab (16-bit samples)", ws.nb_col, ws.nb_lig);

    // Blocks of lines, read in turn and converted on all threads.
    const int block = std::max(1, std::min(ws.nb_lig, 256));
    const std::size_t line_bytes = std::size_t(ws.nb_col) * std::size_t(width);
    std::vector<unsigned char> bytes(std::size_t(block) * line_bytes);
    for (int b0 = 0; b0 < ws.nb_lig; b0 += block) {
        const int b1 = std::min(b0 + block, ws.nb_lig);
        for (int i = b0; i < b1; ++i)
            if (std::fread(bytes.data() + std::size_t(i - b0) * line_bytes, 1, line_bytes, f1) != line_bytes) {
                std::fclose(f1);
                fail(cfmt("cannot read line %d of %s", i, ws.nomim1.c_str()));
            }
        parallel_rows(b0, b1, std::size_t(ws.nb_col), [&](int first, int last) {
            for (int i = first; i < last; ++i) {
                const unsigned char* b = bytes.data() + std::size_t(i - b0) * line_bytes;
                std::int32_t* ir = ws.itab[i];
                std::int32_t* ir3 = ws.itab3[i];
                if (ws.itype == 0) {
                    std::uint16_t* jr = ws.jtab[i];
                    for (int j = 0; j < ws.nb_col; ++j, b += 2) jr[j] = std::uint16_t(b[0] | (b[1] << 8));
                    for (int j = 0; j < ws.nb_col; ++j) ir3[j] = ir[j] = jr[j];
                } else {
                    for (int j = 0; j < ws.nb_col; ++j, b += 4)
                        ir3[j] = ir[j] = std::int32_t(std::uint32_t(b[0]) | (std::uint32_t(b[1]) << 8) |
                                                      (std::uint32_t(b[2]) << 16) | (std::uint32_t(b[3]) << 24));
                }
            }
        });
    }
    std::fclose(f1);
}
