#include "params/Morvek2ParameterManager.h"
#include "params/Morvek2Params.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

struct Row
{
    int index;
    const char* longName;
    const char* shortName;
    const char* label;
    int kind;
    float minimum;
    float maximum;
    float defaultWorking;
    float defaultNormalised;
};

// The published parameter table, kept here as data so a typo on either side shows.
const Row kTable[] = {
    {0, "VCA Attack", "VCAAtak", "ms", 0, 1, 150, 1, 0},
    {1, "VCA Decay", "VCADecy", "ms", 0, 1, 200, 1, 0},
    {2, "VCA Depth", "VCADept", "%", 2, 25, 100, 25, 0},
    {3, "VCA Pan", "VCA Pan", "", 0, 0, 1, 0.5, 0.5},
    {4, "VCA Gate Time", "VCA Gate", "%", 2, 1, 100, 100, 1},
    {5, "VCA Solo", "VCA Solo", "", 1, 0, 1, 0, 0},
    {6, "VCA Step Size", "VCA Step", "", 6, 0, 9, 0, 0},
    {7, "VCA Length", "VCA Leng", "", 6, 1, 32, 32, 0.96875},
    {8, "VCA Direction", "VCA Dir", "", 6, 0, 2, 0, 0},
    {9, "VCA Depth Mod", "VCADptMd", "%", 0, -1, 1, 0, 0.5},
    {10, "VCA Pan Mod", "VCAPanMd", "%", 0, -1, 1, 0, 0.5},
    {11, "VCA Gate Mod", "VCAGatMd", "%", 0, -1, 1, 0, 0.5},
    {12, "VCA Attack Mod", "VCAAtkMd", "%", 0, -1, 1, 0, 0.5},
    {13, "VCA Decay Mod", "VCADcyMd", "%", 0, -1, 1, 0, 0.5},
    {14, "VCA Smoothing", "VCA Smoo", "", 0, 0, 1, 0, 0},
    {15, "VCA Rst Rand", "VCARstRd", "", 1, 0, 1, 0, 0},
    {16, "VCA Gate Rst Rand", "VCAGRtRd", "", 1, 0, 1, 0, 0},
    {17, "Filter Freq", "FiltFreq", "Hz", 4, 40, 20000, 20000, 1},
    {18, "Filter Res", "Filt Res", "", 0, 0, 1, 0, 0},
    {19, "Filter Type", "FiltType", "", 6, 0, 5, 0, 0},
    {20, "Filter Bite", "FiltBite", "", 0, 0, 1, 0, 0},
    {21, "Filter Mute", "FiltMute", "", 1, 0, 1, 0, 0},
    {22, "Filter Solo", "FiltSolo", "", 1, 0, 1, 0, 0},
    {23, "Filter Step Size", "FiltStep", "", 6, 0, 9, 0, 0},
    {24, "Filter Length", "FiltLeng", "", 6, 1, 32, 32, 0.96875},
    {25, "Filter Direction", "FiltDir", "", 6, 0, 2, 0, 0},
    {26, "Filter Freq Mod", "FiltFrMd", "%", 0, -1, 1, 0, 0.5},
    {27, "Filter Res Mod", "FiltRsMd", "%", 0, -1, 1, 0, 0.5},
    {28, "Filter Bite Mod", "FltBtMod", "%", 0, -1, 1, 0, 0.5},
    {29, "Filter Smoothing", "FiltSmoo", "", 0, 0, 1, 0, 0},
    {30, "Filter Rst Rand", "FltRstRd", "", 1, 0, 1, 0, 0},
    {31, "Filter Gate Rst Rand", "FltGRtRd", "", 1, 0, 1, 0, 0},
    {32, "Distort Fuzz", "DistFuzz", "", 0, 0, 1, 0, 0},
    {33, "Distort Warp", "DistWarp", "", 0, 0, 1, 0, 0},
    {34, "Distort Mute", "DistMute", "", 1, 0, 1, 0, 0},
    {35, "Distort Solo", "DistSolo", "", 1, 0, 1, 0, 0},
    {36, "Distort Step Size", "DistStep", "", 6, 0, 9, 0, 0},
    {37, "Distort Length", "DistLeng", "", 6, 1, 32, 32, 0.96875},
    {38, "Distort Direction", "Dist Dir", "", 6, 0, 2, 0, 0},
    {39, "Distort Fuzz Mod", "DistFzMd", "%", 0, -1, 1, 0, 0.5},
    {40, "Distort Warp Mod", "DistWpMd", "%", 0, -1, 1, 0, 0.5},
    {41, "Distort Smoothing", "DistSmoo", "", 0, 0, 1, 0, 0},
    {42, "Distort Rst Rand", "DstRstRd", "", 1, 0, 1, 0, 0},
    {43, "Distort Gate Rst Rand", "DstGRtRd", "", 1, 0, 1, 0, 0},
    {44, "Delay Time", "DelyTime", "msec", 8, 4, 2000, 1000, 0.498998},
    {45, "Delay Time Fine", "DelyFine", "", 0, 0.5, 2, 1, 0.5},
    {46, "Delay Mode", "DelyMode", "", 6, 0, 2, 0, 0},
    {47, "Delay Feedback", "DelyFdbk", "%", 2, 0, 100, 0, 0},
    {48, "Delay Send", "DelySend", "%", 2, 0, 100, 0, 0},
    {49, "Delay Mute", "DelyMute", "", 1, 0, 1, 0, 0},
    {50, "Delay Solo", "DelySolo", "", 1, 0, 1, 0, 0},
    {51, "Delay Step Size", "DelyStep", "", 6, 0, 9, 0, 0},
    {52, "Delay Length", "DelyLeng", "", 6, 1, 32, 32, 0.96875},
    {53, "Delay Direction", "Dely Dir", "", 6, 0, 2, 0, 0},
    {54, "Delay Fine Mod", "DelyFnMd", "%", 0, -1, 1, 0, 0.5},
    {55, "Delay Feedkback Mod", "DelyFdMd", "%", 0, -1, 1, 0, 0.5},
    {56, "Delay Send Mod", "DelySnMd", "%", 0, -1, 1, 0, 0.5},
    {57, "Delay Smoothing", "DelySmoo", "", 0, 0, 1, 0, 0},
    {58, "Delay Rst Rand", "DlyRstRd", "", 1, 0, 1, 0, 0},
    {59, "Delay Gate Rst Rand", "DlyGRtRd", "", 1, 0, 1, 0, 0},
    {60, "Shift Frequency", "ShftFreq", "Hz", 0, -800, 800, 0, 0.5},
    {61, "Shift Fine", "ShftFine", "Hz", 0, -10, 10, 0, 0.5},
    {62, "Shift Feedback", "ShftFdbk", "%", 2, 0, 100, 0, 0},
    {63, "Shift Mix", "Mix", "%", 2, 0, 100, 0, 0},
    {64, "Shift Mute", "ShftMute", "", 1, 0, 1, 0, 0},
    {65, "Shift Solo", "ShftSolo", "", 1, 0, 1, 0, 0},
    {66, "Shift Step Size", "ShftStep", "", 6, 0, 9, 0, 0},
    {67, "Shift Length", "ShftLeng", "", 6, 1, 32, 32, 0.96875},
    {68, "Shift Direction", "Shft Dir", "", 6, 0, 2, 0, 0},
    {69, "Shift Freq Mod", "ShftFrMd", "%", 0, -1, 1, 0, 0.5},
    {70, "Shift Fine Mod", "ShftFnMd", "%", 0, -1, 1, 0, 0.5},
    {71, "Shift Feedback Mod", "ShftFdMd", "%", 0, -1, 1, 0, 0.5},
    {72, "Shift Mix Mod", "ShftMxMd", "%", 0, -1, 1, 0, 0.5},
    {73, "Shift Smoothing", "ShftSmoo", "", 0, 0, 1, 0, 0},
    {74, "Shift Rst Rand", "ShfRstRd", "", 1, 0, 1, 0, 0},
    {75, "Shift Gate Rst Rand", "ShfGRtRd", "", 1, 0, 1, 0, 0},
    {76, "Bits Rate", "BitsRate", "%", 0, 100, 1, 100, 0},
    {77, "Bits Bit Depth", "BitsDpth", "", 0, 24, 4, 24, 0},
    {78, "Bits Error", "Bits Err", "", 0, 0, 1, 0, 0},
    {79, "Bits Mute", "BitsMute", "", 1, 0, 1, 0, 0},
    {80, "Bits Solo", "BitsSolo", "", 1, 0, 1, 0, 0},
    {81, "Bits Step Size", "BitsStep", "", 6, 0, 9, 0, 0},
    {82, "Bits Length", "BitsLeng", "", 0, 1, 32, 32, 0.96875},
    {83, "Bits Direction", "Bits Dir", "", 6, 0, 2, 0, 0},
    {84, "Bits Rate Mod", "BitRatMd", "%", 0, -1, 1, 0, 0.5},
    {85, "Bits Depth Mod", "BitDptMd", "%", 0, -1, 1, 0, 0.5},
    {86, "Bits Error Mod", "BitErrMd", "%", 0, -1, 1, 0, 0.5},
    {87, "Bits Smoothing", "BitsSmoo", "", 0, 0, 1, 0, 0},
    {88, "Bits Rst Rand", "BitRstRd", "", 1, 0, 1, 0, 0},
    {89, "Bits Gate Rst Rand", "BitGRtRd", "", 1, 0, 1, 0, 0},
    {90, "Output Gain", "Out Gain", "dB", 5, -40, 6, 0, 0.8695652},
    {91, "Reset Interval", "Reset", "", 6, 0, 4, 0, 0},
    {92, "Active", "Active", "", 1, 0, 1, 1, 1},
};

std::string display(Morvek2ParameterManager& m, int index, int length = 8)
{
    char buf[64];
    std::memset(buf, '#', sizeof buf);
    m.getDisplay(index, buf, length);
    return buf;
}

std::string label(Morvek2ParameterManager& m, int index)
{
    char buf[64];
    m.getLabel(index, buf, 8);
    return buf;
}

} // namespace

TEST(Morvek2Params, TableMatchesThePublishedDefinitions)
{
    Morvek2ParameterManager m;
    ASSERT_EQ(sizeof kTable / sizeof kTable[0], 93u);
    EXPECT_EQ(m.getCount(), 93);
    for (const Row& r : kTable) {
        SCOPED_TRACE(r.index);
        char buf[64];
        m.getName(r.index, buf, 8);
        EXPECT_STREQ(buf, r.shortName);
        m.getName(r.index, buf, 40);
        EXPECT_STREQ(buf, r.longName);
        EXPECT_EQ(m.getLongName(r.index), r.longName);
        // Delay Time's label depends on its sync state (checked with the Delay Mode tests).
        const std::string expectedLabel = r.index == 44 ? "" : r.label;
        EXPECT_EQ(label(m, r.index), expectedLabel);
        EXPECT_EQ(m.getKind(r.index), r.kind);
        EXPECT_EQ(m.getMin(r.index), r.minimum);
        EXPECT_EQ(m.getMax(r.index), r.maximum);
        EXPECT_EQ(m.getDefault(r.index), r.defaultWorking);
        EXPECT_NEAR(m.getValue(r.index), r.defaultNormalised, 1e-6f);
        EXPECT_TRUE(m.isRandomisable(r.index));
        // Delay Time ends synced on position 7; every other default is its working value.
        const float expectedWorking = r.index == 44 ? 7.0f : r.defaultWorking;
        EXPECT_EQ(m.getWorkingValue(r.index), expectedWorking);
    }
    EXPECT_EQ(m.getCount(), 93);
}

// The named indices and role tables everything else addresses parameters by: each names the
// parameter the manager defines there.
TEST(Morvek2Params, NamedIndicesAndRolesMatchTheTable)
{
    using namespace morvek2::param;
    Morvek2ParameterManager m;
    const std::pair<const int(*)[kNumModules], const char*> roles[] = {
        {&kStepSizeParam, " Step Size"},  {&kLengthParam, " Length"},
        {&kDirectionParam, " Direction"}, {&kSmoothingParam, " Smoothing"},
        {&kRstRandParam, " Rst Rand"},    {&kGateRstRandParam, " Gate Rst Rand"},
        {&kMuteParam, " Mute"},           {&kSoloParam, " Solo"}};
    for (const auto& [table, role] : roles) {
        for (int mod = 0; mod < kNumModules; ++mod) {
            const int index = (*table)[mod];
            if (index < 0) {
                EXPECT_STREQ(role, " Mute") << mod; // the VCA has no Mute
                continue;
            }
            EXPECT_EQ(m.getLongName(index), std::string(kModuleNames[mod]) + role);
        }
    }
    const std::pair<int, const char*> named[] = {{kVcaAttack, "VCA Attack"},
                                                 {kFilterFreq, "Filter Freq"},
                                                 {kFilterType, "Filter Type"},
                                                 {kDistortWarpMod, "Distort Warp Mod"},
                                                 {kDelayMode, "Delay Mode"},
                                                 {kDelayFeedbackMod, "Delay Feedkback Mod"},
                                                 {kShiftMix, "Shift Mix"},
                                                 {kBitsBitDepth, "Bits Bit Depth"},
                                                 {kBitsGateRstRand, "Bits Gate Rst Rand"},
                                                 {kOutputGain, "Output Gain"},
                                                 {kActive, "Active"}};
    for (const auto& [index, name] : named) {
        EXPECT_EQ(m.getLongName(index), name);
    }
}

TEST(Morvek2Params, LengthsAreQuantisedToWholeSteps)
{
    Morvek2ParameterManager m;
    for (int i : {7, 24, 37, 52, 67, 82}) {
        SCOPED_TRACE(i);
        m.setValue(i, 0.5f);
        EXPECT_EQ(m.getWorkingValue(i), 17.0f);
        EXPECT_EQ(m.getValue(i), 0.5f);
        m.setValue(i, 0.99f);
        EXPECT_EQ(m.getWorkingValue(i), 32.0f);
        EXPECT_EQ(m.getValue(i), 0.96875f);
        m.setValue(i, 1.0f);
        EXPECT_EQ(m.getValue(i), 0.96875f);
        m.setValue(i, 0.0f);
        EXPECT_EQ(m.getWorkingValue(i), 1.0f);
        m.setValue(i, 0.1f); // floor(4.2) = 4 steps beyond the first
        EXPECT_EQ(m.getWorkingValue(i), 4.0f);
        EXPECT_EQ(m.getValue(i), 3.0f / 32.0f);
        // A hostile value still gives a usable lane length.
        m.setValue(i, -3.0f);
        EXPECT_EQ(m.getWorkingValue(i), 1.0f);
        m.setValue(i, kNaN);
        EXPECT_EQ(m.getWorkingValue(i), 1.0f);
        EXPECT_EQ(display(m, i), "   1");
    }
}

TEST(Morvek2Params, BipolarAmountsSnapToCentre)
{
    Morvek2ParameterManager m;
    for (int i : {9, 10, 11, 12, 13, 26, 27, 28, 39, 40, 54, 55, 56, 69, 70, 72, 84, 85, 86}) {
        SCOPED_TRACE(i);
        m.setValue(i, 0.51f);
        EXPECT_EQ(m.getValue(i), 0.5f);
        EXPECT_EQ(m.getWorkingValue(i), 0.0f);
        EXPECT_EQ(display(m, i), " +0");
        m.setValue(i, 0.53f);
        EXPECT_EQ(m.getValue(i), 0.53f);
        EXPECT_NEAR(m.getWorkingValue(i), 0.06f, 1e-6f);
        EXPECT_EQ(display(m, i), " +6");
        EXPECT_EQ(label(m, i), "%");
        m.setValue(i, 0.75f);
        EXPECT_EQ(display(m, i), "+50");
        m.setValue(i, 0.0f);
        EXPECT_EQ(display(m, i), "-100");
    }
    // Shift Feedback Mod is not snapped; Delay Time Fine and the shift offsets are.
    m.setValue(71, 0.51f);
    EXPECT_EQ(m.getValue(71), 0.51f);
    m.setValue(45, 0.48f);
    EXPECT_EQ(m.getWorkingValue(45), 1.0f);
    m.setValue(60, 0.52f);
    EXPECT_EQ(m.getWorkingValue(60), 0.0f);
    m.setValue(61, 0.476f);
    EXPECT_EQ(m.getValue(61), 0.5f);
    m.setValue(3, 0.51f); // Pan is not in the list
    EXPECT_EQ(m.getValue(3), 0.51f);
}

TEST(Morvek2Params, DelayModeSwitchesDelayTimeBetweenDivisionsAndMilliseconds)
{
    Morvek2ParameterManager m;
    EXPECT_TRUE(m.isSynced(44));
    EXPECT_NEAR(m.getValue(44), 0.498998f, 1e-6f);
    EXPECT_EQ(m.getWorkingValue(44), 7.0f);
    EXPECT_EQ(display(m, 44), "1/8. ");
    EXPECT_EQ(label(m, 44), "");
    EXPECT_EQ(m.getDelayTimeBase(), 2000.0f);
    EXPECT_EQ(m.getEngineValue(44), 0.75f);

    const float n = 0.25f;
    m.setValue(44, n);
    m.setValue(46, 0.5f); // Chorus
    EXPECT_EQ(display(m, 46), "Chorus");
    EXPECT_FALSE(m.isSynced(44));
    EXPECT_EQ(m.getValue(44), n);
    EXPECT_FLOAT_EQ(m.getWorkingValue(44), 4.0f + 1996.0f * n);
    EXPECT_EQ(m.getDelayTimeBase(), 50.0f);
    EXPECT_EQ(display(m, 44), " 12"); // "%3.0f" of 50 * 0.25 = 12.5, rounded to even
    EXPECT_EQ(label(m, 44), "msec");
    char shortLabel[8];
    m.getLabel(44, shortLabel, 4);
    EXPECT_STREQ(shortLabel, "ms");
    EXPECT_FLOAT_EQ(m.getModulatedValue(44, 0.0f), 50.0f * n); // Fine at its centre: f = 1

    m.setValue(46, 1.0f); // Flange
    EXPECT_EQ(display(m, 46), "Flange");
    EXPECT_EQ(m.getDelayTimeBase(), 10.0f);
    EXPECT_EQ(display(m, 44), "2.5");

    m.setDelayTimeBase(500.0f); // as the processing loop writes it
    m.setValue(46, 0.0f);       // Delay again
    EXPECT_EQ(display(m, 46), "Delay");
    EXPECT_TRUE(m.isSynced(44));
    EXPECT_EQ(m.getDelayTimeBase(), 2000.0f);
    EXPECT_EQ(m.getWorkingValue(44), 3.0f); // floor(15 * 0.25)
    m.setValue(44, 1.0f);
    EXPECT_EQ(m.getWorkingValue(44), 15.0f);
    EXPECT_EQ(display(m, 44), "1/1  ");
    m.setDelayTimeBase(500.0f);
    EXPECT_FLOAT_EQ(m.getModulatedValue(44, 0.0f), 4.0f * 500.0f);
    for (float bad : {0.0f, -1.0f, kInf, kNaN}) // a tempo of 0 or garbage from the host
        m.setDelayTimeBase(bad);
    EXPECT_EQ(m.getDelayTimeBase(), 500.0f);

    // The working-value path applies the same rule.
    m.setWorkingValue(46, 2.0f);
    EXPECT_FALSE(m.isSynced(44));
    EXPECT_EQ(m.getDelayTimeBase(), 10.0f);
}

TEST(Morvek2Params, DisplaysOfTheSpecialIndices)
{
    Morvek2ParameterManager m;
    m.setValue(3, 0.5f);
    EXPECT_EQ(display(m, 3), " CTR");
    m.setValue(3, 0.45f);
    EXPECT_EQ(display(m, 3), " L0");
    m.setValue(3, 0.55f);
    EXPECT_EQ(display(m, 3), " R0");
    m.setValue(3, 0.0f);
    EXPECT_EQ(display(m, 3), " L100");
    m.setValue(3, 1.0f);
    EXPECT_EQ(display(m, 3), " R100");

    EXPECT_EQ(display(m, 0), "   1");
    EXPECT_EQ(label(m, 0), "ms");
    EXPECT_EQ(display(m, 17), " 20.0k");
    EXPECT_EQ(label(m, 17), "Hz");
    m.setWorkingValue(17, 440.0f);
    EXPECT_EQ(display(m, 17), " 440");
    m.setWorkingValue(17, 9999.99f);
    EXPECT_EQ(display(m, 17), " 10.00k");
    m.setValue(18, 0.25f);
    EXPECT_EQ(display(m, 18), " 0.25");

    const char* const types[] = {" 4P LP", " 3P LP", " 2P LP", " 4P HP", " 2P HP", " 4P BP"};
    for (int t = 0; t < 6; ++t) {
        m.setWorkingValue(19, static_cast<float>(t));
        EXPECT_EQ(display(m, 19), types[t]);
    }
    m.setValue(32, 1.0f);
    EXPECT_EQ(display(m, 32), "11.0");
    m.setValue(33, 0.5f);
    EXPECT_EQ(display(m, 33), "0.50");
    EXPECT_EQ(display(m, 45), "1.00x");
    m.setValue(45, 1.0f);
    EXPECT_EQ(display(m, 45), "2.00x");

    EXPECT_EQ(display(m, 78), " 10001"); // 'q' = 0x71
    m.setValue(78, 1.0f);                // 'm' = 0x6D
    EXPECT_EQ(display(m, 78), " 01101");

    const char* const resets[] = {" Off", " 1 M", " 2 M", " 3 M", " 4 M"};
    for (int r = 0; r < 5; ++r) {
        m.setWorkingValue(91, static_cast<float>(r));
        EXPECT_EQ(display(m, 91), resets[r]);
    }
    EXPECT_EQ(display(m, 92), "On");
    EXPECT_EQ(display(m, 6), "   0");
    EXPECT_EQ(display(m, 76), " 100");
}

TEST(Morvek2Params, BitDepthJumpsAwayFromZero)
{
    Morvek2ParameterManager m;
    EXPECT_EQ(display(m, 77), "24");
    EXPECT_EQ(m.getEngineValue(77), 24.0f);
    m.setValue(77, 1e-6f);
    EXPECT_EQ(display(m, 77), "16");
    EXPECT_NEAR(m.getEngineValue(77), 17.0f, 1e-4f);
    EXPECT_NEAR(m.getWorkingValue(77), 17.0f, 1e-4f);
    m.setValue(77, 1.0f);
    EXPECT_EQ(display(m, 77), "1");
    EXPECT_EQ(m.getEngineValue(77), 1.0f);
    // Depth modulation reaches both ends.
    m.setValue(85, 1.0f);
    EXPECT_EQ(m.getModulatedValue(77, 1.0f), 1.0f);
    EXPECT_EQ(m.getModulatedValue(77, -2.0f), 24.0f);
}

TEST(Morvek2Params, OutputGainIsSilentAtZero)
{
    Morvek2ParameterManager m;
    EXPECT_NEAR(m.getEngineValue(90), 1.0f, 0.002f);
    EXPECT_EQ(display(m, 90), "   0");
    m.setValue(90, 0.0f);
    EXPECT_EQ(display(m, 90), " -40");
    EXPECT_EQ(label(m, 90), "dB");
    EXPECT_EQ(m.getEngineValue(90), 0.0f);
    m.setValue(90, 1.0f);
    EXPECT_NEAR(m.getEngineValue(90), 1.9953f, 1e-3f);
}

TEST(Morvek2Params, ValueLists)
{
    Morvek2ParameterManager m;
    const std::vector<std::string> steps{"1/64", "1/32", "1/16T", "1/16D", "1/16",
                                         "1/8T", "1/8D", "1/8",   "1/4",   "1/4T"};
    EXPECT_EQ(m.getValueList(200), steps);
    for (int i : {6, 23, 36, 51, 66, 81})
        EXPECT_EQ(m.getValueList(i), steps);
    EXPECT_TRUE(m.getValueList(7).empty());
    EXPECT_TRUE(m.getValueList(-1).empty());
    EXPECT_EQ(m.getValueList(46), (std::vector<std::string>{"Delay", "Chorus", "Flange"}));
    EXPECT_EQ(m.getValueList(91), (std::vector<std::string>{" off", " 1 measure", " 2 measures",
                                                            " 3 measures", " 4 measures"}));
}

TEST(Morvek2Params, EngineAndModulatedValues)
{
    Morvek2ParameterManager m;
    // Filter Bite has no modulation row.
    m.setValue(28, 1.0f);
    for (float x : {-1.0f, 0.0f, 0.5f, 1.0f})
        EXPECT_EQ(m.getModulatedValue(20, x), 0.0f);

    // VCA Attack: a = n + x * w[12].
    m.setValue(0, 1.0f);
    m.setValue(12, 1.0f);
    EXPECT_FLOAT_EQ(m.getModulatedValue(0, 1.0f), 0.150f); // a = 2
    m.setValue(0, 0.0f);
    EXPECT_FLOAT_EQ(m.getModulatedValue(0, -0.1f), 0.001f); // a = -0.1
    EXPECT_FLOAT_EQ(m.getEngineValue(0), 0.001f);
    m.setValue(1, 0.5f);
    EXPECT_FLOAT_EQ(m.getModulatedValue(1, 0.0f), (0.5f * 199.0f + 1.0f) * 0.001f);

    // Pan is modulated around the centre of the step value.
    m.setValue(3, 0.5f);
    m.setValue(10, 1.0f);
    EXPECT_FLOAT_EQ(m.getModulatedValue(3, 0.75f), 0.75f);
    EXPECT_EQ(m.getModulatedValue(3, 0.0f), 0.0f);

    // Gate time scales with the VCA step size.
    m.setValue(4, 1.0f);
    m.setWorkingValue(6, 3.0f); // 1/16D: 6 sixty-fourths
    EXPECT_FLOAT_EQ(m.getModulatedValue(4, 0.0f), 6.0f);
    m.setWorkingValue(6, 9.0f);
    EXPECT_FLOAT_EQ(m.getModulatedValue(4, 0.0f), 32.0f / 3.0f);

    // Filter Freq follows its exponential curve.
    m.setValue(17, 0.0f);
    m.setValue(26, 1.0f);
    EXPECT_FLOAT_EQ(m.getModulatedValue(17, 1.0f), 20000.0f);
    EXPECT_FLOAT_EQ(m.getModulatedValue(17, -1.0f), 40.0f);

    m.setValue(33, 0.5f);
    EXPECT_FLOAT_EQ(m.getModulatedValue(33, 0.0f), 2.5f);
    m.setValue(40, 1.0f);
    EXPECT_EQ(m.getModulatedValue(33, 1.0f), 4.5f);
    EXPECT_EQ(m.getModulatedValue(33, -1.0f), 0.5f);

    m.setValue(60, 0.75f);
    EXPECT_FLOAT_EQ(m.getModulatedValue(60, 0.0f), 400.0f);
    m.setValue(61, 1.0f);
    EXPECT_FLOAT_EQ(m.getModulatedValue(61, 0.0f), 10.0f);

    m.setValue(76, 1.0f);
    EXPECT_NEAR(m.getEngineValue(76), 0.01f, 1e-7f);
    m.setValue(84, 1.0f);
    EXPECT_EQ(m.getModulatedValue(76, 1.0f), 1.0f - 0.99f);
    EXPECT_EQ(m.getModulatedValue(76, -2.0f), 1.0f);
    m.setValue(78, 0.5f);
    EXPECT_FLOAT_EQ(m.getEngineValue(78), 50.0f);
    m.setValue(86, 1.0f);
    EXPECT_EQ(m.getModulatedValue(78, 1.0f), 100.0f);

    m.setValue(29, 0.5f);
    EXPECT_FLOAT_EQ(m.getEngineValue(29), 0.255f);
    m.setValue(14, 0.5f);
    EXPECT_FLOAT_EQ(m.getEngineValue(14), 0.25f);
    m.setValue(47, 0.5f);
    EXPECT_FLOAT_EQ(m.getEngineValue(47), 0.5f);
    EXPECT_EQ(m.getModulatedValue(92, 1.0f), 0.0f);
}

// Every display of every parameter, also for values no host should send, stays within the
// host's 8 bytes, and the values handed on stay finite.
TEST(Morvek2Params, HostileValuesStayBoundedAndFinite)
{
    const float values[] = {kNaN,   kInf, -kInf, -1.0f, 2.0f, 1.7f,   -3.0f, 1e30f,
                            -1e30f, 0.0f, 1e-7f, 0.25f, 0.5f, 0.999f, 1.0f};
    const float steps[] = {kNaN, kInf, -kInf, -5.0f, 5.0f, 0.0f, 0.5f, 1.0f};
    for (int mode : {0, 1, 2}) {
        Morvek2ParameterManager m;
        m.setWorkingValue(46, static_cast<float>(mode));
        // Engine values at the ends of the range; hostile values must land between them.
        float low[93];
        float high[93];
        for (int i = 0; i < 93; ++i) {
            if (i == 46)
                continue;
            m.setValue(i, 0.0f);
            const float e0 = m.getEngineValue(i);
            m.setValue(i, 1.0f);
            const float e1 = m.getEngineValue(i);
            low[i] = std::min(e0, e1);
            high[i] = std::max(e0, e1);
        }
        for (int i = 0; i < 93; ++i) {
            for (float v : values) {
                for (bool working : {false, true}) {
                    SCOPED_TRACE(testing::Message() << "mode " << mode << " index " << i
                                                    << " value " << v << " w " << working);
                    if (i == 46)
                        continue; // the mode stays as chosen
                    if (working)
                        m.setWorkingValue(i, v);
                    else
                        m.setValue(i, v);
                    EXPECT_TRUE(std::isfinite(m.getValue(i)));
                    EXPECT_TRUE(std::isfinite(m.getWorkingValue(i)));
                    if (!working && m.getKind(i) == 6) { // list positions stay in the list
                        EXPECT_GE(m.getWorkingValue(i), m.getMin(i));
                        EXPECT_LE(m.getWorkingValue(i), m.getMax(i));
                    }
                    // Delay Time in milliseconds is handed on unlimited.
                    if (!working && !(i == 44 && mode != 0)) {
                        EXPECT_GE(m.getEngineValue(i), low[i]);
                        EXPECT_LE(m.getEngineValue(i), high[i]);
                    }
                    if (std::fabs(v) < 1e20f) {
                        EXPECT_TRUE(std::isfinite(m.getEngineValue(i)));
                        for (float x : steps)
                            EXPECT_TRUE(std::isfinite(m.getModulatedValue(i, x)));
                    }
                    char buf[32];
                    std::memset(buf, '#', sizeof buf);
                    m.getDisplay(i, buf, 8);
                    EXPECT_LT(std::strlen(buf), 8u);
                    for (std::size_t k = 8; k < sizeof buf; ++k)
                        ASSERT_EQ(buf[k], '#');
                    std::memset(buf, '#', sizeof buf);
                    m.getName(i, buf, 8);
                    EXPECT_LE(std::strlen(buf), 8u);
                    std::memset(buf, '#', sizeof buf);
                    m.getLabel(i, buf, 8);
                    EXPECT_LE(std::strlen(buf), 8u);
                }
            }
        }
    }
}
