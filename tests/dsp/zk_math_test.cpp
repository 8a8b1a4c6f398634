#include "dsp/zk_math.h"
#include "dsp/zksp_sine.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <limits>
#include <random>

namespace {

// Distance of a result from a long-double reference, in units of the last place of the
// reference rounded to the result's type.
template <typename T> double ulpsFromReference(T got, long double reference)
{
    const T r = static_cast<T>(reference);
    const T a = std::fabs(r);
    const T unit = std::nextafter(a, std::numeric_limits<T>::infinity()) - a;
    return static_cast<double>(std::fabs(static_cast<long double>(got) - reference) / unit);
}

// How many representable floats lie between two results.
long long floatSteps(float a, float b)
{
    const auto key = [](float v) {
        const auto bits = static_cast<std::int32_t>(std::bit_cast<std::uint32_t>(v));
        return bits < 0 ? -static_cast<long long>(bits & 0x7FFFFFFF) : static_cast<long long>(bits);
    };
    return std::llabs(key(a) - key(b));
}

struct FloatCase
{
    const char* name;
    float lo, hi;
    bool logSpaced;
    float (*ours)(float);
    float (*library)(float);
    long double (*reference)(long double);
};

float ourSin(float x)
{
    return zk_sinf(x);
}
float ourCos(float x)
{
    return zk_cosf(x);
}
float ourExp(float x)
{
    return zk_expf(x);
}
float ourLog(float x)
{
    return zk_logf(x);
}
float ourSinh(float x)
{
    return zk_sinhf(x);
}
float ourPow10(float y)
{
    return zk_powf(10.0f, y);
}
float libSin(float x)
{
    return std::sin(x);
}
float libCos(float x)
{
    return std::cos(x);
}
float libExp(float x)
{
    return std::exp(x);
}
float libLog(float x)
{
    return std::log(x);
}
float libSinh(float x)
{
    return std::sinh(x);
}
float libPow10(float y)
{
    return std::pow(10.0f, y);
}
long double refSin(long double x)
{
    return std::sin(x);
}
long double refCos(long double x)
{
    return std::cos(x);
}
long double refExp(long double x)
{
    return std::exp(x);
}
long double refLog(long double x)
{
    return std::log(x);
}
long double refSinh(long double x)
{
    return std::sinh(x);
}
long double refPow10(long double y)
{
    return std::pow(10.0L, y);
}

// Each function over the arguments the plug-in gives it (and somewhat beyond): the shifter's
// oscillator phase, the filters' w0 and 1/(2Q), smoother poles and decibel tables (exp of a
// negative or moderate argument), the parameter conversions (log of ratios), bit-depth levels.
const FloatCase kFloatCases[] = {
    {"sin phase", 0.0f, 6.2831855f, false, ourSin, libSin, refSin},
    {"cos phase", 0.0f, 6.2831855f, false, ourCos, libCos, refCos},
    {"sin negative", -20.0f, 0.0f, false, ourSin, libSin, refSin},
    {"cos w0", 4e-4f, 3.08f, true, ourCos, libCos, refCos},
    {"exp", -104.0f, 88.7f, false, ourExp, libExp, refExp},
    {"exp small", -1e-3f, -1e-9f, true, ourExp, libExp, refExp},
    {"log", 1e-30f, 1e30f, true, ourLog, libLog, refLog},
    {"log near 1", 0.5f, 2.0f, false, ourLog, libLog, refLog},
    {"sinh", 1e-4f, 88.0f, true, ourSinh, libSinh, refSinh},
    {"pow 10", -30.0f, 30.0f, false, ourPow10, libPow10, refPow10},
};

} // namespace

TEST(ZkMath, FloatFunctionsWithinOneUlpOfTheTrueValueAndTwoOfTheLibrary)
{
    std::mt19937 random(2026);
    for (const FloatCase& c : kFloatCases) {
        double worstTrue = 0.0;
        long long worstLibrary = 0;
        const auto check = [&](float x) {
            const float got = c.ours(x);
            worstTrue = std::max(worstTrue, ulpsFromReference(got, c.reference(x)));
            worstLibrary = std::max(worstLibrary, floatSteps(got, c.library(x)));
        };
        // A dense sweep, then random arguments (uniform in the value or in its logarithm).
        constexpr int kSweep = 100000;
        std::uniform_real_distribution<double> u(0.0, 1.0);
        for (int i = 0; i <= 2 * kSweep; ++i) {
            const double t = i <= kSweep ? static_cast<double>(i) / kSweep : u(random);
            const double x = c.logSpaced ? c.lo * std::pow(static_cast<double>(c.hi) / c.lo, t)
                                         : c.lo + (c.hi - c.lo) * t;
            check(static_cast<float>(x));
        }
        std::printf("%-12s max %.3f ulp from true, %lld from the C library\n", c.name, worstTrue,
                    worstLibrary);
        EXPECT_LT(worstTrue, 1.0) << c.name;
        EXPECT_LE(worstLibrary, 2) << c.name;
    }
}

TEST(ZkMath, DoubleFunctionsWithinTheirUlpBoundsOfTheTrueValue)
{
    // The parameter curves' tables (log of a range ratio, powers of two over up to about
    // ten octaves), the double exponential under the float ones, and the sine of the warp
    // stage and of the creak table.
    struct Case
    {
        const char* name;
        double lo, hi;
        double (*ours)(double);
        long double (*reference)(long double);
        double limit;
    };
    const Case cases[] = {
        {"log", 1e-6, 1e6, zk_log, [](long double x) { return std::log(x); }, 2.0},
        {"exp2", -12.0, 12.0, zk_exp2, [](long double x) { return std::exp2(x); }, 2.0},
        {"exp", -700.0, 700.0, zk_exp, [](long double x) { return std::exp(x); }, 2.0},
        {"sin", 0.0, 1.5707963267948966, zksp_sin_double, [](long double x) { return std::sin(x); },
         // Reduced by whole half turns, its last addition can be a third of the result near
         // pi/2; the warp stage's bits depend on it, and a double table absorbs the extra ulp.
         3.0},
    };
    std::mt19937_64 random(7);
    for (const Case& c : cases) {
        std::uniform_real_distribution<double> u(c.lo, c.hi);
        double worst = 0.0;
        for (int i = 0; i < 200000; ++i) {
            const double x = i % 2 ? u(random) : c.lo + (c.hi - c.lo) * i / 200000.0;
            worst = std::max(worst, ulpsFromReference(c.ours(x), c.reference(x)));
        }
        std::printf("%-12s max %.3f ulp from true\n", c.name, worst);
        EXPECT_LE(worst, c.limit) << c.name;
    }
}

TEST(ZkMath, SpecialValuesFollowTheCLibrary)
{
    constexpr float inf = std::numeric_limits<float>::infinity();
    constexpr float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(zk_expf(-inf), 0.0f);
    EXPECT_EQ(zk_expf(inf), inf);
    EXPECT_EQ(zk_expf(100.0f), inf);
    EXPECT_EQ(zk_expf(-110.0f), 0.0f);
    EXPECT_GT(zk_expf(-100.0f), 0.0f); // subnormal, not flushed
    EXPECT_EQ(zk_logf(0.0f), -inf);
    EXPECT_EQ(zk_logf(inf), inf);
    EXPECT_TRUE(std::isnan(zk_logf(-1.0f)));
    EXPECT_EQ(zk_logf(1.0f), 0.0f);
    EXPECT_FLOAT_EQ(zk_logf(std::numeric_limits<float>::denorm_min()), -103.27893f);
    EXPECT_EQ(zk_powf(-2.0f, 3.0f), -8.0f);
    EXPECT_TRUE(std::isnan(zk_powf(-2.0f, 0.5f)));
    EXPECT_EQ(zk_powf(-0.0f, -1.0f), -inf);
    EXPECT_EQ(zk_powf(0.0f, 2.0f), 0.0f);
    EXPECT_EQ(zk_powf(nan, 0.0f), 1.0f);
    EXPECT_EQ(zk_powf(0.5f, inf), 0.0f);
    EXPECT_EQ(zk_sinhf(-100.0f), -inf);
    EXPECT_EQ(zk_sinhf(-0.0f), 0.0f);
    float s = 0.0f, c = 0.0f;
    for (float x : {nan, inf, -inf}) {
        zk_sincosf(x, s, c);
        EXPECT_TRUE(std::isnan(s) && std::isnan(c)) << x;
    }
    EXPECT_TRUE(std::isnan(zk_expf(nan)));
    EXPECT_TRUE(std::isnan(zk_logf(nan)));
    EXPECT_TRUE(std::isnan(zk_sinhf(nan)));
    EXPECT_TRUE(std::isnan(zk_powf(nan, 2.0f)));
    // Huge angles fold into one turn and stay within [-1, 1].
    zk_sincosf(3.0e38f, s, c);
    EXPECT_LE(std::fabs(s), 1.0f);
    EXPECT_NEAR(s * s + c * c, 1.0f, 1e-6f);
}

TEST(ZkMath, StoredBitPatternsHoldOnEveryCompiler)
{
    // Correctly rounded values (checked with a 200-bit reference); a compiler or flag that
    // reorders or fuses the arithmetic shows up here before it changes the golden records.
    float s = 0.0f, c = 0.0f;
    zk_sincosf(1.0f, s, c);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(s), 0x3f576aa4u);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(c), 0x3f0a5140u);
    zk_sincosf(5.5f, s, c);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(s), 0xbf349e4au);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(c), 0x3f356b62u);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(zk_expf(-0.37f)), 0x3f30d3f7u);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(zk_logf(10.0f)), 0x40135d8eu);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(zk_powf(10.0f, -0.45f)), 0x3eb5aa1au);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(zk_sinhf(0.3f)), 0x3e9bea16u);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(zk_sinhf(2.0f)), 0x40681e7bu);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(zk_log(3.0)), 0x3ff193ea7aad030bull);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(zk_exp2(1.7)), 0x4009fdf8bcce533dull);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(zk_exp(-2.5)), 0x3fb50385c094f425ull);
}

#if defined(__SSE2__)
TEST(ZkMath, FourLaneSineAndCosineGiveTheScalarBits)
{
    // Angles of both signs over many turns (every quadrant), the fold's edge at 2^20 and beyond,
    // and special values, in every lane position and mixed with ordinary lanes.
    constexpr float nan = std::numeric_limits<float>::quiet_NaN();
    constexpr float inf = std::numeric_limits<float>::infinity();
    constexpr float kOdd[] = {0.0f,    -0.0f, 1048575.9f, 1048576.0f, -1048576.0f, 3.0e6f,
                              -2.5e7f, nan,   inf,        -inf,       3.0e38f,     1.0e-40f};
    std::mt19937 random(2027);
    std::uniform_real_distribution<float> turns(-40.0f, 40.0f);
    for (int i = 0; i < 100000; ++i) {
        alignas(16) float x[4], s[4], c[4];
        for (float& v : x) {
            v = turns(random);
        }
        if (i % 8 == 0) {
            x[(i / 8) % 4] = kOdd[(i / 32) % std::size(kOdd)];
        }
        __m128 sv, cv;
        zk_sincosf4(_mm_load_ps(x), sv, cv);
        _mm_store_ps(s, sv);
        _mm_store_ps(c, cv);
        for (int j = 0; j < 4; ++j) {
            float es = 0.0f, ec = 0.0f;
            zk_sincosf(x[j], es, ec);
            ASSERT_EQ(std::bit_cast<std::uint32_t>(s[j]), std::bit_cast<std::uint32_t>(es)) << x[j];
            ASSERT_EQ(std::bit_cast<std::uint32_t>(c[j]), std::bit_cast<std::uint32_t>(ec)) << x[j];
        }
    }
}
#endif
