// Every factory program through the built module and the offline renderer, one row per preset
// file: it must sit at a level a producer can A/B against bypass, never clip on the demo, a sine
// sweep or pink noise, keep its true peak below full scale on every input it hears here, carry
// no DC or rumble, and do in numbers what its name promises.
#include "params/Morvek2ParameterManager.h"
#include "params/Morvek2Params.h"
#include "tools/morvek2/analysis.h"
#include "tools/morvek2/demo.h"
#include "tools/morvek2/preset_text.h"
#include "tools/morvek2/session.h"
#include "tools/presetgen/preset_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

using namespace morvek2::param;

namespace {

namespace fs = std::filesystem;
using morvek2::cli::Channels;
using morvek2::cli::Measures;

constexpr double kRate = 44100.0;
constexpr double kProbeSeconds = 2.0;
constexpr double kSweepSeconds = 10.0;

std::vector<std::string> presetFiles()
{
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(MORVEK2_PRESET_DIR)) {
        if (entry.path().extension() == ".txt") {
            files.push_back(entry.path().string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

const Channels& demo()
{
    static const Channels audio = [] {
        const std::vector<float> interleaved = morvek2::cli::synthesizeDemo({});
        Channels out(2, std::vector<float>(interleaved.size() / 2));
        for (std::size_t f = 0; f < out[0].size(); ++f) {
            out[0][f] = interleaved[2 * f];
            out[1][f] = interleaved[2 * f + 1];
        }
        return out;
    }();
    return audio;
}

Channels sine(double hz, double seconds)
{
    std::vector<float> s(static_cast<std::size_t>(seconds * kRate));
    for (std::size_t i = 0; i < s.size(); ++i) {
        s[i] = static_cast<float>(0.5 * std::sin(2.0 * M_PI * hz * static_cast<double>(i) / kRate));
    }
    return {s, s};
}

// A fresh instance, program k, the transport playing from bar one at 120 beats per minute. On
// a thread of its own, so the module's per-thread random numbers start where they always do and
// a program's random steps do not depend on which programs ran before it.
Channels renderOnThisThread(int program, const Channels& input);

Channels renderProgram(int program, const Channels& input)
{
    Channels out;
    std::thread([&] { out = renderOnThisThread(program, input); }).join();
    return out;
}

Channels renderOnThisThread(int program, const Channels& input)
{
    morvek2::cli::Session session(morvek2::cli::Session::defaultModulePath());
    session.start(kRate, 512);
    morvek2::host::Instance& plugin = session.plugin();
    plugin.setProgram(program);
    morvek2::host::Transport& transport = plugin.transport();
    transport.setSampleRate(kRate);
    transport.setTempo(120.0);
    transport.setTimeSignature(4, 4);
    transport.locate(0.0);
    transport.setPlaying(true);
    morvek2::host::InstanceRenderOptions options;
    options.blockSizes = {512};
    Channels out = morvek2::host::render(plugin, input, options);
    out.resize(2);
    return out;
}

// Energy within `width` Hz of `hz`, over all energy, through a Hann window so a strong tone a
// few hertz away does not leak into the band.
double shareNear(const std::vector<float>& samples, double hz, double width)
{
    std::vector<float> windowed(samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double w = 0.5 - 0.5 * std::cos(2.0 * M_PI * static_cast<double>(i) /
                                              static_cast<double>(samples.size()));
        windowed[i] = static_cast<float>(w * samples[i]);
    }
    const std::vector<double> p = morvek2::cli::powerSpectrum(windowed);
    const double binHz = kRate / static_cast<double>(samples.size());
    double near = 0.0;
    double total = 0.0;
    for (std::size_t k = 1; k < p.size(); ++k) {
        total += p[k];
        if (std::fabs(static_cast<double>(k) * binHz - hz) <= width) {
            near += p[k];
        }
    }
    return total > 0.0 ? near / total : 0.0;
}

// Mean distance, in log frequency, between the spectral centroids of the dry and the processed
// mid signal over frames of about 93 ms (silent frames left out).
double meanCentroidMove(const Channels& dry, const Channels& wet)
{
    constexpr std::size_t kFrame = 4096;
    const auto centroid = [](const Channels& audio, std::size_t first) {
        std::vector<float> mid(kFrame);
        for (std::size_t i = 0; i < kFrame; ++i) {
            mid[i] = 0.5f * (audio[0][first + i] + audio[1][first + i]);
        }
        const std::vector<double> p = morvek2::cli::powerSpectrum(mid);
        double weighted = 0.0;
        double sum = 0.0;
        for (std::size_t k = 1; k < p.size(); ++k) {
            weighted += p[k] * static_cast<double>(k);
            sum += p[k];
        }
        return sum > 1e-9 ? weighted / sum : 0.0;
    };
    double total = 0.0;
    int frames = 0;
    for (std::size_t first = 0; first + kFrame <= dry[0].size(); first += kFrame) {
        const double a = centroid(dry, first);
        const double b = centroid(wet, first);
        if (a > 0.0 && b > 0.0) {
            total += std::fabs(std::log(b / a));
            ++frames;
        }
    }
    return frames > 0 ? total / frames : 0.0;
}

// How far the left-to-right balance of the processed signal swings against the dry one's,
// in dB, over quarter-second frames.
double balanceSwing(const Channels& dry, const Channels& wet)
{
    constexpr std::size_t kFrame = 11025;
    const auto balance = [](const Channels& audio, std::size_t first) {
        double l = 1e-12;
        double r = 1e-12;
        for (std::size_t i = first; i < first + kFrame; ++i) {
            l += static_cast<double>(audio[0][i]) * audio[0][i];
            r += static_cast<double>(audio[1][i]) * audio[1][i];
        }
        return 10.0 * std::log10(l / r);
    };
    double lowest = HUGE_VAL;
    double highest = -HUGE_VAL;
    for (std::size_t first = 0; first + kFrame <= dry[0].size(); first += kFrame) {
        const double d = balance(wet, first) - balance(dry, first);
        lowest = std::min(lowest, d);
        highest = std::max(highest, d);
    }
    return highest - lowest;
}

// White noise, the same both sides and every run: its only correlation is at lag 0, so an
// echo in what comes out is a peak of the output's autocorrelation at the echo's time.
Channels whiteNoise(double seconds)
{
    std::vector<float> s(static_cast<std::size_t>(seconds * kRate));
    std::uint32_t seed = 2024u;
    for (float& x : s) {
        seed = seed * 1664525u + 1013904223u;
        x = 0.25f * (static_cast<float>(seed >> 8) / 8388608.0f - 1.0f);
    }
    return {s, s};
}

// Samples of one step of step-size position `size` at 120 beats per minute.
double stepSamples(int size)
{
    return Morvek2ParameterManager::kStepLengths64[size] * (60.0 / 120.0 / 16.0) * kRate;
}

// How closely the output's level, step by step, follows a lane's gates: the correlation of
// each step's energy (both sides, in dB) with its gate (1 or 0), and the mean level of the
// open steps over that of the closed ones. The lane starts on its first step at bar one and
// again at every reset (`resetSamples`, 0 for none); forward and backward lanes only.
struct GateFollow
{
    double correlation = 0.0;
    double contrastDb = 0.0;
};

GateFollow gateFollow(const Channels& out, const presetfile::Lane& lane, double resetSamples,
                      int shift = 0)
{
    const double step = stepSamples(lane.header[3]);
    const int length = lane.header[1];
    const bool backward = lane.header[2] == 1;
    const double frames = static_cast<double>(out[0].size());
    const double period = resetSamples > 0.0 ? resetSamples : frames;
    std::vector<double> level;
    std::vector<double> gate;
    for (double start = 0.0; start < frames; start += period) {
        for (int j = 0;; ++j) {
            const double from = start + j * step;
            const double to = from + step;
            if (to > std::min(start + period, frames)) {
                break;
            }
            double energy = 1e-12;
            for (auto i = static_cast<std::size_t>(from); i < static_cast<std::size_t>(to); ++i) {
                energy += static_cast<double>(out[0][i]) * out[0][i] +
                          static_cast<double>(out[1][i]) * out[1][i];
            }
            const int position =
                backward ? length - 1 - (j + shift) % length : (j + shift) % length;
            level.push_back(10.0 * std::log10(energy / step));
            gate.push_back((lane.flags[position] & 1u) ? 1.0 : 0.0);
        }
    }
    const auto n = static_cast<double>(level.size());
    double ml = 0.0;
    double mg = 0.0;
    for (std::size_t i = 0; i < level.size(); ++i) {
        ml += level[i] / n;
        mg += gate[i] / n;
    }
    double sxy = 0.0;
    double sxx = 0.0;
    double syy = 0.0;
    double on = 0.0;
    double off = 0.0;
    for (std::size_t i = 0; i < level.size(); ++i) {
        sxy += (level[i] - ml) * (gate[i] - mg);
        sxx += (level[i] - ml) * (level[i] - ml);
        syy += (gate[i] - mg) * (gate[i] - mg);
        (gate[i] > 0.5 ? on : off) += level[i];
    }
    GateFollow f;
    f.correlation = sxx > 0.0 && syy > 0.0 ? sxy / std::sqrt(sxx * syy) : 0.0;
    const double opened = mg * n;
    f.contrastDb = on / opened - off / (n - opened);
    return f;
}

// The strongest echo of the mid output between `nearMs` and `farMs` (a peak of its
// autocorrelation), over the median of all lags from 15 ms to `searchMs`, and over the
// strongest peak from 15 ms up to `nearMs` (an earlier echo whose repeats only pass by).
struct Echo
{
    double overMedian = 0.0;
    double overEarlier = 0.0;
};

Echo echoAt(const Channels& out, double nearMs, double farMs, double searchMs)
{
    std::vector<float> mid(out[0].size());
    for (std::size_t i = 0; i < mid.size(); ++i) {
        mid[i] = 0.5f * (out[0][i] + out[1][i]);
    }
    const auto lag = [](double ms) { return static_cast<std::size_t>(ms * kRate / 1000.0); };
    const std::vector<double> r = morvek2::cli::autocorrelation(mid, lag(searchMs));
    double peak = 0.0;
    for (std::size_t t = lag(nearMs); t <= lag(farMs) && t < r.size(); ++t) {
        peak = std::max(peak, std::fabs(r[t]));
    }
    double earlier = 0.0;
    for (std::size_t t = lag(15.0); t < lag(nearMs) && t < r.size(); ++t) {
        earlier = std::max(earlier, std::fabs(r[t]));
    }
    std::vector<double> magnitude;
    for (std::size_t t = lag(15.0); t < r.size(); ++t) {
        magnitude.push_back(std::fabs(r[t]));
    }
    std::nth_element(magnitude.begin(), magnitude.begin() + magnitude.size() / 2, magnitude.end());
    const double median = magnitude[magnitude.size() / 2];
    return {median > 0.0 ? peak / median : 0.0, earlier > 0.0 ? peak / earlier : HUGE_VAL};
}

class Bank : public ::testing::TestWithParam<int>
{
protected:
    static void SetUpTestSuite() { files_ = presetFiles(); }
    static std::vector<std::string> files_;
};
std::vector<std::string> Bank::files_;

TEST_P(Bank, ProgramKeepsItsLevelsAndItsPromise)
{
    if (!fs::exists(morvek2::cli::Session::defaultModulePath())) {
        GTEST_SKIP() << "the Morvek2 module is not built beside the tests";
    }
    ASSERT_EQ(files_.size(), 40u);
    const int k = GetParam();
    const std::string& file = files_[static_cast<std::size_t>(k)];
    SCOPED_TRACE(file);
    const presetfile::Program p = presetfile::readProgram(file);
    const auto given = [&p](int index) { return p.given[static_cast<std::size_t>(index)]; };
    const auto value = [&p](int index) { return p.values[static_cast<std::size_t>(index)]; };
    const auto gated = [&p](int module) {
        const presetfile::Lane& lane = p.lanes[module];
        for (int s = 0; s < lane.header[1]; ++s) {
            if (lane.flags[s] & 1u) {
                return true;
            }
        }
        return false;
    };

    // Whatever the input, what a limiter or an encoder reconstructs between the samples stays
    // below full scale.
    const auto measured = [](const Channels& rendered, const char* input) {
        const Measures m = morvek2::cli::measure(rendered, kRate);
        EXPECT_LE(m.truePeakDbfs, 0.0) << "true peak on " << input;
        return m;
    };

    const Measures dry = morvek2::cli::measure(demo(), kRate);
    const Channels out = renderProgram(k, demo());
    const Measures wet = measured(out, "the demo");
    const double lu = wet.loudnessLufs - dry.loudnessLufs;
    EXPECT_NEAR(lu, p.levelLu, 2.0) << "loudness against bypass, declared " << p.levelLu << " LU";
    EXPECT_LE(wet.peakDbfs, -1.0) << "sample peak on the demo";
    EXPECT_LE(std::fabs(wet.dc), 1e-3) << "DC on the demo";
    EXPECT_LE(wet.below20HzShare, 0.05) << "energy below 20 Hz on the demo";

    // Ten seconds, so that each lane plays through every part of the band: a resonance that
    // overshoots only where a step meets its frequency is found.
    const Channels sweep = morvek2::cli::sineSweep(kRate, kSweepSeconds, 40.0, 10000.0, -6.0);
    const Measures swept = measured(renderProgram(k, sweep), "a -6 dBFS sine sweep");
    EXPECT_LE(swept.peakDbfs, 0.0) << "sample peak on a -6 dBFS sine sweep";
    EXPECT_LE(std::fabs(swept.dc), 1e-3) << "DC on a -6 dBFS sine sweep";
    const Channels pink = morvek2::cli::pinkNoise(kRate, kProbeSeconds, -12.0);
    const Channels pinkOut = renderProgram(k, pink);
    EXPECT_LE(measured(pinkOut, "-12 dBFS pink noise").peakDbfs, 0.0)
        << "sample peak on -12 dBFS pink noise";

    // The program's values as the plug-in holds them, in the order a program change sets them.
    Morvek2ParameterManager pm;
    for (int i = 0; i < presetfile::kParams; ++i) {
        pm.setValue(i, value(i));
    }
    pm.setDelayTimeBase(60000.0f / 120.0f);

    // Promises, from what the file sets. A filter that plays (not a 40 Hz DC guard) moves the
    // spectral centroid, frame by frame, against the dry demo's.
    if (given(kFilterFreq) && value(kFilterFreq) > 0.05f && gated(1)) {
        EXPECT_GT(meanCentroidMove(demo(), out), std::log(1.15))
            << "the filter leaves the centroid where it was";
    }
    // A pan that moves changes the balance of the sides over time.
    if (given(kVcaPanMod) && gated(0)) {
        EXPECT_GT(balanceSwing(demo(), out), 6.0) << "the image barely moves";
    }
    // A crusher at a low bit depth puts quantisation noise beside a pure tone.
    if (given(kBitsBitDepth) && gated(5)) {
        const Channels tone = renderProgram(k, sine(441.0, kProbeSeconds));
        measured(tone, "a 441 Hz tone");
        const double clean = shareNear(tone[0], 441.0, 3.0);
        EXPECT_LT(clean, 0.999) << "no noise beside the tone";
    }
    // A gate program (a VCA lane that opens and closes, deep enough to hear, its gates played
    // as written rather than re-rolled) rises and falls on steady noise with the lane's gates,
    // at the lane's step size and in its phase: the level follows the gates as laid out at
    // least as well as it follows the same pattern started on any other step.
    const presetfile::Lane& vca = p.lanes[0];
    const int vcaLength = vca.header[1];
    int opens = 0;
    for (int s = 0; s < vcaLength; ++s) {
        opens += (vca.flags[s] & 1u) ? 1 : 0;
    }
    if (opens > 0 && opens < vcaLength && vca.header[2] != 2 &&
        pm.getEngineValue(kVcaDepth) >= 0.3f && pm.getWorkingValue(kVcaGateRstRand) < 0.5f) {
        const double bar = 4.0 * 60.0 / 120.0 * kRate;
        const double reset = std::trunc(pm.getWorkingValue(kResetInterval)) * bar;
        const GateFollow f = gateFollow(pinkOut, vca, reset);
        EXPECT_GT(f.correlation, 0.35) << "the level does not follow the VCA gates";
        EXPECT_GT(f.contrastDb, 1.0) << "open and closed VCA steps sound alike";
        for (int shift = 1; shift < vcaLength; ++shift) {
            // A pattern that repeats within the lane ties with itself; any other start loses.
            EXPECT_GE(f.correlation, gateFollow(pinkOut, vca, reset, shift).correlation)
                << "the level follows the VCA gates better started " << shift << " steps on";
        }
    }
    // A delay program (Delay mode, a send, gates on its lane) echoes white noise at the time
    // its note value gives at this tempo, for one of the step values its lane plays.
    if (gated(3) && std::trunc(pm.getWorkingValue(kDelayMode)) == 0.0f &&
        pm.getEngineValue(kDelaySend) > 0.05f) {
        const presetfile::Lane& delay = p.lanes[3];
        double shortest = HUGE_VAL;
        double longest = 0.0;
        for (int s = 0; s < delay.header[1]; ++s) {
            const double ms = pm.getModulatedValue(kDelayTime, delay.values[s]);
            shortest = std::min(shortest, ms);
            longest = std::max(longest, ms);
        }
        const Channels echoed = renderProgram(k, whiteNoise(kProbeSeconds));
        measured(echoed, "white noise");
        const Echo echo =
            echoAt(echoed, shortest - 2.0, longest + 2.0, std::max(1000.0, 1.5 * longest));
        EXPECT_GT(echo.overMedian, 6.0) << "no echo stands out at " << shortest << " ms";
        EXPECT_GT(echo.overEarlier, 1.0)
            << "an earlier echo is stronger than the one at " << shortest << " ms";
    }
    // A steady shift (no step modulation of it) moves a 1 kHz tone by the set amount.
    constexpr int kShiftFreq = 60;
    const double shiftHz = (value(kShiftFreq) - 0.5) * 1600.0 + (value(kShiftFine) - 0.5) * 20.0;
    if (gated(4) && given(kShiftMix) && !given(kShiftFreqMod) && !given(kShiftFineMod) &&
        std::fabs(shiftHz) >= 2.0) {
        const Channels tone = renderProgram(k, sine(1000.0, kProbeSeconds));
        measured(tone, "a 1 kHz tone");
        const Channels input = sine(1000.0, kProbeSeconds);
        // The band holds the sidebands of a gated shift too, but never the tone itself.
        const double width = std::min(10.0, std::fabs(shiftHz) / 2.0);
        const double moved = shareNear(tone[0], 1000.0 + shiftHz, width);
        const double before = shareNear(input[0], 1000.0 + shiftHz, width);
        EXPECT_GT(moved, std::max(30.0 * before, 1e-4))
            << "nothing appears at 1000 + " << shiftHz << " Hz";
    }
}

INSTANTIATE_TEST_SUITE_P(FactoryPrograms, Bank, ::testing::Range(0, 40),
                         [](const ::testing::TestParamInfo<int>& info) {
                             char name[32];
                             std::snprintf(name, sizeof name, "Program%02d", info.param + 1);
                             return std::string(name);
                         });

} // namespace
