// Truncation of script numbers toward zero. Values that do not fit (and NaN)
// give the most negative integer, as the processor's own conversion does,
// instead of undefined behaviour.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

template <class Integer> Integer TruncateTowardZero(double value)
{
    constexpr double below = static_cast<double>(std::numeric_limits<Integer>::min());
    // -min is a power of two and exact as a double; max itself may not be.
    if (!(value > below - 1.0 && value < -below))
        return std::numeric_limits<Integer>::min();
    return static_cast<Integer>(std::trunc(value));
}
