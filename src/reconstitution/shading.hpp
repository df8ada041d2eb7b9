// Hill shading, cell by cell: the light of shadow_v2 and the grey image made
// from it without grids of doubles in between.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "nodata.hpp"
#include "parallel.hpp"
#include "trunc_to_int.hpp"
#include "workspace.hpp"

// Light from azimuth 45 degrees (toward line 0 and increasing columns), 35
// degrees above the horizon; elevations are brought back to metres first.
struct Light {
    double k, cc, cs, sr, r2, se;

    explicit Light(const Workspace& ws) : Light(ws, ws.dsizepix) {}
    // The same light on cells of side `res` (a relief sampled more coarsely
    // than its grid).
    Light(const Workspace& ws, double res)
    {
        const double pi = 4.0 * std::atan(1.0);
        const double to_radians = pi / 180;
        const double azt = 45, el1 = 35;
        const double ca = std::cos(azt * to_radians), sa = std::sin(azt * to_radians);
        const double ce = std::cos(el1 * to_radians);
        se = std::sin(el1 * to_radians);
        cc = ce * ca;
        cs = ce * sa;
        sr = se * res;
        r2 = res * res;
        k = ws.coeff_rc;
    }

    // Shading of a cell from its elevation, the one below it and the one on
    // its right, each divided by k (metres).
    double shade(double z, double below, double right) const
    {
        const double d2 = below - z;
        const double d3 = right - z;
        const double bn = std::sqrt(d2 * d2 + d3 * d3 + r2);
        // bn is 0 only on a flat cell whose pixel size squares to 0: its
        // normal points up, and it faces the light at the light's elevation.
        const double rad = bn != 0 ? (cc * d2 - cs * d3 + sr) / bn : se;
        return rad < 0 ? 0 : 255.999 * rad;
    }

    // out[j] = shade(here[j], below[j], here[j + 1]) for j < n, two cells at
    // a time (SSE2): the same operations in the same order in every lane, and
    // the same choices (a zero bn, a negative light) made by masks, so that
    // every bit is shade()'s.
    void shade_line(const double* here, const double* below, double* out, int n) const
    {
        int j = 0;
#if defined(__SSE2__)
        const __m128d vcc = _mm_set1_pd(cc), vcs = _mm_set1_pd(cs), vsr = _mm_set1_pd(sr), vr2 = _mm_set1_pd(r2);
        const __m128d vse = _mm_set1_pd(se), scale = _mm_set1_pd(255.999), zero = _mm_setzero_pd();
        for (; j + 1 < n; j += 2) {
            const __m128d z = _mm_loadu_pd(here + j);
            const __m128d d2 = _mm_sub_pd(_mm_loadu_pd(below + j), z);
            const __m128d d3 = _mm_sub_pd(_mm_loadu_pd(here + j + 1), z);
            const __m128d bn = _mm_sqrt_pd(_mm_add_pd(_mm_add_pd(_mm_mul_pd(d2, d2), _mm_mul_pd(d3, d3)), vr2));
            const __m128d lit = _mm_div_pd(_mm_add_pd(_mm_sub_pd(_mm_mul_pd(vcc, d2), _mm_mul_pd(vcs, d3)), vsr), bn);
            const __m128d nonzero = _mm_cmpneq_pd(bn, zero);  // true for NaN, as bn != 0 is
            const __m128d rad = _mm_or_pd(_mm_and_pd(nonzero, lit), _mm_andnot_pd(nonzero, vse));
            const __m128d dark = _mm_cmplt_pd(rad, zero);
            _mm_storeu_pd(out + j, _mm_andnot_pd(dark, _mm_mul_pd(scale, rad)));
        }
#endif
        for (; j < n; ++j) out[j] = shade(here[j], below[j], here[j + 1]);
    }
};

// Grey image of the shading of the relief z(i, j): 254 at its brightest cell
// with data, all 0 when it is all dark; the last line and column, which have
// no neighbour below or right, are 0 like the dark cells.  Cells without data
// are 0 here and nodata once written.  The shading is worked out twice (for
// the brightest cell, then for the grey values), which costs less than
// keeping it.
template <class Z>
void shaded_image(Workspace& ws, Z z, nrutil::UcGrid& image)
{
    const Light light(ws);
    const int nl = ws.nb_lig, nc = ws.nb_col;
    // Line i of the shading, from the elevations of lines i and i + 1 in
    // metres; 0 on the last line and column.  A block of lines takes them in
    // order: line i + 1 in metres, worked out for line i, serves line i + 1
    // (`held`: the line that `below` holds, -1 for none).
    auto shade_line = [&](int i, std::vector<double>& here, std::vector<double>& below, int& held, double* out) {
        if (i >= nl - 1) {
            std::fill(out, out + nc, 0.0);
            return;
        }
        if (held == i) {
            here.swap(below);
        } else {
            for (int j = 0; j < nc; ++j) here[std::size_t(j)] = z(i, j) / light.k;
        }
        for (int j = 0; j < nc; ++j) below[std::size_t(j)] = z(i + 1, j) / light.k;
        held = i + 1;
        light.shade_line(here.data(), below.data(), out, nc - 1);
        out[nc - 1] = 0;
    };
    // The brightest value is the same in any order: the lines' maxima.
    std::vector<double> brightest(std::size_t(nl), 0.0);
    parallel_rows(0, nl, std::size_t(nc), [&](int first, int last) {
        const std::size_t width = static_cast<std::size_t>(nc);
        std::vector<double> here(width), below(width), s(width);
        int held = -1;
        for (int i = first; i < last; ++i) {
            shade_line(i, here, below, held, s.data());
            double m = 0;
            for (int j = 0; j < nc; ++j)
                if (s[std::size_t(j)] > m && !without_data(ws, i, j)) m = s[std::size_t(j)];
            brightest[std::size_t(i)] = m;
        }
    });
    double m = 0;
    for (double b : brightest)
        if (b > m) m = b;
    parallel_rows(0, nl, std::size_t(nc), [&](int first, int last) {
        const std::size_t width = static_cast<std::size_t>(nc);
        std::vector<double> here(width), below(width), s(width);
        int held = -1;
        for (int i = first; i < last; ++i) {
            shade_line(i, here, below, held, s.data());
            std::uint8_t* out = image[i];
            for (int j = 0; j < nc; ++j)
                // An infinite shading (a pixel size near 0) gives NaN here: 0, not undefined behaviour.
                out[j] = m == 0 || without_data(ws, i, j) ? 0
                                                          : std::uint8_t(trunc_to_int(s[std::size_t(j)] / m * 254.0));
        }
    });
}
