#include "dsp/CDelayEngine.h"
#include "dsp/zksp_delay.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace {

const float kInf = std::numeric_limits<float>::infinity();
const float kNaN = std::numeric_limits<float>::quiet_NaN();

// Feeds a unit impulse and returns the next n outputs (the impulse's own sample first).
template <class Line> std::vector<float> impulseResponse(Line& line, int n)
{
    std::vector<float> out(n);
    for (int i = 0; i < n; ++i)
        out[i] = line.process(i == 0 ? 1.0f : 0.0f);
    return out;
}

void expectIndicesInside(const zksp_delay& d)
{
    EXPECT_GE(d.getReadIndex(), 0);
    EXPECT_LT(d.getReadIndex(), d.getSize());
    EXPECT_GE(d.getWriteIndex(), 0);
    EXPECT_LT(d.getWriteIndex(), d.getSize());
}

TEST(DelayLine, StartsWithHalfItsBufferAsDelay)
{
    zksp_delay d;
    EXPECT_EQ(d.getSize(), 4096);
    EXPECT_EQ(d.getReadIndex(), 0);
    EXPECT_EQ(d.getWriteIndex(), 2048);
    EXPECT_EQ(d.getDelaySamples(), 2048);
    EXPECT_NEAR(d.getDelayMs(), 46.439907f, 1e-4f);
    const std::vector<float> r = impulseResponse(d, 2100);
    for (int i = 0; i < 2100; ++i)
        EXPECT_EQ(r[i], i == 2048 ? 1.0f : 0.0f) << i;
}

TEST(DelayLine, IntegerDelayAndWrapBeyondTheBuffer)
{
    zksp_delay d;
    d.setDelaySamples(10);
    std::vector<float> r = impulseResponse(d, 40);
    for (int i = 0; i < 40; ++i)
        EXPECT_EQ(r[i], i == 10 ? 1.0f : 0.0f) << i;

    // A delay longer than the buffer wraps modulo its length instead of writing past its end.
    d.reset();
    d.setDelaySamples(4096 * 3 + 7);
    expectIndicesInside(d);
    r = impulseResponse(d, 20);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(r[i], i == 7 ? 1.0f : 0.0f) << i;
    d.reset(); // the stored delay is still the long one: reset must wrap it too
    expectIndicesInside(d);

    d.setDelaySamples(-5); // negative counts as none
    expectIndicesInside(d);
    EXPECT_EQ(d.process(0.75f), 0.75f);
}

TEST(DelayLine, HostileMillisecondsStayInsideTheBuffer)
{
    for (float ms : {kNaN, kInf, -kInf, -3.0f, 1e30f, 1e9f, 0.0f}) {
        zksp_delay plain;
        plain.setDelayMs(ms);
        expectIndicesInside(plain);
        zksp_delay_allpass ap;
        ap.setDelayMs(ms);
        expectIndicesInside(ap);
        ap.setDelayFractional(ms);
        expectIndicesInside(ap);
        for (int i = 0; i < 5000; ++i) {
            ASSERT_TRUE(std::isfinite(ap.process(0.5f))) << ms;
            ASSERT_TRUE(std::isfinite(plain.process(0.5f))) << ms;
        }
        expectIndicesInside(ap);
        // A later rate change re-applies the stored time: still inside.
        ap.setSampleRate(48000.0f);
        expectIndicesInside(ap);
    }
}

TEST(DelayLine, ResizeRefusalsKeepTheOldBuffer)
{
    zksp_delay d;
    for (int bad : {0, -1, -100000, std::numeric_limits<int>::max(), zksp_delay::kMaxSize + 1}) {
        d.resize(bad);
        EXPECT_EQ(d.getSize(), 4096) << bad;
        expectIndicesInside(d);
    }
    // Shrinking below the delay makes the delay size - 1.
    d.resize(100);
    EXPECT_EQ(d.getSize(), 100);
    EXPECT_EQ(d.getDelaySamples(), 99);
    expectIndicesInside(d);
    const std::vector<float> r = impulseResponse(d, 120);
    EXPECT_EQ(r[99], 1.0f);
}

TEST(DelayLine, SampleRateChangeKeepsSecondsAndMilliseconds)
{
    zksp_delay_allpass d;
    d.resize(144000);
    d.setDelayMs(250.0f);
    d.setSampleRate(88200.0f);
    EXPECT_EQ(d.getSize(), 288004);
    EXPECT_FLOAT_EQ(d.getDelayMs(), 250.0f);
    EXPECT_EQ(d.getDelaySamples(), static_cast<int>(250.0f * 88.2f));
    // Garbage rates change nothing.
    for (float bad : {0.0f, -44100.0f, kNaN, kInf}) {
        d.setSampleRate(bad);
        EXPECT_EQ(d.getSize(), 288004);
        EXPECT_EQ(d.getSampleRate(), 88200.0f);
    }
    // A huge rate is capped, not turned into an overflowing size.
    d.setSampleRate(3.0e9f);
    EXPECT_LE(d.getSize(), zksp_delay::kMaxSize);
    expectIndicesInside(d);
    // The size follows the rate, not the size before: a detour through a tiny rate and back
    // leaves the line as long as any change to 44.1 kHz does.
    d.setSampleRate(1.0e-20f);
    EXPECT_GE(d.getSize(), 1);
    expectIndicesInside(d);
    d.setSampleRate(44100.0f);
    EXPECT_EQ(d.getSize(), 144004);
    EXPECT_FLOAT_EQ(d.getDelayMs(), 250.0f);
}

TEST(DelayLine, RateChangeInTwoHalvesHandsTheOldMemoryBack)
{
    zksp_delay_allpass d;
    d.resize(1000);
    d.setDelayMs(10.0f);
    const float* old = d.data();
    zksp_delay_memory fresh = d.prepareMemory(88200.0f);
    ASSERT_NE(fresh.samples, nullptr);
    EXPECT_EQ(fresh.size, 2004);
    const float* made = fresh.samples;
    zksp_delay_memory back = d.setSampleRate(88200.0f, fresh);
    EXPECT_EQ(d.data(), made);
    EXPECT_EQ(d.getSize(), 2004);
    EXPECT_EQ(back.samples, old);
    EXPECT_EQ(back.size, 1000);
    EXPECT_EQ(d.getDelaySamples(), static_cast<int>(10.0f * (88200.0f * 0.001f)));
    expectIndicesInside(d);
    zksp_delay::releaseMemory(back);
    EXPECT_EQ(back.samples, nullptr);

    // Memory that could not be made keeps the line at its size; memory for the rate already held
    // is not taken but handed back.
    back = d.setSampleRate(44100.0f, zksp_delay_memory{});
    EXPECT_EQ(d.getSize(), 2004);
    EXPECT_EQ(d.getSampleRate(), 44100.0f);
    EXPECT_EQ(back.samples, nullptr);
    fresh = d.prepareMemory(44100.0f);
    back = d.setSampleRate(44100.0f, fresh);
    EXPECT_EQ(back.samples, fresh.samples);
    EXPECT_EQ(d.getSize(), 2004);
    zksp_delay::releaseMemory(back);
}

// A reset that takes zeroed memory in place of the line's samples: nothing written before it is
// heard at any delay, and the memory it no longer uses comes back. Memory of another size is not
// taken; the line is cleared in place and the memory handed back.
TEST(DelayLine, ResetWithClearedMemoryLeavesNothingStale)
{
    zksp_delay_allpass d;
    d.resize(1000);
    for (const int size : {1000, 999}) {
        for (int i = 0; i < 3000; ++i)
            d.process(0.5f + 0.001f * static_cast<float>(i % 7));
        const float* old = d.data();
        zksp_delay_memory cleared = zksp_delay::clearedMemory(size); // the line's, or another
        ASSERT_EQ(cleared.size, size);
        const float* made = cleared.samples;
        zksp_delay_memory back = d.reset(cleared);
        EXPECT_EQ(d.data(), size == 1000 ? made : old) << size;
        EXPECT_EQ(back.samples, size == 1000 ? old : made) << size;
        expectIndicesInside(d);
        // Every delay the line can take reads only what was written since.
        for (const float ms : {0.0f, 3.0f, 22.6f}) {
            d.setDelayMs(ms);
            for (int i = 0; i < d.getSize(); ++i)
                ASSERT_EQ(d.process(0.0f), 0.0f) << size << " " << ms << " " << i;
        }
        zksp_delay::releaseMemory(back);
    }
}

TEST(AllpassDelay, WholeSampleDelayArrivesOneSampleLater)
{
    // The read happens before the write, so a delay of d samples returns the impulse d + 1
    // samples after it went in, exactly and alone when the fraction is 0.
    zksp_delay_allpass d;
    d.setDelayFractional(20.0f);
    EXPECT_EQ(d.getDelaySamples(), 20);
    EXPECT_EQ(d.getAllpassCoefficient(), 1.0f);
    const std::vector<float> r = impulseResponse(d, 60);
    for (int i = 0; i < 60; ++i)
        EXPECT_EQ(r[i], i == 21 ? 1.0f : 0.0f) << i;
}

TEST(AllpassDelay, FractionalDelayMovesTheImpulseCentroid)
{
    // For the first-order allpass with coefficient 1 - fr the delay at low frequencies is
    // fr / (2 - fr) samples on top of the whole part.
    for (float fr : {0.25f, 0.5f, 0.75f}) {
        zksp_delay_allpass d;
        const float want = 30.0f + fr;
        std::vector<float> r(400);
        for (int i = 0; i < 400; ++i) {
            d.setDelayFractional(want); // every sample, as the engine does
            r[i] = d.process(i == 0 ? 1.0f : 0.0f);
        }
        double sum = 0.0, moment = 0.0;
        for (int i = 0; i < 400; ++i) {
            sum += r[i];
            moment += i * static_cast<double>(r[i]);
        }
        EXPECT_NEAR(sum, 1.0, 1e-4) << fr;
        EXPECT_NEAR(moment / sum, 31.0 + fr / (2.0 - fr), 1e-3) << fr;
        for (int i = 0; i < 31; ++i)
            EXPECT_EQ(r[i], 0.0f) << "early output at " << i;
    }
}

TEST(AllpassDelay, BelowOneSampleCountsOneMore)
{
    zksp_delay_allpass d;
    d.setDelayFractional(0.25f);
    EXPECT_EQ(d.getDelaySamples(), 1);
    EXPECT_FLOAT_EQ(d.getAllpassCoefficient(), 0.75f);
    d.setDelayFractional(0.0f);
    EXPECT_EQ(d.getDelaySamples(), 1);
    EXPECT_EQ(d.getAllpassCoefficient(), 1.0f);
    const std::vector<float> r = impulseResponse(d, 5);
    EXPECT_EQ(r[2], 1.0f);
}

TEST(AllpassDelay, DelayBeyondTheBufferWrapsModuloItsLength)
{
    zksp_delay_allpass d;
    d.resize(144000);
    std::vector<float> r(200);
    for (int i = 0; i < 200; ++i) {
        d.setDelayFractional(144000.0f * 2.0f + 50.0f);
        r[i] = d.process(i == 0 ? 1.0f : 0.0f);
        ASSERT_GE(d.getReadIndex(), 0);
        ASSERT_LT(d.getReadIndex(), d.getSize());
    }
    for (int i = 0; i < 200; ++i)
        EXPECT_EQ(r[i], i == 51 ? 1.0f : 0.0f) << i;
}

// The engine with its time settled on ms, gate open, no feedback.
void settle(CDelayEngine& e, float ms, float feedback = 0.0f, float send = 1.0f)
{
    e.setDelayTime(ms);
    e.setFeedback(feedback);
    e.setSend(send);
    for (int i = 0; i < 4410; ++i) // 100 ms: fifty time constants of the glide
        e.processGated(0.0f, 1.0f);
}

// Index of the largest wet sample (output minus dry) after an impulse.
int echoPeak(CDelayEngine& e, int n, float gate = 1.0f)
{
    int peak = -1;
    float best = 0.0f;
    for (int i = 0; i < n; ++i) {
        const float x = i == 0 ? 1.0f : 0.0f;
        const float wet = e.processGated(x, gate) - x;
        if (std::fabs(wet) > best) {
            best = std::fabs(wet);
            peak = i;
        }
    }
    return peak;
}

TEST(DelayEngine, EchoArrivesAtTheSetTimeInEachModesRange)
{
    // Delay mode (a 1/8 note at 120 BPM), chorus (half of its 50 ms base), flange (10 ms base).
    for (float ms : {250.0f, 25.0f, 5.0f, 3000.0f}) {
        CDelayEngine e;
        settle(e, ms);
        const int samples = static_cast<int>(ms * e.getDelayLine().getSamplesPerMs());
        const int peak = echoPeak(e, samples + 50);
        // One sample of read-before-write, then the two loop filters' short smear.
        EXPECT_GE(peak, samples + 1) << ms;
        EXPECT_LE(peak, samples + 3) << ms;
    }
}

TEST(DelayEngine, TimeLongerThanTheLineWrapsModuloItsLength)
{
    const float ms = 3400.0f; // 149940 samples at 44.1 kHz, 5940 past the 144000-sample line
    CDelayEngine e;
    settle(e, ms);
    const int samples = static_cast<int>(ms * e.getDelayLine().getSamplesPerMs());
    const int wrapped = samples - e.getDelayLine().getSize();
    ASSERT_GT(wrapped, 5000);
    const int peak = echoPeak(e, 8000);
    EXPECT_GE(peak, wrapped + 1);
    EXPECT_LE(peak, wrapped + 3);
}

TEST(DelayEngine, TimeGlidesWithATwoMillisecondTimeConstant)
{
    CDelayEngine e;
    e.setDelayTime(10.0f);
    for (int i = 0; i < 88; ++i) // 2 ms at 44.1 kHz
        e.processGated(0.0f, 1.0f);
    EXPECT_NEAR(e.getDelayLine().getDelayMs(), 10.0f * (1.0f - std::exp(-1.0f)), 0.1f);
}

TEST(DelayEngine, NoSendNoFeedbackPassesTheInputExactly)
{
    CDelayEngine e;
    settle(e, 30.0f, 0.0f, 0.0f);
    for (int i = 0; i < 5000; ++i) {
        const float x = 0.8f * std::sin(0.01f * static_cast<float>(i)) + 0.1f;
        ASSERT_EQ(e.processGated(x, 1.0f), x) << i;
    }
}

TEST(DelayEngine, EchoesKeepRepeatingAfterTheGateCloses)
{
    CDelayEngine e;
    settle(e, 20.0f, 0.6f, 1.0f);
    const int period = static_cast<int>(20.0f * 44.1f) + 1;
    std::vector<float> wet(period * 4 + 20);
    for (std::size_t i = 0; i < wet.size(); ++i) {
        const float x = i == 0 ? 0.0f : 0.0f;
        // The impulse goes in with the gate open; from then on the gate is shut.
        const float in = i == 0 ? 1.0f : x;
        wet[i] = e.processGated(in, i == 0 ? 1.0f : 0.0f) - in;
    }
    auto peakNear = [&](int centre) {
        float best = 0.0f;
        for (int k = centre - 5; k <= centre + 5; ++k)
            best = std::max(best, std::fabs(wet[k]));
        return best;
    };
    const float first = peakNear(period + 1);
    const float second = peakNear(2 * period + 2);
    const float third = peakNear(3 * period + 3);
    EXPECT_GT(first, 0.3f);
    EXPECT_GT(second, 0.1f);
    // Each pass loses at least the feedback factor, and not much more than the filters take.
    EXPECT_LT(second, first * 0.6f);
    EXPECT_GT(second, first * 0.3f);
    EXPECT_LT(third, second * 0.6f);
}

TEST(DelayEngine, SampleRateChangeDoublesTheLineAndKeepsTheTime)
{
    CDelayEngine e;
    EXPECT_EQ(e.getDelayLine().getSize(), 144000);
    e.setSampleRate(88200.0f);
    EXPECT_EQ(e.getDelayLine().getSize(), 288004);
    e.setDelayTime(100.0f);
    e.setSend(1.0f);
    for (int i = 0; i < 8820; ++i)
        e.processGated(0.0f, 1.0f);
    const int peak = echoPeak(e, 9000);
    EXPECT_GE(peak, 8820);
    EXPECT_LE(peak, 8824);
}

TEST(DelayEngine, ResetSilencesTheLineButKeepsTheFeedbackSample)
{
    CDelayEngine e;
    settle(e, 5.0f, 0.5f, 1.0f);
    for (int i = 0; i < 300; ++i)
        e.processGated(0.5f * std::sin(0.2f * static_cast<float>(i)), 1.0f);
    const float last = e.getLastOutput();
    ASSERT_NE(last, 0.0f);
    e.reset();
    EXPECT_EQ(e.getLastOutput(), last);
    const float* data = e.getDelayLine().data();
    for (int i = 0; i < e.getDelayLine().getSize(); ++i)
        ASSERT_EQ(data[i], 0.0f);
    for (int k = 0; k < zksp_filter_rbj::kStates; ++k) {
        EXPECT_EQ(e.getHighPass().stateValue(k), 0.0) << k;
        EXPECT_EQ(e.getLowPass().stateValue(k), 0.0) << k;
    }
}

TEST(DelayEngine, HostileSettingsAndInputsStayFiniteAndRecover)
{
    for (float h : {kNaN, kInf, -kInf, 1e30f, -1e30f, -7.0f}) {
        CDelayEngine e;
        e.setDelayTime(h);
        e.setFeedback(h);
        e.setSend(h);
        EXPECT_GE(e.getFeedback(), 0.0f);
        EXPECT_LE(e.getFeedback(), 1.0f);
        EXPECT_GE(e.getSend(), 0.0f);
        EXPECT_LE(e.getSend(), 1.0f);
        for (int i = 0; i < 3000; ++i) {
            const float x = (i % 7 == 0) ? h : 0.3f;
            const float gate = (i % 5 == 0) ? h : 1.0f;
            const float y = e.processGated(x, gate);
            ASSERT_TRUE(std::isfinite(y)) << h << " at " << i;
            ASSERT_LT(std::fabs(y), 1e9f) << h << " at " << i;
            expectIndicesInside(e.getDelayLine());
        }
        // Nothing non-finite got into the state...
        EXPECT_TRUE(std::isfinite(e.getDelayLine().getAllpassState())) << h;
        for (int k = 0; k < zksp_filter_rbj::kStates; ++k) {
            EXPECT_TRUE(std::isfinite(e.getLowPass().stateValue(k))) << h;
            EXPECT_TRUE(std::isfinite(e.getHighPass().stateValue(k))) << h;
        }
        // ... so with ordinary settings the echoes of the limited samples die away.
        e.setDelayTime(10.0f);
        e.setFeedback(0.5f);
        e.setSend(1.0f);
        for (int i = 0; i < 10 * 44100; ++i)
            e.processGated(0.0f, 0.0f);
        EXPECT_LT(std::fabs(e.getLastOutput()), 1e-3f) << h;
        EXPECT_NEAR(e.processGated(0.25f, 1.0f), 0.25f, 1e-3f);
    }
}

TEST(DelayEngine, NoSubnormalStateAfterLoudSignalAndSilence)
{
    CDelayEngine e;
    settle(e, 120.0f, 0.9f, 1.0f);
    for (int i = 0; i < 44100; ++i)
        e.processGated(std::sin(0.07f * static_cast<float>(i)), 1.0f);
    for (int i = 0; i < 10 * 44100; ++i)
        e.processGated(0.0f, 1.0f);
    const zksp_delay_allpass& line = e.getDelayLine();
    int subnormal = 0;
    for (int i = 0; i < line.getSize(); ++i)
        subnormal += std::fpclassify(line.data()[i]) == FP_SUBNORMAL;
    EXPECT_EQ(subnormal, 0);
    EXPECT_NE(std::fpclassify(line.getAllpassState()), FP_SUBNORMAL);
    EXPECT_NE(std::fpclassify(e.getLastOutput()), FP_SUBNORMAL);
    for (int k = 0; k < zksp_filter_rbj::kStates; ++k) {
        EXPECT_NE(std::fpclassify(e.getLowPass().stateValue(k)), FP_SUBNORMAL) << k;
        EXPECT_NE(std::fpclassify(e.getHighPass().stateValue(k)), FP_SUBNORMAL) << k;
    }
}

// Low feedback, the time moved (the glide ends exactly on its target), one second of noise,
// two of silence: only the echoes decay, at the feedback's rate, and nothing else rings on.
// The targets land on whole samples (the allpass coefficient 1, a pole at Nyquist) or a hair
// above them (a fraction of one rounding step), at rates from 8 kHz to 384 kHz.
TEST(DelayEngine, SilenceAfterATimeChangeIsSilentAtEveryRate)
{
    struct Row
    {
        float rate, fromMs, toMs;
        // The target is a whole number of samples (at 96 and 384 kHz the single-precision
        // samples per millisecond lie a rounding step above the rate / 1000).
        bool whole;
    };
    const Row rows[] = {{8000.0f, 62.5f, 31.25f, true},    {8000.0f, 62.5f, 31.2501f, false},
                        {16000.0f, 100.0f, 50.0f, true},   {16000.0f, 100.0f, 25.00001f, false},
                        {44100.0f, 100.0f, 50.0f, true},   {44100.0f, 125.0f, 100.0f, true},
                        {96000.0f, 250.0f, 125.0f, false}, {384000.0f, 100.0f, 50.0f, false}};
    for (const Row& row : rows) {
        CDelayEngine e;
        e.setSampleRate(row.rate);
        e.setFeedback(0.05f);
        e.setSend(1.0f);
        e.setDelayTime(row.fromMs);
        const int second = static_cast<int>(row.rate);
        std::uint32_t seed = 5;
        float tail = 0.0f;
        for (int i = 0; i < 3 * second; ++i) {
            if (i == second / 10)
                e.setDelayTime(row.toMs);
            seed = seed * 1664525u + 1013904223u;
            const float x = i < second ? static_cast<float>(static_cast<std::int32_t>(seed)) *
                                             (0.5f / 2147483648.0f)
                                       : 0.0f;
            const float y = e.processGated(x, 1.0f);
            if (i >= 3 * second - second / 2)
                tail = std::max(tail, std::fabs(y));
        }
        EXPECT_LT(tail, 1e-6f) << row.rate << " Hz, " << row.toMs << " ms";
        // A whole-sample target is read plainly; a hair above one keeps its pole off -1.
        EXPECT_EQ(e.getDelayLine().getAllpassCoefficient() == 1.0f, row.whole)
            << row.rate << " Hz, " << row.toMs << " ms";
    }
}

// After a reset the line reads its zeroed samples while the allpass still holds its last
// output: that must end in zero, not in a long run of subnormal numbers.
TEST(DelayEngine, AllpassStateReadingAnEmptyLineNeverTurnsSubnormal)
{
    for (float ms : {20.3f, 1500.7f}) {
        CDelayEngine e;
        settle(e, 20.3f, 0.9f, 1.0f);
        for (int i = 0; i < 4410; ++i)
            e.processGated(std::sin(0.07f * static_cast<float>(i)), 1.0f);
        ASSERT_NE(e.getDelayLine().getAllpassState(), 0.0f);
        e.reset();
        e.setDelayTime(ms);
        for (int i = 0; i < 44100; ++i) {
            e.processGated(0.0f, 0.0f);
            ASSERT_NE(std::fpclassify(e.getDelayLine().getAllpassState()), FP_SUBNORMAL)
                << ms << " ms, sample " << i;
        }
    }
}

} // namespace
