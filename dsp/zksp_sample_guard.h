#pragma once

#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

#if defined(__SSE2__)
// zksp_guard_sample of four samples, each lane the scalar guard's bits: the clamp keeps a value
// within the limit (and either zero) as it is, and the ordered mask turns a NaN into +0.
inline __m128 zksp_guard_sample4(__m128 x)
{
    const __m128 limit = _mm_set1_ps(kZkspSampleLimit);
    const __m128 clamped = _mm_min_ps(_mm_max_ps(x, _mm_set1_ps(-kZkspSampleLimit)), limit);
    return _mm_and_ps(_mm_cmpord_ps(x, x), clamped);
}
#endif

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
