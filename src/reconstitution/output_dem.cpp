#include <cstdint>
#include <string>
#include <vector>

#include "nodata.hpp"
#include "reconstitution.hpp"
#include "workspace.hpp"

// Little-endian samples, 16-bit ones reduced to their low 16 bits; cells
// without data hold the nodata sample of their width.
void write_raw_samples(Workspace& ws, OutFile& f, const nrutil::IGrid& g)
{
    std::vector<unsigned char> row(std::size_t(ws.nb_col) * 4);
    for (int i = 0; i < ws.nb_lig; ++i) {
        const std::int32_t* src = g[i];
        unsigned char* b = row.data();
        if (ws.itype_out == 1) {
            for (int j = 0; j < ws.nb_col; ++j) {
                const std::uint32_t v = std::uint32_t(without_data(ws, i, j) ? raw32_nodata : src[j]);
                *b++ = std::uint8_t(v);
                *b++ = std::uint8_t(v >> 8);
                *b++ = std::uint8_t(v >> 16);
                *b++ = std::uint8_t(v >> 24);
            }
        } else {
            std::uint16_t* out = ws.jtab_out[i];
            for (int j = 0; j < ws.nb_col; ++j) {
                out[j] = without_data(ws, i, j) ? raw16_nodata : std::uint16_t(src[j]);
                *b++ = std::uint8_t(out[j]);
                *b++ = std::uint8_t(out[j] >> 8);
            }
        }
        f.write(row.data(), std::size_t(b - row.data()));
    }
}

void write_raw_bytes(Workspace& ws, OutFile& f, const nrutil::UcGrid& g)
{
    if (ws.nodata_cells == 0) {
        f.write(g.data(), g.size());
        return;
    }
    std::vector<std::uint8_t> row(std::size_t(ws.nb_col));
    for (int i = 0; i < ws.nb_lig; ++i) {
        for (int j = 0; j < ws.nb_col; ++j) row[std::size_t(j)] = without_data(ws, i, j) ? shaded_nodata : g[i][j];
        f.write(row.data(), row.size());
    }
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
            const double v = without_data(ws, i, j) ? esri_nodata : src[j] / ws.coeff_rc;
            int n = std::snprintf(cell, sizeof cell, "%lf\t", v);
            line.append(cell, std::size_t(n));
        }
        f.write(line.data(), line.size());
    }
}

// Cells without data are written as the header's nodata value, with its
// decimals: GDAL compares them as 32-bit floats, where -9999 would differ.
void write_esri_bytes(Workspace& ws, OutFile& f, const nrutil::UcGrid& g)
{
    std::string line;
    char cell[32];
    for (int i = 0; i < g.lines(); ++i) {
        line.clear();
        const std::uint8_t* src = g[i];
        for (int j = 0; j < g.columns(); ++j) {
            int n = without_data(ws, i, j) ? std::snprintf(cell, sizeof cell, "%lf\t", esri_nodata)
                                           : std::snprintf(cell, sizeof cell, "%d\t", src[j]);
            line.append(cell, std::size_t(n));
        }
        f.write(line.data(), line.size());
    }
}
