#include "dsp/CFilterEngine.h"
#include "dsp/CVCAEngine.h"

#include "engine_bench_support.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

// Per-sample cost of the VCA and filter engines as the processing loop calls them: through
// the engine base, one channel, 512-sample blocks at 44.1 kHz. Items are channel samples,
// so items_per_second gives the time per sample directly.

namespace {

using enginebench::kBlock;
using enginebench::noiseBlock;

void run(benchmark::State& state, Morvek2Engine& engine, float gate)
{
    enginebench::runThroughBase(state, engine, gate, noiseBlock(1));
}

// The loop's own pattern: per sample the left engine, then the right one. The two
// channels' recursions are independent, so they overlap; items are channel samples.
void runStereo(benchmark::State& state, Morvek2Engine& left, Morvek2Engine& right, float gate)
{
    const std::vector<float> in = noiseBlock(1);
    std::vector<float> outL(kBlock), outR(kBlock);
    Morvek2Engine* engines[2] = {&left, &right};
    benchmark::DoNotOptimize(engines);
    for (auto _ : state) {
        for (int i = 0; i < kBlock; ++i) {
            outL[i] = engines[0]->processGated(in[i], gate);
            outR[i] = engines[1]->processGated(in[kBlock - 1 - i], gate);
        }
        benchmark::DoNotOptimize(outL.data());
        benchmark::DoNotOptimize(outR.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kBlock * 2);
    enginebench::setNsCounter(state, kBlock * 2.0, "ns_per_sample");
}

void setUpVca(CVCAEngine& vca, float channel)
{
    vca.setChannelConstant(channel);
    vca.setDepth(0.8f);
    vca.setPan(0.3f);
    vca.setAttackTime(0.01f);
    vca.setDecayTime(0.1f);
}

void setUpFilter(CFilterEngine& f, int type)
{
    f.setSampleRate(44100.0f);
    f.selectType(static_cast<std::uint16_t>(type));
    f.applyPendingSelection();
    f.setFrequency(1200.0f);
    f.setResonance(0.6f);
}

void BM_VcaEngineStereo(benchmark::State& state)
{
    CVCAEngine left, right;
    setUpVca(left, 0.0f);
    setUpVca(right, 1.0f);
    runStereo(state, left, right, state.range(0) ? 1.0f : 0.0f);
}
BENCHMARK(BM_VcaEngineStereo)->ArgName("gate_open")->Arg(1)->Arg(0);

void BM_FilterEngineStereo(benchmark::State& state)
{
    CFilterEngine left, right;
    setUpFilter(left, static_cast<int>(state.range(0)));
    setUpFilter(right, static_cast<int>(state.range(0)));
    runStereo(state, left, right, state.range(1) ? 1.0f : 0.0f);
}
BENCHMARK(BM_FilterEngineStereo)
    ->ArgNames({"type", "gate_open"})
    ->ArgsProduct({{0, 1, 2, 3, 4, 5}, {1, 0}});

void BM_VcaEngine(benchmark::State& state)
{
    CVCAEngine vca;
    setUpVca(vca, 0.0f);
    run(state, vca, state.range(0) ? 1.0f : 0.0f);
}
BENCHMARK(BM_VcaEngine)->ArgName("gate_open")->Arg(1)->Arg(0);

void BM_FilterEngine(benchmark::State& state)
{
    CFilterEngine f;
    setUpFilter(f, static_cast<int>(state.range(0)));
    run(state, f, state.range(1) ? 1.0f : 0.0f);
}
BENCHMARK(BM_FilterEngine)
    ->ArgNames({"type", "gate_open"})
    ->ArgsProduct({{0, 1, 2, 3, 4, 5}, {1, 0}});

// The same with the loop's control tick moving the cutoff every 32 samples, so the
// coefficient update is part of the cost.
void BM_FilterEngineSweep(benchmark::State& state)
{
    CFilterEngine f;
    setUpFilter(f, static_cast<int>(state.range(0)));
    const std::vector<float> in = noiseBlock(1);
    std::vector<float> out(kBlock);
    Morvek2Engine* e = &f;
    float phase = 0.0f;
    for (auto _ : state) {
        for (int i = 0; i < kBlock; ++i) {
            if ((i & 31) == 0) {
                phase += 0.01f;
                f.setFrequency(1000.0f + 800.0f * std::sin(phase));
            }
            out[i] = e->processGated(in[i], 1.0f);
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
    enginebench::setNsCounter(state, kBlock, "ns_per_sample");
}
BENCHMARK(BM_FilterEngineSweep)->ArgName("type")->DenseRange(0, 5);

} // namespace
