#pragma once

// Who the plug-in's 93 parameters are: their indices, named after the parameter table's long
// names ("Filter Freq" is kFilterFreq), the parameters that play one role in each module, and
// the names of the lists some of them show. Everything that addresses a parameter by index
// (the processing core, the editor, the hosts and tools, the tests) takes it from here, so an
// index is written down once. The indices are the order hosts see and stored programs keep:
// they never change.

namespace morvek2::param {

enum Index : int {
    kVcaAttack = 0,
    kVcaDecay = 1,
    kVcaDepth = 2,
    kVcaPan = 3,
    kVcaGateTime = 4,
    kVcaSolo = 5,
    kVcaStepSize = 6,
    kVcaLength = 7,
    kVcaDirection = 8,
    kVcaDepthMod = 9,
    kVcaPanMod = 10,
    kVcaGateMod = 11,
    kVcaAttackMod = 12,
    kVcaDecayMod = 13,
    kVcaSmoothing = 14,
    kVcaRstRand = 15,
    kVcaGateRstRand = 16,
    kFilterFreq = 17,
    kFilterRes = 18,
    kFilterType = 19,
    kFilterBite = 20,
    kFilterMute = 21,
    kFilterSolo = 22,
    kFilterStepSize = 23,
    kFilterLength = 24,
    kFilterDirection = 25,
    kFilterFreqMod = 26,
    kFilterResMod = 27,
    kFilterBiteMod = 28,
    kFilterSmoothing = 29,
    kFilterRstRand = 30,
    kFilterGateRstRand = 31,
    kDistortFuzz = 32,
    kDistortWarp = 33,
    kDistortMute = 34,
    kDistortSolo = 35,
    kDistortStepSize = 36,
    kDistortLength = 37,
    kDistortDirection = 38,
    kDistortFuzzMod = 39,
    kDistortWarpMod = 40,
    kDistortSmoothing = 41,
    kDistortRstRand = 42,
    kDistortGateRstRand = 43,
    kDelayTime = 44,
    kDelayTimeFine = 45,
    kDelayMode = 46,
    kDelayFeedback = 47,
    kDelaySend = 48,
    kDelayMute = 49,
    kDelaySolo = 50,
    kDelayStepSize = 51,
    kDelayLength = 52,
    kDelayDirection = 53,
    kDelayFineMod = 54,
    kDelayFeedbackMod = 55,
    kDelaySendMod = 56,
    kDelaySmoothing = 57,
    kDelayRstRand = 58,
    kDelayGateRstRand = 59,
    kShiftFrequency = 60,
    kShiftFine = 61,
    kShiftFeedback = 62,
    kShiftMix = 63,
    kShiftMute = 64,
    kShiftSolo = 65,
    kShiftStepSize = 66,
    kShiftLength = 67,
    kShiftDirection = 68,
    kShiftFreqMod = 69,
    kShiftFineMod = 70,
    kShiftFeedbackMod = 71,
    kShiftMixMod = 72,
    kShiftSmoothing = 73,
    kShiftRstRand = 74,
    kShiftGateRstRand = 75,
    kBitsRate = 76,
    kBitsBitDepth = 77,
    kBitsError = 78,
    kBitsMute = 79,
    kBitsSolo = 80,
    kBitsStepSize = 81,
    kBitsLength = 82,
    kBitsDirection = 83,
    kBitsRateMod = 84,
    kBitsDepthMod = 85,
    kBitsErrorMod = 86,
    kBitsSmoothing = 87,
    kBitsRstRand = 88,
    kBitsGateRstRand = 89,
    kOutputGain = 90,
    kResetInterval = 91,
    kActive = 92,
};

inline constexpr int kNumParams = 93;
inline constexpr int kNumModules = 6;

// The modules in their module numbers, as the editor and the tools name them.
inline constexpr const char* kModuleNames[kNumModules] = {"VCA",   "Filter", "Distort",
                                                          "Delay", "Shift",  "Bits"};

// The parameters of one role, by module number.
inline constexpr int kStepSizeParam[kNumModules] = {
    kVcaStepSize, kFilterStepSize, kDistortStepSize, kDelayStepSize, kShiftStepSize, kBitsStepSize};
inline constexpr int kLengthParam[kNumModules] = {kVcaLength,   kFilterLength, kDistortLength,
                                                  kDelayLength, kShiftLength,  kBitsLength};
inline constexpr int kDirectionParam[kNumModules] = {kVcaDirection,     kFilterDirection,
                                                     kDistortDirection, kDelayDirection,
                                                     kShiftDirection,   kBitsDirection};
inline constexpr int kSmoothingParam[kNumModules] = {kVcaSmoothing,     kFilterSmoothing,
                                                     kDistortSmoothing, kDelaySmoothing,
                                                     kShiftSmoothing,   kBitsSmoothing};
inline constexpr int kRstRandParam[kNumModules] = {kVcaRstRand,   kFilterRstRand, kDistortRstRand,
                                                   kDelayRstRand, kShiftRstRand,  kBitsRstRand};
inline constexpr int kGateRstRandParam[kNumModules] = {kVcaGateRstRand,     kFilterGateRstRand,
                                                       kDistortGateRstRand, kDelayGateRstRand,
                                                       kShiftGateRstRand,   kBitsGateRstRand};
// The VCA has no Mute.
inline constexpr int kMuteParam[kNumModules] = {-1,         kFilterMute, kDistortMute,
                                                kDelayMute, kShiftMute,  kBitsMute};
inline constexpr int kSoloParam[kNumModules] = {kVcaSolo,   kFilterSolo, kDistortSolo,
                                                kDelaySolo, kShiftSolo,  kBitsSolo};

// The module whose parameter of one role sits at `index`, or -1.
constexpr int moduleOf(const int (&role)[kNumModules], int index)
{
    for (int m = 0; m < kNumModules; ++m) {
        if (role[m] == index) {
            return m;
        }
    }
    return -1;
}

// The value-list number (beside the parameter indices) that stands for the step-size names
// shared by all modules. The names themselves are the sequencer's (seq::kStepSizes).
inline constexpr int kStepSizeList = 200;

// The texts the lists show, by working value. The filter types are displayed with a leading
// space, which the preset files leave out. The reset interval shows short texts as its display
// and long ones in its list.
inline constexpr const char* kFilterTypeNames[6] = {" 4P LP", " 3P LP", " 2P LP",
                                                    " 4P HP", " 2P HP", " 4P BP"};
inline constexpr const char* kDelayModeNames[3] = {"Delay", "Chorus", "Flange"};
inline constexpr const char* kResetIntervalDisplays[5] = {" Off", " 1 M", " 2 M", " 3 M", " 4 M"};
inline constexpr const char* kResetIntervalNames[5] = {" off", " 1 measure", " 2 measures",
                                                       " 3 measures", " 4 measures"};

} // namespace morvek2::param
