#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <vector>

#include <unistd.h>

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
    // A longer file is read from its start, as the original program reads it; but a
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

    // Blocks of lines, each read (with pread, at its own offset) and
    // converted by one task: the copies out of the page cache then run on
    // every core too.  The samples are read straight into the grid that
    // keeps them (its lines are contiguous) and put in order there.
    const int block = std::max(1, std::min(ws.nb_lig, 256));
    const int blocks = (ws.nb_lig + block - 1) / block;
    const std::size_t line_bytes = std::size_t(ws.nb_col) * std::size_t(width);
    const int fd = fileno(f1);
    auto read_block = [&](int k) {
        const int b0 = k * block, b1 = std::min(b0 + block, ws.nb_lig);
        unsigned char* bytes = ws.itype == 0 ? reinterpret_cast<unsigned char*>(ws.jtab[b0])
                                             : reinterpret_cast<unsigned char*>(ws.itab[b0]);
        const std::size_t size = std::size_t(b1 - b0) * line_bytes;
        std::size_t done = 0;
        while (done < size) {
            const ssize_t n = ::pread(fd, bytes + done, size - done, off_t(std::size_t(b0) * line_bytes + done));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) fail(cfmt("cannot read line %d of %s", b0 + int(done / line_bytes), ws.nomim1.c_str()));
            done += std::size_t(n);
        }
        for (int i = b0; i < b1; ++i) {
            std::int32_t* ir = ws.itab[i];
            std::int32_t* ir3 = ws.itab3[i];
            if (ws.itype == 0) {
                std::uint16_t* jr = ws.jtab[i];
                for (int j = 0; j < ws.nb_col; ++j) {
                    const unsigned char* b = reinterpret_cast<const unsigned char*>(jr + j);
                    jr[j] = std::uint16_t(b[0] | (b[1] << 8));
                }
                for (int j = 0; j < ws.nb_col; ++j) ir3[j] = ir[j] = jr[j];
            } else {
                for (int j = 0; j < ws.nb_col; ++j) {
                    const unsigned char* b = reinterpret_cast<const unsigned char*>(ir + j);
                    ir3[j] = ir[j] = std::int32_t(std::uint32_t(b[0]) | (std::uint32_t(b[1]) << 8) |
                                                  (std::uint32_t(b[2]) << 16) | (std::uint32_t(b[3]) << 24));
                }
            }
        }
    };
    try {
        if (blocks < 2 || std::size_t(ws.nb_lig) * std::size_t(ws.nb_col) < parallel_threshold())
            for (int k = 0; k < blocks; ++k) read_block(k);
        else
            parallel_tasks(blocks, read_block);
    } catch (...) {
        std::fclose(f1);
        throw;
    }
    std::fclose(f1);
}
