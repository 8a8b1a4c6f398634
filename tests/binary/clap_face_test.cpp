// The CLAP plug-in as a CLAP host meets it, beside the VST 2.4 module: the same parameter texts,
// value events that land on their frames, and state that only takes what is a program.
#if MORVEK2_HOST_CLAP && defined(MORVEK2_CLAP_PLUGIN)

#include "host/clap_plugin.h"
#include "host/morvek2_scenes.h"
#include "host/render.h"
#include "params/Morvek2Params.h"
#include "support/alloc_counter.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using morvek2::host::ClapPlugin;
using morvek2::host::Instance;

std::unique_ptr<ClapPlugin> loadClap()
{
    std::string error;
    std::unique_ptr<ClapPlugin> clap = ClapPlugin::load(MORVEK2_CLAP_PLUGIN, error);
    EXPECT_NE(clap, nullptr) << error;
    return clap;
}

std::unique_ptr<Instance> loadVst2()
{
    std::string error;
    std::unique_ptr<Instance> vst2 = morvek2::host::loadInstance(MORVEK2_MODULE_PATH, error);
    EXPECT_NE(vst2, nullptr) << error;
    return vst2;
}

// What a host shows beside VST2's display: the unit after the number, none after a list entry.
std::string vst2Text(Instance& vst2, int32_t index, bool stepped)
{
    const std::string label = vst2.parameterLabel(index);
    const std::string display = vst2.parameterDisplay(index);
    return stepped || label.empty() ? display : display + " " + label;
}

TEST(ClapFace, ParametersShowTheVst2TextsAndReadThemBack)
{
    auto clap = loadClap();
    auto vst2 = loadVst2();
    ASSERT_TRUE(clap && vst2);
    EXPECT_EQ(clap->uri(), "com.zendrik.morvek2");
    EXPECT_EQ(clap->numInputs(), 2);
    EXPECT_EQ(clap->numOutputs(), 2);
    ASSERT_EQ(clap->numParams(), morvek2::param::kNumParams);
    for (int32_t i = 0; i < clap->numParams(); ++i) {
        EXPECT_EQ(clap->parameterName(i), vst2->parameterName(i)) << "parameter " << i;
    }
    // Rounds of values (the ends, then a spread that differs from parameter to parameter, so
    // texts that depend on another parameter's value meet it in several states), handed over as
    // state so that both hold the same stored bits; then each text compared and read back.
    for (int round = 0; round < 6; ++round) {
        auto valueOf = [round](int32_t i) {
            return round < 2 ? static_cast<float>(round)
                             : static_cast<float>(std::fmod(0.618034 * i + 0.29 * round, 1.0));
        };
        for (int32_t i = 0; i < vst2->numParams(); ++i) {
            if (i != morvek2::param::kActive) {
                vst2->setParameter(i, valueOf(i));
            }
        }
        ASSERT_EQ(clap->setChunk(true, vst2->getChunk(true)), 1);
        for (int32_t i = 0; i < clap->numParams(); ++i) {
            SCOPED_TRACE("parameter " + std::to_string(i) + " in round " + std::to_string(round));
            const std::string text = clap->valueText(i, clap->plainValue(i));
            EXPECT_EQ(text, vst2Text(*vst2, i, clap->stepped(i)));
            double back = -1.0;
            ASSERT_TRUE(clap->textValue(i, text, back)) << text;
            EXPECT_EQ(clap->valueText(i, back), text);
        }
    }
}

// A value event inside a block sounds from its frame on, as a VST2 host's change between two
// blocks split there.
TEST(ClapFace, ValueEventsApplyAtTheirFrames)
{
    auto clap = loadClap();
    auto unchanged = loadClap();
    auto vst2 = loadVst2();
    ASSERT_TRUE(clap && unchanged && vst2);
    constexpr int32_t kBlock = 512;
    constexpr int32_t kBlocks = 4;
    constexpr int32_t kAt = 200;
    for (Instance* instance : {static_cast<Instance*>(clap.get()),
                               static_cast<Instance*>(unchanged.get()), vst2.get()}) {
        instance->start(44100.0f, kBlock);
    }
    constexpr int32_t kFrames = kBlock * kBlocks;
    std::vector<float> in(kFrames);
    for (int32_t i = 0; i < kFrames; ++i) {
        in[i] = 0.5f * static_cast<float>(std::sin(0.05 * i));
    }
    morvek2::host::AudioChannels out(6, std::vector<float>(kFrames));
    auto run = [&](Instance& instance, int channel, int32_t from, int32_t frames) {
        float* ins[2] = {in.data() + from, in.data() + from};
        float* outs[2] = {out[channel].data() + from, out[channel + 1].data() + from};
        instance.process(ins, outs, frames);
    };
    const float depth = 0.05f;
    clap->setPlainValueAt(morvek2::param::kVcaDepth, depth, kAt);
    run(*vst2, 4, 0, kAt);
    vst2->setParameter(morvek2::param::kVcaDepth, depth);
    run(*vst2, 4, kAt, kBlock - kAt);
    for (int32_t b = 0; b < kBlocks; ++b) {
        run(*clap, 0, b * kBlock, kBlock);
        run(*unchanged, 2, b * kBlock, kBlock);
        if (b > 0) {
            run(*vst2, 4, b * kBlock, kBlock);
        }
    }
    int32_t firstChange = -1;
    for (int32_t i = 0; i < kFrames; ++i) {
        for (int c = 0; c < 2; ++c) {
            ASSERT_EQ(std::bit_cast<uint32_t>(out[c][i]), std::bit_cast<uint32_t>(out[4 + c][i]))
                << "channel " << c << ", frame " << i;
        }
        if (firstChange < 0 && out[0][i] != out[2][i]) {
            firstChange = i;
        }
    }
    // Without the event it sounds otherwise from the event's frame on, never before.
    EXPECT_GE(firstChange, kAt);
}

// Streams that are not one program leave everything as it was; a program comes back as the
// same bytes.
TEST(ClapFace, StateTakesOnlyAProgram)
{
    auto clap = loadClap();
    ASSERT_TRUE(clap);
    clap->start(44100.0f, 256);
    clap->setParameter(morvek2::param::kFilterFreq, 0.3f);
    const std::vector<uint8_t> saved = clap->getChunk(true);
    ASSERT_FALSE(saved.empty());

    std::vector<uint8_t> longer = saved;
    longer.push_back(0);
    std::vector<uint8_t> doubled = saved;
    doubled.insert(doubled.end(), saved.begin(), saved.end());
    const std::vector<uint8_t> hostile[] = {
        {}, {1}, std::vector<uint8_t>(saved.begin(), saved.end() - 1), longer, doubled};
    for (const std::vector<uint8_t>& bytes : hostile) {
        EXPECT_EQ(clap->setChunk(true, bytes), 0) << bytes.size() << " bytes";
        EXPECT_EQ(clap->getChunk(true), saved) << bytes.size() << " bytes";
    }

    auto other = loadClap();
    ASSERT_TRUE(other);
    ASSERT_EQ(other->setChunk(true, saved), 1);
    EXPECT_EQ(other->getChunk(true), saved);
}

// After a reset the plug-in sounds as a new instance with the same state would, to the bit:
// tails, glides, the clock and the lane positions all start over, at the default rate and others
// alike; and the reset allocates nothing.
TEST(ClapFace, ResetSoundsLikeANewInstance)
{
    struct Row
    {
        int program; // -1: the program an instance starts with; -2: every module at work
        float rate;
        double from; // where the transport starts, in quarter notes
    };
    for (const Row row : {Row{-1, 44100.0f, 0.0}, Row{8, 48000.0f, 0.0}, Row{26, 44100.0f, 1.3},
                          Row{38, 96000.0f, 0.0}, Row{-2, 44100.0f, 0.7}}) {
        SCOPED_TRACE("program " + std::to_string(row.program) + " at " + std::to_string(row.rate) +
                     " from " + std::to_string(row.from));
        auto used = loadClap();
        auto fresh = loadClap();
        ASSERT_TRUE(used && fresh);
        const auto frames = static_cast<std::size_t>(row.rate);
        morvek2::host::AudioChannels input(2, std::vector<float>(frames));
        for (std::size_t i = 0; i < frames; ++i) {
            input[0][i] = 0.5f * static_cast<float>(std::sin(0.031 * static_cast<double>(i)));
            input[1][i] = (i / 97) % 2 ? 0.3f : -0.3f;
        }
        auto play = [&](Instance& instance) {
            morvek2::host::Transport& t = instance.transport();
            t.setTempo(130.0);
            t.setTimeSignature(4, 4);
            t.locate(row.from);
            t.setPlaying(true);
            return morvek2::host::render(instance, input, {.blockSizes = {256}});
        };
        used->start(row.rate, 256);
        fresh->start(row.rate, 256);
        if (row.program >= 0) {
            used->setProgram(row.program);
        } else if (row.program == -2) {
            ASSERT_TRUE(morvek2::host::applyScene(*used, morvek2::host::Scene::Busy));
        }
        std::size_t allocations = 1;
        morvek2::host::AudioChannels after;
        morvek2::host::AudioChannels expected;
        // Each render on a new thread: the lanes' random numbers start afresh on each.
        std::thread([&] { play(*used); }).join();
        std::thread([&] {
            morvek2::test::AllocationScope scope;
            used->reset();
            allocations = scope.count();
            after = play(*used);
        }).join();
        ASSERT_EQ(fresh->setChunk(true, used->getChunk(true)), 1);
        std::thread([&] { expected = play(*fresh); }).join();
        if (morvek2::test::countsMalloc()) {
            EXPECT_EQ(allocations, 0u);
        }
        ASSERT_EQ(after.size(), 2u);
        ASSERT_EQ(expected.size(), 2u);
        double energy = 0.0;
        for (std::size_t c = 0; c < 2; ++c) {
            for (std::size_t i = 0; i < frames; ++i) {
                energy += static_cast<double>(expected[c][i]) * expected[c][i];
                ASSERT_EQ(std::bit_cast<uint32_t>(after[c][i]),
                          std::bit_cast<uint32_t>(expected[c][i]))
                    << "channel " << c << ", frame " << i;
            }
        }
        EXPECT_GT(energy, 1.0) << "silence on both sides would show nothing";
    }
}

// The face's own part of the audio path (events split the block, the transport moves on inside
// it, the Solo cascade goes back out as events) allocates nothing.
TEST(ClapFace, ProcessingAllocatesNothing)
{
    if (!morvek2::test::countsMalloc()) {
        GTEST_SKIP() << "the plug-in's allocations cannot be counted in this build";
    }
    auto clap = loadClap();
    ASSERT_TRUE(clap);
    constexpr int32_t kBlock = 256;
    clap->start(44100.0f, kBlock);
    std::vector<float> l(kBlock, 0.25f), r(kBlock, -0.25f), ol(kBlock), orr(kBlock);
    float* in[2] = {l.data(), r.data()};
    float* out[2] = {ol.data(), orr.data()};
    morvek2::host::MidiEventList midi(16);
    clap->process(in, out, kBlock);
    morvek2::test::AllocationScope scope;
    for (int b = 0; b < 200; ++b) {
        clap->transport().setTempo(60.0 + (b * 37) % 240);
        clap->transport().setTimeSignature(3 + b % 5, b % 2 ? 8 : 4);
        for (int32_t p = b % 7; p < clap->numParams(); p += 7) {
            clap->setPlainValueAt(p, (b + p) % 3 * 0.5,
                                  static_cast<uint32_t>((b * 13 + p) % kBlock));
        }
        clap->setPlainValueAt(morvek2::param::kSoloParam[b % 6], b % 2, 5);
        midi.clear();
        midi.add(b % kBlock, 0xB0, static_cast<uint8_t>(b % 120), static_cast<uint8_t>(b));
        clap->sendMidi(midi);
        clap->process(in, out, kBlock);
    }
    EXPECT_EQ(scope.count(), 0u);
}

} // namespace

#endif
