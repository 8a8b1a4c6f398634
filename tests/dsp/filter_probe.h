#pragma once

// Small measuring helpers for the filter and engine tests.

#include "dsp/zksp_block.h"

#include <cmath>
#include <complex>
#include <cstdint>
#include <functional>

namespace filter_probe {

constexpr double kPi = 3.14159265358979323846;

// Steady-state gain of `proc` for a sine of `hz` at `rate`: settles for `settle` samples,
// then correlates over whole periods' worth of samples.
inline double sineGain(const std::function<float(float)>& proc, double hz, double rate,
                       double amplitude = 0.25, int settle = 0, int measure = 0)
{
    const double w = 2.0 * kPi * hz / rate;
    if (settle <= 0)
        settle = static_cast<int>(rate * 0.5);
    if (measure <= 0) {
        // At least 0.25 s and at least 40 periods.
        measure = static_cast<int>(std::max(rate * 0.25, 40.0 * rate / hz));
        const double period = rate / hz;
        measure = static_cast<int>(std::floor(measure / period) * period);
        if (measure < 64)
            measure = 64;
    }
    for (int i = 0; i < settle; ++i)
        proc(static_cast<float>(amplitude * std::sin(w * i)));
    double s = 0.0, c = 0.0;
    for (int i = settle; i < settle + measure; ++i) {
        const double y = proc(static_cast<float>(amplitude * std::sin(w * i)));
        s += y * std::sin(w * i);
        c += y * std::cos(w * i);
    }
    return 2.0 * std::sqrt(s * s + c * c) / measure / amplitude;
}

// |H| of a biquad with normalised coefficients at angular frequency w.
inline double biquadGain(double b0, double b1, double b2, double a1, double a2, double w)
{
    const std::complex<double> z1 = std::polar(1.0, -w);
    const std::complex<double> z2 = z1 * z1;
    return std::abs((b0 + b1 * z1 + b2 * z2) / (1.0 + a1 * z1 + a2 * z2));
}

// Largest pole radius of z^2 + a1 z + a2.
inline double poleRadius(double a1, double a2)
{
    const double d = a1 * a1 - 4.0 * a2;
    if (d < 0.0)
        return std::sqrt(a2);
    const double s = std::sqrt(d);
    return std::max(std::fabs((-a1 + s) * 0.5), std::fabs((-a1 - s) * 0.5));
}

inline double dB(double g)
{
    return 20.0 * std::log10(g);
}

// Deterministic white noise in [-1, 1).
struct Noise
{
    std::uint32_t s = 0x12345678u;
    float next()
    {
        s = s * 1664525u + 1013904223u;
        return static_cast<float>(static_cast<std::int32_t>(s)) * (1.0f / 2147483648.0f);
    }
};

inline bool normalOrZero(double v)
{
    const int c = std::fpclassify(v);
    return c == FP_NORMAL || c == FP_ZERO;
}

} // namespace filter_probe
