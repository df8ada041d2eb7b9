#include <cstdint>
#include <string>
#include <vector>

#include "reconstitution.hpp"
#include "workspace.hpp"

// Little-endian samples, 16-bit ones reduced to their low 16 bits.
void write_raw_samples(Workspace& ws, OutFile& f, const nrutil::IGrid& g)
{
    std::vector<unsigned char> row(std::size_t(ws.nb_col) * 4);
    for (int i = 0; i < ws.nb_lig; ++i) {
        const std::int32_t* src = g[i];
        unsigned char* b = row.data();
        if (ws.itype_out == 1) {
            for (int j = 0; j < ws.nb_col; ++j) {
                const std::uint32_t v = std::uint32_t(src[j]);
                *b++ = std::uint8_t(v);
                *b++ = std::uint8_t(v >> 8);
                *b++ = std::uint8_t(v >> 16);
                *b++ = std::uint8_t(v >> 24);
            }
        } else {
            std::uint16_t* out = ws.jtab_out[i];
            for (int j = 0; j < ws.nb_col; ++j) {
                out[j] = std::uint16_t(src[j]);
                *b++ = std::uint8_t(out[j]);
                *b++ = std::uint8_t(out[j] >> 8);
            }
        }
        f.write(row.data(), std::size_t(b - row.data()));
    }
}

void write_raw_bytes(OutFile& f, const nrutil::UcGrid& g)
{
    f.write(g.data(), g.size());
}

void write_esri_header(Workspace& ws, OutFile& f)
{
    f.printf("ncols %d\n", ws.nb_col);
    f.printf("nrows %d\n", ws.nb_lig);
    f.printf("xllcorner %lf\n", ws.X_min);
    f.printf("yllcorner %lf\n", ws.Y_min);
    f.printf("cellsize %lf\n", ws.dpix_size);
    f.printf("nodata_value -9999.9999\n");
}

// Every value followed by a tab, all on one text line.
void write_esri_metres(Workspace& ws, OutFile& f, const nrutil::IGrid& g)
{
    std::string line;
    char cell[64];
    for (int i = 0; i < ws.nb_lig; ++i) {
        line.clear();
        const std::int32_t* src = g[i];
        for (int j = 0; j < ws.nb_col; ++j) {
            int n = std::snprintf(cell, sizeof cell, "%lf\t", src[j] / ws.coeff_rc);
            line.append(cell, std::size_t(n));
        }
        f.write(line.data(), line.size());
    }
}

void write_esri_bytes(OutFile& f, const nrutil::UcGrid& g)
{
    std::string line;
    char cell[8];
    for (int i = 0; i < g.lines(); ++i) {
        line.clear();
        const std::uint8_t* src = g[i];
        for (int j = 0; j < g.columns(); ++j) {
            int n = std::snprintf(cell, sizeof cell, "%d\t", src[j]);
            line.append(cell, std::size_t(n));
        }
        f.write(line.data(), line.size());
    }
}
