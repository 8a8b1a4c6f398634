#pragma once

// One module's step-sequencer lane: its byte image (stored as such inside program records and
// chunks) and the operations the processing loop, setParameter and the editor perform on it.
//
// Threads: the editor and host threads write lanes while the audio thread reads them, without
// locks. Every field is therefore read and written through relaxed std::atomic_ref (see load()
// and store()), which keeps each 8/16/32-bit field whole and leaves the byte image untouched.
//
// Damaged lanes: a lane can arrive from a chunk with any bytes in it. Every operation here
// indexes the 32 steps only through safeLength()/safeIndex(), so no lane, however damaged, makes
// an operation read or write outside the steps or take a remainder by zero. repair() makes such
// a lane sane again while keeping every field that is already in range.

#include "dsp/zk_random.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <type_traits>

struct SeqStep
{
    float value;            // 0..1
    std::uint8_t gate;      // 1 on, 0 off
    std::uint8_t valueLock; // non-zero: clear and randomise leave the value alone
    std::uint8_t gateLock;  // non-zero: clear and randomise leave the gate alone
    std::uint8_t padding;
};

inline constexpr int kSeqStepCount = 32;

struct SeqLane
{
    std::int16_t position;  // current step, 0..length - 1
    std::int16_t length;    // steps in use, 1..32
    std::int16_t direction; // 0 forward, 1 backward, 2 random, anything else holds still
    std::int16_t stepSize;  // index into kSeqStepSizes
    std::int16_t reserved;  // kept in programs and chunks, read by nothing
    std::uint8_t padding[2];
    SeqStep steps[kSeqStepCount];
};

static_assert(std::is_standard_layout_v<SeqStep> && std::is_trivially_copyable_v<SeqStep>);
static_assert(sizeof(SeqStep) == 8);
static_assert(offsetof(SeqStep, value) == 0);
static_assert(offsetof(SeqStep, gate) == 4);
static_assert(offsetof(SeqStep, valueLock) == 5);
static_assert(offsetof(SeqStep, gateLock) == 6);
static_assert(offsetof(SeqStep, padding) == 7);

static_assert(std::is_standard_layout_v<SeqLane> && std::is_trivially_copyable_v<SeqLane>);
static_assert(sizeof(SeqLane) == 268);
static_assert(offsetof(SeqLane, position) == 0);
static_assert(offsetof(SeqLane, length) == 2);
static_assert(offsetof(SeqLane, direction) == 4);
static_assert(offsetof(SeqLane, stepSize) == 6);
static_assert(offsetof(SeqLane, reserved) == 8);
static_assert(offsetof(SeqLane, padding) == 10);
static_assert(offsetof(SeqLane, steps) == 12);

// Lock-free, and no stricter alignment than the fields have inside the image.
static_assert(std::atomic_ref<float>::is_always_lock_free);
static_assert(std::atomic_ref<std::int16_t>::is_always_lock_free);
static_assert(std::atomic_ref<std::uint8_t>::is_always_lock_free);
static_assert(std::atomic_ref<float>::required_alignment <= alignof(float));
static_assert(std::atomic_ref<std::int16_t>::required_alignment <= alignof(std::int16_t));

namespace seq {

enum Direction : std::int16_t { kForward = 0, kBackward = 1, kRandom = 2 };

// A step size: the name the parameter shows, the clock bit of the processing loop's grid that
// moves the lane, and the step length the VCA gate time is measured against, in 1/64 notes.
struct StepSize
{
    const char* name;
    std::uint32_t clockBit;
    double sixtyFourths;
};

inline constexpr int kStepSizeCount = 10;
inline constexpr int kNewLaneStepSize = 4; // "1/16"

// The two dotted sizes move on the triplet spacings (0x100, 0x200) while their gate length is
// the dotted one (6 and 12 sixty-fourths); both are deliberate.
inline constexpr std::array<StepSize, kStepSizeCount> kStepSizes{{
    {"1/64", 0x80, 1.0},
    {"1/32", 0x01, 2.0},
    {"1/16T", 0x10, 8.0 / 3.0},
    {"1/16D", 0x100, 6.0},
    {"1/16", 0x02, 4.0},
    {"1/8T", 0x20, 16.0 / 3.0},
    {"1/8D", 0x200, 12.0},
    {"1/8", 0x04, 8.0},
    {"1/4", 0x08, 16.0},
    {"1/4T", 0x40, 32.0 / 3.0},
}};

constexpr bool isValidStepSize(int index)
{
    return index >= 0 && index < kStepSizeCount;
}
// 0 for a size outside the table: such a lane never fires.
constexpr std::uint32_t stepClockBit(int index)
{
    return isValidStepSize(index) ? kStepSizes[static_cast<std::size_t>(index)].clockBit : 0u;
}
// 0 for a size outside the table.
constexpr double stepSixtyFourths(int index)
{
    return isValidStepSize(index) ? kStepSizes[static_cast<std::size_t>(index)].sixtyFourths : 0.0;
}
// Spacing of the lane's clock grid in quarter notes: 1/16 for 0x80, 1/8 for 0x01, ..., 1 for
// 0x08, and the triplet spacings 1/6, 1/3, 2/3. 0 for a size outside the table.
constexpr double stepQuarterNotes(int index)
{
    switch (stepClockBit(index)) {
    case 0x80:
        return 1.0 / 16.0;
    case 0x01:
        return 1.0 / 8.0;
    case 0x02:
        return 1.0 / 4.0;
    case 0x04:
        return 1.0 / 2.0;
    case 0x08:
        return 1.0;
    case 0x10:
        return 1.0 / 6.0;
    case 0x20:
    case 0x100:
        return 1.0 / 3.0;
    case 0x40:
    case 0x200:
        return 2.0 / 3.0;
    default:
        return 0.0;
    }
}

// Relaxed whole-field access for fields of lanes shared between threads. The lanes are never
// const objects, so reading through a const reference is sound.
template <class T> T load(const T& field) // [any]
{
    return std::atomic_ref<T>(const_cast<T&>(field)).load(std::memory_order_relaxed);
}
template <class T, class U> void store(T& field, U value) // [any]
{
    std::atomic_ref<T>(field).store(static_cast<T>(value), std::memory_order_relaxed);
}

// Random source: 0..32767 per call. The plug-in's is zk_rand, one state per thread.
using RandomSource = int (*)();

// Position 0, length 32, forward, "1/16", every step 0 with gate off and no locks.
void initLane(SeqLane& lane); // [any]
SeqLane newLane();

// The length clamped into 1..32, and the position clamped into 0..safeLength - 1: what the
// operations use, so that a damaged lane cannot index outside the steps.
int safeLength(const SeqLane& lane); // [any]
int safeIndex(const SeqLane& lane);  // [any]

// What the clock needs to apply the step at the lane's position. The value is finite and in
// 0..1 even if the stored one is not, so a damaged step cannot poison a smoother.
struct StepView
{
    int index;
    float value;
    bool gate;
};
StepView currentStep(const SeqLane& lane); // [audio]

// Moves the live lane one step by its direction and answers the index of the step to apply.
// Only the live lane moves.
int advance(SeqLane& lane, RandomSource rand = zk_rand); // [audio]

// The restart at the reset interval: forward to 0, backward to length - 1, random to a fresh
// random step, any other direction holds. The program's copy (if given) gets the same rule with
// its own random number, drawn after the live lane's. Answers the live lane's index.
int resetPosition(SeqLane& live, SeqLane* copy, RandomSource rand = zk_rand); // [audio]

// All 32 steps (not only the first length) whose lock is 0 get a fresh random value (r / 32767)
// or gate (1 when r is even); then all 32 values or gates, locked ones included, are copied
// into the program's copy.
void randomiseValues(SeqLane& live, SeqLane* copy, RandomSource rand = zk_rand); // [any]
void randomiseGates(SeqLane& live, SeqLane* copy, RandomSource rand = zk_rand);  // [any]

// Unlocked values become 0 (gates become 0); the live lane and the copy each by their own locks.
void clearValues(SeqLane& live, SeqLane* copy); // [any]
void clearGates(SeqLane& live, SeqLane* copy);  // [any]

enum class LaneCommand { RandomiseValues, RandomiseGates, ClearValues, ClearGates };
// The editor's control tags for the four commands: 204, 205, 208, 209.
std::optional<LaneCommand> laneCommandForTag(std::int32_t tag);

// Runs one command, then copies the whole live lane (position included) over the copy.
void runLaneCommand(SeqLane& live, SeqLane* copy, LaneCommand command,
                    RandomSource rand = zk_rand); // [ui]

// Working values of the Step Size, Length and Direction parameters, written into the live lane
// and the copy. Step sizes outside 0..9 change nothing (answer false). Lengths are clamped into
// 1..32 and a position at or past the new length is pulled back to its last step. Directions are
// taken truncated (other values make the lane hold). NaN changes nothing.
bool setStepSize(SeqLane& live, SeqLane* copy, float working);  // [any]
bool setLength(SeqLane& live, SeqLane* copy, float working);    // [any]
bool setDirection(SeqLane& live, SeqLane* copy, float working); // [any]

// Direct step edits by the editor into the live lane and the copy. Indices outside 0..31 and
// non-finite values are ignored; values are clamped into 0..1.
void setStepValue(SeqLane& live, SeqLane* copy, int step, float value); // [ui]
void setStepGate(SeqLane& live, SeqLane* copy, int step, bool on);      // [ui]
void setValueLock(SeqLane& live, SeqLane* copy, int step, bool locked); // [ui]
void setGateLock(SeqLane& live, SeqLane* copy, int step, bool locked);  // [ui]

// Field by field copy of a whole lane (reserved and padding included), each field whole, for
// lanes another thread may be reading or writing: program application, lane commands and the
// editor's snapshot.
void copyLane(SeqLane& to, const SeqLane& from); // [any]
inline void snapshot(const SeqLane& live, SeqLane& into)
{
    copyLane(into, live);
} // [ui]

// Makes a lane from a damaged chunk safe: length into 1..32, position into 0..length - 1, a step
// size outside the table back to "1/16", non-finite step values to 0 and values outside 0..1
// clamped. Everything already in range stays byte for byte. Answers whether anything changed.
bool repair(SeqLane& lane); // [any]

} // namespace seq
