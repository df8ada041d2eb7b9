// A synthetic volcano for the benchmark: the same DEM on every machine, at
// any of a few sizes, so that timings of different builds are comparable.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct Volcano {
    int size = 0;         // lines = columns
    double pixel = 0;     // metres
    int slices = 0;       // about this many one-metre slices above the base line
    int base = 0;         // base-line altitude, metres
    int centre_line = 0;  // crater centre, the centre point typed in the dialogue
    int centre_col = 0;
    std::vector<std::int32_t> cm;  // elevations in centimetres, line by line
};

// The sizes the benchmark knows (256 is a quick smoke test).
bool known_size(int size);

// A gently tilted plain with a cone (summit crater, five radial gullies), a
// hill touching the cone's foot, a separate hill and a little noise.  Only
// + - * / and sqrt are used, and the noise comes from a fixed-seed
// splitmix64, so every machine builds the same integers.
Volcano make_volcano(int size);

// Writes <dir>/<name>_m4.raw (little-endian 32-bit centimetres) and its
// descriptor <dir>/<name>_m4.txt.
void write_raw32(const Volcano& v, const std::string& dir, const std::string& name);
// Writes <dir>/<name>.asc, an ESRI ASCII grid in metres with two decimals.
void write_esri(const Volcano& v, const std::string& dir, const std::string& name);
