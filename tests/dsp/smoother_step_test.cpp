#include "dsp/zksp_smoother.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

// The smoother's update leaves its fast path for two rare cases: a step that rounds back onto
// the old state short of the target, and a non-finite result. Its decision and both endings are
// checked here against the plain statement of the rule, over states, targets and poles that
// reach every corner: equal and neighbouring values, signed zeros, huge values, infinities and
// NaN. Any rewrite of the update for speed has to keep this agreement bit for bit.

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// One update from encoded state `before` toward encoded target T with pole c, stated plainly.
float referenceStep(float before, float T, float c)
{
    float S = (before - T) * c + T;
    const bool stalled = S == before && S != T;
    const bool nonFinite = !std::isfinite(S);
    if (!stalled && !nonFinite)
        return S;
    if (nonFinite)
        return std::isfinite(T) ? T : zksp_smoother_lag_processor::kOffset;
    return c < 1.0f ? std::nextafter(S, T) : S;
}

bool sameBits(float a, float b)
{
    return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b) ||
           (std::isnan(a) && std::isnan(b));
}

TEST(SmootherStep, UpdateAgreesWithThePlainRuleBitForBit)
{
    const float states[] = {5.0f,
                            std::nextafter(5.0f, 6.0f),
                            std::nextafter(5.0f, 4.0f),
                            0.0f,
                            -0.0f,
                            std::numeric_limits<float>::denorm_min(),
                            -std::numeric_limits<float>::denorm_min(),
                            1.0e-38f,
                            -3.0f,
                            7.25f,
                            1.0e30f,
                            -1.0e30f,
                            3.0e38f,
                            kInf,
                            -kInf,
                            kNaN};
    // The smoother's real poles: 0 (time 0), 1 (endless time), close to 1 and in between.
    const float poles[] = {0.0f,
                           1.0f,
                           zksp_smoother_lag_processor::coefficientFor(0.2f, 1, 384000.0f),
                           zksp_smoother_lag_processor::coefficientFor(0.005f, 1, 44100.0f),
                           zksp_smoother_lag_processor::coefficientFor(0.001f, 32, 44100.0f),
                           0.5f};
    int compared = 0, slowPaths = 0;
    for (const float c : poles) {
        ASSERT_GE(c, 0.0f);
        ASSERT_LE(c, 1.0f);
        for (const float before : states) {
            for (const float T : states) {
                // Drive the real smoother with exactly these encoded values: both time
                // fields give pole c, and the offset round trip must be exact to be used.
                zksp_smoother_lag_processor s;
                s.jumpTo(before - zksp_smoother_lag_processor::kOffset);
                if (!sameBits(s.getEncodedState(), before))
                    continue;
                const float x = T - zksp_smoother_lag_processor::kOffset;
                if (!sameBits(x + zksp_smoother_lag_processor::kOffset, T))
                    continue;
                // Poles are set through the coefficient fields' own computation: pick times
                // that reproduce c, else skip (0 and 1 come from time 0 and an endless time).
                float t;
                if (c == 0.0f)
                    t = 0.0f;
                else if (c == 1.0f)
                    t = kInf;
                else
                    continue; // covered below through the public one-time smoother
                s.setAttackTime(t);
                s.setReleaseTime(t);
                ASSERT_EQ(s.getAttackCoefficient(), c);
                const float expected = referenceStep(before, T, c);
                s.process(x);
                EXPECT_TRUE(sameBits(s.getEncodedState(), expected))
                    << "before=" << before << " T=" << T << " c=" << c
                    << " got=" << s.getEncodedState() << " want=" << expected;
                ++compared;
                const float plain = (before - T) * c + T;
                if (!sameBits(plain, expected))
                    ++slowPaths;
            }
        }
    }
    // Poles strictly between 0 and 1, through the rate: a smoother built at the rate that
    // gives pole c for a known time.
    for (const float c : poles) {
        if (c == 0.0f || c == 1.0f)
            continue;
        for (const float before : states) {
            for (const float T : states) {
                zksp_smoother_lag_processor s;
                // t / n * r = -1 / ln(c): time 1 s, interval 1, rate chosen to match.
                const float rate = -1.0f / std::log(c);
                s.setSampleRate(rate);
                s.setAttackTime(1.0f);
                s.setReleaseTime(1.0f);
                const float pole = s.getAttackCoefficient();
                s.jumpTo(before - zksp_smoother_lag_processor::kOffset);
                const float x = T - zksp_smoother_lag_processor::kOffset;
                if (!sameBits(s.getEncodedState(), before) ||
                    !sameBits(x + zksp_smoother_lag_processor::kOffset, T))
                    continue;
                const float expected = referenceStep(before, T, pole);
                s.process(x);
                EXPECT_TRUE(sameBits(s.getEncodedState(), expected))
                    << "before=" << before << " T=" << T << " c=" << pole
                    << " got=" << s.getEncodedState() << " want=" << expected;
                ++compared;
                if (!sameBits((before - T) * pole + T, expected))
                    ++slowPaths;
            }
        }
    }
    // Enough cases ran, and the rare paths were really taken among them.
    EXPECT_GT(compared, 300);
    EXPECT_GT(slowPaths, 20);
}

// The two-smoother run processPair against process() sample by sample: every value, and the
// encoded states and targets it leaves (a non-finite ending on the last sample replaces the
// target), from states that sit at, next to and far from the target, for runs of every kind.
// Then from there the two-chain advanceRunPair against advance() of each the same way.
TEST(SmootherStep, PairRunLeavesWhatProcessLeavesBitForBit)
{
    const float states[] = {5.0f,    std::nextafter(5.0f, 6.0f),
                            6.0f,    std::nextafter(6.0f, 5.0f),
                            0.0f,    -3.0f,
                            1.0e30f, kInf,
                            kNaN};
    const float gates[] = {0.0f, 1.0f, std::nextafter(1.0f, 0.0f), 0.37f, -1.0f, kNaN, kInf};
    struct Timing
    {
        float time, rate;
    };
    const Timing timings[] = {
        {0.0f, 44100.0f}, {kInf, 44100.0f}, {0.005f, 44100.0f}, {0.2f, 384000.0f}};
    for (const Timing& timing : timings) {
        for (const float sa : states) {
            for (const float sb : states) {
                for (const float gate : gates) {
                    for (const int n : {1, 2, 7, 32}) {
                        zksp_smoother pair[2], ref[2];
                        for (zksp_smoother* s : {&pair[0], &pair[1], &ref[0], &ref[1]}) {
                            s->setSampleRate(timing.rate);
                            s->setTime(timing.time);
                        }
                        pair[0].jumpTo(sa - zksp_smoother::kOffset);
                        ref[0].jumpTo(sa - zksp_smoother::kOffset);
                        pair[1].jumpTo(sb - zksp_smoother::kOffset);
                        ref[1].jumpTo(sb - zksp_smoother::kOffset);
                        float ab[64];
                        zksp_smoother::processPair(pair[0], pair[1], gate, ab, n);
                        for (int i = 0; i < n; ++i) {
                            for (int c = 0; c < 2; ++c) {
                                const float expected = ref[c].process(gate);
                                ASSERT_TRUE(sameBits(ab[2 * i + c], expected))
                                    << "states " << sa << ", " << sb << " gate " << gate
                                    << " sample " << i << " channel " << c;
                            }
                        }
                        for (int c = 0; c < 2; ++c) {
                            ASSERT_TRUE(
                                sameBits(pair[c].getEncodedState(), ref[c].getEncodedState()));
                            ASSERT_TRUE(
                                sameBits(pair[c].getEncodedTarget(), ref[c].getEncodedTarget()))
                                << "states " << sa << ", " << sb << " gate " << gate << " n " << n
                                << " channel " << c;
                        }
                        float ta[64], tb[64];
                        zksp_smoother::advanceRunPair(pair[0], pair[1], ta, tb, n);
                        for (int i = 0; i < n; ++i) {
                            ASSERT_TRUE(sameBits(ta[i], ref[0].advance()));
                            ASSERT_TRUE(sameBits(tb[i], ref[1].advance()))
                                << "states " << sa << ", " << sb << " gate " << gate << " update "
                                << i;
                        }
                        for (int c = 0; c < 2; ++c) {
                            ASSERT_TRUE(
                                sameBits(pair[c].getEncodedState(), ref[c].getEncodedState()));
                        }
                    }
                }
            }
        }
    }
}

} // namespace
