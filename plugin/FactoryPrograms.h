#pragma once

// The factory programs as seven constant tables. They are generated at build time from the text
// files in resources/presets/ (tools/presetgen), which are the source to edit.

#include "params/Morvek2Params.h"

#include <cstdint>

namespace factory {

inline constexpr int kPrograms = 40;
inline constexpr int kParams = morvek2::param::kNumParams;
inline constexpr int kLanes = morvek2::param::kNumModules;
inline constexpr int kSteps = 32;
inline constexpr int kHeaderWords = 5; // position, length, direction, step size, reserved

// Bits of a step's flag word.
inline constexpr std::uint16_t kFlagGate = 1u << 0;
inline constexpr std::uint16_t kFlagValueLock = 1u << 1;
inline constexpr std::uint16_t kFlagGateLock = 1u << 2;

extern const char* const kNames[kPrograms];
extern const float kValues[kPrograms][kParams];
extern const std::uint16_t kChainOrders[kPrograms][kLanes];
extern const std::uint16_t kEditorPages[kPrograms];
extern const std::int16_t kLaneHeaders[kPrograms][kLanes][kHeaderWords];
extern const std::uint16_t kStepFlags[kPrograms][kLanes][kSteps];
extern const float kStepValues[kPrograms][kLanes][kSteps];

} // namespace factory
