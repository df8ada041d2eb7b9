#include "synthetic_dem.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace {

struct Shape {
    int size;
    double pixel;
    int slices;
};
// Finer pixels for the bigger grids keep the cone a few kilometres wide.
constexpr Shape shapes[] = {{256, 20, 75},  {512, 10, 150},  {1024, 5, 300},
                            {2048, 2, 500}, {4096, 1, 1000}, {8192, 1, 2000}};

std::uint64_t splitmix64(std::uint64_t& state)
{
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// Gully directions (column, line), 72 degrees apart starting at 20 degrees:
// literal values, since cos and sin may differ in the last bit between libms.
constexpr double gully_dir[5][2] = {{0.9396926207859084, 0.3420201433256687},
                                    {-0.034899496702500955, 0.9993908270190958},
                                    {-0.9612616959383189, 0.2756373558169992},
                                    {-0.5591929034707466, -0.8290375725550418},
                                    {0.6156614753256585, -0.7880107536067218}};
constexpr double diag = 0.70710678118654752;

// A smooth round hill: height at squared distance d2 from its top.
double hill(double d2, double radius, double height)
{
    const double t = d2 / (radius * radius);
    return t >= 1 ? 0 : height * (1 - t) * (1 - t);
}

struct File {
    explicit File(const std::string& path, const char* mode) : f(std::fopen(path.c_str(), mode))
    {
        if (!f) throw std::runtime_error("cannot create " + path);
    }
    ~File() { std::fclose(f); }
    std::FILE* f;
};

}  // namespace

bool known_size(int size)
{
    return std::any_of(std::begin(shapes), std::end(shapes), [&](const Shape& s) { return s.size == size; });
}

Volcano make_volcano(int size)
{
    const Shape* shape =
        std::find_if(std::begin(shapes), std::end(shapes), [&](const Shape& s) { return s.size == size; });
    if (shape == std::end(shapes)) throw std::invalid_argument("unknown benchmark size");

    Volcano v;
    v.size = size;
    v.pixel = shape->pixel;
    v.slices = shape->slices;
    const double n = size;
    // The plain rises 6 m eastward and 2 m southward across the grid, from
    // 100 m; the base line stays above all of it (noise included), so that the
    // edifice is the cone plus what touches it, not the plain.
    auto plain = [&](double i, double j) { return 100 + 6 * j / n + 2 * i / n; };
    v.base = 110;
    v.centre_line = int(0.48 * n);
    v.centre_col = int(0.52 * n);
    const double ci = v.centre_line, cj = v.centre_col;

    const double R = 0.35 * n, Rc = R / 6;
    // The cone leans a little to the north-east (up to 4% higher), so that its
    // summit is a point of the crater rim off the centre's line and column.
    const double lean = 0.04;
    const double H = (v.base + v.slices - plain(ci, cj)) / (1 + lean);  // crater rim above the plain
    const double D = H / 8;                                             // crater depth
    // One hill overlaps the cone's foot to the north-east, so the two share
    // the lowest slices; the other stands apart to the south-west.
    const double r1 = 0.12 * n, i1 = ci - diag * (R + 0.6 * r1), j1 = cj + diag * (R + 0.6 * r1);
    const double r2 = 0.08 * n, i2 = ci + diag * (R + 1.5 * r2), j2 = cj - diag * (R + 1.5 * r2);
    const double g0 = 1.5 * Rc, g1 = 0.97 * R, gully_depth = 0.08 * H;

    std::uint64_t seed = 0x7E9A2026u + std::uint64_t(size);
    v.cm.resize(std::size_t(size) * std::size_t(size));
    for (int i = 0; i < size; ++i)
        for (int j = 0; j < size; ++j) {
            const double y = i - ci, x = j - cj, r = std::sqrt(x * x + y * y);
            double cone = 0;
            if (r < Rc) {
                cone = H - D * (1 - r * r / (Rc * Rc));
            } else if (r < R) {
                const double u = (R - r) / (R - Rc);  // concave flanks
                cone = H * (0.6 + 0.4 * u) * u;
            }
            if (r > 0) cone *= 1 + lean * (x - y) * diag / r;
            if (r > g0 && r < g1) {
                const double t = (r - g0) / (g1 - g0), w = 2 + 0.04 * r;  // widen downslope
                for (const auto& d : gully_dir) {
                    const double across = std::fabs(x * d[1] - y * d[0]);
                    if (x * d[0] + y * d[1] > 0 && across < w)
                        cone -= gully_depth * 4 * t * (1 - t) * (1 - across / w * (across / w));
                }
            }
            const double rel = std::max({cone, 0.0, hill((i - i1) * (i - i1) + (j - j1) * (j - j1), r1, 0.3 * H),
                                         hill((i - i2) * (i - i2) + (j - j2) * (j - j2), r2, 0.2 * H)});
            const int noise = int(splitmix64(seed) >> 40) % 31 - 15;  // +-15 cm
            v.cm[std::size_t(i) * std::size_t(size) + std::size_t(j)] =
                std::int32_t(std::floor((plain(i, j) + rel) * 100 + 0.5)) + noise;
        }
    return v;
}

void write_raw32(const Volcano& v, const std::string& dir, const std::string& name)
{
    {
        std::vector<unsigned char> bytes(v.cm.size() * 4);
        for (std::size_t k = 0; k < v.cm.size(); ++k) {
            const auto u = std::uint32_t(v.cm[k]);
            for (int b = 0; b < 4; ++b) bytes[4 * k + std::size_t(b)] = (unsigned char)(u >> (8 * b));
        }
        File raw(dir + name + "_m4.raw", "wb");
        if (std::fwrite(bytes.data(), 1, bytes.size(), raw.f) != bytes.size())
            throw std::runtime_error("cannot write " + dir + name + "_m4.raw");
    }
    const auto [lo, hi] = std::minmax_element(v.cm.begin(), v.cm.end());
    File descr(dir + name + "_m4.txt", "w");
    std::fprintf(descr.f, "%d\n%d\n4\n%d\n%d\n%d\n", v.size, v.size, *lo, *hi, int(v.pixel));
}

void write_esri(const Volcano& v, const std::string& dir, const std::string& name)
{
    File asc(dir + name + ".asc", "w");
    std::fprintf(asc.f, "ncols %d\nnrows %d\nxllcorner 500000.000000\nyllcorner 4000000.000000\n", v.size, v.size);
    std::fprintf(asc.f, "cellsize %f\nnodata_value -9999\n", v.pixel);
    // Every elevation is positive, so metres and centimetres print apart.
    std::string line;
    char cell[24];
    for (int i = 0; i < v.size; ++i) {
        line.clear();
        for (int j = 0; j < v.size; ++j) {
            const std::int32_t c = v.cm[std::size_t(i) * std::size_t(v.size) + std::size_t(j)];
            line.append(cell,
                        std::size_t(std::snprintf(cell, sizeof cell, j ? " %d.%02d" : "%d.%02d", c / 100, c % 100)));
        }
        line += '\n';
        std::fwrite(line.data(), 1, line.size(), asc.f);
    }
    if (std::ferror(asc.f)) throw std::runtime_error("cannot write " + dir + name + ".asc");
}
