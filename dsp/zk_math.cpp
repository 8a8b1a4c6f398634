#include "dsp/zk_math.h"

#include <cmath>
#include <limits>

namespace {

using zk_math_detail::kRoundShift;

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// ln 2 in two parts: the first has 42 significant bits, so its product with an exponent of
// up to 11 bits is exact.
constexpr double kLn2Hi = 0x1.62e42fefa38p-1;
constexpr double kLn2Lo = 0x1.ef35793c7673p-45;
constexpr double kLn2 = 0x1.62e42fefa39efp-1;
constexpr double kInvLn2 = 0x1.71547652b82fep+0;
constexpr double kSqrt2 = 0x1.6a09e667f3bcdp+0;
constexpr double kTwoPi = 0x1.921fb54442d18p+2;

// e^r for |r| <= ln(2)/2, to within about half a unit: the Taylor series to degree 13,
// whose next term is below 4e-18 there. Written as 1 + (r + r^2 P(r)) so the large
// leading terms are added last.
double expKernel(double r)
{
    const double z = r * r;
    const double z2 = z * z;
    const double z4 = z2 * z2;
    const double p01 = (1.0 / 2.0 + r * (1.0 / 6.0)) + z * (1.0 / 24.0 + r * (1.0 / 120.0));
    const double p23 =
        (1.0 / 720.0 + r * (1.0 / 5040.0)) + z * (1.0 / 40320.0 + r * (1.0 / 362880.0));
    const double p45 = (1.0 / 3628800.0 + r * (1.0 / 39916800.0)) +
                       z * (1.0 / 479001600.0 + r * (1.0 / 6227020800.0));
    const double p = p01 + z2 * p23 + z4 * p45;
    return 1.0 + (r + z * p);
}

// v * 2^k for v near 1 and |k| up to about 2000, rounding once even when the result is
// subnormal: a large exponent is applied in two steps, the first of which is exact.
double scaleByPowerOfTwo(double v, int k)
{
    if (k > 1023) {
        v *= 0x1p1023;
        k -= 1023;
    } else if (k < -1022) {
        v *= 0x1p-1022;
        k += 1022;
    }
    return v * std::bit_cast<double>(static_cast<std::uint64_t>(k + 1023) << 52);
}

} // namespace

double zk_math_detail::foldHugeAngle(double x)
{
    if (!(x - x == 0.0))
        return kNaN;
    return std::fmod(x, kTwoPi); // fmod is exact: the same on every library
}

double zk_exp(double x) // [any]
{
    if (x != x)
        return x;
    // Beyond these the result overflows or rounds to zero; inside them the scaling below
    // produces infinity and subnormals by itself.
    if (x > 710.0)
        return kInfinity;
    if (x < -746.0)
        return 0.0;
    const double k = (x * kInvLn2 + kRoundShift) - kRoundShift;
    const double r = (x - k * kLn2Hi) - k * kLn2Lo;
    return scaleByPowerOfTwo(expKernel(r), static_cast<int>(k));
}

double zk_exp2(double x) // [any]
{
    if (x != x)
        return x;
    if (x > 1025.0)
        return kInfinity;
    if (x < -1076.0)
        return 0.0;
    const double k = (x + kRoundShift) - kRoundShift;
    const double f = x - k; // exact, |f| <= 1/2
    return scaleByPowerOfTwo(expKernel(f * kLn2), static_cast<int>(k));
}

double zk_log(double x) // [any]
{
    if (x != x)
        return x;
    if (x < 0.0)
        return kNaN;
    if (x == 0.0)
        return -kInfinity;
    if (x == kInfinity)
        return x;
    int e = 0;
    if (x < 0x1p-1022) { // subnormal: make it normal first
        x *= 0x1p54;
        e = -54;
    }
    const auto bits = std::bit_cast<std::uint64_t>(x);
    e += static_cast<int>(bits >> 52) - 1023;
    double m = std::bit_cast<double>((bits & 0x000FFFFFFFFFFFFFull) | 0x3FF0000000000000ull);
    // Mantissa in [sqrt(1/2), sqrt(2)), so |log m| <= ln(2)/2.
    if (m > kSqrt2) {
        m *= 0.5;
        e += 1;
    }
    // log(1 + f) = 2 atanh(s) with s = f / (2 + f), and 2s = f - s f, so
    // log(1 + f) = f - s (f - T) with T = 2 (s^2/3 + s^4/5 + ...). f is exact, and the
    // rounding of s only reaches the small correction term.
    const double f = m - 1.0;
    const double s = f / (2.0 + f);
    const double z = s * s;
    const double z2 = z * z;
    const double z4 = z2 * z2;
    const double z8 = z4 * z4;
    // 2 / (2n + 1) for n = 1..11: the last term is below 1e-18 relative for |s| <= 0.172.
    const double t01 = 2.0 / 3.0 + z * (2.0 / 5.0);
    const double t23 = 2.0 / 7.0 + z * (2.0 / 9.0);
    const double t45 = 2.0 / 11.0 + z * (2.0 / 13.0);
    const double t67 = 2.0 / 15.0 + z * (2.0 / 17.0);
    const double t89 = 2.0 / 19.0 + z * (2.0 / 21.0);
    const double t10 = 2.0 / 23.0;
    const double T = z * ((t01 + z2 * t23) + z4 * (t45 + z2 * t67) + z8 * (t89 + z2 * t10));
    const double logM = f - s * (f - T);
    const double de = static_cast<double>(e);
    return (de * kLn2Lo + logM) + de * kLn2Hi;
}

float zk_expf(float x) // [any]
{
    return static_cast<float>(zk_exp(static_cast<double>(x)));
}

float zk_logf(float x) // [any]
{
    return static_cast<float>(zk_log(static_cast<double>(x)));
}

float zk_powf(float x, float y) // [any]
{
    if (y == 0.0f || x == 1.0f)
        return 1.0f;
    if (x != x || y != y)
        return x + y;
    double base = static_cast<double>(x);
    double sign = 1.0;
    if (std::signbit(x)) {
        // A negative base has a real power only for a whole exponent, and an odd one keeps
        // the sign (of a negative zero too). Floats of 2^24 and beyond are even whole numbers.
        const bool large = std::fabs(y) >= 0x1p24f;
        const auto n = large ? 0 : static_cast<std::int32_t>(y);
        const bool whole = large || static_cast<float>(n) == y;
        if (!whole && x != 0.0f)
            return std::numeric_limits<float>::quiet_NaN();
        if (whole && (n & 1) != 0)
            sign = -1.0;
        base = -base;
    }
    if (base == 1.0) // (-1)^y, including y infinite
        return static_cast<float>(sign);
    double t; // y log(base), with the limits the C library gives for 0, infinity and ±inf
    if (base == 0.0)
        t = y > 0.0f ? -kInfinity : kInfinity;
    else
        t = static_cast<double>(y) * zk_log(base);
    // The product is exact to about 1e-16 relative and the result needs 6e-8: a double
    // exponential rounds to the correct float in all but the rarest ties.
    return static_cast<float>(sign * zk_exp(t));
}

float zk_sinhf(float x) // [any]
{
    const double a = std::fabs(static_cast<double>(x));
    double r;
    if (a < 0.5) {
        // The exponentials would cancel here; the odd Taylor series to degree 15 does not.
        const double z = a * a;
        const double z2 = z * z;
        const double p = (1.0 / 6.0 + z * (1.0 / 120.0)) +
                         z2 * (1.0 / 5040.0 + z * (1.0 / 362880.0)) +
                         (z2 * z2) * (1.0 / 39916800.0 + z * (1.0 / 6227020800.0)) +
                         (z2 * z2) * (z2 * (1.0 / 1307674368000.0));
        r = a + a * z * p;
    } else {
        // NaN goes this way and stays NaN; a float argument is far from double overflow.
        const double e = zk_exp(a);
        r = 0.5 * (e - 1.0 / e);
    }
    return static_cast<float>(x < 0.0f ? -r : r);
}
