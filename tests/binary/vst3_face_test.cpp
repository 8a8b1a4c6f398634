// The VST3 bundle as a VST3 host drives it, beside the VST 2.4 module: the program list, program
// changes inside a block, the Solo cascade sent back, and an audio path that allocates nothing.
#if defined(MORVEK2_VST3_BUNDLE)

#include "host/render.h"
#include "host/vst3_plugin.h"
#include "params/Morvek2Params.h"
#include "support/alloc_counter.h"
#include "vst3/vst3_abi.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using morvek2::host::Instance;
using morvek2::host::Vst3Plugin;
using morvek2::param::kSoloParam;

std::unique_ptr<Vst3Plugin> loadVst3()
{
    std::string error;
    std::unique_ptr<Vst3Plugin> vst3 = Vst3Plugin::load(MORVEK2_VST3_BUNDLE, error);
    EXPECT_NE(vst3, nullptr) << error;
    return vst3;
}

std::unique_ptr<Instance> loadVst2()
{
    std::string error;
    std::unique_ptr<Instance> vst2 = morvek2::host::loadInstance(MORVEK2_MODULE_PATH, error);
    EXPECT_NE(vst2, nullptr) << error;
    return vst2;
}

TEST(Vst3Face, ProgramListNamesTheFactoryProgramsAsVst2Does)
{
    auto vst3 = loadVst3();
    auto vst2 = loadVst2();
    ASSERT_TRUE(vst3 && vst2);
    ASSERT_EQ(vst3->numPrograms(), vst2->numPrograms());
    for (int32_t k = 0; k < vst2->numPrograms(); ++k) {
        EXPECT_EQ(vst3->programNameIndexed(k), vst2->programNameIndexed(k)) << "program " << k;
    }
}

// A program change reaching the processor inside a block sounds from its frame on, as a VST2
// host's program change between two blocks split there; the controller's values follow, and the
// host hears of them from the controller's side, never from inside process.
TEST(Vst3Face, ProgramChangeInABlockAppliesAtItsFrame)
{
    constexpr int32_t kBlock = 512;
    constexpr int32_t kBlocks = 4;
    constexpr int32_t kAt = 200;
    constexpr int32_t kProgram = 26;
    constexpr int32_t kFrames = kBlock * kBlocks;
    std::vector<float> in(kFrames);
    for (int32_t i = 0; i < kFrames; ++i) {
        in[i] = 0.5f * static_cast<float>(std::sin(0.05 * i));
    }
    morvek2::host::AudioChannels out(4, std::vector<float>(kFrames));
    auto run = [&](Instance& instance, int channel, int32_t from, int32_t frames) {
        float* ins[2] = {in.data() + from, in.data() + from};
        float* outs[2] = {out[channel].data() + from, out[channel + 1].data() + from};
        instance.process(ins, outs, frames);
    };
    auto vst3 = loadVst3();
    auto vst2 = loadVst2();
    ASSERT_TRUE(vst3 && vst2);
    // Each on a new thread: the module's random numbers run per thread.
    std::thread([&] {
        vst2->start(44100.0f, kBlock);
        run(*vst2, 2, 0, kAt);
        vst2->setProgram(kProgram);
        run(*vst2, 2, kAt, kBlock - kAt);
        for (int32_t b = 1; b < kBlocks; ++b) {
            run(*vst2, 2, b * kBlock, kBlock);
        }
    }).join();
    std::thread([&] {
        vst3->start(44100.0f, kBlock);
        for (int32_t b = 0; b < kBlocks; ++b) {
            if (b == 0) {
                vst3->changeAt(vst3->programParameter(), kProgram / 39.0, kAt);
            }
            run(*vst3, 0, b * kBlock, kBlock);
        }
    }).join();
    for (int32_t i = 0; i < kFrames; ++i) {
        for (int c = 0; c < 2; ++c) {
            ASSERT_EQ(std::bit_cast<uint32_t>(out[c][i]), std::bit_cast<uint32_t>(out[2 + c][i]))
                << "channel " << c << ", frame " << i;
        }
    }
    int32_t flags = 0;
    EXPECT_EQ(vst3->restarts(flags), 0);
    EXPECT_EQ(vst3->program(), kProgram);
    for (int32_t i = 0; i < vst2->numParams(); ++i) {
        EXPECT_EQ(vst3->parameterDisplay(i), vst2->parameterDisplay(i)) << "parameter " << i;
        EXPECT_EQ(vst3->getParameter(i), vst2->getParameter(i)) << "parameter " << i;
    }
    EXPECT_EQ(vst3->restarts(flags), 1);
    EXPECT_EQ(flags, morvek2::vst3::kRestartParamValuesChanged);
}

// A Solo switched on turns the other one off the way a user would: from the processor as an
// output change at the frame where it happened, from the controller as an edit.
TEST(Vst3Face, SoloCascadeReachesTheHost)
{
    auto vst3 = loadVst3();
    ASSERT_TRUE(vst3);
    constexpr int32_t kBlock = 64;
    vst3->start(44100.0f, kBlock);
    std::vector<float> l(kBlock), r(kBlock);
    float* io[2] = {l.data(), r.data()};
    vst3->changeAt(kSoloParam[1], 1.0, 0);
    vst3->process(io, io, kBlock);
    vst3->changeAt(kSoloParam[2], 1.0, 37);
    vst3->process(io, io, kBlock);
    const std::vector<Vst3Plugin::Change> sent = vst3->outputChanges();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].id, static_cast<uint32_t>(kSoloParam[1]));
    EXPECT_EQ(sent[0].offset, 37);
    EXPECT_EQ(sent[0].value, 0.0);
    EXPECT_EQ(vst3->getParameter(kSoloParam[1]), 0.0f);

    const int32_t edits = vst3->edits();
    vst3->setParameter(kSoloParam[3], 1.0f);
    EXPECT_EQ(vst3->edits(), edits + 1);
    EXPECT_EQ(vst3->getParameter(kSoloParam[2]), 0.0f);
    vst3->process(io, io, kBlock);
    EXPECT_TRUE(vst3->outputChanges().empty());
}

// Program changes, automation at frames inside blocks, Solos and controllers on an audio thread
// of its own: nothing allocated from its first block on.
TEST(Vst3Face, ProcessingAllocatesNothing)
{
    if (!morvek2::test::countsMalloc()) {
        GTEST_SKIP() << "the plug-in's allocations cannot be counted in this build";
    }
    auto vst3 = loadVst3();
    ASSERT_TRUE(vst3);
    constexpr int32_t kBlock = 256;
    vst3->start(44100.0f, kBlock);
    std::vector<float> l(kBlock, 0.25f), r(kBlock, -0.25f), ol(kBlock), orr(kBlock);
    float* in[2] = {l.data(), r.data()};
    float* out[2] = {ol.data(), orr.data()};
    std::size_t allocations = 99;
    std::thread([&] {
        morvek2::test::AllocationScope scope;
        for (int b = 0; b < 120; ++b) {
            vst3->changeAt(vst3->programParameter(), (b * 7 % 40) / 39.0, b % kBlock);
            for (int32_t p = b % 5; p < vst3->numParams(); p += 5) {
                vst3->changeAt(static_cast<uint32_t>(p), (b + p) % 3 * 0.5, (b * 13 + p) % kBlock);
            }
            vst3->changeAt(kSoloParam[b % 6], b % 2, 5);
            vst3->changeAt(1000 + b % 128, (b % 128) / 127.0, 9);
            vst3->process(in, out, kBlock);
        }
        allocations = scope.count();
    }).join();
    EXPECT_EQ(allocations, 0u);
}

} // namespace

#endif
