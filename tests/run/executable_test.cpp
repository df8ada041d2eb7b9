// The real executable, driven through a shell pipe: main(), the exit status
// and the closing key wait on a standard input that is not a terminal.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <vector>

#include "stage_support.hpp"

namespace {

// Pipes `answers` into the program; returns its exit status (124: it hung).
int run_executable(const TempRoot& root, const std::string& answers)
{
    write_file(root.path() + "answers.txt", answers);
    const std::string cmd = "cat '" + root.path() + "answers.txt' | TEPHROMAT_ROOT='" + root.path() +
                            "' timeout 120 '" TEPHROMAT_EXE "' > '" + root.path() + "console.txt' 2>&1";
    const int st = std::system(cmd.c_str());
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

}  // namespace

TEST(Executable, ExitStatusesThroughAPipe)
{
    TempRoot root;
    const std::string dir = root.folder("site1");
    write_file(dir + "dem1.asc", esri_text(small_cone()));

    // A complete run: the key is the last line.
    EXPECT_EQ(run_executable(root, "site1\ndem1\n0\n10\n0\n0\n101\n0\n6\n6\n0\n1\n\n"), 0);
    std::string console = read_file(root.path() + "console.txt");
    EXPECT_NE(console.find("\n\n\tPress any key to exit the program "), std::string::npos);
    EXPECT_TRUE(file_exists(dir + "dem1_shaderos1.asc"));
    EXPECT_NE(read_file(dir + "dem1_info.txt").find("\n\tGravity center evolution saved as "), std::string::npos);

    // A complete run whose input ends at the key wait: still a normal end.
    EXPECT_EQ(run_executable(root, "site1\ndem1\n0\n10\n1\ndem2\n0\n101\n0\n6\n6\n0\n1"), 0);
    EXPECT_TRUE(file_exists(dir + "dem2_rec1.asc"));

    // The missing DEM path: the key wait, then a failure.
    EXPECT_EQ(run_executable(root, "site1\nnone\n0\n\n"), 1);
    EXPECT_NE(read_file(root.path() + "console.txt").find("\n\tFile " + dir + "none.asc unknown\n"),
              std::string::npos);

    // A system that gives fewer threads than asked for (here 1024 threads
    // within 300 MB of address space): the run goes on with those it has.
    // (AddressSanitizer reserves more address space than that by itself.)
#ifndef __SANITIZE_ADDRESS__
    write_file(root.path() + "answers.txt", "site1\ndem1\n0\n10\n1\nfew\n0\n101\n0\n6\n6\n0\n1\n\n");
    int st = std::system(("ulimit -v 300000; TEPHROMAT_THREADS=1024 TEPHROMAT_ROOT='" + root.path() + "' timeout 120 '" +
                          TEPHROMAT_EXE + "' < '" + root.path() + "answers.txt' > /dev/null 2>&1")
                             .c_str());
    EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << st;
    EXPECT_TRUE(file_exists(dir + "few_rec1.asc"));
#endif

    // The input ends in the middle of the dialogue.
    EXPECT_EQ(run_executable(root, "site1\ndem1\n0\n10\n1\ndem3\n0\n101\n"), 1);
    console = read_file(root.path() + "console.txt");
    EXPECT_NE(console.find("\n\tError : end of input, the dialogue is incomplete\n"), std::string::npos);
    EXPECT_FALSE(file_exists(dir + "dem3_info.txt"));
}

// Ctrl-C, a closed terminal or kill while the results are being written: the
// temporary files go, nothing is left under a result's name, and the program
// ends by the signal.
TEST(Executable, InterruptedRunLeavesNothing)
{
    TempRoot root;
    const std::string dir = root.folder("site1");
    write_file(dir + "dem1.asc", esri_text(small_cone()));
    for (int sig : {SIGINT, SIGHUP, SIGTERM, SIGQUIT, SIGPIPE}) {
        int to_child[2];
        ASSERT_EQ(pipe(to_child), 0);
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            dup2(to_child[0], STDIN_FILENO);
            close(to_child[1]);
            const int quiet = open("/dev/null", O_WRONLY);
            dup2(quiet, STDOUT_FILENO);
            setenv("TEPHROMAT_ROOT", root.path().c_str(), 1);
            execl(TEPHROMAT_EXE, TEPHROMAT_EXE, (char*)nullptr);
            _exit(127);
        }
        close(to_child[0]);
        // The dialogue stops at the centre point, the results already created.
        const std::string answers = "site1\ndem1\n0\n10\n1\ncut\n0\n101\n";
        ASSERT_EQ(write(to_child[1], answers.data(), answers.size()), ssize_t(answers.size()));
        auto files = [&] {
            std::vector<std::string> names;
            for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename());
            return names;
        };
        bool writing = false;
        for (int wait = 0; wait < 1000 && !writing; ++wait) {
            for (const std::string& n : files()) writing |= n.find(".tmp-") != std::string::npos;
            if (!writing) usleep(10000);
        }
        EXPECT_TRUE(writing);
        kill(pid, sig);
        int st = 0;
        waitpid(pid, &st, 0);
        close(to_child[1]);
        EXPECT_TRUE(WIFSIGNALED(st) && WTERMSIG(st) == sig) << sig;
        EXPECT_EQ(files(), std::vector<std::string>{"dem1.asc"}) << sig;
    }
}

namespace {

using Snapshot = std::map<std::string, std::string>;

Snapshot snapshot(const std::string& dir)
{
    Snapshot files;
    for (const std::string& f : list_dir(dir)) files[f] = read_file(dir + f);
    return files;
}

// Starts the program on `answers` (standard output and error discarded).
pid_t start(const TempRoot& root, const std::string& answers)
{
    const std::string file = root.path() + "answers-" + std::to_string(std::hash<std::string>{}(answers)) + ".txt";
    write_file(file, answers);
    const pid_t pid = fork();
    if (pid == 0) {
        const int in = open(file.c_str(), O_RDONLY), quiet = open("/dev/null", O_WRONLY);
        dup2(in, STDIN_FILENO);
        dup2(quiet, STDOUT_FILENO);
        dup2(quiet, STDERR_FILENO);
        setenv("TEPHROMAT_ROOT", root.path().c_str(), 1);
        execl(TEPHROMAT_EXE, TEPHROMAT_EXE, (char*)nullptr);
        _exit(127);
    }
    return pid;
}

int finish(pid_t pid)
{
    int st = 0;
    waitpid(pid, &st, 0);
    return st;
}

}  // namespace

// The results of a run replace an earlier set as a whole or not at all: two
// runs with the same names at once, and runs stopped by a signal at any
// moment, leave the complete set of one run and no temporary file.
TEST(Executable, ResultSetsAreReplacedWhole)
{
    TempRoot root;
    const std::string site = maunga_whau_site(root);
    auto answers = [](int base) {
        return "site\nmaunga_whau\n0\n10\n1\nmw\n0\n" + std::to_string(base) + "\n0\n27\n29\n0\n0\n4\n1\n\n";
    };
    ASSERT_EQ(finish(start(root, answers(110))), 0);
    const Snapshot a = snapshot(site);
    ASSERT_EQ(finish(start(root, answers(112))), 0);
    const Snapshot b = snapshot(site);
    ASSERT_NE(a.at("mw_info.txt"), b.at("mw_info.txt"));
    auto one_of_both = [&](const char* what) {
        const Snapshot now = snapshot(site);
        EXPECT_TRUE(now == a || now == b) << what;
    };
    for (int pair = 0; pair < 12; ++pair) {
        const pid_t first = start(root, answers(110)), second = start(root, answers(112));
        EXPECT_EQ(finish(first), 0);
        EXPECT_EQ(finish(second), 0);
        one_of_both("two runs at once");
    }
    std::mt19937 random(20261209);
    for (int k = 0; k < 30; ++k) {
        const pid_t pid = start(root, answers(k % 2 ? 110 : 112));
        usleep(useconds_t(std::uniform_int_distribution<int>(0, 150000)(random)));
        kill(pid, k % 3 == 0 ? SIGINT : SIGTERM);
        finish(pid);
        one_of_both("a run stopped by a signal");
    }
}
