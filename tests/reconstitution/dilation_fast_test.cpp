// The dilation kept between calls against repeated calls of the
// straightforward dilat, on random grids of set and unset cells.
#include <gtest/gtest.h>

#include "dilation.hpp"
#include "parallel.hpp"
#include "random_relief.hpp"
#include "reference.hpp"
#include "run_support.hpp"

namespace {

// Set cells scattered at some density, with values of a tilted or random
// surface; sometimes only diagonal contacts, sometimes none at all; sometimes
// every cell set outside a rectangle (which may touch the edges, or be empty).
void random_ktab(Workspace& ws, Rng& rng)
{
    const int nl = rng.uniform(1, 24), nc = rng.uniform(1, 24);
    allocate_all(ws, nl, nc);
    const double density = rng.unit() < 0.1 ? 0.0 : rng.unit() * 0.6;
    const bool chessboard = rng.unit() < 0.15;
    int i0 = 0, i1 = nl - 1, j0 = 0, j1 = nc - 1;
    if (rng.unit() < 0.3) {
        i0 = rng.uniform(0, nl - 1), i1 = rng.uniform(i0 - 1, nl - 1);
        j0 = rng.uniform(0, nc - 1), j1 = rng.uniform(j0, nc - 1);
    }
    for (int i = 0; i < nl; ++i)
        for (int j = 0; j < nc; ++j) {
            bool set = i < i0 || i > i1 || j < j0 || j > j1 ||
                       (chessboard ? (i % 2 == 0 && j % 2 == 0 && rng.unit() < 0.5) : rng.unit() < density);
            ws.ktab[i][j] = set ? (rng.unit() < 0.5 ? 100 + i * 3 - j * 2 : rng.uniform(0, 60)) : unset_altitude;
        }
}

}  // namespace

// On one thread, then with the repairs shared out between three threads in
// rounds of any size.
TEST(DilationFast, EveryCallMatchesTheStraightforwardDilat)
{
    for (std::uint64_t seed = 1; seed <= 800; ++seed) {
        const bool shared = seed > 400;
        set_thread_count(shared ? 3 : 1);
        set_parallel_threshold(shared ? 0 : default_parallel_threshold);
        Rng rng(seed);
        TestWorkspace fast, slow;
        random_ktab(fast.ws, rng);
        Rng again(seed);
        random_ktab(slow.ws, again);

        Dilation d(fast.ws);
        for (int call = 1; call <= 60; ++call) {
            d.step();
            reference::dilat(slow.ws);
            ASSERT_EQ(fast.ws.modif, slow.ws.modif) << "seed " << seed << " call " << call;
            for (std::size_t p = 0; p < slow.ws.ktab.size(); ++p)
                ASSERT_EQ(fast.ws.ktab.data()[p], slow.ws.ktab.data()[p]) << "seed " << seed << " call " << call;
            std::size_t unset = 0;
            for (std::size_t p = 0; p < slow.ws.ktab.size(); ++p) unset += slow.ws.ktab.data()[p] == unset_altitude;
            ASSERT_EQ(d.unset_count(), unset);
            if (slow.ws.modif == 0) break;
        }
    }
    set_thread_count(0);
    set_parallel_threshold(default_parallel_threshold);
}
