#include "dsp/CBitsEngine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <set>
#include <vector>

namespace {

// A fresh engine at the loop's first control tick: no crushing, no error, every sample taken.
CBitsEngine makeEngine(float depth = 24.0f, float error = 0.0f, float rate = 1.0f)
{
    CBitsEngine e;
    e.setBitDepth(depth);
    e.setError(error);
    e.setRate(rate);
    return e;
}

// Deterministic full-range test signal in [-1, 1).
std::vector<float> noise(int n, std::uint32_t seed = 12345)
{
    std::vector<float> v(n);
    for (int i = 0; i < n; ++i) {
        seed = seed * 1664525u + 1013904223u;
        v[i] = static_cast<float>(static_cast<int>(seed >> 8) - (1 << 23)) / 8388608.0f;
    }
    return v;
}

TEST(BitsEngine, GateClosedPassesInputAndKeepsStateRunning)
{
    CBitsEngine e = makeEngine(4.0f, 10.0f, 0.5f);
    const std::vector<float> in = noise(300);
    float lastHeld = e.getHeldSample();
    int heldChanges = 0;
    for (float x : in) {
        ASSERT_EQ(e.processGated(x, 0.0f), x);
        if (e.getHeldSample() != lastHeld)
            ++heldChanges;
        lastHeld = e.getHeldSample();
    }
    // Rate 0.5 takes every second sample even while the gate is closed.
    EXPECT_GE(heldChanges, 140);
}

TEST(BitsEngine, FullDepthTruncatesTowardZeroTo24Bits)
{
    CBitsEngine e = makeEngine();
    const float inputs[] = {0.3f, -0.3f, 0.123456789f, -0.987654321f, 1e-7f, -1e-7f, 0.5f, -1.0f};
    for (float x : inputs) {
        const float y = e.processGated(x, 1.0f);
        const float expected = std::trunc(x * 8388608.0f) / 8388608.0f;
        EXPECT_EQ(y, expected) << "x=" << x;
    }
}

TEST(BitsEngine, OneBitGivesZeroOrMinusLevel)
{
    CBitsEngine e = makeEngine(1.0f);
    EXPECT_EQ(e.getShift(), 23);
    const float level = e.getLevel();
    EXPECT_NEAR(level, 0.178f, 0.0005f);
    for (float x : noise(500)) {
        const float y = e.processGated(x, 1.0f);
        EXPECT_EQ(y, x >= 0.0f ? 0.0f : -level) << "x=" << x;
    }
}

TEST(BitsEngine, LevelDropsThreeDecibelsPerBitBelowSix)
{
    const float expected[] = {0.178f, 0.251f, 0.355f, 0.501f, 0.708f, 1.0f, 1.0f};
    for (int d = 1; d <= 7; ++d) {
        CBitsEngine e = makeEngine(static_cast<float>(d));
        EXPECT_NEAR(e.getLevel(), expected[d - 1], 0.0006f) << "depth " << d;
        EXPECT_EQ(e.getShift(), 24 - d);
    }
    // Fractional depths below 6 take the level of their whole part, the shift of 24 - d.
    CBitsEngine e = makeEngine(4.5f);
    EXPECT_NEAR(e.getLevel(), 0.501f, 0.0006f);
    EXPECT_EQ(e.getShift(), 19);
    e.setBitDepth(17.0f);
    EXPECT_EQ(e.getLevel(), 1.0f);
    EXPECT_EQ(e.getShift(), 7);
}

TEST(BitsEngine, CrusherOfBBitsTakesAtMostTwoToTheBLevels)
{
    const std::vector<float> in = noise(20000, 777);
    for (int b : {1, 2, 3, 4, 6, 8, 10}) {
        for (float error : {0.0f, 37.0f}) {
            CBitsEngine e = makeEngine(static_cast<float>(b), error, 0.37f);
            std::set<float> levels;
            for (float x : in)
                levels.insert(e.processGated(x, 1.0f));
            EXPECT_LE(levels.size(), std::size_t{1} << b) << b << " bits, error " << error;
            // And the crusher is not stuck: a full-range signal reaches several levels.
            EXPECT_GE(levels.size(), std::min<std::size_t>(std::size_t{1} << b, 2)) << b;
        }
    }
}

TEST(BitsEngine, RateOneHundredthHoldsEachSampleAboutOneHundredSamples)
{
    CBitsEngine e = makeEngine(24.0f, 0.0f, 0.01f);
    float held = e.getHeldSample();
    int since = 0;
    std::vector<int> intervals;
    for (int i = 0; i < 5000; ++i) {
        // A ramp, so every newly taken sample differs from the last.
        e.processGated(0.0001f * static_cast<float>(i + 1), 0.0f);
        ++since;
        if (e.getHeldSample() != held) {
            intervals.push_back(since);
            since = 0;
            held = e.getHeldSample();
        }
    }
    ASSERT_GE(intervals.size(), 45u);
    for (std::size_t k = 1; k < intervals.size(); ++k)
        EXPECT_TRUE(intervals[k] == 100 || intervals[k] == 101) << intervals[k];
}

TEST(BitsEngine, ErrorKeepsLatchedBitsUntilTheNextRefresh)
{
    CBitsEngine e = makeEngine(24.0f, 100.0f, 1.0f);
    // Rising input: each sample's bits differ from the latched ones.
    std::vector<std::int32_t> outs, ins;
    for (int i = 0; i < 400; ++i) {
        const float x = 0.001f + 0.0007f * static_cast<float>(i);
        const float y = e.processGated(x, 1.0f);
        outs.push_back(static_cast<std::int32_t>(y * 8388608.0f));
        ins.push_back(static_cast<std::int32_t>(x * 8388608.0f));
    }
    // The countdown starts at 1: the mask is first latched on the second sample (index 1), and
    // then every 101 samples.
    for (int latch : {1, 102, 203, 304}) {
        EXPECT_EQ(outs[latch], ins[latch]) << latch; // OR with itself changes nothing
        const std::int32_t mask = ins[latch];
        for (int i = latch; i < latch + 101 && i < 400; ++i) {
            EXPECT_EQ(outs[i], ins[i] | mask) << "sample " << i << " after latch " << latch;
        }
    }
    // The OR really adds bits somewhere: not every output equals its input.
    int differing = 0;
    for (int i = 0; i < 400; ++i)
        differing += outs[i] != ins[i];
    EXPECT_GT(differing, 100);
}

TEST(BitsEngine, ChangedErrorPeriodWaitsForTheRunningCountdown)
{
    CBitsEngine e = makeEngine(24.0f, 50.0f, 1.0f);
    for (int i = 0; i < 10; ++i)
        e.processGated(0.25f, 1.0f); // latched at sample 1, countdown now 50 - 8
    e.setError(0.0f);
    // Until the countdown runs out, the mask of 0.25 stays OR-ed into a smaller input.
    const float y = e.processGated(0.0625f, 1.0f);
    EXPECT_EQ(y, 0.25f + 0.0625f);
}

TEST(BitsEngine, HostileSettingsAndInputsStayFiniteAndBounded)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float hostile[] = {nan, inf, -inf, 1e30f, -1e30f, 1e9f, -1e9f, -0.0f, 256.0f, -300.0f};
    for (float h : hostile) {
        CBitsEngine e;
        e.setBitDepth(h);
        e.setError(h);
        e.setRate(h);
        EXPECT_GE(e.getShift(), 0);
        EXPECT_LE(e.getShift(), 24);
        EXPECT_TRUE(std::isfinite(e.getLevel()));
        EXPECT_GE(e.getErrorPeriod(), 0);
        EXPECT_GE(e.getRate(), 0.01f);
        EXPECT_LE(e.getRate(), 1.0f);
        for (float x : {0.5f, h, -0.25f, h, 0.75f, 1e6f, -1e6f, 0.1f}) {
            for (float gate : {1.0f, 0.5f, h}) {
                const float y = e.processGated(x, gate);
                ASSERT_TRUE(std::isfinite(y)) << "setting " << h << " x " << x << " gate " << gate;
                // Crossfade of a limited sample and its crushed copy (|q| <= 256 here).
                EXPECT_LE(std::fabs(y), 1.0e6f + 256.0f);
            }
        }
        // A large but finite sample is limited before the integer conversion: the held value
        // comes out as the largest 24-bit-scaled level, not garbage.
        CBitsEngine big = makeEngine();
        const float y = big.processGated(1000.0f, 1.0f);
        EXPECT_NEAR(y, 256.0f, 0.001f);
        EXPECT_NEAR(big.processGated(-1000.0f, 1.0f), -256.0f, 0.001f);
    }
}

TEST(BitsEngine, NoSubnormalStateAfterLoudSignalAndSilence)
{
    CBitsEngine e = makeEngine(8.0f, 20.0f, 0.3f);
    for (float x : noise(44100))
        e.processGated(x, 1.0f);
    for (int i = 0; i < 10 * 44100; ++i)
        e.processGated(0.0f, 1.0f);
    for (float v : {e.getHeldSample(), e.getLastOutput(), e.getHoldPhase(), e.getLevel()})
        EXPECT_NE(std::fpclassify(v), FP_SUBNORMAL);
    EXPECT_EQ(e.getLastOutput(), 0.0f);
}

} // namespace
