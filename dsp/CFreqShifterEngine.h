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

    void reset() override { shifter.reset(); }                       // [any]
    void setSampleRate(float rate) override;                         // [ui] suspended
    inline float processGated(float x, float gate) override;         // [audio]
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
