#include "contour_sweep.hpp"

#include <numeric>

void ContourSweep::start(const SweepIndex& index, int lo)
{
    index_ = &index;
    k_ = lo - 1;
    active_.clear();
    active_end_.clear();
    // Cells whose interval began below lo and lasts to lo at least, in scan
    // order.
    const std::uint32_t below = index.first_[std::size_t(std::int64_t(lo) - index.lo_)];
    std::vector<std::uint32_t> picked;
    for (std::uint32_t n = 0; n < below; ++n)
        if (index.end_[n] >= lo) picked.push_back(n);
    std::sort(picked.begin(), picked.end(),
              [&](std::uint32_t a, std::uint32_t b) { return index.cells_[a] < index.cells_[b]; });
    for (std::uint32_t n : picked) {
        active_.push_back(index.cells_[n]);
        active_end_.push_back(index.end_[n]);
    }
}

const std::vector<std::uint32_t>& ContourSweep::advance()
{
    ++k_;
    const SweepIndex& x = *index_;
    const std::size_t b = std::size_t(std::int64_t(k_) - x.lo_);
    const std::uint32_t* in = x.cells_.data() + x.first_[b];
    const std::uint32_t* in_end = x.cells_.data() + x.first_[b + 1];
    const std::int32_t* in_e = x.end_.data() + x.first_[b];
    merged_.clear();
    merged_end_.clear();
    std::size_t a = 0;
    while (a < active_.size() || in != in_end) {
        if (a < active_.size() && active_end_[a] < k_) {  // left the contour
            ++a;
            continue;
        }
        if (in == in_end || (a < active_.size() && active_[a] < *in)) {
            merged_.push_back(active_[a]);
            merged_end_.push_back(active_end_[a]);
            ++a;
        } else {
            merged_.push_back(*in++);
            merged_end_.push_back(*in_e++);
        }
    }
    active_.swap(merged_);
    active_end_.swap(merged_end_);
    return active_;
}
