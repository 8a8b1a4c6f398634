// The audio path allocates nothing, whatever a host does on it: every program, automation of
// every parameter (hostile values included), tempo and signature changes, MIDI controllers and
// program-wide lane re-rolls at resets.
#include "binary/reliability_support.h"
#include "support/alloc_counter.h"

#include <limits>
#include <vector>

using namespace morvek2::host;
using namespace reliability;

TEST(ReliabilityAllocation, AudioPathOverEveryProgramAutomationTempoAndMidi)
{
    if (!morvek2::test::countsMalloc()) {
        GTEST_SKIP() << "the module's allocations cannot be counted in this build";
    }
    // The tempo and signature move every block; the callback itself allocates nothing.
    int64_t block = 0;
    HostConfig config;
    config.editTimeInfo = [&block](VstTimeInfo& info) {
        info.tempo = 60.0 + static_cast<double>((block * 37) % 240);
        info.timeSigNumerator = 3 + static_cast<int32_t>(block % 5);
        info.timeSigDenominator = block % 2 ? 8 : 4;
        info.flags |= kVstTimeSigValid;
    };
    auto plugin = binarytest::loadPlugin(config);
    ASSERT_NE(plugin, nullptr);
    plugin->start(44100.0f, 256);
    const int32_t frames = 256;
    const AudioChannels input = noise(frames, 3, 1.0f);
    std::vector<float> l = input[0], r = input[1], ol(frames), orr(frames);
    float* in[2] = {l.data(), r.data()};
    float* out[2] = {ol.data(), orr.data()};
    MidiEventList midi(64);
    const float values[] = {0.0f, 1.0f,  0.5f, std::numeric_limits<float>::quiet_NaN(),
                            2.0f, -1.0f, 0.25f};
    const int programStep = kSanitized ? 13 : 1;
    for (int32_t k = 0; k < kNumPrograms; k += programStep) {
        plugin->setProgram(k); // a program change is the host's other thread, not counted
        for (int m = 0; m < 6; ++m) {
            plugin->setParameter(kRstRandParam[m], 1.0f);
        }
        plugin->setParameter(kResetInterval, 0.3f); // a reset each measure re-rolls the lanes
        plugin->process(in, out, frames);
        morvek2::test::AllocationScope scope;
        for (int b = 0; b < 120; ++b, ++block) {
            // Automation played back on the audio thread, as hosts do.
            for (int32_t p = 0; p < kNumParams; p += 7) {
                plugin->setParameter((p + b) % kNumParams,
                                     values[static_cast<std::size_t>(b + p) % std::size(values)]);
            }
            midi.clear();
            midi.add(b % frames, 0xB0, static_cast<uint8_t>(b % 120), static_cast<uint8_t>(b));
            midi.add(0, 0x90, 60, 100);
            plugin->sendEvents(midi.events());
            plugin->process(in, out, frames);
        }
        EXPECT_EQ(scope.count(), 0u) << "program " << k;
        for (int32_t i = 0; i < frames; ++i) {
            ASSERT_TRUE(std::isfinite(ol[i]) && std::isfinite(orr[i])) << "program " << k;
        }
    }
}
