// Numbers hosts and signals throw at the module: every factory program with hostile test
// signals and a long silence or subnormal tail after them, parameter values outside every range,
// and bursts of non-finite input.
#include "binary/reliability_support.h"

#include <limits>
#include <memory>
#include <vector>

using namespace morvek2::host;
using namespace reliability;

namespace {

constexpr float kRate = 44100.0f;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

enum class Signal { Noise, Silence, Square, DC, Impulse, Subnormal };

const char* nameOf(Signal s)
{
    switch (s) {
    case Signal::Noise:
        return "noise";
    case Signal::Silence:
        return "silence";
    case Signal::Square:
        return "square";
    case Signal::DC:
        return "dc";
    case Signal::Impulse:
        return "impulse";
    case Signal::Subnormal:
        return "subnormal";
    }
    return "?";
}

AudioChannels make(Signal s, std::size_t frames)
{
    switch (s) {
    case Signal::Noise:
        return noise(frames, 77, 1.0f);
    case Signal::Silence:
        return constant(frames, 0.0f);
    case Signal::Square:
        return square(frames, 100); // 441 Hz at full scale
    case Signal::DC:
        return constant(frames, 1.0f);
    case Signal::Impulse:
        return impulse(frames);
    case Signal::Subnormal: {
        // +-1e-41 with the signs of noise: the tail another plug-in may hand on.
        AudioChannels tail = noise(frames, 31, 1.0f);
        for (auto& channel : tail) {
            for (float& x : channel) {
                x = x < 0.0f ? -1.0e-41f : 1.0e-41f;
            }
        }
        return tail;
    }
    }
    return {};
}

// A signal, then what follows it: silence or a subnormal tail.
struct Case
{
    Signal signal;
    Signal tail;
};

std::string nameOf(const Case& c)
{
    return std::string(nameOf(c.signal)) + "_then_" + nameOf(c.tail);
}

std::shared_ptr<Module> loadModule()
{
    std::string error;
    auto module = Module::load(binarytest::modulePath(), error);
    EXPECT_NE(module, nullptr) << error;
    return module;
}

std::unique_ptr<Plugin> instance(Module& module, HostConfig config = {})
{
    std::string error;
    auto plugin = module.instantiate(std::move(config), error);
    EXPECT_NE(plugin, nullptr) << error;
    return plugin;
}

class ReliabilityEveryProgram : public ::testing::TestWithParam<Case>
{};

} // namespace

// One second of the signal, then ten seconds of its tail (shorter under sanitizers): finite,
// bounded, and not a single subnormal sample anywhere.
TEST_P(ReliabilityEveryProgram, FiniteBoundedAndNeverSubnormal)
{
    const Case c = GetParam();
    auto module = loadModule();
    ASSERT_NE(module, nullptr);
    const std::size_t signalFrames = static_cast<std::size_t>(kSanitized ? kRate / 4 : kRate);
    const std::size_t tailFrames = static_cast<std::size_t>(kRate * (kSanitized ? 3 : 10));
    const AudioChannels input = make(c.signal, signalFrames);
    const AudioChannels tailInput = make(c.tail, tailFrames);
    for (int32_t k = 0; k < kNumPrograms; ++k) {
        auto plugin = instance(*module);
        ASSERT_NE(plugin, nullptr);
        plugin->start(kRate, 512);
        plugin->setProgram(k);
        ASSERT_EQ(plugin->program(), k);
        const AudioChannels out = render(*plugin, input, {.blockSizes = {512}});
        ASSERT_EQ(firstNonFinite(out), "") << "program " << k << " " << nameOf(c);
        EXPECT_LT(peak(out), 32.0f) << "program " << k << " " << nameOf(c);
        const AudioChannels tail = render(*plugin, tailInput, {.blockSizes = {512}});
        ASSERT_EQ(firstNonFinite(tail), "") << "program " << k << " " << nameOf(c);
        EXPECT_EQ(countSubnormal(out) + countSubnormal(tail), 0u)
            << "program " << k << " " << nameOf(c) << ": subnormal output";
    }
}

INSTANTIATE_TEST_SUITE_P(Reliability, ReliabilityEveryProgram,
                         ::testing::Values(Case{Signal::Noise, Signal::Silence},
                                           Case{Signal::Silence, Signal::Silence},
                                           Case{Signal::Square, Signal::Silence},
                                           Case{Signal::DC, Signal::Silence},
                                           Case{Signal::Impulse, Signal::Silence},
                                           Case{Signal::Subnormal, Signal::Subnormal},
                                           Case{Signal::Noise, Signal::Subnormal},
                                           Case{Signal::Impulse, Signal::Subnormal}),
                         [](const auto& info) { return nameOf(info.param); });

TEST(ReliabilityNumbers, NonFiniteInputBurstsLeaveNoTraceInAnyProgram)
{
    auto module = loadModule();
    ASSERT_NE(module, nullptr);
    const float bursts[] = {kNaN, kInf, -kInf};
    for (int32_t k = 0; k < kNumPrograms; ++k) {
        auto plugin = instance(*module, exactHost(120.0));
        ASSERT_NE(plugin, nullptr);
        plugin->start(kRate, 256);
        plugin->setProgram(k);
        render(*plugin, noise(8192, 3 + k));
        for (float bad : bursts) {
            AudioChannels burst = noise(256, 9);
            for (std::size_t i = 40; i < 140; ++i) {
                burst[0][i] = bad;
                burst[1][i] = i % 2 ? bad : 0.25f;
            }
            const AudioChannels during = render(*plugin, burst, {.blockSizes = {256}});
            ASSERT_EQ(firstNonFinite(during), "") << "program " << k << " burst of " << bad;
            // Finite at once, and still sound, not a muted plug-in.
            const AudioChannels after = render(*plugin, noise(4096, 4), {.blockSizes = {256}});
            ASSERT_EQ(firstNonFinite(after), "") << "program " << k << " after " << bad;
            EXPECT_LT(peak(after), 32.0f) << "program " << k;
        }
    }
}

namespace {

// Every parameter gets a value every 32 frames: the hostile ones in turn, mixed with random
// in-range values so that every part of the loop keeps moving.
void fuzzParameters(Plugin& plugin, uint32_t& seed, int64_t block, bool hostile, int32_t held = -1)
{
    const float nasty[] = {kNaN, kInf,  -kInf, -0.0f,  1e-30f,
                           1.5f, -0.5f, 1e30f, -1e30f, std::numeric_limits<float>::denorm_min(),
                           0.0f, 1.0f};
    for (int32_t p = 0; p < kNumParams; ++p) {
        seed = seed * 1664525u + 1013904223u;
        float value = static_cast<float>(seed >> 8) / 16777216.0f;
        if (hostile && (seed >> 4) % 3 == 0) {
            value = nasty[(static_cast<std::size_t>(block) + p) % std::size(nasty)];
        }
        if (p != held) {
            plugin.setParameter(p, value);
        }
    }
}

} // namespace

TEST(ReliabilityNumbers, EveryParameterHitEvery32FramesKeepsTheOutputFiniteAndBounded)
{
    auto module = loadModule();
    ASSERT_NE(module, nullptr);
    const std::size_t frames = static_cast<std::size_t>(kRate * (kSanitized ? 1 : 3));
    for (bool hostile : {true, false}) {
        for (int32_t k : {0, 7, 19, 33}) {
            auto plugin = instance(*module, exactHost(130.0));
            ASSERT_NE(plugin, nullptr);
            plugin->start(kRate, 512);
            plugin->setProgram(k);
            uint32_t seed = 1234u + static_cast<uint32_t>(k);
            int64_t automated = 0;
            RenderOptions options;
            options.blockSizes = {32};
            options.beforeBlock = [&](Plugin& p, int64_t, int32_t) {
                fuzzParameters(p, seed, automated++, hostile);
            };
            const AudioChannels out = render(*plugin, noise(frames, 5 + k, 1.0f), options);
            ASSERT_EQ(firstNonFinite(out), "")
                << "program " << k << (hostile ? " hostile" : " random") << " values";
            EXPECT_LT(peak(out), 64.0f) << "program " << k;
            for (int32_t p = 0; p < kNumParams; ++p) {
                const float v = plugin->getParameter(p);
                EXPECT_TRUE(v >= 0.0f && v <= 1.0f) << "parameter " << p << " holds " << v;
            }
        }
    }
}

// The same random values every 32 frames, but with the filter type held: a type change resets
// the filter, so only a held type shows what random cutoffs and resonances do to a running
// filter (direct-form biquads reached 120 to 6360 here). Noise at half scale in; at every rate
// and type the output stays within 4.
TEST(ReliabilityNumbers, RandomValuesEvery32FramesWithTheFilterTypeHeldStayWithinFour)
{
    auto module = loadModule();
    ASSERT_NE(module, nullptr);
    for (float rate : {8000.0f, 44100.0f, 96000.0f}) {
        const std::size_t frames = static_cast<std::size_t>(rate * (kSanitized ? 0.5f : 2.0f));
        for (int type = 0; type < 6; ++type) {
            auto plugin = instance(*module, exactHost(125.0));
            ASSERT_NE(plugin, nullptr);
            plugin->start(rate, 32);
            plugin->setParameter(kFilterType, (static_cast<float>(type) + 0.3f) / 5.0f);
            uint32_t seed = 4321u + static_cast<uint32_t>(type);
            int64_t automated = 0;
            RenderOptions options;
            options.blockSizes = {32};
            options.beforeBlock = [&](Plugin& p, int64_t, int32_t) {
                fuzzParameters(p, seed, automated++, false, kFilterType);
            };
            const AudioChannels out = render(*plugin, noise(frames, 9 + type, 0.5f), options);
            ASSERT_EQ(firstNonFinite(out), "") << rate << " Hz type " << type;
            EXPECT_LE(peak(out), 4.0f) << rate << " Hz type " << type;
        }
    }
}
