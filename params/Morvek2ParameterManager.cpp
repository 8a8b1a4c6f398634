#include "params/Morvek2ParameterManager.h"

#include "params/Morvek2Params.h"
#include "sequencer/seq_lane.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

using namespace morvek2::param;

namespace {

struct ParamDef
{
    const char* longName;
    const char* shortName;
    const char* label;
    float minimum;
    float maximum;
    float defaultValue;
    int kind;
};

// Indexed by parameter index.
const ParamDef kParams[Morvek2ParameterManager::kNumParams] = {
    {"VCA Attack", "VCAAtak", "ms", 1.0f, 150.0f, 1.0f, kLinear},               // 0
    {"VCA Decay", "VCADecy", "ms", 1.0f, 200.0f, 1.0f, kLinear},                // 1
    {"VCA Depth", "VCADept", "%", 25.0f, 100.0f, 25.0f, kPercent},              // 2
    {"VCA Pan", "VCA Pan", "", 0.0f, 1.0f, 0.5f, kLinear},                      // 3
    {"VCA Gate Time", "VCA Gate", "%", 1.0f, 100.0f, 100.0f, kPercent},         // 4
    {"VCA Solo", "VCA Solo", "", 0.0f, 1.0f, 0.0f, kSwitch},                    // 5
    {"VCA Step Size", "VCA Step", "", 0.0f, 9.0f, 0.0f, kStepped},              // 6
    {"VCA Length", "VCA Leng", "", 1.0f, 32.0f, 32.0f, kStepped},               // 7
    {"VCA Direction", "VCA Dir", "", 0.0f, 2.0f, 0.0f, kStepped},               // 8
    {"VCA Depth Mod", "VCADptMd", "%", -1.0f, 1.0f, 0.0f, kLinear},             // 9
    {"VCA Pan Mod", "VCAPanMd", "%", -1.0f, 1.0f, 0.0f, kLinear},               // 10
    {"VCA Gate Mod", "VCAGatMd", "%", -1.0f, 1.0f, 0.0f, kLinear},              // 11
    {"VCA Attack Mod", "VCAAtkMd", "%", -1.0f, 1.0f, 0.0f, kLinear},            // 12
    {"VCA Decay Mod", "VCADcyMd", "%", -1.0f, 1.0f, 0.0f, kLinear},             // 13
    {"VCA Smoothing", "VCA Smoo", "", 0.0f, 1.0f, 0.0f, kLinear},               // 14
    {"VCA Rst Rand", "VCARstRd", "", 0.0f, 1.0f, 0.0f, kSwitch},                // 15
    {"VCA Gate Rst Rand", "VCAGRtRd", "", 0.0f, 1.0f, 0.0f, kSwitch},           // 16
    {"Filter Freq", "FiltFreq", "Hz", 40.0f, 20000.0f, 20000.0f, kExponential}, // 17
    {"Filter Res", "Filt Res", "", 0.0f, 1.0f, 0.0f, kLinear},                  // 18
    {"Filter Type", "FiltType", "", 0.0f, 5.0f, 0.0f, kStepped},                // 19
    {"Filter Bite", "FiltBite", "", 0.0f, 1.0f, 0.0f, kLinear},                 // 20
    {"Filter Mute", "FiltMute", "", 0.0f, 1.0f, 0.0f, kSwitch},                 // 21
    {"Filter Solo", "FiltSolo", "", 0.0f, 1.0f, 0.0f, kSwitch},                 // 22
    {"Filter Step Size", "FiltStep", "", 0.0f, 9.0f, 0.0f, kStepped},           // 23
    {"Filter Length", "FiltLeng", "", 1.0f, 32.0f, 32.0f, kStepped},            // 24
    {"Filter Direction", "FiltDir", "", 0.0f, 2.0f, 0.0f, kStepped},            // 25
    {"Filter Freq Mod", "FiltFrMd", "%", -1.0f, 1.0f, 0.0f, kLinear},           // 26
    {"Filter Res Mod", "FiltRsMd", "%", -1.0f, 1.0f, 0.0f, kLinear},            // 27
    {"Filter Bite Mod", "FltBtMod", "%", -1.0f, 1.0f, 0.0f, kLinear},           // 28
    {"Filter Smoothing", "FiltSmoo", "", 0.0f, 1.0f, 0.0f, kLinear},            // 29
    {"Filter Rst Rand", "FltRstRd", "", 0.0f, 1.0f, 0.0f, kSwitch},             // 30
    {"Filter Gate Rst Rand", "FltGRtRd", "", 0.0f, 1.0f, 0.0f, kSwitch},        // 31
    {"Distort Fuzz", "DistFuzz", "", 0.0f, 1.0f, 0.0f, kLinear},                // 32
    {"Distort Warp", "DistWarp", "", 0.0f, 1.0f, 0.0f, kLinear},                // 33
    {"Distort Mute", "DistMute", "", 0.0f, 1.0f, 0.0f, kSwitch},                // 34
    {"Distort Solo", "DistSolo", "", 0.0f, 1.0f, 0.0f, kSwitch},                // 35
    {"Distort Step Size", "DistStep", "", 0.0f, 9.0f, 0.0f, kStepped},          // 36
    {"Distort Length", "DistLeng", "", 1.0f, 32.0f, 32.0f, kStepped},           // 37
    {"Distort Direction", "Dist Dir", "", 0.0f, 2.0f, 0.0f, kStepped},          // 38
    {"Distort Fuzz Mod", "DistFzMd", "%", -1.0f, 1.0f, 0.0f, kLinear},          // 39
    {"Distort Warp Mod", "DistWpMd", "%", -1.0f, 1.0f, 0.0f, kLinear},          // 40
    {"Distort Smoothing", "DistSmoo", "", 0.0f, 1.0f, 0.0f, kLinear},           // 41
    {"Distort Rst Rand", "DstRstRd", "", 0.0f, 1.0f, 0.0f, kSwitch},            // 42
    {"Distort Gate Rst Rand", "DstGRtRd", "", 0.0f, 1.0f, 0.0f, kSwitch},       // 43
    {"Delay Time", "DelyTime", "msec", 4.0f, 2000.0f, 1000.0f, kTimeSync},      // 44
    {"Delay Time Fine", "DelyFine", "", 0.5f, 2.0f, 1.0f, kLinear},             // 45
    {"Delay Mode", "DelyMode", "", 0.0f, 2.0f, 0.0f, kStepped},                 // 46
    {"Delay Feedback", "DelyFdbk", "%", 0.0f, 100.0f, 0.0f, kPercent},          // 47
    {"Delay Send", "DelySend", "%", 0.0f, 100.0f, 0.0f, kPercent},              // 48
    {"Delay Mute", "DelyMute", "", 0.0f, 1.0f, 0.0f, kSwitch},                  // 49
    {"Delay Solo", "DelySolo", "", 0.0f, 1.0f, 0.0f, kSwitch},                  // 50
    {"Delay Step Size", "DelyStep", "", 0.0f, 9.0f, 0.0f, kStepped},            // 51
    {"Delay Length", "DelyLeng", "", 1.0f, 32.0f, 32.0f, kStepped},             // 52
    {"Delay Direction", "Dely Dir", "", 0.0f, 2.0f, 0.0f, kStepped},            // 53
    {"Delay Fine Mod", "DelyFnMd", "%", -1.0f, 1.0f, 0.0f, kLinear},            // 54
    {"Delay Feedkback Mod", "DelyFdMd", "%", -1.0f, 1.0f, 0.0f, kLinear},       // 55
    {"Delay Send Mod", "DelySnMd", "%", -1.0f, 1.0f, 0.0f, kLinear},            // 56
    {"Delay Smoothing", "DelySmoo", "", 0.0f, 1.0f, 0.0f, kLinear},             // 57
    {"Delay Rst Rand", "DlyRstRd", "", 0.0f, 1.0f, 0.0f, kSwitch},              // 58
    {"Delay Gate Rst Rand", "DlyGRtRd", "", 0.0f, 1.0f, 0.0f, kSwitch},         // 59
    {"Shift Frequency", "ShftFreq", "Hz", -800.0f, 800.0f, 0.0f, kLinear},      // 60
    {"Shift Fine", "ShftFine", "Hz", -10.0f, 10.0f, 0.0f, kLinear},             // 61
    {"Shift Feedback", "ShftFdbk", "%", 0.0f, 100.0f, 0.0f, kPercent},          // 62
    {"Shift Mix", "Mix", "%", 0.0f, 100.0f, 0.0f, kPercent},                    // 63
    {"Shift Mute", "ShftMute", "", 0.0f, 1.0f, 0.0f, kSwitch},                  // 64
    {"Shift Solo", "ShftSolo", "", 0.0f, 1.0f, 0.0f, kSwitch},                  // 65
    {"Shift Step Size", "ShftStep", "", 0.0f, 9.0f, 0.0f, kStepped},            // 66
    {"Shift Length", "ShftLeng", "", 1.0f, 32.0f, 32.0f, kStepped},             // 67
    {"Shift Direction", "Shft Dir", "", 0.0f, 2.0f, 0.0f, kStepped},            // 68
    {"Shift Freq Mod", "ShftFrMd", "%", -1.0f, 1.0f, 0.0f, kLinear},            // 69
    {"Shift Fine Mod", "ShftFnMd", "%", -1.0f, 1.0f, 0.0f, kLinear},            // 70
    {"Shift Feedback Mod", "ShftFdMd", "%", -1.0f, 1.0f, 0.0f, kLinear},        // 71
    {"Shift Mix Mod", "ShftMxMd", "%", -1.0f, 1.0f, 0.0f, kLinear},             // 72
    {"Shift Smoothing", "ShftSmoo", "", 0.0f, 1.0f, 0.0f, kLinear},             // 73
    {"Shift Rst Rand", "ShfRstRd", "", 0.0f, 1.0f, 0.0f, kSwitch},              // 74
    {"Shift Gate Rst Rand", "ShfGRtRd", "", 0.0f, 1.0f, 0.0f, kSwitch},         // 75
    {"Bits Rate", "BitsRate", "%", 100.0f, 1.0f, 100.0f, kLinear},              // 76
    {"Bits Bit Depth", "BitsDpth", "", 24.0f, 4.0f, 24.0f, kLinear},            // 77
    {"Bits Error", "Bits Err", "", 0.0f, 1.0f, 0.0f, kLinear},                  // 78
    {"Bits Mute", "BitsMute", "", 0.0f, 1.0f, 0.0f, kSwitch},                   // 79
    {"Bits Solo", "BitsSolo", "", 0.0f, 1.0f, 0.0f, kSwitch},                   // 80
    {"Bits Step Size", "BitsStep", "", 0.0f, 9.0f, 0.0f, kStepped},             // 81
    {"Bits Length", "BitsLeng", "", 1.0f, 32.0f, 32.0f, kLinear},               // 82
    {"Bits Direction", "Bits Dir", "", 0.0f, 2.0f, 0.0f, kStepped},             // 83
    {"Bits Rate Mod", "BitRatMd", "%", -1.0f, 1.0f, 0.0f, kLinear},             // 84
    {"Bits Depth Mod", "BitDptMd", "%", -1.0f, 1.0f, 0.0f, kLinear},            // 85
    {"Bits Error Mod", "BitErrMd", "%", -1.0f, 1.0f, 0.0f, kLinear},            // 86
    {"Bits Smoothing", "BitsSmoo", "", 0.0f, 1.0f, 0.0f, kLinear},              // 87
    {"Bits Rst Rand", "BitRstRd", "", 0.0f, 1.0f, 0.0f, kSwitch},               // 88
    {"Bits Gate Rst Rand", "BitGRtRd", "", 0.0f, 1.0f, 0.0f, kSwitch},          // 89
    {"Output Gain", "Out Gain", "dB", -40.0f, 6.0f, 0.0f, kDecibel},            // 90
    {"Reset Interval", "Reset", "", 0.0f, 4.0f, 0.0f, kStepped},                // 91
    {"Active", "Active", "", 0.0f, 1.0f, 1.0f, kSwitch},                        // 92
};

// The order in which the constructor defines them. Delay Mode (46) must follow Delay Time
// (44): defining it puts Delay Time into its synced state.
const int kDefinitionOrder[Morvek2ParameterManager::kNumParams] = {
    0,  1,  2,  3,  4,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 5, //
    17, 18, 19, 20, 23, 24, 25, 26, 27, 28, 29, 30, 31, 21, 22,        //
    32, 33, 36, 37, 38, 39, 40, 41, 42, 43, 34, 35,                    //
    44, 45, 46, 48, 47, 51, 52, 53, 54, 55, 56, 57, 58, 59, 49, 50,    //
    60, 61, 62, 63, 66, 67, 68, 69, 70, 71, 72, 73, 74, 75, 64, 65,    //
    76, 77, 78, 81, 82, 85, 84, 86, 83, 87, 88, 89, 79, 80,            //
    90, 91, 92};

bool isLength(int i)
{
    return moduleOf(kLengthParam, i) >= 0;
}

bool isStepSize(int i)
{
    return moduleOf(kStepSizeParam, i) >= 0;
}

bool isModAmount(int i)
{
    return (i >= 9 && i <= 13) || (i >= 26 && i <= 28) || i == 39 || i == 40 ||
           (i >= 54 && i <= 56) || (i >= 69 && i <= 72) || (i >= 84 && i <= 86);
}

// Bipolar parameters whose centre is caught within 0.025, so a knob or controller can hit
// "no modulation" exactly. Shift Feedback Mod is left out on purpose.
bool snapsToCentre(int i)
{
    return (i >= 9 && i <= 13) || (i >= 26 && i <= 28) || i == 39 || i == 40 || i == 45 ||
           (i >= 54 && i <= 56) || i == 60 || i == 61 || i == 69 || i == 70 || i == 72 ||
           (i >= 84 && i <= 86);
}

float limit01(float v)
{
    if (v > 1.0f)
        return 1.0f;
    if (v > 0.0f)
        return v;
    return 0.0f; // also NaN
}

const float kDelayTimeBases[3] = {2000.0f, 50.0f, 10.0f};

// Copies at most length characters, terminated at the end of the copy.
void copyCut(char* buffer, const char* text, int length)
{
    if (!buffer || length < 0)
        return;
    const std::size_t n = std::min(std::strlen(text), static_cast<std::size_t>(length));
    std::memcpy(buffer, text, n);
    buffer[n] = '\0';
}

// Texts that are meant to be written whole. They all fit the host's 8 bytes for values in
// range; one that does not (a hostile value) is cut so the terminator stays inside length.
void copyWhole(char* buffer, const char* text, int length)
{
    if (!buffer || length <= 0)
        return;
    const std::size_t n = std::min(std::strlen(text), static_cast<std::size_t>(length - 1));
    std::memcpy(buffer, text, n);
    buffer[n] = '\0';
}

// Truncation that is defined for every float and prints in a few characters.
int boundedTrunc(float v)
{
    constexpr float kBound = 99999.0f;
    if (std::isnan(v))
        return 0;
    return static_cast<int>(std::clamp(v, -kBound, kBound));
}

} // namespace

const float Morvek2ParameterManager::kStepLengths64[10] = {
    1.0f, 2.0f, 8.0f / 3.0f, 6.0f, 4.0f, 16.0f / 3.0f, 12.0f, 8.0f, 16.0f, 32.0f / 3.0f};

Morvek2ParameterManager::Morvek2ParameterManager()
{
    for (int index : kDefinitionOrder) {
        const ParamDef& d = kParams[index];
        addParam(index, d.longName, d.shortName, d.label, d.minimum, d.maximum, d.defaultValue,
                 d.kind);
    }
    beatLength.store(kDelayTimeBases[0], std::memory_order_relaxed);
}

Morvek2ParameterManager::~Morvek2ParameterManager() = default;

void Morvek2ParameterManager::applyDelayMode() // [any]
{
    const int mode = tableIndex(getWorkingValue(kDelayMode), 3);
    setSynced(kDelayTime, mode == 0);
    // Delay mode starts from the default beat until the processing loop knows the tempo.
    if (mode == 0) {
        beatLength.store(kDelayTimeBases[0], std::memory_order_relaxed);
        noteChange();
    }
}

float Morvek2ParameterManager::getDelayTimeBase() // [any]
{
    const int mode = tableIndex(getWorkingValue(kDelayMode), 3);
    return mode == 0 ? beatLength.load(std::memory_order_relaxed) : kDelayTimeBases[mode];
}

void Morvek2ParameterManager::setValue(int index, float value) // [any]
{
    if (isLength(index)) {
        // Whole steps only: the stored value is always (length - 1) / 32.
        value = workingToNormalised(index, normalisedToWorking(index, value));
    } else if (snapsToCentre(index)) {
        if (std::fabs(value - 0.5f) < 0.025f)
            value = 0.5f;
    }
    zk_paramManager::setValue(index, value);
    if (index == kDelayMode)
        applyDelayMode();
}

void Morvek2ParameterManager::setWorkingValue(int index, float value) // [any]
{
    zk_paramManager::setWorkingValue(index, value);
    if (index == kDelayMode)
        applyDelayMode();
}

float Morvek2ParameterManager::workingToNormalised(int index, float w) // [any]
{
    if (isLength(index))
        return limit01((w - 1.0f) * 0.03125f);
    if (index == kDelayTimeFine)
        return limit01(w <= 1.0f ? w - 0.5f : w * 0.5f);
    return zk_paramManager::workingToNormalised(index, w);
}

float Morvek2ParameterManager::normalisedToWorking(int index, float n) // [any]
{
    if (isLength(index)) {
        // Below 0 counts as the shortest lane, so a hostile value still gives 1..32.
        if (n >= 1.0f)
            return 32.0f;
        return std::floor(32.0f * limit01(n) + 1.0f);
    }
    if (index == kDelayTimeFine)
        return n <= 0.5f ? n + 0.5f : 2.0f * n;
    if (index == kBitsBitDepth)
        return n == 0.0f ? 24.0f : (1.0f - n) * 16.0f + 1.0f;
    return zk_paramManager::normalisedToWorking(index, n);
}

float Morvek2ParameterManager::getEngineValue(int index) // [any]
{
    // Values in range give the documented results. A stored value outside 0..1 (a careless
    // host) is taken at the nearest end, so no engine sees a negative time, a pan beyond a
    // side or a bit depth below 1.
    const float n = limit01(getValue(index));
    const auto limitedWorking = [this, index] {
        const float w = getWorkingValue(index);
        const float maximum = getMax(index);
        const float minimum = getMin(index);
        return w > maximum ? maximum : (w < minimum ? minimum : w);
    };
    switch (index) {
    case kVcaAttack:
    case kVcaDecay:
        return limitedWorking() * 0.001f;
    case kVcaDepth:
        return limitedWorking() * 0.01f;
    case kVcaPan:
        return n;
    case kVcaSmoothing:
    case kDistortSmoothing:
    case kDelaySmoothing:
    case kShiftSmoothing:
    case kBitsSmoothing:
        return n * 0.5f;
    case kFilterSmoothing:
        return n * 0.5f + 0.005f;
    case kBitsRate:
        return 1.0f - n * 0.99f;
    case kBitsBitDepth:
        return n == 0.0f ? 24.0f : (1.0f - n) * 16.0f + 1.0f;
    case kBitsError:
        return n * 100.0f;
    default:
        // Output Gain (decibel curve at n), Delay Time (beats or ms), percent kinds and
        // everything else follow the kind.
        return zk_paramManager::getEngineValue(index);
    }
}

float Morvek2ParameterManager::getModulatedValue(int index, float x) // [audio]
{
    if (!std::isfinite(x))
        x = 0.0f;
    // a = n[P] + x * w[M], with NaN (an infinite working value times 0) counting as 0.
    auto sum = [this, x](int p, int m) {
        const float a = getValue(p) + x * getWorkingValue(m);
        return std::isnan(a) ? 0.0f : a;
    };
    switch (index) {
    case kVcaAttack: {
        const float a = sum(kVcaAttack, kVcaAttackMod);
        return a < 0.0f ? 0.001f : (std::min(a, 1.0f) * 149.0f + 1.0f) * 0.001f;
    }
    case kVcaDecay: {
        const float a = sum(kVcaDecay, kVcaDecayMod);
        return a < 0.0f ? 0.001f : (std::min(a, 1.0f) * 199.0f + 1.0f) * 0.001f;
    }
    case kVcaDepth:
        return limit01(sum(kVcaDepth, kVcaDepthMod));
    case kVcaPan: {
        const float a = getValue(kVcaPan) + (x - 0.5f) * getWorkingValue(kVcaPanMod);
        return limit01(a);
    }
    case kVcaGateTime: {
        const int stepSize = tableIndex(getWorkingValue(kVcaStepSize), 10);
        return limit01(sum(kVcaGateTime, kVcaGateMod)) * kStepLengths64[stepSize];
    }
    case kFilterFreq: {
        Slot* s = slot(kFilterFreq);
        return curveAt(s, limit01(sum(kFilterFreq, kFilterFreqMod)));
    }
    case kFilterRes:
        return limit01(sum(kFilterRes, kFilterResMod));
    case kDistortFuzz:
        return limit01(sum(kDistortFuzz, kDistortFuzzMod));
    case kDistortWarp: {
        const float a = sum(kDistortWarp, kDistortWarpMod);
        if (a < 0.0f)
            return 0.5f;
        if (a > 1.0f)
            return 4.5f;
        return 4.0f * a + 0.5f;
    }
    case kDelayTime: {
        float fine = getValue(kDelayTimeFine) + 0.5f * x * getWorkingValue(kDelayFineMod);
        const float f = limit01(fine) + 0.5f;
        const float base = getDelayTimeBase();
        if (isSynced(kDelayTime)) {
            const int position = tableIndex(getWorkingValue(kDelayTime), kNoteDivisions);
            return kNoteDivisionBeats[position] * base * f;
        }
        return base * getValue(kDelayTime) * f;
    }
    case kDelayFeedback:
        return limit01(sum(kDelayFeedback, kDelayFeedbackMod));
    case kDelaySend:
        return limit01(sum(kDelaySend, kDelaySendMod));
    case kShiftFrequency: {
        const float a = sum(kShiftFrequency, kShiftFreqMod);
        if (a < 0.0f)
            return -800.0f;
        if (a > 1.0f)
            return 800.0f;
        return 1600.0f * a - 800.0f;
    }
    case kShiftFine: {
        const float a = sum(kShiftFine, kShiftFineMod);
        if (a < 0.0f)
            return -10.0f;
        if (a > 1.0f)
            return 10.0f;
        return 20.0f * a - 10.0f;
    }
    case kShiftFeedback:
        return limit01(sum(kShiftFeedback, kShiftFeedbackMod));
    case kShiftMix:
        return limit01(sum(kShiftMix, kShiftMixMod));
    case kBitsRate: {
        const float a = sum(kBitsRate, kBitsRateMod);
        if (a < 0.0f)
            return 1.0f;
        if (a > 1.0f)
            return 1.0f - 0.99f;
        return 1.0f - 0.99f * a;
    }
    case kBitsBitDepth: {
        const float a = sum(kBitsBitDepth, kBitsDepthMod);
        if (a < 0.0f)
            return 24.0f;
        if (a > 1.0f)
            return 1.0f;
        if (a == 0.0f)
            return 24.0f;
        return (1.0f - a) * 16.0f + 1.0f;
    }
    case kBitsError: {
        const float a = sum(kBitsError, kBitsErrorMod);
        if (a < 0.0f)
            return 0.0f;
        if (a > 1.0f)
            return 100.0f;
        return 100.0f * a;
    }
    default:
        // Filter Bite and every parameter without a modulation amount.
        return 0.0f;
    }
}

void Morvek2ParameterManager::getDisplay(int index, char* buffer, int length) // [any]
{
    if (!buffer)
        return;
    char text[64];
    text[0] = '\0';
    const float n = getValue(index);
    const float w = getWorkingValue(index);

    if (index == kVcaPan || index == kDistortFuzz || index == kDistortWarp) {
        if (index == kVcaPan) {
            if (n > 0.45f && n < 0.55f)
                std::snprintf(text, sizeof text, " CTR");
            else if (w <= 0.45f)
                std::snprintf(text, sizeof text, " L%d",
                              boundedTrunc((0.45f - w) * 100.0f / 0.45f));
            else
                std::snprintf(text, sizeof text, " R%d",
                              boundedTrunc((w - 0.55f) * 100.0f / 0.45f));
        } else if (index == kDistortFuzz) {
            std::snprintf(text, sizeof text, "%3.1f", n * 11.0f);
        } else {
            std::snprintf(text, sizeof text, "%3.2f", n);
        }
        copyCut(buffer, text, std::min(length, 7));
        return;
    }
    if (index == kDelayMode) {
        copyCut(buffer, kDelayModeNames[tableIndex(w, 3)], std::min(length, 19));
        return;
    }
    if (isModAmount(index)) {
        std::snprintf(text, sizeof text, "%+3.0f", w * 100.0f);
    } else {
        switch (index) {
        case kFilterFreq:
            if (w < 1000.0f)
                std::snprintf(text, sizeof text, " %3.0f", w);
            else if (w < 10000.0f)
                std::snprintf(text, sizeof text, " %3.2fk", w * 0.001f);
            else
                std::snprintf(text, sizeof text, " %3.1fk", w * 0.001f);
            break;
        case kFilterRes:
            std::snprintf(text, sizeof text, " %3.2f", n);
            break;
        case kFilterType:
            std::snprintf(text, sizeof text, "%s", kFilterTypeNames[tableIndex(w, 6)]);
            break;
        case kDelayTime: {
            const int mode = tableIndex(getWorkingValue(kDelayMode), 3);
            const float base =
                mode == 0 ? beatLength.load(std::memory_order_relaxed) : kDelayTimeBases[mode];
            if (mode == 0) {
                zk_paramManager::getDisplay(index, buffer, length);
                return;
            }
            std::snprintf(text, sizeof text, mode == 1 ? "%3.0f" : "%2.1f", base * n);
            break;
        }
        case kDelayTimeFine:
            std::snprintf(text, sizeof text, "%3.2fx", w);
            break;
        case kBitsBitDepth:
            std::snprintf(text, sizeof text, "%d",
                          boundedTrunc(getModulatedValue(kBitsBitDepth, 0.0f)));
            break;
        case kBitsError: {
            static const char kKeys[] = "qwertasdfgzxcvbyuiophjklnm";
            const unsigned char c = static_cast<unsigned char>(kKeys[tableIndex(25.0f * n, 26)]);
            std::snprintf(text, sizeof text, " %d%d%d%d%d", (c >> 4) & 1, (c >> 3) & 1,
                          (c >> 2) & 1, (c >> 1) & 1, c & 1);
            break;
        }
        case kResetInterval:
            std::snprintf(text, sizeof text, "%s", kResetIntervalDisplays[tableIndex(w, 5)]);
            break;
        default:
            zk_paramManager::getDisplay(index, buffer, length);
            return;
        }
    }
    copyWhole(buffer, text, length);
}

std::vector<std::string> Morvek2ParameterManager::getValueList(int index) // [ui]
{
    std::vector<std::string> list;
    if (isStepSize(index) || index == kStepSizeListIndex) {
        for (const seq::StepSize& size : seq::kStepSizes)
            list.emplace_back(size.name);
    } else if (index == kDelayMode)
        list.assign(std::begin(kDelayModeNames), std::end(kDelayModeNames));
    else if (index == kResetInterval)
        list.assign(std::begin(kResetIntervalNames), std::end(kResetIntervalNames));
    return list;
}
