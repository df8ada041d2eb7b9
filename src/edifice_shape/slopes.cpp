#include "slopes.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>

#include "parallel.hpp"

double slope_deg(const ClippedField& f, int i, int j, SlopeMethod method)
{
    const double z0 = f.at(i, j);
    if (method == SlopeMethod::d8) {
        const double diag = f.d * std::sqrt(2.0);
        double g = 0;
        for (int a = -1; a <= 1; ++a)
            for (int b = -1; b <= 1; ++b) {
                if ((a == 0 && b == 0) || !f.in(i + a, j + b)) continue;
                const double s = (z0 - f.at(i + a, j + b)) / (a != 0 && b != 0 ? diag : f.d);
                if (s > g) g = s;
            }
        return std::atan(g) * (180 / std::numbers::pi);
    }
    // z1 .. z9 by lines, z5 the centre.
    double w[9];
    for (int a = -1, k = 0; a <= 1; ++a)
        for (int b = -1; b <= 1; ++b, ++k) w[k] = f.in(i + a, j + b) ? f.at(i + a, j + b) : z0;
    const double z1 = w[0], z2 = w[1], z3 = w[2], z4 = w[3], z6 = w[5], z7 = w[6], z8 = w[7], z9 = w[8];
    const double dx = ((z3 + 2 * z6 + z9) - (z1 + 2 * z4 + z7)) / (8 * f.d);
    const double dy = ((z7 + 2 * z8 + z9) - (z1 + 2 * z2 + z3)) / (8 * f.d);
    return std::atan(std::sqrt(dx * dx + dy * dy)) * (180 / std::numbers::pi);
}

std::vector<double> slopes_of_cells(const ClippedField& f, int i0, int i1, int j0, int j1,
                                    const std::vector<std::size_t>& first, SlopeMethod method)
{
    std::vector<double> s(first.back());
    parallel_rows(i0, i1 + 1, std::size_t(j1 - j0 + 1), [&](int a, int b) {
        for (int i = a; i < b; ++i) {
            std::size_t k = first[std::size_t(i - i0)];
            const std::uint8_t* m = (*f.mask)[i];
            for (int j = j0; j <= j1; ++j)
                if (m[j] == 1) s[k++] = slope_deg(f, i, j, method);
        }
    });
    return s;
}

std::vector<std::optional<double>> grouped_medians(const std::vector<double>& values,
                                                   const std::vector<std::uint8_t>& groups, int n_groups)
{
    // Radix selection on the bit patterns, 16 bits at a time from the top:
    // exact, and no copy of the values.
    std::vector<std::size_t> count(static_cast<std::size_t>(n_groups), 0);
    for (std::uint8_t g : groups)
        for (int k = 0; k < n_groups; ++k) count[std::size_t(k)] += (g >> k) & 1;
    struct Target {
        int group;
        std::size_t rank;  // among the values that share the prefix
        std::uint64_t prefix = 0;
    };
    std::vector<Target> targets;
    for (int k = 0; k < n_groups; ++k) {
        const std::size_t n = count[std::size_t(k)];
        if (n == 0) continue;
        targets.push_back({k, (n - 1) / 2});
        if (n % 2 == 0) targets.push_back({k, n / 2});
    }
    std::vector<std::uint32_t> hist(targets.size() * 65536);
    for (int round = 0; round < 4; ++round) {
        const int shift = 48 - 16 * round;
        std::fill(hist.begin(), hist.end(), 0);
        for (std::size_t v = 0; v < values.size(); ++v) {
            const std::uint8_t g = groups[v];
            if (!g) continue;
            const std::uint64_t key = values[v] == 0 ? 0 : std::bit_cast<std::uint64_t>(values[v]);
            for (std::size_t t = 0; t < targets.size(); ++t) {
                const Target& T = targets[t];
                if (!((g >> T.group) & 1)) continue;
                if (round > 0 && (key >> (shift + 16)) != T.prefix) continue;
                ++hist[t * 65536 + ((key >> shift) & 0xFFFF)];
            }
        }
        for (std::size_t t = 0; t < targets.size(); ++t) {
            Target& T = targets[t];
            std::size_t below = 0;
            std::uint64_t digit = 0;
            for (; digit < 65536; ++digit) {
                const std::uint32_t c = hist[t * 65536 + digit];
                if (below + c > T.rank) break;
                below += c;
            }
            T.rank -= below;
            T.prefix = (T.prefix << 16) | digit;
        }
    }
    std::vector<std::optional<double>> med(static_cast<std::size_t>(n_groups));
    for (std::size_t t = 0; t < targets.size(); ++t) {
        const Target& T = targets[t];
        const double v = std::bit_cast<double>(T.prefix);
        const bool pair = t + 1 < targets.size() && targets[t + 1].group == T.group;
        if (pair) {
            med[std::size_t(T.group)] = (v + std::bit_cast<double>(targets[t + 1].prefix)) / 2;
            ++t;
        } else {
            med[std::size_t(T.group)] = v;
        }
    }
    return med;
}

std::vector<SlopeStats> grouped_stats(const std::vector<double>& values, const std::vector<std::uint8_t>& groups,
                                      int n_groups)
{
    std::vector<SlopeStats> st(static_cast<std::size_t>(n_groups));
    std::vector<double> sum(static_cast<std::size_t>(n_groups), 0), lo(static_cast<std::size_t>(n_groups), 0), hi(static_cast<std::size_t>(n_groups), 0);
    for (std::size_t v = 0; v < values.size(); ++v)
        for (int k = 0; k < n_groups; ++k)
            if ((groups[v] >> k) & 1) {
                SlopeStats& s = st[std::size_t(k)];
                const double x = values[v];
                if (s.n == 0 || x < lo[std::size_t(k)]) lo[std::size_t(k)] = x;
                if (s.n == 0 || x > hi[std::size_t(k)]) hi[std::size_t(k)] = x;
                sum[std::size_t(k)] += x;
                ++s.n;
            }
    std::vector<double> mean(static_cast<std::size_t>(n_groups), 0), dev(static_cast<std::size_t>(n_groups), 0);
    for (int k = 0; k < n_groups; ++k)
        if (st[std::size_t(k)].n) mean[std::size_t(k)] = sum[std::size_t(k)] / double(st[std::size_t(k)].n);
    for (std::size_t v = 0; v < values.size(); ++v)
        for (int k = 0; k < n_groups; ++k)
            if ((groups[v] >> k) & 1) {
                const double e = values[v] - mean[std::size_t(k)];
                dev[std::size_t(k)] += e * e;
            }
    const std::vector<std::optional<double>> med = grouped_medians(values, groups, n_groups);
    for (int k = 0; k < n_groups; ++k) {
        SlopeStats& s = st[std::size_t(k)];
        if (!s.n) continue;
        s.mean = mean[std::size_t(k)];
        s.std = s.n == 1 ? 0.0 : std::sqrt(dev[std::size_t(k)] / double(s.n - 1));
        s.median = med[std::size_t(k)];
        s.min = lo[std::size_t(k)];
        s.max = hi[std::size_t(k)];
    }
    return st;
}
