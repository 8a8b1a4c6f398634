#pragma once

#include <cmath>

// Cheap guards that keep hostile numbers out of block state. One compare on the common path.

// Largest sample magnitude a block lets into its state: 120 dB above full scale, far beyond any
// real signal, yet small enough that no recursion of the blocks can overflow from it.
inline constexpr float kZkspSampleLimit = 1.0e6f;

// A finite sample within the limit passes unchanged; beyond it the sample is limited, and a NaN
// becomes silence.
inline float zksp_guard_sample(float x)
{
    if (std::fabs(x) <= kZkspSampleLimit)
        return x;
    if (x > 0.0f)
        return kZkspSampleLimit;
    if (x < 0.0f)
        return -kZkspSampleLimit;
    return 0.0f; // NaN
}

// A setting limited to [lo, hi]; a NaN takes the fallback.
inline float zksp_clamp_setting(float v, float lo, float hi, float fallback)
{
    if (v >= lo && v <= hi)
        return v;
    if (v < lo)
        return lo;
    if (v > hi)
        return hi;
    return fallback; // NaN
}
