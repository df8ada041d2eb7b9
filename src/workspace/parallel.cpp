#include "parallel.hpp"

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

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

// Threads started once and kept; each job is one call of parallel_tasks.
class Pool {
public:
    explicit Pool(int threads) : size_(threads)
    {
        for (int t = 1; t < threads; ++t) workers_.emplace_back([this] { work(); });
    }
    ~Pool()
    {
        {
            std::lock_guard<std::mutex> lock(m_);
            stop_ = true;
        }
        wake_.notify_all();
        for (std::thread& t : workers_) t.join();
    }
    int size() const { return size_; }

    // False when the pool is already running a job.
    bool run(int tasks, const std::function<void(int)>& task)
    {
        std::unique_lock<std::mutex> busy(busy_, std::try_to_lock);
        if (!busy.owns_lock()) return false;
        errors_.assign(std::size_t(tasks), nullptr);
        {
            std::lock_guard<std::mutex> lock(m_);
            job_ = &task;
            tasks_ = tasks;
            next_ = 0;
            running_ = int(workers_.size());
            ++generation_;
        }
        wake_.notify_all();
        take_tasks(task, tasks);
        {
            std::unique_lock<std::mutex> lock(m_);
            done_.wait(lock, [&] { return running_ == 0; });
            job_ = nullptr;
        }
        for (std::exception_ptr& e : errors_)
            if (e) std::rethrow_exception(e);
        return true;
    }

private:
    void take_tasks(const std::function<void(int)>& task, int tasks)
    {
        for (int t; (t = next_.fetch_add(1)) < tasks;) {
            try {
                task(t);
            } catch (...) {
                errors_[std::size_t(t)] = std::current_exception();
            }
        }
    }

    void work()
    {
        unsigned seen = 0;
        for (;;) {
            const std::function<void(int)>* job;
            int tasks;
            {
                std::unique_lock<std::mutex> lock(m_);
                wake_.wait(lock, [&] { return stop_ || generation_ != seen; });
                if (stop_) return;
                seen = generation_;
                job = job_;
                tasks = tasks_;
            }
            take_tasks(*job, tasks);
            {
                std::lock_guard<std::mutex> lock(m_);
                if (--running_ == 0) done_.notify_one();
            }
        }
    }

    const int size_;
    std::vector<std::thread> workers_;
    std::mutex busy_;  // held by the caller of a job
    std::mutex m_;
    std::condition_variable wake_, done_;
    const std::function<void(int)>* job_ = nullptr;
    int tasks_ = 0;
    std::atomic<int> next_{0};
    int running_ = 0;
    unsigned generation_ = 0;
    bool stop_ = false;
    std::vector<std::exception_ptr> errors_;
};

std::mutex pool_mutex;
int chosen = 0;  // 0: from the environment
std::shared_ptr<Pool> current;

std::shared_ptr<Pool> pool()
{
    std::lock_guard<std::mutex> lock(pool_mutex);
    const int n = chosen > 0 ? chosen : machine_threads();
    if (!current || current->size() != n) current = std::make_shared<Pool>(n);
    return current;
}

}  // namespace

int thread_count()
{
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

void parallel_tasks(int tasks, const std::function<void(int task)>& task)
{
    if (tasks <= 0) return;
    if (tasks > 1) {
        const std::shared_ptr<Pool> p = pool();
        if (p->size() > 1 && p->run(tasks, task)) return;
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
    parallel_tasks(2, [&](int t) { t == 0 ? here() : there(); });
}
