#include "basal_surface.hpp"

#include <algorithm>
#include <cmath>

std::optional<double> bilinear(const GridFrame& g, const nrutil::DGrid& z, const nrutil::UcGrid& nodata, Vec2 p)
{
    // Fractional column and line of p among the centres.
    const double u = p.x / g.d - 0.5, v = (g.nl - 0.5) - p.y / g.d;
    const int j0 = g.nc < 2 ? 0 : std::clamp(int(std::floor(u)), 0, g.nc - 2);
    const int i0 = g.nl < 2 ? 0 : std::clamp(int(std::floor(v)), 0, g.nl - 2);
    const int j1 = std::min(j0 + 1, g.nc - 1), i1 = std::min(i0 + 1, g.nl - 1);
    const double fx = g.nc < 2 ? 0 : u - j0, fy = g.nl < 2 ? 0 : v - i0;
    const bool holes = bool(nodata) && nodata.size() == z.size();
    if (holes && (nodata[i0][j0] || nodata[i0][j1] || nodata[i1][j0] || nodata[i1][j1])) return std::nullopt;
    return z[i0][j0] * (1 - fx) * (1 - fy) + z[i0][j1] * fx * (1 - fy) + z[i1][j0] * (1 - fx) * fy +
           z[i1][j1] * fx * fy;
}

std::vector<BasalVertex> outline_vertices(const GridFrame& g, const nrutil::DGrid& z, const nrutil::UcGrid& nodata,
                                          const Ring& outline)
{
    std::vector<BasalVertex> kept;
    for (const Vec2& m : outline) {
        const Vec2 v = g.to_local(m);
        if (const std::optional<double> h = bilinear(g, z, nodata, v)) kept.push_back({v, *h});
    }
    return kept;
}

BasalSurface::BasalSurface(std::vector<BasalVertex> v, BasalMethod method, double idw_power)
    : v_(std::move(v)), method_(method), power_(idw_power)
{
    lowest_ = v_.front().z;
    for (const BasalVertex& b : v_) lowest_ = std::min(lowest_, b.z);
    if (method_ == BasalMethod::tin || method_ == BasalMethod::natural) {
        std::vector<Vec2> p;
        for (const BasalVertex& b : v_) p.push_back(b.p);
        std::vector<Vec2> q;
        for (int k : distinct_points(p)) {
            q.push_back(v_[std::size_t(k)].p);
            tz_.push_back(v_[std::size_t(k)].z);
        }
        tri_ = std::make_unique<Delaunay>(std::move(q));
    }
    if (method_ == BasalMethod::plane) {
        const double n = double(v_.size());
        for (const BasalVertex& b : v_) {
            mx_ += b.p.x;
            my_ += b.p.y;
            mz_ += b.z;
        }
        mx_ /= n;
        my_ /= n;
        mz_ /= n;
        double sxx = 0, sxy = 0, syy = 0, sxz = 0, syz = 0;
        for (const BasalVertex& b : v_) {
            const double x = b.p.x - mx_, y = b.p.y - my_, zz = b.z - mz_;
            sxx += x * x;
            sxy += x * y;
            syy += y * y;
            sxz += x * zz;
            syz += y * zz;
        }
        const double det = sxx * syy - sxy * sxy;
        if (det != 0) {
            cx_ = (sxz * syy - syz * sxy) / det;
            cy_ = (syz * sxx - sxz * sxy) / det;
        }
    }
}

double BasalSurface::at(Vec2 q, int& hint) const
{
    switch (method_) {
        case BasalMethod::lowest:
            return lowest_;
        case BasalMethod::plane:
            return mz_ + cx_ * (q.x - mx_) + cy_ * (q.y - my_);
        case BasalMethod::idw: {
            double sw = 0, swz = 0;
            for (const BasalVertex& b : v_) {
                const double dx = b.p.x - q.x, dy = b.p.y - q.y;
                const double s = dx * dx + dy * dy;
                if (s == 0) return b.z;
                const double w = power_ == 2 ? 1 / s : std::pow(std::sqrt(s), -power_);
                sw += w;
                swz += w * b.z;
            }
            return swz / sw;
        }
        default: {
            const int t = tri_->locate(q, hint);
            if (t < 0) return tz_[std::size_t(tri_->nearest(q))];
            hint = t;
            return method_ == BasalMethod::tin ? tri_->linear(q, t, tz_) : tri_->natural(q, t, tz_);
        }
    }
}
