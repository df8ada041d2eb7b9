#include "parallel.hpp"

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "run_end.hpp"

namespace {

int from_environment()
{
    if (const char* s = std::getenv("TEPHROMAT_THREADS")) {
        char* end = nullptr;
        const long n = std::strtol(s, &end, 10);
        if (end != s && *end == '\0' && n >= 1 && n <= 1024) return int(n);
    }
    const unsigned cores = std::thread::hardware_concurrency();
    return cores >= 1 ? int(cores) : 1;
}

int machine_threads()
{
    static const int n = from_environment();
    return n;
}

std::atomic<std::size_t> threshold{default_parallel_threshold};
thread_local int one_thread = 0;  // OneThread scopes open on this thread

// Threads started once and kept.  Each call of parallel_tasks is a job; the
// workers take tasks from the oldest job that has some left, and the caller
// takes tasks of its own job until none is left, then waits for the ones that
// others are running.  Several jobs may be open at once (a stage running
// beside another, or a task that shares out work of its own).
class Pool {
public:
    // A system that refuses more threads (ulimit -u, ulimit -v) leaves the
    // pool with those it gave: the results are the same with any number.
    // Refused for want of address space (ulimit -v), the pool's stacks would
    // leave the run none for its grids and pictures: it then keeps three
    // quarters of the threads it was given.
    explicit Pool(int threads) : asked_(threads)
    {
        if (!start(threads)) {
            const int kept = int(workers_.size()) * 3 / 4;
            stop_workers();
            start(kept + 1);
        }
        size_ = int(workers_.size()) + 1;
    }
    ~Pool() { stop_workers(); }
    int size() const { return size_; }
    int asked() const { return asked_; }

    void run(int tasks, const std::function<void(int)>& task)
    {
        Job job{&task, tasks, 0, 0, std::vector<std::exception_ptr>(std::size_t(tasks))};
        {
            std::lock_guard<std::mutex> lock(m_);
            open_.push_back(&job);
        }
        wake_.notify_all();
        for (;;) {
            int t;
            {
                std::lock_guard<std::mutex> lock(m_);
                if (job.next >= job.tasks) break;
                t = take(job);
            }
            perform(job, t);
        }
        {
            std::unique_lock<std::mutex> lock(m_);
            done_.wait(lock, [&] { return job.finished == job.tasks; });
        }
        for (std::exception_ptr& e : job.errors)
            if (e) std::rethrow_exception(e);
    }

private:
    // Starts the workers of a pool of `threads`; false when the system
    // refused one.
    bool start(int threads)
    {
        for (int t = 1; t < threads; ++t) {
            try {
                workers_.emplace_back([this] { work(); });
            } catch (const std::system_error&) {
                return false;
            }
        }
        return true;
    }
    void stop_workers()
    {
        {
            std::lock_guard<std::mutex> lock(m_);
            stop_ = true;
        }
        wake_.notify_all();
        for (std::thread& t : workers_) t.join();
        workers_.clear();
        std::lock_guard<std::mutex> lock(m_);
        stop_ = false;
    }

    struct Job {
        const std::function<void(int)>* task;
        int tasks;
        int next;      // next task to take
        int finished;  // tasks done
        std::vector<std::exception_ptr> errors;
    };

    // With m_ held: the next task of `job`; a job whose last task is taken
    // leaves the open jobs.
    int take(Job& job)
    {
        const int t = job.next++;
        if (job.next == job.tasks) open_.erase(std::find(open_.begin(), open_.end(), &job));
        return t;
    }

    void perform(Job& job, int t)
    {
        try {
            (*job.task)(t);
        } catch (...) {
            job.errors[std::size_t(t)] = std::current_exception();
        }
        std::lock_guard<std::mutex> lock(m_);
        if (++job.finished == job.tasks) done_.notify_all();
    }

    void work()
    {
        for (;;) {
            Job* job;
            int t;
            {
                std::unique_lock<std::mutex> lock(m_);
                wake_.wait(lock, [&] { return stop_ || !open_.empty(); });
                if (stop_) return;
                job = open_.front();
                t = take(*job);
            }
            perform(*job, t);
        }
    }

    const int asked_;
    int size_ = 1;
    std::vector<std::thread> workers_;
    std::mutex m_;
    std::condition_variable wake_, done_;
    std::vector<Job*> open_;
    bool stop_ = false;
};

std::mutex pool_mutex;
int chosen = 0;  // 0: from the environment
std::shared_ptr<Pool> current;

// A process forked from one with a pool (Python's os.fork after a run) has
// none of its threads: the child leaves that pool as it is, never joined
// (its destruction would wait for threads that are not there), and makes
// its own when it needs one.  The pool is not being replaced meanwhile.
std::shared_ptr<Pool>* forsaken = nullptr;  // still pointed at: no leak
const int fork_handlers = pthread_atfork([] { pool_mutex.lock(); }, [] { pool_mutex.unlock(); },
                                         [] {
                                             if (current) forsaken = new std::shared_ptr<Pool>(std::move(current));
                                             pool_mutex.unlock();
                                         });

std::shared_ptr<Pool> pool()
{
    std::lock_guard<std::mutex> lock(pool_mutex);
    const int n = chosen > 0 ? chosen : machine_threads();
    if (!current || current->asked() != n) current = std::make_shared<Pool>(n);
    return current;
}

}  // namespace

namespace {
thread_local const std::atomic<bool>* stop_flag = nullptr;  // the StopScope's of this thread

// `task` run with the caller's stop: checked first, and handed on to what
// the task shares out in turn.
std::function<void(int)> with_stop(const std::function<void(int)>& task, const std::atomic<bool>* stop)
{
    return [&task, stop](int t) {
        StopScope scope(stop);
        stop_point();
        task(t);
    };
}
}  // namespace

StopScope::StopScope(const std::atomic<bool>* stop) : saved_(stop_flag) { stop_flag = stop; }
StopScope::~StopScope() { stop_flag = saved_; }

void stop_point()
{
    if (stop_flag && stop_flag->load(std::memory_order_relaxed)) throw RunEnd{130, "\n\tError : stopped\n"};
}

OneThread::OneThread() { ++one_thread; }
OneThread::~OneThread() { --one_thread; }

int thread_count()
{
    if (one_thread > 0) return 1;
    std::lock_guard<std::mutex> lock(pool_mutex);
    return chosen > 0 ? chosen : machine_threads();
}

void set_thread_count(int n)
{
    std::lock_guard<std::mutex> lock(pool_mutex);
    chosen = n > 0 ? n : 0;
}

std::size_t parallel_threshold() { return threshold.load(); }
void set_parallel_threshold(std::size_t cells) { threshold.store(cells); }

void parallel_tasks(int tasks, const std::function<void(int task)>& task_asked)
{
    if (tasks <= 0) return;
    const std::function<void(int)> checked = stop_flag ? with_stop(task_asked, stop_flag) : std::function<void(int)>();
    const std::function<void(int)>& task = stop_flag ? checked : task_asked;
    if (tasks > 1 && one_thread == 0) {
        const std::shared_ptr<Pool> p = pool();
        if (p->size() > 1) {
            p->run(tasks, task);
            return;
        }
    }
    std::exception_ptr first;
    for (int t = 0; t < tasks; ++t) {
        try {
            task(t);
        } catch (...) {
            if (!first) first = std::current_exception();
        }
    }
    if (first) std::rethrow_exception(first);
}

void side_by_side(const std::function<void()>& here, const std::function<void()>& there)
{
    if (thread_count() < 2) {
        here();
        there();
        return;
    }
    // A thread of its own, so that `here` keeps the pool's threads for its own
    // work; the system shares the cores out.
    std::exception_ptr failed_there;
    std::thread other;
    const std::atomic<bool>* stop = stop_flag;
    try {
        other = std::thread([&] {
            StopScope scope(stop);
            try {
                there();
            } catch (...) {
                failed_there = std::current_exception();
            }
        });
    } catch (const std::system_error&) {  // no thread to be had: one after the other
        here();
        there();
        return;
    }
    try {
        here();
    } catch (...) {
        other.join();
        throw;
    }
    other.join();
    if (failed_there) std::rethrow_exception(failed_there);
}

std::vector<std::uint32_t> block_offsets(std::vector<std::vector<std::uint32_t>>& counts, std::size_t keys)
{
    std::vector<std::uint32_t> first(keys + 1, 0);
    std::uint32_t at = 0;
    for (std::size_t k = 0; k < keys; ++k) {
        first[k] = at;
        for (std::vector<std::uint32_t>& c : counts) {
            const std::uint32_t n = c[k];
            c[k] = at;
            at += n;
        }
    }
    first[keys] = at;
    return first;
}
