// Deterministic random reliefs for comparing the program's stages with their
// straightforward versions.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// splitmix64: the same numbers on every machine.
class Rng {
public:
    explicit Rng(std::uint64_t seed) : s_(seed) {}
    std::uint64_t next();
    int uniform(int lo, int hi);  // lo..hi inclusive
    double unit();                // [0, 1)

private:
    std::uint64_t s_;
};

struct Relief {
    int lines = 0, columns = 0;
    std::vector<int> z;  // line by line
    int base = 0;
    int centre_i = 0, centre_j = 0;
    int at(int i, int j) const { return z[std::size_t(i) * columns + j]; }
};

// One of several kinds of relief, chosen by the seed: cones with a crater and
// gullies, several summits, flat tops, noisy hills touching the grid border,
// scattered single cells; the centre is put on the edifice most of the time.
Relief random_relief(std::uint64_t seed, int max_side = 40);

// An edifice with two summits joined by a saddle, and a separate hill on one
// side: the centre calculated from the basal slice (which holds the hill)
// lies off the middle of the edifice, and the one recalculated from the
// edifice alone moves, often into another zone of the upper slices.
Relief two_summits_and_a_hill(std::uint64_t seed);

// A large cone (some 300 cells across, tens of metres high) with a crater,
// gullies, a neighbouring hill and noise: enough slices and cells for the
// stages to share their work between threads.
Relief large_cone(std::uint64_t seed);
