// processReplacing of the built module at 44.1 kHz with the transport playing, loaded as a host
// loads it.
//
// BM_ProcessBusy / BM_ProcessGatesClosed / BM_ProcessBusySilenceTail / BM_ProcessGliding:
// 512-frame blocks of the heavy program (all six modules active, lanes moving every 1/64 note),
// the same with every gate closed, the heavy program in the silence after a loud signal (where
// subnormal numbers would show up as a slowdown), and the heavy program with every lane gliding
// and modulating every module (one scene alone, to profile). Counters: ns_per_frame is the time of
// one stereo frame; rt_factor is how many times faster than real time the block is processed.
//
// BM_ProcessInterleaved: every configuration (the scenes above, the heavy program with every lane
// gliding and modulating every module, four factory programs) loaded in one process, blocks
// alternated between them so that they share the machine's state at each moment, and the median of
// the per-round times reported as ns per stereo frame for each, with the ratios the targets are
// stated in. On a shared machine only this one's figures compare with each other. With
// MORVEK2_BENCH_REFERENCE naming a copy of an earlier build of the module, its heavy, gliding,
// gates-closed, silence and four factory figures run in the same rounds ("ref_..."), with
// heavy_per_ref.
//
// BM_ProgramsSubnormalInput: every factory program on noise and on a subnormal tail, alternated
// block by block, with the ratio of the two per program and the worst of them.
#include "host/morvek2_host.h"
#include "host/morvek2_scenes.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

using namespace morvek2::host;

namespace {

constexpr int32_t kFrames = 512;
constexpr float kRate = 44100.0f;
constexpr char kLspCompressor[] = "/usr/lib/vst/lsp-plugins/compressor-stereo.so";

// The module loaded, at 128 bpm, resumed for kFrames-frame blocks; null when it will not load.
std::unique_ptr<Plugin> loadStarted(const char* module)
{
    std::string error;
    auto plugin = Plugin::load(module, error);
    if (plugin) {
        plugin->transport().setTempo(128.0);
        plugin->start(kRate, kFrames);
    }
    return plugin;
}

std::unique_ptr<Plugin> loadScene(Scene scene, const char* module = MORVEK2_MODULE_PATH)
{
    auto plugin = loadStarted(module);
    return plugin && applyScene(*plugin, scene) ? std::move(plugin) : nullptr;
}

std::unique_ptr<Plugin> loadFactory(int program, const char* module = MORVEK2_MODULE_PATH)
{
    auto plugin = loadStarted(module);
    if (plugin) {
        plugin->setProgram(program);
    }
    return plugin;
}

std::vector<float> noise(uint32_t seed, float level, int32_t frames = kFrames)
{
    std::vector<float> v(static_cast<std::size_t>(frames));
    for (float& s : v) {
        seed = seed * 1664525u + 1013904223u;
        s = (static_cast<float>(seed >> 8) / 16777216.0f - 0.5f) * 2.0f * level;
    }
    return v;
}

void setFrameCounters(benchmark::State& state)
{
    const auto frames = static_cast<double>(state.iterations() * kFrames);
    state.SetItemsProcessed(state.iterations() * kFrames);
    // Seconds per frame: printed as a time ("186ns").
    state.counters["per_frame"] =
        benchmark::Counter(frames, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["rt_factor"] = benchmark::Counter(frames / kRate, benchmark::Counter::kIsRate);
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
    setFrameCounters(state);
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
void BM_ProcessGliding(benchmark::State& state)
{
    run(state, Scene::Gliding, false);
}

// One configuration of the interleaved run: a plug-in, its input and the block size it is fed.
struct Contender
{
    std::string name;
    std::unique_ptr<Plugin> plugin;
    int32_t block = kFrames;
    bool silence = false;
    std::vector<double> nsPerFrame;
};

void BM_ProcessInterleaved(benchmark::State& state)
{
    std::vector<Contender> all;
    auto add = [&all](std::string name, std::unique_ptr<Plugin> plugin, int32_t block,
                      bool silence) {
        if (plugin) {
            all.push_back({std::move(name), std::move(plugin), block, silence, {}});
        }
    };
    for (int32_t block : {512, 64}) {
        const std::string b = std::to_string(block);
        add("heavy_" + b, loadScene(Scene::Busy), block, false);
        add("gates_closed_" + b, loadScene(Scene::GatesClosed), block, false);
        add("heavy_silence_" + b, loadScene(Scene::Busy), block, true);
        add("gliding_" + b, loadScene(Scene::Gliding), block, false);
    }
    // Clean Slate, Shift This, Self Osc Acid, Full Of Techno.
    for (int program : {0, 1, 7, 25}) {
        add("program" + std::to_string(program + 1) + "_512", loadFactory(program), kFrames, false);
    }
    if (all.size() != 12) {
        state.SkipWithError("the module did not load");
        return;
    }
    // A copy of an earlier build of the module, for before/after figures from one run.
    const char* reference = std::getenv("MORVEK2_BENCH_REFERENCE");
    if (reference && *reference) {
        add("ref_heavy_512", loadScene(Scene::Busy, reference), kFrames, false);
        add("ref_heavy_64", loadScene(Scene::Busy, reference), 64, false);
        add("ref_gliding_512", loadScene(Scene::Gliding, reference), kFrames, false);
        add("ref_gates_closed_512", loadScene(Scene::GatesClosed, reference), kFrames, false);
        add("ref_heavy_silence_512", loadScene(Scene::Busy, reference), kFrames, true);
        add("ref_program1_512", loadFactory(0, reference), kFrames, false);
        add("ref_program2_512", loadFactory(1, reference), kFrames, false);
        add("ref_program8_512", loadFactory(7, reference), kFrames, false);
        add("ref_program26_512", loadFactory(25, reference), kFrames, false);
    }
    if (std::filesystem::exists(kLspCompressor)) {
        std::string error;
        auto lsp = Plugin::load(kLspCompressor, error);
        if (lsp) {
            lsp->start(kRate, kFrames);
            add("lsp_compressor_512", std::move(lsp), kFrames, false);
        }
    }

    std::vector<float> l = noise(1, 0.8f), r = noise(2, 0.8f), zero(kFrames), ol(kFrames),
                       orr(kFrames);
    for (Contender& c : all) {
        float* in[2] = {l.data(), r.data()};
        float* out[2] = {ol.data(), orr.data()};
        for (int b = 0; b < 2 * 44100 / kFrames; ++b) {
            c.plugin->process(in, out, kFrames);
        }
    }
    // One round: kFrames frames through every contender in turn, each in its own block size.
    for (auto _ : state) {
        for (Contender& c : all) {
            float* in[2] = {c.silence ? zero.data() : l.data(), c.silence ? zero.data() : r.data()};
            const auto t0 = std::chrono::steady_clock::now();
            for (int32_t done = 0; done < kFrames; done += c.block) {
                float* inAt[2] = {in[0] + done, in[1] + done};
                float* outAt[2] = {ol.data() + done, orr.data() + done};
                c.plugin->process(inAt, outAt, c.block);
            }
            const auto t1 = std::chrono::steady_clock::now();
            benchmark::DoNotOptimize(ol.data());
            benchmark::ClobberMemory();
            c.nsPerFrame.push_back(std::chrono::duration<double, std::nano>(t1 - t0).count() /
                                   kFrames);
        }
    }
    auto median = [](std::vector<double> v) {
        if (v.empty()) {
            return 0.0;
        }
        std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
        return v[v.size() / 2];
    };
    double heavy512 = 0.0, heavy64 = 0.0, gliding512 = 0.0, lsp = 0.0, refHeavy512 = 0.0;
    for (Contender& c : all) {
        const double m = median(c.nsPerFrame);
        state.counters[c.name + "_ns"] = m;
        if (c.name == "heavy_512") {
            heavy512 = m;
        } else if (c.name == "heavy_64") {
            heavy64 = m;
        } else if (c.name == "gliding_512") {
            gliding512 = m;
        } else if (c.name == "ref_heavy_512") {
            refHeavy512 = m;
        } else if (c.name == "lsp_compressor_512") {
            lsp = m;
        }
    }
    if (heavy512 > 0.0) {
        state.counters["heavy_64_per_512"] = heavy64 / heavy512;
    }
    if (refHeavy512 > 0.0) {
        state.counters["heavy_per_ref"] = heavy512 / refHeavy512;
    }
    if (lsp > 0.0) {
        state.counters["heavy_per_lsp"] = heavy512 / lsp;
        state.counters["gliding_per_lsp"] = gliding512 / lsp;
    }
}

// Every factory program twice, blocks alternated between all of them: once on noise and once on
// a subnormal tail (+-1e-41, what a decaying tail from an earlier plug-in sends) after the same
// two seconds of noise. Counters: each program's median time per frame on the tail over that on
// noise ("pNN_sub_per_noise"), and the worst of them with its program.
void BM_ProgramsSubnormalInput(benchmark::State& state)
{
    constexpr int kPrograms = 40;
    std::vector<std::unique_ptr<Plugin>> onNoise, onTail;
    for (int k = 0; k < kPrograms; ++k) {
        onNoise.push_back(loadFactory(k));
        onTail.push_back(loadFactory(k));
        if (!onNoise.back() || !onTail.back()) {
            state.SkipWithError("the module did not load");
            return;
        }
    }
    std::vector<float> l = noise(1, 0.8f), r = noise(2, 0.8f), tl(kFrames), tr(kFrames),
                       ol(kFrames), orr(kFrames);
    for (int32_t i = 0; i < kFrames; ++i) {
        tl[i] = l[i] < 0.0f ? -1.0e-41f : 1.0e-41f;
        tr[i] = r[i] < 0.0f ? -1.0e-41f : 1.0e-41f;
    }
    float* noiseIn[2] = {l.data(), r.data()};
    float* tailIn[2] = {tl.data(), tr.data()};
    float* out[2] = {ol.data(), orr.data()};
    for (int k = 0; k < kPrograms; ++k) {
        for (int b = 0; b < 2 * 44100 / kFrames; ++b) {
            onNoise[k]->process(noiseIn, out, kFrames);
            onTail[k]->process(noiseIn, out, kFrames);
        }
    }
    std::vector<std::vector<double>> noiseNs(kPrograms), tailNs(kPrograms);
    auto timed = [&out](Plugin& plugin, float** in) {
        const auto t0 = std::chrono::steady_clock::now();
        plugin.process(in, out, kFrames);
        const auto t1 = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(out[0]);
        benchmark::ClobberMemory();
        return std::chrono::duration<double, std::nano>(t1 - t0).count() / kFrames;
    };
    for (auto _ : state) {
        for (int k = 0; k < kPrograms; ++k) {
            noiseNs[k].push_back(timed(*onNoise[k], noiseIn));
            tailNs[k].push_back(timed(*onTail[k], tailIn));
        }
    }
    auto median = [](std::vector<double> v) {
        std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
        return v[v.size() / 2];
    };
    double worst = 0.0;
    int worstProgram = 0;
    for (int k = 0; k < kPrograms; ++k) {
        const double ratio = median(tailNs[k]) / median(noiseNs[k]);
        char name[32];
        std::snprintf(name, sizeof name, "p%02d_sub_per_noise", k + 1);
        state.counters[name] = ratio;
        if (ratio > worst) {
            worst = ratio;
            worstProgram = k + 1;
        }
    }
    state.counters["worst_sub_per_noise"] = worst;
    state.counters["worst_program"] = worstProgram;
}

} // namespace

BENCHMARK(BM_ProcessBusy)->MinTime(1.0);
BENCHMARK(BM_ProcessGatesClosed)->MinTime(1.0);
BENCHMARK(BM_ProcessBusySilenceTail)->MinTime(1.0);
BENCHMARK(BM_ProcessGliding)->MinTime(1.0);
BENCHMARK(BM_ProcessInterleaved)->Iterations(600)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProgramsSubnormalInput)->Iterations(200)->Unit(benchmark::kMillisecond);
