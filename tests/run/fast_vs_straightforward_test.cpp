// Whole runs of the program on many random reliefs, with its own stages and
// with the straightforward ones: every output byte must agree.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "parallel.hpp"
#include "random_relief.hpp"
#include "reference.hpp"
#include "run_support.hpp"

namespace {

void write_raw32(const std::string& dir, const Relief& r)
{
    std::string data;
    int lo = r.z[0], hi = r.z[0];
    for (int v : r.z) {
        char b[4];
        std::memcpy(b, &v, 4);  // the machines we build on are little-endian
        data.append(b, 4);
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    write_file(dir + "dem_m4.raw", data);
    write_file(dir + "dem_m4.txt", std::to_string(r.lines) + "\n" + std::to_string(r.columns) + "\n4\n" +
                                       std::to_string(lo) + "\n" + std::to_string(hi) + "\n10\n");
}

// The centre typed, or calculated from the basal slice when `calculated`.
std::string answers_for(const Relief& r, Rng& rng, bool calculated)
{
    std::string a = "site\ndem\n1\n1\n0\n10\n0\n1\n1\n0\n";
    if (calculated)
        a += std::to_string(r.base) + "\n1\n";
    else
        a += std::to_string(r.base) + "\n0\n" + std::to_string(r.centre_i) + "\n" + std::to_string(r.centre_j) + "\n";
    a += std::to_string(rng.uniform(0, 1)) + "\n";
    if (rng.unit() < 0.7)
        a += "0\n" + std::to_string(rng.uniform(2, 10)) + "\n" + std::to_string(rng.uniform(0, 1)) + "\n";
    else
        a += "1\n";
    return a + "\n";
}

struct Outcome {
    RunResult run;
    std::vector<std::pair<std::string, std::string>> files;
};

// The program on `threads` threads, sharing out even the smallest grids;
// the straightforward stages on one.
class Threads {
public:
    explicit Threads(int n)
    {
        set_thread_count(n);
        set_parallel_threshold(n > 1 ? 0 : default_parallel_threshold);
    }
    ~Threads()
    {
        set_thread_count(0);
        set_parallel_threshold(default_parallel_threshold);
    }
};

const int thread_counts[] = {1, 2, 3, 8};

Outcome run_in(const Relief& r, const std::string& answers, const Stages* stages, int threads = 1)
{
    Threads use(threads);
    TempRoot root;
    const std::string site = root.folder("site");
    write_raw32(site, r);
    Outcome o{run_program(answers, stages), {}};
    o.run.console = replace_all(o.run.console, root.path(), "ROOT/");
    for (const std::string& f : list_dir(site)) {
        std::string content = read_file(site + f);
        if (f.ends_with("_info.txt")) content = replace_all(content, root.path(), "ROOT/");
        o.files.emplace_back(f, content);
    }
    return o;
}

}  // namespace

// TEPHROMAT_RANDOM_RUNS=n checks n reliefs instead of the 150 of a normal run.
TEST(FastVersusStraightforward, WholeRunsOnRandomReliefs)
{
    const char* runs = std::getenv("TEPHROMAT_RANDOM_RUNS");
    const std::uint64_t count = runs ? std::strtoull(runs, nullptr, 10) : 150;
    std::uint64_t complete = 0;
    for (std::uint64_t seed = 1; seed <= count; ++seed) {
        const Relief r = random_relief(seed);
        Rng rng(seed * 7919);
        const std::string answers = answers_for(r, rng, rng.unit() < 0.3);
        const int threads = thread_counts[seed % 4];
        Outcome fast = run_in(r, answers, &program_stages, threads);
        Outcome slow = run_in(r, answers, &reference_stages);
        // A centre on no item ends both with the same error.
        ASSERT_EQ(fast.run.status, slow.run.status) << "seed " << seed << ", " << threads << " threads" << fast.run.console;
        ASSERT_EQ(fast.run.console, slow.run.console) << "seed " << seed << ", " << threads << " threads";
        complete += fast.run.status == 0;
        ASSERT_EQ(fast.files.size(), slow.files.size()) << "seed " << seed;
        for (std::size_t n = 0; n < fast.files.size(); ++n) {
            ASSERT_EQ(fast.files[n].first, slow.files[n].first) << "seed " << seed;
            if (fast.files[n].second != slow.files[n].second && std::getenv("DUMP_DIFF")) {
                write_file("/tmp/fast_" + fast.files[n].first, fast.files[n].second);
                write_file("/tmp/slow_" + fast.files[n].first, slow.files[n].second);
            }
            ASSERT_TRUE(fast.files[n].second == slow.files[n].second)
                << "seed " << seed << ", " << threads << " threads: " << fast.files[n].first << " differs";
        }
    }
    if (count >= 30) {
        EXPECT_GE(complete * 3, count * 2) << "too few complete runs to compare";
    }
}

// A calculated centre that the radial sections move off the basal slice's
// centre: the rebuilt cone follows the zones around the centre as it then
// stands.
TEST(FastVersusStraightforward, WholeRunsWithACalculatedCentreThatMoves)
{
    int moved = 0;
    for (std::uint64_t seed = 1; seed <= 40; ++seed) {
        const Relief r = two_summits_and_a_hill(seed);
        Rng rng(seed);
        const std::string answers = answers_for(r, rng, true);
        const int threads = thread_counts[seed % 4];
        Outcome fast = run_in(r, answers, &program_stages, threads);
        Outcome slow = run_in(r, answers, &reference_stages);
        ASSERT_EQ(fast.run.status, 0) << "seed " << seed << fast.run.console;
        ASSERT_EQ(fast.run.console, slow.run.console) << "seed " << seed << ", " << threads << " threads";
        ASSERT_EQ(fast.files.size(), slow.files.size()) << "seed " << seed;
        for (std::size_t n = 0; n < fast.files.size(); ++n)
            ASSERT_TRUE(fast.files[n] == slow.files[n])
                << "seed " << seed << ", " << threads << " threads: " << fast.files[n].first << " differs";

        // The basal slice's centre, against the one the run printed.
        std::int64_t count = 0, si = 0, sj = 0;
        for (int i = 0; i < r.lines; ++i)
            for (int j = 0; j < r.columns; ++j)
                if (r.at(i, j) >= r.base) {
                    ++count;
                    si += i;
                    sj += j;
                }
        const std::string basal = "\n\t\tline   = " + std::to_string(si / count) + " \n\t\tcolumn = " +
                                  std::to_string(sj / count) + " ";
        moved += fast.run.console.find(basal) == std::string::npos;
    }
    EXPECT_GE(moved, 30);
}

// Larger cones, shared out between 1, 2, 3 and 8 threads: every count gives
// the bytes of the straightforward stages.
TEST(FastVersusStraightforward, WholeRunsOnLargeCones)
{
    for (std::uint64_t seed = 1; seed <= 2; ++seed) {
        const Relief r = large_cone(seed);
        Rng rng(seed);
        const std::string answers = answers_for(r, rng, seed == 2);
        Outcome slow = run_in(r, answers, &reference_stages);
        for (const int threads : thread_counts) {
            Outcome fast = run_in(r, answers, &program_stages, threads);
            ASSERT_EQ(fast.run.status, 0) << fast.run.console;
            ASSERT_EQ(fast.run.console, slow.run.console) << "seed " << seed << ", " << threads << " threads";
            ASSERT_EQ(fast.files.size(), slow.files.size());
            for (std::size_t n = 0; n < fast.files.size(); ++n)
                EXPECT_TRUE(fast.files[n] == slow.files[n])
                    << "seed " << seed << ", " << threads << " threads: " << fast.files[n].first << " differs";
        }
    }
}
