#include "tools/morvek2/analysis.h"

#include <ebur128.h>
#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <stdexcept>

namespace morvek2::cli {

namespace {

const std::vector<float>& side(const Channels& audio, std::size_t c)
{
    return audio[std::min(c, audio.size() - 1)];
}

double toDb(double power)
{
    return power > 0.0 ? 10.0 * std::log10(power) : -HUGE_VAL;
}

struct Loudness
{
    double lufs = -HUGE_VAL;
    double truePeakDbfs = -HUGE_VAL;
};

Loudness loudness(const Channels& audio, double sampleRate)
{
    const std::size_t frames = audio[0].size();
    ebur128_state* state = ebur128_init(2, static_cast<unsigned long>(sampleRate),
                                        EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK);
    if (!state) {
        throw std::runtime_error("libebur128 could not start");
    }
    std::vector<float> interleaved(2 * frames);
    for (std::size_t f = 0; f < frames; ++f) {
        interleaved[2 * f] = side(audio, 0)[f];
        interleaved[2 * f + 1] = side(audio, 1)[f];
    }
    Loudness result;
    if (ebur128_add_frames_float(state, interleaved.data(), frames) == EBUR128_SUCCESS) {
        if (ebur128_loudness_global(state, &result.lufs) != EBUR128_SUCCESS) {
            result.lufs = -HUGE_VAL;
        }
        double highest = 0.0;
        for (unsigned c = 0; c < 2; ++c) {
            double peak = 0.0;
            if (ebur128_true_peak(state, c, &peak) == EBUR128_SUCCESS) {
                highest = std::max(highest, peak);
            }
        }
        result.truePeakDbfs = 20.0 * std::log10(std::max(highest, 1e-30));
    }
    ebur128_destroy(&state);
    return result;
}

// FFTW's plans are not thread-safe to make; every caller here is on one thread.
struct FftwFree
{
    void operator()(void* p) const { fftw_free(p); }
};

// The probes carry no DC of their own, so whatever offset a render carries is the program's.
void removeMean(std::vector<float>& samples)
{
    if (samples.empty()) {
        return;
    }
    double sum = 0.0;
    for (const float x : samples) {
        sum += x;
    }
    const auto mean = static_cast<float>(sum / static_cast<double>(samples.size()));
    for (float& x : samples) {
        x -= mean;
    }
}

} // namespace

std::vector<double> powerSpectrum(const std::vector<float>& samples)
{
    const std::size_t n = samples.size();
    if (n < 2) {
        return std::vector<double>(n / 2 + 1, 0.0);
    }
    std::unique_ptr<double, FftwFree> in(static_cast<double*>(fftw_malloc(sizeof(double) * n)));
    std::unique_ptr<fftw_complex, FftwFree> out(
        static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * (n / 2 + 1))));
    fftw_plan plan = fftw_plan_dft_r2c_1d(static_cast<int>(n), in.get(), out.get(), FFTW_ESTIMATE);
    for (std::size_t i = 0; i < n; ++i) {
        in.get()[i] = samples[i];
    }
    fftw_execute(plan);
    fftw_destroy_plan(plan);
    std::vector<double> power(n / 2 + 1);
    for (std::size_t k = 0; k < power.size(); ++k) {
        const double re = out.get()[k][0];
        const double im = out.get()[k][1];
        power[k] = re * re + im * im;
    }
    return power;
}

std::vector<double> autocorrelation(const std::vector<float>& samples, std::size_t maxLag)
{
    std::size_t n = 2;
    while (n < samples.size() + maxLag + 1) {
        n *= 2;
    }
    std::unique_ptr<double, FftwFree> time(static_cast<double*>(fftw_malloc(sizeof(double) * n)));
    std::unique_ptr<fftw_complex, FftwFree> spectrum(
        static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * (n / 2 + 1))));
    const auto size = static_cast<int>(n);
    fftw_plan forward = fftw_plan_dft_r2c_1d(size, time.get(), spectrum.get(), FFTW_ESTIMATE);
    fftw_plan backward = fftw_plan_dft_c2r_1d(size, spectrum.get(), time.get(), FFTW_ESTIMATE);
    std::fill(time.get(), time.get() + n, 0.0);
    std::copy(samples.begin(), samples.end(), time.get());
    fftw_execute(forward);
    // The power spectrum, back to time: the correlation of the signal with itself at every lag.
    for (std::size_t k = 0; k <= n / 2; ++k) {
        const double re = spectrum.get()[k][0];
        const double im = spectrum.get()[k][1];
        spectrum.get()[k][0] = re * re + im * im;
        spectrum.get()[k][1] = 0.0;
    }
    fftw_execute(backward);
    fftw_destroy_plan(forward);
    fftw_destroy_plan(backward);
    std::vector<double> r(std::min(maxLag + 1, n), 0.0);
    const double zero = time.get()[0];
    if (zero > 0.0) {
        for (std::size_t lag = 0; lag < r.size(); ++lag) {
            r[lag] = time.get()[lag] / zero;
        }
    }
    return r;
}

Measures measure(const Channels& audio, double sampleRate)
{
    Measures m;
    if (audio.empty() || audio[0].empty()) {
        return m;
    }
    const std::size_t frames = audio[0].size();
    const Loudness l = loudness(audio, sampleRate);
    m.loudnessLufs = l.lufs;
    m.truePeakDbfs = l.truePeakDbfs;

    double peak = 0.0;
    double energy[2] = {0.0, 0.0};
    for (std::size_t c = 0; c < 2; ++c) {
        double sum = 0.0;
        for (const float s : side(audio, c)) {
            peak = std::max(peak, static_cast<double>(std::fabs(s)));
            sum += s;
            energy[c] += static_cast<double>(s) * s;
        }
        const double mean = sum / static_cast<double>(frames);
        if (std::fabs(mean) > std::fabs(m.dc)) {
            m.dc = mean;
        }
    }
    m.peakDbfs = 20.0 * std::log10(std::max(peak, 1e-30));
    m.leftToRightDb = toDb(energy[0]) - toDb(energy[1]);

    std::vector<float> mid(frames);
    std::vector<float> sideSignal(frames);
    for (std::size_t f = 0; f < frames; ++f) {
        mid[f] = 0.5f * (side(audio, 0)[f] + side(audio, 1)[f]);
        sideSignal[f] = 0.5f * (side(audio, 0)[f] - side(audio, 1)[f]);
    }
    double midEnergy = 0.0;
    double sideEnergy = 0.0;
    for (std::size_t f = 0; f < frames; ++f) {
        midEnergy += static_cast<double>(mid[f]) * mid[f];
        sideEnergy += static_cast<double>(sideSignal[f]) * sideSignal[f];
    }
    m.sideToMidDb = toDb(sideEnergy) - toDb(midEnergy);

    const double binHz = sampleRate / static_cast<double>(frames);
    double total = 0.0;
    double low = 0.0;
    for (std::size_t c = 0; c < 2; ++c) {
        const std::vector<double> p = powerSpectrum(side(audio, c));
        for (std::size_t k = 0; k < p.size(); ++k) {
            total += p[k];
            if (static_cast<double>(k) * binHz < 20.0) {
                low += p[k];
            }
        }
    }
    m.below20HzShare = total > 0.0 ? low / total : 0.0;

    const std::vector<double> p = powerSpectrum(mid);
    double weighted = 0.0;
    double sum = 0.0;
    for (std::size_t k = 1; k < p.size(); ++k) {
        weighted += p[k] * static_cast<double>(k) * binHz;
        sum += p[k];
    }
    m.centroidHz = sum > 0.0 ? weighted / sum : 0.0;
    return m;
}

Channels sineSweep(double sampleRate, double seconds, double from, double to, double peakDbfs)
{
    const auto frames = static_cast<std::size_t>(seconds * sampleRate);
    const double amplitude = std::pow(10.0, peakDbfs / 20.0);
    const double k = std::log(to / from);
    std::vector<float> s(frames);
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / sampleRate;
        // Phase of an exponential sweep: the integral of from * e^(k t / T).
        const double phase = 2.0 * M_PI * from * seconds / k * (std::exp(k * t / seconds) - 1.0);
        s[i] = static_cast<float>(amplitude * std::sin(phase));
    }
    removeMean(s);
    return {s, s};
}

Channels pinkNoise(double sampleRate, double seconds, double peakDbfs)
{
    const auto frames = static_cast<std::size_t>(seconds * sampleRate);
    Channels out(2, std::vector<float>(frames));
    std::uint32_t seed = 12345u;
    for (auto& channel : out) {
        // White noise through a sum of first-order low-passes spaced an octave-and-a-half apart:
        // -3 dB per octave within 0.5 dB over the audio band.
        double b[6] = {};
        for (float& s : channel) {
            seed = seed * 1664525u + 1013904223u;
            const double white = static_cast<double>(seed >> 8) / 8388608.0 - 1.0;
            b[0] = 0.99886 * b[0] + white * 0.0555179;
            b[1] = 0.99332 * b[1] + white * 0.0750759;
            b[2] = 0.96900 * b[2] + white * 0.1538520;
            b[3] = 0.86650 * b[3] + white * 0.3104856;
            b[4] = 0.55000 * b[4] + white * 0.5329522;
            b[5] = -0.7616 * b[5] - white * 0.0168980;
            s = static_cast<float>(b[0] + b[1] + b[2] + b[3] + b[4] + b[5] + white * 0.5362);
        }
        removeMean(channel);
    }
    float peak = 0.0f;
    for (const auto& channel : out) {
        for (const float s : channel) {
            peak = std::max(peak, std::fabs(s));
        }
    }
    const auto gain = static_cast<float>(std::pow(10.0, peakDbfs / 20.0) / peak);
    for (auto& channel : out) {
        for (float& s : channel) {
            s *= gain;
        }
    }
    return out;
}

namespace {
constexpr std::size_t kWindow = 2048;
constexpr std::int64_t kHop = 512;
} // namespace

Spectrogram::Spectrogram(std::int64_t totalFrames, int columns, double sampleRate)
    : totalFrames_(std::max<std::int64_t>(totalFrames, 1)), columns_(std::max(columns, 1)),
      sampleRate_(sampleRate), ring_(kWindow, 0.0f),
      levels_(static_cast<std::size_t>(columns_) * kBands, 0.0f), bandOfBin_(kWindow / 2 + 1, -1)
{
    in_ = static_cast<double*>(fftw_malloc(sizeof(double) * kWindow));
    out_ = fftw_malloc(sizeof(fftw_complex) * (kWindow / 2 + 1));
    plan_ = fftw_plan_dft_r2c_1d(static_cast<int>(kWindow), in_, static_cast<fftw_complex*>(out_),
                                 FFTW_ESTIMATE);
    const double lowest = std::log(20.0);
    const double span = std::log(20000.0) - lowest;
    for (std::size_t k = 1; k < bandOfBin_.size(); ++k) {
        const double hz = static_cast<double>(k) * sampleRate / static_cast<double>(kWindow);
        if (hz >= 20.0 && hz < 20000.0) {
            bandOfBin_[k] =
                std::min(kBands - 1, static_cast<int>((std::log(hz) - lowest) / span * kBands));
        }
    }
}

Spectrogram::~Spectrogram()
{
    if (plan_) {
        fftw_destroy_plan(static_cast<fftw_plan>(plan_));
    }
    fftw_free(in_);
    fftw_free(out_);
}

Spectrogram::Spectrogram(Spectrogram&& other) noexcept
    : totalFrames_(other.totalFrames_), columns_(other.columns_), sampleRate_(other.sampleRate_),
      seen_(other.seen_), ring_(std::move(other.ring_)), levels_(std::move(other.levels_)),
      bandOfBin_(std::move(other.bandOfBin_)), in_(other.in_), out_(other.out_), plan_(other.plan_)
{
    other.in_ = nullptr;
    other.out_ = nullptr;
    other.plan_ = nullptr;
}

void Spectrogram::add(const Channels& audio, std::size_t frames)
{
    if (audio.empty()) {
        return;
    }
    for (std::size_t f = 0; f < frames; ++f) {
        ring_[static_cast<std::size_t>(seen_ % static_cast<std::int64_t>(kWindow))] =
            0.5f * (side(audio, 0)[f] + side(audio, 1)[f]);
        ++seen_;
        if (seen_ % kHop == 0) {
            analyseWindow();
        }
    }
}

void Spectrogram::analyseWindow()
{
    // The window ends at the newest frame; oldest first.
    for (std::size_t i = 0; i < kWindow; ++i) {
        const std::int64_t frame =
            seen_ - static_cast<std::int64_t>(kWindow) + static_cast<std::int64_t>(i);
        const double w = 0.5 - 0.5 * std::cos(2.0 * M_PI * static_cast<double>(i) / kWindow);
        const float s =
            frame < 0 ? 0.0f
                      : ring_[static_cast<std::size_t>(frame % static_cast<std::int64_t>(kWindow))];
        in_[i] = std::isfinite(s) ? w * s : 0.0;
    }
    fftw_execute(static_cast<fftw_plan>(plan_));
    const auto* out = static_cast<const fftw_complex*>(out_);
    // The column of the window's middle.
    const std::int64_t middle =
        std::max<std::int64_t>(0, seen_ - static_cast<std::int64_t>(kWindow) / 2);
    const auto column = static_cast<std::size_t>(
        std::clamp<std::int64_t>(middle * columns_ / totalFrames_, 0, columns_ - 1));
    std::vector<double> bands(kBands, 0.0);
    for (std::size_t k = 1; k < bandOfBin_.size(); ++k) {
        if (bandOfBin_[k] >= 0) {
            bands[static_cast<std::size_t>(bandOfBin_[k])] +=
                out[k][0] * out[k][0] + out[k][1] * out[k][1];
        }
    }
    for (int b = 0; b < kBands; ++b) {
        float& level = levels_[column * kBands + static_cast<std::size_t>(b)];
        level = std::max(level, static_cast<float>(bands[static_cast<std::size_t>(b)]));
    }
}

float Spectrogram::levelDb(int column, int band) const
{
    const float power =
        levels_[static_cast<std::size_t>(column) * kBands + static_cast<std::size_t>(band)];
    // Full scale: a sine at amplitude 1 puts about (window sum / 2)^2 into its band.
    constexpr double kFullScale = (kWindow / 4.0) * (kWindow / 4.0);
    return power > 0.0f ? static_cast<float>(10.0 * std::log10(power / kFullScale)) : -200.0f;
}

std::string analyseHeading()
{
    return "prog  name                     LU/byp   peak  sweep   pink  truepk        DC  <20Hz  "
           "centroid  S/M dB  L/R dB";
}

std::string analyseLine(const AnalyseRow& r)
{
    char line[256];
    std::snprintf(line, sizeof line,
                  "%4d  %-23s %+7.1f %6.1f %6.1f %6.1f %7.1f %+9.1e %5.1f%%  %4.0f>%-5.0f "
                  "%+5.0f>%+4.0f %+6.1f",
                  r.program, r.name.c_str(), r.demo.loudnessLufs - r.dry.loudnessLufs,
                  r.demo.peakDbfs, r.sweepPeakDbfs, r.pinkPeakDbfs, r.truePeakDbfs, r.demo.dc,
                  100.0 * r.demo.below20HzShare, r.dry.centroidHz, r.demo.centroidHz,
                  std::max(r.dry.sideToMidDb, -99.0), std::max(r.demo.sideToMidDb, -99.0),
                  r.demo.leftToRightDb);
    return line;
}

} // namespace morvek2::cli
