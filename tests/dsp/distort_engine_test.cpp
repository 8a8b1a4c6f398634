#include "dsp/CDistortEngine.h"
#include "dsp/CFreqShifterEngine.h"
#include "dsp/CVCAEngine.h"
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

// The chain runs both channels through the pair paths (the VCA a stretch at a time); each channel
// must get the bits its own engine gives, with settings that differ between the channels, every
// gate case and hostile samples (the shifter's oscillators also drift apart, so both of its
// branches run).
TEST(StereoPairs, VcaDistortAndShifterPairsMatchTheirSingleEnginesBitForBit)
{
    auto same = [](float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; };
    CDistortEngine distort[2], distortRef[2];
    CFreqShifterEngine shift[2], shiftRef[2];
    const float fuzz[2] = {0.7f, 0.2f}, warp[2] = {4.5f, 1.3f}, hz[2] = {-333.0f, 333.0f};
    for (int c = 0; c < 2; ++c) {
        distort[c].setFuzz(fuzz[c]);
        distortRef[c].setFuzz(fuzz[c]);
        distort[c].setWarp(warp[c]);
        distortRef[c].setWarp(warp[c]);
        shift[c].setShiftFrequency(hz[0]);
        shiftRef[c].setShiftFrequency(hz[0]);
    }
    const float gates[] = {1.0f, 0.3f, 0.0f, -1.0f, 2.0f};
    std::uint32_t seed = 9;

    // The VCA runs a stretch at a time; its envelopes creep the last units in the place toward
    // their targets (the rare ending) and sit at them for long stretches.
    CVCAEngine vca[2], vcaRef[2];
    for (int c = 0; c < 2; ++c) {
        for (CVCAEngine* e : {&vca[c], &vcaRef[c]}) {
            e->setAttackTime(c == 0 ? 0.001f : 0.15f);
            e->setDecayTime(c == 0 ? 0.2f : 0.001f);
            e->setDepth(c == 0 ? 0.9f : 0.4f);
            e->setPan(c == 0 ? 0.2f : 0.8f);
        }
    }
    for (int stretch = 0; stretch < 400; ++stretch) {
        // Long enough at each level for the fast attack and decay to arrive; hostile gates last.
        const float gate = stretch >= 390 ? gates[stretch % 5] : ((stretch / 60) % 2 ? 1.0f : 0.0f);
        float v[2][32];
        for (int i = 0; i < 32; ++i) {
            v[0][i] = v[1][i] = static_cast<float>(i % 7) * 0.25f - 0.7f;
        }
        CVCAEngine::processGatedPair(vca[0], vca[1], v[0], v[1], 32, gate);
        for (int i = 0; i < 32; ++i) {
            const float x = static_cast<float>(i % 7) * 0.25f - 0.7f;
            for (int c = 0; c < 2; ++c) {
                ASSERT_TRUE(same(v[c][i], vcaRef[c].processGated(x, gate))) << stretch << ' ' << i;
            }
        }
    }
    for (int i = 0; i < 20000; ++i) {
        if (i == 10000) { // the right oscillator goes its own way
            shift[1].setShiftFrequency(hz[1]);
            shiftRef[1].setShiftFrequency(hz[1]);
        }
        float x[2];
        for (float& v : x) {
            seed = seed * 1664525u + 1013904223u;
            v = (static_cast<float>(seed >> 8) / 8388608.0f - 1.0f) * 1.5f;
        }
        if (i % 997 == 0) {
            x[i % 2] = std::numeric_limits<float>::quiet_NaN();
        }
        const float gate = gates[(i / 100) % 5];
        float d[2] = {x[0], x[1]};
        CDistortEngine::processGatedPair(distort[0], distort[1], d[0], d[1], gate);
        float s[2] = {x[0], x[1]};
        CFreqShifterEngine::processGatedPair(shift[0], shift[1], s[0], s[1], gate);
        for (int c = 0; c < 2; ++c) {
            ASSERT_TRUE(same(d[c], distortRef[c].processGated(x[c], gate))) << i << ' ' << c;
            ASSERT_TRUE(same(s[c], shiftRef[c].processGated(x[c], gate))) << i << ' ' << c;
        }
    }
}
