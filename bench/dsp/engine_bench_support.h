// What the engine benchmarks share: a deterministic noise block, the per-item time counter and
// the single-engine run through the engine base, as the processing loop's engine table calls it.
#pragma once

#include "dsp/Morvek2Engine.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

namespace enginebench {

constexpr int kBlock = 512;

// Uniform noise of the given peak from a fixed linear congruential sequence.
inline std::vector<float> noiseBlock(std::uint32_t seed, float peak = 0.5f)
{
    std::vector<float> v(kBlock);
    for (float& x : v) {
        seed = seed * 1664525u + 1013904223u;
        x = static_cast<float>(static_cast<std::int32_t>(seed)) * (peak / 2147483648.0f);
    }
    return v;
}

// An inverted rate: seconds per item, shown with its unit (ns).
inline void setNsCounter(benchmark::State& state, double itemsPerIteration, const char* name)
{
    state.counters[name] =
        benchmark::Counter(static_cast<double>(state.iterations()) * itemsPerIteration,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// One channel through the engine base; items are channel samples.
inline void runThroughBase(benchmark::State& state, Morvek2Engine& engine, float gate,
                           const std::vector<float>& in)
{
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
    setNsCounter(state, kBlock, "ns_per_sample");
}

} // namespace enginebench
