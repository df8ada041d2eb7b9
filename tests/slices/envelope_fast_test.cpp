// The convex envelope from the exact hull against the straightforward
// gift-wrapping walk over every point, drawn and filled, on random point sets.
#include <gtest/gtest.h>

#include "convex_envelope.hpp"
#include "envelope_runs.hpp"
#include "random_relief.hpp"
#include "reference.hpp"
#include "run_support.hpp"

namespace {

void random_points(Workspace& ws, Rng& rng)
{
    const int nl = rng.uniform(1, 40), nc = rng.uniform(1, 40);
    allocate_all(ws, nl, nc);
    const int shape = rng.uniform(0, 4);
    const int i0 = rng.uniform(0, nl - 1), i1 = rng.uniform(i0, nl - 1);
    const int j0 = rng.uniform(0, nc - 1), j1 = rng.uniform(j0, nc - 1);
    const double density = rng.unit() * 0.3;
    for (int i = 0; i < nl; ++i)
        for (int j = 0; j < nc; ++j) {
            bool on = false;
            switch (shape) {
            case 0: on = rng.unit() < density; break;                       // scattered
            case 1: on = (i == nl / 2 || j == nc / 3) && rng.unit() < 0.7; break;  // lines
            case 2: on = std::abs((i - nl / 2) * (i - nl / 2) + (j - nc / 2) * (j - nc / 2) - 60) < 12; break;
            case 3: on = rng.unit() < 0.02; break;                          // a few points
            default: on = i >= i0 && i <= i1 && j >= j0 && j <= j1 && rng.unit() < 0.9; break;  // a rectangle
            }
            ws.tab_co[i][j] = on ? 1 : (rng.unit() < 0.5 ? 0 : 255);
        }
    ws.i_gv = rng.uniform(0, nl - 1);
    ws.j_gv = rng.uniform(0, nc - 1);
}

}  // namespace

TEST(EnvelopeFast, SameOutlineAndFillAsTheFullWalk)
{
    for (std::uint64_t seed = 1; seed <= 1500; ++seed) {
        for (int fill = 0; fill < 2; ++fill) {
            Rng rng(seed), again(seed);
            TestWorkspace fast, slow;
            random_points(fast.ws, rng);
            random_points(slow.ws, again);
            const std::uint8_t background = fill ? 0 : 255;
            fast.ws.tab_conv.fill(background);
            slow.ws.tab_conv.fill(background);
            fast.ws.flag_convex = slow.ws.flag_convex = fill ? 2 : 1;
            convexity(fast.ws);
            reference::convexity(slow.ws);
            for (std::size_t p = 0; p < slow.ws.tab_conv.size(); ++p)
                ASSERT_EQ(fast.ws.tab_conv.data()[p], slow.ws.tab_conv.data()[p])
                    << "seed " << seed << " fill " << fill << " cell " << p;
        }
    }
}

// The envelope filled as runs against the grid filled by fill_envelope: the
// same cells, the same verdict against a random edifice, the same outline,
// for seeds inside, outside, on the outline and on the grid's edges.
TEST(EnvelopeFast, RunsGiveTheCellsOfTheFilledGrid)
{
    for (std::uint64_t seed = 1; seed <= 1500; ++seed) {
        Rng rng(seed);
        TestWorkspace t;
        Workspace& ws = t.ws;
        random_points(ws, rng);
        const int nl = ws.nb_lig, nc = ws.nb_col;
        std::vector<std::uint32_t> points;
        for (int i = 0; i < nl; ++i)
            for (int j = 0; j < nc; ++j)
                if (ws.tab_co[i][j] == 1) points.push_back(std::uint32_t(std::size_t(i) * nc + j));
        if (points.empty()) continue;
        nrutil::UcGrid conv(nc, nl);
        std::vector<std::uint32_t> drawn;
        draw_envelope(conv, envelope_vertices(points, nc, ws.tab_co, 1), &drawn);
        fill_envelope(conv, ws.i_gv, ws.j_gv, nullptr);

        EnvelopeRuns runs(nl, nc);
        runs.draw(drawn);
        runs.fill(ws.i_gv, ws.j_gv);

        // An edifice: a disc, holes and all, or everything.
        const double ci = rng.uniform(0, nl - 1), cj = rng.uniform(0, nc - 1), r = rng.uniform(0, 40);
        const bool everything = rng.unit() < 0.2;
        for (int i = 0; i < nl; ++i)
            for (int j = 0; j < nc; ++j)
                ws.tab[i][j] = everything || ((i - ci) * (i - ci) + (j - cj) * (j - cj) < r * r && rng.unit() < 0.97);
        bool outside = false;
        std::vector<std::uint32_t> outline, cells;
        for (int i = 0; i < nl; ++i)
            for (int j = 0; j < nc; ++j) {
                if (conv[i][j] != 2) continue;
                cells.push_back(std::uint32_t(std::size_t(i) * nc + j));
                outside = outside || ws.tab[i][j] == 0;
                if (i >= 1 && i <= nl - 2 && j >= 1 && j <= nc - 2 &&
                    (conv[i - 1][j] == 0 || conv[i + 1][j] == 0 || conv[i][j - 1] == 0 || conv[i][j + 1] == 0))
                    outline.push_back(cells.back());
            }
        std::vector<std::uint32_t> line;
        runs.outline(line);
        ASSERT_EQ(runs.leaves(runs_of(ws.tab, 1)), outside) << "seed " << seed;
        ASSERT_EQ(line, outline) << "seed " << seed;
        std::vector<std::uint32_t> from_runs;
        for (int i = 0; i < nl; ++i)
            for (const auto& [x, y] : runs.line(i))
                for (int j = x; j <= y; ++j) from_runs.push_back(std::uint32_t(std::size_t(i) * nc + j));
        ASSERT_EQ(from_runs, cells) << "seed " << seed;
    }
}
