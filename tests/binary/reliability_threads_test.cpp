// Hosts that change programs, chunks and parameters from their own thread while the audio thread
// processes: the output stays finite and bounded throughout.
#include "binary/reliability_support.h"

#include <atomic>
#include <fstream>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace morvek2::host;
using namespace reliability;
using binarytest::loadPlugin;

namespace {

// Random programs and cutoffs that jump to the bottom at resonance let the biquad filters ring
// at a few hundred times full scale for some milliseconds; a level beyond this is a runaway.
constexpr float kRunaway = 4096.0f;

// Processes noise on a thread of its own until `stop`, recording the first non-finite or
// unbounded sample.
class AudioThread
{
public:
    explicit AudioThread(Plugin& plugin) : plugin_(plugin), thread_([this] { run(); }) {}
    ~AudioThread() { stop(); }
    void stop()
    {
        stop_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    long blocks() const { return blocks_.load(); }
    bool faulted() const { return faulted_.load(); }
    std::string fault() const { return fault_; } // after stop()

private:
    void run()
    {
        const int32_t frames = 128;
        const AudioChannels input = noise(frames * 64, 17, 1.0f);
        std::vector<float> l(frames), r(frames), ol(frames), orr(frames);
        float* in[2] = {l.data(), r.data()};
        float* out[2] = {ol.data(), orr.data()};
        long n = 0;
        uint32_t seed = 77;
        while (!stop_) {
            const std::size_t at = static_cast<std::size_t>(n % 64) * frames;
            std::copy_n(input[0].begin() + at, frames, l.begin());
            std::copy_n(input[1].begin() + at, frames, r.begin());
            // Automation read back by the host on the audio thread, as most hosts do.
            for (int k = 0; k < 4; ++k) {
                seed = seed * 1664525u + 1013904223u;
                plugin_.setParameter(static_cast<int32_t>((seed >> 8) % kNumParams),
                                     static_cast<float>(seed >> 16) / 65536.0f);
            }
            plugin_.process(in, out, frames);
            for (int32_t i = 0; i < frames && fault_.empty(); ++i) {
                if (!std::isfinite(ol[i]) || !std::isfinite(orr[i]) ||
                    std::fabs(ol[i]) > kRunaway || std::fabs(orr[i]) > kRunaway) {
                    fault_ = "block " + std::to_string(n) + " frame " + std::to_string(i) + ": " +
                             std::to_string(ol[i]) + ", " + std::to_string(orr[i]);
                    faulted_ = true;
                }
            }
            blocks_ = ++n;
        }
    }

    Plugin& plugin_;
    std::atomic<bool> stop_{false};
    std::atomic<long> blocks_{0};
    std::atomic<bool> faulted_{false};
    std::string fault_;
    std::thread thread_;
};

// Resident memory of this process in bytes (0 where /proc is missing).
long residentBytes()
{
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    if (!(statm >> size >> resident)) {
        return 0;
    }
    return resident * sysconf(_SC_PAGESIZE);
}

} // namespace

TEST(ReliabilityThreads, ProgramsChunksAndAutomationFromAnotherThreadWhileProcessing)
{
    auto plugin = loadPlugin(exactHost(140.0));
    ASSERT_NE(plugin, nullptr);
    plugin->start(44100.0f, 128);
    AEffect* e = plugin->effect();
    std::vector<std::vector<uint8_t>> programs;
    for (int32_t k = 0; k < kNumPrograms; k += 3) {
        plugin->setProgram(k);
        programs.push_back(plugin->getChunk(true));
    }
    const long blocks = kSanitized ? 1000 : 4000; // 3 or 12 seconds of audio
    AudioThread audio(*plugin);
    uint32_t seed = 5;
    for (int round = 0; audio.blocks() < blocks && !audio.faulted(); ++round) {
        seed = seed * 1664525u + 1013904223u;
        const uint32_t pick = seed >> 8;
        switch (pick % 4) {
        case 0:
            e->dispatcher(e, effSetProgram, 0, static_cast<VstIntPtr>(pick % 40), nullptr, 0.0f);
            break;
        case 1: {
            std::vector<uint8_t>& chunk = programs[pick % programs.size()];
            e->dispatcher(e, effSetChunk, 1, static_cast<VstIntPtr>(chunk.size()), chunk.data(),
                          0.0f);
            break;
        }
        default:
            for (int i = 0; i < 16; ++i) {
                seed = seed * 1664525u + 1013904223u;
                e->setParameter(e, static_cast<int32_t>((seed >> 8) % kNumParams),
                                static_cast<float>(seed >> 16) / 65536.0f);
            }
            break;
        }
        if (round % 50 == 0) {
            std::this_thread::yield();
        }
    }
    // Let the audio thread run past the last change.
    const long seen = audio.blocks();
    while (audio.blocks() < seen + 50 && !audio.faulted()) {
        std::this_thread::yield();
    }
    audio.stop();
    EXPECT_EQ(audio.fault(), "");
    EXPECT_GT(audio.blocks(), 50);
}

TEST(ReliabilityThreads, TwoInstancesAtDifferentRatesDoNotHearEachOther)
{
    // Each render on a fresh thread, so that each instance draws its own random sequence from
    // the start; nothing else may pass between instances of one module.
    const AudioChannels input = noise(kSanitized ? 20000 : 60000, 12);
    auto renderAt = [&input](Plugin& plugin, float rate, AudioChannels& out) {
        plugin.start(rate, 512);
        makeLanesMove(plugin);
        out = render(plugin, input, {.blockSizes = hostLikeBlockSizes()});
    };
    AudioChannels alone;
    {
        auto plugin = loadPlugin(exactHost(120.0));
        ASSERT_NE(plugin, nullptr);
        std::thread([&] { renderAt(*plugin, 44100.0f, alone); }).join();
    }
    ASSERT_EQ(firstNonFinite(alone), "");
    auto a = loadPlugin(exactHost(120.0));
    auto b = loadPlugin(exactHost(97.0));
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    b->setProgram(21);
    AudioChannels together, other;
    std::thread ta([&] { renderAt(*a, 44100.0f, together); });
    std::thread tb([&] { renderAt(*b, 192000.0f, other); });
    ta.join();
    tb.join();
    ASSERT_EQ(firstNonFinite(other), "");
    EXPECT_EQ(together, alone) << "an instance's output depends on another instance";
}

TEST(ReliabilityThreads, SampleRateChangesFromAnotherThreadWhileProcessing)
{
    // Hosts that change the rate without suspending first, from their own thread, while the
    // audio thread runs: the delay lines it writes are replaced only between its blocks.
    auto plugin = loadPlugin(exactHost(120.0));
    ASSERT_NE(plugin, nullptr);
    plugin->start(44100.0f, 128);
    AEffect* e = plugin->effect();
    AudioThread audio(*plugin);
    for (int i = 1; i <= 2000 && !audio.faulted(); ++i) {
        e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, i % 2 ? 48000.0f : 44100.0f);
        if (i % 64 == 0) {
            e->dispatcher(e, effMainsChanged, 0, 0, nullptr, 0.0f); // a suspend, just as careless
            e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
        }
        if (i % 4 == 0) {
            std::this_thread::yield();
        }
    }
    const long seen = audio.blocks();
    while (audio.blocks() < seen + 20 && !audio.faulted()) {
        std::this_thread::yield();
    }
    audio.stop();
    EXPECT_EQ(audio.fault(), "");
    EXPECT_GT(audio.blocks(), 20);
}

TEST(ReliabilitySampleRates, AnAbsurdRateLeavesNoMemoryBehind)
{
    auto plugin = loadPlugin(exactHost(120.0));
    ASSERT_NE(plugin, nullptr);
    plugin->start(44100.0f, 512);
    AEffect* e = plugin->effect();
    render(*plugin, noise(4096, 9));
    const long before = residentBytes();
    for (float rate : {1.0e-20f, 1.0f, 4000.0f, 1.0e6f, 1.0e7f, 44100.0f}) {
        e->dispatcher(e, effMainsChanged, 0, 0, nullptr, 0.0f);
        e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, rate);
        e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
        const AudioChannels out = render(*plugin, noise(4096, 10));
        EXPECT_EQ(firstNonFinite(out), "") << rate;
    }
    if (before > 0) {
        EXPECT_LT(residentBytes() - before, 20L * 1024 * 1024);
    }
}
