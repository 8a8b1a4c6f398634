#include "sequencer/seq_lane.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace seq {

namespace {

constexpr float kRandScale = 1.0f / static_cast<float>(kZkRandMax);

// A draw from the caller's source as an unsigned number, so a source that strays outside
// 0..32767 still gives a valid remainder.
unsigned draw(RandomSource rand)
{
    return static_cast<unsigned>(rand());
}

int clampIndex(int position, int length)
{
    return std::clamp(position, 0, length - 1);
}

// Whole-number part of a working value as a 16-bit field, or nothing for NaN. Values beyond the
// 16-bit range saturate instead of overflowing the conversion.
std::optional<std::int16_t> truncate16(float working)
{
    if (std::isnan(working)) {
        return std::nullopt;
    }
    const float limited = std::clamp(working, -32768.0f, 32767.0f);
    return static_cast<std::int16_t>(std::trunc(limited));
}

float sanitizeValue(float value)
{
    if (!std::isfinite(value)) {
        return 0.0f;
    }
    return std::clamp(value, 0.0f, 1.0f);
}

// Position, length and direction of a lane in the form the movement rules need.
struct Motion
{
    int position; // already inside 0..length - 1
    int length;   // 1..32
    int direction;
};

Motion motionOf(const SeqLane& lane)
{
    const int length = safeLength(lane);
    return {clampIndex(load(lane.position), length), length, load(lane.direction)};
}

int resetOne(SeqLane& lane, RandomSource rand)
{
    const Motion m = motionOf(lane);
    int next = m.position;
    switch (m.direction) {
    case kForward:
        next = 0;
        break;
    case kBackward:
        next = m.length - 1;
        break;
    case kRandom:
        next = static_cast<int>(draw(rand) % static_cast<unsigned>(m.length));
        break;
    default:
        // An unknown direction holds its position, as it does when advancing.
        return m.position;
    }
    store(lane.position, next);
    return next;
}

template <class Edit> void forStep(SeqLane& live, SeqLane* copy, int step, Edit edit)
{
    if (step < 0 || step >= kSeqStepCount) {
        return;
    }
    edit(live.steps[step]);
    if (copy != nullptr) {
        edit(copy->steps[step]);
    }
}

} // namespace

void initLane(SeqLane& lane)
{
    store(lane.position, 0);
    store(lane.length, kSeqStepCount);
    store(lane.direction, kForward);
    store(lane.stepSize, kNewLaneStepSize);
    store(lane.reserved, 0);
    store(lane.padding[0], 0);
    store(lane.padding[1], 0);
    for (SeqStep& step : lane.steps) {
        store(step.value, 0.0f);
        store(step.gate, 0);
        store(step.valueLock, 0);
        store(step.gateLock, 0);
        store(step.padding, 0);
    }
}

SeqLane newLane()
{
    SeqLane lane{};
    initLane(lane);
    return lane;
}

int safeLength(const SeqLane& lane)
{
    return std::clamp<int>(load(lane.length), 1, kSeqStepCount);
}

int safeIndex(const SeqLane& lane)
{
    return clampIndex(load(lane.position), safeLength(lane));
}

StepView currentStep(const SeqLane& lane)
{
    const int index = safeIndex(lane);
    const SeqStep& step = lane.steps[index];
    return {index, sanitizeValue(load(step.value)), load(step.gate) != 0};
}

int advance(SeqLane& lane, RandomSource rand)
{
    const Motion m = motionOf(lane);
    int next = m.position;
    switch (m.direction) {
    case kForward:
        next = m.position + 1 >= m.length ? 0 : m.position + 1;
        break;
    case kBackward:
        next = m.position - 1 < 0 ? m.length - 1 : m.position - 1;
        break;
    case kRandom:
        next = static_cast<int>(draw(rand) % static_cast<unsigned>(m.length));
        break;
    default:
        // Any other direction holds still; the stored position is left as it is.
        return m.position;
    }
    store(lane.position, next);
    return next;
}

int resetPosition(SeqLane& live, SeqLane* copy, RandomSource rand)
{
    const int index = resetOne(live, rand);
    if (copy != nullptr) {
        resetOne(*copy, rand);
    }
    return index;
}

void randomiseValues(SeqLane& live, SeqLane* copy, RandomSource rand)
{
    for (SeqStep& step : live.steps) {
        if (load(step.valueLock) == 0) {
            store(step.value, static_cast<float>(draw(rand) & 0x7FFFu) * kRandScale);
        }
    }
    if (copy != nullptr) {
        for (int i = 0; i < kSeqStepCount; ++i) {
            store(copy->steps[i].value, load(live.steps[i].value));
        }
    }
}

void randomiseGates(SeqLane& live, SeqLane* copy, RandomSource rand)
{
    for (SeqStep& step : live.steps) {
        if (load(step.gateLock) == 0) {
            store(step.gate, (draw(rand) & 1u) == 0 ? 1 : 0);
        }
    }
    if (copy != nullptr) {
        for (int i = 0; i < kSeqStepCount; ++i) {
            store(copy->steps[i].gate, load(live.steps[i].gate));
        }
    }
}

void clearValues(SeqLane& live, SeqLane* copy)
{
    for (SeqLane* lane : {&live, copy}) {
        if (lane == nullptr) {
            continue;
        }
        for (SeqStep& step : lane->steps) {
            if (load(step.valueLock) == 0) {
                store(step.value, 0.0f);
            }
        }
    }
}

void clearGates(SeqLane& live, SeqLane* copy)
{
    for (SeqLane* lane : {&live, copy}) {
        if (lane == nullptr) {
            continue;
        }
        for (SeqStep& step : lane->steps) {
            if (load(step.gateLock) == 0) {
                store(step.gate, 0);
            }
        }
    }
}

std::optional<LaneCommand> laneCommandForTag(std::int32_t tag)
{
    switch (tag) {
    case 204:
        return LaneCommand::RandomiseValues;
    case 205:
        return LaneCommand::RandomiseGates;
    case 208:
        return LaneCommand::ClearValues;
    case 209:
        return LaneCommand::ClearGates;
    default:
        return std::nullopt;
    }
}

void runLaneCommand(SeqLane& live, SeqLane* copy, LaneCommand command, RandomSource rand)
{
    switch (command) {
    case LaneCommand::RandomiseValues:
        randomiseValues(live, copy, rand);
        break;
    case LaneCommand::RandomiseGates:
        randomiseGates(live, copy, rand);
        break;
    case LaneCommand::ClearValues:
        clearValues(live, copy);
        break;
    case LaneCommand::ClearGates:
        clearGates(live, copy);
        break;
    }
    if (copy != nullptr) {
        copyLane(*copy, live);
    }
}

bool setStepSize(SeqLane& live, SeqLane* copy, float working)
{
    const std::optional<std::int16_t> size = truncate16(working);
    if (!size || !isValidStepSize(*size)) {
        return false;
    }
    store(live.stepSize, *size);
    if (copy != nullptr) {
        store(copy->stepSize, *size);
    }
    return true;
}

bool setLength(SeqLane& live, SeqLane* copy, float working)
{
    const std::optional<std::int16_t> truncated = truncate16(working);
    if (!truncated) {
        return false;
    }
    // A length of 0 would leave no step to play and make random steps divide by zero.
    const std::int16_t length = std::clamp<std::int16_t>(*truncated, 1, kSeqStepCount);
    for (SeqLane* lane : {&live, copy}) {
        if (lane == nullptr) {
            continue;
        }
        if (load(lane->position) >= length) {
            store(lane->position, length - 1);
        }
        store(lane->length, length);
    }
    return true;
}

bool setDirection(SeqLane& live, SeqLane* copy, float working)
{
    const std::optional<std::int16_t> direction = truncate16(working);
    if (!direction) {
        return false;
    }
    store(live.direction, *direction);
    if (copy != nullptr) {
        store(copy->direction, *direction);
    }
    return true;
}

void setStepValue(SeqLane& live, SeqLane* copy, int step, float value)
{
    if (!std::isfinite(value)) {
        return;
    }
    const float v = std::clamp(value, 0.0f, 1.0f);
    forStep(live, copy, step, [v](SeqStep& s) { store(s.value, v); });
}

void setStepGate(SeqLane& live, SeqLane* copy, int step, bool on)
{
    forStep(live, copy, step, [on](SeqStep& s) { store(s.gate, on ? 1 : 0); });
}

void setValueLock(SeqLane& live, SeqLane* copy, int step, bool locked)
{
    forStep(live, copy, step, [locked](SeqStep& s) { store(s.valueLock, locked ? 1 : 0); });
}

void setGateLock(SeqLane& live, SeqLane* copy, int step, bool locked)
{
    forStep(live, copy, step, [locked](SeqStep& s) { store(s.gateLock, locked ? 1 : 0); });
}

void copyLane(SeqLane& to, const SeqLane& from)
{
    if (&to == &from) {
        return;
    }
    store(to.position, load(from.position));
    store(to.length, load(from.length));
    store(to.direction, load(from.direction));
    store(to.stepSize, load(from.stepSize));
    store(to.reserved, load(from.reserved));
    store(to.padding[0], load(from.padding[0]));
    store(to.padding[1], load(from.padding[1]));
    for (int i = 0; i < kSeqStepCount; ++i) {
        const SeqStep& s = from.steps[i];
        SeqStep& d = to.steps[i];
        store(d.value, load(s.value));
        store(d.gate, load(s.gate));
        store(d.valueLock, load(s.valueLock));
        store(d.gateLock, load(s.gateLock));
        store(d.padding, load(s.padding));
    }
}

bool repair(SeqLane& lane)
{
    bool changed = false;
    const int length = load(lane.length);
    const int safe = safeLength(lane);
    if (length != safe) {
        store(lane.length, safe);
        changed = true;
    }
    const int position = load(lane.position);
    if (position != clampIndex(position, safe)) {
        store(lane.position, clampIndex(position, safe));
        changed = true;
    }
    if (!isValidStepSize(load(lane.stepSize))) {
        store(lane.stepSize, kNewLaneStepSize);
        changed = true;
    }
    for (SeqStep& step : lane.steps) {
        const float value = load(step.value);
        const float sane = sanitizeValue(value);
        // Compare as values: -0.0 is in range and must keep its bytes.
        if (!(value == sane)) {
            store(step.value, sane);
            changed = true;
        }
    }
    return changed;
}

} // namespace seq
