// The six step lanes of a Morvek2 program as the plot shows them: read from the module's
// program chunk and laid out on the transport's timeline.
#pragma once

#include "params/Morvek2Params.h"
#include "sequencer/seq_lane.h"
#include "tools/morvek2/session.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace morvek2::cli {

inline constexpr std::size_t kProgramRecordBytes = 2024;
inline constexpr std::size_t kLanesOffset = 400;
using param::kModuleNames;

struct ProgramLanes
{
    std::string programName;
    std::array<SeqLane, 6> lanes{};
    std::array<bool, 6> muted{};
    int resetBars = 0; // restart of all lanes every this many bars; 0: never
};

// Lanes of the current program, when the module is Morvek2 and answers with a program record;
// otherwise nothing. Damaged lane headers are repaired for drawing.
std::optional<ProgramLanes> readProgramLanes(Session& session);
// The same from the bytes of one program record.
std::optional<ProgramLanes> lanesFromRecord(const std::vector<std::uint8_t>& record);

// The lanes' steps from `fromFrame` of a render on, as the module played them.
struct PlayedLanes
{
    std::int64_t fromFrame = 0;
    std::array<SeqLane, 6> lanes{};
};

// One step as it sounds: which step of the lane plays from `start` to `end` (quarter notes).
struct StepSpan
{
    double start;
    double end;
    int step;
};

// Where the lane's steps fall between two positions of the transport, starting from its stored
// position: it moves one step per grid line of its step size and all lanes restart every
// `resetBars` bars. Random lanes cannot be foretold and are laid out in step order.
std::vector<StepSpan> layOutLane(const SeqLane& lane, double fromPpq, double toPpq,
                                 double quarterNotesPerBar, int resetBars);

} // namespace morvek2::cli
