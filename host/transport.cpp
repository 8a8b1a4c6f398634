#include "host/transport.h"

#include <cmath>

namespace morvek2::host {

void Transport::setTimeSignature(int32_t numerator, int32_t denominator)
{
    numerator_ = numerator;
    denominator_ = denominator;
}

void Transport::setPlaying(bool playing)
{
    if (playing != playing_) {
        changed_ = true;
    }
    playing_ = playing;
}

void Transport::locate(double ppq)
{
    const double perFrame = ppqPerFrame();
    setPosition(ppq, perFrame > 0.0 ? ppq / perFrame : samplePos_);
}

void Transport::setPosition(double ppq, double samplePos)
{
    ppqPos_ = ppq;
    samplePos_ = samplePos;
    heldFramesLeft_ = 0;
    changed_ = true;
}

void Transport::setCycle(bool active, double startPpq, double endPpq)
{
    cycleActive_ = active;
    cycleStart_ = startPpq;
    cycleEnd_ = endPpq;
}

void Transport::setPpqHeldFor(int32_t frames)
{
    holdFrames_ = frames > 0 ? frames : 0;
    heldFramesLeft_ = 0;
}

double Transport::ppqPerFrame() const
{
    if (!(tempo_ > 0.0) || !(sampleRate_ > 0.0)) {
        return 0.0;
    }
    return tempo_ / (60.0 * sampleRate_);
}

double Transport::quarterNotesPerBar() const
{
    if (numerator_ <= 0 || denominator_ <= 0) {
        return 0.0;
    }
    return numerator_ * 4.0 / denominator_;
}

double Transport::barStartFor(double ppq) const
{
    const double bar = quarterNotesPerBar();
    if (bar <= 0.0) {
        return 0.0;
    }
    // floor, not truncation: in the pre-roll (negative ppq) the bar starts before the position.
    return std::floor(ppq / bar) * bar;
}

void Transport::fill(VstTimeInfo& info)
{
    double ppq = ppqPos_;
    if (holdFrames_ > 0) {
        if (heldFramesLeft_ <= 0) {
            heldPpq_ = ppqPos_;
            heldFramesLeft_ = holdFrames_;
        }
        ppq = heldPpq_;
    }

    info = VstTimeInfo{};
    info.samplePos = samplePos_;
    info.sampleRate = sampleRate_;
    int32_t flags = 0;
    if (validFlags_ & kVstNanosValid) {
        // Derived from the timeline rather than a clock so that renders stay reproducible.
        info.nanoSeconds = sampleRate_ > 0.0 ? samplePos_ / sampleRate_ * 1e9 : 0.0;
        flags |= kVstNanosValid;
    }
    if (validFlags_ & kVstPpqPosValid) {
        info.ppqPos = ppq;
        flags |= kVstPpqPosValid;
    }
    if (validFlags_ & kVstTempoValid) {
        info.tempo = tempo_;
        flags |= kVstTempoValid;
    }
    if (validFlags_ & kVstBarsValid) {
        info.barStartPos = barStartFor(ppq);
        flags |= kVstBarsValid;
    }
    if ((validFlags_ & kVstCyclePosValid) && cycleActive_) {
        info.cycleStartPos = cycleStart_;
        info.cycleEndPos = cycleEnd_;
        flags |= kVstCyclePosValid;
    }
    if (validFlags_ & kVstTimeSigValid) {
        info.timeSigNumerator = numerator_;
        info.timeSigDenominator = denominator_;
        flags |= kVstTimeSigValid;
    }
    if (playing_) {
        flags |= kVstTransportPlaying;
    }
    if (recording_) {
        flags |= kVstTransportRecording;
    }
    if (cycleActive_) {
        flags |= kVstTransportCycleActive;
    }
    if (changed_) {
        flags |= kVstTransportChanged;
    }
    info.flags = flags;
}

void Transport::advance(int64_t frames)
{
    if (frames <= 0) {
        return;
    }
    changed_ = false;
    if (holdFrames_ > 0) {
        heldFramesLeft_ -= frames;
    }
    if (!playing_) {
        return;
    }
    samplePos_ += static_cast<double>(frames);
    const double perFrame = ppqPerFrame();
    ppqPos_ += static_cast<double>(frames) * perFrame;

    const double loop = cycleEnd_ - cycleStart_;
    if (cycleActive_ && loop > 0.0 && ppqPos_ >= cycleEnd_) {
        const double wrapped = cycleStart_ + std::fmod(ppqPos_ - cycleStart_, loop);
        if (perFrame > 0.0) {
            samplePos_ -= (ppqPos_ - wrapped) / perFrame;
        }
        ppqPos_ = wrapped;
        heldFramesLeft_ = 0;
        changed_ = true;
    }
}

} // namespace morvek2::host
