#include "edifice_levels.hpp"

#include <algorithm>
#include <utility>

#include "parallel.hpp"

#include "workspace.hpp"

void LevelStats::reset(int lo_, int hi_)
{
    lo = lo_;
    hi = hi_;
    const std::size_t n = hi >= lo ? std::size_t(std::int64_t(hi) - lo + 1) : 0;
    for (auto* v : {&count, &sum_i, &sum_j, &interior}) v->assign(n, 0);
}

void LevelStats::add(int top, int i, int j, bool interior_cell)
{
    if (top < lo) return;
    const std::size_t k = at(std::min(top, hi));
    ++count[k];
    sum_i[k] += i;
    sum_j[k] += j;
    interior[k] += interior_cell;
}

void LevelStats::gather(int first, int last, int blocks, const std::function<void(LevelStats& part, int i)>& line)
{
    std::vector<LevelStats> parts(static_cast<std::size_t>(blocks));
    parallel_tasks(blocks, [&](int b) {
        LevelStats& part = parts[std::size_t(b)];
        part.reset(lo, hi);
        const int from = first + int(std::int64_t(last - first) * b / blocks);
        const int to = first + int(std::int64_t(last - first) * (b + 1) / blocks);
        for (int i = from; i < to; ++i) line(part, i);
    });
    for (const LevelStats& part : parts)
        for (std::size_t k = 0; k < count.size(); ++k) {
            count[k] += part.count[k];
            sum_i[k] += part.sum_i[k];
            sum_j[k] += part.sum_j[k];
            interior[k] += part.interior[k];
        }
}

void LevelStats::accumulate()
{
    for (std::size_t k = count.size(); k-- > 1;) {
        count[k - 1] += count[k];
        sum_i[k - 1] += sum_i[k];
        sum_j[k - 1] += sum_j[k];
        interior[k - 1] += interior[k];
    }
}

namespace {

constexpr std::uint32_t unset = 0xFFFFFFFFu;

std::uint32_t find(std::uint32_t* parent, std::uint32_t x)
{
    while (parent[x] != x) {
        parent[x] = parent[parent[x]];
        x = parent[x];
    }
    return x;
}

}  // namespace

// The straightforward way, kept for the tests: the cells from the top down,
// a union-find with circular member lists; a zone that joins the centre's zone
// has its members stamped with the altitude of the junction.
void EdificeLevels::join_by_union_find(Workspace& ws, std::size_t levels, int ia, int blocks)
{
    const int nl = ws.nb_lig, nc = ws.nb_col;
    const int base = ws.base, top = ws.altmax;
    auto in_zones = [&](int i, int j) { return i >= 1 && j >= 1 && ws.tab[i][j] == 1 && ws.itab[i][j] >= base; };
    // Cells of the zones, by altitude from the top, in scan order within an
    // altitude.
    std::uint32_t* order = reinterpret_cast<std::uint32_t*>(ws.ktab.data());
    const std::vector<std::uint32_t> first = counting_sort_by_lines(
        ia, i1 - ia + 1, blocks, levels,
        [&](int lo, int hi, auto emit) {
            for (int i = lo; i < hi; ++i)
                for (int j = std::max(j0, 1); j <= j1; ++j)
                    if (in_zones(i, j)) emit(std::size_t(top - ws.itab[i][j]), std::uint32_t(std::size_t(i) * nc + j));
        },
        [](std::uint32_t) {}, [&](std::uint32_t n, std::uint32_t cell) { order[n] = cell; });

    // Union-find with circular member lists; a zone that joins the centre's
    // zone has its members stamped with the altitude of the junction.
    std::uint32_t* parent = reinterpret_cast<std::uint32_t*>(ws.itab1.data());
    std::uint32_t* next = reinterpret_cast<std::uint32_t*>(ws.itab2.data());
    parallel_rows(i0, i1 + 1, std::size_t(j1 - j0 + 1), [&](int lo, int hi) {
        for (int i = lo; i < hi; ++i)
            std::fill(parent + std::size_t(i) * nc + j0, parent + std::size_t(i) * nc + j1 + 1, unset);
    });
    std::int32_t* jn = join.data();
    const std::uint32_t centre = std::uint32_t(std::size_t(ci) * nc + cj);
    std::uint32_t centre_root = unset;
    auto stamp = [&](std::uint32_t r, int k) {
        std::uint32_t x = r;
        do {
            jn[x] = k;
            x = next[x];
        } while (x != r);
    };
    for (std::size_t lev = 0; lev < levels; ++lev) {
        const int k = top - int(lev);
        for (std::uint32_t n = first[lev]; n < first[lev + 1]; ++n) {
            const std::uint32_t p = order[n];
            parent[p] = next[p] = p;
            if (p == centre) {
                centre_root = p;
                jn[p] = k;
            }
            const int pi = int(p / std::uint32_t(nc)), pj = int(p % std::uint32_t(nc));
            for (int a = std::max(pi - 1, 1); a <= std::min(pi + 1, nl - 1); ++a)
                for (int b = std::max(pj - 1, 1); b <= std::min(pj + 1, nc - 1); ++b) {
                    const std::uint32_t q = std::uint32_t(std::size_t(a) * nc + b);
                    if (q == p || a < i0 || a > i1 || b < j0 || b > j1 || parent[q] == unset) continue;
                    std::uint32_t rp = find(parent, p), rq = find(parent, q);
                    if (rp == rq) continue;
                    if (rq == centre_root) std::swap(rp, rq);
                    if (rp == centre_root) stamp(rq, k);
                    parent[rq] = rp;  // the centre's zone keeps its root
                    std::swap(next[rp], next[rq]);
                }
        }
    }
}

// A cell is in the centre's zone at k when a path of zone cells at or above k
// joins it to the centre: its join is the centre's altitude or the lowest
// altitude of its highest path, whichever is lower.  A flood from the centre
// that always goes on from the highest cell reached gives it, each cell once,
// from buckets of altitude.
// While the flood runs, the cells it may look at that can be in no zone (off
// the edifice, below the base line, in line 0 or column 0) are marked
// `outside` in the joins: a neighbour is then tested with one read, and a
// step to the right of the last column lands in column 0, which is outside.
// The flood looks at the box's cells and at column 0 only.
void EdificeLevels::join_by_flood(Workspace& ws, std::size_t levels)
{
    const int nl = ws.nb_lig, nc = ws.nb_col;
    const int base = ws.base, top = ws.altmax;
    constexpr std::int32_t outside = never + 1;  // below every altitude of a zone
    std::int32_t* jn = join.data();
    const std::int32_t* itab = ws.itab.data();
    const int last_line = std::min(i1 + 1, nl - 1);  // a step right of the last column
    auto mark = [&](bool on) {
        parallel_rows(i0, last_line + 1, std::size_t(j1 - j0 + 2), [&](int first, int last) {
            for (int i = first; i < last; ++i) {
                std::int32_t* row = jn + std::size_t(i) * nc;
                auto one = [&](int j) {
                    if (on) {
                        if (i < 1 || j < 1 || ws.tab[i][j] != 1 || ws.itab[i][j] < base) row[j] = outside;
                    } else if (row[j] == outside) {
                        row[j] = never;
                    }
                };
                one(0);
                for (int j = std::max(j0, 1); j <= j1; ++j) one(j);
            }
        });
    };
    mark(true);
    const std::size_t cells = std::size_t(nl) * std::size_t(nc);
    const std::ptrdiff_t w = nc;
    const std::ptrdiff_t around[8] = {-w - 1, -w, -w + 1, -1, 1, w - 1, w, w + 1};
    std::vector<std::vector<std::uint32_t>> bucket(levels);  // by top - altitude
    const int start = ws.itab[ci][cj];
    jn[std::size_t(ci) * nc + cj] = start;
    bucket[std::size_t(top - start)].push_back(std::uint32_t(std::size_t(ci) * nc + cj));
    auto reach = [&](std::size_t q, int k) {
        const int v = std::min(k, itab[q]);
        jn[q] = v;
        bucket[std::size_t(top - v)].push_back(std::uint32_t(q));
    };
    constexpr std::size_t ahead = 16;
    for (std::size_t lev = std::size_t(top - start); lev < levels; ++lev) {
        const int k = top - int(lev);
        std::vector<std::uint32_t>& here = bucket[lev];
        for (std::size_t n = 0; n < here.size(); ++n) {  // cells reached at k join this bucket as it is read
            // A level's cells go round the edifice, a line or two apart on
            // its sides: their neighbours are fetched a few cells ahead.
            if (n + ahead < here.size()) {
                const std::size_t f = here[n + ahead];
                for (const std::size_t g : {f - std::min<std::size_t>(f, std::size_t(w)), f,
                                            std::min(f + std::size_t(w), cells - 1)}) {
                    __builtin_prefetch(jn + g);
                    __builtin_prefetch(itab + g);
                }
            }
            const std::uint32_t p = here[n];
            if (std::size_t(p) + std::size_t(w) + 1 < cells) {
                for (std::ptrdiff_t d : around)
                    if (jn[p + d] == never) reach(std::size_t(p + d), k);
                continue;
            }
            // The last lines: no step below the grid.
            const int pi = int(p / std::uint32_t(nc)), pj = int(p % std::uint32_t(nc));
            for (int a = pi - 1; a <= std::min(pi + 1, nl - 1); ++a)
                for (int b = pj - 1; b <= std::min(pj + 1, nc - 1); ++b) {
                    const std::size_t q = std::size_t(a) * nc + b;
                    if (jn[q] == never) reach(q, k);
                }
        }
        std::vector<std::uint32_t>().swap(here);
    }
    mark(false);
}

void EdificeLevels::frame(Workspace& ws)
{
    const int nl = ws.nb_lig, nc = ws.nb_col;
    const int base = ws.base, top = ws.altmax;

    // Bounding box of the edifice, one cell wider: the lines' first and last
    // cells, on all threads.
    std::vector<std::pair<int, int>> spans(static_cast<std::size_t>(nl), {-1, -1});
    parallel_rows(0, nl, std::size_t(nc), [&](int first, int last) {
        for (int i = first; i < last; ++i) {
            const std::uint8_t* t = ws.tab[i];
            for (int j = 0; j < nc; ++j)
                if (t[j] == 1) {
                    if (spans[std::size_t(i)].first < 0) spans[std::size_t(i)].first = j;
                    spans[std::size_t(i)].second = j;
                }
        }
    });
    i0 = nl;
    i1 = -1;
    j0 = nc;
    j1 = -1;
    for (int i = 0; i < nl; ++i)
        if (spans[std::size_t(i)].first >= 0) {
            i0 = std::min(i0, i);
            i1 = std::max(i1, i);
            j0 = std::min(j0, spans[std::size_t(i)].first);
            j1 = std::max(j1, spans[std::size_t(i)].second);
        }
    if (i1 >= 0) {
        i0 = std::max(i0 - 1, 0);
        i1 = std::min(i1 + 1, nl - 1);
        j0 = std::max(j0 - 1, 0);
        j1 = std::min(j1 + 1, nc - 1);
    }

    allocate_grid(join, "of the edifice levels", nc, nl);
    parallel_rows(0, nl, std::size_t(nc), [&](int first, int last) {
        std::fill(join[first], join[first] + std::size_t(last - first) * nc, never);
    });
    ci = ws.i_gv;
    cj = ws.j_gv;
    centre_altitude = ws.itab[ci][cj];
    centre_on_edifice = ws.tab[ci][cj] == 1;
    item_top = never;
    zone.reset(base, centre_on_edifice ? std::min(centre_altitude, top) : base - 1);
}

void EdificeLevels::flood(Workspace& ws, bool by_union_find)
{
    const int nl = ws.nb_lig, nc = ws.nb_col;
    const int base = ws.base, top = ws.altmax;
    auto in_zones = [&](int i, int j) { return i >= 1 && j >= 1 && ws.tab[i][j] == 1 && ws.itab[i][j] >= base; };
    if (!in_zones(ci, cj) || top < base) return;

    const std::size_t levels = std::size_t(std::int64_t(top) - base + 1);
    const int ia = std::max(i0, 1);
    const int blocks = std::max(1, std::min(i1 - ia + 1, thread_count() * 4));
    std::int32_t* jn = join.data();
    if (by_union_find)
        join_by_union_find(ws, levels, ia, blocks);
    else
        join_by_flood(ws, levels);

    // The zone's counts and sums per altitude.
    zone.gather(ia, i1 + 1, blocks, [&](LevelStats& part, int i) {
        for (int j = std::max(j0, 1); j <= j1; ++j)
            if (const std::int32_t k = jn[std::size_t(i) * nc + j]; k != never)
                part.add(k, i, j, i <= nl - 2 && j <= nc - 2);
    });
    zone.accumulate();
    for (int k = zone.hi; k >= zone.lo; --k)
        if (zone.count[zone.at(k)] >= 2 && zone.interior[zone.at(k)] >= 1) {
            item_top = k;
            break;
        }
}
