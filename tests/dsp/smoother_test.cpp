#include "dsp/zksp_smoother.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

namespace {

TEST(Smoother, DefaultsGiveTheDocumentedFirstStep)
{
    zksp_smoother_lag_processor lag;
    EXPECT_FLOAT_EQ(lag.getAttackCoefficient(), expf(-0.0045351475f));
    EXPECT_FLOAT_EQ(lag.getReleaseCoefficient(), expf(-0.0045351475f));
    EXPECT_EQ(lag.current(), 0.0f);
    const float v = lag.process(1.0f);
    EXPECT_NEAR(v, 1.0f - expf(-1.0f / 220.5f), 2e-6f);
    EXPECT_NEAR(v, 0.004525f, 1e-6f);

    zksp_smoother one;
    EXPECT_NEAR(one.process(1.0f), 0.004525f, 1e-6f);
}

TEST(Smoother, FreshSmootherRestsAtZero)
{
    zksp_smoother s;
    s.setUpdateInterval(32);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(s.advance(), 0.0f);
}

TEST(Smoother, TimeZeroReachesTargetAtNextUpdate)
{
    zksp_smoother s;
    s.setTime(0.0f);
    EXPECT_EQ(s.getAttackCoefficient(), 0.0f);
    s.setTarget(0.37f);
    EXPECT_EQ(s.current(), 0.0f);
    const float expected = (0.37f + 5.0f) - 5.0f;
    EXPECT_EQ(s.advance(), expected);
    EXPECT_EQ(s.advance(), expected);
    EXPECT_EQ(s.process(-2.0f), -2.0f);
    EXPECT_EQ(s.advance(), -2.0f);
}

TEST(Smoother, NegativeOrNaNTimeDoesNotDiverge)
{
    zksp_smoother s;
    s.setTime(-0.01f);
    s.setTarget(1.0f);
    for (int i = 0; i < 1000; ++i)
        s.advance();
    EXPECT_NEAR(s.current(), 1.0f, 1e-6f);
    s.setTime(NAN);
    s.setTarget(0.0f);
    s.advance();
    EXPECT_NEAR(s.current(), 0.0f, 1e-6f);
}

TEST(Smoother, JumpToAndFarNegativeValues)
{
    zksp_smoother s;
    s.jumpTo(0.123456f);
    EXPECT_EQ(s.current(), (0.123456f + 5.0f) - 5.0f);
    EXPECT_NEAR(s.current(), 0.123456f, 1e-6f);
    // The encoding is an offset, not a clamp.
    s.jumpTo(-1000.0f);
    EXPECT_EQ(s.current(), -1000.0f);
    s.setTime(0.001f);
    s.setTarget(-2000.0f);
    float v = 0.0f;
    for (int i = 0; i < 44100; ++i)
        v = s.advance();
    EXPECT_EQ(v, -2000.0f);
}

TEST(Smoother, LagAttackFastReleaseSlow)
{
    zksp_smoother_lag_processor lag;
    lag.setAttackTime(0.001f);
    lag.setReleaseTime(0.2f);
    // Rise: within 5 ms (five time constants) the value is above 99 %.
    float v = 0.0f;
    for (int i = 0; i < 221; ++i)
        v = lag.process(1.0f);
    EXPECT_GT(v, 0.99f);
    lag.jumpTo(1.0f);
    // Fall: one time constant of 0.2 s leaves 1/e.
    for (int i = 0; i < 8820; ++i)
        v = lag.process(0.0f);
    EXPECT_NEAR(v, expf(-1.0f), 0.01f);
    // Far from done after 50 ms, as a 1 ms fall would be.
    lag.jumpTo(1.0f);
    for (int i = 0; i < 2205; ++i)
        v = lag.process(0.0f);
    EXPECT_GT(v, 0.7f);
}

TEST(Smoother, EqualTargetUsesReleaseAndKeepsValue)
{
    zksp_smoother_lag_processor lag;
    lag.setAttackTime(0.0f); // attack would jump, release creeps
    lag.setReleaseTime(0.2f);
    lag.jumpTo(0.5f);
    EXPECT_EQ(lag.process(0.5f), 0.5f);
    EXPECT_EQ(lag.advance(), 0.5f);
}

TEST(Smoother, SampleRateChangesCoefficientNotValue)
{
    zksp_smoother s;
    s.setUpdateInterval(32);
    s.setTime(0.002f);
    EXPECT_FLOAT_EQ(s.getAttackCoefficient(), expf(-1.0f / (0.002f / 32.0f * 44100.0f)));
    EXPECT_NEAR(s.getAttackCoefficient(), expf(-0.36281f), 1e-5f);
    s.jumpTo(0.25f);
    s.setTarget(1.0f);
    s.advance();
    const float before = s.current();
    s.setSampleRate(48000.0f);
    EXPECT_EQ(s.current(), before);
    EXPECT_EQ(s.getAttackCoefficient(), expf(-1.0f / (0.002f / 32.0f * 48000.0f)));
    EXPECT_EQ(s.getEncodedTarget(), 6.0f);
}

TEST(Smoother, OneTimeSmootherIgnoresRelease)
{
    zksp_smoother s;
    s.setReleaseTime(10.0f); // must have no effect on the one-time smoother
    s.setTime(0.0f);
    s.jumpTo(1.0f);
    EXPECT_EQ(s.process(0.0f), 0.0f);
}

TEST(Smoother, NonFiniteTargetDoesNotStick)
{
    zksp_smoother s;
    s.process(NAN);
    EXPECT_TRUE(std::isfinite(s.current()));
    s.setTime(0.0f);
    EXPECT_EQ(s.process(0.5f), 0.5f);
    s.process(INFINITY);
    EXPECT_TRUE(std::isfinite(s.current()));
}

TEST(Smoother, SettledStateIsNeverSubnormal)
{
    zksp_smoother_lag_processor lag;
    lag.jumpTo(1.0f);
    for (int i = 0; i < 441000; ++i)
        lag.process(0.0f);
    EXPECT_EQ(std::fpclassify(lag.getEncodedState()), FP_NORMAL);
    EXPECT_EQ(lag.current(), 0.0f);
}

TEST(Smoother, SlowFallArrivesExactlyDespiteRounding)
{
    // At 384 kHz one update of a 0.2 s fall moves the value by less than half a unit of
    // the last place once it is within 2 % of its goal; it must still arrive.
    zksp_smoother_lag_processor lag;
    lag.setSampleRate(384000.0f);
    lag.setReleaseTime(0.2f);
    lag.jumpTo(1.0f);
    float v = 1.0f, prev = 1.0f;
    int steps = 0;
    while (v != 0.0f && steps < 384000 * 3) {
        v = lag.process(0.0f);
        ASSERT_LE(v, prev); // monotonic, no overshoot
        prev = v;
        ++steps;
    }
    EXPECT_EQ(v, 0.0f);
    // It still follows the exponential for the bulk of the way: 1/e after one time constant.
    lag.jumpTo(1.0f);
    for (int i = 0; i < 76800; ++i)
        v = lag.process(0.0f);
    EXPECT_NEAR(v, expf(-1.0f), 0.005f);
    // And rising works the same way.
    zksp_smoother s;
    s.setSampleRate(384000.0f);
    s.setTime(0.2f);
    for (int i = 0; i < 384000 * 3 && v != 0.75f; ++i)
        v = s.process(0.75f);
    EXPECT_EQ(v, 0.75f);
}

// A time set on one thread while another applies a new rate (the host's automation against a rate
// change landing at a block start): whichever of the two finishes last, the coefficients end up
// computed from the time and the rate both in force, never from the rate that was replaced.
TEST(Smoother, TimeSetDuringARateChangeEndsUpForTheNewRate)
{
    zksp_smoother_lag_processor s;
    s.setUpdateInterval(32);
    constexpr int kRounds = 20000;
    std::atomic<int> started{0};
    std::atomic<int> finished{0};
    std::thread rates([&] {
        for (int k = 1; k <= kRounds; ++k) {
            while (started.load(std::memory_order_acquire) < k) {
            }
            s.setSampleRate(k % 2 ? 48000.0f : 44100.0f);
            finished.store(k, std::memory_order_release);
        }
    });
    int stale = 0;
    for (int k = 1; k <= kRounds; ++k) {
        started.store(k, std::memory_order_release);
        const float t = 0.001f * static_cast<float>(1 + k % 5);
        s.setAttackTime(t);
        s.setReleaseTime(2.0f * t);
        while (finished.load(std::memory_order_acquire) < k) {
        }
        const int n = s.getUpdateInterval();
        const float r = s.getCoefficientRate();
        if (s.getAttackCoefficient() != zksp_smoother::coefficientFor(t, n, r) ||
            s.getReleaseCoefficient() != zksp_smoother::coefficientFor(2.0f * t, n, r)) {
            ++stale;
        }
    }
    rates.join();
    EXPECT_EQ(stale, 0) << "of " << kRounds << " rounds";
}

} // namespace
