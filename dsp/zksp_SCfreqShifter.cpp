#include "dsp/zksp_SCfreqShifter.h"

#include "dsp/zksp_sample_guard.h"

#include <cmath>

namespace {
// Pole frequencies (Hz) of a published pair of allpass chains whose outputs differ by 90
// degrees over the audio band: chain A, then chain B.
constexpr float kPoles[12] = {0.3609f, 2.7412f, 11.1573f, 44.7581f, 179.6242f, 798.4578f,
                              1.2524f, 5.5671f, 22.3423f, 89.6271f, 364.7914f, 2770.1113f};
// Which two first-order coefficients form each section: A1 A2 A3 B1 B2 B3.
constexpr int kPairs[6][2] = {{0, 5}, {1, 4}, {2, 3}, {6, 11}, {7, 10}, {8, 9}};
} // namespace

zksp_SCfreqShifter::zksp_SCfreqShifter()
{
    computeNetwork();
}

void zksp_SCfreqShifter::computeNetwork()
{
    for (int k = 0; k < 12; ++k) {
        const float u = kPoles[k] * 47.12389f * samplePeriod; // 15 pi
        coefficients[k] = (1.0f - u) / (1.0f + u);
    }
    for (int s = 0; s < 6; ++s) {
        const float a = coefficients[kPairs[s][0]];
        const float b = coefficients[kPairs[s][1]];
        Section& sec = sections[s];
        sec.a1 = -(a + b);
        sec.a2 = a * b;
        sec.b0 = a * b;
        sec.b1 = -(a + b);
    }
}

void zksp_SCfreqShifter::computeIncrement()
{
    float inc = frequency * kTwoPi * samplePeriod;
    // A shift of a whole sample rate or more aliases to the same oscillator; folding the
    // increment keeps the single wrap in process() sufficient. Folded in double, so that a shift
    // too large for the float product (which overflows to infinity, and its remainder would be
    // NaN for good) still gives a phase.
    if (!(std::fabs(inc) < kTwoPi)) {
        const double product = static_cast<double>(frequency) * static_cast<double>(kTwoPi) *
                               static_cast<double>(samplePeriod);
        inc = std::isfinite(inc) ? std::fmod(inc, kTwoPi)
                                 : static_cast<float>(std::fmod(product, double{kTwoPi}));
    }
    phaseIncrement = inc;
}

void zksp_SCfreqShifter::setSampleRate(float rate) // [ui] while suspended
{
    zksp_block::setSampleRate(rate);
    computeNetwork();
    computeIncrement();
}

void zksp_SCfreqShifter::setFrequency(float hz) // [audio] control tick
{
    frequency = std::isfinite(hz) ? hz : 0.0f;
    computeIncrement();
}

void zksp_SCfreqShifter::setFeedback(float amount) // [audio] control tick
{
    feedbackGain = zksp_clamp_setting(amount, 0.0f, 1.0f, 0.0f) * 0.4999f + 0.0001f;
}
