// Careless and hostile hosts against the built module: arguments out of every range, null
// pointers, unconnected pins, missing buffers, repeated loading, and allocation on the paths a
// host drives while playing.
#include "module_under_test.h"
#include "support/alloc_counter.h"

#include <array>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

using namespace morvek2::host;
using binarytest::loadPlugin;

TEST(ModuleHostileHost, EveryOpcodeSurvivesAnyIndexValueAndNullPointer)
{
    auto plugin = loadPlugin();
    ASSERT_NE(plugin, nullptr);
    plugin->start(44100.0f, 512);
    alignas(16) static unsigned char buffer[8192];
    const int32_t indices[] = {0, 1, -1, 92, 93, 255, INT32_MIN, INT32_MAX};
    const VstIntPtr values[] = {0, 1, 39, 40, -1, VstIntPtr{INT32_MAX} + 1, -(VstIntPtr{1} << 40)};
    const float opts[] = {0.0f, -1.0f, 1e30f, std::numeric_limits<float>::quiet_NaN(),
                          std::numeric_limits<float>::infinity()};
    for (int32_t opcode = -1; opcode < 128; ++opcode) {
        if (opcode == effClose) {
            continue;
        }
        for (int32_t index : indices) {
            for (VstIntPtr value : values) {
                if ((opcode == effSetSpeakerArrangement || opcode == effGetSpeakerArrangement) &&
                    value != 0) {
                    value = reinterpret_cast<VstIntPtr>(buffer + 4096); // a record, not a number
                }
                for (float opt : opts) {
                    plugin->dispatch(opcode, index, value, nullptr, opt);
                    // With a real buffer behind ptr, except where the host promises something
                    // the buffer cannot be: a parent window, or more chunk bytes than it holds.
                    if (opcode == effEditOpen ||
                        (opcode == effSetChunk && (value < 0 || value > 4096))) {
                        continue;
                    }
                    std::memset(buffer, 0, sizeof(buffer));
                    plugin->dispatch(opcode, index, value, buffer, opt);
                }
            }
        }
    }
    // Still a sane plug-in afterwards.
    EXPECT_EQ(plugin->effectName(), "Morvek2");
    EXPECT_GE(plugin->program(), 0);
    EXPECT_LT(plugin->program(), 40);
    for (int32_t i = 0; i < 93; ++i) {
        const float v = plugin->getParameter(i);
        EXPECT_TRUE(v >= 0.0f && v <= 1.0f) << i << " holds " << v;
    }
    EXPECT_TRUE(plugin->reservedFieldIntact());
}

TEST(ModuleHostileHost, ParameterEntriesTakeAnyIndexAndAnyFloat)
{
    auto plugin = loadPlugin();
    ASSERT_NE(plugin, nullptr);
    AEffect* e = plugin->effect();
    const float nasty[] = {std::numeric_limits<float>::quiet_NaN(),
                           std::numeric_limits<float>::infinity(),
                           -std::numeric_limits<float>::infinity(),
                           -0.0f,
                           1e-30f,
                           -5.0f,
                           17.0f,
                           std::numeric_limits<float>::denorm_min()};
    for (int32_t index : {-1, 93, 200, 256, INT32_MIN, INT32_MAX}) {
        e->setParameter(e, index, 0.5f);
        EXPECT_EQ(e->getParameter(e, index), 0.0f);
    }
    for (int32_t i = 0; i < 93; ++i) {
        for (float v : nasty) {
            e->setParameter(e, i, v);
            const float back = e->getParameter(e, i);
            ASSERT_TRUE(back >= 0.0f && back <= 1.0f) << "parameter " << i << " got " << v;
            char text[64];
            std::memset(text, 'x', sizeof(text));
            e->dispatcher(e, effGetParamDisplay, i, 0, text, 0.0f);
            ASSERT_LE(std::strlen(text), 8u) << "parameter " << i;
        }
    }
}

TEST(ModuleHostileHost, MissingChannelBuffersAndOddBlockSizes)
{
    auto plugin = loadPlugin();
    ASSERT_NE(plugin, nullptr);
    plugin->start(48000.0f, 64);
    AEffect* e = plugin->effect();
    std::vector<float> in(5000, 0.25f), out(5000, 0.0f);
    float* inputs[2] = {in.data(), nullptr};
    float* outputs[2] = {out.data(), nullptr};
    for (int32_t frames : {0, 1, 3, 17, 64, 511, 4096, 5000}) {
        e->processReplacing(e, inputs, outputs, frames);
    }
    e->processReplacing(e, nullptr, nullptr, 64);
    e->processReplacing(e, inputs, outputs, -1);
    for (float v : out) {
        ASSERT_TRUE(std::isfinite(v));
    }
    // The old accumulating entry must be a working function too.
    ASSERT_NE(e->process, nullptr);
    e->process(e, inputs, outputs, 100);
}

TEST(ModulePins, UnconnectedSecondInputFeedsTheLeftToBothChannels)
{
    HostConfig config;
    config.connectedInputs = 1;
    auto plugin = loadPlugin(config);
    ASSERT_NE(plugin, nullptr);
    plugin->start(44100.0f, 256);

    // The plug-in asked about the second pins and told the host it wants MIDI.
    bool askedInput = false;
    bool askedOutput = false;
    for (const HostRequest& r : plugin->log().requests(audioMasterPinConnected)) {
        askedInput |= r.index == 1 && r.value == 0;
        askedOutput |= r.index == 1 && r.value != 0;
    }
    EXPECT_TRUE(askedInput);
    EXPECT_TRUE(askedOutput);
    const auto wantMidi = plugin->log().requests(audioMasterWantMidi);
    ASSERT_FALSE(wantMidi.empty());
    EXPECT_EQ(wantMidi.back().value, 1);

    const int32_t frames = 256;
    std::vector<float> left(frames, 0.0f), right(frames), outLeft(frames, 1.0f),
        outRight(frames, 1.0f);
    uint32_t noise = 12345;
    for (float& s : right) {
        noise = noise * 1664525u + 1013904223u;
        s = static_cast<float>(noise >> 8) / 16777216.0f - 0.5f;
    }
    float* inputs[2] = {left.data(), right.data()};
    float* outputs[2] = {outLeft.data(), outRight.data()};
    for (int block = 0; block < 8; ++block) {
        plugin->process(inputs, outputs, frames);
    }
    for (int32_t i = 0; i < frames; ++i) {
        ASSERT_EQ(outLeft[i], 0.0f) << i;
        ASSERT_EQ(outRight[i], 0.0f) << i;
    }
}

TEST(ModuleAllocation, ParameterCallsAllocateNothingInsideTheModule)
{
    if (!morvek2::test::countsMalloc()) {
        GTEST_SKIP() << "the sanitizer runtime owns malloc in this build";
    }
    // First show that the counter does see allocations made inside the module: creating an
    // instance through the entry point allocates there.
    SharedLibrary library;
    std::string error;
    ASSERT_TRUE(library.open(binarytest::modulePath(), error)) << error;
    auto entry = reinterpret_cast<Module::EntryPoint>(library.symbol("VSTPluginMain"));
    ASSERT_NE(entry, nullptr);
    AEffect* e = nullptr;
    {
        morvek2::test::AllocationScope creating;
        e = entry([](AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) -> VstIntPtr {
            return opcode == audioMasterVersion ? kVstVersion : 0;
        });
        ASSERT_NE(e, nullptr);
        EXPECT_GT(creating.count(), 0u);
    }

    char text[64];
    float sink = 0.0f;
    {
        morvek2::test::AllocationScope scope;
        for (int round = 0; round < 3; ++round) {
            for (int32_t i = 0; i < 93; ++i) {
                for (float v : {0.0f, 0.25f, 0.5f, 0.75f, 1.0f}) {
                    e->setParameter(e, i, v);
                    sink += e->getParameter(e, i);
                    e->dispatcher(e, effGetParamDisplay, i, 0, text, 0.0f);
                }
                e->dispatcher(e, effGetParamName, i, 0, text, 0.0f);
                e->dispatcher(e, effGetParamLabel, i, 0, text, 0.0f);
            }
        }
        EXPECT_EQ(scope.count(), 0u);
    }
    EXPECT_TRUE(std::isfinite(sink));
    e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
}

TEST(ModuleLifecycle, LoadCloseUnloadRepeatedlyAndSeveralInstances)
{
    for (int i = 0; i < 20; ++i) {
        auto plugin = loadPlugin();
        ASSERT_NE(plugin, nullptr);
        plugin->start(44100.0f, 128);
        plugin->close();
    }
    std::string error;
    auto module = Module::load(binarytest::modulePath(), error);
    ASSERT_NE(module, nullptr) << error;
    auto a = module->instantiate({}, error);
    auto b = module->instantiate({}, error);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    a->setParameter(18, 0.25f);
    b->setParameter(18, 0.75f);
    EXPECT_EQ(a->getParameter(18), 0.25f);
    EXPECT_EQ(b->getParameter(18), 0.75f);
    a->setSampleRate(96000.0f);
    // Configuration in any order: rate and block size after open, resume twice, suspend twice.
    a->open();
    a->setBlockSize(0);
    a->resume();
    a->resume();
    a->suspend();
    a->suspend();
    EXPECT_EQ(a->effectName(), "Morvek2");
}
