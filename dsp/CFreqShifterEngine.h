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
    // Both channels over n samples in place, the same results as processGated sample by sample.
    // While both are open, the shifters run the stretch together in SIMD lanes.
    static void processStretchPair(CFreqShifterEngine& l, CFreqShifterEngine& r, float* xl,
                                   float* xr, int n, float gate);    // [audio]
    const zksp_SCfreqShifter& getShifter() const { return shifter; } // [audio]
    float getMix() const { return mix; }                             // [audio]

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
