#include "host/transport.h"

#include <gtest/gtest.h>

using morvek2::host::Transport;

namespace {

VstTimeInfo filled(Transport& t)
{
    VstTimeInfo info{};
    t.fill(info);
    return info;
}

} // namespace

TEST(Transport, AdvancesPositionsByTempoAndRate)
{
    Transport t;
    t.setSampleRate(44100.0);
    t.setTempo(120.0);
    t.advance(44100); // one second at two quarter notes per second
    EXPECT_DOUBLE_EQ(t.ppqPos(), 2.0);
    EXPECT_DOUBLE_EQ(t.samplePos(), 44100.0);

    // Many odd blocks land where one long block does.
    Transport u;
    u.setSampleRate(48000.0);
    u.setTempo(97.0);
    int64_t total = 0;
    for (int i = 0; i < 1000; ++i) {
        const int64_t n = (i * 37) % 513;
        u.advance(n);
        total += n;
    }
    EXPECT_DOUBLE_EQ(u.samplePos(), static_cast<double>(total));
    EXPECT_NEAR(u.ppqPos(), total * 97.0 / 60.0 / 48000.0, 1e-9);

    // A tempo change takes effect for the frames after it.
    Transport v;
    v.setSampleRate(1000.0);
    v.setTempo(60.0);
    v.advance(500);
    v.setTempo(120.0);
    v.advance(500);
    EXPECT_DOUBLE_EQ(v.ppqPos(), 0.5 + 1.0);
}

TEST(Transport, TimeSignatureDoesNotChangeQuarterNoteRate)
{
    Transport t;
    t.setSampleRate(1000.0);
    t.setTempo(60.0);
    t.setTimeSignature(6, 8);
    t.advance(1000);
    EXPECT_DOUBLE_EQ(t.ppqPos(), 1.0);
    EXPECT_DOUBLE_EQ(t.quarterNotesPerBar(), 3.0);
    t.setTimeSignature(7, 4);
    EXPECT_DOUBLE_EQ(t.quarterNotesPerBar(), 7.0);
}

TEST(Transport, BarStartFloorsAlsoInPreRoll)
{
    Transport t;
    EXPECT_DOUBLE_EQ(t.barStartFor(5.5), 4.0);
    EXPECT_DOUBLE_EQ(t.barStartFor(4.0), 4.0);
    EXPECT_DOUBLE_EQ(t.barStartFor(-1.0), -4.0); // truncation would say 0
    t.setTimeSignature(6, 8);
    EXPECT_DOUBLE_EQ(t.barStartFor(5.5), 3.0);
    t.setTimeSignature(0, 4); // nonsense signature: no bar, no division by zero
    EXPECT_DOUBLE_EQ(t.barStartFor(5.5), 0.0);
    t.setTimeSignature(4, 0);
    EXPECT_DOUBLE_EQ(t.quarterNotesPerBar(), 0.0);
}

TEST(Transport, StoppedTransportHoldsStill)
{
    Transport t;
    t.locate(3.0);
    t.setPlaying(false);
    t.advance(10000);
    EXPECT_DOUBLE_EQ(t.ppqPos(), 3.0);
    EXPECT_DOUBLE_EQ(t.samplePos(), 3.0 / (120.0 / 60.0 / 44100.0));
    EXPECT_EQ(filled(t).flags & kVstTransportPlaying, 0);
}

TEST(Transport, ChangedFlagMarksStartLocateAndPlayStateOnlyForOneBlock)
{
    Transport t;
    EXPECT_NE(filled(t).flags & kVstTransportChanged, 0); // first block
    t.advance(64);
    EXPECT_EQ(filled(t).flags & kVstTransportChanged, 0);
    t.setPlaying(true); // no change of state
    EXPECT_EQ(filled(t).flags & kVstTransportChanged, 0);
    t.setPlaying(false);
    EXPECT_NE(filled(t).flags & kVstTransportChanged, 0);
    t.advance(64);
    EXPECT_EQ(filled(t).flags & kVstTransportChanged, 0);
    t.locate(8.0);
    EXPECT_NE(filled(t).flags & kVstTransportChanged, 0);
    t.advance(0); // a zero-frame block is not a block that moved past the change
    EXPECT_NE(filled(t).flags & kVstTransportChanged, 0);
}

TEST(Transport, FillsRecordAndRespectsValidityFlags)
{
    Transport t;
    t.setSampleRate(48000.0);
    t.setTempo(90.0);
    t.setTimeSignature(3, 4);
    t.locate(7.5);
    VstTimeInfo info = filled(t);
    EXPECT_DOUBLE_EQ(info.sampleRate, 48000.0);
    EXPECT_DOUBLE_EQ(info.ppqPos, 7.5);
    EXPECT_DOUBLE_EQ(info.samplePos, 7.5 * 60.0 / 90.0 * 48000.0);
    EXPECT_DOUBLE_EQ(info.tempo, 90.0);
    EXPECT_DOUBLE_EQ(info.barStartPos, 6.0);
    EXPECT_EQ(info.timeSigNumerator, 3);
    EXPECT_EQ(info.timeSigDenominator, 4);
    EXPECT_DOUBLE_EQ(info.nanoSeconds, info.samplePos / 48000.0 * 1e9);
    const int32_t expected = kVstTransportPlaying | kVstTransportChanged | kVstNanosValid |
                             kVstPpqPosValid | kVstTempoValid | kVstBarsValid | kVstTimeSigValid;
    EXPECT_EQ(info.flags, expected); // no cycle set, so no cycle validity

    // A host that gives only samplePos: the other fields stay zero and unflagged.
    t.setValidFlags(0);
    info = filled(t);
    EXPECT_EQ(info.flags & ~(kVstTransportPlaying | kVstTransportChanged), 0);
    EXPECT_EQ(info.ppqPos, 0.0);
    EXPECT_EQ(info.tempo, 0.0);
    EXPECT_EQ(info.timeSigDenominator, 0);
    EXPECT_DOUBLE_EQ(info.samplePos, 7.5 * 60.0 / 90.0 * 48000.0);
}

TEST(Transport, CycleWrapsPositionsAtBlockEnd)
{
    Transport t;
    t.setSampleRate(1000.0);
    t.setTempo(60.0); // one quarter note per 1000 frames
    t.setCycle(true, 1.0, 3.0);
    t.locate(2.75);
    t.advance(500); // to 3.25: wraps to 1.25
    EXPECT_NEAR(t.ppqPos(), 1.25, 1e-12);
    EXPECT_NEAR(t.samplePos(), 1250.0, 1e-9);
    VstTimeInfo info = filled(t);
    EXPECT_NE(info.flags & kVstTransportCycleActive, 0);
    EXPECT_NE(info.flags & kVstCyclePosValid, 0);
    EXPECT_NE(info.flags & kVstTransportChanged, 0);
    EXPECT_DOUBLE_EQ(info.cycleStartPos, 1.0);
    EXPECT_DOUBLE_EQ(info.cycleEndPos, 3.0);

    t.advance(5000); // five loop lengths and a half past: stays inside the loop
    EXPECT_GE(t.ppqPos(), 1.0);
    EXPECT_LT(t.ppqPos(), 3.0);
    EXPECT_NEAR(t.ppqPos(), 1.25 + 5.0 - 4.0, 1e-9);

    // An empty loop never wraps (and never divides by zero).
    Transport u;
    u.setCycle(true, 2.0, 2.0);
    u.locate(1.0);
    u.advance(44100);
    EXPECT_DOUBLE_EQ(u.ppqPos(), 3.0);
}

TEST(Transport, HeldPpqUpdatesOnlyAtCycleStartsWhileSamplePosIsExact)
{
    Transport t;
    t.setSampleRate(1000.0);
    t.setTempo(60.0);
    t.setPpqHeldFor(100);
    const int sizes[] = {30, 30, 40, 50, 50};
    const double expectedPpq[] = {0.0, 0.0, 0.0, 0.1, 0.1};
    double samples = 0.0;
    for (int i = 0; i < 5; ++i) {
        VstTimeInfo info = filled(t);
        EXPECT_DOUBLE_EQ(info.ppqPos, expectedPpq[i]) << "block " << i;
        EXPECT_DOUBLE_EQ(info.samplePos, samples) << "block " << i;
        t.advance(sizes[i]);
        samples += sizes[i];
    }
    EXPECT_DOUBLE_EQ(filled(t).ppqPos, 0.2);
}

TEST(Transport, NonPositiveTempoOrRateDoesNotMoveOrDivide)
{
    Transport t;
    t.setTempo(0.0);
    t.locate(2.0);
    t.advance(1000);
    EXPECT_DOUBLE_EQ(t.ppqPos(), 2.0);
    EXPECT_DOUBLE_EQ(t.samplePos(), 1000.0); // the frames still count; the locate kept 0
    t.setTempo(120.0);
    t.setSampleRate(0.0);
    EXPECT_EQ(t.ppqPerFrame(), 0.0);
    VstTimeInfo info = filled(t);
    EXPECT_EQ(info.nanoSeconds, 0.0);
}
