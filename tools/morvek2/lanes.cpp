#include "tools/morvek2/lanes.h"

#include "tools/morvek2/errors.h"
#include "tools/morvek2/param_values.h"

#include <algorithm>

#include <cmath>
#include <cstring>

namespace morvek2::cli {

std::optional<ProgramLanes> lanesFromRecord(const std::vector<std::uint8_t>& record)
{
    if (record.size() != kProgramRecordBytes) {
        return std::nullopt;
    }
    ProgramLanes result;
    char name[25] = {};
    std::memcpy(name, record.data() + 4, 24);
    result.programName = name;
    for (std::size_t m = 0; m < 6; ++m) {
        std::memcpy(&result.lanes[m], record.data() + kLanesOffset + m * sizeof(SeqLane),
                    sizeof(SeqLane));
        seq::repair(result.lanes[m]);
    }
    return result;
}

std::optional<ProgramLanes> readProgramLanes(Session& session)
{
    if (!session.isMorvek2()) {
        return std::nullopt;
    }
    std::optional<ProgramLanes> lanes = lanesFromRecord(session.plugin().getChunk(true));
    if (!lanes) {
        return std::nullopt;
    }
    host::Instance& plugin = session.plugin();
    // Mutes and the reset interval only refine the picture: a module whose table lacks them
    // still gets its lanes drawn.
    auto parameter = [&](const std::string& name) -> std::optional<int> {
        try {
            return session.findParameter(name);
        } catch (const Error&) {
            return std::nullopt;
        }
    };
    for (std::size_t m = 1; m < 6; ++m) {
        if (const auto index = parameter(std::string(kModuleNames[m]) + " Mute")) {
            lanes->muted[m] = plugin.getParameter(*index) > 0.5f;
        }
    }
    if (const auto reset = parameter("Reset Interval")) {
        if (const auto n = parseLeadingNumber(plugin.parameterDisplay(*reset))) {
            lanes->resetBars = std::max(0, static_cast<int>(n->value));
        }
    }
    return lanes;
}

std::vector<StepSpan> layOutLane(const SeqLane& lane, double fromPpq, double toPpq,
                                 double quarterNotesPerBar, int resetBars)
{
    std::vector<StepSpan> spans;
    const double spacing = seq::stepQuarterNotes(lane.stepSize);
    const int length = seq::safeLength(lane);
    if (spacing <= 0.0 || !(toPpq > fromPpq)) {
        return spans;
    }
    const double resetEvery = resetBars > 0 ? resetBars * quarterNotesPerBar : 0.0;
    // Grid lines are counted as whole numbers so that long renders do not drift.
    const auto gridIndex = [&](double ppq) { return std::floor(ppq / spacing + 1e-9); };
    int position = seq::safeIndex(lane);
    const bool backward = lane.direction == seq::kBackward;
    const bool moving =
        lane.direction == seq::kForward || backward || lane.direction == seq::kRandom;
    double start = fromPpq;
    double nextGrid = (gridIndex(fromPpq) + 1.0) * spacing;
    double nextReset =
        resetEvery > 0.0 ? (std::floor(fromPpq / resetEvery + 1e-9) + 1.0) * resetEvery : INFINITY;
    // A step of a few quarter notes for hours of audio is still bounded: stop at a sane count.
    const std::size_t limit = 200000;
    while (start < toPpq && spans.size() < limit) {
        const double end = std::min({nextGrid, nextReset, toPpq});
        spans.push_back({start, end, position});
        if (end >= toPpq) {
            break;
        }
        if (end == nextReset) {
            // The restart replaces the step the grid would have made at the same moment.
            position = backward ? length - 1 : 0;
            nextReset += resetEvery;
            if (nextGrid <= end + 1e-9) {
                nextGrid += spacing;
            }
        } else {
            if (moving) {
                position = backward ? (position == 0 ? length - 1 : position - 1)
                                    : (position + 1 >= length ? 0 : position + 1);
            }
            nextGrid += spacing;
        }
        start = end;
    }
    return spans;
}

} // namespace morvek2::cli
