#pragma once

#include <bit>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The transcendental functions of everything that shapes the sound: engines, filter
// coefficients, smoother poles and the parameter conversions. C libraries round these
// differently in the last place (and a library update may change them), so a preset would
// render a little differently on each platform; these give the same bits on every compiler
// and platform, because they use nothing but IEEE double arithmetic in a fixed order (no
// long double, no library call, no fused multiply-add: the build turns contraction off).
//
// The float functions work in double precision and round once at the end, so they are within
// one unit in the last place of the true value (almost always correctly rounded). The double
// functions are within two units. The polynomials are truncated Taylor series, long enough
// that their truncation error lies far below the rounding error.
//
// Arguments are reduced by a nearest multiple of a constant held in two parts (Cody and
// Waite): the first part has enough trailing zero bits that its product with the multiple is
// exact, so the reduced argument keeps nearly the full precision of the input.
//
// Special values follow the C library: NaN in gives NaN, exp(-inf) is 0, log(0) is -inf,
// log of a negative number is NaN, and so on.
//
// The double-precision sine of the distortion's warp stage and the creak table is
// zksp_sin_double (dsp/zksp_sine.h), built the same way.

namespace zk_math_detail {

// Adding and removing 1.5 * 2^52 rounds a double of magnitude below 2^51 to the nearest
// integer (ties to even) in the default rounding mode, without a library call.
inline constexpr double kRoundShift = 6755399441055744.0;

// sin(r) and cos(r) for |r| <= pi/4 (a little beyond is harmless), accurate to about 1e-13,
// which is far below the rounding of a float result.
inline void sinCosKernel(double r, double& s, double& c)
{
    const double z = r * r;
    constexpr double s3 = -1.0 / 6.0;
    constexpr double s5 = 1.0 / 120.0;
    constexpr double s7 = -1.0 / 5040.0;
    constexpr double s9 = 1.0 / 362880.0;
    constexpr double s11 = -1.0 / 39916800.0;
    constexpr double c2 = -1.0 / 2.0;
    constexpr double c4 = 1.0 / 24.0;
    constexpr double c6 = -1.0 / 720.0;
    constexpr double c8 = 1.0 / 40320.0;
    constexpr double c10 = -1.0 / 3628800.0;
    constexpr double c12 = 1.0 / 479001600.0;
    const double z2 = z * z;
    // Two independent pairs per level keep the dependency chain short (Estrin's scheme).
    const double ps = (s3 + s5 * z) + (s7 + s9 * z) * z2 + s11 * (z2 * z2);
    const double pc = (c2 + c4 * z) + (c6 + c8 * z) * z2 + (c10 + c12 * z) * (z2 * z2);
    s = r + r * z * ps;
    c = 1.0 + z * pc;
}

// Reduces x (|x| < 2^20 for full accuracy) to r in [-pi/4, pi/4] and the quadrant count.
inline double reduceQuarterTurn(double x, std::uint64_t& quadrant)
{
    constexpr double kTwoOverPi = 0x1.45f306dc9c883p-1;
    constexpr double kHalfPiHi = 0x1.921fb544p+0; // 33 bits: k * kHalfPiHi is exact
    constexpr double kHalfPiLo = 0x1.0b4611a626331p-34;
    const double k = (x * kTwoOverPi + kRoundShift) - kRoundShift;
    quadrant = static_cast<std::uint64_t>(static_cast<std::int64_t>(k));
    return (x - k * kHalfPiHi) - k * kHalfPiLo;
}

// Folds a huge or non-finite float argument into range: exact remainder of a division by
// the double nearest 2 pi. Beyond 2^20 the answer is only as good as that constant; nothing
// in the plug-in turns that far. Infinity and NaN come out as NaN.
double foldHugeAngle(double x);

inline constexpr double kHugeAngle = 1048576.0;

} // namespace zk_math_detail

// Sine and cosine of one float angle at once: the frequency shifter's oscillator calls this
// every sample, so it is inline and has no branch that depends on the angle.
inline void zk_sincosf(float x, float& sine, float& cosine) // [any]
{
    using namespace zk_math_detail;
    double a = static_cast<double>(x);
    if (!(a < kHugeAngle && a > -kHugeAngle)) {
        a = foldHugeAngle(a);
        if (a != a) {
            sine = cosine = static_cast<float>(a);
            return;
        }
    }
    std::uint64_t q;
    const double r = reduceQuarterTurn(a, q);
    double s, c;
    sinCosKernel(r, s, c);
    // Quadrant q: sin(r + q pi/2) is s, c, -s, -c and the cosine is c, -s, -c, s.
    const bool swap = (q & 1u) != 0;
    const double sv = swap ? c : s;
    const double cv = swap ? s : c;
    const std::uint64_t sinSign = (q & 2u) << 62;
    const std::uint64_t cosSign = ((q + 1u) & 2u) << 62;
    sine = static_cast<float>(std::bit_cast<double>(std::bit_cast<std::uint64_t>(sv) ^ sinSign));
    cosine = static_cast<float>(std::bit_cast<double>(std::bit_cast<std::uint64_t>(cv) ^ cosSign));
}

#if defined(__SSE2__)
namespace zk_math_detail {

// zk_sincosf of two angles held as doubles, |a| < 2^20: the same double operations in the same
// order, lane by lane. The quadrant is the low bits of x * 2/pi + 1.5 * 2^52, where the rounding
// leaves the integer k (two's complement in the low mantissa bits for a negative k too).
inline void sinCos2(__m128d a, __m128& sine, __m128& cosine)
{
    const __m128d kShift = _mm_set1_pd(kRoundShift);
    const __m128d t = _mm_add_pd(_mm_mul_pd(a, _mm_set1_pd(0x1.45f306dc9c883p-1)), kShift);
    const __m128d k = _mm_sub_pd(t, kShift);
    const __m128d r = _mm_sub_pd(_mm_sub_pd(a, _mm_mul_pd(k, _mm_set1_pd(0x1.921fb544p+0))),
                                 _mm_mul_pd(k, _mm_set1_pd(0x1.0b4611a626331p-34)));
    const __m128d z = _mm_mul_pd(r, r);
    const __m128d z2 = _mm_mul_pd(z, z);
    const __m128d z4 = _mm_mul_pd(z2, z2);
    auto pair = [z](double lo, double hi) {
        return _mm_add_pd(_mm_set1_pd(lo), _mm_mul_pd(_mm_set1_pd(hi), z));
    };
    const __m128d ps = _mm_add_pd(_mm_add_pd(pair(-1.0 / 6.0, 1.0 / 120.0),
                                             _mm_mul_pd(pair(-1.0 / 5040.0, 1.0 / 362880.0), z2)),
                                  _mm_mul_pd(_mm_set1_pd(-1.0 / 39916800.0), z4));
    const __m128d pc = _mm_add_pd(
        _mm_add_pd(pair(-1.0 / 2.0, 1.0 / 24.0), _mm_mul_pd(pair(-1.0 / 720.0, 1.0 / 40320.0), z2)),
        _mm_mul_pd(pair(-1.0 / 3628800.0, 1.0 / 479001600.0), z4));
    const __m128d s = _mm_add_pd(r, _mm_mul_pd(_mm_mul_pd(r, z), ps));
    const __m128d c = _mm_add_pd(_mm_set1_pd(1.0), _mm_mul_pd(z, pc));
    // Odd quadrants trade sine and cosine: flip, in those lanes, the bits in which they differ.
    // The sign of quadrants 2 and 3 (sine) and 1 and 2 (cosine) is bit 1 of q and of q + 1.
    const __m128i q = _mm_castpd_si128(t);
    const __m128i one = _mm_set1_epi64x(1);
    const __m128i signBit = _mm_set1_epi64x(static_cast<long long>(0x8000000000000000ull));
    const __m128d swap =
        _mm_castsi128_pd(_mm_sub_epi64(_mm_setzero_si128(), _mm_and_si128(q, one)));
    const __m128d flip = _mm_and_pd(_mm_xor_pd(s, c), swap);
    const __m128d sinSign = _mm_castsi128_pd(_mm_and_si128(_mm_slli_epi64(q, 62), signBit));
    const __m128d cosSign =
        _mm_castsi128_pd(_mm_and_si128(_mm_slli_epi64(_mm_add_epi64(q, one), 62), signBit));
    sine = _mm_cvtpd_ps(_mm_xor_pd(s, _mm_xor_pd(flip, sinSign)));
    cosine = _mm_cvtpd_ps(_mm_xor_pd(c, _mm_xor_pd(flip, cosSign)));
}

} // namespace zk_math_detail

// zk_sincosf of four angles: each lane gets the bits the scalar function gives for it. Lanes
// beyond 2^20 in magnitude, infinite or NaN take the scalar function's fold.
inline void zk_sincosf4(__m128 x, __m128& sine, __m128& cosine) // [any]
{
    using namespace zk_math_detail;
    const __m128 magnitude = _mm_andnot_ps(_mm_set1_ps(-0.0f), x);
    if (_mm_movemask_ps(_mm_cmplt_ps(magnitude, _mm_set1_ps(1048576.0f))) != 0xF) {
        alignas(16) float in[4], s[4], c[4];
        _mm_store_ps(in, x);
        for (int i = 0; i < 4; ++i) {
            zk_sincosf(in[i], s[i], c[i]);
        }
        sine = _mm_load_ps(s);
        cosine = _mm_load_ps(c);
        return;
    }
    __m128 s01, c01, s23, c23;
    sinCos2(_mm_cvtps_pd(x), s01, c01);
    sinCos2(_mm_cvtps_pd(_mm_movehl_ps(x, x)), s23, c23);
    sine = _mm_movelh_ps(s01, s23);
    cosine = _mm_movelh_ps(c01, c23);
}
#endif

inline float zk_sinf(float x) // [any]
{
    float s, c;
    zk_sincosf(x, s, c);
    return s;
}

inline float zk_cosf(float x) // [any]
{
    float s, c;
    zk_sincosf(x, s, c);
    return c;
}

float zk_expf(float x);          // [any]
float zk_logf(float x);          // [any]
float zk_powf(float x, float y); // [any]
float zk_sinhf(float x);         // [any]

double zk_exp(double x);  // [any]
double zk_exp2(double x); // [any]
double zk_log(double x);  // [any]
