// A line on standard error that shows that a long run is alive: the stage,
// how far it is and the time since the run began.  Only where a person
// watches (the program turns it on when standard error is a terminal); never
// in a file or a pipe, and never on standard output, whose transcript it
// would change.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <mutex>

class Progress {
public:
    // Shows the progress on `out` from now on (nullptr: never).
    void show_on(std::ostream* out);
    // A front end that follows the run itself (the Python module): `hook`
    // receives every update, from the thread that makes it, and every check()
    // with a null stage; it may end the run by throwing RunEnd (a stop asked
    // for).  It must be quick: it is called for every slice and every step of
    // the cone's filling.
    using Hook = std::function<void(const char* stage, std::int64_t done, std::int64_t total)>;
    void set_hook(Hook hook) { hook_ = std::move(hook); }
    const Hook& hook() const { return hook_; }
    // A point where the run may be stopped (between stages, before a result
    // is created).
    void check()
    {
        if (hook_) hook_(nullptr, 0, 0);
    }
    // `done` of `total` of the stage: the line is redrawn at most a few times
    // a second, from any thread.
    void update(const char* stage, std::int64_t done, std::int64_t total);
    // Wipes the line, if drawn, before other output comes.
    void clear()
    {
        if (drawn_.load(std::memory_order_relaxed)) wipe();
    }

private:
    void wipe();
    std::ostream* out_ = nullptr;
    Hook hook_;
    std::chrono::steady_clock::time_point start_{}, last_{};
    std::mutex m_;
    std::atomic<bool> drawn_{false};
};
