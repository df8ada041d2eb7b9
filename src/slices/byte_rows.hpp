// Scans of a line of an 8-bit grid, eight cells at a time.
#pragma once

#include <cstdint>
#include <cstring>

namespace byte_rows {

inline std::uint64_t load8(const std::uint8_t* p)
{
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    return w;
}

// First index in [from, to] whose cell is not zero, or to + 1.
inline int find_nonzero(const std::uint8_t* row, int from, int to)
{
    int j = from;
    for (; j + 7 <= to; j += 8) {
        const std::uint64_t w = load8(row + j);
        if (w) return j + __builtin_ctzll(w) / 8;  // little-endian byte order
    }
    for (; j <= to; ++j)
        if (row[j]) return j;
    return to + 1;
}

// Last index in [down_to, from] whose cell is not zero, or down_to - 1.
inline int find_nonzero_back(const std::uint8_t* row, int from, int down_to)
{
    int j = from;
    for (; j - 7 >= down_to; j -= 8) {
        const std::uint64_t w = load8(row + j - 7);
        if (w) return j - 7 + (63 - __builtin_clzll(w)) / 8;
    }
    for (; j >= down_to; --j)
        if (row[j]) return j;
    return down_to - 1;
}

// First index in [from, to] whose cell is zero, or to + 1.
inline int find_zero(const std::uint8_t* row, int from, int to)
{
    constexpr std::uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
    int j = from;
    for (; j + 7 <= to; j += 8) {
        const std::uint64_t w = load8(row + j);
        const std::uint64_t zero = (w - ones) & ~w & highs;  // exact for the lowest zero byte
        if (zero) return j + __builtin_ctzll(zero) / 8;
    }
    for (; j <= to; ++j)
        if (!row[j]) return j;
    return to + 1;
}

}  // namespace byte_rows
