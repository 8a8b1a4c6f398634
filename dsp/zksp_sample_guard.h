#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

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

// A sample as it enters or leaves the module: a normal number or a zero passes with all its bits,
// a subnormal one becomes a zero of its sign (a decaying tail from another plug-in would
// otherwise crawl through every recursion at a fraction of the speed), and a NaN or an infinity
// becomes +0. Decided on the exponent bits alone, so a subnormal value costs nothing to test.
inline float zksp_entry_sample(float x)
{
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(x);
    const std::uint32_t exponent = bits & 0x7f800000u;
    if (exponent == 0u)
        return std::bit_cast<float>(bits & 0x80000000u);
    if (exponent == 0x7f800000u)
        return 0.0f;
    return x;
}

#if defined(__SSE2__)
// zksp_entry_sample of four samples, each lane the scalar guard's bits.
inline __m128 zksp_entry_sample4(__m128 x)
{
    const __m128i exponentBits = _mm_set1_epi32(0x7f800000);
    const __m128i bits = _mm_castps_si128(x);
    const __m128i exponent = _mm_and_si128(bits, exponentBits);
    const __m128i tiny = _mm_cmpeq_epi32(exponent, _mm_setzero_si128());
    const __m128i huge = _mm_cmpeq_epi32(exponent, exponentBits);
    // All ones for a number that passes, the sign bit alone for a tiny one, nothing otherwise.
    const __m128i keep =
        _mm_or_si128(_mm_andnot_si128(_mm_or_si128(tiny, huge), _mm_set1_epi32(-1)),
                     _mm_and_si128(tiny, _mm_set1_epi32(INT32_MIN)));
    return _mm_castsi128_ps(_mm_and_si128(bits, keep));
}
#endif

// zksp_entry_sample over n samples from `in` to `out` (which may be the same buffer).
inline void zksp_entry_samples(const float* in, float* out, int n)
{
    int k = 0;
#if defined(__SSE2__)
    for (; k + 4 <= n; k += 4)
        _mm_storeu_ps(out + k, zksp_entry_sample4(_mm_loadu_ps(in + k)));
#endif
    for (; k < n; ++k)
        out[k] = zksp_entry_sample(in[k]);
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
