// The loop runs the two channels' engines of a module over a whole stretch between control ticks
// (processStretchPair), where each engine class may use SIMD lanes, keep states in registers or
// share work while the channels run in step. Each channel must still get the bits its own engine
// gives sample by sample through processGated: with settings that move at every tick, that are
// the same for both channels and then differ, gates open, closed, between and hostile, stretches
// of every length, silence, and samples no host should send.
#include "dsp/CBitsEngine.h"
#include "dsp/CDelayEngine.h"
#include "dsp/CDistortEngine.h"
#include "dsp/CFilterEngine.h"
#include "dsp/CFreqShifterEngine.h"
#include "dsp/CVCAEngine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>

namespace {

constexpr int kStretches = 3500;
constexpr int kPhaseLength = 500;

struct Random
{
    std::uint32_t seed;
    float next() // [0, 1)
    {
        seed = seed * 1664525u + 1013904223u;
        return static_cast<float>(seed >> 8) / 16777216.0f;
    }
};

bool sameBits(float a, float b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// What each phase of the run does: settings shared by both channels or not, the gates handed in,
// the input.
enum class Gates { Open, Stepping, Closed, Hostile };
enum class Input { Signal, Silence, Hostile };
struct Phase
{
    bool sameSettings;
    Gates gates;
    Input input;
};
// The run opens in silence: from cleared states, only tiny offsets (the shifter's alternating
// denormal offset) move anything.
constexpr Phase kPhases[kStretches / kPhaseLength] = {
    {true, Gates::Open, Input::Silence},     {true, Gates::Open, Input::Signal},
    {true, Gates::Stepping, Input::Signal},  {false, Gates::Stepping, Input::Signal},
    {true, Gates::Open, Input::Silence},     {true, Gates::Closed, Input::Signal},
    {false, Gates::Hostile, Input::Hostile},
};

float gateFor(Gates gates, int stretch, Random& rnd)
{
    static constexpr float kHostile[] = {-1.0f, 2.0f, std::numeric_limits<float>::quiet_NaN(),
                                         1.0e30f, 0.5f};
    switch (gates) {
    case Gates::Open:
        return 1.0f;
    case Gates::Stepping:
        return (stretch / 40) % 3 == 0 ? 0.0f : (stretch / 40) % 3 == 1 ? 1.0f : rnd.next();
    case Gates::Closed:
        return 0.0f;
    case Gates::Hostile:
        return kHostile[stretch % 5];
    }
    return 1.0f;
}

float inputFor(Input input, Random& rnd)
{
    static constexpr float kHostile[] = {std::numeric_limits<float>::quiet_NaN(),
                                         std::numeric_limits<float>::infinity(), -1.0e30f,
                                         1.0e-40f};
    const float x = (rnd.next() - 0.5f) * 3.0f;
    switch (input) {
    case Input::Signal:
        return x;
    case Input::Silence:
        return 0.0f;
    case Input::Hostile:
        return rnd.next() < 0.02f ? kHostile[static_cast<int>(rnd.next() * 4.0f) & 3] : x;
    }
    return x;
}

// Runs kStretches stretches through a pair of engines and, sample by sample, through two
// reference engines, with `tick(engine, channel, stretch, u)` applied to all four before each
// stretch (u in [0, 1), drawn per channel, the same for both in the phases that share settings).
template <class Engine, class Tick> void expectStretchesMatchSamples(float rate, Tick tick)
{
    // Engines may hold long delay lines: on the heap.
    auto pair = std::make_unique<Engine[]>(2);
    auto ref = std::make_unique<Engine[]>(2);
    for (int c = 0; c < 2; ++c) {
        pair[c].setSampleRate(rate);
        ref[c].setSampleRate(rate);
    }
    Random rnd{static_cast<std::uint32_t>(rate)};
    float x[2][32], y[2][32];
    for (int stretch = 0; stretch < kStretches; ++stretch) {
        const Phase& phase = kPhases[stretch / kPhaseLength];
        const float u0 = rnd.next();
        const float u[2] = {u0, phase.sameSettings ? u0 : rnd.next()};
        for (int c = 0; c < 2; ++c) {
            tick(pair[c], c, stretch, u[c]);
            tick(ref[c], c, stretch, u[c]);
        }
        const float gate = gateFor(phase.gates, stretch, rnd);
        const int n = 1 + static_cast<int>(rnd.next() * 32.0f);
        for (int i = 0; i < n; ++i) {
            for (int c = 0; c < 2; ++c) {
                x[c][i] = y[c][i] = inputFor(phase.input, rnd);
            }
        }
        Engine::processStretchPair(pair[0], pair[1], y[0], y[1], n, gate);
        for (int i = 0; i < n; ++i) {
            for (int c = 0; c < 2; ++c) {
                const float expected = ref[c].processGated(x[c][i], gate);
                ASSERT_TRUE(sameBits(y[c][i], expected))
                    << "stretch " << stretch << " sample " << i << " channel " << c << ": "
                    << y[c][i] << " instead of " << expected;
            }
        }
    }
}

// Exponential over the audio range.
float hertz(float u)
{
    return 20.0f * std::pow(1000.0f, u);
}

TEST(StereoStretch, EveryEngineMatchesItsChannelsSampleBySampleBitForBit)
{
    for (float rate : {44100.0f, 96000.0f}) {
        SCOPED_TRACE(rate);
        {
            SCOPED_TRACE("VCA");
            expectStretchesMatchSamples<CVCAEngine>(
                rate, [](CVCAEngine& e, int c, int stretch, float u) {
                    if (stretch == 0) {
                        e.setChannelConstant(static_cast<float>(c));
                    }
                    e.setDepth(u);
                    e.setPan(1.0f - u);
                    // Fast and slow envelopes, so they arrive and sit at their targets too.
                    e.setAttackTime((stretch / 100) % 2 ? 0.001f : 0.001f + 0.149f * u);
                    e.setDecayTime((stretch / 100) % 2 ? 0.2f * u + 0.001f : 0.001f);
                });
        }
        for (int type = 0; type < 6; ++type) {
            SCOPED_TRACE("filter type " + std::to_string(type));
            expectStretchesMatchSamples<CFilterEngine>(
                rate, [type](CFilterEngine& e, int, int stretch, float u) {
                    // A new type now and then: the chosen filter starts over from silence.
                    if (stretch % 700 == 0) {
                        e.selectType(static_cast<std::uint16_t>(stretch % 1400 ? 6 : type));
                    }
                    e.setFrequency(stretch % 97 == 0 ? 1.0e6f : hertz(u));
                    e.setResonance(stretch % 89 == 0 ? 1.0f : u);
                });
        }
        {
            SCOPED_TRACE("distortion");
            expectStretchesMatchSamples<CDistortEngine>(rate,
                                                        [](CDistortEngine& e, int, int, float u) {
                                                            e.setFuzz(u);
                                                            e.setWarp(0.5f + 4.0f * u);
                                                        });
        }
        {
            SCOPED_TRACE("delay");
            expectStretchesMatchSamples<CDelayEngine>(
                rate, [](CDelayEngine& e, int, int stretch, float u) {
                    // Glides between times, and times held long enough to rest.
                    e.setDelayTime((stretch / 50) % 2 ? 1.0f + 400.0f * u : 120.0f);
                    e.setFeedback(u);
                    e.setSend(1.0f - 0.5f * u);
                });
        }
        {
            SCOPED_TRACE("frequency shifter");
            expectStretchesMatchSamples<CFreqShifterEngine>(
                rate, [](CFreqShifterEngine& e, int c, int stretch, float u) {
                    e.setShiftFrequency((stretch / 150) % 2 ? 810.0f * (2.0f * u - 1.0f) : 333.0f);
                    e.setFeedback(u);
                    // Now and then the right channel alone rests, so the two shifters' phases
                    // and alternating offsets part.
                    const bool rests = (stretch / 60) % 4 == 0 || (c == 1 && stretch % 70 < 3);
                    e.setMix(rests ? 0.0f : u);
                });
        }
        {
            SCOPED_TRACE("bits");
            expectStretchesMatchSamples<CBitsEngine>(rate, [](CBitsEngine& e, int, int, float u) {
                e.setBitDepth(24.0f * u);
                e.setError(u < 0.3f ? 0.0f : 40.0f * u);
                e.setRate(0.01f + u);
            });
        }
    }
    {
        // A line of 69 samples (at a rate of 20 Hz) that the run goes round some 700 times,
        // with delays of 0 to 2.5 samples, where the read sits right behind the
        // write, and of the whole line, where it sits on the write: gliding in and resting, so
        // that stretches of every kind start, run and end on the ends of the line.
        SCOPED_TRACE("delay, short and line-long times");
        expectStretchesMatchSamples<CDelayEngine>(20.0f, [](CDelayEngine& e, int, int stretch,
                                                            float u) {
            constexpr float kSamplesPerMs = 0.02f;
            const float lineMs =
                (static_cast<float>(e.getDelayLine().getSize()) - 0.5f) / kSamplesPerMs;
            const float wholeSamples = static_cast<float>((stretch / 100) % 3);
            const float times[4] = {wholeSamples / kSamplesPerMs, (0.2f + 2.3f * u) / kSamplesPerMs,
                                    lineMs, 1.5f / kSamplesPerMs};
            e.setDelayTime(times[(stretch / 25) % 4]);
            e.setFeedback(u);
            e.setSend(1.0f - 0.5f * u);
        });
    }
}

} // namespace
