#include "envelope_runs.hpp"

#include <algorithm>

#include "parallel.hpp"

namespace {

// Last cell of [down_to, from] in a run, or down_to - 1.
int last_in(const LineRuns& r, int from, int down_to)
{
    for (auto k = r.rbegin(); k != r.rend(); ++k)
        if (k->first <= from) {
            const int x = std::min(k->second, from);
            return x >= down_to ? x : down_to - 1;
        }
    return down_to - 1;
}

// First cell of [from, to] in a run, or to + 1.
int first_in(const LineRuns& r, int from, int to)
{
    for (const auto& [a, b] : r)
        if (b >= from) {
            const int x = std::max(a, from);
            return x <= to ? x : to + 1;
        }
    return to + 1;
}

// First cell of [from, to] in no run, or to + 1.
int first_out(const LineRuns& r, int from, int to)
{
    int x = from;
    for (const auto& [a, b] : r) {
        if (b < x) continue;
        if (a > x) break;
        x = b + 1;
    }
    return x <= to ? x : to + 1;
}

}  // namespace

std::vector<LineRuns> runs_of(const nrutil::UcGrid& g, std::uint8_t value)
{
    std::vector<LineRuns> runs(static_cast<std::size_t>(g.lines()));
    const int nc = g.columns();
    parallel_rows(0, g.lines(), std::size_t(nc), [&](int first, int last) {
        for (int i = first; i < last; ++i) {
            const std::uint8_t* row = g[i];
            for (int j = 0; j < nc;) {
                if (row[j] != value) {
                    ++j;
                    continue;
                }
                const int a = j;
                while (j < nc && row[j] == value) ++j;
                runs[std::size_t(i)].emplace_back(a, j - 1);
            }
        }
    });
    return runs;
}

EnvelopeRuns::EnvelopeRuns(int nb_lig, int nb_col) : nl_(nb_lig), nc_(nb_col), rows_(std::size_t(nb_lig)) {}

void EnvelopeRuns::add(int i, int a, int b)
{
    LineRuns& r = rows_[std::size_t(i)];
    if (r.empty()) used_.push_back(i);
    // Runs that overlap or touch [a, b] merge with it.
    auto k = r.begin();
    while (k != r.end() && k->second < a - 1) ++k;
    auto e = k;
    while (e != r.end() && e->first <= b + 1) {
        a = std::min(a, e->first);
        b = std::max(b, e->second);
        ++e;
    }
    k = r.erase(k, e);
    r.insert(k, {a, b});
}

void EnvelopeRuns::draw(const std::vector<std::uint32_t>& drawn)
{
    for (int i : used_) rows_[std::size_t(i)].clear();
    used_.clear();
    // A line of an envelope's outline holds a run or two: each cell joins
    // them in turn.
    const std::uint32_t w = std::uint32_t(nc_);
    for (std::uint32_t p : drawn) add(int(p / w), int(p % w), int(p % w));
}

// fill_envelope, step for step: each scan of a line for a non-zero or a zero
// cell is a look-up among its runs.
void EnvelopeRuns::fill(int seed_i, int seed_j)
{
    const int nl = nl_, nc = nc_;
    stack_.assign(1, {seed_i, seed_j});
    while (!stack_.empty()) {
        const auto [i, jk] = stack_.back();
        stack_.pop_back();
        const int left = last_in(rows_[std::size_t(i)], jk - 1, 1);
        const int jg = left >= 1 ? left + 1 : 2;
        if (jg == 2 && nc > 1) add(i, 1, 1);
        const int right = first_in(rows_[std::size_t(i)], jk + 1, nc - 1);
        const int jd = right <= nc - 1 ? right - 1 : nc - 1;
        if (jd >= jg) add(i, jg, jd);
        for (int ni : {i - 1, i + 1}) {
            if (ni < 1 || ni >= nl) continue;
            const LineRuns& n = rows_[std::size_t(ni)];
            for (int j = first_out(n, jg, jd); j <= jd; j = first_out(n, j, jd)) {
                j = first_in(n, j, jd);
                stack_.push_back({ni, j - 1});
            }
        }
    }
}

bool EnvelopeRuns::leaves(const std::vector<LineRuns>& inside) const
{
    for (int i : used_)
        for (const auto& [a, b] : rows_[std::size_t(i)]) {
            // [a, b] must lie within one run of the edifice.
            const LineRuns& in = inside[std::size_t(i)];
            auto k = std::upper_bound(in.begin(), in.end(), std::pair<int, int>{a, nc_});
            if (k == in.begin() || std::prev(k)->second < b) return true;
        }
    return false;
}

void EnvelopeRuns::outline(std::vector<std::uint32_t>& line) const
{
    std::vector<int> lines;
    for (int i : used_)
        if (i >= 1 && i <= nl_ - 2) lines.push_back(i);
    std::sort(lines.begin(), lines.end());
    LineRuns inner;
    for (int i : lines) {
        const LineRuns& up = rows_[std::size_t(i - 1)];
        const LineRuns& down = rows_[std::size_t(i + 1)];
        const std::uint32_t row = std::uint32_t(std::size_t(i) * nc_);
        for (const auto& [a, b] : rows_[std::size_t(i)]) {
            // Cells with both neighbours on the line, the one above and the
            // one below in the envelope are inside it; the others are the
            // outline.
            inner.clear();
            std::size_t u = 0, d = 0;
            while (u < up.size() && d < down.size()) {
                const int lo = std::max({up[u].first, down[d].first, a + 1});
                const int hi = std::min({up[u].second, down[d].second, b - 1});
                if (lo <= hi) inner.emplace_back(lo, hi);
                if (up[u].second < down[d].second)
                    ++u;
                else
                    ++d;
            }
            const int first = std::max(a, 1), last = std::min(b, nc_ - 2);
            int j = first;
            for (const auto& [x, y] : inner) {
                for (; j < x && j <= last; ++j) line.push_back(row + std::uint32_t(j));
                j = std::max(j, y + 1);
            }
            for (; j <= last; ++j) line.push_back(row + std::uint32_t(j));
        }
    }
}
