#include <cstdint>
#include <filesystem>
#include <vector>

#include "input.hpp"
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

    std::FILE* f1 = std::fopen(ws.nomim1.c_str(), "rb");
    if (!f1) fail(cfmt("cannot read %s", ws.nomim1.c_str()));

    allocate_grid(ws.itab, "itab (elevations)", ws.nb_col, ws.nb_lig);
    allocate_grid(ws.itab3, "itab3 (elevations)", ws.nb_col, ws.nb_lig);
    if (ws.itype == 0) allocate_grid(ws.jtab, "jtab (16-bit samples)", ws.nb_col, ws.nb_lig);

    std::vector<unsigned char> row(std::size_t(ws.nb_col) * std::size_t(width));
    for (int i = 0; i < ws.nb_lig; ++i) {
        if (std::fread(row.data(), 1, row.size(), f1) != row.size()) {
            std::fclose(f1);
            fail(cfmt("cannot read line %d of %s", i, ws.nomim1.c_str()));
        }
        const unsigned char* b = row.data();
        if (ws.itype == 0) {
            std::uint16_t* jr = ws.jtab[i];
            for (int j = 0; j < ws.nb_col; ++j, b += 2) jr[j] = std::uint16_t(b[0] | (b[1] << 8));
            std::int32_t* ir = ws.itab[i];
            for (int j = 0; j < ws.nb_col; ++j) ir[j] = jr[j];
        } else {
            std::int32_t* ir = ws.itab[i];
            for (int j = 0; j < ws.nb_col; ++j, b += 4)
                ir[j] = std::int32_t(std::uint32_t(b[0]) | (std::uint32_t(b[1]) << 8) |
                                     (std::uint32_t(b[2]) << 16) | (std::uint32_t(b[3]) << 24));
        }
    }
    std::fclose(f1);
    ws.itab3.copy_from(ws.itab);
}
