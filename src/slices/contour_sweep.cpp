#include "contour_sweep.hpp"

const std::vector<std::uint32_t>& ContourSweep::advance()
{
    ++k_;
    const std::size_t b = std::size_t(std::int64_t(k_) - lo_);
    const std::uint32_t* in = cells_ + first_[b];
    const std::uint32_t* in_end = cells_ + first_[b + 1];
    const std::int32_t* in_e = end_.data() + first_[b];
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
