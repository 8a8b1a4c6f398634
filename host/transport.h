// A simulated host timeline: what a plug-in reads through audioMasterGetTime.
#pragma once

#include "vst/vst2_abi.h"

#include <cstdint>

namespace morvek2::host {

// Tempo is in quarter notes per minute and positions are in quarter notes ("ppq") and samples,
// as VST hosts report them, whatever the time signature. The position is that of the first frame
// of the coming block: fill() describes the block about to be processed and advance() moves past
// it. The transport belongs to the thread that renders; it holds no locks.
class Transport
{
public:
    // The validity flags reported unless changed with setValidFlags().
    static constexpr int32_t kDefaultValidFlags = kVstNanosValid | kVstPpqPosValid |
                                                  kVstTempoValid | kVstBarsValid |
                                                  kVstCyclePosValid | kVstTimeSigValid;

    void setSampleRate(double sampleRate) { sampleRate_ = sampleRate; }
    void setTempo(double quarterNotesPerMinute) { tempo_ = quarterNotesPerMinute; }
    void setTimeSignature(int32_t numerator, int32_t denominator);
    // Starting or stopping marks the next block as a transport change.
    void setPlaying(bool playing);
    void setRecording(bool recording) { recording_ = recording; }
    // Jumps to a position in quarter notes (negative for pre-roll); samplePos follows at the
    // current tempo. Marks a transport change.
    void locate(double ppq);
    // Sets both positions independently, as a host that is not sample-exact may report them.
    void setPosition(double ppq, double samplePos);
    // A loop from `startPpq` to `endPpq`: when a block ends at or past the end, the position
    // wraps back by the loop length (at the block boundary, as hosts without split blocks do).
    void setCycle(bool active, double startPpq, double endPpq);
    // Which of kVstNanosValid, kVstPpqPosValid, kVstTempoValid, kVstBarsValid,
    // kVstCyclePosValid, kVstTimeSigValid are reported; fields without their flag are zero.
    void setValidFlags(int32_t flags) { validFlags_ = flags; }
    // Imitates a host that renders cycles of `frames` frames in smaller sub-blocks and updates
    // ppqPos only at the start of each cycle while samplePos stays exact. 0 (default): every
    // block reports its exact position.
    void setPpqHeldFor(int32_t frames);

    double sampleRate() const { return sampleRate_; }
    double tempo() const { return tempo_; }
    int32_t timeSigNumerator() const { return numerator_; }
    int32_t timeSigDenominator() const { return denominator_; }
    bool playing() const { return playing_; }
    double ppqPos() const { return ppqPos_; }
    double samplePos() const { return samplePos_; }
    // Whether the coming block follows a jump, a start or a stop (what kVstTransportChanged
    // reports).
    bool changed() const { return changed_; }

    // Quarter notes that one frame lasts at the current tempo and rate (0 when either is not
    // positive).
    double ppqPerFrame() const;
    // Length of one bar in quarter notes: numerator x 4 / denominator (0 for a nonsense
    // signature).
    double quarterNotesPerBar() const;
    // Start of the bar that contains `ppq`, in quarter notes (0 when the bar length is 0).
    double barStartFor(double ppq) const;

    // Describes the coming block. Does not move the transport.
    void fill(VstTimeInfo& info);
    // Moves past a processed block of `frames` frames (nothing moves while stopped).
    void advance(int64_t frames);

private:
    double sampleRate_ = 44100.0;
    double tempo_ = 120.0;
    int32_t numerator_ = 4;
    int32_t denominator_ = 4;
    bool playing_ = true;
    bool recording_ = false;
    bool cycleActive_ = false;
    double cycleStart_ = 0.0;
    double cycleEnd_ = 0.0;
    double ppqPos_ = 0.0;
    double samplePos_ = 0.0;
    int32_t validFlags_ = kDefaultValidFlags;
    bool changed_ = true; // the first block a plug-in sees is a change
    int32_t holdFrames_ = 0;
    int64_t heldFramesLeft_ = 0;
    double heldPpq_ = 0.0;
};

} // namespace morvek2::host
