#include "sink_fill.hpp"

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <bit>
#include <cmath>
#include <queue>

#include "parallel.hpp"
#include "workspace.hpp"

WindowGrid copy_window(const nrutil::DGrid& z, int i0, int i1, int j0, int j1)
{
    WindowGrid w;
    w.i0 = i0;
    w.j0 = j0;
    allocate_grid(w.z, "the filled elevations of the edifice", j1 - j0 + 1, i1 - i0 + 1);
    parallel_rows(i0, i1 + 1, std::size_t(j1 - j0 + 1), [&](int a, int b) {
        for (int i = a; i < b; ++i) std::copy(z[i] + j0, z[i] + j1 + 1, w.z[i - i0]);
    });
    return w;
}

WindowGrid fill_sinks_plain(const nrutil::DGrid& z, const nrutil::UcGrid& nodata, const std::vector<std::size_t>& sinks,
                            int i0, int i1, int j0, int j1)
{
    WindowGrid w = copy_window(z, i0, i1, j0, j1);
    const int nl = z.lines(), nc = z.columns();
    const std::size_t n = z.size();
    const double* zz = z.data();
    const bool any_nodata = bool(nodata) && nodata.size() == n;
    auto valid = [&](std::size_t c) { return !any_nodata || nodata.data()[c] == 0; };

    // The cells are closed as they are reached; the level of a closed cell
    // travels with it in the queues.
    std::vector<std::uint8_t> closed(n, 0);
    struct Entry {
        double level;
        std::uint32_t i, j;
        bool operator>(const Entry& o) const
        {
            return level > o.level || (level == o.level && (i > o.i || (i == o.i && j > o.j)));
        }
    };
    std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> open;
    std::vector<Entry> pit;  // cells at the level of the cell that reached them
    std::size_t pit_head = 0;
    auto set = [&](int i, int j, double level) {
        if (i >= i0 && i <= i1 && j >= j0 && j <= j1) w.z[i - i0][j - j0] = level;
    };

    for (int i = 0; i < nl; ++i)
        for (int j = 0; j < nc; ++j) {
            const std::size_t c = std::size_t(i) * nc + j;
            if (!valid(c)) continue;
            bool outlet = i == 0 || j == 0 || i == nl - 1 || j == nc - 1;
            if (!outlet && any_nodata)
                for (int a = i - 1; a <= i + 1 && !outlet; ++a)
                    for (int b = j - 1; b <= j + 1; ++b)
                        if (!valid(std::size_t(a) * nc + b)) {
                            outlet = true;
                            break;
                        }
            if (outlet) {
                closed[c] = 1;
                open.push({zz[c], std::uint32_t(i), std::uint32_t(j)});
            }
        }
    for (std::size_t c : sinks)
        if (c < n && valid(c) && !closed[c]) {
            closed[c] = 1;
            open.push({zz[c], std::uint32_t(c / nc), std::uint32_t(c % nc)});
        }

    while (!open.empty() || pit_head < pit.size()) {
        Entry e;
        if (pit_head < pit.size()) {
            e = pit[pit_head++];
            if (pit_head == pit.size()) {
                pit.clear();
                pit_head = 0;
            }
        } else {
            e = open.top();
            open.pop();
        }
        const int i = int(e.i), j = int(e.j);
        for (int a = std::max(i - 1, 0); a <= std::min(i + 1, nl - 1); ++a)
            for (int b = std::max(j - 1, 0); b <= std::min(j + 1, nc - 1); ++b) {
                const std::size_t c = std::size_t(a) * nc + b;
                if (closed[c] || !valid(c)) continue;
                closed[c] = 1;
                if (zz[c] <= e.level) {
                    set(a, b, e.level);
                    pit.push_back({e.level, std::uint32_t(a), std::uint32_t(b)});
                } else {
                    open.push({zz[c], std::uint32_t(a), std::uint32_t(b)});
                }
            }
    }
    return w;
}

namespace {

// Barnes 2016 (Computers & Geosciences, "Parallel priority-flood depression
// filling for trillion cell digital elevation models"), on one machine: the
// grid is cut into tiles that fit in the cache.  Each tile is flooded alone
// from its own edge cells (each the seed of its watershed, a label) and from
// the real outlets inside it (the label `ocean`), giving every cell F_t, the
// least highest level on a path inside the tile to a seed, and the seed it
// reaches.  Watersheds that touch (inside a tile, or across a tile's edge)
// spill into each other at the higher of their two cells' F_t; the least
// highest spill on the way to the ocean gives each seed its true level W.
// Then F = max(F_t, W(seed)): a cell drains inside its tile to its seed and
// from there as the seed does, or no better.  Exact, and the same whatever
// the tiles (the tests compare it with the plain flood on tiny ones).
struct Edge {
    std::uint32_t a, b;
    double w;
};

// Sorts cells by their elevation (ties in any order): as many buckets of
// equal width over the range as cells, then each bucket sorted (they hold a
// cell or two).
void sort_by_elevation(std::vector<std::uint32_t>& cells, const std::vector<double>& z,
                       std::vector<std::uint32_t>& start, std::vector<std::uint32_t>& out)
{
    const std::size_t n = cells.size();
    if (n < 2) return;
    double lo = z[cells[0]], hi = lo;
    for (std::uint32_t c : cells) {
        lo = std::min(lo, z[c]);
        hi = std::max(hi, z[c]);
    }
    if (!(hi > lo)) return;
    const double scale = double(n - 1) / (hi - lo);
    auto bucket = [&](std::uint32_t c) { return std::min(std::size_t((z[c] - lo) * scale), n - 1); };
    start.assign(n + 1, 0);
    out.resize(n);
    for (std::uint32_t c : cells) ++start[bucket(c) + 1];
    for (std::size_t k = 0; k < n; ++k) start[k + 1] += start[k];
    // The buckets' starts, moved on as they fill, then moved back.
    for (std::uint32_t c : cells) out[start[bucket(c)]++] = c;
    for (std::size_t k = n; k > 0; --k) start[k] = start[k - 1];
    start[0] = 0;
    auto less = [&](std::uint32_t x, std::uint32_t y) { return z[x] < z[y]; };
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t a = start[k], b = start[k + 1];
        if (b - a < 2) continue;
        if (b - a > 16) {
            std::sort(out.begin() + std::ptrdiff_t(a), out.begin() + std::ptrdiff_t(b), less);
            continue;
        }
        for (std::size_t i = a + 1; i < b; ++i) {
            const std::uint32_t v = out[i];
            std::size_t j = i;
            for (; j > a && less(v, out[j - 1]); --j) out[j] = out[j - 1];
            out[j] = v;
        }
    }
    cells.swap(out);
}

// The least spill of each pair of a tile's labels (open addressing).
class SpillTable {
public:
    SpillTable() : keys_(1024, empty), w_(1024) {}
    void add(std::uint16_t a, std::uint16_t b, double w)
    {
        const std::uint32_t key = std::uint32_t(a) << 16 | b;
        if (key == last_key_) {
            if (w < w_[last_slot_]) w_[last_slot_] = w;
            return;
        }
        if (2 * (used_ + 1) > keys_.size()) grow();
        std::size_t s = slot(key);
        if (keys_[s] == empty) {
            keys_[s] = key;
            w_[s] = w;
            ++used_;
        } else if (w < w_[s]) {
            w_[s] = w;
        }
        last_key_ = key;
        last_slot_ = s;
    }
    template <class F>
    void each(F f) const
    {
        // In key order, so that the edges come out the same on every run.
        std::vector<std::size_t> order;
        for (std::size_t s = 0; s < keys_.size(); ++s)
            if (keys_[s] != empty) order.push_back(s);
        std::sort(order.begin(), order.end(), [&](std::size_t x, std::size_t y) { return keys_[x] < keys_[y]; });
        for (std::size_t s : order) f(std::uint16_t(keys_[s] >> 16), std::uint16_t(keys_[s] & 0xFFFF), w_[s]);
    }

private:
    static constexpr std::uint32_t empty = 0xFFFFFFFFu;
    // The product's high bits: its low ones would depend on the low label
    // alone, and every pair with the same one would fall in one chain.
    std::size_t slot(std::uint32_t key) const
    {
        std::size_t s = std::uint32_t(key * 2654435761u) >> (32 - std::countr_zero(keys_.size()));
        while (keys_[s] != empty && keys_[s] != key) s = (s + 1) & (keys_.size() - 1);
        return s;
    }
    void grow()
    {
        std::vector<std::uint32_t> k = std::move(keys_);
        std::vector<double> w = std::move(w_);
        keys_.assign(k.size() * 2, empty);
        w_.assign(k.size() * 2, 0);
        for (std::size_t s = 0; s < k.size(); ++s)
            if (k[s] != empty) {
                const std::size_t t = slot(k[s]);
                keys_[t] = k[s];
                w_[t] = w[s];
            }
        last_key_ = empty;
    }
    std::vector<std::uint32_t> keys_;
    std::vector<double> w_;
    std::size_t used_ = 0;
    std::uint32_t last_key_ = empty;
    std::size_t last_slot_ = 0;
};

void reduce_edges(std::vector<Edge>& e)
{
    // A total order (equal edges are alike in every field): the halves
    // sorted side by side and merged come out as one sort would leave them.
    auto less = [](const Edge& x, const Edge& y) {
        return x.a < y.a || (x.a == y.a && (x.b < y.b || (x.b == y.b && x.w < y.w)));
    };
    if (e.size() < parallel_threshold()) {
        std::sort(e.begin(), e.end(), less);
    } else {
        const auto middle = e.begin() + std::ptrdiff_t(e.size() / 2);
        side_by_side([&] { std::sort(e.begin(), middle, less); }, [&] { std::sort(middle, e.end(), less); });
        std::inplace_merge(e.begin(), middle, e.end(), less);
    }
    e.erase(std::unique(e.begin(), e.end(), [](const Edge& x, const Edge& y) { return x.a == y.a && x.b == y.b; }),
            e.end());
}

}  // namespace

namespace {

// The flood of the region R (lines r.i0..r.i1, columns r.j0..r.j1) of the
// grid, on tiles.  Over the whole grid it is the fill.  Over a part, the
// cells on R's edge that are no outlet are gates, whose true level lies
// between their own elevation and `gate_high`: the region's cells are
// flooded with the gates at either bound, and the fill is known where both
// agree (the levels only grow with the gates'), which `settled` reports for
// the cells of `mask`.
struct Region {
    int i0, i1, j0, j1;
};

WindowGrid flood_region(const nrutil::DGrid& z, const nrutil::UcGrid& nodata, const std::vector<std::size_t>& sinks,
                        Region r, int i0, int i1, int j0, int j1, int tile,
                        const std::function<double(int, int)>& gate_high, const nrutil::UcGrid* mask, bool* settled)
{
    const int gl = z.lines(), gc = z.columns();
    const int nl = r.i1 - r.i0 + 1, nc = r.j1 - r.j0 + 1;
    const std::size_t n = z.size();
    // Every cell of the window is written by its tile.
    WindowGrid w;
    w.i0 = i0;
    w.j0 = j0;
    allocate_grid(w.z, "the filled elevations of the edifice", j1 - j0 + 1, i1 - i0 + 1);
    const bool holes = bool(nodata) && nodata.size() == n;
    auto valid = [&](int i, int j) { return !holes || !nodata[i][j]; };
    // The sinks kept (a crater's lowest cell, say): a sorted list, not a
    // grid of flags for a cell or two.
    std::vector<std::size_t> sink_cells(sinks);
    std::sort(sink_cells.begin(), sink_cells.end());
    auto outlet = [&](int i, int j) {
        if (i == 0 || j == 0 || i == gl - 1 || j == gc - 1) return true;
        if (!sink_cells.empty() &&
            std::binary_search(sink_cells.begin(), sink_cells.end(), std::size_t(i) * std::size_t(gc) + std::size_t(j)))
            return true;
        if (holes)
            for (int a = i - 1; a <= i + 1; ++a)
                for (int b = j - 1; b <= j + 1; ++b)
                    if (nodata[a][b]) return true;
        return false;
    };
    const int tl = (nl + tile - 1) / tile, tc = (nc + tile - 1) / tile;
    const int tiles = tl * tc;
    // Labels: 0 the ocean, then the edge cells of each tile in scan order.
    std::vector<std::uint32_t> first_label(std::size_t(tiles) + 1, 1);
    auto bounds = [&](int t, int& a0, int& a1, int& b0, int& b1) {
        a0 = r.i0 + (t / tc) * tile;
        a1 = std::min(r.i1 + 1, a0 + tile) - 1;
        b0 = r.j0 + (t % tc) * tile;
        b1 = std::min(r.j1 + 1, b0 + tile) - 1;
    };
    for (int t = 0; t < tiles; ++t) {
        int a0, a1, b0, b1;
        bounds(t, a0, a1, b0, b1);
        const std::uint32_t h = std::uint32_t(a1 - a0 + 1), wd = std::uint32_t(b1 - b0 + 1);
        const std::uint32_t edge = h <= 2 || wd <= 2 ? h * wd : 2 * wd + 2 * (h - 2);
        first_label[std::size_t(t) + 1] = first_label[std::size_t(t)] + edge;
    }
    const std::uint32_t labels = first_label[std::size_t(tiles)];
    // The labels and F_t of the window's cells; every tile's spill edges.
    // Left unset: every cell of the window is written by its tile, so its
    // pages are first touched there, on all cores.
    std::unique_ptr<std::uint32_t[]> win_label(new std::uint32_t[std::size_t(i1 - i0 + 1) * std::size_t(j1 - j0 + 1)]);
    std::vector<std::vector<Edge>> edges(static_cast<std::size_t>(tiles));
    // The label of each edge cell (its own, or the ocean), for the edges
    // across tiles.
    std::vector<std::uint32_t> edge_label(labels, 0);

    // Each worker keeps its buffers from tile to tile.
    struct Buffers {
        std::vector<double> zt, f;
        std::vector<std::uint16_t> lab;
        std::vector<std::uint8_t> closed;
        std::vector<std::uint32_t> order, pit, start, out;
    };
    const int workers = std::max(1, std::min(tiles, thread_count()));
    std::vector<Buffers> buffers(static_cast<std::size_t>(workers));
    auto flood_tile = [&](int t, Buffers& buf) {
        int a0, a1, b0, b1;
        bounds(t, a0, a1, b0, b1);
        const int h = a1 - a0 + 1, wd = b1 - b0 + 1;
        // The tile with a frame of closed cells: neighbours need no test.
        const int pw = wd + 2;
        const std::size_t m = std::size_t(h + 2) * std::size_t(pw);
        std::vector<double>& zt = buf.zt;
        std::vector<double>& f = buf.f;
        zt.assign(m, 0);
        f.assign(m, 0);
        // 0 the ocean, k + 1 the tile's edge cell k; `none` off the tile or
        // without data.
        constexpr std::uint16_t none = 0xFFFF;
        std::vector<std::uint16_t>& lab = buf.lab;
        std::vector<std::uint8_t>& closed = buf.closed;
        lab.assign(m, none);
        closed.assign(m, 2);
        const std::ptrdiff_t step[8] = {-pw - 1, -pw, -pw + 1, -1, 1, pw - 1, pw, pw + 1};
        // 0 open, 1 waiting at its own elevation, 2 closed and expanded.
        std::vector<std::uint8_t>& state = closed;
        std::vector<std::uint32_t>& order = buf.order;
        std::vector<std::uint32_t>& pit = buf.pit;
        order.clear();
        std::uint16_t next = 1;
        for (int i = a0; i <= a1; ++i)
            for (int j = b0; j <= b1; ++j) {
                const std::uint32_t c = std::uint32_t(i - a0 + 1) * std::uint32_t(pw) + std::uint32_t(j - b0 + 1);
                const bool on_edge = i == a0 || i == a1 || j == b0 || j == b1;
                const std::uint16_t own = on_edge ? next++ : 0;
                if (!valid(i, j)) continue;
                zt[c] = z[i][j];
                state[c] = 0;
                lab[c] = 0;
                order.push_back(c);
                const bool sea = outlet(i, j);
                if (!on_edge && !sea) continue;
                state[c] = 1;
                f[c] = zt[c];
                lab[c] = sea ? 0 : own;
                if (on_edge)
                    edge_label[first_label[std::size_t(t)] + own - 1] = sea ? 0 : first_label[std::size_t(t)] + own - 1;
            }
        // The queue of the flood holds cells at their own elevation, and a
        // cell enters it only above the level being taken: taking the cells
        // in the order of their elevation, skipping those not waiting, is
        // the priority flood without a heap.
        sort_by_elevation(order, zt, buf.start, buf.out);
        for (const std::uint32_t c0 : order) {
            if (state[c0] != 1) continue;
            const double level = zt[c0];
            state[c0] = 2;
            pit.assign(1, c0);
            for (std::size_t k = 0; k < pit.size(); ++k) {
                const std::uint32_t c = pit[k];
                for (std::ptrdiff_t s : step) {
                    const std::uint32_t q = std::uint32_t(std::ptrdiff_t(c) + s);
                    if (state[q]) continue;
                    lab[q] = lab[c];
                    if (zt[q] <= level) {
                        state[q] = 2;
                        f[q] = level;
                        pit.push_back(q);
                    } else {
                        state[q] = 1;
                        f[q] = zt[q];
                    }
                }
            }
        }
        // Spills between touching watersheds (each pair of neighbours once),
        // the least for each pair of labels.
        SpillTable spills;
        for (int a = 1; a <= h; ++a)
            for (std::size_t c = std::size_t(a) * pw + 1, end = c + std::size_t(wd); c < end; ++c) {
                const std::uint16_t lc = lab[c];
                if (lc == none) continue;
                for (int k = 4; k < 8; ++k) {
                    const std::uint16_t lq = lab[std::size_t(std::ptrdiff_t(c) + step[k])];
                    if (lq == none || lq == lc) continue;
                    const std::size_t q = std::size_t(std::ptrdiff_t(c) + step[k]);
                    spills.add(std::min(lc, lq), std::max(lc, lq), std::max(f[c], f[q]));
                }
            }
        std::vector<Edge> e;  // the task's own: neighbouring vectors' ends share a cache line
        auto global = [&](std::uint16_t l) { return l ? first_label[std::size_t(t)] + l - 1 : 0u; };
        spills.each([&](std::uint16_t x, std::uint16_t y, double wt) { e.push_back({global(x), global(y), wt}); });
        edges[std::size_t(t)].swap(e);
        for (int i = std::max(a0, i0); i <= std::min(a1, i1); ++i)
            for (int j = std::max(b0, j0); j <= std::min(b1, j1); ++j) {
                const std::size_t c = std::size_t(i - a0 + 1) * pw + std::size_t(j - b0 + 1);
                w.z[i - i0][j - j0] = f[c];
                win_label[std::size_t(i - i0) * std::size_t(j1 - j0 + 1) + (j - j0)] =
                    lab[c] == none ? 0 : global(lab[c]);
            }
    };
    // The tiles go to whichever worker is free: a worker whose thread is
    // busy beside this stage takes fewer.  Each tile writes only its own
    // cells, edges and labels.
    std::atomic<int> next_tile{0};
    parallel_tasks(workers, [&](int k) {
        for (int t; (t = next_tile++) < tiles;) flood_tile(t, buffers[std::size_t(k)]);
    });
    std::vector<Buffers>().swap(buffers);

    // Edges across the tiles' edges: neighbouring edge cells of two tiles.
    auto label_of = [&](int i, int j) {
        const int t = ((i - r.i0) / tile) * tc + (j - r.j0) / tile;
        int a0, a1, b0, b1;
        bounds(t, a0, a1, b0, b1);
        const int wd = b1 - b0 + 1, h = a1 - a0 + 1;
        // Position of (i, j) among the tile's edge cells in scan order.
        std::uint32_t k;
        const int a = i - a0, b = j - b0;
        if (h <= 2 || wd <= 2)
            k = std::uint32_t(a * wd + b);
        else if (a == 0)
            k = std::uint32_t(b);
        else if (a == h - 1)
            k = std::uint32_t(wd + 2 * (h - 2) + b);
        else
            k = std::uint32_t(wd + 2 * (a - 1) + (b == 0 ? 0 : 1));
        return edge_label[first_label[std::size_t(t)] + k];
    };
    std::vector<Edge> cross;
    {
        // Room for every edge at once: growing would copy them all again.
        std::size_t most = 0;
        for (const auto& e : edges) most += e.size();
        for (int i = r.i0 + tile - 1; i + 1 <= r.i1; i += tile) most += 3 * std::size_t(r.j1 - r.j0 + 1);
        for (int j = r.j0 + tile - 1; j + 1 <= r.j1; j += tile) most += 3 * std::size_t(r.i1 - r.i0 + 1);
        cross.reserve(most);
    }
    auto pair = [&](int i, int j, int u, int v) {
        if (u < r.i0 || v < r.j0 || u > r.i1 || v > r.j1 || !valid(i, j) || !valid(u, v)) return;
        if ((u - r.i0) / tile == (i - r.i0) / tile && (v - r.j0) / tile == (j - r.j0) / tile) return;
        const std::uint32_t la = label_of(i, j), lb = label_of(u, v);
        if (la != lb) cross.push_back({std::min(la, lb), std::max(la, lb), std::max(z[i][j], z[u][v])});
    };
    // Pairs across a line of tiles, then across a column of tiles (a pair
    // across both comes twice; the least is kept).
    for (int i = r.i0 + tile - 1; i + 1 <= r.i1; i += tile)
        for (int j = r.j0; j <= r.j1; ++j)
            for (int v = j - 1; v <= j + 1; ++v) pair(i, j, i + 1, v);
    for (int j = r.j0 + tile - 1; j + 1 <= r.j1; j += tile)
        for (int i = r.i0; i <= r.i1; ++i)
            for (int u = i - 1; u <= i + 1; ++u) pair(i, j, u, j + 1);
    // The gates: edge cells of the region that are no outlet.
    struct Gate {
        std::uint32_t label;
        double low, high;
    };
    std::vector<Gate> gates;
    if (nl != gl || nc != gc)
        for (int i = r.i0; i <= r.i1; ++i)
            for (int j = r.j0; j <= r.j1; j += (i == r.i0 || i == r.i1) ? 1 : std::max(1, r.j1 - r.j0)) {
                if (!valid(i, j) || outlet(i, j)) continue;
                gates.push_back({label_of(i, j), z[i][j], gate_high ? std::max(z[i][j], gate_high(i, j)) : INFINITY});
            }
    for (auto& e : edges) {
        cross.insert(cross.end(), e.begin(), e.end());
        std::vector<Edge>().swap(e);
    }
    reduce_edges(cross);
    // The seeds' true levels: least highest spill from the ocean.
    std::vector<std::uint32_t> start(std::size_t(labels) + 1, 0);
    for (const Edge& e : cross) {
        ++start[e.a + 1];
        ++start[e.b + 1];
    }
    for (std::size_t k = 1; k < start.size(); ++k) start[k] += start[k - 1];
    struct Arc {
        std::uint32_t v;
        double w;
    };
    std::unique_ptr<Arc[]> adj(new Arc[start.back()]);  // each written once below
    {
        std::vector<std::uint32_t> fill(start.begin(), start.end() - 1);
        for (const Edge& e : cross) {
            adj[fill[e.a]++] = {e.b, e.w};
            adj[fill[e.b]++] = {e.a, e.w};
        }
    }
    std::vector<Edge>().swap(cross);
    auto solve = [&](bool high) {
        std::vector<double> level(labels, INFINITY);
        std::vector<std::uint8_t> done(labels, 0);
        using Entry = std::pair<double, std::uint32_t>;
        std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> open;
        level[0] = -INFINITY;
        open.push({-INFINITY, 0});
        // A gate drains straight to the ocean at its level.
        for (const Gate& g : gates) {
            const double l = high ? g.high : g.low;
            if (l < level[g.label]) {
                level[g.label] = l;
                open.push({l, g.label});
            }
        }
        while (!open.empty()) {
            const auto [l, u] = open.top();
            open.pop();
            if (done[u]) continue;
            done[u] = 1;
            for (std::uint32_t k = start[u]; k < start[u + 1]; ++k) {
                const auto [v, wt] = adj[k];
                const double cand = std::max(l, wt);
                if (cand < level[v]) {
                    level[v] = cand;
                    open.push({cand, v});
                }
            }
        }
        return level;
    };
    // The levels with the gates at their highest, which tell whether the
    // region settles its levels, are found beside the levels themselves.
    std::vector<double> level, high;
    if (settled && !gates.empty())
        side_by_side([&] { level = solve(false); }, [&] { high = solve(true); });
    else
        level = solve(false);
    const std::size_t width = std::size_t(j1 - j0 + 1);
    if (settled) {
        // Settled when no cell of the mask differs: the lines on all cores,
        // each stopping once a line has differed.
        std::atomic<bool> differs{false};
        if (!gates.empty())
            parallel_rows(i0, i1 + 1, width, [&](int a, int b) {
                for (int i = a; i < b && !differs.load(std::memory_order_relaxed); ++i)
                    for (int j = j0; j <= j1; ++j) {
                        if ((*mask)[i][j] != 1) continue;
                        const std::uint32_t l = win_label[std::size_t(i - i0) * width + std::size_t(j - j0)];
                        const double f = w.z[i - i0][j - j0];
                        if (l && std::max(f, level[l]) != std::max(f, high[l])) {
                            differs = true;
                            break;
                        }
                    }
            });
        *settled = !differs;
    }
    parallel_rows(i0, i1 + 1, width, [&](int a, int b) {
        for (int i = a; i < b; ++i)
            for (int j = j0; j <= j1; ++j) {
                const std::uint32_t l = win_label[std::size_t(i - i0) * width + std::size_t(j - j0)];
                if (l && level[l] > w.z[i - i0][j - j0]) w.z[i - i0][j - j0] = level[l];
            }
    });
    return w;
}

}  // namespace

WindowGrid fill_sinks_tiled(const nrutil::DGrid& z, const nrutil::UcGrid& nodata, const std::vector<std::size_t>& sinks,
                            int i0, int i1, int j0, int j1, int tile)
{
    return flood_region(z, nodata, sinks, {0, z.lines() - 1, 0, z.columns() - 1}, i0, i1, j0, j1, tile, nullptr,
                        nullptr, nullptr);
}

WindowGrid fill_sinks_near(const nrutil::DGrid& z, const nrutil::UcGrid& nodata, const std::vector<std::size_t>& sinks,
                           int i0, int i1, int j0, int j1, const nrutil::UcGrid& mask, int margin, int tile,
                           bool* settled)
{
    const int nl = z.lines(), nc = z.columns();
    const Region r{std::max(i0 - margin, 0), std::min(i1 + margin, nl - 1), std::max(j0 - margin, 0),
                   std::min(j1 + margin, nc - 1)};
    // A sink outside would drain the region from outside: not settled here.
    for (std::size_t c : sinks) {
        const int i = int(c / std::size_t(nc)), j = int(c % std::size_t(nc));
        if (i < r.i0 || i > r.i1 || j < r.j0 || j > r.j1) {
            if (settled) *settled = false;
            return copy_window(z, i0, i1, j0, j1);
        }
    }
    // The highest cell on the straight way from a gate to the grid's border,
    // away from the region (the least of the ways a corner has).
    std::vector<double> up(std::size_t(nc), -INFINITY), down(std::size_t(nc), -INFINITY),
        left(std::size_t(nl), -INFINITY), right(std::size_t(nl), -INFINITY);
    for (int i = 0; i < r.i0; ++i)
        for (int j = r.j0; j <= r.j1; ++j) up[std::size_t(j)] = std::max(up[std::size_t(j)], z[i][j]);
    for (int i = r.i1 + 1; i < nl; ++i)
        for (int j = r.j0; j <= r.j1; ++j) down[std::size_t(j)] = std::max(down[std::size_t(j)], z[i][j]);
    parallel_rows(r.i0, r.i1 + 1, std::size_t(nc), [&](int a, int b) {
        for (int i = a; i < b; ++i) {
            for (int j = 0; j < r.j0; ++j) left[std::size_t(i)] = std::max(left[std::size_t(i)], z[i][j]);
            for (int j = r.j1 + 1; j < nc; ++j) right[std::size_t(i)] = std::max(right[std::size_t(i)], z[i][j]);
        }
    });
    auto high = [&](int i, int j) {
        double h = INFINITY;
        if (i == r.i0 && r.i0 > 0) h = std::min(h, up[std::size_t(j)]);
        if (i == r.i1 && r.i1 < nl - 1) h = std::min(h, down[std::size_t(j)]);
        if (j == r.j0 && r.j0 > 0) h = std::min(h, left[std::size_t(i)]);
        if (j == r.j1 && r.j1 < nc - 1) h = std::min(h, right[std::size_t(i)]);
        return h;
    };
    return flood_region(z, nodata, sinks, r, i0, i1, j0, j1, tile, high, &mask, settled);
}

WindowGrid fill_sinks(const nrutil::DGrid& z, const nrutil::UcGrid& nodata, const std::vector<std::size_t>& sinks,
                      int i0, int i1, int j0, int j1, const nrutil::UcGrid& mask)
{
    if (z.size() >= (std::size_t(1) << 31)) return fill_sinks_plain(z, nodata, sinks, i0, i1, j0, j1);
    // The edifice's surroundings first; the whole grid when they do not
    // settle its levels.  (Cells without data would cut the straight ways
    // to the border.)
    const bool holes = bool(nodata) && nodata.size() == z.size();
    if (!holes) {
        bool settled = false;
        WindowGrid w = fill_sinks_near(z, nodata, sinks, i0, i1, j0, j1, mask, 1, 256, &settled);
        if (settled) return w;
    }
    return fill_sinks_tiled(z, nodata, sinks, i0, i1, j0, j1, 256);
}
