#include "dsp/CBitsEngine.h"
#include "dsp/CDelayEngine.h"
#include "dsp/CDistortEngine.h"
#include "dsp/CFilterEngine.h"
#include "dsp/CFreqShifterEngine.h"
#include "dsp/CVCAEngine.h"
#include "dsp/zk_math.h"
#include "dsp/zksp_sine.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <map>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

// Bit-exact record of every module engine's output. The engines' arithmetic is fixed down to
// the precision and order of each operation, so any change to their internals (speed work in
// particular) must leave every output bit as it was. Each case drives a left and a right
// instance the way the processing loop does: the settings change at every 32-sample control
// tick, then each sample goes through the left engine and the right one, with a gate level
// that opens, closes and ramps. The outputs are hashed (64-bit FNV-1a over the raw float bits)
// and compared with tests/dsp/golden/engine_golden.txt. The signals and sweeps are built with
// the plug-in's own math functions, not the C library's, so the records hold on every platform.
//
// After an intended change of sound, regenerate the table with
//   MORVEK2_REGENERATE_GOLDEN=1 ./morvek2_dsp_tests --gtest_filter='EngineGolden*'
// and say why in the commit.

namespace {

constexpr int kTick = 32;
constexpr int kLength = 6144; // 192 control ticks
constexpr int kSilenceFrom = 5120;
constexpr double kTwoPi = 2.0 * std::numbers::pi;

std::filesystem::path goldenPath()
{
    return std::filesystem::path(MORVEK2_DSP_TEST_DIR) / "golden" / "engine_golden.txt";
}

bool regenerating()
{
    const char* v = std::getenv("MORVEK2_REGENERATE_GOLDEN");
    return v != nullptr && v[0] == '1';
}

struct Fnv
{
    std::uint64_t h = 1469598103934665603ull;
    void add(float v)
    {
        std::uint32_t bits = std::bit_cast<std::uint32_t>(v);
        for (int i = 0; i < 4; ++i) {
            h ^= bits & 0xFFu;
            h *= 1099511628211ull;
            bits >>= 8;
        }
    }
};

// Noise, two sines and a loud burst, then silence for the tail (decays, denormal guards). The
// right channel gets a different noise seed and sine phase.
std::vector<float> testSignal(int channel)
{
    std::vector<float> v(kLength, 0.0f);
    std::uint32_t seed = channel == 0 ? 0x1234567u : 0x89ABCDEu;
    for (int i = 0; i < kSilenceFrom; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const float noise = static_cast<float>(static_cast<std::int32_t>(seed)) / 2147483648.0f;
        const double t = static_cast<double>(i) / 44100.0;
        const float sines = static_cast<float>(0.4 * zksp_sin_double(kTwoPi * 220.0 * t + channel) +
                                               0.25 * zksp_sin_double(kTwoPi * 3170.0 * t));
        float x = 0.3f * noise + sines;
        if (i >= 2048 && i < 2304)
            x *= 4.0f; // beyond full scale: clamps and saturation
        v[static_cast<std::size_t>(i)] = x;
    }
    return v;
}

// The module's gate level: open, closed, ramps both ways, a few exact 0 and 1 stretches and a
// short stretch above 1 and below 0 (a loop should not send them, but the engines limit them).
float gateAt(int i)
{
    const int seg = (i / 256) % 8;
    const float r = static_cast<float>(i % 256) / 256.0f;
    switch (seg) {
    case 0:
        return 1.0f;
    case 1:
        return 1.0f - r;
    case 2:
        return 0.0f;
    case 3:
        return r;
    case 4:
        return 0.5f + 0.5f * zk_sinf(static_cast<float>(i) * 0.01f);
    case 5:
        return (i / 64) % 2 == 0 ? 1.0f : 0.0f;
    case 6:
        return i % 256 < 16 ? 1.25f : (i % 256 < 32 ? -0.25f : 0.8f);
    default:
        return r * r;
    }
}

// A setting swept between lo and hi by a slow triangle of the given period in ticks.
float sweep(int tick, int period, float lo, float hi)
{
    const int p = tick % period;
    const float u = static_cast<float>(p < period / 2 ? p : period - p) / (period / 2.0f);
    return lo + (hi - lo) * u;
}

// Runs the loop's pattern on a left/right pair and returns the hash of both outputs.
template <typename Engine>
std::uint64_t runPair(Engine& left, Engine& right,
                      const std::function<void(Engine&, int tick, int channel)>& control)
{
    const std::vector<float> inL = testSignal(0);
    const std::vector<float> inR = testSignal(1);
    Fnv fnv;
    for (int i = 0; i < kLength; ++i) {
        if (i % kTick == 0) {
            control(left, i / kTick, 0);
            control(right, i / kTick, 1);
        }
        const float g = gateAt(i);
        fnv.add(left.processGated(inL[static_cast<std::size_t>(i)], g));
        fnv.add(right.processGated(inR[static_cast<std::size_t>(i)], g));
    }
    return fnv.h;
}

template <typename Engine>
std::uint64_t runCase(float rate, const std::function<void(Engine&, int, int)>& control,
                      const std::function<void(Engine&, int)>& setUp = {})
{
    Engine left;
    Engine right;
    if (rate != 44100.0f) {
        left.setSampleRate(rate);
        right.setSampleRate(rate);
    }
    if (setUp) {
        setUp(left, 0);
        setUp(right, 1);
    }
    return runPair<Engine>(left, right, control);
}

using Table = std::map<std::string, std::uint64_t>;

// Every case, at 44.1 kHz and at 96 kHz.
Table computeAll()
{
    Table t;
    for (const float rate : {44100.0f, 96000.0f}) {
        const std::string sr = rate == 44100.0f ? "@44100" : "@96000";

        t["vca" + sr] = runCase<CVCAEngine>(
            rate,
            [](CVCAEngine& e, int k, int c) {
                e.setDepth(sweep(k, 40, 0.0f, 1.0f));
                e.setPan(sweep(k + c * 7, 26, 0.0f, 1.0f));
                e.setAttackTime(sweep(k, 60, 0.001f, 0.150f));
                e.setDecayTime(sweep(k, 34, 0.001f, 0.200f));
            },
            [](CVCAEngine& e, int c) { e.setChannelConstant(static_cast<float>(c)); });

        for (int type = 0; type < 6; ++type) {
            for (const float res : {0.0f, 0.6f, 1.0f}) {
                const std::string name = "filter" + std::to_string(type) + "_res" +
                                         std::to_string(static_cast<int>(res * 10.0f)) + sr;
                t[name] = runCase<CFilterEngine>(
                    rate,
                    [res](CFilterEngine& e, int k, int c) {
                        // Log sweep 20 Hz .. 30 kHz (past Nyquist at 44.1 kHz), one bad value.
                        float hz = 20.0f * zk_powf(1500.0f, sweep(k + c * 3, 64, 0.0f, 1.0f));
                        if (k == 101)
                            hz = std::numeric_limits<float>::quiet_NaN();
                        e.setFrequency(hz);
                        e.setResonance(res == 0.6f ? sweep(k, 48, 0.0f, 1.0f) : res);
                    },
                    [type](CFilterEngine& e, int) {
                        e.selectType(static_cast<std::uint16_t>(type));
                    });
            }
        }
        // Type changes while running, including a request above 5.
        t["filter_switching" + sr] =
            runCase<CFilterEngine>(rate, [](CFilterEngine& e, int k, int c) {
                if (k % 24 == 0)
                    e.selectType(static_cast<std::uint16_t>((k / 24 + c) % 7));
                e.setFrequency(200.0f + 40.0f * static_cast<float>(k));
                e.setResonance(sweep(k, 30, 0.0f, 1.0f));
            });

        // Echo, chorus, flange (times moving every tick), zero and over-long times.
        const struct
        {
            const char* name;
            float base, depth;
            int period;
        } delays[] = {{"echo", 60.0f, 0.0f, 1},       {"slapback", 80.0f, 30.0f, 90},
                      {"chorus", 18.0f, 6.0f, 20},    {"flange", 2.5f, 2.0f, 12},
                      {"zero", 0.0f, 0.0f, 1},        {"beyond_line", 3266.0f, 0.0f, 1},
                      {"wide_sweep", 60.0f, 55.0f, 8}};
        for (const auto& d : delays) {
            t[std::string("delay_") + d.name + sr] =
                runCase<CDelayEngine>(rate, [d](CDelayEngine& e, int k, int c) {
                    e.setDelayTime(d.base + sweep(k + c * 2, d.period + 1, -d.depth, d.depth));
                    e.setFeedback(sweep(k, 44, 0.0f, 1.0f));
                    e.setSend(sweep(k, 30, 0.2f, 1.0f));
                });
        }

        // A static time (the glide at rest) across a reset and a change of rate, both of
        // which move the line's positions under a running echo.
        t["delay_reset_midway" + sr] =
            runCase<CDelayEngine>(rate, [](CDelayEngine& e, int k, int c) {
                if (k == 100 + c)
                    e.reset();
                e.setDelayTime(25.0f);
                e.setFeedback(0.6f);
                e.setSend(0.8f);
            });
        t["delay_rate_change" + sr] =
            runCase<CDelayEngine>(rate, [rate](CDelayEngine& e, int k, int) {
                if (k == 90)
                    e.setSampleRate(rate == 44100.0f ? 48000.0f : 44100.0f);
                e.setDelayTime(k < 120 ? 25.0f : 12.5f);
                e.setFeedback(0.6f);
                e.setSend(0.8f);
            });

        t["shift" + sr] =
            runCase<CFreqShifterEngine>(rate, [](CFreqShifterEngine& e, int k, int c) {
                e.setShiftFrequency(sweep(k + c, 80, -810.0f, 810.0f));
                e.setFeedback(sweep(k, 36, 0.0f, 1.0f));
                e.setMix(sweep(k, 52, 0.0f, 1.0f));
            });
        t["shift_feedback_full" + sr] =
            runCase<CFreqShifterEngine>(rate, [](CFreqShifterEngine& e, int k, int) {
                e.setShiftFrequency(k < 96 ? 37.0f : -450.0f);
                e.setFeedback(1.0f);
                e.setMix(1.0f);
            });

        // The distortion and the crusher do not depend on the rate.
        if (rate != 44100.0f)
            continue;
        t["distort" + sr] = runCase<CDistortEngine>(rate, [](CDistortEngine& e, int k, int c) {
            e.setFuzz(sweep(k + c * 5, 50, 0.0f, 1.0f));
            e.setWarp(sweep(k, 70, 0.5f, 4.5f));
        });

        for (const float depth : {24.0f, 17.0f, 12.0f, 8.0f, 6.0f, 3.0f, 1.0f}) {
            for (const float error : {0.0f, 1.0f, 7.0f, 100.0f}) {
                const std::string name = "bits_d" + std::to_string(static_cast<int>(depth)) + "_e" +
                                         std::to_string(static_cast<int>(error)) + sr;
                t[name] = runCase<CBitsEngine>(rate, [depth, error](CBitsEngine& e, int k, int) {
                    e.setBitDepth(depth);
                    e.setError(error);
                    e.setRate(sweep(k, 40, 0.01f, 1.0f));
                });
            }
        }
        t["bits_sweep" + sr] = runCase<CBitsEngine>(rate, [](CBitsEngine& e, int k, int c) {
            e.setBitDepth(sweep(k + c, 50, 0.0f, 24.0f));
            e.setError(sweep(k, 30, 0.0f, 100.0f));
            e.setRate(sweep(k, 22, 0.01f, 1.0f));
        });
    }
    return t;
}

Table readTable()
{
    Table t;
    std::ifstream in(goldenPath());
    std::string name, hex;
    while (in >> name >> hex)
        t[name] = std::stoull(hex, nullptr, 16);
    return t;
}

void writeTable(const Table& t)
{
    std::filesystem::create_directories(goldenPath().parent_path());
    std::ofstream out(goldenPath());
    for (const auto& [name, h] : t) {
        char buf[17];
        std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(h));
        out << name << ' ' << buf << '\n';
    }
}

TEST(EngineGolden, EveryEngineMatchesItsRecordedOutputBitForBit)
{
    const Table now = computeAll();
    if (regenerating()) {
        writeTable(now);
        GTEST_SKIP() << "golden table written to " << goldenPath();
    }
    const Table golden = readTable();
    ASSERT_EQ(golden.size(), now.size()) << "table " << goldenPath() << " is missing or stale";
    for (const auto& [name, h] : now) {
        const auto it = golden.find(name);
        ASSERT_NE(it, golden.end()) << name << " has no recorded output";
        EXPECT_EQ(it->second, h) << name << ": output bits differ from the recorded ones";
    }
}

// The record must depend on every output sample: one changed bit anywhere changes the hash,
// and the cases really differ from each other (a constant hash would pass any comparison).
TEST(EngineGolden, HashesSeeEveryBitAndCasesDiffer)
{
    Fnv a, b;
    for (int i = 0; i < 100; ++i) {
        const float v = static_cast<float>(i) * 0.01f;
        a.add(v);
        b.add(i == 57 ? std::nextafter(v, 1.0f) : v);
    }
    EXPECT_NE(a.h, b.h);

    const Table now = computeAll();
    std::map<std::uint64_t, std::string> seen;
    for (const auto& [name, h] : now) {
        const auto [it, fresh] = seen.emplace(h, name);
        EXPECT_TRUE(fresh) << name << " gives the same output as " << it->second;
    }
}

} // namespace
