#include "ellipse_fit.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

using M3 = double[3][3];

bool invert3(const M3 m, M3 r)
{
    const double c00 = m[1][1] * m[2][2] - m[1][2] * m[2][1];
    const double c01 = m[1][2] * m[2][0] - m[1][0] * m[2][2];
    const double c02 = m[1][0] * m[2][1] - m[1][1] * m[2][0];
    const double det = m[0][0] * c00 + m[0][1] * c01 + m[0][2] * c02;
    if (!(det != 0) || !std::isfinite(det)) return false;
    r[0][0] = c00 / det;
    r[0][1] = (m[0][2] * m[2][1] - m[0][1] * m[2][2]) / det;
    r[0][2] = (m[0][1] * m[1][2] - m[0][2] * m[1][1]) / det;
    r[1][0] = c01 / det;
    r[1][1] = (m[0][0] * m[2][2] - m[0][2] * m[2][0]) / det;
    r[1][2] = (m[0][2] * m[1][0] - m[0][0] * m[1][2]) / det;
    r[2][0] = c02 / det;
    r[2][1] = (m[0][1] * m[2][0] - m[0][0] * m[2][1]) / det;
    r[2][2] = (m[0][0] * m[1][1] - m[0][1] * m[1][0]) / det;
    return true;
}

// The real eigenvalues of a 3x3 matrix whose eigenvalues are real (the
// reduced problem's are: it is similar to a symmetric matrix), from its
// characteristic polynomial, trigonometric form.
int eigenvalues3(const M3 m, double lambda[3])
{
    const double tr = m[0][0] + m[1][1] + m[2][2];
    const double c1 = m[0][0] * m[1][1] - m[0][1] * m[1][0] + m[0][0] * m[2][2] - m[0][2] * m[2][0] +
                      m[1][1] * m[2][2] - m[1][2] * m[2][1];
    const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                       m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                       m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    // lambda^3 + a lambda^2 + b lambda + c = 0
    const double a = -tr, b = c1, c = -det;
    const double q = (a * a - 3 * b) / 9;
    const double r = (2 * a * a * a - 9 * a * b + 27 * c) / 54;
    if (!(q > 0)) {
        lambda[0] = lambda[1] = lambda[2] = -a / 3;
        return 3;
    }
    const double sq = std::sqrt(q);
    const double t = std::clamp(r / (sq * sq * sq), -1.0, 1.0);
    const double theta = std::acos(t);
    const double pi2 = 2 * std::numbers::pi;
    lambda[0] = -2 * sq * std::cos(theta / 3) - a / 3;
    lambda[1] = -2 * sq * std::cos((theta + pi2) / 3) - a / 3;
    lambda[2] = -2 * sq * std::cos((theta - pi2) / 3) - a / 3;
    return 3;
}

// A unit vector of the null space of m - lambda I: the largest cross product
// of two of its rows.
bool eigenvector3(const M3 m, double lambda, double v[3])
{
    double r[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) r[i][j] = m[i][j] - (i == j ? lambda : 0);
    double best = 0;
    const int pairs[3][2] = {{0, 1}, {0, 2}, {1, 2}};
    for (const auto& p : pairs) {
        const double* x = r[p[0]];
        const double* y = r[p[1]];
        const double c[3] = {x[1] * y[2] - x[2] * y[1], x[2] * y[0] - x[0] * y[2], x[0] * y[1] - x[1] * y[0]};
        const double n = c[0] * c[0] + c[1] * c[1] + c[2] * c[2];
        if (n > best) {
            best = n;
            const double s = std::sqrt(n);
            for (int k = 0; k < 3; ++k) v[k] = c[k] / s;
        }
    }
    return best > 0;
}

}  // namespace

std::optional<Ellipse> fit_ellipse(const Ring& p)
{
    const std::size_t n = p.size();
    if (n < 6) return std::nullopt;
    double mx = 0, my = 0;
    for (const Vec2& q : p) {
        mx += q.x;
        my += q.y;
    }
    mx /= double(n);
    my /= double(n);
    double vx = 0, vy = 0;
    for (const Vec2& q : p) {
        vx += (q.x - mx) * (q.x - mx);
        vy += (q.y - my) * (q.y - my);
    }
    const double s = std::max(std::sqrt(vx / double(n - 1)), std::sqrt(vy / double(n - 1)));
    if (!(s > 0)) return std::nullopt;

    // Scatter matrices of the quadratic part D1 = (x^2, xy, y^2) and the
    // linear part D2 = (x, y, 1).
    double s1[3][3] = {}, s2[3][3] = {}, s3[3][3] = {};
    for (const Vec2& q : p) {
        const double x = (q.x - mx) / s, y = (q.y - my) / s;
        const double d1[3] = {x * x, x * y, y * y}, d2[3] = {x, y, 1};
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) {
                s1[i][j] += d1[i] * d1[j];
                s2[i][j] += d1[i] * d2[j];
                s3[i][j] += d2[i] * d2[j];
            }
    }
    double s3i[3][3];
    if (!invert3(s3, s3i)) return std::nullopt;
    // T = -S3^-1 S2^T; M = S1 + S2 T; then C1^-1 M.
    double t[3][3], m[3][3], mr[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            double v = 0;
            for (int k = 0; k < 3; ++k) v += s3i[i][k] * s2[j][k];
            t[i][j] = -v;
        }
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            double v = 0;
            for (int k = 0; k < 3; ++k) v += s2[i][k] * t[k][j];
            m[i][j] = s1[i][j] + v;
        }
    for (int j = 0; j < 3; ++j) {
        mr[0][j] = m[2][j] / 2;
        mr[1][j] = -m[1][j];
        mr[2][j] = m[0][j] / 2;
    }
    double lambda[3];
    eigenvalues3(mr, lambda);
    // The eigenvector that is an ellipse (4AC - B^2 > 0); the largest such
    // value if rounding lets more than one through.
    double a1[3] = {}, best = 0;
    bool found = false;
    for (double l : lambda) {
        double v[3] = {};
        if (!eigenvector3(mr, l, v)) continue;
        const double cond = 4 * v[0] * v[2] - v[1] * v[1];
        if (cond > 0 && (!found || cond > best)) {
            found = true;
            best = cond;
            for (int k = 0; k < 3; ++k) a1[k] = v[k];
        }
    }
    if (!found) return std::nullopt;
    double a2[3];
    for (int i = 0; i < 3; ++i) a2[i] = t[i][0] * a1[0] + t[i][1] * a1[1] + t[i][2] * a1[2];
    double A = a1[0], B = a1[1], C = a1[2];
    const double D = a2[0], E = a2[1], F = a2[2];

    // Centre where the gradient vanishes; F0 the conic there.
    const double den = 4 * A * C - B * B;
    const double x0 = (B * E - 2 * C * D) / den, y0 = (B * D - 2 * A * E) / den;
    double f0 = A * x0 * x0 + B * x0 * y0 + C * y0 * y0 + D * x0 + E * y0 + F;
    if (f0 > 0) {
        A = -A;
        B = -B;
        C = -C;
        f0 = -f0;
    }
    if (!(f0 < 0)) return std::nullopt;
    // Eigenvalues of [[A, B/2], [B/2, C]], both above 0 for an ellipse.
    const double h = (A - C) / 2, k = B / 2;
    const double root = std::sqrt(h * h + k * k);
    const double lmin = (A + C) / 2 - root, lmax = (A + C) / 2 + root;
    if (!(lmin > 0)) return std::nullopt;
    Ellipse e;
    e.a = s * std::sqrt(-f0 / lmin);
    e.b = s * std::sqrt(-f0 / lmax);
    e.centre = {mx + s * x0, my + s * y0};
    // The major axis is the eigenvector of the smaller eigenvalue.
    double ux = k, uy = lmin - A;
    const double wx = lmin - C, wy = k;
    if (wx * wx + wy * wy > ux * ux + uy * uy) {
        ux = wx;
        uy = wy;
    }
    if (ux == 0 && uy == 0) {  // a circle: any direction
        ux = 1;
        uy = 0;
    }
    double az = std::atan2(ux, uy) * (180 / std::numbers::pi);
    if (az < 0) az += 180;
    if (az >= 180) az -= 180;
    e.azimuth = az + 0.0;  // no -0
    return e;
}
