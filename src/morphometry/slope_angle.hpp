// The slope angle of a cell in whole degrees, from the square of its
// gradient: trunc(atan(sqrt(s)) * 180 / pi + 0.5).
#pragma once

#include <bit>
#include <cstdint>

// The formula itself.
std::uint8_t slope_angle_plain(double s);

// The same degrees without an arc tangent for most cells.  The degrees only
// grow with s, so each one starts at a threshold of s, found once by
// bisection on the formula itself: a cell's degree is the number of
// thresholds at or below its s.  A cell within a billionth of a threshold, or
// with an s that is not a finite number, is worked out by the formula: there
// the rounding of the arc tangent could decide, and nowhere else can it.
class SlopeAngles {
public:
    SlopeAngles();
    std::uint8_t operator()(double s) const
    {
        if (!(s <= max_finite_)) return slope_angle_plain(s);
        // The degree at the start of s's slot (its binade and the first six
        // bits of its mantissa); no slot holds two thresholds.
        const std::uint64_t bits = std::bit_cast<std::uint64_t>(s);
        const int e = int(bits >> 52) - 1023;
        int k = e < low_binade_ ? 0 : e >= high_binade_ ? top : slot_degree_[(e - low_binade_) << 6 | (bits >> 46 & 63)];
        k += s >= threshold_[k + 1];
        if (s < clear_above_[k] || s > clear_below_[k]) return slope_angle_plain(s);
        return std::uint8_t(k);
    }

    static constexpr int top = 90;  // the degrees of an infinite slope

private:
    double max_finite_;
    int low_binade_, high_binade_;  // below: degree 0; at or above: degree top
    std::uint8_t slot_degree_[64 * 64];
    double threshold_[top + 2];     // [k]: the smallest s of degree k or more (1..top)
    double clear_above_[top + 1];   // s of degree k at or above this is clear of threshold k
    double clear_below_[top + 1];   // and at or below this, of threshold k + 1
};
