#pragma once

#include "dsp/zk_math.h"
#include "dsp/zksp_block.h"
#include "dsp/zksp_sample_guard.h"

#include <cmath>
#include <cstdint>
#include <cstring>

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
class zksp_SCfreqShifter final : public zksp_freqShifter
{
public:
    zksp_SCfreqShifter();

    void reset() override {} // [any] the shifter is never cleared
    // Recomputes the phase network and the phase increment for the new rate; states are kept.
    void setSampleRate(float rate) override; // [ui] while suspended
    inline float process(float x) override;  // [audio]
    // One sample through each of two shifters (the two channels): the same results as
    // l.process(xl) and r.process(xr), with one sine and cosine when their phases are equal.
    static inline void processPair(zksp_SCfreqShifter& l, zksp_SCfreqShifter& r, float& xl,
                                   float& xr); // [audio]
    // n samples (1..kMaxStretch) through each of the two shifters: yl[i] and yr[i] get the bits
    // processPair gives sample by sample. The outputs may be the inputs.
    static void processStretchPair(zksp_SCfreqShifter& l, zksp_SCfreqShifter& r, const float* xl,
                                   const float* xr, float* yl, float* yr, int n); // [audio]
    static constexpr int kMaxStretch = 32;

    // Shift in Hz, negative for downward. Non-finite counts as 0; a shift beyond the sample
    // rate is taken modulo it (the same oscillator), so the phase always stays within a period.
    virtual void setFrequency(float hz); // [audio] control tick
    // Feedback amount 0..1 (limited; NaN counts as 0), gain := amount * 0.4999 + 0.0001.
    virtual void setFeedback(float amount); // [audio] control tick

    // One second-order allpass section, direct form II. In this form the numerator is the
    // denominator reversed: b0 = a2, b1 = a1 and b2 = 1, so the last tap is w2 itself. The
    // offset, added to the older state with a sign that alternates every sample, keeps silence
    // from decaying into subnormal numbers; all six sections share one, held by the shifter.
    struct Section
    {
        float a1 = 0.0f, a2 = 0.0f, b0 = 0.0f, b1 = 0.0f;
        float w1 = 0.0f, w2 = 0.0f;

        float process(float s, float denormalOffset)
        {
            const float w = s - a1 * w1 - a2 * w2;
            const float y = b0 * w + b1 * w1 + w2;
            w2 = w1 + denormalOffset;
            w1 = w;
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
    // The oscillator's next phase, stored and returned.
    inline float advancePhase(); // [audio]
    // One sample with the oscillator's sine and cosine at the current phase.
    inline float processAt(float x, float sn, float cs); // [audio]

    void computeNetwork();
    void computeIncrement();

    float frequency = 0.0f;
    float feedbackGain = 0.0001f;
    float phaseIncrement = 0.0f;
    float phase = 0.0f;
    float coefficients[12] = {};
    float feedbackState = 0.0f;
    float dcAccumulator = 0.0f;
    float denormalOffset = 1.0e-12f;
    Section sections[6];
};

inline float zksp_SCfreqShifter::advancePhase() // [audio]
{
    float p = phase + phaseIncrement;
    if (p >= kTwoPi)
        p -= kTwoPi;
    if (p < 0.0f)
        p += kTwoPi;
    phase = p;
    return p;
}

inline float zksp_SCfreqShifter::processAt(float x, float sn, float cs) // [audio]
{
    // A NaN or infinite sample would stick in the sections and the DC blocker for good.
    const float in = zksp_guard_sample(x) + feedbackGain * feedbackState;

    const float off = denormalOffset;
    denormalOffset = -off;
    const float A =
        sections[2].process(sections[1].process(sections[0].process(in, off), off), off);
    const float B =
        sections[5].process(sections[4].process(sections[3].process(in, off), off), off);
    const float out = sn * B + cs * A;

    // DC blocker with pole 0.995, then a clamp to [-1, 1] and a parabolic soft saturation.
    const float dc = dcAccumulator;
    const float acc = dc * 0.995f + out;
    const float d = acc - dc;
    dcAccumulator = acc;
    const float c = (std::fabs(d + 1.0f) - std::fabs(d - 1.0f)) * 0.5f;
    feedbackState = 2.0f * c - std::fabs(c) * c;
    return out;
}

inline float zksp_SCfreqShifter::process(float x) // [audio]
{
    // The oscillator does not depend on the signal: it goes first, so the sine and cosine
    // run while the feedback path's values stay in registers.
    float sn, cs;
    zk_sincosf(advancePhase(), sn, cs);
    return processAt(x, sn, cs);
}

inline void zksp_SCfreqShifter::processPair(zksp_SCfreqShifter& l, zksp_SCfreqShifter& r, float& xl,
                                            float& xr) // [audio]
{
    const float pl = l.advancePhase();
    const float pr = r.advancePhase();
    float snl, csl, snr, csr;
    zk_sincosf(pl, snl, csl);
    // The two oscillators normally run in step; then the right one's sine and cosine are the
    // left one's bits. Compared as bits, so that -0 and +0 are not taken for each other.
    std::uint32_t bl, br;
    std::memcpy(&bl, &pl, sizeof bl);
    std::memcpy(&br, &pr, sizeof br);
    if (bl == br) {
        snr = snl;
        csr = csl;
    } else {
        zk_sincosf(pr, snr, csr);
    }
    xl = l.processAt(xl, snl, csl);
    xr = r.processAt(xr, snr, csr);
}
