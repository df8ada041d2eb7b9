#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "nodata.hpp"
#include "parallel.hpp"
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

// "%lf" of n / 10^decimals (decimals 0 to 3), without printf: for any 32-bit n
// the double n / 10^decimals lies within 5e-8 of the decimal it stands for,
// far from where the sixth decimal would round otherwise, so "%lf" prints that
// decimal exactly.
char* put_output_metres(char* out, std::int32_t n, int decimals)
{
    static const std::int64_t tens[] = {1, 10, 100, 1000};
    std::int64_t a = n;
    if (a < 0) {
        *out++ = '-';
        a = -a;
    }
    out = std::to_chars(out, out + 16, a / tens[decimals]).ptr;
    *out++ = '.';
    std::int64_t fraction = a % tens[decimals];
    for (int d = decimals - 1; d >= 0; --d) {
        out[d] = char('0' + fraction % 10);
        fraction /= 10;
    }
    for (int d = decimals; d < 6; ++d) out[d] = '0';
    return out + 6;
}

namespace {

// The ESRI body is made on all threads a few hundred lines at a time, and
// written in order.
template <class Line>
void write_esri_lines(Workspace& ws, OutFile& f, Line line)
{
    constexpr int batch = 256;
    for (int b0 = 0; b0 < ws.nb_lig; b0 += batch)
        ordered_rows(
            b0, std::min(b0 + batch, ws.nb_lig), std::size_t(ws.nb_col),
            [&](int first, int last, std::string& text) {
                for (int i = first; i < last; ++i) line(i, text);
            },
            [&](const std::string& text) { f.write(text.data(), text.size()); });
}

}  // namespace

// Every value followed by a tab, all on one text line.
void write_esri_metres(Workspace& ws, OutFile& f, const nrutil::IGrid& g)
{
    const double c = ws.coeff_rc;
    const int decimals = c == 1 ? 0 : c == 10 ? 1 : c == 100 ? 2 : c == 1000 ? 3 : -1;
    const std::string nodata = cfmt("%lf\t", esri_nodata);
    write_esri_lines(ws, f, [&](int i, std::string& text) {
        const std::int32_t* src = g[i];
        std::size_t n = text.size();
        text.resize(n + std::size_t(ws.nb_col) * 64);
        char* out = text.data() + n;
        for (int j = 0; j < ws.nb_col; ++j) {
            if (without_data(ws, i, j)) {
                out = std::copy(nodata.begin(), nodata.end(), out);
                continue;
            }
            if (decimals >= 0)
                out = put_output_metres(out, src[j], decimals);
            else
                out += std::snprintf(out, 63, "%lf", src[j] / c);
            *out++ = '\t';
        }
        text.resize(std::size_t(out - text.data()));
    });
}

// Cells without data are written as the header's nodata value, with its
// decimals: GDAL compares them as 32-bit floats, where -9999 would differ.
void write_esri_bytes(Workspace& ws, OutFile& f, const nrutil::UcGrid& g)
{
    const std::string nodata = cfmt("%lf\t", esri_nodata);
    static const auto numbers = [] {
        std::array<std::string, 256> t;
        for (int v = 0; v < 256; ++v) t[std::size_t(v)] = std::to_string(v) + "\t";
        return t;
    }();
    write_esri_lines(ws, f, [&](int i, std::string& text) {
        const std::uint8_t* src = g[i];
        for (int j = 0; j < g.columns(); ++j) text += without_data(ws, i, j) ? nodata : numbers[src[j]];
    });
}
