#pragma once

#include "dsp/Morvek2Engine.h"
#include "dsp/zksp_SCfreqShifter.h"
#include "dsp/zksp_sample_guard.h"

// The "Shift" module: a frequency shifter with feedback, crossfaded with the dry signal by the
// module's gate level times the mix. While gate times mix is 0 the shifter does not run, so its
// phase and states hold still.
//
// Control tick (once every 32 samples, audio thread), the three modulated settings:
//   setShiftFrequency(hz)  "Shift Frequency" + "Shift Fine": -810..810 Hz
//   setFeedback(a)         "Shift Feedback": 0..1
//   setMix(m)              "Shift Mix": 0..1
// reset() keeps the shifter's state; setSampleRate() retunes the shifter to the host's rate.
class CFreqShifterEngine final : public Morvek2Engine
{
public:
    CFreqShifterEngine() = default;

    void setShiftFrequency(float hz); // [audio] control tick
    void setFeedback(float amount);   // [audio] control tick
    // Limited to 0..1; a NaN counts as 0.
    void setMix(float m); // [audio] control tick

    void reset() override { shifter.reset(); }               // [any]
    void setSampleRate(float rate) override;                 // [ui] suspended
    inline float processGated(float x, float gate) override; // [audio]
    // The two channels' engines one sample each: the same results as processGated on each.
    static inline void processGatedPair(CFreqShifterEngine& l, CFreqShifterEngine& r, float& xl,
                                        float& xr, float gate); // [audio]

    // One stretch of the two channels' engines (n <= 32 frames between two control ticks), a
    // frame at a time. The loop interleaves the frames of several modules' kernels, so a kernel
    // carries everything from frame to frame in itself and touches no other engine. Constructed
    // at the stretch start, step() exactly n times in frame order, then finish() once.
    static_assert(zksp_SCfreqShifter::kMaxStretch >= kMaxKernelFrames);
    class PairKernel
    {
    public:
        PairKernel(CFreqShifterEngine& l, CFreqShifterEngine& r, int n, float gate); // [audio]
        inline void step(float& xl, float& xr);                                      // [audio]
        void finish();                                                               // [audio]

    private:
        // Gate and mix hold over a stretch, so whether each channel's shifter runs is decided
        // once: a closed channel passes its samples untouched, an open one alone goes by
        // sample, and two open ones run their shifters together in SIMD lanes.
        enum class Mode { Closed, LeftAlone, RightAlone, Both };
        static Mode modeFor(const CFreqShifterEngine& l, const CFreqShifterEngine& r,
                            float gate); // [audio]
        // processGated of the one open channel, out of line so that the loop of the common case
        // stays small.
        static float processAlone(CFreqShifterEngine& e, float x, float gate); // [audio]

        CFreqShifterEngine& l;
        CFreqShifterEngine& r;
        const float gate;
        const Mode mode;
#if defined(__SSE2__)
        // The mix weights of the wet and the guarded dry sample, left and right in lanes 0, 1.
        __m128 wet{}, dry{};
        zksp_SCfreqShifter::PairKernel lanes;
#endif
    };
    // processGated over n samples of both channels: the kernel's loop.
    static void processStretchPair(CFreqShifterEngine& l, CFreqShifterEngine& r, float* xl,
                                   float* xr, int n, float gate) // [audio]
    {
        PairKernel k(l, r, n, gate);
        for (int i = 0; i < n; ++i)
            k.step(xl[i], xr[i]);
        k.finish();
    }

    const zksp_SCfreqShifter& getShifter() const
    {
        return shifter;
    } // [audio]
    float getMix() const
    {
        return mix;
    } // [audio]

private:
    zksp_SCfreqShifter shifter;
    float mix = 1.0f;
};

inline float CFreqShifterEngine::processGated(float x, float gate) // [audio]
{
    float m = gate * mix;
    if (!(m > 0.0f))
        return x;
    if (m > 1.0f)
        m = 1.0f;
    x = zksp_guard_sample(x);
    const float y = shifter.process(x);
    return y * m + (1.0f - m) * x;
}

inline void CFreqShifterEngine::processGatedPair(CFreqShifterEngine& l, CFreqShifterEngine& r,
                                                 float& xl, float& xr, float gate) // [audio]
{
    float ml = gate * l.mix;
    float mr = gate * r.mix;
    if (!(ml > 0.0f) || !(mr > 0.0f)) {
        xl = l.processGated(xl, gate);
        xr = r.processGated(xr, gate);
        return;
    }
    if (ml > 1.0f)
        ml = 1.0f;
    if (mr > 1.0f)
        mr = 1.0f;
    const float gl = zksp_guard_sample(xl);
    const float gr = zksp_guard_sample(xr);
    float yl = gl;
    float yr = gr;
    zksp_SCfreqShifter::processPair(l.shifter, r.shifter, yl, yr);
    xl = yl * ml + (1.0f - ml) * gl;
    xr = yr * mr + (1.0f - mr) * gr;
}

inline CFreqShifterEngine::PairKernel::Mode
CFreqShifterEngine::PairKernel::modeFor(const CFreqShifterEngine& l, const CFreqShifterEngine& r,
                                        float gate) // [audio]
{
    const bool left = gate * l.mix > 0.0f;
    const bool right = gate * r.mix > 0.0f;
    return left ? (right ? Mode::Both : Mode::LeftAlone)
                : (right ? Mode::RightAlone : Mode::Closed);
}

inline CFreqShifterEngine::PairKernel::PairKernel(CFreqShifterEngine& l, CFreqShifterEngine& r,
                                                  int n, float gate) // [audio]
    : l(l), r(r), gate(gate), mode(modeFor(l, r, gate))
#if defined(__SSE2__)
      ,
      lanes(l.shifter, r.shifter, mode == Mode::Both ? n : 0)
#endif
{
#if defined(__SSE2__)
    if (mode != Mode::Both)
        return;
    const float ml = gate * l.mix > 1.0f ? 1.0f : gate * l.mix;
    const float mr = gate * r.mix > 1.0f ? 1.0f : gate * r.mix;
    wet = _mm_setr_ps(ml, mr, ml, mr);
    dry = _mm_setr_ps(1.0f - ml, 1.0f - mr, 1.0f - ml, 1.0f - mr);
#else
    static_cast<void>(n);
#endif
}

inline void CFreqShifterEngine::PairKernel::step(float& xl, float& xr) // [audio]
{
    if (mode == Mode::Both) [[likely]] {
#if defined(__SSE2__)
        // y * m + (1 - m) * x with the guarded dry sample, as processGated mixes.
        const __m128 x = zksp_guard_sample4(_mm_unpacklo_ps(_mm_set_ss(xl), _mm_set_ss(xr)));
        const __m128 y = lanes.step(x);
        const __m128 out = _mm_add_ps(_mm_mul_ps(y, wet), _mm_mul_ps(dry, x));
        xl = _mm_cvtss_f32(out);
        xr = _mm_cvtss_f32(_mm_shuffle_ps(out, out, 1));
#else
        processGatedPair(l, r, xl, xr, gate);
#endif
    } else if (mode != Mode::Closed) {
        if (mode == Mode::LeftAlone)
            xl = processAlone(l, xl, gate);
        else
            xr = processAlone(r, xr, gate);
    }
}

inline void CFreqShifterEngine::PairKernel::finish() // [audio]
{
#if defined(__SSE2__)
    if (mode == Mode::Both)
        lanes.finish();
#endif
}
