#include "params/PortMapping.h"

#include "params/Morvek2ParameterManager.h"
#include "sequencer/seq_lane.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

using namespace morvek2::param;

namespace morvek2 {

namespace {

// Sequencer directions by working value; the editor shows them as pictures only.
const char* const kDirectionNames[3] = {"Forward", "Backward", "Random"};

// How far the bit search walks from the first inverse before it bisects instead. The curve
// tables interpolate between exact points, so their formula inverse can be tens of floats off.
constexpr std::uint32_t kSearchRadius = 128;

// The modulation amounts are stored as -1..1 and shown as percent.
bool isModAmount(int i)
{
    return (i >= kVcaDepthMod && i <= kVcaDecayMod) ||
           (i >= kFilterFreqMod && i <= kFilterBiteMod) || i == kDistortFuzzMod ||
           i == kDistortWarpMod || (i >= kDelayFineMod && i <= kDelaySendMod) ||
           (i >= kShiftFreqMod && i <= kShiftMixMod) || (i >= kBitsRateMod && i <= kBitsErrorMod);
}

bool isList(int i)
{
    return moduleOf(kStepSizeParam, i) >= 0 || moduleOf(kDirectionParam, i) >= 0 ||
           i == kFilterType || i == kDelayMode || i == kResetInterval;
}

float limit01(float v)
{
    return v > 1.0f ? 1.0f : (v > 0.0f ? v : 0.0f); // NaN gives 0
}

PortUnit unitOf(const char* label)
{
    if (std::strcmp(label, "Hz") == 0)
        return PortUnit::kHz;
    if (std::strcmp(label, "ms") == 0 || std::strcmp(label, "msec") == 0)
        return PortUnit::kMs;
    if (std::strcmp(label, "dB") == 0)
        return PortUnit::kDb;
    if (std::strcmp(label, "%") == 0)
        return PortUnit::kPercent;
    return PortUnit::kNone;
}

std::string trimmed(const char* text)
{
    std::string s(text);
    const auto first = s.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

// Floats in 0..1 in order: their bit patterns, as integers, are in the same order.
std::uint32_t bitsOf(float v)
{
    return std::bit_cast<std::uint32_t>(v);
}

float floatOf(std::uint32_t bits)
{
    return std::bit_cast<float>(bits);
}

// v rounded to d significant decimal digits (d = 9 gives v back).
float roundedToDigits(float v, int d)
{
    if (v == 0.0f || !std::isfinite(v))
        return v;
    const double magnitude = std::floor(std::log10(std::fabs(static_cast<double>(v))));
    const double scale = std::pow(10.0, d - 1 - magnitude);
    return static_cast<float>(std::round(v * scale) / scale);
}

} // namespace

PortMapping::PortMapping(Morvek2ParameterManager& manager) : params(manager)
{
    for (int i = 0; i < kNumParams; ++i) {
        PortForm& f = forms[i];
        char label[64] = {};
        params.getLabel(i, label, 63);
        const float lo = params.getMin(i);
        const float hi = params.getMax(i);
        f.unit = unitOf(label);
        f.minimum = std::fmin(lo, hi);
        f.maximum = std::fmax(lo, hi);
        if (params.getKind(i) == kSwitch) {
            f.kind = PortKind::kToggle;
        } else if (isList(i)) {
            f.kind = PortKind::kEnumeration;
        } else if (moduleOf(kLengthParam, i) >= 0) {
            f.kind = PortKind::kInteger;
        } else if (i == kDelayTime) {
            // Note divisions in Delay mode, a share of the Chorus or Flange range otherwise:
            // no unit of its own, so the host sees the normalised value.
            f.unit = PortUnit::kNone;
            f.minimum = 0.0f;
            f.maximum = 1.0f;
        } else if (i == kBitsBitDepth) {
            // 24 bits at 0, then 17 down to 1 bits.
            f.minimum = 1.0f;
            f.maximum = 24.0f;
        } else if (isModAmount(i)) {
            f.unit = PortUnit::kPercent;
            f.minimum = -100.0f;
            f.maximum = 100.0f;
        }
    }
}

const PortForm& PortMapping::form(int index) const // [any]
{
    return forms[index];
}

float PortMapping::toPlain(int index, float normalised) const // [any]
{
    const PortForm& f = forms[index];
    const float n = limit01(normalised);
    float plain;
    if (index == kDelayTime)
        plain = n;
    else if (isModAmount(index))
        plain = 100.0f * params.normalisedToWorking(index, n);
    else
        plain = params.normalisedToWorking(index, n);
    return std::fmin(std::fmax(plain, f.minimum), f.maximum);
}

float PortMapping::currentPlain(int index) const // [any]
{
    return toPlain(index, params.getValue(index));
}

float PortMapping::firstInverse(int index, float plain) const
{
    if (index == kDelayTime)
        return plain;
    if (index == kBitsBitDepth)
        return plain > 17.0f ? 0.0f : (17.0f - plain) / 16.0f;
    if (isModAmount(index))
        return params.workingToNormalised(index, plain / 100.0f);
    return params.workingToNormalised(index, plain);
}

float PortMapping::toNormalised(int index, float plain) const // [any]
{
    const PortForm& f = forms[index];
    if (std::isnan(plain))
        plain = f.minimum;
    plain = std::fmin(std::fmax(plain, f.minimum), f.maximum);
    if (f.kind == PortKind::kToggle)
        return plain > 0.5f ? 1.0f : 0.0f;
    if (f.kind != PortKind::kContinuous)
        return params.workingToNormalised(index, std::round(plain));

    // Where the formula rounds, neighbouring normalised values share one plain value, and the
    // formula's inverse need not be the one a program holds. Programs hold values typed as
    // short decimals, either normalised (0.837) or in the parameter's unit (150 Hz, taken
    // through the manager's inverse), so the shortest such value that gives this plain value
    // is the one meant. The inverse itself is the 9-digit case.
    const float first = limit01(firstInverse(index, plain));
    for (int d = 1; d <= 9; ++d) {
        const float typed = roundedToDigits(first, d);
        if (typed >= 0.0f && typed <= 1.0f && toPlain(index, typed) == plain)
            return typed;
        const float fromPlain = limit01(firstInverse(index, roundedToDigits(plain, d)));
        if (toPlain(index, fromPlain) == plain)
            return fromPlain;
    }
    // Then the neighbours of the inverse: the curve tables interpolate between exact points,
    // so their formula inverse can be tens of floats off.
    const std::uint32_t firstBits = bitsOf(first);
    const std::uint32_t oneBits = bitsOf(1.0f);
    for (std::uint32_t k = 1; k <= kSearchRadius; ++k) {
        if (firstBits + k <= oneBits && toPlain(index, floatOf(firstBits + k)) == plain)
            return floatOf(firstBits + k);
        if (k <= firstBits && toPlain(index, floatOf(firstBits - k)) == plain)
            return floatOf(firstBits - k);
    }

    // A plain value no normalised one gives exactly (a host's own value): bisect for the
    // normalised value whose plain value is nearest. Every continuous form rises or falls
    // monotonically over 0..1, except Bit Depth's jump from 24 bits at 0.
    std::uint32_t lo = index == kBitsBitDepth ? 1u : 0u; // past 0 for Bit Depth
    std::uint32_t hi = bitsOf(1.0f);
    if (index == kBitsBitDepth && plain > 17.0f)
        return 0.0f;
    const bool rising = toPlain(index, floatOf(lo)) < toPlain(index, floatOf(hi));
    while (hi - lo > 1) {
        const std::uint32_t mid = lo + (hi - lo) / 2;
        const float p = toPlain(index, floatOf(mid));
        if ((p < plain) == rising)
            lo = mid;
        else
            hi = mid;
    }
    const float pl = toPlain(index, floatOf(lo));
    const float ph = toPlain(index, floatOf(hi));
    return std::fabs(pl - plain) <= std::fabs(ph - plain) ? floatOf(lo) : floatOf(hi);
}

std::vector<ScalePoint> PortMapping::scalePoints(int index) const // [ui]
{
    std::vector<ScalePoint> points;
    if (forms[index].kind != PortKind::kEnumeration)
        return points;
    auto add = [&points](int value, const char* text) {
        points.push_back({static_cast<float>(value), trimmed(text)});
    };
    if (moduleOf(kStepSizeParam, index) >= 0) {
        for (int k = 0; k < seq::kStepSizeCount; ++k)
            add(k, seq::kStepSizes[static_cast<std::size_t>(k)].name);
    } else if (moduleOf(kDirectionParam, index) >= 0) {
        for (int k = 0; k < 3; ++k)
            add(k, kDirectionNames[k]);
    } else if (index == kFilterType) {
        for (int k = 0; k < 6; ++k)
            add(k, kFilterTypeNames[k]);
    } else if (index == kDelayMode) {
        for (int k = 0; k < 3; ++k)
            add(k, kDelayModeNames[k]);
    } else if (index == kResetInterval) {
        for (int k = 0; k < 5; ++k)
            add(k, kResetIntervalDisplays[k]);
    }
    return points;
}

} // namespace morvek2
