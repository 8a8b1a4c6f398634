// Measuring what a program does to a signal, the way a producer auditioning presets judges it:
// integrated loudness against the dry signal (libebur128), sample peak, DC, the share of energy
// below 20 Hz, the spectral centroid and the stereo image (spectra through FFTW).
#pragma once

#include "host/render.h"

#include <cmath>

#include <optional>
#include <string>
#include <vector>

namespace morvek2::cli {

using Channels = host::AudioChannels;

struct Measures
{
    double loudnessLufs = -HUGE_VAL; // integrated, ITU-R BS.1770; -inf for silence
    double peakDbfs = -HUGE_VAL;     // highest sample of either channel
    double dc = 0.0;                 // the larger of the channels' means, with its sign
    double below20HzShare = 0.0;     // energy below 20 Hz over all energy, 0..1
    double centroidHz = 0.0;         // spectral centroid of the mid signal
    double sideToMidDb = -HUGE_VAL;  // side energy against mid energy
    double leftToRightDb = 0.0;      // left energy against right energy
};

// Both channels must have the same length; a mono buffer counts as both sides.
Measures measure(const Channels& audio, double sampleRate);

// Power spectrum of one channel (|X(k)|^2 for k = 0..n/2), whole signal at once.
std::vector<double> powerSpectrum(const std::vector<float>& samples);

// Test signals, stereo, peak-normalised: a logarithmic sine sweep from `from` to `to` Hz and pink
// noise (fixed seed, so every run is the same).
Channels sineSweep(double sampleRate, double seconds, double from, double to, double peakDbfs);
Channels pinkNoise(double sampleRate, double seconds, double peakDbfs);

struct AnalyseRow
{
    int program = 0;
    std::string name;
    Measures dry;  // the demo through the bypassed effect
    Measures demo; // the demo through the program
    double sweepPeakDbfs = 0.0;
    double pinkPeakDbfs = 0.0;
};

// Renders the demo, the sweep and the noise through the module with the state `prepare` sets
// (a fresh instance for each, so no program hears another's tail).
struct AnalyseInput
{
    std::string modulePath;
    double sampleRate = 44100.0;
    double bpm = 120.0;
    int bars = 8;
    double probeSeconds = 4.0;
};

std::string analyseHeading();
std::string analyseLine(const AnalyseRow& row);

} // namespace morvek2::cli
