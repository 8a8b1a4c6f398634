#include "tools/morvek2/demo.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace morvek2::cli {

namespace {

constexpr double kTwoPi = 6.283185307179586;

// Noise of its own, so the demo does not depend on (or disturb) any other generator.
class Noise
{
public:
    float next()
    {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return static_cast<float>(state_) / 2147483648.0f - 1.0f;
    }

private:
    std::uint32_t state_ = 0x9E3779B9u;
};

// Adds one drum hit of `length` seconds at frame `at`.
template <class Voice>
void hit(std::vector<float>& out, std::size_t at, double rate, double length, float pan,
         Voice voice)
{
    const std::size_t frames = out.size() / 2;
    const auto count = static_cast<std::size_t>(length * rate);
    for (std::size_t i = 0; i < count && at + i < frames; ++i) {
        const float s = voice(static_cast<double>(i) / rate);
        out[2 * (at + i)] += s * (1.0f - pan);
        out[2 * (at + i) + 1] += s * (1.0f + pan);
    }
}

void addDrums(std::vector<float>& out, const DemoSpec& settings, double framesPerBeat, int beats)
{
    Noise noise;
    const double rate = settings.sampleRate;
    for (int beat = 0; beat < beats; ++beat) {
        const auto start = static_cast<std::size_t>(std::llround(beat * framesPerBeat));
        const int inBar = beat % settings.timeSigNumerator;
        if (inBar % 2 == 0) {
            // Kick: a sine falling from 150 Hz to 45 Hz.
            double phase = 0.0;
            hit(out, start, rate, 0.35, 0.0f, [&](double t) {
                const double f = 45.0 + 105.0 * std::exp(-t * 30.0);
                phase += kTwoPi * f / rate;
                return static_cast<float>(0.8 * std::sin(phase) * std::exp(-t * 9.0));
            });
        } else {
            // Snare: a short tone under a noise burst.
            double phase = 0.0;
            hit(out, start, rate, 0.25, 0.05f, [&](double t) {
                phase += kTwoPi * 185.0 / rate;
                const double body = 0.25 * std::sin(phase) * std::exp(-t * 25.0);
                const double hiss = 0.35 * noise.next() * std::exp(-t * 18.0);
                return static_cast<float>(body + hiss);
            });
        }
        // Hats on every half beat: noise with its low end taken away by a first difference.
        for (int half = 0; half < 2; ++half) {
            const auto at =
                start + static_cast<std::size_t>(std::llround(half * framesPerBeat / 2));
            float previous = 0.0f;
            const float level = half == 0 ? 0.12f : 0.08f;
            hit(out, at, rate, 0.06, -0.3f, [&](double t) {
                const float n = noise.next();
                const float edge = n - previous;
                previous = n;
                return static_cast<float>(level * edge * std::exp(-t * 70.0));
            });
        }
    }
}

void addPad(std::vector<float>& out, const DemoSpec& settings, double framesPerBar)
{
    // A minor, F, C, G: two bars each.
    static const double chords[4][3] = {
        {220.00, 261.63, 329.63},
        {174.61, 220.00, 261.63},
        {261.63, 329.63, 392.00},
        {196.00, 246.94, 293.66},
    };
    const double rate = settings.sampleRate;
    const std::size_t frames = out.size() / 2;
    const double chordFrames = 2.0 * framesPerBar;
    const double fade = 0.25 * rate;
    double phases[3][2] = {};
    float lowL = 0.0f;
    float lowR = 0.0f;
    // One-pole low-pass at about 1.2 kHz: a soft, dark saw pad.
    const auto smooth = static_cast<float>(1.0 - std::exp(-kTwoPi * 1200.0 / rate));
    for (std::size_t f = 0; f < frames; ++f) {
        const auto chord = static_cast<std::size_t>(static_cast<double>(f) / chordFrames) % 4;
        const double inChord = std::fmod(static_cast<double>(f), chordFrames);
        const double envelope =
            std::min({1.0, inChord / fade, (chordFrames - inChord) / fade, 1.0});
        float left = 0.0f;
        float right = 0.0f;
        for (int n = 0; n < 3; ++n) {
            // The two sides slightly detuned for width.
            for (int side = 0; side < 2; ++side) {
                const double detune = side == 0 ? 0.997 : 1.003;
                double& phase = phases[n][side];
                phase += chords[chord][n] * detune / rate;
                phase -= std::floor(phase);
                const auto saw = static_cast<float>(2.0 * phase - 1.0);
                (side == 0 ? left : right) += saw;
            }
        }
        lowL += smooth * (left - lowL);
        lowR += smooth * (right - lowR);
        out[2 * f] += static_cast<float>(0.1 * envelope) * lowL;
        out[2 * f + 1] += static_cast<float>(0.1 * envelope) * lowR;
    }
}

} // namespace

std::vector<float> synthesizeDemo(const DemoSpec& settings)
{
    // A beat is one note of the signature's denominator; the tempo counts quarter notes.
    const double quarterFrames = settings.sampleRate * 60.0 / settings.bpm;
    const double framesPerBeat = quarterFrames * 4.0 / settings.timeSigDenominator;
    const double framesPerBar = framesPerBeat * settings.timeSigNumerator;
    const auto frames = static_cast<std::size_t>(std::llround(framesPerBar * settings.bars));
    std::vector<float> out(2 * frames, 0.0f);
    addDrums(out, settings, framesPerBeat, settings.timeSigNumerator * settings.bars);
    addPad(out, settings, framesPerBar);
    // Headroom for whatever the effect adds.
    float peak = 0.0f;
    for (const float s : out) {
        peak = std::max(peak, std::fabs(s));
    }
    if (peak > 0.7f) {
        const float scale = 0.7f / peak;
        for (float& s : out) {
            s *= scale;
        }
    }
    return out;
}

} // namespace morvek2::cli
