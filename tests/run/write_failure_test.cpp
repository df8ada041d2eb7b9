// A result file that cannot be written ends the run with one error
// message naming it, exit status 1 and no key wait.
#include <gtest/gtest.h>

#include <filesystem>

#include "stage_support.hpp"

TEST(WriteFailure, FullDeviceEndsTheRunWithoutTheKeyWait)
{
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full on this system";
    for (const std::string name : {"dem1_orient.xls", "dem1_info.txt", "dem1_rec1_m2.raw"}) {
        TempRoot root;
        const std::string dir = root.folder("site1");
        write_file(dir + "dem1.asc", esri_text(small_cone()));
        std::filesystem::create_symlink("/dev/full", dir + name);
        RunResult r = run_program("site1\ndem1\n0\n10\n0\n1\n0\n0\n101\n0\n6\n6\n0\n1\n\n");
        EXPECT_EQ(r.status, 1) << name;
        const std::string c = rooted(r.console, root);
        EXPECT_NE(c.find("\n\tError : cannot write ROOT/site1/" + name), std::string::npos) << c.substr(c.size() - 300);
        EXPECT_EQ(count_of(c, "\n\tError : "), 1) << name;
        EXPECT_EQ(count_of(c, "Press any key"), 0) << name;
        for (const std::string& f : list_dir(dir))
            EXPECT_TRUE(f == "dem1.asc" || f == name) << f << " left behind";
    }
}
