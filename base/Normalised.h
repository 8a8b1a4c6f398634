// Normalised parameter values (0..1) as hosts send them, made safe to store.
#pragma once

#include <cmath>

namespace morvek2 {

// False for NaN (the value is then ignored). Otherwise puts the value inside 0..1: -0 becomes +0
// and infinities land on the ends of the range.
inline bool sanitizeNormalised(float& value)
{
    if (std::isnan(value)) {
        return false;
    }
    if (value <= 0.0f) {
        value = 0.0f;
    } else if (value > 1.0f) {
        value = 1.0f;
    }
    return true;
}

} // namespace morvek2
