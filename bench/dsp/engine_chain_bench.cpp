#include "dsp/CBitsEngine.h"
#include "dsp/CDelayEngine.h"
#include "dsp/CDistortEngine.h"
#include "dsp/CFilterEngine.h"
#include "dsp/CFreqShifterEngine.h"
#include "dsp/CVCAEngine.h"

#include "engine_bench_support.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

// The engines called the way the processing loop calls them: on arrays of the concrete engine
// types (so the calls are direct and can be inlined), left then right for every frame, with
// the settings handed over at every 32-sample control tick. BM_EngineDirectStereo reports the
// time per channel sample of one engine pair; BM_SixEngineChain the time per stereo frame of
// all six pairs in the default chain order, the figure the whole plug-in's budget is set in.

namespace {

using enginebench::kBlock;
using enginebench::noiseBlock;
using enginebench::setNsCounter;

constexpr int kTick = 32;

struct Chain
{
    CVCAEngine vca[2];
    CFilterEngine filter[2];
    CDistortEngine distort[2];
    CDelayEngine delay[2];
    CFreqShifterEngine shift[2];
    CBitsEngine bits[2];

    explicit Chain(int filterType)
    {
        for (int c = 0; c < 2; ++c) {
            vca[c].setChannelConstant(static_cast<float>(c));
            filter[c].selectType(static_cast<std::uint16_t>(filterType));
            filter[c].applyPendingSelection();
        }
    }

    // The control tick: every modulated setting of both channels, as the loop hands them.
    void control(int tick)
    {
        const float wobble = static_cast<float>(tick % 16) * (1.0f / 16.0f);
        for (int c = 0; c < 2; ++c) {
            vca[c].setDepth(0.8f);
            vca[c].setPan(0.3f);
            vca[c].setAttackTime(0.01f);
            vca[c].setDecayTime(0.1f);
            filter[c].setFrequency(1000.0f + 400.0f * wobble);
            filter[c].setResonance(0.6f);
            distort[c].setFuzz(0.5f);
            distort[c].setWarp(2.5f);
            delay[c].setDelayTime(250.0f + wobble);
            delay[c].setFeedback(0.5f);
            delay[c].setSend(0.7f);
            shift[c].setShiftFrequency(110.0f);
            shift[c].setFeedback(0.3f);
            shift[c].setMix(1.0f);
            bits[c].setBitDepth(8.0f);
            bits[c].setError(10.0f);
            bits[c].setRate(0.5f);
        }
    }

    template <int C> float run(float x, float gate)
    {
        x = vca[C].processGated(x, gate);
        x = filter[C].processGated(x, gate);
        x = distort[C].processGated(x, gate);
        x = delay[C].processGated(x, gate);
        x = shift[C].processGated(x, gate);
        return bits[C].processGated(x, gate);
    }
};

void BM_SixEngineChain(benchmark::State& state)
{
    Chain chain(static_cast<int>(state.range(0)));
    const float gate = state.range(1) ? 1.0f : 0.0f;
    const std::vector<float> inL = noiseBlock(1), inR = noiseBlock(2);
    std::vector<float> outL(kBlock), outR(kBlock);
    int tick = 0;
    for (auto _ : state) {
        for (int i = 0; i < kBlock; ++i) {
            if (i % kTick == 0)
                chain.control(tick++);
            outL[i] = chain.run<0>(inL[i], gate);
            outR[i] = chain.run<1>(inR[i], gate);
        }
        benchmark::DoNotOptimize(outL.data());
        benchmark::DoNotOptimize(outR.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
    setNsCounter(state, kBlock, "ns_per_stereo_frame");
}
BENCHMARK(BM_SixEngineChain)
    ->ArgNames({"filter_type", "gate_open"})
    ->ArgsProduct({{0, 1, 2}, {1, 0}});

// One engine pair; `control` hands both channels their settings at a tick.
template <typename Engine, typename Control>
void runPair(benchmark::State& state, Engine (&e)[2], Control control, float gate)
{
    const std::vector<float> inL = noiseBlock(1), inR = noiseBlock(2);
    std::vector<float> outL(kBlock), outR(kBlock);
    for (auto _ : state) {
        for (int i = 0; i < kBlock; ++i) {
            if (i % kTick == 0) {
                control(e[0]);
                control(e[1]);
            }
            outL[i] = e[0].processGated(inL[i], gate);
            outR[i] = e[1].processGated(inR[i], gate);
        }
        benchmark::DoNotOptimize(outL.data());
        benchmark::DoNotOptimize(outR.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kBlock * 2);
    setNsCounter(state, kBlock * 2.0, "ns_per_channel_sample");
}

void BM_EngineDirectStereo(benchmark::State& state)
{
    const float gate = state.range(1) ? 1.0f : 0.0f;
    switch (state.range(0)) {
    case 0: {
        CVCAEngine e[2];
        e[1].setChannelConstant(1.0f);
        runPair(
            state, e,
            [](CVCAEngine& v) {
                v.setDepth(0.8f);
                v.setPan(0.3f);
                v.setAttackTime(0.01f);
                v.setDecayTime(0.1f);
            },
            gate);
        break;
    }
    case 1: {
        CDistortEngine e[2];
        runPair(
            state, e,
            [](CDistortEngine& d) {
                d.setFuzz(0.5f);
                d.setWarp(2.5f);
            },
            gate);
        break;
    }
    case 2: {
        CDelayEngine e[2];
        runPair(
            state, e,
            [](CDelayEngine& d) {
                d.setDelayTime(250.0f);
                d.setFeedback(0.5f);
                d.setSend(0.7f);
            },
            gate);
        break;
    }
    case 3: {
        CFreqShifterEngine e[2];
        runPair(
            state, e,
            [](CFreqShifterEngine& s) {
                s.setShiftFrequency(110.0f);
                s.setFeedback(0.3f);
                s.setMix(1.0f);
            },
            gate);
        break;
    }
    case 4: {
        CBitsEngine e[2];
        runPair(
            state, e,
            [](CBitsEngine& b) {
                b.setBitDepth(8.0f);
                b.setError(10.0f);
                b.setRate(0.5f);
            },
            gate);
        break;
    }
    default: {
        // 5..10: the filter engine with type 0..5.
        CFilterEngine e[2];
        for (CFilterEngine& f : e) {
            f.selectType(static_cast<std::uint16_t>(state.range(0) - 5));
            f.applyPendingSelection();
        }
        runPair(
            state, e,
            [](CFilterEngine& f) {
                f.setFrequency(1200.0f);
                f.setResonance(0.6f);
            },
            gate);
        break;
    }
    }
}
// engine: 0 VCA, 1 distortion, 2 delay, 3 shifter, 4 bits, 5..10 filter types 0..5.
BENCHMARK(BM_EngineDirectStereo)
    ->ArgNames({"engine", "gate_open"})
    ->ArgsProduct({{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, {1, 0}});

} // namespace
