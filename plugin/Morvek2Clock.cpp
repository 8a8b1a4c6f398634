#include "plugin/Morvek2Clock.h"

namespace {

// Positions are trusted only this far from 0, so that 16 p always fits a 32-bit counter, even
// after a block of the largest size at the highest tempo.
constexpr double kMaxPosition = 1.0e8;
// A block that starts further than this (in quarter notes, one 1/64 note) from where the last
// one left the clock is a jump of the host's position. Hosts that round or jitter stay well
// inside it and keep playing as before.
constexpr double kJumpTolerance = 1.0 / 16.0;
// The sample position counts whole frames in steady play; a host that resamples may be a little
// off.
constexpr double kSamplePosTolerance = 1.0;

} // namespace

void Morvek2Clock::beginBlock(const Morvek2Transport& transport, int frames,
                              double rate) // [audio]
{
    playing = false;
    const Morvek2Transport* info = transport.present ? &transport : nullptr;

    float num = 4.0f;
    float den = 4.0f;
    if (info && info->signaturePresent && info->numerator > 0 && info->numerator <= 1000 &&
        info->denominator > 0 && info->denominator <= 1000) {
        num = static_cast<float>(info->numerator);
        den = static_cast<float>(info->denominator);
    }
    if (info) {
        // A tempo that is not a positive normal number keeps the last usable one.
        const double hostTempo = info->tempoPresent ? info->tempo : 0.0;
        if (usableTempo(hostTempo)) {
            tempo = hostTempo;
        }
        timeSigNumerator = num;
        timeSigDenominator = den;
    }
    // Without time information the last block's signature and tempo stay; the rate may have
    // changed since, so the lengths are derived again from the rate we run at. Tempo and
    // position count quarter notes in every signature: the signature only sets the length of
    // a measure for the reset interval.
    const double bpm = tempo;
    positionIncrement = (1.0 / 60.0) * bpm / rate;
    samplesPer64 = truncToCount(rate / (16.0 * bpm / 60.0));
    if (!info) {
        running = false;
        return;
    }
    const double p = hostBlockPosition(*info);
    lastFrames = frames;
    const bool wasRunning = running;
    running = false;
    const double span = positionIncrement * static_cast<double>(frames);
    if (!(std::fabs(p) + span < kMaxPosition)) {
        return; // a position we cannot count with: the lanes hold for this block
    }
    playing = info->playing;
    if (!playing) {
        return;
    }
    // A start (after construction or a stop) or a jump begins with the lanes' current steps;
    // steady play goes on from the counters as they stand.
    starting = !wasRunning || !(std::fabs(p - reachedPosition) <= kJumpTolerance);
    blockPosition = p;
    reachedPosition = p + span;
    running = true;
}

double Morvek2Clock::hostBlockPosition(const Morvek2Transport& info) // [audio]
{
    // A part the host did not give reads as the face left it (zero unless it says otherwise).
    const double ppq = info.position;
    const double samplePos = info.samplePosition;
    const bool samplesMoved = samplePos != lastSamplePos;
    const bool samplesFollow =
        std::fabs(samplePos - (lastSamplePos + lastFrames)) <= kSamplePosTolerance;
    const bool heldPpq = ppq == lastHostPpq;
    lastHostPpq = ppq;
    lastSamplePos = samplePos;
    if (info.positionPresent) {
        // Hosts that split one cycle into sub-blocks may report the cycle's ppq for each of
        // them while the sample position moves on: the clock carries on from where it got to.
        return running && heldPpq && samplesMoved ? reachedPosition : ppq;
    }
    // No position in quarter notes: the sample position and the tempo tell where we are. In
    // steady play the clock carries on, so a tempo change does not throw the lanes to another
    // step.
    if (running && samplesFollow) {
        return reachedPosition;
    }
    return samplePos * positionIncrement;
}
