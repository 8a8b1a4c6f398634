#include "dsp/CFilterEngine.h"
#include "filter_probe.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <memory>
#include <thread>

using namespace filter_probe;

namespace {

std::unique_ptr<zksp_filter> standalone(unsigned type)
{
    switch (type) {
    case 0:
        return std::make_unique<zksp_filter_zk_moog>();
    case 1:
        return std::make_unique<zksp_filter_creakbox>();
    case 2:
        return std::make_unique<zksp_filter_rbj_low_pass>();
    case 3:
        return std::make_unique<zksp_filter_4PHP>();
    case 4:
        return std::make_unique<zksp_filter_rbj_high_pass>();
    default:
        return std::make_unique<zksp_filter_rbj_band_pass_gain_comp>();
    }
}

float signal(int i)
{
    return 0.5f * std::sin(i * 0.031f) + 0.3f * std::sin(i * 0.47f);
}

TEST(FilterEngine, ClosedGatePassesInputExactly)
{
    for (std::uint16_t type = 0; type < 6; ++type) {
        CFilterEngine e;
        e.selectType(type);
        e.setFrequency(700.0f);
        e.setResonance(0.8f);
        for (int i = 0; i < 4410; ++i)
            e.processGated(signal(i), 1.0f);
        for (int i = 0; i < 44100; ++i)
            e.processGated(signal(i), 0.0f);
        for (int i = 0; i < 1000; ++i)
            ASSERT_EQ(e.processGated(signal(i), 0.0f), signal(i)) << "type " << type;
    }
}

TEST(FilterEngine, OpenGateGivesTheActiveFiltersOutput)
{
    for (std::uint16_t type = 0; type < 6; ++type) {
        CFilterEngine e;
        e.setFrequency(1500.0f);
        e.setResonance(0.4f);
        e.selectType(type);
        std::unique_ptr<zksp_filter> ref = standalone(type);
        ref->setFrequency(1500.0f);
        ref->setResonance(0.4f);
        for (int i = 0; i < 44100; ++i) {
            const float y = e.processGated(signal(i), 1.0f);
            const float r = ref->process(signal(i));
            if (i > 22050) {
                ASSERT_EQ(y, r) << "type " << type << " sample " << i;
            }
        }
        EXPECT_EQ(e.activeFilter(), e.filterForType(type));
    }
}

TEST(FilterEngine, HalfGateMixesHalfAndHalf)
{
    CFilterEngine e;
    e.selectType(2);
    zksp_filter_rbj_low_pass ref;
    ref.setResonance(0.1f);
    for (int i = 0; i < 44100; ++i) {
        const float y = e.processGated(signal(i), 0.5f);
        const float r = ref.process(signal(i));
        if (i > 22050) {
            ASSERT_NEAR(y, 0.5f * r + 0.5f * signal(i), 1e-5f);
        }
    }
}

TEST(FilterEngine, SwitchingResetsOnlyTheNewFilter)
{
    CFilterEngine e;
    e.setFrequency(900.0f);
    e.setResonance(0.3f);
    e.selectType(2);
    for (int i = 0; i < 1000; ++i)
        e.processGated(signal(i), 1.0f);
    const auto* lp = static_cast<const zksp_filter_rbj*>(e.filterForType(2));
    const double lpState = lp->stateValue(3);
    EXPECT_NE(lpState, 0.0);
    e.selectType(4);
    for (int i = 0; i < 1000; ++i)
        e.processGated(signal(i), 1.0f);
    // The low-pass was left alone while the high-pass ran.
    EXPECT_EQ(lp->stateValue(3), lpState);
    EXPECT_EQ(e.activeFilter(), e.filterForType(4));
    // Back to the low-pass: it starts from silence again.
    e.selectType(2);
    e.applyPendingSelection();
    for (int i = 0; i < zksp_filter_rbj::kStates; ++i)
        EXPECT_EQ(lp->stateValue(i), 0.0);
    EXPECT_EQ(e.activeFilter(), e.filterForType(2));
}

TEST(FilterEngine, TypeAboveFiveReappliesTheLastSelection)
{
    CFilterEngine e;
    e.selectType(5);
    for (int i = 0; i < 1000; ++i)
        e.processGated(signal(i), 1.0f);
    e.setFrequency(2500.0f);
    e.setResonance(0.5f);
    const auto* bp = static_cast<const zksp_filter_rbj*>(e.filterForType(5));
    EXPECT_NE(bp->stateValue(2), 0.0f);
    e.selectType(6);
    e.applyPendingSelection();
    EXPECT_EQ(e.activeFilter(), e.filterForType(5));
    EXPECT_EQ(bp->stateValue(2), 0.0f);
    EXPECT_EQ(bp->getFrequency(), 2500.0f);
    EXPECT_EQ(bp->getQ(), 0.5f * 7.0f + 1.0f);
    e.selectType(65535);
    e.applyPendingSelection();
    EXPECT_EQ(e.activeFilter(), e.filterForType(5));
}

TEST(FilterEngine, DefaultsBeforeTheFirstControlTick)
{
    CFilterEngine e;
    // Until something is selected the ladder runs with its own construction values.
    EXPECT_EQ(e.activeFilter(), e.filterForType(0));
    EXPECT_EQ(e.activeFilter()->getFrequency(), 20.0f);
    EXPECT_EQ(e.getFrequency(), 1000.0f);
    EXPECT_EQ(e.getResonance(), 0.1f);
    e.selectType(2);
    e.processGated(0.0f, 0.0f);
    EXPECT_EQ(e.activeFilter()->getFrequency(), 1000.0f);
    EXPECT_EQ(e.activeFilter()->getQ(), 0.1f * 10.0f + 1.0f);
    e.selectType(0);
    e.processGated(0.0f, 0.0f);
    EXPECT_EQ(e.activeFilter()->getFrequency(), 1000.0f);
    EXPECT_NEAR(e.activeFilter()->getQ(), 0.1f * 10.5f * 0.4f, 1e-6f);
}

TEST(FilterEngine, ControlTickSettersReachOnlyTheActiveFilter)
{
    CFilterEngine e;
    e.selectType(4);
    e.applyPendingSelection();
    e.setFrequency(3300.0f);
    e.setResonance(0.9f);
    EXPECT_EQ(e.filterForType(4)->getFrequency(), 3300.0f);
    EXPECT_EQ(e.filterForType(4)->getQ(), 10.0f);
    EXPECT_EQ(e.filterForType(2)->getFrequency(), 1000.0f);
    EXPECT_EQ(e.filterForType(1)->getFrequency(), 1000.0f);
}

TEST(FilterEngine, ResetAndSampleRateReachEveryFilter)
{
    CFilterEngine e;
    for (std::uint16_t t = 0; t < 6; ++t) {
        e.selectType(t);
        for (int i = 0; i < 100; ++i)
            e.processGated(signal(i), 1.0f);
    }
    e.setSampleRate(48000.0f);
    for (unsigned t = 0; t < 6; ++t)
        EXPECT_EQ(e.filterForType(t)->getSampleRate(), 48000.0f) << t;
    const auto* hp4 = static_cast<const zksp_filter_4PHP*>(e.filterForType(3));
    EXPECT_EQ(hp4->resonantStage().getSampleRate(), 48000.0f);
    // Reset clears every filter; the gate smoother keeps its (settled) level.
    for (int i = 0; i < 44100; ++i)
        e.processGated(signal(i), 1.0f);
    e.reset();
    const auto* bp = static_cast<const zksp_filter_rbj*>(e.filterForType(5));
    EXPECT_EQ(bp->stateValue(2), 0.0f);
    // With the gate level kept at 1, the first sample after a reset is the filter's own.
    zksp_filter_rbj_band_pass_gain_comp ref;
    ref.setSampleRate(48000.0f);
    ref.setResonance(0.1f);
    EXPECT_EQ(e.processGated(0.25f, 1.0f), ref.process(0.25f));
}

TEST(FilterEngine, StableAtEveryTypeCutoffResonanceAndRate)
{
    for (float rate : {8000.0f, 22050.0f, 44100.0f, 96000.0f, 384000.0f}) {
        for (std::uint16_t type = 0; type < 6; ++type) {
            CFilterEngine e;
            e.setSampleRate(rate);
            e.selectType(type);
            Noise noise;
            for (float fc : {40.0f, 250.0f, 2000.0f, 9000.0f, 20000.0f}) {
                for (float r : {0.0f, 0.5f, 1.0f}) {
                    e.setFrequency(fc);
                    e.setResonance(r);
                    for (int i = 0; i < 2048; ++i) {
                        const float y = e.processGated(noise.next(), (i / 256) % 2 ? 1.0f : 0.0f);
                        ASSERT_TRUE(std::isfinite(y) && std::fabs(y) < 200.0f)
                            << rate << " type " << type << " fc " << fc << " r " << r;
                    }
                }
            }
        }
    }
}

// The engine runs its filters without their own checks and checks what it sends on, once per
// sample: NaN, infinite and huge finite input never leaves it non-finite, and the filter that
// met it starts over and filters again.
TEST(FilterEngine, EveryTypeRecoversFromNonFiniteAndHugeInput)
{
    const float bursts[] = {
        std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
        -std::numeric_limits<float>::infinity(), std::numeric_limits<float>::max(), -1e30f};
    for (std::uint16_t type = 0; type < 6; ++type) {
        for (float bad : bursts) {
            CFilterEngine e;
            e.selectType(type);
            e.setFrequency(3000.0f);
            e.setResonance(1.0f);
            for (int i = 0; i < 4410; ++i)
                e.processGated(signal(i), 1.0f);
            for (int i = 0; i < 8; ++i) {
                const float y = e.processGated(bad, 1.0f);
                ASSERT_TRUE(std::isfinite(y)) << "type " << type << " input " << bad;
            }
            // A huge finite burst rings out from its own level; the last 20 ms are the
            // filtered signal again.
            float level = 0.0f;
            for (int i = 0; i < 8820; ++i) {
                const float y = e.processGated(signal(i), 1.0f);
                ASSERT_TRUE(std::isfinite(y)) << "type " << type << " after " << bad;
                if (i >= 8820 - 882)
                    level = std::max(level, std::fabs(y));
            }
            EXPECT_GT(level, 0.01f) << "type " << type << " after " << bad;
            EXPECT_LT(level, 100.0f) << "type " << type << " after " << bad;
        }
    }
}

TEST(FilterEngine, NoSubnormalStateAfterLoudSignalAndTenSecondsOfSilence)
{
    for (std::uint16_t type = 0; type < 6; ++type) {
        CFilterEngine e;
        e.selectType(type);
        e.setFrequency(500.0f);
        e.setResonance(0.7f);
        Noise noise;
        for (int i = 0; i < 44100; ++i)
            e.processGated(noise.next(), 1.0f);
        float y = 1.0f;
        for (int i = 0; i < 441000; ++i)
            y = e.processGated(0.0f, 1.0f);
        EXPECT_TRUE(normalOrZero(y)) << "type " << type << " " << y;
        const zksp_filter* f = e.activeFilter();
        if (const auto* bq = dynamic_cast<const zksp_filter_rbj*>(f)) {
            for (int i = 0; i < zksp_filter_rbj::kStates; ++i)
                EXPECT_TRUE(normalOrZero(bq->stateValue(i))) << type;
        } else if (const auto* hp = dynamic_cast<const zksp_filter_4PHP*>(f)) {
            for (int i = 0; i < zksp_filter_rbj::kStates; ++i) {
                EXPECT_TRUE(normalOrZero(hp->resonantStage().stateValue(i))) << type;
                EXPECT_TRUE(normalOrZero(hp->fixedStage().stateValue(i))) << type;
            }
        } else if (const auto* m = dynamic_cast<const zksp_filter_zk_moog*>(f)) {
            for (int i = 0; i < 8; ++i)
                EXPECT_TRUE(normalOrZero(m->stateValue(i))) << type;
        } else if (const auto* c = dynamic_cast<const zksp_filter_creakbox*>(f)) {
            EXPECT_TRUE(normalOrZero(c->stateValue(0)));
            EXPECT_TRUE(normalOrZero(c->stateValue(1)));
        } else {
            ADD_FAILURE() << "unknown filter";
        }
    }
}

// Type changes from another thread while audio runs: the audio thread alone touches the
// filters (run under ThreadSanitizer to see the hand-over is race-free).
TEST(FilterEngine, TypeChangesFromAnotherThreadWhileProcessing)
{
    CFilterEngine e;
    std::atomic<bool> stop{false};
    std::thread ui([&] {
        std::uint16_t t = 0;
        while (!stop.load()) {
            e.selectType(t);
            t = static_cast<std::uint16_t>((t + 1) % 8);
            std::this_thread::yield();
        }
    });
    bool finite = true;
    for (int i = 0; i < 200000; ++i) {
        if (i % 32 == 0) {
            e.setFrequency(200.0f + (i % 5000));
            e.setResonance((i % 100) * 0.01f);
        }
        finite = finite && std::isfinite(e.processGated(signal(i), (i / 1000) % 2 ? 1.0f : 0.0f));
    }
    stop.store(true);
    ui.join();
    EXPECT_TRUE(finite);
}

} // namespace
