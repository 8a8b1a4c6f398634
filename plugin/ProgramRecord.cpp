#include "plugin/ProgramRecord.h"

#include <cmath>
#include <cstring>

namespace program {

void initRecord(ProgramRecord& record)
{
    std::memset(&record, 0, sizeof record);
    record.header = 1;
    std::memcpy(record.name, "init", 4);
    for (int m = 0; m < kProgramLaneCount; ++m) {
        seq::initLane(record.lanes[m]);
        record.chainOrder[m] = static_cast<std::uint16_t>(m);
    }
    record.editorPage = 0;
}

void copyRecord(ProgramRecord& to, const ProgramRecord& from) // [any]
{
    seq::store(to.header, seq::load(from.header));
    for (int i = 0; i < kProgramNameSize; ++i) {
        seq::store(to.name[i], seq::load(from.name[i]));
    }
    for (int i = 0; i < kProgramParamCount; ++i) {
        seq::store(to.values[i], seq::load(from.values[i]));
    }
    for (int m = 0; m < kProgramLaneCount; ++m) {
        seq::copyLane(to.lanes[m], from.lanes[m]);
        seq::store(to.chainOrder[m], seq::load(from.chainOrder[m]));
    }
    seq::store(to.editorPage, seq::load(from.editorPage));
    seq::store(to.padding[0], seq::load(from.padding[0]));
    seq::store(to.padding[1], seq::load(from.padding[1]));
}

bool isChainPermutation(const std::uint16_t (&order)[kProgramLaneCount])
{
    unsigned seen = 0;
    for (std::uint16_t m : order) {
        if (m >= kProgramLaneCount) {
            return false;
        }
        seen |= 1u << m;
    }
    return seen == (1u << kProgramLaneCount) - 1u;
}

unsigned repairRecord(ProgramRecord& record, const float* fallback)
{
    unsigned mended = 0;

    // Names are read with string functions: a name without its terminator would run on into
    // the values.
    if (std::memchr(record.name, '\0', kProgramNameSize) == nullptr) {
        record.name[kProgramNameSize - 1] = '\0';
        mended |= kRepairedName;
    }

    for (int i = 0; i < kProgramParamCount; ++i) {
        float& v = record.values[i];
        if (!std::isfinite(v)) {
            v = fallback ? fallback[i] : 0.0f;
            mended |= kRepairedValues;
        } else if (v < 0.0f || v > 1.0f) {
            v = v < 0.0f ? 0.0f : 1.0f;
            mended |= kRepairedValues;
        }
    }

    for (SeqLane& lane : record.lanes) {
        if (seq::repair(lane)) {
            mended |= kRepairedLanes;
        }
        if (lane.direction < seq::kForward || lane.direction > seq::kRandom) {
            lane.direction = seq::kForward;
            mended |= kRepairedDirection;
        }
    }

    // The chain order indexes the engine tables.
    if (!isChainPermutation(record.chainOrder)) {
        for (int m = 0; m < kProgramLaneCount; ++m) {
            record.chainOrder[m] = static_cast<std::uint16_t>(m);
        }
        mended |= kRepairedChainOrder;
    }

    if (record.editorPage < 0 || record.editorPage >= kProgramLaneCount) {
        record.editorPage = 0;
        mended |= kRepairedEditorPage;
    }
    return mended;
}

} // namespace program
