#include <algorithm>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "nodata.hpp"
#include "parallel.hpp"
#include "slices.hpp"
#include "workspace.hpp"

namespace {

constexpr std::uint32_t outside = 0xFFFFFFFFu;

// Root of x: the smallest cell of its zone once the zones are joined.
std::uint32_t root_of(const std::uint32_t* parent, std::uint32_t x)
{
    while (parent[x] != x) x = parent[x];
    return x;
}

std::uint32_t find_halving(std::uint32_t* parent, std::uint32_t x)
{
    while (parent[x] != x) {
        parent[x] = parent[parent[x]];
        x = parent[x];
    }
    return x;
}

void join(std::uint32_t* parent, std::uint32_t a, std::uint32_t b)
{
    a = find_halving(parent, a);
    b = find_halving(parent, b);
    if (a < b)
        parent[b] = a;
    else if (b < a)
        parent[a] = b;
}

// The zones of the basal slice (tab1 == 1) as suiv_formes finds them: cells
// 8-connected within lines 1..nb_lig-1 and columns 1..nb_col-1, a zone being
// an item when it has two cells or more and one of them inside lines
// 1..nb_lig-2 and columns 1..nb_col-2; items are numbered in scan order of
// their first inner cell, 10 skipped.  The zones are joined block of lines by
// block of lines on all threads, then across the blocks; their labels are not
// drawn.  Leaves num, tab1 holding each cell's zone (its smallest cell, or -1)
// and returns the label of the centre's zone (0 when it is no item).
int basal_zones(Workspace& ws)
{
    const int nl = ws.nb_lig, nc = ws.nb_col;
    std::uint32_t* parent = reinterpret_cast<std::uint32_t*>(ws.tab_pl.data());
    std::int32_t* t1 = ws.tab1.data();
    auto in_slice = [&](int i, int j) { return i >= 1 && j >= 1 && t1[std::size_t(i) * nc + j] == 1; };
    const int lines = nl;
    const int blocks = std::max(1, std::min(lines, std::size_t(nl) * std::size_t(nc) < parallel_threshold()
                                                       ? 1
                                                       : thread_count() * 4));
    auto block_lines = [&](int b, int& first, int& last) {
        first = int(std::int64_t(lines) * b / blocks);
        last = int(std::int64_t(lines) * (b + 1) / blocks);
    };
    // Within each block, every cell joins its neighbours already seen.
    parallel_tasks(blocks, [&](int b) {
        int first, last;
        block_lines(b, first, last);
        for (int i = first; i < last; ++i)
            for (int j = 0; j < nc; ++j) {
                const std::uint32_t p = std::uint32_t(std::size_t(i) * nc + j);
                if (!in_slice(i, j)) {
                    parent[p] = outside;
                    continue;
                }
                parent[p] = p;
                if (in_slice(i, j - 1)) join(parent, p, p - 1);
                if (i > first)
                    for (int b2 = j - 1; b2 <= j + 1; ++b2)
                        if (b2 < nc && in_slice(i - 1, b2)) join(parent, p, std::uint32_t(std::size_t(i - 1) * nc + b2));
            }
    });
    // Across the blocks.
    for (int b = 1; b < blocks; ++b) {
        int first, last;
        block_lines(b, first, last);
        if (first >= last) continue;
        for (int j = 0; j < nc; ++j) {
            if (!in_slice(first, j)) continue;
            const std::uint32_t p = std::uint32_t(std::size_t(first) * nc + j);
            for (int b2 = j - 1; b2 <= j + 1; ++b2)
                if (b2 < nc && in_slice(first - 1, b2)) join(parent, p, std::uint32_t(std::size_t(first - 1) * nc + b2));
        }
    }
    // Each cell's zone; then, block by block, the zones' sizes and first
    // inner cells.
    struct Zone {
        std::uint64_t cells = 0;
        std::uint32_t first_inner = outside;
    };
    std::vector<std::unordered_map<std::uint32_t, Zone>> found(static_cast<std::size_t>(blocks));
    parallel_tasks(blocks, [&](int b) {
        int first, last;
        block_lines(b, first, last);
        std::unordered_map<std::uint32_t, Zone>& zones = found[std::size_t(b)];
        std::uint32_t last_root = outside;
        Zone* last_zone = nullptr;
        for (int i = first; i < last; ++i)
            for (int j = 0; j < nc; ++j) {
                const std::uint32_t p = std::uint32_t(std::size_t(i) * nc + j);
                if (parent[p] == outside) {
                    t1[p] = -1;
                    continue;
                }
                const std::uint32_t r = root_of(parent, p);
                t1[p] = std::int32_t(r);
                if (r != last_root) {
                    last_root = r;
                    last_zone = &zones[r];
                }
                ++last_zone->cells;
                if (i <= nl - 2 && j <= nc - 2 && last_zone->first_inner == outside) last_zone->first_inner = p;
            }
    });
    std::unordered_map<std::uint32_t, Zone> zones;
    for (const auto& block : found)  // blocks in order of lines: the first inner cell is the first seen
        for (const auto& [r, z] : block) {
            Zone& all = zones[r];
            all.cells += z.cells;
            if (all.first_inner == outside) all.first_inner = z.first_inner;
        }
    found.clear();
    std::vector<std::uint32_t> items;  // first inner cells of the items
    for (const auto& [r, z] : zones)
        if (z.cells >= 2 && z.first_inner != outside) items.push_back(z.first_inner);
    std::sort(items.begin(), items.end());
    ws.num = int(items.size()) >= 10 ? int(items.size()) + 1 : int(items.size());

    const std::int32_t centre = t1[std::size_t(ws.i_gv) * nc + ws.j_gv];
    if (centre < 0) return 0;
    const Zone& z = zones[std::uint32_t(centre)];
    if (z.cells < 2 || z.first_inner == outside) return 0;
    const int rank = int(std::lower_bound(items.begin(), items.end(), z.first_inner) - items.begin()) + 1;
    return rank >= 10 ? rank + 1 : rank;
}

}  // namespace

void select_basal_item(Workspace& ws)
{
    const std::int32_t* it = ws.itab.data();
    std::int32_t* t1 = ws.tab1.data();
    // An edifice given by its outline: the basal slice holds its cells alone.
    const std::uint8_t* in_outline = ws.outline_cells ? ws.outline_cells.data() : nullptr;
    std::vector<int> line_count(std::size_t(ws.nb_lig));
    parallel_rows(0, ws.nb_lig, std::size_t(ws.nb_col), [&](int first, int last) {
        for (int i = first; i < last; ++i) {
            int n = 0;
            for (std::size_t k = std::size_t(i) * ws.nb_col, end = k + ws.nb_col; k < end; ++k) {
                t1[k] = it[k] >= ws.base && !without_data(ws, k) && (!in_outline || in_outline[k]) ? 1 : 0;
                n += t1[k];
            }
            line_count[std::size_t(i)] = n;
        }
    });
    int count = 0;
    for (int n : line_count) count += n;
    ws.say("\n\tNumber of pixels in the former basic slice = %d \n", count);
    ws.nb_pix_bin = count;

    int centre_label;
    if (ws.tab1.size() < (std::size_t(1) << 31)) {
        centre_label = basal_zones(ws);
    } else {  // cell numbers beyond 32 bits: the labels are drawn
        ws.num = 0;
        init_vect(ws);
        suiv_formes(ws);
        centre_label = ws.tab1[ws.i_gv][ws.j_gv];
        for (std::size_t k = 0; k < ws.tab1.size(); ++k)
            if (t1[k] != centre_label || centre_label == 0) t1[k] = -1;
    }

    if (ws.num == 1) {
        ws.say("\n\tOnly one zone located upper the base line ");
        ws.report("\n\n\tOnly one zone located upper the base line ");
    } else if (ws.num < 10) {
        ws.say("\n\tNumber of items located upper the base line = %d ", ws.num);
        ws.report("\n\n\tNumber of items located upper the base line = %d ", ws.num);
    } else {
        ws.say("\n\tNumber of items = %d ", ws.num - 1);
        ws.say("\n\n\tCaution : the value 10 is not atributed ");
        ws.say("\n\tas this value corresponds to an order system ");
        ws.report("\n\n\tNumber of items = %d ", ws.num - 1);
        ws.report("\n\n\tCaution : the value 10 is not affected ");
        ws.report("\n\tas this value corresponds to an order system ");
    }

    ws.figures.items = ws.num < 10 ? ws.num : ws.num - 1;

    ws.val_base = centre_label;
    ws.both("\n\n\tChosen item = %d ", ws.val_base);
    // Label 0 is the land below the base line and whatever the labelling
    // drops: no edifice to measure.
    if (ws.val_base == 0)
        fail(cfmt("the centre point (line %d, column %d) lies on no item above the base line (%d m) : type a "
                  "centre on the edifice or choose a lower base line",
                  ws.i_gv, ws.j_gv, ws.base));
    // The centre's zone; tab1 is left as scratch.
    std::uint8_t* t = ws.tab.data();
    const std::int32_t zone = t1[std::size_t(ws.i_gv) * ws.nb_col + ws.j_gv];  // not -1 by now
    parallel_rows(0, ws.nb_lig, std::size_t(ws.nb_col), [&](int first, int last) {
        for (std::size_t k = std::size_t(first) * ws.nb_col, end = std::size_t(last) * ws.nb_col; k < end; ++k)
            t[k] = t1[k] == zone ? 1 : 0;
    });
    if (ws.val_base != 0) {
        const int touched = cells_without_data_touching(ws, ws.tab);
        ws.figures.cells_without_data_touched = touched;
        if (touched > 0)
            ws.warn("nodata", "\n\tWarning : the edifice touches %d cells without data : its measures near them are uncertain ",
                    touched);
    }
}

int cells_without_data_touching(const Workspace& ws, const nrutil::UcGrid& item)
{
    if (ws.nodata_cells == 0) return 0;
    const int nl = ws.nb_lig, nc = ws.nb_col;
    int count = 0;
    for (int i = 0; i < nl; ++i)
        for (int j = 0; j < nc; ++j) {
            if (!ws.nodata[i][j]) continue;
            bool touches = false;
            for (int a = std::max(i - 1, 0); a <= std::min(i + 1, nl - 1) && !touches; ++a)
                for (int b = std::max(j - 1, 0); b <= std::min(j + 1, nc - 1); ++b)
                    if (item[a][b] == 1) {
                        touches = true;
                        break;
                    }
            count += touches;
        }
    return count;
}

// The slice keeps the item under the centre point; when the centre lies below
// the slice (a crater floor) it keeps every piece of the edifice at or above k.
// A centre whose own piece is not an item (a lone cell) gives an empty slice.
void select_slice_item(Workspace& ws, int k)
{
    const std::size_t cells = ws.tab1.size();
    const std::int32_t* it = ws.itab.data();
    const std::uint8_t* t = ws.tab.data();
    std::int32_t* t1 = ws.tab1.data();
    std::int32_t* pl = ws.tab_pl.data();
    for (std::size_t p = 0; p < cells; ++p) t1[p] = (it[p] >= k && t[p] == 1) ? 1 : 0;

    if (ws.tab1[ws.i_gv][ws.j_gv] == 1) {
        ws.num = 0;
        suiv_formes(ws);
        const std::int32_t val_center = ws.tab1[ws.i_gv][ws.j_gv];
        for (std::size_t p = 0; p < cells; ++p)
            pl[p] = (val_center != 0 && t1[p] == val_center && t[p] == 1) ? 1 : 0;
    } else {
        ws.tab_pl.copy_from(ws.tab1);
    }
}
