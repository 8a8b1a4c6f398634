#include "dsp/CDistortEngine.h"
#include "dsp/zksp_fuzz_curve.h"
#include "dsp/zksp_sine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace {

struct Anchor
{
    int index;
    float value;
};

// The measured points the curve must pass through exactly.
constexpr Anchor kAnchors[] = {
    {0, -0.988682f},   {1, -0.987793f},   {64, -0.876845f},  {128, -0.705182f}, {192, -0.431714f},
    {224, -0.231045f}, {248, -0.050542f}, {252, -0.019058f}, {253, -0.011187f}, {254, -0.003420f},
    {255, 0.000000f},  {256, 0.001333f},  {257, 0.002665f},  {258, 0.003998f},  {259, 0.010531f},
    {260, 0.018365f},  {264, 0.049699f},  {288, 0.236449f},  {320, 0.448938f},  {384, 0.722957f},
    {448, 0.882956f},  {496, 0.963891f},  {510, 0.980730f},  {511, 0.980730f},
};

TEST(FuzzCurve, PassesThroughEveryMeasuredPointExactly)
{
    for (const Anchor& a : kAnchors)
        EXPECT_EQ(zksp_fuzz_curve[a.index], a.value) << "entry " << a.index;
    EXPECT_EQ(zksp_fuzz_curve[512], 0.0f);
}

TEST(FuzzCurve, RisesMonotonicallyWithOnlyTheTopFlat)
{
    for (int i = 0; i < 511; ++i) {
        if (i == 510)
            EXPECT_EQ(zksp_fuzz_curve[i + 1], zksp_fuzz_curve[i]);
        else
            EXPECT_GT(zksp_fuzz_curve[i + 1], zksp_fuzz_curve[i]) << "entry " << i;
    }
}

TEST(FuzzCurve, IsSmoothAwayFromTheCrossingStep)
{
    // Between the measured points the slope changes gradually: no kinks or ripples. The crossing
    // (entries 252..260) has its own deliberate flat stretch and step.
    for (int i = 1; i < 511; ++i) {
        if (i >= 251 && i <= 261)
            continue;
        const float d2 =
            zksp_fuzz_curve[i + 1] - 2.0f * zksp_fuzz_curve[i] + zksp_fuzz_curve[i - 1];
        EXPECT_LT(std::fabs(d2), 4e-4f) << "entry " << i;
    }
    // The flat stretch: entries 255..258 climb by the same small amount each.
    for (int i = 255; i < 258; ++i)
        EXPECT_NEAR(zksp_fuzz_curve[i + 1] - zksp_fuzz_curve[i], 0.001333f, 2e-6f);
}

TEST(WarpSine, MatchesTheLibrarySineOverTheWarpRange)
{
    // The warp stage's argument stays within about +-24; sweep a little beyond, including the
    // multiples of pi/2 where the range reduction switches.
    double worst = 0.0;
    int floatMismatches = 0;
    for (int i = -400000; i <= 400000; ++i) {
        const double x = i * 7.5e-5 + 1e-7 * (i % 13);
        const double a = zksp_sin_double(x);
        const double b = std::sin(x);
        worst = std::max(worst, std::fabs(a - b));
        floatMismatches += static_cast<float>(a) != static_cast<float>(b);
    }
    for (int k = -16; k <= 16; ++k) {
        const double x = k * 3.14159265358979323846 / 2.0;
        worst = std::max(worst, std::fabs(zksp_sin_double(x) - std::sin(x)));
    }
    EXPECT_LT(worst, 1e-15);
    EXPECT_EQ(floatMismatches, 0);
}

CDistortEngine makeEngine(float fuzz, float warp)
{
    CDistortEngine e;
    e.setFuzz(fuzz);
    e.setWarp(warp);
    return e;
}

TEST(DistortEngine, GateClosedReturnsInputBitForBit)
{
    CDistortEngine e = makeEngine(1.0f, 4.5f);
    const float inputs[] = {0.0f, 0.5f, -0.75f, 1e-30f, 3.0f, -123.0f, 1e-40f};
    for (float x : inputs) {
        EXPECT_EQ(e.processGated(x, 0.0f), x);
        EXPECT_EQ(e.processGated(x, -0.5f), x);
    }
    // Nothing ran: the stages' last results are untouched.
    EXPECT_EQ(e.getLastCurveOutput(), 0.0f);
    EXPECT_EQ(e.getLastOutput(), 0.0f);
}

TEST(DistortEngine, DocumentedExamplesAtFuzzZeroWarpHalf)
{
    CDistortEngine e = makeEngine(0.0f, 0.5f);
    EXPECT_NEAR(e.processGated(0.0f, 1.0f), 0.000712f, 2e-6f);
    EXPECT_NEAR(e.getLastCurveOutput(), 0.001333f * 0.85f, 1e-7f);
    EXPECT_NEAR(e.processGated(1.0f, 1.0f), 0.099844f, 2e-6f);
    // 0.5 lands between entries 383 and 384: the interpolated part of the curve.
    EXPECT_NEAR(e.processGated(0.5f, 1.0f), 0.187496f, 1e-5f);
    EXPECT_NEAR(e.processGated(-1.0f, 1.0f), -0.096558f, 2e-6f);
}

TEST(DistortEngine, FullFuzzDrivesIntoTheClamp)
{
    CDistortEngine full = makeEngine(1.0f, 0.5f);
    CDistortEngine none = makeEngine(0.0f, 0.5f);
    const float atClamp = none.processGated(1.0f, 1.0f);
    EXPECT_EQ(full.processGated(0.1f, 1.0f), atClamp);
    EXPECT_NEAR(atClamp, 0.099844f, 2e-6f);
    // Below the clamp full fuzz still differs from no fuzz.
    EXPECT_NE(full.processGated(0.01f, 1.0f), none.processGated(0.01f, 1.0f));
}

TEST(DistortEngine, InputsBeyondFullScaleGiveTheCurveEnds)
{
    for (float fuzz : {0.0f, 0.3f, 1.0f}) {
        CDistortEngine e = makeEngine(fuzz, 2.0f);
        const float top = e.processGated(1.0f / (fuzz * 31.415926536f + 1.0f) * 1.01f, 1.0f);
        const float bottom = e.processGated(-1.0f / (fuzz * 31.415926536f + 1.0f) * 1.01f, 1.0f);
        for (float x : {2.0f, 17.0f, 1e5f}) {
            EXPECT_EQ(e.processGated(x, 1.0f), top) << x;
            EXPECT_NEAR(e.getLastCurveOutput(), 0.980730f * 0.85f, 1e-6f);
            EXPECT_EQ(e.processGated(-x, 1.0f), bottom) << x;
            EXPECT_NEAR(e.getLastCurveOutput(), -0.987793f * 0.85f, 1e-6f);
        }
    }
}

TEST(DistortEngine, WarpFoldsThroughTheSine)
{
    CDistortEngine e = makeEngine(0.0f, 4.5f);
    EXPECT_NEAR(e.processGated(0.5f, 1.0f), -0.199667f, 1e-5f);
    EXPECT_NEAR(e.getWarpAngle(), 4.5 * 2.0 * 3.14159265358979323846, 1e-12);
    // The wet part never exceeds 0.2 whatever the drive and warp.
    for (float warp : {0.5f, 1.3f, 2.7f, 4.5f}) {
        e.setWarp(warp);
        for (int i = -100; i <= 100; ++i) {
            e.processGated(static_cast<float>(i) * 0.013f, 1.0f);
            EXPECT_LE(std::fabs(e.getLastOutput()), 1.0f);
        }
    }
}

TEST(DistortEngine, GateCrossfadesDryAndWet)
{
    CDistortEngine e = makeEngine(0.4f, 3.0f);
    for (float x : {-0.8f, -0.1f, 0.2f, 0.9f}) {
        for (float gate : {0.25f, 0.5f, 0.9f}) {
            const float y = e.processGated(x, gate);
            EXPECT_NEAR(y, (1.0f - gate) * x + e.getLastOutput() * 0.2f * gate, 1e-7f);
        }
    }
}

TEST(DistortEngine, HostileSettingsAndInputsStayFinite)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (float h : {nan, inf, -inf, 1e30f, -1e30f, -3.0f}) {
        CDistortEngine e;
        e.setFuzz(h);
        e.setWarp(h);
        EXPECT_GE(e.getFuzz(), 0.0f);
        EXPECT_LE(e.getFuzz(), 1.0f);
        EXPECT_GE(e.getWarp(), 0.5f);
        EXPECT_LE(e.getWarp(), 4.5f);
        for (float x : {h, 0.3f, -0.7f, 1e30f, -inf}) {
            for (float gate : {1.0f, 0.5f, h, 1e9f}) {
                const float y = e.processGated(x, gate);
                if (!(gate > 0.0f)) {
                    continue; // the closed gate passes whatever came in
                }
                ASSERT_TRUE(std::isfinite(y)) << "setting " << h << " x " << x << " gate " << gate;
                EXPECT_LE(std::fabs(y), 1.0e6f + 0.2f);
            }
        }
    }
}

TEST(DistortEngine, NoSubnormalStateAfterLoudSignalAndSilence)
{
    CDistortEngine e = makeEngine(0.7f, 2.2f);
    for (int i = 0; i < 44100; ++i)
        e.processGated(std::sin(0.05f * static_cast<float>(i)), 1.0f);
    for (int i = 0; i < 10 * 44100; ++i)
        e.processGated(0.0f, 1.0f);
    EXPECT_NE(std::fpclassify(e.getLastOutput()), FP_SUBNORMAL);
    EXPECT_NE(std::fpclassify(e.getLastCurveOutput()), FP_SUBNORMAL);
}

} // namespace
