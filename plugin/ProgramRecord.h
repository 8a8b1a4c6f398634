#pragma once

// One program: everything a sound consists of, as the fixed 2024-byte record the bank holds and
// the host's state chunk carries byte for byte (one record for a program, all 40 for a bank).
//
// Threads. The current record is written by setParameter and the editor (any thread) while the
// audio thread writes lane positions into it at resets, so records shared with the audio thread
// are read and written field by field through relaxed std::atomic_ref (copyRecord), which keeps
// the byte image exact.
//
// Records from outside (chunks) may hold anything. repairRecord brings every field the plug-in
// indexes with or feeds to the DSP back into range and leaves every in-range byte as it is.

#include "sequencer/seq_lane.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <type_traits>

inline constexpr int kProgramParamCount = 93;
inline constexpr int kProgramLaneCount = 6;
inline constexpr int kProgramCount = 40;
inline constexpr int kProgramNameSize = 24; // 23 characters and the terminator

struct ProgramRecord
{
    std::int32_t header; // 1 in every record the plug-in makes; read by nothing
    char name[kProgramNameSize];
    float values[kProgramParamCount]; // normalised, by parameter index
    SeqLane lanes[kProgramLaneCount]; // by module number
    std::uint16_t chainOrder[kProgramLaneCount];
    std::int16_t editorPage; // module number of the editor's page
    std::uint8_t padding[2];
};

static_assert(std::is_standard_layout_v<ProgramRecord> &&
              std::is_trivially_copyable_v<ProgramRecord>);
static_assert(sizeof(ProgramRecord) == 2024);
static_assert(offsetof(ProgramRecord, header) == 0);
static_assert(offsetof(ProgramRecord, name) == 4);
static_assert(offsetof(ProgramRecord, values) == 28);
static_assert(offsetof(ProgramRecord, lanes) == 400);
static_assert(offsetof(ProgramRecord, chainOrder) == 2008);
static_assert(offsetof(ProgramRecord, editorPage) == 2020);
static_assert(offsetof(ProgramRecord, padding) == 2022);

using ProgramBank = std::array<ProgramRecord, kProgramCount>;
static_assert(sizeof(ProgramBank) == 80960);

inline constexpr int kProgramChunkSize = static_cast<int>(sizeof(ProgramRecord));
inline constexpr int kBankChunkSize = static_cast<int>(sizeof(ProgramBank));

namespace program {

// The record before the factory programs are written: header 1, name "init" (rest zero), values
// 0, six new lanes, chain order 0..5, editor page 0.
void initRecord(ProgramRecord& record);

// Field-by-field copy through relaxed atomic accesses, for records another thread may be reading
// or writing (every field, padding included, is carried).
void copyRecord(ProgramRecord& to, const ProgramRecord& from); // [any]

// What repairRecord found wrong; 0 for a sane record.
enum RepairFlags : unsigned {
    kRepairedName = 1u << 0,       // no terminator within 24 bytes: the last byte becomes 0
    kRepairedValues = 1u << 1,     // NaN or infinite -> the fallback, outside 0..1 -> nearest end
    kRepairedLanes = 1u << 2,      // length, position, step size, step values (seq::repair)
    kRepairedDirection = 1u << 3,  // a direction other than forward, backward, random -> forward
    kRepairedChainOrder = 1u << 4, // not a permutation of 0..5 -> 0, 1, 2, 3, 4, 5
    kRepairedEditorPage = 1u << 5, // not a module number -> 0
};

// Makes a record from outside safe to apply. fallback (93 normalised values, may be null for 0)
// replaces non-finite values. Everything already in range stays byte for byte. Answers the
// RepairFlags of what was mended.
unsigned repairRecord(ProgramRecord& record, const float* fallback = nullptr);

// True when the six entries are a permutation of the module numbers 0..5.
bool isChainPermutation(const std::uint16_t (&order)[kProgramLaneCount]);

} // namespace program
