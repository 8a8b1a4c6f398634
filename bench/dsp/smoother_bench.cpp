#include "dsp/zksp_smoother.h"

#include <benchmark/benchmark.h>

static void BM_SmootherProcess(benchmark::State& state)
{
    zksp_smoother_lag_processor lag;
    lag.setAttackTime(0.001f);
    lag.setReleaseTime(0.2f);
    float x = 0.0f;
    for (auto _ : state) {
        for (int i = 0; i < 512; ++i)
            x += lag.process((i & 64) ? 1.0f : 0.0f);
        benchmark::DoNotOptimize(x);
    }
    state.SetItemsProcessed(state.iterations() * 512);
}
BENCHMARK(BM_SmootherProcess);
