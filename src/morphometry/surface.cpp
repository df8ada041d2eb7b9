#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "parallel.hpp"
#include "scratch_vector.hpp"

#include "morphometry.hpp"
#include "surface_rule.hpp"
#include "workspace.hpp"

// Counted triangles of a pixel edge of the item, by neighbour code: the
// neighbours that belong to the item form one run around the ring of eight of
// 2 to 6 cells, or of 7 with an orthogonal one missing.  Triangle m (1..8) is
// bounded by ring bits m-1 and m (mod 8).  Every other code counts all eight.
const std::uint16_t* surface_triangles()
{
    static const std::uint8_t partial[] = {
        0x03, 0x06, 0x0C, 0x18, 0x30, 0x60, 0xC0, 0x81,  // 1 triangle
        0x07, 0x0E, 0x1C, 0x38, 0x70, 0xE0, 0xC1, 0x83,  // 2
        0x0F, 0x1E, 0x3C, 0x78, 0xF0, 0xE1, 0xC3, 0x87,  // 3
        0x1F, 0x3E, 0x7C, 0xF8, 0xF1, 0xE3, 0xC7, 0x8F,  // 4
        0x3F, 0x7E, 0xFC, 0xF9, 0xF3, 0xE7, 0xCF, 0x9F,  // 5
        0x7F, 0xFD, 0xF7, 0xDF,                          // 6
    };
    static std::uint16_t table[256];
    static bool built = false;
    if (!built) {
        for (int code = 0; code < 256; ++code) table[code] = 0xFF;
        for (std::uint8_t code : partial) {
            std::uint16_t mask = 0;
            for (int m = 1; m <= 8; ++m)
                if ((code >> (m - 1) & 1) && (code >> (m % 8) & 1)) mask |= std::uint16_t(1 << (m - 1));
            table[code] = mask;
        }
        built = true;
    }
    return table;
}

// Triangle m joins the centre, corner corner[m] and side middle middle[m];
// each side from the centre serves two triangles.
static const int corner[9] = {0, 1, 3, 3, 5, 5, 7, 7, 1};
static const int middle[9] = {0, 2, 2, 4, 4, 6, 6, 8, 8};

double counted_triangles_area_plain(const double A[9], double tr_size, double diag, unsigned counted)
{
    double centre_side[9];
    for (int k = 1; k <= 8; k += 2) centre_side[k] = std::sqrt(diag * diag + A[k] * A[k]);
    for (int k = 2; k <= 8; k += 2) centre_side[k] = std::sqrt(tr_size * tr_size + A[k] * A[k]);
    double S_pix3d = 0;
    for (int m = 1; m <= 8; ++m) {
        if (!(counted >> (m - 1) & 1)) continue;
        const double p = centre_side[corner[m]];
        const double q = centre_side[middle[m]];
        const double d = A[corner[m]] - A[middle[m]];
        const double r = std::sqrt(tr_size * tr_size + d * d);
        const double s = (p + q + r) * 0.5;
        // A needle of a triangle (a cliff far higher than the pixel is wide)
        // can round to a product just below zero; its area is then zero,
        // not the square root of a negative number.
        const double product = s * (s - p) * (s - q) * (s - r);
        S_pix3d += product > 0 ? std::sqrt(product) : 0.0;
    }
    return S_pix3d;
}

// The square roots are most of a pixel's cost: two at a time.  Every lane
// does what the plain version does for its side or triangle (no contraction,
// the same order of operations), and the areas are added up one by one in
// triangle order.
double counted_triangles_area(const double A[9], double tr_size, double diag, unsigned counted)
{
#if defined(__SSE2__)
    alignas(16) double centre_side[9 + 1];
    {
        const __m128d dd = _mm_set1_pd(diag * diag), tt = _mm_set1_pd(tr_size * tr_size);
        // Corners 1, 3, 5, 7 with the half diagonal, side middles 2, 4, 6, 8
        // with the half side.
        const __m128d a13 = _mm_set_pd(A[3], A[1]), a57 = _mm_set_pd(A[7], A[5]);
        const __m128d a24 = _mm_set_pd(A[4], A[2]), a68 = _mm_set_pd(A[8], A[6]);
        alignas(16) double out[8];
        _mm_store_pd(out + 0, _mm_sqrt_pd(_mm_add_pd(dd, _mm_mul_pd(a13, a13))));
        _mm_store_pd(out + 2, _mm_sqrt_pd(_mm_add_pd(dd, _mm_mul_pd(a57, a57))));
        _mm_store_pd(out + 4, _mm_sqrt_pd(_mm_add_pd(tt, _mm_mul_pd(a24, a24))));
        _mm_store_pd(out + 6, _mm_sqrt_pd(_mm_add_pd(tt, _mm_mul_pd(a68, a68))));
        centre_side[1] = out[0];
        centre_side[3] = out[1];
        centre_side[5] = out[2];
        centre_side[7] = out[3];
        centre_side[2] = out[4];
        centre_side[4] = out[5];
        centre_side[6] = out[6];
        centre_side[8] = out[7];
    }
    alignas(16) double area[8];
    const __m128d tt = _mm_set1_pd(tr_size * tr_size), half = _mm_set1_pd(0.5), zero = _mm_setzero_pd();
    for (int m = 1; m <= 8; m += 2) {
        const __m128d p = _mm_set_pd(centre_side[corner[m + 1]], centre_side[corner[m]]);
        const __m128d q = _mm_set_pd(centre_side[middle[m + 1]], centre_side[middle[m]]);
        const __m128d d = _mm_set_pd(A[corner[m + 1]] - A[middle[m + 1]], A[corner[m]] - A[middle[m]]);
        const __m128d r = _mm_sqrt_pd(_mm_add_pd(tt, _mm_mul_pd(d, d)));
        const __m128d s = _mm_mul_pd(_mm_add_pd(_mm_add_pd(p, q), r), half);
        const __m128d product =
            _mm_mul_pd(_mm_mul_pd(_mm_mul_pd(s, _mm_sub_pd(s, p)), _mm_sub_pd(s, q)), _mm_sub_pd(s, r));
        // A product at or below zero (or not a number) is a needle of no area.
        _mm_store_pd(area + (m - 1), _mm_and_pd(_mm_cmpgt_pd(product, zero), _mm_sqrt_pd(product)));
    }
    double S_pix3d = 0;
    for (int m = 1; m <= 8; ++m)
        if (counted >> (m - 1) & 1) S_pix3d += area[m - 1];
    return S_pix3d;
#else
    return counted_triangles_area_plain(A, tr_size, diag, counted);
#endif
}

namespace {

// The pixel's geometry, and the area of a triangle of a flat pixel.
struct PixelShape {
    double tr_size, diag, surf_pix, flat_area;
};

// Plan and real surface of pixel (i, j) of the item.
void pixel_surface(const Workspace& ws, const std::uint16_t* triangles, const PixelShape& shape, int i, int j,
                   double& S_pix2d, double& S_pix3d)
{
    const double surf_pix = shape.surf_pix;
    const std::uint8_t* up = ws.tab[i - 1];
    const std::uint8_t* mid = ws.tab[i];
    const std::uint8_t* down = ws.tab[i + 1];
    const double* zu = ws.dtab[i - 1];
    const double* zm = ws.dtab[i];
    const double* zd = ws.dtab[i + 1];
    const int crown = (up[j - 1] == 1) * 1 + (up[j] == 1) * 2 + (up[j + 1] == 1) * 4 + (mid[j + 1] == 1) * 8 +
                      (down[j + 1] == 1) * 16 + (down[j] == 1) * 32 + (down[j - 1] == 1) * 64 + (mid[j - 1] == 1) * 128;
    const unsigned counted = triangles[crown];
    const double coef_per = double(__builtin_popcount(counted)) / 8;
    S_pix2d = surf_pix * coef_per;

    const double c = zm[j];
    if (zu[j - 1] == c && zu[j] == c && zu[j + 1] == c && zm[j - 1] == c && zm[j + 1] == c && zd[j - 1] == c &&
        zd[j] == c && zd[j + 1] == c) {
        // All heights are 0: every counted triangle has the flat area.
        S_pix3d = 0;
        for (int m = 1; m <= 8; ++m)
            if (counted >> (m - 1) & 1) S_pix3d += shape.flat_area;
        return;
    }
    const double A[9] = {0,
                         (zu[j - 1] - c) * 0.5, (zu[j] - c) * 0.5,     (zu[j + 1] - c) * 0.5,
                         (zm[j + 1] - c) * 0.5, (zd[j + 1] - c) * 0.5, (zd[j] - c) * 0.5,
                         (zd[j - 1] - c) * 0.5, (zm[j - 1] - c) * 0.5};
    S_pix3d = counted_triangles_area(A, shape.tr_size, shape.diag, counted);
}

}  // namespace

// The pixels are measured on all cores, a block of lines at a time, and added
// up in scan order.
void surface(Workspace& ws, int flag_surf)
{
    const std::uint16_t* triangles = surface_triangles();
    PixelShape shape;
    shape.tr_size = ws.dsizepix * 0.5;
    shape.diag = std::sqrt(2.0) * shape.tr_size;
    shape.surf_pix = ws.dsizepix * ws.dsizepix;
    {
        // The triangle of a flat pixel, computed as the general case does.
        const double zero = 0.0;
        const double p = std::sqrt(shape.diag * shape.diag + zero * zero);
        const double q = std::sqrt(shape.tr_size * shape.tr_size + zero * zero);
        const double d = zero - zero;
        const double r = std::sqrt(shape.tr_size * shape.tr_size + d * d);
        const double s = (p + q + r) * 0.5;
        shape.flat_area = std::sqrt(s * (s - p) * (s - q) * (s - r));
    }
    const int nc = ws.nb_col;
    double S_2d = 0, S_3d = 0;
    // Blocks of up to 256 lines, never more than the grid has: a grid of one
    // or two lines and many columns needs no buffers of 256 lines.
    const int block = std::max(1, std::min(256, ws.nb_lig - 2));
    // Only the cells of the edifice are written, and only they are read.
    ScratchVector<double> plan(std::size_t(block) * nc), real(std::size_t(block) * nc);
    for (int b0 = 1; b0 <= ws.nb_lig - 2; b0 += block) {
        const int b1 = std::min(b0 + block, ws.nb_lig - 1);
        parallel_rows(b0, b1, std::size_t(nc), [&](int first, int last) {
            for (int i = first; i < last; ++i)
                for (int j = 1; j <= nc - 2; ++j)
                    if (ws.tab[i][j] == 1)
                        pixel_surface(ws, triangles, shape, i, j,
                                      plan[std::size_t(i - b0) * nc + j], real[std::size_t(i - b0) * nc + j]);
        });
        for (int i = b0; i < b1; ++i)
            for (int j = 1; j <= nc - 2; ++j)
                if (ws.tab[i][j] == 1) {
                    S_3d += real[std::size_t(i - b0) * nc + j];
                    S_2d += plan[std::size_t(i - b0) * nc + j];
                }
    }
    const int relief = flag_surf == 2 ? 1 : 0;
    ws.figures.surface_2d[relief] = S_2d;
    ws.figures.surface_3d[relief] = S_3d;
    double ratio = S_2d != 0 ? (S_3d - S_2d) / S_2d * 100.0 : 0.0;
    ws.figures.surface_ratio[relief] = ratio;
    ws.both("\n\t\tBi-dimensional surface  : %lf km2 ", S_2d * 1e-06);
    ws.both("\n\t\tTri-dimensional surface : %lf km2 ", S_3d * 1e-06);
    std::string r = cfmt("%lf", ratio);
    if (r == "-0.000000") r = "0.000000";
    ws.both("\n\t\tSurface Ratio = %s ", r.c_str());
}
