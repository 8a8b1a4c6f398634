// Measuring what a program does to a signal, the way a producer auditioning presets judges it:
// integrated loudness against the dry signal and true peak (libebur128), sample peak, DC, the share
// of energy below 20 Hz, the spectral centroid and the stereo image (spectra through FFTW).
#pragma once

#include "host/render.h"

#include <cmath>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace morvek2::cli {

using Channels = host::AudioChannels;

struct Measures
{
    double loudnessLufs = -HUGE_VAL; // integrated, ITU-R BS.1770; -inf for silence
    double peakDbfs = -HUGE_VAL;     // highest sample of either channel
    // Highest peak of either channel between the samples too (4x oversampled below 96 kHz, as
    // a limiter or an encoder reconstructs it), never below peakDbfs.
    double truePeakDbfs = -HUGE_VAL;
    double dc = 0.0;                // the larger of the channels' means, with its sign
    double below20HzShare = 0.0;    // energy below 20 Hz over all energy, 0..1
    double centroidHz = 0.0;        // spectral centroid of the mid signal
    double sideToMidDb = -HUGE_VAL; // side energy against mid energy
    double leftToRightDb = 0.0;     // left energy against right energy
};

// Both channels must have the same length; a mono buffer counts as both sides.
Measures measure(const Channels& audio, double sampleRate);

// Power spectrum of one channel (|X(k)|^2 for k = 0..n/2), whole signal at once.
std::vector<double> powerSpectrum(const std::vector<float>& samples);

// Autocorrelation of one channel for lags 0..maxLag samples, over lag 0's value (0 for silence).
// Zero-padded, so no lag wraps round the end: an echo after t seconds is a peak at t.
std::vector<double> autocorrelation(const std::vector<float>& samples, std::size_t maxLag);

// Test signals, stereo, peak-normalised: a logarithmic sine sweep from `from` to `to` Hz and pink
// noise (fixed seed, so every run is the same).
Channels sineSweep(double sampleRate, double seconds, double from, double to, double peakDbfs);
Channels pinkNoise(double sampleRate, double seconds, double peakDbfs);

// Band levels over time for a picture: the mid signal in 2048-frame Hann windows every 512
// frames, gathered into `columns` columns over the render and into log-spaced bands from 20 Hz
// to 20 kHz (the strongest window of each column). Memory grows with the columns, not with the
// length of the render.
class Spectrogram
{
public:
    static constexpr int kBands = 72;

    Spectrogram(std::int64_t totalFrames, int columns, double sampleRate);
    ~Spectrogram();
    Spectrogram(Spectrogram&& other) noexcept;
    Spectrogram& operator=(Spectrogram&&) = delete;
    Spectrogram(const Spectrogram&) = delete;

    // Frames in order, left and right (a mono buffer counts as both).
    void add(const Channels& audio, std::size_t frames);
    int columns() const { return columns_; }
    // Level of band b in column c, in dB (very low where nothing sounded).
    float levelDb(int column, int band) const;

private:
    void analyseWindow();

    std::int64_t totalFrames_;
    int columns_;
    double sampleRate_;
    std::int64_t seen_ = 0;
    std::vector<float> ring_;
    std::vector<float> levels_; // columns x bands, power
    std::vector<int> bandOfBin_;
    double* in_ = nullptr;
    void* out_ = nullptr;
    void* plan_ = nullptr;
};

struct AnalyseRow
{
    int program = 0;
    std::string name;
    Measures dry;  // the demo through the bypassed effect
    Measures demo; // the demo through the program
    double sweepPeakDbfs = 0.0;
    double pinkPeakDbfs = 0.0;
    double truePeakDbfs = 0.0; // the highest true peak of the demo, the sweep and the noise
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
