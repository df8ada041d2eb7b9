// The convex envelope from the exact hull against the straightforward
// gift-wrapping walk over every point, drawn and filled, on random point sets.
#include <gtest/gtest.h>

#include "random_relief.hpp"
#include "reference.hpp"
#include "run_support.hpp"

namespace {

void random_points(Workspace& ws, Rng& rng)
{
    const int nl = rng.uniform(1, 40), nc = rng.uniform(1, 40);
    allocate_all(ws, nl, nc);
    const int shape = rng.uniform(0, 3);
    const double density = rng.unit() * 0.3;
    for (int i = 0; i < nl; ++i)
        for (int j = 0; j < nc; ++j) {
            bool on = false;
            switch (shape) {
            case 0: on = rng.unit() < density; break;                       // scattered
            case 1: on = (i == nl / 2 || j == nc / 3) && rng.unit() < 0.7; break;  // lines
            case 2: on = std::abs((i - nl / 2) * (i - nl / 2) + (j - nc / 2) * (j - nc / 2) - 60) < 12; break;
            default: on = rng.unit() < 0.02; break;                         // a few points
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
