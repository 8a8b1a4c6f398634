// State and re-entrancy as hosts handle them: a project saved from one instance and restored
// into a fresh one, a program change right after a chunk, and hosts that call back into the
// plug-in from inside its own requests.
#include "binary/reliability_support.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

using namespace morvek2::host;
using namespace reliability;
using binarytest::loadPlugin;

namespace {

uint32_t next(uint32_t& seed)
{
    seed = seed * 1664525u + 1013904223u;
    return seed >> 8;
}

// Random values for every parameter, then a random chain order through the program chunk.
void randomise(Plugin& plugin, uint32_t seed)
{
    for (int32_t p = 0; p < kNumParams; ++p) {
        if (p == kActive) {
            continue;
        }
        plugin.setParameter(p, static_cast<float>(next(seed)) / 16777216.0f);
    }
    ProgramRecord record = readProgram(plugin);
    uint16_t order[6] = {0, 1, 2, 3, 4, 5};
    for (int i = 5; i > 0; --i) {
        std::swap(order[i], order[next(seed) % static_cast<uint32_t>(i + 1)]);
    }
    std::copy(std::begin(order), std::end(order), record.chainOrder);
    writeProgram(plugin, record);
}

} // namespace

TEST(ReliabilityState, ChunkIntoAFreshInstanceGivesTheSameBytesAndTheSameSound)
{
    const AudioChannels input = noise(kSanitized ? 20000 : 60000, 3);
    for (uint32_t round = 0; round < 3; ++round) {
        auto original = loadPlugin(exactHost(120.0));
        ASSERT_NE(original, nullptr);
        original->start(44100.0f, 512);
        original->setProgram(static_cast<int32_t>(round * 13));
        randomise(*original, 100 + round);
        const std::vector<uint8_t> bank = original->getChunk(false);
        const std::vector<uint8_t> program = original->getChunk(true);
        ASSERT_EQ(program.size(), sizeof(ProgramRecord));

        auto fromBank = loadPlugin(exactHost(120.0));
        auto fromProgram = loadPlugin(exactHost(120.0));
        ASSERT_NE(fromBank, nullptr);
        ASSERT_NE(fromProgram, nullptr);
        fromBank->start(44100.0f, 512);
        fromProgram->start(44100.0f, 512);
        // A bank carries no current program: the host restores that with its own call.
        fromBank->setChunk(false, bank);
        fromBank->setProgram(original->program());
        fromProgram->setChunk(true, program);
        EXPECT_EQ(fromBank->getChunk(false), bank) << "round " << round;
        EXPECT_EQ(fromBank->getChunk(true), program) << "round " << round;
        EXPECT_EQ(fromProgram->getChunk(true), program) << "round " << round;
        for (int32_t p = 0; p < kNumParams; ++p) {
            EXPECT_EQ(fromBank->getParameter(p), original->getParameter(p)) << p;
            EXPECT_EQ(fromProgram->getParameter(p), original->getParameter(p)) << p;
        }

        // Each render on a thread of its own: the plug-in's random choices (re-rolls, random
        // direction) come from a per-thread sequence, which then starts alike for all three.
        auto renderOnNewThread = [&input](Plugin& plugin) {
            AudioChannels out;
            std::thread([&] { out = render(plugin, input); }).join();
            return out;
        };
        const AudioChannels a = renderOnNewThread(*original);
        const AudioChannels b = renderOnNewThread(*fromBank);
        const AudioChannels c = renderOnNewThread(*fromProgram);
        ASSERT_EQ(firstNonFinite(a), "");
        for (int ch = 0; ch < 2; ++ch) {
            const auto ab = std::mismatch(a[ch].begin(), a[ch].end(), b[ch].begin());
            EXPECT_EQ(ab.first, a[ch].end())
                << "round " << round << " bank restore differs at " << (ab.first - a[ch].begin());
            const auto ac = std::mismatch(a[ch].begin(), a[ch].end(), c[ch].begin());
            EXPECT_EQ(ac.first, a[ch].end()) << "round " << round << " program restore differs at "
                                             << (ac.first - a[ch].begin());
        }
    }
}

TEST(ReliabilityState, SetProgramOfTheCurrentProgramAfterAChunkKeepsTheChunk)
{
    auto source = loadPlugin();
    ASSERT_NE(source, nullptr);
    source->setProgram(12);
    randomise(*source, 7);
    const std::vector<uint8_t> program = source->getChunk(true);
    source->setProgram(3);
    randomise(*source, 8);
    const std::vector<uint8_t> bank = source->getChunk(false);

    auto plugin = loadPlugin();
    ASSERT_NE(plugin, nullptr);
    plugin->start(44100.0f, 512);
    plugin->setProgram(5);
    plugin->setChunk(true, program);
    plugin->setProgram(5); // what some hosts send right after restoring a program
    EXPECT_EQ(plugin->program(), 5);
    EXPECT_EQ(plugin->getChunk(true), program);

    plugin->setChunk(false, bank);
    const int32_t current = plugin->program();
    plugin->setProgram(current);
    EXPECT_EQ(plugin->getChunk(false), bank);
    const auto record = bank.begin() + current * static_cast<std::ptrdiff_t>(sizeof(ProgramRecord));
    EXPECT_EQ(plugin->getChunk(true), std::vector<uint8_t>(record, record + sizeof(ProgramRecord)));
}

TEST(ReliabilityReentrancy, HostCallingBackFromInsideAutomate)
{
    HostConfig config;
    std::atomic<int> depth{0}, deepest{0}, calls{0};
    config.onAutomate = [&](AEffect* effect, int32_t index, float value) {
        const int d = ++depth;
        deepest = std::max(deepest.load(), d);
        ++calls;
        if (d < 16) { // a plug-in that recursed without end would stop here, and fail below
            // The echo many hosts send, a read-back, an unrelated write and the program.
            effect->setParameter(effect, index, value);
            EXPECT_EQ(effect->getParameter(effect, index), value);
            effect->setParameter(effect, 18, 0.5f);
            effect->dispatcher(effect, effGetProgram, 0, 0, nullptr, 0.0f);
            void* chunk = nullptr; // a save while a restore turns a Solo off: no deadlock
            EXPECT_EQ(effect->dispatcher(effect, effGetChunk, 1, 0, &chunk, 0.0f),
                      static_cast<VstIntPtr>(sizeof(ProgramRecord)));
        }
        --depth;
    };
    auto plugin = loadPlugin(config);
    ASSERT_NE(plugin, nullptr);
    plugin->start(44100.0f, 256);
    const int32_t solos[] = {22, 35, 50, 65, 80, 5};
    for (int32_t s : solos) {
        plugin->setParameter(s, 1.0f); // the Solo that was on goes off and is automated
    }
    EXPECT_EQ(calls.load(), 5);
    EXPECT_EQ(deepest.load(), 1);
    for (int32_t s : solos) {
        EXPECT_EQ(plugin->getParameter(s), s == 5 ? 1.0f : 0.0f) << s;
    }
    const auto automations = plugin->log().automations();
    ASSERT_EQ(automations.size(), 5u);
    for (std::size_t i = 0; i < automations.size(); ++i) {
        EXPECT_EQ(automations[i].first, solos[i]);
        EXPECT_EQ(automations[i].second, 0.0f);
    }
    // A program with the VCA Solo on, restored while the Filter Solo is on: turned off from
    // inside setChunk.
    const std::vector<uint8_t> vcaSolo = plugin->getChunk(true);
    plugin->setParameter(22, 1.0f);
    plugin->setChunk(true, vcaSolo);
    EXPECT_EQ(calls.load(), 7);
    EXPECT_EQ(plugin->getParameter(22), 0.0f);
    const AudioChannels out = render(*plugin, noise(4096, 2));
    EXPECT_EQ(firstNonFinite(out), "");
}

TEST(ReliabilityReentrancy, HostAnsweringSoloAutomationWithItsOwnValueFromInsideTheCallback)
{
    // A host in automation read mode: when the plug-in turns a Solo off, the host sends the value
    // its own lane holds (on) straight back from inside audioMasterAutomate. Two Solos on such
    // lanes would turn each other off without end.
    HostConfig config;
    std::atomic<int> depth{0}, deepest{0}, calls{0};
    config.onAutomate = [&](AEffect* effect, int32_t index, float value) {
        const int d = ++depth;
        deepest = std::max(deepest.load(), d);
        ++calls;
        if (d < 64 && value == 0.0f) { // an endless recursion would stop here, and fail below
            effect->setParameter(effect, index, 1.0f);
        }
        --depth;
    };
    auto plugin = loadPlugin(config);
    ASSERT_NE(plugin, nullptr);
    plugin->start(44100.0f, 256);
    plugin->setParameter(35, 1.0f); // Distort Solo
    plugin->setParameter(22, 1.0f); // Filter Solo: Distort Solo goes off, and the host says on
    EXPECT_EQ(deepest.load(), 1);
    EXPECT_EQ(calls.load(), 1);
    EXPECT_EQ(plugin->getParameter(22), 1.0f);
    const AudioChannels out = render(*plugin, noise(4096, 3));
    EXPECT_EQ(firstNonFinite(out), "");
}

TEST(ReliabilityReentrancy, ProgramAndParametersReadFromInsideEveryCallback)
{
    HostConfig config;
    std::atomic<int> depth{0}, deepest{0}, answered{0};
    std::atomic<int> badProgram{0};
    config.onRequest = [&](AEffect* effect, int32_t) {
        if (effect == nullptr) {
            return; // the entry point's own version request comes before the record exists
        }
        const int d = ++depth;
        deepest = std::max(deepest.load(), d);
        if (d < 16) {
            const VstIntPtr program = effect->dispatcher(effect, effGetProgram, 0, 0, nullptr, 0);
            badProgram += program < 0 || program >= kNumPrograms ? 1 : 0;
            const float v = effect->getParameter(effect, 17);
            badProgram += v >= 0.0f && v <= 1.0f ? 0 : 1;
            ++answered;
        }
        --depth;
    };
    auto plugin = loadPlugin(config);
    ASSERT_NE(plugin, nullptr);
    plugin->start(44100.0f, 256); // pins, MIDI wish, rate and block size requests
    makeLanesMove(*plugin);
    plugin->setProgram(9);
    plugin->setParameter(22, 1.0f);
    plugin->setParameter(35, 1.0f); // an automation request
    const AudioChannels out = render(*plugin, noise(8192, 4), {.blockSizes = hostLikeBlockSizes()});
    plugin->suspend();
    plugin->resume();
    EXPECT_EQ(firstNonFinite(out), "");
    EXPECT_GT(answered.load(), 10);
    EXPECT_EQ(deepest.load(), 1);
    EXPECT_EQ(badProgram.load(), 0);
}
