// The sound: the musical clock that follows the host's transport, the six lanes it moves, the
// control tick that turns step values into engine settings, the module chain and the output mix;
// and setParameter with the immediate effect of each parameter.
#include "plugin/Morvek2Core.h"

#include "base/Normalised.h"
#include "dsp/zksp_sample_guard.h"
#include "params/Morvek2Params.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <memory>

using namespace morvek2::param;

namespace {

// Hosts report grid positions such as 0.5 exactly, while a position reached by adding the
// per-sample increment may land a hair below; a position this close under a grid line counts as
// on it, so the lanes move on the same sample however the host splits its blocks.
constexpr double kGridTolerance = 1.0e-9;

// The grid counters count from the floor of the position, so that in a count-in (negative
// positions) every grid interval is as long as any other and the line at 0 falls on 0. For
// positions at or above 0 this is truncation.
inline std::int32_t floorToInt(double x)
{
    const auto i = static_cast<std::int32_t>(x);
    return x < static_cast<double>(i) ? i - 1 : i;
}

std::uint32_t packOrder(const std::uint16_t (&order)[kNumModules])
{
    std::uint32_t packed = 0;
    for (int i = 0; i < kNumModules; ++i) {
        packed |= static_cast<std::uint32_t>(order[i]) << (3 * i);
    }
    return packed;
}

} // namespace

// ---- Program record --------------------------------------------------------------------------

ProgramRecord& Morvek2Core::editRecord() // [any]
{
    return currentRecord();
}

// ---- Parameters ------------------------------------------------------------------------------

void Morvek2Core::setParameter(int index, float value) // [any]
{
    // Reached from the host, the editor, MIDI and program loads alike, so it guards itself.
    if (index < 0 || index >= kNumParams || !morvek2::sanitizeNormalised(value)) {
        return;
    }
    seq::store(editRecord().values[index], value);
    params->setValue(index, value);
    const float w = params->getWorkingValue(index);

    int m = -1;
    if (index == kVcaAttack) {
        const float t = params->getEngineValue(kVcaAttack);
        vcaEngines[0].setAttackTime(t);
        vcaEngines[1].setAttackTime(t);
    } else if (index == kVcaDecay) {
        const float t = params->getEngineValue(kVcaDecay);
        vcaEngines[0].setDecayTime(t);
        vcaEngines[1].setDecayTime(t);
    } else if (moduleOf(kSoloParam, index) >= 0) {
        soloChange(index, value > 0.5f);
    } else if (moduleOf(kMuteParam, index) >= 0) {
        updateEnableFactors();
    } else if ((m = moduleOf(kStepSizeParam, index)) >= 0) {
        seq::setStepSize(lanes[m], &editRecord().lanes[m], w);
    } else if ((m = moduleOf(kLengthParam, index)) >= 0) {
        seq::setLength(lanes[m], &editRecord().lanes[m], w);
    } else if ((m = moduleOf(kDirectionParam, index)) >= 0) {
        seq::setDirection(lanes[m], &editRecord().lanes[m], w);
    } else if ((m = moduleOf(kSmoothingParam, index)) >= 0) {
        valueSmoothers[m].setTime(params->getEngineValue(index));
    } else if (index == kFilterType) {
        const auto type = static_cast<std::uint16_t>(w > 0.0f && w < 65535.0f ? w : 0.0f);
        filterEngines[0].selectType(type);
        filterEngines[1].selectType(type);
    } else if (index == kOutputGain) {
        outputGainSmoother.setTarget(params->getEngineValue(kOutputGain));
    } else if (index == kActive) {
        activeSmoother.setTarget(value);
    }
    // Counted again after the engines took what they take directly (the VCA times), so the next
    // control tick hands them the modulated values once more.
    params->noteChange();
    // Last, so the editor shows the value the manager now holds.
    editorParameterChanged(index);
}

void Morvek2Core::soloChange(int index, bool on) // [any]
{
    if (on) {
        // Only one Solo at a time: the others go off the way a user would turn them off, so the
        // host records it. A host replaying its own automation may answer that from inside the
        // callback by setting a Solo again; such a change is taken as it comes but turns nothing
        // off itself, or the two would hand the change back and forth until the stack overflows.
        const std::thread::id self = std::this_thread::get_id();
        std::thread::id idle{};
        if (soloCascadeThread.load(std::memory_order_relaxed) != self) {
            const bool owner =
                soloCascadeThread.compare_exchange_strong(idle, self, std::memory_order_relaxed);
            for (int s : kSoloParam) {
                if (s != index && params->getWorkingValue(s) == 1.0f) {
                    setParameter(s, 0.0f);
                    if (coreHost) {
                        coreHost->parameterAutomated(s, 0.0f);
                    }
                }
            }
            if (owner) {
                soloCascadeThread.store(std::thread::id{}, std::memory_order_relaxed);
            }
        }
        soloIndex.store(index, std::memory_order_relaxed);
    } else {
        // Turning off a Solo that is not the one on (a program load, an automation lane writing
        // zeros) leaves the Solo that is on alone.
        int expected = index;
        soloIndex.compare_exchange_strong(expected, 0, std::memory_order_relaxed);
    }
    updateEnableFactors();
}

void Morvek2Core::updateEnableFactors() // [any]
{
    const int solo = soloIndex.load(std::memory_order_relaxed);
    enableFactors[kVCA].store(1.0f, std::memory_order_relaxed);
    for (int m = 1; m < kNumModules; ++m) {
        const bool muted = params->getWorkingValue(kMuteParam[m]) == 1.0f;
        const bool heard = solo == 0 || solo == kSoloParam[m];
        enableFactors[m].store(!muted && heard ? 1.0f : 0.0f, std::memory_order_relaxed);
    }
}

bool Morvek2Core::setChainOrder(const std::uint16_t (&order)[kNumModules]) // [any, not audio]
{
    if (!isChainOrder(order)) {
        return false;
    }
    {
        // A chunk taken meanwhile sees the record's whole old order or the whole new one.
        const std::lock_guard<std::recursive_mutex> writers(programWriters);
        const std::lock_guard<std::mutex> image(recordImage);
        ProgramRecord& record = editRecord();
        for (int i = 0; i < kNumModules; ++i) {
            seq::store(record.chainOrder[i], order[i]);
        }
        storeLiveChainOrder(order);
    }
    editorOrderChanged(order);
    return true;
}

bool Morvek2Core::isChainOrder(const std::uint16_t (&order)[kNumModules])
{
    unsigned seen = 0;
    for (std::uint16_t m : order) {
        if (m >= kNumModules) {
            return false;
        }
        seen |= 1u << m;
    }
    return seen == (1u << kNumModules) - 1u;
}

void Morvek2Core::storeLiveChainOrder(const std::uint16_t (&order)[kNumModules]) // [any]
{
    for (int i = 0; i < kNumModules; ++i) {
        chainOrder[i].store(order[i], std::memory_order_relaxed);
    }
    packedChainOrder.store(packOrder(order), std::memory_order_relaxed);
}

// ---- Lanes -----------------------------------------------------------------------------------

void Morvek2Core::runLaneCommand(int module, seq::LaneCommand command) // [ui]
{
    if (module < 0 || module >= kNumModules) {
        return;
    }
    {
        // Not into a record a restore is writing, and a chunk sees the lane before or after.
        const std::lock_guard<std::recursive_mutex> writers(programWriters);
        const std::lock_guard<std::mutex> image(recordImage);
        seq::runLaneCommand(lanes[module], &editRecord().lanes[module], command);
    }
    editorLaneChanged();
}

void Morvek2Core::laneSnapshot(int module, SeqLane& into) // [ui]
{
    if (module < 0 || module >= kNumModules) {
        return;
    }
    lanesRandomised.store(0, std::memory_order_relaxed);
    seq::snapshot(lanes[module], into);
}

// A step edit writes one field of the record: a chunk taken meanwhile is whole either way.
void Morvek2Core::setStepValue(int module, int step, float value) // [ui]
{
    if (module >= 0 && module < kNumModules) {
        seq::setStepValue(lanes[module], &editRecord().lanes[module], step, value);
    }
}

void Morvek2Core::setStepGate(int module, int step, bool on) // [ui]
{
    if (module >= 0 && module < kNumModules) {
        seq::setStepGate(lanes[module], &editRecord().lanes[module], step, on);
    }
}

void Morvek2Core::setStepValueLock(int module, int step, bool on) // [ui]
{
    if (module >= 0 && module < kNumModules) {
        seq::setValueLock(lanes[module], &editRecord().lanes[module], step, on);
    }
}

void Morvek2Core::setStepGateLock(int module, int step, bool on) // [ui]
{
    if (module >= 0 && module < kNumModules) {
        seq::setGateLock(lanes[module], &editRecord().lanes[module], step, on);
    }
}

void Morvek2Core::applyStep(int m) // [audio]
{
    stepMoved.store(1, std::memory_order_relaxed);
    const seq::StepView step = seq::currentStep(lanes[m]);
    valueSmoothers[m].setTarget(step.value);
    gateSmoothers[m].setTarget((step.gate ? 1.0f : 0.0f) *
                               enableFactors[m].load(std::memory_order_relaxed));
    if (m == kVCA) {
        // The gate time in 1/64 notes (the gate fraction times the step's length).
        float g = params->getModulatedValue(kVcaGateTime, step.value);
        g = g > 0.0f ? (g < 64.0f ? g : 64.0f) : 0.0f;
        vcaGateCountdown = Morvek2Clock::truncToCount(static_cast<double>(g) * clock.samplesPer64);
    }
}

void Morvek2Core::advanceLane(int m) // [audio]
{
    seq::advance(lanes[m], zk_rand);
    applyStep(m);
}

void Morvek2Core::resetAllLanes() // [audio]
{
    ProgramRecord& record = editRecord();
    for (int m = 0; m < kNumModules; ++m) {
        seq::resetPosition(lanes[m], &record.lanes[m], zk_rand);
        stepMoved.store(1, std::memory_order_relaxed);
        // Re-rolled here on the audio thread: the editor learns of it through the flag and
        // takes a snapshot in its idle.
        if (params->getWorkingValue(kRstRandParam[m]) == 1.0f) {
            seq::randomiseValues(lanes[m], &record.lanes[m], zk_rand);
            lanesRandomised.store(1, std::memory_order_relaxed);
        }
        if (params->getWorkingValue(kGateRstRandParam[m]) == 1.0f) {
            seq::randomiseGates(lanes[m], &record.lanes[m], zk_rand);
            lanesRandomised.store(1, std::memory_order_relaxed);
        }
        applyStep(m);
    }
}

// ---- Lifecycle -------------------------------------------------------------------------------

void Morvek2Core::suspend() // [ui]
{
    // The filter and delay engines are reset where the engines are free: here, or at the next
    // block start when a host suspends while its audio thread still processes. The delay lines'
    // zeroed memory is made here, of the size they have once the rate last asked for is in
    // force, so the reset itself clears nothing and holds the engines only for a moment.
    {
        const std::lock_guard<std::mutex> lock(rateMutex);
        RateChange* reset = makeReset();
        discardChange(
            pendingReset.exchange(reset ? reset : &inPlaceReset, std::memory_order_acq_rel));
    }
    applyPendingIfIdle();
    releaseAppliedChanges();
}

namespace {

// An engine as constructed, at `rate` as a new instance's engines would be: only a rate other
// than the one they are built for is handed to them. No allocation (these engines hold none).
template <class Engine> void rebuild(Engine& engine, float rate) // [holder]
{
    std::destroy_at(&engine);
    std::construct_at(&engine);
    if (rate != Morvek2Core::kDefaultSampleRate) {
        engine.setSampleRate(rate);
    }
}

} // namespace

void Morvek2Core::restartProcessing() // [audio]
{
    const AudioBlockScope engines(*this);
    if (!engines.holdsEngines()) {
        restartPending.store(true, std::memory_order_release);
        return;
    }
    restartHeld();
}

void Morvek2Core::restartHeld() // [holder]
{
    restartPending.store(false, std::memory_order_relaxed);
    const float rate = getSampleRate();
    for (int c = 0; c < 2; ++c) {
        rebuild(vcaEngines[c], rate);
        rebuild(filterEngines[c], rate);
        rebuild(distortEngines[c], rate);
        rebuild(shiftEngines[c], rate);
        rebuild(bitsEngines[c], rate);
        // The delay keeps its memory, cleared where it is.
        delayEngines[c].restart();
    }
    // What the constructor and setParameter hand the engines directly; the control tick (forced
    // below) hands them the rest.
    vcaEngines[1].setChannelConstant(1.0f);
    for (int c = 0; c < 2; ++c) {
        vcaEngines[c].setAttackTime(params->getEngineValue(kVcaAttack));
        vcaEngines[c].setDecayTime(params->getEngineValue(kVcaDecay));
    }
    const float type = params->getWorkingValue(kFilterType);
    for (CFilterEngine& filter : filterEngines) {
        filter.selectType(static_cast<std::uint16_t>(type > 0.0f && type < 65535.0f ? type : 0.0f));
    }

    // The smoothers from 0, as built: steps and gates toward 0 until the clock sounds a step,
    // the output gain and Active toward their parameters.
    for (int m = 0; m < kNumModules; ++m) {
        valueSmoothers[m].jumpTo(0.0f);
        gateSmoothers[m].jumpTo(0.0f);
        gateLevels[m] = 0.0f;
        tickStepValues[m] = 0.0f;
    }
    outputGainSmoother.restart();
    activeSmoother.restart();

    // The clock waits for the host's next block, and the lanes stand where the program has
    // them.
    clock = Morvek2Clock{};
    grid = GridCounters{};
    clockQuietUntil = 0;
    vcaGateCountdown = kFirstGateCountdown;
    controlCountdown = 0;
    outputGain = 0.0f;
    activeLevel = 0.0f;
    runningOrder = 0;
    tickChanges = 0;
    tickStereo = false;
    tickForced = true;
    tickFilterFrequency = 0.0f;
    tickFilterResonance = 0.0f;
    resetMeasures = 0.0f;
    sixtyFourthsPerBeat = 16.0f;
    resetSpan = 0.0f;
    ProgramRecord& record = editRecord();
    for (int m = 0; m < kNumModules; ++m) {
        seq::store(lanes[m].position, seq::load(record.lanes[m].position));
    }
    stepMoved.store(1, std::memory_order_relaxed);
}

// ---- Processing ------------------------------------------------------------------------------

void Morvek2Core::readTransport(const Morvek2Transport& transport, int frames) // [audio]
{
    clock.beginBlock(transport, frames, getSampleRate());
    // The delay's beat follows the host's tempo in its synced mode.
    const double hostTempo = transport.tempoPresent ? transport.tempo : 0.0;
    if (transport.present && params->getWorkingValue(kDelayMode) < 1.0f && hostTempo > 0.0 &&
        hostTempo <= Morvek2Clock::kMaxTempo) {
        params->setDelayTimeBase(static_cast<float>(60000.0 / hostTempo));
    }
}

void Morvek2Core::controlTick(bool stereo) // [audio]
{
    Morvek2ParameterManager& pm = *params;
    const int channels = stereo ? 2 : 1;
    // The engine settings are functions of the parameters (and tempo) the manager counts changes
    // of and of each module's step value, and every setter below but the filter's only stores
    // what it is given: while neither moved, the engines already hold what this tick would hand
    // them.
    const std::uint32_t changes = pm.changeCount();
    const bool fresh = tickForced || changes != tickChanges || stereo != tickStereo;
    tickForced = false;
    tickChanges = changes;
    tickStereo = stereo;
    auto moved = [this, fresh](int m, float v) {
        const bool same =
            std::bit_cast<std::uint32_t>(v) == std::bit_cast<std::uint32_t>(tickStepValues[m]);
        tickStepValues[m] = v;
        return fresh || !same;
    };

    float v = valueSmoothers[kFilter].advance();
    if (moved(kFilter, v)) {
        tickFilterFrequency = pm.getModulatedValue(kFilterFreq, v);
        tickFilterResonance = pm.getModulatedValue(kFilterRes, v);
    }
    // Handed over at every tick all the same: the ladder keeps track of how far its stages have
    // followed the cutoff from one setting to the next.
    for (int c = 0; c < channels; ++c) {
        filterEngines[c].setFrequency(tickFilterFrequency);
        filterEngines[c].setResonance(tickFilterResonance);
    }

    v = valueSmoothers[kVCA].advance();
    if (moved(kVCA, v)) {
        const float depth = pm.getModulatedValue(kVcaDepth, v);
        const float pan = pm.getModulatedValue(kVcaPan, v);
        const float attack = pm.getModulatedValue(kVcaAttack, v);
        const float decay = pm.getModulatedValue(kVcaDecay, v);
        for (int c = 0; c < channels; ++c) {
            vcaEngines[c].setDepth(depth);
            vcaEngines[c].setPan(pan);
            vcaEngines[c].setAttackTime(attack);
            vcaEngines[c].setDecayTime(decay);
        }
    }

    v = valueSmoothers[kBits].advance();
    if (moved(kBits, v)) {
        const float bitDepth = pm.getModulatedValue(kBitsBitDepth, v);
        const float error = pm.getModulatedValue(kBitsError, v);
        const float rate = pm.getModulatedValue(kBitsRate, v);
        for (int c = 0; c < channels; ++c) {
            bitsEngines[c].setBitDepth(bitDepth);
            bitsEngines[c].setError(error);
            bitsEngines[c].setRate(rate);
        }
    }

    v = valueSmoothers[kDistort].advance();
    if (moved(kDistort, v)) {
        const float fuzz = pm.getModulatedValue(kDistortFuzz, v);
        const float warp = pm.getModulatedValue(kDistortWarp, v);
        for (int c = 0; c < channels; ++c) {
            distortEngines[c].setFuzz(fuzz);
            distortEngines[c].setWarp(warp);
        }
    }

    v = valueSmoothers[kDelay].advance();
    if (moved(kDelay, v)) {
        const float time = pm.getModulatedValue(kDelayTime, v);
        const float delayFeedback = pm.getModulatedValue(kDelayFeedback, v);
        const float send = pm.getModulatedValue(kDelaySend, v);
        for (int c = 0; c < channels; ++c) {
            delayEngines[c].setDelayTime(time);
            delayEngines[c].setFeedback(delayFeedback);
            delayEngines[c].setSend(send);
        }
    }

    v = valueSmoothers[kShift].advance();
    if (moved(kShift, v)) {
        const float shift =
            pm.getModulatedValue(kShiftFine, v) + pm.getModulatedValue(kShiftFrequency, v);
        const float shiftFeedback = pm.getModulatedValue(kShiftFeedback, v);
        const float mix = pm.getModulatedValue(kShiftMix, v);
        for (int c = 0; c < channels; ++c) {
            shiftEngines[c].setShiftFrequency(shift);
            shiftEngines[c].setFeedback(shiftFeedback);
            shiftEngines[c].setMix(mix);
        }
    }

    for (int m = 0; m < kNumModules; ++m) {
        gateLevels[m] = gateSmoothers[m].advance();
    }
    outputGain = outputGainSmoother.advance();
    activeLevel = activeSmoother.advance();
    runningOrder = packedChainOrder.load(std::memory_order_relaxed);
}

namespace {

// Samples between two control ticks share every engine setting, gate level, gain and Active
// level, and the clock between them changes only smoother targets (read at the next tick). So
// the engines run a whole stretch at a time, each over its samples in chain order: the same
// per-sample result, with each engine's loop kept tight.
constexpr int kMaxStretch = Morvek2Core::kControlInterval;
static_assert(kMaxStretch <= Morvek2Engine::kMaxKernelFrames,
              "a stretch must fit the engines' pair kernels");

template <class Engine> inline void runStretch(Engine& engine, float* x, int n, float gate)
{
    for (int i = 0; i < n; ++i) {
        x[i] = engine.processGated(x[i], gate);
    }
}

} // namespace

void Morvek2Core::runChain(int channel, float* x, int n) // [audio]
{
    const std::uint32_t order = runningOrder;
    for (int slot = 0; slot < kNumModules; ++slot) {
        const unsigned m = (order >> (3 * slot)) & 7u;
        switch (m) {
        case kVCA:
            runStretch(vcaEngines[channel], x, n, gateLevels[m]);
            break;
        case kFilter:
            runStretch(filterEngines[channel], x, n, gateLevels[m]);
            break;
        case kDistort:
            runStretch(distortEngines[channel], x, n, gateLevels[m]);
            break;
        case kDelay:
            runStretch(delayEngines[channel], x, n, gateLevels[m]);
            break;
        case kShift:
            runStretch(shiftEngines[channel], x, n, gateLevels[m]);
            break;
        case kBits:
            runStretch(bitsEngines[channel], x, n, gateLevels[m]);
            break;
        default:
            break;
        }
    }
}

void Morvek2Core::runChainPair(float* left, float* right, int n) // [audio]
{
    // Each module's engines carry a chain of dependent operations from one frame to the next
    // (the shifter's feedback, the ladder's stages), and a module's work on a frame never waits
    // for the next module's work on an earlier frame. So the modules run skewed: in step j the
    // module in slot s takes frame j - s, and the six modules' work in one step is independent,
    // which the processor overlaps, where running one module over the stretch after another
    // leaves each waiting on its own chain. Every engine still sees its frames in order and
    // every frame the modules in chain order: the same results.
    CVCAEngine::PairKernel vca(vcaEngines[0], vcaEngines[1], n, gateLevels[kVCA]);
    CFilterEngine::PairKernel filter(filterEngines[0], filterEngines[1], n, gateLevels[kFilter]);
    CDistortEngine::PairKernel distort(distortEngines[0], distortEngines[1], n,
                                       gateLevels[kDistort]);
    CDelayEngine::PairKernel delay(delayEngines[0], delayEngines[1], n, gateLevels[kDelay]);
    CFreqShifterEngine::PairKernel shift(shiftEngines[0], shiftEngines[1], n, gateLevels[kShift]);
    CBitsEngine::PairKernel bits(bitsEngines[0], bitsEngines[1], n, gateLevels[kBits]);
    unsigned module[kNumModules];
    for (int slot = 0; slot < kNumModules; ++slot) {
        module[slot] = (runningOrder >> (3 * slot)) & 7u;
    }
    for (int j = 0; j < n + kNumModules - 1; ++j) {
        // The slots whose frame j - s lies in the stretch.
        const int first = j >= n ? j - n + 1 : 0;
        const int last = j < kNumModules - 1 ? j : kNumModules - 1;
        for (int slot = first; slot <= last; ++slot) {
            float& l = left[j - slot];
            float& r = right[j - slot];
            switch (module[slot]) {
            case kVCA:
                vca.step(l, r);
                break;
            case kFilter:
                filter.step(l, r);
                break;
            case kDistort:
                distort.step(l, r);
                break;
            case kDelay:
                delay.step(l, r);
                break;
            case kShift:
                shift.step(l, r);
                break;
            case kBits:
                bits.step(l, r);
                break;
            default:
                break;
            }
        }
    }
    vca.finish();
    filter.finish();
    distort.finish();
    delay.finish();
    shift.finish();
    bits.finish();
}

bool Morvek2Core::onResetBoundary(std::int32_t c64) const // [audio]
{
    // The reset interval counts measures of num notes of value den.
    return resetMeasures > 0.0f &&
           std::fmod(static_cast<float>(c64) / sixtyFourthsPerBeat, resetSpan) == 0.0f;
}

void Morvek2Core::setGridCounters(double p) // [audio]
{
    // Only grid lines crossed from here on move the lanes. The two triplet pairs count the same
    // spacing and are set alike, as a reset sets them.
    grid.c64 = floorToInt(16.0 * p);
    grid.c32 = floorToInt(8.0 * p);
    grid.c16 = floorToInt(4.0 * p);
    grid.c8 = floorToInt(2.0 * p);
    grid.c4 = floorToInt(p);
    grid.c3 = grid.t8 = floorToInt(3.0 * p);
    grid.c15 = grid.t4 = floorToInt(1.5 * p);
    grid.t16 = floorToInt(6.0 * p);
}

void Morvek2Core::clockStep(int i) // [audio]
{
    // The position of this sample, from the block's start, so it follows the host's.
    const double p =
        clock.blockPosition + static_cast<double>(i) * clock.positionIncrement + kGridTolerance;
    if (clock.starting) {
        // Play pressed, resumed or moved: the lanes sound the steps they stand on now (from
        // the top on a reset boundary), instead of waiting a whole step for the next grid line.
        clock.starting = false;
        setGridCounters(p);
        if (onResetBoundary(grid.c64)) {
            resetAllLanes();
        } else {
            for (int m = 0; m < kNumModules; ++m) {
                applyStep(m);
            }
        }
        return;
    }
    const std::int32_t c64 = floorToInt(16.0 * p);
    const std::int32_t t = floorToInt(6.0 * p);
    if (c64 == grid.c64 && t == grid.t16) {
        findQuietSamples(i, p);
        return;
    }
    std::uint32_t mask = 0;
    if (c64 != grid.c64) {
        grid.c64 = c64;
        mask |= 0x80;
        if (onResetBoundary(c64)) {
            resetAllLanes();
            setGridCounters(p);
            return;
        }
        const std::int32_t c32 = floorToInt(8.0 * p);
        const std::int32_t c16 = floorToInt(4.0 * p);
        const std::int32_t c3 = floorToInt(3.0 * p);
        const std::int32_t c8 = floorToInt(2.0 * p);
        const std::int32_t c15 = floorToInt(1.5 * p);
        const std::int32_t c4 = floorToInt(p);
        if (c32 != grid.c32) {
            grid.c32 = c32;
            mask |= 0x01;
        }
        if (c16 != grid.c16) {
            grid.c16 = c16;
            mask |= 0x02;
        }
        if (c3 != grid.c3) {
            grid.c3 = c3;
            mask |= 0x100;
        }
        if (c8 != grid.c8) {
            grid.c8 = c8;
            mask |= 0x04;
        }
        if (c15 != grid.c15) {
            grid.c15 = c15;
            mask |= 0x200;
        }
        if (c4 != grid.c4) {
            grid.c4 = c4;
            mask |= 0x08;
        }
    }
    if (t != grid.t16) {
        grid.t16 = t;
        mask |= 0x10;
        // Halving by shifting rounds toward minus infinity, like the counters themselves.
        if ((t >> 1) != grid.t8) {
            grid.t8 = t >> 1;
            mask |= 0x20;
        }
        if ((t >> 2) != grid.t4) {
            grid.t4 = t >> 2;
            mask |= 0x40;
        }
    }
    if (mask != 0) {
        for (int m = 0; m < kNumModules; ++m) {
            if (mask & seq::stepClockBit(seq::load(lanes[m].stepSize))) {
                advanceLane(m);
            }
        }
    }
}

void Morvek2Core::findQuietSamples(int i, double p) // [audio]
{
    // The position grows with the sample index (the same sum of a product, rounded the same way
    // at every index), and so do the two counters every grid line moves: if the last of the
    // samples before the next lines is still in the same sixty-fourth and triplet sixteenth as
    // this one, so is every sample in between. Two samples short, to stay clear of the rounding.
    const double increment = clock.positionIncrement;
    const double toLine64 = (static_cast<double>(grid.c64) + 1.0) / 16.0 - p;
    const double toLine6 = (static_cast<double>(grid.t16) + 1.0) / 6.0 - p;
    const double samples = std::min(toLine64, toLine6) / increment - 2.0;
    if (!(samples >= 1.0) || !(increment > 0.0)) {
        return;
    }
    const int last = i + static_cast<int>(std::min(samples, 1.0e6));
    const double q = clock.blockPosition + static_cast<double>(last) * increment + kGridTolerance;
    if (floorToInt(16.0 * q) == grid.c64 && floorToInt(6.0 * q) == grid.t16) {
        clockQuietUntil = last + 1;
    }
}

void Morvek2Core::process(float** inputs, float** outputs, int sampleFrames,
                          const Morvek2Transport& transport) // [audio]
{
    if (sampleFrames <= 0 || !inputs || !outputs || !inputs[0] || !outputs[0]) {
        return;
    }
    // One connected input feeds both channels; one connected output (or a host that hands us no
    // second buffer) makes us process and write the left channel only.
    const float* inLeft = inputs[0];
    const float* inRight = (getInputMode() == 1 || !inputs[1]) ? inputs[0] : inputs[1];
    float* outLeft = outputs[0];
    float* outRight = outputs[1];
    const bool stereo = getOutputMode() == 2 && outRight != nullptr;
    const AudioBlockScope engines(*this);
    if (!engines.holdsEngines()) {
        std::fill(outLeft, outLeft + sampleFrames, 0.0f);
        if (stereo) {
            std::fill(outRight, outRight + sampleFrames, 0.0f);
        }
        return;
    }
    if (restartPending.load(std::memory_order_acquire)) [[unlikely]] {
        restartHeld();
    }

    outputGain = outputGainSmoother.current();
    activeLevel = activeSmoother.current();
    readTransport(transport, sampleFrames);
    resetMeasures = params->getWorkingValue(kResetInterval);
    sixtyFourthsPerBeat = 64.0f / clock.timeSigDenominator;
    resetSpan = resetMeasures * clock.timeSigNumerator;

    float dryLeft[kMaxStretch], dryRight[kMaxStretch], wetLeft[kMaxStretch], wetRight[kMaxStretch];
    clockQuietUntil = 0;
    int i = 0;
    while (i < sampleFrames) {
        // The first sample of a stretch: its clock, then the control tick when one is due.
        if (clock.playing && i >= clockQuietUntil) {
            clockStep(i);
        }
        if (--controlCountdown <= 0) {
            controlCountdown = kControlInterval;
            controlTick(stereo);
        }
        // Up to the sample before the next tick.
        const int end = std::min<int>(sampleFrames, i + controlCountdown);
        const int n = static_cast<int>(end - i);
        controlCountdown -= n - 1;
        // Every sample: its clock, then the VCA gate's countdown (the gate closes when its time
        // has run out, playing or not). Between the samples where the clock may act, the
        // countdown runs in one go.
        for (int k = i;;) {
            int next = end;
            if (clock.playing) {
                next = std::min(end, std::max(k + 1, clockQuietUntil));
            }
            if (vcaGateCountdown > next - k) {
                vcaGateCountdown -= next - k;
            } else {
                gateSmoothers[kVCA].setTarget(0.0f);
                vcaGateCountdown = 0;
            }
            if (next >= end) {
                break;
            }
            clockStep(next);
            k = next;
        }

        // Both inputs are read before any output is written: hosts may process in place. A
        // sample that is not a finite number enters neither the chain nor the dry path, and a
        // subnormal one enters as a zero.
        zksp_entry_samples(inLeft + i, dryLeft, n);
        zksp_entry_samples(inRight + i, dryRight, n);
        std::copy(dryLeft, dryLeft + n, wetLeft);
        std::copy(dryRight, dryRight + n, wetRight);
        const float g = outputGain;
        const float a = activeLevel;
        if (stereo) {
            runChainPair(wetLeft, wetRight, n);
        } else {
            runChain(0, wetLeft, n);
        }
        // The same guard on the way out: a tail decaying inside a module, or a mix with a dry
        // path fading out, hands the host no subnormal number either.
        for (int k = 0; k < n; ++k) {
            wetLeft[k] = wetLeft[k] * g * a + (1.0f - a) * dryLeft[k];
        }
        zksp_entry_samples(wetLeft, outLeft + i, n);
        if (stereo) {
            for (int k = 0; k < n; ++k) {
                wetRight[k] = wetRight[k] * g * a + (1.0f - a) * dryRight[k];
            }
            zksp_entry_samples(wetRight, outRight + i, n);
        }
        i = end;
    }
}
