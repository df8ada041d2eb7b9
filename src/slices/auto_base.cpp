#include "auto_base.hpp"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "workspace.hpp"

namespace {

// The highest level at which R is not closed, among the levels seen so far,
// and what happens there.
struct Limits {
    std::int64_t level = INT64_MIN;
    bool edge = false, nodata = false, col = false;
    std::size_t col_cell = SIZE_MAX;  // first in scan order

    void add(std::int64_t at, BaseLimit kind, std::size_t cell = 0)
    {
        if (at < level) return;
        if (at > level) {
            level = at;
            edge = nodata = col = false;
            col_cell = SIZE_MAX;
        }
        if (kind == BaseLimit::edge) edge = true;
        if (kind == BaseLimit::nodata) nodata = true;
        if (kind == BaseLimit::col) {
            col = true;
            col_cell = std::min(col_cell, cell);
        }
    }
    BaseLimit kind() const
    {
        return edge ? BaseLimit::edge : nodata ? BaseLimit::nodata : col ? BaseLimit::col : BaseLimit::none;
    }
};

// An altitude as an unsigned key of the same order.
std::uint32_t key_of(std::int32_t z) { return std::uint32_t(z) ^ 0x80000000u; }
std::int32_t altitude_of(std::uint32_t key) { return std::int32_t(key ^ 0x80000000u); }

// Heap entries: the altitude at which a cell was reached and its number, one
// 64-bit word while cell numbers fit 32 bits.
struct Narrow {
    using Cell = std::uint32_t;
    using Entry = std::uint64_t;
    static Entry make(std::int32_t z, Cell c) { return std::uint64_t(key_of(z)) << 32 | c; }
    static std::int32_t altitude(Entry e) { return altitude_of(std::uint32_t(e >> 32)); }
    static Cell cell(Entry e) { return Cell(e); }
};
struct Wide {
    using Cell = std::uint64_t;
    struct Entry {
        std::uint32_t key;
        std::uint64_t cell;
        bool operator<(const Entry& o) const { return key < o.key; }
    };
    static Entry make(std::int32_t z, Cell c) { return {key_of(z), c}; }
    static std::int32_t altitude(const Entry& e) { return altitude_of(e.key); }
    static Cell cell(const Entry& e) { return e.cell; }
};

// The cells come out highest reach first: a cell's reach, the highest level b
// at which it belongs to R(b), is the lower of its altitude and its best
// neighbour's reach, and its first neighbour to come out is its best, so each
// cell is queued once with its reach.  Cells reached at the level being
// drained (at or above it) go on a stack, lower ones on a heap.  Once the
// next reach is below the highest level found not closed, every cell of R at
// that level has come out and nothing later can raise it.
template <class Pack>
AutoBase search(const nrutil::IGrid& itab, const nrutil::UcGrid* nodata, int i_p, int j_p)
{
    using Cell = typename Pack::Cell;
    const int nl = itab.lines(), nc = itab.columns();
    const std::size_t ncs = std::size_t(nc);
    const std::int32_t* z = itab.data();
    const std::uint8_t* nd = nodata ? nodata->data() : nullptr;
    nrutil::UcGrid queued;
    allocate_grid(queued, "of the automatic base line", nc, nl);
    std::uint8_t* seen = queued.data();

    const Cell p = Cell(std::size_t(i_p) * ncs + std::size_t(j_p));
    const std::int32_t a = z[p];
    std::int32_t top = a;
    Cell top_cell = p;
    Limits limits;
    std::vector<Cell> level_cells{p};
    std::vector<typename Pack::Entry> lower;
    seen[p] = 1;
    std::int32_t level = a;
    for (;;) {
        Cell c;
        if (!level_cells.empty()) {
            c = level_cells.back();
            level_cells.pop_back();
        } else if (!lower.empty() && Pack::altitude(lower.front()) >= limits.level) {
            level = Pack::altitude(lower.front());
            c = Pack::cell(lower.front());
            std::pop_heap(lower.begin(), lower.end());
            lower.pop_back();
        } else {
            break;
        }
        if (level == a) {  // R(a): the centre's own relief
            if (z[c] > top || (z[c] == top && c > top_cell)) {
                top = z[c];
                top_cell = c;
            }
        } else if (z[c] > top) {
            limits.add(level, BaseLimit::col, c);
        }
        const int i = int(c / ncs), j = int(c % ncs);
        if (i == 0 || j == 0 || i == nl - 1 || j == nc - 1) limits.add(level, BaseLimit::edge);
        const bool joins = i >= 1 && j >= 1;
        for (int ni = std::max(i - 1, 0); ni <= std::min(i + 1, nl - 1); ++ni)
            for (int nj = std::max(j - 1, 0); nj <= std::min(j + 1, nc - 1); ++nj) {
                const Cell n = Cell(std::size_t(ni) * ncs + std::size_t(nj));
                if (n == c) continue;
                if (nd && nd[n]) {
                    limits.add(level, BaseLimit::nodata);
                } else if (ni == 0 || nj == 0) {
                    // Never joined, but counted on the border while at or
                    // above the base.
                    limits.add(std::min(z[n], level), BaseLimit::edge);
                } else if (joins && !seen[n]) {
                    seen[n] = 1;
                    if (z[n] >= level) {
                        level_cells.push_back(n);
                    } else {
                        lower.push_back(Pack::make(z[n], n));
                        std::push_heap(lower.begin(), lower.end());
                    }
                }
            }
    }

    AutoBase r;
    r.top = top;
    r.top_line = int(top_cell / ncs);
    r.top_column = int(top_cell % ncs);
    r.limit = limits.kind();
    if (r.limit == BaseLimit::none) {  // cannot happen: see the header
        r.status = AutoBaseStatus::ok;
        r.base = level;
        return r;
    }
    r.limit_m = int(limits.level);
    if (limits.col && r.limit == BaseLimit::col) {
        r.col_line = int(limits.col_cell / ncs);
        r.col_column = int(limits.col_cell % ncs);
    }
    if (limits.level >= a) {
        r.status = AutoBaseStatus::centre_open;
    } else {
        r.status = AutoBaseStatus::ok;
        r.base = int(limits.level + 1);
    }
    return r;
}

}  // namespace

const char* base_limit_name(BaseLimit limit)
{
    switch (limit) {
    case BaseLimit::edge: return "edge";
    case BaseLimit::nodata: return "nodata";
    case BaseLimit::col: return "col";
    case BaseLimit::none: break;
    }
    return "";
}

namespace {

template <class Pack>
AutoBase checked_search(const nrutil::IGrid& itab, const nrutil::UcGrid* nodata, int i_p, int j_p)
{
    AutoBase r;
    if (i_p < 0 || j_p < 0 || i_p >= itab.lines() || j_p >= itab.columns()) return r;
    if (nodata && (*nodata)[i_p][j_p]) {
        r.status = AutoBaseStatus::centre_without_data;
        return r;
    }
    return search<Pack>(itab, nodata, i_p, j_p);
}

}  // namespace

AutoBase auto_base(const nrutil::IGrid& itab, const nrutil::UcGrid* nodata, int i_p, int j_p)
{
    return itab.size() <= std::size_t(UINT32_MAX) ? checked_search<Narrow>(itab, nodata, i_p, j_p)
                                                  : checked_search<Wide>(itab, nodata, i_p, j_p);
}

AutoBase auto_base_wide(const nrutil::IGrid& itab, const nrutil::UcGrid* nodata, int i_p, int j_p)
{
    return checked_search<Wide>(itab, nodata, i_p, j_p);
}
