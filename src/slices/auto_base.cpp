#include "auto_base.hpp"

#include <algorithm>
#include <bit>
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

// The queue's key of a reach: the highest reach is the smallest key.
std::uint32_t key_of(std::int32_t z) { return ~(std::uint32_t(z) ^ 0x80000000u); }
std::int32_t altitude_of(std::uint32_t key) { return std::int32_t(~key ^ 0x80000000u); }

// Queue entries: a key and a cell number, one 64-bit word while cell numbers
// fit 32 bits.
struct Narrow {
    using Cell = std::uint32_t;
    using Entry = std::uint64_t;
    static Entry make(std::uint32_t key, Cell c) { return std::uint64_t(key) << 32 | c; }
    static std::uint32_t key(Entry e) { return std::uint32_t(e >> 32); }
    static Cell cell(Entry e) { return Cell(e); }
};
struct Wide {
    using Cell = std::uint64_t;
    struct Entry {
        std::uint32_t key;
        std::uint64_t cell;
    };
    static Entry make(std::uint32_t key, Cell c) { return {key, c}; }
    static std::uint32_t key(const Entry& e) { return e.key; }
    static Cell cell(const Entry& e) { return e.cell; }
};

// A radix heap: the keys come out smallest first and none pushed is below
// the last one out, as the reaches here never rise.  Bucket 0 holds the
// entries whose key is the last one out, bucket k those whose highest bit
// differing from it is bit k - 1; refilling bucket 0 empties the first
// bucket that holds any into lower ones, so an entry moves at most 32 times.
// On a DEM the keys queued at once span a few metres: a few moves each, and
// no comparisons between entries.
template <class Pack>
class RadixQueue {
public:
    using Cell = typename Pack::Cell;
    void push(std::uint32_t key, Cell c) { buckets_[slot(key)].push_back(Pack::make(key, c)); }
    // False when the queue is empty, else the key of the next cell out.
    bool next(std::uint32_t& key)
    {
        if (buckets_[0].empty()) {
            int k = 1;
            while (k <= 32 && buckets_[k].empty()) ++k;
            if (k > 32) return false;
            std::vector<typename Pack::Entry>& from = buckets_[k];
            std::uint32_t least = UINT32_MAX;
            for (const auto& e : from) least = std::min(least, Pack::key(e));
            last_ = least;
            for (const auto& e : from) buckets_[slot(Pack::key(e))].push_back(e);
            from.clear();
        }
        key = last_;
        return true;
    }
    // The next cell out; next() said there is one.
    Cell pop()
    {
        const Cell c = Pack::cell(buckets_[0].back());
        buckets_[0].pop_back();
        return c;
    }

    // The cell that will come out `d` pops from now, if it is known yet (else
    // the next one).
    Cell ahead(std::size_t d) const
    {
        const auto& b = buckets_[0];
        return Pack::cell(b[b.size() > d ? b.size() - 1 - d : b.size() - 1]);
    }

private:
    int slot(std::uint32_t key) const { return std::bit_width(key ^ last_); }
    std::uint32_t last_ = 0;
    std::vector<typename Pack::Entry> buckets_[33];
};

// The cells come out highest reach first: a cell's reach, the highest level b
// at which it belongs to R(b), is the lower of its altitude and its best
// neighbour's reach, and its first neighbour to come out is its best, so each
// cell is queued once with its reach.  Once the next reach is below the
// highest level found not closed, every cell of R at that level has come out
// and nothing later can raise it.
template <class Pack>
AutoBase search(const nrutil::IGrid& itab, const nrutil::UcGrid* nodata, int i_p, int j_p)
{
    using Cell = typename Pack::Cell;
    const int nl = itab.lines(), nc = itab.columns();
    const Cell ncs = Cell(nc);
    const std::int32_t* z = itab.data();
    const std::uint8_t* nd = nodata ? nodata->data() : nullptr;
    nrutil::UcGrid marks;
    allocate_grid(marks, "of the automatic base line", nc, nl);
    std::uint8_t* seen = marks.data();
    // Cells of lines 0, 1 and the last, columns 0, 1 and the last: each needs
    // its line and column; any other is off the border and all its
    // neighbours join it.
    constexpr std::uint8_t queued = 1, near_border = 2;
    for (int i = 0; i < nl; ++i) {
        if (i <= 1 || i == nl - 1) {
            std::fill(seen + std::size_t(i) * ncs, seen + std::size_t(i + 1) * ncs, near_border);
        } else {
            for (int j : {0, 1, nc - 1})
                if (j >= 0 && j < nc) seen[std::size_t(i) * ncs + std::size_t(j)] = near_border;
        }
    }
    const std::ptrdiff_t w = std::ptrdiff_t(nc);
    const std::ptrdiff_t around[8] = {-w - 1, -w, -w + 1, -1, 1, w - 1, w, w + 1};

    const Cell p = Cell(i_p) * ncs + Cell(j_p);
    const std::int32_t a = z[p];
    std::int32_t top = a;
    Cell top_cell = p;
    Limits limits;
    RadixQueue<Pack> queue;
    queue.push(key_of(a), p);
    seen[p] |= queued;
    std::int32_t level = a;
    std::int64_t second = INT64_MIN;  // the reach of the second cell out: R(b) holds more than P for b <= it
    std::size_t out = 0;
    for (std::uint32_t key; queue.next(key) && altitude_of(key) >= limits.level;) {
        level = altitude_of(key);
        if (++out == 2) second = level;
        {
            // Its neighbourhood is far from the last cell's as often as not:
            // fetch a later cell's ahead of time.
            const Cell f = queue.ahead(8);
            __builtin_prefetch(z + f - std::min<Cell>(f, ncs));
            __builtin_prefetch(z + f);
            __builtin_prefetch(z + std::min<Cell>(f + ncs, Cell(itab.size() - 1)));
            __builtin_prefetch(seen + f);
        }
        const Cell c = queue.pop();
        if (level == a) {  // R(a): the centre's own relief
            if (z[c] > top || (z[c] == top && c > top_cell)) {
                top = z[c];
                top_cell = c;
            }
        } else if (z[c] > top) {
            limits.add(level, BaseLimit::col, c);
        }
        if (!(seen[c] & near_border)) {  // all eight neighbours may join it
            for (const std::ptrdiff_t d : around) {
                const Cell n = Cell(std::ptrdiff_t(c) + d);
                if (nd && nd[n]) {
                    limits.add(level, BaseLimit::nodata);
                } else if (!(seen[n] & queued)) {
                    seen[n] |= queued;
                    queue.push(key_of(std::min(z[n], level)), n);
                }
            }
            continue;
        }
        const int i = int(c / ncs), j = int(c % ncs);
        if (i == 0 || j == 0 || i == nl - 1 || j == nc - 1) limits.add(level, BaseLimit::edge);
        const bool joins = i >= 1 && j >= 1;
        for (int ni = std::max(i - 1, 0); ni <= std::min(i + 1, nl - 1); ++ni)
            for (int nj = std::max(j - 1, 0); nj <= std::min(j + 1, nc - 1); ++nj) {
                const Cell n = Cell(ni) * ncs + Cell(nj);
                if (n == c) continue;
                if (nd && nd[n]) {
                    limits.add(level, BaseLimit::nodata);
                } else if (ni == 0 || nj == 0) {
                    // Never joined, but counted on the border while at or
                    // above the base.
                    limits.add(std::min(z[n], level), BaseLimit::edge);
                } else if (joins && !(seen[n] & queued)) {
                    seen[n] |= queued;
                    queue.push(key_of(std::min(z[n], level)), n);
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
        // A lone cell is no item: the zone at B must hold another cell.
        if (!(second > limits.level)) r.status = AutoBaseStatus::centre_alone;
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
