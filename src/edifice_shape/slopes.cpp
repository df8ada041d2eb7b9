#include "slopes.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>

#include "parallel.hpp"

namespace {

// The 3 x 3 window of a cell: rows of elevations and of the mask (null off
// the grid), the cell's column and the grid's width.
struct Window3 {
    const double* z[3];
    const std::uint8_t* m[3];
    int j, nc, j0;
    bool in(int a, int b) const
    {
        const int c = j + b;
        return m[a + 1] && c >= 0 && c < nc && m[a + 1][c] == 1;
    }
    double at(int a, int b) const { return z[a + 1][j + b - j0]; }
};

double slope_of(const Window3& w, double d, double diag, SlopeMethod method)
{
    const double z0 = w.at(0, 0);
    if (method == SlopeMethod::d8) {
        double g = 0;
        for (int a = -1; a <= 1; ++a)
            for (int b = -1; b <= 1; ++b) {
                if ((a == 0 && b == 0) || !w.in(a, b)) continue;
                const double s = (z0 - w.at(a, b)) / (a != 0 && b != 0 ? diag : d);
                if (s > g) g = s;
            }
        return std::atan(g) * (180 / std::numbers::pi);
    }
    // z1 .. z9 by lines, z5 the centre.
    double v[9];
    for (int a = -1, k = 0; a <= 1; ++a)
        for (int b = -1; b <= 1; ++b, ++k) v[k] = w.in(a, b) ? w.at(a, b) : z0;
    const double z1 = v[0], z2 = v[1], z3 = v[2], z4 = v[3], z6 = v[5], z7 = v[6], z8 = v[7], z9 = v[8];
    const double dx = ((z3 + 2 * z6 + z9) - (z1 + 2 * z4 + z7)) / (8 * d);
    const double dy = ((z7 + 2 * z8 + z9) - (z1 + 2 * z2 + z3)) / (8 * d);
    return std::atan(std::sqrt(dx * dx + dy * dy)) * (180 / std::numbers::pi);
}

Window3 window_of(const ClippedField& f, int i)
{
    Window3 w{};
    w.nc = f.mask->columns();
    w.j0 = f.j0;
    for (int a = -1; a <= 1; ++a) {
        // The field holds every cell of the mask: its rows outside hold none.
        const int r = i + a;
        const bool on = r >= 0 && r < f.mask->lines() && r >= f.i0 && r < f.i0 + f.lines;
        w.m[a + 1] = on ? (*f.mask)[r] : nullptr;
        w.z[a + 1] = on ? f.z + std::ptrdiff_t(r - f.i0) * f.stride : nullptr;
    }
    return w;
}

}  // namespace

double slope_deg(const ClippedField& f, int i, int j, SlopeMethod method)
{
    Window3 w = window_of(f, i);
    w.j = j;
    return slope_of(w, f.d, f.d * std::sqrt(2.0), method);
}

ScratchVector<double> slopes_of_cells(const ClippedField& f, int i0, int i1, int j0, int j1,
                                      const std::vector<std::size_t>& first, SlopeMethod method)
{
    ScratchVector<double> s(first.back());  // every element written below
    const double diag = f.d * std::sqrt(2.0);
    parallel_rows(i0, i1 + 1, std::size_t(j1 - j0 + 1) * 4, [&](int a, int b) {
        for (int i = a; i < b; ++i) {
            std::size_t k = first[std::size_t(i - i0)];
            Window3 w = window_of(f, i);
            const std::uint8_t* m = (*f.mask)[i];
            for (int j = j0; j <= j1; ++j)
                if (m[j] == 1) {
                    w.j = j;
                    s[k++] = slope_of(w, f.d, diag, method);
                }
        }
    });
    return s;
}

GroupMedians::GroupMedians(std::size_t groups)
    : hist_(groups * bins, 0), n_(groups, 0), lo_(groups, 0), hi_(groups, 0), below_(groups, 0), cand_(groups)
{
}

void GroupMedians::add_counts(const GroupMedians& o)
{
    for (std::size_t k = 0; k < hist_.size(); ++k) hist_[k] += o.hist_[k];
    for (std::size_t g = 0; g < n_.size(); ++g)
        for (std::size_t b = 0; b < std::size_t(bins); ++b) n_[g] += o.hist_[g * bins + b];
}

void GroupMedians::add_candidates(GroupMedians& o)
{
    for (std::size_t g = 0; g < cand_.size(); ++g) {
        cand_[g].insert(cand_[g].end(), o.cand_[g].begin(), o.cand_[g].end());
        std::vector<double>().swap(o.cand_[g]);
    }
}

void GroupMedians::targets_of(const GroupMedians& o)
{
    lo_ = o.lo_;
    hi_ = o.hi_;
}

void GroupMedians::prepare()
{
    for (std::size_t g = 0; g < n_.size(); ++g) {
        if (!n_[g]) continue;
        const std::size_t r1 = (n_[g] - 1) / 2, r2 = n_[g] / 2;
        const std::uint32_t* h = &hist_[g * bins];
        std::size_t sum = 0;
        int b = 0;
        while (sum + h[b] <= r1) sum += h[b++];
        lo_[g] = b;
        below_[g] = sum;
        while (sum + h[b] <= r2) sum += h[b++];
        hi_[g] = b;
    }
    std::vector<std::uint32_t>().swap(hist_);
}

std::optional<double> GroupMedians::median(std::size_t g)
{
    if (!n_[g]) return std::nullopt;
    std::vector<double>& c = cand_[g];
    const std::size_t r1 = (n_[g] - 1) / 2 - below_[g], r2 = n_[g] / 2 - below_[g];
    std::nth_element(c.begin(), c.begin() + std::ptrdiff_t(r1), c.end());
    const double a = c[r1];
    if (r2 == r1) return a;
    const double b = *std::min_element(c.begin() + std::ptrdiff_t(r1) + 1, c.end());
    return (a + b) / 2;
}

std::vector<SlopeStats> grouped_stats(std::span<const double> values, std::span<const std::uint8_t> groups,
                                      int n_groups)
{
    const std::size_t ng = static_cast<std::size_t>(n_groups);
    const std::size_t n = values.size();
    std::vector<SlopeStats> st(ng);
    // Counts, extremes and the medians' bins on all threads; the sums in
    // scan order on one.
    const int blocks = n < parallel_threshold() || thread_count() < 2 ? 1 : thread_count() * 2;
    std::vector<GroupMedians> part(static_cast<std::size_t>(blocks), GroupMedians(ng));
    std::vector<std::vector<double>> lo(static_cast<std::size_t>(blocks), std::vector<double>(ng, INFINITY)),
        hi(static_cast<std::size_t>(blocks), std::vector<double>(ng, -INFINITY));
    auto range = [&](int b, std::size_t& a, std::size_t& e) {
        a = n * std::size_t(b) / std::size_t(blocks);
        e = n * std::size_t(b + 1) / std::size_t(blocks);
    };
    parallel_tasks(blocks, [&](int b) {
        std::size_t a, e;
        range(b, a, e);
        GroupMedians& m = part[std::size_t(b)];
        // The extremes in arrays of the task's own: the blocks' small vectors
        // may share a cache line.
        double l[8], h[8];
        std::fill(l, l + 8, INFINITY);
        std::fill(h, h + 8, -INFINITY);
        for (std::size_t v = a; v < e; ++v)
            for (std::uint8_t gr = groups[v]; gr;) {
                const std::size_t k = std::size_t(std::countr_zero(gr));
                gr = std::uint8_t(gr & (gr - 1));
                const double x = values[v];
                l[k] = std::min(l[k], x);
                h[k] = std::max(h[k], x);
                m.count(k, x);
            }
        std::copy(l, l + ng, lo[std::size_t(b)].begin());
        std::copy(h, h + ng, hi[std::size_t(b)].begin());
    });
    GroupMedians med(ng);
    for (const GroupMedians& m : part) med.add_counts(m);
    med.prepare();
    // The sums of each group in scan order: the first group's on one thread,
    // the others' on another (each value is in the first group and in about
    // one other).  A group's mean and deviations need only its own sum.
    std::vector<double> mean(ng, 0), dev(ng, 0);
    // Each thread adds up in arrays of its own (written back at the end), so
    // that the two never write to the same cache line.
    auto sums = [&](std::uint8_t mask) {
        double s_[8] = {}, d_[8] = {}, m_[8] = {};
        std::size_t n_[8] = {};
        for (std::size_t v = 0; v < n; ++v)
            for (std::uint8_t gr = std::uint8_t(groups[v] & mask); gr;) {
                const std::size_t k = std::size_t(std::countr_zero(gr));
                gr = std::uint8_t(gr & (gr - 1));
                s_[k] += values[v];
                ++n_[k];
            }
        for (std::size_t k = 0; k < ng; ++k)
            if (n_[k]) m_[k] = s_[k] / double(n_[k]);
        for (std::size_t v = 0; v < n; ++v)
            for (std::uint8_t gr = std::uint8_t(groups[v] & mask); gr;) {
                const std::size_t k = std::size_t(std::countr_zero(gr));
                gr = std::uint8_t(gr & (gr - 1));
                const double e = values[v] - m_[k];
                d_[k] += e * e;
            }
        for (std::size_t k = 0; k < ng; ++k)
            if (mask >> k & 1) {
                mean[k] = m_[k];
                dev[k] = d_[k];
                st[k].n = n_[k];
            }
    };
    const std::uint8_t all = std::uint8_t((1u << ng) - 1);
    if (blocks == 1 || ng < 2)
        sums(all);
    else
        parallel_tasks(2, [&](int t) { sums(t == 0 ? std::uint8_t(1) : std::uint8_t(all & ~1u)); });
    parallel_tasks(blocks, [&](int b) {
        std::size_t a, e;
        range(b, a, e);
        GroupMedians& m = part[std::size_t(b)];
        m.targets_of(med);
        for (std::size_t v = a; v < e; ++v)
            for (std::uint8_t gr = groups[v]; gr;) {
                const std::size_t k = std::size_t(std::countr_zero(gr));
                gr = std::uint8_t(gr & (gr - 1));
                m.offer(k, values[v]);
            }
    });
    for (GroupMedians& m : part) med.add_candidates(m);
    for (std::size_t k = 0; k < ng; ++k) {
        SlopeStats& s = st[k];
        if (!s.n) continue;
        s.mean = mean[k];
        s.std = s.n == 1 ? 0.0 : std::sqrt(dev[k] / double(s.n - 1));
        s.median = med.median(k);
        double l = INFINITY, h = -INFINITY;
        for (int b = 0; b < blocks; ++b) {
            l = std::min(l, lo[std::size_t(b)][k]);
            h = std::max(h, hi[std::size_t(b)][k]);
        }
        s.min = l;
        s.max = h;
    }
    return st;
}
