#include "dsp/CVCAEngine.h"
#include "filter_probe.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

struct VcaPair
{
    CVCAEngine left, right;
    VcaPair() { right.setChannelConstant(1.0f); }
    void set(float depth, float pan)
    {
        for (CVCAEngine* e : {&left, &right}) {
            e->setDepth(depth);
            e->setPan(pan);
        }
    }
};

float settle(CVCAEngine& e, float gate, int n = 44100)
{
    float y = 0.0f;
    for (int i = 0; i < n; ++i)
        y = e.processGated(1.0f, gate);
    return y;
}

TEST(VcaEngine, PanLaw)
{
    VcaPair v;
    v.set(0.0f, 0.5f);
    EXPECT_NEAR(settle(v.left, 1.0f), 0.75f, 1e-6f);
    EXPECT_NEAR(settle(v.right, 1.0f), 0.75f, 1e-6f);
    v.set(0.0f, 0.0f); // hard left
    EXPECT_NEAR(settle(v.left, 0.3f), 1.0f, 1e-6f);
    EXPECT_EQ(settle(v.right, 0.3f), 0.0f);
    v.set(0.7f, 1.0f); // hard right, whatever gate and depth
    EXPECT_EQ(settle(v.left, 0.0f), 0.0f);
    EXPECT_EQ(settle(v.left, 1.0f), 0.0f);
    EXPECT_NEAR(settle(v.right, 1.0f), 1.0f, 1e-6f);
    v.set(0.0f, 0.2f);
    EXPECT_NEAR(settle(v.left, 1.0f), 1.0f - 0.2f * 0.2f, 1e-6f);
    EXPECT_NEAR(settle(v.right, 1.0f), 1.0f - 0.8f * 0.8f, 1e-6f);
    EXPECT_FLOAT_EQ(v.right.getPanOffset(), 0.2f - 1.0f);
    EXPECT_FLOAT_EQ(v.right.getPan(), 0.2f);
}

TEST(VcaEngine, ChannelConstantAfterPanRecomputesOffset)
{
    CVCAEngine e;
    e.setPan(0.25f);
    e.setChannelConstant(1.0f);
    EXPECT_FLOAT_EQ(e.getPanOffset(), -0.75f);
}

TEST(VcaEngine, DepthZeroIgnoresGate)
{
    CVCAEngine e;
    e.setDepth(0.0f);
    settle(e, 1.0f);
    float lo = 10.0f, hi = -10.0f;
    for (int i = 0; i < 44100; ++i) {
        const float y = e.processGated(1.0f, (i / 500) % 2 ? 1.0f : 0.0f);
        lo = std::min(lo, y);
        hi = std::max(hi, y);
    }
    EXPECT_NEAR(lo, 0.75f, 1e-6f);
    EXPECT_NEAR(hi, 0.75f, 1e-6f);
}

TEST(VcaEngine, FullDepthFollowsAttackAndDecay)
{
    CVCAEngine e;
    e.setDepth(1.0f);
    e.setPan(0.0f); // pan factor 1 on the left engine
    e.setAttackTime(0.010f);
    e.setDecayTime(0.100f);
    // Fades in from silence with the attack time: 1 - 1/e after 10 ms.
    float y = 0.0f;
    for (int i = 0; i < 441; ++i)
        y = e.processGated(1.0f, 1.0f);
    EXPECT_NEAR(y, 1.0f - std::exp(-1.0f), 0.01f);
    y = settle(e, 1.0f);
    EXPECT_EQ(y, 1.0f);
    // Closes with the decay time: 1/e after 100 ms, and fully after a while.
    for (int i = 0; i < 4410; ++i)
        y = e.processGated(1.0f, 0.0f);
    EXPECT_NEAR(y, std::exp(-1.0f), 0.01f);
    EXPECT_EQ(settle(e, 0.0f), 0.0f);
}

TEST(VcaEngine, PartialGateInterpolatesLinearly)
{
    CVCAEngine e;
    e.setDepth(0.6f);
    e.setPan(0.5f);
    // level = (1 - 0.6)(1 - g) + g
    for (float g : {0.0f, 0.25f, 0.5f, 1.0f})
        EXPECT_NEAR(settle(e, g), (0.4f * (1.0f - g) + g) * 0.75f, 1e-5f) << g;
}

TEST(VcaEngine, SampleRateReachesEnvelopeAndResetKeepsValue)
{
    CVCAEngine e;
    e.setAttackTime(0.002f);
    settle(e, 1.0f, 1000);
    const float before = e.getEnvelope().current();
    e.reset();
    EXPECT_EQ(e.getEnvelope().current(), before);
    e.setSampleRate(96000.0f);
    EXPECT_FLOAT_EQ(e.getEnvelope().getAttackCoefficient(), std::exp(-1.0f / (0.002f * 96000.0f)));
    EXPECT_EQ(e.getEnvelope().current(), before);
}

TEST(VcaEngine, NonFiniteSettingsAreIgnored)
{
    CVCAEngine e;
    e.setDepth(0.5f);
    e.setPan(0.5f);
    e.setDepth(NAN);
    e.setPan(INFINITY);
    e.setAttackTime(NAN);
    e.setDecayTime(-INFINITY);
    EXPECT_EQ(e.getDepth(), 0.5f);
    EXPECT_EQ(e.getPan(), 0.5f);
    EXPECT_EQ(e.getEnvelope().getAttackTime(), 0.005f);
    EXPECT_EQ(e.getEnvelope().getReleaseTime(), 0.005f);
    EXPECT_NEAR(settle(e, 1.0f), 0.75f, 1e-6f);
}

TEST(VcaEngine, NoSubnormalStateAfterLoudSignalAndSilence)
{
    for (float depth : {0.0f, 1.0f}) {
        CVCAEngine e;
        e.setDepth(depth);
        e.setDecayTime(0.2f);
        filter_probe::Noise noise;
        for (int i = 0; i < 44100; ++i)
            e.processGated(noise.next(), 1.0f);
        float y = 1.0f;
        for (int i = 0; i < 441000; ++i)
            y = e.processGated(0.0f, 0.0f);
        EXPECT_TRUE(filter_probe::normalOrZero(y));
        EXPECT_EQ(std::fpclassify(e.getEnvelope().getEncodedState()), FP_NORMAL);
        EXPECT_EQ(e.getEnvelope().current(), 1.0f - depth == 0.0f ? 0.0f : 0.75f);
    }
}

} // namespace
