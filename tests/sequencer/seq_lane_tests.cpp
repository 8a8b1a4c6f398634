#include "sequencer/seq_lane.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <set>
#include <string>
#include <vector>

namespace {

// A random source that plays back a fixed list and counts how often it was asked.
struct Script
{
    static inline std::vector<int> values;
    static inline std::size_t next = 0;
    static void play(std::vector<int> v)
    {
        values = std::move(v);
        next = 0;
    }
    static int draw()
    {
        const int r = next < values.size() ? values[next] : 0;
        ++next;
        return r;
    }
};

SeqLane laneWith(int position, int length, int direction)
{
    SeqLane lane = seq::newLane();
    lane.position = static_cast<std::int16_t>(position);
    lane.length = static_cast<std::int16_t>(length);
    lane.direction = static_cast<std::int16_t>(direction);
    return lane;
}

bool sameBytes(const SeqLane& a, const SeqLane& b)
{
    return std::memcmp(&a, &b, sizeof(SeqLane)) == 0;
}

TEST(SeqLaneLayout, FieldsLandAtTheirLittleEndianOffsets)
{
    SeqLane lane{};
    seq::store(lane.position, 0x0102);
    seq::store(lane.length, 0x0304);
    seq::store(lane.direction, 0x0506);
    seq::store(lane.stepSize, 0x0708);
    seq::store(lane.reserved, 0x090A);
    seq::store(lane.steps[31].value, 1.0f);
    seq::store(lane.steps[31].gate, 0xA1);
    seq::store(lane.steps[31].valueLock, 0xA2);
    seq::store(lane.steps[31].gateLock, 0xA3);
    unsigned char bytes[sizeof(SeqLane)];
    std::memcpy(bytes, &lane, sizeof bytes);
    EXPECT_EQ(bytes[0], 0x02);
    EXPECT_EQ(bytes[1], 0x01);
    EXPECT_EQ(bytes[2], 0x04);
    EXPECT_EQ(bytes[4], 0x06);
    EXPECT_EQ(bytes[6], 0x08);
    EXPECT_EQ(bytes[8], 0x0A);
    EXPECT_EQ(bytes[9], 0x09);
    const std::size_t last = 12 + 31 * 8;
    EXPECT_EQ(bytes[last + 3], 0x3F); // 1.0f is 0x3F800000
    EXPECT_EQ(bytes[last + 2], 0x80);
    EXPECT_EQ(bytes[last + 4], 0xA1);
    EXPECT_EQ(bytes[last + 5], 0xA2);
    EXPECT_EQ(bytes[last + 6], 0xA3);
    EXPECT_EQ(last + 8, sizeof(SeqLane));
}

TEST(SeqLaneLayout, NewLaneIsSixteenthsForwardOverThirtyTwoEmptySteps)
{
    SeqLane lane;
    std::memset(&lane, 0xCD, sizeof lane);
    seq::initLane(lane);
    EXPECT_EQ(lane.position, 0);
    EXPECT_EQ(lane.length, 32);
    EXPECT_EQ(lane.direction, seq::kForward);
    EXPECT_EQ(lane.stepSize, 4);
    EXPECT_STREQ(seq::kStepSizes[lane.stepSize].name, "1/16");
    for (const SeqStep& s : lane.steps) {
        EXPECT_EQ(s.value, 0.0f);
        EXPECT_EQ(s.gate, 0);
        EXPECT_EQ(s.valueLock, 0);
        EXPECT_EQ(s.gateLock, 0);
    }
    const SeqLane fresh = seq::newLane();
    EXPECT_TRUE(sameBytes(lane, fresh));
}

TEST(SeqStepSizes, TableMatchesTheClockGridAndGateLengths)
{
    const char* names[] = {"1/64", "1/32", "1/16T", "1/16D", "1/16",
                           "1/8T", "1/8D", "1/8",   "1/4",   "1/4T"};
    const std::uint32_t bits[] = {0x80, 0x01, 0x10, 0x100, 0x02, 0x20, 0x200, 0x04, 0x08, 0x40};
    const double lengths[] = {1, 2, 8.0 / 3, 6, 4, 16.0 / 3, 12, 8, 16, 32.0 / 3};
    std::set<std::uint32_t> seen;
    for (int i = 0; i < seq::kStepSizeCount; ++i) {
        EXPECT_STREQ(seq::kStepSizes[i].name, names[i]) << i;
        EXPECT_EQ(seq::stepClockBit(i), bits[i]) << i;
        EXPECT_DOUBLE_EQ(seq::stepSixtyFourths(i), lengths[i]) << i;
        seen.insert(seq::stepClockBit(i));
    }
    EXPECT_EQ(seen.size(), 10u) << "each size needs its own grid bit";
    // The dotted sizes move on the triplet spacings: 1/16D with 1/8T, 1/8D with 1/4T.
    EXPECT_DOUBLE_EQ(seq::stepQuarterNotes(3), seq::stepQuarterNotes(5));
    EXPECT_DOUBLE_EQ(seq::stepQuarterNotes(6), seq::stepQuarterNotes(9));
    EXPECT_DOUBLE_EQ(seq::stepQuarterNotes(4), 0.25);
    EXPECT_DOUBLE_EQ(seq::stepQuarterNotes(2), 1.0 / 6.0);
    EXPECT_EQ(seq::stepQuarterNotes(10), 0.0);
    EXPECT_EQ(seq::stepClockBit(10), 0u);
    EXPECT_EQ(seq::stepClockBit(-1), 0u);
    EXPECT_EQ(seq::stepSixtyFourths(10), 0.0);
}

TEST(SeqAdvance, ForwardAndBackwardWrapAtTheEnds)
{
    SeqLane fwd = laneWith(3, 4, seq::kForward);
    EXPECT_EQ(seq::advance(fwd), 0);
    EXPECT_EQ(fwd.position, 0);
    EXPECT_EQ(seq::advance(fwd), 1);

    SeqLane back = laneWith(0, 4, seq::kBackward);
    EXPECT_EQ(seq::advance(back), 3);
    EXPECT_EQ(back.position, 3);
    EXPECT_EQ(seq::advance(back), 2);
}

TEST(SeqAdvance, RandomTakesTheDrawModuloLengthAndLengthOneStaysOnZero)
{
    SeqLane lane = laneWith(0, 16, seq::kRandom);
    Script::play({37, 32767});
    EXPECT_EQ(seq::advance(lane, Script::draw), 37 % 16);
    EXPECT_EQ(seq::advance(lane, Script::draw), 32767 % 16);
    EXPECT_EQ(Script::next, 2u);

    SeqLane one = laneWith(0, 1, seq::kRandom);
    for (int r : {1, 2, 3, 32767, 12345}) {
        Script::play({r});
        EXPECT_EQ(seq::advance(one, Script::draw), 0);
        EXPECT_EQ(one.position, 0);
    }
}

TEST(SeqAdvance, UnknownDirectionHoldsAndDrawsNothing)
{
    SeqLane lane = laneWith(5, 16, 3);
    Script::play({7});
    EXPECT_EQ(seq::advance(lane, Script::draw), 5);
    EXPECT_EQ(lane.position, 5);
    EXPECT_EQ(Script::next, 0u);
}

TEST(SeqReset, EachDirectionRestartsAndTheCopyDrawsItsOwnNumber)
{
    SeqLane fwd = laneWith(9, 16, seq::kForward);
    SeqLane fwdCopy = laneWith(4, 16, seq::kForward);
    EXPECT_EQ(seq::resetPosition(fwd, &fwdCopy), 0);
    EXPECT_EQ(fwdCopy.position, 0);

    SeqLane back = laneWith(2, 12, seq::kBackward);
    EXPECT_EQ(seq::resetPosition(back, nullptr), 11);

    SeqLane rnd = laneWith(0, 16, seq::kRandom);
    SeqLane rndCopy = laneWith(0, 16, seq::kRandom);
    Script::play({5, 9 + 16});
    EXPECT_EQ(seq::resetPosition(rnd, &rndCopy, Script::draw), 5);
    EXPECT_EQ(rndCopy.position, 9);
    EXPECT_EQ(Script::next, 2u);
}

TEST(SeqSetLength, PullsThePositionBackOnlyWhenItFallsOutside)
{
    SeqLane live = laneWith(12, 32, seq::kForward);
    SeqLane copy = laneWith(12, 32, seq::kForward);
    EXPECT_TRUE(seq::setLength(live, &copy, 16.0f));
    EXPECT_EQ(live.position, 12);
    EXPECT_EQ(live.length, 16);
    EXPECT_TRUE(seq::setLength(live, &copy, 8.9f));
    EXPECT_EQ(live.position, 7);
    EXPECT_EQ(live.length, 8);
    EXPECT_EQ(copy.position, 7);
    EXPECT_EQ(copy.length, 8);
}

TEST(SeqSetLength, OutOfRangeWorkingValuesNeverGiveAnEmptyOrOverlongLane)
{
    SeqLane lane = laneWith(3, 8, seq::kRandom);
    EXPECT_TRUE(seq::setLength(lane, nullptr, 0.0f));
    EXPECT_EQ(lane.length, 1);
    EXPECT_EQ(lane.position, 0);
    Script::play({32767});
    EXPECT_EQ(seq::advance(lane, Script::draw), 0);
    EXPECT_TRUE(seq::setLength(lane, nullptr, 1e9f));
    EXPECT_EQ(lane.length, 32);
    EXPECT_FALSE(seq::setLength(lane, nullptr, std::nanf("")));
    EXPECT_EQ(lane.length, 32);
}

TEST(SeqSetStepSizeAndDirection, KeepOnlyWhatTheLaneCanUse)
{
    SeqLane live = seq::newLane();
    SeqLane copy = seq::newLane();
    EXPECT_TRUE(seq::setStepSize(live, &copy, 9.99f));
    EXPECT_EQ(live.stepSize, 9);
    EXPECT_EQ(copy.stepSize, 9);
    EXPECT_FALSE(seq::setStepSize(live, &copy, 10.0f));
    EXPECT_FALSE(seq::setStepSize(live, &copy, -1.0f));
    EXPECT_FALSE(seq::setStepSize(live, &copy, std::nanf("")));
    EXPECT_EQ(live.stepSize, 9);
    EXPECT_EQ(copy.stepSize, 9);

    EXPECT_TRUE(seq::setDirection(live, &copy, 2.7f));
    EXPECT_EQ(live.direction, 2);
    EXPECT_EQ(copy.direction, 2);
    EXPECT_TRUE(seq::setDirection(live, nullptr, 1e20f)); // saturates instead of overflowing
    EXPECT_EQ(live.direction, 32767);
    EXPECT_EQ(copy.direction, 2);
}

TEST(SeqRandomise, LockedValuesStayAndAllThirtyTwoStepsAreRolled)
{
    SeqLane live = laneWith(0, 8, seq::kForward);
    SeqLane copy = seq::newLane();
    for (int i = 0; i < 4; ++i) {
        live.steps[i].value = 0.25f;
        live.steps[i].valueLock = 1;
    }
    copy.steps[0].value = 0.9f;
    copy.steps[0].valueLock = 1; // the copy's own lock does not protect it: values are copied
    std::vector<int> draws;
    for (int i = 0; i < 28; ++i) {
        draws.push_back(1000 * i + 7);
    }
    Script::play(draws);
    seq::randomiseValues(live, &copy, Script::draw);
    EXPECT_EQ(Script::next, 28u) << "one draw per unlocked step, length ignored";
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(live.steps[i].value, 0.25f);
    }
    for (int i = 4; i < 32; ++i) {
        EXPECT_FLOAT_EQ(live.steps[i].value, static_cast<float>(draws[i - 4]) / 32767.0f) << i;
    }
    for (int i = 0; i < 32; ++i) {
        EXPECT_EQ(copy.steps[i].value, live.steps[i].value) << i;
    }
    EXPECT_EQ(copy.steps[0].valueLock, 1) << "locks are not part of the value copy";
}

TEST(SeqRandomise, GatesFollowTheParityOfEachDraw)
{
    SeqLane live = seq::newLane();
    SeqLane copy = seq::newLane();
    live.steps[1].gate = 1;
    live.steps[1].gateLock = 1;
    std::vector<int> draws;
    for (int i = 0; i < 31; ++i) {
        draws.push_back(i % 3); // 0 even, 1 odd, 2 even
    }
    Script::play(draws);
    seq::randomiseGates(live, &copy, Script::draw);
    EXPECT_EQ(Script::next, 31u);
    EXPECT_EQ(live.steps[1].gate, 1);
    int draw = 0;
    for (int i = 0; i < 32; ++i) {
        if (i == 1) {
            continue;
        }
        EXPECT_EQ(live.steps[i].gate, draws[draw++] % 2 == 0 ? 1 : 0) << i;
        EXPECT_EQ(copy.steps[i].gate, live.steps[i].gate) << i;
    }
    EXPECT_EQ(copy.steps[1].gate, 1);
}

TEST(SeqClear, LiveLaneAndCopyEachObeyTheirOwnLocks)
{
    SeqLane live = seq::newLane();
    SeqLane copy = seq::newLane();
    for (int i = 0; i < 32; ++i) {
        live.steps[i].value = copy.steps[i].value = 0.5f;
        live.steps[i].gate = copy.steps[i].gate = 1;
    }
    live.steps[2].valueLock = 1;
    copy.steps[5].valueLock = 1;
    live.steps[3].gateLock = 1;
    copy.steps[6].gateLock = 1;
    seq::clearValues(live, &copy);
    seq::clearGates(live, &copy);
    for (int i = 0; i < 32; ++i) {
        EXPECT_EQ(live.steps[i].value, i == 2 ? 0.5f : 0.0f) << i;
        EXPECT_EQ(copy.steps[i].value, i == 5 ? 0.5f : 0.0f) << i;
        EXPECT_EQ(live.steps[i].gate, i == 3 ? 1 : 0) << i;
        EXPECT_EQ(copy.steps[i].gate, i == 6 ? 1 : 0) << i;
    }
}

TEST(SeqClear, AllGatesLockedChangesNoByte)
{
    SeqLane live = seq::newLane();
    for (int i = 0; i < 32; ++i) {
        live.steps[i].gate = static_cast<std::uint8_t>(i % 2);
        live.steps[i].gateLock = 1;
    }
    const SeqLane before = live;
    seq::clearGates(live, nullptr);
    EXPECT_TRUE(sameBytes(live, before));
}

TEST(SeqLaneCommand, TagsMapToTheFourCommands)
{
    EXPECT_EQ(seq::laneCommandForTag(204), seq::LaneCommand::RandomiseValues);
    EXPECT_EQ(seq::laneCommandForTag(205), seq::LaneCommand::RandomiseGates);
    EXPECT_EQ(seq::laneCommandForTag(208), seq::LaneCommand::ClearValues);
    EXPECT_EQ(seq::laneCommandForTag(209), seq::LaneCommand::ClearGates);
    EXPECT_FALSE(seq::laneCommandForTag(206).has_value());
    EXPECT_FALSE(seq::laneCommandForTag(0).has_value());
}

TEST(SeqLaneCommand, CopiesTheWholeLiveLaneOverTheProgramCopy)
{
    SeqLane live = laneWith(6, 12, seq::kBackward);
    live.reserved = 0x1234;
    live.padding[0] = 0xEE;
    live.steps[7].value = 0.75f;
    live.steps[7].valueLock = 1;
    live.steps[9].padding = 0x55;
    SeqLane copy = laneWith(0, 32, seq::kForward);
    copy.steps[7].value = 0.1f;
    copy.steps[7].valueLock = 0;
    seq::runLaneCommand(live, &copy, seq::LaneCommand::ClearValues);
    EXPECT_EQ(live.steps[7].value, 0.75f);
    EXPECT_TRUE(sameBytes(live, copy)) << "position, reserved word and padding included";
    EXPECT_EQ(copy.position, 6);
}

TEST(SeqStepEdits, WriteBothLanesAndIgnoreBadIndicesAndValues)
{
    SeqLane live = seq::newLane();
    SeqLane copy = seq::newLane();
    seq::setStepValue(live, &copy, 31, 0.6f);
    seq::setStepGate(live, &copy, 0, true);
    seq::setValueLock(live, &copy, 4, true);
    seq::setGateLock(live, &copy, 5, true);
    EXPECT_EQ(copy.steps[31].value, 0.6f);
    EXPECT_EQ(copy.steps[0].gate, 1);
    EXPECT_EQ(copy.steps[4].valueLock, 1);
    EXPECT_EQ(copy.steps[5].gateLock, 1);
    EXPECT_TRUE(sameBytes(live, copy));

    const SeqLane before = live;
    seq::setStepValue(live, nullptr, 32, 0.5f);
    seq::setStepValue(live, nullptr, -1, 0.5f);
    seq::setStepGate(live, nullptr, 1000, true);
    seq::setStepValue(live, nullptr, 3, std::nanf(""));
    EXPECT_TRUE(sameBytes(live, before));
    seq::setStepValue(live, nullptr, 3, 7.0f);
    EXPECT_EQ(live.steps[3].value, 1.0f);
}

// Lanes as a damaged chunk could deliver them: no operation may reach outside the 32 steps.
TEST(SeqHostileLane, EveryOperationStaysInsideTheSteps)
{
    const int lengths[] = {0, -1, -32768, 33, 32767, 1, 32};
    const int positions[] = {-1, -32768, 0, 31, 32, 40, 32767};
    const int directions[] = {seq::kForward, seq::kBackward, seq::kRandom, 3, -1, 32767};
    for (int length : lengths) {
        for (int position : positions) {
            for (int direction : directions) {
                const std::string where = std::to_string(length) + "/" + std::to_string(position) +
                                          "/" + std::to_string(direction);
                SeqLane lane = laneWith(position, length, direction);
                lane.stepSize = 77;
                const int limit = seq::safeLength(lane);
                ASSERT_GE(limit, 1) << where;
                ASSERT_LE(limit, 32) << where;
                const seq::StepView view = seq::currentStep(lane);
                EXPECT_GE(view.index, 0) << where;
                EXPECT_LT(view.index, limit) << where;
                for (int i = 0; i < 40; ++i) {
                    const int index = seq::advance(lane);
                    ASSERT_GE(index, 0) << where;
                    ASSERT_LT(index, limit) << where;
                }
                SeqLane copy = laneWith(position, length, direction);
                const int reset = seq::resetPosition(lane, &copy);
                EXPECT_GE(reset, 0) << where;
                EXPECT_LT(reset, limit) << where;
                seq::randomiseValues(lane, &copy);
                seq::clearGates(lane, &copy);
                EXPECT_EQ(seq::stepClockBit(lane.stepSize), 0u) << where;
            }
        }
    }
}

TEST(SeqHostileLane, CurrentStepNeverHandsOnANonFiniteValue)
{
    SeqLane lane = laneWith(2, 4, seq::kForward);
    lane.steps[2].value = std::numeric_limits<float>::quiet_NaN();
    lane.steps[2].gate = 9;
    seq::StepView view = seq::currentStep(lane);
    EXPECT_EQ(view.value, 0.0f);
    EXPECT_TRUE(view.gate);
    lane.steps[2].value = -std::numeric_limits<float>::infinity();
    EXPECT_EQ(seq::currentStep(lane).value, 0.0f);
    lane.steps[2].value = 3.0f;
    EXPECT_EQ(seq::currentStep(lane).value, 1.0f);
}

TEST(SeqRepair, FixesOnlyWhatIsOutOfRange)
{
    SeqLane lane = laneWith(-3, 0, 7);
    lane.stepSize = 12;
    lane.reserved = -99;
    lane.padding[1] = 0x77;
    lane.steps[0].value = std::numeric_limits<float>::quiet_NaN();
    lane.steps[1].value = -0.0f;
    lane.steps[2].value = 1.5f;
    lane.steps[3].value = 0.3f;
    lane.steps[3].gate = 200; // any gate byte is usable: non-zero is on
    lane.steps[4].valueLock = 3;
    SeqLane expected = lane;
    expected.position = 0;
    expected.length = 1;
    expected.stepSize = 4;
    expected.steps[0].value = 0.0f;
    expected.steps[2].value = 1.0f;
    EXPECT_TRUE(seq::repair(lane));
    EXPECT_TRUE(sameBytes(lane, expected));
    EXPECT_FALSE(seq::repair(lane)) << "a repaired lane needs no second repair";

    SeqLane beyond = laneWith(40, 100, seq::kBackward);
    EXPECT_TRUE(seq::repair(beyond));
    EXPECT_EQ(beyond.length, 32);
    EXPECT_EQ(beyond.position, 31);
    SeqLane past = laneWith(20, 16, seq::kForward);
    EXPECT_TRUE(seq::repair(past));
    EXPECT_EQ(past.position, 15);
    EXPECT_EQ(past.length, 16);
}

TEST(SeqRepair, LeavesAHealthyLaneByteForByte)
{
    SeqLane lane = laneWith(15, 16, 2);
    lane.stepSize = 9;
    lane.reserved = 5;
    lane.steps[8].value = 1.0f;
    lane.steps[9].padding = 0xAB;
    const SeqLane before = lane;
    EXPECT_FALSE(seq::repair(lane));
    EXPECT_TRUE(sameBytes(lane, before));
}

TEST(SeqSnapshot, CopiesEveryField)
{
    SeqLane live = laneWith(3, 5, seq::kRandom);
    live.stepSize = 8;
    live.steps[30].value = 0.125f;
    live.steps[30].gateLock = 1;
    SeqLane shown;
    std::memset(&shown, 0x5A, sizeof shown);
    seq::snapshot(live, shown);
    EXPECT_TRUE(sameBytes(live, shown));
}

} // namespace
