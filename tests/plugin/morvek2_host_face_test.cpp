// Morvek2 linked into the test: construction, sample rate, pin modes, parameters through the
// manager, and that the host-facing parameter paths never allocate.
#include "support/alloc_counter.h"
#include "vst2/Morvek2.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

namespace {

struct Call
{
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
};

// A host whose second input pin can be reported as unconnected. The audio thread asks it for
// the time while a test thread automates, so the log is guarded as a real host's would be.
std::mutex gCallsMutex;
std::vector<Call> gCalls;
bool gSecondInputConnected = true;

VstIntPtr VSTCALLBACK testHost(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr value, void*,
                               float)
{
    {
        std::lock_guard<std::mutex> lock(gCallsMutex);
        gCalls.push_back({opcode, index, value});
    }
    switch (opcode) {
    case audioMasterVersion:
        return kVstVersion;
    case audioMasterPinConnected:
        // 0 means connected.
        return (value == 0 && index == 1 && !gSecondInputConnected) ? 1 : 0;
    default:
        return 0;
    }
}

// Opens the protected parts for inspection.
struct InspectMorvek2 : Morvek2
{
    using Morvek2::activeSmoother;
    using Morvek2::gateSmoothers;
    using Morvek2::outputGainSmoother;
    using Morvek2::valueSmoothers;
    explicit InspectMorvek2(audioMasterCallback host) : Morvek2(host) {}
};

struct HostFixture : ::testing::Test
{
    void SetUp() override
    {
        gCalls.clear();
        gSecondInputConnected = true;
    }
};

} // namespace

using Morvek2HostFace = HostFixture;

TEST_F(Morvek2HostFace, RecordAndOwnedPartsAfterConstruction)
{
    InspectMorvek2 plugin(&testHost);
    const AEffect* e = plugin.getAeffect();
    EXPECT_EQ(e->magic, kEffectMagic);
    EXPECT_EQ(e->uniqueID, 0x5A4B6D32);
    EXPECT_EQ(e->numPrograms, 40);
    EXPECT_EQ(e->numParams, 93);
    EXPECT_EQ(e->numInputs, 2);
    EXPECT_EQ(e->numOutputs, 2);
    EXPECT_EQ(e->version, 1);
    EXPECT_EQ(e->initialDelay, 0);
    EXPECT_EQ(e->flags & ~effFlagsHasEditor, effFlagsCanReplacing | effFlagsProgramChunks);
    EXPECT_EQ((e->flags & effFlagsHasEditor) != 0, plugin.getEditor() != nullptr);

    EXPECT_EQ(plugin.getSampleRate(), 44100.0f);
    EXPECT_EQ(plugin.getBlockSize(), 1024);
    EXPECT_EQ(plugin.getProgram(), 0);
    EXPECT_EQ(plugin.getInputMode(), 2);
    EXPECT_EQ(plugin.getOutputMode(), 2);
    EXPECT_EQ(plugin.getSoloIndex(), 0);
    for (int m = 0; m < Morvek2::kNumModules; ++m) {
        EXPECT_EQ(plugin.getChainSlot(m), m);
        EXPECT_EQ(plugin.getEnableFactor(m), 1.0f);
        EXPECT_EQ(plugin.gateSmoothers[m].getUpdateInterval(), 32);
        EXPECT_FLOAT_EQ(plugin.gateSmoothers[m].getAttackTime(), 0.002f);
        EXPECT_EQ(plugin.valueSmoothers[m].getUpdateInterval(), 32);
        // Program 0 ("01 Clean Slate") is applied at construction: 16 sixteenths per lane.
        const SeqLane& lane = plugin.getLane(m);
        EXPECT_EQ(lane.length, 16);
        EXPECT_EQ(lane.stepSize, 4);
        EXPECT_EQ(lane.direction, 0);
    }
    EXPECT_FLOAT_EQ(plugin.activeSmoother.getAttackTime(), 0.01f);
    EXPECT_FLOAT_EQ(plugin.outputGainSmoother.getAttackTime(), 0.01f);
    EXPECT_EQ(plugin.activeSmoother.getUpdateInterval(), 32);
    EXPECT_EQ(plugin.outputGainSmoother.getUpdateInterval(), 32);
}

TEST_F(Morvek2HostFace, NewSampleRateReachesEverySmootherAndTheSameRateChangesNothing)
{
    InspectMorvek2 plugin(&testHost);
    AEffect* e = plugin.getAeffect();
    e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, 48000.0f);
    EXPECT_EQ(plugin.getSampleRate(), 48000.0f);
    EXPECT_FLOAT_EQ(plugin.getSampleRateReciprocal(), 1.0f / 48000.0f);
    for (int m = 0; m < Morvek2::kNumModules; ++m) {
        EXPECT_EQ(plugin.valueSmoothers[m].getSampleRate(), 48000.0f);
        EXPECT_EQ(plugin.gateSmoothers[m].getSampleRate(), 48000.0f);
    }
    EXPECT_EQ(plugin.outputGainSmoother.getSampleRate(), 48000.0f);
    EXPECT_EQ(plugin.activeSmoother.getSampleRate(), 48000.0f);

    // Mark one smoother; asking for the rate already held must leave it alone.
    plugin.activeSmoother.setSampleRate(22050.0f);
    e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, 48000.0f);
    EXPECT_EQ(plugin.activeSmoother.getSampleRate(), 22050.0f);

    // A rate of zero would make the reciprocal infinite; it never gets through.
    e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, 0.0f);
    EXPECT_EQ(plugin.getSampleRate(), 48000.0f);
    EXPECT_TRUE(std::isfinite(plugin.getSampleRateReciprocal()));
}

TEST_F(Morvek2HostFace, ResumeReadsThePinsAndAsksForMidi)
{
    gSecondInputConnected = false;
    Morvek2 plugin(&testHost);
    AEffect* e = plugin.getAeffect();
    gCalls.clear();
    e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
    EXPECT_EQ(plugin.getInputMode(), 1);
    EXPECT_EQ(plugin.getOutputMode(), 2);
    int wantMidi = 0;
    for (const Call& c : gCalls) {
        if (c.opcode == audioMasterWantMidi) {
            ++wantMidi;
            EXPECT_EQ(c.value, 1);
        }
    }
    EXPECT_EQ(wantMidi, 1);

    // Mono input: the left input feeds both channels, so noise on the right is not heard.
    const VstInt32 frames = 64;
    std::vector<float> left(frames, 0.0f), right(frames);
    for (VstInt32 i = 0; i < frames; ++i) {
        right[i] = (i % 7) * 0.1f - 0.3f;
    }
    float* io[2] = {left.data(), right.data()}; // in place, as many hosts do
    e->processReplacing(e, io, io, frames);
    for (VstInt32 i = 0; i < frames; ++i) {
        ASSERT_EQ(left[i], 0.0f);
        ASSERT_EQ(right[i], 0.0f);
    }

    gSecondInputConnected = true;
    e->dispatcher(e, effMainsChanged, 0, 0, nullptr, 0.0f);
    e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
    EXPECT_EQ(plugin.getInputMode(), 2) << "the mode is fixed again at every resume";
}

TEST_F(Morvek2HostFace, WithoutAHostEveryPinCountsAsConnected)
{
    Morvek2 plugin(nullptr);
    plugin.resume();
    EXPECT_EQ(plugin.getInputMode(), 2);
    EXPECT_EQ(plugin.getOutputMode(), 2);
    plugin.setParameterAutomated(5, 1.0f);
    EXPECT_EQ(plugin.getParameter(5), 1.0f);
}

TEST_F(Morvek2HostFace, ParametersGoThroughTheManagerWithinRangeOnly)
{
    Morvek2 plugin(&testHost);
    Morvek2ParameterManager& params = plugin.getParameterManager();
    const int definedBefore = params.getCount();
    plugin.setParameter(17, 0.5f);
    EXPECT_EQ(plugin.getParameter(17), 0.5f);
    EXPECT_EQ(params.getValue(17), 0.5f);
    // A Length parameter is quantised by the manager; the host reads back what it holds.
    plugin.setParameter(7, 0.5f);
    EXPECT_EQ(plugin.getParameter(7), 0.5f);
    EXPECT_EQ(params.getWorkingValue(7), 17.0f);

    for (VstInt32 bad : {-1, 93, 200, 255}) {
        plugin.setParameter(bad, 0.7f);
        EXPECT_EQ(plugin.getParameter(bad), 0.0f);
    }
    plugin.setParameter(17, std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(plugin.getParameter(17), 0.5f);
    plugin.setParameter(17, 3.0f);
    EXPECT_EQ(plugin.getParameter(17), 1.0f);
    EXPECT_EQ(params.getCount(), definedBefore) << "no stray manager entries for bad indices";
}

TEST(Morvek2AllocationCounter, SeesAllocationsOnlyInsideItsScope)
{
    std::vector<int>* outside = new std::vector<int>(10);
    morvek2::test::AllocationScope scope;
    EXPECT_EQ(scope.count(), 0u);
    std::vector<int> inside(100);
    // Keeps the compiler from proving the allocation unused and dropping it.
    asm volatile("" : : "g"(inside.data()) : "memory");
    EXPECT_GE(scope.count(), 1u);
    delete outside;
}

TEST(Morvek2AllocationCounter, HostParameterPathsAllocateNothingAfterConstruction)
{
    Morvek2 plugin(&testHost);
    AEffect* e = plugin.getAeffect();
    Morvek2ParameterManager& params = plugin.getParameterManager();
    char text[64];
    float sink = 0.0f;
    const float values[] = {0.0f, 0.3f, 0.5f, 0.51f, 1.0f, 1.5f, -0.0f};
    const float steps[] = {-1.0f, 0.0f, 0.25f, 1.0f, 2.0f};

    morvek2::test::AllocationScope scope;
    for (VstInt32 i = 0; i < Morvek2::kNumParams; ++i) {
        for (float v : values) {
            e->setParameter(e, i, v);
            plugin.setParameter(i, v);
            sink += e->getParameter(e, i);
            sink += params.getEngineValue(i);
            for (float x : steps) {
                sink += params.getModulatedValue(i, x);
            }
            e->dispatcher(e, effGetParamDisplay, i, 0, text, 0.0f);
        }
        e->dispatcher(e, effGetParamName, i, 0, text, 0.0f);
        e->dispatcher(e, effGetParamLabel, i, 0, text, 0.0f);
    }
    EXPECT_EQ(scope.count(), 0u);
    EXPECT_TRUE(std::isfinite(sink));
}

// Host automation on one thread while another thread processes and reads parameters back, as
// hosts do. Run under ThreadSanitizer this shows the shared values are properly atomic; in any
// build every value read back must stay a normalised value and the audio finite.
TEST_F(Morvek2HostFace, AutomationWhileProcessingKeepsValuesSane)
{
    Morvek2 plugin(&testHost);
    AEffect* e = plugin.getAeffect();
    e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
    std::atomic<bool> stop{false};
    std::thread automation([&] {
        float v = 0.0f;
        for (int round = 0; round < 200; ++round) {
            for (VstInt32 i = 0; i < Morvek2::kNumParams; ++i) {
                e->setParameter(e, i, v);
                v = v > 0.95f ? 0.0f : v + 0.0371f;
            }
        }
        stop.store(true);
    });
    std::vector<float> left(64, 0.5f), right(64, -0.5f);
    float* io[2] = {left.data(), right.data()};
    bool sane = true;
    char text[64];
    while (!stop.load()) {
        e->processReplacing(e, io, io, 64);
        for (VstInt32 i = 0; i < Morvek2::kNumParams; i += 7) {
            const float v = e->getParameter(e, i);
            sane = sane && v >= 0.0f && v <= 1.0f;
            e->dispatcher(e, effGetParamDisplay, i, 0, text, 0.0f);
            sane = sane && std::strlen(text) <= 8;
        }
        sane = sane && std::isfinite(left[0]) && std::isfinite(right[0]);
    }
    automation.join();
    EXPECT_TRUE(sane);
}
