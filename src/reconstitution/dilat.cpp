#include <algorithm>
#include <climits>

#include "dilation.hpp"
#include "parallel.hpp"
#include "reconstitution.hpp"
#include "workspace.hpp"

namespace {

constexpr std::int32_t frame_pass = INT_MAX;      // outside the grid
constexpr std::int32_t never_pass = INT_MAX - 1;  // no set cell to grow from

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
    value_.reset(new std::int32_t[framed]);
    pass_.reset(new std::int32_t[framed]);
    mark_.reset(new std::uint8_t[framed]);
    const int blocks = std::max(1, std::min(nl + 2, thread_count() * 4));
    std::vector<std::vector<std::uint32_t>> unset(static_cast<std::size_t>(blocks));
    auto framed_line = [&](int f, std::vector<std::uint32_t>& cells) {
        const std::size_t row = std::size_t(f) * width_;
        std::int32_t* v = value_.get() + row;
        std::int32_t* p = pass_.get() + row;
        std::fill(mark_.get() + row, mark_.get() + row + width_, std::uint8_t(0));
        if (f == 0 || f == nl + 1) {
            std::fill(v, v + width_, INT_MIN);
            std::fill(p, p + width_, frame_pass);
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
static inline void reach(const std::int32_t* pass, const std::int32_t* value, std::uint32_t u, std::ptrdiff_t w,
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
    std::int32_t lowest = 9999999;
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
    std::int32_t* pass = pass_.get();
    std::int32_t* value = value_.get();
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
void Dilation::repair()
{
    std::int32_t* pass = pass_.get();
    std::int32_t* value = value_.get();
    const std::ptrdiff_t w = width_;
    const std::ptrdiff_t square[8] = {-w - 1, -w, -w + 1, -1, 1, w - 1, w, w + 1};
    changed_.clear();
    auto push = [&](std::uint32_t q) {
        if (pass[q] == 0 || pass[q] == frame_pass) return;
        std::int32_t t, v;
        reach(pass, value, q, w, t, v);
        if (t == never_pass || (t == pass[q] && v == value[q])) return;
        if (std::size_t(t) >= buckets_.size()) buckets_.resize(std::size_t(t) + 1);
        buckets_[std::size_t(t)].push_back(q);
    };
    for (std::uint32_t s : fresh_) {
        if (pass[s] < never_pass) --per_pass_[std::size_t(pass[s])];
        pass[s] = 0;
        value[s] = ktab_at(s);
        changed_.push_back(s);
    }
    for (std::uint32_t s : fresh_)
        for (std::ptrdiff_t d : square) push(std::uint32_t(s + d));
    for (std::size_t key = 1; key < buckets_.size(); ++key) {
        for (std::size_t n = 0; n < buckets_[key].size(); ++n) {
            const std::uint32_t u = buckets_[key][n];
            std::int32_t t, v;
            reach(pass, value, u, w, t, v);
            if (t == pass[u] && v == value[u]) continue;
            if (pass[u] < never_pass) --per_pass_[std::size_t(pass[u])];
            if (std::size_t(t) >= per_pass_.size()) per_pass_.resize(std::size_t(t) + 1, 0);
            ++per_pass_[std::size_t(t)];
            pass[u] = t;
            value[u] = v;
            changed_.push_back(u);
            for (std::ptrdiff_t d : square) push(std::uint32_t(u + d));
        }
        buckets_[key].clear();
    }
}

void Dilation::count_passes()
{
    per_pass_.assign(1, 0);
    for (std::uint32_t u : unset_) {
        const std::int32_t p = pass_[u];
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
    const std::int32_t p = pass_[q];
    return p < stop_ || p == frame_pass ? value_[q] : unset_altitude;
}

// Smoothing toward the higher side: the last strictly higher direct neighbour
// in the order above, left, right, below.
void Dilation::smooth(const std::vector<std::uint32_t>& cells)
{
    const std::ptrdiff_t w = width_;
    const std::ptrdiff_t cross[4] = {-w, -1, 1, w};
    fresh_.clear();
    for (std::uint32_t u : cells) {
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
        fresh_.push_back(u);
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
        unset_.erase(std::remove_if(unset_.begin(), unset_.end(), [&](std::uint32_t u) { return pass_[u] == 0; }),
                     unset_.end());
        candidates_ = unset_;
    } else {
        for (std::uint32_t c : changed_)
            for (std::ptrdiff_t d : {std::ptrdiff_t(0), -w, std::ptrdiff_t(-1), std::ptrdiff_t(1), w}) {
                const std::uint32_t q = std::uint32_t(c + d);
                if (pass_[q] == 0 || pass_[q] == frame_pass || mark_[q]) continue;
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
