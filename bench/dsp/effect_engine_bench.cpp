#include "dsp/CBitsEngine.h"
#include "dsp/CDelayEngine.h"
#include "dsp/CDistortEngine.h"
#include "dsp/CFreqShifterEngine.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

// Per-sample cost of the distortion, delay, frequency-shifter and bits engines as the processing
// loop calls them: through the engine base, one channel, 512-sample blocks at 44.1 kHz, gate open
// (1.0) or closed (0.0). The counter ns_per_sample is the time per channel sample.

namespace {

constexpr int kBlock = 512;

std::vector<float> noiseBlock()
{
    std::vector<float> v(kBlock);
    std::uint32_t s = 7;
    for (float& x : v) {
        s = s * 1664525u + 1013904223u;
        x = static_cast<float>(static_cast<std::int32_t>(s)) * (0.8f / 2147483648.0f);
    }
    return v;
}

void run(benchmark::State& state, Morvek2Engine& engine, float gate)
{
    const std::vector<float> in = noiseBlock();
    std::vector<float> out(kBlock);
    Morvek2Engine* e = &engine; // called through the base, like the loop's engine table
    benchmark::DoNotOptimize(e);
    for (auto _ : state) {
        for (int i = 0; i < kBlock; ++i)
            out[i] = e->processGated(in[i], gate);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
    state.counters["ns_per_sample"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kBlock * 1e-9,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_DistortEngine(benchmark::State& state)
{
    CDistortEngine e;
    e.setFuzz(0.5f);
    e.setWarp(2.5f);
    run(state, e, static_cast<float>(state.range(0)));
}
BENCHMARK(BM_DistortEngine)->ArgName("gate")->Arg(1)->Arg(0);

void BM_DelayEngine(benchmark::State& state)
{
    CDelayEngine e;
    e.setDelayTime(250.0f);
    e.setFeedback(0.5f);
    e.setSend(0.7f);
    run(state, e, static_cast<float>(state.range(0)));
}
BENCHMARK(BM_DelayEngine)->ArgName("gate")->Arg(1)->Arg(0);

void BM_FreqShifterEngine(benchmark::State& state)
{
    CFreqShifterEngine e;
    e.setShiftFrequency(110.0f);
    e.setFeedback(0.3f);
    e.setMix(1.0f);
    run(state, e, static_cast<float>(state.range(0)));
}
BENCHMARK(BM_FreqShifterEngine)->ArgName("gate")->Arg(1)->Arg(0);

void BM_BitsEngine(benchmark::State& state)
{
    CBitsEngine e;
    e.setBitDepth(8.0f);
    e.setError(10.0f);
    e.setRate(0.5f);
    run(state, e, static_cast<float>(state.range(0)));
}
BENCHMARK(BM_BitsEngine)->ArgName("gate")->Arg(1)->Arg(0);

} // namespace
