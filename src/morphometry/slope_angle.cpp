#include "slope_angle.hpp"

#include <cmath>
#include <limits>
#include <stdexcept>

#include "trunc_to_int.hpp"

std::uint8_t slope_angle_plain(double s)
{
    const double pi = 4.0 * std::atan(1.0);
    const double angle = std::atan(std::sqrt(s)) * 180 / pi;
    return std::uint8_t(trunc_to_int(angle + 0.5));  // NaN (a denormal pixel size) gives 0
}

SlopeAngles::SlopeAngles() : max_finite_(std::numeric_limits<double>::max())
{
    // Non-negative doubles are ordered as their bit patterns: the bisection
    // runs on those, from 0 (degree 0) to infinity (degree top).
    const std::uint64_t infinity = std::bit_cast<std::uint64_t>(std::numeric_limits<double>::infinity());
    threshold_[0] = 0;
    for (int k = 1; k <= top; ++k) {
        std::uint64_t lo = 0, hi = infinity;
        while (hi - lo > 1) {
            const std::uint64_t mid = lo + (hi - lo) / 2;
            if (slope_angle_plain(std::bit_cast<double>(mid)) >= k)
                hi = mid;
            else
                lo = mid;
        }
        threshold_[k] = std::bit_cast<double>(hi);
    }
    threshold_[top + 1] = std::numeric_limits<double>::infinity();
    // A billionth (2^-30) of the threshold on either side: the arc tangent's
    // rounding moves a threshold by some 10^-14 of it.
    const double margin = std::ldexp(1.0, -30);
    for (int k = 0; k <= top; ++k) {
        clear_above_[k] = k == 0 ? -1.0 : threshold_[k] * (1 + margin);
        clear_below_[k] = k == top ? std::numeric_limits<double>::infinity() : threshold_[k + 1] * (1 - margin);
    }
    // The slots: from the binade of the first threshold to that of the last.
    low_binade_ = std::ilogb(threshold_[1]);
    high_binade_ = std::ilogb(threshold_[top]) + 1;
    if ((high_binade_ - low_binade_) * 64 > int(sizeof slot_degree_)) throw std::logic_error("slope slots");
    for (int e = low_binade_; e < high_binade_; ++e)
        for (int m = 0; m < 64; ++m) {
            const double start = std::ldexp(1.0 + m / 64.0, e), end = std::ldexp(1.0 + (m + 1) / 64.0, e);
            int k = 0;
            while (k < top && threshold_[k + 1] <= start) ++k;
            if (threshold_[k + 1] < end && k + 1 < top && threshold_[k + 2] < end)
                throw std::logic_error("two slope thresholds in one slot");
            slot_degree_[(e - low_binade_) * 64 + m] = std::uint8_t(k);
        }
}
