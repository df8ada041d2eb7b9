#include "gravcenter_model.hpp"

#include <algorithm>
#include <string>
#include <vector>

#include "parallel.hpp"
#include "trunc_to_int.hpp"
#include "workspace.hpp"

namespace {

// One "%d\t%d\t%d\n" row appended to `out`; the model of a large edifice
// has millions.
void xyz_row(std::string& out, int x, int y, int z)
{
    char row[40];
    char* p = row;
    for (int v : {x, y, z}) {
        char digits[12];
        int n = 0;
        unsigned u = v < 0 ? 0u - unsigned(v) : unsigned(v);
        do digits[n++] = char('0' + u % 10);
        while (u /= 10);
        if (v < 0) *p++ = '-';
        while (n) *p++ = digits[--n];
        *p++ = '\t';
    }
    p[-1] = '\n';
    out.append(row, std::size_t(p - row));
}

void xyz_row(Workspace& ws, int x, int y, int z)
{
    std::string row;
    xyz_row(row, x, y, z);
    ws.fgc.write(row.data(), row.size());
}

}  // namespace

int model_z(const Workspace& ws, int altitude)
{
    if (ws.pix_size != 0) return altitude / ws.pix_size;
    return trunc_to_int(altitude / ws.dsizepix);  // saturates for an absurdly small pixel
}

void model_frame_rows(Workspace& ws)
{
    // The box of the cells in tab, line by line on all threads.
    struct Box {
        bool any = false;
        int jmin = 0, jmax = 0;
    };
    std::vector<Box> lines(std::size_t(ws.nb_lig > 0 ? ws.nb_lig : 0));
    parallel_rows(0, ws.nb_lig, std::size_t(ws.nb_col), [&](int first, int last) {
        for (int i = first; i < last; ++i) {
            Box& b = lines[std::size_t(i)];
            for (int j = 0; j < ws.nb_col; ++j) {
                if (ws.tab[i][j] != 1) continue;
                if (!b.any) b.jmin = b.jmax = j;
                b.jmax = j;
                b.any = true;
            }
        }
    });
    int imin = 10000, imax = 0, jmin = 10000, jmax = 0;
    bool any = false;
    for (int i = 0; i < ws.nb_lig; ++i) {
        const Box& b = lines[std::size_t(i)];
        if (!b.any) continue;
        if (!any) {
            imin = imax = i;
            jmin = b.jmin;
            jmax = b.jmax;
            any = true;
        }
        imin = std::min(imin, i);
        imax = std::max(imax, i);
        jmin = std::min(jmin, b.jmin);
        jmax = std::max(jmax, b.jmax);
    }
    const int z = model_z(ws, ws.base);
    xyz_row(ws, jmin - 5, imin - 5, z);
    xyz_row(ws, jmax + 5, imin - 5, z);
    xyz_row(ws, jmin - 5, imax + 5, z);
    xyz_row(ws, jmax + 5, imax + 5, z);
}

namespace {

// Interior cell equal to 1 with a 4-neighbour equal to 0.
template <class Mask>
bool perimeter(const Mask& m, int i, int j, int nl, int nc)
{
    if (i < 1 || i > nl - 2 || j < 1 || j > nc - 2 || m[i][j] != 1) return false;
    return m[i - 1][j] == 0 || m[i][j + 1] == 0 || m[i + 1][j] == 0 || m[i][j - 1] == 0;
}

template <class Mask>
void slice_rows(Workspace& ws, const Mask& m, int as_perimeter, int z, int i0, int i1, int j0, int j1)
{
    if (as_perimeter != 0 && as_perimeter != 1) return;
    // A few hundred lines at a time: the text of a large basal slice (some
    // hundred megabytes) is never held whole.
    // The blocks' strings are kept from batch to batch.
    constexpr int batch = 256;
    std::vector<std::string> text;
    for (int b0 = i0; b0 <= i1; b0 += batch)
        ordered_rows(
            b0, std::min(b0 + batch, i1 + 1), std::size_t(j1 - j0 + 1), text,
            [&](int first, int last, std::string& out) {
                for (int i = first; i < last; ++i)
                    for (int j = j0; j <= j1; ++j) {
                        bool row = as_perimeter == 0 ? m[i][j] == 1 : perimeter(m, i, j, ws.nb_lig, ws.nb_col);
                        if (row) xyz_row(out, j, i, z);
                    }
            },
            [&](const std::string& out) { ws.fgc.write(out.data(), out.size()); });
}

}  // namespace

void model_basal_rows(Workspace& ws)
{
    slice_rows(ws, ws.tab, ws.Basic_Slice, model_z(ws, ws.base), 0, ws.nb_lig - 1, 0, ws.nb_col - 1);
}

bool model_shows_slice(const Workspace& ws, int k)
{
    if (ws.UpSliVisu != 0 || ws.NumSlices < 2 || ws.NumSlices > 10) return false;
    if (k == ws.altmax) return true;
    const long long step = (static_cast<long long>(ws.altmax) - ws.base) / ws.NumSlices;
    for (int m = 1; m <= ws.NumSlices - 1; ++m)
        if (k == ws.base + m * step) return true;
    return false;
}

void model_upper_slice_rows(Workspace& ws, const nrutil::IGrid& mask, int k, int i0, int i1, int j0,
                            int j1)
{
    slice_rows(ws, mask, ws.VisuType, model_z(ws, k), i0, i1, j0, j1);
}

void model_centre_row(Workspace& ws, int centre_i, int centre_j, int k)
{
    xyz_row(ws, centre_j, centre_i, model_z(ws, k));
    ws.slice_centres.push_back({centre_i, centre_j, k});
}
