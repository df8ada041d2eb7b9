#include <algorithm>
#include <climits>

#include "dilation.hpp"
#include "parallel.hpp"
#include "reconstitution.hpp"
#include "workspace.hpp"

namespace {

constexpr std::int32_t frame_pass = INT_MAX;      // outside the grid
constexpr std::int32_t never_pass = INT_MAX - 1;  // no set cell to grow from

// The passes and the values of the framed cells, indexed as two grids.
template <class Cell>
struct Passes {
    Cell* c;
    auto& operator[](std::ptrdiff_t u) const { return c[u].pass; }
};
template <class Cell>
struct Values {
    Cell* c;
    auto& operator[](std::ptrdiff_t u) const { return c[u].value; }
};

}  // namespace

// The smallest window of the grid that holds every unset cell and its eight
// neighbours: nothing outside it is ever read.
static void unset_window(const Workspace& ws, int& i0, int& i1, int& j0, int& j1)
{
    const int nl = ws.nb_lig, nc = ws.nb_col;
    std::vector<int> first(std::size_t(nl), nc), last(std::size_t(nl), -1);
    parallel_rows(0, nl, std::size_t(nc), [&](int a, int b) {
        for (int i = a; i < b; ++i) {
            const std::int32_t* k = ws.ktab[i];
            int j = 0;
            while (j < nc && k[j] != unset_altitude) ++j;
            if (j == nc) continue;
            first[std::size_t(i)] = j;
            int e = nc - 1;
            while (k[e] != unset_altitude) --e;
            last[std::size_t(i)] = e;
        }
    });
    i0 = nl, i1 = -1, j0 = nc, j1 = -1;
    for (int i = 0; i < nl; ++i) {
        if (last[std::size_t(i)] < 0) continue;
        i0 = std::min(i0, i);
        i1 = i;
        j0 = std::min(j0, first[std::size_t(i)]);
        j1 = std::max(j1, last[std::size_t(i)]);
    }
    if (i1 < 0) {  // nothing to grow: a window of one cell
        i0 = i1 = j0 = j1 = 0;
        return;
    }
    i0 = std::max(i0 - 1, 0);
    j0 = std::max(j0 - 1, 0);
    i1 = std::min(i1 + 1, nl - 1);
    j1 = std::min(j1 + 1, nc - 1);
}

Dilation::Dilation(Workspace& ws) : ws_(ws)
{
    int i1, j1;
    unset_window(ws, i0_, i1, j0_, j1);
    const int nl = i1 - i0_ + 1, nc = j1 - j0_ + 1;
    width_ = nc + 2;
    const std::size_t framed = std::size_t(nl + 2) * std::size_t(width_);
    // Written once, line by line on all threads.  The frame around the window
    // is never higher and never grows: outside the grid, or set cells that no
    // unset cell touches.
    cell_.reset(new Reach[framed]);
    mark_.reset(new std::uint8_t[framed]);
    const int blocks = std::max(1, std::min(nl + 2, thread_count() * 4));
    std::vector<std::vector<std::uint32_t>> unset(static_cast<std::size_t>(blocks));
    auto framed_line = [&](int f, std::vector<std::uint32_t>& cells) {
        const std::size_t row = std::size_t(f) * width_;
        const Values<Reach> v{cell_.get() + row};
        const Passes<Reach> p{cell_.get() + row};
        std::fill(mark_.get() + row, mark_.get() + row + width_, std::uint8_t(0));
        if (f == 0 || f == nl + 1) {
            std::fill(cell_.get() + row, cell_.get() + row + width_, Reach{frame_pass, INT_MIN});
            return;
        }
        v[0] = v[width_ - 1] = INT_MIN;
        p[0] = p[width_ - 1] = frame_pass;
        const std::int32_t* k = ws.ktab[i0_ + f - 1] + j0_;
        for (int j = 0; j < nc; ++j) {
            v[j + 1] = k[j];
            p[j + 1] = k[j] == unset_altitude ? never_pass : 0;
            if (k[j] == unset_altitude) cells.push_back(std::uint32_t(row + std::size_t(j) + 1));
        }
    };
    auto block = [&](int b) {
        const int first = int(std::int64_t(nl + 2) * b / blocks), last = int(std::int64_t(nl + 2) * (b + 1) / blocks);
        for (int f = first; f < last; ++f) framed_line(f, unset[std::size_t(b)]);
    };
    if (std::size_t(nl) * std::size_t(nc) < parallel_threshold())
        for (int b = 0; b < blocks; ++b) block(b);
    else
        parallel_tasks(blocks, block);
    for (std::vector<std::uint32_t>& cells : unset) {
        unset_.insert(unset_.end(), cells.begin(), cells.end());
        std::vector<std::uint32_t>().swap(cells);
    }
    unset_count_ = unset_.size();
}

std::int32_t& Dilation::ktab_at(std::uint32_t u) const
{
    return ws_.ktab[i0_ + int(u / std::uint32_t(width_)) - 1][j0_ + int(u % std::uint32_t(width_)) - 1];
}

std::vector<std::uint32_t> Dilation::unset_cells() const
{
    std::vector<std::uint32_t> cells;
    cells.reserve(unset_count_);
    for (std::uint32_t u : unset_) {
        const std::uint32_t i = std::uint32_t(i0_) + u / std::uint32_t(width_) - 1;
        const std::uint32_t j = std::uint32_t(j0_) + u % std::uint32_t(width_) - 1;
        if (ws_.ktab[int(i)][int(j)] == unset_altitude) cells.push_back(i * std::uint32_t(ws_.nb_col) + j);
    }
    return cells;
}

// The pass at which the growth reaches unset cell u and the value it takes:
// a direct neighbour set before pass t can fill u at t, a diagonal one only at
// an even t; the value is the smallest of the neighbours that fill it.
template <class Cell>
static inline void reach(Passes<Cell> pass, Values<Cell> value, std::uint32_t u, std::ptrdiff_t w,
                         std::int32_t& t, std::int32_t& v)
{
    const std::ptrdiff_t cross[4] = {-w, -1, 1, w};
    const std::ptrdiff_t diagonal[4] = {-w - 1, -w + 1, w - 1, w + 1};
    t = never_pass;
    for (std::ptrdiff_t d : cross) {
        const std::int32_t p = pass[u + d];
        if (p < never_pass && p + 1 < t) t = p + 1;
    }
    for (std::ptrdiff_t d : diagonal) {
        const std::int32_t p = pass[u + d];
        if (p < never_pass) {
            const std::int32_t e = (p + 1) % 2 == 0 ? p + 1 : p + 2;
            if (e < t) t = e;
        }
    }
    v = unset_altitude;
    if (t == never_pass) return;
    std::int32_t lowest = INT32_MAX;  // no height lies above it
    for (std::ptrdiff_t d : cross)
        if (pass[u + d] < t && value[u + d] < lowest) lowest = value[u + d];
    if (t % 2 == 0)
        for (std::ptrdiff_t d : diagonal)
            if (pass[u + d] < t && value[u + d] < lowest) lowest = value[u + d];
    v = lowest;
}

// First call: the growth from every set cell, pass after pass, until nothing
// is left to reach.
void Dilation::grow_all()
{
    const Passes<Reach> pass{cell_.get()};
    const Values<Reach> value{cell_.get()};
    std::uint8_t* queued = mark_.get();
    const std::ptrdiff_t w = width_;
    const std::ptrdiff_t square[8] = {-w - 1, -w, -w + 1, -1, 1, w - 1, w, w + 1};
    std::vector<std::uint32_t> front, kept;
    for (std::uint32_t u : unset_) {
        bool touches = false;
        for (std::ptrdiff_t d : square) touches |= pass[u + d] == 0;
        if (touches) {
            front.push_back(u);
            queued[u] = 1;
        }
    }
    for (std::int32_t flag = 1; !front.empty(); ++flag) {
        staged_.clear();
        kept.clear();
        for (std::uint32_t f : front) {
            std::int32_t t, v;
            reach(pass, value, f, w, t, v);
            if (t == flag)
                staged_.push_back({f, v});
            else
                kept.push_back(f);
        }
        for (const auto& [f, v] : staged_) {
            pass[f] = flag;
            value[f] = v;
            queued[f] = 0;
        }
        for (const auto& [f, v] : staged_)
            for (std::ptrdiff_t d : square) {
                const std::uint32_t q = std::uint32_t(f + d);
                if (pass[q] == never_pass && !queued[q]) {
                    queued[q] = 1;
                    kept.push_back(q);
                }
            }
        front.swap(kept);
    }
}

// The cells set by the last call become set cells: the passes and values
// they change are repaired in order of pass (a change can only reach cells of
// later passes), and every cell whose pass or value changed is noted.
//
// A cell repaired at pass t reads only neighbours of lower passes, which are
// final by then, so the cells of one pass are repaired together, in rounds:
// their new passes and values worked out from the grids as they stand (on all
// cores for a large round), then written in the round's order, then their
// neighbours looked at again (on all cores) and queued for the passes they now
// take; a neighbour queued for the pass of the round makes another round.
// The grids are only read while the work is shared out.  The order in which
// cells are repaired changes neither the passes nor the values that the
// growth gives, so the grids and the smoothing come out as on one thread.
void Dilation::repair()
{
    const Passes<Reach> pass{cell_.get()};
    const Values<Reach> value{cell_.get()};
    const std::ptrdiff_t w = width_;
    const std::ptrdiff_t square[8] = {-w - 1, -w, -w + 1, -1, 1, w - 1, w, w + 1};
    changed_.clear();
    // A round large enough goes in a fixed number of parts, whatever the
    // number of threads, so that the order of the work is always the same.
    const std::size_t shared = std::max<std::size_t>(1, parallel_threshold() / 16);
    auto parts_of = [&](std::size_t n) { return n >= shared ? 8 : 1; };
    auto part = [](std::size_t n, int parts, int k, std::size_t& a, std::size_t& b) {
        a = n * std::size_t(k) / std::size_t(parts);
        b = n * std::size_t(k + 1) / std::size_t(parts);
    };
    struct Repaired {
        std::uint32_t u;
        std::int32_t t, v;
    };
    std::vector<std::vector<Repaired>> repaired(8);
    std::vector<std::vector<std::pair<std::int32_t, std::uint32_t>>> queued(8);

    // The neighbours of cells [0, n) of `cells` that now read differently go
    // to the bucket of their new pass.  A neighbour of several of them is
    // looked at once, by the first of them (in the order of `square` round
    // it) that it may read: the cells are marked before the work is shared
    // out, and the marks cleared after.
    std::uint8_t* listed = mark_.get();
    auto queue_neighbours = [&](const std::vector<std::uint32_t>& cells, std::size_t n) {
        const int parts = parts_of(n);
        auto mark = [&](std::uint8_t m) {
            auto part_marks = [&](int k) {
                std::size_t a, b;
                part(n, parts, k, a, b);
                for (std::size_t c = a; c < b; ++c) listed[cells[c]] = m;
            };
            if (parts == 1)
                part_marks(0);
            else
                parallel_tasks(parts, part_marks);
        };
        mark(1);
        auto look = [&](int k) {
            std::size_t a, b;
            part(n, parts, k, a, b);
            // Filled as a vector of this task's own and put back: the ends of
            // neighbouring vectors share a cache line, which two threads
            // writing to them would pass back and forth.
            std::vector<std::pair<std::int32_t, std::uint32_t>> out;
            out.swap(queued[std::size_t(k)]);
            out.clear();
            for (std::size_t c = a; c < b; ++c) {
                const std::int32_t reached = pass[cells[c]];
                for (std::ptrdiff_t d : square) {
                    const std::uint32_t q = std::uint32_t(cells[c] + d);
                    // Passes only come down in a repair: a neighbour reached
                    // no later than this cell never reads it, now or before.
                    if (pass[q] <= reached || pass[q] == frame_pass) continue;
                    std::ptrdiff_t first = 0;
                    for (std::ptrdiff_t e : square)
                        if (listed[q + e] && pass[q + e] < pass[q]) {
                            first = e;
                            break;
                        }
                    if (q + first != cells[c]) continue;
                    std::int32_t t, v;
                    reach(pass, value, q, w, t, v);
                    if (t == never_pass || (t == pass[q] && v == value[q])) continue;
                    out.push_back({t, q});
                }
            }
            queued[std::size_t(k)].swap(out);
        };
        if (parts == 1)
            look(0);
        else
            parallel_tasks(parts, look);
        mark(0);
        for (int k = 0; k < parts; ++k)
            for (const auto& [t, q] : queued[std::size_t(k)]) {
                if (std::size_t(t) >= buckets_.size()) buckets_.resize(std::size_t(t) + 1);
                buckets_[std::size_t(t)].push_back(q);
            }
    };

    for (std::uint32_t s : fresh_) {
        if (pass[s] < never_pass) --per_pass_[std::size_t(pass[s])];
        pass[s] = 0;
        value[s] = ktab_at(s);
        changed_.push_back(s);
    }
    queue_neighbours(fresh_, fresh_.size());
    std::vector<std::uint32_t> round;
    for (std::size_t key = 1; key < buckets_.size(); ++key) {
        while (!buckets_[key].empty()) {
            round.swap(buckets_[key]);
            buckets_[key].clear();
            const int parts = parts_of(round.size());
            auto settle = [&](int k) {
                std::size_t a, b;
                part(round.size(), parts, k, a, b);
                std::vector<Repaired> out;  // this task's own, as in queue_neighbours
                out.swap(repaired[std::size_t(k)]);
                out.clear();
                for (std::size_t n = a; n < b; ++n) {
                    const std::uint32_t u = round[n];
                    std::int32_t t, v;
                    reach(pass, value, u, w, t, v);
                    if (t == pass[u] && v == value[u]) continue;
                    out.push_back({u, t, v});
                }
                repaired[std::size_t(k)].swap(out);
            };
            if (parts == 1)
                settle(0);
            else
                parallel_tasks(parts, settle);
            // Written in the round's order; a cell queued twice is written once.
            const std::size_t first = changed_.size();
            for (int k = 0; k < parts; ++k)
                for (const Repaired& r : repaired[std::size_t(k)]) {
                    if (r.t == pass[r.u] && r.v == value[r.u]) continue;
                    if (pass[r.u] < never_pass) --per_pass_[std::size_t(pass[r.u])];
                    if (std::size_t(r.t) >= per_pass_.size()) per_pass_.resize(std::size_t(r.t) + 1, 0);
                    ++per_pass_[std::size_t(r.t)];
                    pass[r.u] = r.t;
                    value[r.u] = r.v;
                    changed_.push_back(r.u);
                }
            // Then the neighbours of the cells that this round changed.
            round.assign(changed_.begin() + std::ptrdiff_t(first), changed_.end());
            queue_neighbours(round, round.size());
            round.clear();
        }
    }
}

void Dilation::count_passes()
{
    per_pass_.assign(1, 0);
    for (std::uint32_t u : unset_) {
        const std::int32_t p = cell_[u].pass;
        if (p == never_pass) continue;
        if (std::size_t(p) >= per_pass_.size()) per_pass_.resize(std::size_t(p) + 1, 0);
        ++per_pass_[std::size_t(p)];
    }
}

int Dilation::stop_pass() const
{
    std::size_t t = 1;
    while (t < per_pass_.size() && per_pass_[t] > 0) ++t;
    return int(t);
}

// The grown grid as dilat() leaves it: cells reached after the growth stopped
// are still unset.
inline std::int32_t Dilation::grown(std::uint32_t q) const
{
    const std::int32_t p = cell_[q].pass;
    return p < stop_ || p == frame_pass ? cell_[q].value : unset_altitude;
}

// Smoothing toward the higher side: the last strictly higher direct neighbour
// in the order above, left, right, below.  A cell reads only the grown grid,
// which the smoothing leaves as it is: a long list goes in 8 parts on all
// cores, the cells set noted in the list's order.
void Dilation::smooth(const std::vector<std::uint32_t>& cells)
{
    const std::ptrdiff_t w = width_;
    const std::ptrdiff_t cross[4] = {-w, -1, 1, w};
    auto smooth_cells = [&](std::size_t a, std::size_t b, std::vector<std::uint32_t>& set) {
        for (std::size_t n = a; n < b; ++n) {
            const std::uint32_t u = cells[n];
            const std::int32_t v = grown(u);
            bool higher = false;
            std::int32_t top = 0;
            for (std::ptrdiff_t d : cross) {
                const std::int32_t g = grown(std::uint32_t(u + d));
                if (g > v) {
                    higher = true;
                    top = g;
                }
            }
            if (!higher) continue;
            const int result = trunc_to_int(double(std::int64_t(v) + top) * 0.5 + 0.5);
            if (result == unset_altitude) continue;
            ktab_at(u) = result;
            set.push_back(u);
        }
    };
    fresh_.clear();
    const std::size_t n = cells.size();
    if (n < std::max<std::size_t>(1, parallel_threshold() / 16)) {
        smooth_cells(0, n, fresh_);
    } else {
        constexpr int parts = 8;
        std::vector<std::vector<std::uint32_t>> set(parts);
        parallel_tasks(parts, [&](int k) {
            std::vector<std::uint32_t> mine;  // a vector's ends shared with another thread's would slow both
            smooth_cells(n * std::size_t(k) / parts, n * std::size_t(k + 1) / parts, mine);
            set[std::size_t(k)].swap(mine);
        });
        for (const std::vector<std::uint32_t>& s : set) fresh_.insert(fresh_.end(), s.begin(), s.end());
    }
    unset_count_ -= fresh_.size();
    ws_.modif = int(fresh_.size());
    ws_.nb_pix_mod = 0;
}

void Dilation::step()
{
    const int previous_stop = stop_;
    if (first_) {
        grow_all();
        count_passes();
    } else {
        repair();
    }
    stop_ = stop_pass();
    const std::ptrdiff_t w = width_;
    candidates_.clear();
    if (first_ || stop_ != previous_stop) {
        // Every unset cell may read differently.
        unset_.erase(std::remove_if(unset_.begin(), unset_.end(), [&](std::uint32_t u) { return cell_[u].pass == 0; }),
                     unset_.end());
        candidates_ = unset_;
    } else {
        for (std::uint32_t c : changed_)
            for (std::ptrdiff_t d : {std::ptrdiff_t(0), -w, std::ptrdiff_t(-1), std::ptrdiff_t(1), w}) {
                const std::uint32_t q = std::uint32_t(c + d);
                if (cell_[q].pass == 0 || cell_[q].pass == frame_pass || mark_[q]) continue;
                mark_[q] = 1;
                candidates_.push_back(q);
            }
        for (std::uint32_t q : candidates_) mark_[q] = 0;
    }
    first_ = false;
    smooth(candidates_);
}

void dilat(Workspace& ws)
{
    Dilation d(ws);
    d.step();
}
