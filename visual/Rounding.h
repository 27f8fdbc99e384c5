#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace quillon::visual_detail {

// Nearest integer, halves to the even neighbour, saturated to 32 bits.
// A NaN has no nearest integer and becomes 0 rather than undefined behaviour.
inline std::int32_t roundHalfEven(double value)
{
    if (std::isnan(value)) {
        return 0;
    }
    const double r = std::nearbyint(value);
    if (r <= static_cast<double>(std::numeric_limits<std::int32_t>::min())) {
        return std::numeric_limits<std::int32_t>::min();
    }
    if (r >= static_cast<double>(std::numeric_limits<std::int32_t>::max())) {
        return std::numeric_limits<std::int32_t>::max();
    }
    return static_cast<std::int32_t>(r);
}

}  // namespace quillon::visual_detail
