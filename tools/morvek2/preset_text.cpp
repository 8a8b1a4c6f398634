#include "tools/morvek2/preset_text.h"

#include "plugin/ProgramRecord.h"
#include "tools/morvek2/errors.h"
#include "tools/presetgen/preset_reader.h"

#include <cstring>

namespace morvek2::cli {

PresetText readPresetText(const std::string& path)
{
    presetfile::Program p;
    try {
        p = presetfile::readProgram(path);
    } catch (const presetfile::Error& e) {
        fail(Exit::Preset, e.what());
    }
    ProgramRecord r{};
    r.header = 1;
    std::strncpy(r.name, p.name.c_str(), kProgramNameSize - 1);
    std::memcpy(r.values, p.values.data(), sizeof r.values);
    for (int m = 0; m < kProgramLaneCount; ++m) {
        r.chainOrder[m] = static_cast<std::uint16_t>(p.chain[m]);
        SeqLane& lane = r.lanes[m];
        const presetfile::Lane& from = p.lanes[m];
        lane.position = static_cast<std::int16_t>(from.header[0]);
        lane.length = static_cast<std::int16_t>(from.header[1]);
        lane.direction = static_cast<std::int16_t>(from.header[2]);
        lane.stepSize = static_cast<std::int16_t>(from.header[3]);
        lane.reserved = static_cast<std::int16_t>(from.header[4]);
        for (int s = 0; s < kSeqStepCount; ++s) {
            lane.steps[s].value = from.values[s];
            lane.steps[s].gate = (from.flags[s] & 1u) ? 1 : 0;
            lane.steps[s].valueLock = (from.flags[s] & 2u) ? 1 : 0;
            lane.steps[s].gateLock = (from.flags[s] & 4u) ? 1 : 0;
        }
    }
    r.editorPage = static_cast<std::int16_t>(p.page);
    PresetText text;
    text.name = p.name;
    text.levelLu = p.levelLu;
    text.record.resize(sizeof r);
    std::memcpy(text.record.data(), &r, sizeof r);
    return text;
}

} // namespace morvek2::cli
