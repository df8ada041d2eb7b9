#include "progress.hpp"

#include <cstdio>
#include <ostream>

void Progress::show_on(std::ostream* out)
{
    std::lock_guard<std::mutex> lock(m_);
    out_ = out;
    start_ = std::chrono::steady_clock::now();
    last_ = start_;
}

void Progress::update(const char* stage, std::int64_t done, std::int64_t total)
{
    if (hook_) hook_(stage, done, total);
    if (!out_) return;
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard<std::mutex> lock(m_);
    // Quiet for the first second, then four times a second.
    if (now - last_ < std::chrono::milliseconds(250) || now - start_ < std::chrono::seconds(1)) return;
    last_ = now;
    const double percent = total > 0 ? 100.0 * double(done) / double(total) : 0.0;
    char line[160];
    std::snprintf(line, sizeof line, "\rtephromat: %s %3.0f %% (%.0f s)   ", stage, percent,
                  std::chrono::duration<double>(now - start_).count());
    *out_ << line << std::flush;
    drawn_.store(true, std::memory_order_relaxed);
}

void Progress::wipe()
{
    std::lock_guard<std::mutex> lock(m_);
    if (!drawn_.load(std::memory_order_relaxed) || !out_) return;
    *out_ << "\r" << std::string(60, ' ') << "\r" << std::flush;
    drawn_.store(false, std::memory_order_relaxed);
}
