#include "dsp/CFreqShifterEngine.h"
#include "dsp/zksp_SCfreqShifter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

// Magnitude of one frequency in a block of samples (Goertzel), normalised so a unit sine reads
// about 0.5 when the block holds whole periods.
double goertzel(const std::vector<float>& x, double hz, double rate)
{
    const double w = 2.0 * kPi * hz / rate;
    const double coeff = 2.0 * std::cos(w);
    double s1 = 0.0, s2 = 0.0;
    for (float v : x) {
        const double s0 = v + coeff * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double re = s1 - s2 * std::cos(w);
    const double im = s2 * std::sin(w);
    return std::sqrt(re * re + im * im) / static_cast<double>(x.size());
}

double db(double ratio)
{
    return 20.0 * std::log10(ratio);
}

// One second of a shifted sine after half a second of settling, with the engine fully wet.
std::vector<float> shiftSine(float rate, float inHz, float shiftHz)
{
    CFreqShifterEngine e;
    e.setSampleRate(rate);
    e.setShiftFrequency(shiftHz);
    e.setFeedback(0.0f);
    e.setMix(1.0f);
    const int settle = static_cast<int>(rate / 2);
    const int n = static_cast<int>(rate);
    std::vector<float> out;
    out.reserve(n);
    for (int i = 0; i < settle + n; ++i) {
        const float x = static_cast<float>(std::sin(2.0 * kPi * inHz * i / rate));
        const float y = e.processGated(x, 1.0f);
        if (i >= settle)
            out.push_back(y);
    }
    return out;
}

TEST(FreqShifter, MovesASineUpAndSuppressesTheImage)
{
    const std::vector<float> out = shiftSine(44100.0f, 1000.0f, 100.0f);
    const double wanted = goertzel(out, 1100.0, 44100.0);
    const double image = goertzel(out, 900.0, 44100.0);
    const double original = goertzel(out, 1000.0, 44100.0);
    EXPECT_NEAR(wanted, 0.5, 0.01);
    EXPECT_LT(db(image / wanted), -50.0);
    EXPECT_LT(db(original / wanted), -50.0);
}

TEST(FreqShifter, NegativeShiftMovesDown)
{
    const std::vector<float> out = shiftSine(44100.0f, 1000.0f, -100.0f);
    const double wanted = goertzel(out, 900.0, 44100.0);
    EXPECT_NEAR(wanted, 0.5, 0.01);
    EXPECT_LT(db(goertzel(out, 1100.0, 44100.0) / wanted), -50.0);
}

TEST(FreqShifter, SoundsTheSameAtHigherHostRates)
{
    for (float rate : {48000.0f, 96000.0f}) {
        const std::vector<float> out = shiftSine(rate, 1000.0f, 100.0f);
        const double wanted = goertzel(out, 1100.0, rate);
        EXPECT_NEAR(wanted, 0.5, 0.01) << rate;
        EXPECT_LT(db(goertzel(out, 900.0, rate) / wanted), -50.0) << rate;
        EXPECT_LT(db(goertzel(out, 1000.0, rate) / wanted), -50.0) << rate;
    }
    // The oscillator follows the rate too.
    zksp_SCfreqShifter s;
    s.setSampleRate(48000.0f);
    s.setFrequency(100.0f);
    EXPECT_NEAR(s.getPhaseIncrement(), 100.0 * 2.0 * kPi / 48000.0, 1e-7);
}

TEST(FreqShifter, ZeroShiftIsAnAllpassCopyAndThePhaseStaysStill)
{
    zksp_SCfreqShifter s;
    s.setFrequency(0.0f);
    s.setFeedback(0.0f);
    EXPECT_EQ(s.getFeedbackGain(), 0.0001f);
    // A 2 kHz sine keeps its level through chain A; the phase never moves.
    double inEnergy = 0.0, outEnergy = 0.0;
    for (int i = 0; i < 44100; ++i) {
        const float x = static_cast<float>(0.5 * std::sin(2.0 * kPi * 2000.0 * i / 44100.0));
        const float y = s.process(x);
        if (i >= 22050) {
            inEnergy += static_cast<double>(x) * x;
            outEnergy += static_cast<double>(y) * y;
        }
        ASSERT_EQ(s.getPhase(), 0.0f);
    }
    EXPECT_NEAR(outEnergy / inEnergy, 1.0, 0.002);
}

TEST(FreqShifter, PhaseWrapsIntoOnePeriodEitherWay)
{
    for (float hz : {-810.0f, -3.0f, 5.0f, 810.0f, 30000.0f, -1e9f, 3e38f, -3e38f}) {
        zksp_SCfreqShifter s;
        s.setFrequency(hz);
        EXPECT_LT(std::fabs(s.getPhaseIncrement()), zksp_SCfreqShifter::kTwoPi) << hz;
        for (int i = 0; i < 20000; ++i) {
            s.process(0.1f);
            ASSERT_GE(s.getPhase(), 0.0f) << hz;
            ASSERT_LE(s.getPhase(), zksp_SCfreqShifter::kTwoPi) << hz;
        }
    }
    // A downward shift runs the phase downward: after one sample it sits just below 2 pi.
    zksp_SCfreqShifter down;
    down.setFrequency(-100.0f);
    down.process(0.0f);
    EXPECT_NEAR(down.getPhase(), zksp_SCfreqShifter::kTwoPi - down.getPhaseIncrement() * -1.0f,
                1e-5f);
}

TEST(FreqShifterEngine, ClosedGateOrZeroMixPassesInputAndFreezesTheShifter)
{
    CFreqShifterEngine e;
    e.setShiftFrequency(250.0f);
    e.setFeedback(0.5f);
    e.setMix(1.0f);
    for (int i = 0; i < 100; ++i)
        e.processGated(std::sin(0.1f * static_cast<float>(i)), 1.0f);
    const float phase = e.getShifter().getPhase();
    const float w1 = e.getShifter().getSection(0).w1;
    const float fb = e.getShifter().getFeedbackState();
    for (float gate : {0.0f, 1.0f}) {
        e.setMix(gate > 0.0f ? 0.0f : 1.0f); // one of the two factors is 0
        for (float x : {0.3f, -0.9f, 1e-20f, 5.0f})
            EXPECT_EQ(e.processGated(x, gate), x);
    }
    EXPECT_EQ(e.getShifter().getPhase(), phase);
    EXPECT_EQ(e.getShifter().getSection(0).w1, w1);
    EXPECT_EQ(e.getShifter().getFeedbackState(), fb);
}

TEST(FreqShifterEngine, MixCrossfadesShiftedAndDry)
{
    CFreqShifterEngine wet, half;
    for (CFreqShifterEngine* e : {&wet, &half}) {
        e->setShiftFrequency(70.0f);
        e->setFeedback(0.2f);
    }
    wet.setMix(1.0f);
    half.setMix(0.8f);
    for (int i = 0; i < 2000; ++i) {
        const float x = std::sin(0.03f * static_cast<float>(i));
        const float y = wet.processGated(x, 1.0f);
        // gate 0.5 times mix 0.8 gives 0.4 of the same shifted signal.
        const float z = half.processGated(x, 0.5f);
        ASSERT_NEAR(z, y * 0.4f + 0.6f * x, 1e-6f) << i;
    }
}

TEST(FreqShifter, FeedbackCannotRunAwayAndDcDoesNotAccumulate)
{
    zksp_SCfreqShifter s;
    s.setFrequency(37.0f);
    s.setFeedback(1.0f);
    EXPECT_NEAR(s.getFeedbackGain(), 0.5f, 1e-7f);
    float peak = 0.0f;
    for (int i = 0; i < 5 * 44100; ++i) {
        const float x = (i / 50) % 2 ? 1.0f : -1.0f; // full-scale square wave
        peak = std::max(peak, std::fabs(s.process(x)));
        ASSERT_LE(std::fabs(s.getFeedbackState()), 1.0f);
    }
    EXPECT_LT(peak, 4.0f);

    // A constant input through an unshifted network: without the DC blocker the fed-back sample
    // would sit near its saturated 0.75 and pile up on the input. With it, only the network's
    // rounding noise (its lowest poles sit close to 1) is left in the feedback path.
    zksp_SCfreqShifter dc;
    dc.setFrequency(0.0f);
    dc.setFeedback(1.0f);
    double fbSum = 0.0, outSum = 0.0;
    float fbPeak = 0.0f;
    const int n = 44100;
    for (int i = 0; i < 3 * n; ++i) {
        const float out = dc.process(0.5f);
        if (i >= 2 * n) {
            fbSum += dc.getFeedbackState();
            outSum += out;
            fbPeak = std::max(fbPeak, std::fabs(dc.getFeedbackState()));
        }
    }
    EXPECT_LT(std::fabs(fbSum / n), 1e-3);
    EXPECT_LT(fbPeak, 0.05f);
    EXPECT_NEAR(std::fabs(outSum / n), 0.5, 0.005);
}

TEST(FreqShifter, HostileSettingsAndInputsDoNotPoisonTheState)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (float h : {nan, inf, -inf, 1e30f, -1e30f}) {
        CFreqShifterEngine e;
        e.setShiftFrequency(h);
        e.setFeedback(h);
        e.setMix(h);
        e.setMix(1.0f);
        for (float x : {h, 0.5f, nan, -inf, 1e30f, 0.25f}) {
            for (float gate : {1.0f, h}) {
                const float y = e.processGated(x, gate);
                if (!(gate * 1.0f > 0.0f))
                    continue; // closed: the input passes as it came
                ASSERT_TRUE(std::isfinite(y)) << h << " " << x << " " << gate;
            }
        }
        // Back to ordinary settings and audio: everything finite and the shift works again.
        e.setShiftFrequency(100.0f);
        e.setFeedback(0.0f);
        for (int i = 0; i < 44100; ++i) {
            const float y =
                e.processGated(static_cast<float>(std::sin(2.0 * kPi * i / 44.1)), 1.0f);
            ASSERT_TRUE(std::isfinite(y));
            ASSERT_LT(std::fabs(y), 1e7f);
        }
        const zksp_SCfreqShifter& s = e.getShifter();
        for (int k = 0; k < 6; ++k) {
            ASSERT_TRUE(std::isfinite(s.getSection(k).w1));
            ASSERT_TRUE(std::isfinite(s.getSection(k).w2));
        }
        EXPECT_TRUE(std::isfinite(s.getDcAccumulator()));
        EXPECT_TRUE(std::isfinite(s.getPhase()));
    }
}

TEST(FreqShifter, NoSubnormalStateAfterLoudSignalAndSilence)
{
    CFreqShifterEngine e;
    e.setShiftFrequency(-330.0f);
    e.setFeedback(0.9f);
    e.setMix(1.0f);
    for (int i = 0; i < 44100; ++i)
        e.processGated(static_cast<float>(std::sin(2.0 * kPi * 440.0 * i / 44100.0)), 1.0f);
    for (int i = 0; i < 10 * 44100; ++i)
        e.processGated(0.0f, 1.0f);
    const zksp_SCfreqShifter& s = e.getShifter();
    for (int k = 0; k < 6; ++k) {
        EXPECT_NE(std::fpclassify(s.getSection(k).w1), FP_SUBNORMAL) << k;
        EXPECT_NE(std::fpclassify(s.getSection(k).w2), FP_SUBNORMAL) << k;
    }
    EXPECT_NE(std::fpclassify(s.getFeedbackState()), FP_SUBNORMAL);
    EXPECT_NE(std::fpclassify(s.getDcAccumulator()), FP_SUBNORMAL);
    EXPECT_NE(std::fpclassify(s.getPhase()), FP_SUBNORMAL);
}

} // namespace
