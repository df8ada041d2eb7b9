#include "random_relief.hpp"

#include <algorithm>
#include <cmath>

std::uint64_t Rng::next()
{
    std::uint64_t z = (s_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

int Rng::uniform(int lo, int hi) { return lo + int(next() % std::uint64_t(hi - lo + 1)); }

double Rng::unit() { return double(next() >> 11) * (1.0 / 9007199254740992.0); }

Relief random_relief(std::uint64_t seed, int max_side)
{
    Rng rng(seed);
    Relief r;
    r.lines = rng.uniform(3, max_side);
    r.columns = rng.uniform(3, max_side);
    r.z.assign(std::size_t(r.lines) * r.columns, 0);
    const int kind = int(seed % 5);
    const int plain = rng.uniform(50, 120);
    const int cones = kind == 1 ? rng.uniform(2, 4) : 1;
    struct Cone {
        double ci, cj, radius, height, crater;
    };
    std::vector<Cone> list;
    for (int c = 0; c < cones; ++c)
        list.push_back({rng.unit() * r.lines, rng.unit() * r.columns, 2 + rng.unit() * std::max(r.lines, r.columns) * 0.6,
                        double(rng.uniform(3, 40)), kind == 0 || rng.unit() < 0.3 ? rng.unit() * 0.4 : 0.0});
    const int noise = kind == 3 ? 6 : rng.uniform(0, 2);
    const int flat = kind == 2 ? rng.uniform(plain + 2, plain + 20) : 1 << 30;
    for (int i = 0; i < r.lines; ++i)
        for (int j = 0; j < r.columns; ++j) {
            double h = plain;
            for (const Cone& c : list) {
                const double d = std::hypot(i - c.ci, j - c.cj) / c.radius;
                if (d >= 1) continue;
                double cone = c.height * (1 - d);
                if (d < c.crater) cone -= c.height * 0.5 * (c.crater - d) / std::max(c.crater, 1e-9);
                h = std::max(h, plain + cone);
            }
            int v = int(h) + (noise ? rng.uniform(-noise, noise) : 0);
            if (kind == 4 && rng.unit() < 0.08) v += rng.uniform(5, 30);  // scattered spikes
            r.z[std::size_t(i) * r.columns + j] = std::min(v, flat);
        }
    r.base = plain + rng.uniform(-2, 4);
    if (rng.unit() < 0.05) r.base = *std::max_element(r.z.begin(), r.z.end()) + rng.uniform(-1, 3);  // nothing or one level above
    // The centre: most often the crater or summit of the first cone, sometimes
    // anywhere (the border lines included).
    if (rng.unit() < 0.8) {
        r.centre_i = std::clamp(int(list[0].ci), 0, r.lines - 1);
        r.centre_j = std::clamp(int(list[0].cj), 0, r.columns - 1);
    } else {
        r.centre_i = rng.uniform(0, r.lines - 1);
        r.centre_j = rng.uniform(0, r.columns - 1);
    }
    return r;
}

Relief two_summits_and_a_hill(std::uint64_t seed)
{
    Rng rng(seed);
    Relief r;
    r.lines = rng.uniform(20, 34);
    r.columns = rng.uniform(34, 48);
    r.z.assign(std::size_t(r.lines) * r.columns, 0);
    const double ci = r.lines * (0.35 + 0.3 * rng.unit());
    const double ja = r.columns * (0.15 + 0.1 * rng.unit()), jb = r.columns * (0.45 + 0.15 * rng.unit());
    const double ha = rng.uniform(12, 30), hb = rng.uniform(12, 30), saddle = rng.uniform(3, 9);
    const double ra = 3 + rng.unit() * 4, rb = 3 + rng.unit() * 4;
    const double hill_i = r.lines * (0.2 + 0.6 * rng.unit()), hill_j = r.columns * (0.85 + 0.1 * rng.unit());
    const double hill_r = 2 + rng.unit() * 3, hill_h = rng.uniform(4, 12);
    const int noise = rng.uniform(0, 1);
    for (int i = 0; i < r.lines; ++i)
        for (int j = 0; j < r.columns; ++j) {
            double h = 100;
            // The ridge between the summits, then the two summits on it.
            const double along = std::clamp((j - ja) / (jb - ja), 0.0, 1.0);
            const double dr = std::hypot(i - ci, j - (ja + along * (jb - ja)));
            h = std::max(h, 100 + saddle * (1 - dr / 4));
            h = std::max(h, 100 + ha * (1 - std::hypot(i - ci, j - ja) / (ra + 3)));
            h = std::max(h, 100 + hb * (1 - std::hypot(i - ci, j - jb) / (rb + 3)));
            h = std::max(h, 100 + hill_h * (1 - std::hypot(i - hill_i, j - hill_j) / hill_r));
            r.z[std::size_t(i) * r.columns + j] = int(h) + (noise ? rng.uniform(-1, 1) : 0);
        }
    r.base = 101;
    r.centre_i = int(ci);
    r.centre_j = int(ja);
    return r;
}

Relief large_cone(std::uint64_t seed)
{
    Rng rng(seed);
    Relief r;
    r.lines = rng.uniform(260, 320);
    r.columns = rng.uniform(260, 320);
    r.z.assign(std::size_t(r.lines) * r.columns, 0);
    const double ci = r.lines * (0.4 + 0.2 * rng.unit()), cj = r.columns * (0.4 + 0.2 * rng.unit());
    const double radius = 100 + 30 * rng.unit(), height = 40 + 30 * rng.unit(), crater = radius / 6;
    const double hi = r.lines * 0.15, hj = r.columns * 0.85;  // a neighbouring hill
    for (int i = 0; i < r.lines; ++i)
        for (int j = 0; j < r.columns; ++j) {
            const double d = std::hypot(i - ci, j - cj);
            double h = 100 + 0.02 * j;
            if (d < radius) {
                const double a = std::atan2(i - ci, j - cj);
                h += height * (1 - d / radius) * (1 - 0.15 * std::pow(std::fabs(std::sin(2.5 * a)), 8));
                if (d < crater) h -= height / 8 * (1 - d / crater);
            }
            h = std::max(h, 100 + 0.4 * height * (1 - std::hypot(i - hi, j - hj) / (0.12 * r.lines)));
            r.z[std::size_t(i) * r.columns + j] = int(h) + rng.uniform(-1, 1);
        }
    r.base = 103;
    r.centre_i = int(ci);
    r.centre_j = int(cj);
    return r;
}
