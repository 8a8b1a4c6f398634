// The sound of the built module, driven as a host drives it: the same output however the host
// splits its blocks, the dry signal with Active off, recovery from non-finite input, hosts
// without time information, and no allocation while playing.
#include "module_under_test.h"
#include "params/Morvek2Params.h"
#include "plugin/ProgramRecord.h"
#include "support/alloc_counter.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

using namespace morvek2::host;
using binarytest::loadPlugin;

using namespace morvek2::param;

namespace {

AudioChannels noiseInput(std::size_t frames, uint32_t seed)
{
    AudioChannels in(2, std::vector<float>(frames));
    for (auto& channel : in) {
        for (float& s : channel) {
            seed = seed * 1664525u + 1013904223u;
            s = static_cast<float>(seed >> 8) / 16777216.0f - 0.5f;
        }
    }
    return in;
}

// The current program with moving lanes: every lane short, with values and gates, every module
// on, and a reset each measure; written back through the program chunk as a host restores it.
void makeLanesMove(Plugin& plugin)
{
    std::vector<uint8_t> chunk = plugin.getChunk(true);
    ASSERT_EQ(chunk.size(), sizeof(ProgramRecord));
    ProgramRecord record;
    std::memcpy(&record, chunk.data(), sizeof record);
    const int16_t sizes[6] = {4, 2, 3, 5, 0, 9};
    for (int m = 0; m < 6; ++m) {
        SeqLane& lane = record.lanes[m];
        lane.length = static_cast<int16_t>(3 + m);
        lane.position = 0;
        lane.direction = m == 3 ? 1 : 0;
        lane.stepSize = sizes[m];
        for (int s = 0; s < 32; ++s) {
            lane.steps[s].value = static_cast<float>((s * 5 + m) % 9) / 8.0f;
            lane.steps[s].gate = (s + m) % 3 != 0;
        }
    }
    // The lane parameters are the lanes' own settings in normalised form (a third of a position
    // above each, so that rounding cannot land on the position below).
    for (int m = 0; m < 6; ++m) {
        record.values[kStepSizeParam[m]] = (sizes[m] + 0.3f) / 9.0f;
        record.values[kLengthParam[m]] = (3.0f + m - 1.0f + 0.3f) / 31.0f;
        record.values[kDirectionParam[m]] = m == 3 ? 0.5f : 0.0f;
    }
    record.values[kResetInterval] = 1.3f / 4.0f; // one measure
    record.values[32] = 0.7f;                    // fuzz
    record.values[47] = 0.5f;                    // delay feedback
    record.values[48] = 0.5f;                    // delay send
    record.values[63] = 0.5f;                    // shift mix
    record.values[kActive] = 1.0f;
    std::memcpy(chunk.data(), &record, sizeof record);
    plugin.setChunk(true, chunk);
}

// Hosts that know their sample position exactly report ppq from it.
HostConfig exactHost(double tempo)
{
    HostConfig config;
    config.editTimeInfo = [tempo](VstTimeInfo& info) {
        info.ppqPos = info.samplePos * tempo / 60.0 / info.sampleRate;
    };
    return config;
}

} // namespace

TEST(ModuleSound, IrregularHostBlocksGiveTheSameOutputAsOneLongBlock)
{
    const std::size_t frames = 100000;
    const AudioChannels input = noiseInput(frames, 5);
    AudioChannels outputs[3];
    const std::vector<std::vector<int32_t>> splits = {
        {static_cast<int32_t>(frames)}, {1, 31, 32, 33, 511}, hostLikeBlockSizes()};
    for (std::size_t k = 0; k < splits.size(); ++k) {
        auto plugin = loadPlugin(exactHost(120.0));
        ASSERT_NE(plugin, nullptr);
        plugin->transport().setTempo(120.0);
        plugin->start(44100.0f, 1024);
        makeLanesMove(*plugin);
        outputs[k] = render(*plugin, input, {.blockSizes = splits[k]});
    }
    for (int k = 1; k < 3; ++k) {
        for (int c = 0; c < 2; ++c) {
            ASSERT_EQ(outputs[k][c].size(), frames);
            ASSERT_EQ(
                std::memcmp(outputs[0][c].data(), outputs[k][c].data(), frames * sizeof(float)), 0)
                << "split " << k << " channel " << c;
        }
    }
    // And the lanes did shape the sound: it is not the input times a constant.
    double ratioLow = 1e9, ratioHigh = 0.0;
    for (std::size_t i = 4096; i < frames; i += 997) {
        if (std::fabs(input[0][i]) > 0.1f) {
            const double ratio = std::fabs(outputs[0][0][i] / input[0][i]);
            ratioLow = std::min(ratioLow, ratio);
            ratioHigh = std::max(ratioHigh, ratio);
        }
    }
    EXPECT_GT(ratioHigh - ratioLow, 0.05);
}

TEST(ModuleSound, ActiveOffIsTheDryInputExactly)
{
    auto plugin = loadPlugin();
    ASSERT_NE(plugin, nullptr);
    plugin->start(44100.0f, 512);
    makeLanesMove(*plugin);
    plugin->setParameter(kActive, 0.0f);
    render(*plugin, noiseInput(8192, 1)); // the Active level settles
    const AudioChannels input = noiseInput(20000, 2);
    const AudioChannels output = render(*plugin, input, {.blockSizes = hostLikeBlockSizes()});
    EXPECT_EQ(output[0], input[0]);
    EXPECT_EQ(output[1], input[1]);
}

TEST(ModuleSound, NonFiniteInputLeavesNoTrace)
{
    auto plugin = loadPlugin();
    ASSERT_NE(plugin, nullptr);
    plugin->start(44100.0f, 512);
    makeLanesMove(*plugin);
    plugin->setParameter(kActive, 0.6f);
    render(*plugin, noiseInput(8192, 3));
    AudioChannels burst(2, std::vector<float>(300));
    for (std::size_t i = 0; i < 300; ++i) {
        burst[0][i] = std::numeric_limits<float>::quiet_NaN();
        burst[1][i] = i % 2 ? std::numeric_limits<float>::infinity()
                            : -std::numeric_limits<float>::infinity();
    }
    const AudioChannels during = render(*plugin, burst);
    const AudioChannels after = render(*plugin, noiseInput(44100, 4));
    for (const AudioChannels* out : {&during, &after}) {
        for (const auto& channel : *out) {
            for (float v : channel) {
                ASSERT_TRUE(std::isfinite(v));
                ASSERT_LT(std::fabs(v), 50.0f);
            }
        }
    }
}

TEST(ModuleSound, HostsWithoutTimeOrWithGarbageTimeStillGetSound)
{
    HostConfig none;
    none.provideTimeInfo = false;
    HostConfig garbage;
    garbage.editTimeInfo = [](VstTimeInfo& info) {
        info.tempo = std::numeric_limits<double>::quiet_NaN();
        info.ppqPos = -std::numeric_limits<double>::infinity();
        info.timeSigDenominator = 0;
        info.flags |= kVstTimeSigValid;
    };
    for (HostConfig* config : {&none, &garbage}) {
        auto plugin = loadPlugin(*config);
        ASSERT_NE(plugin, nullptr);
        plugin->start(44100.0f, 512);
        plugin->setParameter(kVcaDepth, 0.0f);
        const AudioChannels out = render(*plugin, noiseInput(20000, 6));
        double energy = 0.0;
        for (float v : out[0]) {
            ASSERT_TRUE(std::isfinite(v));
            energy += v * v;
        }
        EXPECT_GT(energy, 10.0);
    }
}

TEST(ModuleSound, PlayingAllocatesNothing)
{
    if (!morvek2::test::countsMalloc()) {
        GTEST_SKIP() << "the module's allocations cannot be counted in this build";
    }
    auto plugin = loadPlugin(exactHost(120.0));
    ASSERT_NE(plugin, nullptr);
    plugin->start(44100.0f, 512);
    makeLanesMove(*plugin);
    for (int m = 0; m < 6; ++m) {
        plugin->setParameter(kRstRandParam[m], 1.0f);
    }
    std::vector<float> l(512, 0.25f), r(512, -0.25f), ol(512), orr(512);
    float* in[2] = {l.data(), r.data()};
    float* out[2] = {ol.data(), orr.data()};
    plugin->process(in, out, 512);
    morvek2::test::AllocationScope scope;
    for (int block = 0; block < 400; ++block) { // past several resets with re-rolls
        plugin->process(in, out, 512);
    }
    EXPECT_EQ(scope.count(), 0u);
}
