#include "centre_point.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <queue>
#include <utility>
#include <vector>

#include "auto_base.hpp"
#include "coordinates.hpp"
#include "nodata.hpp"
#include "workspace.hpp"

void dem_summit(const Workspace& ws, int& line, int& column)
{
    line = column = 0;
    bool any = false;
    std::int32_t top = 0;
    for (int i = 0; i < ws.nb_lig; ++i)
        for (int j = 0; j < ws.nb_col; ++j) {
            if (without_data(ws, i, j)) continue;
            if (!any || ws.itab[i][j] >= top) {
                top = ws.itab[i][j];
                line = i;
                column = j;
                any = true;
            }
        }
}

bool deepest_crater(const Workspace& ws, int base, int& line, int& column)
{
    const int nl = ws.nb_lig, nc = ws.nb_col;
    int si, sj;
    dem_summit(ws, si, sj);
    auto above = [&](int i, int j) { return ws.itab[i][j] >= base && !without_data(ws, i, j); };
    if (!above(si, sj)) return false;
    const std::size_t cells = std::size_t(nl) * std::size_t(nc);
    // The zone of the summit, 8-connected within lines 1.. and columns 1..
    // as the labelling joins cells (a summit on line 0 or column 0 stays
    // alone).
    std::vector<std::uint8_t> in(cells, 0);
    std::vector<std::size_t> stack{std::size_t(si) * nc + sj}, zone;
    in[stack.back()] = 1;
    while (!stack.empty()) {
        const std::size_t c = stack.back();
        stack.pop_back();
        zone.push_back(c);
        const int i = int(c / nc), j = int(c % nc);
        if (i == 0 || j == 0) continue;
        for (int a = i - 1; a <= i + 1; ++a)
            for (int b = j - 1; b <= j + 1; ++b) {
                if (a < 1 || b < 1 || a >= nl || b >= nc) continue;
                const std::size_t n = std::size_t(a) * nc + b;
                if (!in[n] && above(a, b)) {
                    in[n] = 1;
                    stack.push_back(n);
                }
            }
    }
    // The flood: from the zone's outlets (cells on the grid's border or next
    // to a cell outside the zone), the lowest first; each cell's level is
    // the highest it must climb to get out.
    std::vector<std::int64_t> level(cells, 0);
    using Entry = std::pair<std::int64_t, std::size_t>;
    std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> queue;
    std::vector<std::uint8_t> done(cells, 0);
    for (std::size_t c : zone) {
        const int i = int(c / nc), j = int(c % nc);
        bool outlet = i == 0 || j == 0 || i == nl - 1 || j == nc - 1;
        for (int a = i - 1; a <= i + 1 && !outlet; ++a)
            for (int b = j - 1; b <= j + 1; ++b)
                if (!in[std::size_t(a) * nc + b]) outlet = true;
        if (outlet) {
            level[c] = ws.itab[i][j];
            done[c] = 1;
            queue.push({level[c], c});
        }
    }
    while (!queue.empty()) {
        const auto [l, c] = queue.top();
        queue.pop();
        const int i = int(c / nc), j = int(c % nc);
        for (int a = std::max(i - 1, 0); a <= std::min(i + 1, nl - 1); ++a)
            for (int b = std::max(j - 1, 0); b <= std::min(j + 1, nc - 1); ++b) {
                const std::size_t n = std::size_t(a) * nc + b;
                if (!in[n] || done[n]) continue;
                done[n] = 1;
                level[n] = std::max<std::int64_t>(l, ws.itab[a][b]);
                queue.push({level[n], n});
            }
    }
    // The depressions: 8-connected cells that the flood leaves under water,
    // in scan order of their first cell; the deepest wins, the first on ties.
    auto depth = [&](std::size_t c) { return level[c] - ws.itab[int(c / nc)][int(c % nc)]; };
    std::vector<std::uint8_t> seen(cells, 0);
    std::int64_t best = 0;
    std::vector<std::size_t> best_cells;
    for (std::size_t start = 0; start < cells; ++start) {
        if (!in[start] || seen[start] || depth(start) < 1) continue;
        std::vector<std::size_t> region;
        stack.assign(1, start);
        seen[start] = 1;
        std::int64_t deepest = 0;
        while (!stack.empty()) {
            const std::size_t c = stack.back();
            stack.pop_back();
            region.push_back(c);
            deepest = std::max(deepest, depth(c));
            const int i = int(c / nc), j = int(c % nc);
            for (int a = std::max(i - 1, 0); a <= std::min(i + 1, nl - 1); ++a)
                for (int b = std::max(j - 1, 0); b <= std::min(j + 1, nc - 1); ++b) {
                    const std::size_t n = std::size_t(a) * nc + b;
                    if (in[n] && !seen[n] && depth(n) >= 1) {
                        seen[n] = 1;
                        stack.push_back(n);
                    }
                }
        }
        if (deepest > best) {
            best = deepest;
            best_cells = std::move(region);
        }
    }
    if (best < 1) return false;
    std::sort(best_cells.begin(), best_cells.end());
    std::int64_t sum_i = 0, sum_j = 0;
    for (std::size_t c : best_cells) {
        sum_i += std::int64_t(c / nc);
        sum_j += std::int64_t(c % nc);
    }
    const std::int64_t n = std::int64_t(best_cells.size());
    const std::size_t mean = std::size_t(sum_i / n) * nc + std::size_t(sum_j / n);
    if (std::binary_search(best_cells.begin(), best_cells.end(), mean)) {
        line = int(mean / nc);
        column = int(mean % nc);
        return true;
    }
    std::size_t deepest_cell = best_cells.front();
    for (std::size_t c : best_cells)
        if (depth(c) > depth(deepest_cell)) deepest_cell = c;
    line = int(deepest_cell / nc);
    column = int(deepest_cell % nc);
    return true;
}

std::string resolve_centre(Workspace& ws, const CentreRequest& c)
{
    RunParameters& p = ws.params;
    p.grav_cent = 0;
    const int nl = ws.nb_lig, nc = ws.nb_col;
    switch (c.kind) {
    case CentreRequest::calculated:
        p.grav_cent = 1;
        return {};
    case CentreRequest::summit:
        dem_summit(ws, p.i_gv, p.j_gv);
        return {};
    case CentreRequest::crater: {
        // With an automatic base, the crater is looked for in the zone of the
        // summit's own automatic base.
        int base = int(p.dbase);
        dem_summit(ws, p.i_gv, p.j_gv);
        if (p.base_auto) {
            const AutoBase a = auto_base(ws.itab, ws.nodata_cells ? &ws.nodata : nullptr, p.i_gv, p.j_gv);
            if (a.status != AutoBaseStatus::ok) return {};  // the summit is the centre: set_auto_base says why
            base = a.base;
        }
        int i, j;
        if (deepest_crater(ws, base, i, j)) {
            p.i_gv = i;
            p.j_gv = j;
            return {};
        }
        return cfmt("\n\t--centre crater : no closed depression lies around the summit above %d m : the summit (line "
                    "%d, column %d) is the centre ",
                    base, p.i_gv, p.j_gv);
    }
    case CentreRequest::cell:
        if (c.a < 0 || c.a >= nl || c.b < 0 || c.b >= nc)
            fail(cfmt("%s %.17g,%.17g lies outside the grid : line 0 to %d, column 0 to %d", c.option.c_str(), c.a,
                      c.b, nl - 1, nc - 1));
        p.i_gv = int(c.a);
        p.j_gv = int(c.b);
        return {};
    case CentreRequest::map_xy:
    case CentreRequest::lonlat: {
        const Georef g = dem_georef(ws);
        MapPoint xy{c.a, c.b};
        if (c.kind == CentreRequest::lonlat) {
            const std::optional<MapPoint> m = map_of_lonlat(g, {c.a, c.b});
            if (!m)
                fail(cfmt("%s %.10g,%.10g : %s states no coordinate system to place a longitude and latitude in",
                          c.option.c_str(), c.a, c.b, ws.nomim1.c_str()));
            xy = *m;
        }
        const std::optional<GridCell> cell = cell_of_map(g, xy);
        if (!cell || !in_grid(*cell, nl, nc)) {
            if (c.kind == CentreRequest::map_xy) {
                const Extent e = map_extent(g, nl, nc);
                fail(cfmt("%s %.10g,%.10g lies outside the grid : X %.10g to %.10g, Y %.10g to %.10g",
                          c.option.c_str(), c.a, c.b, e.x_min, e.x_max, e.y_min, e.y_max));
            }
            const std::optional<Extent> e = lonlat_extent(g, nl, nc);
            if (e)
                fail(cfmt("%s %.10g,%.10g lies outside the grid : longitude %.7f to %.7f, latitude %.7f to %.7f",
                          c.option.c_str(), c.a, c.b, e->x_min, e->x_max, e->y_min, e->y_max));
            fail(cfmt("%s %.10g,%.10g lies outside the grid", c.option.c_str(), c.a, c.b));
        }
        p.i_gv = int(cell->line);
        p.j_gv = int(cell->column);
        return {};
    }
    }
    return {};
}

void set_auto_base(Workspace& ws, const std::string& option)
{
    RunParameters& p = ws.params;
    const AutoBase a = auto_base(ws.itab, ws.nodata_cells ? &ws.nodata : nullptr, p.i_gv, p.j_gv);
    if (a.status == AutoBaseStatus::centre_without_data)
        fail(cfmt("%s : the centre point (line %d, column %d) is a cell without data", option.c_str(), p.i_gv, p.j_gv));
    if (a.status == AutoBaseStatus::centre_outside)
        fail(cfmt("%s : the centre point (line %d, column %d) lies outside the grid", option.c_str(), p.i_gv, p.j_gv));
    if (a.status == AutoBaseStatus::centre_open) {
        const char* why = a.limit == BaseLimit::edge     ? "reaches the edge of the grid"
                          : a.limit == BaseLimit::nodata ? "touches cells without data"
                                                         : "joins higher relief";
        fail(cfmt("%s : even at the centre point's own altitude (%d m, line %d, column %d) the zone that holds it %s : "
                  "no base line keeps the edifice clear; give the base line in metres",
                  option.c_str(), a.limit_m, p.i_gv, p.j_gv, why));
    }
    if (a.status == AutoBaseStatus::centre_alone) {
        const char* why = a.limit == BaseLimit::edge     ? "reaches the edge of the grid"
                          : a.limit == BaseLimit::nodata ? "touches cells without data"
                                                         : "joins higher relief";
        fail(cfmt("%s : at %d m the zone that holds the centre point (line %d, column %d) %s, and above it the "
                  "centre stands alone, a single cell, which is no item : no base line keeps the edifice clear; "
                  "give the base line in metres",
                  option.c_str(), a.limit_m, p.i_gv, p.j_gv, why));
    }
    p.dbase = a.base;
    Workspace::AutoBaseLine& b = ws.auto_base;
    b.chosen = true;
    b.base = a.base;
    b.limit_m = a.limit_m;
    b.limit = base_limit_name(a.limit);
    b.col_line = a.col_line;
    b.col_column = a.col_column;
    b.top = a.top;
    b.top_line = a.top_line;
    b.top_column = a.top_column;
}

std::string auto_base_lines(const Workspace& ws)
{
    const Workspace::AutoBaseLine& b = ws.auto_base;
    if (!b.chosen) return "";
    std::string t = cfmt("\n\tBase line chosen automatically : %d m : at %d m the edifice ", b.base, b.limit_m);
    if (b.limit == "edge")
        t += "reaches the edge of the grid ";
    else if (b.limit == "nodata")
        t += "touches cells without data ";
    else if (b.limit == "col")
        t += cfmt("joins higher relief at line %d, column %d ", b.col_line, b.col_column);
    else
        t += "stays clear ";
    t += cfmt("\n\tTop of the edifice's own relief : %d m (line %d, column %d) ", b.top, b.top_line, b.top_column);
    return t;
}
