// The LV2 and VST3 bundles against the VST 2.4 module: the same program, input, block size and
// transport must give the same bits, all loaded through the host library.
#if (MORVEK2_HOST_LV2 && defined(MORVEK2_LV2_BUNDLE)) || defined(MORVEK2_VST3_BUNDLE)

#include "host/instance.h"
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
    std::vector<const char*> bundles;
#if MORVEK2_HOST_LV2 && defined(MORVEK2_LV2_BUNDLE)
    bundles.push_back(MORVEK2_LV2_BUNDLE);
#endif
#if defined(MORVEK2_VST3_BUNDLE)
    bundles.push_back(MORVEK2_VST3_BUNDLE);
#endif
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
    // Each module draws its random numbers from its own generator, so every render of the VST2
    // module is matched by one of each other format, keeping the generators in step.
    for (const Case& run : runs) {
        const AudioChannels vst2 = renderThrough(MORVEK2_MODULE_PATH, run, input);
        ASSERT_EQ(vst2.size(), 2u);
        for (const char* bundle : bundles) {
            SCOPED_TRACE(std::string(bundle) + ", program " + std::to_string(run.program) +
                         ", blocks of " + std::to_string(run.block) + ", from ppq " +
                         std::to_string(run.startPpq) + (run.playing ? ", playing" : ", stopped"));
            const AudioChannels other = renderThrough(bundle, run, input);
            ASSERT_EQ(other.size(), 2u);
            for (std::size_t c = 0; c < 2; ++c) {
                ASSERT_EQ(other[c].size(), vst2[c].size());
                for (std::size_t i = 0; i < vst2[c].size(); ++i) {
                    const auto a = std::bit_cast<uint32_t>(vst2[c][i]);
                    const auto b = std::bit_cast<uint32_t>(other[c][i]);
                    ASSERT_EQ(a, b) << "first difference: channel " << c << ", frame " << i
                                    << ": VST2 " << vst2[c][i] << ", other " << other[c][i];
                }
            }
        }
        double energy = 0.0;
        for (const std::vector<float>& channel : vst2)
            for (float x : channel)
                energy += static_cast<double>(x) * x;
        // Silence on both sides would match without showing anything.
        EXPECT_GT(energy, 1.0);
    }
}

#if defined(MORVEK2_VST3_BUNDLE)
// The VST3 state is the VST2 program chunk: the same bytes out, taken back by a fresh instance,
// and anything that is not a program refused without changing what the instance holds.
TEST(Lv2Identity, Vst3StateIsTheVst2ProgramChunk)
{
    std::string error;
    auto vst2 = morvek2::host::loadInstance(MORVEK2_MODULE_PATH, error);
    auto vst3 = morvek2::host::loadInstance(MORVEK2_VST3_BUNDLE, error);
    ASSERT_TRUE(vst2 && vst3) << error;
    vst2->setProgram(26);
    vst3->setProgram(26);
    const std::vector<uint8_t> chunk = vst3->getChunk(true);
    ASSERT_FALSE(chunk.empty());
    EXPECT_EQ(chunk, vst2->getChunk(true));

    auto fresh = morvek2::host::loadInstance(MORVEK2_VST3_BUNDLE, error);
    ASSERT_TRUE(fresh) << error;
    const std::vector<uint8_t> before = fresh->getChunk(true);
    const std::vector<uint8_t> truncated(chunk.begin(), chunk.end() - 1);
    const std::vector<uint8_t> noise(chunk.size(), 0xa5);
    EXPECT_EQ(fresh->setChunk(true, {}), 0);
    EXPECT_EQ(fresh->setChunk(true, truncated), 0);
    fresh->setChunk(true, noise); // mended or refused, but never harmful
    EXPECT_EQ(fresh->setChunk(true, before), 1);
    EXPECT_EQ(fresh->getChunk(true), before);
    EXPECT_EQ(fresh->setChunk(true, chunk), 1);
    EXPECT_EQ(fresh->getChunk(true), chunk);
    EXPECT_EQ(fresh->parameterDisplay(3), vst2->parameterDisplay(3));
}
#endif

} // namespace

#endif
