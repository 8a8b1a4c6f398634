// The factory bank as built from the preset files: the rows that must be exact, the statistics
// of the whole bank, and that construction writes the tables into the records as intended.
#include "params/Morvek2Params.h"
#include "plugin/FactoryPrograms.h"
#include "vst2/Morvek2.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>
#include <string>

using namespace morvek2::param;

namespace {

VstIntPtr VSTCALLBACK bankHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
    return opcode == audioMasterVersion ? kVstVersion : 0;
}

constexpr int kVca = 0, kFilter = 1, kDelay = 3;

bool isPlainHeader(const std::int16_t* h)
{
    return h[0] == 0 && h[1] == 16 && h[2] == 0 && h[3] == 4 && h[4] == 0;
}

} // namespace

TEST(Morvek2FactoryBank, LaneHeadersMatchTheBankStatistics)
{
    int plain = 0;
    int minLength = 99, maxLength = 0;
    std::set<std::pair<int, int>> randomLanes;
    for (int k = 0; k < factory::kPrograms; ++k) {
        for (int m = 0; m < factory::kLanes; ++m) {
            const std::int16_t* h = factory::kLaneHeaders[k][m];
            plain += isPlainHeader(h) ? 1 : 0;
            minLength = std::min<int>(minLength, h[1]);
            maxLength = std::max<int>(maxLength, h[1]);
            EXPECT_NE(h[2], 1) << "no backward lanes: program " << k << " lane " << m;
            EXPECT_EQ(h[4], 0) << k << " " << m;
            EXPECT_GE(h[0], 0);
            EXPECT_LT(h[0], h[1]) << k << " " << m;
            EXPECT_LE(h[3], 9);
            if (h[2] == 2) {
                randomLanes.insert({k, m});
                EXPECT_NE(h[0], 0) << "random lanes start off step 0";
            }
        }
    }
    EXPECT_EQ(plain, 172);
    EXPECT_EQ(minLength, 2);
    EXPECT_EQ(maxLength, 32);
    // "06 Skittles" Filter and "10 Mini Minimal" Delay, nothing else.
    EXPECT_EQ(randomLanes, (std::set<std::pair<int, int>>{{5, kFilter}, {9, kDelay}}));
}

TEST(Morvek2FactoryBank, ExactlyThreeValueLocksAndSixGateLocks)
{
    int valueLocks = 0, gateLocks = 0, lockedSteps = 0;
    for (int k = 0; k < factory::kPrograms; ++k) {
        for (int m = 0; m < factory::kLanes; ++m) {
            for (int s = 0; s < factory::kSteps; ++s) {
                const std::uint16_t f = factory::kStepFlags[k][m][s];
                EXPECT_EQ(f & ~7u, 0u);
                valueLocks += (f & factory::kFlagValueLock) ? 1 : 0;
                gateLocks += (f & factory::kFlagGateLock) ? 1 : 0;
                lockedSteps += (f & (factory::kFlagValueLock | factory::kFlagGateLock)) ? 1 : 0;
                const float v = factory::kStepValues[k][m][s];
                EXPECT_TRUE(v >= 0.0f && v <= 1.0f) << k << " " << m << " " << s;
            }
        }
    }
    EXPECT_EQ(valueLocks, 3);
    EXPECT_EQ(gateLocks, 6);
    EXPECT_EQ(lockedSteps, 9);
}

TEST(Morvek2FactoryBank, CleanSlateAndShiftThisRows)
{
    const float* v = factory::kValues[0];
    EXPECT_FLOAT_EQ(v[90], 0.837f); // Output Gain
    EXPECT_FLOAT_EQ(v[91], 0.25f);  // Reset Interval
    EXPECT_FLOAT_EQ(v[92], 1.0f);   // Active
    EXPECT_FLOAT_EQ(v[2], 1.0f);    // VCA Depth
    EXPECT_FLOAT_EQ(v[3], 0.5f);    // VCA Pan
    EXPECT_FLOAT_EQ(v[4], 1.0f);    // VCA Gate Time
    for (int p : kStepSizeParam) {
        EXPECT_FLOAT_EQ(v[p], 0.4444f) << p;
    }
    for (int p : kLengthParam) {
        EXPECT_FLOAT_EQ(v[p], 0.4688f) << p;
    }
    for (int m = 0; m < 6; ++m) {
        EXPECT_TRUE(isPlainHeader(factory::kLaneHeaders[0][m]));
        EXPECT_EQ(factory::kChainOrders[0][m], m);
    }
    EXPECT_EQ(factory::kEditorPages[0], 0);
    for (int s = 0; s < 32; ++s) {
        const bool gate = factory::kStepFlags[0][kVca][s] & factory::kFlagGate;
        EXPECT_EQ(gate, s < 16 && s % 2 == 0) << s;
        for (int m = 1; m < 6; ++m) {
            EXPECT_EQ(factory::kStepFlags[0][m][s], 0);
            EXPECT_EQ(factory::kStepValues[0][m][s], 0.0f);
        }
    }
    EXPECT_NEAR(factory::kStepValues[0][kVca][3], 0.29f, 0.01f);
    EXPECT_NEAR(factory::kStepValues[0][kVca][12], 0.67f, 0.01f);
    for (int s = 4; s <= 12; ++s) {
        EXPECT_GT(factory::kStepValues[0][kVca][s], factory::kStepValues[0][kVca][s - 1]);
    }

    const std::uint16_t order[6] = {4, 5, 1, 2, 0, 3};
    EXPECT_TRUE(std::equal(order, order + 6, factory::kChainOrders[1]));
    EXPECT_EQ(factory::kEditorPages[1], 3);
    const std::int16_t header[5] = {0, 32, 0, 1, 0};
    EXPECT_TRUE(std::equal(header, header + 5, factory::kLaneHeaders[1][kVca]));
}

TEST(Morvek2FactoryBank, ConstructionWritesTheTablesIntoTheRecords)
{
    Morvek2 plugin(bankHost);
    std::set<std::string> names;
    for (int k = 0; k < 40; ++k) {
        const ProgramRecord& r = plugin.getProgramRecord(k);
        EXPECT_EQ(r.header, 1);
        EXPECT_STREQ(r.name, factory::kNames[k]);
        names.insert(r.name);
        EXPECT_EQ(std::memcmp(r.values, factory::kValues[k], sizeof r.values), 0) << k;
        EXPECT_EQ(r.editorPage, factory::kEditorPages[k]);
        EXPECT_EQ(r.padding[0] | r.padding[1], 0);
        for (int m = 0; m < 6; ++m) {
            const SeqLane& lane = r.lanes[m];
            const std::int16_t* h = factory::kLaneHeaders[k][m];
            EXPECT_EQ(r.chainOrder[m], factory::kChainOrders[k][m]);
            // Program 0 was applied, and its parameters agree with its headers, so every
            // record still shows its table header.
            EXPECT_EQ(lane.position, h[0]);
            EXPECT_EQ(lane.length, h[1]);
            EXPECT_EQ(lane.direction, h[2]);
            EXPECT_EQ(lane.stepSize, h[3]);
            EXPECT_EQ(lane.reserved, h[4]);
            for (int s = 0; s < 32; ++s) {
                const std::uint16_t f = factory::kStepFlags[k][m][s];
                EXPECT_EQ(lane.steps[s].value, factory::kStepValues[k][m][s]);
                EXPECT_EQ(lane.steps[s].gate, f & 1u);
                EXPECT_EQ(lane.steps[s].valueLock != 0, (f & 2u) != 0);
                EXPECT_EQ(lane.steps[s].gateLock != 0, (f & 4u) != 0);
            }
        }
    }
    EXPECT_EQ(names.size(), 40u);
}

TEST(Morvek2FactoryBank, LaneParametersAgreeWithTheirHeaders)
{
    // A program whose Length parameter disagreed with its header would be cut or stretched
    // on load; the factory data keeps them in step.
    Morvek2 plugin(bankHost);
    Morvek2ParameterManager& pm = plugin.getParameterManager();
    for (int k = 0; k < 40; ++k) {
        for (int m = 0; m < 6; ++m) {
            const std::int16_t* h = factory::kLaneHeaders[k][m];
            const float* v = factory::kValues[k];
            EXPECT_EQ(pm.normalisedToWorking(kStepSizeParam[m], v[kStepSizeParam[m]]), h[3])
                << k << m;
            EXPECT_EQ(pm.normalisedToWorking(kLengthParam[m], v[kLengthParam[m]]), h[1]) << k << m;
            EXPECT_EQ(pm.normalisedToWorking(kDirectionParam[m], v[kDirectionParam[m]]), h[2]);
        }
    }
}

TEST(Morvek2FactoryBank, ProgramsDoWhatTheirNamesPromise)
{
    // Working values through the parameter manager, as the engines see them.
    Morvek2 plugin(bankHost);
    Morvek2ParameterManager& pm = plugin.getParameterManager();
    auto working = [&pm](int k, int index) {
        return pm.normalisedToWorking(index, factory::kValues[k][index]);
    };
    constexpr int kFilterLane = 1;
    auto gatesOn = [](int k, int m) {
        int on = 0;
        for (int s = 0; s < factory::kLaneHeaders[k][m][1]; ++s) {
            on += factory::kStepFlags[k][m][s] & factory::kFlagGate;
        }
        return on;
    };
    // "03 Hi-Pass Junkie": a resonant high-pass the filter lane moves. The resonance stays
    // moderate: more lifts a -6 dBFS sine sweep above full scale at a level near bypass.
    EXPECT_TRUE(working(2, kFilterType) == 3 || working(2, kFilterType) == 4);
    EXPECT_GE(factory::kValues[2][kFilterRes], 0.1f);
    EXPECT_GT(gatesOn(2, kFilterLane), 0);
    // "08 Self Osc Acid": the ladder (four-pole low-pass) at full resonance.
    EXPECT_EQ(working(7, kFilterType), 0);
    EXPECT_EQ(factory::kValues[7][kFilterRes], 1.0f);
    // "13/14 Low Pass Gate": a low-pass and a full-depth-ish VCA gating together.
    for (int k : {12, 13}) {
        EXPECT_LE(working(k, kFilterType), 2) << k;
        EXPECT_GT(gatesOn(k, 0), 0) << k;
        EXPECT_GT(gatesOn(k, kFilterLane), 0) << k;
        EXPECT_GE(working(k, 2), 90.0f) << k; // VCA Depth in percent
    }
    // "23 Trips vs Straight": triplet lanes and straight lanes in play together.
    bool triplet = false, straight = false;
    for (int m = 0; m < 6; ++m) {
        if (gatesOn(22, m) == 0) {
            continue;
        }
        const int size = factory::kLaneHeaders[22][m][3];
        triplet = triplet || size == 2 || size == 5 || size == 9;
        straight = straight || size == 0 || size == 1 || size == 4 || size == 7 || size == 8;
    }
    EXPECT_TRUE(triplet && straight);
    // "35 Flangerator": the delay in Flange mode, with its lane open.
    EXPECT_EQ(working(34, kDelayMode), 2);
    EXPECT_GT(gatesOn(34, 3), 0);
    // "36 Four Measure FIlter" and "37 Four Measure Phase": a four-measure reset interval.
    EXPECT_EQ(working(35, kResetInterval), 4);
    EXPECT_EQ(working(36, kResetInterval), 4);
    // "32 Quarter Pulse": the VCA lane repeats once per quarter note.
    const std::int16_t* q = factory::kLaneHeaders[31][0];
    EXPECT_DOUBLE_EQ(q[1] * seq::stepQuarterNotes(q[3]), 1.0);
}
