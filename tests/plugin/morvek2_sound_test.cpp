// The sound through the linked class: the clock and its grids, resets, the VCA gate, Mute and
// Solo, the chain order, the output mix, hostile transports and buffers, and the audio path's
// allocations.
#include "sound_rig.h"
#include "support/alloc_counter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>

using namespace soundtest;

namespace {

// Runs `frames` one-frame blocks (each with the host's exact position) and lists the sample
// indices at which lane m moved.
std::vector<int> movesOfLane(Rig& rig, int m, int frames)
{
    std::vector<int> moves;
    float l = 0.0f, r = 0.0f;
    float* io[2] = {&l, &r};
    for (int i = 0; i < frames; ++i) {
        const int before = rig.plugin.getLane(m).position;
        rig.block(io, io, 1);
        if (rig.plugin.getLane(m).position != before) {
            moves.push_back(i);
        }
    }
    return moves;
}

} // namespace

TEST(Morvek2Clock, SixteenthLaneMovesWhereThePositionReachesEachQuarterOfABeat)
{
    Rig rig;
    const std::vector<int> moves = movesOfLane(rig, Morvek2::kFilter, 22051);
    // 0.25 quarter notes are 5512.5 samples at 120 bpm and 44.1 kHz.
    EXPECT_EQ(moves, (std::vector<int>{5513, 11025, 16538, 22050}));
    EXPECT_EQ(rig.plugin.getSamplesPer64(), 1378);
    EXPECT_EQ(rig.plugin.getLane(Morvek2::kFilter).position, 4);
}

TEST(Morvek2Clock, OneLongBlockMovesOnTheSameSamplesAndTimesTheVcaGate)
{
    Rig rig;
    rig.set(kVcaGateTime, 0.5f); // gate fraction 0.5 of a 1/16 step
    rig.plugin.setStepGate(Morvek2::kVCA, 1, true);
    std::vector<float> l(30000), r(30000);
    float* io[2] = {l.data(), r.data()};
    rig.block(io, io, 5513); // samples 0..5512: the step at 5513 has not come yet
    EXPECT_EQ(rig.plugin.getLane(Morvek2::kVCA).position, 0);
    EXPECT_EQ(rig.plugin.getVcaGateCountdown(), 0) << "the construction countdown ran out";
    EXPECT_EQ(rig.plugin.gateTarget(Morvek2::kVCA), 0.0f);
    rig.block(io, io, 1);
    EXPECT_EQ(rig.plugin.getLane(Morvek2::kVCA).position, 1);
    // trunc(0.5 x 4 x 1378) = 2756, counted down once on the step's own sample.
    EXPECT_EQ(rig.plugin.getVcaGateCountdown(), 2755);
    EXPECT_EQ(rig.plugin.gateTarget(Morvek2::kVCA), 1.0f);
    rig.block(io, io, 2754); // the gate's 2755th sample after the step's
    EXPECT_EQ(rig.plugin.gateTarget(Morvek2::kVCA), 1.0f);
    EXPECT_EQ(rig.plugin.getVcaGateCountdown(), 1);
    rig.block(io, io, 1); // its 2756th: closed
    EXPECT_EQ(rig.plugin.gateTarget(Morvek2::kVCA), 0.0f);

    // Fresh instances over one long block each: the third step comes on sample 16538.
    Rig before, after;
    std::vector<float> a(16539), b(16539);
    float* io2[2] = {a.data(), b.data()};
    before.block(io2, io2, 16538);
    EXPECT_EQ(before.plugin.getLane(Morvek2::kFilter).position, 2);
    after.block(io2, io2, 16539);
    EXPECT_EQ(after.plugin.getLane(Morvek2::kFilter).position, 3);
}

TEST(Morvek2Clock, DottedSizesMoveWithTheTripletGridsOrOnTheNextSixtyFourth)
{
    Rig rig;
    rig.setWorking(kStepSizeParam[Morvek2::kFilter], 3.0f);  // "1/16D"
    rig.setWorking(kStepSizeParam[Morvek2::kDistort], 5.0f); // "1/8T"
    rig.setWorking(kStepSizeParam[Morvek2::kDelay], 6.0f);   // "1/8D"
    rig.setWorking(kStepSizeParam[Morvek2::kShift], 9.0f);   // "1/4T"
    std::vector<int> moves[6];
    float l = 0.0f, r = 0.0f;
    float* io[2] = {&l, &r};
    for (int i = 0; i < 4 * 22050; ++i) {
        int before[6];
        for (int m = 0; m < 6; ++m) {
            before[m] = rig.plugin.getLane(m).position;
        }
        rig.block(io, io, 1);
        for (int m = 0; m < 6; ++m) {
            if (rig.plugin.getLane(m).position != before[m]) {
                moves[m].push_back(i);
            }
        }
    }
    // Three per quarter note and one and a half per quarter note over four quarter notes.
    ASSERT_EQ(moves[Morvek2::kDistort].size(), 11u);
    ASSERT_EQ(moves[Morvek2::kFilter].size(), 11u);
    ASSERT_EQ(moves[Morvek2::kShift].size(), 5u);
    ASSERT_EQ(moves[Morvek2::kDelay].size(), 5u);
    for (std::size_t k = 0; k < 11; ++k) {
        const int lag = moves[Morvek2::kFilter][k] - moves[Morvek2::kDistort][k];
        EXPECT_GE(lag, 0) << k;
        EXPECT_LT(lag, 1379) << k; // at most to the next 1/64 tick
    }
    for (std::size_t k = 0; k < 5; ++k) {
        const int lag = moves[Morvek2::kDelay][k] - moves[Morvek2::kShift][k];
        EXPECT_GE(lag, 0) << k;
        EXPECT_LT(lag, 1379) << k;
    }
}

TEST(Morvek2Clock, ResetAtTwoMeasuresRestartsEveryLaneWithoutMovingIt)
{
    Rig rig;
    rig.setWorking(kResetInterval, 2.0f);
    rig.setWorking(kDirectionParam[Morvek2::kDelay], 1.0f); // backward
    rig.setWorking(kLengthParam[Morvek2::kDelay], 8.0f);
    rig.set(kRstRandParam[Morvek2::kBits], 1.0f);
    for (int s = 0; s < 4; ++s) {
        rig.plugin.setStepValueLock(Morvek2::kBits, s, true);
        rig.plugin.setStepValue(Morvek2::kBits, s, 0.25f);
    }
    // Start just before the eighth quarter note; the start sounds the steps the lanes stand
    // on without moving them.
    const int reset = 8 * 22050;
    rig.samplePos = reset - 3000;
    rig.silence(2999);
    EXPECT_EQ(rig.plugin.getLane(Morvek2::kFilter).position, 0);
    EXPECT_EQ(rig.plugin.lanesRandomised.load(), 0);
    rig.silence(1); // sample reset - 1
    rig.plugin.stepMoved.store(0);
    rig.silence(1); // the reset's sample
    EXPECT_EQ(rig.plugin.stepMoved.load(), 1);
    for (int m : {0, 1, 2, 4, 5}) {
        EXPECT_EQ(rig.plugin.getLane(m).position, 0) << "module " << m;
    }
    EXPECT_EQ(rig.plugin.getLane(Morvek2::kDelay).position, 7) << "backward restarts at the end";
    EXPECT_EQ(rig.plugin.currentRecord().lanes[Morvek2::kDelay].position, 7);
    // Re-rolled on the audio thread: the locked steps stay, the others took new values, the
    // program's copy took them too, and the editor is told through the flag.
    EXPECT_EQ(rig.plugin.lanesRandomised.load(), 1);
    const SeqLane& bits = rig.plugin.getLane(Morvek2::kBits);
    for (int s = 0; s < 4; ++s) {
        EXPECT_EQ(bits.steps[s].value, 0.25f);
    }
    int changed = 0;
    for (int s = 4; s < 32; ++s) {
        changed += bits.steps[s].value != 0.0f;
        EXPECT_EQ(rig.plugin.currentRecord().lanes[Morvek2::kBits].steps[s].value,
                  bits.steps[s].value);
    }
    EXPECT_GE(changed, 20);
    // One sixteenth later the lanes move on as usual.
    rig.silence(5513);
    EXPECT_EQ(rig.plugin.getLane(Morvek2::kFilter).position, 1);
    SeqLane snap{};
    rig.plugin.laneSnapshot(Morvek2::kBits, snap);
    EXPECT_EQ(rig.plugin.lanesRandomised.load(), 0);
    EXPECT_EQ(std::memcmp(&snap, &bits, sizeof snap), 0);
}

TEST(Morvek2Clock, SixEightCountsQuarterNotesAndResetsAfterSixEighths)
{
    // The host's tempo and position count quarter notes in every signature: within one block
    // the position moves as fast as in 4/4, and a 1/64 note is as long.
    for (auto [num, den] : {std::pair{6, 8}, std::pair{4, 4}, std::pair{3, 2}, std::pair{7, 16}}) {
        Rig rig;
        rig.host.info.timeSigNumerator = num;
        rig.host.info.timeSigDenominator = den;
        rig.setWorking(kStepSizeParam[Morvek2::kFilter], 8.0f); // "1/4"
        rig.silence(30000);
        EXPECT_EQ(rig.plugin.getSamplesPer64(), 1378) << num << "/" << den;
        EXPECT_EQ(rig.plugin.getLane(Morvek2::kFilter).position, 1) << num << "/" << den;
    }

    // One measure of 6/8 is three quarter notes: quarter-note lanes reach step 2 and then go
    // back to the first step instead of to step 3.
    Rig sixEight;
    sixEight.host.info.timeSigNumerator = 6;
    sixEight.host.info.timeSigDenominator = 8;
    sixEight.setWorking(kStepSizeParam[Morvek2::kFilter], 8.0f);
    sixEight.setWorking(kResetInterval, 1.0f);
    const std::vector<int> moves = movesOfLane(sixEight, Morvek2::kFilter, 3 * 22050 + 1);
    EXPECT_EQ(moves, (std::vector<int>{22050, 44100, 66150}));
    EXPECT_EQ(sixEight.plugin.getLane(Morvek2::kFilter).position, 0);
}

TEST(Morvek2Clock, StoppedTransportHoldsTheLanesWhileTheVcaGateCloses)
{
    Rig rig;
    rig.plugin.setStepGate(Morvek2::kVCA, 1, true);
    rig.silence(5514);
    ASSERT_EQ(rig.plugin.gateTarget(Morvek2::kVCA), 1.0f);
    rig.host.info.flags &= ~kVstTransportPlaying;
    rig.silence(20000);
    for (int m = 0; m < 6; ++m) {
        EXPECT_EQ(rig.plugin.getLane(m).position, 1);
    }
    EXPECT_EQ(rig.plugin.gateTarget(Morvek2::kVCA), 0.0f);

    // The effect keeps processing: the output is the chain times gain, not silence.
    rig.set(kActive, 1.0f);
    std::vector<float> l = noise(2048, 3), r = noise(2048, 4);
    const std::vector<float> dryL = l;
    float* io[2] = {l.data(), r.data()};
    rig.block(io, io, 2048);
    float energy = 0.0f;
    for (float v : l) {
        energy += v * v;
    }
    EXPECT_GT(energy, 1.0f);
}

TEST(Morvek2MuteSolo, SoloIsExclusiveThroughTheHost)
{
    Rig rig;
    rig.set(kDistortSolo, 1.0f);
    EXPECT_EQ(rig.plugin.getSoloIndex(), kDistortSolo);
    rig.host.automated.clear();
    rig.set(kFilterSolo, 1.0f);
    EXPECT_EQ(rig.plugin.getParameter(kDistortSolo), 0.0f);
    ASSERT_EQ(rig.host.automated.size(), 1u);
    EXPECT_EQ(rig.host.automated[0], (std::pair<int, float>{kDistortSolo, 0.0f}));
    EXPECT_EQ(rig.plugin.getSoloIndex(), kFilterSolo);
    const float expected[6] = {1, 1, 0, 0, 0, 0};
    for (int m = 0; m < 6; ++m) {
        EXPECT_EQ(rig.plugin.getEnableFactor(m), expected[m]) << m;
    }
    // Turning off a Solo that is not the one on (a program load or an automation lane writing
    // zeros) keeps the Filter soloed.
    rig.set(kSoloParam[Morvek2::kBits], 0.0f);
    EXPECT_EQ(rig.plugin.getSoloIndex(), kFilterSolo);
    EXPECT_EQ(rig.plugin.getEnableFactor(Morvek2::kBits), 0.0f);
    rig.set(kFilterSolo, 0.0f);
    EXPECT_EQ(rig.plugin.getSoloIndex(), 0);
    for (int m = 0; m < 6; ++m) {
        EXPECT_EQ(rig.plugin.getEnableFactor(m), 1.0f) << m;
    }
    // The VCA cannot be muted or silenced by another module's Solo.
    rig.set(kSoloParam[Morvek2::kShift], 1.0f);
    rig.set(kFilterMute, 1.0f);
    EXPECT_EQ(rig.plugin.getEnableFactor(Morvek2::kVCA), 1.0f);
    EXPECT_EQ(rig.plugin.getEnableFactor(Morvek2::kShift), 1.0f);
    EXPECT_EQ(rig.plugin.getEnableFactor(Morvek2::kFilter), 0.0f);
}

TEST(Morvek2MuteSolo, MuteReachesTheGateAtTheModulesNextStep)
{
    Rig rig;
    for (int s = 0; s < 32; ++s) {
        rig.plugin.setStepGate(Morvek2::kFilter, s, true);
    }
    rig.silence(5514); // one step: the filter's gate opens
    ASSERT_EQ(rig.plugin.gateTarget(Morvek2::kFilter), 1.0f);
    rig.set(kFilterMute, 1.0f);
    rig.silence(5511); // up to the sample before the next step, at 11025
    EXPECT_EQ(rig.plugin.gateTarget(Morvek2::kFilter), 1.0f);
    rig.silence(1);
    EXPECT_EQ(rig.plugin.gateTarget(Morvek2::kFilter), 0.0f);

    // While stopped nothing changes; play resumes with the step the lane stands on.
    rig.host.info.flags &= ~kVstTransportPlaying;
    rig.set(kFilterMute, 0.0f);
    rig.silence(10000);
    EXPECT_EQ(rig.plugin.gateTarget(Morvek2::kFilter), 0.0f) << "nothing changes while stopped";
    const int position = rig.plugin.getLane(Morvek2::kFilter).position;
    rig.host.info.flags |= kVstTransportPlaying;
    rig.silence(1);
    EXPECT_EQ(rig.plugin.gateTarget(Morvek2::kFilter), 1.0f);
    EXPECT_EQ(rig.plugin.getLane(Morvek2::kFilter).position, position);
}

TEST(Morvek2Mix, ActiveOffGivesTheDryInputExactlyAndOnTheProcessedSignal)
{
    Rig rig;
    // A loud chain: fuzz, resonant filter, feedback delay and shifter with open gates.
    rig.set(kDistortFuzz, 1.0f);
    rig.set(kFilterFreq, 0.3f);
    rig.set(kFilterRes, 0.9f);
    rig.set(kDelaySend, 1.0f);
    rig.set(kDelayFeedback, 0.7f);
    rig.set(kShiftMix, 1.0f);
    rig.set(kShiftFrequency, 0.7f);
    for (int m = 0; m < 6; ++m) {
        for (int s = 0; s < 32; ++s) {
            rig.plugin.setStepGate(m, s, true);
        }
    }
    rig.set(kActive, 0.0f);
    rig.silence(8192); // Active settles
    std::vector<float> l = noise(4096, 1), r = noise(4096, 2);
    const std::vector<float> dryL = l, dryR = r;
    float* io[2] = {l.data(), r.data()};
    rig.block(io, io, 4096);
    EXPECT_EQ(l, dryL);
    EXPECT_EQ(r, dryR);

    rig.set(kActive, 1.0f);
    rig.silence(8192);
    l = dryL;
    r = dryR;
    rig.block(io, io, 4096);
    int differ = 0;
    for (std::size_t i = 0; i < l.size(); ++i) {
        ASSERT_TRUE(std::isfinite(l[i]) && std::isfinite(r[i]));
        differ += l[i] != dryL[i];
    }
    EXPECT_GT(differ, 4000);
}

// The control tick hands the engines new settings only when a parameter, the tempo or a step
// value moved: a change made while the lanes stand still must still be heard from the next tick.
TEST(Morvek2Mix, ChangesWhileTheLanesStandStillAreHeardAtTheNextTick)
{
    enum : int { kTempoRow = -1 };
    struct Row
    {
        int index;
        float value;
    };
    // VCA Pan, Filter Freq, Distort Fuzz, Delay Time, Delay Feedback, Shift Frequency, Shift Mix,
    // Bits Depth, and the tempo a synced delay follows.
    const Row rows[] = {{3, 0.1f},
                        {kFilterFreq, 0.8f},
                        {kDistortFuzz, 0.2f},
                        {44, 0.2f},
                        {kDelayFeedback, 0.1f},
                        {kShiftFrequency, 0.2f},
                        {kShiftMix, 0.4f},
                        {77, 0.1f},
                        {kTempoRow, 0.0f}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.index);
        auto changed = std::make_unique<Rig>();
        auto kept = std::make_unique<Rig>();
        for (Rig* rig : {changed.get(), kept.get()}) {
            rig->set(kDistortFuzz, 0.7f);
            rig->set(kFilterRes, 0.5f);
            rig->set(kDelaySend, 1.0f);
            rig->set(kDelayFeedback, 0.5f);
            rig->set(kDelayTime, 0.05f); // short echoes, heard from the first blocks
            rig->set(kShiftMix, 1.0f);
            rig->set(kShiftFrequency, 0.6f);
            for (int m = 0; m < 6; ++m) {
                for (int step = 0; step < 32; ++step) {
                    rig->plugin.setStepGate(m, step, true);
                }
            }
        }
        // Feedback is heard one echo (1/32 note) after its change: 16 blocks follow it.
        int differ = 0;
        for (int b = 0; b < 25; ++b) {
            if (b == 9) { // at a block start, so the first tick of the block may take it
                if (row.index == kTempoRow) {
                    changed->tempo = 90.0;
                } else {
                    changed->set(row.index, row.value);
                }
            }
            std::vector<float> out[2][2];
            int which = 0;
            for (Rig* rig : {changed.get(), kept.get()}) {
                out[which][0] = noise(512, 11 + b);
                out[which][1] = noise(512, 23 + b);
                float* io[2] = {out[which][0].data(), out[which][1].data()};
                gHost = &rig->host; // the host each plug-in asks is its own rig's
                rig->block(io, io, 512);
                ++which;
            }
            for (int c = 0; c < 2 && b >= 9; ++c) {
                for (std::size_t i = 0; i < 512; ++i) {
                    differ += out[0][c][i] != out[1][c][i];
                }
            }
        }
        EXPECT_GT(differ, 100);
    }
}

TEST(Morvek2Mix, OutputGainScalesTheProcessedSignal)
{
    // With every gate closed the chain is a fixed linear path, so two gains differ by their ratio.
    Rig loud, soft;
    soft.setWorking(kOutputGain, -20.0f);
    loud.silence(4096);
    soft.silence(4096);
    std::vector<float> a = noise(2048, 7), b = a, c(2048), d(2048);
    float* inA[2] = {a.data(), a.data()};
    float* outA[2] = {c.data(), d.data()};
    loud.block(inA, outA, 2048);
    std::vector<float> e(2048), f(2048);
    float* inB[2] = {b.data(), b.data()};
    float* outB[2] = {e.data(), f.data()};
    soft.block(inB, outB, 2048);
    double ratio = 0.0;
    int n = 0;
    for (int i = 1024; i < 2048; ++i) {
        if (std::fabs(c[i]) > 0.05f) {
            ratio += e[i] / c[i];
            ++n;
        }
    }
    ASSERT_GT(n, 100);
    EXPECT_NEAR(ratio / n, 0.1, 0.002);
}

TEST(Morvek2Mix, MonoPinModes)
{
    HostState host;
    gHost = &host;
    host.connectedInputs = 1;
    host.connectedOutputs = 1;
    Morvek2 plugin(&rigHost);
    plugin.resume();
    ASSERT_EQ(plugin.getInputMode(), 1);
    ASSERT_EQ(plugin.getOutputMode(), 1);
    std::vector<float> l = noise(512, 5), r = noise(512, 6), outL(512), outR(512, 42.0f);
    float* in[2] = {l.data(), r.data()};
    float* out[2] = {outL.data(), outR.data()};
    plugin.processReplacing(in, out, 512);
    for (float v : outR) {
        ASSERT_EQ(v, 42.0f) << "the second output is not written";
    }
    float energy = 0.0f;
    for (float v : outL) {
        energy += v * v;
    }
    EXPECT_GT(energy, 0.1f);

    // Input mode 1 with two outputs: the right channel processes the left input, so with the
    // centred pan both outputs carry the same signal.
    host.connectedOutputs = 2;
    Morvek2 stereoOut(&rigHost);
    stereoOut.resume();
    std::vector<float> silentLeft(512, 0.0f), noisyRight = noise(512, 9), oL(512), oR(512);
    float* in2[2] = {silentLeft.data(), noisyRight.data()};
    float* out2[2] = {oL.data(), oR.data()};
    stereoOut.processReplacing(in2, out2, 512);
    for (int i = 0; i < 512; ++i) {
        ASSERT_EQ(oR[i], 0.0f) << i;
        ASSERT_EQ(oL[i], 0.0f) << i;
    }
    gHost = nullptr;
}

TEST(Morvek2Chain, OrderIsAPermutationAndChangesTheSound)
{
    Rig rig;
    const std::uint16_t bad[][6] = {{0, 1, 2, 3, 4, 4}, {0, 1, 2, 3, 4, 6}, {5, 5, 5, 5, 5, 5}};
    for (const auto& order : bad) {
        EXPECT_FALSE(rig.plugin.setChainOrder(order));
    }
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(rig.plugin.getChainSlot(i), i);
    }
    // Distortion then a resonant low-pass differs from the reverse.
    auto render = [](const std::uint16_t(&order)[6]) {
        Rig r;
        r.set(kDistortFuzz, 1.0f);
        r.set(kFilterFreq, 0.4f);
        r.set(kFilterRes, 0.8f);
        for (int m : {Morvek2::kFilter, Morvek2::kDistort}) {
            for (int s = 0; s < 32; ++s) {
                r.plugin.setStepGate(m, s, true);
            }
        }
        EXPECT_TRUE(r.plugin.setChainOrder(order));
        std::vector<float> l = noise(20000, 11), rr = noise(20000, 12);
        float* io[2] = {l.data(), rr.data()};
        r.block(io, io, 20000);
        return l;
    };
    const std::uint16_t forward[6] = {0, 1, 2, 3, 4, 5};
    const std::uint16_t swapped[6] = {0, 2, 1, 3, 4, 5};
    EXPECT_NE(render(forward), render(swapped));
    ASSERT_TRUE(rig.plugin.setChainOrder(swapped));
    EXPECT_EQ(rig.plugin.getChainSlot(1), 2);
    EXPECT_EQ(rig.plugin.currentRecord().chainOrder[1], 2);
}

TEST(Morvek2Lanes, ParameterAndEditorWritesReachLiveLaneAndProgram)
{
    Rig rig;
    SeqLane& live = rig.plugin.getLane(Morvek2::kShift);
    SeqLane& copy = rig.plugin.currentRecord().lanes[Morvek2::kShift];
    seq::store(live.position, 12);
    seq::store(copy.position, 12);
    rig.setWorking(kLengthParam[Morvek2::kShift], 8.0f);
    EXPECT_EQ(live.position, 7);
    EXPECT_EQ(copy.position, 7);
    EXPECT_EQ(live.length, 8);
    EXPECT_EQ(copy.length, 8);
    rig.setWorking(kStepSizeParam[Morvek2::kShift], 9.0f);
    EXPECT_EQ(live.stepSize, 9);
    EXPECT_EQ(copy.stepSize, 9);
    rig.setWorking(kDirectionParam[Morvek2::kShift], 2.0f);
    EXPECT_EQ(live.direction, 2);
    EXPECT_EQ(copy.direction, 2);
    rig.plugin.setStepValue(Morvek2::kShift, 3, 0.75f);
    EXPECT_EQ(copy.steps[3].value, 0.75f);
    rig.plugin.runLaneCommand(Morvek2::kShift, seq::LaneCommand::RandomiseGates);
    EXPECT_EQ(std::memcmp(&live, &copy, sizeof live), 0);
    rig.plugin.runLaneCommand(7, seq::LaneCommand::ClearGates); // ignored
    rig.plugin.setStepValue(-1, 0, 1.0f);
    rig.plugin.setStepGate(Morvek2::kShift, 32, true);
}

TEST(Morvek2Transport, HostileTimeInformationNeverStopsTheSoundOrPoisonsTheClock)
{
    Rig rig;
    for (int s = 0; s < 32; ++s) {
        rig.plugin.setStepGate(Morvek2::kFilter, s, true);
    }
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    std::vector<float> l(4096), r(4096);
    float* io[2] = {l.data(), r.data()};
    auto check = [&](const char* what) {
        const std::vector<float> a = noise(4096, 21), b = noise(4096, 22);
        std::copy(a.begin(), a.end(), l.begin());
        std::copy(b.begin(), b.end(), r.begin());
        rig.plugin.processReplacing(io, io, 4096);
        for (std::size_t i = 0; i < l.size(); ++i) {
            ASSERT_TRUE(std::isfinite(l[i]) && std::isfinite(r[i])) << what << " " << i;
        }
        EXPECT_EQ(rig.plugin.getSamplesPer64(), 1378) << what;
    };
    rig.host.info.ppqPos = 0.1;
    rig.host.info.tempo = 120.0;
    rig.plugin.processReplacing(io, io, 64);

    // Tempo 0, negative, NaN, infinite, denormal: the previous tempo stays.
    for (double tempo : {0.0, -0.0, -120.0, nan, inf, 1e300, 4.9e-324, 2.0e-308}) {
        rig.host.info.tempo = tempo;
        check("tempo");
    }
    rig.host.info.tempo = 120.0;
    // Positions that cannot be counted: the lanes hold for the block.
    const int before = rig.plugin.getLane(Morvek2::kFilter).position;
    for (double ppq : {nan, inf, -inf, 1e300}) {
        rig.host.info.ppqPos = ppq;
        check("position");
        EXPECT_EQ(rig.plugin.getLane(Morvek2::kFilter).position, before);
    }
    // Pre-roll (a negative position) is a real position and counts: the block crosses the
    // 1/16 line at -2.
    rig.host.info.ppqPos = -2.05;
    check("pre-roll");
    EXPECT_NE(rig.plugin.getLane(Morvek2::kFilter).position, before);
    // Nonsense time signatures count as 4/4.
    rig.host.info.ppqPos = 1.0;
    for (auto [num, den] :
         {std::pair{0, 0}, std::pair{4, 0}, std::pair{-3, -8}, std::pair{7, 1 << 30}}) {
        rig.host.info.timeSigNumerator = num;
        rig.host.info.timeSigDenominator = den;
        check("signature");
    }
    // A host that sets only the playing flag: position and tempo are used as given.
    rig.host.info.flags = kVstTransportPlaying;
    rig.host.info.tempo = 60.0;
    rig.host.info.ppqPos = 3.0;
    rig.plugin.processReplacing(io, io, 16);
    EXPECT_EQ(rig.plugin.getSamplesPer64(), 2756);
    // No time information at all: the block runs stopped, the last tempo stays.
    rig.host.provideTime = false;
    const int held = rig.plugin.getLane(Morvek2::kFilter).position;
    rig.plugin.processReplacing(io, io, 4096);
    EXPECT_EQ(rig.plugin.getLane(Morvek2::kFilter).position, held);
    EXPECT_EQ(rig.plugin.getSamplesPer64(), 2756);
}

TEST(Morvek2Buffers, NonFiniteInputDoesNotPoisonTheChainOrTheDryPath)
{
    Rig rig;
    rig.set(kDelaySend, 1.0f);
    rig.set(kDelayFeedback, 0.8f);
    rig.set(kFilterRes, 0.9f);
    rig.set(kShiftMix, 1.0f);
    rig.set(kShiftFeedback, 0.5f);
    rig.set(kActive, 1.0f);
    for (int m = 0; m < 6; ++m) {
        for (int s = 0; s < 32; ++s) {
            rig.plugin.setStepGate(m, s, true);
        }
    }
    rig.silence(6000);
    rig.set(kActive, 0.5f); // both the wet and the dry path reach the output
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    std::vector<float> l(256), r(256);
    for (int i = 0; i < 256; ++i) {
        l[i] = i % 3 == 0 ? nan : (i % 3 == 1 ? inf : -inf);
        r[i] = i % 2 ? 1e38f * 10.0f : nan;
    }
    float* io[2] = {l.data(), r.data()};
    rig.block(io, io, 256);
    for (int i = 0; i < 256; ++i) {
        ASSERT_TRUE(std::isfinite(l[i]) && std::isfinite(r[i])) << i;
    }
    l = noise(8192, 31);
    r = noise(8192, 32);
    float* io2[2] = {l.data(), r.data()};
    rig.block(io2, io2, 8192);
    for (int i = 0; i < 8192; ++i) {
        ASSERT_TRUE(std::isfinite(l[i]) && std::isfinite(r[i])) << i;
        ASSERT_LT(std::fabs(l[i]), 100.0f);
    }
}

TEST(Morvek2Buffers, OddBlocksNullBuffersAndInPlaceProcessing)
{
    Rig inPlace, separate;
    std::vector<float> a = noise(3000, 41), b = noise(3000, 42);
    std::vector<float> l = a, r = b, outL(3000), outR(3000);
    float* io[2] = {l.data(), r.data()};
    float* in[2] = {a.data(), b.data()};
    float* out[2] = {outL.data(), outR.data()};
    inPlace.block(io, io, 3000);
    separate.block(in, out, 3000);
    EXPECT_EQ(l, outL);
    EXPECT_EQ(r, outR);

    // Nothing to process: no crash, nothing written.
    float* none[2] = {nullptr, nullptr};
    std::vector<float> keep(16, 3.0f);
    float* k[2] = {keep.data(), keep.data()};
    separate.plugin.processReplacing(nullptr, k, 16);
    separate.plugin.processReplacing(in, nullptr, 16);
    separate.plugin.processReplacing(none, k, 16);
    separate.plugin.processReplacing(in, none, 16);
    separate.plugin.processReplacing(in, k, 0);
    separate.plugin.processReplacing(in, k, -5);
    EXPECT_EQ(keep, std::vector<float>(16, 3.0f));
    // A host with one output buffer: the left channel alone.
    float* leftOnly[2] = {keep.data(), nullptr};
    separate.plugin.processReplacing(in, leftOnly, 16);
    for (float v : keep) {
        EXPECT_TRUE(std::isfinite(v));
    }
}

TEST(Morvek2Lifecycle, BeforeResumeAfterSuspendAndAfterARateChange)
{
    HostState host;
    gHost = &host;
    host.info.tempo = 120.0;
    host.info.flags = kVstTransportPlaying;
    Probe plugin(&rigHost);
    std::vector<float> l = noise(512, 51), r = noise(512, 52);
    float* io[2] = {l.data(), r.data()};
    plugin.processReplacing(io, io, 512); // never resumed: stereo
    for (float v : r) {
        ASSERT_TRUE(std::isfinite(v));
    }
    plugin.resume();
    plugin.suspend();
    plugin.processReplacing(io, io, 512);
    plugin.setSampleRate(0.0f);
    plugin.setSampleRate(-1.0f);
    plugin.setSampleRate(std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(plugin.getSampleRate(), 44100.0f) << "unusable rates are ignored";
    plugin.setSampleRate(48000.0f);
    plugin.resume();
    host.info.ppqPos = 0.0;
    plugin.processReplacing(io, io, 1);
    EXPECT_EQ(plugin.getSamplesPer64(), 1500);
    // A "1/16" step at 48 kHz and 120 bpm lasts 6000 samples.
    int moves = 0, last = -1, spacing = 0;
    for (int i = 1; i < 18001; ++i) {
        host.info.ppqPos = i * 2.0 / 48000.0;
        const int before = plugin.getLane(Morvek2::kFilter).position;
        plugin.processReplacing(io, io, 1);
        if (plugin.getLane(Morvek2::kFilter).position != before) {
            spacing = last >= 0 ? i - last : 0;
            last = i;
            ++moves;
        }
    }
    EXPECT_EQ(moves, 3);
    EXPECT_EQ(spacing, 6000);
    gHost = nullptr;
}

TEST(Morvek2Split, IrregularHostBlocksGiveTheSameOutputAsOneLongBlock)
{
    auto setup = [](Rig& rig) {
        rig.tempo = 137.0;
        rig.setWorking(kResetInterval, 1.0f);
        const float sizes[6] = {4, 2, 3, 5, 0, 9};
        for (int m = 0; m < 6; ++m) {
            rig.setWorking(kStepSizeParam[m], sizes[m]);
            rig.setWorking(kLengthParam[m], static_cast<float>(5 + m));
            rig.setWorking(kDirectionParam[m], m == 2 ? 1.0f : 0.0f);
            for (int s = 0; s < 32; ++s) {
                rig.plugin.setStepValue(m, s, static_cast<float>((s * 7 + m) % 11) / 10.0f);
                rig.plugin.setStepGate(m, s, (s + m) % 3 != 0);
            }
        }
        rig.set(kVcaGateTime, 0.6f);
        rig.set(kDistortFuzz, 0.6f);
        rig.set(kDelaySend, 0.5f);
        rig.set(kDelayFeedback, 0.5f);
        rig.set(kShiftMix, 0.5f);
        rig.set(kFilterRes, 0.5f);
    };
    const int total = 120000;
    const std::vector<float> inL = noise(total, 61), inR = noise(total, 62);

    Rig one;
    setup(one);
    std::vector<float> aL = inL, aR = inR;
    float* a[2] = {aL.data(), aR.data()};
    one.block(a, a, total);

    Rig split;
    setup(split);
    std::vector<float> bL = inL, bR = inR;
    const int sizes[] = {1, 31, 32, 33, 511, 0, 1024, 17};
    int done = 0;
    for (int k = 0; done < total; ++k) {
        const int n = std::min(sizes[k % 8], total - done);
        float* b[2] = {bL.data() + done, bR.data() + done};
        split.block(b, b, n);
        done += n;
    }
    ASSERT_EQ(std::memcmp(aL.data(), bL.data(), total * sizeof(float)), 0);
    ASSERT_EQ(std::memcmp(aR.data(), bR.data(), total * sizeof(float)), 0);
    for (int m = 0; m < 6; ++m) {
        EXPECT_EQ(one.plugin.getLane(m).position, split.plugin.getLane(m).position);
    }
}

TEST(Morvek2Alloc, ProcessingAndParameterChangesAllocateNothing)
{
    Rig rig;
    rig.host.logAutomation = false; // the test host's log allocates
    rig.setWorking(kResetInterval, 1.0f);
    for (int m = 0; m < 6; ++m) {
        rig.set(kRstRandParam[m], 1.0f);
        rig.set(kGateRstRandParam[m], 1.0f);
    }
    std::vector<float> l = noise(1024, 71), r = noise(1024, 72);
    float* io[2] = {l.data(), r.data()};
    rig.block(io, io, 1024); // first use of everything
    morvek2::test::AllocationScope scope;
    for (int b = 0; b < 200; ++b) { // past two resets
        rig.block(io, io, 1024);
    }
    for (int i = 0; i < Morvek2::kNumParams; ++i) {
        rig.set(i, 0.37f);
        rig.set(i, 1.0f);
    }
    const std::uint16_t order[6] = {5, 4, 3, 2, 1, 0};
    rig.plugin.setChainOrder(order);
    rig.plugin.runLaneCommand(1, seq::LaneCommand::RandomiseValues);
    rig.block(io, io, 1024);
    EXPECT_EQ(scope.count(), 0u);
}
