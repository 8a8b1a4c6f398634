// The LV2 bundle against the VST 2.4 module: the same program, input, block size and transport
// must give the same bits, both loaded through the host library.
#if MORVEK2_HOST_LV2 && defined(MORVEK2_LV2_BUNDLE)

#include "host/lv2_plugin.h"
#include "host/render.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>

namespace {

using morvek2::host::AudioChannels;
using morvek2::host::Instance;

constexpr double kRate = 44100.0;

// Two seconds of a tone over quiet noise, different on each side, so that filters, delays and
// the stereo image all have something to work on.
AudioChannels testInput()
{
    const std::size_t frames = static_cast<std::size_t>(2 * kRate);
    AudioChannels in(2, std::vector<float>(frames));
    uint32_t seed = 12345;
    for (std::size_t i = 0; i < frames; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const float noise = (static_cast<float>(seed >> 8) / 16777216.0f - 0.5f) * 0.1f;
        const double t = static_cast<double>(i) / kRate;
        in[0][i] = 0.4f * static_cast<float>(std::sin(2.0 * M_PI * 110.0 * t)) + noise;
        in[1][i] = 0.4f * static_cast<float>(std::sin(2.0 * M_PI * 165.0 * t)) - noise;
    }
    return in;
}

struct Case
{
    int program; // -1: the program a new instance starts with
    int32_t block;
    double startPpq;
    bool playing;
};

AudioChannels renderThrough(const std::string& path, const Case& run, const AudioChannels& input)
{
    std::string error;
    std::unique_ptr<Instance> instance = morvek2::host::loadInstance(path, error);
    if (!instance) {
        ADD_FAILURE() << error;
        return {};
    }
    instance->start(static_cast<float>(kRate), run.block);
    if (run.program >= 0) {
        instance->setProgram(run.program);
    }
    morvek2::host::Transport& transport = instance->transport();
    transport.setSampleRate(kRate);
    transport.setTempo(120.0);
    transport.setTimeSignature(4, 4);
    transport.locate(run.startPpq);
    transport.setPlaying(run.playing);
    return morvek2::host::render(*instance, input, {.blockSizes = {run.block}});
}

TEST(Lv2Identity, RendersEqualTheVst2ModuleBitForBit)
{
    std::vector<Case> runs;
    for (int program : {-1, 1, 8, 26, 38}) {
        for (int32_t block : {512, 1}) {
            for (double start : {0.0, 2.5}) {
                runs.push_back({program, block, start, true});
            }
        }
    }
    runs.push_back({-1, 512, 2.5, false});
    runs.push_back({26, 1, 0.0, false});

    const AudioChannels input = testInput();
    for (const Case& run : runs) {
        SCOPED_TRACE("program " + std::to_string(run.program) + ", blocks of " +
                     std::to_string(run.block) + ", from ppq " + std::to_string(run.startPpq) +
                     (run.playing ? ", playing" : ", stopped"));
        const AudioChannels vst2 = renderThrough(MORVEK2_MODULE_PATH, run, input);
        const AudioChannels lv2 = renderThrough(MORVEK2_LV2_BUNDLE, run, input);
        ASSERT_EQ(vst2.size(), 2u);
        ASSERT_EQ(lv2.size(), 2u);
        double energy = 0.0;
        for (std::size_t c = 0; c < 2; ++c) {
            ASSERT_EQ(lv2[c].size(), vst2[c].size());
            for (std::size_t i = 0; i < vst2[c].size(); ++i) {
                energy += static_cast<double>(vst2[c][i]) * vst2[c][i];
                const auto a = std::bit_cast<uint32_t>(vst2[c][i]);
                const auto b = std::bit_cast<uint32_t>(lv2[c][i]);
                ASSERT_EQ(a, b) << "first difference: channel " << c << ", frame " << i << ": VST2 "
                                << vst2[c][i] << ", LV2 " << lv2[c][i];
            }
        }
        // Silence on both sides would match without showing anything.
        EXPECT_GT(energy, 1.0);
    }
}

} // namespace

#endif
