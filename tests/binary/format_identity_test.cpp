// The LV2 and VST3 bundles and the CLAP plug-in against the VST 2.4 module: the same program,
// input, block size and transport must give the same bits, all loaded through the host library.
#if (MORVEK2_HOST_LV2 && defined(MORVEK2_LV2_BUNDLE)) || defined(MORVEK2_VST3_BUNDLE) ||           \
    (MORVEK2_HOST_CLAP && defined(MORVEK2_CLAP_PLUGIN))

#include "host/render.h"
#if MORVEK2_HOST_LV2
#include "host/lv2_plugin.h"
#endif

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <thread>

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
    const char* format; // the plug-in compared with the VST 2.4 module
    const char* path;
    // CLAP has no program list: it gets the program as a host restores a project, the state
    // the VST 2.4 module saves for it.
    bool programAsState;
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
#if MORVEK2_HOST_LV2
    if (auto* lv2 = dynamic_cast<morvek2::host::Lv2Plugin*>(instance.get()))
        lv2->setProgramKey("urn:zendrik:morvek2#program");
#endif
    instance->start(static_cast<float>(kRate), run.block);
    if (run.program >= 0 && !run.programAsState) {
        instance->setProgram(run.program);
    } else if (run.program >= 0) {
        // On a thread of its own: the module's random numbers run per thread, and this thread's
        // must stay where the other side's are.
        std::vector<uint8_t> state;
        std::thread([&] {
            std::unique_ptr<Instance> vst2 =
                morvek2::host::loadInstance(MORVEK2_MODULE_PATH, error);
            if (vst2) {
                vst2->setProgram(run.program);
                state = vst2->getChunk(true);
            }
        }).join();
        if (instance->setChunk(true, state) != 1) {
            ADD_FAILURE() << "the state of program " << run.program << " was refused";
            return {};
        }
    }
    morvek2::host::Transport& transport = instance->transport();
    transport.setSampleRate(kRate);
    transport.setTempo(120.0);
    transport.setTimeSignature(4, 4);
    transport.locate(run.startPpq);
    transport.setPlaying(run.playing);
    return morvek2::host::render(*instance, input, {.blockSizes = {run.block}});
}

TEST(FormatIdentity, RendersEqualTheVst2ModuleBitForBit)
{
    struct Format
    {
        const char* name;
        const char* path;
        bool programAsState;
    };
    const Format formats[] = {
#if MORVEK2_HOST_LV2 && defined(MORVEK2_LV2_BUNDLE)
        {"LV2", MORVEK2_LV2_BUNDLE, false},
        // A host restoring a project, or loading a program file, with its ports left as they
        // were: the state alone decides.
        {"LV2 state", MORVEK2_LV2_BUNDLE, true},
#endif
#if defined(MORVEK2_VST3_BUNDLE)
        {"VST3", MORVEK2_VST3_BUNDLE, false},
#endif
#if MORVEK2_HOST_CLAP && defined(MORVEK2_CLAP_PLUGIN)
        {"CLAP", MORVEK2_CLAP_PLUGIN, true},
        // As `morvek2 --program N` selects it: from the plug-in's own list of factory
        // programs, against the VST 2.4 module's program N.
        {"CLAP program list", MORVEK2_CLAP_PLUGIN, false},
#endif
    };
    std::vector<Case> runs;
    for (const Format& f : formats) {
        for (int program : {-1, 1, 8, 26, 38}) {
            for (int32_t block : {512, 1}) {
                for (double start : {0.0, 2.5}) {
                    runs.push_back({f.name, f.path, f.programAsState, program, block, start, true});
                }
            }
        }
        runs.push_back({f.name, f.path, f.programAsState, -1, 512, 2.5, false});
        runs.push_back({f.name, f.path, f.programAsState, 26, 1, 0.0, false});
    }

    const AudioChannels input = testInput();
    for (const Case& run : runs) {
        SCOPED_TRACE(std::string(run.format) + ", program " + std::to_string(run.program) +
                     ", blocks of " + std::to_string(run.block) + ", from ppq " +
                     std::to_string(run.startPpq) + (run.playing ? ", playing" : ", stopped"));
        // Each side on a new thread, so that both start from the same random numbers whatever
        // rows ran before.
        AudioChannels vst2;
        AudioChannels other;
        std::thread([&] { vst2 = renderThrough(MORVEK2_MODULE_PATH, run, input); }).join();
        std::thread([&] { other = renderThrough(run.path, run, input); }).join();
        ASSERT_EQ(vst2.size(), 2u);
        ASSERT_EQ(other.size(), 2u);
        double energy = 0.0;
        for (std::size_t c = 0; c < 2; ++c) {
            ASSERT_EQ(other[c].size(), vst2[c].size());
            for (std::size_t i = 0; i < vst2[c].size(); ++i) {
                energy += static_cast<double>(vst2[c][i]) * vst2[c][i];
                const auto a = std::bit_cast<uint32_t>(vst2[c][i]);
                const auto b = std::bit_cast<uint32_t>(other[c][i]);
                ASSERT_EQ(a, b) << "first difference: channel " << c << ", frame " << i << ": VST2 "
                                << vst2[c][i] << ", " << run.format << " " << other[c][i];
            }
        }
        // Silence on both sides would match without showing anything.
        EXPECT_GT(energy, 1.0);
    }
}

} // namespace

#if defined(MORVEK2_VST3_BUNDLE)
// The VST3 state is the VST2 program chunk: the same bytes out, taken back by a fresh instance,
// and anything that is not a program refused without changing what the instance holds.
TEST(FormatIdentity, Vst3StateIsTheVst2ProgramChunk)
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
    // Random bytes of other lengths are refused and change nothing.
    std::mt19937 random(7);
    for (std::size_t size :
         {std::size_t{1}, std::size_t{100}, chunk.size() + 1, 3 * chunk.size()}) {
        std::vector<uint8_t> bytes(size);
        for (uint8_t& b : bytes) {
            b = static_cast<uint8_t>(random());
        }
        EXPECT_EQ(fresh->setChunk(true, bytes), 0) << size << " random bytes";
        EXPECT_EQ(fresh->getChunk(true), before) << size << " random bytes";
    }
    fresh->setChunk(true, noise); // mended or refused, but never harmful
    EXPECT_EQ(fresh->setChunk(true, before), 1);
    EXPECT_EQ(fresh->getChunk(true), before);
    EXPECT_EQ(fresh->setChunk(true, chunk), 1);
    EXPECT_EQ(fresh->getChunk(true), chunk);
    EXPECT_EQ(fresh->parameterDisplay(3), vst2->parameterDisplay(3));

    // And the restored instance sounds as the one that saved it.
    const AudioChannels input = testInput();
    AudioChannels saved;
    AudioChannels restored;
    for (auto [instance, out] :
         {std::pair{vst3.get(), &saved}, std::pair{fresh.get(), &restored}}) {
        instance->start(static_cast<float>(kRate), 512);
        std::thread([&] { *out = morvek2::host::render(*instance, input, {}); }).join();
    }
    ASSERT_EQ(saved.size(), 2u);
    EXPECT_EQ(saved, restored);
}
#endif

#endif
