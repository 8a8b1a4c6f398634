#pragma once

#include <bit>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Double-precision sine for the moderate arguments of the distortion's warp stage (|x| up to a
// few hundred), without a library call: the audio path calls it once per sample.
//
// The argument is reduced by the nearest multiple of pi in two parts (the first part's low bits
// are zero, so k * hi is exact for |k| < 2^20) and the remainder, within [-pi/2, pi/2], goes
// through the odd Taylor series to degree 21, whose truncation error there is below 2e-18.
// The result agrees with the C library's sin to a few units in the last place of a double.

inline double zksp_sin_double(double x) // [any]
{
    constexpr double kInvPi = 0.31830988618379067154;
    constexpr double kPiHi = 0x1.921fb544p+1;
    constexpr double kPiLo = 0x1.0b4611a626331p-33;
    // Adding and removing 1.5 * 2^52 rounds to the nearest integer in the default rounding mode.
    constexpr double kRound = 6755399441055744.0;
    const double k = (x * kInvPi + kRound) - kRound;
    const double r = (x - k * kPiHi) - k * kPiLo;
    const double z = r * r;
    // 1 / (2n + 1)! with alternating signs, n = 1..10, summed in Estrin's scheme so the
    // polynomial's latency is a few multiplications deep instead of ten.
    constexpr double c3 = -1.0 / 6.0;
    constexpr double c5 = 1.0 / 120.0;
    constexpr double c7 = -1.0 / 5040.0;
    constexpr double c9 = 1.0 / 362880.0;
    constexpr double c11 = -1.0 / 39916800.0;
    constexpr double c13 = 1.0 / 6227020800.0;
    constexpr double c15 = -1.0 / 1307674368000.0;
    constexpr double c17 = 1.0 / 355687428096000.0;
    constexpr double c19 = -1.0 / 121645100408832000.0;
    constexpr double c21 = 1.0 / 51090942171709440000.0;
    const double z2 = z * z;
    const double z4 = z2 * z2;
    const double z8 = z4 * z4;
    const double p01 = c3 + c5 * z;
    const double p23 = c7 + c9 * z;
    const double p45 = c11 + c13 * z;
    const double p67 = c15 + c17 * z;
    const double p89 = c19 + c21 * z;
    const double p = (p01 + p23 * z2) + (p45 + p67 * z2) * z4 + p89 * z8;
    const double s = r + r * z * p;
    // sin(r + k pi) = (-1)^k sin(r): flip the sign bit for odd k, without a branch that random
    // signals would mispredict.
    const auto odd = static_cast<std::uint64_t>(static_cast<long long>(k)) & 1u;
    return std::bit_cast<double>(std::bit_cast<std::uint64_t>(s) ^ (odd << 63));
}

#if defined(__SSE2__)
// zksp_sin_double of both lanes, with the same double-precision operations in the same order, so
// each lane holds the bits the scalar function returns for it. The parity of k is read from the
// last mantissa bit of x / pi + 1.5 * 2^52, the integer the rounding leaves there.
inline __m128d zksp_sin_double2(__m128d x) // [any]
{
    const __m128d kRound = _mm_set1_pd(6755399441055744.0);
    const __m128d t = _mm_add_pd(_mm_mul_pd(x, _mm_set1_pd(0.31830988618379067154)), kRound);
    const __m128d k = _mm_sub_pd(t, kRound);
    const __m128d r = _mm_sub_pd(_mm_sub_pd(x, _mm_mul_pd(k, _mm_set1_pd(0x1.921fb544p+1))),
                                 _mm_mul_pd(k, _mm_set1_pd(0x1.0b4611a626331p-33)));
    const __m128d z = _mm_mul_pd(r, r);
    const __m128d z2 = _mm_mul_pd(z, z);
    const __m128d z4 = _mm_mul_pd(z2, z2);
    const __m128d z8 = _mm_mul_pd(z4, z4);
    auto pair = [z](double lo, double hi) {
        return _mm_add_pd(_mm_set1_pd(lo), _mm_mul_pd(_mm_set1_pd(hi), z));
    };
    const __m128d p01 = pair(-1.0 / 6.0, 1.0 / 120.0);
    const __m128d p23 = pair(-1.0 / 5040.0, 1.0 / 362880.0);
    const __m128d p45 = pair(-1.0 / 39916800.0, 1.0 / 6227020800.0);
    const __m128d p67 = pair(-1.0 / 1307674368000.0, 1.0 / 355687428096000.0);
    const __m128d p89 = pair(-1.0 / 121645100408832000.0, 1.0 / 51090942171709440000.0);
    const __m128d p = _mm_add_pd(_mm_add_pd(_mm_add_pd(p01, _mm_mul_pd(p23, z2)),
                                            _mm_mul_pd(_mm_add_pd(p45, _mm_mul_pd(p67, z2)), z4)),
                                 _mm_mul_pd(p89, z8));
    const __m128d s = _mm_add_pd(r, _mm_mul_pd(_mm_mul_pd(r, z), p));
    const __m128i sign = _mm_slli_epi64(_mm_castpd_si128(t), 63);
    return _mm_xor_pd(s, _mm_castsi128_pd(sign));
}
#endif
