// The host against plug-ins nobody here wrote: Debian's LSP VST2 build, when it is installed.
#include "host/morvek2_host.h"
#if MORVEK2_HOST_LV2
#include "host/lv2_plugin.h"
#endif

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <numbers>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

using namespace morvek2::host;

namespace {

// Stereo effects that pass signal with their default settings.
std::string findStereoLspPlugin()
{
    const char* candidates[] = {"comp-delay-stereo.so", "compressor-stereo.so",
                                "para-equalizer-x8-stereo.so"};
    for (const char* name : candidates) {
        const std::string path = std::string("/usr/lib/vst/lsp-plugins/") + name;
        if (std::filesystem::exists(path)) {
            return path;
        }
    }
    return {};
}

} // namespace

TEST(ThirdPartyPlugin, LspStereoEffectLoadsNamesAndProcesses)
{
    const std::string path = findStereoLspPlugin();
    if (path.empty()) {
        GTEST_SKIP() << "no LSP VST2 plug-in under /usr/lib/vst/lsp-plugins "
                        "(Debian package lsp-plugins-vst)";
    }
#if defined(__SANITIZE_ADDRESS__)
    // The LSP build keeps a few blocks allocated past its unload; that is its business, not a
    // fault of this host, so its allocations on this thread are left out of the leak check.
    __lsan::ScopedDisabler thirdPartyAllocations;
#endif
    std::string error;
    auto plugin = Plugin::load(path, error);
    ASSERT_NE(plugin, nullptr) << error;
    EXPECT_EQ(plugin->magic(), kEffectMagic);
    EXPECT_EQ(plugin->numInputs(), 2);
    EXPECT_EQ(plugin->numOutputs(), 2);
    ASSERT_GT(plugin->numParams(), 0);
    EXPECT_GE(plugin->numPrograms(), 0);
    EXPECT_NE(plugin->flags() & effFlagsCanReplacing, 0);
    EXPECT_FALSE(plugin->effectName().empty());
    EXPECT_FALSE(plugin->vendorString().empty());
    for (int32_t i = 0; i < plugin->numParams(); ++i) {
        EXPECT_FALSE(plugin->parameterName(i).empty()) << "parameter " << i;
        const float v = plugin->getParameter(i);
        EXPECT_TRUE(std::isfinite(v)) << "parameter " << i;
    }

    plugin->start(48000.0f, 1024);
    constexpr std::size_t kFrames = 48000;
    AudioChannels in(2, std::vector<float>(kFrames));
    for (std::size_t i = 0; i < kFrames; ++i) {
        const float s =
            0.5f * static_cast<float>(std::sin(2.0 * std::numbers::pi * 440.0 * i / 48000.0));
        in[0][i] = s;
        in[1][i] = -s;
    }
    const AudioChannels out = render(*plugin, in, {.blockSizes = hostLikeBlockSizes()});
    ASSERT_EQ(out.size(), 2u);
    for (int c = 0; c < 2; ++c) {
        double energy = 0.0;
        for (std::size_t i = 0; i < kFrames; ++i) {
            ASSERT_TRUE(std::isfinite(out[c][i])) << "channel " << c << " frame " << i;
            if (i >= kFrames / 2) {
                energy += static_cast<double>(out[c][i]) * out[c][i];
            }
        }
        const double rms = std::sqrt(energy / (kFrames / 2));
        EXPECT_GT(rms, 0.01) << "channel " << c << " of " << plugin->effectName();
        EXPECT_LT(rms, 10.0) << "channel " << c << " of " << plugin->effectName();
    }
    EXPECT_GT(plugin->log().count(audioMasterGetTime) + plugin->log().requests().size(), 0u);
    plugin->close();
}

#if MORVEK2_HOST_LV2
// A tempo-synced delay from Debian's Ardour LV2 build hears the host's tempo only through the
// time:Position objects on its atom port: its echo lands one note value after the impulse at
// the tempo sent. Positions go out on the first block and on a change only.
TEST(ThirdPartyPlugin, Lv2DelayFollowsTheTempoSentAsTimePosition)
{
    const std::string bundle = "/usr/lib/lv2/a-delay.lv2";
    if (!std::filesystem::exists(bundle)) {
        GTEST_SKIP() << "no " << bundle << " (Debian package ardour-lv2-plugins)";
    }
    for (const double bpm : {120.0, 60.0}) {
        std::string error;
        std::unique_ptr<Lv2Plugin> plugin = Lv2Plugin::load(bundle, error);
        ASSERT_NE(plugin, nullptr) << error;
        ASSERT_EQ(plugin->numInputs(), 1);
        const auto param = [&](const std::string& name) {
            for (int32_t i = 0; i < plugin->numParams(); ++i) {
                if (plugin->parameterName(i) == name) {
                    return i;
                }
            }
            ADD_FAILURE() << "no parameter " << name;
            return 0;
        };
        plugin->start(44100.0f, 256);
        plugin->setPlainValue(param("Sync BPM"), 1.0f);
        plugin->setPlainValue(param("Divisor"), 4.0f); // a quarter note
        plugin->setPlainValue(param("Dry/Wet"), 100.0f);
        plugin->setPlainValue(param("Feedback"), 0.0f);
        plugin->setPlainValue(param("LPF"), 20000.0f);
        plugin->transport().setTempo(bpm);
        AudioChannels in(1, std::vector<float>(2 * 44100, 0.0f));
        in[0][0] = 1.0f;
        const AudioChannels out = render(*plugin, in, InstanceRenderOptions{.blockSizes = {256}});
        std::size_t loudest = 0;
        for (std::size_t i = 0; i < out[0].size(); ++i) {
            if (std::fabs(out[0][i]) > std::fabs(out[0][loudest])) {
                loudest = i;
            }
        }
        const double quarter = 60.0 / bpm * 44100.0;
        EXPECT_NEAR(static_cast<double>(loudest), quarter, 2.0) << bpm << " bpm";
        EXPECT_EQ(plugin->positionsSent(), 1);
        plugin->transport().setTempo(bpm + 1.0);
        render(*plugin, in, InstanceRenderOptions{.blockSizes = {256}});
        EXPECT_EQ(plugin->positionsSent(), 2) << "a new tempo is a change";
    }
}
#endif
