#pragma once

#include "dsp/Morvek2Engine.h"
#include "dsp/zksp_fuzz_curve.h"
#include "dsp/zksp_sample_guard.h"
#include "dsp/zksp_sine.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Distortion in two stages: a fuzz stage drives the signal into the stored transfer curve
// (dsp/zksp_fuzz_curve.h), and a warp stage folds the result through a sine. The wet signal
// (at most 0.2 in magnitude) is crossfaded with the dry input by the module's gate level; with the
// gate closed the engine passes its input untouched and does no work.
//
// Control tick (once every 32 samples, audio thread), the two modulated settings:
//   setFuzz(f)  "Distort Fuzz": 0..1, drive from 1 to about 32.4
//   setWarp(w)  "Distort Warp": 0.5..4.5 sine periods across the curve range
// reset() does nothing; setSampleRate() only stores the rate.
class CDistortEngine final : public Morvek2Engine
{
public:
    CDistortEngine() = default;

    // Limited to 0..1; a NaN counts as 0.
    void setFuzz(float f); // [audio] control tick
    // Limited to 0.5..4.5; a NaN counts as 0.5. Also stores w * 2 pi in double precision.
    void setWarp(float w); // [audio] control tick

    inline float processGated(float x, float gate) override; // [audio]
    // The two channels' engines one sample each: the same results as processGated on each,
    // with both warp sines in one pair of double lanes.
    static inline void processGatedPair(CDistortEngine& l, CDistortEngine& r, float& xl, float& xr,
                                        float gate); // [audio]
    // One stretch of both channels, a frame at a time, for a loop that interleaves several
    // modules' frames: both channels' curve lookups, sines and mixes in the lanes of one
    // register each, with the same operations in the same order as processGated. A closed gate
    // passes the frames untouched.
    class PairKernel
    {
    public:
        PairKernel(CDistortEngine& l, CDistortEngine& r, int n, float gate); // [audio]
        inline void step(float& xl, float& xr);                              // [audio]
        void finish();                                                       // [audio]

    private:
        CDistortEngine& left;
        CDistortEngine& right;
        bool open;
        float gate;
#if defined(__SSE2__)
        __m128d drive{}, curveScale{}, warpAngle{};
        __m128 dry{}, wet{};
        __m128 curve{}, sine{}; // the last frame's curve output and sine, lanes 0 and 1
#endif
    };
    // processGated over n samples of both channels: the kernel's loop.
    static void processStretchPair(CDistortEngine& l, CDistortEngine& r, float* xl, float* xr,
                                   int n, float gate) // [audio]
    {
        PairKernel kernel(l, r, n, gate);
        for (int i = 0; i < n; ++i) {
            kernel.step(xl[i], xr[i]);
        }
        kernel.finish();
    }

    float getFuzz() const
    {
        return fuzz;
    } // [audio]
    float getWarp() const
    {
        return warp;
    } // [audio]
    double getWarpAngle() const
    {
        return warpAngle;
    } // [audio]
    float getLastCurveOutput() const
    {
        return lastCurveOutput;
    } // [audio]
    float getLastOutput() const
    {
        return lastOutput;
    } // [audio]

private:
    // The fuzz stage of one guarded sample, stored in lastCurveOutput and returned.
    inline float curveAt(float x); // [audio]

    float fuzz = 0.0f;
    double drive = 1.0; // fuzz * 31.415926536 + 1, in double, kept by setFuzz
    float curveScale = 0.85f;
    float lastCurveOutput = 0.0f;
    float warp = 0.5f;
    double warpAngle = 3.14159265358979323846;
    float lastOutput = 0.0f;
};

inline float CDistortEngine::curveAt(float x) // [audio]
{
    float a = static_cast<float>(drive * static_cast<double>(x));
    // Branch-free clamp: loud or heavily driven signals hit both ends at random.
    a = std::min(std::max(a, -1.0f), 1.0f);

    // a in [-1, 1] puts b in [1, 511]: i + 1 is at most 512, the guard entry read with weight 0.
    const float b = a * 255.0f + 256.0f;
    const int i = static_cast<int>(b);
    const float fr = b - static_cast<float>(i);
    const double s = ((1.0 - static_cast<double>(fr)) * static_cast<double>(zksp_fuzz_curve[i]) +
                      static_cast<double>(fr) * static_cast<double>(zksp_fuzz_curve[i + 1])) *
                     static_cast<double>(curveScale);
    lastCurveOutput = static_cast<float>(s);
    return lastCurveOutput;
}

inline float CDistortEngine::processGated(float x, float gate) // [audio]
{
    if (!(gate > 0.0f))
        return x;
    if (gate > 1.0f)
        gate = 1.0f;
    x = zksp_guard_sample(x);
    curveAt(x);

    // |s * warp angle| stays below 24 (|s| <= 0.85, angle <= 9 pi).
    const float e =
        static_cast<float>(zksp_sin_double(static_cast<double>(lastCurveOutput) * warpAngle));
    lastOutput = e;
    return (1.0f - gate) * x + e * 0.2f * gate;
}

inline void CDistortEngine::processGatedPair(CDistortEngine& l, CDistortEngine& r, float& xl,
                                             float& xr, float gate) // [audio]
{
#if defined(__SSE2__)
    if (!(gate > 0.0f))
        return;
    if (gate > 1.0f)
        gate = 1.0f;
    const float gl = zksp_guard_sample(xl);
    const float gr = zksp_guard_sample(xr);
    const double sl = static_cast<double>(l.curveAt(gl)) * l.warpAngle;
    const double sr = static_cast<double>(r.curveAt(gr)) * r.warpAngle;
    double e[2];
    _mm_storeu_pd(e, zksp_sin_double2(_mm_set_pd(sr, sl)));
    l.lastOutput = static_cast<float>(e[0]);
    r.lastOutput = static_cast<float>(e[1]);
    xl = (1.0f - gate) * gl + l.lastOutput * 0.2f * gate;
    xr = (1.0f - gate) * gr + r.lastOutput * 0.2f * gate;
#else
    xl = l.processGated(xl, gate);
    xr = r.processGated(xr, gate);
#endif
}

inline CDistortEngine::PairKernel::PairKernel(CDistortEngine& l, CDistortEngine& r, int,
                                              float g) // [audio]
    : left(l), right(r), open(g > 0.0f), gate(g > 1.0f ? 1.0f : g)
{
#if defined(__SSE2__)
    drive = _mm_set_pd(r.drive, l.drive);
    curveScale = _mm_cvtps_pd(_mm_unpacklo_ps(_mm_set_ss(l.curveScale), _mm_set_ss(r.curveScale)));
    warpAngle = _mm_set_pd(r.warpAngle, l.warpAngle);
    dry = _mm_set1_ps(1.0f - gate);
    wet = _mm_set1_ps(gate);
    curve = _mm_unpacklo_ps(_mm_set_ss(l.lastCurveOutput), _mm_set_ss(r.lastCurveOutput));
    sine = _mm_unpacklo_ps(_mm_set_ss(l.lastOutput), _mm_set_ss(r.lastOutput));
#endif
}

inline void CDistortEngine::PairKernel::step(float& xl, float& xr) // [audio]
{
    if (!open)
        return;
#if defined(__SSE2__)
    // Lanes 0 and 1 are the left and right channel, guarded.
    const __m128 x = zksp_guard_sample4(_mm_unpacklo_ps(_mm_set_ss(xl), _mm_set_ss(xr)));
    // The fuzz stage (curveAt): max(a, -1) then min(a, 1), in the operand order that gives
    // std::max and std::min's answer.
    __m128 a = _mm_cvtpd_ps(_mm_mul_pd(drive, _mm_cvtps_pd(x)));
    a = _mm_min_ps(_mm_set1_ps(1.0f), _mm_max_ps(_mm_set1_ps(-1.0f), a));
    const __m128 b = _mm_add_ps(_mm_mul_ps(a, _mm_set1_ps(255.0f)), _mm_set1_ps(256.0f));
    const __m128i index = _mm_cvttps_epi32(b);
    const __m128d fr = _mm_cvtps_pd(_mm_sub_ps(b, _mm_cvtepi32_ps(index)));
    const float* atLeft = zksp_fuzz_curve + _mm_cvtsi128_si32(index);
    const float* atRight = zksp_fuzz_curve + _mm_cvtsi128_si32(_mm_shuffle_epi32(index, 1));
    const __m128d below = _mm_cvtps_pd(_mm_unpacklo_ps(_mm_load_ss(atLeft), _mm_load_ss(atRight)));
    const __m128d above =
        _mm_cvtps_pd(_mm_unpacklo_ps(_mm_load_ss(atLeft + 1), _mm_load_ss(atRight + 1)));
    const __m128d s = _mm_mul_pd(
        _mm_add_pd(_mm_mul_pd(_mm_sub_pd(_mm_set1_pd(1.0), fr), below), _mm_mul_pd(fr, above)),
        curveScale);
    curve = _mm_cvtpd_ps(s);
    // The warp stage and the crossfade.
    sine = _mm_cvtpd_ps(zksp_sin_double2(_mm_mul_pd(_mm_cvtps_pd(curve), warpAngle)));
    const __m128 y =
        _mm_add_ps(_mm_mul_ps(dry, x), _mm_mul_ps(_mm_mul_ps(sine, _mm_set1_ps(0.2f)), wet));
    xl = _mm_cvtss_f32(y);
    xr = _mm_cvtss_f32(_mm_shuffle_ps(y, y, 1));
#else
    processGatedPair(left, right, xl, xr, gate);
#endif
}

inline void CDistortEngine::PairKernel::finish() // [audio]
{
#if defined(__SSE2__)
    if (!open)
        return;
    left.lastCurveOutput = _mm_cvtss_f32(curve);
    right.lastCurveOutput = _mm_cvtss_f32(_mm_shuffle_ps(curve, curve, 1));
    left.lastOutput = _mm_cvtss_f32(sine);
    right.lastOutput = _mm_cvtss_f32(_mm_shuffle_ps(sine, sine, 1));
#endif
}
