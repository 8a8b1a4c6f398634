// processReplacing of the built module, 512 frames at 44.1 kHz with the transport playing, in
// three situations: everything busy, every gate closed, and the silence after a loud signal
// (where denormal numbers would show up as a slowdown).
//
// Counters: ns_per_frame is the time of one stereo frame; rt_factor is how many times faster
// than real time the block is processed.
#include "host/morvek2_host.h"
#include "plugin/ProgramRecord.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace morvek2::host;

namespace {

constexpr int32_t kFrames = 512;
constexpr float kRate = 44100.0f;

enum class Scene { Busy, GatesClosed };

std::unique_ptr<Plugin> loadScene(Scene scene)
{
    std::string error;
    auto plugin = Plugin::load(MORVEK2_MODULE_PATH, error);
    if (!plugin) {
        return nullptr;
    }
    plugin->transport().setTempo(128.0);
    plugin->start(kRate, kFrames);
    std::vector<uint8_t> chunk = plugin->getChunk(true);
    if (chunk.size() != sizeof(ProgramRecord)) {
        return nullptr;
    }
    ProgramRecord record;
    std::memcpy(&record, chunk.data(), sizeof record);
    const int stepSize[6] = {6, 23, 36, 51, 66, 81};
    const int length[6] = {7, 24, 37, 52, 67, 82};
    for (int m = 0; m < 6; ++m) {
        SeqLane& lane = record.lanes[m];
        lane.length = 32;
        lane.position = 0;
        lane.direction = 0;
        lane.stepSize = 0; // 1/64: the lanes move as often as they can
        for (int s = 0; s < 32; ++s) {
            lane.steps[s].value = static_cast<float>((s * 7 + m) % 13) / 12.0f;
            lane.steps[s].gate = scene == Scene::Busy ? 1 : 0;
        }
        record.values[stepSize[m]] = 0.0f;
        record.values[length[m]] = 1.0f;
    }
    // Every module doing audible work; Active on.
    const std::pair<int, float> settings[] = {
        {2, 1.0f},  {9, 0.8f},  {17, 0.5f}, {18, 0.7f}, {26, 0.8f}, {32, 0.6f}, {33, 0.5f},
        {39, 0.8f}, {47, 0.6f}, {48, 0.7f}, {56, 0.8f}, {60, 0.6f}, {62, 0.4f}, {63, 0.8f},
        {69, 0.9f}, {76, 0.5f}, {77, 0.5f}, {78, 0.3f}, {85, 0.8f}, {91, 0.5f}, {92, 1.0f},
    };
    for (auto [index, value] : settings) {
        record.values[index] = value;
    }
    std::memcpy(chunk.data(), &record, sizeof record);
    plugin->setChunk(true, chunk);
    return plugin;
}

std::vector<float> noise(uint32_t seed, float level)
{
    std::vector<float> v(kFrames);
    for (float& s : v) {
        seed = seed * 1664525u + 1013904223u;
        s = (static_cast<float>(seed >> 8) / 16777216.0f - 0.5f) * 2.0f * level;
    }
    return v;
}

void run(benchmark::State& state, Scene scene, bool silenceAfterSignal)
{
    auto plugin = loadScene(scene);
    if (!plugin) {
        state.SkipWithError("the module did not load");
        return;
    }
    std::vector<float> l = noise(1, 0.8f), r = noise(2, 0.8f), ol(kFrames), orr(kFrames);
    float* in[2] = {l.data(), r.data()};
    float* out[2] = {ol.data(), orr.data()};
    // Two seconds of loud signal fill the delay line and the filters.
    for (int b = 0; b < 2 * 44100 / kFrames; ++b) {
        plugin->process(in, out, kFrames);
    }
    if (silenceAfterSignal) {
        std::fill(l.begin(), l.end(), 0.0f);
        std::fill(r.begin(), r.end(), 0.0f);
    }
    for (auto _ : state) {
        plugin->process(in, out, kFrames);
        benchmark::DoNotOptimize(ol.data());
        benchmark::DoNotOptimize(orr.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kFrames);
    state.counters["ns_per_frame"] =
        benchmark::Counter(static_cast<double>(state.iterations() * kFrames) * 1e-9,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["rt_factor"] = benchmark::Counter(
        static_cast<double>(state.iterations() * kFrames) / kRate, benchmark::Counter::kIsRate);
}

void BM_ProcessBusy(benchmark::State& state)
{
    run(state, Scene::Busy, false);
}
void BM_ProcessGatesClosed(benchmark::State& state)
{
    run(state, Scene::GatesClosed, false);
}
void BM_ProcessBusySilenceTail(benchmark::State& state)
{
    run(state, Scene::Busy, true);
}

} // namespace

BENCHMARK(BM_ProcessBusy)->MinTime(1.0);
BENCHMARK(BM_ProcessGatesClosed)->MinTime(1.0);
BENCHMARK(BM_ProcessBusySilenceTail)->MinTime(1.0);
