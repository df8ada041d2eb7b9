#include <cmath>
#include <cstdlib>
#include <utility>
#include <vector>

#include "slices.hpp"
#include "workspace.hpp"
#include "reference.hpp"

namespace reference {

// Gift wrapping from the lowest, leftmost point: at each vertex the next one is
// the point at the smallest angle above the previous edge's angle, the farthest
// of those in that exact direction, the first in scan order among equals.
void convexity(Workspace& ws, std::vector<Workspace::GridPoint>* vertices)
{
    struct Point {
        int i, j;
    };
    std::vector<Point> pts;
    for (int i = 0; i < ws.nb_lig; ++i)
        for (int j = 0; j < ws.nb_col; ++j)
            if (ws.tab_co[i][j] == 1) pts.push_back({i, j});

    int idmax = 0, jdmin = 100000;
    for (const Point& p : pts) idmax = std::max(idmax, p.i);
    for (const Point& p : pts)
        if (p.i == idmax) jdmin = std::min(jdmin, p.j);

    const double pi = 4.0 * std::atan(1.0);
    const double to_degrees = 180.0 / pi;
    std::vector<Point> vtx{{idmax, jdmin}};
    double theta_prec = -10.0;
    std::vector<std::pair<Point, double>> cand;
    for (;;) {
        const Point v = vtx.back();
        auto angle = [&](const Point& p, double& fiy, double& fix) {
            fiy = double(v.i - p.i);
            fix = double(p.j - v.j);
            double theta = std::atan2(fiy, fix) * to_degrees;
            if (theta < 0) theta += 360.0;
            return theta;
        };
        double theta_min = 360.0;
        for (const Point& p : pts) {
            if (p.i == v.i && p.j == v.j) continue;
            double fiy, fix;
            double theta = angle(p, fiy, fix);
            if (theta > theta_prec && theta < theta_min) theta_min = theta;
        }
        cand.clear();
        for (const Point& p : pts) {
            if (p.i == v.i && p.j == v.j) continue;
            double fiy, fix;
            if (angle(p, fiy, fix) == theta_min) cand.push_back({p, std::sqrt(fix * fix + fiy * fiy)});
        }
        if (cand.empty()) break;
        double dismax = 0;
        for (const auto& c : cand) dismax = std::max(dismax, c.second);
        for (const auto& c : cand)
            if (c.second == dismax) {
                vtx.push_back(c.first);
                break;
            }
        theta_prec = theta_min;
    }

    if (vertices)
        for (const Point& p : vtx) vertices->push_back({p.i, p.j});
    for (std::size_t m = 1; m < vtx.size(); ++m)
        reference::trace_droite_pol(ws, vtx[m - 1].i, vtx[m - 1].j, vtx[m].i, vtx[m].j);
    reference::trace_droite_pol(ws, vtx.back().i, vtx.back().j, vtx.front().i, vtx.front().j);

    if (ws.flag_convex != 1) reference::filling(ws);
}

// Digital differential line: one cell per step along the longer direction,
// the other coordinate rounded (+0.5, then truncation).
void trace_droite_pol(Workspace& ws, int ideb, int jdeb, int ifin, int jfin)
{
    const double a = double(jfin - jdeb), b = double(ifin - ideb);
    const double rmax = std::max(std::fabs(a), std::fabs(b));
    if (rmax == 0) return;
    const double dinext = b / rmax, djnext = a / rmax;
    int ci = ideb, cj = jdeb;
    double ri = ideb, rj = jdeb;
    for (long steps = long(rmax); steps >= 0; --steps) {
        ws.tab_conv[ci][cj] = 2;
        if (ci == ifin && cj == jfin) break;
        ri += dinext;
        rj += djnext;
        ci = int(ri + 0.5);
        cj = int(rj + 0.5);
    }
}

void filling(Workspace& ws)
{
    const int nl = ws.nb_lig, nc = ws.nb_col;
    std::vector<std::pair<int, int>> stack{{ws.i_gv, ws.j_gv}};
    while (!stack.empty()) {
        auto [i, jk] = stack.back();
        stack.pop_back();
        std::uint8_t* row = ws.tab_conv[i];
        int jg = 2;
        for (int c = jk - 1; c >= 1; --c)
            if (row[c] != 0) {
                jg = c + 1;
                break;
            }
        if (jg == 2 && nc > 1) row[1] = 2;
        int jd = nc - 1;
        for (int c = jk + 1; c <= nc - 1; ++c)
            if (row[c] != 0) {
                jd = c - 1;
                break;
            }
        for (int j = jg; j <= jd; ++j) row[j] = 2;
        for (int ni : {i - 1, i + 1}) {
            if (ni < 1 || ni >= nl) continue;
            const std::uint8_t* nrow = ws.tab_conv[ni];
            for (int j = jg; j <= jd; ++j)
                if (nrow[j] == 0 && (j == jd || nrow[j + 1] != 0)) stack.push_back({ni, j});
        }
    }
}

}  // namespace reference
