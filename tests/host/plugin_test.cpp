// The host driving real modules: the probe plug-in built beside these tests in several broken
// and working variants.
#include "host/morvek2_host.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>
#include <thread>

using namespace morvek2::host;

namespace {

std::string probe(const char* name)
{
    return std::string(MORVEK2_PROBE_DIR) + "/" + name + ".so";
}

std::unique_ptr<Plugin> loadProbe(HostConfig config = {})
{
    std::string error;
    auto plugin = Plugin::load(probe("probe"), error, std::move(config));
    EXPECT_NE(plugin, nullptr) << error;
    return plugin;
}

AudioChannels ramp(std::size_t frames)
{
    AudioChannels in(2, std::vector<float>(frames));
    for (std::size_t i = 0; i < frames; ++i) {
        in[0][i] = static_cast<float>(i % 1000) / 1000.0f;
        in[1][i] = 0.25f;
    }
    return in;
}

} // namespace

TEST(PluginLoad, ExplainsEveryKindOfFailure)
{
    std::string error;
    EXPECT_EQ(Plugin::load(probe("does-not-exist"), error), nullptr);
    EXPECT_NE(error.find("no such file"), std::string::npos) << error;

    const std::string text = ::testing::TempDir() + "/not-a-module.so";
    std::ofstream(text) << "this is text, not a shared library\n";
    error.clear();
    EXPECT_EQ(Plugin::load(text, error), nullptr);
    EXPECT_NE(error.find("is not a loadable module"), std::string::npos) << error;

    error.clear();
    EXPECT_EQ(Plugin::load(MORVEK2_PROBE_DIR, error), nullptr);
    EXPECT_NE(error.find("directory"), std::string::npos) << error;

    // The test program has a `main` of its own: it must not be taken for the module's.
    error.clear();
    EXPECT_EQ(Plugin::load(probe("probe_no_entry"), error), nullptr);
    EXPECT_NE(error.find("exports neither VSTPluginMain nor main"), std::string::npos) << error;

    error.clear();
    EXPECT_EQ(Plugin::load(probe("probe_null"), error), nullptr);
    EXPECT_NE(error.find("returned no plug-in (null)"), std::string::npos) << error;

    error.clear();
    EXPECT_EQ(Plugin::load(probe("probe_bad_magic"), error), nullptr);
    EXPECT_NE(error.find("without the VST magic"), std::string::npos) << error;
}

TEST(PluginLoad, HostVersionZeroMakesAConformingPlugInRefuse)
{
    HostConfig config;
    config.version = 0;
    std::string error;
    EXPECT_EQ(Plugin::load(probe("probe"), error, config), nullptr);
    EXPECT_NE(error.find("host version answered 0"), std::string::npos) << error;
}

TEST(PluginLoad, FindsEitherEntryPointAndRoutesCallsMadeDuringCreation)
{
    std::string error;
    auto module = Module::load(probe("probe_main_only"), error);
    ASSERT_NE(module, nullptr) << error;
    EXPECT_EQ(module->entryName(), "main");
    auto plugin = module->instantiate({}, error);
    ASSERT_NE(plugin, nullptr) << error;
    // The version request (no record yet) and the block-size request (record not yet handed
    // over) both reached this instance's host.
    EXPECT_EQ(plugin->log().count(audioMasterVersion), 1u);
    EXPECT_EQ(plugin->log().count(audioMasterGetBlockSize), 1u);

    auto both = Module::load(probe("probe"), error);
    ASSERT_NE(both, nullptr) << error;
    EXPECT_EQ(both->entryName(), "VSTPluginMain");
}

TEST(Plugin, ReadsRecordNamesAndIdentity)
{
    auto plugin = loadProbe();
    ASSERT_NE(plugin, nullptr);
    EXPECT_EQ(plugin->magic(), kEffectMagic);
    EXPECT_EQ(plugin->numInputs(), 2);
    EXPECT_EQ(plugin->numOutputs(), 2);
    EXPECT_EQ(plugin->numParams(), 4);
    EXPECT_EQ(plugin->numPrograms(), 3);
    EXPECT_EQ(plugin->uniqueId(), vstFourCharCode('M', '2', 'p', 'r'));
    EXPECT_EQ(plugin->version(), 3);
    EXPECT_EQ(plugin->effectName(), "Probe");
    EXPECT_EQ(plugin->vendorString(), "Morvek2 tests");
    EXPECT_EQ(plugin->productString(), "Probe Product");
    EXPECT_EQ(plugin->vendorVersion(), 7);
    EXPECT_EQ(plugin->vstVersion(), 2400);
    EXPECT_EQ(plugin->plugCategory(), kPlugCategEffect);
    EXPECT_EQ(plugin->canDo("receiveVstMidiEvent"), 1);
    EXPECT_EQ(plugin->canDo("receiveVstMidiEvent "), -1);
    EXPECT_EQ(plugin->parameterName(0), "Gain");
    EXPECT_EQ(plugin->parameterLabel(0), "x");
    plugin->setParameter(0, 0.75f);
    EXPECT_FLOAT_EQ(plugin->getParameter(0), 0.75f);
    EXPECT_EQ(plugin->parameterDisplay(0), "0.750");
    EXPECT_TRUE(plugin->canBeAutomated(1));
    EXPECT_FALSE(plugin->canBeAutomated(2));
    EXPECT_TRUE(plugin->reservedFieldIntact());
}

TEST(Plugin, ProgramsAndChunksTravelThroughTheRightArguments)
{
    auto plugin = loadProbe();
    ASSERT_NE(plugin, nullptr);
    plugin->setProgram(2); // the number goes in `value`
    EXPECT_EQ(plugin->program(), 2);
    EXPECT_EQ(plugin->programName(), "Third");
    plugin->setProgramName("A name longer than twenty-four characters");
    EXPECT_EQ(plugin->programName(), "A name longer than twent"); // host cut it to 24
    EXPECT_EQ(plugin->programNameIndexed(0), "First");
    EXPECT_EQ(plugin->programNameIndexed(3), std::nullopt);

    plugin->setParameter(0, 0.125f);
    const std::vector<uint8_t> chunk = plugin->getChunk(false);
    ASSERT_EQ(chunk.size(), 16u);
    plugin->setParameter(0, 0.9f);
    EXPECT_EQ(plugin->setChunk(true, chunk), 1);
    EXPECT_FLOAT_EQ(plugin->getParameter(0), 0.125f);
}

TEST(Plugin, ResumeSeesConfiguredPinsAndMidiWish)
{
    HostConfig config;
    config.connectedInputs = 1;
    auto mono = loadProbe(config);
    auto stereo = loadProbe();
    ASSERT_NE(mono, nullptr);
    ASSERT_NE(stereo, nullptr);
    mono->start(44100.0f, 256);
    stereo->start(44100.0f, 256);
    // Two instances at once, each answered by its own host.
    EXPECT_FLOAT_EQ(mono->getParameter(3), 2.0f);
    EXPECT_FLOAT_EQ(stereo->getParameter(3), 3.0f);
    EXPECT_EQ(mono->log().count(audioMasterWantMidi), 1u);
    EXPECT_EQ(mono->log().count(audioMasterPinConnected), 2u);
    EXPECT_TRUE(mono->running());
}

TEST(Plugin, GesturesFromAnotherThreadAreLoggedForTheRightInstance)
{
    auto a = loadProbe();
    auto b = loadProbe();
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    std::thread ui([&] {
        for (int i = 0; i < 100; ++i) {
            a->setParameter(1, static_cast<float>(i) / 100.0f);
        }
    });
    b->setParameter(1, 0.5f);
    ui.join();
    EXPECT_EQ(a->log().automations().size(), 100u);
    EXPECT_EQ(a->log().count(audioMasterBeginEdit), 100u);
    EXPECT_EQ(a->log().count(audioMasterEndEdit), 100u);
    ASSERT_EQ(b->log().automations().size(), 1u);
    EXPECT_EQ(b->log().automations()[0], std::make_pair(1, 0.5f));
}

TEST(Render, IrregularBlocksMatchFixedBlocksAndTheTransportIsContinuous)
{
    constexpr std::size_t kFrames = 20000;
    const AudioChannels in = ramp(kFrames);
    auto fixed = loadProbe();
    auto irregular = loadProbe();
    ASSERT_NE(fixed, nullptr);
    ASSERT_NE(irregular, nullptr);
    for (Plugin* p : {fixed.get(), irregular.get()}) {
        p->transport().setTempo(150.0);
        p->transport().locate(-1.0); // one quarter of pre-roll
        p->start(48000.0f, 1024);
        p->setParameter(0, 0.25f); // gain 0.5
    }
    RenderOptions fixedBlocks;
    fixedBlocks.blockSizes = {256};
    RenderOptions hostBlocks;
    hostBlocks.blockSizes = hostLikeBlockSizes();
    const AudioChannels a = render(*fixed, in, fixedBlocks);
    const AudioChannels b = render(*irregular, in, hostBlocks);
    ASSERT_EQ(a.size(), 2u);
    ASSERT_EQ(a[0].size(), kFrames);
    const double perFrame = 150.0 / 60.0 / 48000.0;
    for (std::size_t i = 0; i < kFrames; ++i) {
        ASSERT_FLOAT_EQ(a[0][i], in[0][i] * 0.5f) << i;
        ASSERT_FLOAT_EQ(b[0][i], a[0][i]) << i;
        // Each frame was told the position it really had, whatever the split.
        ASSERT_NEAR(a[1][i], -1.0 + i * perFrame, 1e-5) << i;
        ASSERT_NEAR(b[1][i], -1.0 + i * perFrame, 1e-5) << i;
    }
    EXPECT_NEAR(irregular->transport().ppqPos(), -1.0 + kFrames * perFrame, 1e-9);
    EXPECT_DOUBLE_EQ(irregular->transport().samplePos(), fixed->transport().samplePos());
}

TEST(Render, NullTimeInfoStoppedTransportAndBlockHook)
{
    HostConfig config;
    config.provideTimeInfo = false;
    auto plugin = loadProbe(config);
    ASSERT_NE(plugin, nullptr);
    plugin->start(44100.0f, 64);
    int blocks = 0;
    const AudioChannels out =
        render(*plugin, ramp(1000), {.beforeBlock = [&](Plugin&, int64_t first, int32_t n) {
            EXPECT_EQ(first, blocks * 64);
            EXPECT_LE(n, 64);
            ++blocks;
        }});
    EXPECT_EQ(blocks, 16); // 15 full blocks and a last one of 40
    for (float v : out[1]) {
        ASSERT_EQ(v, -1.0f);
    }

    auto stopped = loadProbe();
    ASSERT_NE(stopped, nullptr);
    stopped->transport().locate(2.0);
    stopped->transport().setPlaying(false);
    stopped->start(44100.0f, 64);
    const AudioChannels held = render(*stopped, ramp(500));
    for (float v : held[1]) {
        ASSERT_EQ(v, 2.0f);
    }
}

TEST(Render, MidiArrivesInTheBlockThatHoldsItsFrame)
{
    auto plugin = loadProbe();
    ASSERT_NE(plugin, nullptr);
    plugin->start(44100.0f, 100);
    std::vector<TimedMidi> midi = {{250, 0xB0, 7, 100}, {0, 0x90, 60, 1}, {999, 0xB1, 1, 2}};
    std::vector<std::pair<int64_t, float>> countBefore;
    render(*plugin, ramp(1000),
           {.blockSizes = {100, 0},
            .midi = midi,
            .beforeBlock = [&](Plugin& p, int64_t first, int32_t) {
                countBefore.emplace_back(first, p.getParameter(2));
            }});
    EXPECT_FLOAT_EQ(plugin->getParameter(2), 3.0f);
    // Before the block at 300 the events at 0 and 250 have arrived, the one at 999 has not.
    for (const auto& [first, count] : countBefore) {
        if (first == 300) {
            EXPECT_FLOAT_EQ(count, 2.0f);
        }
        if (first == 900) {
            EXPECT_FLOAT_EQ(count, 2.0f);
        }
    }
}

TEST(Render, RejectsBlockListsThatCannotFinish)
{
    auto plugin = loadProbe();
    ASSERT_NE(plugin, nullptr);
    plugin->start(44100.0f, 64);
    EXPECT_THROW(render(*plugin, ramp(10), {.blockSizes = {0, 0}}), std::invalid_argument);
    EXPECT_THROW(render(*plugin, ramp(10), {.blockSizes = {64, -1}}), std::invalid_argument);
    EXPECT_TRUE(render(*plugin, AudioChannels{}, {}).at(0).empty());
}

TEST(Plugin, CloseIsFinalAndLaterCallsAreHarmless)
{
    auto plugin = loadProbe();
    ASSERT_NE(plugin, nullptr);
    plugin->start(44100.0f, 64);
    AEffect* effect = plugin->effect();
    plugin->close();
    EXPECT_EQ(plugin->effect(), nullptr);
    EXPECT_FALSE(plugin->running());
    EXPECT_EQ(plugin->numParams(), 0);
    EXPECT_EQ(plugin->effectName(), "");
    EXPECT_EQ(plugin->getChunk(false).size(), 0u);
    plugin->close();
    // A plug-in that called back with its old record now would not reach this host.
    const uint64_t before = Host::unroutedCalls();
    Host::callback(effect, audioMasterGetSampleRate, 0, 0, nullptr, 0.0f);
    EXPECT_EQ(Host::unroutedCalls(), before + 1);
}

TEST(Plugin, RepeatedLoadAndUnloadRecyclesEverything)
{
    // More rounds than the host has routing slots: each closed instance must give its slot back.
    for (int round = 0; round < 1500; ++round) {
        std::string error;
        auto plugin = Plugin::load(probe("probe"), error);
        ASSERT_NE(plugin, nullptr) << "round " << round << ": " << error;
        plugin->start(44100.0f, 32);
        plugin->setParameter(1, 0.5f);
        ASSERT_EQ(plugin->log().automations().size(), 1u) << "round " << round;
    }
}

TEST(Plugin, InstancesProcessingOnTwoThreadsEachSeeTheirOwnTransport)
{
    std::string error;
    auto module = Module::load(probe("probe"), error);
    ASSERT_NE(module, nullptr) << error;
    auto slow = module->instantiate({}, error);
    auto fast = module->instantiate({}, error);
    ASSERT_NE(slow, nullptr) << error;
    ASSERT_NE(fast, nullptr) << error;
    slow->transport().setTempo(60.0);
    fast->transport().setTempo(240.0);
    fast->transport().locate(100.0);
    AudioChannels outSlow, outFast;
    std::thread a([&] {
        slow->start(1000.0f, 16);
        outSlow = render(*slow, ramp(5000), {.blockSizes = {16, 7}});
    });
    std::thread b([&] {
        fast->start(1000.0f, 16);
        outFast = render(*fast, ramp(5000), {.blockSizes = {5, 16}});
    });
    a.join();
    b.join();
    for (std::size_t i = 0; i < 5000; i += 97) {
        EXPECT_NEAR(outSlow[1][i], i / 1000.0, 1e-4) << i;
        EXPECT_NEAR(outFast[1][i], 100.0 + i * 4.0 / 1000.0, 1e-3) << i;
    }
    EXPECT_FALSE(slow->editorRect().has_value()); // the probe has no editor
    EXPECT_FALSE(slow->editorOpen(nullptr));
}

TEST(Render, CatchesAPlugInThatWritesPastTheBlock)
{
    auto plugin = loadProbe();
    ASSERT_NE(plugin, nullptr);
    plugin->start(44100.0f, 64);
    EXPECT_NO_THROW(render(*plugin, ramp(300), {.blockSizes = {64, 17}}));
    plugin->setParameter(2, 1.0f);
    try {
        render(*plugin, ramp(300), {.blockSizes = {64, 17}});
        ADD_FAILURE() << "the overrun went unnoticed";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("wrote past the end of a 64-frame block"),
                  std::string::npos)
            << e.what();
    }
}
