#pragma once

#include "dsp/Morvek2Engine.h"
#include "dsp/zksp_sample_guard.h"

#include <algorithm>

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Bit crusher: a sample-and-hold at a fraction of the host rate, then quantisation to fewer
// bits, with "error" made by OR-ing into every sample the bits of an older held sample. A level
// factor pulls the output down at very low bit depths. The crushed signal is crossfaded with the
// dry input by the module's gate level.
//
// Control tick (once every 32 samples, audio thread), the three modulated settings:
//   setBitDepth(d)  "Bits Bit Depth": 24, or 1..17
//   setError(e)     "Bits Error": 0..100, samples between two refreshes of the error mask
//   setRate(r)      "Bits Rate": hold-phase increment per sample, 1.0 down to 0.01
// reset() keeps the state; setSampleRate() only stores the rate.
class CBitsEngine final : public Morvek2Engine
{
public:
    CBitsEngine() = default;

    // shift := trunc(24 - d); level := 10^(-0.15 (6 - trunc(d))) for d <= 6, else 1.
    // d is limited to 0..24 so the shift stays a valid shift count; a NaN counts as 24.
    void setBitDepth(float d); // [audio] control tick
    // error period := trunc(e); limited to 0..1e6, a NaN counts as 0 (no error).
    void setError(float e); // [audio] control tick
    // Limited to 0.01..1 (below, the hold phase would stall; above, it would run away); a NaN
    // counts as 1.
    void setRate(float r); // [audio] control tick

    void reset() override {} // [any] the hold, mask and countdown persist
    inline float processGated(float x, float gate) override; // [audio]
    // One stretch of both channels, a frame at a time, for a loop that interleaves several
    // modules' frames: the two channels in the lanes of one register while they crush to the
    // same depth (as the loop's settings make them), otherwise sample by sample.
    class PairKernel
    {
    public:
        PairKernel(CBitsEngine& l, CBitsEngine& r, int n, float gate); // [audio]
        inline void step(float& xl, float& xr);                        // [audio]
        void finish();                                                 // [audio]

    private:
        CBitsEngine& left;
        CBitsEngine& right;
        float gate;
        bool lanes;
        bool stepped = false;
#if defined(__SSE2__)
        __m128 wet{}, dry{}, rate{}, holdPhase{}, held{}, q{};
        __m128i period{}, count{}, countdown{}, mask{};
#endif
    };
    // processGated over n samples of both channels: the kernel's loop.
    static void processStretchPair(CBitsEngine& l, CBitsEngine& r, float* xl, float* xr, int n,
                                   float gate) // [audio]
    {
        PairKernel kernel(l, r, n, gate);
        for (int i = 0; i < n; ++i) {
            kernel.step(xl[i], xr[i]);
        }
        kernel.finish();
    }

    // Read-back for the owner's display and for tests.
    int getShift() const
    {
        return shift;
    } // [audio]
    float getLevel() const
    {
        return level;
    } // [audio]
    int getErrorPeriod() const
    {
        return errorPeriod;
    } // [audio]
    float getRate() const
    {
        return rate;
    } // [audio]
    float getLastOutput() const
    {
        return lastOutput;
    } // [audio]
    float getHeldSample() const
    {
        return heldSample;
    } // [audio]
    float getHoldPhase() const
    {
        return holdPhase;
    } // [audio]

private:
    std::int32_t shift = 0;
    float lastOutput = 0.0f;
    std::int32_t errorPeriod = 100;
    std::int32_t errorCountdown = 1;
    std::int32_t errorMask = 0;
    float rate = 1.0f;
    float holdPhase = 0.0f;
    float heldSample = 0.0f;
    float bitDepth = 24.0f;
    float rateSetting = 1.0f;
    float errorSetting = 100.0f;
    float level = 1.0f;
};

inline float CBitsEngine::processGated(float x, float gate) // [audio]
{
    x = zksp_guard_sample(x);
    // The loop hands 0..1; anything else (a NaN included) must not turn the mix non-finite.
    // max(0, NaN) is 0 in this argument order.
    gate = std::min(std::max(0.0f, gate), 1.0f);

    holdPhase += rate;
    if (holdPhase >= 1.0f) {
        heldSample = x;
        // The phase is within [1, 2) here, so the float subtraction is exact: the same result
        // as subtracting in double and rounding back.
        holdPhase -= 1.0f;
    }

    // Full scale becomes a 24-bit signed integer. Louder samples are limited to the 32-bit range
    // first (2147483520 is the largest float below 2^31): converting a float beyond it to an
    // integer is undefined. The held sample is finite, so min and max need no NaN care.
    const float scaled = std::max(std::min(heldSample * 8388608.0f, 2147483520.0f), -2147483648.0f);
    const std::int32_t v = static_cast<std::int32_t>(scaled);

    const std::int32_t countdown = errorCountdown;
    errorCountdown = countdown - 1;
    if (countdown == 0) {
        errorMask = v;
        errorCountdown = errorPeriod;
    }

    // Arithmetic shifts: the low bits are cleared with rounding toward negative infinity.
    const std::int32_t crushed = ((v | errorMask) >> shift) << shift;
    const float q = static_cast<float>(static_cast<double>(crushed) * 1.1920928955e-7);
    lastOutput = q;
    return gate * level * q + (1.0f - gate) * x;
}

inline CBitsEngine::PairKernel::PairKernel(CBitsEngine& l, CBitsEngine& r, int,
                                           float g) // [audio]
    : left(l), right(r), gate(g)
{
#if defined(__SSE2__)
    // One shift count serves both lanes.
    lanes = l.shift == r.shift;
    if (!lanes)
        return;
    g = std::min(std::max(0.0f, g), 1.0f);
    wet = _mm_mul_ps(_mm_set1_ps(g), _mm_setr_ps(l.level, r.level, 0.0f, 0.0f));
    dry = _mm_set1_ps(1.0f - g);
    rate = _mm_setr_ps(l.rate, r.rate, 0.0f, 0.0f);
    period = _mm_setr_epi32(l.errorPeriod, r.errorPeriod, 0, 0);
    count = _mm_cvtsi32_si128(l.shift);
    holdPhase = _mm_setr_ps(l.holdPhase, r.holdPhase, 0.0f, 0.0f);
    held = _mm_setr_ps(l.heldSample, r.heldSample, 0.0f, 0.0f);
    countdown = _mm_setr_epi32(l.errorCountdown, r.errorCountdown, 1, 1);
    mask = _mm_setr_epi32(l.errorMask, r.errorMask, 0, 0);
    q = _mm_setzero_ps();
#else
    lanes = false;
#endif
}

inline void CBitsEngine::PairKernel::step(float& xl, float& xr) // [audio]
{
#if defined(__SSE2__)
    if (lanes) {
        stepped = true;
        const __m128 x = zksp_guard_sample4(_mm_unpacklo_ps(_mm_set_ss(xl), _mm_set_ss(xr)));
        // The hold: a lane whose phase reaches 1 takes the sample and steps back by 1.
        const __m128 one = _mm_set1_ps(1.0f);
        holdPhase = _mm_add_ps(holdPhase, rate);
        const __m128 take = _mm_cmpge_ps(holdPhase, one);
        held = _mm_or_ps(_mm_and_ps(take, x), _mm_andnot_ps(take, held));
        holdPhase = _mm_sub_ps(holdPhase, _mm_and_ps(take, one));
        // Both limits in the scalar code's order; the held sample is finite.
        const __m128 scaled = _mm_max_ps(
            _mm_min_ps(_mm_mul_ps(held, _mm_set1_ps(8388608.0f)), _mm_set1_ps(2147483520.0f)),
            _mm_set1_ps(-2147483648.0f));
        const __m128i v = _mm_cvttps_epi32(scaled);
        // The error: a lane whose countdown was at 0 takes v as its mask and starts again.
        const __m128i due = _mm_cmpeq_epi32(countdown, _mm_setzero_si128());
        mask = _mm_or_si128(_mm_and_si128(due, v), _mm_andnot_si128(due, mask));
        countdown =
            _mm_or_si128(_mm_and_si128(due, period),
                         _mm_andnot_si128(due, _mm_sub_epi32(countdown, _mm_set1_epi32(1))));
        const __m128i crushed = _mm_sll_epi32(_mm_sra_epi32(_mm_or_si128(v, mask), count), count);
        q = _mm_cvtpd_ps(_mm_mul_pd(_mm_cvtepi32_pd(crushed), _mm_set1_pd(1.1920928955e-7)));
        const __m128 y = _mm_add_ps(_mm_mul_ps(wet, q), _mm_mul_ps(dry, x));
        xl = _mm_cvtss_f32(y);
        xr = _mm_cvtss_f32(_mm_shuffle_ps(y, y, 1));
        return;
    }
#endif
    xl = left.processGated(xl, gate);
    xr = right.processGated(xr, gate);
}

inline void CBitsEngine::PairKernel::finish() // [audio]
{
#if defined(__SSE2__)
    if (!lanes || !stepped)
        return;
    float f[4];
    std::int32_t k[4];
    _mm_storeu_ps(f, holdPhase);
    left.holdPhase = f[0];
    right.holdPhase = f[1];
    _mm_storeu_ps(f, held);
    left.heldSample = f[0];
    right.heldSample = f[1];
    _mm_storeu_ps(f, q);
    left.lastOutput = f[0];
    right.lastOutput = f[1];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(k), countdown);
    left.errorCountdown = k[0];
    right.errorCountdown = k[1];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(k), mask);
    left.errorMask = k[0];
    right.errorMask = k[1];
#endif
}
