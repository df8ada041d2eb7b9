// A result file that cannot be written ends the run with one error
// message naming it, exit status 1 and no key wait.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>

#include "stage_support.hpp"

// Results are written under temporary names and renamed at the end, so a
// full device is imitated by a limit on the size of any file the process
// writes: the first write past it fails (EFBIG).
TEST(WriteFailure, FullDeviceEndsTheRunWithoutTheKeyWait)
{
    for (rlim_t limit : {rlim_t(1), rlim_t(300), rlim_t(3000)}) {
        TempRoot root;
        const std::string dir = root.folder("site1");
        write_file(dir + "dem1.asc", esri_text(small_cone()));
        write_file(dir + "dem1_info.txt", "an earlier run's report\n");

        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = saved;
        small.rlim_cur = limit;
        setrlimit(RLIMIT_FSIZE, &small);
        RunResult r = run_program("site1\ndem1\n0\n10\n0\n1\n0\n0\n101\n0\n6\n6\n0\n1\n\n");
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, old_handler);

        EXPECT_EQ(r.status, 1) << limit;
        const std::string c = rooted(r.console, root);
        EXPECT_NE(c.find("\n\tError : cannot write ROOT/site1/dem1_"), std::string::npos) << c.substr(c.size() - 300);
        EXPECT_EQ(count_of(c, "\n\tError : "), 1) << limit;
        EXPECT_EQ(count_of(c, "Press any key"), 0) << limit;
        EXPECT_EQ(list_dir(dir), (std::vector<std::string>{"dem1.asc", "dem1_info.txt"})) << limit;
        EXPECT_EQ(read_file(dir + "dem1_info.txt"), "an earlier run's report\n");
    }
}
