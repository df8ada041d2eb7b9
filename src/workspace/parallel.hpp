// Work shared out between the machine's cores.  Results never depend on the
// number of threads: the callers keep any sum or output in order themselves.
//
// One pool serves the whole run: TEPHROMAT_THREADS=N chooses its size (1 runs
// everything on the calling thread), the machine's cores otherwise.  A stage
// hands it a number of tasks; the workers and the caller take them in turn.
#pragma once

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <vector>

// Number of threads the run uses (1 or more); 1 within a OneThread.
int thread_count();
// Within its scope, the calling thread shares out nothing: a stage run beside
// another that keeps the other cores busy.
class OneThread {
public:
    OneThread();
    ~OneThread();
    OneThread(const OneThread&) = delete;
    OneThread& operator=(const OneThread&) = delete;
};
// Sets it (0: back to TEPHROMAT_THREADS or the machine's cores); the tests
// run the program with several counts.
void set_thread_count(int n);

// Below this much work (cells, or an equivalent measure) a stage does not
// share out its work.  The tests set it to 0 so that even small grids are
// shared out.
constexpr std::size_t default_parallel_threshold = 200000;
std::size_t parallel_threshold();
void set_parallel_threshold(std::size_t cells);

// A run that may be stopped from outside (the Python module's): within the
// scope of a StopScope on a thread, every task that the thread shares out
// (and that those share out, and what runs beside them) first checks `stop`
// and, once it is set, ends the run with RunEnd (status 130).  Without a
// scope, nothing is checked.
class StopScope {
public:
    explicit StopScope(const std::atomic<bool>* stop);
    ~StopScope();
    StopScope(const StopScope&) = delete;
    StopScope& operator=(const StopScope&) = delete;

private:
    const std::atomic<bool>* saved_;
};
// Ends the run when the calling thread's stop is set.
void stop_point();

// Calls task(t) for every t of 0 .. tasks - 1, spread over the pool's
// threads; returns when all are done.  An exception from a task reaches the
// caller (the first one in task order) once all are done.  It may be called
// from a task, or from a thread running beside the stages.
void parallel_tasks(int tasks, const std::function<void(int task)>& task);

// Runs `there` on a thread of its own beside `here` (one after the other on a
// single thread); an exception from either reaches the caller once both are
// done, `here`'s first.
void side_by_side(const std::function<void()>& here, const std::function<void()>& there);

// Calls body(first, last) on blocks of consecutive lines of [first, last);
// each line must be independent of the others.
template <class Body>
void parallel_rows(int first, int last, std::size_t cells_per_line, Body body)
{
    const int lines = last - first;
    if (lines <= 0) return;
    const int threads = thread_count();
    if (threads < 2 || lines < 2 || std::size_t(lines) * cells_per_line < parallel_threshold()) {
        body(first, last);
        return;
    }
    // A few blocks per thread, so that a thread slowed by other work does
    // not hold the others up.
    const int blocks = std::min(lines, threads * 4);
    parallel_tasks(blocks, [&](int b) {
        const int lo = first + int(std::int64_t(lines) * b / blocks);
        const int hi = first + int(std::int64_t(lines) * (b + 1) / blocks);
        if (hi > lo) body(lo, hi);
    });
}

// Calls make(first, last, out) on blocks of consecutive lines of
// [first, last) spread over the threads, each block with a string of its own,
// then emit(out) for every block in order of lines: text made on all threads,
// written as one thread would.  `out` holds the blocks' strings, emptied
// first: a caller that makes its text in batches keeps it from batch to batch,
// and with it the memory of the strings.
template <class Make, class Emit>
void ordered_rows(int first, int last, std::size_t cells_per_line, std::vector<std::string>& out, Make make, Emit emit)
{
    const int lines = last - first;
    if (lines <= 0) return;
    const int threads = thread_count();
    const int blocks = threads < 2 || std::size_t(lines) * cells_per_line < parallel_threshold()
                           ? 1
                           : std::min(lines, threads * 4);
    if (out.size() < std::size_t(blocks)) out.resize(static_cast<std::size_t>(blocks));
    parallel_tasks(blocks, [&](int b) {
        std::string mine;  // the task's own: neighbouring strings' ends share a cache line
        mine.swap(out[std::size_t(b)]);
        mine.clear();
        make(first + int(std::int64_t(lines) * b / blocks), first + int(std::int64_t(lines) * (b + 1) / blocks),
             mine);
        out[std::size_t(b)].swap(mine);
    });
    for (int b = 0; b < blocks; ++b) emit(out[std::size_t(b)]);
}

template <class Make, class Emit>
void ordered_rows(int first, int last, std::size_t cells_per_line, Make make, Emit emit)
{
    std::vector<std::string> out;
    ordered_rows(first, last, cells_per_line, out, make, emit);
}

// A counting sort shared out by blocks of lines: counts[b][k] is how many
// items of key k block b holds.  Turns each count into the position where the
// block's first item of that key goes (keys in order, blocks in order within
// a key, so that the sort keeps scan order), and returns the start of every
// key, then the total.
std::vector<std::uint32_t> block_offsets(std::vector<std::vector<std::uint32_t>>& counts, std::size_t keys);

// A stable counting sort of the items that lines [first, first + lines) give,
// by key (0 .. keys - 1), each block of `blocks` consecutive lines counted and
// then placed on a thread of its own; the items are made twice rather than
// kept.  each(lo, hi, emit) calls emit(key, item...) for the items of lines
// [lo, hi) in scan order, the same both times; ready(total) comes between the
// two passes; place(n, item...) puts an item at position n.  Returns the
// start of every key, then the total: the same bytes whatever the blocks.
template <class Each, class Ready, class Place>
std::vector<std::uint32_t> counting_sort_by_lines(int first, int lines, int blocks, std::size_t keys, Each each,
                                                  Ready ready, Place place)
{
    auto block = [&](int b, int& lo, int& hi) {
        lo = first + int(std::int64_t(lines) * b / blocks);
        hi = first + int(std::int64_t(lines) * (b + 1) / blocks);
    };
    std::vector<std::vector<std::uint32_t>> counts(static_cast<std::size_t>(blocks));
    parallel_tasks(blocks, [&](int b) {
        std::vector<std::uint32_t>& c = counts[std::size_t(b)];
        c.assign(keys, 0);
        int lo, hi;
        block(b, lo, hi);
        each(lo, hi, [&](std::size_t key, const auto&...) { ++c[key]; });
    });
    std::vector<std::uint32_t> starts = block_offsets(counts, keys);
    ready(starts[keys]);
    parallel_tasks(blocks, [&](int b) {
        std::vector<std::uint32_t>& fill = counts[std::size_t(b)];
        int lo, hi;
        block(b, lo, hi);
        each(lo, hi, [&](std::size_t key, const auto&... item) { place(fill[key]++, item...); });
    });
    return starts;
}

// Workers that need grids of their own (two byte grids each, the size of the
// DEM) are at most this many, whatever the number of threads: memory stays
// within bounds on a machine of many cores.
constexpr int max_grid_workers = 4;

// The weight of a slice of `cells` cells in weighted_runs when its work goes
// with its outline: about the square root of its cells (a whole number, 1/16
// cell of outline apart).
inline std::int64_t outline_weight(std::int64_t cells)
{
    return cells > 0 ? std::int64_t(std::sqrt(double(cells)) * 16) : 0;
}

// Splits the altitudes lo..hi into at most `parts` runs of consecutive
// altitudes of about equal total weight(k).  Returns the first altitude of
// each run, then hi + 1.  One run when the total is below the threshold.
template <class Weight>
std::vector<std::int64_t> weighted_runs(std::int64_t lo, std::int64_t hi, int parts, Weight weight)
{
    std::vector<std::int64_t> starts{lo};
    std::int64_t total = 0;
    for (std::int64_t k = lo; k <= hi; ++k) total += weight(k);
    if (total > std::int64_t(parallel_threshold()) && parts > 1) {
        std::int64_t below = 0;
        int made = 1;
        for (std::int64_t k = lo; k <= hi && made < parts; ++k) {
            below += weight(k);
            // Run `made` ends where the weight so far reaches its share.
            if (below * parts >= total * made && k < hi) {
                starts.push_back(k + 1);
                ++made;
            }
        }
    }
    starts.push_back(hi + 1);
    return starts;
}
