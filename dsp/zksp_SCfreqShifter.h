#pragma once

#include "dsp/zksp_block.h"

// Base of the frequency shifters; adds nothing of its own.
class zksp_freqShifter : public zksp_block
{
protected:
    zksp_freqShifter() = default;
};

// Single-sideband frequency shifter with feedback. Two chains of allpass sections split the
// signal into branches 90 degrees apart over the audio band; multiplied by the cosine and sine of
// an oscillator at the shift frequency and added, they move every partial by the same number of
// hertz. A DC-blocked, clamped and softly saturated copy of the output is fed back to the input.
//
// The phase network and the oscillator follow the host's rate (setSampleRate), so a shift sounds
// the same at 44.1, 48 or 96 kHz. reset() does nothing: phase and states persist.
class zksp_SCfreqShifter : public zksp_freqShifter
{
public:
    zksp_SCfreqShifter();

    void reset() override {} // [any] the shifter is never cleared
    // Recomputes the phase network and the phase increment for the new rate; states are kept.
    void setSampleRate(float rate) override; // [ui] while suspended
    float process(float x) override;         // [audio]

    // Shift in Hz, negative for downward. Non-finite counts as 0; a shift beyond the sample
    // rate is taken modulo it (the same oscillator), so the phase always stays within a period.
    virtual void setFrequency(float hz); // [audio] control tick
    // Feedback amount 0..1 (limited; NaN counts as 0), gain := amount * 0.4999 + 0.0001.
    virtual void setFeedback(float amount); // [audio] control tick

    // One second-order allpass section, direct form II. The offset is added to the older state
    // with alternating sign so silence never decays into subnormal numbers.
    struct Section
    {
        float a1 = 0.0f, a2 = 0.0f, b0 = 0.0f, b1 = 0.0f, b2 = 1.0f;
        float w1 = 0.0f, w2 = 0.0f;
        float denormalOffset = 1.0e-12f;

        float process(float s)
        {
            const float w = s - a1 * w1 - a2 * w2;
            const float y = b0 * w + b1 * w1 + b2 * w2;
            w2 = w1 + denormalOffset;
            w1 = w;
            denormalOffset = -denormalOffset;
            return y;
        }
    };

    float getFrequency() const { return frequency; }               // [audio]
    float getFeedbackGain() const { return feedbackGain; }         // [audio]
    float getPhaseIncrement() const { return phaseIncrement; }     // [audio]
    float getPhase() const { return phase; }                       // [audio]
    float getFeedbackState() const { return feedbackState; }       // [audio]
    float getDcAccumulator() const { return dcAccumulator; }       // [audio]
    float getCoefficient(int k) const { return coefficients[k]; }  // [any] k = 0..11
    const Section& getSection(int k) const { return sections[k]; } // [any] A1 A2 A3 B1 B2 B3

    static constexpr float kTwoPi = 6.2831855f;

private:
    void computeNetwork();
    void computeIncrement();

    float frequency = 0.0f;
    float feedbackGain = 0.0001f;
    float phaseIncrement = 0.0f;
    float phase = 0.0f;
    float coefficients[12] = {};
    float feedbackState = 0.0f;
    float dcAccumulator = 0.0f;
    Section sections[6];
};
