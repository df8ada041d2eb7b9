// Truncation of a double toward zero into a 32-bit integer.  A value that
// does not fit saturates to the nearest limit (NaN gives 0): an absurd input
// gives an absurd number, never undefined behaviour.
#pragma once

#include <cstdint>

inline int trunc_to_int(double v)
{
    if (!(v > -2147483649.0)) return v != v ? 0 : INT32_MIN;
    if (!(v < 2147483648.0)) return INT32_MAX;
    return int(v);
}
