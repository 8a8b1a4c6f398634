// What a host that suspends or changes the rate while its audio thread processes costs that
// thread, at the high rates where a 64-frame block is shortest. The module is loaded as a host
// loads it.
//
// BM_BlockApplyingReset / BM_BlockApplyingRateChange (argument: the rate in Hz): the host
// suspends and resumes (or sets another rate and back) from inside a block, so the change is left
// for the next block start; that next 64-frame block is the one timed. block_us is its median
// time, worst_us the longest, share the median over the block's own duration.
//
// BM_SilentRunUnderSuspendingHost (argument: the rate in Hz): the audio thread plays 64-frame
// blocks in real time while another thread suspends and resumes every 50 ms for two seconds.
// Active is off, so the output is the input unless the change held the engines: longest_silent_run
// counts the longest run of silent blocks, silent_blocks all of them.
#include "host/morvek2_host.h"
#include "host/morvek2_scenes.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

using namespace morvek2::host;

namespace {

constexpr int32_t kBlock = 64;

std::vector<float> noise(uint32_t seed, int32_t frames)
{
    std::vector<float> v(static_cast<std::size_t>(frames));
    for (float& s : v) {
        seed = seed * 1664525u + 1013904223u;
        s = (static_cast<float>(seed >> 8) / 16777216.0f - 0.5f) * 1.6f;
    }
    return v;
}

enum class Change { Reset, Rate };

void applyingBlock(benchmark::State& state, Change change)
{
    const auto rate = static_cast<float>(state.range(0));
    // The other rate of the rate change: 48 kHz's family against 44.1 kHz's.
    const float other = rate * (44100.0f / 48000.0f);
    std::string error;
    auto plugin = Plugin::load(MORVEK2_MODULE_PATH, error);
    if (!plugin || !applyScene(*plugin, Scene::Busy)) {
        state.SkipWithError("the module did not load");
        return;
    }
    plugin->transport().setTempo(128.0);
    plugin->start(rate, kBlock);
    bool arm = false;
    float next = other;
    plugin->host().config().onRequest = [&](AEffect* effect, int32_t opcode) {
        if (!arm || opcode != audioMasterGetTime) {
            return;
        }
        arm = false;
        if (change == Change::Reset) {
            effect->dispatcher(effect, effMainsChanged, 0, 0, nullptr, 0.0f);
            effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);
        } else {
            effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, next);
            next = next == rate ? other : rate;
        }
    };
    std::vector<float> l = noise(1, kBlock), r = noise(2, kBlock), ol(kBlock), orr(kBlock);
    float* in[2] = {l.data(), r.data()};
    float* out[2] = {ol.data(), orr.data()};
    // A second of signal: the delay line and the filters are busy.
    for (int b = 0; b < static_cast<int>(rate) / kBlock; ++b) {
        plugin->process(in, out, kBlock);
    }
    std::vector<double> times;
    for (auto _ : state) {
        arm = true;
        plugin->process(in, out, kBlock); // leaves the change for the next block start
        const auto t0 = std::chrono::steady_clock::now();
        plugin->process(in, out, kBlock);
        const auto t1 = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(ol.data());
        benchmark::ClobberMemory();
        const double seconds = std::chrono::duration<double>(t1 - t0).count();
        times.push_back(seconds);
        state.SetIterationTime(seconds);
    }
    if (times.empty()) {
        return;
    }
    // The median, so that a preemption of the benchmark on a busy machine does not decide it.
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    state.counters["block_us"] = median * 1e6;
    state.counters["worst_us"] = times.back() * 1e6;
    state.counters["share"] = median / (kBlock / static_cast<double>(rate));
}

void BM_BlockApplyingReset(benchmark::State& state)
{
    applyingBlock(state, Change::Reset);
}

void BM_BlockApplyingRateChange(benchmark::State& state)
{
    applyingBlock(state, Change::Rate);
}

void BM_SilentRunUnderSuspendingHost(benchmark::State& state)
{
    const auto rate = static_cast<float>(state.range(0));
    std::string error;
    auto plugin = Plugin::load(MORVEK2_MODULE_PATH, error);
    if (!plugin || !applyScene(*plugin, Scene::Busy)) {
        state.SkipWithError("the module did not load");
        return;
    }
    // Active off: the engines run (and are reset) as ever, but the output is the input, so a
    // silent block is one the engines could not be had for.
    plugin->setParameter(92, 0.0f);
    plugin->transport().setTempo(128.0);
    plugin->start(rate, kBlock);
    AEffect* e = plugin->effect();
    std::vector<float> l = noise(1, kBlock), r = noise(2, kBlock), ol(kBlock), orr(kBlock);
    float* in[2] = {l.data(), r.data()};
    float* out[2] = {ol.data(), orr.data()};
    const auto period = std::chrono::duration<double>(kBlock / static_cast<double>(rate));
    int longest = 0;
    long silent = 0;
    for (auto _ : state) {
        std::atomic<bool> stop{false};
        std::thread host([&] {
            while (!stop.load(std::memory_order_relaxed)) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                e->dispatcher(e, effMainsChanged, 0, 0, nullptr, 0.0f);
                e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
            }
        });
        int run = 0;
        bool sounded = false;
        const auto start = std::chrono::steady_clock::now();
        auto due = start;
        while (due - start < std::chrono::seconds(2)) {
            due += std::chrono::duration_cast<std::chrono::steady_clock::duration>(period);
            while (std::chrono::steady_clock::now() < due) {
            }
            plugin->process(in, out, kBlock);
            const bool quiet = std::all_of(ol.begin(), ol.end(), [](float x) { return x == 0.0f; });
            sounded = sounded || !quiet;
            run = quiet && sounded ? run + 1 : 0;
            silent += quiet && sounded ? 1 : 0;
            longest = std::max(longest, run);
        }
        stop.store(true);
        host.join();
    }
    state.counters["longest_silent_run"] = longest;
    state.counters["silent_blocks"] = static_cast<double>(silent);
}

} // namespace

BENCHMARK(BM_BlockApplyingReset)
    ->Arg(44100)
    ->Arg(192000)
    ->Arg(384000)
    ->Arg(768000)
    ->UseManualTime()
    ->Iterations(200)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BlockApplyingRateChange)
    ->Arg(192000)
    ->Arg(384000)
    ->Arg(768000)
    ->UseManualTime()
    ->Iterations(100)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SilentRunUnderSuspendingHost)
    ->Arg(44100)
    ->Arg(96000)
    ->Arg(192000)
    ->Arg(384000)
    ->Arg(768000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
