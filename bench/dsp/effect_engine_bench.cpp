#include "dsp/CBitsEngine.h"
#include "dsp/CDelayEngine.h"
#include "dsp/CDistortEngine.h"
#include "dsp/CFreqShifterEngine.h"

#include "engine_bench_support.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

// Per-sample cost of the distortion, delay, frequency-shifter and bits engines as the processing
// loop calls them: through the engine base, one channel, 512-sample blocks at 44.1 kHz, gate open
// (1.0) or closed (0.0). The counter ns_per_sample is the time per channel sample.

namespace {

using enginebench::kBlock;
using enginebench::noiseBlock;

void run(benchmark::State& state, Morvek2Engine& engine, float gate)
{
    enginebench::runThroughBase(state, engine, gate, noiseBlock(7, 0.8f));
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
